// Maps the font names of spreadsheet files to the font families installed here.
#include "print/font_map.h"

#include "text_util.h"

#include <array>
#include <cstdint>

namespace quenly::wb::print {

namespace {

enum class Kind : std::uint8_t { Sans, Serif, Kai, Mono };

// The face for Chinese text of a kind, in its Simplified or Traditional Chinese cut.
std::string_view cjkFace(Kind kind, bool traditional) {
    switch (kind) {
    case Kind::Serif:
        return traditional ? "Noto Serif CJK TC" : "Noto Serif CJK SC";
    case Kind::Kai:
        return traditional ? "AR PL UKai TW" : "AR PL UKai CN";
    case Kind::Mono:
        return traditional ? "Noto Sans Mono CJK TC" : "Noto Sans Mono CJK SC";
    case Kind::Sans:
        break;
    }
    return traditional ? "Noto Sans CJK TC" : "Noto Sans CJK SC";
}

// Names compared in lower case; a name matches when it starts with the entry, so "仿宋_GB2312"
// and "SimSun-ExtB" match "仿宋" and "simsun".
constexpr std::array kSerifNames{
    "宋体",
    "新宋体",
    "仿宋",
    "simsun",
    "nsimsun",
    "fangsong",
    "华文宋体",
    "华文中宋",
    "华文仿宋",
    "stsong",
    "stzhongsong",
    "stfangsong",
    "方正书宋",
    "方正小标宋",
    "方正仿宋",
    "fzshusong",
    "times",
    "cambria",
    "georgia",
    "garamond",
    "book antiqua",
    "palatino",
    "宋体-方正超大字符集",
    "明朝",
    "ms mincho",
    "mingliu",
    "pmingliu",
    "新細明體",
    "細明體",
    "songti",
    "宋體",
    "noto serif",
};
constexpr std::array kKaiNames{
    "楷体",    "楷體",      "华文楷体", "华文行楷", "华文新魏", "方正楷体", "kaiti",
    "stkaiti", "stxingkai", "标楷体",   "標楷體",   "dfkai",    "biaukai",  "ar pl ukai",
};
// Fonts made for Traditional Chinese.
constexpr std::array kTraditionalNames{
    "新細明體", "細明體",  "mingliu",    "pmingliu",           "標楷體",
    "dfkai",    "biaukai", "微軟正黑體", "microsoft jhenghei", "宋體",
    "楷體",
};
constexpr std::array kMonoNames{
    "courier", "consolas", "lucida console", "noto sans mono", "dejavu sans mono",
};

template <std::size_t N>
bool startsWithAny(const std::string& lower, const std::array<const char*, N>& names) {
    for (const char* n : names) {
        if (std::string_view(lower).starts_with(n)) {
            return true;
        }
    }
    return false;
}

// The kind of the font `lower` (its name in lower case).
Kind kindOf(const std::string& lower, int family) {
    if (startsWithAny(lower, kKaiNames)) {
        return Kind::Kai;
    }
    if (startsWithAny(lower, kSerifNames)) {
        return Kind::Serif;
    }
    if (startsWithAny(lower, kMonoNames)) {
        return Kind::Mono;
    }
    const bool blank = lower.find_first_not_of(' ') == std::string::npos;
    if (blank ||
        !startsWithAny(lower, std::array{"calibri", "arial", "等线", "dengxian", "微软雅黑",
                                         "microsoft yahei", "黑体", "simhei", "tahoma", "verdana",
                                         "segoe", "helvetica", "noto sans"})) {
        // No name, or an unknown one: the family hint says roman, swiss or modern.
        return family == 1 ? Kind::Serif : family == 3 ? Kind::Mono : Kind::Sans;
    }
    return Kind::Sans;
}

} // namespace

std::string fontFamilies(std::string_view name, int family, const std::set<std::string>& installed,
                         std::string_view matched) {
    const std::string lower = lowerAscii(name);
    const Kind kind = kindOf(lower, family);
    const bool traditional = startsWithAny(lower, kTraditionalNames);
    std::string out;
    // A comma would split pango's family list, so such a name is never taken as it stands.
    if (installed.contains(lower) && name.find(',') == std::string_view::npos) {
        out.append(name);
        out += ", ";
    } else if (!matched.empty() && matched.find(',') == std::string_view::npos) {
        const bool serif = kind == Kind::Serif || kind == Kind::Kai;
        out += serif && matched == "DejaVu Sans" ? std::string_view("DejaVu Serif") : matched;
        out += ", ";
    }
    out += cjkFace(kind, traditional);
    if (traditional || kind != Kind::Sans) {
        out += ", ";
        out += cjkFace(Kind::Sans, false);
    }
    return out;
}

} // namespace quenly::wb::print
