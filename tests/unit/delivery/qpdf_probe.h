// What the delivery tests learn of a PDF through qpdf: whether a password opens it, how it is
// locked, its pages and its streams. C++17 with plain types, as qpdf's headers need.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace quenly::test {

struct PdfProbe {
    int revision = 0;    // of the security handler; 0 when not encrypted
    bool aes256 = false; // streams encrypted with AES-256 (AESv3)
    std::size_t pages = 0;
};

/// `pdf` opened with `password`; nothing when that password does not open it.
std::optional<PdfProbe> probePdf(const std::string& pdf, const std::string& password);

/// Every stream of `pdf` (opened with `password`), decoded, one after another.
std::string allStreams(const std::string& pdf, const std::string& password = "");

} // namespace quenly::test
