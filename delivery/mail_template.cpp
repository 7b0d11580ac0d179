// A mail's subject or body with {标题} placeholders.
#include "mail_template.h"

#include "slip_run.h"

namespace quenly::delivery {

namespace {

std::string titleList(const std::vector<std::pair<std::uint32_t, std::string>>& titles) {
    std::string list;
    for (const auto& [column, title] : titles) {
        if (!list.empty()) {
            list += "、";
        }
        list += title;
    }
    return list.empty() ? "（表头最后一行没有标题）" : list;
}

} // namespace

MailTemplate MailTemplate::parse(std::string_view text, std::string_view where,
                                 const std::vector<std::pair<std::uint32_t, std::string>>& titles) {
    const std::string place(where);
    MailTemplate t;
    Piece piece;
    std::size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if ((c == '{' || c == '}') && i + 1 < text.size() && text[i + 1] == c) {
            piece.literal.push_back(c);
            i += 2;
            continue;
        }
        if (c == '}') {
            throw DeliveryError(place + "中有单独的“}”；要写花括号本身，请写“}}”");
        }
        if (c != '{') {
            piece.literal.push_back(c);
            ++i;
            continue;
        }
        const std::size_t close = text.find('}', i + 1);
        const std::size_t reopen = text.find('{', i + 1);
        if (close == std::string_view::npos ||
            (reopen != std::string_view::npos && reopen < close)) {
            throw DeliveryError(place +
                                "中的“{”没有对应的“}”；占位符写作 {列标题}，要写花括号本身，"
                                "请写“{{”");
        }
        const std::string_view name = trimBlanks(text.substr(i + 1, close - i - 1));
        bool found = false;
        for (const auto& [column, title] : titles) {
            if (trimBlanks(title) == name) {
                piece.hasColumn = true;
                piece.column = column;
                found = true;
                break;
            }
        }
        if (!found) {
            throw DeliveryError(place + "中的占位符“{" + std::string(name) +
                                "}”不是表头最后一行的列标题；可用的列标题有：" + titleList(titles));
        }
        t.m_pieces.push_back(std::move(piece));
        piece = Piece{};
        i = close + 1;
    }
    t.m_pieces.push_back(std::move(piece));
    return t;
}

std::string MailTemplate::fill(const std::function<std::string(std::uint32_t)>& cell) const {
    std::string out;
    for (const Piece& piece : m_pieces) {
        out += piece.literal;
        if (piece.hasColumn) {
            out += cell(piece.column);
        }
    }
    return out;
}

} // namespace quenly::delivery
