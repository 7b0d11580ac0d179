// How a spreadsheet shows a value through its number format: the text of a cell as it is printed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "workbook.h"

namespace quenly::wb::print {

/// Room in a shown text as wide as a character ("_x" in a format code): a blank at byte `at` of
/// the text stands for it.
struct TextSpace {
    std::size_t at = 0;
    std::string width; // the character whose width it takes
    bool operator==(const TextSpace&) const = default;
};

/// A value as shown: its text, and the colour a section of the format gives it ("[Red]",
/// "[Color10]"), which overrides the font's colour when `hasColor` is set.
struct DisplayText {
    std::string text;
    bool hasColor = false;
    std::uint32_t argb = 0; // 0xAARRGGBB
    /// Where the format repeats a character to fill the cell's width ("*x"): a blank at byte
    /// `fillAt` of the text stands for it (npos for none); the text before it sits at the
    /// cell's left edge, the text after it at the right.
    std::size_t fillAt = std::string::npos;
    std::string fill{}; // the character repeated
    /// Blanks that take the width of a character.
    std::vector<TextSpace> spaces{};
    bool operator==(const DisplayText&) const = default;
};

/// The text a spreadsheet shows for the number `value` under the format code `code`
/// ("General", "0.00", "#,##0", "0%", "[$¥-804]#,##0.00", "yyyy-mm-dd", "[h]:mm", ...), with
/// dates counted from 1900 or, when `date1904`, from 1904. Never throws: a code it cannot read
/// shows the value as General does. Fill characters ("*x") and spacing ("_x") give one blank
/// each in the text, noted in `fillAt` and `spaces`.
DisplayText formatNumber(double value, std::string_view code, bool date1904 = false);

/// The text shown for the text `text` under `code`: its text section ("@" stands for the text),
/// or the text itself when the code has none.
DisplayText formatText(std::string_view text, std::string_view code);

/// The text shown for `cell` of `book` under its own number format: numbers and texts as above,
/// "TRUE"/"FALSE" for logical values, "#N/A" and the like for error values, empty for empty
/// cells.
DisplayText displayText(const Workbook& book, const Cell& cell);

/// `value` as General shows it with at most `decimals` decimals, trailing zeros dropped: what a
/// spreadsheet shows for a General number in a column too narrow for all its decimals.
std::string generalWithDecimals(double value, int decimals);

/// How many decimals the number shown as `text` has; -1 when it has no point or is written in
/// scientific notation.
int decimalsShown(std::string_view text);

} // namespace quenly::wb::print
