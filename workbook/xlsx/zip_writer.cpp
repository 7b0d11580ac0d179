// The zip archive writer: local headers patched after each entry, zip64 records where sizes,
// offsets or the entry count need them, and streamed entries deflated piece by piece in parallel.
#include "xlsx/zip_writer.h"

#include "text_util.h"
#include "whole_file.h"
#include "workbook.h"
#include "xlsx/piece_deflater.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <exception>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace quenly::wb::zip {

namespace {

constexpr std::uint32_t kMax32 = 0xFFFFFFFFu;
constexpr std::uint16_t kMax16 = 0xFFFFu;

void put16(std::string& b, std::uint16_t v) {
    b.push_back(static_cast<char>(v & 0xFF));
    b.push_back(static_cast<char>(v >> 8));
}

void put32(std::string& b, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

void put64(std::string& b, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) {
        b.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
}

std::uint32_t clamp32(std::uint64_t v) {
    return v >= kMax32 ? kMax32 : static_cast<std::uint32_t>(v);
}

unsigned resolveThreads(unsigned threads) {
    if (threads == 0) {
        threads = std::thread::hardware_concurrency();
    }
    return std::clamp(threads, 1u, 64u);
}

} // namespace

ZipWriter::ZipWriter(const std::filesystem::path& file, const ZipWriterOptions& options)
    : m_file(file)
    , m_options(options) {
    m_options.threads = resolveThreads(m_options.threads);
    m_options.level = std::clamp(m_options.level, 1, 9);
    m_fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        fail(errno);
    }
    if (m_options.startOffset > 0) {
        if (::lseek(m_fd, static_cast<off_t>(m_options.startOffset), SEEK_SET) < 0) {
            const int err = errno;
            ::close(m_fd);
            m_fd = -1;
            fail(err);
        }
        m_pos = m_options.startOffset;
    }
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    const int year = std::clamp(tm.tm_year + 1900, 1980, 2107); // what MS-DOS dates hold
    m_dosTime = static_cast<std::uint16_t>((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    m_dosDate =
        static_cast<std::uint16_t>(((year - 1980) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
}

ZipWriter::~ZipWriter() {
    if (m_compressor) {
        libdeflate_free_compressor(m_compressor);
    }
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void ZipWriter::fail(int err) const {
    throw WorkbookError("无法写入文件" + inQuotes(m_file.string()) + "：" + std::strerror(err));
}

void ZipWriter::writeAll(const void* data, std::size_t n) {
    if (const int err = files::writeAll(m_fd, data, n); err != 0) {
        fail(err);
    }
    m_pos += n;
}

void ZipWriter::writeAt(std::uint64_t pos, const void* data, std::size_t n) {
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::pwrite(m_fd, p, n, static_cast<off_t>(pos));
        if (w < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(errno);
        }
        if (w == 0) {
            fail(ENOSPC);
        }
        p += w;
        pos += static_cast<std::uint64_t>(w);
        n -= static_cast<std::size_t>(w);
    }
}

void ZipWriter::writeLocalHeader(Entry& e) {
    e.offset = m_pos;
    std::string h;
    put32(h, 0x04034b50);
    put16(h, e.localZip64 ? 45 : 20);
    put16(h, 0); // flags: no data descriptor; names are ASCII
    put16(h, 8); // deflate
    put16(h, m_dosTime);
    put16(h, m_dosDate);
    put32(h, e.crc);
    put32(h, e.localZip64 ? kMax32 : static_cast<std::uint32_t>(e.compressed));
    put32(h, e.localZip64 ? kMax32 : static_cast<std::uint32_t>(e.uncompressed));
    put16(h, static_cast<std::uint16_t>(e.name.size()));
    put16(h, e.localZip64 ? 20 : 0);
    h += e.name;
    if (e.localZip64) {
        put16(h, 0x0001);
        put16(h, 16);
        put64(h, e.uncompressed);
        put64(h, e.compressed);
    }
    writeAll(h.data(), h.size());
}

void ZipWriter::patchLocalHeader(const Entry& e) {
    std::string b;
    put32(b, e.crc);
    if (e.localZip64) {
        writeAt(e.offset + 14, b.data(), b.size());
        b.clear();
        put64(b, e.uncompressed);
        put64(b, e.compressed);
        writeAt(e.offset + 30 + e.name.size() + 4, b.data(), b.size());
    } else {
        put32(b, static_cast<std::uint32_t>(e.compressed));
        put32(b, static_cast<std::uint32_t>(e.uncompressed));
        writeAt(e.offset + 14, b.data(), b.size());
    }
}

void ZipWriter::addEntry(std::string_view name, std::string_view data) {
    Entry e;
    e.name = std::string(name);
    e.uncompressed = data.size();
    e.crc = static_cast<std::uint32_t>(libdeflate_crc32(0, data.data(), data.size()));
    if (!m_compressor) {
        m_compressor = libdeflate_alloc_compressor(6);
        if (!m_compressor) {
            throw std::bad_alloc();
        }
    }
    std::string out(libdeflate_deflate_compress_bound(m_compressor, data.size()), '\0');
    const std::size_t n =
        libdeflate_deflate_compress(m_compressor, data.data(), data.size(), out.data(), out.size());
    e.compressed = n;
    e.localZip64 = m_options.forceZip64 || e.uncompressed >= kMax32 || e.compressed >= kMax32;
    writeLocalHeader(e);
    writeAll(out.data(), n);
    m_entries.push_back(std::move(e));
}

namespace {

// The pieces of one streamed entry on their way from the producer to the file: produced and
// deflated on several threads, a window of pieces ahead of the one written next, and written in
// order by whichever thread finishes the piece that is due.
class PiecePipeline {
public:
    using Write = std::function<void(const char* data, std::size_t size)>;

    PiecePipeline(const PieceProducer& produce, std::size_t pieceCount, unsigned threads,
                  const ZipWriterOptions& options, Write write)
        : m_produce(produce)
        , m_pieceCount(pieceCount)
        , m_window(std::max<std::size_t>(2, std::size_t{threads} * 3))
        , m_options(options)
        , m_write(std::move(write))
        , m_slots(m_window) {}

    // Work of one thread until every piece is written or one has failed; a fault is kept for
    // rethrow().
    void work() {
        try {
            PieceDeflater deflater(m_options.level, m_options.zlibPieces);
            std::string piece;
            for (std::size_t i; claim(i);) {
                // The slot is this thread's until it is marked ready: its previous piece has
                // been written, and the window keeps others off it.
                Slot& slot = m_slots[i % m_window];
                piece.clear();
                m_produce(i, piece);
                slot.length = deflater.deflatePiece(piece, slot.data, i + 1 == m_pieceCount);
                slot.crc =
                    static_cast<std::uint32_t>(libdeflate_crc32(0, piece.data(), piece.size()));
                slot.raw = piece.size();
                std::unique_lock lock(m_mutex);
                slot.ready = true;
                writeReady(lock);
            }
        } catch (...) {
            std::lock_guard lock(m_mutex);
            if (!m_error) {
                m_error = std::current_exception();
            }
            m_changed.notify_all();
        }
    }

    void rethrow() const {
        if (m_error) {
            std::rethrow_exception(m_error);
        }
    }

    // The entry's CRC and its sizes, once every piece is written.
    std::uint32_t crc() const { return m_crc; }
    std::uint64_t raw() const { return m_raw; }
    std::uint64_t compressed() const { return m_compressed; }

private:
    struct Slot {
        std::string data;
        std::size_t length = 0;
        std::uint32_t crc = 0;
        std::uint64_t raw = 0;
        bool ready = false;
    };

    // Takes the next piece to make, waiting while the window is full; false when there is none
    // left or a piece has failed.
    bool claim(std::size_t& index) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] {
            return m_error || m_next >= m_pieceCount || m_next < m_written + m_window;
        });
        if (m_error || m_next >= m_pieceCount) {
            return false;
        }
        index = m_next++;
        return true;
    }

    // Writes the finished pieces that are due, in order, unless another thread is at it.
    void writeReady(std::unique_lock<std::mutex>& lock) {
        if (m_writing) {
            return;
        }
        m_writing = true;
        while (!m_error && m_written < m_pieceCount && m_slots[m_written % m_window].ready) {
            Slot& s = m_slots[m_written % m_window];
            lock.unlock();
            m_write(s.data.data(), s.length);
            m_crc = static_cast<std::uint32_t>(
                crc32_combine64(m_crc, s.crc, static_cast<z_off64_t>(s.raw)));
            m_raw += s.raw;
            m_compressed += s.length;
            lock.lock();
            s.ready = false;
            ++m_written;
            m_changed.notify_all();
        }
        m_writing = false;
    }

    const PieceProducer& m_produce;
    const std::size_t m_pieceCount;
    const std::size_t m_window;
    const ZipWriterOptions& m_options;
    const Write m_write;
    std::vector<Slot> m_slots;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_next = 0;    // the next piece to produce
    std::size_t m_written = 0; // pieces written to the file so far
    bool m_writing = false;    // one thread at a time writes finished pieces, in order
    std::exception_ptr m_error;
    std::uint32_t m_crc = 0;
    std::uint64_t m_raw = 0;
    std::uint64_t m_compressed = 0;
};

} // namespace

void ZipWriter::addStreamedEntry(std::string_view name, std::size_t pieceCount,
                                 const PieceProducer& produce, std::uint64_t sizeBound) {
    Entry e;
    e.name = std::string(name);
    // Deflate may grow incompressible data a little; the bound leaves room for that.
    const std::uint64_t compressedBound = sizeBound + sizeBound / 64 + 64 * (pieceCount + 1);
    e.localZip64 = m_options.forceZip64 || compressedBound >= kMax32;
    writeLocalHeader(e);
    if (pieceCount == 0) {
        // An empty deflate stream: one final, empty fixed-Huffman block.
        const char empty[2] = {0x03, 0x00};
        writeAll(empty, 2);
        e.compressed = 2;
        e.crc = 0;
        patchLocalHeader(e);
        m_entries.push_back(std::move(e));
        return;
    }
    const unsigned threads =
        static_cast<unsigned>(std::min<std::size_t>(m_options.threads, pieceCount));
    PiecePipeline pipeline(produce, pieceCount, threads, m_options,
                           [this](const char* data, std::size_t size) { writeAll(data, size); });
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back([&pipeline] { pipeline.work(); });
        } catch (const std::system_error&) {
            break; // fewer threads, same result
        }
    }
    pipeline.work();
    for (auto& t : helpers) {
        t.join();
    }
    pipeline.rethrow();
    e.crc = pipeline.crc();
    e.uncompressed = pipeline.raw();
    e.compressed = pipeline.compressed();
    if (!e.localZip64 && (e.uncompressed >= kMax32 || e.compressed >= kMax32)) {
        throw WorkbookError("无法写入文件" + inQuotes(m_file.string()) + "：条目" +
                            inQuotes(e.name) + "超出了预计的大小");
    }
    patchLocalHeader(e);
    m_entries.push_back(std::move(e));
}

namespace {

// The central directory record of one entry.
void appendCentralRecord(std::string& cd, const ZipEntryRecord& e, bool forceZip64,
                         std::uint16_t dosTime, std::uint16_t dosDate) {
    const bool sizes64 = e.localZip64 || e.uncompressed >= kMax32 || e.compressed >= kMax32;
    const bool offset64 = forceZip64 || e.offset >= kMax32;
    std::string extra;
    if (sizes64 || offset64) {
        put16(extra, 0x0001);
        put16(extra, static_cast<std::uint16_t>((sizes64 ? 16 : 0) + (offset64 ? 8 : 0)));
        if (sizes64) {
            put64(extra, e.uncompressed);
            put64(extra, e.compressed);
        }
        if (offset64) {
            put64(extra, e.offset);
        }
    }
    const std::uint16_t version = extra.empty() ? 20 : 45;
    put32(cd, 0x02014b50);
    put16(cd, version); // made by: MS-DOS host
    put16(cd, version);
    put16(cd, 0);
    put16(cd, 8);
    put16(cd, dosTime);
    put16(cd, dosDate);
    put32(cd, e.crc);
    put32(cd, sizes64 ? kMax32 : static_cast<std::uint32_t>(e.compressed));
    put32(cd, sizes64 ? kMax32 : static_cast<std::uint32_t>(e.uncompressed));
    put16(cd, static_cast<std::uint16_t>(e.name.size()));
    put16(cd, static_cast<std::uint16_t>(extra.size()));
    put16(cd, 0); // comment
    put16(cd, 0); // disk
    put16(cd, 0); // internal attributes
    put32(cd, 0); // external attributes
    put32(cd, offset64 ? kMax32 : static_cast<std::uint32_t>(e.offset));
    cd += e.name;
    cd += extra;
}

// The end of central directory record, after the zip64 record and locator where the entry
// count, the directory's size or offset (or `forced`) need them; `endOffset` is where it goes.
std::string endRecords(std::uint64_t count, std::uint64_t cdOffset, std::uint64_t cdSize,
                       std::uint64_t endOffset, bool forced) {
    std::string end;
    if (forced || count >= kMax16 || cdOffset >= kMax32 || cdSize >= kMax32) {
        put32(end, 0x06064b50);
        put64(end, 44);
        put16(end, 45);
        put16(end, 45);
        put32(end, 0);
        put32(end, 0);
        put64(end, count);
        put64(end, count);
        put64(end, cdSize);
        put64(end, cdOffset);
        put32(end, 0x07064b50);
        put32(end, 0);
        put64(end, endOffset);
        put32(end, 1);
    }
    put32(end, 0x06054b50);
    put16(end, 0);
    put16(end, 0);
    const std::uint16_t count16 =
        forced || count >= kMax16 ? kMax16 : static_cast<std::uint16_t>(count);
    put16(end, count16);
    put16(end, count16);
    put32(end, forced ? kMax32 : clamp32(cdSize));
    put32(end, forced ? kMax32 : clamp32(cdOffset));
    put16(end, 0);
    return end;
}

} // namespace

void ZipWriter::finish() {
    const std::uint64_t cdOffset = m_pos;
    std::string cd;
    for (const Entry& e : m_entries) {
        appendCentralRecord(cd, e, m_options.forceZip64, m_dosTime, m_dosDate);
        if (cd.size() >= (1u << 20)) {
            writeAll(cd.data(), cd.size());
            cd.clear();
        }
    }
    writeAll(cd.data(), cd.size());
    const std::uint64_t cdSize = m_pos - cdOffset;
    const std::string end =
        endRecords(m_entries.size(), cdOffset, cdSize, m_pos, m_options.forceZip64);
    writeAll(end.data(), end.size());
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        fail(errno);
    }
}

} // namespace quenly::wb::zip
