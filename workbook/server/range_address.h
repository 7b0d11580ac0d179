// Cell and range addresses as the automation objects take them ("B3", "$A$1:Z1").
#pragma once

#include "workbook.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quenly::wb {

/// Parses "A1" or "A1:Z1" into a 0-based range with its corners ordered ("B2:A1" is A1:B2).
/// Letters of either case and "$" markers are accepted. Throws AutomationError quoting the
/// address for an empty address, a missing column part, a row below 1 or above 1,048,576, a
/// column beyond XFD and any other malformed text.
CellRange parseRangeAddress(std::string_view address);

/// The letters of a 0-based column ("A" for 0, "XFD" for 16383).
std::string columnName(std::uint32_t col);

/// "B3" for the 0-based cell (2, 1).
std::string cellAddress(std::uint32_t row, std::uint32_t col);

/// "A1:Z1", or "B3" when the range is one cell.
std::string rangeAddress(const CellRange& range);

} // namespace quenly::wb
