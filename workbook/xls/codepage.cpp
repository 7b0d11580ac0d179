// Turning the byte and UTF-16 strings of .xls files into UTF-8.
#include "xls/codepage.h"
#include "text_util.h"

#include "little_endian.h"
#include "workbook.h"

#include <iconv.h>

#include <cerrno>

namespace quenly::wb::xls {

void appendUtf16le(std::string& out, const std::uint8_t* p, std::size_t units) {
    for (std::size_t i = 0; i < units; ++i) {
        std::uint32_t u = le16(p + 2 * i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {
            const std::uint32_t lo = le16(p + 2 * i + 2);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
                ++i;
                continue;
            }
        }
        if (u >= 0xD800 && u <= 0xDFFF) {
            u = 0xFFFD;
        }
        appendUtf8(out, u);
    }
}

void appendLatin1(std::string& out, const std::uint8_t* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        appendUtf8(out, p[i]);
    }
}

unsigned charsetCodepage(std::uint8_t charset) {
    switch (charset) {
    case 128:
        return 932; // Shift-JIS
    case 129:
        return 949; // Hangul
    case 134:
        return 936; // GB2312
    case 136:
        return 950; // Big5
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    default:
        return 0;
    }
}

std::string iconvName(unsigned codepage) {
    switch (codepage) {
    case 367:
        return "ASCII";
    case 1200:
        return "UTF-16LE";
    case 65001:
        return "UTF-8";
    case 10000:
    case 32768: // Apple Roman as BIFF writes it
        return "MACINTOSH";
    case 32769: // Windows 1252 as BIFF2-4 wrote it
        return "CP1252";
    case 20866:
        return "KOI8-R";
    case 21866:
        return "KOI8-U";
    case 28591:
        return "ISO-8859-1";
    case 54936:
        return "GB18030";
    case 437:
    case 737:
    case 775:
    case 850:
    case 852:
    case 855:
    case 857:
    case 860:
    case 861:
    case 862:
    case 863:
    case 864:
    case 865:
    case 866:
    case 869:
    case 874:
    case 932:
    case 936:
    case 949:
    case 950:
    case 1250:
    case 1251:
    case 1252:
    case 1253:
    case 1254:
    case 1255:
    case 1256:
    case 1257:
    case 1258:
        return "CP" + std::to_string(codepage);
    default:
        return {};
    }
}

CodepageDecoder::CodepageDecoder(unsigned codepage)
    : m_codepage(codepage) {
    if (codepage == 1200 || codepage == 28591) {
        return; // converted directly
    }
    const std::string name = iconvName(codepage);
    iconv_t cd = name.empty() ? reinterpret_cast<iconv_t>(-1) : iconv_open("UTF-8", name.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        throw WorkbookError("代码页 " + std::to_string(codepage) + " 无法识别，文字无法转换");
    }
    m_iconv = cd;
}

CodepageDecoder::~CodepageDecoder() {
    if (m_iconv) {
        iconv_close(static_cast<iconv_t>(m_iconv));
    }
}

void CodepageDecoder::append(std::string& out, const std::uint8_t* p, std::size_t n) {
    if (!m_iconv) {
        if (m_codepage == 1200) {
            appendUtf16le(out, p, n / 2);
        } else {
            appendLatin1(out, p, n);
        }
        return;
    }
    auto cd = static_cast<iconv_t>(m_iconv);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* in = reinterpret_cast<char*>(const_cast<std::uint8_t*>(p));
    std::size_t inLeft = n;
    char buf[1024];
    while (inLeft > 0) {
        char* o = buf;
        std::size_t oLeft = sizeof buf;
        const std::size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf, static_cast<std::size_t>(o - buf));
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // An invalid or incomplete sequence: replace one byte and go on.
            appendUtf8(out, 0xFFFD);
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
}

} // namespace quenly::wb::xls
