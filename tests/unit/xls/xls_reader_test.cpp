// Tests of the .xls reader: cells, texts, formats and layout of BIFF8 and BIFF5 workbooks, and
// the errors of broken or protected ones.
#include "error_of.h"
#include "read_error.h"
#include "temp_dir.h"
#include "xls/codepage.h"
#include "xls/xls_reader.h"

#include <gtest/gtest.h>

namespace {

using namespace quenly::wb;
using quenly::test::testDataDir;

std::filesystem::path dataFile(const std::string& name) {
    return testDataDir() / "xls" / name;
}

std::string errorOf(const std::filesystem::path& p) {
    return quenly::test::errorOf<WorkbookError>([&] { readXls(p); });
}

const Cell& cellAt(const Worksheet& s, std::uint32_t r, std::uint32_t c) {
    const Cell* cell = s.cell(r, c);
    if (!cell) {
        throw std::runtime_error("no cell at " + std::to_string(r) + "," + std::to_string(c));
    }
    return *cell;
}

std::string textAt(const Workbook& b, std::uint32_t r, std::uint32_t c) {
    const Cell& cell = cellAt(b.sheet(0), r, c);
    EXPECT_EQ(cell.type, CellType::Text) << r << "," << c;
    return cell.type == CellType::Text ? b.strings.at(cell.text).text : std::string();
}

const CellFormat& formatAt(const Workbook& b, std::uint32_t r, std::uint32_t c) {
    return b.styles.at(cellAt(b.sheet(0), r, c).style);
}

class Biff8Records : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { book = readXls(dataFile(GetParam())); }
    std::unique_ptr<Workbook> book;
};

TEST_P(Biff8Records, SheetsAndWorkbookFlags) {
    // The chart sheet is no worksheet; WINDOW1 makes the second sheet active.
    ASSERT_EQ(book->sheetCount(), 2u);
    EXPECT_EQ(book->sheet(0).name(), "工资表");
    EXPECT_EQ(book->sheet(1).name(), "Second");
    EXPECT_EQ(book->sheet(1).rowCount(), 0u); // only the first sheet's cells are read
    EXPECT_EQ(book->activeSheet, 1u);
    EXPECT_TRUE(book->date1904);
}

TEST_P(Biff8Records, SharedStringsAcrossContinueRecords) {
    EXPECT_EQ(textAt(*book, 0, 0), "Plain");
    EXPECT_EQ(textAt(*book, 0, 1), "工资");
    // Compressed characters in the SST record, then UTF-16 after the CONTINUE's flag byte.
    std::string longText(8000, 'A');
    for (int i = 0; i < 100; ++i) {
        longText += "中";
    }
    EXPECT_EQ(textAt(*book, 0, 3), longText);
    // UTF-16 in the first CONTINUE, compressed in the second.
    std::string switched;
    for (int i = 0; i < 50; ++i) {
        switched += "文";
    }
    switched += std::string(30, 'Z');
    EXPECT_EQ(textAt(*book, 0, 4), switched);
}

TEST_P(Biff8Records, RichTextRunsGetResolvedFonts) {
    const Cell& c = cellAt(book->sheet(0), 0, 2);
    const SharedString& s = book->strings.at(c.text);
    EXPECT_EQ(s.text, "Bold and red");
    ASSERT_EQ(s.runs.size(), 2u);
    EXPECT_EQ(s.runs[0].text, "Bold");
    ASSERT_TRUE(s.runs[0].hasFont);
    // Font index 5 is the fifth FONT record: index 4 does not exist.
    EXPECT_EQ(s.runs[0].font.name, "Times New Roman");
    EXPECT_TRUE(s.runs[0].font.bold);
    EXPECT_EQ(s.runs[0].font.color, Color::rgb(0xFF123456)); // from the PALETTE record
    EXPECT_EQ(s.runs[1].text, " and red");
    EXPECT_EQ(s.runs[1].font.name, "宋体");
    EXPECT_EQ(s.runs[1].font.vertAlign, "superscript");
    EXPECT_TRUE(s.runs[1].font.strike);

    const SharedString& label = book->strings.at(cellAt(book->sheet(0), 3, 3).text);
    ASSERT_EQ(label.runs.size(), 2u);
    EXPECT_EQ(label.runs[0].text, "Rich");
    EXPECT_FALSE(label.runs[0].hasFont); // before the first run: the cell's font
    EXPECT_EQ(label.runs[1].text, "Label");
    EXPECT_EQ(label.runs[1].font.name, "Times New Roman");
}

TEST_P(Biff8Records, NumbersOfEveryEncoding) {
    const Worksheet& s = book->sheet(0);
    EXPECT_EQ(cellAt(s, 1, 0).number, 3.5);   // NUMBER
    EXPECT_EQ(cellAt(s, 1, 1).number, 42.0);  // RK integer
    EXPECT_EQ(cellAt(s, 1, 2).number, 12.34); // RK integer / 100
    EXPECT_EQ(cellAt(s, 1, 3).number, 0.5);   // RK double
    EXPECT_EQ(cellAt(s, 1, 4).number, -7.0);  // RK negative integer
    for (std::uint32_t c = 0; c < 3; ++c) {   // MULRK
        EXPECT_EQ(cellAt(s, 2, c).type, CellType::Number);
        EXPECT_EQ(cellAt(s, 2, c).number, c + 1.0);
    }
    EXPECT_EQ(formatAt(*book, 2, 2).numberFormat, "mm-dd-yy"); // XF 19: built-in format 14
}

TEST_P(Biff8Records, BlankCellsKeepTheirStyle) {
    const Worksheet& s = book->sheet(0);
    for (std::uint32_t c = 3; c <= 5; ++c) {
        EXPECT_EQ(cellAt(s, 2, c).type, CellType::Empty);
    }
    const CellFormat& boxed = formatAt(*book, 2, 3);
    EXPECT_EQ(boxed.border.left.style, "thin");
    EXPECT_EQ(boxed.border.bottom.style, "thin");
    EXPECT_EQ(boxed.border.left.color, Color::automatic());
    const CellFormat& gray = formatAt(*book, 2, 5);
    EXPECT_EQ(gray.fill.pattern, "gray125");
    EXPECT_FALSE(gray.protection.locked);
    EXPECT_TRUE(gray.protection.hidden);
}

TEST_P(Biff8Records, BooleansErrorsAndLabels) {
    const Worksheet& s = book->sheet(0);
    EXPECT_EQ(cellAt(s, 3, 0).type, CellType::Bool);
    EXPECT_TRUE(cellAt(s, 3, 0).boolean);
    EXPECT_EQ(cellAt(s, 3, 1).type, CellType::Error);
    EXPECT_EQ(cellAt(s, 3, 1).error, 0x07); // #DIV/0!
    EXPECT_EQ(textAt(*book, 3, 2), "标签");
}

TEST_P(Biff8Records, FormulaResults) {
    const Worksheet& s = book->sheet(0);
    EXPECT_EQ(cellAt(s, 4, 0).number, 99.5);
    EXPECT_EQ(textAt(*book, 4, 1), "公式文本"); // through SHRFMLA to the STRING record
    EXPECT_EQ(cellAt(s, 4, 2).type, CellType::Bool);
    EXPECT_TRUE(cellAt(s, 4, 2).boolean);
    EXPECT_EQ(cellAt(s, 4, 3).type, CellType::Error);
    EXPECT_EQ(cellAt(s, 4, 3).error, 0x2A); // #N/A
    EXPECT_EQ(textAt(*book, 4, 4), "");     // the empty text
    EXPECT_EQ(textAt(*book, 4, 5), "");     // a text result whose STRING never came
    EXPECT_EQ(cellAt(s, 4, 6).number, 7.0);
    // The embedded chart's cells are not the sheet's.
    EXPECT_EQ(s.rowCount(), 5u);
}

TEST_P(Biff8Records, FullyResolvedFormat) {
    const CellFormat& f = formatAt(*book, 0, 0);
    EXPECT_EQ(f.font.name, "Times New Roman");
    EXPECT_EQ(f.font.size, 14.0);
    EXPECT_TRUE(f.font.bold);
    EXPECT_TRUE(f.font.italic);
    EXPECT_EQ(f.font.underline, "single");
    EXPECT_EQ(f.numberFormat, "0.000_ ");
    EXPECT_EQ(f.alignment.horizontal, "center");
    EXPECT_EQ(f.alignment.vertical, "top");
    EXPECT_TRUE(f.alignment.wrap);
    EXPECT_EQ(f.alignment.rotation, 45);
    EXPECT_EQ(f.alignment.indent, 2);
    EXPECT_EQ(f.border.left.style, "thin");
    EXPECT_EQ(f.border.left.color, Color::rgb(0xFF123456));
    EXPECT_EQ(f.border.right.style, "medium");
    EXPECT_EQ(f.border.top.style, "dashed");
    EXPECT_EQ(f.border.bottom.style, "double");
    EXPECT_EQ(f.border.bottom.color, Color::rgb(0xFF0000FF));
    EXPECT_EQ(f.border.diagonal.style, "hair");
    EXPECT_TRUE(f.border.diagonalDown);
    EXPECT_FALSE(f.border.diagonalUp);
    EXPECT_EQ(f.fill.pattern, "solid");
    EXPECT_EQ(f.fill.fg, Color::rgb(0xFFFFFF00));
    EXPECT_EQ(f.fill.bg, Color::automatic());

    const CellFormat& stacked = formatAt(*book, 2, 2);
    EXPECT_EQ(stacked.alignment.rotation, 255);
    EXPECT_EQ(stacked.alignment.horizontal, "right");
    EXPECT_EQ(stacked.alignment.vertical, "center");
}

TEST_P(Biff8Records, ClearedFlagsKeepTheCellsOwnAttributes) {
    // XF 18 clears every used-attribute flag; its parent, style XF 1, has another font, format
    // and fill. Spreadsheet applications show the cell XF's own: Arial, General, no fill.
    const CellFormat& f = formatAt(*book, 2, 1);
    EXPECT_EQ(f.font.name, "Arial");
    EXPECT_EQ(f.numberFormat, "General");
    EXPECT_EQ(f.fill.pattern, "none");
    // XF 21 clears them too, under a parent that marks every group as not valid.
    const CellFormat& own = formatAt(*book, 3, 2);
    EXPECT_EQ(own.font.name, "Times New Roman");
    EXPECT_EQ(own.numberFormat, "0.00");
}

TEST_P(Biff8Records, DefaultFormatIsTheNormalCellFormat) {
    const CellFormat& def = book->styles.at(0);
    EXPECT_EQ(def.font.name, "Arial");
    EXPECT_EQ(def.font.size, 10.0);
    EXPECT_EQ(def.numberFormat, "General");
    EXPECT_EQ(cellAt(book->sheet(0), 1, 0).style, 0u); // XF 15
}

TEST_P(Biff8Records, Layout) {
    const Worksheet& s = book->sheet(0);
    EXPECT_EQ(s.column(0).width, 20.0);
    EXPECT_EQ(s.column(1).width, 20.0);
    EXPECT_TRUE(s.column(0).customWidth);
    EXPECT_FALSE(s.column(2).customWidth);
    EXPECT_TRUE(s.column(3).hidden);
    EXPECT_EQ(s.column(3).width, 10.0);
    EXPECT_EQ(book->styles.at(s.column(5).style).border.top.style, "thin");
    EXPECT_EQ(s.baseColumnWidth, 10);
    // 10 digits and the padding LibreOffice gives a 10-point default font (Arial, font 0).
    EXPECT_DOUBLE_EQ(s.defaultColumnWidth, 10 + (40960.0 / 185 + 50) / 256);
    EXPECT_EQ(s.defaultRowHeight, 15.0);
    ASSERT_NE(s.row(0), nullptr);
    EXPECT_EQ(s.row(0)->height, 30.0);
    EXPECT_TRUE(s.row(0)->customHeight);
    EXPECT_EQ(s.row(1)->height, 12.75);
    EXPECT_FALSE(s.row(1)->customHeight);
    EXPECT_TRUE(s.row(2)->hidden);
    // The inverted and the single-cell merge are dropped.
    EXPECT_EQ(s.merges().all(), (std::vector<CellRange>{{6, 0, 7, 2}}));
}

INSTANTIATE_TEST_SUITE_P(Containers, Biff8Records,
                         ::testing::Values("biff8_records.xls", "biff8_records_v4.xls"));

TEST(XlsReader, AllSheetsReadsEveryWorksheet) {
    ReadOptions all;
    all.allSheets = true;
    auto book = readXls(dataFile("biff8_records.xls"), all);
    ASSERT_EQ(book->sheetCount(), 2u);
    ASSERT_NE(book->sheet(1).cell(0, 0), nullptr);
    EXPECT_EQ(book->sheet(1).cell(0, 0)->number, 5.0);
    EXPECT_EQ(book->sheet(1).defaultColumnWidth, 2400.0 / 256); // STANDARDWIDTH
    EXPECT_EQ(book->sheet(1).baseColumnWidth, 0);
}

TEST(XlsReader, Biff5WithCodePage936) {
    auto book = readXls(dataFile("biff5_cp936.xls"));
    ASSERT_EQ(book->sheetCount(), 2u);
    EXPECT_EQ(book->sheet(0).name(), "工资表");
    EXPECT_EQ(book->sheet(1).name(), "说明");
    EXPECT_EQ(textAt(*book, 0, 0), "姓名");
    EXPECT_EQ(textAt(*book, 0, 1), "基本工资");
    EXPECT_EQ(textAt(*book, 1, 0), "张三");
    EXPECT_EQ(cellAt(book->sheet(0), 1, 1).number, 5000.5);
    EXPECT_EQ(cellAt(book->sheet(0), 1, 2).number, 12.0);
    EXPECT_EQ(textAt(*book, 2, 1), "合计"); // a formula's text result

    const SharedString& rich = book->strings.at(cellAt(book->sheet(0), 2, 0).text);
    ASSERT_EQ(rich.runs.size(), 2u);
    EXPECT_EQ(rich.runs[0].text, "加班费");
    EXPECT_EQ(rich.runs[1].text, "合计");
    EXPECT_EQ(rich.runs[1].font.name, "黑体");

    // Runs whose byte positions would split a double-byte character count characters.
    const SharedString& byChars = book->strings.at(cellAt(book->sheet(0), 3, 0).text);
    ASSERT_EQ(byChars.runs.size(), 2u);
    EXPECT_EQ(byChars.runs[0].text, "张");
    EXPECT_EQ(byChars.runs[1].text, "三丰");

    const CellFormat& f = formatAt(*book, 0, 0);
    EXPECT_EQ(f.font.name, "黑体");
    EXPECT_EQ(f.font.color, Color::rgb(0xFFFF0000));
    EXPECT_EQ(f.numberFormat, "0.00\"元\"");
    EXPECT_EQ(f.alignment.rotation, 255);
    EXPECT_EQ(f.alignment.vertical, "center");
    EXPECT_EQ(f.border.left.style, "thin");
    EXPECT_EQ(f.border.right.style, "medium");
    EXPECT_EQ(f.border.right.color, Color::rgb(0xFFFF0000));
    EXPECT_EQ(f.border.top.style, "thick");
    EXPECT_EQ(f.border.top.color, Color::rgb(0xFF0000FF));
    EXPECT_EQ(f.border.bottom.style, "double");
    EXPECT_EQ(f.fill.pattern, "solid");
    EXPECT_EQ(f.fill.fg, Color::rgb(0xFFFFFF00));
    EXPECT_EQ(formatAt(*book, 0, 1).alignment.rotation, 90);
    EXPECT_EQ(book->styles.at(0).font.name, "宋体");

    const Worksheet& s = book->sheet(0);
    EXPECT_EQ(s.column(0).width, 3000.0 / 256);
    EXPECT_TRUE(s.column(2).hidden);
    EXPECT_EQ(s.row(0)->height, 28.5);
}

TEST(XlsReader, Biff5WithoutCodePageTakesItFromTheFonts) {
    auto book = readXls(dataFile("biff5_gbk_without_codepage.xls"));
    EXPECT_EQ(book->sheet(0).name(), "工资表");
    EXPECT_EQ(textAt(*book, 0, 0), "姓名");
    EXPECT_EQ(book->styles.at(0).font.name, "宋体");
}

TEST(XlsReader, WorkbookSavedByXlwt) {
    auto book = readXls(dataFile("xlwt_wages.xls"));
    ASSERT_EQ(book->sheetCount(), 2u);
    EXPECT_EQ(book->sheet(0).name(), "工资条");
    EXPECT_EQ(book->sheet(1).name(), "其他");
    const Worksheet& s = book->sheet(0);
    EXPECT_EQ(textAt(*book, 0, 0), "二〇二四年一月工资");
    EXPECT_EQ(s.merges().all(), (std::vector<CellRange>{{0, 0, 0, 4}}));
    const CellFormat& title = formatAt(*book, 0, 0);
    EXPECT_EQ(title.font.name, "黑体");
    EXPECT_EQ(title.font.size, 16.0);
    EXPECT_TRUE(title.font.bold);
    EXPECT_EQ(title.fill.fg, Color::rgb(0xFFFFFF00));
    EXPECT_EQ(formatAt(*book, 0, 4).fill.pattern, "solid"); // the merge's blank cells

    const CellFormat& head = formatAt(*book, 1, 0);
    EXPECT_EQ(head.font.color, Color::rgb(0xFFFF0000));
    EXPECT_TRUE(head.alignment.wrap);
    EXPECT_EQ(head.border.right.style, "medium");
    EXPECT_EQ(head.border.top.style, "dashed");
    EXPECT_EQ(head.border.bottom.style, "double");
    EXPECT_EQ(head.border.bottom.color, Color::rgb(0xFF0000FF));
    EXPECT_EQ(head.fill.fg, Color::rgb(0xFFC0C0C0));

    // xlwt clears the number-format flag of cell XFs; its style XFs mark it not valid.
    const CellFormat& money = formatAt(*book, 2, 1);
    EXPECT_EQ(money.numberFormat, "#,##0.00");
    EXPECT_TRUE(money.font.italic);
    EXPECT_TRUE(money.font.strike);
    EXPECT_EQ(money.font.underline, "single");
    EXPECT_EQ(cellAt(s, 2, 1).number, 1234.5);
    EXPECT_EQ(formatAt(*book, 2, 2).numberFormat, "yyyy-mm-dd");
    EXPECT_EQ(formatAt(*book, 2, 2).alignment.rotation, 90);
    EXPECT_EQ(cellAt(s, 2, 2).number, 45322.0);
    EXPECT_EQ(formatAt(*book, 2, 3).numberFormat, "0.00%");
    EXPECT_EQ(formatAt(*book, 2, 3).alignment.indent, 2);
    EXPECT_FALSE(formatAt(*book, 3, 0).protection.locked);
    EXPECT_EQ(cellAt(s, 3, 2).type, CellType::Bool);
    EXPECT_FALSE(cellAt(s, 3, 3).boolean);
    EXPECT_EQ(cellAt(s, 3, 4).type, CellType::Empty);
    EXPECT_EQ(formatAt(*book, 3, 4).border.right.style, "medium");

    const SharedString& rich = book->strings.at(cellAt(s, 4, 0).text);
    ASSERT_EQ(rich.runs.size(), 3u);
    EXPECT_EQ(rich.runs[1].text, "加粗");
    EXPECT_TRUE(rich.runs[1].font.bold);
    EXPECT_EQ(rich.runs[1].font.color, Color::rgb(0xFF008000));

    // 1500 distinct texts: the shared string table goes on in CONTINUE records.
    for (std::uint32_t i : {0u, 700u, 1499u}) {
        char want[64];
        std::snprintf(want, sizeof want, "员工编号第%05u号", i);
        EXPECT_EQ(textAt(*book, 6 + i, 0), want);
        EXPECT_EQ(cellAt(s, 6 + i, 1).number, i * 1.5);
    }
    EXPECT_EQ(s.column(0).width, 20.0);
    EXPECT_EQ(s.column(1).width, 12.5);
    EXPECT_TRUE(s.column(3).hidden);
    EXPECT_EQ(s.row(0)->height, 30.0);
    EXPECT_TRUE(s.row(0)->customHeight);
    EXPECT_TRUE(s.row(5)->hidden);
    // Rows of the default height (DEFAULTROWHEIGHT) keep no height of their own.
    EXPECT_EQ(s.defaultRowHeight, 12.75);
    EXPECT_EQ(s.row(1)->height, 0.0);
}

TEST(XlsReader, WorkbookSavedByLibreOffice) {
    // LibreOffice lays out BIFF8 as Excel does: STYLE records, cell XFs whose cleared
    // number-format flag hands the format to the parent style, COLINFO up to column 256.
    auto book = readXls(dataFile("libreoffice_wages.xls"));
    ASSERT_EQ(book->sheetCount(), 1u);
    const Worksheet& s = book->sheet(0);
    EXPECT_EQ(textAt(*book, 0, 0), "二〇二四年工资表");
    EXPECT_EQ(s.merges().all(), (std::vector<CellRange>{{0, 0, 0, 5}}));
    EXPECT_EQ(textAt(*book, 2, 0), "001");
    EXPECT_EQ(textAt(*book, 4, 5), "备注\n两行");
    EXPECT_EQ(cellAt(s, 2, 2).number, 5200.5);
    EXPECT_EQ(cellAt(s, 3, 4).number, 45351.0); // 2024-02-29
    EXPECT_EQ(cellAt(s, 3, 5).type, CellType::Empty);

    const CellFormat& title = formatAt(*book, 0, 0);
    EXPECT_EQ(title.font.size, 18.0);
    EXPECT_TRUE(title.font.bold);
    EXPECT_EQ(title.fill.pattern, "solid");
    EXPECT_EQ(title.fill.fg, Color::rgb(0xFFFFFF00));
    EXPECT_EQ(title.alignment.horizontal, "center");
    const CellFormat& head = formatAt(*book, 1, 3);
    EXPECT_EQ(head.font.color, Color::rgb(0xFFFF0000));
    EXPECT_EQ(head.fill.fg, Color::rgb(0xFFC0C0C0));
    EXPECT_EQ(head.border.top.style, "medium");
    EXPECT_EQ(head.border.bottom.style, "double");
    EXPECT_EQ(head.border.bottom.color, Color::rgb(0xFF0000FF));
    EXPECT_TRUE(head.alignment.wrap);
    EXPECT_EQ(formatAt(*book, 2, 0).fill.fg, Color::rgb(0xFFCCFFFF));
    EXPECT_TRUE(formatAt(*book, 2, 1).font.italic);
    EXPECT_EQ(formatAt(*book, 2, 2).numberFormat, "#,##0.00");
    EXPECT_EQ(formatAt(*book, 2, 3).numberFormat, "0.00%");
    EXPECT_EQ(formatAt(*book, 2, 4).numberFormat, "yyyy\\-mm\\-dd");
    EXPECT_EQ(formatAt(*book, 2, 4).border.left.style, "thin");

    for (auto [col, width] :
         {std::pair{0u, 10.0}, {1u, 14.0}, {2u, 12.5}, {4u, 12.0}, {5u, 20.0}}) {
        EXPECT_EQ(s.column(col).width, width) << col;
    }
    EXPECT_EQ(s.column(255).width, 2186.0 / 256); // the COLINFO reaching column 256, cut at 255
    EXPECT_EQ(s.columnInfoCount(), 256u);
    EXPECT_EQ(s.baseColumnWidth, 8);
    // DEFCOLWIDTH 8 and the padding LibreOffice gives its 11-point default font.
    EXPECT_DOUBLE_EQ(s.defaultColumnWidth, 8 + (40960.0 / 205 + 50) / 256);
    EXPECT_EQ(s.row(0)->height, 36.0);
    EXPECT_EQ(s.row(1)->height, 24.75);
    EXPECT_EQ(s.row(2)->height, 0.0); // the default height
}

TEST(XlsReader, PasswordProtectedWorkbooks) {
    for (const char* name : {"filepass.xls", "encrypted_package.xls"}) {
        const auto p = dataFile(name);
        EXPECT_EQ(errorOf(p),
                  "工作簿“" + p.string() +
                      "”设有打开密码（已加密），无法读取。请用 WPS 表格或 "
                      "LibreOffice 输入密码打开它，另存一份不设密码的副本，再用副本重试");
    }
}

TEST(XlsReader, BrokenRecordsGiveExactErrors) {
    struct Case {
        const char* file;
        const char* message;
    };
    const Case cases[] = {
        {"record_past_end.xls", "“Workbook”流偏移 5598 处的 EOF 记录长度为 100 字节，超出了流的末尾"
                                "（还剩 0 字节），文件已损坏或被截断"},
        {"short_labelsst.xls", "工作表“Sheet1”中，“Workbook”流偏移 5566 处的 LABELSST 记录"
                               "（0x00FD）只有 6 字节，容不下它的内容，文件已损坏"},
        {"sst_index_out_of_range.xls",
         "工作表“Sheet1”中，“Workbook”流偏移 5566 处的 LABELSST 记录（0x00FD）引用了第 99 "
         "个共享字符串，但共享字符串表只有 1 个，文件已损坏"},
        {"sheet_without_eof.xls",
         "工作表“Sheet1”的记录没有 EOF 记录就到了“Workbook”流的末尾，文件可能已被截断"},
        {"boundsheet_out_of_range.xls", "BOUNDSHEET 记录给出的工作表“Sheet1”位置 999999 "
                                        "超出了“Workbook”流的范围（5602 字节）"},
        {"biff4.xls", "这是 Excel 2.x/3.0/4.0 的旧格式工作簿，无法读取；请用 WPS 表格或 "
                      "LibreOffice 打开并另存为 .xlsx 后重试"},
    };
    for (const Case& c : cases) {
        const auto p = dataFile(c.file);
        EXPECT_EQ(errorOf(p), "无法读取“" + p.string() + "”：" + c.message) << c.file;
    }
}

TEST(XlsReader, RecordFaultsCarryTheirPartsAsFields) {
    try {
        readXls(dataFile("short_labelsst.xls"));
        FAIL() << "read a broken record";
    } catch (const ReadError& e) {
        const ReadFault& f = e.fault();
        EXPECT_EQ(f.kind, ReadFault::Kind::Unreadable);
        EXPECT_EQ(f.part, "Workbook");
        EXPECT_EQ(f.sheet, "Sheet1");
        EXPECT_EQ(f.record, "LABELSST 记录（0x00FD）");
        EXPECT_EQ(f.offset, 5566u);
        EXPECT_EQ(f.fault, "只有 6 字节，容不下它的内容，文件已损坏");
    }
}

TEST(Codepage, ConvertsEastAsianAndWesternCodePages) {
    std::string out;
    xls::CodepageDecoder gbk(936);
    const std::uint8_t gbkBytes[] = {0xB9, 0xA4, 0xD7, 0xCA, 'A'}; // 工资A
    gbk.append(out, gbkBytes, sizeof gbkBytes);
    EXPECT_EQ(out, "工资A");
    out.clear();
    xls::CodepageDecoder big5(950);
    const std::uint8_t big5Bytes[] = {0xA4, 0x75, 0xB8, 0xEA}; // 工資
    big5.append(out, big5Bytes, sizeof big5Bytes);
    EXPECT_EQ(out, "工資");
    out.clear();
    xls::CodepageDecoder western(1252);
    const std::uint8_t cafe[] = {'c', 'a', 'f', 0xE9, 0x80}; // café€
    western.append(out, cafe, sizeof cafe);
    EXPECT_EQ(out, "caf\xC3\xA9\xE2\x82\xAC");
}

TEST(Codepage, BadBytesBecomeReplacementCharacters) {
    std::string out;
    xls::CodepageDecoder gbk(936);
    const std::uint8_t bytes[] = {'a', 0xFF, 'b', 0xB9}; // an invalid byte, a cut-off character
    gbk.append(out, bytes, sizeof bytes);
    EXPECT_EQ(out, "a\xEF\xBF\xBD"
                   "b\xEF\xBF\xBD");
    EXPECT_THROW(xls::CodepageDecoder(12345), WorkbookError);
}

TEST(Codepage, Utf16SurrogatesAndLoneHalves) {
    std::string out;
    const std::uint8_t units[] = {0x3D, 0xD8, 0x00, 0xDE, 0x00, 0xD8, 'x', 0}; // 😀, lone, x
    xls::appendUtf16le(out, units, 4);
    EXPECT_EQ(out, "\xF0\x9F\x98\x80\xEF\xBF\xBDx");
}

} // namespace
