// Parsing styles.xml (number formats, fonts, fills, borders, xfs, palette) and theme colours.
#include "xlsx/xlsx_styles_reader.h"

#include "builtin_formats.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>

namespace quenly::wb::xlsx_read {

namespace {

// ---- theme ----------------------------------------------------------------------------------

class ThemeHandler : public XmlHandler {
public:
    ThemeColors colors = defaultThemeColors();

    void startElement(std::string_view name, const Attributes& a) override {
        if (name == "clrScheme") {
            m_inScheme = true;
            return;
        }
        if (!m_inScheme) {
            return;
        }
        if (m_slot < 0) {
            m_slot = slotOf(name);
            return;
        }
        std::uint32_t value = 0;
        const char* hex = nullptr;
        if (name == "srgbClr") {
            hex = a.get("val");
        } else if (name == "sysClr") {
            hex = a.get("lastClr");
            if (!hex) {
                const char* v = a.get("val");
                hex = v && std::string_view(v) == "window" ? "FFFFFF" : "000000";
            }
        }
        if (hex && parseHex(hex, value)) {
            colors[static_cast<std::size_t>(m_slot)] = 0xFF000000u | value;
        }
    }

    void endElement(std::string_view name) override {
        if (name == "clrScheme") {
            m_inScheme = false;
            m_slot = -1;
        } else if (m_slot >= 0 && slotOf(name) == m_slot) {
            m_slot = -1;
        }
    }

    void text(const char*, std::size_t) override {}

private:
    // Cells count lt1 and dk1 (and lt2, dk2) the other way round from the scheme's order.
    static int slotOf(std::string_view name) {
        static constexpr std::string_view kNames[] = {"lt1",     "dk1",     "lt2",     "dk2",
                                                      "accent1", "accent2", "accent3", "accent4",
                                                      "accent5", "accent6", "hlink",   "folHlink"};
        for (int i = 0; i < 12; ++i) {
            if (kNames[i] == name) {
                return i;
            }
        }
        return -1;
    }

    static bool parseHex(std::string_view s, std::uint32_t& out) {
        if (s.size() != 6) {
            return false;
        }
        out = 0;
        for (char c : s) {
            int d = -1;
            if (c >= '0' && c <= '9') {
                d = c - '0';
            } else if (c >= 'a' && c <= 'f') {
                d = c - 'a' + 10;
            } else if (c >= 'A' && c <= 'F') {
                d = c - 'A' + 10;
            }
            if (d < 0) {
                return false;
            }
            out = out * 16 + static_cast<std::uint32_t>(d);
        }
        return true;
    }

    bool m_inScheme = false;
    int m_slot = -1;
};

// ---- styles ---------------------------------------------------------------------------------

struct RawFill {
    std::string pattern = "none";
    RawColor fg;
    RawColor bg;
    bool gradient = false;
    std::vector<RawColor> stops;
};

struct RawSide {
    std::string style;
    RawColor color;
};

struct RawBorder {
    RawSide left, right, top, bottom, diagonal;
    bool diagonalUp = false;
    bool diagonalDown = false;
};

// An xf as written: ids into the tables, and whether each aspect is applied (-1 = not said).
struct RawXf {
    std::uint32_t numFmt = 0, font = 0, fill = 0, border = 0;
    std::optional<std::uint32_t> parent;
    int applyNumFmt = -1, applyFont = -1, applyFill = -1, applyBorder = -1;
    int applyAlignment = -1, applyProtection = -1;
    Alignment alignment;
    Protection protection;
};

enum class Section { None, NumFmts, Fonts, Fills, Borders, StyleXfs, CellXfs, Colors, Other };

int triState(const char* v) {
    if (!v) {
        return -1;
    }
    return parseBool(v, true) ? 1 : 0;
}

std::uint32_t idOf(const Attributes& a, std::string_view name) {
    const char* v = a.get(name);
    return v ? parseUnsigned(v).value_or(0) : 0;
}

class StylesHandler : public XmlHandler {
public:
    std::map<std::uint32_t, std::string> numFmts;
    std::vector<RawFont> fonts;
    std::vector<RawFill> fills;
    std::vector<RawBorder> borders;
    std::vector<RawXf> styleXfs;
    std::vector<RawXf> cellXfs;
    IndexedPalette palette;
    bool paletteChanged = false;

    void startElement(std::string_view name, const Attributes& a) override {
        ++m_depth;
        if (m_depth == 2) {
            m_section = sectionOf(name);
            return;
        }
        switch (m_section) {
        case Section::NumFmts:
            if (name == "numFmt") {
                const char* id = a.get("numFmtId");
                const char* code = a.get("formatCode");
                if (id && code) {
                    if (auto v = parseUnsigned(id)) {
                        numFmts[*v] = code;
                    }
                }
            }
            break;
        case Section::Fonts:
            if (m_depth == 3 && name == "font") {
                fonts.emplace_back();
            } else if (m_depth == 4 && !fonts.empty()) {
                applyFontElement(fonts.back(), name, a);
            }
            break;
        case Section::Fills:
            fillElement(name, a);
            break;
        case Section::Borders:
            borderElement(name, a);
            break;
        case Section::StyleXfs:
        case Section::CellXfs:
            xfElement(m_section == Section::StyleXfs ? styleXfs : cellXfs, name, a);
            break;
        case Section::Colors:
            if (name == "indexedColors") {
                m_inIndexed = true;
                m_indexedCount = 0;
            } else if (m_inIndexed && name == "rgbColor") {
                const RawColor c = RawColor::fromAttributes(a);
                if (c.kind == RawColor::Kind::Rgb) {
                    palette.set(m_indexedCount, c.value);
                    paletteChanged = true;
                }
                ++m_indexedCount;
            }
            break;
        case Section::None:
        case Section::Other:
            break;
        }
    }

    void endElement(std::string_view name) override {
        if (m_section == Section::Borders && m_depth == 4) {
            m_side = nullptr;
        }
        if (name == "indexedColors") {
            m_inIndexed = false;
        }
        if (m_depth == 2) {
            m_section = Section::None;
        }
        --m_depth;
    }

    void text(const char*, std::size_t) override {}

private:
    static Section sectionOf(std::string_view name) {
        if (name == "numFmts") {
            return Section::NumFmts;
        }
        if (name == "fonts") {
            return Section::Fonts;
        }
        if (name == "fills") {
            return Section::Fills;
        }
        if (name == "borders") {
            return Section::Borders;
        }
        if (name == "cellStyleXfs") {
            return Section::StyleXfs;
        }
        if (name == "cellXfs") {
            return Section::CellXfs;
        }
        if (name == "colors") {
            return Section::Colors;
        }
        return Section::Other;
    }

    void fillElement(std::string_view name, const Attributes& a) {
        if (m_depth == 3 && name == "fill") {
            fills.emplace_back();
            return;
        }
        if (fills.empty()) {
            return;
        }
        RawFill& f = fills.back();
        if (name == "patternFill") {
            const char* p = a.get("patternType");
            f.pattern = p ? p : "none";
        } else if (name == "fgColor") {
            f.fg = RawColor::fromAttributes(a);
        } else if (name == "bgColor") {
            f.bg = RawColor::fromAttributes(a);
        } else if (name == "gradientFill") {
            f.gradient = true;
        } else if (name == "color" && f.gradient) {
            f.stops.push_back(RawColor::fromAttributes(a));
        }
    }

    void borderElement(std::string_view name, const Attributes& a) {
        if (m_depth == 3 && name == "border") {
            borders.emplace_back();
            RawBorder& b = borders.back();
            b.diagonalUp = parseBool(a.get("diagonalUp"), false);
            b.diagonalDown = parseBool(a.get("diagonalDown"), false);
            return;
        }
        if (borders.empty()) {
            return;
        }
        RawBorder& b = borders.back();
        if (m_depth == 4) {
            m_side = nullptr;
            if (name == "left" || name == "start") {
                m_side = &b.left;
            } else if (name == "right" || name == "end") {
                m_side = &b.right;
            } else if (name == "top") {
                m_side = &b.top;
            } else if (name == "bottom") {
                m_side = &b.bottom;
            } else if (name == "diagonal") {
                m_side = &b.diagonal;
            }
            if (m_side) {
                const char* style = a.get("style");
                m_side->style = style && std::string_view(style) != "none" ? style : "";
            }
        } else if (m_depth == 5 && m_side && name == "color") {
            m_side->color = RawColor::fromAttributes(a);
        }
    }

    void xfElement(std::vector<RawXf>& xfs, std::string_view name, const Attributes& a) {
        if (m_depth == 3 && name == "xf") {
            RawXf& x = xfs.emplace_back();
            x.numFmt = idOf(a, "numFmtId");
            x.font = idOf(a, "fontId");
            x.fill = idOf(a, "fillId");
            x.border = idOf(a, "borderId");
            if (const char* p = a.get("xfId")) {
                x.parent = parseUnsigned(p);
            }
            x.applyNumFmt = triState(a.get("applyNumberFormat"));
            x.applyFont = triState(a.get("applyFont"));
            x.applyFill = triState(a.get("applyFill"));
            x.applyBorder = triState(a.get("applyBorder"));
            x.applyAlignment = triState(a.get("applyAlignment"));
            x.applyProtection = triState(a.get("applyProtection"));
            return;
        }
        if (m_depth != 4 || xfs.empty()) {
            return;
        }
        RawXf& x = xfs.back();
        if (name == "alignment") {
            Alignment& al = x.alignment;
            const char* h = a.get("horizontal");
            al.horizontal = h && std::string_view(h) != "general" ? h : "";
            const char* v = a.get("vertical");
            al.vertical = v && std::string_view(v) != "bottom" ? v : "";
            al.wrap = parseBool(a.get("wrapText"), false);
            al.shrink = parseBool(a.get("shrinkToFit"), false);
            const char* indent = a.get("indent");
            al.indent = indent ? std::clamp(parseInt(indent).value_or(0), 0, 250) : 0;
            const char* rot = a.get("textRotation");
            const int r = rot ? parseInt(rot).value_or(0) : 0;
            al.rotation = (r >= 0 && r <= 180) || r == 255 ? r : 0;
        } else if (name == "protection") {
            x.protection.locked = parseBool(a.get("locked"), true);
            x.protection.hidden = parseBool(a.get("hidden"), false);
        }
    }

    int m_depth = 0;
    Section m_section = Section::None;
    RawSide* m_side = nullptr;
    bool m_inIndexed = false;
    int m_indexedCount = 0;
};

std::uint32_t blend(std::uint32_t a, std::uint32_t b) {
    std::uint32_t out = 0xFF000000u;
    for (int shift = 0; shift < 24; shift += 8) {
        const std::uint32_t ca = (a >> shift) & 0xFF;
        const std::uint32_t cb = (b >> shift) & 0xFF;
        out |= ((ca + cb + 1) / 2) << shift;
    }
    return out;
}

class Resolver {
public:
    Resolver(const StylesHandler& h, const ThemeColors& theme)
        : m_h(h)
        , m_theme(theme) {}

    Font font(std::uint32_t id) const {
        if (id < m_h.fonts.size()) {
            return m_h.fonts[id].resolve(m_h.palette, m_theme);
        }
        return m_h.fonts.empty() ? Font{} : m_h.fonts[0].resolve(m_h.palette, m_theme);
    }

    Fill fill(std::uint32_t id) const {
        Fill out;
        if (id >= m_h.fills.size()) {
            return out;
        }
        const RawFill& f = m_h.fills[id];
        if (f.gradient) {
            // A gradient has no counterpart in the model: the mean of its end colours, solid.
            std::vector<Color> stops;
            for (const RawColor& c : f.stops) {
                const Color r = c.resolve(m_h.palette, m_theme);
                if (r.kind == Color::Kind::Rgb) {
                    stops.push_back(r);
                }
            }
            if (!stops.empty()) {
                out.pattern = "solid";
                out.fg = Color::rgb(blend(stops.front().argb, stops.back().argb));
            }
            return out;
        }
        out.pattern = f.pattern;
        out.fg = f.fg.resolve(m_h.palette, m_theme);
        out.bg = f.bg.resolve(m_h.palette, m_theme);
        return out;
    }

    Border border(std::uint32_t id) const {
        Border out;
        if (id >= m_h.borders.size()) {
            return out;
        }
        const RawBorder& b = m_h.borders[id];
        out.left = side(b.left);
        out.right = side(b.right);
        out.top = side(b.top);
        out.bottom = side(b.bottom);
        out.diagonal = side(b.diagonal);
        out.diagonalUp = b.diagonalUp;
        out.diagonalDown = b.diagonalDown;
        return out;
    }

    std::string numberFormat(std::uint32_t id) const {
        if (auto it = m_h.numFmts.find(id); it != m_h.numFmts.end()) {
            return it->second;
        }
        const std::string_view code = id < 1000 ? builtinNumberFormat(static_cast<int>(id)) : "";
        return code.empty() ? std::string("General") : std::string(code);
    }

    CellFormat format(const RawXf& x) const {
        const RawXf* parent = nullptr;
        if (x.parent && *x.parent < m_h.styleXfs.size()) {
            parent = &m_h.styleXfs[*x.parent];
        }
        // An aspect the cell format says it does not apply comes from its cell style.
        auto pick = [&](int apply) -> const RawXf& { return apply == 0 && parent ? *parent : x; };
        CellFormat f;
        f.numberFormat = numberFormat(pick(x.applyNumFmt).numFmt);
        f.font = font(pick(x.applyFont).font);
        f.fill = fill(pick(x.applyFill).fill);
        f.border = border(pick(x.applyBorder).border);
        f.alignment = pick(x.applyAlignment).alignment;
        f.protection = pick(x.applyProtection).protection;
        return f;
    }

private:
    BorderSide side(const RawSide& s) const {
        BorderSide out;
        out.style = s.style;
        if (!s.style.empty()) {
            out.color = s.color.resolve(m_h.palette, m_theme);
        }
        return out;
    }

    const StylesHandler& m_h;
    const ThemeColors& m_theme;
};

ReadStyles finish(const StylesHandler& h, const ThemeColors& theme, StyleTable& styles) {
    ReadStyles out;
    out.palette = h.palette;
    out.theme = theme;
    if (!h.fonts.empty()) {
        out.defaultFont = h.fonts[0];
    }
    const Resolver resolver(h, theme);
    CellFormat def;
    def.font = resolver.font(0);
    styles.setDefault(def);
    out.xfToStyle.reserve(std::max<std::size_t>(1, h.cellXfs.size()));
    for (const RawXf& x : h.cellXfs) {
        out.xfToStyle.push_back(styles.intern(resolver.format(x)));
    }
    if (out.xfToStyle.empty()) {
        out.xfToStyle.push_back(0);
    }
    return out;
}

} // namespace

ThemeColors readTheme(const ZipReader& zip, std::string_view part) {
    ThemeHandler h;
    parsePart(zip, part, h, kMaxSmallPart);
    return h.colors;
}

ThemeColors parseTheme(std::string_view xml) {
    ThemeHandler h;
    parseXml(xml, "theme", "xl/theme/theme1.xml", h);
    return h.colors;
}

ReadStyles readStyles(const ZipReader* zip, std::string_view part, const ThemeColors& theme,
                      StyleTable& styles) {
    StylesHandler h;
    if (zip && !part.empty()) {
        parsePart(*zip, part, h, kMaxStylesPart);
    }
    return finish(h, theme, styles);
}

ReadStyles parseStyles(std::string_view xml, const ThemeColors& theme, StyleTable& styles) {
    StylesHandler h;
    parseXml(xml, "styles", "xl/styles.xml", h);
    return finish(h, theme, styles);
}

} // namespace quenly::wb::xlsx_read
