// The small parts of the package, exactly: content types, relationships, the workbook part and
// the document properties.
#include "writer_fixture.h"
#include "xlsx/package_parts.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace quenly::wb {
namespace {

using test::kDecl;
using test::sampleBook;

TEST(PackageParts, ContentTypesAndRelationships) {
    const std::string ct = "application/vnd.openxmlformats-officedocument.";
    EXPECT_EQ(xlsx_write::contentTypesXml(2),
              kDecl +
                  "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                  "<Default Extension=\"rels\" "
                  "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                  "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                  "<Override PartName=\"/xl/workbook.xml\" ContentType=\"" +
                  ct +
                  "spreadsheetml.sheet.main+xml\"/>"
                  "<Override PartName=\"/xl/worksheets/sheet1.xml\" ContentType=\"" +
                  ct +
                  "spreadsheetml.worksheet+xml\"/>"
                  "<Override PartName=\"/xl/worksheets/sheet2.xml\" ContentType=\"" +
                  ct +
                  "spreadsheetml.worksheet+xml\"/>"
                  "<Override PartName=\"/xl/styles.xml\" ContentType=\"" +
                  ct +
                  "spreadsheetml.styles+xml\"/>"
                  "<Override PartName=\"/xl/sharedStrings.xml\" ContentType=\"" +
                  ct +
                  "spreadsheetml.sharedStrings+xml\"/>"
                  "<Override PartName=\"/docProps/core.xml\" "
                  "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/>"
                  "<Override PartName=\"/docProps/app.xml\" ContentType=\"" +
                  ct + "extended-properties+xml\"/></Types>");
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
    EXPECT_EQ(xlsx_write::rootRelsXml(),
              kDecl +
                  "<Relationships "
                  "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                  "<Relationship Id=\"rId1\" Type=\"" +
                  rel +
                  "officeDocument\" Target=\"xl/workbook.xml\"/>"
                  "<Relationship Id=\"rId2\" "
                  "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/"
                  "core-properties\" Target=\"docProps/core.xml\"/>"
                  "<Relationship Id=\"rId3\" Type=\"" +
                  rel + "extended-properties\" Target=\"docProps/app.xml\"/></Relationships>");
    EXPECT_EQ(xlsx_write::workbookRelsXml(2),
              kDecl +
                  "<Relationships "
                  "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                  "<Relationship Id=\"rId1\" Type=\"" +
                  rel +
                  "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
                  "<Relationship Id=\"rId2\" Type=\"" +
                  rel +
                  "worksheet\" Target=\"worksheets/sheet2.xml\"/>"
                  "<Relationship Id=\"rId3\" Type=\"" +
                  rel +
                  "styles\" Target=\"styles.xml\"/>"
                  "<Relationship Id=\"rId4\" Type=\"" +
                  rel + "sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>");
}

TEST(PackageParts, WorkbookAndDocumentProperties) {
    const auto book = sampleBook();
    EXPECT_EQ(xlsx_write::workbookXml(*book),
              kDecl +
                  "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                  "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                  "<workbookPr date1904=\"1\"/><bookViews><workbookView firstSheet=\"0\" "
                  "activeTab=\"1\"/></bookViews><sheets>"
                  "<sheet name=\"工资表\" sheetId=\"1\" r:id=\"rId1\"/>"
                  "<sheet name=\"第二页\" sheetId=\"2\" r:id=\"rId2\"/></sheets>"
                  // Each sheet prints its cells only: text spilling past the last column gets
                  // no pages of its own.
                  "<definedNames><definedName name=\"_xlnm.Print_Area\" localSheetId=\"0\">"
                  "'工资表'!$A$1:$E$8</definedName><definedName name=\"_xlnm.Print_Area\" "
                  "localSheetId=\"1\">'第二页'!$A$1:$AB$3</definedName></definedNames>"
                  "</workbook>");
    const std::string core = std::regex_replace(
        xlsx_write::coreXml(), std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ"), "TIME");
    EXPECT_EQ(core,
              kDecl + "<cp:coreProperties "
                      "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/"
                      "core-properties\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                      "xmlns:dcterms=\"http://purl.org/dc/terms/\" "
                      "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" "
                      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">"
                      "<dc:creator>Quenly</dc:creator><cp:lastModifiedBy>Quenly</cp:lastModifiedBy>"
                      "<dcterms:created xsi:type=\"dcterms:W3CDTF\">TIME</dcterms:created>"
                      "<dcterms:modified xsi:type=\"dcterms:W3CDTF\">TIME</dcterms:modified>"
                      "</cp:coreProperties>");
    const std::string app = xlsx_write::appXml(*book);
    EXPECT_NE(app.find("<Application>Quenly</Application>"), std::string::npos);
    EXPECT_NE(app.find("<vt:i4>2</vt:i4>"), std::string::npos);
    EXPECT_NE(app.find("<vt:vector size=\"2\" baseType=\"lpstr\"><vt:lpstr>工资表</vt:lpstr>"
                       "<vt:lpstr>第二页</vt:lpstr></vt:vector>"),
              std::string::npos);
}

} // namespace
} // namespace quenly::wb
