// Tests of the XML buffer: escaping of texts and attributes, numbers that read back exactly.
#include "xlsx/xml_writer.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

using quenly::wb::xml::XmlBuffer;

namespace {

std::string text(std::string_view s) {
    XmlBuffer b;
    b.appendText(s);
    return std::string(b.view());
}

std::string attrValue(std::string_view s) {
    XmlBuffer b;
    b.appendAttrValue(s);
    return std::string(b.view());
}

std::string number(double v) {
    XmlBuffer b;
    b.appendDouble(v);
    return std::string(b.view());
}

} // namespace

TEST(XmlText, EscapesMarkupAndKeepsTabsAndLineFeeds) {
    EXPECT_EQ(text("a&b<c>d\"e'f"), "a&amp;b&lt;c&gt;d\"e'f");
    EXPECT_EQ(text("第一行\n\t第二行"), "第一行\n\t第二行");
    EXPECT_EQ(text(""), "");
}

TEST(XmlText, WritesForbiddenCharactersAsSpreadsheetEscapes) {
    EXPECT_EQ(text(std::string("a\x01"
                               "b\x1F",
                               4)),
              "a_x0001_b_x001F_");
    EXPECT_EQ(text(std::string("\0", 1)), "_x0000_");
    // A carriage return would be turned into a line feed by any XML parser.
    EXPECT_EQ(text("a\r\nb"), "a_x000D_\nb");
    EXPECT_EQ(text("\xEF\xBF\xBF"), "_xFFFF_");
    EXPECT_EQ(text("\xEF\xBF\xBE"), "_xFFFE_");
}

TEST(XmlText, ProtectsLiteralEscapePatterns) {
    EXPECT_EQ(text("_x0041_"), "_x005F_x0041_");
    EXPECT_EQ(text("a_x00fF_b"), "a_x005F_x00fF_b");
    // Not the pattern: left alone.
    EXPECT_EQ(text("_x004_ _x00G1_ _x0041 x_"), "_x004_ _x00G1_ _x0041 x_");
}

TEST(XmlText, ReplacesInvalidUtf8) {
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(text("a\xFF"
                   "b"),
              "a" + r + "b");
    EXPECT_EQ(text("\xE5\xB7"), r + r);         // truncated sequence
    EXPECT_EQ(text("\xC0\xAF"), r + r);         // overlong form
    EXPECT_EQ(text("\xED\xA0\x80"), r + r + r); // surrogate
    EXPECT_EQ(text("工资\xF0\x9F\x98\x80"), "工资\xF0\x9F\x98\x80");
}

TEST(XmlText, LongTextsAcrossBlocks) {
    std::string s(10000, '&');
    s += "\x01";
    const std::string out = text(s);
    EXPECT_EQ(out.size(), 10000u * 5 + 7);
    EXPECT_EQ(out.substr(out.size() - 12), "&amp;_x0001_");
    // A multi-byte character straddling the internal block boundary stays whole.
    std::string wide(4095, 'a');
    wide += "工";
    EXPECT_EQ(text(wide), wide);
}

TEST(XmlAttr, EscapesQuotesAndLineBreaksAndDropsControls) {
    EXPECT_EQ(attrValue("\"#,##0\"&<>"), "&quot;#,##0&quot;&amp;&lt;&gt;");
    EXPECT_EQ(attrValue("a\tb\nc\rd"), "a&#9;b&#10;c&#13;d");
    EXPECT_EQ(attrValue(std::string("x\x01y\0z", 5)), "xyz");
    EXPECT_EQ(attrValue("宋体\xFF"), "宋体\xEF\xBF\xBD");
}

TEST(XmlSpace, PreserveOnlyForOuterWhiteSpace) {
    using quenly::wb::xml::needsSpacePreserve;
    EXPECT_TRUE(needsSpacePreserve(" a"));
    EXPECT_TRUE(needsSpacePreserve("a "));
    EXPECT_TRUE(needsSpacePreserve("\na"));
    EXPECT_TRUE(needsSpacePreserve(" "));
    EXPECT_FALSE(needsSpacePreserve("a b"));
    EXPECT_FALSE(needsSpacePreserve(""));
}

TEST(XmlNumber, ShortestTextThatReadsBack) {
    EXPECT_EQ(number(0), "0");
    EXPECT_EQ(number(42), "42");
    EXPECT_EQ(number(-7), "-7");
    EXPECT_EQ(number(0.1), "0.1");
    EXPECT_EQ(number(8500.5), "8500.5");
    EXPECT_EQ(number(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(number(1e15), "1000000000000000");
    EXPECT_EQ(number(1e21), "1e+21");
    EXPECT_EQ(number(-0.0), "-0");
    const double values[] = {123456.78,
                             -1234.5,
                             1.0 / 3,
                             5e-324,
                             std::numeric_limits<double>::max(),
                             -std::numeric_limits<double>::min(),
                             9007199254740993.0,
                             999999999999999.9,
                             1e16 + 2};
    for (double v : values) {
        const std::string s = number(v);
        double back = 0;
        const auto r = std::from_chars(s.data(), s.data() + s.size(), back);
        ASSERT_EQ(r.ec, std::errc()) << s;
        EXPECT_EQ(r.ptr, s.data() + s.size()) << s;
        EXPECT_EQ(back, v) << s;
    }
}

TEST(XmlBuffer, ReusesStorageAndAppendsAttributes) {
    std::string storage = "old contents";
    XmlBuffer b(std::move(storage));
    EXPECT_TRUE(b.empty());
    b.append("<x");
    b.attr("n", std::uint64_t{18446744073709551615u});
    b.attr("s", "a\"b");
    b.attrDouble("d", 10.5);
    b.append("/>");
    EXPECT_EQ(b.take(), "<x n=\"18446744073709551615\" s=\"a&quot;b\" d=\"10.5\"/>");
    EXPECT_TRUE(b.empty());
}
