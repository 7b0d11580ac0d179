// The mail of one person as MIME text.
#include "mail_mime.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace quenly::delivery::mime {

namespace {

constexpr std::string_view kCrLf = "\r\n";
// "=?UTF-8?B?" and "?=" around the base64 text of one encoded word.
constexpr std::size_t kWordOverhead = 12;
constexpr std::size_t kWordLimit = 75;
// Recommended longest header line, without its CR LF.
constexpr std::size_t kLineLimit = 78;

// Length of the UTF-8 character starting with `lead` (1 for a stray byte, which then stays
// with its neighbours rather than being split).
std::size_t charLength(unsigned char lead) {
    if (lead >= 0xF0 && lead < 0xF8) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead < 0xF0 ? 3 : 1;
    }
    if (lead >= 0xC0) {
        return 2;
    }
    return 1;
}

// One header line: line breaks and tabs become spaces.
std::string oneLine(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\r' || c == '\n' || c == '\t') {
            c = ' ';
        }
    }
    return out;
}

bool plainAscii(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c > 0x7E) {
            return false;
        }
        // "=?" would read as the start of an encoded word.
        if (c == '=' && i + 1 < text.size() && text[i + 1] == '?') {
            return false;
        }
    }
    return true;
}

std::string encodedWord(std::string_view bytes) {
    return "=?UTF-8?B?" + base64(bytes, false) + "?=";
}

// Most bytes whose base64 fits `room` characters of an encoded word.
std::size_t bytesFitting(std::size_t room) {
    return room <= kWordOverhead ? 0 : (room - kWordOverhead) / 4 * 3;
}

bool attrChar(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$&+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

} // namespace

std::string base64(std::string_view bytes, bool lines) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    // 57 input bytes make one 76-character line.
    const std::size_t chunk = lines ? 57 : std::max<std::size_t>(bytes.size(), 1);
    std::vector<unsigned char> buffer(chunk / 3 * 4 + 5);
    std::string out;
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        const std::size_t n = std::min(chunk, bytes.size() - at);
        const int len = EVP_EncodeBlock(buffer.data(), data + at, static_cast<int>(n));
        out.append(reinterpret_cast<const char*>(buffer.data()), static_cast<std::size_t>(len));
        if (lines) {
            out.append(kCrLf);
        }
    }
    return out;
}

std::string encodedWords(std::string_view text, std::size_t used) {
    const std::string line = oneLine(text);
    std::string out;
    std::size_t room =
        std::min(kWordLimit, used + kWordLimit <= kLineLimit ? kWordLimit : kLineLimit - used);
    std::size_t at = 0;
    while (at < line.size()) {
        // Whole characters only, as many as the word holds (one at least, so a word never stays
        // empty even when the first line is nearly full).
        const std::size_t most = bytesFitting(room);
        std::size_t end = at;
        while (end < line.size()) {
            const std::size_t next =
                std::min(line.size(), end + charLength(static_cast<unsigned char>(line[end])));
            if (next - at > most && end > at) {
                break;
            }
            end = next;
        }
        if (!out.empty()) {
            out.append("\r\n ");
        }
        out.append(encodedWord(std::string_view(line).substr(at, end - at)));
        at = end;
        // Later words start on a line of their own after one space.
        room = kWordLimit;
    }
    return out.empty() ? encodedWord("") : out;
}

std::string headerText(std::string_view text, std::size_t used) {
    const std::string line = oneLine(text);
    if (plainAscii(line)) {
        return line;
    }
    return encodedWords(line, used);
}

std::string fileNameParameters(std::string_view name) {
    const std::string line = oneLine(name);
    std::string encoded = "UTF-8''";
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (unsigned char c : line) {
        if (attrChar(c)) {
            encoded.push_back(static_cast<char>(c));
        } else {
            encoded.push_back('%');
            encoded.push_back(kHex[c >> 4]);
            encoded.push_back(kHex[c & 15]);
        }
    }
    // Pieces of at most 60 characters, never cutting a %XX apart, one per folded line.
    std::string out;
    std::size_t at = 0;
    int piece = 0;
    while (at < encoded.size()) {
        std::size_t end = std::min(encoded.size(), at + 60);
        if (end < encoded.size()) {
            for (std::size_t back = 1; back <= 2; ++back) {
                if (encoded[end - back] == '%') {
                    end -= back;
                    break;
                }
            }
        }
        out.append(";\r\n filename*" + std::to_string(piece) + "*=");
        out.append(encoded, at, end - at);
        at = end;
        ++piece;
    }
    out.append(";\r\n filename=\"" + encodedWords(line, 11) + "\"");
    return out;
}

std::string mailbox(std::string_view name, std::string_view address, std::size_t used) {
    const std::string line = oneLine(name);
    if (line.empty()) {
        return std::string(address);
    }
    std::string shown;
    if (plainAscii(line)) {
        shown.push_back('"');
        for (char c : line) {
            if (c == '"' || c == '\\') {
                shown.push_back('\\');
            }
            shown.push_back(c);
        }
        shown.push_back('"');
    } else {
        shown = encodedWords(line, used);
    }
    return shown + " <" + std::string(address) + ">";
}

std::string randomHex(std::size_t bytes) {
    std::vector<unsigned char> raw(bytes);
    if (RAND_bytes(raw.data(), static_cast<int>(raw.size())) != 1) {
        throw std::runtime_error("系统无法提供随机数");
    }
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : raw) {
        out.push_back(kHex[c >> 4]);
        out.push_back(kHex[c & 15]);
    }
    return out;
}

std::string newMessageId(std::string_view fromAddress) {
    const std::size_t at = fromAddress.rfind('@');
    const std::string_view domain =
        at == std::string_view::npos ? std::string_view("localhost") : fromAddress.substr(at + 1);
    return "<" + randomHex(16) + "@" + std::string(domain) + ">";
}

std::string dateText(std::time_t when) {
    static constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed",
                                                      "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm tm{};
    localtime_r(&when, &tm);
    const long offset = tm.tm_gmtoff / 60;
    const long magnitude = offset < 0 ? -offset : offset;
    std::array<char, 64> buffer{};
    std::snprintf(buffer.data(), buffer.size(), "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[static_cast<std::size_t>(tm.tm_wday)], tm.tm_mday,
                  kMonths[static_cast<std::size_t>(tm.tm_mon)], tm.tm_year + 1900, tm.tm_hour,
                  tm.tm_min, tm.tm_sec, offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
    return buffer.data();
}

std::string composeMessage(const MailParts& parts) {
    const std::string boundary = "=_quenly_" + randomHex(12);
    std::string body;
    body.reserve(parts.body.size() + parts.body.size() / 8);
    for (std::size_t i = 0; i < parts.body.size(); ++i) {
        const char c = parts.body[i];
        if (c == '\r') {
            continue;
        }
        if (c == '\n') {
            body.append(kCrLf);
        } else {
            body.push_back(c);
        }
    }
    std::string m;
    m.reserve(parts.attachment.size() * 4 / 3 + body.size() * 2 + 2048);
    m += "From: " + mailbox(parts.fromName, parts.fromAddress, 6) + "\r\n";
    m += "To: " + mailbox(parts.toName, parts.toAddress, 4) + "\r\n";
    m += "Subject: " + headerText(parts.subject, 9) + "\r\n";
    m += "Date: " + dateText(parts.date) + "\r\n";
    m += "Message-ID: " + parts.messageId + "\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n\r\n";
    m += "--" + boundary + "\r\n";
    m += "Content-Type: text/plain; charset=UTF-8\r\n";
    m += "Content-Transfer-Encoding: base64\r\n\r\n";
    m += base64(body, true);
    m += "--" + boundary + "\r\n";
    m += "Content-Type: application/pdf; name=\"" + encodedWords(parts.attachmentName, 35) +
         "\"\r\n";
    m += "Content-Transfer-Encoding: base64\r\n";
    m += "Content-Disposition: attachment" + fileNameParameters(parts.attachmentName) + "\r\n\r\n";
    m += base64(parts.attachment, true);
    m += "--" + boundary + "--\r\n";
    return m;
}

} // namespace quenly::delivery::mime
