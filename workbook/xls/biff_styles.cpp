// The formatting records of BIFF5/BIFF8 and their resolution into full cell formats.
#include "xls/biff_styles.h"

#include "builtin_formats.h"
#include "little_endian.h"

#include <array>

namespace quenly::wb::xls {

namespace {

void parseTypeAndProtection(BiffXf& xf, std::uint16_t v) {
    xf.locked = (v & 0x0001) != 0;
    xf.hidden = (v & 0x0002) != 0;
    xf.isStyle = (v & 0x0004) != 0;
}

constexpr std::array<std::string_view, 8> kHorizontal = {
    "", "left", "center", "right", "fill", "justify", "centerContinuous", "distributed"};
constexpr std::array<std::string_view, 5> kVertical = {"top", "center", "", "justify",
                                                       "distributed"};

} // namespace

BiffXf parseXf8(const std::uint8_t* p) {
    BiffXf xf;
    xf.font = le16(p);
    xf.format = le16(p + 2);
    parseTypeAndProtection(xf, le16(p + 4));
    xf.horizontal = p[6] & 0x07;
    xf.wrap = (p[6] & 0x08) != 0;
    xf.vertical = (p[6] >> 4) & 0x07;
    xf.rotation = p[7];
    xf.indent = p[8] & 0x0F;
    xf.shrink = (p[8] & 0x10) != 0;
    const std::uint32_t b1 = le32(p + 10);
    const std::uint32_t b2 = le32(p + 14);
    const std::uint16_t pat = le16(p + 18);
    xf.left = b1 & 0x0F;
    xf.right = (b1 >> 4) & 0x0F;
    xf.top = (b1 >> 8) & 0x0F;
    xf.bottom = (b1 >> 12) & 0x0F;
    xf.leftColor = (b1 >> 16) & 0x7F;
    xf.rightColor = (b1 >> 23) & 0x7F;
    xf.diagonalDown = (b1 & 0x40000000u) != 0;
    xf.diagonalUp = (b1 & 0x80000000u) != 0;
    xf.topColor = b2 & 0x7F;
    xf.bottomColor = (b2 >> 7) & 0x7F;
    xf.diagonalColor = (b2 >> 14) & 0x7F;
    xf.diagonal = (b2 >> 21) & 0x0F;
    xf.pattern = (b2 >> 26) & 0x3F;
    xf.patternColor = pat & 0x7F;
    xf.patternBackground = (pat >> 7) & 0x7F;
    return xf;
}

BiffXf parseXf5(const std::uint8_t* p) {
    BiffXf xf;
    xf.font = le16(p);
    xf.format = le16(p + 2);
    parseTypeAndProtection(xf, le16(p + 4));
    xf.horizontal = p[6] & 0x07;
    xf.wrap = (p[6] & 0x08) != 0;
    xf.vertical = (p[6] >> 4) & 0x07;
    switch (p[7] & 0x03) {
    case 1:
        xf.rotation = 255; // letters stacked
        break;
    case 2:
        xf.rotation = 90;
        break;
    case 3:
        xf.rotation = 180;
        break;
    default:
        xf.rotation = 0;
    }
    const std::uint32_t a = le32(p + 8);
    const std::uint32_t b = le32(p + 12);
    xf.patternColor = a & 0x7F;
    xf.patternBackground = (a >> 7) & 0x7F;
    xf.pattern = (a >> 16) & 0x3F;
    xf.bottom = (a >> 22) & 0x07;
    xf.bottomColor = (a >> 25) & 0x7F;
    xf.top = b & 0x07;
    xf.left = (b >> 3) & 0x07;
    xf.right = (b >> 6) & 0x07;
    xf.topColor = (b >> 9) & 0x7F;
    xf.leftColor = (b >> 16) & 0x7F;
    xf.rightColor = (b >> 23) & 0x7F;
    return xf;
}

std::string_view lineStyleName(unsigned style) {
    static constexpr std::array<std::string_view, 14> kNames = {
        "",
        "thin",
        "medium",
        "dashed",
        "dotted",
        "thick",
        "double",
        "hair",
        "mediumDashed",
        "dashDot",
        "mediumDashDot",
        "dashDotDot",
        "mediumDashDotDot",
        "slantDashDot",
    };
    return style < kNames.size() ? kNames[style] : std::string_view();
}

std::string_view fillPatternName(unsigned pattern) {
    static constexpr std::array<std::string_view, 19> kNames = {
        "none",           "solid",           "mediumGray",    "darkGray",  "lightGray",
        "darkHorizontal", "darkVertical",    "darkDown",      "darkUp",    "darkGrid",
        "darkTrellis",    "lightHorizontal", "lightVertical", "lightDown", "lightUp",
        "lightGrid",      "lightTrellis",    "gray125",       "gray0625",
    };
    return pattern < kNames.size() ? kNames[pattern] : std::string_view("none");
}

const BiffFont* BiffStyles::fontAt(std::uint16_t index) const {
    if (index == 4) {
        return nullptr;
    }
    const std::size_t i = index > 4 ? index - 1u : index;
    return i < fonts.size() ? &fonts[i] : nullptr;
}

Color BiffStyles::color(std::uint16_t index) const {
    if (index == 0x7FFF || index == 64 || index == 65) {
        return Color::automatic();
    }
    return palette.color(index);
}

Font BiffStyles::resolveFont(const BiffFont& f) const {
    Font font = f.font;
    font.color = color(f.colorIndex);
    return font;
}

std::string BiffStyles::formatCode(std::uint16_t id) const {
    if (auto it = formats.find(id); it != formats.end() && !it->second.empty()) {
        return it->second;
    }
    std::string_view code = builtinNumberFormat(id);
    return code.empty() ? std::string("General") : std::string(code);
}

CellFormat BiffStyles::resolve(std::size_t index) const {
    // A cell XF carries every attribute group itself, whatever its used-attribute flags say:
    // Excel copies the parent style's attributes into it, and Excel, LibreOffice and xlrd show
    // a cell's own attributes even where a library wrote the flags all clear.
    const BiffXf& own = xfs.at(index);
    CellFormat f;
    f.numberFormat = formatCode(own.format);

    if (const BiffFont* bf = fontAt(own.font)) {
        f.font = resolveFont(*bf);
    } else if (!fonts.empty()) {
        f.font = resolveFont(fonts[0]);
    }

    f.alignment.horizontal = std::string(kHorizontal[own.horizontal & 0x07]);
    f.alignment.vertical =
        own.vertical < kVertical.size() ? std::string(kVertical[own.vertical]) : std::string();
    f.alignment.wrap = own.wrap;
    f.alignment.shrink = own.shrink;
    f.alignment.indent = own.indent;
    f.alignment.rotation = (own.rotation <= 180 || own.rotation == 255) ? own.rotation : 0;

    auto side = [&](std::uint8_t style, std::uint16_t colorIndex) {
        BorderSide s;
        s.style = std::string(lineStyleName(style));
        if (!s.style.empty()) {
            s.color = color(colorIndex);
        }
        return s;
    };
    f.border.left = side(own.left, own.leftColor);
    f.border.right = side(own.right, own.rightColor);
    f.border.top = side(own.top, own.topColor);
    f.border.bottom = side(own.bottom, own.bottomColor);
    if (own.diagonalDown || own.diagonalUp) {
        f.border.diagonal = side(own.diagonal, own.diagonalColor);
        f.border.diagonalDown = own.diagonalDown && !f.border.diagonal.style.empty();
        f.border.diagonalUp = own.diagonalUp && !f.border.diagonal.style.empty();
    }

    if (own.pattern != 0) {
        f.fill.pattern = std::string(fillPatternName(own.pattern));
        if (f.fill.pattern != "none") {
            f.fill.fg = color(own.patternColor);
            f.fill.bg = color(own.patternBackground);
        }
    }

    f.protection.locked = own.locked;
    f.protection.hidden = own.hidden;
    return f;
}

} // namespace quenly::wb::xls
