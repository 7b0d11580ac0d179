// The cells of one printed page as they are placed: visible columns and rows, their edges, and
// the merges that span them. Positions in points at 100 %, from the top left printed cell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "print/page_layout.h"
#include "workbook.h"

namespace quenly::wb::pdf {

struct Box {
    double x = 0, y = 0, w = 0, h = 0;
};

/// The grid of a laid-out sheet; preparePage() sets it up for one page. Visible rows and
/// columns (those with a height or width) are counted from 0 among themselves ("ri", "ci").
class PageGrid {
public:
    /// `book`, `sheet` and `layout` must outlive the grid.
    PageGrid(const Workbook& book, const Worksheet& sheet, const print::PageLayout& layout);

    /// Sets up the page's rows and merges.
    void preparePage(const print::Page& page);

    /// Printed columns that have a width, their left edges (one more at the end), and the
    /// position of each column among them (-1 for hidden ones).
    std::vector<std::uint32_t> cols;
    std::vector<double> colX;
    std::vector<int> colPos;

    /// The page's rows that have a height, their top edges (one more at the end), and the top
    /// edge of every row of the page, hidden ones too (one more at the end).
    std::vector<std::uint32_t> rows;
    std::vector<double> rowY;
    std::vector<double> allRowY;

    /// The merges on the page that show, each with its box and the visible row and column of
    /// the box's top left cell.
    struct MergeInfo {
        CellRange range;
        Box box;
        std::size_t topRow = 0, leftCol = 0;
    };
    std::vector<MergeInfo> merges;

    /// Which merge visible cell (ri, ci) is part of; -1 for none.
    int mergeAt(std::size_t ri, std::size_t ci) const { return m_mergeOf[ri * cols.size() + ci]; }
    /// The box of visible cell (ri, ci).
    Box cellBox(std::size_t ri, std::size_t ci) const {
        return {colX[ci], rowY[ri], colX[ci + 1] - colX[ci], rowY[ri + 1] - rowY[ri]};
    }
    /// The format index of a cell: its own, or its column's where the row has no cell there.
    std::uint32_t styleAt(std::uint32_t r, std::uint32_t c) const;
    const Cell* cellAt(std::uint32_t r, std::uint32_t c) const;
    bool hasContent(std::uint32_t r, std::uint32_t c) const;

private:
    void addMerge(const CellRange& m);

    const Workbook& m_book;
    const Worksheet& m_sheet;
    const print::PageLayout& m_layout;
    std::vector<int> m_mergeOf;
};

} // namespace quenly::wb::pdf
