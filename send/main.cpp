// Start-up of quenly-send: the sending window over the header settings shared with the main
// window (sys.ini) and its own settings (send.ini), both beside the program.
#include "chinese_look.h"
#include "glyphs.h"
#include "header_options.h"
#include "password_store.h"
#include "send_window.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quenly-send"));
    // The menu entry the desktop shows the window under (packaging/quenly-send.desktop).
    QGuiApplication::setDesktopFileName(QStringLiteral("quenly-send"));
    QApplication::setWindowIcon(quenly::app::sendIcon());
    quenly::ui::useChineseLook(application);

    const std::filesystem::path options = quenly::defaultOptionsPath();
    quenly::send::KeyringStore keyring;
    quenly::send::SendWindow window(options, options.parent_path() / "send.ini", &keyring);
    window.show();
    return application.exec();
}
