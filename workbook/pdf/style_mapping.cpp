// How the formats of cells map to what is drawn: colours, fill patterns and border lines.
#include "pdf/style_mapping.h"

#include <algorithm>
#include <unordered_map>

namespace quenly::wb::pdf {

namespace {

// Which of two sides meeting on one edge wins: the heavier line, as spreadsheets draw it.
int borderWeight(const std::string& style) {
    static const std::unordered_map<std::string, int> weights{
        {"hair", 1},          {"dotted", 2},        {"dashDotDot", 3},   {"dashDot", 4},
        {"dashed", 5},        {"thin", 6},          {"slantDashDot", 7}, {"mediumDashDotDot", 8},
        {"mediumDashDot", 9}, {"mediumDashed", 10}, {"medium", 11},      {"double", 12},
        {"thick", 13},
    };
    if (style.empty()) {
        return 0;
    }
    const auto it = weights.find(style);
    return it == weights.end() ? 6 : it->second;
}

} // namespace

Rgb rgbOf(std::uint32_t argb) {
    return {((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0};
}

Rgb colorOr(const Color& c, Rgb fallback) {
    return c.kind == Color::Kind::Rgb ? rgbOf(c.argb) : fallback;
}

double patternCoverage(const std::string& pattern) {
    if (pattern == "solid") {
        return 1;
    }
    if (pattern == "gray0625") {
        return 0.0625;
    }
    if (pattern == "gray125") {
        return 0.125;
    }
    if (pattern.starts_with("light")) { // lightGray and the light hatchings
        return 0.25;
    }
    if (pattern == "mediumGray") {
        return 0.5;
    }
    if (pattern == "darkGray") {
        return 0.75;
    }
    if (pattern.starts_with("dark")) { // the dark hatchings
        return 0.5;
    }
    return 0;
}

LineSpec lineSpec(const std::string& style) {
    if (style == "hair") {
        return {0.25, {}, false};
    }
    if (style == "medium") {
        return {1.0, {}, false};
    }
    if (style == "thick") {
        return {1.5, {}, false};
    }
    if (style == "double") {
        return {0.5, {}, true};
    }
    if (style == "dashed") {
        return {0.5, {2.25, 0.75}, false};
    }
    if (style == "dotted") {
        return {0.5, {0.75, 0.75}, false};
    }
    if (style == "dashDot") {
        return {0.5, {2.25, 0.75, 0.75, 0.75}, false};
    }
    if (style == "dashDotDot") {
        return {0.5, {2.25, 0.75, 0.75, 0.75, 0.75, 0.75}, false};
    }
    if (style == "mediumDashed") {
        return {1.0, {4.5, 1.5}, false};
    }
    if (style == "mediumDashDot") {
        return {1.0, {4.5, 1.5, 1.5, 1.5}, false};
    }
    if (style == "mediumDashDotDot") {
        return {1.0, {4.5, 1.5, 1.5, 1.5, 1.5, 1.5}, false};
    }
    if (style == "slantDashDot") {
        return {1.0, {4.5, 0.75, 1.5, 0.75}, false};
    }
    return {0.5, {}, false}; // thin, and any style not known
}

const BorderSide* strongerSide(const BorderSide* a, const BorderSide* b) {
    const int wa = a ? borderWeight(a->style) : 0;
    const int wb = b ? borderWeight(b->style) : 0;
    if (wa == 0 && wb == 0) {
        return nullptr;
    }
    return wb >= wa ? b : a;
}

} // namespace quenly::wb::pdf
