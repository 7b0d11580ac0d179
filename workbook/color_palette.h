// Spreadsheet colour helpers shared by the file readers: the indexed palette and theme tints.
#pragma once

#include "workbook.h"

#include <array>
#include <cstdint>

namespace quenly::wb {

/// The indexed colour palette of a workbook: the default 64 colours (index 0-63), which a file
/// may override entry by entry. Indices 64 and 65 are the system foreground and background and
/// resolve to an automatic colour.
class IndexedPalette {
public:
    static constexpr int kSize = 64;

    IndexedPalette();
    /// Replaces entry `index` (0-63); other indices are ignored.
    void set(int index, std::uint32_t argb);
    /// The colour of `index`: Rgb for 0-63, Auto for 64 and 65, None for anything else.
    Color color(int index) const;
    /// Excel's default palette, 0xAARRGGBB.
    static const std::array<std::uint32_t, kSize>& defaults();

private:
    std::array<std::uint32_t, kSize> m_colors;
};

/// Applies a SpreadsheetML tint (-1 darkens to black, +1 lightens to white) to an ARGB colour by
/// scaling its HLS luminance, as spreadsheet applications do; the alpha byte is kept. A tint
/// outside -1..1 is clamped.
std::uint32_t applyTint(std::uint32_t argb, double tint);

} // namespace quenly::wb
