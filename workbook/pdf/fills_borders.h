// The fills and border lines of the cells of a page.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "pdf/page_grid.h"
#include "pdf/style_mapping.h"

namespace quenly::wb::pdf {

/// Paints the fills and borders of the page `grid` is prepared for; lines are never thinner on
/// paper than a fixed minimum at print scale `scale` (a part of 1).
class FillsAndBorders {
public:
    FillsAndBorders(const Workbook& book, const PageGrid& grid, double scale)
        : m_book(book)
        , m_grid(grid)
        , m_scale(scale) {}

    /// Fills every cell and merge; neighbours of one colour in a row as one rectangle.
    void paintFills(cairo_t* cr);
    /// Draws each edge once, with the heavier of the two sides that meet on it, none inside a
    /// merge; and the diagonals.
    void paintBorders(cairo_t* cr);

private:
    struct Segment {
        std::uint32_t key;
        double x1, y1, x2, y2;
    };
    struct FillRect {
        Rgb color;
        Box box;
    };

    void addFill(std::uint32_t styleIndex, const Box& box);
    std::uint32_t lineKey(const BorderSide& side);
    void addSegment(const BorderSide* side, double x1, double y1, double x2, double y2);
    const BorderSide* sideOf(std::size_t ri, std::size_t ci, int which) const;
    void addEdges();
    void addDiagonal(std::uint32_t styleIndex, const Box& box);
    void addDiagonals();
    void strokeSegments(cairo_t* cr);

    const Workbook& m_book;
    const PageGrid& m_grid;
    double m_scale;
    std::vector<std::pair<std::string, Rgb>> m_lineKeys; // border style and colour
    std::vector<Segment> m_segments;
    std::vector<FillRect> m_fills;
};

} // namespace quenly::wb::pdf
