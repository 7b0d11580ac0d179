// The fills and border lines of the cells of a page.
#include "pdf/fills_borders.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace quenly::wb::pdf {

namespace {

// Thinnest line drawn on paper, in points, whatever the print scale.
constexpr double kMinLinePt = 0.3;

} // namespace

void FillsAndBorders::addFill(std::uint32_t styleIndex, const Box& box) {
    const Fill& fill = m_book.styles.at(styleIndex).fill;
    const double p = patternCoverage(fill.pattern);
    if (p <= 0 || box.w <= 0 || box.h <= 0) {
        return;
    }
    const Rgb fg = colorOr(fill.fg, kBlack);
    const Rgb bg = colorOr(fill.bg, kWhite);
    const Rgb c =
        p >= 1 ? fg
               : Rgb{bg.r + (fg.r - bg.r) * p, bg.g + (fg.g - bg.g) * p, bg.b + (fg.b - bg.b) * p};
    // Neighbours of one colour in a row become one rectangle, so no seam shows between them.
    if (!m_fills.empty()) {
        FillRect& last = m_fills.back();
        if (last.color == c && last.box.y == box.y && last.box.h == box.h &&
            std::abs(last.box.x + last.box.w - box.x) < 1e-9) {
            last.box.w += box.w;
            return;
        }
    }
    m_fills.push_back({c, box});
}

void FillsAndBorders::paintFills(cairo_t* cr) {
    const PageGrid& g = m_grid;
    m_fills.clear();
    for (std::size_t ri = 0; ri < g.rows.size(); ++ri) {
        for (std::size_t ci = 0; ci < g.cols.size(); ++ci) {
            if (g.mergeAt(ri, ci) < 0) {
                addFill(g.styleAt(g.rows[ri], g.cols[ci]), g.cellBox(ri, ci));
            }
        }
    }
    for (const PageGrid::MergeInfo& m : g.merges) {
        addFill(g.styleAt(m.range.firstRow, m.range.firstCol), m.box);
    }
    std::stable_sort(m_fills.begin(), m_fills.end(), [](const FillRect& a, const FillRect& b) {
        return std::tie(a.color.r, a.color.g, a.color.b) <
               std::tie(b.color.r, b.color.g, b.color.b);
    });
    for (std::size_t i = 0; i < m_fills.size();) {
        const Rgb c = m_fills[i].color;
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        for (; i < m_fills.size() && m_fills[i].color == c; ++i) {
            const Box& b = m_fills[i].box;
            cairo_rectangle(cr, b.x, b.y, b.w, b.h);
        }
        cairo_fill(cr);
    }
}

std::uint32_t FillsAndBorders::lineKey(const BorderSide& side) {
    const Rgb c = colorOr(side.color, kBlack);
    for (std::size_t i = 0; i < m_lineKeys.size(); ++i) {
        if (m_lineKeys[i].first == side.style && m_lineKeys[i].second == c) {
            return static_cast<std::uint32_t>(i);
        }
    }
    m_lineKeys.emplace_back(side.style, c);
    return static_cast<std::uint32_t>(m_lineKeys.size() - 1);
}

// Adds the edge from (x1, y1) to (x2, y2), joining it to the previous one when it goes on in
// the same line.
void FillsAndBorders::addSegment(const BorderSide* side, double x1, double y1, double x2,
                                 double y2) {
    if (!side) {
        return;
    }
    const std::uint32_t key = lineKey(*side);
    if (!m_segments.empty()) {
        Segment& last = m_segments.back();
        if (last.key == key && last.x2 == x1 && last.y2 == y1 &&
            (last.x1 == last.x2) == (x1 == x2)) {
            last.x2 = x2;
            last.y2 = y2;
            return;
        }
    }
    m_segments.push_back({key, x1, y1, x2, y2});
}

// Side `which` (0 top, 1 bottom, 2 left, 3 right) of visible cell (ri, ci), or nullptr.
const BorderSide* FillsAndBorders::sideOf(std::size_t ri, std::size_t ci, int which) const {
    const Border& b = m_book.styles.at(m_grid.styleAt(m_grid.rows[ri], m_grid.cols[ci])).border;
    const BorderSide& s = which == 0   ? b.top
                          : which == 1 ? b.bottom
                          : which == 2 ? b.left
                                       : b.right;
    return s.style.empty() || s.style == "none" ? nullptr : &s;
}

void FillsAndBorders::addEdges() {
    const PageGrid& g = m_grid;
    const std::size_t nr = g.rows.size(), nc = g.cols.size();
    for (std::size_t k = 0; k <= nr; ++k) {
        for (std::size_t ci = 0; ci < nc; ++ci) {
            if (k > 0 && k < nr && g.mergeAt(k - 1, ci) >= 0 &&
                g.mergeAt(k - 1, ci) == g.mergeAt(k, ci)) {
                continue;
            }
            const BorderSide* above = k > 0 ? sideOf(k - 1, ci, 1) : nullptr;
            const BorderSide* below = k < nr ? sideOf(k, ci, 0) : nullptr;
            addSegment(strongerSide(above, below), g.colX[ci], g.rowY[k], g.colX[ci + 1],
                       g.rowY[k]);
        }
    }
    for (std::size_t k = 0; k <= nc; ++k) {
        for (std::size_t ri = 0; ri < nr; ++ri) {
            if (k > 0 && k < nc && g.mergeAt(ri, k - 1) >= 0 &&
                g.mergeAt(ri, k - 1) == g.mergeAt(ri, k)) {
                continue;
            }
            const BorderSide* left = k > 0 ? sideOf(ri, k - 1, 3) : nullptr;
            const BorderSide* right = k < nc ? sideOf(ri, k, 2) : nullptr;
            addSegment(strongerSide(left, right), g.colX[k], g.rowY[ri], g.colX[k], g.rowY[ri + 1]);
        }
    }
}

void FillsAndBorders::addDiagonal(std::uint32_t styleIndex, const Box& box) {
    const Border& b = m_book.styles.at(styleIndex).border;
    if (b.diagonal.style.empty() || b.diagonal.style == "none") {
        return;
    }
    const std::uint32_t key = lineKey(b.diagonal);
    if (b.diagonalDown) {
        m_segments.push_back({key, box.x, box.y, box.x + box.w, box.y + box.h});
    }
    if (b.diagonalUp) {
        m_segments.push_back({key, box.x, box.y + box.h, box.x + box.w, box.y});
    }
}

void FillsAndBorders::addDiagonals() {
    const PageGrid& g = m_grid;
    for (std::size_t ri = 0; ri < g.rows.size(); ++ri) {
        for (std::size_t ci = 0; ci < g.cols.size(); ++ci) {
            if (g.mergeAt(ri, ci) < 0) {
                addDiagonal(g.styleAt(g.rows[ri], g.cols[ci]), g.cellBox(ri, ci));
            }
        }
    }
    for (const PageGrid::MergeInfo& m : g.merges) {
        addDiagonal(g.styleAt(m.range.firstRow, m.range.firstCol), m.box);
    }
}

// Strokes the segments, one path per line style and colour.
void FillsAndBorders::strokeSegments(cairo_t* cr) {
    std::stable_sort(m_segments.begin(), m_segments.end(),
                     [](const Segment& a, const Segment& b) { return a.key < b.key; });
    for (std::size_t i = 0; i < m_segments.size();) {
        const std::uint32_t key = m_segments[i].key;
        const LineSpec spec = lineSpec(m_lineKeys[key].first);
        const Rgb c = m_lineKeys[key].second;
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        cairo_set_line_width(cr, std::max(spec.width, kMinLinePt / m_scale));
        if (spec.dashes.empty()) {
            cairo_set_dash(cr, nullptr, 0, 0);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
        } else {
            cairo_set_dash(cr, spec.dashes.data(), static_cast<int>(spec.dashes.size()), 0);
            cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        }
        for (; i < m_segments.size() && m_segments[i].key == key; ++i) {
            const Segment& s = m_segments[i];
            if (spec.doubled && (s.x1 == s.x2 || s.y1 == s.y2)) {
                const double off = 0.75;
                const double dx = s.y1 == s.y2 ? 0 : off;
                const double dy = s.y1 == s.y2 ? off : 0;
                cairo_move_to(cr, s.x1 - dx, s.y1 - dy);
                cairo_line_to(cr, s.x2 - dx, s.y2 - dy);
                cairo_move_to(cr, s.x1 + dx, s.y1 + dy);
                cairo_line_to(cr, s.x2 + dx, s.y2 + dy);
            } else {
                cairo_move_to(cr, s.x1, s.y1);
                cairo_line_to(cr, s.x2, s.y2);
            }
        }
        cairo_stroke(cr);
    }
    cairo_set_dash(cr, nullptr, 0, 0);
}

void FillsAndBorders::paintBorders(cairo_t* cr) {
    m_segments.clear();
    addEdges();
    addDiagonals();
    strokeSegments(cr);
}

} // namespace quenly::wb::pdf
