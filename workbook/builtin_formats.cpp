// The table of built-in number format codes.
#include "builtin_formats.h"

#include <array>

namespace quenly::wb {

namespace {

constexpr std::array<std::string_view, 59> kBuiltin = {
    "General",                                           // 0
    "0",                                                 // 1
    "0.00",                                              // 2
    "#,##0",                                             // 3
    "#,##0.00",                                          // 4
    "\"\xC2\xA5\"#,##0;\"\xC2\xA5\"\\-#,##0",            // 5
    "\"\xC2\xA5\"#,##0;[Red]\"\xC2\xA5\"\\-#,##0",       // 6
    "\"\xC2\xA5\"#,##0.00;\"\xC2\xA5\"\\-#,##0.00",      // 7
    "\"\xC2\xA5\"#,##0.00;[Red]\"\xC2\xA5\"\\-#,##0.00", // 8
    "0%",                                                // 9
    "0.00%",                                             // 10
    "0.00E+00",                                          // 11
    "# ?/?",                                             // 12
    "# ?"
    "?/?"
    "?",                                                                                // 13
    "mm-dd-yy",                                                                         // 14
    "d-mmm-yy",                                                                         // 15
    "d-mmm",                                                                            // 16
    "mmm-yy",                                                                           // 17
    "h:mm AM/PM",                                                                       // 18
    "h:mm:ss AM/PM",                                                                    // 19
    "h:mm",                                                                             // 20
    "h:mm:ss",                                                                          // 21
    "m/d/yy h:mm",                                                                      // 22
    "",                                                                                 // 23
    "",                                                                                 // 24
    "",                                                                                 // 25
    "",                                                                                 // 26
    "yyyy\"年\"m\"月\"",                                                                // 27
    "m\"月\"d\"日\"",                                                                   // 28
    "m\"月\"d\"日\"",                                                                   // 29
    "m-d-yy",                                                                           // 30
    "yyyy\"年\"m\"月\"d\"日\"",                                                         // 31
    "h\"时\"mm\"分\"",                                                                  // 32
    "h\"时\"mm\"分\"ss\"秒\"",                                                          // 33
    "上午/下午h\"时\"mm\"分\"",                                                         // 34
    "上午/下午h\"时\"mm\"分\"ss\"秒\"",                                                 // 35
    "yyyy\"年\"m\"月\"",                                                                // 36
    "#,##0 ;(#,##0)",                                                                   // 37
    "#,##0 ;[Red](#,##0)",                                                              // 38
    "#,##0.00;(#,##0.00)",                                                              // 39
    "#,##0.00;[Red](#,##0.00)",                                                         // 40
    "_ * #,##0_ ;_ * \\-#,##0_ ;_ * \"-\"_ ;_ @_ ",                                     // 41
    "_ \"\xC2\xA5\"* #,##0_ ;_ \"\xC2\xA5\"* \\-#,##0_ ;_ \"\xC2\xA5\"* \"-\"_ ;_ @_ ", // 42
    "_ * #,##0.00_ ;_ * \\-#,##0.00_ ;_ * \"-\"??_ ;_ @_ ",                             // 43
    "_ \"\xC2\xA5\"* #,##0.00_ ;_ \"\xC2\xA5\"* \\-#,##0.00_ ;_ \"\xC2\xA5\"* \"-\"??_ ;_ @_ ", // 44
    "mm:ss",                            // 45
    "[h]:mm:ss",                        // 46
    "mmss.0",                           // 47
    "##0.0E+0",                         // 48
    "@",                                // 49
    "yyyy\"年\"m\"月\"",                // 50
    "m\"月\"d\"日\"",                   // 51
    "yyyy\"年\"m\"月\"",                // 52
    "m\"月\"d\"日\"",                   // 53
    "m\"月\"d\"日\"",                   // 54
    "上午/下午h\"时\"mm\"分\"",         // 55
    "上午/下午h\"时\"mm\"分\"ss\"秒\"", // 56
    "yyyy\"年\"m\"月\"",                // 57
    "m\"月\"d\"日\"",                   // 58
};

} // namespace

std::string_view builtinNumberFormat(int id) {
    if (id < 0 || id >= static_cast<int>(kBuiltin.size())) {
        return {};
    }
    return kBuiltin[static_cast<std::size_t>(id)];
}

bool isPortableBuiltinFormat(int id) {
    return (id >= 0 && id <= 4) || (id >= 9 && id <= 22) || (id >= 37 && id <= 40) ||
           (id >= 45 && id <= 49);
}

int builtinNumberFormatId(std::string_view code) {
    if (code.empty()) {
        return -1;
    }
    for (std::size_t i = 0; i < kBuiltin.size(); ++i) {
        if (kBuiltin[i] == code) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

} // namespace quenly::wb
