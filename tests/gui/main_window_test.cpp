// The main window: layout and look, the blank path, browsing, drops (accepted and refused, on
// the window and on the help pane), progress, closing (also during an export) and nested exports.
#include "dropped_file.h"
#include "error_box.h"
#include "framed_controls.h"
#include "gui_test_support.h"
#include "header_options.h"
#include "main_window.h"
#include "recording_automation.h"
#include "server/spreadsheet_server.h"
#include "startup.h"
#include "sys_option_dialog.h"
#include "temp_dir.h"
#include "workbook.h"
#include "workbook_file.h"

#include <QApplication>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QWebEngineView>
#include <QtTest>

#include <fstream>
#include <memory>

using quenly::TfrmQuenly;
using quenly::TfrmSysOption;
using quenly::test::ModalDriver;
using quenly::test::RecordingAutomation;
using quenly::test::SeenModal;
using quenly::test::TempDir;

namespace {

const QString kRefused = QString::fromUtf8("拖放了无效的Excel文件！");
const QString kCaption = QString::fromUtf8("信息提示");

QString progressLabel(int done, int total) {
    return QString::fromStdString(quenly::progressText(done, total));
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void layout_data();
    void layout();
    void textsFontsAndFocus();
    void buttonLook();
    void helpPageLoadsFromResources();
    void helpExplainsTheHeaderSettingsOnItsFirstScreen();
    void extensionRule_data();
    void extensionRule();
    void blankPathShowsMessage();
    void browseCancelKeepsPath();
    void browseChoosesFile();
    void dropOfWorkbookStartsExport();
    void refusedDrops_data();
    void refusedDrops();
    void dropOfThreeFilesUsesFirst();
    void dropOnHelpPaneReachesWindow();
    void exportWithoutPersons();
    void exportFailureIsReported();
    void escapingErrorShowsErrorBox();
    void closeDuringFailingExportWaitsForErrorBox();
    void longPathIsTakenWhole();
    void closeButtonEscAndCloseBox();
    void escInsideHelpPaneKeepsWindow();
    void closeDuringExportWaitsForIt();
    void escDuringExportWaitsForIt();
    void nestedExportFromDrop();
    void dropQueuedAtTheEndOfAClosingExportStartsNothing();
    void resultIsHandedOnBeforeClosing();

private:
    /// A wage table of the recording back end: a header in row 1, persons below.
    void addWages(const std::string& path, int persons);
    std::vector<std::string> opened() const;
    int visibleCall(int instance) const;

    std::unique_ptr<TempDir> m_dir;
    std::filesystem::path m_ini;
    std::unique_ptr<RecordingAutomation> m_back;
    std::unique_ptr<quenly::ServerRegistry> m_servers;
    std::unique_ptr<TfrmQuenly> m_window;
};

void MainWindowTest::init() {
    m_dir = std::make_unique<TempDir>();
    m_ini = *m_dir / "sys.ini";
    const quenly::HeaderOptionsStore store(m_ini);
    store.writeKey("StartTitleRow", "1");
    store.writeKey("EndTitleRow", "1");
    store.writeKey("StartTitleCol", "A");
    store.writeKey("EndTitleCol", "B");
    m_back = std::make_unique<RecordingAutomation>();
    m_servers = std::make_unique<quenly::ServerRegistry>();
    m_back->registerWith(*m_servers);
    m_window = std::make_unique<TfrmQuenly>(*m_servers, m_ini, QUrl(QStringLiteral("about:blank")));
    m_window->resize(896, 553);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void MainWindowTest::cleanup() {
    m_window.reset();
    m_servers.reset();
    m_back.reset();
    m_dir.reset();
}

void MainWindowTest::addWages(const std::string& path, int persons) {
    m_back->setCell(path, "A1", quenly::Variant("姓名"));
    m_back->setCell(path, "B1", quenly::Variant("实发工资"));
    for (int k = 0; k < persons; ++k) {
        const std::string row = std::to_string(k + 2);
        m_back->setCell(path, "A" + row, quenly::Variant("员工" + std::to_string(k + 1)));
        m_back->setCell(path, "B" + row, quenly::Variant(5000.0 + k));
    }
}

std::vector<std::string> MainWindowTest::opened() const {
    std::vector<std::string> paths;
    for (const quenly::test::CallRecord& call : m_back->log()) {
        if (call.member == "Open" && !call.args.empty()) {
            // Arguments are recorded as written in code: texts in double quotes.
            std::string arg = call.args.front();
            if (arg.size() >= 2 && arg.front() == '"' && arg.back() == '"') {
                arg = arg.substr(1, arg.size() - 2);
            }
            paths.push_back(arg);
        }
    }
    return paths;
}

int MainWindowTest::visibleCall(int instance) const {
    const auto& log = m_back->log();
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log[i].instance == instance && log[i].member == "Visible" &&
            log[i].kind == quenly::CallKind::PropertyPut) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void MainWindowTest::layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    QTest::newRow("lbl1") << "lbl1" << QRect(2, 24, 58, 15);
    QTest::newRow("rzbtbtnSelExcel") << "rzbtbtnSelExcel" << QRect(585, 18, 66, 25);
    QTest::newRow("edtExcelPath") << "edtExcelPath" << QRect(64, 21, 513, 19);
    QTest::newRow("rzbtbtnExport") << "rzbtbtnExport" << QRect(658, 18, 93, 25);
    QTest::newRow("rzbtbtnClose") << "rzbtbtnClose" << QRect(824, 18, 65, 25);
}

void MainWindowTest::layout() {
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    auto* widget = m_window->findChild<QWidget*>(name);
    QVERIFY(widget);
    QCOMPARE(widget->parentWidget(), static_cast<QWidget*>(m_window->rzgrpbx1));
    QCOMPARE(widget->geometry(), geometry);

    // The three bands: options group, progress bar, help pane filling the rest.
    const int width = m_window->width();
    QCOMPARE(m_window->rzgrpbx1->geometry(), QRect(0, 0, width, 97));
    QCOMPARE(m_window->pb1->geometry(), QRect(0, 97, width, 16));
    QCOMPARE(m_window->rzgrpbx2->geometry(), QRect(0, 113, width, m_window->height() - 113));
    QCOMPARE(m_window->wb1->parentWidget(), static_cast<QWidget*>(m_window->rzgrpbx2));
    // Inside the group's frame and below its title.
    QVERIFY(m_window->wb1->height() >= m_window->rzgrpbx2->height() - 40);
    QVERIFY(m_window->wb1->width() >= m_window->rzgrpbx2->width() - 12);
    QCOMPARE(m_window->RzLabel1->pos(), QPoint(1, 46));
    QCOMPARE(m_window->lblProcess->pos(), QPoint(1, 72));
}

void MainWindowTest::textsFontsAndFocus() {
    TfrmQuenly& w = *m_window;
    QCOMPARE(w.windowTitle(), QStringLiteral("Quenly"));
    QVERIFY(w.windowIcon().availableSizes().contains(QSize(48, 48)));
    QCOMPARE(w.rzgrpbx1->title(), QString::fromUtf8("操作提示："));
    QCOMPARE(w.rzgrpbx2->title(), QString::fromUtf8("联机帮助文档"));
    QCOMPARE(w.lbl1->text(), QString::fromUtf8("Excel 路径"));
    QCOMPARE(w.rzbtbtnSelExcel->text(), QString::fromUtf8("浏览..."));
    QCOMPARE(w.rzbtbtnExport->text(), QString::fromUtf8("输出工资条"));
    QCOMPARE(w.rzbtbtnClose->text(), QString::fromUtf8("关闭"));
    QCOMPARE(w.RzLabel1->text(),
             QString::fromUtf8("提示：打印时先预览;详细操作请查阅联机帮助文档。"));
    QCOMPARE(w.lblProcess->text(), QString::fromUtf8("处理进度："));
    QCOMPARE(w.edtExcelPath->text(), QString());
    QVERIFY(!w.edtExcelPath->hasFrame());
    QCOMPARE(w.rzpndlgOpenExcel->nameFilters(),
             QStringList{QString::fromUtf8("Excel文件 (*.xls *.xlsx)")});
    QVERIFY(w.acceptDrops());
    QVERIFY(!w.pb1->isTextVisible());

    // The two navy labels in a Kai face, 16 pixels high; AR PL UKai stands in on Linux.
    for (QLabel* label : {w.RzLabel1, w.lblProcess}) {
        QCOMPARE(label->font().pixelSize(), 16);
        QVERIFY(label->font().families().contains(QStringLiteral("AR PL UKai CN")));
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0x00, 0x00, 0x80));
        QCOMPARE(QFontInfo(label->font()).family(), QStringLiteral("AR PL UKai CN"));
    }
    QCOMPARE(w.RzLabel1->font().families().front(), QString::fromUtf8("华文楷体"));
    QCOMPARE(w.lblProcess->font().families().front(), QString::fromUtf8("楷体_GB2312"));
    // A Chinese face for everything else, also under LANG=C.
    QCOMPARE(QFontInfo(w.lbl1->font()).family(), QStringLiteral("Noto Sans CJK SC"));
    // Qt's own buttons speak Chinese.
    QMessageBox box(QMessageBox::Information, QString(), QString(), QMessageBox::Ok);
    QCOMPARE(box.button(QMessageBox::Ok)->text(), QString::fromUtf8("确定"));

    // The browse button has the focus and the tab order runs along the row of controls.
    QCOMPARE(w.focusWidget(), static_cast<QWidget*>(w.rzbtbtnSelExcel));
    QCOMPARE(quenly::test::nextTabStop(w.rzbtbtnSelExcel), static_cast<QWidget*>(w.edtExcelPath));
    QCOMPARE(quenly::test::nextTabStop(w.edtExcelPath), static_cast<QWidget*>(w.rzbtbtnExport));
    QCOMPARE(quenly::test::nextTabStop(w.rzbtbtnExport), static_cast<QWidget*>(w.rzbtbtnClose));
}

void MainWindowTest::buttonLook() {
    for (quenly::ui::FramedButton* b :
         {m_window->rzbtbtnSelExcel, m_window->rzbtbtnExport, m_window->rzbtbtnClose}) {
        QCOMPARE(b->glyph().size(), QSize(16, 16));
        QCOMPARE(b->disabledGlyph().size(), QSize(16, 16));
        QVERIFY(b->glyph().toImage() != b->disabledGlyph().toImage());
        QVERIFY(!b->autoDefault());
        const int midY = b->height() / 2;
        QImage idle = b->grab().toImage();
        QCOMPARE(idle.pixelColor(0, midY), quenly::ui::kFrameColor);
        QCOMPARE(idle.pixelColor(b->width() / 2, 2), quenly::ui::kFaceColor);
        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(b, &enter);
        QVERIFY(b->isHot());
        QImage hot = b->grab().toImage();
        QCOMPARE(hot.pixelColor(0, midY), quenly::ui::kFrameColor);
        QCOMPARE(hot.pixelColor(b->width() / 2, 2), quenly::ui::kHotColor);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(b, &leave);
        QVERIFY(!b->isHot());
        QCOMPARE(b->grab().toImage().pixelColor(b->width() / 2, 2), quenly::ui::kFaceColor);
    }
}

void MainWindowTest::helpPageLoadsFromResources() {
    TfrmQuenly window(*m_servers, m_ini, QUrl(QStringLiteral("qrc:/help/index.html")));
    QSignalSpy loaded(window.wb1, &QWebEngineView::loadFinished);
    window.show();
    QVERIFY(loaded.wait(30000) || loaded.count() > 0);
    QCOMPARE(loaded.front().front().toBool(), true);
    QCOMPARE(window.wb1->title(), QString::fromUtf8("Quenly 使用帮助"));
    // Loading the page leaves the focus where it was.
    QCOMPARE(window.focusWidget(), static_cast<QWidget*>(window.rzbtbtnSelExcel));
}

void MainWindowTest::helpExplainsTheHeaderSettingsOnItsFirstScreen() {
    // The window at the size it is designed for, 912 x 591 with its frame: the four settings and
    // their picture are in view without scrolling, since the pane cannot be scrolled while the
    // header options dialog is open.
    TfrmQuenly window(*m_servers, m_ini, QUrl(QStringLiteral("qrc:/help/index.html")));
    window.resize(912 - 16, 591 - 38);
    QSignalSpy loaded(window.wb1, &QWebEngineView::loadFinished);
    window.show();
    QVERIFY(loaded.wait(30000) || loaded.count() > 0);
    QVariantList seen;
    const QString script = QStringLiteral(
        "(function() {"
        "  var box = document.getElementById('settings').getBoundingClientRect();"
        "  var pictures = document.querySelectorAll('#settings img');"
        "  var shown = 0;"
        "  for (var i = 0; i < pictures.length; ++i)"
        "    if (pictures[i].complete && pictures[i].naturalWidth > 0) ++shown;"
        "  var rows = document.querySelectorAll('#settings table tr').length;"
        "  return [box.bottom, window.innerHeight, shown, rows, document.body.innerText];"
        "})()");
    // The picture may still be on its way when the page reports it has loaded.
    const auto evaluate = [&] {
        QEventLoop loop;
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        window.wb1->page()->runJavaScript(script, [&](const QVariant& v) {
            seen = v.toList();
            loop.quit();
        });
        loop.exec();
        return seen.size() == 5 && seen[2].toInt() == 1;
    };
    QTRY_VERIFY_WITH_TIMEOUT(evaluate(), 20000);
    QVERIFY2(seen[0].toDouble() <= seen[1].toDouble(),
             qPrintable(QStringLiteral("the settings end at %1 of %2 pixels")
                            .arg(seen[0].toDouble())
                            .arg(seen[1].toDouble())));
    QCOMPARE(seen[3].toInt(), 5);
    const QString text = seen[4].toString();
    for (const char* setting : {"起始标题行", "结束标题行", "起始标题列", "结束标题列"}) {
        QVERIFY(text.contains(QString::fromUtf8(setting)));
    }
}

void MainWindowTest::extensionRule_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("xls") << "/d/wages.xls"
                         << ".xls" << true;
    QTest::newRow("xlsx") << "/d/wages.xlsx"
                          << ".xlsx" << true;
    QTest::newRow("upper case") << "/d/wages.XLS"
                                << ".XLS" << false;
    QTest::newRow("csv") << "/d/wages.csv"
                         << ".csv" << false;
    QTest::newRow("two dots") << "/d/wages.bak.xls"
                              << ".xls" << true;
    QTest::newRow("dot in a folder only") << "/d.xls/wages"
                                          << "" << false;
    QTest::newRow("no dot") << "/d/wages"
                            << "" << false;
    QTest::newRow("xlsm") << "/d/wages.xlsm"
                          << ".xlsm" << false;
    QTest::newRow("trailing dot") << "/d/wages."
                                  << "." << false;
}

void MainWindowTest::extensionRule() {
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QFETCH(bool, accepted);
    const std::string n = name.toStdString();
    QCOMPARE(QString::fromStdString(std::string(quenly::app::dropExtension(n))), extension);
    QCOMPARE(quenly::app::isAcceptedDropName(n), accepted);
}

void MainWindowTest::blankPathShowsMessage() {
    ModalDriver driver;
    m_window->edtExcelPath->setText(QStringLiteral(" \t "));
    QTest::mouseClick(m_window->rzbtbtnExport, Qt::LeftButton);
    QCOMPARE(driver.count(SeenModal::Kind::Message), 1);
    QCOMPARE(driver.seen().front().text, QString::fromUtf8("请先选择Excel文件！"));
    QCOMPARE(driver.seen().front().title, kCaption);
    QCOMPARE(driver.seen().front().icon, QMessageBox::Information);
    QCOMPARE(driver.count(SeenModal::Kind::Options), 0);
    QCOMPARE(m_back->instances(), 0);
    QCOMPARE(m_window->lblProcess->text(), QString::fromUtf8("处理进度："));
    QCOMPARE(m_window->pb1->value(), 0);
}

void MainWindowTest::browseCancelKeepsPath() {
    ModalDriver driver;
    m_window->edtExcelPath->setText(QStringLiteral("/typed/by hand.xls"));
    QTest::mouseClick(m_window->rzbtbtnSelExcel, Qt::LeftButton);
    QCOMPARE(driver.count(SeenModal::Kind::File), 1);
    QCOMPARE(m_window->edtExcelPath->text(), QStringLiteral("/typed/by hand.xls"));
}

void MainWindowTest::browseChoosesFile() {
    const std::filesystem::path file = *m_dir / "工资表.xlsx";
    { std::ofstream(file) << "x"; }
    ModalDriver driver;
    driver.onFile = [&file](QFileDialog* d) {
        quenly::test::chooseFile(d, QString::fromStdString(file.string()));
    };
    m_window->edtExcelPath->setText(QStringLiteral("/old.xls"));
    m_window->rzbtbtnSelExcelClick();
    QCOMPARE(driver.count(SeenModal::Kind::File), 1);
    QCOMPARE(m_window->edtExcelPath->text(), QString::fromStdString(file.string()));
    // Choosing does not start the export.
    QCOMPARE(m_back->instances(), 0);
}

void MainWindowTest::dropOfWorkbookStartsExport() {
    const std::string path = "/data/十二月 工资.xls";
    addWages(path, 3);
    ModalDriver driver;
    QPointer<TfrmSysOption> shown;
    QWidget* owner = nullptr;
    QPoint dialogCentre;
    driver.onOptions = [&](TfrmSysOption* d) {
        shown = d;
        owner = d->parentWidget();
        dialogCentre = d->frameGeometry().center();
        d->close();
    };
    m_window->edtExcelPath->setText(QStringLiteral("/typed.xls"));
    QSignalSpy returned(m_window.get(), &TfrmQuenly::exportReturned);
    quenly::test::dropUrls(m_window.get(), {QUrl::fromLocalFile(QString::fromStdString(path))});
    QVERIFY(returned.wait(10000));
    QCOMPARE(driver.count(SeenModal::Kind::Options), 1);
    QCOMPARE(owner, static_cast<QWidget*>(m_window.get()));
    QVERIFY(shown.isNull()); // freed when its showing ended
    // Centred on the main window.
    QVERIFY2((dialogCentre - m_window->frameGeometry().center()).manhattanLength() <= 4,
             qPrintable(QStringLiteral("%1,%2 / %3,%4")
                            .arg(dialogCentre.x())
                            .arg(dialogCentre.y())
                            .arg(m_window->frameGeometry().center().x())
                            .arg(m_window->frameGeometry().center().y())));
    QVERIFY(m_window->lastOutcome().has_value());
    QCOMPARE(int(m_window->lastOutcome()->status), int(quenly::ExportOutcome::Status::Finished));
    QCOMPARE(m_window->lastOutcome()->persons, 3);
    QCOMPARE(opened(), std::vector<std::string>{path});
    QCOMPARE(m_back->instances(), 2);
    QVERIFY(m_back->isVisible(2));
    QCOMPARE(m_window->edtExcelPath->text(), QString::fromStdString(path));
    QCOMPARE(m_window->lblProcess->text(), progressLabel(3, 3));
    QCOMPARE(m_window->lblProcess->text(), QString::fromUtf8("处理进度： 3 / 3 "));
    QVERIFY(m_window->lblProcess->width() >
            QFontMetrics(m_window->lblProcess->font())
                .horizontalAdvance(QString::fromUtf8("处理进度：")));
    QCOMPARE(m_window->pb1->maximum(), 3);
    QCOMPARE(m_window->pb1->value(), 3);
    QCOMPARE(driver.count(SeenModal::Kind::Message), 0);
}

void MainWindowTest::refusedDrops_data() {
    QTest::addColumn<int>("kind");
    QTest::newRow("upper-case .XLS") << 0;
    QTest::newRow(".csv") << 1;
    QTest::newRow("folder") << 2;
    QTest::newRow("web address") << 3;
    QTest::newRow("text") << 4;
    QTest::newRow("nothing") << 5;
}

void MainWindowTest::refusedDrops() {
    QFETCH(int, kind);
    const std::filesystem::path folder = *m_dir / "工资";
    std::filesystem::create_directory(folder);
    addWages("/data/wages.XLS", 2);
    QMimeData data;
    switch (kind) {
    case 0:
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/data/wages.XLS"))});
        break;
    case 1:
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/data/wages.csv"))});
        break;
    case 2:
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.string()))});
        break;
    case 3:
        data.setUrls({QUrl(QStringLiteral("https://example.com/wages.xlsx"))});
        break;
    case 4:
        data.setText(QStringLiteral("/data/wages.xls"));
        break;
    default:
        break;
    }
    ModalDriver driver;
    m_window->edtExcelPath->setText(QStringLiteral("/kept.xls"));
    quenly::test::dropOn(m_window.get(), &data);
    QTRY_COMPARE(driver.count(SeenModal::Kind::Message), 1);
    QCOMPARE(driver.seen().front().text, kRefused);
    QCOMPARE(driver.seen().front().title, kCaption);
    QCOMPARE(driver.seen().front().icon, QMessageBox::Information);
    QTest::qWait(50);
    QCOMPARE(m_window->edtExcelPath->text(), QStringLiteral("/kept.xls"));
    QCOMPARE(driver.count(SeenModal::Kind::Options), 0);
    QCOMPARE(m_back->instances(), 0);
}

void MainWindowTest::dropOfThreeFilesUsesFirst() {
    addWages("/data/a.xlsx", 2);
    addWages("/data/b.xls", 4);
    addWages("/data/c.xls", 5);
    ModalDriver driver;
    QSignalSpy returned(m_window.get(), &TfrmQuenly::exportReturned);
    quenly::test::dropUrls(m_window.get(), {QUrl::fromLocalFile(QStringLiteral("/data/a.xlsx")),
                                            QUrl::fromLocalFile(QStringLiteral("/data/b.xls")),
                                            QUrl::fromLocalFile(QStringLiteral("/data/c.xls"))});
    QVERIFY(returned.wait(10000));
    QTest::qWait(50);
    QCOMPARE(returned.count(), 1);
    QCOMPARE(opened(), std::vector<std::string>{"/data/a.xlsx"});
    QCOMPARE(m_window->lastOutcome()->persons, 2);
    QCOMPARE(m_window->edtExcelPath->text(), QStringLiteral("/data/a.xlsx"));
}

void MainWindowTest::dropOnHelpPaneReachesWindow() {
    addWages("/data/help.xlsx", 1);
    // The view's drawing surface comes with its first page.
    QTRY_VERIFY_WITH_TIMEOUT(m_window->wb1->focusProxy() != nullptr, 30000);
    ModalDriver driver;
    for (QWidget* target : {static_cast<QWidget*>(m_window->wb1), m_window->wb1->focusProxy()}) {
        driver.clear();
        quenly::test::dropUrls(target, {QUrl::fromLocalFile(QStringLiteral("/data/x.csv"))});
        QTRY_COMPARE(driver.count(SeenModal::Kind::Message), 1);
        QCOMPARE(driver.seen().front().text, kRefused);
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_window->wb1->url(), QUrl(QStringLiteral("about:blank")), 30000);
    const QUrl page = m_window->wb1->url();
    QSignalSpy returned(m_window.get(), &TfrmQuenly::exportReturned);
    quenly::test::dropUrls(m_window->wb1->focusProxy(),
                           {QUrl::fromLocalFile(QStringLiteral("/data/help.xlsx"))});
    QVERIFY(returned.wait(10000));
    QCOMPARE(opened(), std::vector<std::string>{"/data/help.xlsx"});
    // The page itself did not navigate to the dropped file.
    QTest::qWait(200);
    QCOMPARE(m_window->wb1->url(), page);
}

void MainWindowTest::exportWithoutPersons() {
    addWages("/data/empty.xls", 0);
    ModalDriver driver;
    m_window->edtExcelPath->setText(QStringLiteral("/data/empty.xls"));
    m_window->rzbtbtnExportClick();
    QCOMPARE(m_window->lastOutcome()->persons, 0);
    QCOMPARE(int(m_window->lastOutcome()->status), int(quenly::ExportOutcome::Status::Finished));
    // An empty bar, not a busy indicator; the counter keeps its text.
    QVERIFY(m_window->pb1->maximum() > 0);
    QCOMPARE(m_window->pb1->value(), 0);
    QCOMPARE(m_window->progressPosition(), 0);
    QCOMPARE(m_window->lblProcess->text(), QString::fromUtf8("处理进度："));
}

void MainWindowTest::exportFailureIsReported() {
    ModalDriver driver;
    m_window->edtExcelPath->setText(QStringLiteral("/data/missing.xls"));
    m_window->rzbtbtnExportClick();
    QCOMPARE(int(m_window->lastOutcome()->status), int(quenly::ExportOutcome::Status::Failed));
    const auto boxes = driver.seen(SeenModal::Kind::Message);
    QCOMPARE(boxes.size(), std::size_t(1));
    QVERIFY2(boxes.front().text.contains(QStringLiteral("/data/missing.xls")),
             qPrintable(boxes.front().text));
    QCOMPARE(boxes.front().title, kCaption);
    QVERIFY(m_back->hasQuit(1));
    QVERIFY(m_window->isVisible());
}

void MainWindowTest::escapingErrorShowsErrorBox() {
    // The export's failure path itself fails: that error reaches the window's handler.
    m_back->failCall(1, "Open", 1, "拒绝打开");
    m_back->failCall(1, "Quit", 1, "电子表格程序已退出");
    addWages("/data/w.xls", 2);
    ModalDriver driver;
    m_window->edtExcelPath->setText(QStringLiteral("/data/w.xls"));
    m_window->rzbtbtnExportClick();
    const auto boxes = driver.seen(SeenModal::Kind::Message);
    QCOMPARE(boxes.size(), std::size_t(1));
    QCOMPARE(boxes.front().icon, QMessageBox::Critical);
    QCOMPARE(boxes.front().title, QString::fromStdString(quenly::ui::runningProgramTitle()));
    QCOMPARE(boxes.front().text, QString::fromUtf8("电子表格程序已退出."));
    QVERIFY(m_window->isVisible());
    QCOMPARE(m_window->exportDepth(), 0);
}

void MainWindowTest::closeDuringFailingExportWaitsForErrorBox() {
    // The close comes after the first person; the third paste fails, and so does the failure
    // path's Quit, whose error reaches the window.
    m_back->failCall(2, "Paste", 3, "粘贴失败");
    m_back->failCall(1, "Quit", 1, "电子表格程序已退出");
    addWages("/data/w.xls", 5);
    m_window->setRepaintInterval(0);
    ModalDriver driver;
    int depthAtClose = -1;
    driver.onOptions = [&](TfrmSysOption* d) {
        d->close();
        QTimer::singleShot(0, m_window.get(), [&] {
            depthAtClose = m_window->exportDepth();
            m_window->windowHandle()->close();
        });
    };
    bool visibleWithBox = false;
    driver.onMessage = [&](QMessageBox* box) {
        visibleWithBox = m_window->isVisible();
        box->button(QMessageBox::Ok)->click();
    };
    m_window->edtExcelPath->setText(QStringLiteral("/data/w.xls"));
    m_window->rzbtbtnExportClick();
    QCOMPARE(driver.count(SeenModal::Kind::Message), 1);
    QCOMPARE(driver.seen(SeenModal::Kind::Message).front().icon, QMessageBox::Critical);
    QCOMPARE(depthAtClose, 1);
    QVERIFY(visibleWithBox);
    QVERIFY(!m_window->isVisible());
}

void MainWindowTest::longPathIsTakenWhole() {
    QString folder = QStringLiteral("/data");
    while (folder.size() < 600) {
        folder += QString::fromUtf8("/很长的文件夹名称 long folder name");
    }
    const QString path = folder + QString::fromUtf8("/工资表.xlsx");
    addWages(path.toStdString(), 1);
    ModalDriver driver;
    QSignalSpy returned(m_window.get(), &TfrmQuenly::exportReturned);
    quenly::test::dropUrls(m_window.get(), {QUrl::fromLocalFile(path)});
    QVERIFY(returned.wait(10000));
    QCOMPARE(m_window->edtExcelPath->text(), path);
    QCOMPARE(opened(), std::vector<std::string>{path.toStdString()});
    QCOMPARE(m_window->lastOutcome()->persons, 1);
}

void MainWindowTest::closeButtonEscAndCloseBox() {
    QTest::mouseClick(m_window->rzbtbtnClose, Qt::LeftButton);
    QVERIFY(!m_window->isVisible());

    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->edtExcelPath->setFocus();
    QTest::keyClick(m_window->edtExcelPath, Qt::Key_Escape);
    QVERIFY(!m_window->isVisible());

    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->rzbtbtnExport->setFocus();
    QTest::keyClick(m_window->rzbtbtnExport, Qt::Key_Escape);
    QVERIFY(!m_window->isVisible());

    // The title-bar close box reaches the window through its native window.
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    QVERIFY(m_window->windowHandle()->close());
    QVERIFY(!m_window->isVisible());
}

void MainWindowTest::escInsideHelpPaneKeepsWindow() {
    QTRY_VERIFY_WITH_TIMEOUT(m_window->wb1->focusProxy() != nullptr, 30000);
    QWidget* surface = m_window->wb1->focusProxy();
    m_window->activateWindow();
    surface->setFocus();
    QCOMPARE(m_window->focusWidget(), surface);
    QTest::keyClick(surface, Qt::Key_Escape);
    QTest::qWait(300);
    QVERIFY(m_window->isVisible());
    // An Esc the page leaves unhandled comes back to the window: it is not a close either.
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    QVERIFY(m_window->isVisible());
    // With the focus back on the window's own controls, Esc closes.
    m_window->edtExcelPath->setFocus();
    QTest::keyClick(m_window.get(), Qt::Key_Escape);
    QVERIFY(!m_window->isVisible());
}

void MainWindowTest::closeDuringExportWaitsForIt() {
    addWages("/data/long.xls", 20);
    m_window->setRepaintInterval(0);
    ModalDriver driver;
    int depthAtClose = -1;
    bool closedAtOnce = true;
    driver.onOptions = [&](TfrmSysOption* d) {
        d->close();
        // Arrives at the export's first look at pending messages.
        QTimer::singleShot(0, m_window.get(), [&] {
            depthAtClose = m_window->exportDepth();
            m_window->windowHandle()->close();
            closedAtOnce = !m_window->isVisible();
        });
    };
    m_window->edtExcelPath->setText(QStringLiteral("/data/long.xls"));
    m_window->rzbtbtnExportClick();
    QCOMPARE(depthAtClose, 1);
    QVERIFY(!closedAtOnce);
    // The export ran to its last person and showed its result ...
    QCOMPARE(m_window->lastOutcome()->persons, 20);
    QCOMPARE(int(m_window->lastOutcome()->status), int(quenly::ExportOutcome::Status::Finished));
    QVERIFY(m_back->isVisible(2));
    QCOMPARE(m_window->lblProcess->text(), progressLabel(20, 20));
    // ... and then the window closes.
    QTRY_VERIFY(!m_window->isVisible());
    QVERIFY(!m_window->closePending());
}

void MainWindowTest::escDuringExportWaitsForIt() {
    addWages("/data/long.xls", 10);
    m_window->setRepaintInterval(0);
    ModalDriver driver;
    bool visibleAfterEsc = false;
    driver.onOptions = [&](TfrmSysOption* d) {
        d->close();
        QTimer::singleShot(0, m_window.get(), [&] {
            QTest::keyClick(m_window->edtExcelPath, Qt::Key_Escape);
            visibleAfterEsc = m_window->isVisible();
        });
    };
    m_window->edtExcelPath->setText(QStringLiteral("/data/long.xls"));
    m_window->rzbtbtnExportClick();
    QVERIFY(visibleAfterEsc);
    QCOMPARE(m_window->lastOutcome()->persons, 10);
    QTRY_VERIFY(!m_window->isVisible());
}

void MainWindowTest::nestedExportFromDrop() {
    addWages("/data/outer.xls", 6);
    addWages("/data/inner.xlsx", 2);
    m_window->setRepaintInterval(0);
    ModalDriver driver;
    QMimeData inner;
    inner.setUrls({QUrl::fromLocalFile(QStringLiteral("/data/inner.xlsx"))});
    int options = 0;
    std::vector<int> depthAtDialog;
    driver.onOptions = [&](TfrmSysOption* d) {
        depthAtDialog.push_back(m_window->exportDepth());
        d->close();
        if (++options == 1) {
            // The file dropped while the first export runs.
            QTimer::singleShot(0, m_window.get(), [&] {
                quenly::test::dropOn(m_window.get(), &inner);
                // Typed while the exports run; the outer drop's name replaces it at the end.
                m_window->edtExcelPath->setText(QStringLiteral("/typed meanwhile.xls"));
            });
        }
    };
    QSignalSpy returned(m_window.get(), &TfrmQuenly::exportReturned);
    quenly::test::dropUrls(m_window.get(),
                           {QUrl::fromLocalFile(QStringLiteral("/data/outer.xls"))});
    QTRY_COMPARE_WITH_TIMEOUT(returned.count(), 2, 10000);
    QCOMPARE(depthAtDialog, (std::vector<int>{1, 2}));
    QCOMPARE(opened(), (std::vector<std::string>{"/data/outer.xls", "/data/inner.xlsx"}));
    QCOMPARE(m_back->instances(), 4);
    // The inner export (instances 3 and 4) finished before the outer one showed its result.
    QVERIFY(visibleCall(4) >= 0);
    QVERIFY(visibleCall(4) < visibleCall(2));
    QCOMPARE(m_window->lastOutcome()->persons, 6);
    QCOMPARE(m_window->edtExcelPath->text(), QStringLiteral("/data/outer.xls"));
    // Both exports wrote the one bar and label: the inner one left its maximum, the outer one
    // went on counting from the inner one's position; the bar ends full, the label with 6 of 6.
    QCOMPARE(m_window->lblProcess->text(), progressLabel(6, 6));
    QCOMPARE(m_window->pb1->maximum(), 2);
    QCOMPARE(m_window->pb1->value(), 2);
}

void MainWindowTest::dropQueuedAtTheEndOfAClosingExportStartsNothing() {
    addWages("/data/long.xls", 5);
    addWages("/data/late.xlsx", 2);
    m_window->setRepaintInterval(0);
    ModalDriver driver;
    std::vector<bool> windowShownAtDialog;
    driver.onOptions = [&](TfrmSysOption* d) {
        windowShownAtDialog.push_back(m_window->isVisible());
        d->close();
    };
    // Runs whenever the export lets messages run: the close is asked at the first person, the
    // drop arrives while the export runs its messages for the last time, so its handling is
    // queued behind the export.
    bool closeAsked = false;
    int depthAtDrop = -1;
    QTimer during;
    during.setInterval(0);
    connect(&during, &QTimer::timeout, this, [&] {
        if (m_window->exportDepth() == 0) {
            return;
        }
        if (!closeAsked) {
            closeAsked = true;
            m_window->windowHandle()->close();
        }
        if (depthAtDrop < 0 && m_window->progressPosition() == 5) {
            depthAtDrop = m_window->exportDepth();
            quenly::test::dropUrls(m_window.get(),
                                   {QUrl::fromLocalFile(QStringLiteral("/data/late.xlsx"))});
        }
    });
    during.start();
    m_window->edtExcelPath->setText(QStringLiteral("/data/long.xls"));
    m_window->rzbtbtnExportClick();
    during.stop();
    QCOMPARE(depthAtDrop, 1);
    QCOMPARE(m_window->lastOutcome()->persons, 5);
    // The window closed once the export returned, and nothing was started after it.
    QTRY_VERIFY(!m_window->isVisible());
    QTest::qWait(300);
    QCOMPARE(driver.count(SeenModal::Kind::Options), 1);
    QCOMPARE(windowShownAtDialog, std::vector<bool>{true});
    QCOMPARE(opened(), std::vector<std::string>{"/data/long.xls"});
    QCOMPARE(m_window->exportDepth(), 0);
    QVERIFY(!m_window->isVisible());
}

void MainWindowTest::resultIsHandedOnBeforeClosing() {
    // A real workbook file through the program's own spreadsheet back end.
    const std::filesystem::path source = *m_dir / "工资表.xlsx";
    {
        quenly::wb::Workbook book;
        quenly::wb::Worksheet& sheet = book.addSheet("Sheet1");
        const char* header[] = {"姓名", "实发工资"};
        for (std::uint32_t c = 0; c < 2; ++c) {
            sheet.cellForWrite(0, c) = quenly::wb::Cell::makeText(book.strings.intern(header[c]));
        }
        for (std::uint32_t r = 1; r <= 3; ++r) {
            sheet.cellForWrite(r, 0) =
                quenly::wb::Cell::makeText(book.strings.intern("员工" + std::to_string(r)));
            sheet.cellForWrite(r, 1) = quenly::wb::Cell::makeNumber(4000 + r);
        }
        quenly::wb::saveWorkbook(book, source);
    }
    std::vector<std::shared_ptr<quenly::wb::Workbook>> results;
    bool windowOpenAtResult = false;
    TfrmQuenly* window = nullptr;
    auto server = std::make_shared<quenly::wb::SpreadsheetServer>(
        [&](std::shared_ptr<quenly::wb::Workbook> book) {
            windowOpenAtResult = window && window->isVisible();
            results.push_back(std::move(book));
        });
    quenly::ServerRegistry servers;
    server->registerWith(servers);
    TfrmQuenly real(servers, m_ini, QUrl(QStringLiteral("about:blank")));
    window = &real;
    real.setRepaintInterval(0);
    real.show();
    QVERIFY(QTest::qWaitForWindowExposed(&real));
    ModalDriver driver;
    driver.onOptions = [&](TfrmSysOption* d) {
        d->close();
        QTimer::singleShot(0, &real, [&] { real.close(); });
    };
    real.edtExcelPath->setText(QString::fromStdString(source.string()));
    real.rzbtbtnExportClick();
    QCOMPARE(results.size(), std::size_t(1));
    QVERIFY(windowOpenAtResult);
    const quenly::wb::Worksheet& slips = results.front()->sheet(0);
    const auto text = [&](std::uint32_t r, std::uint32_t c) {
        const quenly::wb::Cell* cell = slips.cell(r, c);
        return cell && cell->type == quenly::wb::CellType::Text
                   ? results.front()->strings.at(cell->text).text
                   : std::string();
    };
    // Blocks of header, person, empty row.
    QCOMPARE(text(0, 0), std::string("姓名"));
    QCOMPARE(text(1, 0), std::string("员工1"));
    QCOMPARE(text(2, 0), std::string());
    QCOMPARE(text(3, 1), std::string("实发工资"));
    QCOMPARE(text(7, 0), std::string("员工3"));
    QTRY_VERIFY(!real.isVisible());
}

QUENLY_GUI_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
