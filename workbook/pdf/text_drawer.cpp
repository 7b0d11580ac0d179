// Draws cell texts laid out in their faces, from glyphs where they can be.
#include "pdf/text_drawer.h"

#include <algorithm>

namespace quenly::wb::pdf {

TextDrawer::TextDrawer(const Workbook& book)
    : m_book(book)
    , m_layouts(book)
    , m_glyphs(m_layouts.context())
    , m_glyphMaps(std::max<std::size_t>(book.styles.size(), 1)) {}

TextDrawer::~TextDrawer() {
    for (GlyphMap& glyphs : m_glyphMaps) {
        GlyphCache::releaseGlyphs(glyphs);
    }
}

Rgb TextDrawer::color(std::uint32_t styleIndex) const {
    return colorOr(m_book.styles.at(styleIndex < m_book.styles.size() ? styleIndex : 0).font.color,
                   kBlack);
}

print::Laid TextDrawer::lay(std::uint32_t styleIndex, std::string_view text, double wrapWidth,
                            PangoAlignment align, int justify, const std::vector<RichRun>* runs) {
    if (!runs && justify < 2) {
        const std::uint32_t index = styleIndex < m_glyphMaps.size() ? styleIndex : 0;
        print::Laid laid;
        if (m_glyphs.lay(m_layouts.face(index), m_glyphMaps[index], text, laid) &&
            (wrapWidth < 0 || laid.width <= std::max(wrapWidth, 1.0))) {
            return laid;
        }
    }
    return m_layouts.lay(styleIndex, text, wrapWidth, align, justify, runs);
}

void TextDrawer::show(cairo_t* cr, const print::Laid& laid) {
    if (laid.layout) {
        pango_cairo_show_layout(cr, laid.layout);
        return;
    }
    m_glyphs.showLast(cr, laid);
}

} // namespace quenly::wb::pdf
