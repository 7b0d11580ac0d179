// Column letters, addresses and error values, as every part of the program names them.
#include "cell_names.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>

namespace quenly::cells {
namespace {

TEST(ColumnNames, Boundaries) {
    const std::pair<std::uint32_t, std::string> table[] = {
        {0, "A"},    {25, "Z"},    {26, "AA"},     {51, "AZ"},     {255, "IV"},
        {701, "ZZ"}, {702, "AAA"}, {16383, "XFD"}, {16384, "XFE"}, {4294967295u, "MWLQKWV"},
    };
    for (const auto& [col, letters] : table) {
        EXPECT_EQ(columnName(col), letters) << col;
        EXPECT_EQ(columnFromName(letters), col < kMaxCols ? std::optional(col) : std::nullopt)
            << letters;
    }
    EXPECT_EQ(columnFromName("xfd"), 16383u);
    for (const char* bad : {"", "A1", " A", "甲", "AAAA"}) {
        EXPECT_EQ(columnFromName(bad), std::nullopt) << bad;
    }
}

TEST(Addresses, FormatCellsAndRanges) {
    EXPECT_EQ(cellAddress(0, 0), "A1");
    EXPECT_EQ(cellAddress(1048575, 16383), "XFD1048576");
    EXPECT_EQ(rangeAddress(2, 1, 2, 1), "B3");
    EXPECT_EQ(rangeAddress(1, 1, 1048575, 27), "B2:AB1048576");
    for (std::uint32_t c : {0u, 25u, 26u, 51u, 52u, 701u, 702u, 16383u}) {
        const ParsedRange r = parseCellAddress(cellAddress(6, c));
        EXPECT_TRUE(r.ok() && r.firstRow == 6 && r.firstCol == c) << c;
    }
}

TEST(Addresses, ReadPlainAddressesAndRanges) {
    ParsedRange r = parseCellAddress("xfd1048576");
    EXPECT_TRUE(r.ok());
    EXPECT_EQ(r.firstRow, 1048575u);
    EXPECT_EQ(r.firstCol, 16383u);
    r = parseRangeAddress("C3:A1");
    EXPECT_TRUE(r.ok());
    EXPECT_EQ((std::array{r.firstRow, r.firstCol, r.lastRow, r.lastCol}),
              (std::array{0u, 0u, 2u, 2u}));
    r = parseRangeAddress("B2");
    EXPECT_EQ((std::array{r.firstRow, r.firstCol, r.lastRow, r.lastCol}),
              (std::array{1u, 1u, 1u, 1u}));
}

TEST(Addresses, NameTheFaultOfTextThatIsNoAddress) {
    const std::pair<const char*, AddressFault> plain[] = {
        {"", AddressFault::Malformed},
        {"AB", AddressFault::Malformed},
        {"1A", AddressFault::Malformed},
        {"A1B", AddressFault::Malformed},
        {"A-1", AddressFault::Malformed},
        {"$A$1", AddressFault::Malformed},
        {"A1:", AddressFault::Malformed},
        {"A:B", AddressFault::Malformed},
        {"A1:B2:C3", AddressFault::Malformed},
        {"1", AddressFault::NoColumn},
        {"A0", AddressFault::RowBelowOne},
        {"XFE0", AddressFault::RowBelowOne},
        {"A1048577", AddressFault::RowBeyondSheet},
        {"A99999999999999999999999", AddressFault::RowBeyondSheet},
        {"XFE1", AddressFault::ColumnBeyondSheet},
        {"AAAA1", AddressFault::ColumnBeyondSheet},
        {"A1:XFE2", AddressFault::ColumnBeyondSheet},
    };
    for (const auto& [text, fault] : plain) {
        EXPECT_EQ(parseRangeAddress(text).fault, fault) << text;
    }
    // The forms the automation objects accept besides.
    const AddressForms both{true, true};
    EXPECT_TRUE(parseRangeAddress("$B$3:b$4", both).ok());
    EXPECT_EQ(parseCellAddress("A-1", both).fault, AddressFault::RowBelowOne);
    EXPECT_EQ(parseCellAddress("$1", both).fault, AddressFault::NoColumn);
    EXPECT_EQ(parseCellAddress("A$$1", both).fault, AddressFault::Malformed);
    EXPECT_EQ(parseCellAddress("A+", both).fault, AddressFault::Malformed);
}

TEST(ErrorValues, TextsBothWays) {
    const std::pair<CellErrorCode, std::string_view> table[] = {
        {CellErrorCode::Null, "#NULL!"},   {CellErrorCode::Div0, "#DIV/0!"},
        {CellErrorCode::Value, "#VALUE!"}, {CellErrorCode::Ref, "#REF!"},
        {CellErrorCode::Name, "#NAME?"},   {CellErrorCode::Num, "#NUM!"},
        {CellErrorCode::NA, "#N/A"},       {CellErrorCode::GettingData, "#GETTING_DATA"},
    };
    for (const auto& [code, text] : table) {
        EXPECT_EQ(cellErrorText(code), text);
        EXPECT_EQ(cellErrorFromText(text), code);
    }
    // A number that is no error code reads as #N/A; texts must match exactly.
    EXPECT_EQ(cellErrorText(static_cast<CellErrorCode>(0x55)), "#N/A");
    EXPECT_EQ(cellErrorFromText("#n/a"), std::nullopt);
    EXPECT_EQ(cellErrorFromText("#SPILL!"), std::nullopt);
}

} // namespace
} // namespace quenly::cells
