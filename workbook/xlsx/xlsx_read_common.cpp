// Addresses, numbers, escapes, dates, colours and font elements of SpreadsheetML.
#include "xlsx/xlsx_read_common.h"
#include "text_util.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace quenly::wb::xlsx_read {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() &&
           (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() &&
           (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The code unit of an escape "_xHHHH_" starting at s[i], or -1.
int escapeAt(const std::string& s, std::size_t i) {
    if (i + 7 > s.size() || s[i] != '_' || s[i + 1] != 'x' || s[i + 6] != '_') {
        return -1;
    }
    int v = 0;
    for (std::size_t k = i + 2; k < i + 6; ++k) {
        const int d = hexDigit(s[k]);
        if (d < 0) {
            return -1;
        }
        v = v * 16 + d;
    }
    return v;
}

// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

bool digits(std::string_view s, std::size_t pos, std::size_t n, int& out) {
    if (pos + n > s.size()) {
        return false;
    }
    out = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9') {
            return false;
        }
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

// "hh:mm[:ss[.fff]]" from `pos` as a fraction of a day; trailing zone text is ignored.
bool parseTime(std::string_view s, std::size_t pos, double& fraction) {
    int h = 0;
    int m = 0;
    int sec = 0;
    if (!digits(s, pos, 2, h) || pos + 2 >= s.size() || s[pos + 2] != ':' ||
        !digits(s, pos + 3, 2, m)) {
        return false;
    }
    double seconds = 0;
    std::size_t p = pos + 5;
    if (p < s.size() && s[p] == ':') {
        if (!digits(s, p + 1, 2, sec)) {
            return false;
        }
        seconds = sec;
        p += 3;
        if (p < s.size() && s[p] == '.') {
            double scale = 0.1;
            for (++p; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p) {
                seconds += (s[p] - '0') * scale;
                scale /= 10;
            }
        }
    }
    if (h > 24 || m > 59 || sec > 60) {
        return false;
    }
    fraction = (h * 3600.0 + m * 60.0 + seconds) / 86400.0;
    return true;
}

} // namespace

std::optional<double> parseDouble(std::string_view text) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

std::optional<std::uint32_t> parseUnsigned(std::string_view text) {
    text = trim(text);
    std::uint32_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return v;
}

std::optional<int> parseInt(std::string_view text) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
    }
    int v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return v;
}

bool parseBool(const char* text, bool fallback) {
    if (!text) {
        return fallback;
    }
    const std::string_view t = trim(text);
    if (t == "1" || t == "true" || t == "on") {
        return true;
    }
    if (t == "0" || t == "false" || t == "off") {
        return false;
    }
    return fallback;
}

void decodeEscapes(std::string& text) {
    std::size_t i = text.find("_x");
    if (i == std::string::npos) {
        return;
    }
    std::string out(text, 0, i);
    while (i < text.size()) {
        const int unit = escapeAt(text, i);
        if (unit < 0) {
            out.push_back(text[i]);
            ++i;
            continue;
        }
        i += 7;
        std::uint32_t cp = static_cast<std::uint32_t>(unit);
        if (cp >= 0xD800 && cp <= 0xDBFF) {
            const int low = escapeAt(text, i);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + static_cast<std::uint32_t>(low - 0xDC00);
                i += 7;
            } else {
                cp = 0xFFFD;
            }
        } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp != 0) {
            appendUtf8(out, cp);
        }
    }
    text.swap(out);
}

std::optional<double> parseIsoDate(std::string_view text, bool date1904) {
    text = trim(text);
    double fraction = 0;
    if (text.size() >= 5 && text[2] == ':') {
        if (!parseTime(text, 0, fraction)) {
            return std::nullopt;
        }
        return fraction;
    }
    int y = 0;
    int m = 0;
    int d = 0;
    if (!digits(text, 0, 4, y) || text.size() < 10 || text[4] != '-' || !digits(text, 5, 2, m) ||
        text[7] != '-' || !digits(text, 8, 2, d) || m < 1 || m > 12 || d < 1 || d > 31) {
        return std::nullopt;
    }
    if (text.size() > 10) {
        if (text[10] != 'T' && text[10] != ' ') {
            return std::nullopt;
        }
        if (!parseTime(text, 11, fraction)) {
            return std::nullopt;
        }
    }
    const long long days = daysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
    double serial = 0;
    if (date1904) {
        serial = static_cast<double>(days - daysFromCivil(1904, 1, 1));
    } else {
        serial = static_cast<double>(days - daysFromCivil(1899, 12, 30));
        // The 1900 system counts a 29 February 1900 that never was.
        if (serial < 61) {
            serial -= 1;
        }
    }
    return serial + fraction;
}

ThemeColors defaultThemeColors() {
    return {0xFFFFFFFF, 0xFF000000, 0xFFEEECE1, 0xFF1F497D, 0xFF4F81BD, 0xFFC0504D,
            0xFF9BBB59, 0xFF8064A2, 0xFF4BACC6, 0xFFF79646, 0xFF0000FF, 0xFF800080};
}

RawColor RawColor::fromAttributes(const Attributes& a) {
    RawColor c;
    if (const char* t = a.get("tint")) {
        c.tint = parseDouble(t).value_or(0);
    }
    if (const char* rgb = a.get("rgb")) {
        std::string_view v = trim(rgb);
        std::uint32_t value = 0;
        bool ok = v.size() == 6 || v.size() == 8;
        for (char ch : v) {
            const int h = hexDigit(ch);
            ok = ok && h >= 0;
            value = value * 16 + static_cast<std::uint32_t>(h < 0 ? 0 : h);
        }
        if (ok) {
            c.kind = Kind::Rgb;
            // Spreadsheet applications ignore the alpha byte (writers often leave it 00).
            c.value = 0xFF000000u | (value & 0xFFFFFFu);
            return c;
        }
    }
    if (const char* theme = a.get("theme")) {
        if (auto v = parseUnsigned(theme)) {
            c.kind = Kind::Theme;
            c.value = *v;
            return c;
        }
    }
    if (const char* indexed = a.get("indexed")) {
        if (auto v = parseUnsigned(indexed)) {
            c.kind = Kind::Indexed;
            c.value = *v;
            return c;
        }
    }
    if (parseBool(a.get("auto"), false)) {
        c.kind = Kind::Auto;
    }
    return c;
}

Color RawColor::resolve(const IndexedPalette& palette, const ThemeColors& theme) const {
    Color out;
    switch (kind) {
    case Kind::None:
        return {};
    case Kind::Auto:
        return Color::automatic();
    case Kind::Rgb:
        out = Color::rgb(value);
        break;
    case Kind::Indexed:
        out = palette.color(value > 0xFFFF ? -1 : static_cast<int>(value));
        break;
    case Kind::Theme:
        if (value >= theme.size()) {
            return {};
        }
        out = Color::rgb(theme[value]);
        break;
    }
    if (out.kind == Color::Kind::Rgb) {
        out.argb = applyTint(out.argb, tint);
    }
    return out;
}

void applyFontElement(RawFont& f, std::string_view name, const Attributes& a) {
    const char* val = a.get("val");
    if (name == "b") {
        f.font.bold = parseBool(val, true);
    } else if (name == "i") {
        f.font.italic = parseBool(val, true);
    } else if (name == "strike") {
        f.font.strike = parseBool(val, true);
    } else if (name == "u") {
        const std::string_view v = val ? std::string_view(val) : "single";
        f.font.underline = v == "none" ? std::string() : std::string(v);
    } else if (name == "sz") {
        if (auto v = parseDouble(val ? val : ""); v && *v > 0 && *v < 1000) {
            f.font.size = *v;
        }
    } else if (name == "color") {
        f.color = RawColor::fromAttributes(a);
    } else if (name == "name" || name == "rFont") {
        if (val) {
            f.font.name = val;
        }
    } else if (name == "family") {
        f.font.family = parseInt(val ? val : "").value_or(0);
    } else if (name == "charset") {
        f.font.charset = parseInt(val ? val : "").value_or(-1);
    } else if (name == "scheme") {
        const std::string_view v = val ? std::string_view(val) : "";
        f.font.scheme = v == "none" ? std::string() : std::string(v);
    } else if (name == "vertAlign") {
        const std::string_view v = val ? std::string_view(val) : "";
        f.font.vertAlign = v == "baseline" ? std::string() : std::string(v);
    }
}

} // namespace quenly::wb::xlsx_read
