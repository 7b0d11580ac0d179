// Maps the font names of spreadsheet files to the font families installed here.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace quenly::wb::pdf {

/// A family list for pango ("A, B, C") that draws text set in the spreadsheet font `name`
/// (family hint `family`: 1 roman, 2 swiss, 3 modern, 4 script, 0 not given) with an installed
/// font of the same kind: serif faces (宋体, SimSun, 仿宋, Times New Roman, ...) with Noto Serif
/// CJK, 楷体-like faces with AR PL UKai, monospaced ones with Noto Sans Mono CJK, everything else
/// (Calibri, Arial, 等线, 微软雅黑, 黑体, unknown names) with Noto Sans CJK. Every list ends in a
/// Simplified Chinese face, so Chinese text never lacks glyphs. When `installed` (family names
/// in lower case) holds `name` itself, that font comes first; else a face with its metrics
/// (Carlito for Calibri, Liberation Sans for Arial, ...) when that is installed. Never fails.
std::string fontFamilies(std::string_view name, int family = 0,
                         const std::set<std::string>& installed = {});

} // namespace quenly::wb::pdf
