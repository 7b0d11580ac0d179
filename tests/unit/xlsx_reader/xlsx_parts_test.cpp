// The pieces of the .xlsx reader: colours and tints, built-in formats, escapes, dates, the
// theme and styles parsers.
#include "builtin_formats.h"
#include "color_palette.h"
#include "xlsx/xlsx_read_common.h"
#include "xlsx/xlsx_styles_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace quenly::wb {
namespace {

using namespace xlsx_read;

// Within one step per channel of the shades a spreadsheet application shows for the default
// theme (its own rounding is not documented).
TEST(Tint, ComesWithinOneStepOfTheApplicationsShades) {
    struct Shade {
        std::uint32_t base;
        double tint;
        std::uint32_t shown;
    };
    const Shade shades[] = {
        {0xFF4F81BD, 0.7999816888943144, 0xFFDBE5F1}, {0xFF4F81BD, 0.5999938962981048, 0xFFB8CCE4},
        {0xFF4F81BD, 0.3999755851924192, 0xFF95B3D7}, {0xFF4F81BD, -0.249977111117893, 0xFF366092},
        {0xFF4F81BD, -0.499984740745262, 0xFF244062}, {0xFF1F497D, 0.3999755851924192, 0xFF548DD4},
        {0xFF1F497D, 0.5999938962981048, 0xFF8DB4E2}, {0xFF1F497D, -0.249977111117893, 0xFF17375E},
        {0xFF1F497D, -0.499984740745262, 0xFF0F243E}, {0xFFFFFFFF, -0.0499893185216834, 0xFFF2F2F2},
    };
    for (const Shade& s : shades) {
        const std::uint32_t got = applyTint(s.base, s.tint);
        for (int shift = 0; shift < 32; shift += 8) {
            const int a = static_cast<int>((got >> shift) & 0xFF);
            const int b = static_cast<int>((s.shown >> shift) & 0xFF);
            EXPECT_LE(std::abs(a - b), 1) << std::hex << s.base << " " << s.tint << " " << got;
        }
    }
    EXPECT_EQ(applyTint(0xFFFFFFFF, -0.0499893185216834), 0xFFF2F2F2u);
}

TEST(Tint, EndsAndLimits) {
    EXPECT_EQ(applyTint(0xFF000000, 0.5), 0xFF808080u);
    EXPECT_EQ(applyTint(0xFF123456, -1), 0xFF000000u);
    EXPECT_EQ(applyTint(0xFF123456, 1), 0xFFFFFFFFu);
    EXPECT_EQ(applyTint(0xFF123456, 7), 0xFFFFFFFFu) << "clamped to 1";
    EXPECT_EQ(applyTint(0x80123456, 0), 0x80123456u) << "no tint, no change";
    EXPECT_EQ(applyTint(0x80FFFFFF, -0.5) >> 24, 0x80u) << "alpha kept";
}

TEST(IndexedPalette, DefaultsOverridesAndSystemColours) {
    IndexedPalette p;
    EXPECT_EQ(p.color(8), Color::rgb(0xFF000000));
    EXPECT_EQ(p.color(10), Color::rgb(0xFFFF0000));
    EXPECT_EQ(p.color(22), Color::rgb(0xFFC0C0C0));
    EXPECT_EQ(p.color(63), Color::rgb(0xFF333333));
    EXPECT_EQ(p.color(64), Color::automatic());
    EXPECT_EQ(p.color(65), Color::automatic());
    EXPECT_EQ(p.color(66), Color{});
    EXPECT_EQ(p.color(-1), Color{});
    p.set(10, 0xFF010203);
    p.set(64, 0xFF999999);
    EXPECT_EQ(p.color(10), Color::rgb(0xFF010203));
    EXPECT_EQ(p.color(64), Color::automatic());
    EXPECT_EQ(IndexedPalette::defaults()[10], 0xFFFF0000u);
}

TEST(BuiltinFormats, FixedAndChineseLocaleIds) {
    EXPECT_EQ(builtinNumberFormat(0), "General");
    EXPECT_EQ(builtinNumberFormat(4), "#,##0.00");
    EXPECT_EQ(builtinNumberFormat(10), "0.00%");
    EXPECT_EQ(builtinNumberFormat(13), "# ?\?/?\?");
    EXPECT_EQ(builtinNumberFormat(14), "mm-dd-yy");
    EXPECT_EQ(builtinNumberFormat(22), "m/d/yy h:mm");
    EXPECT_EQ(builtinNumberFormat(27), "yyyy\"年\"m\"月\"");
    EXPECT_EQ(builtinNumberFormat(31), "yyyy\"年\"m\"月\"d\"日\"");
    EXPECT_EQ(builtinNumberFormat(35), "上午/下午h\"时\"mm\"分\"ss\"秒\"");
    EXPECT_EQ(builtinNumberFormat(46), "[h]:mm:ss");
    EXPECT_EQ(builtinNumberFormat(49), "@");
    EXPECT_EQ(builtinNumberFormat(58), "m\"月\"d\"日\"");
    EXPECT_EQ(builtinNumberFormat(23), "");
    EXPECT_EQ(builtinNumberFormat(59), "");
    EXPECT_EQ(builtinNumberFormat(-1), "");
}

TEST(BuiltinFormats, ReverseLookup) {
    EXPECT_EQ(builtinNumberFormatId("0.00%"), 10);
    EXPECT_EQ(builtinNumberFormatId("General"), 0);
    EXPECT_EQ(builtinNumberFormatId("m\"月\"d\"日\""), 28);
    EXPECT_EQ(builtinNumberFormatId("0.00_ "), -1);
    EXPECT_EQ(builtinNumberFormatId(""), -1);
}

TEST(Numbers, FromCharsWithSpacesAndSign) {
    EXPECT_EQ(parseDouble(" 1.5E+3 "), 1500.0);
    EXPECT_EQ(parseDouble("+2"), 2.0);
    EXPECT_EQ(parseDouble("-0.25"), -0.25);
    EXPECT_FALSE(parseDouble(""));
    EXPECT_FALSE(parseDouble("1,5"));
    EXPECT_FALSE(parseDouble("nan"));
    EXPECT_FALSE(parseDouble("1e999"));
    EXPECT_EQ(parseUnsigned("42"), 42u);
    EXPECT_FALSE(parseUnsigned("-1"));
    EXPECT_FALSE(parseUnsigned("99999999999"));
    EXPECT_TRUE(parseBool("true", false));
    EXPECT_FALSE(parseBool("0", true));
    EXPECT_TRUE(parseBool("maybe", true));
    EXPECT_FALSE(parseBool(nullptr, false));
}

TEST(Escapes, ControlCharactersSurrogatesAndLiteralUnderscores) {
    std::string s = "a_x000D__x000A_b";
    decodeEscapes(s);
    EXPECT_EQ(s, "a\r\nb");
    s = "_x005F_x0041_";
    decodeEscapes(s);
    EXPECT_EQ(s, "_x0041_");
    s = "_xD83D__xDE00_";
    decodeEscapes(s);
    EXPECT_EQ(s, "\xF0\x9F\x98\x80");
    s = "_xD83D_z";
    decodeEscapes(s);
    EXPECT_EQ(s, "\xEF\xBF\xBDz") << "a lone surrogate";
    s = "_x12_ _xZZZZ_ x_";
    decodeEscapes(s);
    EXPECT_EQ(s, "_x12_ _xZZZZ_ x_");
}

TEST(IsoDates, BothDateSystems) {
    EXPECT_EQ(parseIsoDate("1900-01-01", false), 1.0);
    EXPECT_EQ(parseIsoDate("1900-02-28", false), 59.0);
    EXPECT_EQ(parseIsoDate("1900-03-01", false), 61.0);
    EXPECT_EQ(parseIsoDate("2024-03-01T12:00:00", false), 45352.5);
    EXPECT_EQ(parseIsoDate("2024-03-01T12:00:00Z", false), 45352.5);
    EXPECT_EQ(parseIsoDate("1904-01-02", true), 1.0);
    EXPECT_EQ(parseIsoDate("06:00:00", false), 0.25);
    const auto ms = parseIsoDate("2000-01-01T00:00:00.5", false);
    ASSERT_TRUE(ms);
    EXPECT_NEAR(*ms - 36526, 0.5 / 86400, 1e-9);
    EXPECT_FALSE(parseIsoDate("2024-13-01", false));
    EXPECT_FALSE(parseIsoDate("2024-01-01X", false));
    EXPECT_FALSE(parseIsoDate("tomorrow", false));
}

TEST(Theme, SchemeOrderBecomesCellOrder) {
    const ThemeColors t = parseTheme(
        R"(<a:theme xmlns:a="http://schemas.openxmlformats.org/drawingml/2006/main"><a:themeElements>
        <a:clrScheme name="x"><a:dk1><a:sysClr val="windowText" lastClr="101010"/></a:dk1>
        <a:lt1><a:sysClr val="window"/></a:lt1><a:dk2><a:srgbClr val="202020"/></a:dk2>
        <a:lt2><a:srgbClr val="E0E0E0"/></a:lt2><a:accent1><a:srgbClr val="123456"/></a:accent1>
        <a:folHlink><a:srgbClr val="654321"/></a:folHlink></a:clrScheme></a:themeElements>
        <a:objectDefaults><a:lnDef><a:srgbClr val="FF0000"/></a:lnDef></a:objectDefaults></a:theme>)");
    EXPECT_EQ(t[0], 0xFFFFFFFFu) << "lt1 from sysClr window";
    EXPECT_EQ(t[1], 0xFF101010u) << "dk1";
    EXPECT_EQ(t[2], 0xFFE0E0E0u) << "lt2";
    EXPECT_EQ(t[3], 0xFF202020u) << "dk2";
    EXPECT_EQ(t[4], 0xFF123456u);
    EXPECT_EQ(t[5], defaultThemeColors()[5]) << "missing entries keep the default";
    EXPECT_EQ(t[11], 0xFF654321u);
}

TEST(Styles, NoStylesPartGivesTheDefaultFormat) {
    StyleTable table;
    const ReadStyles s = readStyles(nullptr, "", defaultThemeColors(), table);
    EXPECT_EQ(s.xfToStyle, std::vector<std::uint32_t>{0});
    EXPECT_EQ(table.size(), 1u);
    EXPECT_EQ(s.style(5), 0u);
}

TEST(Styles, DefaultFontBecomesFormatZeroAndEqualFormatsShareAnIndex) {
    StyleTable table;
    const ReadStyles s = parseStyles(
        R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">
        <fonts><font><sz val="10.5"/><name val="仿宋"/><color rgb="00FF0000"/></font></fonts>
        <cellXfs><xf numFmtId="0"/><xf numFmtId="2"/><xf numFmtId="0" fontId="0"/><xf numFmtId="2"/>
        </cellXfs></styleSheet>)",
        defaultThemeColors(), table);
    EXPECT_EQ(table.at(0).font.name, "仿宋");
    EXPECT_EQ(table.at(0).font.size, 10.5);
    EXPECT_EQ(table.at(0).font.color, Color::rgb(0xFFFF0000)) << "alpha 00 read as opaque";
    ASSERT_EQ(s.xfToStyle.size(), 4u);
    EXPECT_EQ(s.xfToStyle[0], 0u);
    EXPECT_EQ(s.xfToStyle[2], 0u);
    EXPECT_NE(s.xfToStyle[1], 0u);
    EXPECT_EQ(s.xfToStyle[1], s.xfToStyle[3]);
    EXPECT_EQ(table.at(s.xfToStyle[1]).numberFormat, "0.00");
    EXPECT_EQ(table.size(), 2u);
}

TEST(Styles, DifferentialFormatsDoNotJoinTheFontTable) {
    StyleTable table;
    const ReadStyles s = parseStyles(
        R"(<styleSheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main">
        <dxfs><dxf><font><b/></font><fill><patternFill patternType="solid"/></fill></dxf></dxfs>
        <fonts><font><name val="A"/></font><font><name val="B"/></font></fonts>
        <fills><fill><patternFill/></fill><fill><patternFill patternType="lightGray"/></fill></fills>
        <cellXfs><xf/><xf fontId="1" fillId="1"/></cellXfs></styleSheet>)",
        defaultThemeColors(), table);
    const CellFormat& f = table.at(s.style(1));
    EXPECT_EQ(f.font.name, "B");
    EXPECT_FALSE(f.font.bold);
    EXPECT_EQ(f.fill.pattern, "lightGray");
}

TEST(Styles, MalformedStylesNameThePartAndLine) {
    StyleTable table;
    try {
        parseStyles("<styleSheet>\n<fonts>\n</styleSheet>", defaultThemeColors(), table);
        FAIL() << "no error";
    } catch (const WorkbookError& e) {
        EXPECT_STREQ(e.what(),
                     "“styles”已损坏：部件xl/styles.xml第3行第3列的XML开始标记与结束标记不匹配"
                     "（mismatched tag）。");
    }
}

} // namespace
} // namespace quenly::wb
