// The styles part, exactly: number formats, fonts, fills, borders and the cell formats.
#include "writer_fixture.h"
#include "xlsx/styles_part.h"

#include <gtest/gtest.h>

#include <string>

namespace quenly::wb {
namespace {

using test::kDecl;
using test::sampleBook;

TEST(StylesPart, ReservedFillsAndBuiltinFormatIds) {
    const auto book = sampleBook();
    const std::string font0 = "<font><sz val=\"11\"/><name val=\"宋体\"/><charset val=\"134\"/>"
                              "</font>";
    const std::string thin = "<color rgb=\"FF000000\"/>";
    EXPECT_EQ(
        xlsx_write::stylesXml(book->styles),
        kDecl +
            "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
            "<numFmts count=\"2\"><numFmt numFmtId=\"164\" formatCode=\"&quot;¥&quot;#,##0.00\"/>"
            "<numFmt numFmtId=\"165\" formatCode=\"yyyy&quot;年&quot;m&quot;月&quot;\"/>"
            "</numFmts>"
            "<fonts count=\"2\">" +
            font0 +
            "<font><b/><sz val=\"14\"/><color rgb=\"FFFF0000\"/><name val=\"宋体\"/>"
            "<charset val=\"134\"/></font></fonts>"
            "<fills count=\"3\"><fill><patternFill patternType=\"none\"/></fill>"
            "<fill><patternFill patternType=\"gray125\"/></fill>"
            "<fill><patternFill patternType=\"solid\"><fgColor rgb=\"FFFFFF00\"/>"
            "<bgColor auto=\"1\"/></patternFill></fill></fills>"
            "<borders count=\"2\"><border><left/><right/><top/><bottom/><diagonal/></border>"
            "<border><left style=\"thin\">" +
            thin + "</left><right style=\"thin\">" + thin + "</right><top style=\"thin\">" + thin +
            "</top><bottom style=\"thin\">" + thin +
            "</bottom><diagonal/></border></borders>"
            "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
            "borderId=\"0\"/></cellStyleXfs>"
            "<cellXfs count=\"6\">"
            "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>"
            "<xf numFmtId=\"0\" fontId=\"1\" fillId=\"2\" borderId=\"1\" xfId=\"0\" "
            "applyFont=\"1\" applyFill=\"1\" applyBorder=\"1\" applyAlignment=\"1\">"
            "<alignment horizontal=\"center\" vertical=\"center\"/></xf>"
            "<xf numFmtId=\"49\" fontId=\"0\" fillId=\"0\" borderId=\"1\" xfId=\"0\" "
            "applyNumberFormat=\"1\" applyBorder=\"1\"/>"
            "<xf numFmtId=\"4\" fontId=\"0\" fillId=\"0\" borderId=\"1\" xfId=\"0\" "
            "applyNumberFormat=\"1\" applyBorder=\"1\"/>"
            "<xf numFmtId=\"164\" fontId=\"0\" fillId=\"0\" borderId=\"1\" xfId=\"0\" "
            "applyNumberFormat=\"1\" applyBorder=\"1\" applyProtection=\"1\">"
            "<protection locked=\"0\"/></xf>"
            "<xf numFmtId=\"165\" fontId=\"0\" fillId=\"1\" borderId=\"0\" xfId=\"0\" "
            "applyNumberFormat=\"1\" applyFill=\"1\" applyAlignment=\"1\">"
            "<alignment textRotation=\"90\" wrapText=\"1\"/></xf></cellXfs>"
            "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/>"
            "</cellStyles><dxfs count=\"0\"/><tableStyles count=\"0\" "
            "defaultTableStyle=\"TableStyleMedium9\" defaultPivotStyle=\"PivotStyleLight16\"/>"
            "</styleSheet>");
}

} // namespace
} // namespace quenly::wb
