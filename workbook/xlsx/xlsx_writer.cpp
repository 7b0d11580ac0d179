// The .xlsx writer: package parts from the in-memory workbook, sheet data streamed in pieces.
#include "xlsx_writer.h"
#include "text_util.h"

#include "xml_writer.h"
#include "zip_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <ctime>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace quenly::wb {

namespace {

using xml::XmlBuffer;

constexpr std::string_view kXmlDecl =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr std::string_view kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kRelNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// Raw sheet XML aimed at per piece; the estimate used for cutting is an upper bound, about twice
// the real size, so real pieces come out near 1 MiB.
constexpr std::uint64_t kPieceBound = 2u << 20;
// Upper bounds of the XML of one cell, one row's own markup and one merge.
constexpr std::uint64_t kCellBound = 80;
constexpr std::uint64_t kRowBound = 128;
constexpr std::uint64_t kMergeBound = 48;
constexpr std::size_t kMergesPerPiece = 30000;
constexpr std::uint32_t kUnused = 0xFFFFFFFFu;

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

void appendCellRef(XmlBuffer& b, std::uint32_t row, std::uint32_t col) {
    b.commit(cells::writeCellAddress(b.ensure(cells::kMaxCellAddress), row, col));
}

void appendRange(XmlBuffer& b, const CellRange& r) {
    appendCellRef(b, r.firstRow, r.firstCol);
    if (r.lastRow != r.firstRow || r.lastCol != r.firstCol) {
        b.append(':');
        appendCellRef(b, r.lastRow, r.lastCol);
    }
}

// ---------------------------------------------------------------------------------------------
// Styles

// The number formats SpreadsheetML defines by id; codes equal to one of them are written by id.
int builtinNumberFormatId(std::string_view code) {
    static const std::unordered_map<std::string_view, int> ids = {
        {"General", 0},
        {"0", 1},
        {"0.00", 2},
        {"#,##0", 3},
        {"#,##0.00", 4},
        {"0%", 9},
        {"0.00%", 10},
        {"0.00E+00", 11},
        {"# ?/?", 12},
        {"# ?\?/?\?", 13},
        {"mm-dd-yy", 14},
        {"d-mmm-yy", 15},
        {"d-mmm", 16},
        {"mmm-yy", 17},
        {"h:mm AM/PM", 18},
        {"h:mm:ss AM/PM", 19},
        {"h:mm", 20},
        {"h:mm:ss", 21},
        {"m/d/yy h:mm", 22},
        {"#,##0 ;(#,##0)", 37},
        {"#,##0 ;[Red](#,##0)", 38},
        {"#,##0.00;(#,##0.00)", 39},
        {"#,##0.00;[Red](#,##0.00)", 40},
        {"mm:ss", 45},
        {"[h]:mm:ss", 46},
        {"mmss.0", 47},
        {"##0.0E+0", 48},
        {"@", 49},
    };
    if (code.empty()) {
        return 0;
    }
    const auto it = ids.find(code);
    return it == ids.end() ? -1 : it->second;
}

void appendColor(XmlBuffer& b, std::string_view tag, const Color& c) {
    if (c.kind == Color::Kind::None) {
        return;
    }
    b.append('<');
    b.append(tag);
    if (c.kind == Color::Kind::Auto) {
        b.append(" auto=\"1\"/>");
        return;
    }
    static constexpr char hex[] = "0123456789ABCDEF";
    char argb[8];
    for (int i = 0; i < 8; ++i) {
        argb[i] = hex[(c.argb >> (28 - 4 * i)) & 0xF];
    }
    b.attr("rgb", std::string_view(argb, 8));
    b.append("/>");
}

// The children of <font> (or of <rPr> in a rich text run, where the name is <rFont>).
void appendFontProperties(XmlBuffer& b, const Font& f, bool run) {
    if (f.bold) {
        b.append("<b/>");
    }
    if (f.italic) {
        b.append("<i/>");
    }
    if (f.strike) {
        b.append("<strike/>");
    }
    if (f.underline == "single") {
        b.append("<u/>");
    } else if (!f.underline.empty() && f.underline != "none") {
        b.append("<u");
        b.attr("val", f.underline);
        b.append("/>");
    }
    if (!f.vertAlign.empty() && f.vertAlign != "baseline") {
        b.append("<vertAlign");
        b.attr("val", f.vertAlign);
        b.append("/>");
    }
    if (f.size > 0) {
        b.append("<sz");
        b.attrDouble("val", f.size);
        b.append("/>");
    }
    appendColor(b, "color", f.color);
    if (!f.name.empty()) {
        b.append(run ? "<rFont" : "<name");
        b.attr("val", f.name);
        b.append("/>");
    }
    if (f.family > 0) {
        b.append("<family");
        b.attr("val", static_cast<std::uint64_t>(f.family));
        b.append("/>");
    }
    if (f.charset >= 0) {
        b.append("<charset");
        b.attr("val", static_cast<std::uint64_t>(f.charset));
        b.append("/>");
    }
    if (!f.scheme.empty() && f.scheme != "none") {
        b.append("<scheme");
        b.attr("val", f.scheme);
        b.append("/>");
    }
}

void appendBorderSide(XmlBuffer& b, std::string_view tag, const BorderSide& s) {
    b.append('<');
    b.append(tag);
    if (s.style.empty() || s.style == "none") {
        b.append("/>");
        return;
    }
    b.attr("style", s.style);
    b.append('>');
    appendColor(b, "color", s.color);
    b.append("</");
    b.append(tag);
    b.append('>');
}

std::string fontXml(const Font& f) {
    XmlBuffer b;
    b.append("<font>");
    appendFontProperties(b, f, false);
    b.append("</font>");
    return b.take();
}

std::string fillXml(const Fill& f) {
    XmlBuffer b;
    const bool none = f.pattern.empty() || f.pattern == "none";
    b.append("<fill><patternFill");
    b.attr("patternType", none ? std::string_view("none") : std::string_view(f.pattern));
    if (none || (f.fg.kind == Color::Kind::None && f.bg.kind == Color::Kind::None)) {
        b.append("/></fill>");
        return b.take();
    }
    b.append('>');
    appendColor(b, "fgColor", f.fg);
    appendColor(b, "bgColor", f.bg);
    b.append("</patternFill></fill>");
    return b.take();
}

std::string borderXml(const Border& br) {
    XmlBuffer b;
    b.append("<border");
    if (br.diagonalUp) {
        b.append(" diagonalUp=\"1\"");
    }
    if (br.diagonalDown) {
        b.append(" diagonalDown=\"1\"");
    }
    b.append('>');
    appendBorderSide(b, "left", br.left);
    appendBorderSide(b, "right", br.right);
    appendBorderSide(b, "top", br.top);
    appendBorderSide(b, "bottom", br.bottom);
    appendBorderSide(b, "diagonal", br.diagonal);
    b.append("</border>");
    return b.take();
}

// Deduplicated XML snippets of one kind (fonts, fills or borders) in order of first use.
class SnippetTable {
public:
    std::uint32_t intern(std::string xml) {
        const auto [it, added] = m_ids.try_emplace(xml, static_cast<std::uint32_t>(m_items.size()));
        if (added) {
            m_items.push_back(std::move(xml));
        }
        return it->second;
    }
    const std::vector<std::string>& items() const { return m_items; }

private:
    std::unordered_map<std::string, std::uint32_t> m_ids;
    std::vector<std::string> m_items;
};

std::string stylesXml(const StyleTable& styles) {
    SnippetTable fonts, fills, borders;
    // Fills 0 and 1 are reserved by SpreadsheetML; border 0 is the empty border and font 0 the
    // default format's font, which the Normal cell style refers to.
    fonts.intern(fontXml(styles.at(0).font));
    fills.intern(fillXml(Fill{}));
    fills.intern(fillXml(Fill{"gray125", {}, {}}));
    borders.intern(borderXml(Border{}));

    std::vector<std::pair<std::string_view, std::uint32_t>> customFormats;
    std::unordered_map<std::string_view, std::uint32_t> customIds;

    struct Xf {
        std::uint32_t numFmt, font, fill, border;
    };
    std::vector<Xf> xfs;
    xfs.reserve(styles.size());
    for (std::size_t i = 0; i < styles.size(); ++i) {
        const CellFormat& f = styles.at(static_cast<std::uint32_t>(i));
        Xf xf{};
        const int builtin = builtinNumberFormatId(f.numberFormat);
        if (builtin >= 0) {
            xf.numFmt = static_cast<std::uint32_t>(builtin);
        } else {
            const auto [it, added] = customIds.try_emplace(
                f.numberFormat, static_cast<std::uint32_t>(164 + customFormats.size()));
            if (added) {
                customFormats.emplace_back(f.numberFormat, it->second);
            }
            xf.numFmt = it->second;
        }
        xf.font = fonts.intern(fontXml(f.font));
        xf.fill = fills.intern(fillXml(f.fill));
        xf.border = borders.intern(borderXml(f.border));
        xfs.push_back(xf);
    }

    XmlBuffer b;
    b.append(kXmlDecl);
    b.append("<styleSheet");
    b.attr("xmlns", kMainNs);
    b.append('>');
    if (!customFormats.empty()) {
        b.append("<numFmts");
        b.attr("count", customFormats.size());
        b.append('>');
        for (const auto& [code, id] : customFormats) {
            b.append("<numFmt");
            b.attr("numFmtId", id);
            b.attr("formatCode", code);
            b.append("/>");
        }
        b.append("</numFmts>");
    }
    auto list = [&](std::string_view tag, const SnippetTable& t) {
        b.append('<');
        b.append(tag);
        b.attr("count", t.items().size());
        b.append('>');
        for (const std::string& s : t.items()) {
            b.append(s);
        }
        b.append("</");
        b.append(tag);
        b.append('>');
    };
    list("fonts", fonts);
    list("fills", fills);
    list("borders", borders);
    b.append("<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
             "borderId=\"0\"/></cellStyleXfs>");
    b.append("<cellXfs");
    b.attr("count", xfs.size());
    b.append('>');
    for (std::size_t i = 0; i < xfs.size(); ++i) {
        const CellFormat& f = styles.at(static_cast<std::uint32_t>(i));
        const Xf& xf = xfs[i];
        b.append("<xf");
        b.attr("numFmtId", xf.numFmt);
        b.attr("fontId", xf.font);
        b.attr("fillId", xf.fill);
        b.attr("borderId", xf.border);
        b.append(" xfId=\"0\"");
        if (xf.numFmt != 0) {
            b.append(" applyNumberFormat=\"1\"");
        }
        if (xf.font != 0) {
            b.append(" applyFont=\"1\"");
        }
        if (xf.fill != 0) {
            b.append(" applyFill=\"1\"");
        }
        if (xf.border != 0) {
            b.append(" applyBorder=\"1\"");
        }
        const bool align = !(f.alignment == Alignment{});
        const bool protect = !(f.protection == Protection{});
        if (align) {
            b.append(" applyAlignment=\"1\"");
        }
        if (protect) {
            b.append(" applyProtection=\"1\"");
        }
        if (!align && !protect) {
            b.append("/>");
            continue;
        }
        b.append('>');
        if (align) {
            const Alignment& a = f.alignment;
            b.append("<alignment");
            if (!a.horizontal.empty() && a.horizontal != "general") {
                b.attr("horizontal", a.horizontal);
            }
            if (!a.vertical.empty() && a.vertical != "bottom") {
                b.attr("vertical", a.vertical);
            }
            if (a.rotation > 0) {
                b.attr("textRotation", static_cast<std::uint64_t>(a.rotation));
            }
            if (a.wrap) {
                b.append(" wrapText=\"1\"");
            }
            if (a.indent > 0) {
                b.attr("indent", static_cast<std::uint64_t>(a.indent));
            }
            if (a.shrink) {
                b.append(" shrinkToFit=\"1\"");
            }
            b.append("/>");
        }
        if (protect) {
            b.append("<protection");
            if (!f.protection.locked) {
                b.append(" locked=\"0\"");
            }
            if (f.protection.hidden) {
                b.append(" hidden=\"1\"");
            }
            b.append("/>");
        }
        b.append("</xf>");
    }
    b.append("</cellXfs>");
    b.append("<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
             "</cellStyles>");
    b.append("<dxfs count=\"0\"/><tableStyles count=\"0\" defaultTableStyle=\"TableStyleMedium9\" "
             "defaultPivotStyle=\"PivotStyleLight16\"/>");
    b.append("</styleSheet>");
    return b.take();
}

// ---------------------------------------------------------------------------------------------
// Package parts other than the sheets and the strings

std::string contentTypesXml(std::size_t sheets) {
    XmlBuffer b;
    b.append(kXmlDecl);
    b.append("<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
             "<Default Extension=\"rels\" "
             "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
             "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
             "<Override PartName=\"/xl/workbook.xml\" "
             "ContentType=\"application/"
             "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>");
    for (std::size_t i = 1; i <= sheets; ++i) {
        b.append("<Override PartName=\"/xl/worksheets/sheet");
        b.appendUInt(i);
        b.append(".xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>");
    }
    b.append(
        "<Override PartName=\"/xl/styles.xml\" "
        "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
        "<Override PartName=\"/xl/sharedStrings.xml\" "
        "ContentType=\"application/"
        "vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
        "<Override PartName=\"/docProps/core.xml\" "
        "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"
        "<Override PartName=\"/docProps/app.xml\" "
        "ContentType=\"application/"
        "vnd.openxmlformats-officedocument.extended-properties+xml\"/>"
        "</Types>");
    return b.take();
}

std::string rootRelsXml() {
    std::string s(kXmlDecl);
    s += "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
         "<Relationship Id=\"rId1\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
         "officeDocument\" Target=\"xl/workbook.xml\"/>"
         "<Relationship Id=\"rId2\" "
         "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
         "core-properties\" Target=\"docProps/core.xml\"/>"
         "<Relationship Id=\"rId3\" "
         "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
         "extended-properties\" Target=\"docProps/app.xml\"/>"
         "</Relationships>";
    return s;
}

std::string appXml(const Workbook& book) {
    XmlBuffer b;
    b.append(kXmlDecl);
    b.append("<Properties "
             "xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/extended-properties\" "
             "xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes\">"
             "<Application>Quenly</Application><DocSecurity>0</DocSecurity>"
             "<ScaleCrop>false</ScaleCrop><HeadingPairs><vt:vector size=\"2\" "
             "baseType=\"variant\"><vt:variant><vt:lpstr>Worksheets</vt:lpstr></vt:variant>"
             "<vt:variant><vt:i4>");
    b.appendUInt(book.sheetCount());
    b.append("</vt:i4></vt:variant></vt:vector></HeadingPairs><TitlesOfParts><vt:vector");
    b.attr("size", book.sheetCount());
    b.append(" baseType=\"lpstr\">");
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        b.append("<vt:lpstr>");
        b.appendText(book.sheet(i).name());
        b.append("</vt:lpstr>");
    }
    b.append("</vt:vector></TitlesOfParts><LinksUpToDate>false</LinksUpToDate>"
             "<SharedDoc>false</SharedDoc><HyperlinksChanged>false</HyperlinksChanged>"
             "<AppVersion>12.0000</AppVersion></Properties>");
    return b.take();
}

std::string w3cdtfNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
}

std::string coreXml() {
    const std::string now = w3cdtfNow();
    std::string s(kXmlDecl);
    s +=
        "<cp:coreProperties "
        "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
        "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
        "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
        "<dc:creator>Quenly</dc:creator><cp:lastModifiedBy>Quenly</cp:lastModifiedBy>"
        "<dcterms:created xsi:type=\"dcterms:W3CDTF\">" +
        now + "</dcterms:created><dcterms:modified xsi:type=\"dcterms:W3CDTF\">" + now +
        "</dcterms:modified></cp:coreProperties>";
    return s;
}

// A cell's absolute reference, such as $I$2111.
void appendAbsoluteRef(XmlBuffer& b, std::uint32_t row, std::uint32_t col) {
    std::array<char, 32> ref{};
    const std::string_view text(
        ref.data(),
        static_cast<std::size_t>(cells::writeCellAddress(ref.data(), row, col) - ref.data()));
    const std::size_t digits = text.find_first_of("0123456789");
    b.append('$');
    b.append(text.substr(0, digits));
    b.append('$');
    b.append(text.substr(digits));
}

// The workbook part: its sheets, the active one, and the print areas of the sheets' page set-ups.
std::string workbookXml(const Workbook& book) {
    XmlBuffer b;
    b.append(kXmlDecl);
    b.append("<workbook");
    b.attr("xmlns", kMainNs);
    b.attr("xmlns:r", kRelNs);
    b.append('>');
    b.append(book.date1904 ? "<workbookPr date1904=\"1\"/>" : "<workbookPr/>");
    const std::size_t active = book.activeSheet < book.sheetCount() ? book.activeSheet : 0;
    b.append("<bookViews><workbookView");
    if (active > 0) {
        b.attr("firstSheet", 0);
        b.attr("activeTab", active);
    }
    b.append("/></bookViews><sheets>");
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        b.append("<sheet");
        b.attr("name", book.sheet(i).name());
        b.attr("sheetId", i + 1);
        b.append(" r:id=\"rId");
        b.appendUInt(i + 1);
        b.append("\"/>");
    }
    b.append("</sheets>");
    bool named = false;
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        const std::optional<PageSetup>& setup = book.sheet(i).pageSetup;
        if (!setup || !setup->printArea) {
            continue;
        }
        if (!named) {
            b.append("<definedNames>");
            named = true;
        }
        const CellRange& area = *setup->printArea;
        std::string quotedName = "'";
        for (const char c : book.sheet(i).name()) {
            quotedName += c;
            if (c == '\'') {
                quotedName += c;
            }
        }
        quotedName += "'!";
        b.append("<definedName name=\"_xlnm.Print_Area\"");
        b.attr("localSheetId", i);
        b.append('>');
        b.appendText(quotedName);
        XmlBuffer ref;
        appendAbsoluteRef(ref, area.firstRow, area.firstCol);
        ref.append(':');
        appendAbsoluteRef(ref, area.lastRow, area.lastCol);
        b.append(ref.view());
        b.append("</definedName>");
    }
    if (named) {
        b.append("</definedNames>");
    }
    b.append("</workbook>");
    return b.take();
}

std::string workbookRelsXml(std::size_t sheets) {
    XmlBuffer b;
    b.append(kXmlDecl);
    b.append(
        "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">");
    for (std::size_t i = 1; i <= sheets; ++i) {
        b.append("<Relationship Id=\"rId");
        b.appendUInt(i);
        b.append("\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                 "worksheet\" Target=\"worksheets/sheet");
        b.appendUInt(i);
        b.append(".xml\"/>");
    }
    b.append("<Relationship Id=\"rId");
    b.appendUInt(sheets + 1);
    b.append("\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
             "styles\" Target=\"styles.xml\"/>");
    b.append("<Relationship Id=\"rId");
    b.appendUInt(sheets + 2);
    b.append("\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
             "sharedStrings\" Target=\"sharedStrings.xml\"/>");
    b.append("</Relationships>");
    return b.take();
}

// ---------------------------------------------------------------------------------------------
// Checks and planning

std::size_t utf8Length(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) {
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return n;
}

// Spreadsheet applications refuse (or "repair") a workbook with no sheet or with sheet names
// they do not allow, so such a book is not written at all.
void checkSheets(const Workbook& book, const std::filesystem::path& file) {
    const std::string prefix = "无法保存文件" + inQuotes(file.string()) + "：";
    if (book.sheetCount() == 0) {
        throw WorkbookError(prefix + "工作簿中没有工作表");
    }
    std::unordered_map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        const std::string& name = book.sheet(i).name();
        const bool bad = name.empty() || utf8Length(name) > 31 || name.front() == '\'' ||
                         name.back() == '\'' ||
                         name.find_first_of(std::string_view(":\\/?*[]")) != std::string::npos;
        if (bad) {
            throw WorkbookError(prefix + "工作表名称" + inQuotes(name) +
                                "无效（名称不能为空、不能超过 31 个字符、不能以单引号开头或结尾，"
                                "也不能包含 : \\ / ? * [ ]）");
        }
        if (!seen.emplace(lowerAscii(name), i).second) {
            throw WorkbookError(prefix + "有多个工作表名为" + inQuotes(name));
        }
    }
}

// What the writer needs to know of a sheet before its XML is produced.
struct SheetPlan {
    const Worksheet* sheet = nullptr;
    bool active = false;
    bool anyCell = false;
    std::uint32_t firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
    std::uint64_t textCells = 0;
    std::vector<std::uint32_t> rowCuts; // row pieces are [rowCuts[k], rowCuts[k + 1])
    std::vector<CellRange> merges;
    std::uint64_t sizeBound = 0;
};

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
    // Single cells and ranges off the sheet are not merges a spreadsheet application accepts.
    ws.merges().forEach([&](const CellRange& m) {
        if (m.lastRow >= m.firstRow && m.lastCol >= m.firstCol && m.lastRow < kMaxRows &&
            m.lastCol < kMaxCols && (m.lastRow != m.firstRow || m.lastCol != m.firstCol)) {
            plan.merges.push_back(m);
        }
    });
    std::stable_sort(
        plan.merges.begin(), plan.merges.end(), [](const CellRange& a, const CellRange& b) {
            return a.firstRow != b.firstRow ? a.firstRow < b.firstRow : a.firstCol < b.firstCol;
        });
    dropOverlappingMerges(plan.merges);
    bound += kMergeBound * plan.merges.size();
    bound += 256 * std::uint64_t{ws.columnInfoCount()} + 4096;
    if (ws.pageSetup) {
        bound += 64 * ws.pageSetup->rowBreaks.size();
    }
    plan.sizeBound = bound;
    return plan;
}

// ---------------------------------------------------------------------------------------------
// Sheet XML

class SheetXml {
public:
    SheetXml(const SheetPlan& plan, const std::vector<std::uint32_t>& remap)
        : m_plan(plan)
        , m_ws(*plan.sheet)
        , m_remap(remap.data()) {
        const std::size_t rowPieces = plan.rowCuts.size() - 1;
        const std::size_t mergePieces =
            (plan.merges.size() + kMergesPerPiece - 1) / kMergesPerPiece;
        m_firstRowPiece = 1;
        m_firstMergePiece = m_firstRowPiece + rowPieces;
        m_tailPiece = m_firstMergePiece + mergePieces;
    }

    std::size_t pieceCount() const { return m_tailPiece + 1; }

    void produce(std::size_t index, std::string& out) const {
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

private:
    void head(XmlBuffer& b) const {
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

    void columns(XmlBuffer& b) const {
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

    void rows(XmlBuffer& b, std::uint32_t begin, std::uint32_t end) const {
        const ColumnNames& names = columnNames();
        for (std::uint32_t r = begin; r < end; ++r) {
            const Row& row = *m_ws.row(r);
            const std::size_t n = row.cells.size();
            char* const start = b.ensure(kRowBound + kCellBound * n);
            char* p = start;
            char digits[12];
            const auto digitCount =
                static_cast<std::size_t>(xml::writeUInt(digits, std::uint64_t{r} + 1) - digits);
            p = put(p, "<row r=\"");
            std::memcpy(p, digits, digitCount);
            p += digitCount;
            *p++ = '"';
            bool attributes = false;
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
            char* const openEnd = p;
            *p++ = '>';
            bool anyCell = false;
            const Cell* cells = row.cells.data();
            for (std::size_t k = 0; k < n; ++k) {
                const Cell& c = cells[k];
                if (c.type == CellType::Empty && c.style == 0) {
                    continue;
                }
                anyCell = true;
                const auto col = static_cast<std::uint32_t>(row.firstCol + k);
                p = put(p, "<c r=\"");
                std::memcpy(p, names.text[col].data(), 4);
                p += names.length[col];
                std::memcpy(p, digits, digitCount);
                p += digitCount;
                *p++ = '"';
                if (c.style != 0) {
                    p = xml::writeUInt(put(p, " s=\""), c.style);
                    *p++ = '"';
                }
                switch (c.type) {
                case CellType::Empty:
                    *p++ = '/';
                    *p++ = '>';
                    continue;
                case CellType::Number:
                    if (std::isfinite(c.number)) {
                        p = xml::writeDouble(put(p, "><v>"), c.number);
                    } else {
                        // Not a number a spreadsheet can hold; Excel shows such results so.
                        p = put(p, " t=\"e\"><v>#NUM!");
                    }
                    break;
                case CellType::Text:
                    p = xml::writeUInt(put(p, " t=\"s\"><v>"), m_remap[c.text]);
                    break;
                case CellType::Bool:
                    p = put(p, " t=\"b\"><v>");
                    *p++ = c.boolean ? '1' : '0';
                    break;
                case CellType::Error: {
                    p = put(p, " t=\"e\"><v>");
                    const std::string_view e = cellErrorText(static_cast<CellErrorCode>(c.error));
                    std::memcpy(p, e.data(), e.size());
                    p += e.size();
                    break;
                }
                }
                p = put(p, "</v></c>");
            }
            if (anyCell) {
                p = put(p, "</row>");
            } else if (attributes) {
                p = openEnd;
                *p++ = '/';
                *p++ = '>';
            } else {
                p = start;
            }
            b.commit(p);
        }
    }

    void merges(XmlBuffer& b, std::size_t piece) const {
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

    void tail(XmlBuffer& b) const {
        if (m_plan.merges.empty()) {
            b.append("</sheetData>");
        }
        if (m_ws.pageSetup) {
            pageSetup(b, *m_ws.pageSetup);
        }
        b.append("</worksheet>");
    }

    static void pageSetup(XmlBuffer& b, const PageSetup& setup) {
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
            const std::uint64_t n = setup.rowBreaks.size();
            b.append("<rowBreaks");
            b.attr("count", n);
            b.attr("manualBreakCount", n);
            b.append('>');
            for (const std::uint32_t row : setup.rowBreaks) {
                b.append("<brk");
                b.attr("id", std::uint64_t{row});
                b.append(" max=\"16383\" man=\"1\"/>");
            }
            b.append("</rowBreaks>");
        }
    }

    const SheetPlan& m_plan;
    const Worksheet& m_ws;
    const std::uint32_t* m_remap;
    std::size_t m_firstRowPiece = 1;
    std::size_t m_firstMergePiece = 1;
    std::size_t m_tailPiece = 1;
};

// ---------------------------------------------------------------------------------------------
// Shared strings

void appendStringItem(XmlBuffer& b, const SharedString& s) {
    auto text = [&](std::string_view t) {
        b.append(xml::needsSpacePreserve(t) ? "<t xml:space=\"preserve\">" : "<t>");
        b.appendText(t);
        b.append("</t>");
    };
    b.append("<si>");
    if (s.runs.empty()) {
        text(s.text);
    } else {
        for (const RichRun& run : s.runs) {
            b.append("<r>");
            if (run.hasFont) {
                b.append("<rPr>");
                appendFontProperties(b, run.font, true);
                b.append("</rPr>");
            }
            text(run.text);
            b.append("</r>");
        }
    }
    b.append("</si>");
}

class SharedStringsXml {
public:
    // Pieces are cut by an upper bound of their XML, so a few very long texts make a piece alone.
    SharedStringsXml(const StringTable& strings, std::vector<std::uint32_t> order,
                     std::uint64_t count)
        : m_strings(strings)
        , m_order(std::move(order))
        , m_count(count) {
        m_cuts.push_back(0);
        std::uint64_t piece = 0;
        for (std::size_t k = 0; k < m_order.size(); ++k) {
            const SharedString& s = m_strings.at(m_order[k]);
            std::uint64_t item = 64 + 7 * std::uint64_t{s.text.size()};
            for (const RichRun& run : s.runs) {
                item += 512 + 7 * run.text.size() +
                        6 * (run.font.name.size() + run.font.underline.size() +
                             run.font.vertAlign.size() + run.font.scheme.size());
            }
            m_bound += item;
            piece += item;
            if (piece >= kPieceBound) {
                m_cuts.push_back(k + 1);
                piece = 0;
            }
        }
        if (m_cuts.back() != m_order.size()) {
            m_cuts.push_back(m_order.size());
        }
    }

    // The opening tag, then the pieces of texts.
    std::size_t pieceCount() const { return m_cuts.size(); }
    std::uint64_t sizeBound() const { return m_bound; }

    void produce(std::size_t index, std::string& out) const {
        XmlBuffer b(std::move(out));
        if (index == 0) {
            b.append(kXmlDecl);
            b.append("<sst");
            b.attr("xmlns", kMainNs);
            b.attr("count", m_count);
            b.attr("uniqueCount", m_order.size());
            b.append('>');
        } else {
            for (std::size_t i = m_cuts[index - 1]; i < m_cuts[index]; ++i) {
                appendStringItem(b, m_strings.at(m_order[i]));
            }
        }
        if (index + 1 == pieceCount()) {
            b.append("</sst>");
        }
        out = b.take();
    }

private:
    const StringTable& m_strings;
    std::vector<std::uint32_t> m_order; // old indices of the texts in use, in table order
    std::uint64_t m_count;
    std::vector<std::size_t> m_cuts; // piece k > 0 holds the texts [m_cuts[k - 1], m_cuts[k])
    std::uint64_t m_bound = 512;
};

void writeParts(const Workbook& book, const std::vector<SheetPlan>& plans,
                const std::vector<std::uint32_t>& remap, std::vector<std::uint32_t> order,
                std::uint64_t textCells, zip::ZipWriter& zip) {
    const std::size_t sheets = book.sheetCount();
    zip.addEntry("[Content_Types].xml", contentTypesXml(sheets));
    zip.addEntry("_rels/.rels", rootRelsXml());
    zip.addEntry("docProps/app.xml", appXml(book));
    zip.addEntry("docProps/core.xml", coreXml());
    zip.addEntry("xl/workbook.xml", workbookXml(book));
    zip.addEntry("xl/_rels/workbook.xml.rels", workbookRelsXml(sheets));
    zip.addEntry("xl/styles.xml", stylesXml(book.styles));
    {
        const SharedStringsXml sst(book.strings, std::move(order), textCells);
        zip.addStreamedEntry(
            "xl/sharedStrings.xml", sst.pieceCount(),
            [&](std::size_t i, std::string& out) { sst.produce(i, out); }, sst.sizeBound());
    }
    for (std::size_t i = 0; i < sheets; ++i) {
        const SheetXml sheet(plans[i], remap);
        zip.addStreamedEntry(
            "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml", sheet.pieceCount(),
            [&](std::size_t k, std::string& out) { sheet.produce(k, out); }, plans[i].sizeBound);
    }
    zip.finish();
}

void writePackage(const Workbook& book, const std::filesystem::path& file,
                  const WriteOptions& options) {
    checkSheets(book, file);

    std::vector<std::uint32_t> remap(book.strings.size(), 0);
    std::vector<SheetPlan> plans;
    plans.reserve(book.sheetCount());
    std::uint64_t textCells = 0;
    const std::size_t active = book.activeSheet < book.sheetCount() ? book.activeSheet : 0;
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        plans.push_back(planSheet(book, book.sheet(i), remap, file));
        plans.back().active = i == active;
        textCells += plans.back().textCells;
    }
    // Only the texts some cell uses are written, renumbered in table order.
    std::vector<std::uint32_t> order;
    for (std::uint32_t i = 0; i < remap.size(); ++i) {
        if (remap[i]) {
            remap[i] = static_cast<std::uint32_t>(order.size());
            order.push_back(i);
        } else {
            remap[i] = kUnused;
        }
    }

    zip::ZipWriterOptions zo;
    zo.threads = options.threads;
    zip::ZipWriter zip(file, zo);
    try {
        writeParts(book, plans, remap, std::move(order), textCells, zip);
    } catch (...) {
        // A half-written package is of no use to anyone: take it away (if it is a plain file).
        std::error_code ec;
        if (std::filesystem::is_regular_file(file, ec)) {
            std::filesystem::remove(file, ec);
        }
        throw;
    }
}

} // namespace

void writeXlsx(const Workbook& book, const std::filesystem::path& file,
               const WriteOptions& options) {
    try {
        writePackage(book, file, options);
    } catch (const WorkbookError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw WorkbookError("无法写入文件" + inQuotes(file.string()) + "：内存不足");
    } catch (const std::exception& e) {
        throw WorkbookError("无法写入文件" + inQuotes(file.string()) + "：" + e.what());
    }
}

} // namespace quenly::wb
