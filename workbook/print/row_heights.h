// The heights rows print at: their own, or for rows not sized by hand, as tall as their fonts,
// wrapped texts and line breaks need, as spreadsheet applications fit rows. Rows and columns
// count from 0.
#pragma once

#include <cstdint>
#include <vector>

#include "print/page_layout.h"
#include "workbook.h"

namespace quenly::wb::print {

/// Room above and below the lines of a text that spreadsheets leave in a row fitted to it.
struct PrintedRows {
    /// The height each row prints at, in points at 100 % (hidden rows 0).
    std::vector<double> heights;
    /// The room each row may take when pages are filled: its height, and a tenth more for a row
    /// left at the default height, which applications size from their own fonts.
    std::vector<double> reserve;
};

/// The heights of rows 0 .. `lastRow` of `sheet` of `book`, whose columns print `columnWidthsPt`
/// wide (points at 100 %, one per column from 0). A row sized by hand keeps its height. Any
/// other row is at least as tall as it is, or for a row at the default height, as its largest
/// font needs in the proportion of the sheet's default height to the default font; and as tall
/// as its texts need where they wrap, break lines or stand vertically, laid out in their faces
/// in the width their column or merge gives them. The last row of a merge over several rows grows
/// by what its wrapped text needs beyond the rows' heights.
PrintedRows printedRowHeights(const Workbook& book, const Worksheet& sheet, std::int64_t lastRow,
                              const std::vector<double>& columnWidthsPt);

/// Gives every row of `sheet` that `layout` (laid out for it) prints taller than it is that
/// height, so that every spreadsheet application prints the pages laid out for it; rows sized by
/// hand and hidden rows stay as they are. Done to a result before it is saved (setUpPages).
void storeFittedHeights(Worksheet& sheet, const PageLayout& layout);

} // namespace quenly::wb::print
