// Chinese numerals: digits and the counting form with 十, 百, 千, 万 and 亿.
#include "print/chinese_numerals.h"

#include <algorithm>

namespace quenly::wb::print::detail {

namespace {

constexpr std::string_view kDigitsLower[10] = {"〇", "一", "二", "三", "四",
                                               "五", "六", "七", "八", "九"};
constexpr std::string_view kDigitsUpper[10] = {"零", "壹", "贰", "叁", "肆",
                                               "伍", "陆", "柒", "捌", "玖"};
constexpr std::string_view kDigitsWide[10] = {"０", "１", "２", "３", "４",
                                              "５", "６", "７", "８", "９"};
constexpr std::string_view kUnitsLower[4] = {"", "十", "百", "千"};
constexpr std::string_view kUnitsUpper[4] = {"", "拾", "佰", "仟"};

} // namespace

std::string_view chineseDigit(int dbnum, int digit) {
    if (dbnum == 2) {
        return kDigitsUpper[digit];
    }
    if (dbnum == 3) {
        return kDigitsWide[digit];
    }
    return kDigitsLower[digit];
}

void appendChineseDigits(std::string& out, int dbnum, std::string_view digits) {
    for (char c : digits) {
        if (c >= '0' && c <= '9') {
            out += chineseDigit(dbnum, c - '0');
        } else {
            out += c;
        }
    }
}

void appendChineseInteger(std::string& out, int dbnum, std::string_view digits,
                          bool dropLeadingOne) {
    const auto n = static_cast<int>(digits.size());
    if (n == 0) {
        out += chineseDigit(dbnum, 0);
        return;
    }
    if (n > 16) {
        // Beyond 万亿 the counting form has no settled reading; digits stay exact.
        appendChineseDigits(out, dbnum, digits);
        return;
    }
    const auto& units = dbnum == 2 ? kUnitsUpper : kUnitsLower;
    const std::size_t start = out.size();
    bool pendingZero = false;
    bool groupNonZero = false;
    for (int i = 0; i < n; ++i) {
        const int pos = n - 1 - i; // power of ten of this digit
        const int digit = digits[static_cast<std::size_t>(i)] - '0';
        if (digit == 0) {
            pendingZero = out.size() > start;
        } else {
            if (pendingZero) {
                out += chineseDigit(dbnum, 0);
                pendingZero = false;
            }
            if (!(dropLeadingOne && digit == 1 && pos % 4 == 1 && out.size() == start)) {
                out += chineseDigit(dbnum, digit);
            }
            out += units[pos % 4];
            groupNonZero = true;
        }
        if (pos % 4 == 0 && pos > 0) {
            if (pos % 8 == 4 && groupNonZero) {
                out += "万";
            } else if (pos % 8 == 0) {
                // 亿 closes the two groups above it when either had a digit.
                bool any = groupNonZero;
                for (int j = std::max(0, i - 7); j < i && !any; ++j) {
                    any = digits[static_cast<std::size_t>(j)] != '0';
                }
                if (any) {
                    out += "亿";
                }
            }
            groupNonZero = false;
        }
    }
}

} // namespace quenly::wb::print::detail
