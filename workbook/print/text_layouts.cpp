// Cell texts laid out with pango in the faces of their formats, kept for reuse across pages.
#include "text_layouts.h"

#include "text_util.h"

#include <algorithm>

namespace quenly::wb::pdf {

namespace {

// Baseline to baseline of wrapped lines, as a part of the font size.
constexpr double kLineAdvance = 1.25;
// Layouts kept for reuse before the cache starts afresh.
constexpr std::size_t kLayoutCacheLimit = 8192;

PangoContext* newContext() {
    PangoContext* context = pango_font_map_create_context(pango_cairo_font_map_get_default());
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    pango_cairo_context_set_font_options(context, options);
    cairo_font_options_destroy(options);
    pango_cairo_context_set_resolution(context, 72);
    pango_context_set_language(context, pango_language_from_string("zh-cn"));
    pango_context_set_round_glyph_positions(context, FALSE);
    return context;
}

std::set<std::string> installedFamilies() {
    std::set<std::string> installed;
    PangoFontFamily** families = nullptr;
    int count = 0;
    pango_font_map_list_families(pango_cairo_font_map_get_default(), &families, &count);
    for (int i = 0; i < count; ++i) {
        installed.insert(lowerAscii(pango_font_family_get_name(families[i])));
    }
    g_free(families);
    return installed;
}

} // namespace

TextLayouts::TextLayouts(const Workbook& book)
    : m_book(book)
    , m_context(newContext())
    , m_installed(installedFamilies())
    , m_glyphs(m_context) {
    // Sized once, so references to entries stay valid.
    m_styles.resize(std::max<std::size_t>(book.styles.size(), 1));
}

TextLayouts::~TextLayouts() {
    clearCache();
    for (StyleInfo& s : m_styles) {
        if (s.desc) {
            pango_font_description_free(s.desc);
        }
        if (s.attrs) {
            pango_attr_list_unref(s.attrs);
        }
        GlyphCache::releaseGlyphs(s);
    }
    g_object_unref(m_context);
}

void TextLayouts::clearCache() {
    for (auto& [key, laid] : m_cache) {
        g_object_unref(laid.layout);
    }
    m_cache.clear();
}

StyleInfo& TextLayouts::style(std::uint32_t index) {
    StyleInfo& s = m_styles[index < m_styles.size() ? index : 0];
    if (!s.desc) {
        const Font& font = m_book.styles.at(index < m_book.styles.size() ? index : 0).font;
        s.desc = describeFont(font, m_installed);
        s.size = effectiveSize(font);
        s.color = colorOr(font.color, kBlack);
        if (hasDecorations(font)) {
            s.attrs = pango_attr_list_new();
            decorationAttrs(s.attrs, font, 0, PANGO_ATTR_INDEX_TO_TEXT_END);
        }
    }
    return s;
}

double TextLayouts::largestSize(std::uint32_t styleIndex, const std::vector<RichRun>* runs) {
    double size = style(styleIndex).size;
    if (runs) {
        for (const RichRun& run : *runs) {
            if (run.hasFont) {
                size = std::max(size, effectiveSize(run.font));
            }
        }
    }
    return size;
}

// The format's attributes with each rich run's face, colour and decorations on its bytes.
PangoAttrList* TextLayouts::runAttributes(const StyleInfo& s,
                                          const std::vector<RichRun>& runs) const {
    PangoAttrList* list = s.attrs ? pango_attr_list_copy(s.attrs) : pango_attr_list_new();
    guint start = 0;
    for (const RichRun& run : runs) {
        const guint end = start + static_cast<guint>(run.text.size());
        if (run.hasFont) {
            PangoFontDescription* desc = describeFont(run.font, m_installed);
            insertAttr(list, pango_attr_font_desc_new(desc), start, end);
            pango_font_description_free(desc);
            if (run.font.color.kind == Color::Kind::Rgb) {
                const std::uint32_t c = run.font.color.argb;
                insertAttr(list,
                           pango_attr_foreground_new(static_cast<guint16>(((c >> 16) & 0xFF) * 257),
                                                     static_cast<guint16>(((c >> 8) & 0xFF) * 257),
                                                     static_cast<guint16>((c & 0xFF) * 257)),
                           start, end);
            }
            decorationAttrs(list, run.font, start, end);
        }
        start = end;
    }
    return list;
}

// Lines follow one another at the spreadsheet's spacing rather than the face's.
void TextLayouts::spaceLines(PangoLayout* pl, Laid& laid, double size) const {
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

Laid TextLayouts::lay(std::uint32_t styleIndex, std::string_view text, double wrapWidth,
                      PangoAlignment align, int justify, const std::vector<RichRun>* runs) {
    if (!runs && justify < 2) {
        Laid laid;
        if (m_glyphs.lay(style(styleIndex), text, laid) &&
            (wrapWidth < 0 || laid.width <= std::max(wrapWidth, 1.0))) {
            return laid;
        }
    }
    if (!runs) {
        m_key.clear();
        m_key.append(reinterpret_cast<const char*>(&styleIndex), sizeof styleIndex);
        m_key.append(reinterpret_cast<const char*>(&wrapWidth), sizeof wrapWidth);
        m_key += static_cast<char>(align);
        m_key += static_cast<char>(justify);
        m_key.append(text);
        if (const auto it = m_cache.find(m_key); it != m_cache.end()) {
            return it->second;
        }
    }
    const StyleInfo& s = style(styleIndex);
    PangoLayout* pl = pango_layout_new(m_context);
    pango_layout_set_font_description(pl, s.desc);
    pango_layout_set_text(pl, text.data(), static_cast<int>(text.size()));
    if (runs) {
        PangoAttrList* list = runAttributes(s, *runs);
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
    if (pango_layout_get_line_count(pl) > 1) {
        spaceLines(pl, laid, largestSize(styleIndex, runs));
    }
    if (!runs) {
        if (m_cache.size() >= kLayoutCacheLimit) {
            clearCache();
        }
        m_cache.emplace(m_key, laid);
    }
    return laid;
}

void TextLayouts::release(const Laid& laid, const std::vector<RichRun>* runs) {
    if (runs && laid.layout) {
        g_object_unref(laid.layout);
    }
}

void TextLayouts::show(cairo_t* cr, const Laid& laid) {
    if (laid.layout) {
        pango_cairo_show_layout(cr, laid.layout);
        return;
    }
    m_glyphs.showLast(cr, laid);
}

} // namespace quenly::wb::pdf
