// How a result sheet goes onto paper: orientation, scale and margins, and the pages its slips
// are laid on so that no slip is cut by a page break. Rows and columns count from 0.
#pragma once

#include <cstdint>
#include <vector>

#include "workbook.h"

namespace quenly::wb::print {

inline constexpr double kA4ShortSidePt = 595.2756; // 210 mm
inline constexpr double kA4LongSidePt = 841.8898;  // 297 mm

/// Page margins in inches, as SpreadsheetML stores them.
struct Margins {
    double left = 0.5, right = 0.5, top = 0.6, bottom = 0.6, header = 0.3, footer = 0.3;
};

/// The rows of one slip: its header rows and the person's row, without the empty row after it.
struct SlipBlock {
    std::uint32_t firstRow = 0;
    std::uint32_t lastRow = 0;
};

/// One printed page: rows `firstRow` .. `lastRow`. `startsBlock` says the page begins with a
/// slip (a manual break goes before it); it is false only where a slip taller than a page had
/// to be cut.
struct Page {
    std::uint32_t firstRow = 0;
    std::uint32_t lastRow = 0;
    bool startsBlock = true;
};

struct PageLayout {
    bool landscape = false;
    /// Print scale in percent (10 .. 100), chosen so that every printed column fits the width.
    int scale = 100;
    Margins margins;
    /// The paper, turned as printed, in points.
    double paperWidthPt = kA4ShortSidePt;
    double paperHeightPt = kA4LongSidePt;
    /// Printed columns 0 .. lastCol and rows 0 .. lastRow; both are -1 for an empty sheet.
    std::int64_t lastCol = -1;
    std::int64_t lastRow = -1;
    /// Widths of columns 0 .. lastCol and heights of rows 0 .. lastRow in points at 100 %
    /// (hidden ones are 0).
    std::vector<double> columnWidthsPt;
    std::vector<double> rowHeightsPt;
    /// The width the scale was chosen for, in points at 100 %: the printed columns as wide as the
    /// widest digits of the default font make them, Excel's or an installed font's (at least the
    /// sum of columnWidthsPt).
    double scaledWidthPt = 0;
    std::vector<SlipBlock> blocks;
    std::vector<Page> pages;

    /// The rows before which a manual break goes: the first row of every page that starts a slip,
    /// but the first page.
    std::vector<std::uint32_t> manualBreaks() const;
    /// Room on a page for the sheet's cells, in points at 100 %.
    double printableWidthPt() const;
    double printableHeightPt() const;
};

/// The width in points of a column `width` characters wide (the unit of column widths) in a
/// workbook whose default font has digits `digitPx` pixels wide.
double columnWidthPoints(double width, double digitPx);

/// Lays `sheet` of `book` out on A4. Slips are found as the runs of rows between empty rows,
/// repeated with one period when the table's header itself holds an empty row. Each page takes
/// as many whole slips as fit; a slip taller than a page is cut at row boundaries.
PageLayout layoutPages(const Workbook& book, const Worksheet& sheet);

/// Lays `sheet` of `book` out as its page set-up `setup` says (pageSetupOf a layout, kept on the
/// sheet): on its paper, turned and scaled as it says, its print area (from A1) on pages that
/// begin at its row breaks; a run of rows between two breaks that is taller than a page is cut
/// where its rows overflow, as layoutPages cuts a slip taller than a page. For the set-up of a
/// layout this gives that layout's pages. A set-up without a print area prints nothing.
PageLayout layoutPages(const Workbook& book, const Worksheet& sheet, const PageSetup& setup);

} // namespace quenly::wb::print
