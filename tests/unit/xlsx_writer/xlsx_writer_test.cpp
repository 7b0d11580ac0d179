// Tests of the .xlsx writer: the exact XML of each part, merges at volume, faults, and whole
// files opened by openpyxl.
#include "slip_fixture.h"
#include "temp_dir.h"
#include "xlsx_writer.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <regex>
#include <stdexcept>
#include <string>
#include <sys/resource.h>

using namespace quenly::wb;
using quenly::test::TempDir;

namespace {

std::map<std::string, std::string> readParts(const std::filesystem::path& file) {
    int err = 0;
    zip_t* z = zip_open(file.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (!z) {
        throw std::runtime_error("zip_open failed: " + std::to_string(err));
    }
    std::map<std::string, std::string> out;
    for (zip_int64_t i = 0; i < zip_get_num_entries(z, 0); ++i) {
        zip_stat_t st;
        zip_stat_index(z, static_cast<zip_uint64_t>(i), 0, &st);
        zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(i), 0);
        std::string data(st.size, '\0');
        const zip_int64_t got = zip_fread(f, data.data(), data.size());
        char extra;
        const zip_int64_t more = zip_fread(f, &extra, 1);
        zip_fclose(f);
        if (got != static_cast<zip_int64_t>(st.size) || more != 0) {
            throw std::runtime_error(std::string("bad entry ") + st.name);
        }
        out[st.name] = std::move(data);
    }
    zip_close(z);
    return out;
}

const std::string kDecl = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

// A small book touching every kind of content the writer handles.
std::unique_ptr<Workbook> sampleBook() {
    auto book = std::make_unique<Workbook>();
    CellFormat base;
    base.font.name = "宋体";
    base.font.size = 11;
    base.font.charset = 134;
    book->styles.setDefault(base);

    CellFormat title = base;
    title.font.bold = true;
    title.font.size = 14;
    title.font.color = Color::rgb(0xFFFF0000);
    title.fill = {"solid", Color::rgb(0xFFFFFF00), Color::automatic()};
    const BorderSide thin{"thin", Color::rgb(0xFF000000)};
    title.border = {thin, thin, thin, thin, {}, false, false};
    title.alignment.horizontal = "center";
    title.alignment.vertical = "center";
    CellFormat caption = base;
    caption.border = title.border;
    caption.numberFormat = "@";
    CellFormat money = caption;
    money.numberFormat = "#,##0.00";
    CellFormat yuan = caption;
    yuan.numberFormat = "\"¥\"#,##0.00";
    yuan.protection.locked = false;
    CellFormat date = base;
    date.numberFormat = "yyyy\"年\"m\"月\"";
    date.alignment.wrap = true;
    date.alignment.rotation = 90;
    date.fill = {"gray125", {}, {}};

    const auto sTitle = book->styles.intern(title);     // 1
    const auto sCaption = book->styles.intern(caption); // 2
    const auto sMoney = book->styles.intern(money);     // 3
    const auto sYuan = book->styles.intern(yuan);       // 4
    const auto sDate = book->styles.intern(date);       // 5

    auto& ws = book->addSheet("工资表");
    book->strings.intern("never used");
    ws.cellForWrite(0, 0) = Cell::makeText(book->strings.intern("2026年12月 工资条"), sTitle);
    for (std::uint32_t c = 1; c < 4; ++c) {
        ws.cellForWrite(0, c).style = sTitle;
    }
    ws.merges().add({0, 0, 0, 3});
    ws.rowForWrite(0).height = 24;
    ws.rowForWrite(0).customHeight = true;
    const char* captions[] = {"姓名", "基本工资", "绩效", "备注"};
    for (std::uint32_t c = 0; c < 4; ++c) {
        ws.cellForWrite(1, c) = Cell::makeText(book->strings.intern(captions[c]), sCaption);
    }
    ws.cellForWrite(2, 0) = Cell::makeText(book->strings.intern("张三"), sCaption);
    ws.cellForWrite(2, 1) = Cell::makeNumber(8500.5, sMoney);
    ws.cellForWrite(2, 2) = Cell::makeNumber(0.1 + 0.2, sMoney);
    ws.cellForWrite(2, 3) = Cell::makeText(book->strings.intern(" 前后空格 "), sCaption);
    ws.cellForWrite(3, 0) = Cell::makeText(book->strings.intern("李四&<>\"'"), sCaption);
    ws.cellForWrite(3, 1) = Cell::makeNumber(-1234.5, sYuan);
    ws.cellForWrite(3, 2) = Cell::makeBool(true, sCaption);
    ws.cellForWrite(3, 3) = Cell::makeError(0x2A, sCaption);
    ws.cellForWrite(4, 0) = Cell::makeNumber(1e21);
    ws.rowForWrite(4).hidden = true;
    ws.cellForWrite(5, 0);                  // empty, no style: not written
    ws.cellForWrite(5, 2).style = sCaption; // empty with a border: written
    ws.cellForWrite(6, 4) = Cell::makeNumber(46000, sDate);
    SharedString rich;
    rich.text = "红色普通";
    RichRun red{"红色", true, base.font};
    red.font.bold = true;
    red.font.color = Color::rgb(0xFFFF0000);
    rich.runs = {red, RichRun{"普通", false, {}}};
    ws.cellForWrite(7, 0) = Cell::makeText(book->strings.addRich(rich));
    ws.cellForWrite(7, 1) = Cell::makeText(book->strings.intern(std::string("a\x01"
                                                                            "b\r\n_x0041_")));
    ws.cellForWrite(7, 2) = Cell::makeText(book->strings.intern("张三")); // interned again
    ws.rowForWrite(9).height = 30; // a row with a height and no cells
    ws.rowForWrite(10);            // a row with nothing: not written

    ws.columnForWrite(0).width = 12;
    ws.columnForWrite(0).customWidth = true;
    for (std::uint32_t c = 1; c < 3; ++c) {
        ws.columnForWrite(c).width = 15.25;
        ws.columnForWrite(c).customWidth = true;
    }
    ws.columnForWrite(3).width = 9;
    ws.columnForWrite(3).customWidth = true;
    ws.columnForWrite(3).hidden = true;
    ws.columnForWrite(5).style = sCaption; // column 4 stays default: no <col>
    ws.defaultRowHeight = 13.5;

    // Printed as a result is: margins of its own, centred, its cells only.
    PageSetup print;
    print.margins = {0.5, 0.5, 0.6, 0.6, 0.3, 0.3};
    print.centredHorizontally = true;
    print.printArea = CellRange{0, 0, 7, 4};
    ws.pageSetup = print;

    auto& second = book->addSheet("第二页");
    second.cellForWrite(0, 0) = Cell::makeNumber(1);
    second.cellForWrite(2, 27) = Cell::makeText(book->strings.intern("张三"));
    second.baseColumnWidth = 10;
    print.landscape = true;
    print.scale = 55;
    print.printArea = CellRange{0, 0, 2, 27};
    print.rowBreaks = {1, 2};
    second.pageSetup = print;
    book->activeSheet = 1;
    book->date1904 = true;
    return book;
}

std::string sheetPrefix() {
    return kDecl +
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">";
}

std::string sheetEnd(const std::string& pageSetup = "scale=\"100\" orientation=\"portrait\"",
                     const std::string& breaks = "") {
    return "<printOptions horizontalCentered=\"1\"/><pageMargins left=\"0.5\" right=\"0.5\" "
           "top=\"0.6\" bottom=\"0.6\" header=\"0.3\" footer=\"0.3\"/><pageSetup "
           "paperSize=\"9\" " +
           pageSetup + "/>" + breaks + "</worksheet>";
}

class XlsxParts : public ::testing::Test {
protected:
    void SetUp() override {
        book = sampleBook();
        file = dir / "sample.xlsx";
        writeXlsx(*book, file, {2});
        parts = readParts(file);
    }
    TempDir dir;
    std::unique_ptr<Workbook> book;
    std::filesystem::path file;
    std::map<std::string, std::string> parts;
};

} // namespace

TEST_F(XlsxParts, PackageHasEveryPart) {
    std::vector<std::string> names;
    for (const auto& [name, data] : parts) {
        names.push_back(name);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"[Content_Types].xml", "_rels/.rels", "docProps/app.xml",
                                        "docProps/core.xml", "xl/_rels/workbook.xml.rels",
                                        "xl/sharedStrings.xml", "xl/styles.xml", "xl/workbook.xml",
                                        "xl/worksheets/sheet1.xml", "xl/worksheets/sheet2.xml"}));
}

TEST_F(XlsxParts, ContentTypesAndRelationships) {
    const std::string ct = "application/vnd.openxmlformats-officedocument.";
    EXPECT_EQ(parts["[Content_Types].xml"],
              kDecl +
                  "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                  "<Default Extension=\"rels\" "
                  "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                  "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                  "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
                  ct +
                  "spreadsheetml.sheet.main+xml\"/>"
                  "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" +
                  ct +
                  "spreadsheetml.worksheet+xml\"/>"
                  "<Override PartName=\"/xl/worksheets/sheet2.xml\" ContentType=\"" +
                  ct +
                  "spreadsheetml.worksheet+xml\"/>"
                  "<Override PartName=\"/xl/styles.xml\" ContentType=\"" +
                  ct +
                  "spreadsheetml.styles+xml\"/>"
                  "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"" +
                  ct +
                  "spreadsheetml.sharedStrings+xml\"/>"
                  "<Override PartName=\"/docProps/core.xml\" "
                  "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"
                  "<Override PartName=\"/docProps/app.xml\" ContentType=\"" +
                  ct + "extended-properties+xml\"/></Types>");
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    EXPECT_EQ(parts["_rels/.rels"],
              kDecl +
                  "<Relationships "
                  "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                  "<Relationship Id=\"rId1\" Type=\"" +
                  rel +
                  "officeDocument\" Target=\"xl/workbook.xml\"/>"
                  "<Relationship Id=\"rId2\" "
                  "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
                  "core-properties\" Target=\"docProps/core.xml\"/>"
                  "<Relationship Id=\"rId3\" Type=\"" +
                  rel + "extended-properties\" Target=\"docProps/app.xml\"/></Relationships>");
    EXPECT_EQ(parts["xl/_rels/workbook.xml.rels"],
              kDecl +
                  "<Relationships "
                  "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                  "<Relationship Id=\"rId1\" Type=\"" +
                  rel +
                  "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
                  "<Relationship Id=\"rId2\" Type=\"" +
                  rel +
                  "worksheet\" Target=\"worksheets/sheet2.xml\"/>"
                  "<Relationship Id=\"rId3\" Type=\"" +
                  rel +
                  "styles\" Target=\"styles.xml\"/>"
                  "<Relationship Id=\"rId4\" Type=\"" +
                  rel + "sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>");
}

TEST_F(XlsxParts, WorkbookAndDocumentProperties) {
    EXPECT_EQ(parts["xl/workbook.xml"],
              kDecl +
                  "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                  "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                  "<workbookPr date1904=\"1\"/><bookViews><workbookView firstSheet=\"0\" "
                  "activeTab=\"1\"/></bookViews><sheets>"
                  "<sheet name=\"工资表\" sheetId=\"1\" r:id=\"rId1\"/>"
                  "<sheet name=\"第二页\" sheetId=\"2\" r:id=\"rId2\"/></sheets>"
                  // Each sheet prints its cells only: text spilling past the last column gets
                  // no pages of its own.
                  "<definedNames><definedName name=\"_xlnm.Print_Area\" localSheetId=\"0\">"
                  "'工资表'!$A$1:$E$8</definedName><definedName name=\"_xlnm.Print_Area\" "
                  "localSheetId=\"1\">'第二页'!$A$1:$AB$3</definedName></definedNames>"
                  "</workbook>");
    const std::string core =
        std::regex_replace(parts["docProps/core.xml"],
                           std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ"), "TIME");
    EXPECT_EQ(core,
              kDecl + "<cp:coreProperties "
                      "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/"
                      "core-properties\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                      "xmlns:dcterms=\"http://purl.org/dc/terms/\" "
                      "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
                      "<dc:creator>Quenly</dc:creator><cp:lastModifiedBy>Quenly</cp:lastModifiedBy>"
                      "<dcterms:created xsi:type=\"dcterms:W3CDTF\">TIME</dcterms:created>"
                      "<dcterms:modified xsi:type=\"dcterms:W3CDTF\">TIME</dcterms:modified>"
                      "</cp:coreProperties>");
    const std::string& app = parts["docProps/app.xml"];
    EXPECT_NE(app.find("<Application>Quenly</Application>"), std::string::npos);
    EXPECT_NE(app.find("<vt:i4>2</vt:i4>"), std::string::npos);
    EXPECT_NE(app.find("<vt:vector size=\"2\" baseType=\"lpstr\"><vt:lpstr>工资表</vt:lpstr>"
                       "<vt:lpstr>第二页</vt:lpstr></vt:vector>"),
              std::string::npos);
}

TEST_F(XlsxParts, StylesWithReservedFillsAndBuiltinFormatIds) {
    const std::string font0 = "<font><sz val=\"11\"/><name val=\"宋体\"/><charset val=\"134\"/>"
                              "</font>";
    const std::string thin = "<color rgb=\"FF000000\"/>";
    EXPECT_EQ(
        parts["xl/styles.xml"],
        kDecl +
            "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
            "<numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"&quot;¥&quot;#,##0.00\"/>"
            "<numFmt numFmtId=\"165\" formatCode=\"yyyy&quot;年&quot;m&quot;月&quot;\"/>"
            "</numFmts>"
            "<fonts count=\"2\">" +
            font0 +
            "<font><b/><sz val=\"14\"/><color rgb=\"FFFF0000\"/><name val=\"宋体\"/>"
            "<charset val=\"134\"/></font></fonts>"
            "<fills count=\"3\"><fill><patternFill patternType=\"none\"/></fill>"
            "<fill><patternFill patternType=\"gray125\"/></fill>"
            "<fill><patternFill patternType=\"solid\"><fgColor rgb=\"FFFFFF00\"/>"
            "<bgColor auto=\"1\"/></patternFill></fill></fills>"
            "<borders count=\"2\"><border><left/><right/><top/><bottom/><diagonal/></border>"
            "<border><left style=\"thin\">" +
            thin + "</left><right style=\"thin\">" + thin + "</right><top style=\"thin\">" + thin +
            "</top><bottom style=\"thin\">" + thin +
            "</bottom><diagonal/></border></borders>"
            "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
            "borderId=\"0\"/></cellStyleXfs>"
            "<cellXfs count=\"6\">"
            "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
            "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"2\" borderId=\"1\" xfId=\"0\" "
            "applyFont=\"1\" applyFill=\"1\" applyBorder=\"1\" applyAlignment=\"1\">"
            "<alignment horizontal=\"center\" vertical=\"center\"/></xf>"
            "<xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"1\" xfId=\"0\" "
            "applyNumberFormat=\"1\" applyBorder=\"1\"/>"
            "<xf numFmtId=\"4\" fontId=\"0\" fillId=\"0\" borderId=\"1\" xfId=\"0\" "
            "applyNumberFormat=\"1\" applyBorder=\"1\"/>"
            "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"1\" xfId=\"0\" "
            "applyNumberFormat=\"1\" applyBorder=\"1\" applyProtection=\"1\">"
            "<protection locked=\"0\"/></xf>"
            "<xf numFmtId=\"165\" fontId=\"0\" fillId=\"1\" borderId=\"0\" xfId=\"0\" "
            "applyNumberFormat=\"1\" applyFill=\"1\" applyAlignment=\"1\">"
            "<alignment textRotation=\"90\" wrapText=\"1\"/></xf></cellXfs>"
            "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
            "</cellStyles><dxfs count=\"0\"/><tableStyles count=\"0\" "
            "defaultTableStyle=\"TableStyleMedium9\" defaultPivotStyle=\"PivotStyleLight16\"/>"
            "</styleSheet>");
}

TEST_F(XlsxParts, SharedStringsCountsEscapingAndRichRuns) {
    // "never used" is left out; "张三" is counted three times (two sheets) but stored once.
    EXPECT_EQ(parts["xl/sharedStrings.xml"],
              kDecl +
                  "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                  "count=\"12\" uniqueCount=\"10\">"
                  "<si><t>2026年12月 工资条</t></si>"
                  "<si><t>姓名</t></si><si><t>基本工资</t></si><si><t>绩效</t></si>"
                  "<si><t>备注</t></si><si><t>张三</t></si>"
                  "<si><t xml:space=\"preserve\"> 前后空格 </t></si>"
                  "<si><t>李四&amp;&lt;&gt;\"'</t></si>"
                  "<si><r><rPr><b/><sz val=\"11\"/><color rgb=\"FFFF0000\"/><rFont val=\"宋体\"/>"
                  "<charset val=\"134\"/></rPr><t>红色</t></r><r><t>普通</t></r></si>"
                  "<si><t>a_x0001_b_x000D_\n_x005F_x0041_</t></si></sst>");
}

TEST_F(XlsxParts, SheetWithColumnRunsRowsAndMerges) {
    EXPECT_EQ(
        parts["xl/worksheets/sheet1.xml"],
        sheetPrefix() +
            "<dimension ref=\"A1:E8\"/><sheetViews><sheetView workbookViewId=\"0\"/></sheetViews>"
            "<sheetFormatPr defaultColWidth=\"8.43\" defaultRowHeight=\"13.5\"/>"
            "<cols><col min=\"1\" max=\"1\" width=\"12\" customWidth=\"1\"/>"
            "<col min=\"2\" max=\"3\" width=\"15.25\" customWidth=\"1\"/>"
            "<col min=\"4\" max=\"4\" width=\"9\" hidden=\"1\" customWidth=\"1\"/>"
            "<col min=\"6\" max=\"6\" width=\"8.43\" style=\"2\"/></cols>"
            "<sheetData>"
            "<row r=\"1\" ht=\"24\" customHeight=\"1\"><c r=\"A1\" s=\"1\" t=\"s\"><v>0</v></c>"
            "<c r=\"B1\" s=\"1\"/><c r=\"C1\" s=\"1\"/><c r=\"D1\" s=\"1\"/></row>"
            "<row r=\"2\"><c r=\"A2\" s=\"2\" t=\"s\"><v>1</v></c><c r=\"B2\" s=\"2\" t=\"s\">"
            "<v>2</v></c><c r=\"C2\" s=\"2\" t=\"s\"><v>3</v></c><c r=\"D2\" s=\"2\" t=\"s\">"
            "<v>4</v></c></row>"
            "<row r=\"3\"><c r=\"A3\" s=\"2\" t=\"s\"><v>5</v></c><c r=\"B3\" s=\"3\"><v>8500.5</v>"
            "</c><c r=\"C3\" s=\"3\"><v>0.30000000000000004</v></c><c r=\"D3\" s=\"2\" t=\"s\">"
            "<v>6</v></c></row>"
            "<row r=\"4\"><c r=\"A4\" s=\"2\" t=\"s\"><v>7</v></c><c r=\"B4\" "
            "s=\"4\"><v>-1234.5</v>"
            "</c><c r=\"C4\" s=\"2\" t=\"b\"><v>1</v></c><c r=\"D4\" s=\"2\" t=\"e\"><v>#N/A</v>"
            "</c></row>"
            "<row r=\"5\" hidden=\"1\"><c r=\"A5\"><v>1e+21</v></c></row>"
            "<row r=\"6\"><c r=\"C6\" s=\"2\"/></row>"
            "<row r=\"7\"><c r=\"E7\" s=\"5\"><v>46000</v></c></row>"
            "<row r=\"8\"><c r=\"A8\" t=\"s\"><v>8</v></c><c r=\"B8\" t=\"s\"><v>9</v></c>"
            "<c r=\"C8\" t=\"s\"><v>5</v></c></row>"
            "<row r=\"10\" ht=\"30\"/>"
            "</sheetData><mergeCells count=\"1\"><mergeCell ref=\"A1:D1\"/></mergeCells>" +
            sheetEnd());
    EXPECT_EQ(parts["xl/worksheets/sheet2.xml"],
              sheetPrefix() +
                  "<dimension ref=\"A1:AB3\"/><sheetViews><sheetView tabSelected=\"1\" "
                  "workbookViewId=\"0\"/></sheetViews>"
                  "<sheetFormatPr baseColWidth=\"10\" defaultRowHeight=\"15\"/><sheetData>"
                  "<row r=\"1\"><c r=\"A1\"><v>1</v></c></row>"
                  "<row r=\"3\"><c r=\"AB3\" t=\"s\"><v>5</v></c></row></sheetData>" +
                  sheetEnd("scale=\"55\" orientation=\"landscape\"",
                           "<rowBreaks count=\"2\" manualBreakCount=\"2\"><brk id=\"1\" "
                           "max=\"16383\" man=\"1\"/><brk id=\"2\" max=\"16383\" "
                           "man=\"1\"/></rowBreaks>"));
}

TEST(XlsxWriter, ASheetWithoutAPageSetUpLeavesPrintingToTheApplication) {
    TempDir dir;
    Workbook book;
    book.addSheet("Sheet1").cellForWrite(0, 0) = Cell::makeNumber(1);
    PageSetup plain;
    plain.paperSize = 8; // A3, upright, at the application's margins, not centred
    book.addSheet("Sheet2").pageSetup = plain;
    writeXlsx(book, dir / "plain.xlsx", {1});
    auto parts = readParts(dir / "plain.xlsx");
    EXPECT_EQ(parts["xl/worksheets/sheet1.xml"],
              sheetPrefix() +
                  "<dimension ref=\"A1\"/><sheetViews><sheetView tabSelected=\"1\" "
                  "workbookViewId=\"0\"/></sheetViews><sheetFormatPr defaultColWidth=\"8.43\" "
                  "defaultRowHeight=\"15\"/><sheetData><row r=\"1\"><c r=\"A1\"><v>1</v></c>"
                  "</row></sheetData></worksheet>");
    EXPECT_NE(parts["xl/worksheets/sheet2.xml"].find(
                  "<sheetData></sheetData><pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" "
                  "bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/><pageSetup paperSize=\"8\" "
                  "scale=\"100\" orientation=\"portrait\"/></worksheet>"),
              std::string::npos)
        << parts["xl/worksheets/sheet2.xml"];
    EXPECT_EQ(parts["xl/workbook.xml"].find("definedNames"), std::string::npos);
}

TEST(XlsxWriter, SameBytesWhateverTheThreadCount) {
    TempDir dir;
    auto book = quenly::test::makeWageSlips(3000, 25);
    writeXlsx(*book, dir / "one.xlsx", {1});
    writeXlsx(*book, dir / "four.xlsx", {4});
    auto a = readParts(dir / "one.xlsx");
    auto b = readParts(dir / "four.xlsx");
    a.erase("docProps/core.xml");
    b.erase("docProps/core.xml");
    EXPECT_EQ(a, b);
    // Big enough to have been cut into many pieces.
    EXPECT_GT(a["xl/worksheets/sheet1.xml"].size(), 6u << 20);
}

TEST(XlsxWriter, SeventyThousandMergesCountedExactly) {
    TempDir dir;
    Workbook book;
    auto& ws = book.addSheet("Sheet1");
    const std::uint32_t n = 70000;
    for (std::uint32_t i = 0; i < n; ++i) {
        ws.cellForWrite(i * 2, 0) = Cell::makeNumber(i);
        ws.merges().add({i * 2, 0, i * 2 + 1, 2});
    }
    ws.merges().add({n * 2 + 5, 3, n * 2 + 5, 3}); // a single cell is no merge: left out
    writeXlsx(book, dir / "m.xlsx", {2});
    const std::string sheet = readParts(dir / "m.xlsx")["xl/worksheets/sheet1.xml"];
    EXPECT_NE(sheet.find("<mergeCells count=\"70000\"><mergeCell ref=\"A1:C2\"/>"),
              std::string::npos);
    std::size_t count = 0;
    for (std::size_t p = sheet.find("<mergeCell "); p != std::string::npos;
         p = sheet.find("<mergeCell ", p + 1)) {
        ++count;
    }
    EXPECT_EQ(count, n);
    EXPECT_NE(sheet.find("<mergeCell ref=\"A139999:C140000\"/></mergeCells>"), std::string::npos);
}

TEST(XlsxWriter, RowsToTheLastOfTheSheet) {
    TempDir dir;
    Workbook book;
    auto& ws = book.addSheet("Sheet1");
    ws.cellForWrite(kMaxRows - 1, kMaxCols - 1) = Cell::makeNumber(7);
    ws.merges().add({kMaxRows - 2, kMaxCols - 2, kMaxRows - 1, kMaxCols - 1});
    writeXlsx(book, dir / "last.xlsx", {2});
    const std::string sheet = readParts(dir / "last.xlsx")["xl/worksheets/sheet1.xml"];
    EXPECT_NE(sheet.find("<dimension ref=\"XFD1048576\"/>"), std::string::npos);
    EXPECT_NE(sheet.find("<row r=\"1048576\"><c r=\"XFD1048576\"><v>7</v></c></row>"),
              std::string::npos);
    EXPECT_NE(sheet.find("<mergeCell ref=\"XFC1048575:XFD1048576\"/>"), std::string::npos);
}

TEST(XlsxWriter, NumbersASpreadsheetCannotHoldBecomeErrors) {
    TempDir dir;
    Workbook book;
    auto& ws = book.addSheet("Sheet1");
    ws.cellForWrite(0, 0) = Cell::makeNumber(std::nan(""));
    ws.cellForWrite(0, 1) = Cell::makeNumber(-HUGE_VAL);
    writeXlsx(book, dir / "nan.xlsx", {1});
    const std::string sheet = readParts(dir / "nan.xlsx")["xl/worksheets/sheet1.xml"];
    EXPECT_NE(sheet.find("<c r=\"A1\" t=\"e\"><v>#NUM!</v></c><c r=\"B1\" t=\"e\"><v>#NUM!</v>"),
              std::string::npos);
}

TEST(XlsxWriter, BadBooksAreRefusedWithoutTouchingTheFile) {
    TempDir dir;
    const auto file = dir / "keep.xlsx";
    { std::ofstream(file) << "old"; }
    auto expectRefused = [&](const Workbook& book, const std::string& message) {
        try {
            writeXlsx(book, file);
            ADD_FAILURE() << "written: " << message;
        } catch (const WorkbookError& e) {
            EXPECT_EQ(std::string(e.what()), message);
        }
        std::ifstream in(file);
        std::string content;
        in >> content;
        EXPECT_EQ(content, "old");
    };
    const std::string prefix = "无法保存文件“" + file.string() + "”：";
    Workbook empty;
    expectRefused(empty, prefix + "工作簿中没有工作表");
    const std::string rule = "”无效（名称不能为空、不能超过 31 个字符、不能以单引号开头或结尾，"
                             "也不能包含 : \\ / ? * [ ]）";
    for (const std::string name : {"", "a/b", "[1]", "'x",
                                   "一二三四五六七八九十一二三四五六七八九十"
                                   "一二三四五六七八九十一二"}) {
        Workbook book;
        book.addSheet(name);
        expectRefused(book, prefix + "工作表名称“" + name + rule);
    }
    Workbook twice;
    twice.addSheet("Sheet1");
    twice.addSheet("SHEET1");
    expectRefused(twice, prefix + "有多个工作表名为“SHEET1”");
    Workbook badStyle;
    badStyle.addSheet("Sheet1").cellForWrite(0, 0).style = 99;
    expectRefused(badStyle, prefix + "工作表“Sheet1”的单元格 A1 引用了不存在的格式");
    // 31 characters is still a good name.
    Workbook longName;
    longName.addSheet("一二三四五六七八九十一二三四五六七八九十一二三四五六七八九十一");
    EXPECT_NO_THROW(writeXlsx(longName, dir / "long.xlsx"));
}

TEST(XlsxWriter, UnwritablePathNamesTheFile) {
    TempDir dir;
    const auto file = dir / "missing" / "out.xlsx";
    Workbook book;
    book.addSheet("Sheet1");
    try {
        writeXlsx(book, file);
        FAIL();
    } catch (const WorkbookError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "无法写入文件“" + file.string() + "”：" + std::strerror(ENOENT));
    }
}

TEST(XlsxWriter, OpenpyxlReadsValuesStylesMergesWidthsAndHeights) {
    const std::string python = QUENLY_PYTHON;
    if (python.empty() ||
        std::system((python + " -c 'import openpyxl' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "no python with openpyxl";
    }
    TempDir dir;
    auto book = sampleBook();
    writeXlsx(*book, dir / "sample.xlsx", {2});
    auto slips = quenly::test::makeWageSlips(200, 25);
    // Ten slips a page.
    PageSetup pages;
    for (std::uint32_t row = 40; row < 800; row += 40) {
        pages.rowBreaks.push_back(row);
    }
    slips->sheet(0).pageSetup = pages;
    writeXlsx(*slips, dir / "slips.xlsx", {2});
    const std::string cmd = python + " " + OPENPYXL_CHECK + " '" + (dir / "sample.xlsx").string() +
                            "' '" + (dir / "slips.xlsx").string() + "'";
    EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

TEST(XlsxWriter, SharedStringsInManyPiecesKeepTheirOrder) {
    TempDir dir;
    Workbook book;
    auto& ws = book.addSheet("Sheet1");
    const std::uint32_t n = 60000;
    for (std::uint32_t i = 0; i < n; ++i) {
        std::string text = "文本" + std::to_string(i);
        if (i % 1000 == 7) {
            text += std::string(20000, i % 2 ? '&' : 'x'); // long texts, some escaped
        }
        ws.cellForWrite(i, 0) = Cell::makeText(book.strings.intern(text));
    }
    writeXlsx(book, dir / "s.xlsx", {3});
    const std::string sst = readParts(dir / "s.xlsx")["xl/sharedStrings.xml"];
    EXPECT_NE(sst.find("count=\"60000\" uniqueCount=\"60000\"><si><t>文本0</t></si>"),
              std::string::npos);
    std::size_t items = 0, at = 0;
    for (std::size_t p = sst.find("<si>"); p != std::string::npos; p = sst.find("<si>", p + 1)) {
        const std::string want = "<si><t>文本" + std::to_string(items);
        if (sst.compare(p, want.size(), want) != 0 && at == 0) {
            at = p;
        }
        ++items;
    }
    EXPECT_EQ(items, n);
    EXPECT_EQ(at, 0u) << sst.substr(at, 40);
    std::string amp;
    for (int k = 0; k < 20000; ++k) {
        amp += "&amp;";
    }
    EXPECT_NE(sst.find("<si><t>文本1007" + amp + "</t></si><si><t>文本1008</t></si>"),
              std::string::npos);
    EXPECT_NE(sst.find("<si><t>文本59999</t></si></sst>"), std::string::npos);
}

TEST(XlsxWriter, OverlappingMergesKeepTheFirst) {
    TempDir dir;
    Workbook book;
    auto& ws = book.addSheet("Sheet1");
    ws.cellForWrite(0, 0) = Cell::makeNumber(1);
    ws.merges().add({0, 0, 3, 1}); // A1:B4
    ws.merges().add({2, 1, 2, 4}); // B3:E3 overlaps A1:B4
    ws.merges().add({3, 2, 5, 3}); // C4:D6 touches neither
    ws.merges().add({5, 0, 5, 1}); // A6:B6 below A1:B4
    ws.merges().add({4, 3, 4, 5}); // D5:F5 overlaps C4:D6
    writeXlsx(book, dir / "o.xlsx", {1});
    const std::string sheet = readParts(dir / "o.xlsx")["xl/worksheets/sheet1.xml"];
    EXPECT_NE(sheet.find("<mergeCells count=\"3\"><mergeCell ref=\"A1:B4\"/>"
                         "<mergeCell ref=\"C4:D6\"/><mergeCell ref=\"A6:B6\"/></mergeCells>"),
              std::string::npos)
        << sheet;
}

TEST(XlsxWriter, AFileCutShortByAFullDiskIsRemoved) {
    TempDir dir;
    const auto file = dir / "cut.xlsx";
    auto book = quenly::test::makeWageSlips(2000, 25);
    // A file size limit makes writes fail with EFBIG part way, as a full disk would.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 64 * 1024;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        writeXlsx(*book, file, {2});
    } catch (const WorkbookError& e) {
        message = e.what();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(message, "无法写入文件“" + file.string() + "”：" + std::strerror(EFBIG));
    EXPECT_FALSE(std::filesystem::exists(file));
}
