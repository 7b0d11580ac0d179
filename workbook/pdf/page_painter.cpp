// Draws the pages of a laid-out result sheet onto cairo: fills, borders, cell text, cut lines.
#include "pdf/page_painter.h"

#include "pdf/font_map.h"
#include "print/number_format.h"
#include "text_util.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quenly::wb::pdf {

namespace {

// Room between a cell's edges and its text, and the width of one indent level, in points.
constexpr double kPadX = 1.5;
constexpr double kPadY = 1.0;
constexpr double kIndentPt = 7.5;
// Where text sits on its line, as parts of the font size: the em box of CJK faces reaches this
// far above and below the baseline. Spreadsheets size rows for it, not for the faces' generous
// ascent and descent.
constexpr double kEmAscent = 0.88;
constexpr double kEmDescent = 0.24;
// Baseline to baseline of wrapped lines, as a part of the font size.
constexpr double kLineAdvance = 1.25;
// Thinnest line drawn on paper, in points, whatever the print scale.
constexpr double kMinLinePt = 0.3;
// Layouts kept for reuse before the cache starts afresh.
constexpr std::size_t kLayoutCacheLimit = 8192;

struct Rgb {
    double r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

Rgb rgbOf(std::uint32_t argb) {
    return {((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0};
}

Rgb colorOr(const Color& c, Rgb fallback) {
    return c.kind == Color::Kind::Rgb ? rgbOf(c.argb) : fallback;
}

const Rgb kBlack{0, 0, 0};
const Rgb kWhite{1, 1, 1};

// How much of the pattern colour a pattern fill shows; the rest is its background colour.
double patternCoverage(const std::string& pattern) {
    if (pattern == "solid") {
        return 1;
    }
    if (pattern == "gray0625") {
        return 0.0625;
    }
    if (pattern == "gray125") {
        return 0.125;
    }
    if (pattern.starts_with("light")) { // lightGray and the light hatchings
        return 0.25;
    }
    if (pattern == "mediumGray") {
        return 0.5;
    }
    if (pattern == "darkGray") {
        return 0.75;
    }
    if (pattern.starts_with("dark")) { // the dark hatchings
        return 0.5;
    }
    return 0;
}

// A border style as drawn: width in points, dash pattern in points (empty = solid), doubled.
struct LineSpec {
    double width = 0.5;
    std::vector<double> dashes;
    bool doubled = false;
};

LineSpec lineSpec(const std::string& style) {
    if (style == "hair") {
        return {0.25, {}, false};
    }
    if (style == "medium") {
        return {1.0, {}, false};
    }
    if (style == "thick") {
        return {1.5, {}, false};
    }
    if (style == "double") {
        return {0.5, {}, true};
    }
    if (style == "dashed") {
        return {0.5, {2.25, 0.75}, false};
    }
    if (style == "dotted") {
        return {0.5, {0.75, 0.75}, false};
    }
    if (style == "dashDot") {
        return {0.5, {2.25, 0.75, 0.75, 0.75}, false};
    }
    if (style == "dashDotDot") {
        return {0.5, {2.25, 0.75, 0.75, 0.75, 0.75, 0.75}, false};
    }
    if (style == "mediumDashed") {
        return {1.0, {4.5, 1.5}, false};
    }
    if (style == "mediumDashDot") {
        return {1.0, {4.5, 1.5, 1.5, 1.5}, false};
    }
    if (style == "mediumDashDotDot") {
        return {1.0, {4.5, 1.5, 1.5, 1.5, 1.5, 1.5}, false};
    }
    if (style == "slantDashDot") {
        return {1.0, {4.5, 0.75, 1.5, 0.75}, false};
    }
    return {0.5, {}, false}; // thin, and any style not known
}

// Which of two sides meeting on one edge wins: the heavier line, as spreadsheets draw it.
int borderWeight(const std::string& style) {
    static const std::unordered_map<std::string, int> weights{
        {"hair", 1},          {"dotted", 2},        {"dashDotDot", 3},   {"dashDot", 4},
        {"dashed", 5},        {"thin", 6},          {"slantDashDot", 7}, {"mediumDashDotDot", 8},
        {"mediumDashDot", 9}, {"mediumDashed", 10}, {"medium", 11},      {"double", 12},
        {"thick", 13},
    };
    if (style.empty()) {
        return 0;
    }
    const auto it = weights.find(style);
    return it == weights.end() ? 6 : it->second;
}

const BorderSide* strongerSide(const BorderSide* a, const BorderSide* b) {
    const int wa = a ? borderWeight(a->style) : 0;
    const int wb = b ? borderWeight(b->style) : 0;
    if (wa == 0 && wb == 0) {
        return nullptr;
    }
    return wb >= wa ? b : a;
}

// A General number shown with at most `decimals` decimals, trailing zeros dropped.
std::string generalWithDecimals(double value, int decimals) {
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    std::string s(buf, res.ptr);
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') {
            s.pop_back();
        }
        if (!s.empty() && s.back() == '.') {
            s.pop_back();
        }
    }
    if (s == "-0") {
        s = "0";
    }
    return s;
}

int decimalsShown(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || text.find_first_of("Ee") != std::string_view::npos) {
        return -1;
    }
    return static_cast<int>(text.size() - dot - 1);
}

// Every code point of `text` on a line of its own, for vertical text.
std::string stacked(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (i > 0 && (byte & 0xC0) != 0x80) {
            out += '\n';
        }
        out += text[i];
    }
    return out;
}

PangoUnderline pangoUnderline(const std::string& u) {
    if (u.empty() || u == "none") {
        return PANGO_UNDERLINE_NONE;
    }
    if (u == "double" || u == "doubleAccounting") {
        return PANGO_UNDERLINE_DOUBLE;
    }
    return PANGO_UNDERLINE_SINGLE;
}

void insertAttr(PangoAttrList* list, PangoAttribute* attr, guint start, guint end) {
    attr->start_index = start;
    attr->end_index = end;
    pango_attr_list_insert(list, attr);
}

// The attributes a font puts on bytes start .. end of a text beyond its face: lines and
// super-/subscript.
void decorationAttrs(PangoAttrList* list, const Font& font, guint start, guint end) {
    if (const PangoUnderline u = pangoUnderline(font.underline); u != PANGO_UNDERLINE_NONE) {
        insertAttr(list, pango_attr_underline_new(u), start, end);
    }
    if (font.strike) {
        insertAttr(list, pango_attr_strikethrough_new(TRUE), start, end);
    }
    if (font.vertAlign == "superscript") {
        insertAttr(list, pango_attr_rise_new(static_cast<int>(font.size * 0.35 * PANGO_SCALE)),
                   start, end);
    } else if (font.vertAlign == "subscript") {
        insertAttr(list, pango_attr_rise_new(static_cast<int>(-font.size * 0.15 * PANGO_SCALE)),
                   start, end);
    }
}

double effectiveSize(const Font& font) {
    const double size = font.size > 0 ? std::clamp(font.size, 1.0, 409.0) : 11.0;
    return font.vertAlign == "superscript" || font.vertAlign == "subscript" ? size * 0.65 : size;
}

struct Box {
    double x = 0, y = 0, w = 0, h = 0;
};

// A text laid out once, with what placing it needs, in points.
struct Laid {
    PangoLayout* layout = nullptr; // null for a text drawn from single glyphs
    double width = 0;
    double firstBaseline = 0;
    double lastBaseline = 0;
};

// Characters that look the same alone as next to others in the faces used here: no kerning,
// ligatures or contextual forms. Digits and the signs of numbers, and CJK ideographs and
// punctuation; a text of these alone is drawn from glyphs measured once.
bool isPlainGlyph(char32_t cp) {
    if (cp < 0x80) {
        return (cp >= '0' && cp <= '9') || cp == ' ' || cp == ',' || cp == '.' || cp == '-' ||
               cp == '+' || cp == '%' || cp == '(' || cp == ')' || cp == '/' || cp == ':' ||
               cp == '$' || cp == '#';
    }
    return cp == 0xA5 || (cp >= 0x3000 && cp <= 0x303F) || (cp >= 0x3400 && cp <= 0x4DBF) ||
           (cp >= 0x4E00 && cp <= 0x9FFF) || (cp >= 0xFF01 && cp <= 0xFF5E);
}

// The code point at `i` of UTF-8 `s`, advancing `i`; 0xFFFD for a broken sequence.
char32_t nextCodePoint(std::string_view s, std::size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    const int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + static_cast<std::size_t>(len) > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = len == 1 ? b : b & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        cp = (cp << 6) | (static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) & 0x3F);
    }
    i += static_cast<std::size_t>(len);
    return cp;
}

} // namespace

struct PagePainter::Impl {
    // One character of a format measured alone: the face pango chose for it, its glyph and
    // advance, and the baseline of a line of that face.
    struct Glyph {
        PangoFont* font = nullptr; // null: the character needs pango's full layout
        PangoGlyph glyph = 0;
        int advance = 0;
        double baseline = 0;
    };

    // What every cell of one format shares: its face, decorations, colour and glyphs.
    struct StyleInfo {
        PangoFontDescription* desc = nullptr;
        PangoAttrList* attrs = nullptr;
        double size = 11;
        Rgb color;
        std::unordered_map<char32_t, Glyph> glyphs;
    };

    struct Segment {
        std::uint32_t key;
        double x1, y1, x2, y2;
    };

    struct FillRect {
        Rgb color;
        Box box;
    };

    const Workbook& book;
    const Worksheet& sheet;
    const print::PageLayout& layout;
    bool cutLines;
    double scale;
    PangoContext* context = nullptr;
    std::set<std::string> installed;
    std::vector<StyleInfo> styles; // by style index; desc null until first used
    std::unordered_map<std::string, Laid> cache;
    std::string keyBuf;
    // The text last laid out from single glyphs, and its glyphs.
    std::string glyphText;
    PangoGlyphItem glyphItem{pango_item_new(), pango_glyph_string_new(), 0, 0, 0};

    // Glyphs of one face and colour gathered over a page and drawn in one call: far fewer
    // text objects in the PDF, and far less work for cairo, than one per cell.
    struct GlyphBatch {
        cairo_scaled_font_t* font = nullptr;
        Rgb color;
        std::vector<cairo_glyph_t> glyphs;
        std::vector<cairo_text_cluster_t> clusters;
        std::string text;
    };
    std::vector<GlyphBatch> batches;

    // Printed columns that have a width, their left edges (one more at the end), and the
    // position of each column among them (-1 for hidden ones).
    std::vector<std::uint32_t> cols;
    std::vector<double> colX;
    std::vector<int> colPos;

    // The page being painted: its rows that have a height, their top edges, the top edge of
    // every row of the page (hidden ones too), and which merge each visible cell is part of.
    std::vector<std::uint32_t> rows;
    std::vector<double> rowY;
    std::vector<double> allRowY;
    struct MergeInfo {
        CellRange range;
        Box box;
        std::size_t topRow = 0, leftCol = 0; // visible row and column of the box's top left
    };
    std::vector<MergeInfo> merges;
    std::vector<int> mergeOf;
    std::vector<std::pair<std::string, Rgb>> lineKeys;
    std::vector<Segment> segments;
    std::vector<FillRect> fills;

    Impl(const Workbook& b, const Worksheet& s, const print::PageLayout& l, bool cut)
        : book(b)
        , sheet(s)
        , layout(l)
        , cutLines(cut)
        , scale(std::clamp(l.scale, 10, 400) / 100.0) {
        PangoFontMap* map = pango_cairo_font_map_get_default();
        context = pango_font_map_create_context(map);
        cairo_font_options_t* options = cairo_font_options_create();
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
        pango_cairo_context_set_font_options(context, options);
        cairo_font_options_destroy(options);
        pango_cairo_context_set_resolution(context, 72);
        pango_context_set_language(context, pango_language_from_string("zh-cn"));
        pango_context_set_round_glyph_positions(context, FALSE);
        PangoFontFamily** families = nullptr;
        int count = 0;
        pango_font_map_list_families(map, &families, &count);
        for (int i = 0; i < count; ++i) {
            installed.insert(lowerAscii(pango_font_family_get_name(families[i])));
        }
        g_free(families);
        // Sized once, so references to entries stay valid.
        styles.resize(std::max<std::size_t>(book.styles.size(), 1));

        colPos.assign(static_cast<std::size_t>(std::max<std::int64_t>(layout.lastCol + 1, 0)), -1);
        double x = 0;
        for (std::size_t c = 0; c < colPos.size(); ++c) {
            const double w = c < layout.columnWidthsPt.size() ? layout.columnWidthsPt[c] : 0;
            if (w > 0) {
                colPos[c] = static_cast<int>(cols.size());
                cols.push_back(static_cast<std::uint32_t>(c));
                colX.push_back(x);
                x += w;
            }
        }
        colX.push_back(x);
    }

    ~Impl() {
        clearCache();
        for (StyleInfo& s : styles) {
            if (s.desc) {
                pango_font_description_free(s.desc);
            }
            if (s.attrs) {
                pango_attr_list_unref(s.attrs);
            }
            for (auto& [cp, g] : s.glyphs) {
                if (g.font) {
                    g_object_unref(g.font);
                }
            }
        }
        pango_item_free(glyphItem.item);
        pango_glyph_string_free(glyphItem.glyphs);
        g_object_unref(context);
    }

    void clearCache() {
        for (auto& [key, laid] : cache) {
            g_object_unref(laid.layout);
        }
        cache.clear();
    }

    PangoFontDescription* describe(const Font& font) const {
        PangoFontDescription* desc = pango_font_description_new();
        pango_font_description_set_family(desc,
                                          fontFamilies(font.name, font.family, installed).c_str());
        pango_font_description_set_size(desc,
                                        static_cast<int>(effectiveSize(font) * PANGO_SCALE + 0.5));
        pango_font_description_set_weight(desc,
                                          font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
        pango_font_description_set_style(desc,
                                         font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        return desc;
    }

    StyleInfo& style(std::uint32_t index) {
        StyleInfo& s = styles[index < styles.size() ? index : 0];
        if (!s.desc) {
            const Font& font = book.styles.at(index < book.styles.size() ? index : 0).font;
            s.desc = describe(font);
            s.size = effectiveSize(font);
            s.color = colorOr(font.color, kBlack);
            if (pangoUnderline(font.underline) != PANGO_UNDERLINE_NONE || font.strike ||
                font.vertAlign == "superscript" || font.vertAlign == "subscript") {
                s.attrs = pango_attr_list_new();
                decorationAttrs(s.attrs, font, 0, PANGO_ATTR_INDEX_TO_TEXT_END);
            }
        }
        return s;
    }

    // The format index of a cell: its own, or its column's where the row has no cell there.
    std::uint32_t styleAt(std::uint32_t r, std::uint32_t c) const {
        const Row* row = sheet.row(r);
        const Cell* cell = row ? row->cell(c) : nullptr;
        const std::uint32_t s = cell ? cell->style : sheet.column(c).style;
        return s < book.styles.size() ? s : 0;
    }

    const Cell* cellAt(std::uint32_t r, std::uint32_t c) const {
        const Row* row = sheet.row(r);
        return row ? row->cell(c) : nullptr;
    }

    bool hasContent(std::uint32_t r, std::uint32_t c) const {
        const Cell* cell = cellAt(r, c);
        return cell && cell->type != CellType::Empty;
    }

    int mergeAt(std::size_t ri, std::size_t ci) const { return mergeOf[ri * cols.size() + ci]; }

    const Glyph& glyphOf(StyleInfo& s, char32_t cp) {
        const auto found = s.glyphs.find(cp);
        if (found != s.glyphs.end()) {
            return found->second;
        }
        Glyph& g = s.glyphs[cp];
        if (!isPlainGlyph(cp)) {
            return g;
        }
        std::string one;
        appendUtf8(one, static_cast<std::uint32_t>(cp));
        PangoLayout* pl = pango_layout_new(context);
        pango_layout_set_font_description(pl, s.desc);
        pango_layout_set_text(pl, one.data(), static_cast<int>(one.size()));
        PangoLayoutLine* line = pango_layout_get_line_readonly(pl, 0);
        if (line && line->runs && !line->runs->next) {
            const auto* run = static_cast<const PangoGlyphItem*>(line->runs->data);
            if (run->glyphs->num_glyphs == 1 &&
                (run->glyphs->glyphs[0].glyph & PANGO_GLYPH_UNKNOWN_FLAG) == 0 &&
                run->item->analysis.font) {
                g.font = PANGO_FONT(g_object_ref(run->item->analysis.font));
                g.glyph = run->glyphs->glyphs[0].glyph;
                g.advance = run->glyphs->glyphs[0].geometry.width;
                g.baseline = pango_units_to_double(pango_layout_get_baseline(pl));
            }
        }
        g_object_unref(pl);
        return g;
    }

    // Lays out a one-line text of plain characters of one face from their glyphs, into
    // glyphItem; false when the text needs pango's full layout.
    bool layGlyphs(StyleInfo& s, std::string_view text, Laid& laid) {
        if (s.attrs || text.empty()) {
            return false;
        }
        PangoGlyphString* gs = glyphItem.glyphs;
        pango_glyph_string_set_size(gs, static_cast<int>(text.size()));
        PangoFont* font = nullptr;
        double baseline = 0;
        int n = 0;
        int width = 0;
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t at = i;
            const Glyph& g = glyphOf(s, nextCodePoint(text, i));
            if (!g.font || (font && g.font != font)) {
                return false;
            }
            font = g.font;
            baseline = g.baseline;
            PangoGlyphInfo& info = gs->glyphs[n];
            info.glyph = g.glyph;
            info.geometry = {g.advance, 0, 0};
            info.attr.is_cluster_start = 1;
            gs->log_clusters[n] = static_cast<int>(at);
            width += g.advance;
            ++n;
        }
        pango_glyph_string_set_size(gs, n);
        PangoItem* item = glyphItem.item;
        if (item->analysis.font != font) {
            if (item->analysis.font) {
                g_object_unref(item->analysis.font);
            }
            item->analysis.font = PANGO_FONT(g_object_ref(font));
        }
        item->offset = 0;
        item->length = static_cast<int>(text.size());
        item->num_chars = n;
        glyphText.assign(text);
        laid.layout = nullptr;
        laid.width = pango_units_to_double(width);
        laid.firstBaseline = laid.lastBaseline = baseline;
        return true;
    }

    // Draws `laid` with the top left corner of its first line at the current point.
    void show(cairo_t* cr, const Laid& laid) {
        if (laid.layout) {
            pango_cairo_show_layout(cr, laid.layout);
            return;
        }
        double x, y;
        cairo_get_current_point(cr, &x, &y);
        cairo_move_to(cr, x, y + laid.firstBaseline);
        pango_cairo_show_glyph_item(cr, glyphText.c_str(), &glyphItem);
    }

    // Queues the text last laid out from glyphs, its baseline starting at (x, y); false when
    // it must be drawn at once.
    bool queueGlyphs(const Rgb& color, double x, double y) {
        cairo_scaled_font_t* font =
            pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(glyphItem.item->analysis.font));
        if (!font) {
            return false;
        }
        GlyphBatch* batch = nullptr;
        for (GlyphBatch& b : batches) {
            if (b.font == font && b.color == color) {
                batch = &b;
                break;
            }
        }
        if (!batch) {
            batch = &batches.emplace_back();
            batch->font = font;
            batch->color = color;
        }
        const PangoGlyphString* gs = glyphItem.glyphs;
        for (int i = 0; i < gs->num_glyphs; ++i) {
            batch->glyphs.push_back({gs->glyphs[i].glyph, x, y});
            x += pango_units_to_double(gs->glyphs[i].geometry.width);
            const int end = i + 1 < gs->num_glyphs ? gs->log_clusters[i + 1]
                                                   : static_cast<int>(glyphText.size());
            batch->clusters.push_back({end - gs->log_clusters[i], 1});
        }
        batch->text += glyphText;
        return true;
    }

    void flushGlyphs(cairo_t* cr) {
        for (GlyphBatch& b : batches) {
            if (b.glyphs.empty()) {
                continue;
            }
            cairo_set_scaled_font(cr, b.font);
            cairo_set_source_rgb(cr, b.color.r, b.color.g, b.color.b);
            cairo_show_text_glyphs(cr, b.text.data(), static_cast<int>(b.text.size()),
                                   b.glyphs.data(), static_cast<int>(b.glyphs.size()),
                                   b.clusters.data(), static_cast<int>(b.clusters.size()),
                                   static_cast<cairo_text_cluster_flags_t>(0));
            b.glyphs.clear();
            b.clusters.clear();
            b.text.clear();
        }
    }

    // Lays `text` out in format `styleIndex`; `wrapWidth` < 0 for one line. Rich runs, when
    // given, are laid out afresh; plain texts of one line are drawn from their glyphs or come
    // from the cache.
    Laid lay(std::uint32_t styleIndex, std::string_view text, double wrapWidth,
             PangoAlignment align, int justify, const std::vector<RichRun>* runs) {
        if (!runs && justify < 2) {
            Laid laid;
            if (layGlyphs(style(styleIndex), text, laid) &&
                (wrapWidth < 0 || laid.width <= std::max(wrapWidth, 1.0))) {
                return laid;
            }
        }
        if (!runs) {
            keyBuf.clear();
            keyBuf.append(reinterpret_cast<const char*>(&styleIndex), sizeof styleIndex);
            keyBuf.append(reinterpret_cast<const char*>(&wrapWidth), sizeof wrapWidth);
            keyBuf += static_cast<char>(align);
            keyBuf += static_cast<char>(justify);
            keyBuf.append(text);
            if (const auto it = cache.find(keyBuf); it != cache.end()) {
                return it->second;
            }
        }
        const StyleInfo& s = style(styleIndex);
        PangoLayout* pl = pango_layout_new(context);
        pango_layout_set_font_description(pl, s.desc);
        pango_layout_set_text(pl, text.data(), static_cast<int>(text.size()));
        if (runs) {
            PangoAttrList* list = s.attrs ? pango_attr_list_copy(s.attrs) : pango_attr_list_new();
            guint start = 0;
            for (const RichRun& run : *runs) {
                const guint end = start + static_cast<guint>(run.text.size());
                if (run.hasFont) {
                    PangoFontDescription* desc = describe(run.font);
                    insertAttr(list, pango_attr_font_desc_new(desc), start, end);
                    pango_font_description_free(desc);
                    if (run.font.color.kind == Color::Kind::Rgb) {
                        const std::uint32_t c = run.font.color.argb;
                        insertAttr(list,
                                   pango_attr_foreground_new(
                                       static_cast<guint16>(((c >> 16) & 0xFF) * 257),
                                       static_cast<guint16>(((c >> 8) & 0xFF) * 257),
                                       static_cast<guint16>((c & 0xFF) * 257)),
                                   start, end);
                    }
                    decorationAttrs(list, run.font, start, end);
                }
                start = end;
            }
            pango_layout_set_attributes(pl, list);
            pango_attr_list_unref(list);
        } else if (s.attrs) {
            pango_layout_set_attributes(pl, s.attrs);
        }
        if (wrapWidth >= 0) {
            pango_layout_set_width(pl, static_cast<int>(std::max(wrapWidth, 1.0) * PANGO_SCALE));
            pango_layout_set_wrap(pl, PANGO_WRAP_WORD_CHAR);
        }
        pango_layout_set_alignment(pl, align);
        if (justify > 0) {
            pango_layout_set_justify(pl, TRUE);
        }
        if (justify > 1) {
            pango_layout_set_justify_last_line(pl, TRUE);
        }
        Laid laid;
        laid.layout = pl;
        PangoRectangle logical;
        pango_layout_get_extents(pl, nullptr, &logical);
        laid.width = pango_units_to_double(logical.width);
        laid.firstBaseline = pango_units_to_double(pango_layout_get_baseline(pl));
        laid.lastBaseline = laid.firstBaseline;
        const int lines = pango_layout_get_line_count(pl);
        if (lines > 1) {
            // Lines follow one another at the spreadsheet's spacing rather than the face's.
            double size = s.size;
            if (runs) {
                for (const RichRun& run : *runs) {
                    if (run.hasFont) {
                        size = std::max(size, effectiveSize(run.font));
                    }
                }
            }
            PangoRectangle one;
            pango_layout_line_get_extents(pango_layout_get_line_readonly(pl, 0), nullptr, &one);
            const double lineHeight = pango_units_to_double(one.height);
            if (lineHeight > 0) {
                pango_layout_set_line_spacing(
                    pl, static_cast<float>(std::clamp(kLineAdvance * size / lineHeight, 0.5, 2.0)));
            }
            PangoLayoutIter* it = pango_layout_get_iter(pl);
            while (pango_layout_iter_next_line(it)) {
            }
            laid.lastBaseline = pango_units_to_double(pango_layout_iter_get_baseline(it));
            pango_layout_iter_free(it);
            laid.firstBaseline = pango_units_to_double(pango_layout_get_baseline(pl));
        }
        if (!runs) {
            if (cache.size() >= kLayoutCacheLimit) {
                clearCache();
            }
            cache.emplace(keyBuf, laid);
        }
        return laid;
    }

    void release(const Laid& laid, const std::vector<RichRun>* runs) {
        if (runs && laid.layout) {
            g_object_unref(laid.layout);
        }
    }

    // Sets up the page's rows and merges.
    void preparePage(const print::Page& page) {
        rows.clear();
        rowY.clear();
        allRowY.clear();
        double y = 0;
        for (std::uint32_t r = page.firstRow; r <= page.lastRow; ++r) {
            allRowY.push_back(y);
            const double h = r < layout.rowHeightsPt.size() ? layout.rowHeightsPt[r] : 0;
            if (h > 0) {
                rows.push_back(r);
                rowY.push_back(y);
                y += h;
            }
        }
        allRowY.push_back(y);
        rowY.push_back(y);
        merges.clear();
        mergeOf.assign(rows.size() * cols.size(), -1);
        if (rows.empty() || cols.empty()) {
            return;
        }
        const CellRange area{page.firstRow, 0, page.lastRow, cols.back()};
        for (const CellRange& m : sheet.merges().intersecting(area)) {
            if (m.firstRow == m.lastRow && m.firstCol == m.lastCol) {
                continue;
            }
            const std::size_t r0 = static_cast<std::size_t>(
                std::lower_bound(rows.begin(), rows.end(), m.firstRow) - rows.begin());
            const std::size_t r1 = static_cast<std::size_t>(
                std::upper_bound(rows.begin(), rows.end(), m.lastRow) - rows.begin());
            int c0 = -1, c1 = -1;
            for (std::uint32_t c = m.firstCol; c <= std::min(m.lastCol, cols.back()); ++c) {
                if (colPos[c] >= 0) {
                    c1 = colPos[c];
                    if (c0 < 0) {
                        c0 = c1;
                    }
                }
            }
            if (r0 >= r1 || c0 < 0) {
                continue; // wholly hidden here
            }
            const int index = static_cast<int>(merges.size());
            for (std::size_t ri = r0; ri < r1; ++ri) {
                for (int ci = c0; ci <= c1; ++ci) {
                    mergeOf[ri * cols.size() + static_cast<std::size_t>(ci)] = index;
                }
            }
            const auto cl = static_cast<std::size_t>(c0), cr = static_cast<std::size_t>(c1) + 1;
            merges.push_back(
                {m, {colX[cl], rowY[r0], colX[cr] - colX[cl], rowY[r1] - rowY[r0]}, r0, cl});
        }
    }

    void addFill(std::uint32_t styleIndex, const Box& box) {
        const Fill& fill = book.styles.at(styleIndex).fill;
        const double p = patternCoverage(fill.pattern);
        if (p <= 0 || box.w <= 0 || box.h <= 0) {
            return;
        }
        const Rgb fg = colorOr(fill.fg, kBlack);
        const Rgb bg = colorOr(fill.bg, kWhite);
        const Rgb c = p >= 1 ? fg
                             : Rgb{bg.r + (fg.r - bg.r) * p, bg.g + (fg.g - bg.g) * p,
                                   bg.b + (fg.b - bg.b) * p};
        // Neighbours of one colour in a row become one rectangle, so no seam shows between them.
        if (!fills.empty()) {
            FillRect& last = fills.back();
            if (last.color == c && last.box.y == box.y && last.box.h == box.h &&
                std::abs(last.box.x + last.box.w - box.x) < 1e-9) {
                last.box.w += box.w;
                return;
            }
        }
        fills.push_back({c, box});
    }

    void paintFills(cairo_t* cr) {
        fills.clear();
        for (std::size_t ri = 0; ri < rows.size(); ++ri) {
            for (std::size_t ci = 0; ci < cols.size(); ++ci) {
                if (mergeAt(ri, ci) >= 0) {
                    continue;
                }
                addFill(styleAt(rows[ri], cols[ci]),
                        {colX[ci], rowY[ri], colX[ci + 1] - colX[ci], rowY[ri + 1] - rowY[ri]});
            }
        }
        for (const MergeInfo& m : merges) {
            addFill(styleAt(m.range.firstRow, m.range.firstCol), m.box);
        }
        std::stable_sort(fills.begin(), fills.end(), [](const FillRect& a, const FillRect& b) {
            return std::tie(a.color.r, a.color.g, a.color.b) <
                   std::tie(b.color.r, b.color.g, b.color.b);
        });
        for (std::size_t i = 0; i < fills.size();) {
            const Rgb c = fills[i].color;
            cairo_set_source_rgb(cr, c.r, c.g, c.b);
            for (; i < fills.size() && fills[i].color == c; ++i) {
                const Box& b = fills[i].box;
                cairo_rectangle(cr, b.x, b.y, b.w, b.h);
            }
            cairo_fill(cr);
        }
    }

    std::uint32_t lineKey(const BorderSide& side) {
        const Rgb c = colorOr(side.color, kBlack);
        for (std::size_t i = 0; i < lineKeys.size(); ++i) {
            if (lineKeys[i].first == side.style && lineKeys[i].second == c) {
                return static_cast<std::uint32_t>(i);
            }
        }
        lineKeys.emplace_back(side.style, c);
        return static_cast<std::uint32_t>(lineKeys.size() - 1);
    }

    // Adds the edge from (x1, y1) to (x2, y2), joining it to the previous one when it goes on
    // in the same line.
    void addSegment(const BorderSide* side, double x1, double y1, double x2, double y2) {
        if (!side) {
            return;
        }
        const std::uint32_t key = lineKey(*side);
        if (!segments.empty()) {
            Segment& last = segments.back();
            if (last.key == key && last.x2 == x1 && last.y2 == y1 &&
                (last.x1 == last.x2) == (x1 == x2)) {
                last.x2 = x2;
                last.y2 = y2;
                return;
            }
        }
        segments.push_back({key, x1, y1, x2, y2});
    }

    const BorderSide* sideOf(std::size_t ri, std::size_t ci, int which) const {
        const Border& b = book.styles.at(styleAt(rows[ri], cols[ci])).border;
        const BorderSide& s = which == 0   ? b.top
                              : which == 1 ? b.bottom
                              : which == 2 ? b.left
                                           : b.right;
        return s.style.empty() || s.style == "none" ? nullptr : &s;
    }

    void paintBorders(cairo_t* cr) {
        segments.clear();
        const std::size_t nr = rows.size(), nc = cols.size();
        // Each edge once: the heavier of the two sides that meet on it, none inside a merge.
        for (std::size_t k = 0; k <= nr; ++k) {
            for (std::size_t ci = 0; ci < nc; ++ci) {
                if (k > 0 && k < nr && mergeAt(k - 1, ci) >= 0 &&
                    mergeAt(k - 1, ci) == mergeAt(k, ci)) {
                    continue;
                }
                const BorderSide* above = k > 0 ? sideOf(k - 1, ci, 1) : nullptr;
                const BorderSide* below = k < nr ? sideOf(k, ci, 0) : nullptr;
                addSegment(strongerSide(above, below), colX[ci], rowY[k], colX[ci + 1], rowY[k]);
            }
        }
        for (std::size_t k = 0; k <= nc; ++k) {
            for (std::size_t ri = 0; ri < nr; ++ri) {
                if (k > 0 && k < nc && mergeAt(ri, k - 1) >= 0 &&
                    mergeAt(ri, k - 1) == mergeAt(ri, k)) {
                    continue;
                }
                const BorderSide* left = k > 0 ? sideOf(ri, k - 1, 3) : nullptr;
                const BorderSide* right = k < nc ? sideOf(ri, k, 2) : nullptr;
                addSegment(strongerSide(left, right), colX[k], rowY[ri], colX[k], rowY[ri + 1]);
            }
        }
        addDiagonals();
        std::stable_sort(segments.begin(), segments.end(),
                         [](const Segment& a, const Segment& b) { return a.key < b.key; });
        for (std::size_t i = 0; i < segments.size();) {
            const std::uint32_t key = segments[i].key;
            const LineSpec spec = lineSpec(lineKeys[key].first);
            const Rgb c = lineKeys[key].second;
            cairo_set_source_rgb(cr, c.r, c.g, c.b);
            const double width = std::max(spec.width, kMinLinePt / scale);
            cairo_set_line_width(cr, width);
            if (spec.dashes.empty()) {
                cairo_set_dash(cr, nullptr, 0, 0);
                cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
            } else {
                cairo_set_dash(cr, spec.dashes.data(), static_cast<int>(spec.dashes.size()), 0);
                cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
            }
            for (; i < segments.size() && segments[i].key == key; ++i) {
                const Segment& s = segments[i];
                if (spec.doubled && (s.x1 == s.x2 || s.y1 == s.y2)) {
                    const double off = 0.75;
                    const double dx = s.y1 == s.y2 ? 0 : off;
                    const double dy = s.y1 == s.y2 ? off : 0;
                    cairo_move_to(cr, s.x1 - dx, s.y1 - dy);
                    cairo_line_to(cr, s.x2 - dx, s.y2 - dy);
                    cairo_move_to(cr, s.x1 + dx, s.y1 + dy);
                    cairo_line_to(cr, s.x2 + dx, s.y2 + dy);
                } else {
                    cairo_move_to(cr, s.x1, s.y1);
                    cairo_line_to(cr, s.x2, s.y2);
                }
            }
            cairo_stroke(cr);
        }
        cairo_set_dash(cr, nullptr, 0, 0);
    }

    void addDiagonal(std::uint32_t styleIndex, const Box& box) {
        const Border& b = book.styles.at(styleIndex).border;
        if (b.diagonal.style.empty() || b.diagonal.style == "none") {
            return;
        }
        const std::uint32_t key = lineKey(b.diagonal);
        if (b.diagonalDown) {
            segments.push_back({key, box.x, box.y, box.x + box.w, box.y + box.h});
        }
        if (b.diagonalUp) {
            segments.push_back({key, box.x, box.y + box.h, box.x + box.w, box.y});
        }
    }

    void addDiagonals() {
        for (std::size_t ri = 0; ri < rows.size(); ++ri) {
            for (std::size_t ci = 0; ci < cols.size(); ++ci) {
                if (mergeAt(ri, ci) < 0) {
                    addDiagonal(
                        styleAt(rows[ri], cols[ci]),
                        {colX[ci], rowY[ri], colX[ci + 1] - colX[ci], rowY[ri + 1] - rowY[ri]});
                }
            }
        }
        for (const MergeInfo& m : merges) {
            addDiagonal(styleAt(m.range.firstRow, m.range.firstCol), m.box);
        }
    }

    void paintTexts(cairo_t* cr) {
        for (std::size_t ri = 0; ri < rows.size(); ++ri) {
            const Row* row = sheet.row(rows[ri]);
            if (!row) {
                continue;
            }
            for (std::size_t ci = 0; ci < cols.size(); ++ci) {
                const Cell* cell = row->cell(cols[ci]);
                if (!cell || cell->type == CellType::Empty || mergeAt(ri, ci) >= 0) {
                    continue;
                }
                paintCell(cr, *cell,
                          {colX[ci], rowY[ri], colX[ci + 1] - colX[ci], rowY[ri + 1] - rowY[ri]},
                          ri, ci, false);
            }
        }
        for (const MergeInfo& m : merges) {
            const Cell* cell = cellAt(m.range.firstRow, m.range.firstCol);
            if (cell && cell->type != CellType::Empty) {
                paintCell(cr, *cell, m.box, m.topRow, m.leftCol, true);
            }
        }
        flushGlyphs(cr);
    }

    // How far text starting in visible column `ci` of visible row `ri` may spread over empty
    // neighbours: `toLeft` / `toRight` points beyond the cell's box.
    void overflowRoom(std::size_t ri, std::size_t ci, double need, bool left, bool right,
                      double& toLeft, double& toRight) const {
        toLeft = toRight = 0;
        const std::uint32_t r = rows[ri];
        if (right) {
            for (std::size_t k = ci + 1; k < cols.size() && toRight < need; ++k) {
                if (mergeAt(ri, k) >= 0 || hasContent(r, cols[k])) {
                    break;
                }
                toRight += colX[k + 1] - colX[k];
            }
        }
        if (left) {
            for (std::size_t k = ci; k-- > 0 && toLeft < need;) {
                if (mergeAt(ri, k) >= 0 || hasContent(r, cols[k])) {
                    break;
                }
                toLeft += colX[k + 1] - colX[k];
            }
        }
    }

    void paintCell(cairo_t* cr, const Cell& cell, Box box, std::size_t ri, std::size_t ci,
                   bool merged) {
        if (box.w <= 0 || box.h <= 0) {
            return;
        }
        const print::DisplayText shown = print::displayText(book, cell);
        if (shown.text.empty()) {
            return;
        }
        const CellFormat& format = book.styles.at(cell.style < book.styles.size() ? cell.style : 0);
        const std::uint32_t styleIndex = cell.style < book.styles.size() ? cell.style : 0;
        const Alignment& al = format.alignment;
        const bool number = cell.type == CellType::Number;

        std::string h = al.horizontal;
        if (h.empty() || h == "general") {
            h = number ? "right" : cell.type == CellType::Text ? "left" : "center";
        }
        std::string v = al.vertical.empty() ? "bottom" : al.vertical;
        bool wrap = al.wrap && !number;
        int justify = 0;
        if (h == "justify" || h == "distributed") {
            wrap = !number;
            justify = h == "distributed" ? 2 : 1;
        }
        if (v == "justify" || v == "distributed") {
            wrap = !number;
            v = v == "justify" ? "top" : "center";
        }
        if (h == "centerContinuous" && !merged) {
            // The text centres across the empty cells after it that centre continuously too.
            const std::uint32_t r = rows[ri];
            for (std::size_t k = ci + 1; k < cols.size(); ++k) {
                if (mergeAt(ri, k) >= 0 || hasContent(r, cols[k]) ||
                    book.styles.at(styleAt(r, cols[k])).alignment.horizontal !=
                        "centerContinuous") {
                    break;
                }
                box.w = colX[k + 1] - box.x;
            }
        }
        const bool vertical = al.rotation == 255;
        const int rotation = vertical ? 0 : std::clamp(al.rotation, 0, 180);
        const bool rotated = rotation != 0;
        const bool indentable = h == "left" || h == "right" || h == "distributed";
        const double indent = indentable ? std::max(al.indent, 0) * kIndentPt : 0;
        const double avail = std::max(box.w - 2 * kPadX - indent, 1.0);

        std::string text = shown.text;
        const std::vector<RichRun>* runs = nullptr;
        if (cell.type == CellType::Text && cell.text < book.strings.size()) {
            const SharedString& s = book.strings.at(cell.text);
            if (!s.runs.empty() && s.text == shown.text) {
                runs = &s.runs;
            }
        }
        if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) {
            // Broken UTF-8 would put cairo in an error state for the rest of the document;
            // its bytes show as replacement characters instead.
            gchar* valid = g_utf8_make_valid(text.data(), static_cast<gssize>(text.size()));
            text = valid;
            g_free(valid);
            runs = nullptr;
        }
        if (vertical) {
            text = stacked(text);
            runs = nullptr;
        } else if (!wrap) {
            // One line: line breaks show as blanks.
            std::replace(text.begin(), text.end(), '\n', ' ');
            std::replace(text.begin(), text.end(), '\r', ' ');
        }

        PangoAlignment palign = PANGO_ALIGN_LEFT;
        if (vertical || h == "center" || h == "centerContinuous") {
            palign = PANGO_ALIGN_CENTER;
        } else if (h == "right") {
            palign = PANGO_ALIGN_RIGHT;
        }
        const double wrapWidth = wrap && !rotated && !vertical ? avail : -1;
        Laid laid = lay(styleIndex, text, wrapWidth, palign, justify, runs);
        double shrink = 1;
        if (!rotated && !wrap && !vertical && laid.width > avail) {
            if (al.shrink) {
                shrink = avail / laid.width;
            } else if (number && h != "fill") {
                release(laid, runs);
                std::string fitted;
                // A General number gives up decimals before it gives up; others show "###".
                const int decimals = decimalsShown(text);
                if (format.numberFormat == "General" && decimals > 0) {
                    for (int d = decimals - 1; d >= 0; --d) {
                        std::string t = generalWithDecimals(cell.number, d);
                        const Laid trial = lay(styleIndex, t, -1, palign, 0, nullptr);
                        if (trial.width <= avail) {
                            fitted = std::move(t);
                            break;
                        }
                    }
                }
                if (fitted.empty()) {
                    const Laid hash = lay(styleIndex, "#", -1, palign, 0, nullptr);
                    const int n = hash.width > 0 ? static_cast<int>(avail / hash.width) : 1;
                    fitted.assign(static_cast<std::size_t>(std::max(n, 1)), '#');
                    h = "center";
                }
                text = std::move(fitted);
                runs = nullptr;
                laid = lay(styleIndex, text, -1, palign, 0, nullptr);
            }
        }
        if (h == "fill" && !wrap && !vertical && !rotated && laid.width > 0 && laid.width < avail) {
            // The text repeated as often as it fits whole.
            const int n = static_cast<int>(avail / laid.width);
            if (n > 1) {
                std::string repeated;
                for (int i = 0; i < n; ++i) {
                    repeated += text;
                }
                release(laid, runs);
                text = std::move(repeated);
                runs = nullptr;
                laid = lay(styleIndex, text, -1, palign, 0, nullptr);
            }
        }

        const StyleInfo& si = style(styleIndex);
        double size = si.size;
        if (runs) {
            for (const RichRun& run : *runs) {
                if (run.hasFont) {
                    size = std::max(size, effectiveSize(run.font));
                }
            }
        }
        const Rgb color = shown.hasColor ? rgbOf(shown.argb) : si.color;
        const double width = laid.width * shrink;
        const double em = (kEmAscent + kEmDescent) * size * shrink;
        const double block = (laid.lastBaseline - laid.firstBaseline) * shrink + em;

        cairo_save(cr);
        cairo_set_source_rgb(cr, color.r, color.g, color.b);
        if (rotated) {
            // Turned text: centred in its box, counter-clockwise for 1-90, clockwise beyond.
            const double degrees = rotation <= 90 ? rotation : -(rotation - 90);
            cairo_rectangle(cr, box.x, box.y, box.w, box.h);
            cairo_clip(cr);
            cairo_translate(cr, box.x + box.w / 2, box.y + box.h / 2);
            cairo_rotate(cr, -degrees * M_PI / 180);
            cairo_move_to(cr, -laid.width / 2, -block / 2 + kEmAscent * size - laid.firstBaseline);
            show(cr, laid);
            cairo_restore(cr);
            release(laid, runs);
            return;
        }

        double top;
        if (v == "top") {
            top = box.y + kPadY;
        } else if (v == "center") {
            top = box.y + (box.h - block) / 2;
        } else {
            top = box.y + box.h - kPadY - block;
        }
        double x;
        if ((wrapWidth >= 0 && laid.layout) || vertical) {
            x = box.x + kPadX + (h == "right" ? 0 : indent);
            if (vertical) {
                x = box.x + (box.w - width) / 2;
            }
        } else if (palign == PANGO_ALIGN_CENTER) {
            x = box.x + (box.w - width) / 2;
        } else if (palign == PANGO_ALIGN_RIGHT) {
            x = box.x + box.w - kPadX - indent - width;
        } else {
            x = box.x + kPadX + indent;
        }

        // Clip where the text would leave its box: to the cell, or for a one-line text beside
        // empty cells, to the run of them it may spread over.
        Box clip = box;
        const double inkLeft = x, inkRight = x + width;
        const bool overflows = inkLeft < box.x || inkRight > box.x + box.w;
        if (overflows && !merged && wrapWidth < 0 && !vertical && shrink == 1 && !number &&
            h != "fill") {
            double toLeft = 0, toRight = 0;
            const bool spreadLeft = palign != PANGO_ALIGN_LEFT;
            const bool spreadRight = palign != PANGO_ALIGN_RIGHT;
            overflowRoom(ri, ci, std::max(box.x - inkLeft, inkRight - box.x - box.w), spreadLeft,
                         spreadRight, toLeft, toRight);
            clip.x -= toLeft;
            clip.w += toLeft + toRight;
        }
        const bool needsClip = inkLeft < clip.x || inkRight > clip.x + clip.w || top < box.y ||
                               top + block > box.y + box.h;
        const double layoutY = top + kEmAscent * size * shrink - laid.firstBaseline * shrink;
        if (!laid.layout && !needsClip && shrink == 1 &&
            queueGlyphs(color, x, layoutY + laid.firstBaseline)) {
            cairo_restore(cr);
            return;
        }
        if (needsClip) {
            cairo_rectangle(cr, clip.x, clip.y, clip.w, clip.h);
            cairo_clip(cr);
        }
        if (shrink != 1) {
            cairo_translate(cr, x, layoutY);
            cairo_scale(cr, shrink, shrink);
            cairo_move_to(cr, 0, 0);
        } else {
            cairo_move_to(cr, x, layoutY);
        }
        show(cr, laid);
        cairo_restore(cr);
        release(laid, runs);
    }

    void paintCutLines(cairo_t* cr, const print::Page& page) {
        const auto& blocks = layout.blocks;
        auto it = std::lower_bound(
            blocks.begin(), blocks.end(), page.firstRow,
            [](const print::SlipBlock& b, std::uint32_t row) { return b.firstRow < row; });
        std::vector<double> ys;
        for (; it != blocks.end() && std::next(it) != blocks.end(); ++it) {
            const print::SlipBlock& next = *std::next(it);
            if (next.lastRow > page.lastRow) {
                break;
            }
            if (next.firstRow <= it->lastRow + 1) {
                continue; // no empty row between them
            }
            const double y0 = allRowY[it->lastRow + 1 - page.firstRow];
            const double y1 = allRowY[next.firstRow - page.firstRow];
            ys.push_back((y0 + y1) / 2);
        }
        if (ys.empty()) {
            return;
        }
        const double dashes[] = {3 / scale, 2 / scale};
        cairo_set_dash(cr, dashes, 2, 0);
        cairo_set_line_width(cr, 0.5 / scale);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        cairo_set_source_rgb(cr, 0.45, 0.45, 0.45);
        for (const double y : ys) {
            cairo_move_to(cr, colX.front(), y);
            cairo_line_to(cr, colX.back(), y);
        }
        cairo_stroke(cr);
        cairo_set_dash(cr, nullptr, 0, 0);
    }

    void paintPageNumber(cairo_t* cr, std::size_t index) {
        const std::string text = "第 " + std::to_string(index + 1) + " 页，共 " +
                                 std::to_string(layout.pages.size()) + " 页";
        PangoLayout* pl = pango_layout_new(context);
        PangoFontDescription* desc = pango_font_description_from_string("Noto Sans CJK SC 7");
        pango_layout_set_font_description(pl, desc);
        pango_font_description_free(desc);
        pango_layout_set_text(pl, text.c_str(), static_cast<int>(text.size()));
        PangoRectangle logical;
        pango_layout_get_extents(pl, nullptr, &logical);
        const double w = pango_units_to_double(logical.width);
        const double baseline = pango_units_to_double(pango_layout_get_baseline(pl));
        const double footer = std::max(layout.margins.footer, 0.1) * 72;
        cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
        cairo_move_to(cr, (layout.paperWidthPt - w) / 2, layout.paperHeightPt - footer - baseline);
        pango_cairo_show_layout(cr, pl);
        g_object_unref(pl);
    }

    void paint(cairo_t* cr, std::size_t index) {
        const print::Page& page = layout.pages.at(index);
        preparePage(page);
        const double left = layout.margins.left * 72;
        const double right = layout.margins.right * 72;
        const double room = layout.paperWidthPt - left - right;
        const double printed = colX.back() * scale;
        cairo_save(cr);
        // The printed columns sit centred between the side margins, below the top margin.
        cairo_translate(cr, left + std::max(0.0, (room - printed) / 2), layout.margins.top * 72);
        cairo_scale(cr, scale, scale);
        if (!rows.empty() && !cols.empty()) {
            paintFills(cr);
            paintTexts(cr);
            paintBorders(cr);
            if (cutLines) {
                paintCutLines(cr, page);
            }
        }
        cairo_restore(cr);
        if (layout.pages.size() > 1) {
            paintPageNumber(cr, index);
        }
    }
};

PagePainter::PagePainter(const Workbook& book, const Worksheet& sheet,
                         const print::PageLayout& layout, bool cutLines)
    : m_impl(std::make_unique<Impl>(book, sheet, layout, cutLines)) {}

PagePainter::~PagePainter() = default;

void PagePainter::paint(cairo_t* cr, std::size_t index) {
    m_impl->paint(cr, index);
}

} // namespace quenly::wb::pdf
