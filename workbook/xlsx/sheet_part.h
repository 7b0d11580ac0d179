// The worksheet part (xl/worksheets/sheetN.xml): planned in one scan of the cells, then produced
// in pieces of bounded size that can be deflated in parallel.
#pragma once

#include "workbook.h"
#include "xlsx/xml_writer.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace quenly::wb::xlsx_write {

/// What the writer needs to know of a sheet before its XML is produced. Rows and columns count
/// from 0.
struct SheetPlan {
    const Worksheet* sheet = nullptr;
    bool active = false;
    /// Whether any cell is written, and the range they cover.
    bool anyCell = false;
    std::uint32_t firstRow = 0, lastRow = 0, firstCol = 0, lastCol = 0;
    /// Cells holding text.
    std::uint64_t textCells = 0;
    /// The pieces of rows: piece k holds rows [rowCuts[k], rowCuts[k + 1]).
    std::vector<std::uint32_t> rowCuts;
    /// The merges a spreadsheet application accepts, by first row, none overlapping another.
    std::vector<CellRange> merges;
    /// An upper bound of the part's size in bytes.
    std::uint64_t sizeBound = 0;
};

/// Scans the cells of `sheet` once: checks their style and text indices (throws WorkbookError
/// naming `file`, the sheet and the cell for one that refers to nothing), marks the texts in use
/// in `used` (one entry per text of the book, set to 1), finds the used range and cuts the rows
/// into pieces.
SheetPlan planSheet(const Workbook& book, const Worksheet& sheet, std::vector<std::uint32_t>& used,
                    const std::filesystem::path& file);

/// The sheet's XML in pieces: the head (dimension, views, column formats), the rows, the merges,
/// and the tail with the sheet's page set-up when it has one. Texts are written as their index
/// in `remap` (old index to the index in the shared strings part).
class SheetXml {
public:
    SheetXml(const SheetPlan& plan, const std::vector<std::uint32_t>& remap);

    std::size_t pieceCount() const { return m_tailPiece + 1; }
    /// Replaces `out` with piece `index` (from 0), reusing its storage.
    void produce(std::size_t index, std::string& out) const;

private:
    void head(xml::XmlBuffer& b) const;
    void columns(xml::XmlBuffer& b) const;
    void rows(xml::XmlBuffer& b, std::uint32_t begin, std::uint32_t end) const;
    void merges(xml::XmlBuffer& b, std::size_t piece) const;
    void tail(xml::XmlBuffer& b) const;

    const SheetPlan& m_plan;
    const Worksheet& m_ws;
    const std::uint32_t* m_remap;
    std::size_t m_firstRowPiece = 1;
    std::size_t m_firstMergePiece = 1;
    std::size_t m_tailPiece = 1;
};

} // namespace quenly::wb::xlsx_write
