// Draws the pages of a laid-out result sheet onto cairo: fills, borders, cell text, cut lines.
#include "pdf/page_painter.h"

#include "pdf/cell_text.h"
#include "pdf/cut_lines.h"
#include "pdf/fills_borders.h"
#include "pdf/page_grid.h"
#include "pdf/text_drawer.h"

#include <algorithm>

namespace quenly::wb::pdf {

struct PagePainter::Impl {
    Impl(const Workbook& book, const Worksheet& sheet, const print::PageLayout& l, bool cut)
        : layout(l)
        , cutLines(cut)
        , scale(std::clamp(l.scale, 10, 400) / 100.0)
        , texts(book)
        , grid(book, sheet, l)
        , cells(book, grid, texts)
        , lines(book, grid, scale) {}

    void paint(cairo_t* cr, std::size_t index) {
        paintRows(cr, layout.pages.at(index), 1.0, cutLines);
        if (layout.pages.size() > 1) {
            paintPageNumber(cr, texts.context(), layout, index);
        }
    }

    void paintRows(cairo_t* cr, const print::Page& page, double fit, bool withCutLines) {
        grid.preparePage(page);
        const double scaled = scale * fit;
        const double left = layout.margins.left * 72;
        const double right = layout.margins.right * 72;
        const double room = layout.paperWidthPt - left - right;
        const double printed = grid.colX.back() * scaled;
        cairo_save(cr);
        // The printed columns sit centred between the side margins, below the top margin.
        cairo_translate(cr, left + std::max(0.0, (room - printed) / 2), layout.margins.top * 72);
        cairo_scale(cr, scaled, scaled);
        if (!grid.rows.empty() && !grid.cols.empty()) {
            lines.paintFills(cr);
            cells.paintTexts(cr);
            lines.paintBorders(cr);
            if (withCutLines) {
                paintCutLines(cr, layout, grid, page, scaled);
            }
        }
        cairo_restore(cr);
    }

    const print::PageLayout& layout;
    bool cutLines;
    double scale;
    TextDrawer texts;
    PageGrid grid;
    CellTextPainter cells;
    FillsAndBorders lines;
};

PagePainter::PagePainter(const Workbook& book, const Worksheet& sheet,
                         const print::PageLayout& layout, bool cutLines)
    : m_impl(std::make_unique<Impl>(book, sheet, layout, cutLines)) {}

PagePainter::~PagePainter() = default;

void PagePainter::paint(cairo_t* cr, std::size_t index) {
    m_impl->paint(cr, index);
}

void PagePainter::paintRows(cairo_t* cr, const print::Page& rows, double fit) {
    m_impl->paintRows(cr, rows, fit, false);
}

} // namespace quenly::wb::pdf
