// The delivery run on a real export: each person's source row and slip rows, columns found by
// title (merged headers included) or letters, cells as shown, and the runs it refuses.
#include "slip_run.h"

#include "delivery_fixture.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string>

namespace quenly::delivery {
namespace {

using test::header;
using test::QuietHost;
using test::writeTable;

TEST(SlipRunTest, PersonsMapToTheirSourceRowsAndSlipBlocks) {
    test::TempDir dir;
    writeTable(dir / "工资表.xlsx");
    QuietHost host;
    const SlipRun run = runSlipExport(dir / "工资表.xlsx", header("1", "2", "A", "D"), host);
    EXPECT_EQ(host.maximumSeen, 3);
    ASSERT_EQ(run.persons().size(), 3u);
    const wb::Worksheet& result = run.result().sheet(0);
    ASSERT_TRUE(result.pageSetup.has_value());
    for (std::uint32_t k = 0; k < 3; ++k) {
        const Person& p = run.persons()[k];
        EXPECT_EQ(p.number, static_cast<int>(k + 1));
        EXPECT_EQ(p.sourceRow, 3 + k);
        EXPECT_EQ(p.firstRow, 4 * k);
        EXPECT_EQ(p.lastRow, 4 * k + 2);
        // The slip block really is where the person says: the header on top, their row last,
        // an empty row after it.
        const wb::Cell* title = result.cell(p.firstRow, 0);
        ASSERT_NE(title, nullptr);
        EXPECT_EQ(run.result().strings.at(title->text).text, "姓名");
        const wb::Cell* id = result.cell(p.lastRow, 3);
        ASSERT_NE(id, nullptr);
        EXPECT_EQ(run.result().strings.at(id->text).text, "E00" + std::to_string(k + 1));
        EXPECT_EQ(result.cell(p.lastRow + 1, 0), nullptr);
        EXPECT_EQ(run.shown(p, 3), "E00" + std::to_string(k + 1));
    }
    // Cells as shown, trimmed of blanks (an ideographic space too); columns outside the slip
    // are read from the source.
    EXPECT_EQ(run.shown(run.persons()[0], 1), "3,000.50");
    EXPECT_EQ(run.shown(run.persons()[1], 0), "王五");
    EXPECT_EQ(run.shown(run.persons()[2], 5), "code3");
    EXPECT_EQ(run.shown(run.persons()[2], 4), "");
}

TEST(SlipRunTest, ColumnsAreFoundByTitleBeforeLetters) {
    test::TempDir dir;
    writeTable(dir / "工资表.xlsx");
    QuietHost host;
    const SlipRun run = runSlipExport(dir / "工资表.xlsx", header("1", "2", "A", "D"), host);
    using Titles = std::vector<std::pair<std::uint32_t, std::string>>;
    EXPECT_EQ(run.titles(), (Titles{{0, "姓名"}, {1, "基本"}, {2, "奖金"}, {3, "ID"}}));
    EXPECT_EQ(run.findColumn("姓名"), 0u); // merged down over the header's last row
    EXPECT_EQ(run.findColumn("奖金"), 2u);
    EXPECT_EQ(run.findColumn(" 基本 "), 1u);
    EXPECT_EQ(run.findColumn("ID"), 3u); // the title, not column ID
    EXPECT_EQ(run.findColumn("f"), 5u);
    EXPECT_EQ(run.findColumn("应发"), std::nullopt); // not in the header's last row
    EXPECT_EQ(run.findColumn("工号"), std::nullopt);
    EXPECT_EQ(run.findColumn(""), std::nullopt);
}

TEST(SlipRunTest, OneHeaderRowAndNoPersons) {
    test::TempDir dir;
    writeTable(dir / "工资表.xlsx");
    QuietHost host;
    // Header row 2 alone: persons from row 3 on, blocks of three rows.
    const SlipRun run = runSlipExport(dir / "工资表.xlsx", header("2", "2", "B", "D"), host);
    ASSERT_EQ(run.persons().size(), 3u);
    EXPECT_EQ(run.persons()[2].firstRow, 6u);
    EXPECT_EQ(run.persons()[2].lastRow, 7u);
    EXPECT_EQ(run.findColumn("姓名"), std::nullopt); // column A is not in the header
    // Counting down column E, empty below the header: a run without persons, not an error.
    const SlipRun none = runSlipExport(dir / "工资表.xlsx", header("1", "2", "E", "F"), host);
    EXPECT_TRUE(none.persons().empty());
}

TEST(SlipRunTest, RefusedRunsThrowWithTheReason) {
    test::TempDir dir;
    writeTable(dir / "工资表.xlsx");
    QuietHost host;
    auto messageOf = [&](const std::filesystem::path& file, const ExportSettings& settings) {
        try {
            runSlipExport(file, settings, host);
        } catch (const DeliveryError& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    const std::string reversed = messageOf(dir / "工资表.xlsx", header("2", "1", "A", "D"));
    EXPECT_NE(reversed.find("起始标题行（2）在结束标题行（1）之后"), std::string::npos) << reversed;
    const std::string missing = messageOf(dir / "没有.xlsx", header("1", "2", "A", "D"));
    EXPECT_EQ(missing.rfind("输出工资条失败：", 0), 0u) << missing;
    EXPECT_NE(missing.find("没有.xlsx"), std::string::npos) << missing;
    EXPECT_EQ(messageOf(" ", header("1", "2", "A", "D")), "请先选择Excel文件！");
}

} // namespace
} // namespace quenly::delivery
