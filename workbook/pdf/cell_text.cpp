// The texts of the cells of a page: through their number formats, aligned, wrapped, shrunk or
// turned as their formats say, clipped where a spreadsheet clips them.
#include "cell_text.h"

#include "number_format.h"

#include <algorithm>
#include <cmath>

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

} // namespace

void CellTextPainter::paintTexts(cairo_t* cr) {
    const PageGrid& g = m_grid;
    for (std::size_t ri = 0; ri < g.rows.size(); ++ri) {
        for (std::size_t ci = 0; ci < g.cols.size(); ++ci) {
            const Cell* cell = g.cellAt(g.rows[ri], g.cols[ci]);
            if (cell && cell->type != CellType::Empty && g.mergeAt(ri, ci) < 0) {
                paintCell(cr, *cell, {g.cellBox(ri, ci), ri, ci, false});
            }
        }
    }
    for (const PageGrid::MergeInfo& m : g.merges) {
        const Cell* cell = g.cellAt(m.range.firstRow, m.range.firstCol);
        if (cell && cell->type != CellType::Empty) {
            paintCell(cr, *cell, {m.box, m.topRow, m.leftCol, true});
        }
    }
    m_texts.flushGlyphs(cr);
}

// The alignment a cell's text is drawn with: general alignment by the value's type, justified
// and distributed text wrapped, numbers never wrapped.
CellTextPainter::Placement CellTextPainter::placementOf(const Cell& cell,
                                                        const Alignment& al) const {
    const bool number = cell.type == CellType::Number;
    Placement p;
    p.h = al.horizontal;
    if (p.h.empty() || p.h == "general") {
        p.h = number ? "right" : cell.type == CellType::Text ? "left" : "center";
    }
    p.v = al.vertical.empty() ? "bottom" : al.vertical;
    p.wrap = al.wrap && !number;
    if (p.h == "justify" || p.h == "distributed") {
        p.wrap = !number;
        p.justify = p.h == "distributed" ? 2 : 1;
    }
    if (p.v == "justify" || p.v == "distributed") {
        p.wrap = !number;
        p.v = p.v == "justify" ? "top" : "center";
    }
    p.vertical = al.rotation == 255;
    p.rotation = p.vertical ? 0 : std::clamp(al.rotation, 0, 180);
    const bool indentable = p.h == "left" || p.h == "right" || p.h == "distributed";
    p.indent = indentable ? std::max(al.indent, 0) * kIndentPt : 0;
    if (p.vertical || p.h == "center" || p.h == "centerContinuous") {
        p.align = PANGO_ALIGN_CENTER;
    } else if (p.h == "right") {
        p.align = PANGO_ALIGN_RIGHT;
    }
    return p;
}

// The text centres across the empty cells after it that centre continuously too.
void CellTextPainter::widenCenterContinuous(Where& where) const {
    const PageGrid& g = m_grid;
    const std::uint32_t r = g.rows[where.ri];
    for (std::size_t k = where.ci + 1; k < g.cols.size(); ++k) {
        if (g.mergeAt(where.ri, k) >= 0 || g.hasContent(r, g.cols[k]) ||
            m_book.styles.at(g.styleAt(r, g.cols[k])).alignment.horizontal != "centerContinuous") {
            break;
        }
        where.box.w = g.colX[k + 1] - where.box.x;
    }
}

// The text to lay out: valid UTF-8, one character a line for vertical text, one line unless it
// wraps; with its rich runs where they still describe it.
CellTextPainter::Fitted CellTextPainter::textOf(const Cell& cell, const std::string& shown,
                                                const Placement& p) const {
    Fitted f;
    f.text = shown;
    if (cell.type == CellType::Text && cell.text < m_book.strings.size()) {
        const SharedString& s = m_book.strings.at(cell.text);
        if (!s.runs.empty() && s.text == shown) {
            f.runs = &s.runs;
        }
    }
    if (!g_utf8_validate(f.text.data(), static_cast<gssize>(f.text.size()), nullptr)) {
        // Broken UTF-8 would put cairo in an error state for the rest of the document; its
        // bytes show as replacement characters instead.
        gchar* valid = g_utf8_make_valid(f.text.data(), static_cast<gssize>(f.text.size()));
        f.text = valid;
        g_free(valid);
        f.runs = nullptr;
    }
    if (p.vertical) {
        f.text = stacked(f.text);
        f.runs = nullptr;
    } else if (!p.wrap) {
        // One line: line breaks show as blanks.
        std::replace(f.text.begin(), f.text.end(), '\n', ' ');
        std::replace(f.text.begin(), f.text.end(), '\r', ' ');
    }
    return f;
}

// A number too wide for its cell: a General number gives up decimals before it gives up;
// others show "###".
void CellTextPainter::fitNumber(Fitted& f, const Cell& cell, std::uint32_t styleIndex, Placement& p,
                                double avail) {
    m_texts.release(f.laid, f.runs);
    std::string fitted;
    const int decimals = print::decimalsShown(f.text);
    if (m_book.styles.at(styleIndex).numberFormat == "General" && decimals > 0) {
        for (int d = decimals - 1; d >= 0; --d) {
            std::string t = print::generalWithDecimals(cell.number, d);
            const Laid trial = m_texts.lay(styleIndex, t, -1, p.align, 0, nullptr);
            if (trial.width <= avail) {
                fitted = std::move(t);
                break;
            }
        }
    }
    if (fitted.empty()) {
        const Laid hash = m_texts.lay(styleIndex, "#", -1, p.align, 0, nullptr);
        const int n = hash.width > 0 ? static_cast<int>(avail / hash.width) : 1;
        fitted.assign(static_cast<std::size_t>(std::max(n, 1)), '#');
        p.h = "center";
    }
    f.text = std::move(fitted);
    f.runs = nullptr;
    f.laid = m_texts.lay(styleIndex, f.text, -1, p.align, 0, nullptr);
}

// Lays the text out, and makes a one-line text that is too wide fit: shrunk, or for a number
// fewer decimals or "###"; a fill repeats the text as often as it fits whole.
void CellTextPainter::fitText(Fitted& f, const Cell& cell, std::uint32_t styleIndex, Placement& p,
                              double avail) {
    const bool number = cell.type == CellType::Number;
    const bool rotated = p.rotation != 0;
    f.laid = m_texts.lay(styleIndex, f.text, p.wrapWidth, p.align, p.justify, f.runs);
    if (!rotated && !p.wrap && !p.vertical && f.laid.width > avail) {
        if (m_book.styles.at(styleIndex).alignment.shrink) {
            f.shrink = avail / f.laid.width;
        } else if (number && p.h != "fill") {
            fitNumber(f, cell, styleIndex, p, avail);
        }
    }
    if (p.h == "fill" && !p.wrap && !p.vertical && !rotated && f.laid.width > 0 &&
        f.laid.width < avail) {
        const int n = static_cast<int>(avail / f.laid.width);
        if (n > 1) {
            std::string repeated;
            for (int i = 0; i < n; ++i) {
                repeated += f.text;
            }
            m_texts.release(f.laid, f.runs);
            f.text = std::move(repeated);
            f.runs = nullptr;
            f.laid = m_texts.lay(styleIndex, f.text, -1, p.align, 0, nullptr);
        }
    }
}

// Turned text: centred in its box, counter-clockwise for 1-90, clockwise beyond.
void CellTextPainter::drawTurned(cairo_t* cr, const Box& box, const Laid& laid, int rotation,
                                 double size) {
    const double block = laid.lastBaseline - laid.firstBaseline + (kEmAscent + kEmDescent) * size;
    const double degrees = rotation <= 90 ? rotation : -(rotation - 90);
    cairo_rectangle(cr, box.x, box.y, box.w, box.h);
    cairo_clip(cr);
    cairo_translate(cr, box.x + box.w / 2, box.y + box.h / 2);
    cairo_rotate(cr, -degrees * M_PI / 180);
    cairo_move_to(cr, -laid.width / 2, -block / 2 + kEmAscent * size - laid.firstBaseline);
    m_texts.show(cr, laid);
}

// Text placed in its box by its alignment, and clipped where it would leave the box: to the
// cell, or for a one-line text beside empty cells, to the run of them it may spread over.
void CellTextPainter::drawPlaced(cairo_t* cr, const Where& where, const Fitted& f,
                                 const Placement& p, double size, const Rgb& color, bool number) {
    const Box& box = where.box;
    const Laid& laid = f.laid;
    const double width = laid.width * f.shrink;
    const double em = (kEmAscent + kEmDescent) * size * f.shrink;
    const double block = (laid.lastBaseline - laid.firstBaseline) * f.shrink + em;
    double top = box.y + box.h - kPadY - block;
    if (p.v == "top") {
        top = box.y + kPadY;
    } else if (p.v == "center") {
        top = box.y + (box.h - block) / 2;
    }
    double x = box.x + kPadX + p.indent;
    if (p.vertical) {
        x = box.x + (box.w - width) / 2;
    } else if (p.wrapWidth >= 0 && laid.layout) {
        x = box.x + kPadX + (p.h == "right" ? 0 : p.indent);
    } else if (p.align == PANGO_ALIGN_CENTER) {
        x = box.x + (box.w - width) / 2;
    } else if (p.align == PANGO_ALIGN_RIGHT) {
        x = box.x + box.w - kPadX - p.indent - width;
    }
    Box clip = box;
    const double inkLeft = x, inkRight = x + width;
    const bool overflows = inkLeft < box.x || inkRight > box.x + box.w;
    if (overflows && !where.merged && p.wrapWidth < 0 && !p.vertical && f.shrink == 1 && !number &&
        p.h != "fill") {
        double toLeft = 0, toRight = 0;
        overflowRoom(where.ri, where.ci, std::max(box.x - inkLeft, inkRight - box.x - box.w),
                     p.align != PANGO_ALIGN_LEFT, p.align != PANGO_ALIGN_RIGHT, toLeft, toRight);
        clip.x -= toLeft;
        clip.w += toLeft + toRight;
    }
    const bool needsClip = inkLeft < clip.x || inkRight > clip.x + clip.w || top < box.y ||
                           top + block > box.y + box.h;
    const double layoutY = top + kEmAscent * size * f.shrink - laid.firstBaseline * f.shrink;
    if (!laid.layout && !needsClip && f.shrink == 1 &&
        m_texts.queueGlyphs(color, x, layoutY + laid.firstBaseline)) {
        return;
    }
    if (needsClip) {
        cairo_rectangle(cr, clip.x, clip.y, clip.w, clip.h);
        cairo_clip(cr);
    }
    if (f.shrink != 1) {
        cairo_translate(cr, x, layoutY);
        cairo_scale(cr, f.shrink, f.shrink);
        cairo_move_to(cr, 0, 0);
    } else {
        cairo_move_to(cr, x, layoutY);
    }
    m_texts.show(cr, laid);
}

void CellTextPainter::paintCell(cairo_t* cr, const Cell& cell, Where where) {
    if (where.box.w <= 0 || where.box.h <= 0) {
        return;
    }
    const print::DisplayText shown = print::displayText(m_book, cell);
    if (shown.text.empty()) {
        return;
    }
    const std::uint32_t styleIndex = cell.style < m_book.styles.size() ? cell.style : 0;
    Placement p = placementOf(cell, m_book.styles.at(styleIndex).alignment);
    if (p.h == "centerContinuous" && !where.merged) {
        widenCenterContinuous(where);
    }
    const double avail = std::max(where.box.w - 2 * kPadX - p.indent, 1.0);
    p.wrapWidth = p.wrap && p.rotation == 0 && !p.vertical ? avail : -1;
    Fitted f = textOf(cell, shown.text, p);
    fitText(f, cell, styleIndex, p, avail);

    const double size = m_texts.largestSize(styleIndex, f.runs);
    const Rgb color = shown.hasColor ? rgbOf(shown.argb) : m_texts.style(styleIndex).color;
    cairo_save(cr);
    cairo_set_source_rgb(cr, color.r, color.g, color.b);
    if (p.rotation != 0) {
        drawTurned(cr, where.box, f.laid, p.rotation, size);
    } else {
        drawPlaced(cr, where, f, p, size, color, cell.type == CellType::Number);
    }
    cairo_restore(cr);
    m_texts.release(f.laid, f.runs);
}

// How far text starting in visible column `ci` of visible row `ri` may spread over empty
// neighbours: `toLeft` / `toRight` points beyond the cell's box.
void CellTextPainter::overflowRoom(std::size_t ri, std::size_t ci, double need, bool left,
                                   bool right, double& toLeft, double& toRight) const {
    const PageGrid& g = m_grid;
    toLeft = toRight = 0;
    const std::uint32_t r = g.rows[ri];
    if (right) {
        for (std::size_t k = ci + 1; k < g.cols.size() && toRight < need; ++k) {
            if (g.mergeAt(ri, k) >= 0 || g.hasContent(r, g.cols[k])) {
                break;
            }
            toRight += g.colX[k + 1] - g.colX[k];
        }
    }
    if (left) {
        for (std::size_t k = ci; k-- > 0 && toLeft < need;) {
            if (g.mergeAt(ri, k) >= 0 || g.hasContent(r, g.cols[k])) {
                break;
            }
            toLeft += g.colX[k + 1] - g.colX[k];
        }
    }
}

} // namespace quenly::wb::pdf
