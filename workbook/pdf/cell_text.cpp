// The texts of the cells of a page: through their number formats, aligned, wrapped, shrunk or
// turned as their formats say, clipped where a spreadsheet clips them.
#include "pdf/cell_text.h"

#include "print/number_format.h"

#include <algorithm>
#include <cmath>

namespace quenly::wb::pdf {

namespace {

// How far the ink of a line of text reaches above and below its baseline, as parts of the font
// size: the em box of CJK faces. Text whose ink stays in its box is not clipped.
constexpr double kEmAscent = 0.88;
constexpr double kEmDescent = 0.24;

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

// The text to lay out, with its rich runs where they still describe it.
CellTextPainter::Fitted CellTextPainter::textOf(const Cell& cell, const std::string& shown,
                                                const Placement& p) const {
    Fitted f;
    f.text = print::textToLay(shown, p);
    f.runs = print::runsOf(m_book, cell, shown, f.text);
    return f;
}

// A number too wide for its cell: a General number gives up decimals before it gives up;
// others show "###".
void CellTextPainter::fitNumber(Fitted& f, const Cell& cell, std::uint32_t styleIndex,
                                const Placement& p, double avail) {
    m_texts.release(f.laid, f.runs);
    std::string fitted;
    const int decimals = print::decimalsShown(f.text);
    if (m_book.styles.at(styleIndex).numberFormat == "General" && decimals > 0) {
        for (int d = decimals - 1; d >= 0; --d) {
            std::string t = print::generalWithDecimals(cell.number, d);
            const print::Laid trial = m_texts.lay(styleIndex, t, -1, p.align, 0, nullptr);
            if (trial.width <= avail) {
                fitted = std::move(t);
                break;
            }
        }
    }
    if (fitted.empty()) {
        // "###" as LibreOffice prints it, as many of the three as the cell holds.
        const print::Laid hash = m_texts.lay(styleIndex, "#", -1, p.align, 0, nullptr);
        const int n = hash.width > 0 ? static_cast<int>(avail / hash.width) : 1;
        fitted.assign(static_cast<std::size_t>(std::clamp(n, 1, 3)), '#');
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
void CellTextPainter::drawTurned(cairo_t* cr, const Box& box, const print::Laid& laid,
                                 int rotation) {
    const double degrees = rotation <= 90 ? rotation : -(rotation - 90);
    cairo_rectangle(cr, box.x, box.y, box.w, box.h);
    cairo_clip(cr);
    cairo_translate(cr, box.x + box.w / 2, box.y + box.h / 2);
    cairo_rotate(cr, -degrees * M_PI / 180);
    cairo_move_to(cr, -laid.width / 2, -laid.height / 2);
    m_texts.show(cr, laid);
}

// Text placed in its box by its alignment, and clipped where it would leave the box: to the
// cell, or for a one-line text beside empty cells, to the run of them it may spread over.
void CellTextPainter::drawPlaced(cairo_t* cr, const Where& where, const Fitted& f,
                                 const Placement& p, double size, const Rgb& color, bool number) {
    const Box& box = where.box;
    const print::Laid& laid = f.laid;
    const double width = laid.width * f.shrink;
    // The lines sit in the box as their faces space them, the padding above or below them.
    const double height = laid.height * f.shrink;
    double top = box.y + box.h - print::kCellPadY - height;
    if (p.v == "top") {
        top = box.y + print::kCellPadY;
    } else if (p.v == "center") {
        top = box.y + (box.h - height) / 2;
    }
    double x = box.x + print::kCellPadX + p.indent;
    if (p.vertical) {
        x = box.x + (box.w - width) / 2;
    } else if (p.wrapWidth >= 0 && laid.layout) {
        x = box.x + print::kCellPadX + (p.h == "right" ? 0 : p.indent);
    } else if (p.align == PANGO_ALIGN_CENTER) {
        x = box.x + (box.w - width) / 2;
    } else if (p.align == PANGO_ALIGN_RIGHT) {
        x = box.x + box.w - print::kCellPadX - p.indent - width;
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
    const double inkTop = top + (laid.firstBaseline - kEmAscent * size) * f.shrink;
    const double inkBottom = top + (laid.lastBaseline + kEmDescent * size) * f.shrink;
    const bool needsClip = inkLeft < clip.x || inkRight > clip.x + clip.w || inkTop < box.y ||
                           inkBottom > box.y + box.h;
    const double layoutY = top;
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

// Splits a shown text at its fill and its blanks as wide as a character.
std::vector<CellTextPainter::Piece> CellTextPainter::piecesOf(const print::DisplayText& shown) {
    std::vector<Piece> pieces;
    std::size_t from = 0;
    std::size_t space = 0;
    for (std::size_t i = 0; i <= shown.text.size(); ++i) {
        const bool fill = i == shown.fillAt;
        while (space < shown.spaces.size() && shown.spaces[space].at < i) {
            ++space;
        }
        const bool room = space < shown.spaces.size() && shown.spaces[space].at == i;
        if (i < shown.text.size() && !fill && !room) {
            continue;
        }
        if (i > from) {
            pieces.push_back({Piece::Kind::Text, shown.text.substr(from, i - from)});
        }
        if (fill) {
            pieces.push_back({Piece::Kind::Fill, shown.fill});
        } else if (room) {
            pieces.push_back({Piece::Kind::Room, shown.spaces[space].width});
        }
        from = i + 1;
    }
    return pieces;
}

// A one-line text whose format keeps room as wide as a character ("_x") or fills the cell
// ("*x"), drawn piece by piece as spreadsheets draw accounting formats: the part before the
// fill at the cell's left edge, the part after it at the right edge, each room as wide as its
// character. False, with nothing drawn, when the text does not fit its cell.
bool CellTextPainter::paintPieces(cairo_t* cr, const print::DisplayText& shown, const Where& where,
                                  const Placement& p, std::uint32_t styleIndex, const Rgb& color) {
    std::vector<Piece> pieces = piecesOf(shown);
    double ascent = 0, descent = 0, before = 0, after = 0;
    bool afterFill = false;
    for (Piece& piece : pieces) {
        if (piece.kind == Piece::Kind::Fill) {
            afterFill = true;
            continue;
        }
        const print::Laid laid = m_texts.lay(styleIndex, piece.text, -1, p.align, 0, nullptr);
        piece.width = laid.width;
        ascent = std::max(ascent, laid.firstBaseline);
        descent = std::max(descent, laid.height - laid.firstBaseline);
        (afterFill ? after : before) += laid.width;
    }
    const Box& box = where.box;
    const double room = print::textRoom(p, box.w);
    if (before + after > room + 1e-6) {
        return false;
    }
    double x = box.x + print::kCellPadX + p.indent;
    if (!afterFill && p.align == PANGO_ALIGN_CENTER) {
        x = box.x + (box.w - before) / 2;
    } else if (!afterFill && p.align == PANGO_ALIGN_RIGHT) {
        x = box.x + box.w - print::kCellPadX - p.indent - before;
    }
    const double right = box.x + box.w - print::kCellPadX - after;
    double top = box.y + box.h - print::kCellPadY - ascent - descent;
    if (p.v == "top") {
        top = box.y + print::kCellPadY;
    } else if (p.v == "center") {
        top = box.y + (box.h - ascent - descent) / 2;
    }
    const double baseline = top + ascent;
    const double size = m_texts.largestSize(styleIndex, nullptr);
    const bool clip =
        baseline - kEmAscent * size < box.y || baseline + kEmDescent * size > box.y + box.h;
    if (clip) {
        cairo_rectangle(cr, box.x, box.y, box.w, box.h);
        cairo_clip(cr);
    }
    for (const Piece& piece : pieces) {
        if (piece.kind == Piece::Kind::Fill) {
            drawFill(cr, piece.text, styleIndex, x, right, baseline, color, clip);
            x = right;
            continue;
        }
        if (piece.kind == Piece::Kind::Text) {
            drawAt(cr, m_texts.lay(styleIndex, piece.text, -1, p.align, 0, nullptr), x, baseline,
                   color, clip);
        }
        x += piece.width;
    }
    return true;
}

// The fill character repeated as often as it fits whole between `from` and `to`; blanks draw
// nothing.
void CellTextPainter::drawFill(cairo_t* cr, const std::string& fill, std::uint32_t styleIndex,
                               double from, double to, double baseline, const Rgb& color,
                               bool clipped) {
    if (fill.find_first_not_of(' ') == std::string::npos) {
        return;
    }
    const double width = m_texts.lay(styleIndex, fill, -1, PANGO_ALIGN_LEFT, 0, nullptr).width;
    const int n = width > 0 ? static_cast<int>((to - from) / width) : 0;
    std::string repeated;
    for (int i = 0; i < n; ++i) {
        repeated += fill;
    }
    if (!repeated.empty()) {
        drawAt(cr, m_texts.lay(styleIndex, repeated, -1, PANGO_ALIGN_LEFT, 0, nullptr), from,
               baseline, color, clipped);
    }
}

// Draws the text just laid out with its first baseline starting at (x, baseline): queued with
// the page's glyphs where it may be, else at once (under the clip, when `clipped`).
void CellTextPainter::drawAt(cairo_t* cr, const print::Laid& laid, double x, double baseline,
                             const Rgb& color, bool clipped) {
    if (!laid.layout && !clipped && m_texts.queueGlyphs(color, x, baseline)) {
        return;
    }
    cairo_move_to(cr, x, baseline - laid.firstBaseline);
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
    Placement p;
    static_cast<print::CellPlacement&>(p) =
        print::placementOf(cell, m_book.styles.at(styleIndex).alignment);
    if (p.h == "centerContinuous" && !where.merged) {
        widenCenterContinuous(where);
    }
    const double avail = print::textRoom(p, where.box.w);
    p.wrapWidth = p.wrap && p.rotation == 0 && !p.vertical ? avail : -1;
    const Rgb color = shown.hasColor ? rgbOf(shown.argb) : m_texts.color(styleIndex);
    const bool spaced = shown.fillAt != std::string::npos || !shown.spaces.empty();
    if (spaced && !p.wrap && !p.vertical && p.rotation == 0 &&
        shown.text.find('\n') == std::string::npos) {
        cairo_save(cr);
        cairo_set_source_rgb(cr, color.r, color.g, color.b);
        const bool drawn = paintPieces(cr, shown, where, p, styleIndex, color);
        cairo_restore(cr);
        if (drawn) {
            return;
        }
    }
    Fitted f = textOf(cell, shown.text, p);
    fitText(f, cell, styleIndex, p, avail);

    const double size = m_texts.largestSize(styleIndex, f.runs);
    cairo_save(cr);
    cairo_set_source_rgb(cr, color.r, color.g, color.b);
    if (p.rotation != 0) {
        drawTurned(cr, where.box, f.laid, p.rotation);
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
