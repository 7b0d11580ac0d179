// Whole .xlsx files read into the in-memory workbook: files made by openpyxl, xlsxwriter and by
// hand (strict namespaces, cells without addresses, resolved styles, sheet order).
#include "color_palette.h"
#include "temp_dir.h"
#include "xlsx/xlsx_reader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace quenly::wb {
namespace {

std::filesystem::path fixture(const std::string& name) {
    return std::filesystem::path(QUENLY_XLSX_FIXTURES) / name;
}

const Cell& cellAt(const Worksheet& ws, std::uint32_t r, std::uint32_t c) {
    const Cell* cell = ws.cell(r, c);
    if (!cell) {
        throw std::runtime_error("no cell at " + std::to_string(r) + "," + std::to_string(c));
    }
    return *cell;
}

std::string textAt(const Workbook& b, const Worksheet& ws, std::uint32_t r, std::uint32_t c) {
    const Cell& cell = cellAt(ws, r, c);
    EXPECT_EQ(cell.type, CellType::Text) << r << "," << c;
    return cell.type == CellType::Text ? b.strings.at(cell.text).text : std::string();
}

double numberAt(const Worksheet& ws, std::uint32_t r, std::uint32_t c) {
    const Cell& cell = cellAt(ws, r, c);
    EXPECT_EQ(cell.type, CellType::Number) << r << "," << c;
    return cell.number;
}

const CellFormat& formatAt(const Workbook& b, const Worksheet& ws, std::uint32_t r,
                           std::uint32_t c) {
    return b.styles.at(cellAt(ws, r, c).style);
}

// ---- hand-made packages ---------------------------------------------------------------------

TEST(HandmadeStyles, DefaultFontThemeSwapAndTint) {
    const auto b = readXlsx(fixture("styles_resolved.xlsx"));
    const Worksheet& ws = b->sheet(0);
    const CellFormat& def = b->styles.at(0);
    EXPECT_EQ(def.font.name, "宋体");
    EXPECT_EQ(def.font.size, 12);
    EXPECT_EQ(def.font.family, 3);
    EXPECT_EQ(def.font.charset, 134);
    EXPECT_EQ(def.font.scheme, "minor");
    EXPECT_EQ(def.font.color, Color::rgb(0xFF111111)) << "theme 1 is dk1";
    EXPECT_EQ(cellAt(ws, 0, 0).style, 0u);

    const CellFormat& f = formatAt(*b, ws, 1, 0);
    EXPECT_EQ(f.numberFormat, "0.00_ ");
    EXPECT_EQ(f.font.name, "黑体");
    EXPECT_EQ(f.font.size, 14);
    EXPECT_TRUE(f.font.bold);
    EXPECT_TRUE(f.font.italic);
    EXPECT_TRUE(f.font.strike);
    EXPECT_EQ(f.font.underline, "double");
    EXPECT_EQ(f.font.vertAlign, "superscript");
    EXPECT_EQ(f.font.color, Color::rgb(applyTint(0xFF4F81BD, 0.79998168889431442))) << "accent1";
    EXPECT_EQ(f.fill.pattern, "solid");
    EXPECT_EQ(f.fill.fg, Color::rgb(applyTint(0xFFFEFEFE, -0.0499893185216834)))
        << "theme 0 is lt1";
    EXPECT_EQ(f.fill.bg, Color::automatic()) << "indexed 64";
}

TEST(HandmadeStyles, BordersAlignmentProtection) {
    const auto b = readXlsx(fixture("styles_resolved.xlsx"));
    const CellFormat& f = formatAt(*b, b->sheet(0), 1, 0);
    EXPECT_EQ(f.border.left, (BorderSide{"thin", Color::automatic()}));
    EXPECT_EQ(f.border.right, (BorderSide{"medium", Color::rgb(0xFF0000FF)}))
        << "index 12 beyond the file's palette keeps the default";
    EXPECT_EQ(f.border.top, (BorderSide{"dashed", Color::rgb(0xFF1F497D)})) << "theme 3 is dk2";
    EXPECT_EQ(f.border.bottom, (BorderSide{"double", Color::rgb(0xFF123456)}));
    EXPECT_EQ(f.border.diagonal, (BorderSide{"hair", Color::rgb(0xFFABCDEF)}));
    EXPECT_TRUE(f.border.diagonalUp);
    EXPECT_TRUE(f.border.diagonalDown);
    EXPECT_EQ(f.alignment, (Alignment{"center", "center", true, true, 2, 45}));
    EXPECT_EQ(f.protection, (Protection{false, true}));
}

TEST(HandmadeStyles, AspectsNotAppliedComeFromTheCellStyle) {
    const auto b = readXlsx(fixture("styles_resolved.xlsx"));
    const Worksheet& ws = b->sheet(0);
    // Every apply flag 0: all from cellStyleXfs 1.
    const CellFormat& inherited = formatAt(*b, ws, 2, 0);
    EXPECT_EQ(inherited.numberFormat, "0.00%");
    EXPECT_EQ(inherited.font.name, "Arial");
    EXPECT_EQ(inherited.font.size, 9);
    EXPECT_FALSE(inherited.font.bold);
    EXPECT_EQ(inherited.font.color, Color::rgb(0xFFAA0000)) << "indexed 10 from indexedColors";
    EXPECT_EQ(inherited.fill.fg, Color::rgb(applyTint(0xFFFEFEFE, -0.0499893185216834)));
    EXPECT_EQ(inherited.border.right.style, "medium");
    EXPECT_EQ(inherited.alignment.horizontal, "right");
    EXPECT_TRUE(inherited.protection.locked);

    // applyFont 1 and applyFill 0; the rest not said: own values.
    const CellFormat& mixed = formatAt(*b, ws, 3, 0);
    EXPECT_EQ(mixed.numberFormat, "#,##0");
    EXPECT_EQ(mixed.font.name, "Calibri");
    EXPECT_EQ(mixed.font.underline, "single");
    EXPECT_EQ(mixed.font.color, Color::rgb(0xFF00FF00));
    EXPECT_EQ(mixed.fill.pattern, "solid") << "fill from the cell style";
    EXPECT_EQ(mixed.border, Border{});
    EXPECT_EQ(mixed.alignment, Alignment{});
}

TEST(HandmadeStyles, NumberFormatsFillsAndOutOfRangeIds) {
    const auto b = readXlsx(fixture("styles_resolved.xlsx"));
    const Worksheet& ws = b->sheet(0);
    const CellFormat& custom14 = formatAt(*b, ws, 4, 0);
    EXPECT_EQ(custom14.numberFormat, "yyyy-mm-dd") << "a numFmt overrides built-in id 14";
    EXPECT_EQ(custom14.fill, (Fill{"darkGrid", Color::rgb(0xFF000000), Color::rgb(0xFF00FF00)}));

    const CellFormat& gradient = formatAt(*b, ws, 5, 0);
    EXPECT_EQ(gradient.numberFormat, "yyyy\"年\"m\"月\"d\"日\"");
    EXPECT_EQ(gradient.fill, (Fill{"solid", Color::rgb(0xFF808080), Color{}}))
        << "a gradient becomes the mean of its end colours";

    const CellFormat& f58 = formatAt(*b, ws, 6, 0);
    EXPECT_EQ(f58.numberFormat, "m\"月\"d\"日\"");
    EXPECT_EQ(f58.fill.fg, Color::rgb(0xFF010203)) << "indexed 2 overridden";

    const CellFormat& text = formatAt(*b, ws, 7, 0);
    EXPECT_EQ(text.numberFormat, "@");
    EXPECT_EQ(text.alignment, (Alignment{"", "", false, false, 0, 255}))
        << "general and bottom are the defaults";

    EXPECT_EQ(cellAt(ws, 8, 0).style, 0u) << "unknown ids fall back to the defaults";
    EXPECT_EQ(numberAt(ws, 8, 0), 8);
}

TEST(HandmadeCells, CellsAndRowsWithoutAddressesCountOn) {
    const auto b = readXlsx(fixture("cells_without_r.xlsx"));
    const Worksheet& ws = b->sheet(0);
    EXPECT_EQ(numberAt(ws, 0, 0), 1);
    EXPECT_EQ(numberAt(ws, 0, 1), 2);
    EXPECT_EQ(ws.cell(0, 2) ? ws.cell(0, 2)->type : CellType::Empty, CellType::Empty);
    EXPECT_EQ(numberAt(ws, 0, 4), 5);
    EXPECT_EQ(numberAt(ws, 0, 5), 6) << "after E1 comes F1";
    EXPECT_EQ(textAt(*b, ws, 1, 0), "二");
    EXPECT_EQ(ws.row(2)->cells.size(), 0u);
    EXPECT_EQ(numberAt(ws, 4, 0), 50);
    EXPECT_EQ(cellAt(ws, 4, 1).type, CellType::Empty);
    EXPECT_EQ(numberAt(ws, 4, 2), 52);
    EXPECT_EQ(numberAt(ws, 5, 1), 61);
    EXPECT_EQ(ws.rowCount(), 6u);
}

TEST(HandmadeCells, StrictNamespacesAndIsoDates) {
    const auto b = readXlsx(fixture("strict_namespace.xlsx"));
    ASSERT_EQ(b->sheetCount(), 1u);
    const Worksheet& ws = b->sheet(0);
    EXPECT_EQ(ws.name(), "严格");
    EXPECT_EQ(textAt(*b, ws, 0, 0), "严格文本");
    EXPECT_EQ(numberAt(ws, 0, 1), 3.5);
    EXPECT_EQ(numberAt(ws, 0, 2), 45352.5);
    EXPECT_EQ(numberAt(ws, 0, 3), 1);
    EXPECT_EQ(ws.merges().all(), (std::vector<CellRange>{{1, 0, 2, 2}}));
    EXPECT_EQ(b->styles.at(0).font.name, "Arial");
    EXPECT_EQ(b->styles.at(0).font.size, 10);
}

TEST(HandmadeCells, SharedRichPhoneticAndEscapedStrings) {
    const auto b = readXlsx(fixture("strings_and_formulas.xlsx"));
    const Worksheet& ws = b->sheet(0);
    const SharedString& plain = b->strings.at(cellAt(ws, 0, 0).text);
    EXPECT_EQ(plain.text, "plain");
    EXPECT_TRUE(plain.runs.empty());

    const SharedString& rich = b->strings.at(cellAt(ws, 0, 1).text);
    EXPECT_EQ(rich.text, "普通 加粗");
    ASSERT_EQ(rich.runs.size(), 2u);
    EXPECT_EQ(rich.runs[0].text, "普通");
    EXPECT_FALSE(rich.runs[0].hasFont);
    EXPECT_EQ(rich.runs[1].text, " 加粗");
    ASSERT_TRUE(rich.runs[1].hasFont);
    EXPECT_EQ(rich.runs[1].font.name, "黑体");
    EXPECT_EQ(rich.runs[1].font.size, 14);
    EXPECT_TRUE(rich.runs[1].font.bold);
    EXPECT_EQ(rich.runs[1].font.charset, 134);
    EXPECT_EQ(rich.runs[1].font.color, Color::rgb(0xFFFF0000));

    EXPECT_EQ(textAt(*b, ws, 0, 2), "王小波") << "phonetic runs left out";
    EXPECT_EQ(textAt(*b, ws, 0, 3), "line1\r\nline2 _x0041_ \xF0\x9F\x98\x80");
    const SharedString& unstyled = b->strings.at(cellAt(ws, 0, 4).text);
    EXPECT_EQ(unstyled.text, "nofont");
    EXPECT_TRUE(unstyled.runs.empty()) << "runs without fonts are plain text";
}

TEST(HandmadeCells, InlineStringsAndCachedFormulaResults) {
    const auto b = readXlsx(fixture("strings_and_formulas.xlsx"));
    const Worksheet& ws = b->sheet(0);
    EXPECT_EQ(textAt(*b, ws, 1, 0), "行内");
    const SharedString& inlineRich = b->strings.at(cellAt(ws, 1, 1).text);
    EXPECT_EQ(inlineRich.text, "斜体");
    ASSERT_EQ(inlineRich.runs.size(), 2u);
    EXPECT_TRUE(inlineRich.runs[0].font.italic);
    EXPECT_FALSE(inlineRich.runs[1].hasFont);

    EXPECT_EQ(textAt(*b, ws, 1, 2), "ab") << "t=str";
    EXPECT_EQ(cellAt(ws, 1, 3).text, cellAt(ws, 0, 0).text) << "t=s with a formula";
    EXPECT_EQ(numberAt(ws, 1, 4), 2);
    EXPECT_EQ(cellAt(ws, 1, 5).type, CellType::Bool);
    EXPECT_TRUE(cellAt(ws, 1, 5).boolean);
    EXPECT_EQ(cellAt(ws, 1, 6).type, CellType::Error);
    EXPECT_EQ(cellAt(ws, 1, 6).error, 0x2A) << "#N/A";
    EXPECT_EQ(cellAt(ws, 1, 7).error, 0x07) << "#DIV/0!";
    EXPECT_EQ(cellAt(ws, 1, 8).type, CellType::Empty) << "a formula without a cached value";
    EXPECT_EQ(textAt(*b, ws, 1, 9), "#SPILL!") << "an error this model has no code for";
    EXPECT_EQ(cellAt(ws, 1, 10).type, CellType::Bool);
    EXPECT_FALSE(cellAt(ws, 1, 10).boolean);
    EXPECT_EQ(textAt(*b, ws, 1, 11), "v text") << "an inline string given as <v>";
}

TEST(HandmadeCells, PartsInGbkAndBig5BecomeUtf8) {
    const auto b = readXlsx(fixture("legacy_encodings.xlsx"));
    EXPECT_EQ(b->sheet(0).name(), "工资表");
    EXPECT_EQ(textAt(*b, b->sheet(0), 0, 0), "薪資");
    EXPECT_EQ(textAt(*b, b->sheet(0), 0, 1), "A&B");
}

TEST(HandmadeLayout, WidthsHeightsHiddenAndMerges) {
    const auto b = readXlsx(fixture("layout.xlsx"));
    const Worksheet& ws = b->sheet(0);
    EXPECT_EQ(ws.column(0), (ColumnInfo{20.5, true, false, 0}));
    EXPECT_EQ(ws.column(1), (ColumnInfo{0, true, true, 0}));
    EXPECT_EQ(ws.column(2), (ColumnInfo{0, true, true, 0}));
    EXPECT_EQ(ws.column(3), ColumnInfo{});
    EXPECT_EQ(ws.column(4).width, 9.140625);
    EXPECT_EQ(b->styles.at(ws.column(4).style).numberFormat, "0%");
    EXPECT_EQ(ws.columnInfoCount(), 5u);
    EXPECT_EQ(ws.baseColumnWidth, 10);
    // In the units of column widths, as LibreOffice shows the column: 10 digits of the default
    // font (7 pixels) and 5 pixels of padding.
    EXPECT_DOUBLE_EQ(ws.defaultColumnWidth, 10 + 5.0 / 7);
    EXPECT_EQ(ws.defaultRowHeight, 13.8);
    EXPECT_EQ(ws.row(0)->height, 30);
    EXPECT_TRUE(ws.row(0)->customHeight);
    EXPECT_TRUE(ws.row(1)->hidden);
    EXPECT_FALSE(ws.row(0)->hidden);
    EXPECT_TRUE(ws.row(2)->hidden) << "a row zero high is hidden";
    EXPECT_EQ(ws.row(3)->height, 12.75);
    EXPECT_FALSE(ws.row(3)->customHeight);
    EXPECT_EQ(ws.merges().all(), (std::vector<CellRange>{{0, 0, 0, 2}, {1, 0, 2, 1}}))
        << "corners ordered, a one-cell merge dropped";
}

TEST(HandmadeLayout, RowFormatsFillTheCellsTheFileLeavesOut) {
    const auto b = readXlsx(fixture("row_styles.xlsx"));
    const Worksheet& ws = b->sheet(0);
    const std::uint32_t yellow = cellAt(ws, 0, 0).style;
    EXPECT_EQ(b->styles.at(yellow).fill.fg, Color::rgb(0xFFFFFF00));
    EXPECT_EQ(cellAt(ws, 0, 0).type, CellType::Empty);
    EXPECT_EQ(cellAt(ws, 0, 1).style, 0u) << "a cell the file gives keeps its own format";
    EXPECT_EQ(cellAt(ws, 0, 2).style, 0u);
    EXPECT_EQ(cellAt(ws, 0, 3).style, yellow) << "up to the last used column";
    EXPECT_EQ(ws.row(0)->cells.size(), 4u);
    EXPECT_EQ(ws.cell(1, 0), nullptr) << "s without customFormat is no row format";
    EXPECT_EQ(ws.row(2)->cells.size(), 0u) << "a formatted row without cells stays empty";
    EXPECT_EQ(cellAt(ws, 3, 0).style, yellow);
    EXPECT_EQ(cellAt(ws, 3, 1).style, yellow);
    EXPECT_EQ(numberAt(ws, 3, 2), 4);
    EXPECT_EQ(cellAt(ws, 3, 2).style, 0u);
    EXPECT_EQ(cellAt(ws, 3, 3).style, yellow);
}

TEST(HandmadeSheets, OrderTargetsActiveTabAndFirstSheetOnly) {
    const auto b = readXlsx(fixture("sheet_order.xlsx"));
    ASSERT_EQ(b->sheetCount(), 3u) << "the chart sheet is no worksheet";
    EXPECT_EQ(b->sheet(0).name(), "第一");
    EXPECT_EQ(b->sheet(1).name(), "第二");
    EXPECT_EQ(b->sheet(2).name(), "第三");
    EXPECT_EQ(textAt(*b, b->sheet(0), 0, 0), "one");
    EXPECT_EQ(b->sheet(1).rowCount(), 0u) << "other sheets by name only";
    EXPECT_EQ(b->sheet(2).rowCount(), 0u);
    EXPECT_EQ(b->activeSheet, 1u) << "the third <sheet> is the second worksheet";
    EXPECT_TRUE(b->date1904);

    const auto all = readXlsx(fixture("sheet_order.xlsx"), {.allSheets = true});
    EXPECT_EQ(textAt(*all, all->sheet(0), 0, 0), "one") << "relative target, %20 decoded";
    EXPECT_EQ(textAt(*all, all->sheet(1), 0, 0), "two") << "absolute target without its /";
    EXPECT_EQ(textAt(*all, all->sheet(2), 0, 0), "three") << "absolute target through ../";
}

// ---- files of openpyxl and xlsxwriter -------------------------------------------------------

TEST(Openpyxl, StyledWageHeader) {
    const auto b = readXlsx(fixture("openpyxl_styled.xlsx"));
    ASSERT_EQ(b->sheetCount(), 2u);
    const Worksheet& ws = b->sheet(0);
    EXPECT_EQ(ws.name(), "工资表");
    EXPECT_EQ(textAt(*b, ws, 0, 0), "2026年11月工资表");
    EXPECT_EQ(ws.merges().all(), (std::vector<CellRange>{{0, 0, 0, 4}}));
    const CellFormat& title = formatAt(*b, ws, 0, 0);
    EXPECT_EQ(title.font.name, "黑体");
    EXPECT_EQ(title.font.size, 18);
    EXPECT_TRUE(title.font.bold);
    EXPECT_EQ(title.font.color, Color::rgb(applyTint(0xFF4F81BD, -0.25)));
    EXPECT_EQ(title.alignment.horizontal, "center");
    EXPECT_EQ(ws.row(0)->height, 30);

    const CellFormat& head = formatAt(*b, ws, 1, 0);
    EXPECT_EQ(head.fill.pattern, "solid");
    EXPECT_EQ(head.fill.fg, Color::rgb(applyTint(0xFF1F497D, 0.3999755851924192)));
    EXPECT_EQ(head.border.left, (BorderSide{"thin", Color::rgb(0xFFFF0000)}))
        << "openpyxl's palette has alpha 00";
    EXPECT_EQ(head.border.bottom.style, "double");
    EXPECT_TRUE(head.alignment.wrap);
    EXPECT_TRUE(formatAt(*b, ws, 1, 1).font.italic);
    EXPECT_FALSE(head.font.italic);

    EXPECT_EQ(textAt(*b, ws, 2, 0), "001");
    EXPECT_EQ(numberAt(ws, 2, 2), 3000.5);
    EXPECT_EQ(formatAt(*b, ws, 2, 2).numberFormat, "#,##0.00") << "built-in id 4";
    EXPECT_EQ(formatAt(*b, ws, 2, 3).numberFormat, "0.00%") << "built-in id 10";
    EXPECT_EQ(numberAt(ws, 2, 4), 46356);
    EXPECT_EQ(formatAt(*b, ws, 2, 4).numberFormat, "yyyy-mm-dd");
    EXPECT_EQ(formatAt(*b, ws, 2, 5).numberFormat, "0.0_ ;[Red]-0.0 ");
    EXPECT_FALSE(formatAt(*b, ws, 2, 5).protection.locked);

    EXPECT_EQ(ws.column(0).width, 8.5);
    EXPECT_TRUE(ws.column(0).customWidth);
    EXPECT_EQ(ws.column(1).width, 12);
    EXPECT_FALSE(ws.column(2).customWidth);
    EXPECT_TRUE(ws.column(3).hidden);
    EXPECT_TRUE(ws.row(3)->hidden);
    EXPECT_FALSE(b->date1904);
}

TEST(Openpyxl, Epoch1904) {
    const auto b = readXlsx(fixture("openpyxl_1904.xlsx"));
    EXPECT_TRUE(b->date1904);
    EXPECT_EQ(numberAt(b->sheet(0), 0, 0), 1);
}

TEST(Xlsxwriter, RichStringsFormulasAndLayout) {
    const auto b = readXlsx(fixture("xlsxwriter_values.xlsx"), {.allSheets = true});
    ASSERT_EQ(b->sheetCount(), 2u);
    const Worksheet& ws = b->sheet(0);
    EXPECT_EQ(textAt(*b, ws, 0, 0), "工资条");
    EXPECT_EQ(formatAt(*b, ws, 0, 0).alignment.vertical, "center");
    EXPECT_EQ(formatAt(*b, ws, 0, 0).font.size, 16);
    EXPECT_EQ(ws.merges().all(), (std::vector<CellRange>{{0, 0, 0, 3}}));

    const SharedString& rich = b->strings.at(cellAt(ws, 1, 0).text);
    EXPECT_EQ(rich.text, "普通红色加粗斜体");
    ASSERT_EQ(rich.runs.size(), 3u);
    EXPECT_FALSE(rich.runs[0].hasFont);
    EXPECT_TRUE(rich.runs[1].font.bold);
    EXPECT_EQ(rich.runs[1].font.name, "宋体");
    EXPECT_EQ(rich.runs[1].font.color, Color::rgb(0xFFFF0000));
    EXPECT_TRUE(rich.runs[2].font.italic);
    EXPECT_EQ(rich.runs[2].font.size, 9);

    EXPECT_EQ(textAt(*b, ws, 1, 1), "ab");
    EXPECT_EQ(numberAt(ws, 1, 2), 2);
    const CellFormat& money = formatAt(*b, ws, 1, 2);
    EXPECT_EQ(money.numberFormat, "#,##0.00");
    EXPECT_EQ(money.fill.fg, Color::rgb(0xFFFFFF00));
    EXPECT_EQ(money.border.top.style, "thin");
    EXPECT_TRUE(cellAt(ws, 1, 3).boolean);
    EXPECT_EQ(cellAt(ws, 1, 4).error, 0x2A);
    EXPECT_EQ(cellAt(ws, 1, 5).type, CellType::Bool);
    EXPECT_FALSE(cellAt(ws, 1, 5).boolean);
    EXPECT_EQ(numberAt(ws, 1, 6), 46356.75);
    EXPECT_EQ(formatAt(*b, ws, 1, 6).numberFormat, "yyyy/m/d");
    EXPECT_EQ(numberAt(ws, 1, 7), -1234.5678);
    EXPECT_EQ(cellAt(ws, 1, 9).type, CellType::Empty);
    EXPECT_EQ(cellAt(ws, 1, 9).style, cellAt(ws, 1, 2).style) << "a blank cell keeps its style";

    EXPECT_EQ(ws.column(0).width, 20.7109375);
    EXPECT_TRUE(ws.column(2).hidden);
    EXPECT_TRUE(ws.column(3).hidden);
    EXPECT_EQ(ws.row(1)->height, 40);
    EXPECT_TRUE(ws.row(1)->customHeight);
    EXPECT_TRUE(ws.row(2)->hidden);
    EXPECT_EQ(textAt(*b, b->sheet(1), 0, 0), "other");
}

TEST(Xlsxwriter, ConstantMemoryInlineStrings) {
    const auto b = readXlsx(fixture("xlsxwriter_inline.xlsx"));
    const Worksheet& ws = b->sheet(0);
    EXPECT_EQ(ws.rowCount(), 50u);
    EXPECT_EQ(textAt(*b, ws, 49, 0), "姓名49");
    EXPECT_TRUE(formatAt(*b, ws, 49, 0).font.bold);
    EXPECT_EQ(numberAt(ws, 49, 1), 73.5);
    EXPECT_EQ(textAt(*b, ws, 0, 3), "x & <y>");
    EXPECT_EQ(cellAt(ws, 0, 3).text, cellAt(ws, 1, 3).text) << "equal texts interned once";
}

} // namespace
} // namespace quenly::wb

namespace quenly::wb {
namespace {

TEST(SourceFile, ReadOnlyAndChineseNamesReadUntouched) {
    test::TempDir dir;
    const auto copy = dir / "工资表 (1).xlsx";
    std::filesystem::copy_file(fixture("openpyxl_styled.xlsx"), copy);
    std::filesystem::permissions(copy, std::filesystem::perms::owner_read,
                                 std::filesystem::perm_options::replace);
    const auto before = std::filesystem::last_write_time(copy);
    const auto size = std::filesystem::file_size(copy);
    const auto b = readXlsx(copy);
    EXPECT_EQ(b->sheet(0).name(), "工资表");
    EXPECT_EQ(b->sourceName, copy.string());
    EXPECT_EQ(std::filesystem::last_write_time(copy), before);
    EXPECT_EQ(std::filesystem::file_size(copy), size);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              1)
        << "nothing written beside it";
}

} // namespace
} // namespace quenly::wb
