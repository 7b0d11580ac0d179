// The formatting records of BIFF5/BIFF8 (FONT, FORMAT, XF, PALETTE) and their resolution into
// full cell formats.
#pragma once

#include "color_palette.h"
#include "workbook.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quenly::wb::xls {

/// A FONT record: the font with its colour still an index into the palette.
struct BiffFont {
    Font font;
    std::uint16_t colorIndex = 0x7FFF;
};

/// An XF record in the form common to BIFF5 and BIFF8.
struct BiffXf {
    std::uint16_t font = 0;
    std::uint16_t format = 0;
    bool locked = true;
    bool hidden = false;
    bool isStyle = false;
    std::uint8_t horizontal = 0;
    std::uint8_t vertical = 2;
    bool wrap = false;
    bool shrink = false;
    std::uint8_t indent = 0;
    int rotation = 0;
    std::uint8_t left = 0, right = 0, top = 0, bottom = 0, diagonal = 0; // line styles
    std::uint16_t leftColor = 64, rightColor = 64, topColor = 64, bottomColor = 64,
                  diagonalColor = 64;
    bool diagonalDown = false;
    bool diagonalUp = false;
    std::uint8_t pattern = 0;
    std::uint16_t patternColor = 64;
    std::uint16_t patternBackground = 65;
};

/// Decodes a BIFF8 XF record body (20 bytes).
BiffXf parseXf8(const std::uint8_t* p);
/// Decodes a BIFF5/BIFF7 XF record body (16 bytes).
BiffXf parseXf5(const std::uint8_t* p);

/// The SpreadsheetML name of a BIFF line style ("" for none and unknown styles).
std::string_view lineStyleName(unsigned style);
/// The SpreadsheetML name of a BIFF fill pattern ("none" for 0 and unknown patterns).
std::string_view fillPatternName(unsigned pattern);

/// Everything the formatting records of one workbook gave, resolved on demand.
class BiffStyles {
public:
    std::vector<BiffFont> fonts;
    std::map<std::uint16_t, std::string> formats; // FORMAT records by id
    std::vector<BiffXf> xfs;
    IndexedPalette palette;

    /// The font of a font index as cells and rich text use it (index 4 does not exist), or
    /// nullptr when the index names no font.
    const BiffFont* fontAt(std::uint16_t index) const;
    /// The font with its colour resolved.
    Font resolveFont(const BiffFont& f) const;
    /// A palette index as a colour: 64, 65 and 0x7FFF are automatic.
    Color color(std::uint16_t index) const;
    /// The number format code of a format id.
    std::string formatCode(std::uint16_t id) const;
    /// The full format of XF `index`: its own attributes, whatever its used-attribute flags say.
    CellFormat resolve(std::size_t index) const;
};

} // namespace quenly::wb::xls
