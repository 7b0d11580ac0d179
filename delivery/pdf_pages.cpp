// The PDF library's share of delivery: slips drawn together split into a document per page,
// their fonts trimmed to that page, and documents locked. Built as C++17, the standard qpdf's
// headers compile in with every compiler; it includes nothing of the project's C++20 headers.
#include "pdf_pages.h"

#include "delivery_error.h"
#include "font_trim.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <array>
#include <fstream>
#include <memory>

namespace quenly::delivery {

namespace {

// 32 random bytes in hexadecimal, from the system's random source.
std::string randomOwnerPassword() {
    std::array<unsigned char, 32> bytes{};
    std::ifstream in("/dev/urandom", std::ios::binary);
    in.read(reinterpret_cast<char*>(bytes.data()), bytes.size());
    if (!in) {
        throw DeliveryError("无法取得随机数，PDF 未加密");
    }
    std::string out;
    constexpr char kHex[] = "0123456789abcdef";
    for (const unsigned char b : bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return out;
}

void lockWith(QPDFWriter& writer, const std::string& password, const std::string& owner) {
    writer.setMinimumPDFVersion("2.0");
    writer.setR6EncryptionParameters(password.c_str(), owner.c_str(), true, true, true, true, true,
                                     true, qpdf_r3p_full, true);
}

std::string bytesOf(QPDFWriter& writer) {
    writer.write();
    const std::shared_ptr<Buffer> out = writer.getBufferSharedPointer();
    return std::string(reinterpret_cast<const char*>(out->getBuffer()), out->getSize());
}

} // namespace

std::string lockPdf(std::string_view pdf, const std::string& password) {
    if (password.empty()) {
        throw DeliveryError("密码为空，PDF 未加密");
    }
    const std::string owner = randomOwnerPassword();
    try {
        QPDF in;
        in.setSuppressWarnings(true);
        in.processMemoryFile("工资条", pdf.data(), pdf.size());
        QPDFWriter writer(in);
        writer.setOutputMemory();
        lockWith(writer, password, owner);
        return bytesOf(writer);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& e) {
        throw DeliveryError(std::string("PDF 加密失败：") + e.what());
    }
}

std::vector<std::string> splitPages(const std::string& pdf,
                                    const std::vector<std::string>& passwords) {
    try {
        QPDF in;
        in.setSuppressWarnings(true);
        in.processMemoryFile("工资条", pdf.data(), pdf.size());
        in.pushInheritedAttributesToPage();
        const std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(in).getAllPages();
        const QPDFObjectHandle info = in.getTrailer().getKey("/Info");
        std::vector<std::string> out;
        out.reserve(pages.size());
        FontTrimmer fonts;
        for (std::size_t i = 0; i < pages.size(); ++i) {
            QPDF one;
            one.emptyPDF();
            one.setSuppressWarnings(true);
            QPDFPageDocumentHelper(one).addPage(pages[i], false);
            if (info.isIndirect()) {
                one.getTrailer().replaceKey("/Info", one.copyForeignObject(info));
            }
            // The fonts were made for all the pages drawn together: keep this page's glyphs.
            fonts.trim(one);
            QPDFWriter writer(one);
            writer.setOutputMemory();
            // Streams are copied as they are, not inflated and deflated again for every person;
            // only the trimmed font streams are compressed anew.
            writer.setDecodeLevel(qpdf_dl_none);
            if (!passwords.empty()) {
                lockWith(writer, passwords.at(i), randomOwnerPassword());
            }
            out.push_back(bytesOf(writer));
        }
        return out;
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const DeliveryError&) {
        throw;
    } catch (const std::exception& e) {
        throw DeliveryError(std::string("生成每人的 PDF 失败：") + e.what());
    }
}

} // namespace quenly::delivery
