// The names of cells as spreadsheets write them: column letters, A1 addresses and the texts of
// error values. Rows and columns count from 0 in this API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quenly {

/// The error values a cell can hold (#NULL!, #DIV/0!, ...), numbered as spreadsheets number them.
enum class CellErrorCode : std::uint8_t {
    Null = 0x00,
    Div0 = 0x07,
    Value = 0x0F,
    Ref = 0x17,
    Name = 0x1D,
    Num = 0x24,
    NA = 0x2A,
    GettingData = 0x2B,
};

/// The spreadsheet's text of an error code ("#N/A", "#DIV/0!", ...); a number that is no error
/// code reads as "#N/A".
std::string_view cellErrorText(CellErrorCode code);

/// The error code whose text is exactly `text`, or nothing.
std::optional<CellErrorCode> cellErrorFromText(std::string_view text);

namespace cells {

/// The rows and columns of a sheet: 1,048,576 rows, 16,384 columns (A to XFD).
inline constexpr std::uint32_t kMaxRows = 1048576;
inline constexpr std::uint32_t kMaxCols = 16384;

/// Room enough for the letters of any column number (7) and for a whole cell address.
inline constexpr std::size_t kMaxColumnLetters = 7;
inline constexpr std::size_t kMaxCellAddress = 24;

/// Writes the letters of column `col` at `out` ("A" for 0, "Z" for 25, "AA" for 26, "XFD" for
/// 16383; numbers past the sheet give more letters the same way); returns the end.
char* writeColumnName(char* out, std::uint32_t col);
/// Writes "B3" for the cell (2, 1) at `out` (kMaxCellAddress bytes suffice); returns the end.
char* writeCellAddress(char* out, std::uint32_t row, std::uint32_t col);

std::string columnName(std::uint32_t col);
/// The column of the letters `letters` (either case: "A" is 0, "xfd" 16383); nothing for empty
/// text, any other character, or a column past XFD.
std::optional<std::uint32_t> columnFromName(std::string_view letters);
std::string cellAddress(std::uint32_t row, std::uint32_t col);
/// "A1:Z1" for the range of those corners, "B3" when both corners are the same cell.
std::string rangeAddress(std::uint32_t firstRow, std::uint32_t firstCol, std::uint32_t lastRow,
                         std::uint32_t lastCol);

/// What is wrong with an address that did not read, in the order they are looked for: text that
/// is no address at all, no column letters, a row number below 1, past the last row, past the
/// last column.
enum class AddressFault : std::uint8_t {
    None,
    Malformed,
    NoColumn,
    RowBelowOne,
    RowBeyondSheet,
    ColumnBeyondSheet,
};

/// The forms of address a reader accepts beyond plain "B3": "$" before the letters and before
/// the row ("$B$3"), and a sign before the row (so that "A-1" is a row below 1, not malformed).
struct AddressForms {
    bool dollars = false;
    bool signedRows = false;
};

/// An address read from text: its corners ordered (a single cell has both corners the same),
/// or the fault of the first corner that did not read.
struct ParsedRange {
    std::uint32_t firstRow = 0;
    std::uint32_t firstCol = 0;
    std::uint32_t lastRow = 0;
    std::uint32_t lastCol = 0;
    AddressFault fault = AddressFault::None;
    bool ok() const { return fault == AddressFault::None; }
};

/// Reads one cell address ("B3"); letters of either case.
ParsedRange parseCellAddress(std::string_view text, AddressForms forms = {});
/// Reads "A1:Z1" or "A1" ("B2:A1" gives A1:B2). More than one ':' is malformed.
ParsedRange parseRangeAddress(std::string_view text, AddressForms forms = {});

} // namespace cells
} // namespace quenly
