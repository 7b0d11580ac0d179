// Writes a result sheet as a PDF of whole slips, without any spreadsheet application.
#include "pdf/pdf_writer.h"

#include "pdf/page_painter.h"
#include "print/page_layout.h"
#include "text_util.h"
#include "whole_file.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace quenly::wb::pdf {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const fs::path& file, const std::string& why) {
    throw WorkbookError("无法写入PDF文件" + inQuotes(file.string()) + "：" + why);
}

// The file cairo writes into; remembers the first write fault.
struct Sink {
    files::WholeFile* file = nullptr;
    int error = 0;
};

cairo_status_t writeToSink(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<Sink*>(closure);
    if (sink->error == 0) {
        sink->error = sink->file->write(data, length);
    }
    return sink->error == 0 ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

struct SurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct ContextDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};

std::string cairoFault(cairo_status_t status, const Sink& sink) {
    if (sink.error != 0) {
        return saveFault(sink.error);
    }
    if (status == CAIRO_STATUS_NO_MEMORY) {
        return "内存不足";
    }
    return std::string("生成PDF时出错（") + cairo_status_to_string(status) + "）";
}

} // namespace

void writePdf(const Workbook& book, const fs::path& file, const PdfOptions& options) {
    if (book.sheetCount() == 0) {
        fail(file, "工作簿中没有工作表");
    }
    std::error_code ec;
    if (fs::is_directory(file, ec)) {
        fail(file, "这是一个文件夹");
    }
    fs::path dir = file.parent_path();
    if (dir.empty()) {
        dir = ".";
    }
    if (!fs::is_directory(dir, ec)) {
        fail(file, "文件夹" + inQuotes(dir.string()) + "不存在");
    }
    const Worksheet& sheet =
        book.sheet(book.activeSheet < book.sheetCount() ? book.activeSheet : 0);
    // The pages the result was set up with (print::setUpPages), or laid out now.
    const print::PageLayout layout = sheet.pageSetup
                                         ? print::layoutPages(book, sheet, *sheet.pageSetup)
                                         : print::layoutPages(book, sheet);

    files::WholeFile temp(file);
    if (temp.error() != 0) {
        fail(file, saveFault(temp.error()));
    }
    Sink sink{&temp};
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(cairo_pdf_surface_create_for_stream(
        writeToSink, &sink, layout.paperWidthPt, layout.paperHeightPt));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        fail(file, cairoFault(cairo_surface_status(surface.get()), sink));
    }
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, sheet.name().c_str());
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "Quenly");
    {
        std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(surface.get()));
        PagePainter painter(book, sheet, layout, options.cutLines);
        const std::size_t total = layout.pages.size();
        if (options.progress) {
            options.progress(0, total);
        }
        for (std::size_t i = 0; i < total; ++i) {
            painter.paint(cr.get(), i);
            cairo_show_page(cr.get());
            // A full disk shows at the first page that cannot be written; stop there.
            if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) {
                fail(file, cairoFault(cairo_status(cr.get()), sink));
            }
            if (options.progress) {
                options.progress(i + 1, total);
            }
        }
        if (total == 0) {
            // An empty sheet still gives a valid document: one blank page.
            cairo_show_page(cr.get());
        }
    }
    cairo_surface_finish(surface.get());
    const cairo_status_t status = cairo_surface_status(surface.get());
    if (status != CAIRO_STATUS_SUCCESS || sink.error != 0) {
        fail(file, cairoFault(status, sink));
    }
    if (const int err = temp.commit(); err != 0) {
        fail(file, saveFault(err));
    }
}

} // namespace quenly::wb::pdf
