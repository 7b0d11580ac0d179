// The worksheet part of an .xlsx package: rows and cells, column formats, merges and the sheet's
// defaults, streamed into the in-memory sheet.
#include "xlsx/sheet_reader.h"

#include "text_util.h"
#include "xlsx/shared_strings_reader.h"
#include "xlsx/xlsx_read_common.h"
#include "xlsx/xml_reader.h"

#include <algorithm>
#include <optional>
#include <string>

namespace quenly::wb::xlsx_read {

namespace {

std::optional<CellErrorCode> errorCode(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\n' || text.back() == '\r')) {
        text.remove_suffix(1);
    }
    return cellErrorFromText(text);
}

// "A1:B2" (or a single "A1") as a range with its corners ordered; false when it is no range.
bool parseRange(std::string_view text, CellRange& out) {
    const cells::ParsedRange r = cells::parseRangeAddress(text);
    out = {r.firstRow, r.firstCol, r.lastRow, r.lastCol};
    return r.ok();
}

class SheetHandler : public XmlHandler {
public:
    SheetHandler(Workbook& book, Worksheet& sheet, const ReadStyles& styles,
                 const std::vector<std::uint32_t>& sharedStrings, std::uint64_t partSize)
        : m_book(book)
        , m_sheet(sheet)
        , m_styles(styles)
        , m_shared(sharedStrings)
        , m_partSize(partSize)
        , m_rich(styles) {
        m_value.reserve(64);
    }

    void startElement(std::string_view name, const Attributes& a) override {
        if (m_inCell) {
            cellChild(name, a);
            return;
        }
        if (m_inSheetData) {
            if (name == "c") {
                startCell(a);
            } else if (name == "row") {
                startRow(a);
            }
            return;
        }
        if (name == "sheetData") {
            m_inSheetData = true;
        } else if (name == "col") {
            column(a);
        } else if (name == "mergeCell") {
            merge(a);
        } else if (name == "dimension") {
            dimension(a);
        } else if (name == "sheetFormatPr") {
            formatDefaults(a);
        }
    }

    void endElement(std::string_view name) override {
        if (m_inCell) {
            if (name == "c") {
                endCell();
            } else if (m_inInline) {
                if (name == "is") {
                    m_inInline = false;
                } else {
                    m_rich.end(name);
                }
                wantText = false;
            } else if (name == "v") {
                wantText = false;
            }
            return;
        }
        if (name == "row") {
            m_nextRow = m_rowIndex + 1;
            if (m_row) {
                if (m_rowStyle) {
                    fillStyledRow();
                }
                m_lastRowWidth = m_row->cells.size();
            }
            m_row = nullptr;
            m_rowStyle = 0;
        } else if (name == "sheetData") {
            m_inSheetData = false;
        }
    }

    void text(const char* s, std::size_t n) override {
        if (m_inInline) {
            m_rich.text(s, n);
        } else {
            m_value.append(s, n);
        }
    }

private:
    enum class ValueType : std::uint8_t { Number, Shared, Str, Inline, Bool, Error, Date };

    void startRow(const Attributes& a) {
        std::uint32_t index = m_nextRow;
        const char* ht = nullptr;
        const char* custom = nullptr;
        const char* hidden = nullptr;
        const char* style = nullptr;
        const char* customFormat = nullptr;
        for (const char** p = rawList(a); *p; p += 2) {
            const std::string_view n = localName(p[0]);
            if (n == "r") {
                const auto v = parseUnsigned(p[1]);
                if (v && *v > kMaxRows) {
                    throw ContentFault("行号" + std::string(p[1]) + kBeyondRows);
                }
                if (!v || *v == 0) {
                    throw ContentFault("行号" + inQuotes(p[1]) + "无效");
                }
                index = *v - 1;
            } else if (n == "ht") {
                ht = p[1];
            } else if (n == "customHeight") {
                custom = p[1];
            } else if (n == "hidden") {
                hidden = p[1];
            } else if (n == "s") {
                style = p[1];
            } else if (n == "customFormat") {
                customFormat = p[1];
            }
        }
        if (index >= kMaxRows) {
            throw ContentFault("第" + std::to_string(index + 1ull) + "行" + kBeyondRows);
        }
        m_rowIndex = index;
        m_row = &m_sheet.rowForWrite(index);
        bool zeroHigh = false;
        if (ht) {
            if (auto h = parseDouble(ht); h && *h >= 0 && *h <= 409.5) {
                m_row->height = *h;
                zeroHigh = *h == 0;
            }
        }
        m_row->customHeight = parseBool(custom, false);
        // A row zero high is hidden, as spreadsheet applications hide it.
        m_row->hidden = parseBool(hidden, false) || zeroHigh;
        m_rowStyle = 0;
        if (style && parseBool(customFormat, false)) {
            m_rowStyle = styleOf(style, [&] { return "第" + std::to_string(index + 1ull) + "行"; });
        }
        if (m_row->cells.empty() && m_lastRowWidth) {
            m_row->cells.reserve(m_lastRowWidth);
        }
        m_nextCol = 0;
    }

    void startCell(const Attributes& a) {
        const char* ref = nullptr;
        const char* xf = nullptr;
        m_type = ValueType::Number;
        for (const char** p = rawList(a); *p; p += 2) {
            const std::string_view n = localName(p[0]);
            if (n == "r") {
                ref = p[1];
            } else if (n == "s") {
                xf = p[1];
            } else if (n == "t") {
                m_type = valueType(p[1]);
            }
        }
        if (!m_row) {
            // A cell outside any <row>: the row after the last one.
            m_rowIndex = m_nextRow;
            m_row = &m_sheet.rowForWrite(m_rowIndex);
            m_nextCol = 0;
        }
        m_cellRow = m_rowIndex;
        m_cellCol = m_nextCol;
        if (ref) {
            const cells::ParsedRange r = cells::parseCellAddress(ref);
            if (!r.ok()) {
                const bool beyond = r.fault == cells::AddressFault::RowBeyondSheet ||
                                    r.fault == cells::AddressFault::ColumnBeyondSheet;
                throw ContentFault("单元格地址" + inQuotes(ref) + (beyond ? kBeyondSheet : "无效"));
            }
            m_cellRow = r.firstRow;
            m_cellCol = r.firstCol;
        }
        if (m_cellCol >= kMaxCols) {
            throw ContentFault("第" + std::to_string(m_cellRow + 1ull) + "行的单元格" +
                               kBeyondCols);
        }
        m_nextCol = m_cellCol + 1;
        m_cellStyle =
            xf ? styleOf(xf, [this] { return "单元格" + cells::cellAddress(m_cellRow, m_cellCol); })
               : m_styles.style(0);
        m_inCell = true;
        m_hasValue = false;
        m_sawInline = false;
        m_value.clear();
    }

    void cellChild(std::string_view name, const Attributes& a) {
        if (m_inInline) {
            wantText = m_rich.start(name, a);
        } else if (name == "v") {
            m_hasValue = true;
            m_value.clear();
            wantText = true;
        } else if (name == "is") {
            m_inInline = true;
            m_sawInline = true;
            m_hasValue = true;
            m_type = ValueType::Inline;
            m_rich.begin();
        }
    }

    void endCell() {
        m_inCell = false;
        wantText = false;
        Cell cell;
        cell.style = m_cellStyle;
        if (m_hasValue) {
            switch (m_type) {
            case ValueType::Number:
                if (!isBlank(m_value)) {
                    const auto v = parseDouble(m_value);
                    if (!v) {
                        fault("的数值" + inQuotes(m_value) + "无效");
                    }
                    cell.type = CellType::Number;
                    cell.number = *v;
                }
                break;
            case ValueType::Shared: {
                const auto i = parseUnsigned(m_value);
                if (!i || *i >= m_shared.size()) {
                    fault("引用的共享字符串" + inQuotes(m_value) + "不存在（共" +
                          std::to_string(m_shared.size()) + "条）");
                }
                cell.type = CellType::Text;
                cell.text = m_shared[*i];
                break;
            }
            case ValueType::Str:
                decodeEscapes(m_value);
                cell.type = CellType::Text;
                cell.text = m_book.strings.intern(m_value);
                break;
            case ValueType::Inline:
                cell.type = CellType::Text;
                if (m_sawInline) {
                    cell.text = m_rich.finish(m_book.strings);
                } else {
                    // An inline string written as <v> text, as some writers do.
                    decodeEscapes(m_value);
                    cell.text = m_book.strings.intern(m_value);
                }
                break;
            case ValueType::Bool: {
                const std::string_view v = trimmed(m_value);
                if (v != "0" && v != "1" && v != "true" && v != "false") {
                    fault("的逻辑值" + inQuotes(m_value) + "无效");
                }
                cell.type = CellType::Bool;
                cell.boolean = v == "1" || v == "true";
                break;
            }
            case ValueType::Error:
                if (auto code = errorCode(m_value)) {
                    cell.type = CellType::Error;
                    cell.error = static_cast<std::uint8_t>(*code);
                } else if (!isBlank(m_value)) {
                    // An error of a newer application (#SPILL!, #CALC!, ...): keep what it showed.
                    cell.type = CellType::Text;
                    cell.text = m_book.strings.intern(trimmed(m_value));
                }
                break;
            case ValueType::Date:
                if (!isBlank(m_value)) {
                    const auto v = parseIsoDate(m_value, m_book.date1904);
                    if (!v) {
                        fault("的日期" + inQuotes(m_value) + "无效");
                    }
                    cell.type = CellType::Number;
                    cell.number = *v;
                }
                break;
            }
        }
        m_inInline = false;
        place(cell);
    }

    void place(const Cell& cell) {
        ++m_cellCount;
        if (m_cellRow != m_rowIndex) {
            // The cell names another row than its <row>: follow the cell.
            m_rowIndex = m_cellRow;
            m_row = &m_sheet.rowForWrite(m_rowIndex);
            m_rowStyle = 0;
        }
        m_lastCol = std::max(m_lastCol, m_cellCol);
        Row& row = *m_row;
        if (row.cells.empty()) {
            row.firstCol = m_cellCol;
            row.cells.push_back(cell);
            return;
        }
        const std::uint32_t end = row.firstCol + static_cast<std::uint32_t>(row.cells.size());
        if (m_cellCol == end) {
            row.cells.push_back(cell);
        } else if (m_cellCol > end) {
            pad(m_cellCol - end);
            row.cells.resize(m_cellCol - row.firstCol, rowStyledEmpty());
            row.cells.push_back(cell);
        } else {
            if (m_cellCol < row.firstCol) {
                pad(row.firstCol - m_cellCol);
                row.cells.insert(row.cells.begin(), row.firstCol - m_cellCol, rowStyledEmpty());
                row.firstCol = m_cellCol;
            }
            row.cells[m_cellCol - row.firstCol] = cell;
        }
    }

    Cell rowStyledEmpty() const {
        Cell c;
        c.style = m_rowStyle;
        return c;
    }

    // A row formatted as a whole shows its format in every cell the file leaves out: those of
    // the sheet's used columns become empty cells with the row's format, so the look survives
    // copying the row's cells. A row without cells is left as it is.
    void fillStyledRow() {
        Row& row = *m_row;
        if (row.cells.empty()) {
            return;
        }
        const std::uint32_t last = std::max(m_lastCol, m_dimensionLastCol);
        if (row.firstCol > 0) {
            pad(row.firstCol);
            row.cells.insert(row.cells.begin(), row.firstCol, rowStyledEmpty());
            row.firstCol = 0;
        }
        if (row.cells.size() < last + 1u) {
            pad(last + 1u - row.cells.size());
            row.cells.resize(last + 1u, rowStyledEmpty());
        }
    }

    // Rows hold their cells densely, so gaps cost memory that the XML does not: a sheet whose
    // gaps far outweigh its cells (a damaged or hostile file) is refused before it exhausts
    // memory.
    void pad(std::uint64_t gap) {
        m_padding += gap;
        if (m_padding > kPaddingBase + kPaddingPerCell * m_cellCount) {
            throw ContentFault("工作表中的单元格过于分散，超出了可读取的范围");
        }
    }

    void column(const Attributes& a) {
        const auto min = parseUnsigned(a.get("min") ? a.get("min") : "");
        const auto max = parseUnsigned(a.get("max") ? a.get("max") : "");
        if (!min || *min == 0 || *min > kMaxCols) {
            return;
        }
        const std::uint32_t last = std::min<std::uint32_t>(max.value_or(*min), kMaxCols);
        ColumnInfo info;
        if (const char* w = a.get("width")) {
            if (auto v = parseDouble(w); v && *v >= 0 && *v <= 255) {
                info.width = *v;
            }
        }
        info.customWidth = parseBool(a.get("customWidth"), false);
        info.hidden = parseBool(a.get("hidden"), false);
        if (const char* s = a.get("style")) {
            info.style = styleOf(s, [&] { return "第" + std::to_string(*min) + "列"; });
        }
        // Runs may overlap, so their sum is bounded: a few bytes of XML must not cost minutes.
        m_columnsSet += last - *min + 1ull;
        if (m_columnsSet > kMaxColumnsSet) {
            throw ContentFault("列的设置（<col>）重复覆盖了超过 " + std::to_string(kMaxColumnsSet) +
                               " 列，正常的工作簿不会这样");
        }
        for (std::uint32_t c = *min; c <= last; ++c) {
            m_sheet.columnForWrite(c - 1) = info;
        }
    }

    void merge(const Attributes& a) {
        const char* ref = a.get("ref");
        CellRange r;
        if (!ref || !parseRange(ref, r)) {
            throw ContentFault("合并区域" + inQuotes(ref ? ref : "") + "无效");
        }
        if (r.firstRow != r.lastRow || r.firstCol != r.lastCol) {
            m_sheet.merges().add(r);
        }
    }

    void dimension(const Attributes& a) {
        const char* ref = a.get("ref");
        CellRange r;
        if (ref && parseRange(ref, r)) {
            m_dimensionLastCol = r.lastCol;
            // Each row takes some bytes of XML: never reserve more rows than the part can hold.
            const std::uint64_t cap = m_partSize / 8 + 16;
            m_sheet.reserveRows(
                static_cast<std::uint32_t>(std::min<std::uint64_t>(r.lastRow + 1ull, cap)));
        }
    }

    void formatDefaults(const Attributes& a) {
        const char* colWidth = a.get("defaultColWidth");
        if (auto v = parseDouble(colWidth ? colWidth : ""); v && *v > 0 && *v <= 255) {
            m_sheet.defaultColumnWidth = *v;
        } else if (const char* base = a.get("baseColWidth")) {
            if (auto b = parseInt(base); b && *b >= 0 && *b <= 255) {
                m_sheet.baseColumnWidth = *b;
                m_sheet.defaultColumnWidth =
                    columnWidthFromBase(*b, digitWidthPixels(m_book.styles.at(0).font));
            }
        }
        if (const char* h = a.get("defaultRowHeight")) {
            if (auto v = parseDouble(h); v && *v > 0 && *v <= 409.5) {
                m_sheet.defaultRowHeight = *v;
            }
        }
    }

    static ValueType valueType(std::string_view t) {
        if (t == "s") {
            return ValueType::Shared;
        }
        if (t == "str") {
            return ValueType::Str;
        }
        if (t == "inlineStr") {
            return ValueType::Inline;
        }
        if (t == "b") {
            return ValueType::Bool;
        }
        if (t == "e") {
            return ValueType::Error;
        }
        if (t == "d") {
            return ValueType::Date;
        }
        return ValueType::Number;
    }

    static bool isBlank(std::string_view s) {
        return s.find_first_not_of(" \t\r\n") == std::string_view::npos;
    }

    static std::string_view trimmed(std::string_view s) {
        const auto b = s.find_first_not_of(" \t\r\n");
        if (b == std::string_view::npos) {
            return {};
        }
        const auto e = s.find_last_not_of(" \t\r\n");
        return s.substr(b, e - b + 1);
    }

    // The format a style attribute names; `who()` names the cell, row or column in the
    // message, and is called only for one.
    template <class Who>
    std::uint32_t styleOf(const char* text, Who&& who) const {
        const auto xf = parseUnsigned(text);
        if (!xf) {
            throw ContentFault(who() + "的单元格格式编号" + inQuotes(text) + "无效");
        }
        if (*xf >= m_styles.xfToStyle.size()) {
            throw ContentFault(who() + "引用的单元格格式" + inQuotes(text) + "不存在（共" +
                               std::to_string(m_styles.xfToStyle.size()) + "种）");
        }
        return m_styles.xfToStyle[*xf];
    }

    static constexpr const char* kBeyondRows = "超出了工作表的上限（最多 1048576 行）";
    static constexpr const char* kBeyondCols = "超出了工作表的上限（最多 16384 列，即到XFD列）";
    static constexpr const char* kBeyondSheet =
        "超出了工作表的范围（最多 1048576 行、16384 列，即到XFD1048576）";

    [[noreturn]] void fault(const std::string& what) const {
        throw ContentFault("单元格" + cells::cellAddress(m_cellRow, m_cellCol) + what);
    }

    static const char** rawList(const Attributes& a) { return a.list(); }

    Workbook& m_book;
    Worksheet& m_sheet;
    const ReadStyles& m_styles;
    const std::vector<std::uint32_t>& m_shared;
    std::uint64_t m_partSize;
    RichTextBuilder m_rich;

    bool m_inSheetData = false;
    bool m_inCell = false;
    bool m_inInline = false;
    bool m_hasValue = false;
    bool m_sawInline = false;
    ValueType m_type = ValueType::Number;
    Row* m_row = nullptr;
    std::uint32_t m_rowIndex = 0;
    std::uint32_t m_nextRow = 0;
    std::uint32_t m_nextCol = 0;
    std::size_t m_lastRowWidth = 0;
    std::uint32_t m_cellRow = 0;
    std::uint32_t m_cellCol = 0;
    std::uint32_t m_cellStyle = 0;
    std::string m_value;
    std::uint32_t m_rowStyle = 0; // the format of a row formatted as a whole, else 0
    std::uint32_t m_lastCol = 0;
    std::uint32_t m_dimensionLastCol = 0;
    std::uint64_t m_cellCount = 0;
    std::uint64_t m_padding = 0;
    static constexpr std::uint64_t kPaddingBase = 8u << 20;
    static constexpr std::uint64_t kPaddingPerCell = 256;
    std::uint64_t m_columnsSet = 0;
    static constexpr std::uint64_t kMaxColumnsSet = 16ull * kMaxCols;
};

} // namespace

void readSheetPart(const ZipReader& zip, const std::string& part, Workbook& book, Worksheet& sheet,
                   const ReadStyles& styles, const std::vector<std::uint32_t>& sharedStrings) {
    SheetHandler h(book, sheet, styles, sharedStrings, zip.size(part));
    parsePart(zip, part, h, kMaxSheetPart);
}

} // namespace quenly::wb::xlsx_read
