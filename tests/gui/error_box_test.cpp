// The standard error box: its caption made from the executable's name, the full stop rule, and
// handlers that show what escapes them.
#include "error_box.h"
#include "gui_test_support.h"
#include "startup.h"

#include <QApplication>
#include <QtTest>

#include <stdexcept>

using quenly::test::ModalDriver;
using quenly::test::SeenModal;

class ErrorBoxTest : public QObject {
    Q_OBJECT
private slots:
    void programTitle_data();
    void programTitle();
    void errorBoxText_data();
    void errorBoxText();
    void boxShowsTitleIconAndText();
    void guardedShowsWhatEscapes();
    void guardedLetsNormalWorkThrough();
};

void ErrorBoxTest::programTitle_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("plain lower case") << "/usr/bin/quenly"
                                      << "quenly";
    QTest::newRow("upper case after the first") << "/opt/QUENLY.bin"
                                                << "Quenly";
    QTest::newRow("mixed, first kept") << "/x/qUeNlY"
                                       << "quenly";
    QTest::newRow("cut at the first dot") << "/x/Quenly.Main.exe"
                                          << "Quenly";
    QTest::newRow("dot in a folder name is not a cut") << "/x.y/Tool"
                                                       << "Tool";
    QTest::newRow("no folder") << "Quenly.exe"
                               << "Quenly";
    QTest::newRow("name starting with a dot") << "/x/.hidden"
                                              << "";
    QTest::newRow("non-ASCII kept") << "/x/工资Ab"
                                    << "工资ab";
}

void ErrorBoxTest::programTitle() {
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(QString::fromStdString(quenly::ui::programTitle(path.toStdString())), title);
}

void ErrorBoxTest::errorBoxText_data() {
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("letter gets a stop") << QByteArray("Unable to write to /x/sys.ini")
                                        << QByteArray("Unable to write to /x/sys.ini.");
    QTest::newRow("stop stays single") << QByteArray("done.") << QByteArray("done.");
    QTest::newRow("'!' sorts before '.'") << QByteArray("stop!") << QByteArray("stop!");
    QTest::newRow("'-' sorts before '.'") << QByteArray("a-") << QByteArray("a-");
    QTest::newRow("'/' sorts after '.'") << QByteArray("a/") << QByteArray("a/.");
    QTest::newRow("digit sorts after '.'") << QByteArray("line 3") << QByteArray("line 3.");
    QTest::newRow("space sorts before '.'") << QByteArray("a ") << QByteArray("a ");
    QTest::newRow("non-ASCII last byte sorts after '.'")
        << QByteArray("无法打开") << QByteArray("无法打开.");
    QTest::newRow("empty stays empty") << QByteArray() << QByteArray();
}

void ErrorBoxTest::errorBoxText() {
    QFETCH(QByteArray, message);
    QFETCH(QByteArray, text);
    const std::string got = quenly::ui::errorBoxText(message.toStdString());
    QCOMPARE(QByteArray::fromStdString(got), text);
}

void ErrorBoxTest::boxShowsTitleIconAndText() {
    ModalDriver driver;
    QWidget owner;
    owner.show();
    quenly::ui::showErrorBox(&owner, "Unable to write to /x/sys.ini");
    QCOMPARE(driver.count(SeenModal::Kind::Message), 1);
    const SeenModal box = driver.seen().front();
    QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(box.text, QStringLiteral("Unable to write to /x/sys.ini."));
    // This test's executable is gui_error_box_test: all lower case already.
    QCOMPARE(box.title, QStringLiteral("gui_error_box_test"));
    QCOMPARE(QString::fromStdString(quenly::ui::runningProgramTitle()),
             QStringLiteral("gui_error_box_test"));
}

void ErrorBoxTest::guardedShowsWhatEscapes() {
    ModalDriver driver;
    QWidget owner;
    owner.show();
    bool after = false;
    quenly::ui::guarded(&owner, [] { throw std::runtime_error("文件“a.xls”无法读取"); });
    after = true;
    quenly::ui::guarded(&owner, [] { throw 42; });
    QVERIFY(after);
    QCOMPARE(driver.count(SeenModal::Kind::Message), 2);
    QCOMPARE(driver.seen()[0].text, QString::fromUtf8("文件“a.xls”无法读取."));
    QCOMPARE(driver.seen()[0].icon, QMessageBox::Critical);
    QVERIFY(!driver.seen()[1].text.isEmpty());
    QCOMPARE(driver.seen()[1].icon, QMessageBox::Critical);
}

void ErrorBoxTest::guardedLetsNormalWorkThrough() {
    ModalDriver driver;
    int runs = 0;
    quenly::ui::guarded(nullptr, [&] { ++runs; });
    QCOMPARE(runs, 1);
    QCoreApplication::processEvents();
    QCOMPARE(driver.count(SeenModal::Kind::Message), 0);
}

QUENLY_GUI_TEST_MAIN(ErrorBoxTest)
#include "error_box_test.moc"
