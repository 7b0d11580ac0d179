// The mail of one person as MIME text: header encodings (RFC 2047, RFC 2231), base64, the
// multipart message with its attachment, Message-ID and Date.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace quenly::delivery::mime {

/// `bytes` in base64; with `lines`, broken into lines of 76 characters ended by CR LF.
std::string base64(std::string_view bytes, bool lines);

/// Header text for a value that may hold any UTF-8: printable ASCII as it is, anything else as
/// RFC 2047 "B" encoded words of at most 75 characters, each holding whole UTF-8 characters,
/// folded onto lines of their own (CR LF and a space between them). `used` is how much of the
/// first line the header's name already takes ("Subject: " is 9). Line breaks and tabs in
/// `text` become spaces: a header value is one line.
std::string headerText(std::string_view text, std::size_t used);

/// The encoded words alone (never plain ASCII), for places such as a quoted parameter.
std::string encodedWords(std::string_view text, std::size_t used);

/// The parameters of an attachment's file name on a Content-Disposition line: RFC 2231
/// `filename*0*=UTF-8''...` pieces (percent-encoded, folded), then `filename="..."` with RFC
/// 2047 encoded words for readers that know only those. Starts with "; ".
std::string fileNameParameters(std::string_view name);

/// An address with its display name: `name <address>`, the name quoted or encoded as needed;
/// just the address when `name` is empty.
std::string mailbox(std::string_view name, std::string_view address, std::size_t used);

/// A new Message-ID, `<random@domain>`, with 128 random bits and the domain of `fromAddress`.
std::string newMessageId(std::string_view fromAddress);

/// `when` as a mail's Date header value in local time ("Tue, 08 Dec 2026 14:01:58 +0800"),
/// independent of the locale.
std::string dateText(std::time_t when);

/// Everything one mail holds.
struct MailParts {
    std::string fromName;
    std::string fromAddress;
    std::string toName;
    std::string toAddress;
    std::string subject;
    /// UTF-8 text; its line ends become CR LF.
    std::string body;
    std::string attachmentName;
    std::string attachment; // the PDF's bytes
    std::string messageId;  // with its angle brackets
    std::time_t date = 0;
};

/// The whole message, CR LF ended lines: multipart/mixed with a text/plain UTF-8 body (base64)
/// and the PDF (application/pdf, base64 on 76-character lines).
std::string composeMessage(const MailParts& parts);

/// `bytes` random bytes as lowercase hex (for boundaries and identifiers); throws
/// std::runtime_error when the system has no randomness to give.
std::string randomHex(std::size_t bytes);

} // namespace quenly::delivery::mime
