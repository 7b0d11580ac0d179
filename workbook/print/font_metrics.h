// How wide the digits of a font are on this machine, as an application here lays columns out.
#pragma once

#include <string>

namespace quenly::wb::print {

/// The advance of the digit "0" in pixels at 96 dpi of the font that fontconfig picks for the
/// family `family` at `sizePt` points, unrounded; 0 when no font can be found or read. Results
/// are kept per family and size. Safe to call from several threads.
double installedDigitWidthPixels(const std::string& family, double sizePt);

} // namespace quenly::wb::print
