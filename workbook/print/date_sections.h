// Dates and times shown through the date sections of format codes. Internal to the
// number-format engine.
#pragma once

#include <string>

#include "print/format_code.h"

namespace quenly::wb::print::detail {

/// Appends the serial date `value` (days from 1900, or from 1904 when `date1904`) as the date
/// section `sec` shows it; false, with nothing appended, for a value no date can show (below
/// zero or past 9999-12-31).
bool appendDateSection(std::string& out, const Section& sec, double value, bool date1904);

} // namespace quenly::wb::print::detail
