// Dates and times: the civil date of a serial day, and the fields of a date section.
#include "print/date_sections.h"

#include <algorithm>
#include <cmath>

#include "print/chinese_numerals.h"
#include "print/decimal_digits.h"

namespace quenly::wb::print::detail {

namespace {

// The last day spreadsheets can show, 9999-12-31, as a serial day of the 1900 system.
constexpr double kLastSerial1900 = 2958465;
// The same day counted from 1904-01-01.
constexpr double kLastSerial1904 = 2958465 - 1462;

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

// The fields of a date and time as one section shows them.
struct DateParts {
    CivilDate date;
    int weekday = 0;
    long long days = 0;
    long long hour = 0;
    long long minute = 0;
    long long second = 0;
    long long fraction = 0; // of a second, in the section's sub-second digits
};

// The fields of serial `value`; false when no date can show it.
bool datePartsOf(double value, const Section& sec, bool date1904, DateParts& p) {
    const double last = date1904 ? kLastSerial1904 : kLastSerial1900;
    if (value < 0 || value > last + 0.99999999) {
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
    p.days = ticks / perDay;
    const long long dayTicks = ticks % perDay;
    const long long secondOfDay = dayTicks / scale;
    p.fraction = dayTicks % scale;
    p.hour = secondOfDay / 3600;
    p.minute = secondOfDay / 60 % 60;
    p.second = secondOfDay % 60;
    if (p.days > static_cast<long long>(last)) {
        return false;
    }
    p.date = dateOfSerial(p.days, date1904);
    p.weekday = weekdayOfSerial(p.days, date1904);
    return true;
}

void appendMonth(std::string& out, const Token& t, const Section& sec, const DateParts& p) {
    const int month = p.date.month;
    if (t.count <= 2) {
        appendField(out, month, t.count, sec.dbnum);
    } else if (sec.chinese) {
        if (t.count == 3) {
            appendInt(out, month);
            out += "月";
        } else {
            out += kChineseMonths[month - 1];
        }
    } else if (t.count == 3) {
        out += kMonthNames[month - 1].substr(0, 3);
    } else if (t.count == 5) {
        out += kMonthNames[month - 1][0];
    } else {
        out += kMonthNames[month - 1];
    }
}

void appendDay(std::string& out, const Token& t, const Section& sec, const DateParts& p) {
    if (t.count <= 2) {
        appendField(out, p.date.day, t.count, sec.dbnum);
    } else if (sec.chinese) {
        out += t.count == 3 ? "周" : "星期";
        out += kChineseWeekdays[p.weekday];
    } else if (t.count == 3) {
        out += kDayNames[p.weekday].substr(0, 3);
    } else {
        out += kDayNames[p.weekday];
    }
}

void appendAmPm(std::string& out, const Token& t, const Section& sec, const DateParts& p) {
    const std::string_view text = t.text;
    const std::size_t slash = text.find('/');
    const bool pm = p.hour >= 12;
    if (text == "上午/下午" || (sec.chinese && text.size() == 5)) {
        out += pm ? "下午" : "上午";
    } else {
        out += pm ? text.substr(slash + 1) : text.substr(0, slash);
    }
}

// The fields of the time of day and elapsed times.
void appendTimeToken(std::string& out, const Token& t, const Section& sec, const DateParts& p) {
    const long long hours = p.days * 24 + p.hour;
    switch (t.kind) {
    case Tok::Hour: {
        const long long h = sec.hasAmPm ? (p.hour % 12 == 0 ? 12 : p.hour % 12) : p.hour;
        appendField(out, h, std::min(t.count, 2), sec.dbnum);
        break;
    }
    case Tok::Minute:
        appendField(out, p.minute, std::min(t.count, 2), sec.dbnum);
        break;
    case Tok::Second:
        appendField(out, p.second, std::min(t.count, 2), sec.dbnum);
        break;
    case Tok::SubSecond: {
        out += '.';
        std::string digits;
        appendInt(digits, p.fraction, sec.subSecond);
        for (int k = 0; k < t.count; ++k) {
            out += k < sec.subSecond ? digits[static_cast<std::size_t>(k)] : '0';
        }
        break;
    }
    case Tok::ElapsedHour:
        appendInt(out, hours, t.count);
        break;
    case Tok::ElapsedMinute:
        appendInt(out, hours * 60 + p.minute, t.count);
        break;
    case Tok::ElapsedSecond:
        appendInt(out, (hours * 60 + p.minute) * 60 + p.second, t.count);
        break;
    case Tok::AmPm:
        appendAmPm(out, t, sec, p);
        break;
    default:
        break;
    }
}

} // namespace

bool appendDateSection(std::string& out, const Section& sec, double value, bool date1904) {
    DateParts p;
    if (!datePartsOf(value, sec, date1904, p)) {
        return false;
    }
    for (const Token& t : sec.tokens) {
        switch (t.kind) {
        case Tok::Literal:
            out += t.text;
            break;
        case Tok::Year:
            if (t.count <= 2) {
                appendField(out, p.date.year % 100, 2, sec.dbnum, true);
            } else {
                appendField(out, p.date.year, 4, sec.dbnum, true);
            }
            break;
        case Tok::Era:
            appendField(out, p.date.year, 4, sec.dbnum, true);
            break;
        case Tok::Month:
            appendMonth(out, t, sec, p);
            break;
        case Tok::Day:
            appendDay(out, t, sec, p);
            break;
        case Tok::Weekday:
            if (t.count >= 4) {
                out += "星期";
            }
            out += kChineseWeekdays[p.weekday];
            break;
        default:
            appendTimeToken(out, t, sec, p);
            break;
        }
    }
    return true;
}

} // namespace quenly::wb::print::detail
