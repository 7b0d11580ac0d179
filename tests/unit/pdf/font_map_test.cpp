// Tests of the mapping from spreadsheet font names to installed families.
#include "pdf/font_map.h"

#include <gtest/gtest.h>

using quenly::wb::pdf::fontFamilies;

namespace {

TEST(FontMap, ChineseAndLatinNamesGetAFaceOfTheirKind) {
    EXPECT_EQ(fontFamilies("宋体"), "Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("SimSun"), "Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("仿宋_GB2312"), "Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Times New Roman"), "Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("楷体_GB2312"), "AR PL UKai CN, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("华文楷体"), "AR PL UKai CN, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Courier New"), "Noto Sans Mono CJK SC, Noto Sans CJK SC");
    for (const char* sans : {"Calibri", "等线", "微软雅黑", "Microsoft YaHei", "黑体", "Arial"}) {
        EXPECT_EQ(fontFamilies(sans), "Noto Sans CJK SC") << sans;
    }
}

TEST(FontMap, UnknownNamesFollowTheFamilyHint) {
    EXPECT_EQ(fontFamilies("方正舒体X", 1), "Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Mystery", 2), "Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Mystery", 3), "Noto Sans Mono CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("", 0), "Noto Sans CJK SC");
    // A known name wins over a hint that contradicts it.
    EXPECT_EQ(fontFamilies("宋体", 2), "Noto Serif CJK SC, Noto Sans CJK SC");
}

TEST(FontMap, InstalledFontsAndMetricTwinsComeFirst) {
    const std::set<std::string> installed{"simsun", "carlito", "a, b"};
    EXPECT_EQ(fontFamilies("SimSun", 0, installed), "SimSun, Noto Serif CJK SC, Noto Sans CJK SC");
    EXPECT_EQ(fontFamilies("Calibri", 0, installed), "Carlito, Noto Sans CJK SC");
    // Not installed: no twin is named.
    EXPECT_EQ(fontFamilies("Arial", 0, installed), "Noto Sans CJK SC");
    // A comma would split pango's list into two names.
    EXPECT_EQ(fontFamilies("a, b", 0, installed), "Noto Sans CJK SC");
}

} // namespace
