// The number formats that spreadsheet files refer to by a built-in id instead of a format code.
#pragma once

#include <string_view>

namespace quenly::wb {

/// The format code of built-in number format `id`. The ids the file formats fix (0-4, 9-22,
/// 37-40, 45-49) give their fixed codes; the locale-dependent ones (currency 5-8, accounting
/// 41-44, East Asian dates 27-36 and 50-58) give the codes that Excel writes for zh-CN. Any
/// other id gives the empty text.
std::string_view builtinNumberFormat(int id);

/// Whether built-in `id` is one whose code the file formats fix (0-4, 9-22, 37-40, 45-49), so
/// that it means the same in every locale.
bool isPortableBuiltinFormat(int id);

/// The built-in id whose code is exactly `code`, or -1. The lowest id wins where two ids share
/// a code (e.g. 28 and 29).
int builtinNumberFormatId(std::string_view code);

} // namespace quenly::wb
