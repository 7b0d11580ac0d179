// Small text helpers shared by the readers, the writer and the spreadsheet instances.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quenly::wb {

/// Appends the UTF-8 form of the code point `cp` to `out`.
void appendUtf8(std::string& out, std::uint32_t cp);

/// A name as messages quote it: “name”.
std::string inQuotes(std::string_view name);

/// `s` with ASCII letters A-Z turned to lower case; other bytes unchanged.
std::string lowerAscii(std::string_view s);

/// Whether `a` and `b` are equal when ASCII letters are compared without regard to case.
bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b);

/// What a failed system call (its errno `err`) means for a file being saved, in words a user
/// can act on: no space, no permission, the folder gone, ...; the system's text for others.
std::string saveFault(int err);

} // namespace quenly::wb
