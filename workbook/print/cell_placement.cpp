// How the text of a cell is placed in its box: alignment, wrapping, indent, turning, padding.
#include "print/cell_placement.h"

#include <glib.h>

#include <algorithm>

namespace quenly::wb::print {

namespace {

// Every code point of `text` on a line of its own, for vertical text.
std::string stacked(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (i > 0 && (byte & 0xC0) != 0x80) {
            out += '\n';
        }
        out += text[i];
    }
    return out;
}

} // namespace

CellPlacement placementOf(const Cell& cell, const Alignment& al) {
    const bool number = cell.type == CellType::Number;
    CellPlacement p;
    p.h = al.horizontal;
    if (p.h.empty() || p.h == "general") {
        p.h = number ? "right" : cell.type == CellType::Text ? "left" : "center";
    }
    p.v = al.vertical.empty() ? "bottom" : al.vertical;
    p.wrap = al.wrap && !number;
    if (p.h == "justify" || p.h == "distributed") {
        p.wrap = !number;
        p.justify = p.h == "distributed" ? 2 : 1;
    }
    if (p.v == "justify" || p.v == "distributed") {
        p.wrap = !number;
        p.v = p.v == "justify" ? "top" : "center";
    }
    p.vertical = al.rotation == 255;
    p.rotation = p.vertical ? 0 : std::clamp(al.rotation, 0, 180);
    const bool indentable = p.h == "left" || p.h == "right" || p.h == "distributed";
    p.indent = indentable ? std::max(al.indent, 0) * kIndentPt : 0;
    if (p.vertical || p.h == "center" || p.h == "centerContinuous") {
        p.align = PANGO_ALIGN_CENTER;
    } else if (p.h == "right") {
        p.align = PANGO_ALIGN_RIGHT;
    }
    return p;
}

double textRoom(const CellPlacement& p, double boxWidth) {
    return std::max(boxWidth - 2 * kCellPadX - p.indent, 1.0);
}

std::string textToLay(std::string_view shown, const CellPlacement& p) {
    std::string text(shown);
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
        // Broken UTF-8 would put cairo in an error state for the rest of the document.
        gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
        text = valid;
        g_free(valid);
    }
    if (p.vertical) {
        text = stacked(text);
    }
    return text;
}

const std::vector<RichRun>* runsOf(const Workbook& book, const Cell& cell, std::string_view shown,
                                   std::string_view laid) {
    if (cell.type != CellType::Text || cell.text >= book.strings.size() || shown != laid) {
        return nullptr;
    }
    const SharedString& s = book.strings.at(cell.text);
    return !s.runs.empty() && s.text == shown ? &s.runs : nullptr;
}

} // namespace quenly::wb::print
