// Cell texts laid out with pango in the faces of their formats, kept for reuse across pages.
#pragma once

#include <cairo.h>
#include <pango/pangocairo.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "glyph_cache.h"
#include "workbook.h"

namespace quenly::wb::pdf {

/// Lays out the texts of the cells of `book` (which must outlive it). Faces and glyphs are
/// made once per format; plain one-line texts are laid out from glyphs, others by pango and
/// kept, but for rich texts, which are laid out afresh each time.
class TextLayouts {
public:
    explicit TextLayouts(const Workbook& book);
    ~TextLayouts();
    TextLayouts(const TextLayouts&) = delete;
    TextLayouts& operator=(const TextLayouts&) = delete;

    PangoContext* context() const { return m_context; }

    /// The face, decorations and colour of format `index` (format 0 for an index out of range).
    StyleInfo& style(std::uint32_t index);

    /// The largest size the text's fonts are drawn at: its format's, or a rich run's.
    double largestSize(std::uint32_t styleIndex, const std::vector<RichRun>* runs);

    /// Lays `text` out in format `styleIndex`; `wrapWidth` < 0 for one line; `justify` 1 to
    /// justify the lines, 2 the last one too. `runs`, when given, are the rich runs of `text`.
    /// Give the result back to release() when done with it.
    Laid lay(std::uint32_t styleIndex, std::string_view text, double wrapWidth,
             PangoAlignment align, int justify, const std::vector<RichRun>* runs);
    /// Lets go of a layout made for rich runs; kept ones stay.
    void release(const Laid& laid, const std::vector<RichRun>* runs);

    /// Draws `laid` with the top left corner of its first line at the current point.
    void show(cairo_t* cr, const Laid& laid);
    /// Queues the text last laid out from glyphs, its baseline starting at (x, y); false when
    /// it must be drawn at once.
    bool queueGlyphs(const Rgb& color, double x, double y) {
        return m_glyphs.queueLast(color, x, y);
    }
    /// Draws the queued texts.
    void flushGlyphs(cairo_t* cr) { m_glyphs.flush(cr); }

private:
    PangoAttrList* runAttributes(const StyleInfo& s, const std::vector<RichRun>& runs) const;
    void spaceLines(PangoLayout* pl, Laid& laid, double size) const;
    void clearCache();

    const Workbook& m_book;
    PangoContext* m_context = nullptr;
    std::set<std::string> m_installed; // family names in lower case
    std::vector<StyleInfo> m_styles;   // by style index; desc null until first used
    std::unordered_map<std::string, Laid> m_cache;
    std::string m_key;
    GlyphCache m_glyphs;
};

} // namespace quenly::wb::pdf
