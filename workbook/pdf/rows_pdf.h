// Draws chosen rows of a result sheet, one range to a one-page PDF in memory, as the whole PDF
// draws them.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "workbook.h"

namespace quenly::wb::pdf {

/// One-page PDFs of row ranges of the active sheet of `book` (which must outlive the writer),
/// laid out once as writePdf lays the sheet out (its page set-up, or the layout made now): the
/// same paper, orientation, scale, margins, column widths, row heights, fonts, fills and borders.
/// Fonts and text layouts are made once and reused for every document. One writer belongs to
/// one thread at a time.
class RowsPdfWriter {
public:
    explicit RowsPdfWriter(const Workbook& book);
    ~RowsPdfWriter();
    RowsPdfWriter(const RowsPdfWriter&) = delete;
    RowsPdfWriter& operator=(const RowsPdfWriter&) = delete;

    /// A PDF of one page holding rows `firstRow` .. `lastRow` (from 0) from the top margin, with
    /// no cut line and no page number; rows taller than the page's printable height are scaled
    /// down until they fit it. `title` goes into the document's information. Throws
    /// WorkbookError when cairo fails (lack of memory).
    std::string pagePdf(std::uint32_t firstRow, std::uint32_t lastRow, const std::string& title);

    /// Rows `firstRow` .. `lastRow` (from 0) of a page.
    struct Rows {
        std::uint32_t firstRow = 0;
        std::uint32_t lastRow = 0;
    };
    /// One PDF with a page for each of `pages`, each drawn as pagePdf draws it. A document's fonts
    /// are prepared once, however many pages it has, so this is far quicker than a document per
    /// page. Throws WorkbookError as pagePdf does.
    std::string pagesPdf(const std::vector<Rows>& pages, const std::string& title);

    /// The factor by which rows `firstRow` .. `lastRow` are drawn smaller than on the sheet's own
    /// pages to fit one page: 1 when they fit as they are.
    double fitOf(std::uint32_t firstRow, std::uint32_t lastRow) const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace quenly::wb::pdf
