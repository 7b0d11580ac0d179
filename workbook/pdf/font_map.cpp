// Maps the font names of spreadsheet files to the font families installed here.
#include "pdf/font_map.h"

#include "text_util.h"

#include <array>

namespace quenly::wb::pdf {

namespace {

constexpr const char* kSans = "Noto Sans CJK SC";
constexpr const char* kSerif = "Noto Serif CJK SC";
constexpr const char* kKai = "AR PL UKai CN";
constexpr const char* kMono = "Noto Sans Mono CJK SC";

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
    "noto serif",
};
constexpr std::array kKaiNames{
    "楷体",    "华文楷体",  "华文行楷", "华文新魏", "方正楷体",   "kaiti",
    "stkaiti", "stxingkai", "标楷体",   "dfkai",    "ar pl ukai",
};
constexpr std::array kMonoNames{
    "courier", "consolas", "lucida console", "noto sans mono", "dejavu sans mono",
};

// Faces with the metrics of common Latin fonts, used when installed so text takes the room the
// file's font would.
struct Substitute {
    const char* name;
    const char* face;
};
constexpr std::array kSubstitutes{
    Substitute{"calibri", "Carlito"},
    Substitute{"cambria", "Caladea"},
    Substitute{"arial", "Liberation Sans"},
    Substitute{"helvetica", "Liberation Sans"},
    Substitute{"times new roman", "Liberation Serif"},
    Substitute{"courier new", "Liberation Mono"},
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

} // namespace

std::string fontFamilies(std::string_view name, int family,
                         const std::set<std::string>& installed) {
    const std::string lower = lowerAscii(name);
    const char* face = kSans;
    if (startsWithAny(lower, kKaiNames)) {
        face = kKai;
    } else if (startsWithAny(lower, kSerifNames)) {
        face = kSerif;
    } else if (startsWithAny(lower, kMonoNames)) {
        face = kMono;
    } else if (lower.empty() || lower.find_first_not_of(' ') == std::string::npos) {
        face = family == 1 ? kSerif : family == 3 ? kMono : kSans;
    } else if (!startsWithAny(lower, std::array{"calibri", "arial", "等线", "dengxian", "微软雅黑",
                                                "microsoft yahei", "黑体", "simhei", "tahoma",
                                                "verdana", "segoe", "helvetica", "noto sans"})) {
        // An unknown name: the family hint says roman, swiss or modern.
        face = family == 1 ? kSerif : family == 3 ? kMono : kSans;
    }
    std::string out;
    // A comma would split pango's family list, so such a name is never taken as it stands.
    if (installed.contains(lower) && name.find(',') == std::string_view::npos) {
        out.append(name);
        out += ", ";
    } else {
        for (const Substitute& s : kSubstitutes) {
            if (lower == s.name && installed.contains(lowerAscii(s.face))) {
                out += s.face;
                out += ", ";
            }
        }
    }
    out += face;
    if (face != kSans) {
        out += ", ";
        out += kSans;
    }
    return out;
}

} // namespace quenly::wb::pdf
