// Keeping and opening the result: the file's name and folder, asking the desktop for an
// application, the launcher's exit status, and the offer to save a copy elsewhere.
#include "gui_test_support.h"
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

#include <fstream>
#include <memory>

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

QUENLY_GUI_TEST_MAIN(ResultPresenterTest)
#include "result_presenter_test.moc"
