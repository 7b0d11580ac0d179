// Numbers through number sections: General, and decimals with grouping, scaling, percent and
// exponents.
#include "print/number_sections.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "print/chinese_numerals.h"
#include "workbook.h"

namespace quenly::wb::print::detail {

namespace {

// Rounds `d` for General and says whether it shows in scientific notation; `d` then holds the
// digits to show.
bool roundForGeneral(Decimal& d, double magnitude) {
    if (d.point > 11) {
        return true;
    }
    if (d.point > 0) {
        roundDecimal(d, std::max(0, 10 - d.point));
        return d.point > 11;
    }
    // Below 1: "0." leaves nine places; scientific shows six digits (five past E-99).
    const int fixedDigits = 9 + d.point;
    const int sciDigits = d.point <= -99 ? 5 : 6;
    if (fixedDigits >= std::min(d.count, sciDigits)) {
        roundDecimal(d, 9);
        if (!d.isZero()) {
            return false;
        }
    }
    d = toDecimal(magnitude);
    return true;
}

void appendScientific(std::string& out, Decimal d, int dbnum) {
    const std::size_t start = out.size();
    const int sig = std::abs(d.point - 1) >= 100 ? 5 : 6;
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
}

void appendPlain(std::string& out, const Decimal& d, int dbnum) {
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

// Rounds `d` to the section's decimals and returns the exponent it shows with: one digit before
// the point, or with several placeholders there (##0.0E+0) an exponent that is a multiple of
// their count.
int roundWithExponent(Decimal& d, const Section& sec) {
    if (d.isZero()) {
        return 0;
    }
    const int e10 = d.point - 1;
    const bool engineering = sec.intCount > 1;
    const int period = engineering ? sec.intCount : 1;
    int exponent = e10;
    if (engineering) {
        exponent = e10 >= 0 ? e10 / period * period : -((-e10 + period - 1) / period) * period;
    }
    d.point -= exponent;
    roundDecimal(d, sec.decCount);
    // A carry (9.99 -> 10.0) moves the point once more.
    if (d.point > period) {
        d.point -= period;
        exponent += period;
    }
    return exponent;
}

// Writes the digits of the exponent through its placeholders; `index` counts them from the left.
void appendExponentDigit(std::string& out, std::string_view digits, int placeholders, int index,
                         char ph) {
    const int pos = placeholders - 1 - index;
    const auto len = static_cast<int>(digits.size());
    if (index == 0) {
        out.append(digits, 0, static_cast<std::size_t>(std::max(0, len - placeholders)));
    }
    if (pos < len) {
        out += digits[static_cast<std::size_t>(len - 1 - pos)];
    } else if (ph == '0') {
        out += '0';
    } else if (ph == '?') {
        out += ' ';
    }
}

void appendDecimalSection(std::string& out, const Section& sec, double magnitude) {
    Decimal d = toDecimal(magnitude);
    if (!d.isZero()) {
        d.point += sec.shift;
    }
    int exponent = 0;
    if (sec.exponent) {
        exponent = roundWithExponent(d, sec);
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
    for (const Token& t : sec.tokens) {
        switch (t.kind) {
        case Tok::Literal:
            out += t.text;
            break;
        case Tok::Digit:
            if (afterExponent) {
                appendExponentDigit(out, expDigits, sec.expDigits, expIndex++, t.ch);
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

} // namespace

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
    if (roundForGeneral(d, magnitude)) {
        appendScientific(out, d, dbnum);
    } else {
        appendPlain(out, d, dbnum);
    }
}

void appendNumberSection(std::string& out, const Section& sec, double magnitude) {
    if (sec.fraction) {
        appendFractionSection(out, sec, magnitude);
    } else {
        appendDecimalSection(out, sec, magnitude);
    }
}

void IntWriter::put(std::string& out, char c, int pos) const {
    out += c;
    if (grouping && pos > 0 && pos % 3 == 0) {
        out += ',';
    }
}

void IntWriter::write(std::string& out, int index, char ph) const {
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

IntegerDigits::IntegerDigits(const Decimal& d) {
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

} // namespace quenly::wb::print::detail
