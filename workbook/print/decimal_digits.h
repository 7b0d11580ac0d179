// Decimal digits of numbers as spreadsheets keep them: 15 significant digits, rounded halves away
// from zero. Internal to the number-format engine.
#pragma once

#include <string>

namespace quenly::wb::print::detail {

/// The decimal digits of a value: value = 0.d1 d2 ... dn x 10^point, without trailing zeros.
struct Decimal {
    char digits[24] = {};
    int count = 0;
    int point = 0;

    char at(int i) const { return i >= 0 && i < count ? digits[i] : '0'; }
    bool isZero() const { return count == 0; }
};

/// The 15 significant digits of `magnitude` (its sign is ignored); zero for 0 and non-finite
/// values.
Decimal toDecimal(double magnitude);

/// Rounds to `decimals` places after the point, halves away from zero.
void roundDecimal(Decimal& d, int decimals);

/// Rounds to `significant` digits in all.
void roundSignificant(Decimal& d, int significant);

/// Appends `v` in decimal, with leading zeros up to `minDigits` digits.
void appendInt(std::string& out, long long v, int minDigits = 1);

} // namespace quenly::wb::print::detail
