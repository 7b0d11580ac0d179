// The clipboard shared by the spreadsheet instances of one server: a copied block of cells with
// their formats, merges and row formats, pasted into any workbook of any instance.
#pragma once

#include "workbook.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace quenly::wb {

/// A workbook as an instance holds it, with an id unique within the process, so that paste
/// caches never confuse a closed workbook with a new one at the same address.
struct OpenBook {
    explicit OpenBook(std::shared_ptr<Workbook> b);

    /// How the texts and formats of one source workbook map into this one; filled lazily,
    /// each source entry once.
    struct Mapping {
        std::vector<std::uint32_t> styles;
        std::vector<std::uint32_t> strings;
    };

    std::shared_ptr<Workbook> book;
    std::uint64_t id;
    /// False once the workbook was closed or handed over; its objects then refuse every call.
    bool open = true;
    /// Set for a new workbook until its first paste: that paste gives it the source's default
    /// format (the font column widths are measured in) and default row height.
    bool adoptsDefaults = false;
    /// The selection of each worksheet (0-based), A1 when none was made.
    std::unordered_map<std::size_t, CellRange> selections;
    std::unordered_map<std::uint64_t, Mapping> mappings;
};

/// What a Copy put on the clipboard. Cells keep the source workbook's style and string indices;
/// the source workbook is held so that Paste can map them.
class Clipboard {
public:
    /// Takes the cells, formats, merges lying wholly inside `area` and row formats of `area` of
    /// sheet `sheet` of `source`. Only cells that exist are copied, so the cost follows the
    /// cells, not the area.
    void copy(const std::shared_ptr<OpenBook>& source, std::size_t sheet, const CellRange& area);

    /// Pastes into sheet `sheet` of `target` with the top-left corner at the 0-based cell
    /// (`row`, `col`); returns the pasted area. Throws AutomationError (in words for the user)
    /// when the clipboard is empty, the area runs past the sheet's last row or column, or a merge
    /// of the target overlaps the area only in part; nothing is changed then.
    CellRange paste(OpenBook& target, std::size_t sheet, std::uint32_t row, std::uint32_t col);

    bool empty() const { return !m_source; }
    /// Drops the contents when they came from the workbook with id `bookId` (it was closed).
    void forget(std::uint64_t bookId);
    void clear();

private:
    struct CopiedRow {
        std::uint32_t offset = 0;   // index of the first cell in m_cells
        std::uint32_t firstCol = 0; // relative to the area
        std::uint32_t count = 0;
        double height = 0;
        bool customHeight = false;
        bool hidden = false;
        bool present = false; // the source row exists
    };

    std::shared_ptr<OpenBook> m_source;
    CellRange m_area;
    double m_sourceDefaultRowHeight = 15;
    std::vector<CopiedRow> m_rows; // one per row of the area that the source sheet has
    std::vector<Cell> m_cells;
    std::vector<CellRange> m_merges; // relative to the area
};

} // namespace quenly::wb
