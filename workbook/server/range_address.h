// Cell and range addresses as the automation objects take them ("B3", "$A$1:Z1").
#pragma once

#include "workbook.h"

#include <string>
#include <string_view>

namespace quenly::wb {

/// Parses "A1" or "A1:Z1" into a 0-based range with its corners ordered ("B2:A1" is A1:B2).
/// Letters of either case and "$" markers are accepted. Throws AutomationError quoting the
/// address for an empty address, a missing column part, a row below 1 or above 1,048,576, a
/// column beyond XFD and any other malformed text.
CellRange parseRangeAddress(std::string_view address);

/// "A1:Z1", or "B3" when the range is one cell.
std::string rangeAddress(const CellRange& range);

} // namespace quenly::wb
