// How the formats of cells map to what is drawn: colours, fill patterns, border lines and the
// pango faces and attributes of fonts.
#pragma once

#include <pango/pango.h>

#include <cstdint>
#include <set>
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

/// The size a font is drawn at, in points: super- and subscripts are smaller.
double effectiveSize(const Font& font);

/// The pango face of `font`, drawn with the installed families (`installed`, lower case) that
/// stand in for it. The caller frees it.
PangoFontDescription* describeFont(const Font& font, const std::set<std::string>& installed);

/// Whether a font has lines or super-/subscript, which decorationAttrs draws.
bool hasDecorations(const Font& font);

/// Puts `attr` on bytes `start` .. `end` of a text and into `list`.
void insertAttr(PangoAttrList* list, PangoAttribute* attr, guint start, guint end);

/// The attributes a font puts on bytes `start` .. `end` of a text beyond its face: lines and
/// super-/subscript.
void decorationAttrs(PangoAttrList* list, const Font& font, guint start, guint end);

} // namespace quenly::wb::pdf
