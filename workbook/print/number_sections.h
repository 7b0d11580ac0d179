// Numbers shown through the number sections of format codes: General, decimals with grouping
// and exponents, and fractions. Internal to the number-format engine.
#pragma once

#include <string>
#include <string_view>

#include "print/decimal_digits.h"
#include "print/format_code.h"

namespace quenly::wb::print::detail {

/// General: up to 11 characters without the sign, as in a column of standard width: integers
/// of up to 11 digits as they are, others with up to 10 significant digits, and scientific
/// notation (1.23457E+11) where the plain form would not fit or would lose digits.
void appendGeneral(std::string& out, double magnitude, int dbnum);

/// Appends `magnitude` (>= 0) as the number section `sec` shows it, without a sign of its own.
void appendNumberSection(std::string& out, const Section& sec, double magnitude);

/// The same for a section that shows a fraction (sec.fraction).
void appendFractionSection(std::string& out, const Section& sec, double magnitude);

/// Writes the whole-number digits `digits` (no leading zeros) through the placeholders of the
/// integer part; `index` counts the placeholders from the left.
struct IntWriter {
    std::string_view digits;
    int placeholders = 0;
    bool grouping = false;
    int dbnum = 0;
    bool hasZeroPlaceholder = false;

    void put(std::string& out, char c, int pos) const;
    void write(std::string& out, int index, char ph) const;
};

/// The whole-number digits of a value, without leading zeros; empty for zero. Short ones (all
/// but the rarest) stay on the stack.
class IntegerDigits {
public:
    explicit IntegerDigits(const Decimal& d);
    IntegerDigits(const IntegerDigits&) = delete;
    IntegerDigits& operator=(const IntegerDigits&) = delete;
    std::string_view view() const { return m_view; }

private:
    char m_small[64];
    std::string m_big;
    std::string_view m_view;
};

} // namespace quenly::wb::print::detail
