// The number-format engine: turns cell values into the text a spreadsheet shows for them.
#include "number_format.h"

#include <charconv>
#include <cmath>
#include <string>

namespace quenly::wb::print {

namespace {

// The value's 15 significant decimal digits, as spreadsheets keep them: value = 0.d1d2.. x
// 10^point.
struct Decimal {
    char digits[24] = {};
    int count = 0;
    int point = 0;
};

Decimal toDecimal(double v) {
    Decimal d;
    v = std::fabs(v);
    if (v == 0 || !std::isfinite(v)) {
        return d;
    }
    char buf[40];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, 14);
    const char* p = buf;
    const char* end = r.ptr;
    int n = 0;
    for (; p < end && *p != 'e'; ++p) {
        if (*p >= '0' && *p <= '9') {
            d.digits[n++] = *p;
        }
    }
    int exp = 0;
    if (p < end) {
        std::from_chars(p + 1 + (p[1] == '+'), end, exp);
    }
    while (n > 0 && d.digits[n - 1] == '0') {
        --n;
    }
    d.count = n;
    d.point = exp + 1;
    return d;
}

void roundDecimal(Decimal& d, int decimals) {
    int keep = d.point + decimals;
    if (keep >= d.count) {
        return;
    }
    if (keep < 0) {
        d.count = 0;
        return;
    }
    bool up = d.digits[keep] >= '5';
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
            d.digits[i] += 1;
            d.count = i + 1;
        }
    }
    while (d.count > 0 && d.digits[d.count - 1] == '0') {
        --d.count;
    }
}

std::string fixedText(Decimal d, int decimals, bool grouping) {
    roundDecimal(d, decimals);
    std::string out;
    if (d.count == 0 || d.point <= 0) {
        out += '0';
    } else {
        for (int i = 0; i < d.point; ++i) {
            if (grouping && i > 0 && (d.point - i) % 3 == 0) {
                out += ',';
            }
            out += i < d.count ? d.digits[i] : '0';
        }
    }
    if (decimals > 0) {
        out += '.';
        for (int i = 0; i < decimals; ++i) {
            int idx = d.point + i;
            out += idx >= 0 && idx < d.count ? d.digits[idx] : '0';
        }
    }
    return out;
}

std::string generalText(double v) {
    if (v == 0 || !std::isfinite(v)) {
        return "0";
    }
    Decimal d = toDecimal(v);
    std::string out = v < 0 ? "-" : "";
    if (d.point <= 11 && d.point > -9) {
        int decimals = d.point > 0 ? 10 - d.point : 9;
        std::string s = fixedText(d, decimals < 0 ? 0 : decimals, false);
        if (s.find('.') != std::string::npos) {
            while (s.back() == '0') {
                s.pop_back();
            }
            if (s.back() == '.') {
                s.pop_back();
            }
        }
        if (s != "0") {
            return out + s;
        }
    }
    roundDecimal(d, 6 - d.point);
    int exp = d.point - 1;
    out += d.digits[0];
    if (d.count > 1) {
        out += '.';
        out.append(d.digits + 1, static_cast<std::size_t>(d.count - 1));
    }
    out += exp < 0 ? "E-" : "E+";
    int a = std::abs(exp);
    if (a < 10) {
        out += '0';
    }
    out += std::to_string(a);
    return out;
}

} // namespace

DisplayText formatNumber(double value, std::string_view code, bool /*date1904*/) {
    DisplayText r;
    if (code.empty() || code == "General" || code == "@") {
        r.text = generalText(value);
        return r;
    }
    std::string_view section = code.substr(0, code.find(';'));
    bool percent = section.find('%') != std::string_view::npos;
    bool grouping = section.find(',') != std::string_view::npos;
    auto dot = section.find('.');
    int decimals = 0;
    if (dot != std::string_view::npos) {
        while (dot + 1 + decimals < section.size() && section[dot + 1 + decimals] == '0') {
            ++decimals;
        }
    }
    if (section.find_first_of("0#") == std::string_view::npos) {
        r.text = generalText(value);
        return r;
    }
    Decimal d = toDecimal(value);
    if (percent) {
        d.point += 2;
    }
    std::string s = fixedText(d, decimals, grouping);
    bool zero = s.find_first_not_of("0.,") == std::string::npos;
    r.text = (value < 0 && !zero ? "-" : "") + s + (percent ? "%" : "");
    return r;
}

DisplayText formatText(std::string_view text, std::string_view /*code*/) {
    return {std::string(text)};
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
        switch (cell.error) {
        case 0x00:
            return {"#NULL!"};
        case 0x07:
            return {"#DIV/0!"};
        case 0x0F:
            return {"#VALUE!"};
        case 0x17:
            return {"#REF!"};
        case 0x1D:
            return {"#NAME?"};
        case 0x24:
            return {"#NUM!"};
        case 0x2B:
            return {"#GETTING_DATA"};
        default:
            return {"#N/A"};
        }
    case CellType::Empty:
        break;
    }
    return {};
}

} // namespace quenly::wb::print
