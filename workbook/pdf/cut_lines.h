// What a page carries beside the cells: dashed lines to cut the slips apart along, and the
// page number.
#pragma once

#include <cairo.h>
#include <pango/pango.h>

#include <cstddef>

#include "pdf/page_grid.h"
#include "print/page_layout.h"

namespace quenly::wb::pdf {

/// Draws a thin dashed line across the middle of each empty row between two slips of `page`,
/// as wide as the printed columns; in the grid's coordinates, at print scale `scale` (a part of
/// 1), so that the line is equally thin at every scale.
void paintCutLines(cairo_t* cr, const print::PageLayout& layout, const PageGrid& grid,
                   const print::Page& page, double scale);

/// Draws "第 n 页，共 m 页" centred in the footer of page `index` (from 0), in points of the
/// paper.
void paintPageNumber(cairo_t* cr, PangoContext* context, const print::PageLayout& layout,
                     std::size_t index);

} // namespace quenly::wb::pdf
