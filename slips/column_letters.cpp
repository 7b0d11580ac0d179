// Column letters: column numbers to the spreadsheet's letters and back.
#include "column_letters.h"

#include "cell_names.h"

#include <algorithm>
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
    // Beyond two letters: the spreadsheet's own name.
    return cells::columnName(static_cast<std::uint32_t>(number - 1));
}

std::int32_t getNumFromCol(std::string_view letters) {
    if (letters.empty()) {
        throw std::invalid_argument("列字母为空");
    }
    if (const auto col = cells::columnFromName(letters)) {
        return static_cast<std::int32_t>(*col + 1);
    }
    const bool onlyLetters = std::all_of(letters.begin(), letters.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
    if (!onlyLetters) {
        throw std::invalid_argument("“" + std::string(letters) + "”不是列字母");
    }
    throw std::invalid_argument("列“" + std::string(letters) + "”超出最大列 XFD");
}

} // namespace quenly
