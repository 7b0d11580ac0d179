// Hostile .xls files: counts that claim more than the file holds, CONTINUE records where none
// belong, cells past column IV, formats that do not exist. Each reads, or fails by name.
#include "error_of.h"
#include "temp_dir.h"
#include "xls/xls_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace quenly::wb {
namespace {

using test::testDataDir;

std::filesystem::path fixture(const std::string& name) {
    return std::filesystem::path(QUENLY_XLS_FIXTURES) / name;
}

std::vector<std::uint8_t> bytesOf(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string errorOf(const std::vector<std::uint8_t>& data) {
    return quenly::test::errorOf<WorkbookError>(
        [&] { readXlsMemory(data.data(), data.size(), "工资.xls", {.allSheets = true}); });
}

std::string errorOf(const std::string& name) {
    return errorOf(bytesOf(fixture(name)));
}

void putU32(std::vector<std::uint8_t>& d, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        d[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    }
}

std::string text(const Workbook& book, const Cell* c) {
    return c && c->type == CellType::Text ? book.strings.at(c->text).text : "(none)";
}

TEST(XlsCounts, AStringTableClaimingBillionsReadsWhatItHolds) {
    const auto book = readXls(fixture("sst_huge_count.xls"));
    EXPECT_EQ(text(*book, book->sheet(0).cell(0, 0)), "甲");
    EXPECT_EQ(text(*book, book->sheet(0).cell(0, 1)), "乙");
}

TEST(XlsCounts, HeaderCountsPastTheFileAreRefused) {
    const auto small = bytesOf(testDataDir() / "xls" / "small.xls");
    auto fat = small;
    putU32(fat, 0x2C, 0x7FFFFFFF);
    EXPECT_EQ(errorOf(fat), "无法读取“工资.xls”：复合文档文件头记载的 FAT 扇区数 2147483647（偏移 "
                            "44）与文件大小不符（文件共 13 个扇区）");
    // The directory entry of the Workbook stream claims 4 GB.
    auto size = small;
    const char name[] = "W\0o\0r\0k\0b\0o\0o\0k\0";
    const auto at = std::search(size.begin(), size.end(), name, name + sizeof name - 1);
    ASSERT_NE(at, size.end());
    putU32(size, static_cast<std::size_t>(at - size.begin()) + 0x78, 0xFFFFFFF0);
    EXPECT_EQ(errorOf(size), "无法读取“工资.xls”：“Workbook”流的大小 4294967280 字节超过了整个"
                             "文件（7168 字节），文件可能已被截断");
    // A MiniFAT said to have two billion sectors: its chain is followed only as far as it goes.
    auto mini = bytesOf(testDataDir() / "xls" / "biff5_cp936.xls");
    putU32(mini, 0x40, 0x7FFFFFFF);
    const std::string e = errorOf(mini);
    EXPECT_EQ(e.find("无法读取“工资.xls”：短扇区分配表（MiniFAT）的扇区链在第 1 个扇区后提前"
                     "结束，但其大小需要 2147483647 个扇区"),
              0u)
        << e;
}

TEST(XlsContinue, ManyEmptyContinuesAndStrayOnesAreHarmless) {
    const auto many = readXls(fixture("sst_many_continues.xls"));
    EXPECT_EQ(text(*many, many->sheet(0).cell(0, 0)), "甲");
    EXPECT_EQ(text(*many, many->sheet(0).cell(0, 1)), "乙");
    // A CONTINUE after a record that takes none is skipped, as spreadsheet applications do; one
    // right after the SST belongs to it (and here adds nothing the count asks for).
    const auto stray = readXls(fixture("stray_continue.xls"));
    EXPECT_EQ(text(*stray, stray->sheet(0).cell(2, 3)), "丙");
    ASSERT_NE(stray->sheet(0).cell(4, 0), nullptr);
    EXPECT_EQ(stray->sheet(0).cell(4, 0)->number, 7.5);
}

TEST(XlsContinue, AStringLongerThanItsRecordsIsRefused) {
    EXPECT_EQ(errorOf("sst_string_past_end.xls"),
              "无法读取“工资.xls”：“Workbook”流偏移 504 处的 SST 记录（0x00FC）连同其后的 CONTINUE "
              "记录在第 1 个共享字符串中途结束，文件已损坏");
}

TEST(XlsCells, CellsPastColumnIvAreRefusedByName) {
    EXPECT_EQ(errorOf("cell_past_iv.xls"),
              "无法读取“工资.xls”：工作表“Sheet1”中，“Workbook”流偏移 5568 处的 NUMBER 记录"
              "（0x0203）给出的单元格（第 6 行第 257 列）超出了 .xls 格式的范围（最多 256 列，"
              "即到 IV 列），文件已损坏");
    // A run of blanks that crosses IV is refused, not wrapped round to column A.
    EXPECT_EQ(errorOf("mulblank_past_iv.xls"),
              "无法读取“工资.xls”：工作表“Sheet1”中，“Workbook”流偏移 5550 处的 MULBLANK 记录"
              "（0x00BE）给出的单元格（第 10 行第 257 列）超出了 .xls 格式的范围（最多 256 列，"
              "即到 IV 列），文件已损坏");
}

TEST(XlsCells, FormatsMustExistInFilesThatHaveThem) {
    EXPECT_EQ(errorOf("xf_out_of_range.xls"),
              "无法读取“工资.xls”：工作表“Sheet1”中，“Workbook”流偏移 5568 处的 NUMBER 记录"
              "（0x0203）引用的单元格格式（XF）999 不存在（文件只有 16 个），文件已损坏");
    const auto bare = readXls(fixture("no_xf_records.xls"));
    const Cell* a1 = bare->sheet(0).cell(0, 0);
    ASSERT_NE(a1, nullptr);
    EXPECT_EQ(a1->number, 3);
    EXPECT_EQ(a1->style, 0u);
}

TEST(XlsSeeds, EveryFuzzSeedReads) {
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(testDataDir() / "fuzz" / "xls")) {
        EXPECT_GE(readXls(entry.path())->sheetCount(), 1u) << entry.path();
        ++files;
    }
    EXPECT_GE(files, 3);
}

} // namespace
} // namespace quenly::wb
