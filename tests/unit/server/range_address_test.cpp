// Addresses the automation objects accept and refuse.
#include "server/range_address.h"
#include "spreadsheet_automation.h"

#include <gtest/gtest.h>

namespace quenly::wb {
namespace {

std::string refusal(std::string_view address) {
    try {
        parseRangeAddress(address);
    } catch (const AutomationError& e) {
        return e.what();
    }
    return "(accepted)";
}

TEST(RangeAddress, AcceptsCellsAndRangesInEveryForm) {
    EXPECT_EQ(parseRangeAddress("A1"), (CellRange{0, 0, 0, 0}));
    EXPECT_EQ(parseRangeAddress("a1"), (CellRange{0, 0, 0, 0}));
    EXPECT_EQ(parseRangeAddress("$B$3"), (CellRange{2, 1, 2, 1}));
    EXPECT_EQ(parseRangeAddress("B$3"), (CellRange{2, 1, 2, 1}));
    EXPECT_EQ(parseRangeAddress("$b3"), (CellRange{2, 1, 2, 1}));
    EXPECT_EQ(parseRangeAddress("A1:Z1"), (CellRange{0, 0, 0, 25}));
    EXPECT_EQ(parseRangeAddress("aa10:ab12"), (CellRange{9, 26, 11, 27}));
    EXPECT_EQ(parseRangeAddress("XFD1048576"), (CellRange{1048575, 16383, 1048575, 16383}));
    EXPECT_EQ(parseRangeAddress("A1:XFD1048576"), (CellRange{0, 0, 1048575, 16383}));
}

TEST(RangeAddress, OrdersCornersGivenInEitherOrder) {
    // A2:Z1 covers rows 1 and 2, as a spreadsheet reads it.
    EXPECT_EQ(parseRangeAddress("A2:Z1"), (CellRange{0, 0, 1, 25}));
    EXPECT_EQ(parseRangeAddress("D5:B2"), (CellRange{1, 1, 4, 3}));
    EXPECT_EQ(parseRangeAddress("B1:A1"), (CellRange{0, 0, 0, 1}));
}

TEST(RangeAddress, RefusesRowsOutsideTheSheet) {
    EXPECT_EQ(refusal("A0"), "单元格地址“A0”无效：行号必须在 1 到 1048576 之间");
    EXPECT_EQ(refusal("A-1"), "单元格地址“A-1”无效：行号必须在 1 到 1048576 之间");
    EXPECT_EQ(refusal("A1048577"),
              "单元格地址“A1048577”超出了工作表的最后一行（工作表最多有 1048576 行）");
    EXPECT_EQ(refusal("A99999999999999999999999"),
              "单元格地址“A99999999999999999999999”超出了工作表的最后一行（工作表最多有 "
              "1048576 行）");
    EXPECT_EQ(refusal("A1:B0"), "单元格地址“A1:B0”无效：行号必须在 1 到 1048576 之间");
}

TEST(RangeAddress, RefusesColumnsBeyondXfdAndMissingColumns) {
    EXPECT_EQ(refusal("XFE1"), "单元格地址“XFE1”无效：列超出了最后一列 XFD");
    EXPECT_EQ(refusal("AAAAAAAAAAAAAAAAAAAAA1"),
              "单元格地址“AAAAAAAAAAAAAAAAAAAAA1”无效：列超出了最后一列 XFD");
    EXPECT_EQ(refusal("A1:XFE2"), "单元格地址“A1:XFE2”无效：列超出了最后一列 XFD");
    EXPECT_EQ(refusal("1"), "单元格地址“1”无效：缺少列字母");
    EXPECT_EQ(refusal("$1"), "单元格地址“$1”无效：缺少列字母");
    EXPECT_EQ(refusal("5:B6"), "单元格地址“5:B6”无效：缺少列字母");
}

TEST(RangeAddress, RefusesMalformedText) {
    EXPECT_EQ(refusal(""), "单元格地址为空");
    for (const char* bad : {"A", "A1:", ":A1", "A1:B2:C3", "1A", " A1", "A1 ", "A1B", "A$$1",
                            "$$A1", "A:A", "A1.5", "甲1", "A+", "A1:B"}) {
        EXPECT_EQ(refusal(bad), "单元格地址“" + std::string(bad) + "”无效") << bad;
    }
}

TEST(RangeAddress, FormatsRanges) {
    EXPECT_EQ(rangeAddress({0, 0, 0, 0}), "A1");
    EXPECT_EQ(rangeAddress({1, 1, 1048575, 27}), "B2:AB1048576");
    EXPECT_EQ(parseRangeAddress(rangeAddress({6, 16270, 9, 16383})),
              (CellRange{6, 16270, 9, 16383}));
}

} // namespace
} // namespace quenly::wb
