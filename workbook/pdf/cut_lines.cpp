// Cut lines between slips and page numbers.
#include "pdf/cut_lines.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

namespace quenly::wb::pdf {

void paintCutLines(cairo_t* cr, const print::PageLayout& layout, const PageGrid& grid,
                   const print::Page& page, double scale) {
    const auto& blocks = layout.blocks;
    auto it = std::lower_bound(
        blocks.begin(), blocks.end(), page.firstRow,
        [](const print::SlipBlock& b, std::uint32_t row) { return b.firstRow < row; });
    std::vector<double> ys;
    for (; it != blocks.end() && std::next(it) != blocks.end(); ++it) {
        const print::SlipBlock& next = *std::next(it);
        if (next.lastRow > page.lastRow) {
            break;
        }
        if (next.firstRow <= it->lastRow + 1) {
            continue; // no empty row between them
        }
        const double y0 = grid.allRowY[it->lastRow + 1 - page.firstRow];
        const double y1 = grid.allRowY[next.firstRow - page.firstRow];
        ys.push_back((y0 + y1) / 2);
    }
    if (ys.empty()) {
        return;
    }
    const double dashes[] = {3 / scale, 2 / scale};
    cairo_set_dash(cr, dashes, 2, 0);
    cairo_set_line_width(cr, 0.5 / scale);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
    cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
    for (const double y : ys) {
        cairo_move_to(cr, grid.colX.front(), y);
        cairo_line_to(cr, grid.colX.back(), y);
    }
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0);
}

void paintPageNumber(cairo_t* cr, PangoContext* context, const print::PageLayout& layout,
                     std::size_t index) {
    const std::string text = "第 " + std::to_string(index + 1) + " 页，共 " +
                             std::to_string(layout.pages.size()) + " 页";
    PangoLayout* pl = pango_layout_new(context);
    PangoFontDescription* desc = pango_font_description_from_string("Noto Sans CJK SC 7");
    pango_layout_set_font_description(pl, desc);
    pango_font_description_free(desc);
    pango_layout_set_text(pl, text.c_str(), static_cast<int>(text.size()));
    PangoRectangle logical;
    pango_layout_get_extents(pl, nullptr, &logical);
    const double w = pango_units_to_double(logical.width);
    const double baseline = pango_units_to_double(pango_layout_get_baseline(pl));
    const double footer = std::max(layout.margins.footer, 0.1) * 72;
    cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
    cairo_move_to(cr, (layout.paperWidthPt - w) / 2, layout.paperHeightPt - footer - baseline);
    pango_cairo_show_layout(cr, pl);
    g_object_unref(pl);
}

} // namespace quenly::wb::pdf
