// Finds installed fonts with fontconfig and measures their digits with FreeType.
#include "print/font_metrics.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <map>
#include <mutex>
#include <utility>

namespace quenly::wb::print {

namespace {

// The font fontconfig picks for a family: its file, the face in it, and its own family name.
struct Match {
    std::string file;
    int index = 0;
    std::string family;
};

Match match(const std::string& family) {
    Match m;
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) {
        return m;
    }
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* found = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (found == nullptr) {
        return m;
    }
    FcChar8* text = nullptr;
    if (FcPatternGetString(found, FC_FILE, 0, &text) == FcResultMatch) {
        m.file = reinterpret_cast<const char*>(text);
        FcPatternGetInteger(found, FC_INDEX, 0, &m.index);
    }
    if (FcPatternGetString(found, FC_FAMILY, 0, &text) == FcResultMatch) {
        m.family = reinterpret_cast<const char*>(text);
    }
    FcPatternDestroy(found);
    return m;
}

double digitWidth(const Match& m, double sizePt) {
    if (m.file.empty()) {
        return 0;
    }
    double width = 0;
    FT_Library library = nullptr;
    if (FT_Init_FreeType(&library) == 0) {
        FT_Face face = nullptr;
        if (FT_New_Face(library, m.file.c_str(), m.index, &face) == 0) {
            // 26.6 fixed point; at 96 dpi one point is 4/3 pixel.
            if (FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(sizePt * 64), 96, 96) == 0 &&
                FT_Load_Char(face, '0', FT_LOAD_NO_HINTING) == 0) {
                width = static_cast<double>(face->glyph->advance.x) / 64.0;
            }
            FT_Done_Face(face);
        }
        FT_Done_FreeType(library);
    }
    return width;
}

std::mutex g_mutex;

const Match& cachedMatch(const std::string& family) {
    static std::map<std::string, Match> known;
    if (const auto it = known.find(family); it != known.end()) {
        return it->second;
    }
    return known.emplace(family, match(family)).first->second;
}

} // namespace

std::string matchedFamily(const std::string& family) {
    const std::lock_guard<std::mutex> lock(g_mutex);
    return cachedMatch(family).family;
}

double installedDigitWidthPixels(const std::string& family, double sizePt) {
    const std::lock_guard<std::mutex> lock(g_mutex);
    static std::map<std::pair<std::string, double>, double> known;
    const auto key = std::make_pair(family, sizePt);
    if (const auto it = known.find(key); it != known.end()) {
        return it->second;
    }
    const double width = digitWidth(cachedMatch(family), sizePt);
    known.emplace(key, width);
    return width;
}

} // namespace quenly::wb::print
