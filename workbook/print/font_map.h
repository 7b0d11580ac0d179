// Maps the font names of spreadsheet files to the font families installed here.
#pragma once

#include <set>
#include <string>
#include <string_view>

namespace quenly::wb::print {

/// A family list for pango ("A, B, C") that draws text set in the spreadsheet font `name`
/// (family hint `family`: 1 roman, 2 swiss, 3 modern, 4 script, 0 not given) as LibreOffice
/// draws it on this machine, with faces of the font's kind.
///
/// Latin text: the font itself when `installed` (family names in lower case) holds it; else
/// `matched`, the family fontconfig gives for the name, which is what LibreOffice draws Latin
/// text with (Carlito for Calibri, DejaVu Sans for 宋体) -- DejaVu Sans becomes DejaVu Serif,
/// whose digits and lines have the same size, for a serif or kai font.
/// Chinese text: Noto Serif CJK for serif faces (宋体, SimSun, 仿宋, 新細明體, Songti SC, Times
/// New Roman, ...), AR PL UKai for 楷体-like faces, Noto Sans Mono CJK for monospaced ones,
/// Noto Sans CJK for everything else (Calibri, Arial, 等线, 黑体, Tahoma, unknown names); the
/// Traditional Chinese cut for Traditional Chinese fonts (新細明體, 標楷體, ...). Every list ends
/// in a Simplified Chinese face, so Chinese text never lacks glyphs. Never fails.
std::string fontFamilies(std::string_view name, int family = 0,
                         const std::set<std::string>& installed = {},
                         std::string_view matched = {});

} // namespace quenly::wb::print
