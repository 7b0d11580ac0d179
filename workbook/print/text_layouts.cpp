// Cell texts laid out with pango in the faces of their formats, kept for reuse.
#include "print/text_layouts.h"

#include "print/font_faces.h"
#include "text_util.h"

#include <algorithm>

namespace quenly::wb::print {

namespace {

// Layouts kept for reuse before the cache starts afresh.
constexpr std::size_t kLayoutCacheLimit = 8192;
// The face LibreOffice draws Chinese text in where the file's font is missing.
constexpr const char* kChineseFallback = "Noto Sans CJK SC";

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

// Spaces every line holding Chinese characters of `text` `height` points apart.
void spaceChineseLines(PangoAttrList* list, std::string_view text, double height) {
    std::size_t start = std::string_view::npos;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        // Lead bytes from 0xE2 start the characters of U+2000 and above: CJK and its signs.
        const auto byte = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
        const bool chinese = byte >= 0xE2;
        const bool continuation = (byte & 0xC0) == 0x80;
        if (chinese && start == std::string_view::npos) {
            start = i;
        } else if (!chinese && !continuation && start != std::string_view::npos) {
            insertAttr(list,
                       pango_attr_line_height_new_absolute(static_cast<int>(height * PANGO_SCALE)),
                       static_cast<guint>(start), static_cast<guint>(i));
            start = std::string_view::npos;
        }
    }
}

} // namespace

TextLayouts::TextLayouts(const Workbook& book)
    : m_book(book)
    , m_context(newContext())
    , m_installed(installedFamilies()) {
    // Sized once, so references to entries stay valid.
    m_faces.resize(std::max<std::size_t>(book.styles.size(), 1));
}

TextLayouts::~TextLayouts() {
    clearCache();
    for (Face& f : m_faces) {
        if (f.desc) {
            pango_font_description_free(f.desc);
        }
        if (f.attrs) {
            pango_attr_list_unref(f.attrs);
        }
    }
    g_object_unref(m_context);
}

void TextLayouts::clearCache() {
    for (auto& [key, laid] : m_cache) {
        g_object_unref(laid.layout);
    }
    m_cache.clear();
}

// The height of a line of Chinese text in `desc`, in points.
double TextLayouts::chineseLineHeight(const PangoFontDescription* desc) const {
    PangoLayout* pl = pango_layout_new(m_context);
    pango_layout_set_font_description(pl, desc);
    pango_layout_set_text(pl, "中", -1);
    PangoRectangle logical;
    pango_layout_get_extents(pl, nullptr, &logical);
    g_object_unref(pl);
    return pango_units_to_double(logical.height);
}

const Face& TextLayouts::face(std::uint32_t index) {
    Face& f = m_faces[index < m_faces.size() ? index : 0];
    if (!f.desc) {
        const Font& font = m_book.styles.at(index < m_book.styles.size() ? index : 0).font;
        f.desc = describeFont(font, m_installed);
        f.size = effectiveSize(font);
        if (hasDecorations(font)) {
            f.attrs = pango_attr_list_new();
            decorationAttrs(f.attrs, font, 0, PANGO_ATTR_INDEX_TO_TEXT_END);
        }
        // LibreOffice draws Chinese text of any font here in its fallback face: lines of Chinese
        // text in a face that sets them closer (AR PL UKai for 楷体) are spaced as far apart,
        // so that rows fitted to them show whole in LibreOffice too.
        PangoFontDescription* fallback = pango_font_description_copy(f.desc);
        pango_font_description_set_family(fallback, kChineseFallback);
        const double wanted = chineseLineHeight(fallback);
        pango_font_description_free(fallback);
        if (chineseLineHeight(f.desc) < wanted * 0.9) {
            f.chineseLineHeight = wanted;
        }
    }
    return f;
}

double TextLayouts::largestSize(std::uint32_t styleIndex, const std::vector<RichRun>* runs) {
    double size = face(styleIndex).size;
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
PangoAttrList* TextLayouts::runAttributes(const Face& face,
                                          const std::vector<RichRun>& runs) const {
    PangoAttrList* list = face.attrs ? pango_attr_list_copy(face.attrs) : pango_attr_list_new();
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

Laid TextLayouts::lay(std::uint32_t styleIndex, std::string_view text, double wrapWidth,
                      PangoAlignment align, int justify, const std::vector<RichRun>* runs) {
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
    const Face& f = face(styleIndex);
    PangoLayout* pl = pango_layout_new(m_context);
    pango_layout_set_font_description(pl, f.desc);
    pango_layout_set_text(pl, text.data(), static_cast<int>(text.size()));
    PangoAttrList* list = runs      ? runAttributes(f, *runs)
                          : f.attrs ? pango_attr_list_ref(f.attrs)
                                    : nullptr;
    if (f.chineseLineHeight > 0) {
        list = list ? list : pango_attr_list_new();
        spaceChineseLines(list, text, f.chineseLineHeight);
    }
    if (list) {
        pango_layout_set_attributes(pl, list);
        pango_attr_list_unref(list);
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
    laid.height = pango_units_to_double(logical.height);
    laid.firstBaseline = pango_units_to_double(pango_layout_get_baseline(pl));
    laid.lastBaseline = laid.firstBaseline;
    if (pango_layout_get_line_count(pl) > 1) {
        PangoLayoutIter* it = pango_layout_get_iter(pl);
        while (pango_layout_iter_next_line(it)) {
        }
        laid.lastBaseline = pango_units_to_double(pango_layout_iter_get_baseline(it));
        pango_layout_iter_free(it);
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

double TextLayouts::sumOfAdvances(std::uint32_t styleIndex, std::string_view text) {
    double width = 0;
    const char* end = text.data() + text.size();
    for (const char* p = text.data(); p < end; p = g_utf8_next_char(p)) {
        const gunichar cp = g_utf8_get_char(p);
        const std::uint64_t key = (std::uint64_t{styleIndex} << 32) | cp;
        auto it = m_advances.find(key);
        if (it == m_advances.end()) {
            char one[8];
            const int n = g_unichar_to_utf8(cp, one);
            PangoLayout* pl = pango_layout_new(m_context);
            pango_layout_set_font_description(pl, face(styleIndex).desc);
            pango_layout_set_text(pl, one, n);
            PangoRectangle logical;
            pango_layout_get_extents(pl, nullptr, &logical);
            g_object_unref(pl);
            it = m_advances.emplace(key, pango_units_to_double(logical.width)).first;
        }
        width += it->second;
    }
    return width;
}

} // namespace quenly::wb::print
