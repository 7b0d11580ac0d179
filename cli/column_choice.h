// The columns a delivery option names (--name-col, --to-col, --password-col), and lists of names
// as the batch command shows them.
#pragma once

#include "slip_run.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quenly::batch {

/// `items` joined with "、", the first 20 only and the rest counted.
std::string listOf(const std::vector<std::string>& items);

/// The column `text` names in `run` (a title of the header's last row or column letters); when
/// it names none, says so on standard error with the titles there are, and gives nothing.
std::optional<std::uint32_t> columnOrSay(const delivery::SlipRun& run, const std::string& option,
                                         const std::string& text);

} // namespace quenly::batch
