// Draws the main window and the header options dialog into PNG files for the documentation:
// the window as it opens with the help page, the dialog, the window after an export of 25
// persons, and the icon and buttons enlarged. Usage: quenly-screenshots OUTPUT_FOLDER
#include "framed_controls.h"
#include "glyphs.h"
#include "gui_test_support.h"
#include "header_options.h"
#include "main_window.h"
#include "recording_automation.h"
#include "startup.h"
#include "sys_option_dialog.h"
#include "temp_dir.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QEventLoop>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QWebEngineView>
#include <QWindow>

#include <cstdio>
#include <string>

namespace {

void pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool save(QWidget* widget, const QString& file) {
    widget->repaint();
    QCoreApplication::processEvents();
    // The screen's copy holds what the help pane's browser drew as well.
    QPixmap shot = widget->screen()->grabWindow(widget->winId());
    if (shot.isNull() || shot.size() != widget->size() * shot.devicePixelRatio()) {
        shot = widget->grab();
    }
    if (!shot.save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("wrote %s (%dx%d)\n", qPrintable(file), shot.width(), shot.height());
    return true;
}

// The program icons (the main window's, the sending window's) and the three buttons as idle, lit
// (mouse over) and disabled, at twice their size so the drawing can be judged.
bool saveLook(quenly::TfrmQuenly& window, const QString& file) {
    constexpr int kScale = 2;
    QImage sheet(640, 350, QImage::Format_ARGB32);
    sheet.fill(window.palette().color(QPalette::Window));
    QPainter p(&sheet);
    p.drawPixmap(10, 10, quenly::app::programIconImage());
    p.drawPixmap(70, 10, 144, 144, quenly::app::programIconImage());
    p.drawImage(250, 10, quenly::app::drawSendIcon(48));
    p.drawImage(310, 10, quenly::app::drawSendIcon(144));
    int y = 170;
    for (quenly::ui::FramedButton* b :
         {window.rzbtbtnSelExcel, window.rzbtbtnExport, window.rzbtbtnClose}) {
        int x = 10;
        for (int state = 0; state < 3; ++state) {
            if (state == 1) {
                QEnterEvent enter(QPointF(3, 3), QPointF(3, 3), QPointF(3, 3));
                QApplication::sendEvent(b, &enter);
            } else if (state == 2) {
                QEvent leave(QEvent::Leave);
                QApplication::sendEvent(b, &leave);
                b->setEnabled(false);
            }
            const QPixmap shot = b->grab();
            p.drawPixmap(x, y, shot.width() * kScale, shot.height() * kScale, shot);
            x += shot.width() * kScale + 12;
        }
        b->setEnabled(true);
        y += 25 * kScale + 8;
    }
    p.end();
    if (!sheet.save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("wrote %s\n", qPrintable(file));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: quenly-screenshots OUTPUT_FOLDER\n", stderr);
        return 2;
    }
    quenly::app::prepareProcessEnvironment();
    QApplication app(argc, argv);
    quenly::app::configureApplication(app);
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }

    quenly::test::TempDir dir;
    const auto ini = dir / "sys.ini";
    const quenly::HeaderOptionsStore store(ini);
    store.writeKey("StartTitleRow", "1");
    store.writeKey("EndTitleRow", "1");
    store.writeKey("StartTitleCol", "A");
    store.writeKey("EndTitleCol", "F");

    quenly::test::RecordingAutomation back;
    const std::string source = "/home/user/文档/十二月工资表.xlsx";
    const char* header[] = {"姓名", "部门", "基本工资", "绩效奖金", "扣款", "实发工资"};
    const char* columns = "ABCDEF";
    for (int c = 0; c < 6; ++c) {
        back.setCell(source, std::string(1, columns[c]) + "1", quenly::Variant(header[c]));
    }
    for (int k = 0; k < 25; ++k) {
        back.setCell(source, "A" + std::to_string(k + 2),
                     quenly::Variant("员工" + std::to_string(k + 1)));
    }
    quenly::ServerRegistry servers;
    back.registerWith(servers);

    quenly::TfrmQuenly window(servers, ini, QUrl(QStringLiteral(QUENLY_HELP_URL)));
    window.resize(912, 591);
    window.move(0, 0);
    bool loaded = false;
    QObject::connect(window.wb1, &QWebEngineView::loadFinished, [&](bool) { loaded = true; });
    window.show();
    for (int waited = 0; !loaded && waited < 30000; waited += 100) {
        pause(100);
    }
    pause(1500);
    bool ok = save(&window, out.filePath(QStringLiteral("main_window.png")));

    quenly::test::ModalDriver driver;
    driver.onOptions = [&](quenly::TfrmSysOption* dialog) {
        dialog->move(window.geometry().center() - dialog->rect().center());
        pause(300);
        ok = save(dialog, out.filePath(QStringLiteral("sys_option_dialog.png"))) && ok;
        dialog->btnOKClick();
    };
    window.edtExcelPath->setText(QString::fromStdString(source));
    window.rzbtbtnExportClick();
    pause(500);
    ok = save(&window, out.filePath(QStringLiteral("main_window_after_export.png"))) && ok;
    ok = saveLook(window, out.filePath(QStringLiteral("buttons_and_icon.png"))) && ok;
    return ok ? 0 : 1;
}
