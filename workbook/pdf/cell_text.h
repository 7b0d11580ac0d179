// The texts of the cells of a page: shown through their number formats, aligned, wrapped,
// shrunk or turned as their formats say, and clipped where a spreadsheet clips them.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <string>
#include <vector>

#include "page_grid.h"
#include "text_layouts.h"

namespace quenly::wb::pdf {

class CellTextPainter {
public:
    /// `book`, `grid` and `texts` must outlive the painter.
    CellTextPainter(const Workbook& book, const PageGrid& grid, TextLayouts& texts)
        : m_book(book)
        , m_grid(grid)
        , m_texts(texts) {}

    /// Draws the text of every cell and merge of the page `grid` is prepared for.
    void paintTexts(cairo_t* cr);

private:
    // How a cell's text is placed, from its format and value.
    struct Placement {
        std::string h; // left, center, right, fill, justify, distributed or centerContinuous
        std::string v; // top, center or bottom
        bool wrap = false;
        int justify = 0; // 1 justified lines, 2 the last line too
        bool vertical = false;
        int rotation = 0;
        double indent = 0;
        PangoAlignment align = PANGO_ALIGN_LEFT;
        double wrapWidth = -1; // the width lines wrap at; < 0 for one line
    };
    // The text as laid out for drawing, and the factor it is shrunk by to fit.
    struct Fitted {
        std::string text;
        const std::vector<RichRun>* runs = nullptr;
        Laid laid;
        double shrink = 1;
    };
    // Where a cell's text goes: its box and visible row and column, and whether it is a merge.
    struct Where {
        Box box;
        std::size_t ri = 0, ci = 0;
        bool merged = false;
    };

    void paintCell(cairo_t* cr, const Cell& cell, Where where);
    Placement placementOf(const Cell& cell, const Alignment& al) const;
    void widenCenterContinuous(Where& where) const;
    Fitted textOf(const Cell& cell, const std::string& shown, const Placement& p) const;
    void fitNumber(Fitted& f, const Cell& cell, std::uint32_t styleIndex, Placement& p,
                   double avail);
    void fitText(Fitted& f, const Cell& cell, std::uint32_t styleIndex, Placement& p, double avail);
    void drawTurned(cairo_t* cr, const Box& box, const Laid& laid, int rotation, double size);
    void drawPlaced(cairo_t* cr, const Where& where, const Fitted& f, const Placement& p,
                    double size, const Rgb& color, bool number);
    void overflowRoom(std::size_t ri, std::size_t ci, double need, bool left, bool right,
                      double& toLeft, double& toRight) const;

    const Workbook& m_book;
    const PageGrid& m_grid;
    TextLayouts& m_texts;
};

} // namespace quenly::wb::pdf
