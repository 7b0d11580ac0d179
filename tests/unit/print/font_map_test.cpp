// Tests of the mapping from spreadsheet font names to installed families.
#include "print/font_map.h"

#include <gtest/gtest.h>

using quenly::wb::print::fontFamilies;

namespace {

TEST(FontMap, ChineseAndLatinNamesGetAChineseFaceOfTheirKind) {
    EXPECT_EQ(fontFamilies("宋体"), "Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("SimSun"), "Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("仿宋_GB2312"), "Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Songti SC"), "Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Times New Roman"), "Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("楷体_GB2312"), "AR PL UKai CN, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("华文楷体"), "AR PL UKai CN, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Courier New"), "Noto Sans Mono CJK SC, Noto Sans CJK SC");
    for (const char* sans :
         {"Calibri", "等线", "DengXian", "微软雅黑", "黑体", "Arial", "Tahoma", "STHeiti"}) {
        EXPECT_EQ(fontFamilies(sans), "Noto Sans CJK SC") << sans;
    }
    // Fonts made for Traditional Chinese take the Traditional cut.
    EXPECT_EQ(fontFamilies("新細明體"), "Noto Serif CJK TC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("標楷體"), "AR PL UKai TW, Noto Sans CJK SC");
}

TEST(FontMap, UnknownNamesFollowTheFamilyHint) {
    EXPECT_EQ(fontFamilies("方正舒体X", 1), "Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Mystery", 2), "Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Mystery", 3), "Noto Sans Mono CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("", 0), "Noto Sans CJK SC");
    // A known name wins over a hint that contradicts it.
    EXPECT_EQ(fontFamilies("宋体", 2), "Noto Serif CJK SC, Noto Sans CJK SC");
}

TEST(FontMap, LatinTextTakesTheInstalledFontOrWhatLibreOfficeDrawsItWith) {
    const std::set<std::string> installed{"simsun", "a, b"};
    EXPECT_EQ(fontFamilies("SimSun", 0, installed, "DejaVu Serif"),
              "SimSun, Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Calibri", 0, installed, "Carlito"), "Carlito, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Tahoma", 0, installed, "DejaVu Sans"), "DejaVu Sans, Noto Sans CJK SC");
    // A serif font drawn in DejaVu Sans by LibreOffice takes the serif face of the same metrics.
    EXPECT_EQ(fontFamilies("宋体", 0, installed, "DejaVu Sans"),
              "DejaVu Serif, Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("楷体_GB2312", 0, installed, "DejaVu Sans"),
              "DejaVu Serif, AR PL UKai CN, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Times New Roman", 0, installed, "Nimbus Roman"),
              "Nimbus Roman, Noto Serif CJK SC, Noto Sans CJK SC");
    // A comma would split pango's list into two names.
    EXPECT_EQ(fontFamilies("a, b", 0, installed, "x, y"), "Noto Sans CJK SC");
}

} // namespace
