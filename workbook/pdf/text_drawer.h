// Draws cell texts laid out in their faces: plain one-line texts from glyphs gathered over a page,
// others through pango.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string_view>
#include <vector>

#include "pdf/glyph_cache.h"
#include "pdf/style_mapping.h"
#include "print/text_layouts.h"
#include "workbook.h"

namespace quenly::wb::pdf {

/// The texts of the cells of `book` (which must outlive it) as drawn: laid out once per format
/// and text (print::TextLayouts), one-line texts of digits, signs and CJK characters from glyphs
/// measured once.
class TextDrawer {
public:
    explicit TextDrawer(const Workbook& book);
    ~TextDrawer();
    TextDrawer(const TextDrawer&) = delete;
    TextDrawer& operator=(const TextDrawer&) = delete;

    PangoContext* context() const { return m_layouts.context(); }
    /// The colour of the font of format `styleIndex`.
    Rgb color(std::uint32_t styleIndex) const;
    double largestSize(std::uint32_t styleIndex, const std::vector<RichRun>* runs) {
        return m_layouts.largestSize(styleIndex, runs);
    }

    /// As print::TextLayouts::lay; a one-line plain text comes from glyphs.
    print::Laid lay(std::uint32_t styleIndex, std::string_view text, double wrapWidth,
                    PangoAlignment align, int justify, const std::vector<RichRun>* runs);
    void release(const print::Laid& laid, const std::vector<RichRun>* runs) {
        m_layouts.release(laid, runs);
    }

    /// Draws `laid` with the top left corner of its first line at the current point.
    void show(cairo_t* cr, const print::Laid& laid);
    /// Queues the text last laid out from glyphs, its baseline starting at (x, y); false when
    /// it must be drawn at once.
    bool queueGlyphs(const Rgb& color, double x, double y) {
        return m_glyphs.queueLast(color, x, y);
    }
    /// Draws the queued texts.
    void flushGlyphs(cairo_t* cr) { m_glyphs.flush(cr); }

private:
    const Workbook& m_book;
    print::TextLayouts m_layouts;
    GlyphCache m_glyphs;
    std::vector<GlyphMap> m_glyphMaps; // by style index
};

} // namespace quenly::wb::pdf
