// Checks of mail addresses and hosts.
#include "mail_address.h"

#include "text_util.h"

#include <arpa/inet.h>

namespace quenly::delivery {

namespace {

bool isAsciiLetterOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The characters RFC 5322 allows in an unquoted local part, besides dots.
bool isAtext(char c) {
    return isAsciiLetterOrDigit(c) ||
           std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

std::optional<std::string> domainProblem(std::string_view domain) {
    if (domain.find('.') == std::string_view::npos) {
        return "域名“" + std::string(domain) + "”中没有“.”";
    }
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = domain.find('.', start);
        const std::string_view label =
            domain.substr(start, dot == std::string_view::npos ? domain.npos : dot - start);
        if (label.empty() || label.size() > 63) {
            return "域名“" + std::string(domain) + "”的写法不对（两个点之间或首尾不能是空的）";
        }
        for (char c : label) {
            if (!isAsciiLetterOrDigit(c) && c != '-') {
                return "域名“" + std::string(domain) + "”中有不能用的字符";
            }
        }
        if (label.front() == '-' || label.back() == '-') {
            return "域名“" + std::string(domain) + "”中的一段以“-”开头或结尾";
        }
        if (dot == std::string_view::npos) {
            break;
        }
        start = dot + 1;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> addressProblem(std::string_view address) {
    if (address.empty()) {
        return std::string("没有填写邮箱地址");
    }
    if (address.find("＠") != std::string_view::npos) {
        return std::string("用了全角的“＠”，请改成半角的“@”");
    }
    const std::size_t at = address.find('@');
    const bool severalSeparators = address.find_first_of(",;") != std::string_view::npos ||
                                   address.find("，") != std::string_view::npos ||
                                   address.find("；") != std::string_view::npos;
    if (severalSeparators ||
        (at != std::string_view::npos && address.find('@', at + 1) != std::string_view::npos)) {
        return std::string("写了不止一个地址；每人只能有一个地址");
    }
    for (unsigned char c : address) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            return std::string("含有空白；一个单元格只能写一个地址，不能有空格或换行");
        }
    }
    if (at == std::string_view::npos) {
        return std::string("缺少“@”");
    }
    const std::string_view local = address.substr(0, at);
    const std::string_view domain = address.substr(at + 1);
    if (local.empty()) {
        return std::string("“@”前面没有用户名");
    }
    if (domain.empty()) {
        return std::string("“@”后面没有域名");
    }
    for (unsigned char c : address) {
        if (c >= 0x80) {
            return std::string("含有中文或其他非 ASCII 字符");
        }
    }
    if (local.size() > 64 || address.size() > 254) {
        return std::string("地址太长");
    }
    if (local.front() == '.' || local.back() == '.' || local.find("..") != std::string_view::npos) {
        return std::string("“@”前面的用户名中“.”的位置不对");
    }
    for (char c : local) {
        if (c != '.' && !isAtext(c)) {
            return std::string("“@”前面的用户名中有不能用的字符“") + c + "”";
        }
    }
    return domainProblem(domain);
}

std::string addressForDisplay(std::string_view cell) {
    bool digit = false;
    std::size_t i = 0;
    while (i < cell.size()) {
        const char c = cell[i];
        if (c >= '0' && c <= '9') {
            digit = true;
            ++i;
        } else if (std::string_view(" .,+-()%$").find(c) != std::string_view::npos) {
            ++i;
        } else if (cell.substr(i, 2) == "\u00A5") { // ¥
            i += 2;
        } else if (cell.substr(i, 3) == "\uFFE5") { // full-width ￥
            i += 3;
        } else {
            return std::string(cell);
        }
    }
    return digit ? std::string("（数字，已隐去）") : std::string(cell);
}

bool isLoopback(std::string_view host) {
    std::string h(host);
    if (h.size() > 2 && h.front() == '[' && h.back() == ']') {
        h = h.substr(1, h.size() - 2);
    }
    if (wb::lowerAscii(h) == "localhost") {
        return true;
    }
    in_addr v4{};
    if (inet_pton(AF_INET, h.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    return inet_pton(AF_INET6, h.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

} // namespace quenly::delivery
