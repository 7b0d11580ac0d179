// Chinese numerals for [DBNum1] (lower case), [DBNum2] (upper case, the capitals of amounts) and
// [DBNum3] (wide digits). Internal to the number-format engine.
#pragma once

#include <string>
#include <string_view>

namespace quenly::wb::print::detail {

/// The numeral for `digit` (0-9) in the style of [DBNum`dbnum`].
std::string_view chineseDigit(int dbnum, int digit);

/// Appends the digits one by one as numerals (years, decimals); other characters as they are.
void appendChineseDigits(std::string& out, int dbnum, std::string_view digits);

/// Appends the integer written with `digits` (no leading zeros; empty for zero) in counting form:
/// 1001 -> 一千〇一, 120000 -> 一十二万; with `dropLeadingOne`, 10-19 read 十, 十一, ... as in
/// dates. [DBNum3] writes wide digits with the units.
void appendChineseInteger(std::string& out, int dbnum, std::string_view digits,
                          bool dropLeadingOne = false);

} // namespace quenly::wb::print::detail
