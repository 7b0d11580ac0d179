// Reading styles.xml and the theme's colours of an .xlsx package into fully resolved formats.
#pragma once

#include "xlsx/xlsx_read_common.h"
#include "xlsx/zip_reader.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace quenly::wb::xlsx_read {

/// The colour scheme of a theme part (theme1.xml), in the index order cells use: lt1, dk1, lt2,
/// dk2, accent1-6, hlink, folHlink. Colours the part lacks keep the default Office theme's.
/// Throws WorkbookError for malformed XML.
ThemeColors readTheme(const ZipReader& zip, std::string_view part);
/// The same from XML text (for tests).
ThemeColors parseTheme(std::string_view xml);

/// The styles of a workbook once read: what each cellXfs index of the file became in the
/// workbook's StyleTable, the default font, and the palette for rich text runs.
struct ReadStyles {
    /// cellXfs index -> StyleTable index; never empty (index 0 of a file without styles maps to
    /// the default format).
    std::vector<std::uint32_t> xfToStyle;
    RawFont defaultFont;
    IndexedPalette palette;
    ThemeColors theme = defaultThemeColors();

    /// The StyleTable index for the cell style attribute `s` (out-of-range indices give 0).
    std::uint32_t style(std::uint32_t xf) const {
        return xf < xfToStyle.size() ? xfToStyle[xf] : 0;
    }
};

/// Reads the styles part (an empty `part` means the package has none), resolves every cell
/// format with `theme` and interns it into `styles`; the default font becomes the font of
/// `styles`' default format. Throws WorkbookError for malformed XML.
ReadStyles readStyles(const ZipReader* zip, std::string_view part, const ThemeColors& theme,
                      StyleTable& styles);
/// The same from XML text (for tests).
ReadStyles parseStyles(std::string_view xml, const ThemeColors& theme, StyleTable& styles);

} // namespace quenly::wb::xlsx_read
