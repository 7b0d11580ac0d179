// Classifies the sections of format codes (number, fraction, date or text) and assembles a
// parsed code: which section serves which values.
#include "print/format_code.h"

#include <algorithm>
#include <charconv>

namespace quenly::wb::print::detail {

namespace {

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

// The bar of a fraction: digits, the bar, then digits or a number; toks.size() when there is none.
std::size_t fractionBar(const std::vector<Token>& toks) {
    const std::size_t n = toks.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (toks[i].kind == Tok::Slash && i > 0 && toks[i - 1].kind == Tok::Digit && i + 1 < n &&
            (toks[i + 1].kind == Tok::Digit ||
             (toks[i + 1].kind == Tok::Literal && toks[i + 1].text[0] >= '1' &&
              toks[i + 1].text[0] <= '9'))) {
            return i;
        }
    }
    return n;
}

// A fixed denominator: the digits after the bar, its zeros read as placeholders, become one
// token.
void readFixedDenominator(Section& sec, std::size_t slash) {
    auto& toks = sec.tokens;
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
}

void classifyFraction(Section& sec, std::size_t slash) {
    auto& toks = sec.tokens;
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
        readFixedDenominator(sec, slash);
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
}

// Where the scan of a number section's tokens has come to.
struct NumberScan {
    std::size_t lastDigit = 0; // the last digit of the mantissa, or the token count
    bool seenDigit = false;
    bool seenPoint = false;
    bool seenExponent = false;
};

// A comma groups thousands between the digits of the whole part, scales by a thousand right
// after the last digit, and is text elsewhere.
void classifyComma(Section& sec, std::size_t i, const NumberScan& scan) {
    auto& toks = sec.tokens;
    Token& t = toks[i];
    const std::size_t n = toks.size();
    if (scan.seenDigit && !scan.seenPoint && !scan.seenExponent && i < scan.lastDigit) {
        sec.grouping = true;
        t.kind = Tok::Literal; // dropped: the grouping is written with the digits
        t.text.clear();
    } else if (scan.seenDigit && i > scan.lastDigit && scan.lastDigit < n && !scan.seenExponent) {
        // Scaling commas follow the last digit, with nothing but commas between.
        bool adjacent = true;
        for (std::size_t j = scan.lastDigit + 1; j < i; ++j) {
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
}

void classifyDecimal(Section& sec) {
    auto& toks = sec.tokens;
    const std::size_t n = toks.size();
    NumberScan scan;
    scan.lastDigit = n;
    for (std::size_t i = 0; i < n && toks[i].kind != Tok::Exponent; ++i) {
        if (toks[i].kind == Tok::Digit) {
            scan.lastDigit = i;
        }
    }
    for (std::size_t i = 0; i < n; ++i) {
        Token& t = toks[i];
        switch (t.kind) {
        case Tok::Digit:
            scan.seenDigit = true;
            if (scan.seenExponent) {
                ++sec.expDigits;
            } else if (scan.seenPoint) {
                ++sec.decCount;
            } else {
                ++sec.intCount;
                sec.hasZeroIntPlaceholder = sec.hasZeroIntPlaceholder || t.ch == '0';
            }
            break;
        case Tok::Point:
            if (scan.seenPoint || scan.seenExponent) {
                toLiteral(t);
            } else {
                scan.seenPoint = true;
            }
            break;
        case Tok::Comma:
            classifyComma(sec, i, scan);
            break;
        case Tok::Percent:
            sec.shift += 2;
            break;
        case Tok::Exponent:
            if (scan.seenExponent || !scan.seenDigit) {
                toLiteral(t);
            } else {
                scan.seenExponent = true;
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
}

void classifyNumber(Section& sec) {
    sec.kind = SectionKind::Number;
    if (const std::size_t slash = fractionBar(sec.tokens); slash < sec.tokens.size()) {
        classifyFraction(sec, slash);
    } else {
        classifyDecimal(sec);
    }
    mergeLiterals(sec);
}

} // namespace

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

namespace {

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

} // namespace

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

} // namespace quenly::wb::print::detail
