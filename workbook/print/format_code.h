// Format codes as the number-format engine reads them: the tokens and sections of a code, and
// the steps that parse a code once and keep it. Internal to the engine.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quenly::wb::print::detail {

/// In the texts of literal tokens: the next character stands for room as wide as it ("_x"),
/// or is repeated to fill the cell ("*x").
inline constexpr char kSpaceMark = '\x01';
inline constexpr char kFillMark = '\x02';

enum class Tok : std::uint8_t {
    Literal,
    Digit,    // ch: '0', '#' or '?'
    Point,    // the decimal point of a number
    Comma,    // before classification only
    Percent,  // '%': shown, and the value is taken x100
    Exponent, // ch: '+' or '-'; the digits after it are the exponent's
    Slash,    // the bar of a fraction
    FixedDenominator,
    Text, // '@'
    General,
    Year,   // count: 1-2 two digits, more four
    Era,    // 'e': the four-digit year
    Month,  // count 1-5
    Minute, // count 1-2
    Day,    // count 1-2 day, 3 short weekday, 4 long weekday
    Weekday,
    Hour,
    Second,
    SubSecond, // count: digits after the point
    ElapsedHour,
    ElapsedMinute,
    ElapsedSecond,
    AmPm, // text: "AM/PM", "am/pm", "A/P", "上午/下午": the morning and afternoon words around '/'
};

struct Token {
    Tok kind = Tok::Literal;
    char ch = 0;
    int count = 0;
    std::string text;
};

enum class CondOp : std::uint8_t { None, Lt, Le, Gt, Ge, Eq, Ne };

enum class SectionKind : std::uint8_t { Number, Date, Text };

struct Section {
    std::vector<Token> tokens;
    SectionKind kind = SectionKind::Number;
    CondOp op = CondOp::None; // the condition written in the code
    double limit = 0;
    CondOp effOp = CondOp::None; // the condition that selects it; None matches any value
    double effLimit = 0;
    bool negativeRole = false; // shows negative values without their minus sign
    bool hasColor = false;
    std::uint32_t argb = 0;
    int dbnum = 0;
    bool chinese = false; // [$-804]: Chinese month and weekday names, 上午/下午
    // Numbers.
    int intCount = 0;
    int decCount = 0;
    int expDigits = 0;
    int numCount = 0;
    int denCount = 0;
    bool denZeroPad = false; // a '0' among the denominator's placeholders
    int fixedDen = 0;
    int shift = 0; // powers of ten: +2 per '%', -3 per scaling comma
    bool grouping = false;
    bool exponent = false;
    bool fraction = false;
    bool fractionInteger = false; // a whole-number part before the fraction
    bool general = false;
    bool hasZeroIntPlaceholder = false;
    // Dates and times.
    int subSecond = 0;
    bool hasAmPm = false;
    // [$-F800] / [$-F400]: the section shows the system's date or time format instead.
    std::string_view systemCode;
};

struct ParsedFormat {
    std::vector<Section> sections;
    int numeric[3] = {-1, -1, -1};
    int numericCount = 0;
    int textSection = -1;
};

/// The length in bytes of the UTF-8 character at byte `i` of `s` (at least 1, never past the end).
std::size_t codePointLength(std::string_view s, std::size_t i);

/// Reads one section of a code into tokens; false when it is malformed (an open quote or
/// bracket).
bool parseSection(std::string_view s, Section& sec);

/// Gives a section read by parseSection its kind (number, date or text) and the figures of its
/// placeholders.
void classify(Section& sec);

/// The parsed code, or nullptr when it is malformed.
std::unique_ptr<ParsedFormat> parseFormat(std::string_view code);

/// The parsed code, read once per thread and kept, or nullptr when it is malformed.
const ParsedFormat* parsedFormat(std::string_view code);

} // namespace quenly::wb::print::detail
