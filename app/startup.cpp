// Process and application set-up shared by the program and its window tests.
#include "startup.h"

#include "chinese_look.h"
#include "glyphs.h"

#include <QApplication>
#include <QByteArray>

#include <unistd.h>

// The help page is compiled into the window library; a static library's resources are
// registered by hand.
static void registerHelpResource() {
    Q_INIT_RESOURCE(help);
}

namespace quenly::app {

namespace {

void appendChromiumFlag(const char* flag) {
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (flags.contains(flag)) {
        return;
    }
    if (!flags.isEmpty()) {
        flags += ' ';
    }
    flags += flag;
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags);
}

} // namespace

void prepareProcessEnvironment() {
    if (geteuid() == 0) {
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    }
    // The help page is plain text and pictures; software drawing serves it everywhere, also on
    // displays without a graphics card.
    appendChromiumFlag("--disable-gpu");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void configureApplication(QApplication& application) {
    // No display name: the window system would append it to every window's title, and the
    // captions must read exactly as set.
    QApplication::setApplicationName(QStringLiteral("quenly"));
    // The menu entry the desktop shows the window under (packaging/quenly.desktop).
    QGuiApplication::setDesktopFileName(QStringLiteral("quenly"));
    QApplication::setWindowIcon(programIcon());
    registerHelpResource();

    ui::useChineseLook(application);
}

} // namespace quenly::app
