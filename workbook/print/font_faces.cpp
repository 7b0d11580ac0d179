// The pango faces of cell fonts: descriptions, sizes, lines and super- and subscripts.
#include "print/font_faces.h"

#include "print/font_map.h"
#include "print/font_metrics.h"

#include <algorithm>

namespace quenly::wb::print {

namespace {

PangoUnderline pangoUnderline(const std::string& u) {
    if (u.empty() || u == "none") {
        return PANGO_UNDERLINE_NONE;
    }
    if (u == "double" || u == "doubleAccounting") {
        return PANGO_UNDERLINE_DOUBLE;
    }
    return PANGO_UNDERLINE_SINGLE;
}

} // namespace

double effectiveSize(const Font& font) {
    const double size = font.size > 0 ? std::clamp(font.size, 1.0, 409.0) : 11.0;
    return font.vertAlign == "superscript" || font.vertAlign == "subscript" ? size * 0.65 : size;
}

PangoFontDescription* describeFont(const Font& font, const std::set<std::string>& installed) {
    PangoFontDescription* desc = pango_font_description_new();
    const std::string families =
        fontFamilies(font.name, font.family, installed, matchedFamily(font.name));
    pango_font_description_set_family(desc, families.c_str());
    pango_font_description_set_size(desc,
                                    static_cast<int>(effectiveSize(font) * PANGO_SCALE + 0.5));
    pango_font_description_set_weight(desc, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(desc, font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    return desc;
}

bool hasDecorations(const Font& font) {
    return pangoUnderline(font.underline) != PANGO_UNDERLINE_NONE || font.strike ||
           font.vertAlign == "superscript" || font.vertAlign == "subscript";
}

void insertAttr(PangoAttrList* list, PangoAttribute* attr, guint start, guint end) {
    attr->start_index = start;
    attr->end_index = end;
    pango_attr_list_insert(list, attr);
}

void decorationAttrs(PangoAttrList* list, const Font& font, guint start, guint end) {
    if (const PangoUnderline u = pangoUnderline(font.underline); u != PANGO_UNDERLINE_NONE) {
        insertAttr(list, pango_attr_underline_new(u), start, end);
    }
    if (font.strike) {
        insertAttr(list, pango_attr_strikethrough_new(TRUE), start, end);
    }
    if (font.vertAlign == "superscript") {
        insertAttr(list, pango_attr_rise_new(static_cast<int>(font.size * 0.35 * PANGO_SCALE)),
                   start, end);
    } else if (font.vertAlign == "subscript") {
        insertAttr(list, pango_attr_rise_new(static_cast<int>(-font.size * 0.15 * PANGO_SCALE)),
                   start, end);
    }
}

} // namespace quenly::wb::print
