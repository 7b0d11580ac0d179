// Small parsers shared by the parts of the .xlsx reader: addresses, numbers, colours, fonts.
#pragma once

#include "color_palette.h"
#include "workbook.h"
#include "xlsx/xml_reader.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quenly::wb::xlsx_read {

/// A decimal number (leading/trailing spaces and a leading '+' allowed); nullopt otherwise.
std::optional<double> parseDouble(std::string_view text);
/// A non-negative decimal integer; nullopt otherwise (also on overflow).
std::optional<std::uint32_t> parseUnsigned(std::string_view text);
/// An integer with optional sign; nullopt otherwise.
std::optional<int> parseInt(std::string_view text);
/// XML Schema booleans: "1"/"true" and "0"/"false"; `fallback` for absent or other text.
bool parseBool(const char* text, bool fallback);

/// Replaces the _xHHHH_ escapes of SpreadsheetML text by the characters they stand for.
void decodeEscapes(std::string& text);

/// An ISO 8601 date, time or date-time as a serial date number of the 1900 (or 1904) system.
std::optional<double> parseIsoDate(std::string_view text, bool date1904);

/// The colour of a theme: index 0-11 in SpreadsheetML order (lt1, dk1, lt2, dk2, accent1-6,
/// hlink, folHlink).
using ThemeColors = std::array<std::uint32_t, 12>;
/// The colours of the default Office theme.
ThemeColors defaultThemeColors();

/// A colour as a file wrote it, resolved once the palette and theme are known.
struct RawColor {
    enum class Kind : std::uint8_t { None, Auto, Rgb, Indexed, Theme };
    Kind kind = Kind::None;
    std::uint32_t value = 0;
    double tint = 0;

    /// From the attributes of a <color>, <fgColor>, <bgColor> element.
    static RawColor fromAttributes(const Attributes& a);
    Color resolve(const IndexedPalette& palette, const ThemeColors& theme) const;
};

/// A font with its colour still unresolved.
struct RawFont {
    Font font;
    RawColor color;
    Font resolve(const IndexedPalette& palette, const ThemeColors& theme) const {
        Font f = font;
        f.color = color.resolve(palette, theme);
        return f;
    }
};

/// Applies one child element of <font> or <rPr> (b, i, u, sz, color, name/rFont, ...) to `f`.
void applyFontElement(RawFont& f, std::string_view name, const Attributes& a);

} // namespace quenly::wb::xlsx_read
