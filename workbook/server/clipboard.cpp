// The shared clipboard: copying a block with its formats and pasting it into another workbook.
#include "server/clipboard.h"

#include "server/range_address.h"
#include "spreadsheet_automation.h"

#include <algorithm>
#include <atomic>
#include <limits>

namespace quenly::wb {

namespace {

constexpr std::uint32_t kUnmapped = std::numeric_limits<std::uint32_t>::max();

std::uint64_t nextBookId() {
    static std::atomic<std::uint64_t> counter{0};
    return ++counter;
}

bool isBlank(const Cell& c) {
    return c.type == CellType::Empty && c.style == 0;
}

std::string countText(std::uint64_t n) {
    return std::to_string(n);
}

// Maps the style and string indices of one source workbook into the target's tables, each
// source entry once per target.
class IndexMapper {
public:
    IndexMapper(const Workbook& source, Workbook& target, OpenBook::Mapping* mapping)
        : m_source(source)
        , m_target(target)
        , m_mapping(mapping) {}

    std::uint32_t style(std::uint32_t s) {
        if (!m_mapping) {
            return s;
        }
        auto& table = m_mapping->styles;
        if (s >= table.size()) {
            table.resize(std::max<std::size_t>(m_source.styles.size(), s + 1), kUnmapped);
        }
        if (table[s] == kUnmapped) {
            table[s] = m_target.styles.intern(m_source.styles.at(s));
        }
        return table[s];
    }

    std::uint32_t text(std::uint32_t t) {
        if (!m_mapping) {
            return t;
        }
        auto& table = m_mapping->strings;
        if (t >= table.size()) {
            if (table.empty()) {
                // Most texts of a wage table reach the result: size the target's index once
                // instead of growing it rehash by rehash.
                m_target.strings.reserve(m_target.strings.size() + m_source.strings.size());
            }
            table.resize(std::max<std::size_t>(m_source.strings.size(), t + 1), kUnmapped);
        }
        if (table[t] == kUnmapped) {
            const SharedString& s = m_source.strings.at(t);
            table[t] =
                s.runs.empty() ? m_target.strings.intern(s.text) : m_target.strings.addRich(s);
        }
        return table[t];
    }

private:
    const Workbook& m_source;
    Workbook& m_target;
    OpenBook::Mapping* m_mapping;
};

} // namespace

OpenBook::OpenBook(std::shared_ptr<Workbook> b)
    : book(std::move(b))
    , id(nextBookId()) {}

void Clipboard::copy(const std::shared_ptr<OpenBook>& source, std::size_t sheet,
                     const CellRange& area) {
    const Worksheet& ws = source->book->sheet(sheet);
    m_rows.clear();
    m_cells.clear();
    m_merges.clear();

    const std::uint32_t rowsAvailable = ws.rowCount();
    if (area.firstRow < rowsAvailable) {
        const std::uint32_t last = std::min(area.lastRow, rowsAvailable - 1);
        m_rows.resize(last - area.firstRow + 1);
        for (std::uint32_t r = area.firstRow; r <= last; ++r) {
            const Row& row = *ws.row(r);
            CopiedRow& out = m_rows[r - area.firstRow];
            out.present = true;
            out.height = row.height;
            out.customHeight = row.customHeight;
            out.hidden = row.hidden;
            if (row.cells.empty()) {
                continue;
            }
            std::uint32_t from = std::max(area.firstCol, row.firstCol);
            std::uint32_t to = std::min<std::uint64_t>(
                area.lastCol, static_cast<std::uint64_t>(row.firstCol) + row.cells.size() - 1);
            // Blank cells at either end carry nothing; leaving them out keeps pastes small.
            while (from <= to && isBlank(row.cells[from - row.firstCol])) {
                ++from;
            }
            while (to >= from && isBlank(row.cells[to - row.firstCol])) {
                if (to == 0) {
                    break;
                }
                --to;
            }
            if (from > to || isBlank(row.cells[to - row.firstCol])) {
                continue;
            }
            out.offset = static_cast<std::uint32_t>(m_cells.size());
            out.firstCol = from - area.firstCol;
            out.count = to - from + 1;
            m_cells.insert(m_cells.end(), row.cells.begin() + (from - row.firstCol),
                           row.cells.begin() + (to - row.firstCol) + 1);
        }
    }
    for (const CellRange& m : ws.merges().intersecting(area)) {
        if (area.contains(m)) {
            m_merges.push_back({m.firstRow - area.firstRow, m.firstCol - area.firstCol,
                                m.lastRow - area.firstRow, m.lastCol - area.firstCol});
        }
    }
    m_source = source;
    m_area = area;
    m_sourceDefaultRowHeight = ws.defaultRowHeight;
}

namespace {

// Where a copy of `copied` pasted at (row, col) lands; refused when it runs past the sheet.
CellRange pasteArea(const CellRange& copied, std::uint32_t row, std::uint32_t col) {
    const std::uint32_t height = copied.lastRow - copied.firstRow + 1;
    const std::uint32_t width = copied.lastCol - copied.firstCol + 1;
    const bool pastLastRow = static_cast<std::uint64_t>(row) + height > kMaxRows;
    if (pastLastRow || static_cast<std::uint64_t>(col) + width > kMaxCols) {
        throw AutomationError("无法粘贴到 " + cells::cellAddress(row, col) + "：复制的区域（" +
                              countText(height) + " 行 × " + countText(width) + " 列）超出了" +
                              (pastLastRow ? "工作表的最后一行（工作表最多有 1048576 行）"
                                           : "工作表的最后一列（最后一列是 XFD 列）"));
    }
    return {row, col, row + height - 1, col + width - 1};
}

// Removes the merges lying inside `dest`, which the paste replaces. Refuses before changing
// anything when a merge is cut by the area: it cannot be changed in part.
void clearMergesFor(Worksheet& ws, const CellRange& dest) {
    const std::vector<CellRange> hits = ws.merges().intersecting(dest);
    for (const CellRange& m : hits) {
        if (!dest.contains(m)) {
            throw AutomationError("无法粘贴到 " + rangeAddress(dest) + "：该区域与合并单元格 " +
                                  rangeAddress(m) + " 部分重叠，不能只更改合并单元格的一部分");
        }
    }
    if (!hits.empty()) {
        ws.merges().removeInside(dest);
    }
}

} // namespace

CellRange Clipboard::paste(OpenBook& target, std::size_t sheet, std::uint32_t row,
                           std::uint32_t col) {
    if (!m_source) {
        throw AutomationError("剪贴板是空的：请先复制要粘贴的区域");
    }
    const CellRange dest = pasteArea(m_area, row, col);
    const std::uint32_t height = dest.lastRow - dest.firstRow + 1;
    Workbook& book = *target.book;
    Worksheet& ws = book.sheet(sheet);
    clearMergesFor(ws, dest);

    const Workbook& source = *m_source->book;
    OpenBook::Mapping* mapping =
        m_source->id == target.id ? nullptr : &target.mappings[m_source->id];
    if (target.adoptsDefaults) {
        target.adoptsDefaults = false;
        if (mapping) {
            // Widths count characters of the default font, so the slips keep the source's.
            book.styles.setDefault(source.styles.at(0));
            ws.defaultRowHeight = m_sourceDefaultRowHeight;
        }
    }
    IndexMapper map(source, book, mapping);

    for (std::uint32_t i = 0; i < height; ++i) {
        const std::uint32_t r = row + i;
        const CopiedRow* copied = i < m_rows.size() && m_rows[i].present ? &m_rows[i] : nullptr;
        if (!copied && r >= ws.rowCount()) {
            continue; // nothing to write and nothing to clear
        }
        Row& out = ws.rowForWrite(r);
        // What the area held before goes, as with any paste.
        if (!out.cells.empty()) {
            const std::uint32_t from = std::max(col, out.firstCol);
            const std::uint64_t end = static_cast<std::uint64_t>(out.firstCol) + out.cells.size();
            for (std::uint64_t c = from; c <= dest.lastCol && c < end; ++c) {
                out.cells[c - out.firstCol] = Cell{};
            }
        }
        if (!copied) {
            out.height = 0;
            out.customHeight = false;
            out.hidden = false;
            continue;
        }
        // A spreadsheet application's paste gives the pasted rows the target's heights and never
        // hides them. Heights are kept here, so that a header looks as the clerk sees it, but a
        // single row pasted on its own (a person's) always shows: at its source height, or the
        // default height where the source row is hidden or zero high.
        const bool unhide = height == 1 && copied->hidden;
        if (copied->height > 0 && !unhide) {
            out.height = copied->height;
            out.customHeight = copied->customHeight;
        } else {
            // A row of the source's default height keeps that height where the defaults differ.
            out.height =
                m_sourceDefaultRowHeight != ws.defaultRowHeight ? m_sourceDefaultRowHeight : 0;
            out.customHeight = copied->customHeight && !unhide;
        }
        out.hidden = copied->hidden && !unhide;
        if (copied->count == 0) {
            continue;
        }
        const std::uint32_t first = col + copied->firstCol;
        const std::uint32_t last = first + copied->count - 1;
        ws.cellForWrite(r, first);
        ws.cellForWrite(r, last);
        Cell* dst = &out.cells[first - out.firstCol];
        const Cell* src = &m_cells[copied->offset];
        for (std::uint32_t k = 0; k < copied->count; ++k) {
            Cell c = src[k];
            c.style = map.style(c.style);
            if (c.type == CellType::Text) {
                c.text = map.text(c.text);
            }
            dst[k] = c;
        }
    }
    for (const CellRange& m : m_merges) {
        ws.merges().add({m.firstRow + row, m.firstCol + col, m.lastRow + row, m.lastCol + col});
    }
    return dest;
}

void Clipboard::forget(std::uint64_t bookId) {
    if (m_source && m_source->id == bookId) {
        clear();
    }
}

void Clipboard::clear() {
    m_source.reset();
    m_rows.clear();
    m_cells.clear();
    m_merges.clear();
}

} // namespace quenly::wb
