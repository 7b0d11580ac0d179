// Cell texts laid out with pango in the faces of their formats, as they print: measured for the
// heights rows need, and drawn on PDF pages.
#pragma once

#include <pango/pangocairo.h>

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "workbook.h"

namespace quenly::wb::print {

/// A text laid out, with what placing it needs, in points.
struct Laid {
    PangoLayout* layout = nullptr; // null for a text laid out from single glyphs
    double width = 0;
    /// The height of its lines, spaced as their faces space them.
    double height = 0;
    /// The baselines of its first and last line, from the top of the first line.
    double firstBaseline = 0;
    double lastBaseline = 0;
};

/// The face a cell format draws its text with.
struct Face {
    PangoFontDescription* desc = nullptr;
    PangoAttrList* attrs = nullptr; // its lines and super-/subscript; null for none
    double size = 11;
    /// Where lines of Chinese text are spaced further apart than the face sets them: the height
    /// of such a line, in points; 0 for the face's own spacing.
    double chineseLineHeight = 0;
};

/// Lays out the texts of the cells of `book` (which must outlive it), each in the face of its
/// format: faces are made once per format, and laid-out texts are kept for reuse, but rich texts,
/// which are laid out afresh each time. Lines follow one another as their faces space them, as
/// in LibreOffice.
class TextLayouts {
public:
    explicit TextLayouts(const Workbook& book);
    ~TextLayouts();
    TextLayouts(const TextLayouts&) = delete;
    TextLayouts& operator=(const TextLayouts&) = delete;

    PangoContext* context() const { return m_context; }

    /// The face of format `index` (format 0 for an index out of range).
    const Face& face(std::uint32_t index);

    /// The largest size the text's fonts are drawn at: its format's, or a rich run's.
    double largestSize(std::uint32_t styleIndex, const std::vector<RichRun>* runs);

    /// Lays `text` out in format `styleIndex`; `wrapWidth` < 0 for one line; `justify` 1 to
    /// justify the lines, 2 the last one too. `runs`, when given, are the rich runs of `text`.
    /// Give the result back to release() when done with it.
    Laid lay(std::uint32_t styleIndex, std::string_view text, double wrapWidth,
             PangoAlignment align, int justify, const std::vector<RichRun>* runs);
    /// Lets go of a layout made for rich runs; kept ones stay.
    void release(const Laid& laid, const std::vector<RichRun>* runs);

    /// The width of `text` (valid UTF-8) in format `styleIndex` as the sum of its characters'
    /// advances, each measured alone once: within a point or two of its laid-out width, and
    /// much quicker to find for a text seen once.
    double sumOfAdvances(std::uint32_t styleIndex, std::string_view text);

private:
    PangoAttrList* runAttributes(const Face& face, const std::vector<RichRun>& runs) const;
    double chineseLineHeight(const PangoFontDescription* desc) const;
    void clearCache();

    const Workbook& m_book;
    PangoContext* m_context = nullptr;
    std::set<std::string> m_installed; // family names in lower case
    std::vector<Face> m_faces;         // by style index; desc null until first used
    std::unordered_map<std::string, Laid> m_cache;
    std::string m_key;
    std::unordered_map<std::uint64_t, double> m_advances; // by style index and character
};

} // namespace quenly::wb::print
