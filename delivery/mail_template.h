// A mail's subject or body with {标题} placeholders, filled from one person's row.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quenly::delivery {

/// Text with placeholders naming columns by their title in the header's last row, such as
/// "{姓名}" or "{实发工资}"; "{{" and "}}" stand for literal braces.
class MailTemplate {
public:
    /// Reads `text` against `titles` (column, title; left to right, the first of equal titles
    /// counts). Throws DeliveryError naming `where` (such as "主题" or the body file) when a
    /// placeholder names no title (listing the titles there are), or a brace is left open or
    /// stands alone.
    static MailTemplate parse(std::string_view text, std::string_view where,
                              const std::vector<std::pair<std::uint32_t, std::string>>& titles);

    /// The text with every placeholder replaced by `cell(column)`.
    std::string fill(const std::function<std::string(std::uint32_t)>& cell) const;

private:
    struct Piece {
        std::string literal;
        // The column whose cell follows the literal; none for the last piece.
        bool hasColumn = false;
        std::uint32_t column = 0;
    };
    std::vector<Piece> m_pieces;
};

} // namespace quenly::delivery
