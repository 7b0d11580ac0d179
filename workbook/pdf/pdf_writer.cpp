// Writes a result sheet as a PDF of whole slips, without any spreadsheet application.
#include "pdf_writer.h"

#include "page_layout.h"
#include "page_painter.h"
#include "text_util.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace quenly::wb::pdf {

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const fs::path& file, const std::string& why) {
    throw WorkbookError("无法写入PDF文件" + inQuotes(file.string()) + "：" + why);
}

// The file cairo writes into; remembers the first write fault.
struct Sink {
    int fd = -1;
    int error = 0;
};

cairo_status_t writeToSink(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<Sink*>(closure);
    while (length > 0 && sink->error == 0) {
        const ssize_t w = ::write(sink->fd, data, length);
        if (w < 0) {
            if (errno != EINTR) {
                sink->error = errno;
            }
            continue;
        }
        if (w == 0) {
            sink->error = ENOSPC;
            break;
        }
        data += w;
        length -= static_cast<unsigned int>(w);
    }
    return sink->error == 0 ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

// The temporary file beside the target: closed and removed unless it was renamed.
class TempFile {
public:
    TempFile(const fs::path& target, const fs::path& dir) {
        std::string tmpl = (dir / ("." + target.filename().string() + ".tmp-XXXXXX")).string();
        m_sink.fd = mkstemp(tmpl.data());
        if (m_sink.fd < 0) {
            fail(target, saveFault(errno));
        }
        m_path = tmpl;
        // mkstemp gives 0600; the PDF gets the permissions any new file would get.
        const mode_t mask = umask(0);
        umask(mask);
        fchmod(m_sink.fd, 0666 & ~mask);
    }
    ~TempFile() {
        if (m_sink.fd >= 0) {
            ::close(m_sink.fd);
        }
        if (!m_path.empty()) {
            std::error_code ec;
            fs::remove(m_path, ec);
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    Sink& sink() { return m_sink; }

    /// Flushes the file to disk and renames it to `target`; returns the fault's errno, or 0.
    int commit(const fs::path& target) {
        if (::fsync(m_sink.fd) != 0) {
            return errno;
        }
        const int fd = m_sink.fd;
        m_sink.fd = -1;
        if (::close(fd) != 0) {
            return errno;
        }
        if (std::rename(m_path.c_str(), target.c_str()) != 0) {
            return errno;
        }
        m_path.clear();
        return 0;
    }

private:
    fs::path m_path;
    Sink m_sink;
};

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
    const print::PageLayout layout = print::layoutPages(book, sheet);

    TempFile temp(file, dir);
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(cairo_pdf_surface_create_for_stream(
        writeToSink, &temp.sink(), layout.paperWidthPt, layout.paperHeightPt));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        fail(file, cairoFault(cairo_surface_status(surface.get()), temp.sink()));
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
                fail(file, cairoFault(cairo_status(cr.get()), temp.sink()));
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
    if (status != CAIRO_STATUS_SUCCESS || temp.sink().error != 0) {
        fail(file, cairoFault(status, temp.sink()));
    }
    if (const int err = temp.commit(file); err != 0) {
        fail(file, saveFault(err));
    }
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
}

} // namespace quenly::wb::pdf
