// Keeping and opening the result: the file's name and folder, asking the desktop for an
// application, the launcher's exit status, and the offer to save a copy elsewhere.
#include "gui_test_support.h"
#include "result_cache.h"
#include "result_presenter.h"
#include "startup.h"
#include "temp_dir.h"
#include "workbook.h"
#include "workbook_file.h"

#include <QApplication>
#include <QFileDialog>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include <chrono>
#include <fstream>
#include <memory>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

using quenly::app::ResultPresenter;
using quenly::test::ModalDriver;
using quenly::test::SeenModal;
using quenly::test::TempDir;

namespace {

std::shared_ptr<quenly::wb::Workbook> smallResult() {
    auto book = std::make_shared<quenly::wb::Workbook>();
    quenly::wb::Worksheet& sheet = book->addSheet("Sheet1");
    sheet.cellForWrite(0, 0) = quenly::wb::Cell::makeText(book->strings.intern("姓名"));
    sheet.cellForWrite(1, 0) = quenly::wb::Cell::makeText(book->strings.intern("张三"));
    return book;
}

std::string firstCell(const std::filesystem::path& file) {
    const auto book = quenly::wb::loadWorkbook(file);
    const quenly::wb::Cell* cell = book->sheet(0).cell(0, 0);
    return cell && cell->type == quenly::wb::CellType::Text ? book->strings.at(cell->text).text
                                                            : std::string();
}

/// A stand-in for a desktop command: a script that exits with `code` (and prints `output`).
QString fakeCommand(const TempDir& dir, const std::string& name, int code,
                    const std::string& output = {}) {
    const std::filesystem::path script = dir / name;
    {
        std::ofstream out(script);
        out << "#!/bin/sh\n";
        if (!output.empty()) {
            out << "echo '" << output << "'\n";
        }
        out << "exit " << code << "\n";
    }
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    return QString::fromStdString(script.string());
}

} // namespace

class ResultPresenterTest : public QObject {
    Q_OBJECT
private slots:
    void fileName_data();
    void fileName();
    void defaultFolderIsTheCache();
    void opensWithTheDesktopApplication();
    void noApplicationSaysWhereTheFileIs();
    void launcherFailureIsNotTakenAsSuccess();
    void saveAsKeepsACopyElsewhere();
    void saveAsPdfDrawsTheSlips();
    void sameSecondGivesDistinctFiles();
    void unwritableFolderIsReported();
    void resultsArePrivateWhateverTheUmask();
    void resultNames_data();
    void resultNames();
    void startSweepRemovesOnlyItsOwnOldResults();
};

void ResultPresenterTest::fileName_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("name");
    QTest::newRow("xlsx") << QString::fromUtf8("/home/a/工资表.xlsx")
                          << QString::fromUtf8("工资表-工资条-20261208-031500.xlsx");
    QTest::newRow("xls with dots") << QString::fromUtf8("/d/2026.12 工资.xls")
                                   << QString::fromUtf8("2026.12 工资-工资条-20261208-031500.xlsx");
    QTest::newRow("no source") << QString() << QString::fromUtf8("工资条-20261208-031500.xlsx");
    QTest::newRow("only spaces") << QStringLiteral("/d/  .xls")
                                 << QString::fromUtf8("工资条-20261208-031500.xlsx");
}

void ResultPresenterTest::fileName() {
    QFETCH(QString, source);
    QFETCH(QString, name);
    const QDateTime when(QDate(2026, 12, 8), QTime(3, 15, 0));
    QCOMPARE(QString::fromStdString(quenly::app::resultFileName(source.toStdString(), when)), name);
}

void ResultPresenterTest::defaultFolderIsTheCache() {
    const std::string folder = quenly::app::defaultResultFolder().string();
    QVERIFY2(QString::fromStdString(folder).endsWith(QStringLiteral(".cache/quenly")) ||
                 QString::fromStdString(folder).endsWith(QStringLiteral("/quenly")),
             folder.c_str());
}

void ResultPresenterTest::opensWithTheDesktopApplication() {
    TempDir dir;
    ResultPresenter::Desktop desktop;
    desktop.mimeQuery = fakeCommand(dir, "mime", 0, "calc.desktop");
    desktop.opener = fakeCommand(dir, "open", 0);
    ResultPresenter presenter(dir / "cache", desktop);
    presenter.setSourceProvider([] { return std::string("/d/工资表.xls"); });
    ModalDriver driver;
    QSignalSpy opened(&presenter, &ResultPresenter::opened);
    QSignalSpy failed(&presenter, &ResultPresenter::openFailed);
    presenter.present(smallResult());
    QVERIFY(opened.wait(10000));
    QCOMPARE(failed.count(), 0);
    const std::filesystem::path saved = presenter.lastSaved();
    QCOMPARE(saved.parent_path(), dir / "cache");
    QVERIFY(QString::fromStdString(saved.filename().string())
                .startsWith(QString::fromUtf8("工资表-工资条-")));
    QCOMPARE(opened.front().front().toString(), QString::fromStdString(saved.string()));
    QCOMPARE(firstCell(saved), std::string("姓名"));
    QCOMPARE(driver.count(SeenModal::Kind::Message), 0);
}

void ResultPresenterTest::noApplicationSaysWhereTheFileIs() {
    TempDir dir;
    ResultPresenter::Desktop desktop;
    // The desktop knows no application for the type: the query prints nothing.
    desktop.mimeQuery = fakeCommand(dir, "mime", 0);
    desktop.opener = fakeCommand(dir, "open", 0);
    ResultPresenter presenter(dir / "cache", desktop);
    ModalDriver driver;
    QSignalSpy opened(&presenter, &ResultPresenter::opened);
    QSignalSpy failed(&presenter, &ResultPresenter::openFailed);
    presenter.present(smallResult());
    QCOMPARE(failed.count(), 1);
    QCOMPARE(opened.count(), 0);
    QCOMPARE(driver.count(SeenModal::Kind::Message), 1);
    const QString text = driver.seen().front().text;
    QVERIFY2(text.contains(QString::fromStdString(presenter.lastSaved().string())),
             qPrintable(text));
    QVERIFY(std::filesystem::exists(presenter.lastSaved()));
}

void ResultPresenterTest::launcherFailureIsNotTakenAsSuccess() {
    TempDir dir;
    ResultPresenter::Desktop desktop;
    desktop.mimeQuery = fakeCommand(dir, "mime", 0, "calc.desktop");
    // The launcher starts but reports that nothing could open the file.
    desktop.opener = fakeCommand(dir, "open", 3);
    ResultPresenter presenter(dir / "cache", desktop);
    ModalDriver driver;
    QSignalSpy opened(&presenter, &ResultPresenter::opened);
    QSignalSpy failed(&presenter, &ResultPresenter::openFailed);
    presenter.present(smallResult());
    QVERIFY(failed.wait(10000));
    QCOMPARE(opened.count(), 0);
    QCOMPARE(driver.count(SeenModal::Kind::Message), 1);
    QVERIFY(driver.seen().front().text.contains(
        QString::fromStdString(presenter.lastSaved().string())));
}

void ResultPresenterTest::saveAsKeepsACopyElsewhere() {
    TempDir dir;
    ResultPresenter::Desktop desktop;
    desktop.mimeQuery = fakeCommand(dir, "mime", 1);
    ResultPresenter presenter(dir / "cache", desktop);
    const std::filesystem::path target = dir / "keep" / "十二月工资条.xlsx";
    std::filesystem::create_directory(target.parent_path());
    ModalDriver driver;
    driver.onMessage = [](QMessageBox* box) {
        QVERIFY(quenly::test::clickButton(box, QString::fromUtf8("另存为…")));
    };
    driver.onFile = [&target](QFileDialog* d) {
        quenly::test::chooseFile(d, QString::fromStdString(target.string()));
    };
    presenter.present(smallResult());
    QCOMPARE(driver.count(SeenModal::Kind::File), 1);
    QVERIFY(std::filesystem::exists(target));
    QCOMPARE(firstCell(target), std::string("姓名"));
    QVERIFY(std::filesystem::exists(presenter.lastSaved()));
}

void ResultPresenterTest::saveAsPdfDrawsTheSlips() {
    TempDir dir;
    ResultPresenter::Desktop desktop;
    desktop.mimeQuery = fakeCommand(dir, "mime", 1);
    ResultPresenter presenter(dir / "cache", desktop);
    // Chosen without the extension: it is added.
    const std::filesystem::path chosen = dir / "打印" / "十二月 工资条";
    std::filesystem::create_directory(chosen.parent_path());
    ModalDriver driver;
    driver.onMessage = [](QMessageBox* box) {
        QVERIFY(box->text().contains(QString::fromUtf8("另存为 PDF")));
        QVERIFY(quenly::test::clickButton(box, QString::fromUtf8("另存为 PDF…")));
    };
    driver.onFile = [&chosen](QFileDialog* d) {
        quenly::test::chooseFile(d, QString::fromStdString(chosen.string()));
    };
    presenter.present(smallResult());
    QCOMPARE(driver.count(SeenModal::Kind::File), 1);
    std::filesystem::path pdf = chosen;
    pdf += ".pdf";
    QCOMPARE(presenter.lastPdf(), pdf);
    std::ifstream in(pdf, std::ios::binary);
    std::string head(5, '\0');
    in.read(head.data(), 5);
    QCOMPARE(head, std::string("%PDF-"));
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty()) {
        QSKIP("pdftotext is not installed: the text of the PDF is not checked");
    }
    QProcess text;
    text.start(QStringLiteral("pdftotext"),
               {QString::fromStdString(pdf.string()), QStringLiteral("-")});
    QVERIFY(text.waitForFinished(30000));
    const QString shown = QString::fromUtf8(text.readAllStandardOutput());
    QVERIFY2(shown.contains(QString::fromUtf8("姓名")) && shown.contains(QString::fromUtf8("张三")),
             qPrintable(shown));
}

void ResultPresenterTest::sameSecondGivesDistinctFiles() {
    TempDir dir;
    ResultPresenter::Desktop desktop;
    desktop.mimeQuery = fakeCommand(dir, "mime", 1);
    ResultPresenter presenter(dir / "cache", desktop);
    ModalDriver driver;
    presenter.present(smallResult());
    const std::filesystem::path first = presenter.lastSaved();
    presenter.present(smallResult());
    const std::filesystem::path second = presenter.lastSaved();
    QVERIFY(first != second);
    QVERIFY(std::filesystem::exists(first));
    QVERIFY(std::filesystem::exists(second));
}

void ResultPresenterTest::unwritableFolderIsReported() {
    TempDir dir;
    { std::ofstream(dir / "plain") << "x"; }
    ResultPresenter::Desktop desktop;
    desktop.mimeQuery = fakeCommand(dir, "mime", 0, "calc.desktop");
    ResultPresenter presenter(dir / "plain" / "cache", desktop);
    ModalDriver driver;
    presenter.present(smallResult());
    QCOMPARE(driver.count(SeenModal::Kind::Message), 1);
    QCOMPARE(driver.seen().front().icon, QMessageBox::Critical);
    QVERIFY(driver.seen().front().text.contains(QStringLiteral("plain/cache")));
    QVERIFY(presenter.lastSaved().empty());
}

namespace {

mode_t modeOf(const std::filesystem::path& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? (st.st_mode & 07777) : mode_t(~0);
}

} // namespace

void ResultPresenterTest::resultsArePrivateWhateverTheUmask() {
    TempDir dir;
    ResultPresenter::Desktop desktop;
    desktop.mimeQuery = fakeCommand(dir, "mime", 1);
    ModalDriver driver;
    for (const mode_t mask : {mode_t(0), mode_t(022)}) {
        const mode_t before = ::umask(mask);
        // The cache folder and its parents are made for the user alone ...
        const std::filesystem::path folder = dir / ("home" + std::to_string(mask)) / "cache";
        ResultPresenter presenter(folder / "quenly", desktop);
        presenter.present(smallResult());
        QCOMPARE(modeOf(folder), mode_t(0700));
        QCOMPARE(modeOf(folder / "quenly"), mode_t(0700));
        QCOMPARE(modeOf(presenter.lastSaved()), mode_t(0600));
        // ... the umask is the program's own again afterwards ...
        QCOMPARE(::umask(before), mask);
        // ... and a folder an earlier version left open to others is closed.
        std::filesystem::permissions(folder / "quenly", std::filesystem::perms(0755));
        presenter.present(smallResult());
        QCOMPARE(modeOf(folder / "quenly"), mode_t(0700));
        QCOMPARE(modeOf(presenter.lastSaved()), mode_t(0600));
    }
}

void ResultPresenterTest::resultNames_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("partial");
    QTest::newRow("result") << QString::fromUtf8("工资表-工资条-20261208-031500.xlsx") << true
                            << false;
    QTest::newRow("without source")
        << QString::fromUtf8("工资条-20261208-031500.xlsx") << true << false;
    QTest::newRow("second of a second")
        << QString::fromUtf8("a-b-工资条-20261208-031500-12.xlsx") << true << false;
    QTest::newRow("partial") << QString::fromUtf8(".工资表-工资条-20261208-031500.xlsx.tmp.4242.0")
                             << false << true;
    QTest::newRow("partial of a long name")
        << QStringLiteral(".quenly-save.tmp.4242.17") << false << true;
    QTest::newRow("partial without its numbers")
        << QString::fromUtf8(".工资表-工资条-20261208-031500.xlsx.tmp.4242") << false << false;
    QTest::newRow("user's own") << QString::fromUtf8("工资条.xlsx") << false << false;
    QTest::newRow("no dash before")
        << QString::fromUtf8("表工资条-20261208-031500.xlsx") << false << false;
    QTest::newRow("short stamp") << QString::fromUtf8("工资条-2026128-031500.xlsx") << false
                                 << false;
    QTest::newRow("other extension")
        << QString::fromUtf8("工资条-20261208-031500.xlsx.bak") << false << false;
    QTest::newRow("lock file") << QString::fromUtf8(".~lock.工资条-20261208-031500.xlsx#") << false
                               << false;
    QTest::newRow("partial of a foreign name")
        << QStringLiteral(".notes.txt.tmp.4242.0") << false << false;
}

void ResultPresenterTest::resultNames() {
    QFETCH(QString, name);
    QFETCH(bool, result);
    QFETCH(bool, partial);
    QCOMPARE(quenly::app::isResultFileName(name.toStdString()), result);
    QCOMPARE(quenly::app::isPartialResultName(name.toStdString()), partial);
}

void ResultPresenterTest::startSweepRemovesOnlyItsOwnOldResults() {
    namespace fs = std::filesystem;
    TempDir dir;
    const fs::path folder = dir / "quenly";
    fs::create_directory(folder);
    const auto now = fs::file_time_type::clock::now();
    const auto put = [&](const std::string& name, std::chrono::hours age) {
        { std::ofstream(folder / name) << "x"; }
        fs::last_write_time(folder / name, now - age);
        fs::permissions(folder / name, fs::perms(0644));
    };
    const auto day = std::chrono::hours(24);
    // 53 results of the last days, the newest first; two more older than 30 days.
    for (int k = 0; k < 53; ++k) {
        put("r" + std::to_string(k) + "-工资条-20261208-0315" + (k < 10 ? "0" : "") +
                std::to_string(k) + ".xlsx",
            std::chrono::hours(k));
    }
    put("old-工资条-20261001-080000.xlsx", 31 * day);
    put("工资条-20261002-080000-2.xlsx", 40 * day);
    // Partial files of interrupted saves: an old one and one a save may be writing now.
    put(".r0-工资条-20261208-031500.xlsx.tmp.4242.3", 2 * day);
    put(".quenly-save.tmp.4242.9", std::chrono::hours(0));
    // Files Quenly did not write, however old, and things that only look like results.
    put("工资条.xlsx", 90 * day);
    put("notes.txt", 90 * day);
    put(".~lock.r0-工资条-20261208-031500.xlsx#", 90 * day);
    { std::ofstream(dir / "outside.xlsx") << "keep"; }
    fs::create_symlink(dir / "outside.xlsx", folder / "link-工资条-20261003-080000.xlsx");
    fs::create_directory(folder / "dir-工资条-20261004-080000.xlsx");
    fs::last_write_time(folder / "dir-工资条-20261004-080000.xlsx", now - 90 * day);

    QCOMPARE(quenly::app::sweepResultFolder(folder, now), std::size_t(6));

    std::set<std::string> left;
    for (const auto& entry : fs::directory_iterator(folder)) {
        left.insert(entry.path().filename().string());
    }
    std::set<std::string> expected{".quenly-save.tmp.4242.9",
                                   "工资条.xlsx",
                                   "notes.txt",
                                   ".~lock.r0-工资条-20261208-031500.xlsx#",
                                   "link-工资条-20261003-080000.xlsx",
                                   "dir-工资条-20261004-080000.xlsx"};
    for (int k = 0; k < 50; ++k) {
        expected.insert("r" + std::to_string(k) + "-工资条-20261208-0315" + (k < 10 ? "0" : "") +
                        std::to_string(k) + ".xlsx");
    }
    QCOMPARE(left, expected);
    QVERIFY(fs::exists(dir / "outside.xlsx"));
    // The results kept are the user's alone; other files keep their modes.
    QCOMPARE(modeOf(folder / "r49-工资条-20261208-031549.xlsx"), mode_t(0600));
    QCOMPARE(modeOf(folder / "notes.txt"), mode_t(0644));
    // A folder that is not there is no fault.
    QCOMPARE(quenly::app::sweepResultFolder(dir / "none", now), std::size_t(0));
}

QUENLY_GUI_TEST_MAIN(ResultPresenterTest)
#include "result_presenter_test.moc"
