// The number-format engine: parses format codes once and turns cell values into the text a
// spreadsheet shows for them.
#include "print/number_format.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "color_palette.h"
#include "text_util.h"

namespace quenly::wb::print {

namespace {

// What invalid dates and times show: spreadsheets fill the cell with '#'; a printed page has no
// column width to fill, so a fixed run stands for it.
constexpr std::string_view kInvalidDate = "########";
// The last day spreadsheets can show, 9999-12-31, as a serial day of the 1900 system.
constexpr double kLastSerial1900 = 2958465;
// The same day counted from 1904-01-01.
constexpr double kLastSerial1904 = 2958465 - 1462;

// ---------------------------------------------------------------------------------------------
// Decimal digits of a value, as spreadsheets keep it: 15 significant digits, rounded from the
// binary value. value = 0.d1 d2 ... dn x 10^point; no trailing zeros.

struct Decimal {
    char digits[24] = {};
    int count = 0;
    int point = 0;

    char at(int i) const { return i >= 0 && i < count ? digits[i] : '0'; }
    bool isZero() const { return count == 0; }
};

Decimal toDecimal(double magnitude) {
    Decimal d;
    if (magnitude == 0 || !std::isfinite(magnitude)) {
        return d;
    }
    char buf[40];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(magnitude),
                             std::chars_format::scientific, 14);
    const char* p = buf;
    const char* end = res.ptr;
    int n = 0;
    for (; p < end && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') {
            d.digits[n++] = *p;
        }
    }
    int exp = 0;
    if (p + 1 < end) {
        const char* q = p + 1;
        const bool negative = *q == '-';
        for (q += (*q == '+' || *q == '-'); q < end; ++q) {
            exp = exp * 10 + (*q - '0');
        }
        exp = negative ? -exp : exp;
    }
    while (n > 0 && d.digits[n - 1] == '0') {
        --n;
    }
    d.count = n;
    d.point = exp + 1;
    return d;
}

// Rounds to `decimals` places after the point, halves away from zero.
void roundDecimal(Decimal& d, int decimals) {
    const int keep = d.point + decimals;
    if (keep >= d.count) {
        return;
    }
    if (keep < 0) {
        d.count = 0;
        return;
    }
    const bool up = d.digits[keep] >= '5';
    d.count = keep;
    if (up) {
        int i = keep - 1;
        while (i >= 0 && d.digits[i] == '9') {
            --i;
        }
        if (i < 0) {
            d.digits[0] = '1';
            d.count = 1;
            d.point += 1;
        } else {
            d.digits[i] = static_cast<char>(d.digits[i] + 1);
            d.count = i + 1;
        }
    }
    while (d.count > 0 && d.digits[d.count - 1] == '0') {
        --d.count;
    }
}

// Rounds to `significant` digits in all.
void roundSignificant(Decimal& d, int significant) {
    roundDecimal(d, significant - d.point);
}

// ---------------------------------------------------------------------------------------------
// Chinese numerals for [DBNum1] (lower case) and [DBNum2] (upper case, the capitals of amounts).

constexpr std::string_view kDigitsLower[10] = {"〇", "一", "二", "三", "四",
                                               "五", "六", "七", "八", "九"};
constexpr std::string_view kDigitsUpper[10] = {"零", "壹", "贰", "叁", "肆",
                                               "伍", "陆", "柒", "捌", "玖"};
constexpr std::string_view kDigitsWide[10] = {"０", "１", "２", "３", "４",
                                              "５", "６", "７", "８", "９"};
constexpr std::string_view kUnitsLower[4] = {"", "十", "百", "千"};
constexpr std::string_view kUnitsUpper[4] = {"", "拾", "佰", "仟"};

std::string_view chineseDigit(int dbnum, int digit) {
    if (dbnum == 2) {
        return kDigitsUpper[digit];
    }
    if (dbnum == 3) {
        return kDigitsWide[digit];
    }
    return kDigitsLower[digit];
}

// Appends the digits one by one as numerals (years, decimals).
void appendChineseDigits(std::string& out, int dbnum, std::string_view digits) {
    for (char c : digits) {
        if (c >= '0' && c <= '9') {
            out += chineseDigit(dbnum, c - '0');
        } else {
            out += c;
        }
    }
}

// Appends the integer written with `digits` (no leading zeros; empty for zero) in counting form:
// 1001 -> 一千〇一, 120000 -> 一十二万; with `dropLeadingOne`, 10-19 read 十, 十一, ... as in
// dates. [DBNum3] writes wide digits with the units.
void appendChineseInteger(std::string& out, int dbnum, std::string_view digits,
                          bool dropLeadingOne = false) {
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

// ---------------------------------------------------------------------------------------------
// Parsed format codes.

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

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithNoCase(std::string_view s, std::size_t i, std::string_view word) {
    if (s.size() - i < word.size()) {
        return false;
    }
    for (std::size_t k = 0; k < word.size(); ++k) {
        if (lower(s[i + k]) != lower(word[k])) {
            return false;
        }
    }
    return true;
}

bool startsWith(std::string_view s, std::size_t i, std::string_view word) {
    return s.substr(i, word.size()) == word;
}

std::size_t codePointLength(std::string_view s, std::size_t i) {
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = 1;
    if (c >= 0xF0) {
        n = 4;
    } else if (c >= 0xE0) {
        n = 3;
    } else if (c >= 0xC0) {
        n = 2;
    }
    return std::min(n, s.size() - i);
}

void addLiteral(Section& sec, std::string_view text) {
    if (text.empty()) {
        return;
    }
    if (!sec.tokens.empty() && sec.tokens.back().kind == Tok::Literal) {
        sec.tokens.back().text += text;
        return;
    }
    Token t;
    t.kind = Tok::Literal;
    t.text = std::string(text);
    sec.tokens.push_back(std::move(t));
}

void addToken(Section& sec, Tok kind, char ch = 0, int count = 0) {
    Token t;
    t.kind = kind;
    t.ch = ch;
    t.count = count;
    sec.tokens.push_back(std::move(t));
}

bool parseColor(std::string_view name, std::uint32_t& argb) {
    struct Named {
        std::string_view name;
        std::uint32_t argb;
    };
    static constexpr Named kNamed[] = {
        {"black", 0xFF000000}, {"blue", 0xFF0000FF},    {"cyan", 0xFF00FFFF},
        {"green", 0xFF00FF00}, {"magenta", 0xFFFF00FF}, {"red", 0xFFFF0000},
        {"white", 0xFFFFFFFF}, {"yellow", 0xFFFFFF00},  {"黑色", 0xFF000000},
        {"蓝色", 0xFF0000FF},  {"青色", 0xFF00FFFF},    {"绿色", 0xFF00FF00},
        {"洋红", 0xFFFF00FF},  {"红色", 0xFFFF0000},    {"白色", 0xFFFFFFFF},
        {"黄色", 0xFFFFFF00},
    };
    for (const Named& n : kNamed) {
        if (n.name.size() == name.size() && startsWithNoCase(name, 0, n.name)) {
            argb = n.argb;
            return true;
        }
    }
    if (startsWithNoCase(name, 0, "color") || name.substr(0, 6) == "颜色") {
        const std::size_t at = name[0] == 'c' || name[0] == 'C' ? 5 : 6;
        int index = 0;
        auto res = std::from_chars(name.data() + at, name.data() + name.size(), index);
        if (res.ec == std::errc() && res.ptr == name.data() + name.size() && index >= 1 &&
            index <= 56) {
            argb = IndexedPalette::defaults()[static_cast<std::size_t>(index + 7)];
            return true;
        }
    }
    return false;
}

bool parseCondition(std::string_view s, CondOp& op, double& limit) {
    std::size_t i = 0;
    if (s.substr(0, 2) == "<=") {
        op = CondOp::Le, i = 2;
    } else if (s.substr(0, 2) == ">=") {
        op = CondOp::Ge, i = 2;
    } else if (s.substr(0, 2) == "<>") {
        op = CondOp::Ne, i = 2;
    } else if (s[0] == '<') {
        op = CondOp::Lt, i = 1;
    } else if (s[0] == '>') {
        op = CondOp::Gt, i = 1;
    } else if (s[0] == '=') {
        op = CondOp::Eq, i = 1;
    } else {
        return false;
    }
    while (i < s.size() && s[i] == ' ') {
        ++i;
    }
    const char* b = s.data() + i;
    const char* e = s.data() + s.size();
    if (b < e && *b == '+') {
        ++b;
    }
    auto res = std::from_chars(b, e, limit);
    return res.ec == std::errc() && res.ptr == e;
}

// The system date and time formats that [$-F800] and [$-F400] stand for, as a zh-CN system
// writes them.
constexpr std::string_view kSystemLongDate = "yyyy\"年\"m\"月\"d\"日\"";
constexpr std::string_view kSystemTime = "h:mm:ss";

// A bracketed part "[...]" without its brackets.
bool parseBracket(std::string_view b, Section& sec) {
    if (b.empty()) {
        return true;
    }
    if (b[0] == '$') {
        const std::size_t dash = b.find('-', 1);
        const std::string_view symbol =
            b.substr(1, dash == std::string_view::npos ? b.npos : dash - 1);
        std::string_view locale = dash == std::string_view::npos ? "" : b.substr(dash + 1);
        addLiteral(sec, symbol);
        // Newer files name the system formats and languages in words.
        if (equalsIgnoreAsciiCase(locale, "x-sysdate")) {
            sec.systemCode = kSystemLongDate;
            return true;
        }
        if (equalsIgnoreAsciiCase(locale, "x-systime")) {
            sec.systemCode = kSystemTime;
            return true;
        }
        if (locale.size() >= 2 && lower(locale[0]) == 'z' && lower(locale[1]) == 'h' &&
            (locale.size() == 2 || locale[2] == '-')) {
            sec.chinese = true;
            return true;
        }
        // Only the low 16 bits name the language; the high ones the calendar and digits.
        if (locale.size() > 4) {
            locale = locale.substr(locale.size() - 4);
        }
        if (equalsIgnoreAsciiCase(locale, "F800")) {
            sec.systemCode = kSystemLongDate;
        } else if (equalsIgnoreAsciiCase(locale, "F400")) {
            sec.systemCode = kSystemTime;
        }
        if (equalsIgnoreAsciiCase(locale, "804") || equalsIgnoreAsciiCase(locale, "0804") ||
            equalsIgnoreAsciiCase(locale, "1004")) {
            sec.chinese = true;
        }
        return true;
    }
    if (startsWithNoCase(b, 0, "dbnum") && b.size() == 6 && b[5] >= '1' && b[5] <= '3') {
        sec.dbnum = b[5] - '0';
        return true;
    }
    if (b[0] == '<' || b[0] == '>' || b[0] == '=') {
        return parseCondition(b, sec.op, sec.limit);
    }
    const char c = lower(b[0]);
    if (c == 'h' || c == 'm' || c == 's') {
        bool same = true;
        for (char x : b) {
            same = same && lower(x) == c;
        }
        if (same) {
            addToken(sec,
                     c == 'h'   ? Tok::ElapsedHour
                     : c == 'm' ? Tok::ElapsedMinute
                                : Tok::ElapsedSecond,
                     0, static_cast<int>(b.size()));
            return true;
        }
    }
    std::uint32_t argb = 0;
    if (parseColor(b, argb)) {
        sec.hasColor = true;
        sec.argb = argb;
        return true;
    }
    // Other switches ([NatNum1], [ENG], calendar names) change nothing that is printed here.
    return true;
}

// Reads one section into tokens; false when the code is malformed (an open quote or bracket).
bool parseSection(std::string_view s, Section& sec) {
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '"') {
            const std::size_t close = s.find('"', i + 1);
            if (close == std::string_view::npos) {
                return false;
            }
            addLiteral(sec, s.substr(i + 1, close - i - 1));
            i = close + 1;
        } else if (c == '\\') {
            if (i + 1 < s.size()) {
                addLiteral(sec, s.substr(i + 1, codePointLength(s, i + 1)));
                i += 1 + codePointLength(s, i + 1);
            } else {
                ++i;
            }
        } else if (c == '_' || c == '*') {
            // Room for a character, or a fill: one blank on a printed page.
            addLiteral(sec, " ");
            i += 1 + (i + 1 < s.size() ? codePointLength(s, i + 1) : 0);
        } else if (c == '[') {
            const std::size_t close = s.find(']', i + 1);
            if (close == std::string_view::npos) {
                return false;
            }
            if (!parseBracket(s.substr(i + 1, close - i - 1), sec)) {
                return false;
            }
            i = close + 1;
        } else if (startsWithNoCase(s, i, "general")) {
            addToken(sec, Tok::General);
            i += 7;
        } else if (startsWith(s, i, "G/通用格式")) {
            addToken(sec, Tok::General);
            i += std::string_view("G/通用格式").size();
        } else if (startsWithNoCase(s, i, "am/pm")) {
            Token t;
            t.kind = Tok::AmPm;
            t.text = std::string(s.substr(i, 5));
            sec.tokens.push_back(std::move(t));
            i += 5;
        } else if (startsWithNoCase(s, i, "a/p")) {
            Token t;
            t.kind = Tok::AmPm;
            t.text = std::string(s.substr(i, 3));
            sec.tokens.push_back(std::move(t));
            i += 3;
        } else if (startsWith(s, i, "上午/下午")) {
            Token t;
            t.kind = Tok::AmPm;
            t.text = "上午/下午";
            sec.tokens.push_back(std::move(t));
            i += 13;
        } else if ((c == 'e' || c == 'E') && i + 1 < s.size() &&
                   (s[i + 1] == '+' || s[i + 1] == '-')) {
            addToken(sec, Tok::Exponent, s[i + 1]);
            i += 2;
        } else if (isAsciiLetter(c) && std::string_view("ymdhsae").find(lower(c)) != s.npos) {
            const char l = lower(c);
            std::size_t j = i;
            while (j < s.size() && lower(s[j]) == l) {
                ++j;
            }
            const int n = static_cast<int>(j - i);
            switch (l) {
            case 'y':
                addToken(sec, Tok::Year, 0, n);
                break;
            case 'e':
                addToken(sec, Tok::Era, 0, n);
                break;
            case 'm':
                addToken(sec, Tok::Month, 0, n);
                break;
            case 'd':
                addToken(sec, Tok::Day, 0, n);
                break;
            case 'h':
                addToken(sec, Tok::Hour, 0, n);
                break;
            case 's':
                addToken(sec, Tok::Second, 0, n);
                break;
            default: // 'a': aaa and aaaa are Chinese weekdays; fewer are text
                if (n >= 3) {
                    addToken(sec, Tok::Weekday, 0, n);
                } else {
                    addLiteral(sec, s.substr(i, j - i));
                }
                break;
            }
            i = j;
        } else if (c == '0' || c == '#' || c == '?') {
            addToken(sec, Tok::Digit, c);
            ++i;
        } else if (c == '.') {
            addToken(sec, Tok::Point);
            ++i;
        } else if (c == ',') {
            addToken(sec, Tok::Comma);
            ++i;
        } else if (c == '%') {
            addToken(sec, Tok::Percent);
            ++i;
        } else if (c == '/') {
            addToken(sec, Tok::Slash);
            ++i;
        } else if (c == '@') {
            addToken(sec, Tok::Text);
            ++i;
        } else {
            const std::size_t n = codePointLength(s, i);
            addLiteral(sec, s.substr(i, n));
            i += n;
        }
    }
    return true;
}

bool isDateToken(Tok k) {
    switch (k) {
    case Tok::Year:
    case Tok::Era:
    case Tok::Month:
    case Tok::Minute:
    case Tok::Day:
    case Tok::Weekday:
    case Tok::Hour:
    case Tok::Second:
    case Tok::ElapsedHour:
    case Tok::ElapsedMinute:
    case Tok::ElapsedSecond:
    case Tok::AmPm:
        return true;
    default:
        return false;
    }
}

// Turns a token that has no meaning in this section back into the text it was written as.
void toLiteral(Token& t) {
    switch (t.kind) {
    case Tok::Digit:
        t.text = std::string(1, t.ch);
        break;
    case Tok::Point:
        t.text = ".";
        break;
    case Tok::Comma:
        t.text = ",";
        break;
    case Tok::Percent:
        t.text = "%";
        break;
    case Tok::Slash:
        t.text = "/";
        break;
    case Tok::Exponent:
        t.text = std::string("E") + t.ch;
        break;
    case Tok::Text:
    case Tok::General:
        t.text.clear();
        break;
    default:
        break;
    }
    t.kind = Tok::Literal;
}

void mergeLiterals(Section& sec) {
    std::vector<Token> merged;
    merged.reserve(sec.tokens.size());
    for (Token& t : sec.tokens) {
        if (t.kind == Tok::Literal && !merged.empty() && merged.back().kind == Tok::Literal) {
            merged.back().text += t.text;
        } else if (!(t.kind == Tok::Literal && t.text.empty())) {
            merged.push_back(std::move(t));
        }
    }
    sec.tokens = std::move(merged);
}

void classifyDate(Section& sec) {
    sec.kind = SectionKind::Date;
    auto& toks = sec.tokens;
    // m and mm after an hour or before a second are minutes.
    for (std::size_t i = 0; i < toks.size(); ++i) {
        if (toks[i].kind != Tok::Month || toks[i].count > 2) {
            continue;
        }
        bool minute = false;
        for (std::size_t j = i; j-- > 0;) {
            if (isDateToken(toks[j].kind)) {
                minute = toks[j].kind == Tok::Hour || toks[j].kind == Tok::ElapsedHour;
                break;
            }
        }
        for (std::size_t j = i + 1; j < toks.size() && !minute; ++j) {
            if (isDateToken(toks[j].kind)) {
                minute = toks[j].kind == Tok::Second || toks[j].kind == Tok::ElapsedSecond;
                break;
            }
        }
        if (minute) {
            toks[i].kind = Tok::Minute;
        }
    }
    // A point and zeros right after seconds are fractions of a second.
    std::vector<Token> out;
    out.reserve(toks.size());
    for (std::size_t i = 0; i < toks.size(); ++i) {
        Token& t = toks[i];
        if (t.kind == Tok::Point && !out.empty() &&
            (out.back().kind == Tok::Second || out.back().kind == Tok::ElapsedSecond)) {
            int n = 0;
            while (i + 1 < toks.size() && toks[i + 1].kind == Tok::Digit && toks[i + 1].ch == '0') {
                ++n;
                ++i;
            }
            if (n > 0) {
                Token sub;
                sub.kind = Tok::SubSecond;
                sub.count = n;
                sec.subSecond = std::max(sec.subSecond, std::min(n, 3));
                out.push_back(std::move(sub));
                continue;
            }
        }
        if (t.kind == Tok::AmPm) {
            sec.hasAmPm = true;
        } else if (!isDateToken(t.kind)) {
            toLiteral(t);
        }
        out.push_back(std::move(t));
    }
    toks = std::move(out);
}

void classifyNumber(Section& sec) {
    sec.kind = SectionKind::Number;
    auto& toks = sec.tokens;
    const std::size_t n = toks.size();
    // Fraction: digits, a bar, then digits or a number.
    std::size_t slash = n;
    for (std::size_t i = 0; i < n; ++i) {
        if (toks[i].kind == Tok::Slash && i > 0 && toks[i - 1].kind == Tok::Digit && i + 1 < n &&
            (toks[i + 1].kind == Tok::Digit ||
             (toks[i + 1].kind == Tok::Literal && toks[i + 1].text[0] >= '1' &&
              toks[i + 1].text[0] <= '9'))) {
            slash = i;
            break;
        }
    }
    bool seenExponent = false;
    bool seenPoint = false;
    if (slash < n) {
        sec.fraction = true;
        std::size_t numStart = slash;
        while (numStart > 0 && toks[numStart - 1].kind == Tok::Digit) {
            --numStart;
        }
        sec.numCount = static_cast<int>(slash - numStart);
        for (std::size_t i = 0; i < numStart; ++i) {
            if (toks[i].kind == Tok::Digit) {
                sec.fractionInteger = true;
                ++sec.intCount;
            } else if (toks[i].kind == Tok::Percent) {
                sec.shift += 2;
            } else if (toks[i].kind != Tok::General) {
                toLiteral(toks[i]);
            }
        }
        if (toks[slash + 1].kind == Tok::Literal) {
            // A fixed denominator: the digits after the bar, its zeros read as placeholders.
            Token fixed;
            fixed.kind = Tok::FixedDenominator;
            std::size_t j = slash + 1;
            for (; j < toks.size(); ++j) {
                if (toks[j].kind == Tok::Digit && toks[j].ch == '0') {
                    fixed.text += '0';
                    continue;
                }
                if (toks[j].kind != Tok::Literal) {
                    break;
                }
                std::string& text = toks[j].text;
                std::size_t k = 0;
                while (k < text.size() && text[k] >= '0' && text[k] <= '9') {
                    ++k;
                }
                fixed.text += text.substr(0, k);
                text.erase(0, k);
                if (!text.empty()) {
                    break;
                }
            }
            if (fixed.text.size() > 6) {
                fixed.text.resize(6);
            }
            std::from_chars(fixed.text.data(), fixed.text.data() + fixed.text.size(), sec.fixedDen);
            toks.erase(toks.begin() + static_cast<std::ptrdiff_t>(slash + 1),
                       toks.begin() + static_cast<std::ptrdiff_t>(j));
            toks.insert(toks.begin() + static_cast<std::ptrdiff_t>(slash + 1), std::move(fixed));
        } else {
            for (std::size_t i = slash + 1; i < toks.size() && toks[i].kind == Tok::Digit; ++i) {
                ++sec.denCount;
                sec.denZeroPad = sec.denZeroPad || toks[i].ch == '0';
            }
        }
        // Everything after the denominator is text.
        std::size_t after = slash + 1;
        while (after < toks.size() &&
               (toks[after].kind == Tok::Digit || toks[after].kind == Tok::FixedDenominator)) {
            ++after;
        }
        for (std::size_t i = after; i < toks.size(); ++i) {
            if (toks[i].kind == Tok::Percent) {
                sec.shift += 2;
            } else {
                toLiteral(toks[i]);
            }
        }
        mergeLiterals(sec);
        return;
    }
    // The last digit of the mantissa, for telling grouping commas from scaling ones.
    std::size_t lastDigit = n;
    for (std::size_t i = 0; i < n; ++i) {
        if (toks[i].kind == Tok::Exponent) {
            break;
        }
        if (toks[i].kind == Tok::Digit) {
            lastDigit = i;
        }
    }
    bool seenDigit = false;
    for (std::size_t i = 0; i < n; ++i) {
        Token& t = toks[i];
        switch (t.kind) {
        case Tok::Digit:
            seenDigit = true;
            if (seenExponent) {
                ++sec.expDigits;
            } else if (seenPoint) {
                ++sec.decCount;
            } else {
                ++sec.intCount;
                if (t.ch == '0') {
                    sec.hasZeroIntPlaceholder = true;
                }
            }
            break;
        case Tok::Point:
            if (seenPoint || seenExponent) {
                toLiteral(t);
            } else {
                seenPoint = true;
            }
            break;
        case Tok::Comma:
            if (seenDigit && !seenPoint && !seenExponent && i < lastDigit) {
                sec.grouping = true;
                t.kind = Tok::Literal; // dropped: the grouping is written with the digits
                t.text.clear();
            } else if (seenDigit && i > lastDigit && lastDigit < n && !seenExponent) {
                // Scaling commas follow the last digit, with nothing but commas between.
                bool adjacent = true;
                for (std::size_t j = lastDigit + 1; j < i; ++j) {
                    adjacent = adjacent && toks[j].kind == Tok::Literal && toks[j].text.empty();
                }
                if (adjacent) {
                    sec.shift -= 3;
                    t.kind = Tok::Literal;
                    t.text.clear();
                } else {
                    toLiteral(t);
                }
            } else {
                toLiteral(t);
            }
            break;
        case Tok::Percent:
            sec.shift += 2;
            break;
        case Tok::Exponent:
            if (seenExponent || !seenDigit) {
                toLiteral(t);
            } else {
                seenExponent = true;
                sec.exponent = true;
            }
            break;
        case Tok::General:
            sec.general = true;
            break;
        case Tok::Slash:
        case Tok::Text:
            toLiteral(t);
            break;
        default:
            break;
        }
    }
    mergeLiterals(sec);
}

void classify(Section& sec) {
    bool date = false;
    bool digits = false;
    bool text = false;
    for (const Token& t : sec.tokens) {
        date = date || isDateToken(t.kind);
        digits = digits || t.kind == Tok::Digit || t.kind == Tok::General;
        text = text || t.kind == Tok::Text;
    }
    if (date) {
        classifyDate(sec);
    } else if (!digits && text) {
        sec.kind = SectionKind::Text;
        for (Token& t : sec.tokens) {
            if (t.kind != Tok::Text && t.kind != Tok::Literal) {
                toLiteral(t);
            }
        }
        mergeLiterals(sec);
    } else {
        classifyNumber(sec);
    }
}

// Splits at the semicolons outside quotes, brackets and escapes.
std::vector<std::string_view> splitSections(std::string_view code) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    bool quoted = false;
    bool bracket = false;
    for (std::size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (quoted) {
            quoted = c != '"';
        } else if (bracket) {
            bracket = c != ']';
        } else if (c == '"') {
            quoted = true;
        } else if (c == '[') {
            bracket = true;
        } else if (c == '\\' || c == '_' || c == '*') {
            ++i;
        } else if (c == ';') {
            parts.push_back(code.substr(start, i - start));
            start = i + 1;
        }
    }
    parts.push_back(code.substr(start));
    return parts;
}

// Gives each section the condition under which it is chosen. Without written conditions: one
// section takes every number; two take >= 0 and < 0; three take > 0, < 0 and = 0. A written
// condition replaces the first or second section's; the section after the last written one
// takes what is left.
void assignConditions(ParsedFormat& f) {
    const int n = f.numericCount;
    bool any = false;
    for (int k = 0; k < n; ++k) {
        any = any || f.sections[static_cast<std::size_t>(f.numeric[k])].op != CondOp::None;
    }
    for (int k = 0; k < n; ++k) {
        Section& s = f.sections[static_cast<std::size_t>(f.numeric[k])];
        s.effOp = s.op;
        s.effLimit = s.limit;
        if (s.op == CondOp::None) {
            if (k == 0 && n >= 2) {
                s.effOp = n == 2 ? CondOp::Ge : CondOp::Gt;
            } else if (k == 1 && n >= 3) {
                s.effOp = CondOp::Lt;
            } else if (k == 1 && !any) {
                s.effOp = CondOp::Lt;
            }
        }
    }
    // Only the first section adds a minus sign to negative numbers, and not when it is written
    // for values below zero ([<0]); later sections show the number as their code writes it.
    for (int k = 0; k < n; ++k) {
        Section& s = f.sections[static_cast<std::size_t>(f.numeric[k])];
        const bool belowZero = (s.op == CondOp::Lt || s.op == CondOp::Le) && s.limit == 0;
        s.negativeRole = belowZero || k >= 1;
    }
}

// Built-in formats whose display follows the system's locale rather than their stored code:
// short date (14) and date with time (22) as a zh-CN system shows them, and 47, which
// spreadsheet applications show with a colon although the code table lists it without one.
std::string_view localeCode(std::string_view code) {
    if (code == "mm-dd-yy") {
        return "yyyy/m/d";
    }
    if (code == "m/d/yy h:mm") {
        return "yyyy/m/d h:mm";
    }
    if (code == "mmss.0") {
        return "mm:ss.0";
    }
    return code;
}

std::unique_ptr<ParsedFormat> parseFormat(std::string_view code) {
    code = localeCode(code);
    auto f = std::make_unique<ParsedFormat>();
    std::vector<std::string_view> parts = splitSections(code);
    if (parts.size() > 4) {
        parts.resize(4);
    }
    for (std::string_view part : parts) {
        Section sec;
        if (!parseSection(part, sec)) {
            return nullptr;
        }
        if (!sec.systemCode.empty()) {
            sec.tokens.clear();
            parseSection(sec.systemCode, sec);
        }
        classify(sec);
        f->sections.push_back(std::move(sec));
    }
    const int count = static_cast<int>(f->sections.size());
    for (int k = 0; k < std::min(count, 3); ++k) {
        if (f->sections[static_cast<std::size_t>(k)].kind == SectionKind::Text) {
            if (f->textSection < 0) {
                f->textSection = k;
            }
        } else {
            f->numeric[f->numericCount++] = k;
        }
    }
    if (count == 4) {
        f->textSection = 3;
    }
    assignConditions(*f);
    return f;
}

// Parsed codes, per thread: a sheet has few distinct codes, and each is read once.
struct CodeHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

constexpr std::size_t kCacheLimit = 4096;
constexpr std::size_t kRecent = 8;

// The codes of a row of cells repeat column by column: the last few are looked at first, by
// comparing their texts, before the hash table.
struct FormatCache {
    std::unordered_map<std::string, std::unique_ptr<ParsedFormat>, CodeHash, std::equal_to<>> map;
    struct Recent {
        std::string_view code; // views the key in `map`
        const ParsedFormat* format = nullptr;
    };
    Recent recent[kRecent];
    std::size_t next = 0;
};

// The parsed code, or nullptr when the code is malformed.
const ParsedFormat* parsedFormat(std::string_view code) {
    thread_local FormatCache cache;
    for (const auto& r : cache.recent) {
        if (r.code.size() == code.size() && r.code.data() != nullptr && r.code == code) {
            return r.format;
        }
    }
    auto it = cache.map.find(code);
    if (it == cache.map.end()) {
        if (cache.map.size() >= kCacheLimit) {
            cache.map.clear();
            for (auto& r : cache.recent) {
                r = {};
            }
        }
        it = cache.map.emplace(std::string(code), parseFormat(code)).first;
    }
    cache.recent[cache.next] = {it->first, it->second.get()};
    cache.next = (cache.next + 1) % kRecent;
    return it->second.get();
}

// ---------------------------------------------------------------------------------------------
// Numbers.

void appendInt(std::string& out, long long v, int minDigits = 1) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    for (auto len = static_cast<int>(res.ptr - buf); len < minDigits; ++len) {
        out += '0';
    }
    out.append(buf, res.ptr);
}

// General: up to 11 characters without the sign, as in a column of standard width: integers
// of up to 11 digits as they are, others with up to 10 significant digits, and scientific
// notation (1.23457E+11) where the plain form would not fit or would lose digits.
void appendGeneral(std::string& out, double magnitude, int dbnum) {
    if (!std::isfinite(magnitude)) {
        out += cellErrorText(CellErrorCode::Num);
        return;
    }
    Decimal d = toDecimal(magnitude);
    if (d.isZero()) {
        out += dbnum ? chineseDigit(dbnum, 0) : "0";
        return;
    }
    bool scientific = false;
    if (d.point > 11) {
        scientific = true;
    } else if (d.point > 0) {
        roundDecimal(d, std::max(0, 10 - d.point));
        scientific = d.point > 11;
    } else {
        // Below 1: "0." leaves nine places; scientific shows six digits (five past E-99).
        const int fixedDigits = 9 + d.point;
        const int sciDigits = d.point <= -99 ? 5 : 6;
        if (fixedDigits >= std::min(d.count, sciDigits)) {
            roundDecimal(d, 9);
            scientific = d.isZero();
        } else {
            scientific = true;
        }
        if (scientific) {
            d = toDecimal(magnitude);
        }
    }
    const std::size_t start = out.size();
    if (scientific) {
        int sig = std::abs(d.point - 1) >= 100 ? 5 : 6;
        roundSignificant(d, sig);
        const int exp = d.point - 1;
        out += d.digits[0];
        if (d.count > 1) {
            out += '.';
            out.append(d.digits + 1, static_cast<std::size_t>(d.count - 1));
        }
        out += exp < 0 ? "E-" : "E+";
        appendInt(out, std::abs(exp), 2);
        if (dbnum) {
            std::string plain = out.substr(start);
            out.resize(start);
            appendChineseDigits(out, dbnum, plain);
        }
        return;
    }
    std::string_view digits(d.digits, static_cast<std::size_t>(d.count));
    if (d.point > 0) {
        std::string intPart;
        for (int i = 0; i < d.point; ++i) {
            intPart += d.at(i);
        }
        if (dbnum) {
            appendChineseInteger(out, dbnum, intPart);
        } else {
            out += intPart;
        }
        if (d.count > d.point) {
            out += '.';
            if (dbnum) {
                appendChineseDigits(out, dbnum, digits.substr(static_cast<std::size_t>(d.point)));
            } else {
                out += digits.substr(static_cast<std::size_t>(d.point));
            }
        }
    } else {
        std::string frac(static_cast<std::size_t>(-d.point), '0');
        frac += digits;
        if (dbnum) {
            out += chineseDigit(dbnum, 0);
            out += '.';
            appendChineseDigits(out, dbnum, frac);
        } else {
            out += "0.";
            out += frac;
        }
    }
}

// Writes the whole-number digits `intDigits` (no leading zeros) through the placeholders of the
// integer part; `index` counts the placeholders from the left.
struct IntWriter {
    std::string_view digits;
    int placeholders = 0;
    bool grouping = false;
    int dbnum = 0;
    bool hasZeroPlaceholder = false;

    void put(std::string& out, char c, int pos) const {
        out += c;
        if (grouping && pos > 0 && pos % 3 == 0) {
            out += ',';
        }
    }

    void write(std::string& out, int index, char ph) const {
        const auto len = static_cast<int>(digits.size());
        if (dbnum) {
            if (index == 0 && (len > 0 || hasZeroPlaceholder)) {
                appendChineseInteger(out, dbnum, digits);
            }
            return;
        }
        if (index == 0) {
            for (int pos = len - 1; pos >= placeholders; --pos) {
                put(out, digits[static_cast<std::size_t>(len - 1 - pos)], pos);
            }
        }
        const int pos = placeholders - 1 - index;
        if (pos < len) {
            put(out, digits[static_cast<std::size_t>(len - 1 - pos)], pos);
        } else if (ph == '0') {
            put(out, '0', pos);
        } else if (ph == '?') {
            out += ' ';
        }
    }
};

// The whole-number digits of a value, without leading zeros; empty for zero. Short ones (all
// but the rarest) stay on the stack.
class IntegerDigits {
public:
    explicit IntegerDigits(const Decimal& d) {
        const int n = d.isZero() ? 0 : std::max(0, d.point);
        char* out = m_small;
        if (n > static_cast<int>(sizeof m_small)) {
            m_big.resize(static_cast<std::size_t>(n));
            out = m_big.data();
        }
        for (int i = 0; i < n; ++i) {
            out[i] = d.at(i);
        }
        m_view = std::string_view(out, static_cast<std::size_t>(n));
    }
    IntegerDigits(const IntegerDigits&) = delete;
    IntegerDigits& operator=(const IntegerDigits&) = delete;
    std::string_view view() const { return m_view; }

private:
    char m_small[64];
    std::string m_big;
    std::string_view m_view;
};

void appendDecimalDigit(std::string& out, const Decimal& d, int index, char ph, int dbnum) {
    const int at = d.point + index;
    const bool significant = at < d.count;
    if (!significant && ph == '#') {
        return;
    }
    if (!significant && ph == '?') {
        out += ' ';
        return;
    }
    const char c = d.at(at);
    if (dbnum) {
        out += chineseDigit(dbnum, c - '0');
    } else {
        out += c;
    }
}

// The closest fraction n/den to `x` >= 0 with den <= maxDen (continued fractions).
void bestFraction(double x, long long maxDen, long long& num, long long& den) {
    long long p0 = 0, q0 = 1, p1 = 1, q1 = 0;
    double r = x;
    for (int iter = 0; iter < 64; ++iter) {
        const double a = std::floor(r);
        if (a > 1e15) {
            break;
        }
        const auto ai = static_cast<long long>(a);
        const long long p2 = ai * p1 + p0;
        const long long q2 = ai * q1 + q0;
        if (q2 > maxDen) {
            // The best semiconvergent may beat the last convergent.
            const long long k = (maxDen - q0) / q1;
            const long long ps = p0 + k * p1;
            const long long qs = q0 + k * q1;
            if (qs > 0 && std::fabs(x - static_cast<double>(ps) / static_cast<double>(qs)) <
                              std::fabs(x - static_cast<double>(p1) / static_cast<double>(q1))) {
                p1 = ps;
                q1 = qs;
            }
            break;
        }
        p0 = p1;
        q0 = q1;
        p1 = p2;
        q1 = q2;
        const double rest = r - a;
        if (rest < 1e-12) {
            break;
        }
        r = 1 / rest;
    }
    num = p1;
    den = q1 == 0 ? 1 : q1;
}

void appendNumberSection(std::string& out, const Section& sec, double magnitude) {
    const auto& toks = sec.tokens;
    if (sec.fraction) {
        // Spreadsheets work on the 15-digit value here too.
        Decimal d15 = toDecimal(magnitude);
        if (!d15.isZero()) {
            d15.point += sec.shift;
        }
        double x = 0;
        if (!d15.isZero()) {
            char buf[64] = "0.";
            char* p = buf + 2;
            for (int k = 0; k < d15.count; ++k) {
                *p++ = d15.digits[k];
            }
            *p++ = 'e';
            p = std::to_chars(p, buf + sizeof buf, d15.point).ptr;
            std::from_chars(buf, p, x);
        }
        if (x >= 1e15) {
            // Beyond 15 digits there is no fraction left to show.
            x = std::floor(x);
        }
        double whole = 0;
        double rest = x;
        if (sec.fractionInteger) {
            whole = std::floor(x);
            rest = x - whole;
        }
        long long num = 0;
        long long den = 1;
        const bool huge = rest >= 1e15; // only without a whole part: the number over 1
        if (huge) {
            num = 1;
        } else if (sec.fixedDen > 0) {
            den = sec.fixedDen;
            num = static_cast<long long>(std::floor(rest * static_cast<double>(den) + 0.5));
        } else {
            long long maxDen = 1;
            for (int k = 0; k < std::min(sec.denCount, 5); ++k) {
                maxDen *= 10;
            }
            bestFraction(rest, std::max(1LL, maxDen - 1), num, den);
        }
        if (sec.fractionInteger && num >= den && den > 0) {
            whole += static_cast<double>(num / den);
            num %= den;
        }
        const IntegerDigits wholeDigits(toDecimal(whole));
        IntWriter iw{wholeDigits.view(), sec.intCount, false, 0, true};
        const bool blankFraction = sec.fractionInteger && num == 0;
        if (sec.fractionInteger && whole == 0 && num == 0) {
            iw.hasZeroPlaceholder = true;
        }
        std::string numDigits;
        if (huge) {
            numDigits = IntegerDigits(toDecimal(rest)).view();
        } else {
            appendInt(numDigits, num);
        }
        std::string denDigits;
        appendInt(denDigits, den);
        int intIndex = 0;
        int numIndex = 0;
        int denIndex = 0;
        bool afterSlash = false;
        for (std::size_t i = 0; i < toks.size(); ++i) {
            const Token& t = toks[i];
            switch (t.kind) {
            case Tok::Literal:
                out += t.text;
                break;
            case Tok::Digit:
                if (!afterSlash && intIndex < sec.intCount) {
                    // A zero whole part is written only when there is no fraction either.
                    if (whole == 0 && num != 0) {
                        if (t.ch == '0') {
                            out += '0';
                        } else if (t.ch == '?') {
                            out += ' ';
                        }
                    } else if (whole == 0) {
                        if (intIndex == sec.intCount - 1) {
                            out += '0';
                        } else if (t.ch == '?') {
                            out += ' ';
                        }
                    } else {
                        iw.write(out, intIndex, t.ch);
                    }
                    ++intIndex;
                } else if (!afterSlash) {
                    const int pos = sec.numCount - 1 - numIndex;
                    const auto len = static_cast<int>(numDigits.size());
                    if (blankFraction) {
                        if (numIndex == 0) {
                            for (int k = sec.numCount; k < len; ++k) {
                                out += ' ';
                            }
                        }
                        out += ' ';
                    } else {
                        if (numIndex == 0) {
                            out.append(numDigits, 0,
                                       static_cast<std::size_t>(std::max(0, len - sec.numCount)));
                        }
                        if (pos < len) {
                            out += numDigits[static_cast<std::size_t>(len - 1 - pos)];
                        } else if (t.ch == '0') {
                            out += '0';
                        } else if (t.ch == '?') {
                            out += ' ';
                        }
                    }
                    ++numIndex;
                } else {
                    const auto len = static_cast<int>(denDigits.size());
                    if (blankFraction) {
                        out += ' ';
                        if (denIndex == sec.denCount - 1) {
                            for (int k = sec.denCount; k < len; ++k) {
                                out += ' ';
                            }
                        }
                    } else if (sec.denZeroPad) {
                        // Zeros pad the denominator on the left, as they pad whole numbers.
                        const int pos = sec.denCount - 1 - denIndex;
                        if (denIndex == 0) {
                            out.append(denDigits, 0,
                                       static_cast<std::size_t>(std::max(0, len - sec.denCount)));
                        }
                        if (pos < len) {
                            out += denDigits[static_cast<std::size_t>(len - 1 - pos)];
                        } else if (t.ch == '0') {
                            out += '0';
                        } else if (t.ch == '?') {
                            out += ' ';
                        }
                    } else {
                        if (denIndex < len) {
                            out += denDigits[static_cast<std::size_t>(denIndex)];
                        } else if (t.ch == '0') {
                            out += '0';
                        } else if (t.ch == '?') {
                            out += ' ';
                        }
                        if (denIndex == sec.denCount - 1 && len > sec.denCount) {
                            out.append(denDigits, static_cast<std::size_t>(sec.denCount));
                        }
                    }
                    ++denIndex;
                }
                break;
            case Tok::Slash:
                afterSlash = true;
                out += blankFraction ? ' ' : '/';
                break;
            case Tok::FixedDenominator:
                if (blankFraction) {
                    out.append(t.text.size(), ' ');
                } else {
                    out += t.text;
                }
                break;
            case Tok::Percent:
                out += '%';
                break;
            case Tok::General:
                appendGeneral(out, x, 0);
                break;
            default:
                break;
            }
        }
        return;
    }

    Decimal d = toDecimal(magnitude);
    if (!d.isZero()) {
        d.point += sec.shift;
    }
    int exponent = 0;
    if (sec.exponent) {
        if (!d.isZero()) {
            const int e10 = d.point - 1;
            const bool engineering = sec.intCount > 1;
            const int period = engineering ? sec.intCount : 1;
            // One digit before the point, or with several placeholders there (##0.0E+0) an
            // exponent that is a multiple of their count.
            const int lead = 1;
            if (engineering) {
                exponent =
                    e10 >= 0 ? e10 / period * period : -((-e10 + period - 1) / period) * period;
            } else {
                exponent = e10;
            }
            d.point -= exponent;
            roundDecimal(d, sec.decCount);
            // A carry (9.99 -> 10.0) moves the point once more.
            if (engineering) {
                if (d.point > period) {
                    d.point -= period;
                    exponent += period;
                }
            } else if (d.point > lead) {
                d.point -= 1;
                exponent += 1;
            }
        }
    } else {
        roundDecimal(d, sec.decCount);
    }
    const IntegerDigits intDigits(d);
    IntWriter iw{intDigits.view(), sec.intCount, sec.grouping, sec.dbnum,
                 sec.hasZeroIntPlaceholder};
    int intIndex = 0;
    int decIndex = 0;
    int expIndex = 0;
    bool afterPoint = false;
    bool afterExponent = false;
    std::string expDigits;
    appendInt(expDigits, std::abs(exponent));
    for (const Token& t : toks) {
        switch (t.kind) {
        case Tok::Literal:
            out += t.text;
            break;
        case Tok::Digit:
            if (afterExponent) {
                const int pos = sec.expDigits - 1 - expIndex;
                const auto len = static_cast<int>(expDigits.size());
                if (expIndex == 0) {
                    out.append(expDigits, 0,
                               static_cast<std::size_t>(std::max(0, len - sec.expDigits)));
                }
                if (pos < len) {
                    out += expDigits[static_cast<std::size_t>(len - 1 - pos)];
                } else if (t.ch == '0') {
                    out += '0';
                } else if (t.ch == '?') {
                    out += ' ';
                }
                ++expIndex;
            } else if (afterPoint) {
                appendDecimalDigit(out, d, decIndex++, t.ch, sec.dbnum);
            } else {
                iw.write(out, intIndex++, t.ch);
            }
            break;
        case Tok::Point:
            afterPoint = true;
            out += '.';
            break;
        case Tok::Percent:
            out += '%';
            break;
        case Tok::Exponent:
            afterExponent = true;
            out += 'E';
            if (exponent < 0) {
                out += '-';
            } else if (t.ch == '+') {
                out += '+';
            }
            break;
        case Tok::General:
            appendGeneral(out, magnitude, sec.dbnum);
            break;
        default:
            break;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Dates and times.

struct CivilDate {
    int year = 1900;
    int month = 1;
    int day = 0;
};

// The date `days` after 1970-01-01 (Howard Hinnant's civil_from_days).
CivilDate civilFromDays(long long z) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// Days from 1970-01-01 to 1899-12-31 and to 1904-01-01.
constexpr long long kEpoch1899_12_31 = -25568;
constexpr long long kEpoch1904_01_01 = -24107;

CivilDate dateOfSerial(long long days, bool date1904) {
    if (date1904) {
        return civilFromDays(kEpoch1904_01_01 + days);
    }
    // The 1900 system counts a 29 February 1900 that never was: serial 60.
    if (days == 0) {
        return {1900, 1, 0};
    }
    if (days == 60) {
        return {1900, 2, 29};
    }
    return civilFromDays(kEpoch1899_12_31 + days - (days > 60 ? 1 : 0));
}

// 0 = Sunday. Serial 1 of the 1900 system is a Sunday there, as in every spreadsheet.
int weekdayOfSerial(long long days, bool date1904) {
    return static_cast<int>(date1904 ? (days + 5) % 7 : (days + 6) % 7);
}

constexpr std::string_view kMonthNames[12] = {"January",   "February", "March",    "April",
                                              "May",       "June",     "July",     "August",
                                              "September", "October",  "November", "December"};
constexpr std::string_view kDayNames[7] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                           "Thursday", "Friday", "Saturday"};
constexpr std::string_view kChineseWeekdays[7] = {"日", "一", "二", "三", "四", "五", "六"};
constexpr std::string_view kChineseMonths[12] = {"一月", "二月", "三月",   "四月",
                                                 "五月", "六月", "七月",   "八月",
                                                 "九月", "十月", "十一月", "十二月"};

void appendField(std::string& out, long long v, int minDigits, int dbnum, bool isYear = false) {
    if (!dbnum) {
        appendInt(out, v, minDigits);
        return;
    }
    std::string digits;
    appendInt(digits, v, isYear ? minDigits : 1);
    if (isYear) {
        appendChineseDigits(out, dbnum, digits);
    } else {
        appendChineseInteger(out, dbnum, v == 0 ? std::string_view() : std::string_view(digits),
                             true);
    }
}

bool appendDateSection(std::string& out, const Section& sec, double value, bool date1904) {
    if (value < 0 || value > (date1904 ? kLastSerial1904 : kLastSerial1900) + 0.99999999) {
        return false;
    }
    long long scale = 1;
    for (int k = 0; k < sec.subSecond; ++k) {
        scale *= 10;
    }
    // Rounded to the finest unit shown (a second, or its tenths to thousandths); coarser units
    // then count whole, as spreadsheets show 10:00:59 under h:mm as 10:00.
    const long long perDay = 86400 * scale;
    const auto ticks =
        static_cast<long long>(std::floor(value * static_cast<double>(perDay) + 0.5));
    const long long days = ticks / perDay;
    const long long dayTicks = ticks % perDay;
    const long long secondOfDay = dayTicks / scale;
    const long long fraction = dayTicks % scale;
    const long long hour = secondOfDay / 3600;
    const long long minute = secondOfDay / 60 % 60;
    const long long second = secondOfDay % 60;
    if (days > static_cast<long long>(date1904 ? kLastSerial1904 : kLastSerial1900)) {
        return false;
    }
    const CivilDate date = dateOfSerial(days, date1904);
    const int weekday = weekdayOfSerial(days, date1904);
    const int dbnum = sec.dbnum;
    for (const Token& t : sec.tokens) {
        switch (t.kind) {
        case Tok::Literal:
            out += t.text;
            break;
        case Tok::Year:
            if (t.count <= 2) {
                appendField(out, date.year % 100, 2, dbnum, true);
            } else {
                appendField(out, date.year, 4, dbnum, true);
            }
            break;
        case Tok::Era:
            appendField(out, date.year, 4, dbnum, true);
            break;
        case Tok::Month:
            if (t.count <= 2) {
                appendField(out, date.month, t.count, dbnum);
            } else if (sec.chinese) {
                if (t.count == 3) {
                    appendInt(out, date.month);
                    out += "月";
                } else {
                    out += kChineseMonths[date.month - 1];
                }
            } else if (t.count == 3) {
                out += kMonthNames[date.month - 1].substr(0, 3);
            } else if (t.count == 5) {
                out += kMonthNames[date.month - 1][0];
            } else {
                out += kMonthNames[date.month - 1];
            }
            break;
        case Tok::Day:
            if (t.count <= 2) {
                appendField(out, date.day, t.count, dbnum);
            } else if (sec.chinese) {
                out += t.count == 3 ? "周" : "星期";
                out += kChineseWeekdays[weekday];
            } else if (t.count == 3) {
                out += kDayNames[weekday].substr(0, 3);
            } else {
                out += kDayNames[weekday];
            }
            break;
        case Tok::Weekday:
            if (t.count >= 4) {
                out += "星期";
            }
            out += kChineseWeekdays[weekday];
            break;
        case Tok::Hour: {
            long long h = hour;
            if (sec.hasAmPm) {
                h = hour % 12 == 0 ? 12 : hour % 12;
            }
            appendField(out, h, std::min(t.count, 2), dbnum);
            break;
        }
        case Tok::Minute:
            appendField(out, minute, std::min(t.count, 2), dbnum);
            break;
        case Tok::Second:
            appendField(out, second, std::min(t.count, 2), dbnum);
            break;
        case Tok::SubSecond: {
            out += '.';
            std::string digits;
            appendInt(digits, fraction, sec.subSecond);
            for (int k = 0; k < t.count; ++k) {
                out += k < sec.subSecond ? digits[static_cast<std::size_t>(k)] : '0';
            }
            break;
        }
        case Tok::ElapsedHour:
            appendInt(out, days * 24 + hour, t.count);
            break;
        case Tok::ElapsedMinute:
            appendInt(out, (days * 24 + hour) * 60 + minute, t.count);
            break;
        case Tok::ElapsedSecond:
            appendInt(out, ((days * 24 + hour) * 60 + minute) * 60 + second, t.count);
            break;
        case Tok::AmPm: {
            const std::string_view text = t.text;
            const std::size_t slash = text.find('/');
            const bool pm = hour >= 12;
            if (text == "上午/下午" || (sec.chinese && text.size() == 5)) {
                out += pm ? "下午" : "上午";
            } else {
                out += pm ? text.substr(slash + 1) : text.substr(0, slash);
            }
            break;
        }
        default:
            break;
        }
    }
    return true;
}

// ---------------------------------------------------------------------------------------------

bool matches(CondOp op, double limit, double v) {
    switch (op) {
    case CondOp::None:
        return true;
    case CondOp::Lt:
        return v < limit;
    case CondOp::Le:
        return v <= limit;
    case CondOp::Gt:
        return v > limit;
    case CondOp::Ge:
        return v >= limit;
    case CondOp::Eq:
        return v == limit;
    case CondOp::Ne:
        return v != limit;
    }
    return true;
}

void appendText(std::string& out, const Section& sec, std::string_view text) {
    for (const Token& t : sec.tokens) {
        if (t.kind == Tok::Literal) {
            out += t.text;
        } else if (t.kind == Tok::Text) {
            out += text;
        }
    }
}

} // namespace

DisplayText formatNumber(double value, std::string_view code, bool date1904) {
    DisplayText result;
    if (!std::isfinite(value)) {
        // No cell holds these; a formula's overflow shows as this error.
        result.text = cellErrorText(CellErrorCode::Num);
        return result;
    }
    if (value == 0) {
        value = 0; // negative zero shows as zero
    }
    const ParsedFormat* f = code.empty() ? nullptr : parsedFormat(code);
    if (f == nullptr || f->numericCount == 0) {
        if (value < 0) {
            result.text += '-';
        }
        appendGeneral(result.text, std::fabs(value), 0);
        return result;
    }
    const Section* sec = nullptr;
    for (int k = 0; k < f->numericCount && sec == nullptr; ++k) {
        const Section& s = f->sections[static_cast<std::size_t>(f->numeric[k])];
        if (matches(s.effOp, s.effLimit, value)) {
            sec = &s;
        }
    }
    if (sec == nullptr) {
        sec = &f->sections[static_cast<std::size_t>(f->numeric[f->numericCount - 1])];
    }
    result.hasColor = sec->hasColor;
    result.argb = sec->argb;
    if (sec->kind == SectionKind::Date) {
        if (!appendDateSection(result.text, *sec, value, date1904)) {
            result.text = kInvalidDate;
        }
        return result;
    }
    if (value < 0 && !sec->negativeRole) {
        result.text += '-';
    }
    appendNumberSection(result.text, *sec, std::fabs(value));
    return result;
}

DisplayText formatText(std::string_view text, std::string_view code) {
    DisplayText result;
    const ParsedFormat* f = code.empty() ? nullptr : parsedFormat(code);
    if (f == nullptr || f->textSection < 0) {
        result.text.assign(text);
        return result;
    }
    const Section& sec = f->sections[static_cast<std::size_t>(f->textSection)];
    result.hasColor = sec.hasColor;
    result.argb = sec.argb;
    appendText(result.text, sec, text);
    return result;
}

DisplayText displayText(const Workbook& book, const Cell& cell) {
    switch (cell.type) {
    case CellType::Number:
        return formatNumber(cell.number, book.styles.at(cell.style).numberFormat, book.date1904);
    case CellType::Text:
        return formatText(book.strings.at(cell.text).text, book.styles.at(cell.style).numberFormat);
    case CellType::Bool:
        return {cell.boolean ? "TRUE" : "FALSE"};
    case CellType::Error:
        return {std::string(cellErrorText(static_cast<CellErrorCode>(cell.error)))};
    case CellType::Empty:
        break;
    }
    return {};
}

} // namespace quenly::wb::print
