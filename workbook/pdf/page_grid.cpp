// The cells of one printed page as they are placed: visible rows and columns, edges, merges.
#include "pdf/page_grid.h"

#include <algorithm>

namespace quenly::wb::pdf {

PageGrid::PageGrid(const Workbook& book, const Worksheet& sheet, const print::PageLayout& layout)
    : m_book(book)
    , m_sheet(sheet)
    , m_layout(layout) {
    colPos.assign(static_cast<std::size_t>(std::max<std::int64_t>(layout.lastCol + 1, 0)), -1);
    double x = 0;
    for (std::size_t c = 0; c < colPos.size(); ++c) {
        const double w = c < layout.columnWidthsPt.size() ? layout.columnWidthsPt[c] : 0;
        if (w > 0) {
            colPos[c] = static_cast<int>(cols.size());
            cols.push_back(static_cast<std::uint32_t>(c));
            colX.push_back(x);
            x += w;
        }
    }
    colX.push_back(x);
}

std::uint32_t PageGrid::styleAt(std::uint32_t r, std::uint32_t c) const {
    const Row* row = m_sheet.row(r);
    const Cell* cell = row ? row->cell(c) : nullptr;
    const std::uint32_t s = cell ? cell->style : m_sheet.column(c).style;
    return s < m_book.styles.size() ? s : 0;
}

const Cell* PageGrid::cellAt(std::uint32_t r, std::uint32_t c) const {
    const Row* row = m_sheet.row(r);
    return row ? row->cell(c) : nullptr;
}

bool PageGrid::hasContent(std::uint32_t r, std::uint32_t c) const {
    const Cell* cell = cellAt(r, c);
    return cell && cell->type != CellType::Empty;
}

void PageGrid::preparePage(const print::Page& page) {
    rows.clear();
    rowY.clear();
    allRowY.clear();
    double y = 0;
    for (std::uint32_t r = page.firstRow; r <= page.lastRow; ++r) {
        allRowY.push_back(y);
        const double h = r < m_layout.rowHeightsPt.size() ? m_layout.rowHeightsPt[r] : 0;
        if (h > 0) {
            rows.push_back(r);
            rowY.push_back(y);
            y += h;
        }
    }
    allRowY.push_back(y);
    rowY.push_back(y);
    merges.clear();
    m_mergeOf.assign(rows.size() * cols.size(), -1);
    if (rows.empty() || cols.empty()) {
        return;
    }
    const CellRange area{page.firstRow, 0, page.lastRow, cols.back()};
    for (const CellRange& m : m_sheet.merges().intersecting(area)) {
        if (m.firstRow != m.lastRow || m.firstCol != m.lastCol) {
            addMerge(m);
        }
    }
}

void PageGrid::addMerge(const CellRange& m) {
    const auto r0 = static_cast<std::size_t>(
        std::lower_bound(rows.begin(), rows.end(), m.firstRow) - rows.begin());
    const auto r1 = static_cast<std::size_t>(std::upper_bound(rows.begin(), rows.end(), m.lastRow) -
                                             rows.begin());
    int c0 = -1, c1 = -1;
    for (std::uint32_t c = m.firstCol; c <= std::min(m.lastCol, cols.back()); ++c) {
        if (colPos[c] >= 0) {
            c1 = colPos[c];
            if (c0 < 0) {
                c0 = c1;
            }
        }
    }
    if (r0 >= r1 || c0 < 0) {
        return; // wholly hidden here
    }
    const int index = static_cast<int>(merges.size());
    for (std::size_t ri = r0; ri < r1; ++ri) {
        for (int ci = c0; ci <= c1; ++ci) {
            m_mergeOf[ri * cols.size() + static_cast<std::size_t>(ci)] = index;
        }
    }
    const auto cl = static_cast<std::size_t>(c0), cr = static_cast<std::size_t>(c1) + 1;
    merges.push_back({m, {colX[cl], rowY[r0], colX[cr] - colX[cl], rowY[r1] - rowY[r0]}, r0, cl});
}

} // namespace quenly::wb::pdf
