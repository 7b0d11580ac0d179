// Turning the byte and UTF-16 strings of .xls files into UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quenly::wb::xls {

/// Appends `units` UTF-16LE code units from `p` as UTF-8; a lone surrogate becomes U+FFFD.
void appendUtf16le(std::string& out, const std::uint8_t* p, std::size_t units);

/// Appends `n` Latin-1 bytes (BIFF8's compressed characters) as UTF-8.
void appendLatin1(std::string& out, const std::uint8_t* p, std::size_t n);

/// Converts the byte strings of a BIFF5/BIFF7 workbook from its Windows code page (the CODEPAGE
/// record: 936, 950, 1252, ...) to UTF-8 with glibc's iconv. Bytes that are not valid in the
/// code page become U+FFFD, so one bad byte never loses the rest of the text.
class CodepageDecoder {
public:
    /// Throws WorkbookError (without a file name; the caller adds it) when the code page is
    /// unknown to iconv.
    explicit CodepageDecoder(unsigned codepage);
    ~CodepageDecoder();
    CodepageDecoder(const CodepageDecoder&) = delete;
    CodepageDecoder& operator=(const CodepageDecoder&) = delete;

    unsigned codepage() const { return m_codepage; }
    void append(std::string& out, const std::uint8_t* p, std::size_t n);

private:
    unsigned m_codepage;
    void* m_iconv = nullptr; // iconv_t; null for the code pages converted here directly
};

/// The Windows code page of a font character set (FONT records), or 0 for ANSI, default, symbol
/// and unknown sets.
unsigned charsetCodepage(std::uint8_t charset);

/// The iconv name of a Windows code page number as a CODEPAGE record gives it, or "" when it is
/// not known.
std::string iconvName(unsigned codepage);

} // namespace quenly::wb::xls
