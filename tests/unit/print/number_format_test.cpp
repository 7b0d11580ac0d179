// Tests of the number-format engine: the texts cells show through their format codes.
#include "print/number_format.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "builtin_formats.h"

namespace {

using quenly::wb::print::DisplayText;
using quenly::wb::print::displayText;
using quenly::wb::print::formatNumber;
using quenly::wb::print::formatText;

struct Case {
    const char* code;
    double value;
    const char* shown;
};

void expectAll(const std::vector<Case>& cases, bool date1904 = false) {
    for (const Case& c : cases) {
        EXPECT_EQ(formatNumber(c.value, c.code, date1904).text, c.shown)
            << "code " << c.code << ", value " << c.value << (date1904 ? ", 1904" : "");
    }
}

TEST(NumberFormat, GeneralFitsElevenCharacters) {
    expectAll({
        {"General", 0, "0"},
        {"General", -0.0, "0"},
        {"General", -1, "-1"},
        {"General", 99999999999, "99999999999"},
        {"General", -12345678901, "-12345678901"},
        {"General", 123456789012, "1.23457E+11"},
        {"General", 99999999999.6, "1E+11"},
        {"General", 12345678901.5, "12345678902"},
        {"General", 1234567890.12, "1234567890"},
        {"General", 1234.56789012, "1234.56789"},
        {"General", 123456.7890123, "123456.789"},
        {"General", 1.0 / 3, "0.333333333"},
        {"General", 2.0 / 3, "0.666666667"},
        {"General", 0.1 + 0.2, "0.3"},
        {"General", 0.000123456789, "0.000123457"},
        {"General", 0.00001234, "0.00001234"},
        {"General", 0.0000123456789, "1.23457E-05"},
        {"General", 1e-7, "0.0000001"},
        {"General", 1e-10, "1E-10"},
        {"General", 1.5e-100, "1.5E-100"},
        {"General", 1e100, "1E+100"},
        {"General", -1234.5, "-1234.5"},
        {"", 12.5, "12.5"},
        {"G/通用格式", 12.5, "12.5"},
        {"General\" 元\"", 5, "5 元"},
        {"[Red]General", -5, "-5"},
    });
}

TEST(NumberFormat, FixedDecimalsRoundLikeSpreadsheets) {
    expectAll({
        {"0", 0.5, "1"},
        {"0", 2.5, "3"},
        {"0", -2.5, "-3"},
        // Binary 2.67499999... and 1.00499999... are 2.675 and 1.005 to 15 digits.
        {"0.00", 2.675, "2.68"},
        {"0.00", 1.005, "1.01"},
        {"0.00", 9.995, "10.00"},
        {"0.00", -9.995, "-10.00"},
        {"#,##0.00", 999.995, "1,000.00"},
        {"#,##0", 999999.5, "1,000,000"},
        {"0.00", 1234.565, "1234.57"},
        {"0", 12345678901234567.0, "12345678901234600"},
        // A negative number rounded to zero keeps its sign in one section.
        {"0.00", -0.004, "-0.00"},
        {"0.00", 0.004, "0.00"},
    });
}

TEST(NumberFormat, PlaceholdersAndGrouping) {
    expectAll({
        {"#,##0", -1234567, "-1,234,567"},
        {"#,##0", 0, "0"},
        {"#,###", 0, ""},
        {"#,##0.00", -0.5, "-0.50"},
        {"#.00", 0.5, ".50"},
        {"0.0#", 1.5, "1.5"},
        {"0.0#", 1.25, "1.25"},
        {"#.##", 1, "1."},
        {"00000", 42, "00042"},
        {"0,000", 5, "0,005"},
        {"000-00-0000", 123456789, "123-45-6789"},
        {"???.??", 1.5, "  1.5 "},
        {"0.00_ ", 12.5, "12.50 "},
        {"0000000000", 123, "0000000123"},
    });
}

TEST(NumberFormat, TrailingCommasScaleByThousands) {
    expectAll({
        {"#,##0,", 1234567, "1,235"},
        {"#,##0.0,,", 1234567, "1.2"},
        {"0.00,", 1234567, "1234.57"},
        {"#,##0.00,\"千元\"", 1234567, "1,234.57千元"},
        {"[>=1000]#,##0,\"K\";0", 123456, "123K"},
        {"[>=1000]#,##0,\"K\";0", 999, "999"},
    });
}

TEST(NumberFormat, Percent) {
    expectAll({
        {"0%", 0.125, "13%"},
        {"0%", 0.145, "15%"},
        {"0.00%", 0.12345, "12.35%"},
        {"0%", -0.005, "-1%"},
        {"0.0%", 1, "100.0%"},
        {"0%", 0, "0%"},
        {"0%;-0%", -0.001, "-0%"},
    });
}

TEST(NumberFormat, SectionsPickByValue) {
    expectAll({
        {"0.00;(0.00)", -5, "(5.00)"},
        {"0.00;(0.00)", 5, "5.00"},
        {"0;-0;\"zero\"", 0, "zero"},
        {"0;-0;\"zero\"", -0.4, "-0"},
        {"0;0;0", -3, "3"},
        {"#,##0;-#,##0;-", 0, "-"},
        {"#,##0.00;[Red]-#,##0.00", -1234.5, "-1,234.50"},
        {";;;", 5, ""},
        {"0;-0;;@", 0, ""},
        {"0;", -5, ""},
        {"yyyy/m/d;@", 45322, "2024/1/31"},
    });
}

TEST(NumberFormat, Conditions) {
    expectAll({
        {"[>100]\"big\";[<=0]\"low\";0", 150, "big"},
        {"[>100]\"big\";[<=0]\"low\";0", -5, "low"},
        {"[>100]\"big\";[<=0]\"low\";0", 50, "50"},
        {"[<0]\"neg\"0;0", -5, "neg5"},
        {"[<=-100]0;0", -500, "-500"},
        {"[>100]0;0", -5, "5"},
        {"[=0]\"nil\";0", 0, "nil"},
        {"[=0]\"nil\";0", -3, "3"},
        {"[>100]0;[<-100]0;0", -500, "500"},
        {"[<>1]\"other\";\"one\"", 1, "one"},
    });
}

TEST(NumberFormat, LiteralsEscapesSpacingAndFill) {
    expectAll({
        {"\"$\"#,##0", -5, "-$5"},
        {"\\$#,##0.00", 3.5, "$3.50"},
        {"0\" 元\"", 12, "12 元"},
        {"#,##0.00元", -1234.5, "-1,234.50元"},
        {"0\\元", 5, "5元"},
        {"(0)", 3, "(3)"},
        {"+0;-0", 3, "+3"},
        {"0:00", 1234, "12:34"},
        {"_(0_)", 5, " 5 "},
        {"_元0", 5, " 5"},
        {"*-0", 5, " 5"},
        {"**0", 5, " 5"},
        {"#,##0.00_);[Red](#,##0.00)", -5, "(5.00)"},
        {"#,##0.00_);(#,##0.00)", 5, "5.00 "},
    });
}

TEST(NumberFormat, FillAndRoomAsWideAsACharacterAreNoted) {
    using quenly::wb::print::TextSpace;
    const char* accounting = "_(\"$\"* #,##0.00_);_(\"$\"* (#,##0.00);_(\"$\"* \"-\"??_);_(@_)";
    const DisplayText negative = formatNumber(-1234.5, accounting);
    EXPECT_EQ(negative.text, " $ (1,234.50)");
    EXPECT_EQ(negative.fillAt, 2u); // the "$" then the fill: the number goes to the right
    EXPECT_EQ(negative.fill, " ");
    EXPECT_EQ(negative.spaces, (std::vector<TextSpace>{{0, "("}}));
    const DisplayText zero = formatNumber(0, accounting);
    EXPECT_EQ(zero.text, " $ -   ");
    EXPECT_EQ(zero.spaces, (std::vector<TextSpace>{{0, "("}, {6, ")"}}));
    const DisplayText text = formatText("免扣", accounting);
    EXPECT_EQ(text.text, " 免扣 ");
    EXPECT_EQ(text.fillAt, std::string::npos);
    EXPECT_EQ(text.spaces, (std::vector<TextSpace>{{0, "("}, {7, ")"}}));
    // A sign at the left edge; only the first fill counts; a room of a wide character.
    EXPECT_EQ(formatNumber(-5, "0;-* 0").fillAt, 1u);
    EXPECT_EQ(formatNumber(5, "*-0*x").fillAt, 0u);
    EXPECT_EQ(formatNumber(5, "_元0").spaces, (std::vector<TextSpace>{{0, "元"}}));
    EXPECT_EQ(formatNumber(5, "0").fillAt, std::string::npos);
    EXPECT_TRUE(formatNumber(5, "0").spaces.empty());
}

TEST(NumberFormat, Colors) {
    const DisplayText red = formatNumber(-1, "[Blue]0;[Red]0");
    EXPECT_EQ(red.text, "1");
    EXPECT_TRUE(red.hasColor);
    EXPECT_EQ(red.argb, 0xFFFF0000u);
    const DisplayText blue = formatNumber(1, "[Blue]0;[Red]0");
    EXPECT_EQ(blue.argb, 0xFF0000FFu);
    EXPECT_EQ(formatNumber(1, "[red]0").argb, 0xFFFF0000u);
    EXPECT_EQ(formatNumber(1, "[红色]0").argb, 0xFFFF0000u);
    // ColorN is entry N+7 of the default palette.
    EXPECT_EQ(formatNumber(1, "[Color10]0").argb, 0xFF008000u);
    EXPECT_EQ(formatNumber(1, "[Color56]0").argb, 0xFF333333u);
    EXPECT_FALSE(formatNumber(1, "[Color57]0").hasColor);
    EXPECT_FALSE(formatNumber(1, "0").hasColor);
    EXPECT_TRUE(formatNumber(-1, "0;[Red]0;[Blue]0").hasColor);
    EXPECT_FALSE(formatNumber(1, "0;[Red]0").hasColor);
    const DisplayText eur = formatNumber(-3.5, "#,##0.00 [$€-407];[Red]-#,##0.00 [$€-407]");
    EXPECT_EQ(eur.text, "-3.50 €");
    EXPECT_EQ(eur.argb, 0xFFFF0000u);
    EXPECT_TRUE(formatText("x", "0;0;0;[Magenta]@").hasColor);
}

TEST(NumberFormat, TextSections) {
    EXPECT_EQ(formatText("abc", "0;0;0;\"[\"@\"]\"").text, "[abc]");
    EXPECT_EQ(formatText("工资", "@\"元\"").text, "工资元");
    EXPECT_EQ(formatText("007", "\"编号\"@").text, "编号007");
    EXPECT_EQ(formatText("text", "0.00").text, "text");
    EXPECT_EQ(formatText("hidden", ";;;").text, "");
    EXPECT_EQ(formatText("未定", "yyyy/m/d;@").text, "未定");
    EXPECT_EQ(formatText("文本", "_ * #,##0.00_ ;_ * \\-#,##0.00_ ;_ * \"-\"??_ ;_ @_ ").text,
              " 文本 ");
    EXPECT_EQ(formatText("110101199003071234", "@").text, "110101199003071234");
    EXPECT_EQ(formatText("a", "").text, "a");
    // A number under a text-only code shows as General.
    expectAll({{"@", 3, "3"}, {"@", -1.5, "-1.5"}, {"\"编号\"@", 7, "7"}});
}

TEST(NumberFormat, Scientific) {
    expectAll({
        {"0.00E+00", 12345.678, "1.23E+04"},
        {"0.00E+00", -12345, "-1.23E+04"},
        {"0.00E+00", 0.000123, "1.23E-04"},
        {"0.00E+00", 0, "0.00E+00"},
        {"0.00E+00", 9.999e9, "1.00E+10"},
        {"0.00E+00", 9.996, "1.00E+01"},
        {"0.00E+00", 1e100, "1.00E+100"},
        {"0.0E-00", 0.05, "5.0E-02"},
        {"0.0E-00", 500, "5.0E02"},
        {"0E+0", 123, "1E+2"},
        {"##0.0E+0", 12345, "12.3E+3"},
        {"##0.0E+0", 0.00012345, "123.5E-6"},
        {"##0.0E+0", 999.96, "1.0E+3"},
        {"00.00E+00", 12345, "01.23E+04"},
        {"000.0E+0", 12345, "012.3E+3"},
    });
}

TEST(NumberFormat, Fractions) {
    expectAll({
        {"# ?/?", 1.25, "1 1/4"},
        {"# ?/?", -1.25, "-1 1/4"},
        {"# ?\?/??", 3.14159, "3 14/99"},
        {"# ?/?", 0.5, " 1/2"},
        {"# ?/?", 2, "2    "},
        {"# ?/?", 0, "0    "},
        {"# ?/?", 0.99, "1    "},
        {"# ?\?/??", 0.3333, "  1/3 "},
        {"?/?", 1.5, "3/2"},
        {"0/0", 7, "7/1"},
        {"# ?/8", 2.3, "2 2/8"},
        {"# ?/4", 2.9, "3    "},
        {"# ?/10", 2.25, "2 3/10"},
        {"# ?/16", 0.3, " 5/16"},
        {"0/100", 0.37, "37/100"},
        {"0/00", 0.5, "1/02"},
        {"# ??\?/???", 0.1234, " 106/859"},
        {"?/?", 1e20, "100000000000000000000/1"},
        {"# ?/?", 1e20, "100000000000000000000    "},
    });
}

TEST(NumberFormat, Dates1900) {
    expectAll({
        {"yyyy-mm-dd", 0, "1900-01-00"},
        {"yyyy-mm-dd", 1, "1900-01-01"},
        {"yyyy-mm-dd", 59, "1900-02-28"},
        {"yyyy-mm-dd", 60, "1900-02-29"},
        {"yyyy-mm-dd", 61, "1900-03-01"},
        {"yyyy-mm-dd", 43890, "2020-02-29"},
        {"yyyy-mm-dd", 43891, "2020-03-01"},
        {"yyyy-mm-dd", 44255, "2021-02-28"},
        {"yyyy-mm-dd", 44196, "2020-12-31"},
        {"yyyy-mm-dd", 44197, "2021-01-01"},
        {"yyyy-mm-dd", 2958465, "9999-12-31"},
        {"yyyy-mm-dd", 45000.5, "2023-03-15"},
        // Rounded to the second first: a hair before midnight is the next day.
        {"yyyy-mm-dd", 45000.9999999, "2023-03-16"},
        {"yyyy/m/d", 45292, "2024/1/1"},
        {"dddd", 0, "Saturday"},
        {"dddd", 1, "Sunday"},
        {"ddd", 61, "Thu"},
        {"ddd dd mmm yyyy", 45000, "Wed 15 Mar 2023"},
        {"mmmm d, yyyy", 45000, "March 15, 2023"},
        {"mmmmm", 45000, "M"},
        {"yy/mm/dd", 36526, "00/01/01"},
        {"y", 45000, "23"},
        {"yyy", 45000, "2023"},
        {"e\"年\"", 45000, "2023年"},
        {"d", 45000, "15"},
        {"d/m/yyyy", 401768, "31/12/2999"},
    });
}

TEST(NumberFormat, InvalidDatesShowHashes) {
    expectAll({
        {"yyyy-mm-dd", -1, "########"},
        {"yyyy-mm-dd", 2958466, "########"},
        {"[h]:mm", -0.5, "########"},
        {"h:mm", -0.5, "########"},
        {"yyyy-mm-dd;@", -3, "########"},
    });
}

TEST(NumberFormat, Dates1904) {
    expectAll(
        {
            {"yyyy-mm-dd", 0, "1904-01-01"},
            {"yyyy-mm-dd", 1, "1904-01-02"},
            {"yyyy-mm-dd", 59, "1904-02-29"},
            {"yyyy-mm-dd", 42428, "2020-02-29"},
            {"yyyy-mm-dd", 2957003, "9999-12-31"},
            {"yyyy-mm-dd", 2957004, "########"},
            {"yyyy-mm-dd", -1, "########"},
            {"dddd", 0, "Friday"},
            {"yyyy-mm-dd hh:mm", 43538.75, "2023-03-15 18:00"},
        },
        true);
}

TEST(NumberFormat, Times) {
    expectAll({
        {"h:mm:ss", 0.99999, "23:59:59"},
        {"h:mm:ss", 0.999995, "0:00:00"},
        {"h:mm:ss", 0.123456, "2:57:47"},
        // Minutes are not rounded up by the seconds they do not show.
        {"h:mm", (10 * 3600 + 59 * 60 + 59) / 86400.0, "10:59"},
        {"h:mm", 1.75, "18:00"},
        {"h:mm:ss.0", 0.5000011, "12:00:00.1"},
        {"ss.00", 0.0000123, "01.06"},
        {"mm:ss", 0.01, "14:24"},
        {"[h]:mm", 2.25, "54:00"},
        {"[mm]:ss", 0.5, "720:00"},
        {"[ss]", 0.01, "864"},
        {"[h]:mm:ss", 1.5, "36:00:00"},
        {"h AM/PM", 0, "12 AM"},
        {"h AM/PM", 0.5, "12 PM"},
        {"hh:mm A/P", 0.25, "06:00 A"},
        {"h:mm am/pm", 0.8, "7:12 pm"},
        {"yyyy-mm-dd hh:mm:ss", 45000.999994, "2023-03-15 23:59:59"},
    });
}

TEST(NumberFormat, ChineseDatesAndTimes) {
    expectAll({
        {"yyyy\"年\"m\"月\"d\"日\"", 45000, "2023年3月15日"},
        {"yyyy年m月d日", 45000, "2023年3月15日"},
        {"[$-804]yyyy\"年\"m\"月\"d\"日\";@", 45000, "2023年3月15日"},
        {"上午/下午h\"时\"mm\"分\"", 0.6, "下午2时24分"},
        {"上午/下午h\"时\"mm\"分\"ss\"秒\"", 0.3, "上午7时12分00秒"},
        {"aaaa", 45000, "星期三"},
        {"aaa", 45000, "三"},
        {"[$-804]yyyy\"年\"m\"月\"d\"日\" aaaa", 45292, "2024年1月1日 星期一"},
        {"[$-804]dddd", 45000, "星期三"},
        {"[$-804]ddd", 45000, "周三"},
        {"[$-804]mmmm", 45000, "三月"},
        {"[$-804]mmm", 45000, "3月"},
        {"[$-804]h:mm AM/PM", 0.75, "6:00 下午"},
        {"[$-F800]dddd, mmmm dd, yyyy", 45292, "2024年1月1日"},
        {"[$-F400]h:mm:ss AM/PM", 0.75, "18:00:00"},
        {"[$-x-sysdate]dddd, mmmm dd, yyyy", 45292, "2024年1月1日"},
        {"[$-x-systime]h:mm:ss AM/PM", 0.75, "18:00:00"},
        {"[$-zh-CN]aaaa h:mm AM/PM", 45000.25, "星期三 6:00 上午"},
        {"[$-2000804]ddd", 45000, "周三"},
        {"[Red][$-F800]dddd", 45292, "2024年1月1日"},
    });
}

TEST(NumberFormat, LocaleAndCurrencyTags) {
    expectAll({
        {"[$¥-804]#,##0.00", 1234.5, "¥1,234.50"},
        {"[$￥-804]#,##0.00", -1234.5, "-￥1,234.50"},
        {"[$€-407]#,##0.00", 1234.5, "€1,234.50"},
        {"[$-804]#,##0", 1234.5, "1,235"},
        {"[$USD] #,##0", 12, "USD 12"},
        {"[$¥-804]#,##0.00;[Red][$¥-804]-#,##0.00", -5, "¥-5.00"},
        {"[$-409]mmm d, yyyy", 45000, "Mar 15, 2023"},
    });
}

TEST(NumberFormat, ChineseNumerals) {
    expectAll({
        {"[DBNum1]General", 123, "一百二十三"},
        {"[DBNum2]General", 123, "壹佰贰拾叁"},
        {"[DBNum1][$-804]General", 1001, "一千〇一"},
        {"[DBNum2][$-804]General", 1234.56, "壹仟贰佰叁拾肆.伍陆"},
        {"[DBNum1]0", 10, "一十"},
        {"[DBNum1]0", 0, "〇"},
        {"[DBNum2]General", 0, "零"},
        {"[DBNum2]0", 100000, "壹拾万"},
        {"[DBNum2]General", 100010, "壹拾万零壹拾"},
        {"[DBNum1]General", 100000001, "一亿〇一"},
        {"[DBNum2]General", 200000000, "贰亿"},
        {"[DBNum2]General", -12, "-壹拾贰"},
        {"[DBNum2]0", 100000000000, "壹仟亿"},
        {"[DBNum2]0", 1000000000000, "壹万亿"},
        {"[DBNum2]0", 1000100000000, "壹万零壹亿"},
        {"[DBNum2]0.00", 1234.5, "壹仟贰佰叁拾肆.伍零"},
        {"[DBNum2]#,##0", 1234567, "壹佰贰拾叁万肆仟伍佰陆拾柒"},
        {"[DBNum2][$-804]General\"元\"", 20500, "贰万零伍佰元"},
        {"[DBNum2]\"人民币\"0\"元整\"", 3000, "人民币叁仟元整"},
        {"[DBNum2][$-804]General;[Red]\"负\"[DBNum2][$-804]General", -5, "负伍"},
        {"[DBNum1][$-804]yyyy\"年\"m\"月\"d\"日\"", 45651, "二〇二四年十二月二十五日"},
        {"[DBNum1][$-804]yyyy\"年\"m\"月\"d\"日\"", 45209, "二〇二三年十月十日"},
        {"[DBNum1]h:mm", 0.45, "十:四十八"},
    });
}

TEST(NumberFormat, NonFiniteValuesShowAnError) {
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::infinity(), "0.00").text, "#NUM!");
    EXPECT_EQ(formatNumber(std::numeric_limits<double>::quiet_NaN(), "General").text, "#NUM!");
    EXPECT_EQ(formatNumber(-std::numeric_limits<double>::infinity(), "yyyy").text, "#NUM!");
}

TEST(NumberFormat, MalformedCodesShowGeneral) {
    expectAll({
        {"\"abc", 5, "5"},
        {"[Red", 5, "5"},
        {"0.00\"", 1.5, "1.5"},
        {"[Red", -2.5, "-2.5"},
    });
    EXPECT_EQ(formatText("x", "\"abc").text, "x");
}

// Every code of the built-in table, as the readers hand it over.
TEST(NumberFormat, BuiltinCodes) {
    const std::map<int, std::string> at45000 = {
        {0, "45000.625"},
        {1, "45001"},
        {2, "45000.63"},
        {3, "45,001"},
        {4, "45,000.63"},
        {5, "¥45,001"},
        {6, "¥45,001"},
        {7, "¥45,000.63"},
        {8, "¥45,000.63"},
        {9, "4500063%"},
        {10, "4500062.50%"},
        {11, "4.50E+04"},
        {12, "45000 5/8"},
        {13, "45000  5/8 "},
        // 14 and 22 are the system's short date, yyyy/m/d on zh-CN.
        {14, "2023/3/15"},
        {15, "15-Mar-23"},
        {16, "15-Mar"},
        {17, "Mar-23"},
        {18, "3:00 PM"},
        {19, "3:00:00 PM"},
        {20, "15:00"},
        {21, "15:00:00"},
        {22, "2023/3/15 15:00"},
        {27, "2023年3月"},
        {28, "3月15日"},
        {29, "3月15日"},
        {30, "3-15-23"},
        {31, "2023年3月15日"},
        {32, "15时00分"},
        {33, "15时00分00秒"},
        {34, "下午3时00分"},
        {35, "下午3时00分00秒"},
        {36, "2023年3月"},
        {37, "45,001 "},
        {38, "45,001 "},
        {39, "45,000.63"},
        {40, "45,000.63"},
        {41, "  45,001 "},
        {42, " ¥ 45,001 "},
        {43, "  45,000.63 "},
        {44, " ¥ 45,000.63 "},
        {45, "00:00"},
        {46, "1080015:00:00"},
        {47, "00:00.0"},
        {48, "45.0E+3"},
        {49, "45000.625"},
        {50, "2023年3月"},
        {51, "3月15日"},
        {52, "2023年3月"},
        {53, "3月15日"},
        {54, "3月15日"},
        {55, "下午3时00分"},
        {56, "下午3时00分00秒"},
        {57, "2023年3月"},
        {58, "3月15日"},
    };
    for (int id = 0; id <= 58; ++id) {
        const std::string_view code = quenly::wb::builtinNumberFormat(id);
        if (code.empty()) {
            continue;
        }
        auto it = at45000.find(id);
        ASSERT_NE(it, at45000.end()) << "no expectation for built-in " << id;
        EXPECT_EQ(formatNumber(45000.625, code).text, it->second) << "built-in " << id;
    }
    const auto builtin = [](int id) { return quenly::wb::builtinNumberFormat(id); };
    EXPECT_EQ(formatNumber(-1234.5, builtin(5)).text, "¥-1,235");
    EXPECT_EQ(formatNumber(-1234.5, builtin(6)).argb, 0xFFFF0000u);
    EXPECT_EQ(formatNumber(-1234.5, builtin(37)).text, "(1,235)");
    EXPECT_EQ(formatNumber(-1234.5, builtin(40)).text, "(1,234.50)");
    EXPECT_EQ(formatNumber(-1234.5, builtin(41)).text, "  -1,235 ");
    EXPECT_EQ(formatNumber(-1234.5, builtin(42)).text, " ¥ -1,235 ");
    EXPECT_EQ(formatNumber(0, builtin(41)).text, "  - ");
    EXPECT_EQ(formatNumber(0, builtin(43)).text, "  -   ");
    EXPECT_EQ(formatNumber(0, builtin(44)).text, " ¥ -   ");
    EXPECT_EQ(formatText("备注", builtin(44)).text, " 备注 ");
    EXPECT_EQ(formatNumber(0.00123, builtin(47)).text, "01:46.3");
}

TEST(NumberFormat, DisplayTextOfCells) {
    using namespace quenly::wb;
    Workbook book;
    CellFormat money;
    money.numberFormat = "#,##0.00;[Red]-#,##0.00";
    const std::uint32_t moneyStyle = book.styles.intern(money);
    CellFormat id;
    id.numberFormat = "\"编号\"@";
    const std::uint32_t idStyle = book.styles.intern(id);
    CellFormat date;
    date.numberFormat = "yyyy-mm-dd";
    const std::uint32_t dateStyle = book.styles.intern(date);

    EXPECT_EQ(displayText(book, Cell::makeNumber(1.005)).text, "1.005");
    EXPECT_EQ(displayText(book, Cell::makeNumber(1234.5, moneyStyle)).text, "1,234.50");
    const DisplayText negative = displayText(book, Cell::makeNumber(-1234.5, moneyStyle));
    EXPECT_EQ(negative.text, "-1,234.50");
    EXPECT_TRUE(negative.hasColor);
    EXPECT_EQ(displayText(book, Cell::makeText(book.strings.intern("007"), idStyle)).text,
              "编号007");
    EXPECT_EQ(displayText(book, Cell::makeBool(true)).text, "TRUE");
    EXPECT_EQ(displayText(book, Cell::makeBool(false)).text, "FALSE");
    EXPECT_EQ(displayText(book, Cell()).text, "");
    EXPECT_EQ(displayText(book, Cell::makeNumber(0, dateStyle)).text, "1900-01-00");
    book.date1904 = true;
    EXPECT_EQ(displayText(book, Cell::makeNumber(0, dateStyle)).text, "1904-01-01");

    const std::map<std::uint8_t, std::string> errors = {
        {0x00, "#NULL!"}, {0x07, "#DIV/0!"}, {0x0F, "#VALUE!"}, {0x17, "#REF!"},
        {0x1D, "#NAME?"}, {0x24, "#NUM!"},   {0x2A, "#N/A"},    {0x2B, "#GETTING_DATA"},
    };
    for (const auto& [code, text] : errors) {
        EXPECT_EQ(displayText(book, Cell::makeError(code, moneyStyle)).text, text);
    }
}

// Parsed codes are kept per thread; many distinct codes and several threads must not mix up.
TEST(NumberFormat, ManyCodesOnSeveralThreads) {
    const auto work = [](int seed, std::vector<std::string>& failures) {
        for (int round = 0; round < 3; ++round) {
            for (int k = 0; k < 5000; ++k) {
                const int decimals = (k + seed) % 4;
                std::string code = "0";
                if (decimals > 0) {
                    code += '.';
                    code.append(static_cast<std::size_t>(decimals), '0');
                }
                code += "\"#" + std::to_string(k) + "\"";
                std::string expected = "2";
                if (decimals > 0) {
                    expected = "1.5" + std::string(static_cast<std::size_t>(decimals - 1), '0');
                }
                expected += "#" + std::to_string(k);
                const std::string shown = formatNumber(1.5, code).text;
                if (shown != expected) {
                    failures.push_back(code + " -> " + shown + ", wanted " + expected);
                }
            }
        }
    };
    std::vector<std::string> failuresA;
    std::vector<std::string> failuresB;
    std::thread a(work, 0, std::ref(failuresA));
    std::thread b(work, 1, std::ref(failuresB));
    a.join();
    b.join();
    EXPECT_EQ(failuresA.size(), 0u) << (failuresA.empty() ? "" : failuresA.front());
    EXPECT_EQ(failuresB.size(), 0u) << (failuresB.empty() ? "" : failuresB.front());
}

} // namespace
