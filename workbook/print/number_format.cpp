// The number-format engine: turns cell values into the text a spreadsheet shows for them through
// their format codes, parsed once (format_code.h) and shown by their sections
// (number_sections.h, date_sections.h).
#include "print/number_format.h"

#include <charconv>
#include <cmath>

#include "print/date_sections.h"
#include "print/format_code.h"
#include "print/number_sections.h"

namespace quenly::wb::print {

using namespace detail;

namespace {

// What invalid dates and times show: spreadsheets fill the cell with '#'; a printed page has no
// column width to fill, so a fixed run stands for it.
constexpr std::string_view kInvalidDate = "########";

bool matches(CondOp op, double limit, double v) {
    switch (op) {
    case CondOp::None:
        return true;
    case CondOp::Lt:
        return v < limit;
    case CondOp::Le:
        return v <= limit;
    case CondOp::Gt:
        return v > limit;
    case CondOp::Ge:
        return v >= limit;
    case CondOp::Eq:
        return v == limit;
    case CondOp::Ne:
        return v != limit;
    }
    return true;
}

// Turns the marks of room and fill in `shown.text` into blanks, noting what each stands for.
// Only the first fill counts, as in spreadsheets.
void resolveMarks(DisplayText& shown) {
    std::string& text = shown.text;
    if (text.find_first_of("\x01\x02") == std::string::npos) {
        return;
    }
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (c != kSpaceMark && c != kFillMark) {
            out += text[i++];
            continue;
        }
        const std::size_t n = i + 1 < text.size() ? codePointLength(text, i + 1) : 0;
        const std::string character = text.substr(i + 1, n);
        if (c == kSpaceMark) {
            shown.spaces.push_back({out.size(), character});
        } else if (shown.fillAt == std::string::npos) {
            shown.fillAt = out.size();
            shown.fill = character;
        }
        out += ' ';
        i += 1 + n;
    }
    text = std::move(out);
}

void appendText(std::string& out, const Section& sec, std::string_view text) {
    for (const Token& t : sec.tokens) {
        if (t.kind == Tok::Literal) {
            out += t.text;
        } else if (t.kind == Tok::Text) {
            out += text;
        }
    }
}

} // namespace

DisplayText formatNumber(double value, std::string_view code, bool date1904) {
    DisplayText result;
    if (!std::isfinite(value)) {
        // No cell holds these; a formula's overflow shows as this error.
        result.text = cellErrorText(CellErrorCode::Num);
        return result;
    }
    if (value == 0) {
        value = 0; // negative zero shows as zero
    }
    const ParsedFormat* f = code.empty() ? nullptr : parsedFormat(code);
    if (f == nullptr || f->numericCount == 0) {
        if (value < 0) {
            result.text += '-';
        }
        appendGeneral(result.text, std::fabs(value), 0);
        return result;
    }
    const Section* sec = nullptr;
    for (int k = 0; k < f->numericCount && sec == nullptr; ++k) {
        const Section& s = f->sections[static_cast<std::size_t>(f->numeric[k])];
        if (matches(s.effOp, s.effLimit, value)) {
            sec = &s;
        }
    }
    if (sec == nullptr) {
        sec = &f->sections[static_cast<std::size_t>(f->numeric[f->numericCount - 1])];
    }
    result.hasColor = sec->hasColor;
    result.argb = sec->argb;
    if (sec->kind == SectionKind::Date) {
        if (!appendDateSection(result.text, *sec, value, date1904)) {
            result.text = kInvalidDate;
        }
        resolveMarks(result);
        return result;
    }
    if (value < 0 && !sec->negativeRole) {
        result.text += '-';
    }
    appendNumberSection(result.text, *sec, std::fabs(value));
    resolveMarks(result);
    return result;
}

DisplayText formatText(std::string_view text, std::string_view code) {
    DisplayText result;
    const ParsedFormat* f = code.empty() ? nullptr : parsedFormat(code);
    if (f == nullptr || f->textSection < 0) {
        result.text.assign(text);
        return result;
    }
    const Section& sec = f->sections[static_cast<std::size_t>(f->textSection)];
    result.hasColor = sec.hasColor;
    result.argb = sec.argb;
    appendText(result.text, sec, text);
    resolveMarks(result);
    return result;
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
        return {std::string(cellErrorText(static_cast<CellErrorCode>(cell.error)))};
    case CellType::Empty:
        break;
    }
    return {};
}

std::string generalWithDecimals(double value, int decimals) {
    char buf[64];
    const auto res =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    std::string s(buf, res.ptr);
    if (s.find('.') != std::string::npos) {
        while (!s.empty() && s.back() == '0') {
            s.pop_back();
        }
        if (!s.empty() && s.back() == '.') {
            s.pop_back();
        }
    }
    if (s == "-0") {
        s = "0";
    }
    return s;
}

int decimalsShown(std::string_view text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string_view::npos || text.find_first_of("Ee") != std::string_view::npos) {
        return -1;
    }
    return static_cast<int>(text.size() - dot - 1);
}

} // namespace quenly::wb::print
