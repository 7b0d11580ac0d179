// Broken and foreign files: each fault gives its own message naming the file, part and line.
#include "error_of.h"
#include "read_error.h"
#include "temp_dir.h"
#include "xlsx/xlsx_reader.h"
#include "xlsx/xlsx_reader_memory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace quenly::wb {
namespace {

std::filesystem::path fixture(const std::string& name) {
    return std::filesystem::path(QUENLY_XLSX_FIXTURES) / name;
}

std::string errorOf(const std::filesystem::path& file) {
    return quenly::test::errorOf<WorkbookError>([&] { readXlsx(file); });
}

std::string q(const std::filesystem::path& p) {
    return "“" + p.string() + "”";
}

TEST(BrokenFiles, NotAZip) {
    const auto f = fixture("not_a_zip.xlsx");
    EXPECT_EQ(errorOf(f), q(f) + "不是有效的.xlsx文件：它不是zip压缩包。");
}

TEST(BrokenFiles, Truncated) {
    const auto f = fixture("truncated.xlsx");
    EXPECT_EQ(errorOf(f), q(f) + "已损坏或不完整：zip压缩包被截断，找不到它的目录。");
}

TEST(BrokenFiles, MissingWorkbook) {
    const auto f = fixture("missing_workbook.xlsx");
    EXPECT_EQ(errorOf(f), q(f) + "不是Excel工作簿：压缩包中没有xl/workbook.xml。");
}

TEST(BrokenFiles, MalformedXmlNamesPartLineAndColumn) {
    const auto f = fixture("malformed_xml.xlsx");
    EXPECT_EQ(errorOf(f), q(f) + "已损坏：部件xl/worksheets/sheet1.xml第3行第32列的XML"
                                 "开始标记与结束标记不匹配（mismatched tag）。");
}

// The fault's parts as fields: which part, where in it, what is wrong.
ReadFault faultOf(const std::filesystem::path& file) {
    try {
        readXlsx(file);
    } catch (const ReadError& e) {
        return e.fault();
    }
    return ReadFault(ReadFault::Kind::Named, "(no error)");
}

TEST(BrokenFiles, FaultsCarryTheirPartsAsFields) {
    const ReadFault xml = faultOf(fixture("malformed_xml.xlsx"));
    EXPECT_EQ(xml.kind, ReadFault::Kind::Damaged);
    EXPECT_EQ(xml.file, fixture("malformed_xml.xlsx").string());
    EXPECT_EQ(xml.part, "xl/worksheets/sheet1.xml");
    EXPECT_EQ(xml.line, 3u);
    EXPECT_EQ(xml.column, 32u);
    EXPECT_EQ(xml.fault, "XML开始标记与结束标记不匹配（mismatched tag）");
    const ReadFault cell = faultOf(fixture("bad_cell_ref.xlsx"));
    EXPECT_EQ(cell.part, "xl/worksheets/sheet1.xml");
    EXPECT_EQ(cell.line, 2u);
    EXPECT_EQ(cell.column, 0u);
    EXPECT_EQ(cell.fault, "单元格地址“1A”无效");
    const ReadFault notZip = faultOf(fixture("not_a_zip.xlsx"));
    EXPECT_EQ(notZip.kind, ReadFault::Kind::Named);
    EXPECT_EQ(notZip.part, "");
    EXPECT_EQ(notZip.fault, "不是有效的.xlsx文件：它不是zip压缩包。");
}

TEST(BrokenFiles, BadContentNamesTheCell) {
    const auto ref = fixture("bad_cell_ref.xlsx");
    EXPECT_EQ(errorOf(ref),
              q(ref) + "已损坏：部件xl/worksheets/sheet1.xml第2行：单元格地址“1A”无效。");
    const auto shared = fixture("bad_shared_index.xlsx");
    EXPECT_EQ(errorOf(shared), q(shared) + "已损坏：部件xl/worksheets/sheet1.xml第2行："
                                           "单元格A1引用的共享字符串“7”不存在（共1条）。");
}

TEST(BrokenFiles, GapsFarBeyondTheCellsAreRefused) {
    const auto f = fixture("too_sparse.xlsx");
    EXPECT_EQ(errorOf(f), q(f) + "已损坏：部件xl/worksheets/sheet1.xml第2行："
                                 "工作表中的单元格过于分散，超出了可读取的范围。");
}

TEST(BrokenFiles, MissingSheetPartOrRelationship) {
    const auto part = fixture("missing_sheet_part.xlsx");
    EXPECT_EQ(errorOf(part), q(part) + "已损坏：缺少部件xl/worksheets/sheet1.xml。");
    const auto rel = fixture("missing_sheet_relationship.xlsx");
    EXPECT_EQ(errorOf(rel), q(rel) + "已损坏：找不到工作表“工资”的部件（关系“rId1”不存在）。");
}

TEST(BrokenFiles, EncryptedEntries) {
    const auto f = fixture("encrypted_entries.xlsx");
    EXPECT_EQ(errorOf(f), q(f) + "受密码保护，无法读取：请用 WPS 表格或 LibreOffice "
                                 "输入密码打开，另存一份不设密码的 .xlsx 后再试。");
}

TEST(ForeignFiles, MissingEmptyDirectoryAndCompoundFile) {
    test::TempDir dir;
    EXPECT_EQ(errorOf(dir / "无.xlsx"), "找不到文件" + q(dir / "无.xlsx") + "。");
    EXPECT_EQ(errorOf(dir.path()), q(dir.path()) + "是文件夹，不是Excel工作簿。");
    std::ofstream(dir / "empty.xlsx").close();
    EXPECT_EQ(errorOf(dir / "empty.xlsx"), q(dir / "empty.xlsx") + "是空文件，不是Excel工作簿。");
    {
        std::ofstream out(dir / "old.xlsx", std::ios::binary);
        out << "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" << std::string(504, '\0');
    }
    EXPECT_EQ(errorOf(dir / "old.xlsx"),
              q(dir / "old.xlsx") +
                  "不是.xlsx格式的工作簿：它是复合文档（旧版.xls工作簿，或受密码保护的工作簿）。");
}

TEST(ForeignFiles, MemoryPackagesFailAlike) {
    const std::string junk = "PK\x03\x04 not really a zip";
    try {
        readXlsxMemory(junk.data(), junk.size(), "内存");
        FAIL() << "no error";
    } catch (const WorkbookError& e) {
        EXPECT_STREQ(e.what(), "“内存”已损坏或不完整：zip压缩包被截断，找不到它的目录。");
    }
}

TEST(ForeignFiles, EveryPrefixOfAGoodFileFailsCleanly) {
    std::ifstream in(fixture("strings_and_formulas.xlsx"), std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(data.size(), 100u);
    for (std::size_t n = 0; n < data.size(); n += 97) {
        EXPECT_THROW(readXlsxMemory(data.data(), n, "prefix"), WorkbookError) << n;
    }
    EXPECT_NO_THROW(readXlsxMemory(data.data(), data.size(), "whole"));
}

TEST(ForeignFiles, FlippedBytesNeverCrash) {
    std::ifstream in(fixture("styles_resolved.xlsx"), std::ios::binary);
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t failures = 0;
    for (std::size_t i = 30; i < data.size(); i += 13) {
        std::string copy = data;
        copy[i] = static_cast<char>(copy[i] ^ 0x5A);
        try {
            readXlsxMemory(copy.data(), copy.size(), "flipped");
        } catch (const WorkbookError&) {
            ++failures;
        }
    }
    EXPECT_GT(failures, 0u);
}

} // namespace
} // namespace quenly::wb
