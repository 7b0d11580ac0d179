// Tests of the payslip export against the recording back end: the automation calls of whole
// runs, the slip layout, the progress display and every failure path.
#include "payslip_export.h"

#include "recording_automation.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace quenly {
namespace {

namespace fs = std::filesystem;
using test::RecordingAutomation;
using test::TempDir;

const std::string kBook = "/data/wages.xlsx";

// A window stand-in that notes what the export does to it, in step with the call log.
class TestHost : public ExportHost {
public:
    explicit TestHost(const RecordingAutomation& rec)
        : m_rec(rec) {}

    std::string path = kBook;
    int position = 0;
    int maximum = -1;
    std::string processText = "处理进度：";
    int pathReads = 0;
    int confirms = 0;
    int pendingRuns = 0;
    struct Message {
        std::string text;
        std::string caption;
        MessageIcon icon;
    };
    std::vector<Message> messages;
    std::function<void()> onConfirm;
    std::function<void()> onPending;

    std::string excelPath() override {
        ++pathReads;
        return path;
    }
    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override {
        messages.push_back({text, caption, icon});
        note("message " + text);
    }
    void setProgressMaximum(int value) override {
        maximum = value;
        note("maximum " + std::to_string(value));
    }
    void setProgressPosition(int value) override {
        position = value;
        note("position " + std::to_string(value));
    }
    int progressPosition() override { return position; }
    void setProcessText(const std::string& text) override {
        processText = text;
        note("text " + text);
    }
    void processPendingMessages() override {
        ++pendingRuns;
        note("pending");
        if (onPending) {
            onPending();
        }
    }
    void confirmHeaderOptions() override {
        ++confirms;
        note("confirm");
        if (onConfirm) {
            onConfirm();
        }
    }

    // The call log with the host's own events merged in where they happened, as "host ...".
    std::vector<std::string> timeline() const {
        std::vector<std::string> out;
        std::size_t next = 0;
        const auto& log = m_rec.log();
        for (std::size_t i = 0; i <= log.size(); ++i) {
            while (next < m_events.size() && m_events[next].first == i) {
                out.push_back("host " + m_events[next++].second);
            }
            if (i < log.size()) {
                out.push_back(log[i].text());
            }
        }
        return out;
    }

private:
    void note(const std::string& what) { m_events.emplace_back(m_rec.log().size(), what); }

    const RecordingAutomation& m_rec;
    std::vector<std::pair<std::size_t, std::string>> m_events;
};

// Pieces of the expected timeline, written from the table of automation calls.
using Lines = std::vector<std::string>;

void append(Lines& to, const Lines& more) {
    to.insert(to.end(), more.begin(), more.end());
}

std::string q(const std::string& s) {
    return "\"" + s + "\"";
}

Lines startLines(int instance) {
    return {std::to_string(instance) + " server start method \"Excel.Application\""};
}

Lines openSource(const std::string& path, int s = 1) {
    const std::string i = std::to_string(s);
    Lines out = startLines(s);
    append(out, {i + " application Workbooks get", i + " workbooks Open method " + q(path),
                 i + " application Worksheets get 1", i + " worksheet Activate method"});
    return out;
}

Lines countCell(const std::string& address, int s = 1) {
    const std::string i = std::to_string(s);
    return {i + " application Range get " + q(address), i + " range Value get"};
}

Lines openResult(int r = 2) {
    const std::string i = std::to_string(r);
    Lines out = startLines(r);
    append(out, {i + " application Application get", i + " application Workbooks get",
                 i + " workbooks Add method", i + " application Application get",
                 i + " application Workbooks get 1", i + " workbook Worksheets get",
                 i + " worksheets Item get 1"});
    return out;
}

Lines width(const std::string& letters, const std::string& value = "8.43", int s = 1, int r = 2) {
    const std::string si = std::to_string(s);
    const std::string ri = std::to_string(r);
    const std::string cell = q(letters + "1");
    return {si + " application Range get " + cell, si + " range ColumnWidth get",
            ri + " application Range get " + cell, ri + " range ColumnWidth put " + value};
}

Lines paste(const std::string& from, const std::string& to, int s = 1, int r = 2) {
    const std::string si = std::to_string(s);
    const std::string ri = std::to_string(r);
    return {si + " application Range get " + q(from), si + " range Copy method",
            ri + " application Range get " + q(to), ri + " range Select method",
            ri + " worksheet Paste method"};
}

Lines finish(int s = 1, int r = 2) {
    const std::string si = std::to_string(s);
    return {si + " application DisplayAlerts put false", si + " application Workbooks get",
            si + " workbooks Close method", si + " application Quit method",
            std::to_string(r) + " application Visible put true"};
}

Lines quitLine(int instance) {
    return {std::to_string(instance) + " application Quit method"};
}

// The lines of the log that match `pattern` somewhere.
Lines matching(const Lines& lines, const std::string& pattern) {
    Lines out;
    for (const auto& l : lines) {
        if (l.find(pattern) != std::string::npos) {
            out.push_back(l);
        }
    }
    return out;
}

class PayslipExport : public ::testing::Test {
protected:
    PayslipExport() {
        m_rec.registerWith(m_servers);
        m_settings.iniPath = m_dir / "sys.ini";
        m_rec.addFile(kBook);
    }

    void writeIni(const std::string& content) {
        std::ofstream(m_settings.iniPath, std::ios::binary) << content;
    }
    void writeOptions(const std::string& startRow, const std::string& endRow,
                      const std::string& startCol, const std::string& endCol) {
        writeIni("[option]\r\nStartTitleRow=" + startRow + "\r\nEndTitleRow=" + endRow +
                 "\r\nStartTitleCol=" + startCol + "\r\nEndTitleCol=" + endCol + "\r\n");
    }
    void cell(const std::string& address, Variant value, const std::string& book = kBook) {
        m_rec.setCell(book, address, std::move(value));
    }
    ExportOutcome run() { return rzbtbtnExportClick(m_host, m_servers, m_settings); }

    // Checks a failed run: its reason, the one warning and the instances told to quit.
    void expectFailed(const ExportOutcome& outcome, const std::string& reason) {
        EXPECT_EQ(outcome.status, ExportOutcome::Status::Failed);
        EXPECT_EQ(outcome.reason, reason);
        ASSERT_EQ(m_host.messages.size(), 1u);
        EXPECT_EQ(m_host.messages[0].text, "输出工资条失败：" + reason);
        EXPECT_EQ(m_host.messages[0].caption, "信息提示");
        EXPECT_EQ(m_host.messages[0].icon, MessageIcon::Warning);
    }

    TempDir m_dir;
    RecordingAutomation m_rec;
    ServerRegistry m_servers;
    ExportSettings m_settings;
    TestHost m_host{m_rec};
};

TEST_F(PayslipExport, DefaultRunFollowsTheCallTable) {
    for (int c = 1; c <= 26; ++c) {
        const std::string letter(1, static_cast<char>('A' + c - 1));
        cell(letter + "1", Variant("标题" + letter));
        m_rec.setColumnWidth(kBook, letter, 4.0 + c);
    }
    cell("A2", Variant("张三"));
    cell("B2", Variant(3500.5));
    cell("A3", Variant("李四"));
    cell("A4", Variant("王五"));
    cell("Z4", Variant(std::int32_t{7}));

    const ExportOutcome outcome = run();
    EXPECT_EQ(outcome.status, ExportOutcome::Status::Finished);
    EXPECT_EQ(outcome.persons, 3);
    EXPECT_TRUE(outcome.reason.empty());

    Lines expected = {"host confirm"};
    append(expected, openSource(kBook));
    for (const char* a : {"A2", "A3", "A4", "A5"}) {
        append(expected, countCell(a));
    }
    append(expected, openResult());
    for (int c = 1; c <= 26; ++c) {
        append(expected,
               width(std::string(1, static_cast<char>('A' + c - 1)), std::to_string(4 + c)));
    }
    append(expected, {"host maximum 3", "host position 0"});
    const char* targets[][4] = {
        {"A1", "A2:Z2", "A2", "1"}, {"A4", "A3:Z3", "A5", "2"}, {"A7", "A4:Z4", "A8", "3"}};
    for (const auto& t : targets) {
        append(expected, paste("A1:Z1", t[0]));
        append(expected, paste(t[1], t[2]));
        append(expected, {std::string("host position ") + t[3],
                          std::string("host text 处理进度： ") + t[3] + " / 3 ", "host pending"});
    }
    append(expected, finish());
    EXPECT_EQ(m_host.timeline(), expected);

    EXPECT_EQ(m_host.processText, "处理进度： 3 / 3 ");
    EXPECT_EQ(m_host.position, 3);
    EXPECT_EQ(m_host.maximum, 3);
    EXPECT_EQ(m_host.pathReads, 2);
    EXPECT_TRUE(m_host.messages.empty());
    EXPECT_FALSE(fs::exists(m_settings.iniPath)) << "the read for export creates nothing";

    // The instances: the source ended with its workbook closed, the result shown.
    EXPECT_EQ(m_rec.instances(), 2);
    EXPECT_TRUE(m_rec.hasQuit(1));
    EXPECT_EQ(m_rec.openWorkbooks(1), 0);
    EXPECT_FALSE(m_rec.hasQuit(2));
    EXPECT_TRUE(m_rec.isVisible(2));

    // The slip blocks as the back end laid them out.
    const auto& sheet = m_rec.activeSheet(2);
    for (const char* header : {"A1", "A4", "A7"}) {
        EXPECT_EQ(sheet.cell(header), Variant("标题A")) << header;
    }
    EXPECT_EQ(sheet.cell("Z7"), Variant("标题Z"));
    EXPECT_EQ(sheet.cell("A2"), Variant("张三"));
    EXPECT_EQ(sheet.cell("B2"), Variant(3500.5));
    EXPECT_EQ(sheet.cell("A5"), Variant("李四"));
    EXPECT_EQ(sheet.cell("A8"), Variant("王五"));
    EXPECT_EQ(sheet.cell("Z8"), Variant(std::int32_t{7}));
    for (const char* empty : {"A3", "A6", "A9", "A10"}) {
        EXPECT_TRUE(sheet.cell(empty).isEmpty()) << empty;
    }
    EXPECT_EQ(sheet.width("A"), 5.0);
    EXPECT_EQ(sheet.width("Z"), 30.0);
    EXPECT_EQ(sheet.width("AA"), RecordingAutomation::kDefaultWidth);

    // Every call looked its member up by name: one look-up per logged call, starts aside.
    const Lines log = m_rec.logLines();
    EXPECT_EQ(m_rec.lookups(), static_cast<int>(log.size() - matching(log, "server start").size()));
}

TEST_F(PayslipExport, HeaderRowsTwoToThreeColumnsBToF) {
    writeOptions("2", "3", "B", "F");
    cell("B2", Variant("部门"));
    cell("B3", Variant("姓名"));
    cell("B4", Variant("甲"));
    cell("B5", Variant("乙"));
    cell("B6", Variant("丙"));

    const ExportOutcome outcome = run();
    EXPECT_EQ(outcome.status, ExportOutcome::Status::Finished);
    EXPECT_EQ(outcome.persons, 3);

    const Lines log = m_rec.logLines();
    EXPECT_EQ(matching(log, "1 application Range get \"B"),
              (Lines{"1 application Range get \"B4\"", "1 application Range get \"B5\"",
                     "1 application Range get \"B6\"", "1 application Range get \"B7\"",
                     "1 application Range get \"B1\"", "1 application Range get \"B2:F3\"",
                     "1 application Range get \"B4:F4\"", "1 application Range get \"B2:F3\"",
                     "1 application Range get \"B5:F5\"", "1 application Range get \"B2:F3\"",
                     "1 application Range get \"B6:F6\""}));
    EXPECT_EQ(matching(log, "2 application Range get"),
              (Lines{"2 application Range get \"B1\"", "2 application Range get \"C1\"",
                     "2 application Range get \"D1\"", "2 application Range get \"E1\"",
                     "2 application Range get \"F1\"", "2 application Range get \"B1\"",
                     "2 application Range get \"B3\"", "2 application Range get \"B5\"",
                     "2 application Range get \"B7\"", "2 application Range get \"B9\"",
                     "2 application Range get \"B11\""}));

    const auto& sheet = m_rec.activeSheet(2);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(sheet.cell("B" + std::to_string(4 * k + 1)), Variant("部门")) << k;
        EXPECT_EQ(sheet.cell("B" + std::to_string(4 * k + 2)), Variant("姓名")) << k;
        EXPECT_TRUE(sheet.cell("B" + std::to_string(4 * k + 4)).isEmpty()) << k;
    }
    EXPECT_EQ(sheet.cell("B3"), Variant("甲"));
    EXPECT_EQ(sheet.cell("B7"), Variant("乙"));
    EXPECT_EQ(sheet.cell("B11"), Variant("丙"));
}

TEST_F(PayslipExport, HexadecimalRowSettingsNameTheSameRows) {
    cell("B4", Variant("甲"));
    writeOptions("2", "3", "B", "F");
    run();
    const Lines decimalRun = m_rec.logLines();

    RecordingAutomation rec;
    ServerRegistry servers;
    rec.registerWith(servers);
    rec.setCell(kBook, "B4", Variant("甲"));
    TestHost host(rec);
    writeOptions("\" +$2\"", "0x3", "B", "F");
    EXPECT_EQ(rzbtbtnExportClick(host, servers, m_settings).status,
              ExportOutcome::Status::Finished);
    EXPECT_EQ(rec.logLines(), decimalRun);
}

TEST_F(PayslipExport, NoPersonShowsAWorkbookWithWidthsOnly) {
    cell("A1", Variant("姓名"));
    const ExportOutcome outcome = run();
    EXPECT_EQ(outcome.status, ExportOutcome::Status::Finished);
    EXPECT_EQ(outcome.persons, 0);
    EXPECT_EQ(m_host.maximum, 0);
    EXPECT_EQ(m_host.position, 0);
    EXPECT_EQ(m_host.processText, "处理进度：") << "the counter is not touched";
    EXPECT_EQ(m_host.pendingRuns, 0);
    const Lines log = m_rec.logLines();
    EXPECT_TRUE(matching(log, "Paste").empty());
    EXPECT_TRUE(matching(log, "Copy").empty());
    EXPECT_EQ(matching(log, "ColumnWidth put").size(), 26u);
    EXPECT_TRUE(m_rec.isVisible(2));
    EXPECT_TRUE(m_rec.activeSheet(2).cells.empty());
}

TEST_F(PayslipExport, CountStopsAtTheFirstEmptyCell) {
    cell("A2", Variant("甲"));
    cell("A3", Variant(" "));
    cell("A4", Variant(std::int32_t{0}));
    cell("A5", Variant(false));
    cell("A6", Variant(""));
    cell("A7", Variant("被漏掉"));
    const ExportOutcome outcome = run();
    EXPECT_EQ(outcome.persons, 4) << "a space, a zero and FALSE count; the empty text ends";
    EXPECT_TRUE(matching(m_rec.logLines(), "1 application Range get \"A7\"").empty())
        << "nothing below is read";
    EXPECT_EQ(m_host.processText, "处理进度： 4 / 4 ");
    EXPECT_EQ(m_rec.activeSheet(2).cell("A5"), Variant(" "));
}

TEST_F(PayslipExport, PathWithSpacesAroundIsOpenedAsIs) {
    const std::string spaced = "  " + kBook + " ";
    m_rec.addFile(spaced);
    m_host.path = spaced;
    const ExportOutcome outcome = run();
    EXPECT_EQ(outcome.status, ExportOutcome::Status::Finished);
    EXPECT_EQ(matching(m_rec.logLines(), "Open"), (Lines{"1 workbooks Open method " + q(spaced)}));
}

TEST_F(PayslipExport, TheConfirmationStepRunsBeforeTheSettingsAreRead) {
    writeOptions("1", "1", "A", "C");
    m_host.onConfirm = [&] { HeaderOptionsStore(m_settings.iniPath).writeKey("EndTitleCol", "B"); };
    cell("A2", Variant("甲"));
    run();
    EXPECT_EQ(matching(m_rec.logLines(), "ColumnWidth put").size(), 2u);
    EXPECT_EQ(matching(m_rec.logLines(), "A1:B1").size(), 1u);
}

TEST_F(PayslipExport, OverrideReplacesTheStoredSettings) {
    writeOptions("1", "1", "A", "Z");
    m_settings.optionsOverride = HeaderOptions{"1", "2", "C", "D"};
    cell("C3", Variant("甲"));
    const ExportOutcome outcome = run();
    EXPECT_EQ(outcome.persons, 1);
    const Lines log = m_rec.logLines();
    EXPECT_EQ(matching(log, "C1:D2").size(), 1u);
    EXPECT_EQ(matching(log, "ColumnWidth put").size(), 2u);
}

TEST_F(PayslipExport, StartRowAfterEndRowGivesTwoRowBlocks) {
    writeOptions("2", "1", "A", "Z");
    cell("A2", Variant("甲"));
    cell("A3", Variant("乙"));
    const ExportOutcome outcome = run();
    EXPECT_EQ(outcome.status, ExportOutcome::Status::Finished);
    EXPECT_EQ(outcome.persons, 2);
    Lines pastes;
    append(pastes, paste("A2:Z1", "A1"));
    append(pastes, paste("A2:Z2", "A1"));
    append(pastes, paste("A2:Z1", "A3"));
    append(pastes, paste("A3:Z3", "A3"));
    const Lines log = m_rec.logLines();
    const Lines copied(log.end() - static_cast<std::ptrdiff_t>(pastes.size() + 5), log.end() - 5);
    EXPECT_EQ(copied, pastes);
}

TEST_F(PayslipExport, HeaderHeightBelowZeroFailsAfterTheFirstHeaderPaste) {
    writeOptions("3", "1", "A", "Z");
    cell("A2", Variant("甲"));
    const ExportOutcome outcome = run();
    expectFailed(outcome, "无法识别单元格地址“A0”");
    EXPECT_EQ(outcome.persons, 1);
    Lines tail = paste("A3:Z1", "A1");
    append(tail, {"1 application Range get \"A2:Z2\"", "1 range Copy method",
                  "2 application Range get \"A0\"", "1 application Quit method",
                  "2 application Quit method"});
    const Lines log = m_rec.logLines();
    EXPECT_EQ(Lines(log.end() - static_cast<std::ptrdiff_t>(tail.size()), log.end()), tail);
    EXPECT_EQ(m_host.position, 0) << "the display keeps what it showed";
}

TEST_F(PayslipExport, FaultyRowSettingsQuitTheSourceOnly) {
    struct Case {
        const char* start;
        const char* end;
        const char* reason;
    };
    for (const Case& c :
         {Case{"1", "x", "结束标题行“x”不是整数"}, Case{"\"1 \"", "1", "起始标题行“1 ”不是整数"},
          Case{"", "1", "起始标题行“”不是整数"},
          Case{"1", "4294967297", "结束标题行“4294967297”不是整数"},
          Case{"y", "x", "起始标题行“y”不是整数"}}) {
        RecordingAutomation rec;
        ServerRegistry servers;
        rec.registerWith(servers);
        rec.addFile(kBook);
        TestHost host(rec);
        writeOptions(c.start, c.end, "A", "Z");
        const ExportOutcome outcome = rzbtbtnExportClick(host, servers, m_settings);
        EXPECT_EQ(outcome.status, ExportOutcome::Status::Failed);
        EXPECT_EQ(outcome.reason, c.reason);
        Lines expected = {"host confirm"};
        append(expected, openSource(kBook));
        append(expected, quitLine(1));
        append(expected, {"host message 输出工资条失败：" + std::string(c.reason)});
        EXPECT_EQ(host.timeline(), expected) << c.start << "/" << c.end;
        EXPECT_EQ(rec.instances(), 1);
        EXPECT_EQ(host.maximum, -1);
    }
}

TEST_F(PayslipExport, EmptyEndTitleColFailsAtTheWidthCopy) {
    writeIni("[option]\r\nStartTitleRow=1\r\nEndTitleRow=1\r\nStartTitleCol=A\r\nEndTitleCol=\r\n");
    cell("A2", Variant("甲"));
    const ExportOutcome outcome = run();
    expectFailed(outcome, "结束标题列为空，无法复制列宽");
    EXPECT_EQ(outcome.persons, 1);
    Lines expected = {"host confirm"};
    append(expected, openSource(kBook));
    append(expected, countCell("A2"));
    append(expected, countCell("A3"));
    append(expected, openResult());
    append(expected, quitLine(1));
    append(expected, quitLine(2));
    append(expected, {"host message 输出工资条失败：结束标题列为空，无法复制列宽"});
    EXPECT_EQ(m_host.timeline(), expected);
}

TEST_F(PayslipExport, NonLetterEndTitleColFailsAtTheWidthCopy) {
    writeOptions("1", "1", "A", "?");
    const ExportOutcome outcome = run();
    expectFailed(outcome, "结束标题列“?”不是有效的列字母（应为 A 到 XFD 之间的列）");
    EXPECT_TRUE(matching(m_rec.logLines(), "ColumnWidth").empty());
    EXPECT_TRUE(m_rec.hasQuit(1));
    EXPECT_TRUE(m_rec.hasQuit(2));
}

TEST_F(PayslipExport, WidthsOfEveryColumnUpToATwoLetterEnd) {
    // Mended: the width copy counts columns, so "AB" means all 28 columns, not just "A".
    writeOptions("1", "1", "A", "AB");
    m_rec.setColumnWidth(kBook, "AB", 20.25);
    cell("A2", Variant("甲"));
    const ExportOutcome outcome = run();
    EXPECT_EQ(outcome.status, ExportOutcome::Status::Finished);
    Lines widths;
    for (int c = 0; c < 28; ++c) {
        const std::string letters = c < 26 ? std::string(1, static_cast<char>('A' + c))
                                           : "A" + std::string(1, static_cast<char>('A' + c - 26));
        widths.push_back("2 application Range get " + q(letters + "1"));
    }
    const Lines log = m_rec.logLines();
    const Lines got = matching(log, "2 application Range get");
    ASSERT_GE(got.size(), 28u);
    EXPECT_EQ(Lines(got.begin(), got.begin() + 28), widths);
    EXPECT_EQ(m_rec.activeSheet(2).width("AB"), 20.25);
    EXPECT_EQ(matching(log, "A1:AB1").size(), 1u);
    EXPECT_EQ(matching(log, "A2:AB2").size(), 1u);
}

TEST_F(PayslipExport, LowerCaseColumnsCopyTheirOwnWidths) {
    // Mended: lower-case letters name the same columns for the width copy as upper-case ones.
    writeOptions("1", "1", "a", "c");
    m_rec.setColumnWidth(kBook, "B", 12.5);
    cell("A2", Variant("甲"));
    run();
    const Lines log = m_rec.logLines();
    Lines expected;
    append(expected, width("A"));
    append(expected, width("B", "12.5"));
    append(expected, width("C"));
    EXPECT_EQ(matching(log, "ColumnWidth").size(), 6u);
    Lines got;
    for (const auto& l : log) {
        if (l.find("\"A1\"") != std::string::npos || l.find("\"B1\"") != std::string::npos ||
            l.find("\"C1\"") != std::string::npos || l.find("ColumnWidth") != std::string::npos) {
            got.push_back(l);
        }
    }
    EXPECT_EQ(got, expected);
    EXPECT_EQ(matching(log, "\"a1:c1\"").size(), 1u) << "the ranges use the setting as it reads";
    EXPECT_EQ(matching(log, "\"a2\"").size(), 2u) << "count and first person target";
}

TEST_F(PayslipExport, StartColumnAfterEndCopiesNoWidth) {
    writeOptions("1", "1", "D", "B");
    cell("D2", Variant("甲"));
    const ExportOutcome outcome = run();
    EXPECT_EQ(outcome.status, ExportOutcome::Status::Finished);
    const Lines log = m_rec.logLines();
    EXPECT_TRUE(matching(log, "ColumnWidth").empty());
    EXPECT_EQ(matching(log, "\"D1:B1\"").size(), 1u);
    EXPECT_EQ(matching(log, "\"D2:B2\"").size(), 1u);
}

TEST_F(PayslipExport, BlankPathIsRefused) {
    for (const char* blank : {"", "   ", " \t\r\n"}) {
        RecordingAutomation rec;
        ServerRegistry servers;
        rec.registerWith(servers);
        TestHost host(rec);
        host.path = blank;
        const ExportOutcome outcome = rzbtbtnExportClick(host, servers, m_settings);
        EXPECT_EQ(outcome.status, ExportOutcome::Status::Refused);
        ASSERT_EQ(host.messages.size(), 1u);
        EXPECT_EQ(host.messages[0].text, "请先选择Excel文件！");
        EXPECT_EQ(host.messages[0].caption, "信息提示");
        EXPECT_EQ(host.messages[0].icon, MessageIcon::Information);
        EXPECT_EQ(host.confirms, 0);
        EXPECT_EQ(rec.instances(), 0);
        EXPECT_TRUE(rec.log().empty());
        EXPECT_EQ(host.maximum, -1);
        EXPECT_FALSE(fs::exists(m_settings.iniPath));
    }
}

TEST_F(PayslipExport, SpreadsheetThatCannotStartQuitsNothing) {
    m_rec.failStart(1, "未安装");
    const ExportOutcome outcome = run();
    expectFailed(outcome, "无法启动电子表格程序 Excel.Application：未安装");
    EXPECT_EQ(m_host.timeline(),
              (Lines{"host confirm", "1 server start method \"Excel.Application\"",
                     "host message 输出工资条失败：无法启动电子表格程序 "
                     "Excel.Application：未安装"}));
}

TEST_F(PayslipExport, MissingWorkbookQuitsTheSource) {
    m_host.path = "/data/missing.xls";
    const ExportOutcome outcome = run();
    expectFailed(outcome, "无法打开文件“/data/missing.xls”：文件不存在或不是工作簿");
    const Lines log = m_rec.logLines();
    EXPECT_EQ(log.back(), "1 application Quit method");
    EXPECT_EQ(m_rec.instances(), 1);
}

TEST_F(PayslipExport, ErrorValueInTheCountedColumnFails) {
    cell("A2", Variant("甲"));
    cell("A3", Variant(CellErrorCode::NA));
    const ExportOutcome outcome = run();
    expectFailed(outcome, "单元格 A3 的值是错误值 #N/A，无法清点人数");
    EXPECT_EQ(outcome.persons, 1);
    EXPECT_EQ(m_rec.instances(), 1);
    EXPECT_TRUE(m_rec.hasQuit(1));
}

TEST_F(PayslipExport, EmptyStartColumnIsRefusedByTheSpreadsheet) {
    writeOptions("1", "1", "", "Z");
    const ExportOutcome outcome = run();
    expectFailed(outcome, "无法识别单元格地址“2”");
    EXPECT_EQ(m_rec.instances(), 1);
}

TEST_F(PayslipExport, SecondStartFailingQuitsTheSource) {
    m_rec.failStart(2, "内存不够");
    const ExportOutcome outcome = run();
    expectFailed(outcome, "无法启动电子表格程序 Excel.Application：内存不够");
    const Lines log = m_rec.logLines();
    EXPECT_EQ(Lines(log.end() - 2, log.end()),
              (Lines{"2 server start method \"Excel.Application\"", "1 application Quit method"}));
}

TEST_F(PayslipExport, PasteFailingMidwayQuitsSourceThenResult) {
    cell("A2", Variant("甲"));
    cell("A3", Variant("乙"));
    cell("A4", Variant("丙"));
    m_rec.failCall(2, "Paste", 3, "粘贴失败：剪贴板被占用");
    const ExportOutcome outcome = run();
    expectFailed(outcome, "粘贴失败：剪贴板被占用");
    EXPECT_EQ(outcome.persons, 3);
    const Lines timeline = m_host.timeline();
    EXPECT_EQ(
        Lines(timeline.end() - 4, timeline.end()),
        (Lines{"2 worksheet Paste method", "1 application Quit method", "2 application Quit method",
               "host message 输出工资条失败：粘贴失败：剪贴板被占用"}));
    EXPECT_EQ(m_host.position, 1);
    EXPECT_EQ(m_host.processText, "处理进度： 1 / 3 ");
    EXPECT_FALSE(m_rec.isVisible(2));
}

TEST_F(PayslipExport, FailureAfterTheSourceQuitQuitsTheResultOnly) {
    // The source instance has ended at that point; it is not sent a second Quit.
    m_rec.failCall(2, "Visible", 1, "无法显示窗口");
    const ExportOutcome outcome = run();
    expectFailed(outcome, "无法显示窗口");
    const Lines log = m_rec.logLines();
    EXPECT_EQ(matching(log, "1 application Quit").size(), 1u);
    EXPECT_EQ(log.back(), "2 application Quit method");
}

TEST_F(PayslipExport, SourceQuitFailingAtTheEndTakesTheFailurePath) {
    m_rec.failCall(1, "Quit", 1, "程序没有响应");
    const ExportOutcome outcome = run();
    expectFailed(outcome, "程序没有响应");
    const Lines log = m_rec.logLines();
    EXPECT_EQ(Lines(log.end() - 3, log.end()),
              (Lines{"1 application Quit method", "1 application Quit method",
                     "2 application Quit method"}));
}

TEST_F(PayslipExport, QuitFailingInTheFailurePathEscapes) {
    cell("A2", Variant("甲"));
    m_rec.failCall(2, "Select", 1, "选择失败");
    m_rec.failCall(1, "Quit", 1, "电子表格程序已不在运行");
    try {
        run();
        FAIL() << "the error of the failure path did not escape";
    } catch (const AutomationError& e) {
        EXPECT_EQ(std::string(e.what()), "电子表格程序已不在运行");
    }
    EXPECT_TRUE(m_host.messages.empty());
    const Lines log = m_rec.logLines();
    EXPECT_EQ(log.back(), "1 application Quit method") << "the result is not sent Quit";
}

TEST_F(PayslipExport, ConfirmationFailingStartsNothing) {
    m_host.onConfirm = [] { throw OptionsWriteError("Unable to write to /x/sys.ini"); };
    const ExportOutcome outcome = run();
    expectFailed(outcome, "Unable to write to /x/sys.ini");
    EXPECT_EQ(m_rec.instances(), 0);
    EXPECT_EQ(m_host.pathReads, 1);
}

TEST_F(PayslipExport, NestedExportRunsToItsEndWithItsOwnInstances) {
    const std::string other = "/data/other.xls";
    cell("A1", Variant("标题"));
    cell("A2", Variant("甲"));
    cell("A3", Variant("乙"));
    cell("A1", Variant("别的标题"), other);
    cell("A2", Variant("丙"), other);

    std::vector<ExportOutcome> nested;
    bool started = false;
    std::size_t nestedFrom = 0;
    std::size_t nestedTo = 0;
    m_host.onPending = [&] {
        if (started) {
            return;
        }
        started = true;
        m_host.path = other;
        nestedFrom = m_rec.log().size();
        nested.push_back(rzbtbtnExportClick(m_host, m_servers, m_settings));
        nestedTo = m_rec.log().size();
    };
    const ExportOutcome outcome = run();
    EXPECT_EQ(outcome.status, ExportOutcome::Status::Finished);
    EXPECT_EQ(outcome.persons, 2);
    ASSERT_EQ(nested.size(), 1u);
    EXPECT_EQ(nested[0].status, ExportOutcome::Status::Finished);
    EXPECT_EQ(nested[0].persons, 1);

    // The nested run is whole, on instances 3 and 4, between the outer run's two persons.
    const Lines all = m_rec.logLines();
    const Lines nestedLog(all.begin() + static_cast<std::ptrdiff_t>(nestedFrom),
                          all.begin() + static_cast<std::ptrdiff_t>(nestedTo));
    ASSERT_FALSE(nestedLog.empty());
    EXPECT_EQ(nestedLog.front(), "3 server start method \"Excel.Application\"");
    EXPECT_EQ(nestedLog.back(), "4 application Visible put true");
    for (const auto& l : nestedLog) {
        EXPECT_TRUE(l.starts_with("3 ") || l.starts_with("4 ")) << l;
    }
    const Lines after(all.begin() + static_cast<std::ptrdiff_t>(nestedTo), all.end());
    Lines expectedAfter = paste("A1:Z1", "A4");
    append(expectedAfter, paste("A3:Z3", "A5"));
    append(expectedAfter, finish());
    EXPECT_EQ(after, expectedAfter);

    // Each result holds its own source's slips.
    EXPECT_EQ(m_rec.activeSheet(2).cell("A4"), Variant("标题"));
    EXPECT_EQ(m_rec.activeSheet(2).cell("A5"), Variant("乙"));
    EXPECT_EQ(m_rec.activeSheet(4).cell("A1"), Variant("别的标题"));
    EXPECT_EQ(m_rec.activeSheet(4).cell("A2"), Variant("丙"));
    EXPECT_TRUE(m_rec.hasQuit(1));
    EXPECT_TRUE(m_rec.hasQuit(3));
    EXPECT_TRUE(m_rec.isVisible(2));
    EXPECT_TRUE(m_rec.isVisible(4));
    EXPECT_EQ(m_host.processText, "处理进度： 2 / 2 ");
}

TEST(ParseRowSetting, Forms) {
    const std::pair<const char*, std::optional<std::int32_t>> table[] = {
        {"1", 1},
        {"  42", 42},
        {"+7", 7},
        {"-3", -3},
        {"007", 7},
        {"$1F", 31},
        {"x10", 16},
        {"X10", 16},
        {"0x1a", 26},
        {"0XFF", 255},
        {"-$10", -16},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"0x7FFFFFFF", 2147483647},
        {"", std::nullopt},
        {" ", std::nullopt},
        {"1 ", std::nullopt},
        {"\t1", std::nullopt},
        {"1.0", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"$", std::nullopt},
        {"0x", std::nullopt},
        {"0x1G", std::nullopt},
        {"1e3", std::nullopt},
        {"+-1", std::nullopt},
        {"- 1", std::nullopt},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"$100000000", std::nullopt},
        {"99999999999999999999", std::nullopt},
        {"１", std::nullopt},
    };
    for (const auto& [text, value] : table) {
        EXPECT_EQ(parseRowSetting(text), value) << "\"" << text << "\"";
    }
}

TEST(ProgressText, Format) {
    EXPECT_EQ(progressText(3, 25), "处理进度： 3 / 25 ");
    EXPECT_EQ(progressText(1, 1), "处理进度： 1 / 1 ");
}

TEST(RecordingAutomation, UnknownMembersAndBadAddressesFailLikeAServer) {
    RecordingAutomation rec;
    ServerRegistry servers;
    rec.registerWith(servers);
    Dispatch app = servers.start(kSpreadsheetProgId);
    try {
        app.call("Frobnicate");
        FAIL() << "no error";
    } catch (const AutomationError& e) {
        EXPECT_NE(std::string(e.what()).find("Frobnicate"), std::string::npos);
    }
    EXPECT_THROW(app.getObject("Range", Variant("A1")), AutomationError) << "no workbook yet";
    app.getObject("Workbooks").call("Add");
    for (const char* bad : {"A0", "0", "A", "1A", "A-1", "XFE1", "A1048577", "A1:", "A1:B"}) {
        EXPECT_THROW(app.getObject("Range", Variant(bad)), AutomationError) << bad;
    }
    EXPECT_NO_THROW(app.getObject("Range", Variant("xfd1048576")));
    EXPECT_EQ(rec.log().back().text(), "1 application Range get \"xfd1048576\"");
}

TEST(RecordingAutomation, FailsTheChosenCallOnly) {
    RecordingAutomation rec;
    ServerRegistry servers;
    rec.registerWith(servers);
    rec.failCall(1, "add", 2, "第二次失败");
    Dispatch app = servers.start(kSpreadsheetProgId);
    Dispatch books = app.getObject("Workbooks");
    EXPECT_NO_THROW(books.call("Add"));
    EXPECT_THROW(books.call("Add"), AutomationError);
    EXPECT_NO_THROW(books.call("Add"));
    EXPECT_EQ(books.get("Count"), Variant(std::int32_t{2}));
    app.call("Quit");
    EXPECT_THROW(books.call("Add"), AutomationError) << "the instance has ended";
}

} // namespace
} // namespace quenly
