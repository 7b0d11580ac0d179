// What fontconfig puts in place of a font on this machine, as an application here lays text out
// with it, and how wide its digits are.
#pragma once

#include <string>

namespace quenly::wb::print {

/// The family of the font that fontconfig picks for the family `family` ("DejaVu Sans" for 宋体
/// where SimSun is missing); empty when none can be found. Results are kept per family. Safe to
/// call from several threads.
std::string matchedFamily(const std::string& family);

/// The advance of the digit "0" in pixels at 96 dpi of the font that fontconfig picks for the
/// family `family` at `sizePt` points, unrounded; 0 when no font can be found or read. Results
/// are kept per family and size. Safe to call from several threads.
double installedDigitWidthPixels(const std::string& family, double sizePt);

} // namespace quenly::wb::print
