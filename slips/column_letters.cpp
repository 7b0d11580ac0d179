// Column letters: column numbers to the spreadsheet's letters and back.
#include "column_letters.h"

#include <stdexcept>

namespace quenly {

std::string getColFromNum(std::int32_t number) {
    // Up to 26 (and below 1) the result is one character of code n + 64, low byte only.
    if (number <= 26) {
        return std::string(1, static_cast<char>(static_cast<unsigned char>((number + 64) & 0xFF)));
    }
    if (number <= 702) {
        const std::int32_t q = number / 26;
        const std::int32_t r = number % 26;
        if (r != 0) {
            return {static_cast<char>(q + 64), static_cast<char>(r + 64)};
        }
        return {static_cast<char>(q + 63), 'Z'};
    }
    // Beyond two letters: the spreadsheet's own name, base 26 without a zero digit.
    std::string out;
    for (std::int64_t n = number; n > 0; n = (n - 1) / 26) {
        out.insert(out.begin(), static_cast<char>('A' + (n - 1) % 26));
    }
    return out;
}

std::int32_t getNumFromCol(std::string_view letters) {
    if (letters.empty()) {
        throw std::invalid_argument("列字母为空");
    }
    std::int32_t n = 0;
    for (char c : letters) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c < 'A' || c > 'Z') {
            throw std::invalid_argument("“" + std::string(letters) + "”不是列字母");
        }
        // Past the last column the exact number no longer matters; stop growing.
        if (n <= 16384) {
            n = n * 26 + (c - 'A' + 1);
        }
    }
    if (n > 16384) {
        throw std::invalid_argument("列“" + std::string(letters) + "”超出最大列 XFD");
    }
    return n;
}

} // namespace quenly
