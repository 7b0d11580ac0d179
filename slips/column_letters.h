// Column letters: column numbers to the spreadsheet's letters and back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quenly {

/// Column number (1 is "A") to letters. 1 to 702 give "A" to "ZZ"; numbers up to 26 (including
/// those below 1) give the single character of code n + 64, low byte only; numbers above 702
/// give the spreadsheet's own name ("AAA" for 703, "XFD" for 16384).
std::string getColFromNum(std::int32_t number);

/// Column letters (ASCII letters of either case) to the column number, 1 to 16384.
/// Throws std::invalid_argument for anything else (empty text, other characters, beyond XFD).
std::int32_t getNumFromCol(std::string_view letters);

} // namespace quenly
