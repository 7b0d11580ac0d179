// The heights rows print at, fitted to their fonts, wrapped texts and line breaks.
#include "print/row_heights.h"

#include "print/cell_placement.h"
#include "print/number_format.h"
#include "print/page_layout.h"
#include "print/text_layouts.h"

#include <algorithm>
#include <optional>

namespace quenly::wb::print {

namespace {

// Rows left at the default height are sized by the application from the fonts it has, whose
// line heights run up to a tenth above ours (CJK fonts in particular).
constexpr double kAutoHeightReserve = 1.1;

// Measures the texts of one sheet that take more than one line, with one set of faces made the
// first time it is needed.
class TextHeights {
public:
    TextHeights(const Workbook& book, const std::vector<double>& columnWidthsPt)
        : m_book(book)
        , m_widths(columnWidthsPt) {}

    // Whether the text of `cell` may take more lines than one: it wraps, stands vertically, or
    // holds a line break; never when it is turned.
    bool mayTakeLines(const Cell& cell) {
        if (cell.type == CellType::Empty) {
            return false;
        }
        const Lines lines = linesOf(styleOf(cell));
        if (lines == Lines::Vertical) {
            return true;
        }
        if (lines == Lines::One || cell.type == CellType::Number) {
            return false;
        }
        return lines == Lines::Wrapped ||
               (cell.type == CellType::Text && cell.text < m_book.strings.size() &&
                m_book.strings.at(cell.text).text.find('\n') != std::string::npos);
    }

    // The height the text of `cell` (one that may take lines) needs in a box `boxWidth` points
    // wide, with the padding above and below; 0 when it takes one line.
    double needed(const Cell& cell, double boxWidth) {
        const std::uint32_t style = styleOf(cell);
        const CellPlacement p = placementOf(cell, m_book.styles.at(style).alignment);
        const std::string shown = displayText(m_book, cell).text;
        const std::string text = textToLay(shown, p);
        const double wrapWidth = p.wrap && !p.vertical ? textRoom(p, boxWidth) : -1;
        if (!m_layouts) {
            m_layouts.emplace(m_book);
        }
        const std::vector<RichRun>* runs = runsOf(m_book, cell, shown, text);
        // A plain text clearly narrower than the room takes one line: no need to lay it out.
        if (!runs && wrapWidth > 0 && text.find('\n') == std::string::npos &&
            m_layouts->sumOfAdvances(style, text) < wrapWidth * 0.97 - 1) {
            return 0;
        }
        const Laid laid = m_layouts->lay(style, text, wrapWidth, p.align, p.justify, runs);
        m_layouts->release(laid, runs);
        // One line needs what the row's fonts need, as spreadsheets size rows for one line.
        if (laid.lastBaseline == laid.firstBaseline) {
            return 0;
        }
        return laid.height + 2 * kCellPadY;
    }

    // The width of columns first .. last.
    double width(std::uint32_t first, std::uint32_t last) const {
        double w = 0;
        for (std::uint32_t c = first; c <= last && c < m_widths.size(); ++c) {
            w += m_widths[c];
        }
        return w;
    }

private:
    // How a format lays texts out, as far as their lines go: kept per format, as every cell of
    // a row asks.
    enum class Lines : std::uint8_t { Unknown, One, Breaks, Wrapped, Vertical };

    Lines linesOf(std::uint32_t style) {
        if (style >= m_lines.size()) {
            m_lines.resize(m_book.styles.size(), Lines::Unknown);
        }
        Lines& lines = m_lines[style];
        if (lines == Lines::Unknown) {
            const Alignment& al = m_book.styles.at(style).alignment;
            const bool wraps = al.wrap || al.horizontal == "justify" ||
                               al.horizontal == "distributed" || al.vertical == "justify" ||
                               al.vertical == "distributed";
            lines = al.rotation == 255 ? Lines::Vertical
                    : al.rotation != 0 ? Lines::One
                    : wraps            ? Lines::Wrapped
                                       : Lines::Breaks;
        }
        return lines;
    }

    std::uint32_t styleOf(const Cell& cell) const {
        return cell.style < m_book.styles.size() ? cell.style : 0;
    }

    const Workbook& m_book;
    const std::vector<double>& m_widths;
    std::vector<Lines> m_lines;
    std::optional<TextLayouts> m_layouts;
};

// The height of a row before its texts are measured: its own, or at the default height what its
// largest font needs; `fonted` tells whether a font made it taller than the default.
double baseHeight(const Workbook& book, const Worksheet& sheet, const Row& row, bool& fonted) {
    fonted = false;
    if (row.height > 0) {
        return row.height;
    }
    const double defaultSize = book.styles.at(0).font.size > 0 ? book.styles.at(0).font.size : 11;
    double largest = 0;
    for (const Cell& c : row.cells) {
        if (c.type != CellType::Empty && c.style < book.styles.size()) {
            largest = std::max(largest, book.styles.at(c.style).font.size);
        }
    }
    fonted = largest > 0;
    return std::max(sheet.defaultRowHeight, largest * sheet.defaultRowHeight / defaultSize);
}

// The height the texts of row `r` need; cells inside a merge over several rows are left to
// growMerges, a merge along the row gives its text the merge's width.
double neededByTexts(const Worksheet& sheet, std::uint32_t r, const Row& row, TextHeights& texts) {
    std::optional<std::vector<CellRange>> merges; // looked up for the first text that needs it
    double needed = 0;
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
        const Cell& cell = row.cells[i];
        if (!texts.mayTakeLines(cell)) {
            continue;
        }
        if (!merges) {
            merges = sheet.merges().intersecting({r, 0, r, kMaxCols - 1});
        }
        const auto c = static_cast<std::uint32_t>(row.firstCol + i);
        std::uint32_t last = c;
        const auto m = std::find_if(merges->begin(), merges->end(),
                                    [&](const CellRange& x) { return x.contains(r, c); });
        if (m != merges->end()) {
            if (m->firstRow != m->lastRow || m->firstCol != c) {
                continue;
            }
            last = m->lastCol;
        }
        needed = std::max(needed, texts.needed(cell, texts.width(c, last)));
    }
    return needed;
}

// A merge over several rows whose text needs more than its rows give grows its last row that
// was not sized by hand.
void growMerges(const Worksheet& sheet, TextHeights& texts, PrintedRows& out) {
    const auto rows = static_cast<std::uint32_t>(out.heights.size());
    sheet.merges().forEach([&](const CellRange& m) {
        if (m.firstRow == m.lastRow || m.firstRow >= rows) {
            return;
        }
        const Cell* cell = sheet.cell(m.firstRow, m.firstCol);
        if (cell == nullptr || !texts.mayTakeLines(*cell)) {
            return;
        }
        const double needed = texts.needed(*cell, texts.width(m.firstCol, m.lastCol));
        double given = 0;
        std::int64_t grows = -1;
        for (std::uint32_t r = m.firstRow; r <= m.lastRow && r < rows; ++r) {
            given += out.heights[r];
            const Row* row = sheet.row(r);
            if (out.heights[r] > 0 && (row == nullptr || !row->customHeight)) {
                grows = r;
            }
        }
        if (needed > given && grows >= 0) {
            const auto g = static_cast<std::size_t>(grows);
            out.heights[g] += needed - given;
            out.reserve[g] = std::max(out.reserve[g], out.heights[g]);
        }
    });
}

} // namespace

PrintedRows printedRowHeights(const Workbook& book, const Worksheet& sheet, std::int64_t lastRow,
                              const std::vector<double>& columnWidthsPt) {
    PrintedRows out;
    const auto rows = static_cast<std::size_t>(std::max<std::int64_t>(lastRow + 1, 0));
    out.heights.assign(rows, sheet.defaultRowHeight);
    out.reserve.assign(rows, sheet.defaultRowHeight);
    TextHeights texts(book, columnWidthsPt);
    for (std::uint32_t r = 0; r < rows; ++r) {
        const Row* row = sheet.row(r);
        if (row == nullptr) {
            continue;
        }
        if (row->hidden) {
            out.heights[r] = out.reserve[r] = 0;
            continue;
        }
        bool fonted = false;
        const double height = baseHeight(book, sheet, *row, fonted);
        out.heights[r] = height;
        out.reserve[r] = fonted ? height * kAutoHeightReserve : height;
        if (!row->customHeight) {
            if (const double needed = neededByTexts(sheet, r, *row, texts); needed > height) {
                out.heights[r] = out.reserve[r] = needed;
            }
        }
    }
    growMerges(sheet, texts, out);
    return out;
}

void storeFittedHeights(Worksheet& sheet, const PageLayout& layout) {
    for (std::uint32_t r = 0; r < layout.rowHeightsPt.size(); ++r) {
        const Row* row = sheet.row(r);
        if (row == nullptr || row->hidden || row->customHeight) {
            continue;
        }
        const double own = row->height > 0 ? row->height : sheet.defaultRowHeight;
        if (layout.rowHeightsPt[r] > own + 0.01) {
            sheet.rowForWrite(r).height = layout.rowHeightsPt[r];
        }
    }
}

} // namespace quenly::wb::print
