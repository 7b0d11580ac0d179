// Tests of how result sheets are laid out on pages: no slip is ever cut by a page break.
#include "print/font_metrics.h"
#include "print/page_layout.h"
#include "print/page_setup.h"
#include "print/row_heights.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

using namespace quenly::wb;
using namespace quenly::wb::print;

namespace {

struct SlipShape {
    std::uint32_t persons = 1;
    std::uint32_t headerRows = 1;
    std::uint32_t cols = 8;
    double width = 10;           // of every column, in characters
    double rowHeight = 0;        // 0 leaves the rows at the sheet's default
    bool emptyHeaderRow = false; // the header's second row holds nothing at all
};

// A result as the export makes it: per person the header rows, the person's row, an empty row.
std::unique_ptr<Workbook> slips(const SlipShape& s) {
    auto book = std::make_unique<Workbook>();
    Worksheet& ws = book->addSheet("工资条");
    CellFormat caption;
    caption.border.bottom = {"thin", Color::rgb(0xFF000000)};
    const std::uint32_t style = book->styles.intern(caption);
    for (std::uint32_t c = 0; c < s.cols; ++c) {
        ws.columnForWrite(c).width = s.width;
    }
    const std::uint32_t period = s.headerRows + 2;
    for (std::uint32_t p = 0; p < s.persons; ++p) {
        for (std::uint32_t h = 0; h <= s.headerRows; ++h) {
            Row& row = ws.rowForWrite(p * period + h);
            row.height = s.rowHeight;
            if (s.emptyHeaderRow && h == 1 && h < s.headerRows) {
                continue;
            }
            for (std::uint32_t c = 0; c < s.cols; ++c) {
                const std::string text = h < s.headerRows
                                             ? "项目" + std::to_string(h) + "-" + std::to_string(c)
                                             : "员工" + std::to_string(p);
                row.cells.push_back(Cell::makeText(book->strings.intern(text), style));
            }
        }
    }
    return book;
}

double height(const PageLayout& layout, std::uint32_t first, std::uint32_t last) {
    double total = 0;
    for (std::uint32_t r = first; r <= last; ++r) {
        total += layout.rowHeightsPt[r];
    }
    return total;
}

// The pages cover the rows in order, each fits its page, and every slip lies on one page.
void expectWholeSlips(const PageLayout& layout, std::uint32_t persons, std::uint32_t period) {
    ASSERT_FALSE(layout.pages.empty());
    EXPECT_EQ(layout.pages.front().firstRow, 0u);
    EXPECT_EQ(layout.pages.back().lastRow, static_cast<std::uint32_t>(layout.lastRow));
    for (std::size_t i = 0; i < layout.pages.size(); ++i) {
        const Page& page = layout.pages[i];
        if (i > 0) {
            EXPECT_EQ(page.firstRow, layout.pages[i - 1].lastRow + 1);
        }
        EXPECT_TRUE(page.startsBlock);
        EXPECT_EQ(page.firstRow % period, 0u) << "page " << i << " starts inside a slip";
        EXPECT_LE(height(layout, page.firstRow, page.lastRow), layout.printableHeightPt());
    }
    ASSERT_EQ(layout.blocks.size(), persons);
    for (std::uint32_t p = 0; p < persons; ++p) {
        EXPECT_EQ(layout.blocks[p].firstRow, p * period);
        EXPECT_EQ(layout.blocks[p].lastRow, p * period + period - 2);
    }
}

TEST(PageLayout, EverySlipWholeForManyTableSizesAndHeaders) {
    for (const std::uint32_t headerRows : {1u, 2u, 3u}) {
        for (const std::uint32_t persons : {1u, 12u, 100u, 5000u}) {
            SCOPED_TRACE(std::to_string(headerRows) + " header rows, " + std::to_string(persons) +
                         " persons");
            SlipShape shape;
            shape.persons = persons;
            shape.headerRows = headerRows;
            shape.rowHeight = 18.75;
            const auto book = slips(shape);
            const PageLayout layout = layoutPages(*book, book->sheet(0));
            expectWholeSlips(layout, persons, headerRows + 2);
            // Pages are filled: the next slip would not have fitted on any full page.
            const double slip = 18.75 * (headerRows + 2);
            for (std::size_t i = 0; i + 1 < layout.pages.size(); ++i) {
                const Page& page = layout.pages[i];
                EXPECT_GT(height(layout, page.firstRow, page.lastRow) + slip,
                          layout.printableHeightPt() * 0.97);
            }
            const std::vector<std::uint32_t> breaks = layout.manualBreaks();
            EXPECT_EQ(breaks.size(), layout.pages.size() - 1);
        }
    }
}

TEST(PageLayout, AHeaderWithAnEmptyRowIsNotTakenForTwoSlips) {
    SlipShape shape;
    shape.persons = 400;
    shape.headerRows = 3;
    shape.emptyHeaderRow = true;
    const auto book = slips(shape);
    const PageLayout layout = layoutPages(*book, book->sheet(0));
    expectWholeSlips(layout, 400, 5);
}

TEST(PageLayout, RowsAtTheDefaultHeightGrowWithTheirFont) {
    SlipShape shape;
    shape.persons = 2;
    auto book = slips(shape);
    Worksheet& ws = book->sheet(0);
    CellFormat big;
    big.font.size = 22;
    ws.rowForWrite(0).cells[0].style = book->styles.intern(big);
    const PageLayout layout = layoutPages(*book, ws);
    EXPECT_DOUBLE_EQ(layout.rowHeightsPt[1], 15);
    EXPECT_DOUBLE_EQ(layout.rowHeightsPt[0], 30); // 22 pt at the default 15 pt per 11 pt
    ws.rowForWrite(1).hidden = true;
    EXPECT_DOUBLE_EQ(layoutPages(*book, ws).rowHeightsPt[1], 0);
}

// A sheet of one column 10 characters wide, whose rows hold `texts` in a wrapping format.
struct TextRows {
    Workbook book;
    Worksheet& ws = book.addSheet("表");
    std::uint32_t wrap;
    std::uint32_t plain;

    TextRows() {
        CellFormat f;
        f.alignment.wrap = true;
        wrap = book.styles.intern(f);
        plain = book.styles.intern(CellFormat{});
        ws.columnForWrite(0).width = 10;
        ws.columnForWrite(1).width = 10;
    }
    void text(std::uint32_t r, std::uint32_t c, const std::string& t, std::uint32_t style) {
        ws.cellForWrite(r, c) = Cell::makeText(book.strings.intern(t), style);
    }
};

TEST(PageLayout, RowsGrowToTheLinesOfTheirTexts) {
    TextRows t;
    t.ws.columnForWrite(0).width = 16; // room for each line of the label
    const std::string label = "调整\n109/7劳保\n109/8劳健保费";
    t.text(0, 0, label, t.wrap);
    t.text(1, 0, label, t.wrap);
    t.ws.rowForWrite(1).height = 15; // sized by hand: stays
    t.ws.rowForWrite(1).customHeight = true;
    t.text(2, 0, "2016年度企业人力资源管理师（二级）继续教育课程", t.wrap);
    t.text(3, 0, "上行\n下行", t.plain); // LibreOffice breaks lines that do not wrap too
    t.text(4, 0, "一行", t.wrap);        // one line: the row's font decides
    t.ws.cellForWrite(5, 0) = Cell::makeNumber(1234567, t.wrap);
    // A merge over two rows: its last row grows by what the text needs beyond both.
    t.text(6, 0, label + label, t.wrap);
    t.ws.merges().add({6, 0, 7, 1});
    t.text(9, 0, "end", t.plain);
    const PageLayout layout = layoutPages(t.book, t.ws);
    const std::vector<double>& h = layout.rowHeightsPt;
    EXPECT_GT(h[0], 3 * 11 + 2); // three lines of 11-point text and the padding
    EXPECT_LT(h[0], 3 * 11 * 1.6 + 2);
    EXPECT_DOUBLE_EQ(h[1], 15);
    EXPECT_GT(h[2], 2.5 * 11); // the long title takes more than two lines
    EXPECT_GT(h[3], 2 * 11 + 2);
    EXPECT_LT(h[3], h[0]);
    EXPECT_DOUBLE_EQ(h[4], 15);
    EXPECT_DOUBLE_EQ(h[5], 15);
    EXPECT_DOUBLE_EQ(h[6], 15);
    EXPECT_GT(h[6] + h[7], h[0]);
    // A hidden row stays hidden.
    t.ws.rowForWrite(0).hidden = true;
    EXPECT_DOUBLE_EQ(layoutPages(t.book, t.ws).rowHeightsPt[0], 0);
}

TEST(PageLayout, GrownRowsMakeThePagesAndAreStoredForOtherApplications) {
    // Slips of a header whose label takes three lines: fewer slips fit a page.
    SlipShape shape;
    shape.persons = 60;
    auto plain = slips(shape);
    auto grown = slips(shape);
    CellFormat wrap;
    wrap.alignment.wrap = true;
    const std::uint32_t style = grown->styles.intern(wrap);
    const std::uint32_t label = grown->strings.intern("调整\n109/7劳保\n109/8劳健保费");
    for (std::uint32_t p = 0; p < shape.persons; ++p) {
        grown->sheet(0).rowForWrite(p * 3).cells[0] = Cell::makeText(label, style);
    }
    const PageLayout before = layoutPages(*plain, plain->sheet(0));
    const PageLayout after = layoutPages(*grown, grown->sheet(0));
    expectWholeSlips(after, shape.persons, 3);
    EXPECT_GT(after.pages.size(), before.pages.size());

    storeFittedHeights(grown->sheet(0), after);
    const Worksheet& ws = grown->sheet(0);
    EXPECT_DOUBLE_EQ(ws.row(0)->height, after.rowHeightsPt[0]);
    EXPECT_FALSE(ws.row(0)->customHeight);
    EXPECT_DOUBLE_EQ(ws.row(1)->height, 0) << "a row that did not grow keeps the default";
    // Stored, they lay out the same pages again.
    const PageLayout again = layoutPages(*grown, ws);
    EXPECT_EQ(again.rowHeightsPt, after.rowHeightsPt);
    EXPECT_EQ(again.manualBreaks(), after.manualBreaks());
}

TEST(PageLayout, ColumnsAreAsWideAsTheDigitsThatDrawTheDefaultFont) {
    TextRows t;
    CellFormat songti;
    songti.font.name = "宋体";
    songti.font.size = 12;
    t.book.styles.setDefault(songti);
    t.text(0, 0, "x", t.plain);
    const double digit = installedDigitWidthPixels("宋体", 12);
    if (digit == 0) {
        GTEST_SKIP() << "no font stands in for 宋体";
    }
    const PageLayout layout = layoutPages(t.book, t.ws);
    EXPECT_NEAR(layout.columnWidthsPt[0], 10 * digit * 0.75, 1e-9);
}

TEST(PageLayout, WideSlipsAreScaledToTheWidthAndTurnedWhenThatPrintsThemLarger) {
    SlipShape narrow;
    narrow.cols = 5;
    auto book = slips(narrow);
    PageLayout layout = layoutPages(*book, book->sheet(0));
    EXPECT_EQ(layout.scale, 100);
    EXPECT_FALSE(layout.landscape);

    SlipShape wider = narrow;
    wider.cols = 10; // 10 x 70 px = 525 pt: a little too wide upright
    book = slips(wider);
    layout = layoutPages(*book, book->sheet(0));
    EXPECT_FALSE(layout.landscape);
    EXPECT_LT(layout.scale, 100);
    EXPECT_GE(layout.scale, 70);

    SlipShape widest = narrow;
    widest.cols = 26;
    book = slips(widest);
    layout = layoutPages(*book, book->sheet(0));
    EXPECT_TRUE(layout.landscape);
    EXPECT_DOUBLE_EQ(layout.paperWidthPt, kA4LongSidePt);
    double width = 0;
    for (const double w : layout.columnWidthsPt) {
        width += w;
    }
    ASSERT_EQ(layout.columnWidthsPt.size(), 26u);
    // The scale is the largest that fits the columns as wide as this machine's fonts may make
    // them, with room to spare.
    EXPECT_GE(layout.scaledWidthPt, width);
    EXPECT_LE(layout.scaledWidthPt * layout.scale / 100, layout.printableWidthPt() * 0.92);
    EXPECT_GT(layout.scaledWidthPt * (layout.scale + 1) / 100, layout.printableWidthPt() * 0.92);

    // Hidden columns take no room.
    for (std::uint32_t c = 5; c < 26; ++c) {
        book->sheet(0).columnForWrite(c).hidden = true;
    }
    layout = layoutPages(*book, book->sheet(0));
    EXPECT_EQ(layout.scale, 100);
    EXPECT_FALSE(layout.landscape);
}

TEST(PageLayout, ColumnWidthsInPointsFollowTheDigitWidthOfTheDefaultFont) {
    EXPECT_DOUBLE_EQ(columnWidthPoints(9.140625, 7), 48);    // 64 pixels
    EXPECT_DOUBLE_EQ(columnWidthPoints(11.42578125, 7), 60); // 80 pixels
    EXPECT_DOUBLE_EQ(columnWidthPoints(9.140625, 8), 54.75); // 73 pixels
    EXPECT_DOUBLE_EQ(columnWidthPoints(0, 7), 0);
    Font calibri;
    EXPECT_DOUBLE_EQ(digitWidthPixels(calibri), 7);
    Font songti12;
    songti12.name = "宋体";
    songti12.size = 12;
    EXPECT_DOUBLE_EQ(digitWidthPixels(songti12), 8);
}

TEST(PageLayout, DigitsOfInstalledFontsAreMeasured) {
    const double dejavu = installedDigitWidthPixels("DejaVu Sans", 11);
    if (dejavu == 0) {
        GTEST_SKIP() << "DejaVu Sans is not installed";
    }
    EXPECT_NEAR(dejavu, 9.33, 0.01); // 1303 of 2048 units of the em, 14.67 pixels
    EXPECT_NEAR(installedDigitWidthPixels("DejaVu Sans", 22), 2 * dejavu, 0.02);
    EXPECT_EQ(installedDigitWidthPixels("DejaVu Sans", 11), dejavu);
    // A family that is not installed gets the font fontconfig puts in its place.
    EXPECT_GT(installedDigitWidthPixels("No Such Family Anywhere", 11), 0);
}

TEST(PageLayout, ASlipTallerThanAPageIsCutAtRows) {
    SlipShape shape;
    shape.persons = 3;
    shape.headerRows = 60;
    shape.rowHeight = 20; // 61 rows of 20 pt: more than one page
    const auto book = slips(shape);
    const PageLayout layout = layoutPages(*book, book->sheet(0));
    ASSERT_GT(layout.pages.size(), 3u);
    std::size_t starts = 0;
    for (const Page& page : layout.pages) {
        starts += page.startsBlock;
        EXPECT_LE(height(layout, page.firstRow, page.lastRow), layout.printableHeightPt());
        if (page.startsBlock) {
            EXPECT_EQ(page.firstRow % 62, 0u);
        }
    }
    EXPECT_EQ(starts, 3u);
    EXPECT_EQ(layout.manualBreaks(), (std::vector<std::uint32_t>{62, 124}));
}

// The PDF is drawn from the page set-up the result keeps: laid out from it, a sheet prints the
// very pages it was laid out on, past the breaks a file can keep, where slips are cut for being
// taller than a page, and where rows grew to their texts.
TEST(PageLayout, ThePageSetUpOfALayoutPrintsItsPages) {
    std::vector<std::pair<std::string, std::unique_ptr<Workbook>>> sheets;
    SlipShape many;
    many.persons = 20000;
    sheets.emplace_back("more pages than a file keeps breaks", slips(many));
    SlipShape tall;
    tall.persons = 3;
    tall.headerRows = 60;
    tall.rowHeight = 20;
    sheets.emplace_back("slips taller than a page", slips(tall));
    // 72 rows of 20 pt fill two pages to the end: the empty row after each slip overflows the
    // second and still goes with it.
    tall.headerRows = 71;
    sheets.emplace_back("slips that fill their last page", slips(tall));
    SlipShape gap;
    gap.persons = 400;
    gap.headerRows = 2;
    gap.emptyHeaderRow = true;
    gap.cols = 30;
    sheets.emplace_back("a header with an empty row, turned", slips(gap));
    SlipShape grown;
    grown.persons = 50;
    auto wrapped = slips(grown);
    CellFormat wrap;
    wrap.alignment.wrap = true;
    const std::uint32_t label =
        wrapped->strings.intern("调整\n109/7劳保\n109/8劳健保费，一段很长的说明文字");
    for (std::uint32_t p = 0; p < grown.persons; ++p) {
        wrapped->sheet(0).cellForWrite(p * 3, 0) =
            Cell::makeText(label, wrapped->styles.intern(wrap));
    }
    sheets.emplace_back("rows grown to wrapped labels", std::move(wrapped));
    for (const auto& [what, book] : sheets) {
        SCOPED_TRACE(what);
        const Worksheet& sheet = book->sheet(0);
        const PageLayout laid = layoutPages(*book, sheet);
        const PageLayout again = layoutPages(*book, sheet, pageSetupOf(laid));
        EXPECT_EQ(again.scale, laid.scale);
        EXPECT_EQ(again.landscape, laid.landscape);
        EXPECT_EQ(again.paperWidthPt, laid.paperWidthPt);
        EXPECT_EQ(again.lastRow, laid.lastRow);
        EXPECT_EQ(again.lastCol, laid.lastCol);
        EXPECT_EQ(again.rowHeightsPt, laid.rowHeightsPt);
        EXPECT_EQ(again.columnWidthsPt, laid.columnWidthsPt);
        ASSERT_EQ(again.pages.size(), laid.pages.size());
        for (std::size_t i = 0; i < laid.pages.size(); ++i) {
            EXPECT_EQ(again.pages[i].firstRow, laid.pages[i].firstRow) << "page " << i;
            EXPECT_EQ(again.pages[i].lastRow, laid.pages[i].lastRow) << "page " << i;
            EXPECT_EQ(again.pages[i].startsBlock, laid.pages[i].startsBlock) << "page " << i;
        }
    }
    ASSERT_GT(layoutPages(*sheets[0].second, sheets[0].second->sheet(0)).pages.size(),
              kMaxManualRowBreaks + 1);
    // Without a print area a set-up prints nothing.
    EXPECT_TRUE(
        layoutPages(*sheets[0].second, sheets[0].second->sheet(0), PageSetup{}).pages.empty());
}

TEST(PageLayout, SheetsThatAreNoSlipsKeepTheirRunsOfRowsTogether) {
    auto book = std::make_unique<Workbook>();
    Worksheet& ws = book->addSheet("表");
    // Runs of 3, 40 and 5 rows between empty rows, each different: no repeating period.
    std::uint32_t r = 0;
    for (const std::uint32_t run : {3u, 40u, 5u}) {
        for (std::uint32_t i = 0; i < run; ++i, ++r) {
            ws.cellForWrite(r, 0) = Cell::makeNumber(r);
        }
        ++r;
    }
    const PageLayout layout = layoutPages(*book, ws);
    ASSERT_EQ(layout.blocks.size(), 3u);
    EXPECT_EQ(layout.blocks[1].firstRow, 4u);
    EXPECT_EQ(layout.blocks[1].lastRow, 43u);
    // Rows at the default height are given a tenth more room than 15 pt: the 40 rows do not
    // fit after the first 3, nor the last 5 after them.
    ASSERT_EQ(layout.pages.size(), 3u);
    EXPECT_EQ(layout.pages[1].firstRow, 4u);
    EXPECT_EQ(layout.pages[2].firstRow, 45u);
}

TEST(PageLayout, AnEmptySheetHasNoPages) {
    Workbook book;
    Worksheet& ws = book.addSheet("空");
    ws.rowForWrite(5).height = 30;
    const PageLayout layout = layoutPages(book, ws);
    EXPECT_EQ(layout.lastRow, -1);
    EXPECT_TRUE(layout.pages.empty());
    EXPECT_TRUE(layout.manualBreaks().empty());
    EXPECT_EQ(layout.scale, 100);
}

} // namespace
