// Draws chosen rows of a result sheet, one range to a one-page PDF in memory.
#include "pdf/rows_pdf.h"

#include "pdf/page_painter.h"
#include "print/page_layout.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>

namespace quenly::wb::pdf {

namespace {

cairo_status_t appendTo(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

const Worksheet& activeSheet(const Workbook& book) {
    if (book.sheetCount() == 0) {
        throw WorkbookError("工作簿中没有工作表，无法生成PDF");
    }
    return book.sheet(book.activeSheet < book.sheetCount() ? book.activeSheet : 0);
}

print::PageLayout layoutOf(const Workbook& book, const Worksheet& sheet) {
    return sheet.pageSetup ? print::layoutPages(book, sheet, *sheet.pageSetup)
                           : print::layoutPages(book, sheet);
}

} // namespace

struct RowsPdfWriter::Impl {
    explicit Impl(const Workbook& book)
        : sheet(activeSheet(book))
        , layout(layoutOf(book, sheet))
        , painter(book, sheet, layout, false) {}

    const Worksheet& sheet;
    print::PageLayout layout;
    PagePainter painter;
};

RowsPdfWriter::RowsPdfWriter(const Workbook& book)
    : m_impl(std::make_unique<Impl>(book)) {}

RowsPdfWriter::~RowsPdfWriter() = default;

double RowsPdfWriter::fitOf(std::uint32_t firstRow, std::uint32_t lastRow) const {
    const auto& heights = m_impl->layout.rowHeightsPt;
    double tall = 0;
    for (std::uint32_t r = firstRow; r <= lastRow && r < heights.size(); ++r) {
        tall += heights[r];
    }
    const double room = m_impl->layout.printableHeightPt();
    return tall > room ? room / tall : 1.0;
}

std::string RowsPdfWriter::pagePdf(std::uint32_t firstRow, std::uint32_t lastRow,
                                   const std::string& title) {
    return pagesPdf({{firstRow, lastRow}}, title);
}

std::string RowsPdfWriter::pagesPdf(const std::vector<Rows>& pages, const std::string& title) {
    const print::PageLayout& layout = m_impl->layout;
    std::string out;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(
        appendTo, &out, layout.paperWidthPt, layout.paperHeightPt);
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, title.c_str());
    cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_CREATOR, "Quenly");
    cairo_t* cr = cairo_create(surface);
    for (const Rows& page : pages) {
        // Rows past the laid-out sheet have nothing to draw.
        const std::int64_t last = std::min<std::int64_t>(page.lastRow, layout.lastRow);
        if (layout.lastRow >= 0 && page.firstRow <= last) {
            const print::Page rows{page.firstRow, static_cast<std::uint32_t>(last), true};
            m_impl->painter.paintRows(cr, rows, fitOf(rows.firstRow, rows.lastRow));
        }
        cairo_show_page(cr);
    }
    cairo_status_t status = cairo_status(cr);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    if (status == CAIRO_STATUS_SUCCESS) {
        status = cairo_surface_status(surface);
    }
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        throw WorkbookError(status == CAIRO_STATUS_NO_MEMORY
                                ? std::string("生成PDF时内存不足")
                                : std::string("生成PDF时出错（") + cairo_status_to_string(status) +
                                      "）");
    }
    return out;
}

} // namespace quenly::wb::pdf
