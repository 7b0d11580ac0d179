// What the delivery tests learn of a PDF through qpdf.
#include "qpdf_probe.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>

namespace quenly::test {

std::optional<PdfProbe> probePdf(const std::string& pdf, const std::string& password) {
    QPDF doc;
    doc.setSuppressWarnings(true);
    try {
        doc.processMemoryFile("probe", pdf.data(), pdf.size(), password.c_str());
    } catch (const QPDFExc& e) {
        if (e.getErrorCode() == qpdf_e_password) {
            return std::nullopt;
        }
        throw;
    }
    PdfProbe probe;
    int r = 0, p = 0, v = 0;
    QPDF::encryption_method_e stream{}, string{}, file{};
    if (doc.isEncrypted(r, p, v, stream, string, file)) {
        probe.revision = r;
        probe.aes256 = stream == QPDF::e_aesv3 && string == QPDF::e_aesv3;
    }
    probe.pages = doc.getAllPages().size();
    return probe;
}

std::string allStreams(const std::string& pdf, const std::string& password) {
    QPDF doc;
    doc.setSuppressWarnings(true);
    doc.processMemoryFile("probe", pdf.data(), pdf.size(), password.c_str());
    std::string out;
    for (QPDFObjectHandle object : doc.getAllObjects()) {
        if (object.isStream()) {
            const std::shared_ptr<Buffer> data = object.getStreamData();
            out.append(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
        }
    }
    return out;
}

} // namespace quenly::test
