// Embedded fonts cut down to one page: a page split from slips drawn together keeps the glyphs
// and Unicode mappings of the characters it shows and no others.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>

class QPDF;

namespace quenly::delivery {

/// Trims the fonts of `doc`, a document of one page, to what that page shows. The page's text
/// (and that of the form XObjects it draws) is read for the codes shown in each font; every
/// other code is dropped from the font's ToUnicode map, and its glyph outline emptied in a
/// CID-keyed font program (CFF in FontFile3, TrueType in FontFile2, Identity-H codes). A simple
/// font keeps its glyphs (its codes are single bytes of Latin text) but loses the other
/// ToUnicode entries too. Nothing moves inside a font program, so its offsets stay true. Throws
/// DeliveryError on a font program it cannot read.
void trimFontsToPage(QPDF& doc);

/// trimFontsToPage for the documents of the pages of one document in turn: the font programs
/// they share are read and partly compressed once, not for every page.
class FontTrimmer {
public:
    FontTrimmer();
    ~FontTrimmer();
    FontTrimmer(const FontTrimmer&) = delete;
    FontTrimmer& operator=(const FontTrimmer&) = delete;

    void trim(QPDF& doc);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// `cff`, a CFF font program, with the charstrings of every glyph but glyph 0 and those whose
/// CID (or, for a font that is not CID-keyed, whose glyph index) is in `keep` filled with
/// endchar operators, each as long as before. Throws DeliveryError for what is no CFF.
std::string blankCffGlyphs(std::string cff, const std::set<std::uint32_t>& keep);

/// `font`, a TrueType font program, with the outlines of every glyph but glyph 0, those in
/// `keep` and the parts of kept composite glyphs zeroed (an empty glyph), each as long as
/// before. Throws DeliveryError for what is no TrueType font.
std::string blankTrueTypeGlyphs(std::string font, std::set<std::uint32_t> keep);

/// A ToUnicode CMap with the mappings of the codes in `keep` only, as bfchar entries; the rest
/// of the CMap (code space, names) as it was.
std::string trimToUnicode(std::string_view cmap, const std::set<std::uint32_t>& keep);

} // namespace quenly::delivery
