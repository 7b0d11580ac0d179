// Texts of plain characters drawn from glyphs measured once per format, and gathered per face and
// colour over a page so that each is drawn in one call.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "pdf/style_mapping.h"
#include "print/text_layouts.h"

namespace quenly::wb::pdf {

/// One character of a format measured alone: the face pango chose for it, its glyph and
/// advance, and the baseline of a line of that face.
struct Glyph {
    PangoFont* font = nullptr; // null: the character needs pango's full layout
    PangoGlyph glyph = 0;
    int advance = 0;
    double baseline = 0;
    double height = 0; // of a line of that face
};

/// The glyphs of one format, by character.
using GlyphMap = std::unordered_map<char32_t, Glyph>;

/// Lays out one-line texts of digits, signs and CJK characters from their glyphs, which look
/// the same alone as next to others in the faces used here (no kerning, ligatures or
/// contextual forms), and batches them for drawing. Holds the text last laid out.
class GlyphCache {
public:
    explicit GlyphCache(PangoContext* context);
    ~GlyphCache();
    GlyphCache(const GlyphCache&) = delete;
    GlyphCache& operator=(const GlyphCache&) = delete;

    /// Lays out `text` in `face` from its glyphs (kept in `glyphs`), when it is one line of plain
    /// characters of one face; false when it needs pango's full layout.
    bool lay(const print::Face& face, GlyphMap& glyphs, std::string_view text, print::Laid& laid);
    /// Draws the text last laid out, the top left corner of its line at the current point.
    void showLast(cairo_t* cr, const print::Laid& laid);
    /// Queues the text last laid out, its baseline starting at (x, y); false when it must be
    /// drawn at once.
    bool queueLast(const Rgb& color, double x, double y);
    /// Draws every queued text.
    void flush(cairo_t* cr);
    /// Lets go of the faces of `glyphs`.
    static void releaseGlyphs(GlyphMap& glyphs);

private:
    const Glyph& glyphOf(const print::Face& face, GlyphMap& glyphs, char32_t cp);

    // Glyphs of one face and colour gathered over a page and drawn in one call: far fewer
    // text objects in the PDF, and far less work for cairo, than one per cell.
    struct Batch {
        cairo_scaled_font_t* font = nullptr;
        Rgb color;
        std::vector<cairo_glyph_t> glyphs;
        std::vector<cairo_text_cluster_t> clusters;
        std::string text;
    };

    PangoContext* m_context;
    std::string m_text;
    PangoGlyphItem m_item{pango_item_new(), pango_glyph_string_new(), 0, 0, 0};
    std::vector<Batch> m_batches;
};

} // namespace quenly::wb::pdf
