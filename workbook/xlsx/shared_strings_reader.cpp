// The shared strings part and rich text: items of plain text or of runs with fonts of their own.
#include "xlsx/shared_strings_reader.h"

#include "xlsx/xlsx_read_common.h"

#include <algorithm>

namespace quenly::wb::xlsx_read {

namespace {

class SharedStringsHandler : public XmlHandler {
public:
    SharedStringsHandler(const ReadStyles& styles, StringTable& strings,
                         std::vector<std::uint32_t>& map)
        : m_builder(styles)
        , m_strings(strings)
        , m_map(map) {}

    void startElement(std::string_view name, const Attributes& a) override {
        if (name == "si") {
            m_inItem = true;
            m_builder.begin();
        } else if (m_inItem) {
            wantText = m_builder.start(name, a);
        } else if (name == "sst") {
            if (const char* n = a.get("uniqueCount")) {
                // Only a hint: never trust it for more than the part could hold.
                const std::size_t count =
                    std::min<std::size_t>(parseUnsigned(n).value_or(0), 1u << 20);
                m_map.reserve(count);
                m_strings.reserve(count);
            }
        }
    }

    void endElement(std::string_view name) override {
        wantText = false;
        if (name == "si" && m_inItem) {
            m_map.push_back(m_builder.finish(m_strings));
            m_inItem = false;
        } else if (m_inItem) {
            m_builder.end(name);
        }
    }

    void text(const char* s, std::size_t n) override { m_builder.text(s, n); }

private:
    RichTextBuilder m_builder;
    StringTable& m_strings;
    std::vector<std::uint32_t>& m_map;
    bool m_inItem = false;
};

} // namespace

void RichTextBuilder::begin() {
    m_plain.clear();
    m_runs.clear();
    m_anyFont = false;
    m_phonetic = 0;
    m_inRun = false;
    m_inProps = false;
}

bool RichTextBuilder::start(std::string_view name, const Attributes& a) {
    if (name == "rPh") {
        ++m_phonetic;
    }
    if (m_phonetic) {
        return false;
    }
    if (name == "r") {
        m_inRun = true;
        m_run = RichRun{};
        m_runFont = m_styles.defaultFont;
    } else if (name == "rPr" && m_inRun) {
        m_inProps = true;
        m_run.hasFont = true;
        m_anyFont = true;
    } else if (m_inProps) {
        applyFontElement(m_runFont, name, a);
    } else if (name == "t") {
        m_t.clear();
        return true;
    }
    return false;
}

void RichTextBuilder::end(std::string_view name) {
    if (name == "rPh") {
        if (m_phonetic) {
            --m_phonetic;
        }
        return;
    }
    if (m_phonetic) {
        return;
    }
    if (name == "t") {
        decodeEscapes(m_t);
        (m_inRun ? m_run.text : m_plain) += m_t;
    } else if (name == "rPr") {
        m_inProps = false;
    } else if (name == "r" && m_inRun) {
        if (m_run.hasFont) {
            m_run.font = m_runFont.resolve(m_styles.palette, m_styles.theme);
        }
        m_runs.push_back(std::move(m_run));
        m_inRun = false;
    }
}

std::uint32_t RichTextBuilder::finish(StringTable& strings) {
    if (m_runs.empty() || !m_anyFont) {
        for (const RichRun& r : m_runs) {
            m_plain += r.text;
        }
        return strings.intern(m_plain);
    }
    SharedString s;
    if (!m_plain.empty()) {
        m_runs.insert(m_runs.begin(), RichRun{m_plain, false, {}});
    }
    for (const RichRun& r : m_runs) {
        s.text += r.text;
    }
    s.runs = std::move(m_runs);
    m_runs.clear();
    return strings.addRich(std::move(s));
}

std::vector<std::uint32_t> readSharedStrings(const ZipReader& zip, std::string_view part,
                                             const ReadStyles& styles, StringTable& strings) {
    std::vector<std::uint32_t> items;
    SharedStringsHandler h(styles, strings, items);
    parsePart(zip, part, h, kMaxSharedStringsPart);
    return items;
}

} // namespace quenly::wb::xlsx_read
