// Parsing and formatting of cell and range addresses.
#include "range_address.h"

#include "spreadsheet_automation.h"

#include <algorithm>
#include <charconv>

namespace quenly::wb {

namespace {

struct CellRef {
    std::uint32_t row = 0;
    std::uint32_t col = 0;
};

[[noreturn]] void refuse(std::string_view address, std::string_view why) {
    std::string message = "单元格地址“" + std::string(address) + "”无效";
    if (!why.empty()) {
        message += "：";
        message += why;
    }
    throw AutomationError(message);
}

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// One corner: optional "$", letters, optional "$", an optional sign and digits.
CellRef parseCell(std::string_view cell, std::string_view address) {
    std::size_t i = 0;
    if (i < cell.size() && cell[i] == '$') {
        ++i;
    }
    std::uint64_t col = 0;
    std::size_t letters = 0;
    while (i < cell.size() && isLetter(cell[i])) {
        const char up = static_cast<char>(cell[i] & ~0x20);
        if (col <= kMaxCols) {
            col = col * 26 + static_cast<std::uint64_t>(up - 'A' + 1);
        }
        ++letters;
        ++i;
    }
    if (i < cell.size() && cell[i] == '$') {
        ++i;
    }
    bool negative = false;
    if (i < cell.size() && (cell[i] == '-' || cell[i] == '+')) {
        negative = cell[i] == '-';
        ++i;
    }
    const std::size_t digitsFrom = i;
    while (i < cell.size() && isDigit(cell[i])) {
        ++i;
    }
    if (i != cell.size() || i == digitsFrom) {
        refuse(address, {});
    }
    if (letters == 0) {
        refuse(address, "缺少列字母");
    }
    std::uint64_t row = 0;
    const std::string_view digits = cell.substr(digitsFrom);
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), row);
    if (ec == std::errc::result_out_of_range) {
        row = static_cast<std::uint64_t>(kMaxRows) + 1;
    } else if (ec != std::errc() || end != digits.data() + digits.size()) {
        refuse(address, {});
    }
    if (negative || row < 1) {
        refuse(address, "行号必须在 1 到 1048576 之间");
    }
    if (row > kMaxRows) {
        throw AutomationError("单元格地址“" + std::string(address) +
                              "”超出了工作表的最后一行（工作表最多有 1048576 行）");
    }
    if (col > kMaxCols) {
        refuse(address, "列超出了最后一列 XFD");
    }
    return {static_cast<std::uint32_t>(row - 1), static_cast<std::uint32_t>(col - 1)};
}

} // namespace

CellRange parseRangeAddress(std::string_view address) {
    if (address.empty()) {
        throw AutomationError("单元格地址为空");
    }
    const std::size_t colon = address.find(':');
    if (colon == std::string_view::npos) {
        const CellRef c = parseCell(address, address);
        return {c.row, c.col, c.row, c.col};
    }
    if (address.find(':', colon + 1) != std::string_view::npos) {
        refuse(address, {});
    }
    const CellRef a = parseCell(address.substr(0, colon), address);
    const CellRef b = parseCell(address.substr(colon + 1), address);
    return {std::min(a.row, b.row), std::min(a.col, b.col), std::max(a.row, b.row),
            std::max(a.col, b.col)};
}

std::string columnName(std::uint32_t col) {
    std::string out;
    std::uint64_t n = static_cast<std::uint64_t>(col) + 1;
    while (n > 0) {
        const auto rem = (n - 1) % 26;
        out.insert(out.begin(), static_cast<char>('A' + rem));
        n = (n - 1) / 26;
    }
    return out;
}

std::string cellAddress(std::uint32_t row, std::uint32_t col) {
    char digits[16];
    auto res = std::to_chars(digits, digits + sizeof digits, static_cast<std::uint64_t>(row) + 1);
    return columnName(col) + std::string(digits, res.ptr);
}

std::string rangeAddress(const CellRange& range) {
    std::string out = cellAddress(range.firstRow, range.firstCol);
    if (range.lastRow != range.firstRow || range.lastCol != range.firstCol) {
        out += ':';
        out += cellAddress(range.lastRow, range.lastCol);
    }
    return out;
}

} // namespace quenly::wb
