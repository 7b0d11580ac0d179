// The strings of a BIFF stream: byte strings in the workbook's code page (BIFF5), UTF-16 strings
// with their flags across CONTINUE boundaries (BIFF8), and rich text with fonts for its runs.
#pragma once

#include "workbook.h"
#include "xls/biff_styles.h"
#include "xls/codepage.h"
#include "xls/data_reader.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quenly::wb::xls {

/// A font run of rich text: from character (or byte) `pos` on, font `font`.
struct RunMark {
    std::uint32_t pos;
    std::uint16_t font;
};

/// Decodes the strings of one workbook into UTF-8. Run fonts are looked up in `styles`, which
/// must outlive the decoder. Running out of data throws ShortRecord.
class BiffStrings {
public:
    explicit BiffStrings(const BiffStyles& styles)
        : m_styles(styles) {}

    /// Byte strings are in `codepage` from now on; throws WorkbookError (without a file name)
    /// when the code page is unknown. Without one, bytes are Latin-1, as BIFF8's compressed
    /// characters are.
    void setCodepage(unsigned codepage);

    /// `len` bytes of a byte string.
    std::string byteString(DataReader& in, std::size_t len);
    /// A BIFF8 XLUnicodeString whose character count takes `lenBytes` bytes (1 or 2).
    std::string unicodeString(DataReader& in, std::size_t lenBytes);
    /// The same with its rich text runs; with `runsAfter` the run count follows the characters
    /// (as in RSTRING) instead of the flags.
    SharedString richString(DataReader& in, std::size_t lenBytes, bool runsAfter);
    /// A BIFF5 byte string with runs that count bytes (or characters, where bytes would split
    /// one).
    SharedString fromBytes(const std::uint8_t* p, std::size_t n, std::vector<RunMark> runs);

private:
    SharedString fromUnits(const std::vector<RunMark>& runs);

    const BiffStyles& m_styles;
    std::unique_ptr<CodepageDecoder> m_decoder;
    std::vector<std::uint8_t> m_units; // UTF-16LE code units of the string being read
};

} // namespace quenly::wb::xls
