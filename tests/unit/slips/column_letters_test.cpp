// Tests of the column letters in both directions.
#include "column_letters.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

namespace quenly {
namespace {

TEST(GetColFromNum, Boundaries) {
    const std::pair<std::int32_t, std::string> table[] = {
        {1, "A"},     {26, "Z"},
        {27, "AA"},   {52, "AZ"},
        {53, "BA"},   {701, "ZY"},
        {702, "ZZ"},  {0, std::string(1, '@')},
        {-1, "?"},    {-64, std::string(1, '\0')},
        {703, "AAA"}, {16384, "XFD"},
    };
    for (const auto& [number, letters] : table) {
        EXPECT_EQ(getColFromNum(number), letters) << number;
    }
}

TEST(GetColFromNum, CharacterCodesMinus64) {
    // Every code up to "Z" comes back as itself; lower-case letters become two letters.
    for (int code = 0; code <= 'Z'; ++code) {
        EXPECT_EQ(getColFromNum(code - 64), std::string(1, static_cast<char>(code))) << code;
    }
    EXPECT_EQ(getColFromNum('a' - 64), "AG");
    EXPECT_EQ(getColFromNum('z' - 64), "BF");
    // Below -64 only the low byte of the code counts.
    EXPECT_EQ(getColFromNum(-65), std::string(1, '\xFF'));
}

TEST(GetColFromNum, OneToZzAreDistinctAndInSpreadsheetOrder) {
    std::set<std::string> seen;
    std::string previous;
    for (std::int32_t n = 1; n <= 702; ++n) {
        const std::string letters = getColFromNum(n);
        EXPECT_TRUE(seen.insert(letters).second) << n;
        // The spreadsheet orders columns by length, then alphabetically.
        if (n > 1) {
            EXPECT_TRUE(letters.size() > previous.size() ||
                        (letters.size() == previous.size() && letters > previous))
                << previous << " then " << letters;
        }
        EXPECT_EQ(getNumFromCol(letters), n);
        previous = letters;
    }
}

TEST(GetNumFromCol, LettersOfEitherCase) {
    EXPECT_EQ(getNumFromCol("A"), 1);
    EXPECT_EQ(getNumFromCol("z"), 26);
    EXPECT_EQ(getNumFromCol("aB"), 28);
    EXPECT_EQ(getNumFromCol("XFD"), 16384);
    EXPECT_EQ(getColFromNum(getNumFromCol("xfc")), "XFC");
}

TEST(GetNumFromCol, RefusesAnythingElse) {
    for (const char* bad : {"", " A", "A ", "A1", "1", "@", "[", "`", "{", "XFE", "AAAA",
                            "ZZZZZZZZZZZZZZZZ", "\xC3\x84"}) {
        EXPECT_THROW(getNumFromCol(bad), std::invalid_argument) << bad;
    }
}

} // namespace
} // namespace quenly
