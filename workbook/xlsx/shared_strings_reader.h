// Texts of an .xlsx package: the shared strings part (xl/sharedStrings.xml), and the rich text
// of its items and of inline strings.
#pragma once

#include "xlsx/xlsx_styles_reader.h"
#include "xlsx/xml_reader.h"
#include "xlsx/zip_reader.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quenly::wb::xlsx_read {

/// Collects one <si> or <is>: plain <t> text, or runs <r><rPr/><t/></r> whose fonts are
/// resolved with `styles`; phonetic runs (<rPh>) are left out.
class RichTextBuilder {
public:
    explicit RichTextBuilder(const ReadStyles& styles)
        : m_styles(styles) {}

    /// Starts a new item.
    void begin();
    /// An element inside the item; returns true while the element's text is wanted.
    bool start(std::string_view name, const Attributes& a);
    void end(std::string_view name);
    void text(const char* s, std::size_t n) { m_t.append(s, n); }
    /// Adds the collected text to `strings` (a plain text is interned) and returns its index.
    std::uint32_t finish(StringTable& strings);

private:
    const ReadStyles& m_styles;
    std::string m_plain;
    std::string m_t;
    std::vector<RichRun> m_runs;
    RichRun m_run;
    RawFont m_runFont;
    bool m_anyFont = false;
    bool m_inRun = false;
    bool m_inProps = false;
    int m_phonetic = 0;
};

/// Reads the shared strings part `part` into `strings`; returns, for each item of the part in
/// order, its index in `strings`. Throws WorkbookError for malformed XML.
std::vector<std::uint32_t> readSharedStrings(const ZipReader& zip, std::string_view part,
                                             const ReadStyles& styles, StringTable& strings);

} // namespace quenly::wb::xlsx_read
