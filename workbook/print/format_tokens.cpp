// Reads format codes into tokens: quoted and escaped text, brackets (colours, conditions,
// locales, elapsed times), keywords, date letters and placeholders.
#include "print/format_code.h"

#include <algorithm>
#include <charconv>

#include "color_palette.h"
#include "text_util.h"

namespace quenly::wb::print::detail {

namespace {

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

void addAmPm(Section& sec, std::string_view text) {
    Token t;
    t.kind = Tok::AmPm;
    t.text = std::string(text);
    sec.tokens.push_back(std::move(t));
}

// Reads the keyword at `i` (General, G/通用格式, AM/PM, A/P, 上午/下午); returns its length, or 0
// when none starts there.
std::size_t parseKeyword(std::string_view s, std::size_t i, Section& sec) {
    if (startsWithNoCase(s, i, "general")) {
        addToken(sec, Tok::General);
        return 7;
    }
    if (startsWith(s, i, "G/通用格式")) {
        addToken(sec, Tok::General);
        return std::string_view("G/通用格式").size();
    }
    for (const std::string_view word : {"am/pm", "a/p"}) {
        if (startsWithNoCase(s, i, word)) {
            addAmPm(sec, s.substr(i, word.size()));
            return word.size();
        }
    }
    if (startsWith(s, i, "上午/下午")) {
        addAmPm(sec, "上午/下午");
        return std::string_view("上午/下午").size();
    }
    return 0;
}

// Reads the run of one date letter (y, e, m, d, h, s or a, in either case) at `i`; returns its
// length.
std::size_t parseDateLetters(std::string_view s, std::size_t i, Section& sec) {
    const char l = lower(s[i]);
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
    return j - i;
}

// Reads the placeholder or sign at `i` (0 # ? . , % / @), or one character of text; returns its
// length.
std::size_t parseSymbol(std::string_view s, std::size_t i, Section& sec) {
    const char c = s[i];
    switch (c) {
    case '0':
    case '#':
    case '?':
        addToken(sec, Tok::Digit, c);
        return 1;
    case '.':
        addToken(sec, Tok::Point);
        return 1;
    case ',':
        addToken(sec, Tok::Comma);
        return 1;
    case '%':
        addToken(sec, Tok::Percent);
        return 1;
    case '/':
        addToken(sec, Tok::Slash);
        return 1;
    case '@':
        addToken(sec, Tok::Text);
        return 1;
    default: {
        const std::size_t n = codePointLength(s, i);
        addLiteral(sec, s.substr(i, n));
        return n;
    }
    }
}

} // namespace

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
            // Room as wide as a character, or a character repeated to fill the cell: a marker
            // and the character, which the finished text turns into a blank and notes.
            const std::size_t n = i + 1 < s.size() ? codePointLength(s, i + 1) : 0;
            std::string marked = n == 0 ? " " : std::string(1, c == '_' ? kSpaceMark : kFillMark);
            marked += s.substr(i + 1, n);
            addLiteral(sec, marked);
            i += 1 + n;
        } else if (c == '[') {
            const std::size_t close = s.find(']', i + 1);
            if (close == std::string_view::npos) {
                return false;
            }
            if (!parseBracket(s.substr(i + 1, close - i - 1), sec)) {
                return false;
            }
            i = close + 1;
        } else if (const std::size_t keyword = parseKeyword(s, i, sec); keyword > 0) {
            i += keyword;
        } else if ((c == 'e' || c == 'E') && i + 1 < s.size() &&
                   (s[i + 1] == '+' || s[i + 1] == '-')) {
            addToken(sec, Tok::Exponent, s[i + 1]);
            i += 2;
        } else if (isAsciiLetter(c) && std::string_view("ymdhsae").find(lower(c)) != s.npos) {
            i += parseDateLetters(s, i, sec);
        } else {
            i += parseSymbol(s, i, sec);
        }
    }
    return true;
}

} // namespace quenly::wb::print::detail
