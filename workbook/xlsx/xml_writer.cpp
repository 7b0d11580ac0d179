// Escaping and number formatting for the SpreadsheetML writer.
#include "xlsx/xml_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace quenly::wb::xml {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

// Length of the valid UTF-8 sequence starting at s[i] and its code point; 0 when invalid
// (overlong forms, surrogates and code points above U+10FFFF count as invalid).
std::size_t decodeUtf8(std::string_view s, std::size_t i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    std::size_t len;
    char32_t min;
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2;
        cp = b0 & 0x1F;
        min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3;
        cp = b0 & 0x0F;
        min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4;
        cp = b0 & 0x07;
        min = 0x10000;
    } else {
        return 0;
    }
    if (s.size() - i < len) {
        return 0;
    }
    for (std::size_t k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            return 0;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return 0;
    }
    return len;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Whether the text at s[i] is the SpreadsheetML escape pattern "_xHHHH_".
bool isEscapePattern(std::string_view s, std::size_t i) {
    return s.size() - i >= 7 && s[i + 1] == 'x' && isHex(s[i + 2]) && isHex(s[i + 3]) &&
           isHex(s[i + 4]) && isHex(s[i + 5]) && s[i + 6] == '_';
}

char* writeEscapeCode(char* p, unsigned code) {
    *p++ = '_';
    *p++ = 'x';
    *p++ = kHex[(code >> 12) & 0xF];
    *p++ = kHex[(code >> 8) & 0xF];
    *p++ = kHex[(code >> 4) & 0xF];
    *p++ = kHex[code & 0xF];
    *p++ = '_';
    return p;
}

} // namespace

XmlBuffer::XmlBuffer(std::string&& storage)
    : m_s(std::move(storage)) {
    m_s.resize(m_s.capacity());
}

std::string XmlBuffer::take() {
    m_s.resize(m_len);
    m_len = 0;
    return std::move(m_s);
}

void XmlBuffer::grow(std::size_t n) {
    const std::size_t need = m_len + n;
    m_s.resize(std::max<std::size_t>({need, m_s.size() * 2, 4096}));
}

char* writeUInt(char* p, std::uint64_t v) {
    return std::to_chars(p, p + 20, v).ptr;
}

char* writeDouble(char* p, double v) {
    // Whole numbers (the common case in wage tables) go the integer way, which is much faster.
    if (v >= -1e15 && v <= 1e15) {
        const auto i = static_cast<std::int64_t>(v);
        if (static_cast<double>(i) == v && !(i == 0 && std::signbit(v))) {
            return std::to_chars(p, p + 32, i).ptr;
        }
    }
    return std::to_chars(p, p + 32, v).ptr;
}

void XmlBuffer::appendUInt(std::uint64_t v) {
    commit(writeUInt(ensure(20), v));
}

void XmlBuffer::appendInt(std::int64_t v) {
    char* p = ensure(21);
    commit(std::to_chars(p, p + 21, v).ptr);
}

void XmlBuffer::appendDouble(double v) {
    commit(writeDouble(ensure(32), v));
}

void XmlBuffer::appendText(std::string_view s) {
    // Worst case: every byte becomes a 7-character escape. Room is taken a block at a time so
    // that a long text never asks for seven times its size at once.
    char* p = ensure(0);
    for (std::size_t i = 0, blockEnd = 0; i < s.size();) {
        if (i >= blockEnd) {
            commit(p);
            blockEnd = i + std::min<std::size_t>(s.size() - i, 4096);
            p = ensure((blockEnd - i + 4) * 7);
        }
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            switch (c) {
            case '&':
                std::memcpy(p, "&amp;", 5);
                p += 5;
                break;
            case '<':
                std::memcpy(p, "&lt;", 4);
                p += 4;
                break;
            case '>':
                std::memcpy(p, "&gt;", 4);
                p += 4;
                break;
            case '_':
                if (isEscapePattern(s, i)) {
                    p = writeEscapeCode(p, '_');
                } else {
                    *p++ = '_';
                }
                break;
            case '\t':
            case '\n':
                *p++ = static_cast<char>(c);
                break;
            default:
                if (c < 0x20) {
                    p = writeEscapeCode(p, c);
                } else {
                    *p++ = static_cast<char>(c);
                }
            }
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t len = decodeUtf8(s, i, cp);
        if (len == 0) {
            kReplacement.copy(p, kReplacement.size());
            p += kReplacement.size();
            ++i;
        } else if (cp == 0xFFFE || cp == 0xFFFF) {
            p = writeEscapeCode(p, static_cast<unsigned>(cp));
            i += len;
        } else {
            std::memcpy(p, s.data() + i, len);
            p += len;
            i += len;
        }
    }
    commit(p);
}

void XmlBuffer::appendAttrValue(std::string_view s) {
    char* p = ensure(0);
    for (std::size_t i = 0, blockEnd = 0; i < s.size();) {
        if (i >= blockEnd) {
            commit(p);
            blockEnd = i + std::min<std::size_t>(s.size() - i, 4096);
            p = ensure((blockEnd - i + 4) * 6);
        }
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            switch (c) {
            case '&':
                std::memcpy(p, "&amp;", 5);
                p += 5;
                break;
            case '<':
                std::memcpy(p, "&lt;", 4);
                p += 4;
                break;
            case '>':
                std::memcpy(p, "&gt;", 4);
                p += 4;
                break;
            case '"':
                std::memcpy(p, "&quot;", 6);
                p += 6;
                break;
            case '\t':
                std::memcpy(p, "&#9;", 4);
                p += 4;
                break;
            case '\n':
                std::memcpy(p, "&#10;", 5);
                p += 5;
                break;
            case '\r':
                std::memcpy(p, "&#13;", 5);
                p += 5;
                break;
            default:
                if (c >= 0x20) {
                    *p++ = static_cast<char>(c);
                }
            }
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t len = decodeUtf8(s, i, cp);
        if (len == 0) {
            kReplacement.copy(p, kReplacement.size());
            p += kReplacement.size();
            ++i;
        } else {
            if (cp != 0xFFFE && cp != 0xFFFF) {
                std::memcpy(p, s.data() + i, len);
                p += len;
            }
            i += len;
        }
    }
    commit(p);
}

void XmlBuffer::attr(std::string_view name, std::string_view value) {
    append(' ');
    append(name);
    append("=\"");
    appendAttrValue(value);
    append('"');
}

void XmlBuffer::attr(std::string_view name, std::uint64_t value) {
    append(' ');
    append(name);
    append("=\"");
    appendUInt(value);
    append('"');
}

void XmlBuffer::attrDouble(std::string_view name, double value) {
    append(' ');
    append(name);
    append("=\"");
    appendDouble(value);
    append('"');
}

bool needsSpacePreserve(std::string_view text) {
    auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    return !text.empty() && (isSpace(text.front()) || isSpace(text.back()));
}

} // namespace quenly::wb::xml
