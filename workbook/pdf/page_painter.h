// Draws the pages of a laid-out result sheet onto cairo: fills, borders, cell text, cut lines.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <memory>

#include "print/page_layout.h"
#include "workbook.h"

namespace quenly::wb::pdf {

/// Paints the pages of `layout` (made for `sheet` of `book`, which must outlive the painter).
/// Fonts and text layouts are made once per cell format and reused across pages.
class PagePainter {
public:
    PagePainter(const Workbook& book, const Worksheet& sheet, const print::PageLayout& layout,
                bool cutLines);
    ~PagePainter();
    PagePainter(const PagePainter&) = delete;
    PagePainter& operator=(const PagePainter&) = delete;

    /// Draws page `index` (from 0) of the layout onto `cr`, in points from the paper's top left
    /// corner. The caller starts and ends the cairo page. Never throws but for lack of memory.
    void paint(cairo_t* cr, std::size_t index);

    /// Draws the rows of `rows` as a page of the layout draws them (the same paper, margins,
    /// scale, column widths and row heights), scaled down further by `fit` (at most 1) from the
    /// top margin, centred across; without cut lines or page number. `rows` need not be a page
    /// of the layout. Never throws but for lack of memory.
    void paintRows(cairo_t* cr, const print::Page& rows, double fit);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace quenly::wb::pdf
