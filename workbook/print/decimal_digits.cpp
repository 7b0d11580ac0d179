// Decimal digits of numbers as spreadsheets keep them, and their rounding.
#include "print/decimal_digits.h"

#include <charconv>
#include <cmath>

namespace quenly::wb::print::detail {

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

void roundSignificant(Decimal& d, int significant) {
    roundDecimal(d, significant - d.point);
}

void appendInt(std::string& out, long long v, int minDigits) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    for (auto len = static_cast<int>(res.ptr - buf); len < minDigits; ++len) {
        out += '0';
    }
    out.append(buf, res.ptr);
}

} // namespace quenly::wb::print::detail
