// Not a test: prints how fast cell values are turned into their shown texts, for the codes a
// wage table uses.
#include <chrono>
#include <cstdio>
#include <string_view>

#include "print/number_format.h"

int main() {
    using quenly::wb::print::formatNumber;
    using quenly::wb::print::formatText;
    constexpr std::string_view kCodes[] = {
        "General",
        "0.00_ ",
        "#,##0.00;[Red]-#,##0.00",
        "_ \"\xEF\xBF\xA5\"* #,##0.00_ ;_ \"\xEF\xBF\xA5\"* \\-#,##0.00_ ;_ \"\xEF\xBF\xA5\"* "
        "\"-\"??_ ;_ @_ ",
        "0.00%",
        "yyyy\"年\"m\"月\"d\"日\"",
        "[DBNum2][$-804]General\"元\"",
    };
    constexpr int kRows = 100000;
    constexpr int kCols = 25;
    std::size_t bytes = 0;
    const auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kCols; ++c) {
            const std::string_view code = kCodes[static_cast<std::size_t>(c) % std::size(kCodes)];
            const double value = c % 7 == 5 ? 40000 + r % 9000 : (r * 37.0 + c) * 1.013 - 5000;
            if (c == 24) {
                bytes += formatText("110101199003071234", "@").text.size();
            } else {
                bytes += formatNumber(value, code).text.size();
            }
        }
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cells = static_cast<double>(kRows) * kCols;
    std::printf("%.0f cells in %.3f s: %.0f ns a cell, %.1f bytes shown on average\n", cells,
                seconds, seconds * 1e9 / cells, static_cast<double>(bytes) / cells);
    return 0;
}
