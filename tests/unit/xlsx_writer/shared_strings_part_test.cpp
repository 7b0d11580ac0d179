// The shared strings part, exactly, and cut into many pieces.
#include "writer_fixture.h"
#include "xlsx/shared_strings_part.h"

#include <gtest/gtest.h>

#include <string>

namespace quenly::wb {
namespace {

using quenly::test::TempDir;
using test::kDecl;
using test::readParts;
using test::sampleBook;

TEST(SharedStringsPart, CountsEscapingAndRichRuns) {
    // The texts the sample's cells use ("never used", text 0, is not one of them); "张三" is
    // counted three times (two sheets) but stored once.
    const auto book = sampleBook();
    const xlsx_write::SharedStringsXml sst(book->strings, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, 12);
    std::string xml;
    for (std::size_t i = 0; i < sst.pieceCount(); ++i) {
        std::string piece;
        sst.produce(i, piece);
        xml += piece;
    }
    EXPECT_EQ(xml,
              kDecl +
                  "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                  "count=\"12\" uniqueCount=\"10\">"
                  "<si><t>2026年12月 工资条</t></si>"
                  "<si><t>姓名</t></si><si><t>基本工资</t></si><si><t>绩效</t></si>"
                  "<si><t>备注</t></si><si><t>张三</t></si>"
                  "<si><t xml:space=\"preserve\"> 前后空格 </t></si>"
                  "<si><t>李四&amp;&lt;&gt;\"'</t></si>"
                  "<si><r><rPr><b/><sz val=\"11\"/><color rgb=\"FFFF0000\"/><rFont val=\"宋体\"/>"
                  "<charset val=\"134\"/></rPr><t>红色</t></r><r><t>普通</t></r></si>"
                  "<si><t>a_x0001_b_x000D_\n_x005F_x0041_</t></si></sst>");
}

TEST(SharedStringsPart, ManyPiecesKeepTheirOrder) {
    TempDir dir;
    Workbook book;
    auto& ws = book.addSheet("Sheet1");
    const std::uint32_t n = 60000;
    for (std::uint32_t i = 0; i < n; ++i) {
        std::string text = "文本" + std::to_string(i);
        if (i % 1000 == 7) {
            text += std::string(20000, i % 2 ? '&' : 'x'); // long texts, some escaped
        }
        ws.cellForWrite(i, 0) = Cell::makeText(book.strings.intern(text));
    }
    writeXlsx(book, dir / "s.xlsx", {3});
    const std::string sst = readParts(dir / "s.xlsx")["xl/sharedStrings.xml"];
    EXPECT_NE(sst.find("count=\"60000\" uniqueCount=\"60000\"><si><t>文本0</t></si>"),
              std::string::npos);
    std::size_t items = 0, at = 0;
    for (std::size_t p = sst.find("<si>"); p != std::string::npos; p = sst.find("<si>", p + 1)) {
        const std::string want = "<si><t>文本" + std::to_string(items);
        if (sst.compare(p, want.size(), want) != 0 && at == 0) {
            at = p;
        }
        ++items;
    }
    EXPECT_EQ(items, n);
    EXPECT_EQ(at, 0u) << sst.substr(at, 40);
    std::string amp;
    for (int k = 0; k < 20000; ++k) {
        amp += "&amp;";
    }
    EXPECT_NE(sst.find("<si><t>文本1007" + amp + "</t></si><si><t>文本1008</t></si>"),
              std::string::npos);
    EXPECT_NE(sst.find("<si><t>文本59999</t></si></sst>"), std::string::npos);
}

} // namespace
} // namespace quenly::wb
