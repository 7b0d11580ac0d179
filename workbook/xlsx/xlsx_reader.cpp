// Reading an .xlsx package: relationships, workbook, shared strings, styles and worksheets,
// each part streamed through expat.
#include "xlsx_reader.h"

#include "text_util.h"
#include "xlsx_read_common.h"
#include "xlsx_reader_memory.h"
#include "xlsx_styles_reader.h"
#include "xml_reader.h"
#include "zip_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace quenly::wb {

namespace {

using namespace xlsx_read;

// ---- relationships --------------------------------------------------------------------------

struct Relationship {
    std::string id;
    std::string type;     // the last segment of the type URI: "worksheet", "styles", ...
    std::string target;   // the part name, resolved against the source part
    std::string raw;      // the target as written
    bool outside = false; // the target lies outside the package (a URL, a path above its root)
};

std::string percentDecode(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size()) {
            auto hex = [](char c) {
                return c >= '0' && c <= '9'   ? c - '0'
                       : c >= 'a' && c <= 'f' ? c - 'a' + 10
                       : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                              : -1;
            };
            const int hi = hex(s[i + 1]);
            const int lo = hex(s[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out.push_back(static_cast<char>(hi * 16 + lo));
                i += 2;
                continue;
            }
        }
        out.push_back(s[i]);
    }
    return out;
}

// Whether `t` starts with a URI scheme or drive ("http:", "file:", "C:").
bool hasScheme(std::string_view t) {
    std::size_t i = 0;
    while (i < t.size() && ((t[i] >= 'a' && t[i] <= 'z') || (t[i] >= 'A' && t[i] <= 'Z') ||
                            (i > 0 && ((t[i] >= '0' && t[i] <= '9') || t[i] == '+' || t[i] == '-' ||
                                       t[i] == '.')))) {
        ++i;
    }
    return i > 0 && i < t.size() && t[i] == ':';
}

// The part a relationship of `source` points at: absolute targets start at the package root,
// others are relative to the source part's folder. Nothing for a target outside the package:
// a URL, a drive or network path, or ".." above the root.
std::optional<std::string> resolveTarget(std::string_view source, std::string_view target) {
    std::string path;
    std::string t = percentDecode(target);
    std::replace(t.begin(), t.end(), '\\', '/');
    if (hasScheme(t) || t.starts_with("//")) {
        return std::nullopt;
    }
    if (!t.empty() && t.front() == '/') {
        path = t;
    } else {
        const auto slash = source.rfind('/');
        path = std::string(slash == std::string_view::npos ? "" : source.substr(0, slash + 1)) + t;
    }
    std::vector<std::string> parts;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        auto next = path.find('/', pos);
        if (next == std::string::npos) {
            next = path.size();
        }
        const std::string seg = path.substr(pos, next - pos);
        if (seg == "..") {
            if (parts.empty()) {
                return std::nullopt;
            }
            parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        pos = next + 1;
    }
    std::string out;
    for (const std::string& p : parts) {
        if (!out.empty()) {
            out.push_back('/');
        }
        out += p;
    }
    return out;
}

// The relationships part of `source` ("xl/workbook.xml" -> "xl/_rels/workbook.xml.rels").
std::string relsPartOf(std::string_view source) {
    const auto slash = source.rfind('/');
    if (slash == std::string_view::npos) {
        return "_rels/" + std::string(source) + ".rels";
    }
    return std::string(source.substr(0, slash + 1)) + "_rels/" +
           std::string(source.substr(slash + 1)) + ".rels";
}

class RelsHandler : public XmlHandler {
public:
    RelsHandler(const ZipReader& zip, std::string_view source)
        : m_zip(zip)
        , m_source(source) {}
    std::vector<Relationship> rels;

    void startElement(std::string_view name, const Attributes& a) override {
        if (name != "Relationship") {
            return;
        }
        const char* id = a.get("Id");
        const char* type = a.get("Type");
        const char* target = a.get("Target");
        if (!id || !type || !target) {
            return;
        }
        std::string_view t(type);
        const auto slash = t.rfind('/');
        Relationship r{id, std::string(slash == std::string_view::npos ? t : t.substr(slash + 1)),
                       "", target, false};
        const char* mode = a.get("TargetMode");
        if (mode && std::string_view(mode) == "External") {
            r.outside = true;
            rels.push_back(std::move(r));
            return;
        }
        std::optional<std::string> part = resolveTarget(m_source, target);
        if (!part || !m_zip.has(*part)) {
            // Some writers give package-absolute targets without the leading "/".
            if (auto absolute = resolveTarget("", target); absolute && m_zip.has(*absolute)) {
                part = std::move(absolute);
            }
        }
        if (part) {
            r.target = std::move(*part);
        } else {
            r.outside = true;
        }
        rels.push_back(std::move(r));
    }
    void endElement(std::string_view) override {}
    void text(const char*, std::size_t) override {}

private:
    const ZipReader& m_zip;
    std::string_view m_source;
};

std::vector<Relationship> readRels(const ZipReader& zip, std::string_view source) {
    const std::string part = source.empty() ? "_rels/.rels" : relsPartOf(source);
    RelsHandler h(zip, source);
    if (zip.has(part)) {
        parsePart(zip, part, h, kMaxSmallPart);
    }
    return std::move(h.rels);
}

const Relationship* findByType(const std::vector<Relationship>& rels, std::string_view type) {
    for (const Relationship& r : rels) {
        if (r.type == type) {
            return &r;
        }
    }
    return nullptr;
}

// ---- workbook.xml ---------------------------------------------------------------------------

struct SheetEntry {
    std::string name;
    std::string relId;
};

class WorkbookHandler : public XmlHandler {
public:
    std::vector<SheetEntry> sheets;
    bool date1904 = false;
    std::size_t activeTab = 0;

    void startElement(std::string_view name, const Attributes& a) override {
        if (name == "sheet") {
            const char* n = a.get("name");
            const char* id = a.get("id");
            sheets.push_back({n ? n : "", id ? id : ""});
        } else if (name == "workbookPr") {
            date1904 = parseBool(a.get("date1904"), false);
        } else if (name == "workbookView" && !m_sawView) {
            m_sawView = true;
            if (const char* t = a.get("activeTab")) {
                activeTab = parseUnsigned(t).value_or(0);
            }
        }
    }
    void endElement(std::string_view) override {}
    void text(const char*, std::size_t) override {}

private:
    bool m_sawView = false;
};

// ---- rich text (shared strings and inline strings) ------------------------------------------

// Collects one <si> or <is>: plain <t> text, or runs <r><rPr/><t/></r>; phonetic runs (<rPh>)
// are left out.
class RichTextBuilder {
public:
    explicit RichTextBuilder(const ReadStyles& styles)
        : m_styles(styles) {}

    void begin() {
        m_plain.clear();
        m_runs.clear();
        m_anyFont = false;
        m_phonetic = 0;
        m_inRun = false;
        m_inProps = false;
    }

    // Returns true while the element's text is wanted.
    bool start(std::string_view name, const Attributes& a) {
        if (name == "rPh") {
            ++m_phonetic;
        }
        if (m_phonetic) {
            return false;
        }
        if (name == "r") {
            m_inRun = true;
            m_run = RichRun{};
            m_runFont = m_styles.defaultFont;
        } else if (name == "rPr" && m_inRun) {
            m_inProps = true;
            m_run.hasFont = true;
            m_anyFont = true;
        } else if (m_inProps) {
            applyFontElement(m_runFont, name, a);
        } else if (name == "t") {
            m_t.clear();
            return true;
        }
        return false;
    }

    void end(std::string_view name) {
        if (name == "rPh") {
            if (m_phonetic) {
                --m_phonetic;
            }
            return;
        }
        if (m_phonetic) {
            return;
        }
        if (name == "t") {
            decodeEscapes(m_t);
            (m_inRun ? m_run.text : m_plain) += m_t;
        } else if (name == "rPr") {
            m_inProps = false;
        } else if (name == "r" && m_inRun) {
            if (m_run.hasFont) {
                m_run.font = m_runFont.resolve(m_styles.palette, m_styles.theme);
            }
            m_runs.push_back(std::move(m_run));
            m_inRun = false;
        }
    }

    void text(const char* s, std::size_t n) { m_t.append(s, n); }

    // Adds the collected text to `strings`.
    std::uint32_t finish(StringTable& strings) {
        if (m_runs.empty() || !m_anyFont) {
            for (const RichRun& r : m_runs) {
                m_plain += r.text;
            }
            return strings.intern(m_plain);
        }
        SharedString s;
        if (!m_plain.empty()) {
            m_runs.insert(m_runs.begin(), RichRun{m_plain, false, {}});
        }
        for (const RichRun& r : m_runs) {
            s.text += r.text;
        }
        s.runs = std::move(m_runs);
        m_runs.clear();
        return strings.addRich(std::move(s));
    }

private:
    const ReadStyles& m_styles;
    std::string m_plain;
    std::string m_t;
    std::vector<RichRun> m_runs;
    RichRun m_run;
    RawFont m_runFont;
    bool m_anyFont = false;
    bool m_inRun = false;
    bool m_inProps = false;
    int m_phonetic = 0;
};

class SharedStringsHandler : public XmlHandler {
public:
    SharedStringsHandler(const ReadStyles& styles, StringTable& strings,
                         std::vector<std::uint32_t>& map)
        : m_builder(styles)
        , m_strings(strings)
        , m_map(map) {}

    void startElement(std::string_view name, const Attributes& a) override {
        if (name == "si") {
            m_inItem = true;
            m_builder.begin();
        } else if (m_inItem) {
            wantText = m_builder.start(name, a);
        } else if (name == "sst") {
            if (const char* n = a.get("uniqueCount")) {
                // Only a hint: never trust it for more than the part could hold.
                const std::size_t count =
                    std::min<std::size_t>(parseUnsigned(n).value_or(0), 1u << 20);
                m_map.reserve(count);
                m_strings.reserve(count);
            }
        }
    }

    void endElement(std::string_view name) override {
        wantText = false;
        if (name == "si" && m_inItem) {
            m_map.push_back(m_builder.finish(m_strings));
            m_inItem = false;
        } else if (m_inItem) {
            m_builder.end(name);
        }
    }

    void text(const char* s, std::size_t n) override { m_builder.text(s, n); }

private:
    RichTextBuilder m_builder;
    StringTable& m_strings;
    std::vector<std::uint32_t>& m_map;
    bool m_inItem = false;
};

// ---- worksheets -----------------------------------------------------------------------------

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
        if (ht) {
            if (auto h = parseDouble(ht); h && *h >= 0 && *h <= 409.5) {
                m_row->height = *h;
            }
        }
        m_row->customHeight = parseBool(custom, false);
        m_row->hidden = parseBool(hidden, false);
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
                m_sheet.defaultColumnWidth = columnWidthFromBase(*b);
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

// ---- the package ----------------------------------------------------------------------------

std::unique_ptr<Workbook> readPackage(const ZipReader& zip, const ReadOptions& options) {
    const std::string& name = zip.displayName();
    auto book = std::make_unique<Workbook>();
    book->sourceName = name;

    // The workbook part: where the package relationships say, else the usual place.
    std::string workbookPart;
    const auto packageRels = readRels(zip, "");
    if (const Relationship* r = findByType(packageRels, "officeDocument");
        r && !r->outside && zip.has(r->target)) {
        workbookPart = r->target;
    } else if (zip.has("xl/workbook.xml")) {
        workbookPart = "xl/workbook.xml";
    } else if (zip.has("xl/workbook.bin")) {
        throw WorkbookError(inQuotes(name) +
                            "是二进制格式（.xlsb）的工作簿，无法读取：请在Excel中另存为.xlsx。");
    } else {
        throw WorkbookError(inQuotes(name) + "不是Excel工作簿：压缩包中没有xl/workbook.xml。");
    }

    WorkbookHandler wbh;
    parsePart(zip, workbookPart, wbh, kMaxSmallPart);
    book->date1904 = wbh.date1904;
    const auto rels = readRels(zip, workbookPart);

    // A part the workbook's relationships name must be there (a misplaced one is looked for
    // where writers usually put it); without a relationship the usual place, if any, is read.
    auto partOf = [&](std::string_view type, std::string_view usual,
                      std::string_view what) -> std::string {
        const Relationship* r = findByType(rels, type);
        if (r && !r->outside && zip.has(r->target)) {
            return r->target;
        }
        if (!usual.empty() && zip.has(usual)) {
            return std::string(usual);
        }
        if (!r) {
            return {};
        }
        if (r->outside) {
            throw WorkbookError(inQuotes(name) + "已损坏：" + std::string(what) + "的关系" +
                                inQuotes(r->id) + "指向压缩包以外的位置" + inQuotes(r->raw) + "。");
        }
        throw WorkbookError(inQuotes(name) + "已损坏：缺少" + std::string(what) + "部件" +
                            r->target + "（关系" + inQuotes(r->id) + "指向它）。");
    };

    ThemeColors theme = defaultThemeColors();
    if (const std::string part = partOf("theme", "", "主题"); !part.empty()) {
        theme = readTheme(zip, part);
    }
    const std::string stylesPart = partOf("styles", "xl/styles.xml", "单元格格式");
    const ReadStyles styles = readStyles(&zip, stylesPart, theme, book->styles);

    std::vector<std::uint32_t> shared;
    if (const std::string part = partOf("sharedStrings", "xl/sharedStrings.xml", "共享字符串");
        !part.empty()) {
        SharedStringsHandler h(styles, book->strings, shared);
        parsePart(zip, part, h, kMaxSharedStringsPart);
    }

    bool firstWorksheet = true;
    for (std::size_t i = 0; i < wbh.sheets.size(); ++i) {
        const SheetEntry& entry = wbh.sheets[i];
        const Relationship* rel = nullptr;
        for (const Relationship& r : rels) {
            if (r.id == entry.relId) {
                rel = &r;
                break;
            }
        }
        if (!rel) {
            throw WorkbookError(inQuotes(name) + "已损坏：找不到工作表" + inQuotes(entry.name) +
                                "的部件（关系" + inQuotes(entry.relId) + "不存在）。");
        }
        if (rel->type != "worksheet") {
            continue; // chart sheets, dialog and macro sheets hold no cells to read
        }
        if (i == wbh.activeTab) {
            book->activeSheet = book->sheetCount();
        }
        Worksheet& sheet = book->addSheet(entry.name);
        if (options.allSheets || firstWorksheet) {
            if (rel->outside) {
                throw WorkbookError(inQuotes(name) + "已损坏：工作表" + inQuotes(entry.name) +
                                    "的关系" + inQuotes(rel->id) + "指向压缩包以外的位置" +
                                    inQuotes(rel->raw) + "。");
            }
            SheetHandler h(*book, sheet, styles, shared, zip.size(rel->target));
            parsePart(zip, rel->target, h, kMaxSheetPart);
        }
        firstWorksheet = false;
    }
    if (book->sheetCount() == 0) {
        throw WorkbookError(inQuotes(name) + "中没有工作表。");
    }
    return book;
}

} // namespace

std::unique_ptr<Workbook> readXlsx(const std::filesystem::path& file, const ReadOptions& options) {
    try {
        const ZipReader zip(file, file.string());
        return readPackage(zip, options);
    } catch (const std::bad_alloc&) {
        throw WorkbookError("读取" + inQuotes(file.string()) + "时内存不足。");
    } catch (const std::length_error&) {
        throw WorkbookError("读取" + inQuotes(file.string()) + "时内存不足。");
    }
}

std::unique_ptr<Workbook> readXlsxMemory(const void* data, std::size_t size,
                                         const std::string& displayName,
                                         const ReadOptions& options) {
    try {
        const ZipReader zip(data, size, displayName);
        return readPackage(zip, options);
    } catch (const std::bad_alloc&) {
        throw WorkbookError("读取" + inQuotes(displayName) + "时内存不足。");
    } catch (const std::length_error&) {
        throw WorkbookError("读取" + inQuotes(displayName) + "时内存不足。");
    }
}

} // namespace quenly::wb
