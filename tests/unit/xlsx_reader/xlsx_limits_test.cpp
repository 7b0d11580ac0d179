// Hostile packages: bombs, relationships that leave the package, DTDs, nesting, cells past the
// sheet's limits, indices naming nothing; each is refused with a message naming file and fault.
#include "error_of.h"
#include "temp_dir.h"
#include "xlsx/xlsx_reader.h"
#include "xlsx/xlsx_reader_memory.h"
#include "xlsx/xml_reader.h"
#include "xlsx/zip_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace quenly::wb {
namespace {

using namespace xlsx_read;

std::filesystem::path fixture(const std::string& name) {
    return std::filesystem::path(QUENLY_XLSX_FIXTURES) / name;
}

std::string errorOf(const std::string& name) {
    return quenly::test::errorOf<WorkbookError>(
        [&] { readXlsx(fixture(name), {.allSheets = true}); });
}

std::string q(const std::string& name) {
    return "“" + fixture(name).string() + "”";
}

class CountingHandler : public XmlHandler {
public:
    void startElement(std::string_view, const Attributes&) override { ++elements; }
    void endElement(std::string_view) override {}
    void text(const char*, std::size_t n) override { textBytes += n; }
    int elements = 0;
    std::size_t textBytes = 0;
};

std::string xmlErrorOf(const std::string& xml) {
    CountingHandler h;
    h.wantText = true;
    try {
        parseXml(xml, "表.xlsx", "xl/worksheets/sheet1.xml", h);
    } catch (const WorkbookError& e) {
        return e.what();
    }
    return "(no error)";
}

TEST(CompressionBombs, HugeRatioIsRefusedWhileInflating) {
    // bzip2 packs the 64 MiB part into a few hundred bytes; reading stops just past 16 MiB.
    const std::string bzip = errorOf("bomb_bzip2.xlsx");
    EXPECT_EQ(bzip.find(q("bomb_bzip2.xlsx") + "中的部件xl/worksheets/sheet1.xml压缩后只有 "), 0u)
        << bzip;
    EXPECT_NE(bzip.find("，解压后却已超过 16 MB（压缩比超过 1000:1），这不是正常的工作簿，"
                        "可能是恶意构造的压缩炸弹，已停止读取。"),
              std::string::npos)
        << bzip;
}

TEST(CompressionBombs, EntriesSharingTheirDataAreHeldToTheWholeFile) {
    // Eight entries over one 12 MiB stream: each alone passes, together they pass the file's
    // size a thousand times over.
    const std::string e = errorOf("bomb_overlapping.xlsx");
    EXPECT_EQ(e.find(q("bomb_overlapping.xlsx") + "中的整个文件只有 "), 0u) << e;
    EXPECT_NE(e.find("（压缩比超过 1000:1）"), std::string::npos) << e;
    ZipReader zip(fixture("bomb_overlapping.xlsx"), "x");
    CountingHandler h;
    EXPECT_NO_THROW(parsePart(zip, "xl/worksheets/sheet1.xml", h, kMaxSheetPart));
}

TEST(CompressionBombs, EveryPartHasItsBoundCheckedBeforeAndWhileInflating) {
    ZipReader zip(fixture("lying_size.xlsx"), "谎报.xlsx");
    CountingHandler h;
    const std::string tooLarge =
        "“谎报.xlsx”中的部件xl/worksheets/sheet1.xml解压后超过 65536 字节，"
        "超出了可读取的上限：文件已损坏，或不是正常保存的工作簿。"
        "请用 WPS 表格或 LibreOffice 打开并另存为 .xlsx 后再试。";
    // The part claims 100 bytes, so only inflating shows that it is larger.
    try {
        parsePart(zip, "xl/worksheets/sheet1.xml", h, 64 << 10);
        FAIL() << "no error";
    } catch (const WorkbookError& e) {
        EXPECT_EQ(e.what(), tooLarge);
    }
    // A part that declares more than its bound is refused before any of it is inflated.
    ZipReader wages(fixture("out_of_order.xlsx"), "x.xlsx");
    try {
        parsePart(wages, "xl/workbook.xml", h, 100);
        FAIL() << "no error";
    } catch (const WorkbookError& e) {
        EXPECT_STREQ(e.what(), "“x.xlsx”中的部件xl/workbook.xml解压后超过 100 字节，超出了可读取"
                               "的上限：文件已损坏，或不是正常保存的工作簿。请用 WPS 表格或 "
                               "LibreOffice 打开并另存为 .xlsx 后再试。");
    }
    EXPECT_EQ(h.elements, 0);
    EXPECT_EQ(kMaxSheetPart, 2ull << 30);
    EXPECT_LT(kMaxStylesPart, kMaxSharedStringsPart);
}

TEST(Relationships, TargetsOutsideThePackageAreRefusedByName) {
    EXPECT_EQ(errorOf("rel_sheet_above_root.xlsx"),
              q("rel_sheet_above_root.xlsx") + "已损坏：工作表“工资”的关系“rId1”指向压缩包以外的"
                                               "位置“../../worksheets/sheet1.xml”。");
    EXPECT_EQ(errorOf("rel_sheet_url.xlsx"),
              q("rel_sheet_url.xlsx") + "已损坏：工作表“工资”的关系“rId1”指向压缩包以外的位置"
                                        "“http://example.com/sheet1.xml”。");
    EXPECT_EQ(errorOf("rel_sheet_drive.xlsx"),
              q("rel_sheet_drive.xlsx") + "已损坏：工作表“工资”的关系“rId1”指向压缩包以外的位置"
                                          "“C:\\sheets\\sheet1.xml”。");
    EXPECT_EQ(errorOf("rel_styles_url.xlsx"),
              q("rel_styles_url.xlsx") +
                  "已损坏：单元格格式的关系“rId2”指向压缩包以外的位置“file:///etc/passwd”。");
}

TEST(Relationships, PartsTheyNameMustExist) {
    EXPECT_EQ(errorOf("rel_shared_strings_missing.xlsx"),
              q("rel_shared_strings_missing.xlsx") +
                  "已损坏：缺少共享字符串部件xl/strings/none.xml（关系“rId3”指向它）。");
}

TEST(Relationships, LinksToOtherFilesAndUnusedPartsAreNoFault) {
    const auto book = readXlsx(fixture("rel_external_link.xlsx"));
    ASSERT_EQ(book->sheetCount(), 1u);
    ASSERT_NE(book->sheet(0).cell(0, 0), nullptr);
    EXPECT_EQ(book->sheet(0).cell(0, 0)->number, 1);
}

TEST(XmlDeclarations, DoctypeAndEntitiesAreRefusedAndNeverExpanded) {
    EXPECT_EQ(errorOf("billion_laughs.xlsx"),
              q("billion_laughs.xlsx") +
                  "已损坏：部件xl/worksheets/sheet1.xml第2行：含有文档类型声明"
                  "（DOCTYPE），正常的工作簿不会有，为安全起见不予读取。");
    EXPECT_EQ(errorOf("external_entity.xlsx"),
              q("external_entity.xlsx") + "已损坏：部件xl/sharedStrings.xml第2行：含有文档类型声明"
                                          "（DOCTYPE），正常的工作簿不会有，为安全起见不予读取。");
    // Without a declaration an entity is undefined: nothing is ever looked up or expanded.
    const std::string undefined = xmlErrorOf("<a>&x;</a>");
    EXPECT_NE(undefined.find("使用了未定义的实体"), std::string::npos) << undefined;
    EXPECT_EQ(xmlErrorOf("<a>&lt;&#x5DE5;</a>"), "(no error)") << "predefined and numeric stay";
}

TEST(XmlNesting, DeeperThanAnyRealPartIsRefused) {
    std::string ok;
    std::string deep;
    for (int i = 0; i < kMaxXmlDepth; ++i) {
        ok += "<e>";
    }
    deep = ok + "<e>";
    for (int i = 0; i < kMaxXmlDepth; ++i) {
        ok += "</e>";
    }
    EXPECT_EQ(xmlErrorOf(ok), "(no error)");
    EXPECT_EQ(xmlErrorOf(deep),
              "“表.xlsx”已损坏：部件xl/worksheets/sheet1.xml第1行：元素嵌套超过了 "
              "256 层，正常的工作簿不会这样。");
    EXPECT_EQ(errorOf("deep_nesting.xlsx"),
              q("deep_nesting.xlsx") + "已损坏：部件xl/worksheets/sheet1.xml第2行：元素嵌套超过了 "
                                       "256 层，正常的工作簿不会这样。");
}

TEST(XmlTokens, ATagWithoutEndIsRefusedBeforeItTakesTheMemory) {
    std::string xml = "<worksheet>\n<c r=\"";
    xml.append(kMaxXmlToken + (1u << 20), 'x');
    xml += "\"/></worksheet>";
    EXPECT_EQ(xmlErrorOf(xml),
              "“表.xlsx”已损坏：部件xl/worksheets/sheet1.xml第2行：一个XML标记长于 8 "
              "MB，正常的工作簿不会这样。");
    // Text is handed on in pieces, so long text is no fault.
    std::string text = "<a>";
    text.append(kMaxXmlToken + (1u << 20), 'y');
    text += "</a>";
    CountingHandler h;
    h.wantText = true;
    parseXml(text, "t", "p", h);
    EXPECT_EQ(h.textBytes, kMaxXmlToken + (1u << 20));
}

TEST(SheetLimits, CellsAndRowsPastTheSheetAreRefusedByName) {
    EXPECT_EQ(errorOf("row_beyond_limit.xlsx"),
              q("row_beyond_limit.xlsx") + "已损坏：部件xl/worksheets/sheet1.xml第2行：行号1048577"
                                           "超出了工作表的上限（最多 1048576 行）。");
    EXPECT_EQ(errorOf("cell_beyond_xfd.xlsx"),
              q("cell_beyond_xfd.xlsx") + "已损坏：部件xl/worksheets/sheet1.xml第2行：单元格地址"
                                          "“XFE1”超出了工作表的范围（最多 1048576 行、16384 列，"
                                          "即到XFD1048576）。");
    EXPECT_EQ(errorOf("cell_after_xfd.xlsx"),
              q("cell_after_xfd.xlsx") + "已损坏：部件xl/worksheets/sheet1.xml第2行：第7行的单元格"
                                         "超出了工作表的上限（最多 16384 列，即到XFD列）。");
}

TEST(SheetLimits, StyleIndicesMustNameAFormat) {
    EXPECT_EQ(errorOf("style_index_out_of_range.xlsx"),
              q("style_index_out_of_range.xlsx") +
                  "已损坏：部件xl/worksheets/sheet1.xml第2行：单元格B1引用的单元格格式“2”不存在"
                  "（共2种）。");
    EXPECT_EQ(errorOf("row_style_out_of_range.xlsx"),
              q("row_style_out_of_range.xlsx") +
                  "已损坏：部件xl/worksheets/sheet1.xml第2行：第4行引用的单元格格式“9”不存在"
                  "（共2种）。");
    EXPECT_EQ(errorOf("style_without_styles_part.xlsx"),
              q("style_without_styles_part.xlsx") +
                  "已损坏：部件xl/worksheets/sheet1.xml第2行：单元格C1引用的单元格格式“3”不存在"
                  "（共1种）。");
}

TEST(SheetLimits, OverlappingColumnRunsAreBounded) {
    EXPECT_EQ(errorOf("column_runs_repeated.xlsx"),
              q("column_runs_repeated.xlsx") +
                  "已损坏：部件xl/worksheets/sheet1.xml第2行：列的设置（<col>）重复覆盖了超过 "
                  "262144 列，正常的工作簿不会这样。");
}

TEST(SheetLimits, ACellWithoutStyleTakesTheFirstFormatOfTheFile) {
    const auto book = readXlsx(fixture("first_format_not_default.xlsx"));
    const Cell* a1 = book->sheet(0).cell(0, 0);
    ASSERT_NE(a1, nullptr);
    EXPECT_EQ(book->styles.at(a1->style).numberFormat, "0.00%");
}

TEST(SheetOrder, CellsAndRowsOutOfOrderKeepEveryCellAndTheLastOneWritten) {
    const auto book = readXlsx(fixture("out_of_order.xlsx"));
    const Worksheet& s = book->sheet(0);
    auto number = [&](std::uint32_t r, std::uint32_t c) {
        const Cell* cell = s.cell(r, c);
        return cell && cell->type == CellType::Number ? cell->number : -1.0;
    };
    EXPECT_EQ(number(0, 1), 12);
    EXPECT_EQ(number(1, 0), 22) << "the second A2 wins";
    EXPECT_EQ(number(2, 0), 30) << "the A3 of the second row 3 wins";
    EXPECT_EQ(number(2, 1), 32);
    EXPECT_EQ(number(2, 2), 34);
    EXPECT_EQ(s.row(2)->height, 30) << "the second row 3's height";
}

TEST(Seeds, EveryFuzzSeedReads) {
    const auto dir = test::testDataDir() / "fuzz" / "xlsx";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string data((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
        const auto book = readXlsxMemory(data.data(), data.size(), "seed", {.allSheets = true});
        EXPECT_GE(book->sheetCount(), 1u) << entry.path();
        ++files;
    }
    EXPECT_GE(files, 4);
}

} // namespace
} // namespace quenly::wb
