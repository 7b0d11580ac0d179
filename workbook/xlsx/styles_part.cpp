// The styles part (xl/styles.xml): number formats, fonts, fills and borders, each written once,
// and a cell format (xf) for every format of the workbook's style table, in its order.
#include "xlsx/styles_part.h"

#include "builtin_formats.h"
#include "xlsx/sheetml.h"

#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quenly::wb::xlsx_write {

using xml::XmlBuffer;

namespace {

void appendColor(XmlBuffer& b, std::string_view tag, const Color& c) {
    if (c.kind == Color::Kind::None) {
        return;
    }
    b.append('<');
    b.append(tag);
    if (c.kind == Color::Kind::Auto) {
        b.append(" auto=\"1\"/>");
        return;
    }
    static constexpr char hex[] = "0123456789ABCDEF";
    char argb[8];
    for (int i = 0; i < 8; ++i) {
        argb[i] = hex[(c.argb >> (28 - 4 * i)) & 0xF];
    }
    b.attr("rgb", std::string_view(argb, 8));
    b.append("/>");
}

} // namespace

void appendFontProperties(XmlBuffer& b, const Font& f, bool run) {
    if (f.bold) {
        b.append("<b/>");
    }
    if (f.italic) {
        b.append("<i/>");
    }
    if (f.strike) {
        b.append("<strike/>");
    }
    if (f.underline == "single") {
        b.append("<u/>");
    } else if (!f.underline.empty() && f.underline != "none") {
        b.append("<u");
        b.attr("val", f.underline);
        b.append("/>");
    }
    if (!f.vertAlign.empty() && f.vertAlign != "baseline") {
        b.append("<vertAlign");
        b.attr("val", f.vertAlign);
        b.append("/>");
    }
    if (f.size > 0) {
        b.append("<sz");
        b.attrDouble("val", f.size);
        b.append("/>");
    }
    appendColor(b, "color", f.color);
    if (!f.name.empty()) {
        b.append(run ? "<rFont" : "<name");
        b.attr("val", f.name);
        b.append("/>");
    }
    if (f.family > 0) {
        b.append("<family");
        b.attr("val", static_cast<std::uint64_t>(f.family));
        b.append("/>");
    }
    if (f.charset >= 0) {
        b.append("<charset");
        b.attr("val", static_cast<std::uint64_t>(f.charset));
        b.append("/>");
    }
    if (!f.scheme.empty() && f.scheme != "none") {
        b.append("<scheme");
        b.attr("val", f.scheme);
        b.append("/>");
    }
}

namespace {

void appendBorderSide(XmlBuffer& b, std::string_view tag, const BorderSide& s) {
    b.append('<');
    b.append(tag);
    if (s.style.empty() || s.style == "none") {
        b.append("/>");
        return;
    }
    b.attr("style", s.style);
    b.append('>');
    appendColor(b, "color", s.color);
    b.append("</");
    b.append(tag);
    b.append('>');
}

std::string fontXml(const Font& f) {
    XmlBuffer b;
    b.append("<font>");
    appendFontProperties(b, f, false);
    b.append("</font>");
    return b.take();
}

std::string fillXml(const Fill& f) {
    XmlBuffer b;
    const bool none = f.pattern.empty() || f.pattern == "none";
    b.append("<fill><patternFill");
    b.attr("patternType", none ? std::string_view("none") : std::string_view(f.pattern));
    if (none || (f.fg.kind == Color::Kind::None && f.bg.kind == Color::Kind::None)) {
        b.append("/></fill>");
        return b.take();
    }
    b.append('>');
    appendColor(b, "fgColor", f.fg);
    appendColor(b, "bgColor", f.bg);
    b.append("</patternFill></fill>");
    return b.take();
}

std::string borderXml(const Border& br) {
    XmlBuffer b;
    b.append("<border");
    if (br.diagonalUp) {
        b.append(" diagonalUp=\"1\"");
    }
    if (br.diagonalDown) {
        b.append(" diagonalDown=\"1\"");
    }
    b.append('>');
    appendBorderSide(b, "left", br.left);
    appendBorderSide(b, "right", br.right);
    appendBorderSide(b, "top", br.top);
    appendBorderSide(b, "bottom", br.bottom);
    appendBorderSide(b, "diagonal", br.diagonal);
    b.append("</border>");
    return b.take();
}

// Deduplicated XML snippets of one kind (fonts, fills or borders) in order of first use.
class SnippetTable {
public:
    std::uint32_t intern(std::string xml) {
        const auto [it, added] = m_ids.try_emplace(xml, static_cast<std::uint32_t>(m_items.size()));
        if (added) {
            m_items.push_back(std::move(xml));
        }
        return it->second;
    }
    const std::vector<std::string>& items() const { return m_items; }

private:
    std::unordered_map<std::string, std::uint32_t> m_ids;
    std::vector<std::string> m_items;
};

// The number format id of a format code: the built-in id when the code is one whose meaning
// every locale shares, else an id from 164 on, one per code in order of first use.
class NumberFormats {
public:
    std::uint32_t idOf(const std::string& code) {
        if (code.empty()) {
            return 0;
        }
        const int builtin = builtinNumberFormatId(code);
        if (builtin >= 0 && isPortableBuiltinFormat(builtin)) {
            return static_cast<std::uint32_t>(builtin);
        }
        const auto [it, added] =
            m_ids.try_emplace(code, static_cast<std::uint32_t>(164 + m_custom.size()));
        if (added) {
            m_custom.emplace_back(code, it->second);
        }
        return it->second;
    }

    void append(XmlBuffer& b) const {
        if (m_custom.empty()) {
            return;
        }
        b.append("<numFmts");
        b.attr("count", m_custom.size());
        b.append('>');
        for (const auto& [code, id] : m_custom) {
            b.append("<numFmt");
            b.attr("numFmtId", id);
            b.attr("formatCode", code);
            b.append("/>");
        }
        b.append("</numFmts>");
    }

private:
    std::unordered_map<std::string_view, std::uint32_t> m_ids; // views into the style table
    std::vector<std::pair<std::string_view, std::uint32_t>> m_custom;
};

struct Xf {
    std::uint32_t numFmt, font, fill, border;
};

// The tables of a workbook's styles: every number format, font, fill and border once, and the
// xf of each format.
struct StyleParts {
    NumberFormats numberFormats;
    SnippetTable fonts, fills, borders;
    std::vector<Xf> xfs;
};

StyleParts collectStyleParts(const StyleTable& styles) {
    StyleParts parts;
    // Fills 0 and 1 are reserved by SpreadsheetML; border 0 is the empty border and font 0 the
    // default format's font, which the Normal cell style refers to.
    parts.fonts.intern(fontXml(styles.at(0).font));
    parts.fills.intern(fillXml(Fill{}));
    parts.fills.intern(fillXml(Fill{"gray125", {}, {}}));
    parts.borders.intern(borderXml(Border{}));
    parts.xfs.reserve(styles.size());
    for (std::size_t i = 0; i < styles.size(); ++i) {
        const CellFormat& f = styles.at(static_cast<std::uint32_t>(i));
        parts.xfs.push_back(
            {parts.numberFormats.idOf(f.numberFormat), parts.fonts.intern(fontXml(f.font)),
             parts.fills.intern(fillXml(f.fill)), parts.borders.intern(borderXml(f.border))});
    }
    return parts;
}

void appendSnippets(XmlBuffer& b, std::string_view tag, const SnippetTable& t) {
    b.append('<');
    b.append(tag);
    b.attr("count", t.items().size());
    b.append('>');
    for (const std::string& s : t.items()) {
        b.append(s);
    }
    b.append("</");
    b.append(tag);
    b.append('>');
}

void appendAlignment(XmlBuffer& b, const Alignment& a) {
    b.append("<alignment");
    if (!a.horizontal.empty() && a.horizontal != "general") {
        b.attr("horizontal", a.horizontal);
    }
    if (!a.vertical.empty() && a.vertical != "bottom") {
        b.attr("vertical", a.vertical);
    }
    if (a.rotation > 0) {
        b.attr("textRotation", static_cast<std::uint64_t>(a.rotation));
    }
    if (a.wrap) {
        b.append(" wrapText=\"1\"");
    }
    if (a.indent > 0) {
        b.attr("indent", static_cast<std::uint64_t>(a.indent));
    }
    if (a.shrink) {
        b.append(" shrinkToFit=\"1\"");
    }
    b.append("/>");
}

// One <xf> of <cellXfs>: the ids of its parts, which of them apply, and its alignment and
// protection when they are not the defaults.
void appendXf(XmlBuffer& b, const Xf& xf, const CellFormat& f) {
    b.append("<xf");
    b.attr("numFmtId", xf.numFmt);
    b.attr("fontId", xf.font);
    b.attr("fillId", xf.fill);
    b.attr("borderId", xf.border);
    b.append(" xfId=\"0\"");
    if (xf.numFmt != 0) {
        b.append(" applyNumberFormat=\"1\"");
    }
    if (xf.font != 0) {
        b.append(" applyFont=\"1\"");
    }
    if (xf.fill != 0) {
        b.append(" applyFill=\"1\"");
    }
    if (xf.border != 0) {
        b.append(" applyBorder=\"1\"");
    }
    const bool align = !(f.alignment == Alignment{});
    const bool protect = !(f.protection == Protection{});
    if (align) {
        b.append(" applyAlignment=\"1\"");
    }
    if (protect) {
        b.append(" applyProtection=\"1\"");
    }
    if (!align && !protect) {
        b.append("/>");
        return;
    }
    b.append('>');
    if (align) {
        appendAlignment(b, f.alignment);
    }
    if (protect) {
        b.append("<protection");
        if (!f.protection.locked) {
            b.append(" locked=\"0\"");
        }
        if (f.protection.hidden) {
            b.append(" hidden=\"1\"");
        }
        b.append("/>");
    }
    b.append("</xf>");
}

} // namespace

std::string stylesXml(const StyleTable& styles) {
    const StyleParts parts = collectStyleParts(styles);
    XmlBuffer b;
    b.append(kXmlDecl);
    b.append("<styleSheet");
    b.attr("xmlns", kMainNs);
    b.append('>');
    parts.numberFormats.append(b);
    appendSnippets(b, "fonts", parts.fonts);
    appendSnippets(b, "fills", parts.fills);
    appendSnippets(b, "borders", parts.borders);
    b.append("<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
             "borderId=\"0\"/></cellStyleXfs>");
    b.append("<cellXfs");
    b.attr("count", parts.xfs.size());
    b.append('>');
    for (std::size_t i = 0; i < parts.xfs.size(); ++i) {
        appendXf(b, parts.xfs[i], styles.at(static_cast<std::uint32_t>(i)));
    }
    b.append("</cellXfs>");
    b.append("<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
             "</cellStyles>");
    b.append("<dxfs count=\"0\"/><tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium9\" "
             "defaultPivotStyle=\"PivotStyleLight16\"/>");
    b.append("</styleSheet>");
    return b.take();
}

} // namespace quenly::wb::xlsx_write
