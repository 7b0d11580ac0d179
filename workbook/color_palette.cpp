// The default indexed palette and the HLS tint arithmetic of spreadsheet colours.
#include "color_palette.h"

#include <algorithm>
#include <cmath>

namespace quenly::wb {

namespace {

constexpr std::array<std::uint32_t, IndexedPalette::kSize> kDefaultPalette = {
    0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFFFF00FF, 0xFF00FFFF,
    0xFF000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFFFF00FF, 0xFF00FFFF,
    0xFF800000, 0xFF008000, 0xFF000080, 0xFF808000, 0xFF800080, 0xFF008080, 0xFFC0C0C0, 0xFF808080,
    0xFF9999FF, 0xFF993366, 0xFFFFFFCC, 0xFFCCFFFF, 0xFF660066, 0xFFFF8080, 0xFF0066CC, 0xFFCCCCFF,
    0xFF000080, 0xFFFF00FF, 0xFFFFFF00, 0xFF00FFFF, 0xFF800080, 0xFF800000, 0xFF008080, 0xFF0000FF,
    0xFF00CCFF, 0xFFCCFFFF, 0xFFCCFFCC, 0xFFFFFF99, 0xFF99CCFF, 0xFFFF99CC, 0xFFCC99FF, 0xFFFFCC99,
    0xFF3366FF, 0xFF33CCCC, 0xFF99CC00, 0xFFFFCC00, 0xFFFF9900, 0xFFFF6600, 0xFF666699, 0xFF969696,
    0xFF003366, 0xFF339966, 0xFF003300, 0xFF333300, 0xFF993300, 0xFF993366, 0xFF333399, 0xFF333333,
};

double hueToRgb(double m1, double m2, double h) {
    if (h < 0) {
        h += 1;
    } else if (h > 1) {
        h -= 1;
    }
    if (h * 6 < 1) {
        return m1 + (m2 - m1) * h * 6;
    }
    if (h * 2 < 1) {
        return m2;
    }
    if (h * 3 < 2) {
        return m1 + (m2 - m1) * (2.0 / 3.0 - h) * 6;
    }
    return m1;
}

std::uint32_t toByte(double v) {
    return static_cast<std::uint32_t>(std::clamp(std::lround(v * 255.0), 0L, 255L));
}

} // namespace

IndexedPalette::IndexedPalette()
    : m_colors(kDefaultPalette) {}

void IndexedPalette::set(int index, std::uint32_t argb) {
    if (index >= 0 && index < kSize) {
        m_colors[static_cast<std::size_t>(index)] = argb;
    }
}

Color IndexedPalette::color(int index) const {
    if (index >= 0 && index < kSize) {
        return Color::rgb(m_colors[static_cast<std::size_t>(index)]);
    }
    if (index == 64 || index == 65) {
        return Color::automatic();
    }
    return {};
}

const std::array<std::uint32_t, IndexedPalette::kSize>& IndexedPalette::defaults() {
    return kDefaultPalette;
}

std::uint32_t applyTint(std::uint32_t argb, double tint) {
    if (tint == 0 || std::isnan(tint)) {
        return argb;
    }
    tint = std::clamp(tint, -1.0, 1.0);
    const double r = ((argb >> 16) & 0xFF) / 255.0;
    const double g = ((argb >> 8) & 0xFF) / 255.0;
    const double b = (argb & 0xFF) / 255.0;
    const double mx = std::max({r, g, b});
    const double mn = std::min({r, g, b});
    double l = (mx + mn) / 2;
    double h = 0;
    double s = 0;
    if (mx != mn) {
        const double d = mx - mn;
        s = l <= 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
        if (mx == r) {
            h = (g - b) / d / 6;
        } else if (mx == g) {
            h = (2 + (b - r) / d) / 6;
        } else {
            h = (4 + (r - g) / d) / 6;
        }
        if (h < 0) {
            h += 1;
        }
    }
    l = tint < 0 ? l * (1 + tint) : l * (1 - tint) + tint;
    double nr = l;
    double ng = l;
    double nb = l;
    if (s != 0) {
        const double m2 = l <= 0.5 ? l * (1 + s) : l + s - l * s;
        const double m1 = 2 * l - m2;
        nr = hueToRgb(m1, m2, h + 1.0 / 3.0);
        ng = hueToRgb(m1, m2, h);
        nb = hueToRgb(m1, m2, h - 1.0 / 3.0);
    }
    return (argb & 0xFF000000u) | (toByte(nr) << 16) | (toByte(ng) << 8) | toByte(nb);
}

} // namespace quenly::wb
