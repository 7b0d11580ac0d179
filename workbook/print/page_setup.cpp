// The page set-up of a result, taken from its page layout.
#include "print/page_setup.h"

#include "print/row_heights.h"

namespace quenly::wb::print {

PageSetup pageSetupOf(const PageLayout& layout) {
    PageSetup setup;
    setup.landscape = layout.landscape;
    setup.scale = layout.scale;
    setup.margins = {layout.margins.left,   layout.margins.right,  layout.margins.top,
                     layout.margins.bottom, layout.margins.header, layout.margins.footer};
    // Centred across the page and printed at a fixed scale: a fit-to-width setting would make
    // spreadsheet applications ignore the row breaks.
    setup.centredHorizontally = true;
    // Text running past the last column is not printed on pages of its own.
    if (layout.lastRow >= 0) {
        setup.printArea = CellRange{0, 0, static_cast<std::uint32_t>(layout.lastRow),
                                    static_cast<std::uint32_t>(layout.lastCol)};
    }
    setup.rowBreaks = layout.manualBreaks();
    return setup;
}

void setUpPages(Workbook& book) {
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        Worksheet& sheet = book.sheet(i);
        const PageLayout layout = layoutPages(book, sheet);
        storeFittedHeights(sheet, layout);
        sheet.pageSetup = pageSetupOf(layout);
    }
}

} // namespace quenly::wb::print
