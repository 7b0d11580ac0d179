// What every part the .xlsx writer makes shares: the XML declaration, the namespaces of
// SpreadsheetML, cell references, and the size the streamed parts are cut to.
#pragma once

#include "workbook.h"
#include "xlsx/xml_writer.h"

#include <cstdint>
#include <string_view>

namespace quenly::wb::xlsx_write {

inline constexpr std::string_view kXmlDecl =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
inline constexpr std::string_view kMainNs =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
inline constexpr std::string_view kRelNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

/// Raw XML aimed at per piece of a streamed part; the estimates used for cutting are upper
/// bounds, about twice the real size, so real pieces come out near 1 MiB.
inline constexpr std::uint64_t kPieceBound = 2u << 20;

/// "B3" for the 0-based cell (2, 1).
inline void appendCellRef(xml::XmlBuffer& b, std::uint32_t row, std::uint32_t col) {
    b.commit(cells::writeCellAddress(b.ensure(cells::kMaxCellAddress), row, col));
}

/// "A1:D1", or "B3" for a range of one cell.
inline void appendRange(xml::XmlBuffer& b, const CellRange& r) {
    appendCellRef(b, r.firstRow, r.firstCol);
    if (r.lastRow != r.firstRow || r.lastCol != r.firstCol) {
        b.append(':');
        appendCellRef(b, r.lastRow, r.lastCol);
    }
}

} // namespace quenly::wb::xlsx_write
