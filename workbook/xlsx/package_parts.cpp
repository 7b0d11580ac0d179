// The small parts of an .xlsx package: content types, relationships, document properties and
// the workbook part with its sheets and print areas.
#include "xlsx/package_parts.h"

#include "xlsx/sheetml.h"

#include <array>
#include <ctime>
#include <string_view>

namespace quenly::wb::xlsx_write {

using xml::XmlBuffer;

namespace {

std::string w3cdtfNow() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return text;
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

} // namespace

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

} // namespace quenly::wb::xlsx_write
