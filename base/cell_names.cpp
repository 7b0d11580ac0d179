// Column letters, A1 addresses and error value texts.
#include "cell_names.h"

#include <algorithm>
#include <charconv>

namespace quenly {

namespace {

struct ErrorName {
    CellErrorCode code;
    std::string_view text;
};

constexpr ErrorName kErrorNames[] = {
    {CellErrorCode::Null, "#NULL!"},   {CellErrorCode::Div0, "#DIV/0!"},
    {CellErrorCode::Value, "#VALUE!"}, {CellErrorCode::Ref, "#REF!"},
    {CellErrorCode::Name, "#NAME?"},   {CellErrorCode::Num, "#NUM!"},
    {CellErrorCode::NA, "#N/A"},       {CellErrorCode::GettingData, "#GETTING_DATA"},
};

} // namespace

std::string_view cellErrorText(CellErrorCode code) {
    for (const ErrorName& e : kErrorNames) {
        if (e.code == code) {
            return e.text;
        }
    }
    return "#N/A";
}

std::optional<CellErrorCode> cellErrorFromText(std::string_view text) {
    for (const ErrorName& e : kErrorNames) {
        if (e.text == text) {
            return e.code;
        }
    }
    return std::nullopt;
}

namespace cells {

namespace {

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the letters from text[i] on, moving `i` past them; returns the column number they
// name counting from 1 (0 for no letters), or a number past kMaxCols for any column past XFD.
std::uint64_t readLetters(std::string_view text, std::size_t& i) {
    std::uint64_t col = 0;
    for (; i < text.size() && isLetter(text[i]); ++i) {
        // Past the last column the exact number no longer matters; stop growing.
        if (col <= kMaxCols) {
            col = col * 26 + static_cast<std::uint64_t>((text[i] & ~0x20) - 'A' + 1);
        }
    }
    return col;
}

// One corner: ["$"] letters ["$"] [sign] digits, as `forms` allows.
ParsedRange parseCorner(std::string_view cell, AddressForms forms) {
    ParsedRange out;
    std::size_t i = 0;
    if (forms.dollars && i < cell.size() && cell[i] == '$') {
        ++i;
    }
    const std::size_t lettersFrom = i;
    const std::uint64_t col = readLetters(cell, i);
    const bool letters = i > lettersFrom;
    if (forms.dollars && i < cell.size() && cell[i] == '$') {
        ++i;
    }
    bool negative = false;
    if (forms.signedRows && i < cell.size() && (cell[i] == '-' || cell[i] == '+')) {
        negative = cell[i] == '-';
        ++i;
    }
    const std::size_t digitsFrom = i;
    while (i < cell.size() && isDigit(cell[i])) {
        ++i;
    }
    if (i != cell.size() || i == digitsFrom) {
        out.fault = AddressFault::Malformed;
        return out;
    }
    if (!letters) {
        out.fault = AddressFault::NoColumn;
        return out;
    }
    std::uint64_t row = 0;
    const auto [end, ec] = std::from_chars(cell.data() + digitsFrom, cell.data() + i, row);
    if (ec == std::errc::result_out_of_range) {
        row = std::uint64_t{kMaxRows} + 1;
    } else if (ec != std::errc() || end != cell.data() + i) {
        out.fault = AddressFault::Malformed;
        return out;
    }
    if (negative || row < 1) {
        out.fault = AddressFault::RowBelowOne;
    } else if (row > kMaxRows) {
        out.fault = AddressFault::RowBeyondSheet;
    } else if (col > kMaxCols) {
        out.fault = AddressFault::ColumnBeyondSheet;
    } else {
        out.firstRow = out.lastRow = static_cast<std::uint32_t>(row - 1);
        out.firstCol = out.lastCol = static_cast<std::uint32_t>(col - 1);
    }
    return out;
}

} // namespace

char* writeColumnName(char* out, std::uint32_t col) {
    char letters[kMaxColumnLetters];
    std::size_t n = 0;
    for (std::uint64_t v = std::uint64_t{col} + 1; v > 0; v = (v - 1) / 26) {
        letters[n++] = static_cast<char>('A' + (v - 1) % 26);
    }
    return std::reverse_copy(letters, letters + n, out);
}

char* writeCellAddress(char* out, std::uint32_t row, std::uint32_t col) {
    char* p = writeColumnName(out, col);
    return std::to_chars(p, p + 11, std::uint64_t{row} + 1).ptr;
}

std::string columnName(std::uint32_t col) {
    char text[kMaxColumnLetters];
    return std::string(text, writeColumnName(text, col));
}

std::optional<std::uint32_t> columnFromName(std::string_view letters) {
    std::size_t i = 0;
    const std::uint64_t col = readLetters(letters, i);
    if (i == 0 || i != letters.size() || col > kMaxCols) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(col - 1);
}

std::string cellAddress(std::uint32_t row, std::uint32_t col) {
    char text[kMaxCellAddress];
    return std::string(text, writeCellAddress(text, row, col));
}

std::string rangeAddress(std::uint32_t firstRow, std::uint32_t firstCol, std::uint32_t lastRow,
                         std::uint32_t lastCol) {
    char text[2 * kMaxCellAddress + 1];
    char* p = writeCellAddress(text, firstRow, firstCol);
    if (lastRow != firstRow || lastCol != firstCol) {
        *p++ = ':';
        p = writeCellAddress(p, lastRow, lastCol);
    }
    return std::string(text, p);
}

ParsedRange parseCellAddress(std::string_view text, AddressForms forms) {
    return parseCorner(text, forms);
}

ParsedRange parseRangeAddress(std::string_view text, AddressForms forms) {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return parseCorner(text, forms);
    }
    if (text.find(':', colon + 1) != std::string_view::npos) {
        ParsedRange out;
        out.fault = AddressFault::Malformed;
        return out;
    }
    const ParsedRange a = parseCorner(text.substr(0, colon), forms);
    if (!a.ok()) {
        return a;
    }
    const ParsedRange b = parseCorner(text.substr(colon + 1), forms);
    if (!b.ok()) {
        return b;
    }
    ParsedRange out;
    out.firstRow = std::min(a.firstRow, b.firstRow);
    out.firstCol = std::min(a.firstCol, b.firstCol);
    out.lastRow = std::max(a.firstRow, b.firstRow);
    out.lastCol = std::max(a.firstCol, b.firstCol);
    return out;
}

} // namespace cells
} // namespace quenly
