// How the formats of cells map to what is drawn: colours, fill patterns and border lines.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "workbook.h"

namespace quenly::wb::pdf {

struct Rgb {
    double r = 0, g = 0, b = 0;
    bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{1, 1, 1};

Rgb rgbOf(std::uint32_t argb);

/// The colour `c`, or `fallback` when it is none or automatic.
Rgb colorOr(const Color& c, Rgb fallback);

/// How much of the pattern colour a pattern fill shows (0 .. 1); the rest is its background
/// colour.
double patternCoverage(const std::string& pattern);

/// A border style as drawn: width in points, dash pattern in points (empty = solid), doubled.
struct LineSpec {
    double width = 0.5;
    std::vector<double> dashes;
    bool doubled = false;
};

LineSpec lineSpec(const std::string& style);

/// Which of two sides meeting on one edge is drawn: the heavier line, as spreadsheets draw it;
/// nullptr when neither has a line.
const BorderSide* strongerSide(const BorderSide* a, const BorderSide* b);

} // namespace quenly::wb::pdf
