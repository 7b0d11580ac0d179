// Tests of the number-format engine: the texts cells show through their format codes.
#include "number_format.h"

#include <gtest/gtest.h>

namespace {

using quenly::wb::print::formatNumber;

TEST(NumberFormat, General) {
    EXPECT_EQ(formatNumber(0, "General").text, "0");
    EXPECT_EQ(formatNumber(-0.0, "General").text, "0");
    EXPECT_EQ(formatNumber(12345678901, "General").text, "12345678901");
    EXPECT_EQ(formatNumber(123456789012, "General").text, "1.23457E+11");
    EXPECT_EQ(formatNumber(1.0 / 3, "General").text, "0.333333333");
    EXPECT_EQ(formatNumber(0.1 + 0.2, "General").text, "0.3");
}

TEST(NumberFormat, FixedDecimals) {
    EXPECT_EQ(formatNumber(2.675, "0.00").text, "2.68");
    EXPECT_EQ(formatNumber(1.005, "0.00").text, "1.01");
    EXPECT_EQ(formatNumber(9.995, "0.00").text, "10.00");
    EXPECT_EQ(formatNumber(-1234567.891, "#,##0.00").text, "-1,234,567.89");
    EXPECT_EQ(formatNumber(0.125, "0%").text, "13%");
}

} // namespace
