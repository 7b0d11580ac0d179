// Plain one-line texts drawn from glyphs measured once per format, batched per face and colour.
#include "pdf/glyph_cache.h"

#include "text_util.h"

namespace quenly::wb::pdf {

namespace {

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

GlyphCache::GlyphCache(PangoContext* context)
    : m_context(context) {}

GlyphCache::~GlyphCache() {
    pango_item_free(m_item.item);
    pango_glyph_string_free(m_item.glyphs);
}

void GlyphCache::releaseGlyphs(GlyphMap& glyphs) {
    for (auto& [cp, g] : glyphs) {
        if (g.font) {
            g_object_unref(g.font);
        }
    }
    glyphs.clear();
}

const Glyph& GlyphCache::glyphOf(const print::Face& face, GlyphMap& glyphs, char32_t cp) {
    const auto found = glyphs.find(cp);
    if (found != glyphs.end()) {
        return found->second;
    }
    Glyph& g = glyphs[cp];
    if (!isPlainGlyph(cp)) {
        return g;
    }
    std::string one;
    appendUtf8(one, static_cast<std::uint32_t>(cp));
    PangoLayout* pl = pango_layout_new(m_context);
    pango_layout_set_font_description(pl, face.desc);
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
            PangoRectangle logical;
            pango_layout_get_extents(pl, nullptr, &logical);
            g.height = pango_units_to_double(logical.height);
        }
    }
    g_object_unref(pl);
    return g;
}

bool GlyphCache::lay(const print::Face& face, GlyphMap& glyphs, std::string_view text,
                     print::Laid& laid) {
    if (face.attrs || face.chineseLineHeight > 0 || text.empty()) {
        return false;
    }
    PangoGlyphString* gs = m_item.glyphs;
    pango_glyph_string_set_size(gs, static_cast<int>(text.size()));
    PangoFont* font = nullptr;
    double baseline = 0;
    double height = 0;
    int n = 0;
    int width = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t at = i;
        const Glyph& g = glyphOf(face, glyphs, nextCodePoint(text, i));
        if (!g.font || (font && g.font != font)) {
            return false;
        }
        font = g.font;
        baseline = g.baseline;
        height = g.height;
        PangoGlyphInfo& info = gs->glyphs[n];
        info.glyph = g.glyph;
        info.geometry = {g.advance, 0, 0};
        info.attr.is_cluster_start = 1;
        gs->log_clusters[n] = static_cast<int>(at);
        width += g.advance;
        ++n;
    }
    pango_glyph_string_set_size(gs, n);
    PangoItem* item = m_item.item;
    if (item->analysis.font != font) {
        if (item->analysis.font) {
            g_object_unref(item->analysis.font);
        }
        item->analysis.font = PANGO_FONT(g_object_ref(font));
    }
    item->offset = 0;
    item->length = static_cast<int>(text.size());
    item->num_chars = n;
    m_text.assign(text);
    laid.layout = nullptr;
    laid.width = pango_units_to_double(width);
    laid.height = height;
    laid.firstBaseline = laid.lastBaseline = baseline;
    return true;
}

void GlyphCache::showLast(cairo_t* cr, const print::Laid& laid) {
    double x, y;
    cairo_get_current_point(cr, &x, &y);
    cairo_move_to(cr, x, y + laid.firstBaseline);
    pango_cairo_show_glyph_item(cr, m_text.c_str(), &m_item);
}

bool GlyphCache::queueLast(const Rgb& color, double x, double y) {
    cairo_scaled_font_t* font =
        pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(m_item.item->analysis.font));
    if (!font) {
        return false;
    }
    Batch* batch = nullptr;
    for (Batch& b : m_batches) {
        if (b.font == font && b.color == color) {
            batch = &b;
            break;
        }
    }
    if (!batch) {
        batch = &m_batches.emplace_back();
        batch->font = font;
        batch->color = color;
    }
    const PangoGlyphString* gs = m_item.glyphs;
    for (int i = 0; i < gs->num_glyphs; ++i) {
        batch->glyphs.push_back({gs->glyphs[i].glyph, x, y});
        x += pango_units_to_double(gs->glyphs[i].geometry.width);
        const int end =
            i + 1 < gs->num_glyphs ? gs->log_clusters[i + 1] : static_cast<int>(m_text.size());
        batch->clusters.push_back({end - gs->log_clusters[i], 1});
    }
    batch->text += m_text;
    return true;
}

void GlyphCache::flush(cairo_t* cr) {
    for (Batch& b : m_batches) {
        if (b.glyphs.empty()) {
            continue;
        }
        cairo_set_scaled_font(cr, b.font);
        cairo_set_source_rgb(cr, b.color.r, b.color.g, b.color.b);
        cairo_show_text_glyphs(cr, b.text.data(), static_cast<int>(b.text.size()), b.glyphs.data(),
                               static_cast<int>(b.glyphs.size()), b.clusters.data(),
                               static_cast<int>(b.clusters.size()),
                               static_cast<cairo_text_cluster_flags_t>(0));
        b.glyphs.clear();
        b.clusters.clear();
        b.text.clear();
    }
}

} // namespace quenly::wb::pdf
