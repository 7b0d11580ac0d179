// The header options dialog: layout, first use, the blank-field messages in their order,
// trimming and upper-casing, write failures, and the ways it may and may not be closed.
#include "error_box.h"
#include "framed_controls.h"
#include "gui_test_support.h"
#include "header_options.h"
#include "startup.h"
#include "sys_option_dialog.h"
#include "temp_dir.h"

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QtTest>

#include <fstream>
#include <memory>

using quenly::HeaderOptions;
using quenly::HeaderOptionsStore;
using quenly::TfrmSysOption;
using quenly::test::ModalDriver;
using quenly::test::SeenModal;
using quenly::test::TempDir;

namespace {

void writeOptions(const std::filesystem::path& ini, const HeaderOptions& o) {
    const HeaderOptionsStore store(ini);
    store.writeKey("StartTitleRow", o.StartTitleRow);
    store.writeKey("EndTitleRow", o.EndTitleRow);
    store.writeKey("StartTitleCol", o.StartTitleCol);
    store.writeKey("EndTitleCol", o.EndTitleCol);
}

HeaderOptions stored(const std::filesystem::path& ini) {
    const HeaderOptionsStore store(ini);
    return {store.readKey("StartTitleRow", "<none>"), store.readKey("EndTitleRow", "<none>"),
            store.readKey("StartTitleCol", "<none>"), store.readKey("EndTitleCol", "<none>")};
}

std::string fileText(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void fill(TfrmSysOption& d, const char* a, const char* b, const char* c, const char* e) {
    d.edtRowStart->setText(QString::fromUtf8(a));
    d.edtRowEnd->setText(QString::fromUtf8(b));
    d.edtColStart->setText(QString::fromUtf8(c));
    d.edtColEnd->setText(QString::fromUtf8(e));
}

} // namespace

class SysOptionDialogTest : public QObject {
    Q_OBJECT
private slots:
    void layoutAndTexts();
    void firstUseWithoutIniFile();
    void firstUseOkStopsAtTheEmptyLastColumn();
    void blankFieldStopsInOrder_data();
    void blankFieldStopsInOrder();
    void trimsAndUpperCases();
    void savesOddValuesAsTyped();
    void closeBoxSavesNothing();
    void enterAndEscDoNothing();
    void failureOnCreationStillOpens();
    void writeFailureKeepsDialogOpen();
    void fixedBorderUnderAWindowManager();
};

void SysOptionDialogTest::layoutAndTexts() {
    TempDir dir;
    ModalDriver driver;
    driver.onOptions = [](TfrmSysOption*) {};
    TfrmSysOption d(dir / "sys.ini");
    QCOMPARE(d.windowTitle(), QString::fromUtf8("表头选项"));
    QCOMPARE(d.size(), QSize(302, 183));
    QCOMPARE(d.minimumSize(), d.maximumSize());
    QVERIFY(d.windowFlags() & Qt::WindowCloseButtonHint);
    QCOMPARE(d.rzgrpbx1->title(), QString::fromUtf8("表头设置"));
    QCOMPARE(d.rzgrpbx1->geometry(), QRect(0, 0, 302, 137));
    // The labels and boxes read as one sentence.
    QCOMPARE(d.lbl1->text() + d.lbl2->text() + d.lbl3->text() + d.RzLabel1->text() +
                 d.RzLabel2->text(),
             QString::fromUtf8("表头从：行，到行；列，到列。"));
    QCOMPARE(d.lbl1->pos(), QPoint(16, 27));
    QCOMPARE(d.lbl2->pos(), QPoint(126, 56));
    QCOMPARE(d.lbl2->width(), 46);
    QCOMPARE(d.lbl3->pos(), QPoint(222, 56));
    QCOMPARE(d.RzLabel1->pos(), QPoint(126, 96));
    QCOMPARE(d.RzLabel2->pos(), QPoint(222, 96));
    QCOMPARE(d.edtRowStart->geometry(), QRect(78, 52, 40, 19));
    QCOMPARE(d.edtRowEnd->geometry(), QRect(174, 52, 40, 19));
    QCOMPARE(d.edtColStart->geometry(), QRect(78, 92, 40, 19));
    QCOMPARE(d.edtColEnd->geometry(), QRect(174, 92, 40, 19));
    QVERIFY(!d.edtRowStart->hasFrame());
    QCOMPARE(d.btnOK->text(), QString::fromUtf8("确定"));
    QCOMPARE(d.btnOK->geometry(), QRect(112, 149, 75, 25));
    QVERIFY(!d.btnOK->isDefault());
    QVERIFY(!d.btnOK->autoDefault());
    QVERIFY(d.btnOK->glyph().isNull());
    // Tab order: the four boxes, then the button.
    QCOMPARE(quenly::test::nextTabStop(d.edtRowStart), static_cast<QWidget*>(d.edtRowEnd));
    QCOMPARE(quenly::test::nextTabStop(d.edtRowEnd), static_cast<QWidget*>(d.edtColStart));
    QCOMPARE(quenly::test::nextTabStop(d.edtColStart), static_cast<QWidget*>(d.edtColEnd));
    QCOMPARE(quenly::test::nextTabStop(d.edtColEnd), static_cast<QWidget*>(d.btnOK));
    QCOMPARE(driver.count(SeenModal::Kind::Message), 0);
}

void SysOptionDialogTest::firstUseWithoutIniFile() {
    TempDir dir;
    const auto ini = dir / "sys.ini";
    TfrmSysOption d(ini);
    QVERIFY(std::filesystem::exists(ini));
    QCOMPARE(d.edtRowStart->text(), QStringLiteral("1"));
    QCOMPARE(d.edtRowEnd->text(), QStringLiteral("1"));
    QCOMPARE(d.edtColStart->text(), QStringLiteral("A"));
    QCOMPARE(d.edtColEnd->text(), QString());
}

void SysOptionDialogTest::firstUseOkStopsAtTheEmptyLastColumn() {
    TempDir dir;
    const auto ini = dir / "sys.ini";
    ModalDriver driver;
    driver.onOptions = [](TfrmSysOption*) {};
    TfrmSysOption d(ini);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTest::mouseClick(d.btnOK, Qt::LeftButton);
    QCOMPARE(driver.count(SeenModal::Kind::Message), 1);
    const SeenModal box = driver.seen(SeenModal::Kind::Message).front();
    QCOMPARE(box.text, QString::fromUtf8("请设置结束标题列"));
    QCOMPARE(box.title, QString::fromUtf8("提示信息"));
    QCOMPARE(box.icon, QMessageBox::Information);
    QVERIFY(d.isVisible());
    QCOMPARE(d.focusWidget(), static_cast<QWidget*>(d.edtColEnd));
    const HeaderOptions after = stored(ini);
    QCOMPARE(after.StartTitleRow, std::string("1"));
    QCOMPARE(after.EndTitleRow, std::string("1"));
    QCOMPARE(after.StartTitleCol, std::string("A"));
    QCOMPARE(after.EndTitleCol, std::string(""));
}

void SysOptionDialogTest::blankFieldStopsInOrder_data() {
    QTest::addColumn<int>("blank");
    QTest::addColumn<QString>("message");
    QTest::newRow("first row") << 0 << QString::fromUtf8("请设置起始标题行");
    QTest::newRow("last row") << 1 << QString::fromUtf8("请设置结束标题行");
    QTest::newRow("first column") << 2 << QString::fromUtf8("请设置起始标题列");
    QTest::newRow("last column") << 3 << QString::fromUtf8("请设置结束标题列");
}

void SysOptionDialogTest::blankFieldStopsInOrder() {
    QFETCH(int, blank);
    QFETCH(QString, message);
    TempDir dir;
    const auto ini = dir / "sys.ini";
    writeOptions(ini, {"7", "8", "C", "D"});
    ModalDriver driver;
    driver.onOptions = [](TfrmSysOption*) {};
    TfrmSysOption d(ini);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QLineEdit* boxes[] = {d.edtRowStart, d.edtRowEnd, d.edtColStart, d.edtColEnd};
    const char* typed[] = {"2", "3", "e", "f"};
    for (int i = 0; i < 4; ++i) {
        // Blanks of every kind that counts as blank: spaces, tabs, line breaks.
        boxes[i]->setText(i == blank ? QStringLiteral(" \t \n") : QString::fromLatin1(typed[i]));
    }
    d.btnOKClick();
    QCOMPARE(driver.count(SeenModal::Kind::Message), 1);
    QCOMPARE(driver.seen(SeenModal::Kind::Message).front().text, message);
    QCOMPARE(driver.seen(SeenModal::Kind::Message).front().title, QString::fromUtf8("提示信息"));
    QVERIFY(d.isVisible());
    QCOMPARE(d.focusWidget(), static_cast<QWidget*>(boxes[blank]));
    // Fields before the blank one are saved, the blank one and those after are not.
    const HeaderOptions after = stored(ini);
    const std::string got[] = {after.StartTitleRow, after.EndTitleRow, after.StartTitleCol,
                               after.EndTitleCol};
    const char* saved[] = {"2", "3", "E", "F"};
    const char* old[] = {"7", "8", "C", "D"};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(got[i], std::string(i < blank ? saved[i] : old[i]));
    }
}

void SysOptionDialogTest::trimsAndUpperCases() {
    TempDir dir;
    const auto ini = dir / "sys.ini";
    ModalDriver driver;
    driver.onOptions = [](TfrmSysOption*) {};
    TfrmSysOption d(ini);
    d.show();
    fill(d, "\t2 ", " 3\r\n", " ab ", "zé");
    d.btnOKClick();
    QCOMPARE(driver.count(SeenModal::Kind::Message), 0);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    const HeaderOptions after = stored(ini);
    QCOMPARE(after.StartTitleRow, std::string("2"));
    QCOMPARE(after.EndTitleRow, std::string("3"));
    QCOMPARE(after.StartTitleCol, std::string("AB"));
    // Only a to z change case; other letters stay as typed.
    QCOMPARE(after.EndTitleCol, std::string("Zé"));
    QCOMPARE(quenly::trimControlAndSpace(std::string("\x01 x\x1f y \x20")), std::string("x\x1f y"));
    QCOMPARE(quenly::upperAsciiLetters("a-z{`@"), std::string("A-Z{`@"));
}

void SysOptionDialogTest::savesOddValuesAsTyped() {
    TempDir dir;
    const auto ini = dir / "sys.ini";
    TfrmSysOption d(ini);
    d.show();
    // Nothing beyond blankness is checked here: the export judges the values.
    fill(d, "x", "-1", "1a", "?");
    d.btnOKClick();
    QVERIFY(!d.isVisible());
    const HeaderOptions after = stored(ini);
    QCOMPARE(after.StartTitleRow, std::string("x"));
    QCOMPARE(after.EndTitleRow, std::string("-1"));
    QCOMPARE(after.StartTitleCol, std::string("1A"));
    QCOMPARE(after.EndTitleCol, std::string("?"));
}

void SysOptionDialogTest::closeBoxSavesNothing() {
    TempDir dir;
    const auto ini = dir / "sys.ini";
    writeOptions(ini, {"1", "2", "A", "F"});
    const std::string before = fileText(ini);
    ModalDriver driver;
    driver.onOptions = [](TfrmSysOption* d) {
        fill(*d, "5", "6", "b", "c");
        d->close();
    };
    auto d = std::make_unique<TfrmSysOption>(ini);
    d->exec();
    QCOMPARE(driver.count(SeenModal::Kind::Options), 1);
    QCOMPARE(d->result(), int(QDialog::Rejected));
    QCOMPARE(fileText(ini), before);
}

void SysOptionDialogTest::enterAndEscDoNothing() {
    TempDir dir;
    const auto ini = dir / "sys.ini";
    writeOptions(ini, {"1", "2", "A", "F"});
    const std::string before = fileText(ini);
    ModalDriver driver;
    driver.onOptions = [](TfrmSysOption*) {};
    TfrmSysOption d(ini);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    d.activateWindow();
    fill(d, "3", "4", "c", "d");
    for (QWidget* focus : std::initializer_list<QWidget*>{d.edtRowStart, d.edtColEnd, d.btnOK}) {
        focus->setFocus();
        QTest::keyClick(focus, Qt::Key_Return);
        QTest::keyClick(focus, Qt::Key_Enter);
        QTest::keyClick(focus, Qt::Key_Escape);
        QVERIFY2(d.isVisible(), qPrintable(focus->objectName()));
    }
    QCoreApplication::processEvents();
    QVERIFY(d.isVisible());
    QCOMPARE(driver.count(SeenModal::Kind::Message), 0);
    QCOMPARE(fileText(ini), before);
    // Space on the focused button is a press, as on any button.
    d.btnOK->setFocus();
    QTest::keyClick(d.btnOK, Qt::Key_Space);
    QTRY_VERIFY(!d.isVisible());
    QCOMPARE(stored(ini).EndTitleCol, std::string("D"));
}

void SysOptionDialogTest::failureOnCreationStillOpens() {
    TempDir dir;
    // The options file would lie below a plain file: it can be neither created nor written.
    { std::ofstream(dir / "plain") << "x"; }
    const auto ini = dir / "plain" / "sys.ini";
    ModalDriver driver;
    driver.onOptions = [](TfrmSysOption*) {};
    TfrmSysOption d(ini);
    QCOMPARE(driver.count(SeenModal::Kind::Message), 1);
    const SeenModal box = driver.seen(SeenModal::Kind::Message).front();
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.title, QString::fromStdString(quenly::ui::runningProgramTitle()));
    QVERIFY2(box.text.startsWith(QStringLiteral("Unable to write to ")), qPrintable(box.text));
    QVERIFY(box.text.endsWith(QStringLiteral("sys.ini.")));
    // The boxes keep what they had; the dialog opens all the same.
    QCOMPARE(d.edtRowStart->text(), QStringLiteral("1"));
    d.show();
    QVERIFY(d.isVisible());
}

void SysOptionDialogTest::writeFailureKeepsDialogOpen() {
    TempDir dir;
    const auto ini = dir / "sys.ini";
    ModalDriver driver;
    driver.onOptions = [](TfrmSysOption*) {};
    TfrmSysOption d(ini);
    d.show();
    // The file gives way to a folder of its name: every write now fails.
    std::filesystem::remove(ini);
    std::filesystem::create_directory(ini);
    fill(d, "1", "2", "A", "B");
    d.btnOKClick();
    QCOMPARE(driver.count(SeenModal::Kind::Message), 1);
    const SeenModal box = driver.seen(SeenModal::Kind::Message).front();
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.text, QStringLiteral("Unable to write to ") +
                           QString::fromStdString(std::filesystem::absolute(ini).string()) +
                           QStringLiteral("."));
    QVERIFY(d.isVisible());
}

namespace {

// The output of a command, or an empty text when it fails.
QString run(const QString& program, const QStringList& arguments) {
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(10000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString windowProperty(const QWidget& window, const char* name) {
    return run(QStringLiteral("xprop"),
               {QStringLiteral("-id"), QString::number(window.winId()), QString::fromLatin1(name)});
}

} // namespace

void SysOptionDialogTest::fixedBorderUnderAWindowManager() {
    TempDir dir;
    TfrmSysOption d(dir / "sys.ini");
    // Only a title with its menu and a close box are asked for.
    const Qt::WindowFlags flags = d.windowFlags();
    QVERIFY(flags & Qt::CustomizeWindowHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowFullscreenButtonHint));

    // What a real window manager makes of it (openbox, the one of Debian's LXDE desktop): the
    // actions it allows on the dialog, and what it does when asked to maximize it.
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        QSKIP("the window manager check needs X11");
    }
    for (const char* tool : {"openbox", "wmctrl", "xprop"}) {
        QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(),
                 qPrintable(QStringLiteral("%1 is not installed (scripts/setup.sh installs it)")
                                .arg(QString::fromLatin1(tool))));
    }
    QProcess wm;
    wm.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    QVERIFY(wm.waitForStarted(10000));
    const auto stopWm = qScopeGuard([&wm] {
        wm.terminate();
        wm.waitForFinished(10000);
    });
    // A window manager that has just started on a busy machine may take its time (its first
    // start on a new machine reads the fonts), so the waits are long; they end as soon as it acts.
    QTRY_VERIFY_WITH_TIMEOUT(!run(QStringLiteral("wmctrl"), {QStringLiteral("-m")}).isEmpty(),
                             90000);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d, 60000));
    QTRY_VERIFY_WITH_TIMEOUT(windowProperty(d, "_NET_WM_ALLOWED_ACTIONS")
                                 .contains(QStringLiteral("_NET_WM_ACTION_CLOSE")),
                             60000);
    const QString allowed = windowProperty(d, "_NET_WM_ALLOWED_ACTIONS");
    QVERIFY2(!allowed.contains(QStringLiteral("MAXIMIZE")), qPrintable(allowed));
    QVERIFY2(!allowed.contains(QStringLiteral("_NET_WM_ACTION_RESIZE")), qPrintable(allowed));
    QVERIFY2(allowed.contains(QStringLiteral("_NET_WM_ACTION_MOVE")), qPrintable(allowed));

    run(QStringLiteral("wmctrl"),
        {QStringLiteral("-i"), QStringLiteral("-r"), QString::number(d.winId()),
         QStringLiteral("-b"), QStringLiteral("add,maximized_vert,maximized_horz")});
    QTest::qWait(500);
    QCOMPARE(d.size(), QSize(302, 183));
    QVERIFY(!windowProperty(d, "_NET_WM_STATE").contains(QStringLiteral("MAXIMIZED")));
}

QUENLY_GUI_TEST_MAIN(SysOptionDialogTest)
#include "sys_option_dialog_test.moc"
