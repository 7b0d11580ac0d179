// Lays a result sheet out on A4 pages so that every slip lands whole on one page.
#include "print/page_layout.h"
#include "print/font_metrics.h"
#include "print/row_heights.h"

#include <algorithm>
#include <cmath>

namespace quenly::wb::print {

namespace {

constexpr double kPointsPerInch = 72;
constexpr double kPointsPerPixel = 0.75; // 96 pixels an inch
// Spreadsheet applications size rows and columns by their own font metrics, which differ from
// ours by a few per cent; pages are filled only this far so that their breaks stay ours.
constexpr double kFillFactor = 0.97;
// LibreOffice measures column widths with the unrounded width of a digit (7.43 pixels for
// Calibri 11 where Excel takes 7), so slips are scaled to leave that much room across.
constexpr double kWidthFillFactor = 0.92;
// Below this scale upright, slips are turned to landscape when that prints them larger.
constexpr int kLandscapeBelowScale = 70;

bool cellCounts(const Cell& c) {
    return c.type != CellType::Empty || c.style != 0;
}

// Whether a row holds anything that prints: a value, or a formatted cell.
bool rowHasContent(const Row* row) {
    if (row == nullptr) {
        return false;
    }
    return std::any_of(row->cells.begin(), row->cells.end(), cellCounts);
}

std::int64_t lastContentCol(const Row& row) {
    for (std::size_t i = row.cells.size(); i > 0; --i) {
        if (cellCounts(row.cells[i - 1])) {
            return static_cast<std::int64_t>(row.firstCol + i - 1);
        }
    }
    return -1;
}

bool sameCells(const Row* a, const Row* b) {
    if (a == nullptr || b == nullptr) {
        return a == b;
    }
    if (a->firstCol != b->firstCol || a->cells.size() != b->cells.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a->cells.size(); ++i) {
        const Cell& x = a->cells[i];
        const Cell& y = b->cells[i];
        if (x.type != y.type || x.style != y.style || x.error != y.error ||
            x.boolean != y.boolean) {
            return false;
        }
        if (x.type == CellType::Text ? x.text != y.text
                                     : (x.type == CellType::Number && x.number != y.number)) {
            return false;
        }
    }
    return true;
}

// Rows covered by a merge print as part of it even when they hold no cells of their own.
std::vector<bool> contentRows(const Worksheet& sheet, std::int64_t lastRow) {
    std::vector<bool> content(static_cast<std::size_t>(lastRow + 1));
    for (std::uint32_t r = 0; r < content.size(); ++r) {
        content[r] = rowHasContent(sheet.row(r));
    }
    sheet.merges().forEach([&](const CellRange& m) {
        for (std::uint32_t r = m.firstRow; r <= m.lastRow && r < content.size(); ++r) {
            content[r] = true;
        }
    });
    return content;
}

// The slips of a result repeat with one period: the header rows, the person's row and an empty
// row. The period is the shortest whose separators are all empty and whose blocks all begin with
// the first block's first row; that finds the slips even when the header holds an empty row.
std::uint32_t slipPeriod(const Worksheet& sheet, const std::vector<bool>& content) {
    const auto rows = static_cast<std::uint32_t>(content.size());
    if (rows == 0 || !content[0]) {
        return 0;
    }
    for (std::uint32_t p = 2; p <= rows; ++p) {
        if (content[p - 1]) {
            continue;
        }
        bool fits = true;
        for (std::uint32_t start = p; start < rows && fits; start += p) {
            fits = !content[start - 1] && sameCells(sheet.row(0), sheet.row(start));
        }
        if (fits) {
            return p;
        }
    }
    return 0;
}

std::vector<SlipBlock> findBlocks(const Worksheet& sheet, const std::vector<bool>& content) {
    std::vector<SlipBlock> blocks;
    const auto rows = static_cast<std::uint32_t>(content.size());
    if (const std::uint32_t p = slipPeriod(sheet, content); p != 0 && p < rows) {
        for (std::uint32_t start = 0; start < rows; start += p) {
            std::uint32_t last = std::min(start + p - 2, rows - 1);
            while (last > start && !content[last]) {
                --last;
            }
            blocks.push_back({start, last});
        }
        return blocks;
    }
    // Not a repeating table: every run of rows between empty rows is kept together.
    for (std::uint32_t r = 0; r < rows;) {
        if (!content[r]) {
            ++r;
            continue;
        }
        const std::uint32_t first = r;
        while (r + 1 < rows && content[r + 1]) {
            ++r;
        }
        blocks.push_back({first, r});
        ++r;
    }
    return blocks;
}

double sum(const std::vector<double>& v, std::uint32_t first, std::uint32_t last) {
    double total = 0;
    for (std::uint32_t r = first; r <= last; ++r) {
        total += v[r];
    }
    return total;
}

int scaleFor(double room, double width) {
    if (width <= room) {
        return 100;
    }
    return std::clamp(static_cast<int>(std::floor(room / width * 100)), 10, 100);
}

// Fills pages with whole blocks; a block taller than a page is cut where its rows overflow. `h`
// holds the room each row may take.
std::vector<Page> paginate(const PageLayout& layout, const std::vector<double>& h) {
    std::vector<Page> pages;
    const auto rows = static_cast<std::uint32_t>(h.size());
    if (rows == 0) {
        return pages;
    }
    const double room = layout.printableHeightPt() * kFillFactor;

    Page page{0, 0, true};
    double used = 0;
    auto breakBefore = [&](std::uint32_t row, bool startsBlock) {
        page.lastRow = row - 1;
        pages.push_back(page);
        page = {row, row, startsBlock};
        used = 0;
    };
    // Rows before the first slip go with it.
    std::uint32_t from = 0;
    for (std::size_t b = 0; b < layout.blocks.size(); ++b) {
        const SlipBlock& block = layout.blocks[b];
        const std::uint32_t next =
            b + 1 < layout.blocks.size() ? layout.blocks[b + 1].firstRow : rows;
        const double span = sum(h, from, next - 1);
        if (used > 0 && used + span > room) {
            breakBefore(from, true);
        }
        if (span <= room) {
            used += span;
        } else {
            for (std::uint32_t r = from; r < next; ++r) {
                if (used > 0 && used + h[r] > room && r <= block.lastRow) {
                    breakBefore(r, false);
                }
                used += h[r];
            }
        }
        from = next;
    }
    if (from < rows) {
        // Empty rows after the last slip, or a sheet without any.
        for (std::uint32_t r = from; r < rows; ++r) {
            if (used > 0 && used + h[r] > room) {
                breakBefore(r, false);
            }
            used += h[r];
        }
    }
    page.lastRow = rows - 1;
    pages.push_back(page);
    return pages;
}

// Where paginate may cut a page that a slip does not fill: anywhere but in the empty rows after
// a slip, which go with it.
std::vector<bool> cuttableRows(const PageLayout& layout, std::size_t rows) {
    std::vector<bool> cuttable(rows, true);
    for (std::size_t b = 0; b < layout.blocks.size(); ++b) {
        const std::size_t next =
            b + 1 < layout.blocks.size() ? layout.blocks[b + 1].firstRow : rows;
        for (std::size_t r = layout.blocks[b].lastRow + 1; r < next && r < rows; ++r) {
            cuttable[r] = false;
        }
    }
    return cuttable;
}

// The pages of a set-up: a page begins at each of `breaks`, and where rows overflow a page they
// do not fill from a break, as paginate cuts them. `h` holds the room each row may take.
std::vector<Page> pagesAtBreaks(const PageLayout& layout, const std::vector<double>& h,
                                const std::vector<std::uint32_t>& breaks) {
    std::vector<Page> pages;
    const auto rows = static_cast<std::uint32_t>(h.size());
    if (rows == 0) {
        return pages;
    }
    // paginate sums a slip's rows before it adds them; allow for the difference in rounding.
    constexpr double kRounding = 1e-6;
    const double room = layout.printableHeightPt() * kFillFactor + kRounding;
    const std::vector<bool> cuttable = cuttableRows(layout, rows);
    Page page{0, 0, true};
    double used = 0;
    auto next = breaks.begin();
    for (std::uint32_t r = 0; r < rows; ++r) {
        while (next != breaks.end() && *next < r) {
            ++next;
        }
        const bool atBreak = next != breaks.end() && *next == r && r > 0;
        if (atBreak || (used > 0 && used + h[r] > room && cuttable[r])) {
            page.lastRow = r - 1;
            pages.push_back(page);
            page = {r, r, atBreak};
            used = 0;
        }
        used += h[r];
    }
    page.lastRow = rows - 1;
    pages.push_back(page);
    return pages;
}

} // namespace

std::vector<std::uint32_t> PageLayout::manualBreaks() const {
    std::vector<std::uint32_t> breaks;
    for (std::size_t i = 1; i < pages.size(); ++i) {
        if (pages[i].startsBlock) {
            breaks.push_back(pages[i].firstRow);
        }
    }
    return breaks;
}

double PageLayout::printableWidthPt() const {
    return paperWidthPt - (margins.left + margins.right) * kPointsPerInch;
}

double PageLayout::printableHeightPt() const {
    return (paperHeightPt - (margins.top + margins.bottom) * kPointsPerInch) * 100.0 / scale;
}

double columnWidthPoints(double width, double digitPx) {
    if (width <= 0) {
        return 0;
    }
    const double pixels = std::trunc((256 * width + std::trunc(128 / digitPx)) / 256 * digitPx);
    return pixels * kPointsPerPixel;
}

namespace {

// Finds the printed area: columns and rows up to the last holding a value, a formatted cell or
// a merge.
void findPrintedArea(const Worksheet& sheet, PageLayout& layout) {
    for (std::uint32_t r = 0; r < sheet.rowCount(); ++r) {
        const std::int64_t col = lastContentCol(*sheet.row(r));
        if (col >= 0) {
            layout.lastRow = r;
            layout.lastCol = std::max(layout.lastCol, col);
        }
    }
    sheet.merges().forEach([&](const CellRange& m) {
        layout.lastRow = std::max<std::int64_t>(layout.lastRow, m.lastRow);
        layout.lastCol = std::max<std::int64_t>(layout.lastCol, m.lastCol);
    });
}

// Column widths count digits of the default font. They are drawn as LibreOffice draws them here,
// with the digits of the font this machine puts in the default font's place (DejaVu Sans for
// 宋体 where SimSun is missing), which the PDF draws the default font's digits with too. The
// scale allows for the wider of those and Excel's rounded digits.
void layOutColumns(const Workbook& book, const Worksheet& sheet, PageLayout& layout) {
    const Font& defaultFont = book.styles.at(0).font;
    const double excelDigitPx = digitWidthPixels(defaultFont);
    const double installed =
        installedDigitWidthPixels(defaultFont.name, defaultFont.size > 0 ? defaultFont.size : 11);
    const double drawnDigitPx = installed > 0 ? installed : excelDigitPx;
    double width = 0;
    for (std::uint32_t c = 0; c <= layout.lastCol; ++c) {
        const ColumnInfo& info = sheet.column(c);
        const double chars = info.hidden      ? 0
                             : info.width > 0 ? info.width
                                              : sheet.defaultColumnWidth;
        const double drawn = chars * drawnDigitPx * kPointsPerPixel;
        layout.columnWidthsPt.push_back(drawn);
        width += std::max(drawn, columnWidthPoints(chars, excelDigitPx));
    }
    layout.scaledWidthPt = width;
}

// The largest scale (10-100 %) that fits every column across; turned to landscape when that
// is below 70 % upright and landscape prints larger.
void chooseScale(PageLayout& layout) {
    const double sides = (layout.margins.left + layout.margins.right) * kPointsPerInch;
    const double portraitRoom = (kA4ShortSidePt - sides) * kWidthFillFactor;
    const double landscapeRoom = (kA4LongSidePt - sides) * kWidthFillFactor;
    layout.scale = scaleFor(portraitRoom, layout.scaledWidthPt);
    if (layout.scale < kLandscapeBelowScale &&
        scaleFor(landscapeRoom, layout.scaledWidthPt) > layout.scale) {
        layout.landscape = true;
        layout.scale = scaleFor(landscapeRoom, layout.scaledWidthPt);
        layout.paperWidthPt = kA4LongSidePt;
        layout.paperHeightPt = kA4ShortSidePt;
    }
}

} // namespace

PageLayout layoutPages(const Workbook& book, const Worksheet& sheet) {
    PageLayout layout;
    findPrintedArea(sheet, layout);
    if (layout.lastRow < 0) {
        return layout;
    }
    layOutColumns(book, sheet, layout);
    chooseScale(layout);
    PrintedRows rows = printedRowHeights(book, sheet, layout.lastRow, layout.columnWidthsPt);
    layout.rowHeightsPt = std::move(rows.heights);
    const std::vector<bool> content = contentRows(sheet, layout.lastRow);
    layout.blocks = findBlocks(sheet, content);
    layout.pages = paginate(layout, rows.reserve);
    return layout;
}

PageLayout layoutPages(const Workbook& book, const Worksheet& sheet, const PageSetup& setup) {
    PageLayout layout;
    layout.margins = {setup.margins.left,   setup.margins.right,  setup.margins.top,
                      setup.margins.bottom, setup.margins.header, setup.margins.footer};
    layout.scale = std::clamp(setup.scale, 10, 400);
    layout.landscape = setup.landscape;
    if (setup.landscape) {
        std::swap(layout.paperWidthPt, layout.paperHeightPt);
    }
    if (!setup.printArea) {
        return layout;
    }
    layout.lastRow = setup.printArea->lastRow;
    layout.lastCol = setup.printArea->lastCol;
    layOutColumns(book, sheet, layout);
    PrintedRows rows = printedRowHeights(book, sheet, layout.lastRow, layout.columnWidthsPt);
    layout.rowHeightsPt = std::move(rows.heights);
    layout.blocks = findBlocks(sheet, contentRows(sheet, layout.lastRow));
    layout.pages = pagesAtBreaks(layout, rows.reserve, setup.rowBreaks);
    return layout;
}

} // namespace quenly::wb::print
