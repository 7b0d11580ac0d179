// Messages of the .xls reader.
#include "xls/xls_error.h"
#include "read_error.h"

#include <charconv>

namespace quenly::wb::xls {

void fail(std::string_view file, std::string_view detail) {
    ReadFault f(ReadFault::Kind::Unreadable, std::string(file));
    f.fault = std::string(detail);
    throw ReadError(std::move(f));
}

std::string num(std::uint64_t v) {
    char buf[24];
    auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

std::string hex4(std::uint32_t v) {
    char buf[16];
    auto res = std::to_chars(buf, buf + sizeof buf, v, 16);
    std::string digits(buf, res.ptr);
    for (char& c : digits) {
        if (c >= 'a' && c <= 'f') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    if (digits.size() < 4) {
        digits.insert(0, 4 - digits.size(), '0');
    }
    return "0x" + digits;
}

} // namespace quenly::wb::xls
