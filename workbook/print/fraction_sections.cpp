// Numbers shown as fractions: "# ?/?", "?/8", "0 ??/100", with or without a whole part.
#include "print/number_sections.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace quenly::wb::print::detail {

namespace {

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

// The value of the 15 digits spreadsheets keep of `magnitude`, scaled by the section's percent
// signs.
double fifteenDigitValue(double magnitude, int shift) {
    Decimal d15 = toDecimal(magnitude);
    if (d15.isZero()) {
        return 0;
    }
    d15.point += shift;
    char buf[64] = "0.";
    char* p = buf + 2;
    for (int k = 0; k < d15.count; ++k) {
        *p++ = d15.digits[k];
    }
    *p++ = 'e';
    p = std::to_chars(p, buf + sizeof buf, d15.point).ptr;
    double x = 0;
    std::from_chars(buf, p, x);
    return x;
}

// A value as a fraction section shows it: whole part, numerator and denominator.
struct FractionParts {
    double value = 0; // the value shown, as spreadsheets keep it
    double whole = 0;
    double rest = 0;
    long long num = 0;
    long long den = 1;
    bool huge = false; // too large for a fraction, with no whole part: the number over 1
};

FractionParts fractionOf(const Section& sec, double magnitude) {
    FractionParts p;
    double x = fifteenDigitValue(magnitude, sec.shift);
    if (x >= 1e15) {
        // Beyond 15 digits there is no fraction left to show.
        x = std::floor(x);
    }
    p.value = x;
    p.rest = x;
    if (sec.fractionInteger) {
        p.whole = std::floor(x);
        p.rest = x - p.whole;
    }
    p.huge = p.rest >= 1e15;
    if (p.huge) {
        p.num = 1;
    } else if (sec.fixedDen > 0) {
        p.den = sec.fixedDen;
        p.num = static_cast<long long>(std::floor(p.rest * static_cast<double>(p.den) + 0.5));
    } else {
        long long maxDen = 1;
        for (int k = 0; k < std::min(sec.denCount, 5); ++k) {
            maxDen *= 10;
        }
        bestFraction(p.rest, std::max(1LL, maxDen - 1), p.num, p.den);
    }
    if (sec.fractionInteger && p.num >= p.den && p.den > 0) {
        p.whole += static_cast<double>(p.num / p.den);
        p.num %= p.den;
    }
    return p;
}

// Writes the parts of a fraction through the placeholders of its section, one at a time.
class FractionWriter {
public:
    FractionWriter(const Section& sec, const FractionParts& parts)
        : m_sec(sec)
        , m_parts(parts)
        , m_wholeDigits(toDecimal(parts.whole))
        , m_whole{m_wholeDigits.view(), sec.intCount, false, 0, true}
        , m_blank(sec.fractionInteger && parts.num == 0) {
        if (parts.huge) {
            m_numDigits = IntegerDigits(toDecimal(parts.rest)).view();
        } else {
            appendInt(m_numDigits, parts.num);
        }
        appendInt(m_denDigits, parts.den);
    }

    // Whether the fraction shows as blanks: a whole number under a code with a whole part.
    bool blank() const { return m_blank; }

    void digit(std::string& out, char ph, bool afterSlash) {
        if (afterSlash) {
            denominatorDigit(out, ph);
        } else if (m_intIndex < m_sec.intCount) {
            wholeDigit(out, ph);
        } else {
            numeratorDigit(out, ph);
        }
    }

private:
    void wholeDigit(std::string& out, char ph) {
        // A zero whole part is written only when there is no fraction either.
        if (m_parts.whole == 0 && m_parts.num != 0) {
            if (ph == '0') {
                out += '0';
            } else if (ph == '?') {
                out += ' ';
            }
        } else if (m_parts.whole == 0) {
            if (m_intIndex == m_sec.intCount - 1) {
                out += '0';
            } else if (ph == '?') {
                out += ' ';
            }
        } else {
            m_whole.write(out, m_intIndex, ph);
        }
        ++m_intIndex;
    }

    void numeratorDigit(std::string& out, char ph) {
        const int pos = m_sec.numCount - 1 - m_numIndex;
        const auto len = static_cast<int>(m_numDigits.size());
        if (m_blank) {
            if (m_numIndex == 0) {
                for (int k = m_sec.numCount; k < len; ++k) {
                    out += ' ';
                }
            }
            out += ' ';
        } else {
            if (m_numIndex == 0) {
                out.append(m_numDigits, 0,
                           static_cast<std::size_t>(std::max(0, len - m_sec.numCount)));
            }
            placeholder(out, pos < len ? m_numDigits[static_cast<std::size_t>(len - 1 - pos)] : 0,
                        ph);
        }
        ++m_numIndex;
    }

    void denominatorDigit(std::string& out, char ph) {
        const auto len = static_cast<int>(m_denDigits.size());
        if (m_blank) {
            out += ' ';
            if (m_denIndex == m_sec.denCount - 1) {
                for (int k = m_sec.denCount; k < len; ++k) {
                    out += ' ';
                }
            }
        } else if (m_sec.denZeroPad) {
            // Zeros pad the denominator on the left, as they pad whole numbers.
            const int pos = m_sec.denCount - 1 - m_denIndex;
            if (m_denIndex == 0) {
                out.append(m_denDigits, 0,
                           static_cast<std::size_t>(std::max(0, len - m_sec.denCount)));
            }
            placeholder(out, pos < len ? m_denDigits[static_cast<std::size_t>(len - 1 - pos)] : 0,
                        ph);
        } else {
            placeholder(
                out, m_denIndex < len ? m_denDigits[static_cast<std::size_t>(m_denIndex)] : 0, ph);
            if (m_denIndex == m_sec.denCount - 1 && len > m_sec.denCount) {
                out.append(m_denDigits, static_cast<std::size_t>(m_sec.denCount));
            }
        }
        ++m_denIndex;
    }

    // A digit where there is one (c != 0); else what the placeholder shows in its place.
    static void placeholder(std::string& out, char c, char ph) {
        if (c != 0) {
            out += c;
        } else if (ph == '0') {
            out += '0';
        } else if (ph == '?') {
            out += ' ';
        }
    }

    const Section& m_sec;
    const FractionParts& m_parts;
    IntegerDigits m_wholeDigits;
    IntWriter m_whole;
    bool m_blank;
    std::string m_numDigits;
    std::string m_denDigits;
    int m_intIndex = 0;
    int m_numIndex = 0;
    int m_denIndex = 0;
};

} // namespace

void appendFractionSection(std::string& out, const Section& sec, double magnitude) {
    const FractionParts parts = fractionOf(sec, magnitude);
    FractionWriter writer(sec, parts);
    bool afterSlash = false;
    for (const Token& t : sec.tokens) {
        switch (t.kind) {
        case Tok::Literal:
            out += t.text;
            break;
        case Tok::Digit:
            writer.digit(out, t.ch, afterSlash);
            break;
        case Tok::Slash:
            afterSlash = true;
            out += writer.blank() ? ' ' : '/';
            break;
        case Tok::FixedDenominator:
            if (writer.blank()) {
                out.append(t.text.size(), ' ');
            } else {
                out += t.text;
            }
            break;
        case Tok::Percent:
            out += '%';
            break;
        case Tok::General:
            appendGeneral(out, parts.value, 0);
            break;
        default:
            break;
        }
    }
}

} // namespace quenly::wb::print::detail
