// The worksheet part: the plan of a sheet and its XML, piece by piece.
#include "xlsx/sheet_part.h"

#include "text_util.h"
#include "xlsx/sheetml.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <string_view>

namespace quenly::wb::xlsx_write {

namespace {

using xml::XmlBuffer;

// Upper bounds of the XML of one cell, one row's own markup and one merge.
constexpr std::uint64_t kCellBound = 80;
constexpr std::uint64_t kRowBound = 128;
constexpr std::uint64_t kMergeBound = 48;
constexpr std::size_t kMergesPerPiece = 30000;

// Column letters of every column, 0-based, each padded to 4 bytes so a cell can copy 4 at once.
struct ColumnNames {
    std::array<std::array<char, 4>, kMaxCols> text{};
    std::array<std::uint8_t, kMaxCols> length{};

    ColumnNames() {
        for (std::uint32_t c = 0; c < kMaxCols; ++c) {
            char* const end = cells::writeColumnName(text[c].data(), c);
            length[c] = static_cast<std::uint8_t>(end - text[c].data());
        }
    }
};

const ColumnNames& columnNames() {
    static const ColumnNames names;
    return names;
}

// Copies a literal without its terminating zero; returns the end.
template <std::size_t N>
char* put(char* p, const char (&text)[N]) {
    std::memcpy(p, text, N - 1);
    return p + N - 1;
}

char* putText(char* p, std::string_view text) {
    std::memcpy(p, text.data(), text.size());
    return p + text.size();
}

// Spreadsheet applications refuse overlapping merges (Excel "repairs" the file by dropping
// them), so a merge that overlaps one kept before it is left out. `merges` is sorted by first row;
// the sweep keeps only the merges still reaching the current row, usually one or two.
void dropOverlappingMerges(std::vector<CellRange>& merges) {
    std::vector<CellRange> active;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < merges.size(); ++i) {
        const CellRange m = merges[i];
        std::erase_if(active, [&](const CellRange& a) { return a.lastRow < m.firstRow; });
        const bool overlaps = std::any_of(active.begin(), active.end(),
                                          [&](const CellRange& a) { return a.intersects(m); });
        if (!overlaps) {
            active.push_back(m);
            merges[kept++] = m;
        }
    }
    merges.resize(kept);
}

// The merges of `ws` that a spreadsheet application accepts, ordered by first row and column:
// single cells, ranges off the sheet and merges overlapping an earlier one are left out.
std::vector<CellRange> mergesToWrite(const Worksheet& ws) {
    std::vector<CellRange> merges;
    ws.merges().forEach([&](const CellRange& m) {
        if (m.lastRow >= m.firstRow && m.lastCol >= m.firstCol && m.lastRow < kMaxRows &&
            m.lastCol < kMaxCols && (m.lastRow != m.firstRow || m.lastCol != m.firstCol)) {
            merges.push_back(m);
        }
    });
    std::stable_sort(merges.begin(), merges.end(), [](const CellRange& a, const CellRange& b) {
        return a.firstRow != b.firstRow ? a.firstRow < b.firstRow : a.firstCol < b.firstCol;
    });
    dropOverlappingMerges(merges);
    return merges;
}

} // namespace

// Scans the cells once: checks their style and text indices, marks the texts in use, finds the
// used range and cuts the rows into pieces of bounded size.
SheetPlan planSheet(const Workbook& book, const Worksheet& ws, std::vector<std::uint32_t>& used,
                    const std::filesystem::path& file) {
    SheetPlan plan;
    plan.sheet = &ws;
    const std::size_t styleCount = book.styles.size();
    const std::size_t stringCount = used.size();
    std::uint64_t pieceBound = 0;
    std::uint64_t bound = 0;
    plan.rowCuts.push_back(0);
    for (std::uint32_t r = 0; r < ws.rowCount(); ++r) {
        const Row& row = *ws.row(r);
        const Cell* cells = row.cells.data();
        const std::size_t n = row.cells.size();
        if (n > 0 && (row.firstCol >= kMaxCols || n > kMaxCols - row.firstCol)) {
            throw WorkbookError("无法保存文件" + inQuotes(file.string()) + "：工作表" +
                                inQuotes(ws.name()) + "第 " + std::to_string(r + 1) +
                                " 行超出了最大列数");
        }
        std::size_t first = n, last = 0;
        for (std::size_t k = 0; k < n; ++k) {
            const Cell& c = cells[k];
            if (c.type == CellType::Empty && c.style == 0) {
                continue;
            }
            if (c.style >= styleCount || (c.type == CellType::Text && c.text >= stringCount)) {
                XmlBuffer ref;
                appendCellRef(ref, r, static_cast<std::uint32_t>(row.firstCol + k));
                throw WorkbookError("无法保存文件" + inQuotes(file.string()) + "：工作表" +
                                    inQuotes(ws.name()) + "的单元格 " + std::string(ref.view()) +
                                    " 引用了不存在的" + (c.style >= styleCount ? "格式" : "文本"));
            }
            if (c.type == CellType::Text) {
                used[c.text] = 1;
                ++plan.textCells;
            }
            first = std::min(first, k);
            last = k;
        }
        if (first < n) {
            const auto fc = static_cast<std::uint32_t>(row.firstCol + first);
            const auto lc = static_cast<std::uint32_t>(row.firstCol + last);
            if (!plan.anyCell) {
                plan.anyCell = true;
                plan.firstRow = r;
                plan.firstCol = fc;
                plan.lastCol = lc;
            }
            plan.firstCol = std::min(plan.firstCol, fc);
            plan.lastCol = std::max(plan.lastCol, lc);
            plan.lastRow = r;
        }
        const std::uint64_t rowBound = kRowBound + kCellBound * n;
        bound += rowBound;
        pieceBound += rowBound;
        if (pieceBound >= kPieceBound) {
            plan.rowCuts.push_back(r + 1);
            pieceBound = 0;
        }
    }
    if (plan.rowCuts.back() != ws.rowCount()) {
        plan.rowCuts.push_back(ws.rowCount());
    }
    plan.merges = mergesToWrite(ws);
    bound += kMergeBound * plan.merges.size();
    bound += 256 * std::uint64_t{ws.columnInfoCount()} + 4096;
    if (ws.pageSetup) {
        bound += 64 * std::min(ws.pageSetup->rowBreaks.size(), kMaxManualRowBreaks);
    }
    plan.sizeBound = bound;
    return plan;
}

namespace {

// The digits of a row's number, written once for the row and copied into each cell reference.
struct RowNumber {
    char digits[12];
    std::size_t count = 0;
};

// Writes `<row r="N"` and the row's height and hidden attributes at `p`, without closing the
// tag; `attributes` tells whether there were any. Returns the end.
char* writeRowStart(char* p, const Row& row, const RowNumber& number, bool& attributes) {
    p = put(p, "<row r=\"");
    std::memcpy(p, number.digits, number.count);
    p += number.count;
    *p++ = '"';
    if (row.height > 0) {
        p = xml::writeDouble(put(p, " ht=\""), row.height);
        *p++ = '"';
        if (row.customHeight) {
            p = put(p, " customHeight=\"1\"");
        }
        attributes = true;
    }
    if (row.hidden) {
        p = put(p, " hidden=\"1\"");
        attributes = true;
    }
    return p;
}

// Writes one cell's element at `p`; returns the end.
char* writeCell(char* p, const Cell& c, const ColumnNames& names, std::uint32_t col,
                const RowNumber& number, const std::uint32_t* remap) {
    p = put(p, "<c r=\"");
    std::memcpy(p, names.text[col].data(), 4);
    p += names.length[col];
    std::memcpy(p, number.digits, number.count);
    p += number.count;
    *p++ = '"';
    if (c.style != 0) {
        p = xml::writeUInt(put(p, " s=\""), c.style);
        *p++ = '"';
    }
    switch (c.type) {
    case CellType::Empty:
        *p++ = '/';
        *p++ = '>';
        return p;
    case CellType::Number:
        if (std::isfinite(c.number)) {
            p = xml::writeDouble(put(p, "><v>"), c.number);
        } else {
            // Not a number a spreadsheet can hold; Excel shows such results so.
            p = putText(put(p, " t=\"e\"><v>"), cellErrorText(CellErrorCode::Num));
        }
        break;
    case CellType::Text:
        p = xml::writeUInt(put(p, " t=\"s\"><v>"), remap[c.text]);
        break;
    case CellType::Bool:
        p = put(p, " t=\"b\"><v>");
        *p++ = c.boolean ? '1' : '0';
        break;
    case CellType::Error: {
        p = putText(put(p, " t=\"e\"><v>"), cellErrorText(static_cast<CellErrorCode>(c.error)));
        break;
    }
    }
    return put(p, "</v></c>");
}

// The sheet's page set-up: how it prints, with a manual break before each row it names.
void appendPageSetup(XmlBuffer& b, const PageSetup& setup) {
    if (setup.centredHorizontally) {
        b.append("<printOptions horizontalCentered=\"1\"/>");
    }
    const PageMargins& m = setup.margins;
    b.append("<pageMargins");
    b.attrDouble("left", m.left);
    b.attrDouble("right", m.right);
    b.attrDouble("top", m.top);
    b.attrDouble("bottom", m.bottom);
    b.attrDouble("header", m.header);
    b.attrDouble("footer", m.footer);
    b.append("/><pageSetup");
    b.attr("paperSize", std::uint64_t{setup.paperSize});
    b.attr("scale", static_cast<std::uint64_t>(setup.scale));
    b.attr("orientation", setup.landscape ? "landscape" : "portrait");
    b.append("/>");
    if (!setup.rowBreaks.empty()) {
        // Spreadsheet applications keep no more than this; later pages break where they fill.
        const std::uint64_t n = std::min(setup.rowBreaks.size(), kMaxManualRowBreaks);
        b.append("<rowBreaks");
        b.attr("count", n);
        b.attr("manualBreakCount", n);
        b.append('>');
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t row = setup.rowBreaks[i];
            b.append("<brk");
            b.attr("id", std::uint64_t{row});
            b.append(" max=\"16383\" man=\"1\"/>");
        }
        b.append("</rowBreaks>");
    }
}

} // namespace

SheetXml::SheetXml(const SheetPlan& plan, const std::vector<std::uint32_t>& remap)
    : m_plan(plan)
    , m_ws(*plan.sheet)
    , m_remap(remap.data()) {
    const std::size_t rowPieces = plan.rowCuts.size() - 1;
    const std::size_t mergePieces = (plan.merges.size() + kMergesPerPiece - 1) / kMergesPerPiece;
    m_firstRowPiece = 1;
    m_firstMergePiece = m_firstRowPiece + rowPieces;
    m_tailPiece = m_firstMergePiece + mergePieces;
}

void SheetXml::produce(std::size_t index, std::string& out) const {
    XmlBuffer b(std::move(out));
    if (index == 0) {
        head(b);
    } else if (index < m_firstMergePiece) {
        const std::size_t k = index - m_firstRowPiece;
        rows(b, m_plan.rowCuts[k], m_plan.rowCuts[k + 1]);
    } else if (index < m_tailPiece) {
        merges(b, index - m_firstMergePiece);
    } else {
        tail(b);
    }
    out = b.take();
}

void SheetXml::head(XmlBuffer& b) const {
    b.append(kXmlDecl);
    b.append("<worksheet");
    b.attr("xmlns", kMainNs);
    b.attr("xmlns:r", kRelNs);
    b.append('>');
    b.append("<dimension ref=\"");
    if (m_plan.anyCell) {
        appendRange(b, {m_plan.firstRow, m_plan.firstCol, m_plan.lastRow, m_plan.lastCol});
    } else {
        b.append("A1");
    }
    b.append("\"/>");
    b.append("<sheetViews><sheetView");
    if (m_plan.active) {
        b.append(" tabSelected=\"1\"");
    }
    b.append(" workbookViewId=\"0\"/></sheetViews>");
    b.append("<sheetFormatPr");
    if (m_ws.baseColumnWidth > 0) {
        b.attr("baseColWidth", static_cast<std::uint64_t>(m_ws.baseColumnWidth));
    } else if (m_ws.defaultColumnWidth > 0) {
        b.attrDouble("defaultColWidth", m_ws.defaultColumnWidth);
    }
    b.attrDouble("defaultRowHeight", m_ws.defaultRowHeight > 0 ? m_ws.defaultRowHeight : 15);
    b.append("/>");
    columns(b);
    b.append("<sheetData>");
}

void SheetXml::columns(XmlBuffer& b) const {
    const ColumnInfo none{};
    const std::uint32_t count = std::min(m_ws.columnInfoCount(), kMaxCols);
    bool open = false;
    for (std::uint32_t c = 0; c < count;) {
        const ColumnInfo& info = m_ws.column(c);
        std::uint32_t end = c + 1;
        while (end < count && m_ws.column(end) == info) {
            ++end;
        }
        if (!(info == none)) {
            if (!open) {
                b.append("<cols>");
                open = true;
            }
            b.append("<col");
            b.attr("min", c + 1);
            b.attr("max", end);
            const double width = info.width > 0 ? info.width
                                 : info.hidden  ? 0.0
                                                : m_ws.defaultColumnWidth;
            b.attrDouble("width", width);
            if (info.style != 0) {
                b.attr("style", info.style);
            }
            if (info.hidden) {
                b.append(" hidden=\"1\"");
            }
            if (info.customWidth) {
                b.append(" customWidth=\"1\"");
            }
            b.append("/>");
        }
        c = end;
    }
    if (open) {
        b.append("</cols>");
    }
}

void SheetXml::rows(XmlBuffer& b, std::uint32_t begin, std::uint32_t end) const {
    const ColumnNames& names = columnNames();
    for (std::uint32_t r = begin; r < end; ++r) {
        const Row& row = *m_ws.row(r);
        const std::size_t n = row.cells.size();
        char* const start = b.ensure(kRowBound + kCellBound * n);
        RowNumber number;
        number.count = static_cast<std::size_t>(
            xml::writeUInt(number.digits, std::uint64_t{r} + 1) - number.digits);
        bool attributes = false;
        char* const openEnd = writeRowStart(start, row, number, attributes);
        char* p = openEnd;
        *p++ = '>';
        bool anyCell = false;
        const Cell* cells = row.cells.data();
        for (std::size_t k = 0; k < n; ++k) {
            const Cell& c = cells[k];
            if (c.type == CellType::Empty && c.style == 0) {
                continue;
            }
            anyCell = true;
            p = writeCell(p, c, names, static_cast<std::uint32_t>(row.firstCol + k), number,
                          m_remap);
        }
        if (anyCell) {
            p = put(p, "</row>");
        } else if (attributes) {
            // A row without cells is written only for its height or for being hidden.
            p = openEnd;
            *p++ = '/';
            *p++ = '>';
        } else {
            p = start;
        }
        b.commit(p);
    }
}

void SheetXml::merges(XmlBuffer& b, std::size_t piece) const {
    const std::size_t from = piece * kMergesPerPiece;
    const std::size_t to = std::min(from + kMergesPerPiece, m_plan.merges.size());
    if (piece == 0) {
        b.append("</sheetData><mergeCells");
        b.attr("count", m_plan.merges.size());
        b.append('>');
    }
    for (std::size_t i = from; i < to; ++i) {
        b.append("<mergeCell ref=\"");
        appendRange(b, m_plan.merges[i]);
        b.append("\"/>");
    }
    if (to == m_plan.merges.size()) {
        b.append("</mergeCells>");
    }
}

void SheetXml::tail(XmlBuffer& b) const {
    if (m_plan.merges.empty()) {
        b.append("</sheetData>");
    }
    if (m_ws.pageSetup) {
        appendPageSetup(b, *m_ws.pageSetup);
    }
    b.append("</worksheet>");
}

} // namespace quenly::wb::xlsx_write
