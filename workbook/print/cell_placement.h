// How the text of a cell is placed in its box, as spreadsheets place it: alignment, wrapping,
// indent, turning, and the room left between the box's edges and the text.
#pragma once

#include <pango/pango.h>

#include <string>
#include <string_view>
#include <vector>

#include "workbook.h"

namespace quenly::wb::print {

/// Room between a cell's edges and its text, in points, as LibreOffice leaves it, and the width
/// of one indent level.
inline constexpr double kCellPadX = 1.0;
inline constexpr double kCellPadY = 1.0;
inline constexpr double kIndentPt = 7.5;

/// How a cell's text is placed, from its format and value.
struct CellPlacement {
    std::string h; // left, center, right, fill, justify, distributed or centerContinuous
    std::string v; // top, center or bottom
    bool wrap = false;
    int justify = 0; // 1 justified lines, 2 the last line too
    bool vertical = false;
    int rotation = 0; // 0-180 as SpreadsheetML stores it; vertical text is not turned
    double indent = 0;
    PangoAlignment align = PANGO_ALIGN_LEFT;
};

/// The placement of the text of `cell` under alignment `al`: general alignment by the value's
/// type, justified and distributed text wrapped, numbers never wrapped.
CellPlacement placementOf(const Cell& cell, const Alignment& al);

/// The width a text placed as `p` has in a box `boxWidth` points wide (at least 1).
double textRoom(const CellPlacement& p, double boxWidth);

/// The text of a cell shown as `shown`, as it is laid out when placed as `p`: valid UTF-8 (broken
/// bytes show as replacement characters), and one character a line when vertical. Line breaks
/// stay: LibreOffice shows them whether or not the text wraps.
std::string textToLay(std::string_view shown, const CellPlacement& p);

/// The rich runs of the text of `cell` when it is shown as `shown` and laid out as `laid`;
/// nullptr for plain text, and where the number format or the layout changed the text.
const std::vector<RichRun>* runsOf(const Workbook& book, const Cell& cell, std::string_view shown,
                                   std::string_view laid);

} // namespace quenly::wb::print
