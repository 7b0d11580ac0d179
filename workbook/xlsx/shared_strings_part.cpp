// The shared strings part (xl/sharedStrings.xml): the texts cells use, plain and rich, produced
// in pieces.
#include "xlsx/shared_strings_part.h"

#include "xlsx/sheetml.h"
#include "xlsx/styles_part.h"

namespace quenly::wb::xlsx_write {

using xml::XmlBuffer;

namespace {

void appendStringItem(XmlBuffer& b, const SharedString& s) {
    auto text = [&](std::string_view t) {
        b.append(xml::needsSpacePreserve(t) ? "<t xml:space=\"preserve\">" : "<t>");
        b.appendText(t);
        b.append("</t>");
    };
    b.append("<si>");
    if (s.runs.empty()) {
        text(s.text);
    } else {
        for (const RichRun& run : s.runs) {
            b.append("<r>");
            if (run.hasFont) {
                b.append("<rPr>");
                appendFontProperties(b, run.font, true);
                b.append("</rPr>");
            }
            text(run.text);
            b.append("</r>");
        }
    }
    b.append("</si>");
}

} // namespace

SharedStringsXml::SharedStringsXml(const StringTable& strings, std::vector<std::uint32_t> order,
                                   std::uint64_t count)
    : m_strings(strings)
    , m_order(std::move(order))
    , m_count(count) {
    m_cuts.push_back(0);
    std::uint64_t piece = 0;
    for (std::size_t k = 0; k < m_order.size(); ++k) {
        const SharedString& s = m_strings.at(m_order[k]);
        std::uint64_t item = 64 + 7 * std::uint64_t{s.text.size()};
        for (const RichRun& run : s.runs) {
            item += 512 + 7 * run.text.size() +
                    6 * (run.font.name.size() + run.font.underline.size() +
                         run.font.vertAlign.size() + run.font.scheme.size());
        }
        m_bound += item;
        piece += item;
        if (piece >= kPieceBound) {
            m_cuts.push_back(k + 1);
            piece = 0;
        }
    }
    if (m_cuts.back() != m_order.size()) {
        m_cuts.push_back(m_order.size());
    }
}

void SharedStringsXml::produce(std::size_t index, std::string& out) const {
    XmlBuffer b(std::move(out));
    if (index == 0) {
        b.append(kXmlDecl);
        b.append("<sst");
        b.attr("xmlns", kMainNs);
        b.attr("count", m_count);
        b.attr("uniqueCount", m_order.size());
        b.append('>');
    } else {
        for (std::size_t i = m_cuts[index - 1]; i < m_cuts[index]; ++i) {
            appendStringItem(b, m_strings.at(m_order[i]));
        }
    }
    if (index + 1 == pieceCount()) {
        b.append("</sst>");
    }
    out = b.take();
}

} // namespace quenly::wb::xlsx_write
