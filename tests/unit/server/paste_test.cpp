// Copy and paste between workbooks: values, formats, texts, merges, row formats and refusals.
#include "server_fixture.h"

#include <gtest/gtest.h>

namespace quenly::wb::test {
namespace {

CellFormat moneyFormat() {
    CellFormat f;
    f.font.name = "宋体";
    f.font.size = 10.5;
    f.font.bold = true;
    f.fill.pattern = "solid";
    f.fill.fg = Color::rgb(0xFFFFFF00);
    f.border.bottom = {"thin", Color::rgb(0xFF000000)};
    f.alignment.horizontal = "center";
    f.numberFormat = "#,##0.00";
    return f;
}

// A wage table: title merged over A1:C1 (row 1 tall), header row 2, persons from row 3.
std::shared_ptr<Workbook> wageBook() {
    auto book = std::make_shared<Workbook>();
    // Give the source tables entries the target lacks, so indices differ between workbooks.
    book->strings.intern("unused");
    CellFormat plain;
    plain.font.name = "Arial";
    const std::uint32_t plainStyle = book->styles.intern(plain);
    const std::uint32_t money = book->styles.intern(moneyFormat());
    Worksheet& ws = book->addSheet("工资表");
    ws.cellForWrite(0, 0) = Cell::makeText(book->strings.intern("十二月工资"), plainStyle);
    ws.cellForWrite(0, 1) = Cell(); // empty but present
    ws.cellForWrite(0, 2).style = plainStyle;
    ws.rowForWrite(0).height = 30;
    ws.rowForWrite(0).customHeight = true;
    ws.merges().add({0, 0, 0, 2});
    ws.cellForWrite(1, 0) = Cell::makeText(book->strings.intern("姓名"), plainStyle);
    ws.cellForWrite(1, 1) = Cell::makeText(book->strings.intern("实发"), plainStyle);
    SharedString rich;
    rich.text = "备注red";
    rich.runs = {{"备注", false, {}}, {"red", true, moneyFormat().font}};
    ws.cellForWrite(1, 2) = Cell::makeText(book->strings.addRich(rich), plainStyle);
    ws.cellForWrite(2, 0) = Cell::makeText(book->strings.intern("张三"));
    ws.cellForWrite(2, 1) = Cell::makeNumber(1234.5, money);
    ws.cellForWrite(2, 2) = Cell::makeBool(false);
    ws.cellForWrite(3, 0) = Cell::makeText(book->strings.intern("李四"));
    ws.cellForWrite(3, 1) = Cell::makeNumber(-0.25, money);
    ws.rowForWrite(3).hidden = true;
    ws.cellForWrite(4, 1) = Cell::makeError(0x07, money);
    return book;
}

class Paste : public ::testing::Test {
protected:
    Paste()
        : src(f.startWith("/wage.xlsx", wageBook()))
        , dst(f.startEmpty(sheet)) {}

    const Worksheet& result() {
        if (f.results.empty()) {
            dst.put("Visible", Variant(true));
        }
        return f.results.at(0)->sheet(0);
    }
    const Workbook& resultBook() {
        result();
        return *f.results.at(0);
    }
    std::string textAt(std::uint32_t r, std::uint32_t c) {
        const Cell* cell = result().cell(r, c);
        EXPECT_TRUE(cell && cell->type == CellType::Text) << r << "," << c;
        return cell && cell->type == CellType::Text ? resultBook().strings.at(cell->text).text : "";
    }
    const CellFormat& formatAt(std::uint32_t r, std::uint32_t c) {
        const Cell* cell = result().cell(r, c);
        return resultBook().styles.at(cell ? cell->style : 0);
    }

    ServerFixture f;
    Dispatch sheet;
    Dispatch src;
    Dispatch dst;
};

TEST_F(Paste, CarriesValuesFormatsTextsMergesAndRowHeights) {
    copyPaste(src, "A1:C2", dst, sheet, "A1");
    copyPaste(src, "A3:C3", dst, sheet, "A3");
    copyPaste(src, "A1:C2", dst, sheet, "A5");
    copyPaste(src, "A4:C4", dst, sheet, "A7");
    const Worksheet& ws = result();
    EXPECT_EQ(textAt(0, 0), "十二月工资");
    EXPECT_EQ(textAt(1, 1), "实发");
    EXPECT_EQ(textAt(2, 0), "张三");
    EXPECT_EQ(textAt(4, 0), "十二月工资");
    EXPECT_EQ(textAt(6, 0), "李四");
    EXPECT_EQ(ws.cell(2, 1)->number, 1234.5);
    EXPECT_EQ(ws.cell(6, 1)->number, -0.25);
    EXPECT_EQ(ws.cell(2, 2)->type, CellType::Bool);
    EXPECT_EQ(formatAt(2, 1), moneyFormat());
    EXPECT_EQ(formatAt(0, 2).font.name, "Arial"); // an empty cell keeps its format
    EXPECT_EQ(formatAt(2, 0), CellFormat{});      // the source's default format
    // Rich text keeps its runs.
    const Cell* rich = ws.cell(1, 2);
    ASSERT_EQ(resultBook().strings.at(rich->text).runs.size(), 2u);
    EXPECT_EQ(resultBook().strings.at(rich->text).runs[1].font, moneyFormat().font);
    // The title merge at each header block; the title row's height.
    EXPECT_EQ(ws.merges().all(), (std::vector<CellRange>{{0, 0, 0, 2}, {4, 0, 4, 2}}));
    EXPECT_EQ(ws.row(0)->height, 30);
    EXPECT_TRUE(ws.row(4)->customHeight);
}

TEST_F(Paste, PersonRowsAlwaysShowWhileHiddenHeaderRowsStayHidden) {
    Worksheet& ws = f.files.at("/wage.xlsx")->sheet(0);
    ws.rowForWrite(1).hidden = true; // a header row the clerk hid
    ws.rowForWrite(2).height = 25;   // a person's own height
    ws.rowForWrite(2).customHeight = true;
    ws.rowForWrite(3).height = 40; // hidden (by hand or by a filter), with its height kept
    ws.rowForWrite(3).customHeight = true;
    copyPaste(src, "A1:C2", dst, sheet, "A1");
    copyPaste(src, "A3:C3", dst, sheet, "A3");
    copyPaste(src, "A1:C2", dst, sheet, "A5");
    copyPaste(src, "A4:C4", dst, sheet, "A7");
    const Worksheet& out = result();
    EXPECT_TRUE(out.row(1)->hidden);
    EXPECT_TRUE(out.row(5)->hidden);
    EXPECT_FALSE(out.row(2)->hidden);
    EXPECT_EQ(out.row(2)->height, 25);
    EXPECT_TRUE(out.row(2)->customHeight);
    // The hidden person shows at the default height.
    EXPECT_FALSE(out.row(6)->hidden);
    EXPECT_EQ(out.row(6)->height, 0);
    EXPECT_FALSE(out.row(6)->customHeight);
    EXPECT_EQ(textAt(6, 0), "李四");
}

TEST_F(Paste, MapsEachFormatAndTextOnce) {
    for (int k = 0; k < 50; ++k) {
        const std::string at = "A" + std::to_string(k * 4 + 1);
        copyPaste(src, "A1:C3", dst, sheet, at);
    }
    // Default (Calibri), Arial and money; the source's default equals the target's.
    EXPECT_EQ(resultBook().styles.size(), 3u);
    // The five texts of A1:C3, the rich one too only once; the unused one not at all.
    EXPECT_EQ(resultBook().strings.size(), 5u);
    EXPECT_EQ(result().merges().size(), 50u);
    EXPECT_EQ(textAt(196, 0), "十二月工资");
    EXPECT_EQ(textAt(198, 0), "张三");
}

TEST_F(Paste, ReplacesMergesInsideAndRefusesMergesCutByTheArea) {
    copyPaste(src, "A1:C1", dst, sheet, "B2");
    EXPECT_EQ(errorOf([&] { copyPaste(src, "A3:C3", dst, sheet, "A2"); }),
              "无法粘贴到 A2:C2：该区域与合并单元格 B2:D2 部分重叠，不能只更改合并单元格的一部分");
    EXPECT_EQ(errorOf([&] { copyPaste(src, "A3:C3", dst, sheet, "D2"); }),
              "无法粘贴到 D2:F2：该区域与合并单元格 B2:D2 部分重叠，不能只更改合并单元格的一部分");
    // A paste covering the merge wholly replaces it (a person row has no merge).
    copyPaste(src, "A3:C3", dst, sheet, "B2");
    EXPECT_TRUE(result().merges().all().empty());
    EXPECT_EQ(textAt(1, 1), "张三");
}

TEST_F(Paste, RefusedPasteChangesNothing) {
    copyPaste(src, "A1:C1", dst, sheet, "B2");
    EXPECT_NE(errorOf([&] { copyPaste(src, "A3:C3", dst, sheet, "A2"); }), "(no error)");
    EXPECT_EQ(textAt(1, 1), "十二月工资");
    EXPECT_EQ(result().cell(1, 0), nullptr);
    EXPECT_EQ(result().merges().size(), 1u);
}

TEST_F(Paste, DropsSourceMergesThatStickOutOfTheCopiedRange) {
    copyPaste(src, "A1:B2", dst, sheet, "A1");
    EXPECT_TRUE(result().merges().all().empty());
    EXPECT_EQ(textAt(0, 0), "十二月工资");
}

TEST_F(Paste, BlankSourceCellsClearTheTarget) {
    copyPaste(src, "A3:C3", dst, sheet, "A1");
    copyPaste(src, "A6:C6", dst, sheet, "A1"); // a row the source never had
    const Row* row = result().row(0);
    ASSERT_NE(row, nullptr);
    for (std::uint32_t c = 0; c < 3; ++c) {
        const Cell* cell = row->cell(c);
        EXPECT_TRUE(!cell || (cell->type == CellType::Empty && cell->style == 0)) << c;
    }
}

TEST_F(Paste, CornersInEitherOrderAndTheSelectionAsAnchor) {
    // A2:C1 is rows 1 and 2.
    copyPaste(src, "C2:A1", dst, sheet, "B5");
    // Without a Select, the paste goes to the last pasted area's top left (the selection).
    src.getObject("Range", Variant("A3:C3")).call("Copy");
    sheet.call("Paste");
    EXPECT_EQ(textAt(4, 1), "张三");
    EXPECT_EQ(textAt(5, 1), "姓名");
    EXPECT_EQ(textAt(5, 2), "实发");
    EXPECT_EQ(result().merges().size(), 0u); // the title merge B5:D5 was replaced
}

TEST_F(Paste, RefusesPastesPastTheLastRowOrColumn) {
    src.getObject("Range", Variant("A1:C2")).call("Copy");
    dst.getObject("Range", Variant("A1048576")).call("Select");
    EXPECT_EQ(errorOf([&] { sheet.call("Paste"); }),
              "无法粘贴到 A1048576：复制的区域（2 行 × 3 列）超出了工作表的最后一行（工作表最多有 "
              "1048576 行）");
    dst.getObject("Range", Variant("XFC1")).call("Select");
    EXPECT_EQ(errorOf([&] { sheet.call("Paste"); }),
              "无法粘贴到 XFC1：复制的区域（2 行 × 3 列）超出了工作表的最后一列（最后一列是 XFD "
              "列）");
    dst.getObject("Range", Variant("XFB1048575")).call("Select");
    sheet.call("Paste");
    EXPECT_EQ(textAt(1048574, 16381), "十二月工资");
}

TEST_F(Paste, EmptyClipboardAndClosedSourceRefuse) {
    EXPECT_EQ(errorOf([&] { sheet.call("Paste"); }), "剪贴板是空的：请先复制要粘贴的区域");
    src.getObject("Range", Variant("A1:C2")).call("Copy");
    src.getObject("Workbooks").call("Close");
    EXPECT_EQ(errorOf([&] { sheet.call("Paste"); }), "剪贴板是空的：请先复制要粘贴的区域");
}

TEST_F(Paste, HugeAreasCostOnlyTheirCells) {
    // A whole-sheet copy of a small table must not touch a million rows of cells.
    src.getObject("Range", Variant("A1:XFD1048576")).call("Copy");
    sheet.call("Paste");
    EXPECT_EQ(result().rowCount(), 5u);
    EXPECT_EQ(textAt(3, 0), "李四");
}

TEST(PasteDefaults, ANewWorkbookTakesTheDefaultsOfWhatIsFirstPastedIntoIt) {
    ServerFixture f;
    auto book = std::make_shared<Workbook>();
    CellFormat song;
    song.font.name = "宋体";
    song.font.size = 12;
    book->styles.setDefault(song);
    Worksheet& ws = book->addSheet("表");
    ws.defaultRowHeight = 14.25;
    ws.cellForWrite(0, 0) = Cell::makeText(book->strings.intern("姓名"));
    ws.cellForWrite(1, 0) = Cell::makeText(book->strings.intern("张三"));
    ws.rowForWrite(1).height = 20;
    Dispatch src = f.startWith("/song.xlsx", book);
    Dispatch sheet;
    Dispatch dst = f.startEmpty(sheet);
    copyPaste(src, "A1:A2", dst, sheet, "A1");

    // A workbook that already holds pastes keeps its defaults; rows of the other source's
    // default height then carry that height.
    auto other = std::make_shared<Workbook>();
    other->addSheet("x").cellForWrite(0, 0) = Cell::makeNumber(1);
    Dispatch src2 = f.startWith("/other.xlsx", other);
    copyPaste(src2, "A1", dst, sheet, "A4");
    dst.put("Visible", Variant(true));
    const Workbook& out = *f.results.at(0);
    EXPECT_EQ(out.styles.at(0), song);
    EXPECT_EQ(out.sheet(0).cell(0, 0)->style, 0u);
    EXPECT_EQ(out.sheet(0).defaultRowHeight, 14.25);
    EXPECT_EQ(out.sheet(0).row(0)->height, 0);
    EXPECT_EQ(out.sheet(0).row(1)->height, 20);
    EXPECT_EQ(out.sheet(0).row(3)->height, 15);
    EXPECT_EQ(out.styles.at(out.sheet(0).cell(3, 0)->style), CellFormat{});
}

TEST_F(Paste, PasteWithinOneWorkbookKeepsItsTables) {
    Dispatch srcSheet = src.getObject("Worksheets", 1);
    const std::size_t styles = f.files["/wage.xlsx"]->styles.size();
    copyPaste(src, "A1:C3", src, srcSheet, "E10");
    const Workbook& book = *f.files["/wage.xlsx"];
    EXPECT_EQ(book.styles.size(), styles);
    const Cell* c = book.sheet(0).cell(10, 5);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(book.strings.at(c->text).text, "实发");
    EXPECT_EQ(book.sheet(0).merges().size(), 2u);
}

} // namespace
} // namespace quenly::wb::test

// A merge down a whole column is kept apart from the short ones; lookups, removal and the
// ordered listings still see it in its place.
TEST(MergeList, TallMergesAreFoundRemovedAndListedInOrder) {
    using quenly::wb::CellRange;
    quenly::wb::MergeList merges;
    merges.add({5, 0, 5, 3});
    merges.add({0, 6, 1048575, 6}); // G1:G1048576
    merges.add({0, 0, 1, 3});
    merges.add({400000, 1, 400001, 2});
    EXPECT_EQ(merges.size(), 4u);

    EXPECT_EQ(merges.intersecting({500000, 0, 500000, 10}),
              (std::vector<CellRange>{{0, 6, 1048575, 6}}));
    EXPECT_EQ(merges.intersecting({400001, 2, 400001, 6}),
              (std::vector<CellRange>{{400000, 1, 400001, 2}, {0, 6, 1048575, 6}}));
    EXPECT_TRUE(merges.intersecting({500000, 0, 500000, 5}).empty());

    const std::vector<CellRange> ordered{
        {0, 0, 1, 3}, {0, 6, 1048575, 6}, {5, 0, 5, 3}, {400000, 1, 400001, 2}};
    EXPECT_EQ(merges.all(), ordered);
    std::vector<CellRange> visited;
    merges.forEach([&](const CellRange& m) { visited.push_back(m); });
    ASSERT_EQ(visited.size(), 4u);
    for (std::size_t i = 1; i < visited.size(); ++i) {
        EXPECT_LE(visited[i - 1].firstRow, visited[i].firstRow);
    }

    EXPECT_EQ(merges.removeInside({0, 0, 1048575, 5}), 3u);
    EXPECT_EQ(merges.all(), (std::vector<CellRange>{{0, 6, 1048575, 6}}));
    EXPECT_EQ(merges.removeInside({0, 6, 1048575, 6}), 1u);
    EXPECT_EQ(merges.size(), 0u);
    EXPECT_TRUE(merges.intersecting({0, 0, 1048575, 16383}).empty());
}
