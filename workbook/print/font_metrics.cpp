// Measures digits of installed fonts with fontconfig and FreeType.
#include "print/font_metrics.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <map>
#include <mutex>
#include <utility>

namespace quenly::wb::print {

namespace {

double measure(const std::string& family, double sizePt) {
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) {
        return 0;
    }
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (match == nullptr) {
        return 0;
    }
    FcChar8* file = nullptr;
    int index = 0;
    double width = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) {
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FT_Library library = nullptr;
        if (FT_Init_FreeType(&library) == 0) {
            FT_Face face = nullptr;
            if (FT_New_Face(library, reinterpret_cast<const char*>(file), index, &face) == 0) {
                // 26.6 fixed point; at 96 dpi one point is 4/3 pixel.
                if (FT_Set_Char_Size(face, 0, static_cast<FT_F26Dot6>(sizePt * 64), 96, 96) == 0 &&
                    FT_Load_Char(face, '0', FT_LOAD_NO_HINTING) == 0) {
                    width = static_cast<double>(face->glyph->advance.x) / 64.0;
                }
                FT_Done_Face(face);
            }
            FT_Done_FreeType(library);
        }
    }
    FcPatternDestroy(match);
    return width;
}

} // namespace

double installedDigitWidthPixels(const std::string& family, double sizePt) {
    static std::mutex mutex;
    static std::map<std::pair<std::string, double>, double> known;
    const std::lock_guard<std::mutex> lock(mutex);
    const auto key = std::make_pair(family, sizePt);
    if (const auto it = known.find(key); it != known.end()) {
        return it->second;
    }
    const double width = measure(family, sizePt);
    known.emplace(key, width);
    return width;
}

} // namespace quenly::wb::print
