// The texts of the cells of a page: shown through their number formats, aligned, wrapped,
// shrunk or turned as their formats say, and clipped where a spreadsheet clips them.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <string>
#include <vector>

#include "pdf/page_grid.h"
#include "pdf/text_drawer.h"
#include "print/cell_placement.h"
#include "print/number_format.h"

namespace quenly::wb::pdf {

class CellTextPainter {
public:
    /// `book`, `grid` and `texts` must outlive the painter.
    CellTextPainter(const Workbook& book, const PageGrid& grid, TextDrawer& texts)
        : m_book(book)
        , m_grid(grid)
        , m_texts(texts) {}

    /// Draws the text of every cell and merge of the page `grid` is prepared for.
    void paintTexts(cairo_t* cr);

private:
    // How a cell's text is placed, and the width its lines wrap at (< 0 for no wrapping).
    struct Placement : print::CellPlacement {
        double wrapWidth = -1;
    };
    // The text as laid out for drawing, and the factor it is shrunk by to fit.
    struct Fitted {
        std::string text;
        const std::vector<RichRun>* runs = nullptr;
        print::Laid laid;
        double shrink = 1;
    };
    // Where a cell's text goes: its box and visible row and column, and whether it is a merge.
    struct Where {
        Box box;
        std::size_t ri = 0, ci = 0;
        bool merged = false;
    };

    // A piece of a text drawn piece by piece: text, room as wide as a character, or the fill.
    struct Piece {
        enum class Kind : std::uint8_t { Text, Room, Fill };
        Kind kind = Kind::Text;
        std::string text; // the text, or the character of the room or fill
        double width = 0;
    };

    void paintCell(cairo_t* cr, const Cell& cell, Where where);
    static std::vector<Piece> piecesOf(const print::DisplayText& shown);
    bool paintPieces(cairo_t* cr, const print::DisplayText& shown, const Where& where,
                     const Placement& p, std::uint32_t styleIndex, const Rgb& color);
    void drawFill(cairo_t* cr, const std::string& fill, std::uint32_t styleIndex, double from,
                  double to, double baseline, const Rgb& color, bool clipped);
    void drawAt(cairo_t* cr, const print::Laid& laid, double x, double baseline, const Rgb& color,
                bool clipped);
    void widenCenterContinuous(Where& where) const;
    Fitted textOf(const Cell& cell, const std::string& shown, const Placement& p) const;
    void fitNumber(Fitted& f, const Cell& cell, std::uint32_t styleIndex, const Placement& p,
                   double avail);
    void fitText(Fitted& f, const Cell& cell, std::uint32_t styleIndex, Placement& p, double avail);
    void drawTurned(cairo_t* cr, const Box& box, const print::Laid& laid, int rotation);
    void drawPlaced(cairo_t* cr, const Where& where, const Fitted& f, const Placement& p,
                    double size, const Rgb& color, bool number);
    void overflowRoom(std::size_t ri, std::size_t ci, double need, bool left, bool right,
                      double& toLeft, double& toRight) const;

    const Workbook& m_book;
    const PageGrid& m_grid;
    TextDrawer& m_texts;
};

} // namespace quenly::wb::pdf
