// The page set-up a result is saved with: the page layout's choices, kept on the sheet.
#include "print/page_setup.h"

#include <gtest/gtest.h>

#include <string>

using namespace quenly::wb;
using namespace quenly::wb::print;

namespace {

// `persons` slips of a caption row and a person's row, each followed by an empty row, `cols`
// columns wide; a note runs past the last column of the first slip.
std::unique_ptr<Workbook> slips(std::uint32_t persons, std::uint32_t cols) {
    auto book = std::make_unique<Workbook>();
    Worksheet& ws = book->addSheet("工资条");
    for (std::uint32_t p = 0; p < persons; ++p) {
        for (std::uint32_t c = 0; c < cols; ++c) {
            ws.cellForWrite(p * 3, c) = Cell::makeText(book->strings.intern("项目"));
            ws.cellForWrite(p * 3 + 1, c) = Cell::makeNumber(p + c);
        }
    }
    return book;
}

TEST(PageSetup, EverySheetGetsThePageSetUpOfItsLayout) {
    auto book = slips(300, 30);
    book->addSheet("空白");
    setUpPages(*book);
    const PageLayout layout = layoutPages(*book, book->sheet(0));
    ASSERT_TRUE(book->sheet(0).pageSetup.has_value());
    const PageSetup& setup = *book->sheet(0).pageSetup;
    EXPECT_EQ(setup, pageSetupOf(layout));
    EXPECT_EQ(setup.paperSize, 9u);
    EXPECT_TRUE(setup.landscape);
    EXPECT_EQ(setup.scale, layout.scale);
    EXPECT_EQ(setup.margins, (PageMargins{0.5, 0.5, 0.6, 0.6, 0.3, 0.3}));
    EXPECT_TRUE(setup.centredHorizontally);
    EXPECT_EQ(setup.printArea, (CellRange{0, 0, 898, 29}));
    ASSERT_GT(layout.pages.size(), 2u);
    EXPECT_EQ(setup.rowBreaks, layout.manualBreaks());
    for (const std::uint32_t row : setup.rowBreaks) {
        EXPECT_EQ(row % 3, 0u) << "a break inside a slip";
    }
    // An empty sheet prints nothing: no print area, no breaks.
    ASSERT_TRUE(book->sheet(1).pageSetup.has_value());
    EXPECT_EQ(book->sheet(1).pageSetup->printArea, std::nullopt);
    EXPECT_TRUE(book->sheet(1).pageSetup->rowBreaks.empty());
}

TEST(PageSetup, RowsThatPrintTallerKeepTheirPrintedHeights) {
    auto book = slips(3, 4);
    Worksheet& ws = book->sheet(0);
    CellFormat wrap;
    wrap.alignment.wrap = true;
    ws.cellForWrite(0, 0) = Cell::makeText(book->strings.intern("调整\n109/7劳保\n109/8劳健保费"),
                                           book->styles.intern(wrap));
    ws.rowForWrite(3).height = 15; // sized by hand: kept
    ws.rowForWrite(3).customHeight = true;
    const PageLayout layout = layoutPages(*book, ws);
    setUpPages(*book);
    EXPECT_GT(ws.row(0)->height, 3 * 11);
    EXPECT_DOUBLE_EQ(ws.row(0)->height, layout.rowHeightsPt[0]);
    EXPECT_DOUBLE_EQ(ws.row(1)->height, 0);
    EXPECT_DOUBLE_EQ(ws.row(3)->height, 15);
}

} // namespace
