// The in-memory workbook: style and string interning, rows, columns and merges.
#include "workbook.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace quenly::wb {

namespace {

inline void mix(std::size_t& h, std::size_t v) {
    h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
}

void mixColor(std::size_t& h, const Color& c) {
    mix(h, static_cast<std::size_t>(c.kind));
    mix(h, c.argb);
}

void mixSide(std::size_t& h, const BorderSide& s) {
    mix(h, std::hash<std::string>{}(s.style));
    mixColor(h, s.color);
}

} // namespace

std::size_t hashFormat(const CellFormat& f) {
    std::size_t h = 0;
    std::hash<std::string> hs;
    mix(h, hs(f.font.name));
    mix(h, std::hash<double>{}(f.font.size));
    mix(h, (f.font.bold ? 1u : 0u) | (f.font.italic ? 2u : 0u) | (f.font.strike ? 4u : 0u));
    mix(h, hs(f.font.underline));
    mix(h, hs(f.font.vertAlign));
    mixColor(h, f.font.color);
    mix(h, hs(f.fill.pattern));
    mixColor(h, f.fill.fg);
    mixColor(h, f.fill.bg);
    mixSide(h, f.border.left);
    mixSide(h, f.border.right);
    mixSide(h, f.border.top);
    mixSide(h, f.border.bottom);
    mixSide(h, f.border.diagonal);
    mix(h, hs(f.alignment.horizontal));
    mix(h, hs(f.alignment.vertical));
    mix(h, static_cast<std::size_t>(f.alignment.indent * 1000 + f.alignment.rotation));
    mix(h, (f.alignment.wrap ? 1u : 0u) | (f.alignment.shrink ? 2u : 0u));
    mix(h, hs(f.numberFormat));
    mix(h, (f.protection.locked ? 1u : 0u) | (f.protection.hidden ? 2u : 0u));
    return h;
}

StyleTable::StyleTable() {
    m_formats.emplace_back();
    m_index.emplace(hashFormat(m_formats[0]), 0);
}

std::uint32_t StyleTable::intern(const CellFormat& format) {
    const std::size_t h = hashFormat(format);
    auto [b, e] = m_index.equal_range(h);
    for (auto it = b; it != e; ++it) {
        if (m_formats[it->second] == format) {
            return it->second;
        }
    }
    const auto index = static_cast<std::uint32_t>(m_formats.size());
    m_formats.push_back(format);
    m_index.emplace(h, index);
    return index;
}

void StyleTable::setDefault(const CellFormat& format) {
    for (auto it = m_index.begin(); it != m_index.end(); ++it) {
        if (it->second == 0) {
            m_index.erase(it);
            break;
        }
    }
    m_formats[0] = format;
    m_index.emplace(hashFormat(format), 0);
}

std::uint32_t StringTable::intern(std::string_view text) {
    if (auto it = m_plain.find(text); it != m_plain.end()) {
        return it->second;
    }
    const auto index = static_cast<std::uint32_t>(m_strings.size());
    m_strings.push_back(SharedString{std::string(text), {}});
    m_plain.emplace(std::string_view(m_strings.back().text), index);
    return index;
}

std::uint32_t StringTable::addRich(SharedString s) {
    if (s.runs.empty()) {
        return intern(s.text);
    }
    const auto index = static_cast<std::uint32_t>(m_strings.size());
    m_strings.push_back(std::move(s));
    return index;
}

Cell Cell::makeNumber(double v, std::uint32_t style) {
    Cell c;
    c.type = CellType::Number;
    c.number = v;
    c.style = style;
    return c;
}

Cell Cell::makeText(std::uint32_t textIndex, std::uint32_t style) {
    Cell c;
    c.type = CellType::Text;
    c.text = textIndex;
    c.style = style;
    return c;
}

Cell Cell::makeBool(bool v, std::uint32_t style) {
    Cell c;
    c.type = CellType::Bool;
    c.boolean = v;
    c.style = style;
    return c;
}

Cell Cell::makeError(std::uint8_t code, std::uint32_t style) {
    Cell c;
    c.type = CellType::Error;
    c.error = code;
    c.style = style;
    return c;
}

void MergeList::add(const CellRange& r) {
    ++m_count;
    const std::uint32_t height = r.lastRow >= r.firstRow ? r.lastRow - r.firstRow + 1 : 1;
    if (height > kTallRows) {
        const auto at = std::upper_bound(
            m_tall.begin(), m_tall.end(), r,
            [](const CellRange& a, const CellRange& b) { return a.firstRow < b.firstRow; });
        m_tall.insert(at, r);
        return;
    }
    if (r.firstRow >= m_byRow.size()) {
        m_byRow.resize(r.firstRow + 1);
    }
    m_byRow[r.firstRow].push_back(r);
    m_maxHeight = std::max(m_maxHeight, height);
}

std::vector<CellRange> MergeList::intersecting(const CellRange& area) const {
    std::vector<CellRange> out;
    if (m_count == 0) {
        return out;
    }
    const std::uint32_t from = area.firstRow >= m_maxHeight ? area.firstRow - m_maxHeight + 1 : 0;
    const std::uint32_t to =
        std::min<std::uint32_t>(area.lastRow + 1, static_cast<std::uint32_t>(m_byRow.size()));
    for (std::uint32_t r = from; r < to; ++r) {
        for (const CellRange& m : m_byRow[r]) {
            if (m.intersects(area)) {
                out.push_back(m);
            }
        }
    }
    for (const CellRange& m : m_tall) {
        if (m.intersects(area)) {
            out.push_back(m);
        }
    }
    return out;
}

std::size_t MergeList::removeInside(const CellRange& area) {
    std::size_t removed = 0;
    const std::uint32_t to =
        std::min<std::uint32_t>(area.lastRow + 1, static_cast<std::uint32_t>(m_byRow.size()));
    for (std::uint32_t r = area.firstRow; r < to; ++r) {
        auto& v = m_byRow[r];
        const auto before = v.size();
        std::erase_if(v, [&](const CellRange& m) { return area.contains(m); });
        removed += before - v.size();
    }
    const auto before = m_tall.size();
    std::erase_if(m_tall, [&](const CellRange& m) { return area.contains(m); });
    removed += before - m_tall.size();
    m_count -= removed;
    return removed;
}

std::vector<CellRange> MergeList::all() const {
    std::vector<CellRange> out;
    out.reserve(m_count);
    forEach([&](const CellRange& m) { out.push_back(m); });
    std::stable_sort(out.begin(), out.end(), [](const CellRange& a, const CellRange& b) {
        return a.firstRow != b.firstRow ? a.firstRow < b.firstRow : a.firstCol < b.firstCol;
    });
    return out;
}

Row& Worksheet::rowForWrite(std::uint32_t r) {
    if (r >= kMaxRows) {
        throw WorkbookError("行号超出工作表范围");
    }
    if (r >= m_rows.size()) {
        m_rows.resize(r + 1);
    }
    return m_rows[r];
}

const Cell* Worksheet::cell(std::uint32_t r, std::uint32_t c) const {
    const Row* rw = row(r);
    return rw ? rw->cell(c) : nullptr;
}

Cell& Worksheet::cellForWrite(std::uint32_t r, std::uint32_t c) {
    if (c >= kMaxCols) {
        throw WorkbookError("列号超出工作表范围");
    }
    Row& rw = rowForWrite(r);
    if (rw.cells.empty()) {
        rw.firstCol = c;
        rw.cells.resize(1);
        return rw.cells[0];
    }
    if (c < rw.firstCol) {
        rw.cells.insert(rw.cells.begin(), rw.firstCol - c, Cell{});
        rw.firstCol = c;
    } else if (c - rw.firstCol >= rw.cells.size()) {
        rw.cells.resize(c - rw.firstCol + 1);
    }
    return rw.cells[c - rw.firstCol];
}

const ColumnInfo& Worksheet::column(std::uint32_t c) const {
    static const ColumnInfo kDefault{};
    return c < m_columns.size() ? m_columns[c] : kDefault;
}

ColumnInfo& Worksheet::columnForWrite(std::uint32_t c) {
    if (c >= kMaxCols) {
        throw WorkbookError("列号超出工作表范围");
    }
    if (c >= m_columns.size()) {
        m_columns.resize(c + 1);
    }
    return m_columns[c];
}

double digitWidthPixels(const Font& font) {
    const double size = font.size > 0 ? font.size : 11;
    return std::max(1.0, std::round(size * 96.0 / 72.0 * 0.5));
}

double columnWidthFromBase(int base, double digitPx) {
    return base + 5.0 / std::max(digitPx, 1.0);
}

double columnWidthFromDefColWidth(int base, double fontTwips) {
    return base + (40960.0 / std::max(fontTwips - 15, 60.0) + 50) / 256;
}

Worksheet& Workbook::addSheet(std::string name) {
    m_sheets.push_back(std::make_unique<Worksheet>(std::move(name)));
    return *m_sheets.back();
}

} // namespace quenly::wb
