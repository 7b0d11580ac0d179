// Messages of the .xls reader: every fault names the file, where it was found and what is wrong.
#pragma once

#include "workbook.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quenly::wb::xls {

/// Throws ReadError with the text 无法读取“<file>”：<detail>.
[[noreturn]] void fail(std::string_view file, std::string_view detail);

/// A number in decimal, for messages.
std::string num(std::uint64_t v);

/// A record or sector number as 0x followed by four (or more) upper-case hex digits.
std::string hex4(std::uint32_t v);

} // namespace quenly::wb::xls
