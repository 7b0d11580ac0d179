// The zip archive writer: local headers patched after each entry, zip64 records where sizes,
// offsets or the entry count need them, and streamed entries deflated piece by piece in parallel.
#include "zip_writer.h"
#include "text_util.h"

#include "workbook.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <ctime>
#include <exception>
#include <fcntl.h>
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

// zlib's raw deflate, reset for every piece. Pieces other than the last end with a sync flush,
// so they stop byte-aligned on a non-final block and can simply be concatenated.
class ZlibPieceDeflater {
public:
    explicit ZlibPieceDeflater(int level) {
        if (deflateInit2(&m_z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            throw std::bad_alloc();
        }
    }
    ~ZlibPieceDeflater() { deflateEnd(&m_z); }
    ZlibPieceDeflater(const ZlibPieceDeflater&) = delete;
    ZlibPieceDeflater& operator=(const ZlibPieceDeflater&) = delete;

    // Deflates `in` into `out` (resized as needed); returns the compressed length.
    std::size_t deflatePiece(std::string_view in, std::string& out, bool last) {
        deflateReset(&m_z);
        const std::size_t bound = deflateBound(&m_z, static_cast<uLong>(in.size())) + 64;
        if (out.size() < bound) {
            out.resize(bound);
        }
        m_z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        m_z.avail_in = static_cast<uInt>(in.size());
        std::size_t done = 0;
        const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
        for (;;) {
            m_z.next_out = reinterpret_cast<Bytef*>(out.data() + done);
            m_z.avail_out = static_cast<uInt>(out.size() - done);
            const int rc = deflate(&m_z, flush);
            done = out.size() - m_z.avail_out;
            if (rc == Z_STREAM_END || (!last && m_z.avail_out != 0 && m_z.avail_in == 0)) {
                return done;
            }
            if (rc != Z_OK && rc != Z_BUF_ERROR) {
                throw std::bad_alloc();
            }
            out.resize(out.size() * 2);
        }
    }

private:
    z_stream m_z{};
};

// Reads a deflate stream bit by bit, least significant bit first, for the block headers. The
// buffer must extend at least 16 bytes past the stream, so a peek never reads outside it while the
// position is checked against the stream's end after each step.
class BitScanner {
public:
    BitScanner(const unsigned char* data, std::size_t size)
        : m_data(data)
        , m_size(size) {}

    std::uint32_t peek(unsigned n) const {
        std::uint64_t v;
        std::memcpy(&v, m_data + (m_pos >> 3), 8);
        return static_cast<std::uint32_t>((v >> (m_pos & 7)) & ((std::uint64_t{1} << n) - 1));
    }
    std::uint32_t take(unsigned n) {
        const std::uint32_t v = peek(n);
        m_pos += n;
        return v;
    }
    void skip(std::uint64_t n) { m_pos += n; }
    void alignToByte() { m_pos = (m_pos + 7) & ~std::uint64_t{7}; }
    bool overrun() const { return m_pos > std::uint64_t{m_size} * 8; }
    std::uint64_t position() const { return m_pos; }
    void setPosition(std::uint64_t pos) { m_pos = pos; }
    const unsigned char* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    const unsigned char* m_data;
    std::size_t m_size;
    std::uint64_t m_pos = 0;
};

// A canonical Huffman code as one lookup table indexed by the next `bits` bits of the stream.
// What an entry holds is up to the caller (entryOf(symbol, code length)); 0 marks bit patterns
// that start no code, or codes of symbols the caller refuses.
class HuffmanTable {
public:
    template <class EntryOf>
    bool build(const std::uint8_t* lengths, unsigned n, EntryOf entryOf) {
        unsigned count[16] = {};
        unsigned maxLength = 0;
        for (unsigned i = 0; i < n; ++i) {
            ++count[lengths[i]];
            maxLength = std::max<unsigned>(maxLength, lengths[i]);
        }
        count[0] = 0;
        int left = 1;
        for (unsigned l = 1; l < 16; ++l) {
            left = left * 2 - static_cast<int>(count[l]);
            if (left < 0) {
                return false; // over-subscribed
            }
        }
        m_bits = std::max(maxLength, 1u);
        m_mask = (1u << m_bits) - 1;
        m_table.assign(std::size_t{1} << m_bits, 0);
        unsigned next[16] = {};
        unsigned code = 0;
        for (unsigned l = 1; l < 16; ++l) {
            code = (code + count[l - 1]) << 1;
            next[l] = code;
        }
        for (unsigned sym = 0; sym < n; ++sym) {
            const unsigned l = lengths[sym];
            if (l == 0) {
                continue;
            }
            const unsigned c = next[l]++;
            unsigned reversed = 0;
            for (unsigned b = 0; b < l; ++b) {
                reversed |= ((c >> b) & 1u) << (l - 1 - b);
            }
            const std::uint16_t entry = entryOf(sym, l);
            for (std::size_t k = reversed; k < m_table.size(); k += std::size_t{1} << l) {
                m_table[k] = entry;
            }
        }
        return true;
    }

    std::uint16_t lookup(std::uint64_t bits) const { return m_table[bits & m_mask]; }
    unsigned bits() const { return m_bits; }

private:
    std::vector<std::uint16_t> m_table;
    unsigned m_bits = 1;
    unsigned m_mask = 1;
};

constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                             6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Entries of the tables that skip symbols: the bits to skip (the code and its extra bits) in the
// low 6 bits, the kind of symbol above them.
constexpr std::uint16_t kLiteral = 1 << 6;
constexpr std::uint16_t kLength = 2 << 6;
constexpr std::uint16_t kEndOfBlock = 3 << 6;

std::uint16_t litlenEntry(unsigned sym, unsigned length) {
    if (sym < 256) {
        return static_cast<std::uint16_t>(kLiteral | length);
    }
    if (sym == 256) {
        return static_cast<std::uint16_t>(kEndOfBlock | length);
    }
    if (sym <= 285) {
        return static_cast<std::uint16_t>(kLength | (length + kLengthExtra[sym - 257]));
    }
    return 0;
}

std::uint16_t distanceEntry(unsigned sym, unsigned length) {
    return sym < 30 ? static_cast<std::uint16_t>(kLiteral | (length + kDistanceExtra[sym])) : 0;
}

std::uint16_t symbolEntry(unsigned sym, unsigned length) {
    return static_cast<std::uint16_t>((sym << 4) | length);
}

// Walks the symbols of one Huffman block up to its end-of-block code. The bit buffer always holds
// at least 56 bits after a refill, enough for a length and a distance with their extra bits.
bool skipSymbols(BitScanner& in, const HuffmanTable& litlen, const HuffmanTable& dist) {
    const unsigned char* const base = in.data();
    const unsigned char* const limit = base + in.size() + 8;
    const unsigned char* p = base + (in.position() >> 3);
    std::uint64_t buf = 0;
    unsigned count = 0;
    auto refill = [&] {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        buf |= word << count;
        p += (63 - count) >> 3;
        count |= 56;
    };
    refill();
    buf >>= in.position() & 7;
    count -= static_cast<unsigned>(in.position() & 7);
    for (;;) {
        refill();
        if (p > limit) {
            return false;
        }
        const std::uint16_t e = litlen.lookup(buf);
        const unsigned n = e & 63;
        buf >>= n;
        count -= n;
        switch (e >> 6) {
        case kLiteral >> 6:
            continue;
        case kLength >> 6: {
            const std::uint16_t d = dist.lookup(buf);
            if (d == 0) {
                return false;
            }
            buf >>= d & 63;
            count -= d & 63;
            continue;
        }
        case kEndOfBlock >> 6:
            in.setPosition(static_cast<std::uint64_t>(p - base) * 8 - count);
            return !in.overrun();
        default:
            return false;
        }
    }
}

bool readDynamicTables(BitScanner& in, HuffmanTable& litlen, HuffmanTable& dist) {
    static constexpr std::uint8_t order[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                               11, 4,  12, 3, 13, 2, 14, 1, 15};
    const unsigned nlit = in.take(5) + 257;
    const unsigned ndist = in.take(5) + 1;
    const unsigned nclen = in.take(4) + 4;
    if (nlit > 286 || ndist > 30) {
        return false;
    }
    std::uint8_t clen[19] = {};
    for (unsigned i = 0; i < nclen; ++i) {
        clen[order[i]] = static_cast<std::uint8_t>(in.take(3));
    }
    HuffmanTable clTable;
    if (!clTable.build(clen, 19, symbolEntry)) {
        return false;
    }
    std::uint8_t lengths[286 + 30] = {};
    for (unsigned i = 0; i < nlit + ndist;) {
        const std::uint16_t e = clTable.lookup(in.peek(clTable.bits()));
        if ((e & 15) == 0) {
            return false;
        }
        in.skip(e & 15);
        const unsigned sym = e >> 4;
        if (in.overrun()) {
            return false;
        }
        if (sym < 16) {
            lengths[i++] = static_cast<std::uint8_t>(sym);
            continue;
        }
        unsigned repeat;
        std::uint8_t value = 0;
        if (sym == 16) {
            if (i == 0) {
                return false;
            }
            value = lengths[i - 1];
            repeat = 3 + in.take(2);
        } else if (sym == 17) {
            repeat = 3 + in.take(3);
        } else {
            repeat = 11 + in.take(7);
        }
        if (i + repeat > nlit + ndist) {
            return false;
        }
        std::fill_n(lengths + i, repeat, value);
        i += repeat;
    }
    if (lengths[256] == 0) {
        return false; // no end-of-block code
    }
    return litlen.build(lengths, nlit, litlenEntry) &&
           dist.build(lengths + nlit, ndist, distanceEntry);
}

const std::pair<HuffmanTable, HuffmanTable>& fixedTables() {
    static const std::pair<HuffmanTable, HuffmanTable> tables = [] {
        std::pair<HuffmanTable, HuffmanTable> t;
        std::uint8_t lengths[288];
        std::fill_n(lengths, 144, 8);
        std::fill_n(lengths + 144, 112, 9);
        std::fill_n(lengths + 256, 24, 7);
        std::fill_n(lengths + 280, 8, 8);
        t.first.build(lengths, 288, litlenEntry);
        std::uint8_t d[30];
        std::fill_n(d, 30, 5);
        t.second.build(d, 30, distanceEntry);
        return t;
    }();
    return tables;
}

} // namespace

std::size_t unfinishDeflate(std::string& data, std::size_t size) {
    if (data.size() < size + 16) {
        return 0;
    }
    BitScanner in(reinterpret_cast<const unsigned char*>(data.data()), size);
    HuffmanTable litlen, dist;
    for (;;) {
        const std::uint64_t header = in.position();
        const bool final = in.take(1) != 0;
        const unsigned type = in.take(2);
        if (type == 0) {
            in.alignToByte();
            const std::uint32_t len = in.take(16);
            const std::uint32_t nlen = in.take(16);
            if ((len ^ 0xFFFFu) != nlen) {
                return 0;
            }
            in.skip(std::uint64_t{len} * 8);
        } else if (type == 1) {
            if (!skipSymbols(in, fixedTables().first, fixedTables().second)) {
                return 0;
            }
        } else if (type == 2) {
            if (!readDynamicTables(in, litlen, dist) || !skipSymbols(in, litlen, dist)) {
                return 0;
            }
        } else {
            return 0;
        }
        if (in.overrun()) {
            return 0;
        }
        if (!final) {
            continue;
        }
        const std::uint64_t end = in.position();
        if ((end + 7) / 8 != size) {
            return 0; // the stream does not fill the data exactly
        }
        auto* bytes = reinterpret_cast<unsigned char*>(data.data());
        bytes[header >> 3] &= static_cast<unsigned char>(~(1u << (header & 7)));
        // An empty stored block: three zero header bits at `end`, zeros to the byte boundary,
        // then LEN 0 and NLEN 0xFFFF.
        if (end & 7) {
            bytes[end >> 3] &= static_cast<unsigned char>((1u << (end & 7)) - 1);
        }
        std::size_t n = static_cast<std::size_t>((end + 3 + 7) / 8);
        if (n > size) {
            bytes[size] = 0;
        }
        bytes[n++] = 0x00;
        bytes[n++] = 0x00;
        bytes[n++] = 0xFF;
        bytes[n++] = 0xFF;
        return n;
    }
}

namespace {

// Deflates pieces with libdeflate, which is about twice as fast as zlib and packs tighter; its
// streams always end with a final block, which unfinishDeflate turns into a continuable one.
// Should that ever fail, zlib's sync flush does the piece instead.
class PieceDeflater {
public:
    PieceDeflater(int level, bool zlibOnly)
        : m_compressor(libdeflate_alloc_compressor(level))
        , m_zlib(level)
        , m_zlibOnly(zlibOnly) {
        if (!m_compressor) {
            throw std::bad_alloc();
        }
    }
    ~PieceDeflater() { libdeflate_free_compressor(m_compressor); }
    PieceDeflater(const PieceDeflater&) = delete;
    PieceDeflater& operator=(const PieceDeflater&) = delete;

    std::size_t deflatePiece(std::string_view in, std::string& out, bool last) {
        if (m_zlibOnly) {
            return m_zlib.deflatePiece(in, out, last);
        }
        const std::size_t bound = libdeflate_deflate_compress_bound(m_compressor, in.size());
        if (out.size() < bound + 32) {
            out.resize(bound + 32);
        }
        const std::size_t n =
            libdeflate_deflate_compress(m_compressor, in.data(), in.size(), out.data(), bound);
        if (n > 0) {
            if (last) {
                return n;
            }
            if (const std::size_t m = unfinishDeflate(out, n); m > 0) {
                return m;
            }
        }
        return m_zlib.deflatePiece(in, out, last);
    }

private:
    libdeflate_compressor* m_compressor;
    ZlibPieceDeflater m_zlib;
    bool m_zlibOnly;
};

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
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        const ssize_t w = ::write(m_fd, p, n);
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
        n -= static_cast<std::size_t>(w);
        m_pos += static_cast<std::uint64_t>(w);
    }
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

    struct Slot {
        std::string data;
        std::size_t length = 0;
        std::uint32_t crc = 0;
        std::uint64_t raw = 0;
        bool ready = false;
    };
    const unsigned threads =
        static_cast<unsigned>(std::min<std::size_t>(m_options.threads, pieceCount));
    const std::size_t window = std::max<std::size_t>(2, std::size_t{threads} * 3);
    std::vector<Slot> slots(window);
    std::mutex mutex;
    std::condition_variable cv;
    std::size_t next = 0;    // the next piece to produce
    std::size_t written = 0; // pieces written to the file so far
    bool writing = false;    // one thread at a time writes finished pieces, in order
    std::exception_ptr error;
    std::uint32_t crc = 0;
    std::uint64_t raw = 0;
    std::uint64_t compressed = 0;

    auto work = [&]() {
        try {
            PieceDeflater deflater(m_options.level, m_options.zlibPieces);
            std::string piece;
            for (;;) {
                std::size_t i;
                {
                    std::unique_lock lock(mutex);
                    cv.wait(lock,
                            [&] { return error || next >= pieceCount || next < written + window; });
                    if (error || next >= pieceCount) {
                        return;
                    }
                    i = next++;
                }
                // The slot is this thread's until it is marked ready: its previous piece has
                // been written, and the window keeps others off it.
                Slot& slot = slots[i % window];
                piece.clear();
                produce(i, piece);
                slot.length = deflater.deflatePiece(piece, slot.data, i + 1 == pieceCount);
                slot.crc =
                    static_cast<std::uint32_t>(libdeflate_crc32(0, piece.data(), piece.size()));
                slot.raw = piece.size();

                std::unique_lock lock(mutex);
                slot.ready = true;
                if (writing) {
                    continue;
                }
                writing = true;
                while (!error && written < pieceCount && slots[written % window].ready) {
                    Slot& s = slots[written % window];
                    lock.unlock();
                    writeAll(s.data.data(), s.length);
                    crc = static_cast<std::uint32_t>(
                        crc32_combine64(crc, s.crc, static_cast<z_off64_t>(s.raw)));
                    raw += s.raw;
                    compressed += s.length;
                    lock.lock();
                    s.ready = false;
                    ++written;
                    cv.notify_all();
                }
                writing = false;
            }
        } catch (...) {
            std::lock_guard lock(mutex);
            if (!error) {
                error = std::current_exception();
            }
            cv.notify_all();
        }
    };

    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back(work);
        } catch (const std::system_error&) {
            break; // fewer threads, same result
        }
    }
    work();
    for (auto& t : helpers) {
        t.join();
    }
    if (error) {
        std::rethrow_exception(error);
    }
    e.crc = crc;
    e.uncompressed = raw;
    e.compressed = compressed;
    if (!e.localZip64 && (raw >= kMax32 || compressed >= kMax32)) {
        throw WorkbookError("无法写入文件" + inQuotes(m_file.string()) + "：条目" +
                            inQuotes(e.name) + "超出了预计的大小");
    }
    patchLocalHeader(e);
    m_entries.push_back(std::move(e));
}

void ZipWriter::finish() {
    const std::uint64_t cdOffset = m_pos;
    std::string cd;
    for (const Entry& e : m_entries) {
        const bool sizes64 = e.localZip64 || e.uncompressed >= kMax32 || e.compressed >= kMax32;
        const bool offset64 = m_options.forceZip64 || e.offset >= kMax32;
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
        put16(cd, m_dosTime);
        put16(cd, m_dosDate);
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
        if (cd.size() >= (1u << 20)) {
            writeAll(cd.data(), cd.size());
            cd.clear();
        }
    }
    writeAll(cd.data(), cd.size());
    cd.clear();
    const std::uint64_t cdSize = m_pos - cdOffset;
    const std::uint64_t count = m_entries.size();
    const bool zip64 =
        m_options.forceZip64 || count >= kMax16 || cdOffset >= kMax32 || cdSize >= kMax32;
    std::string end;
    if (zip64) {
        const std::uint64_t recordOffset = m_pos;
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
        put64(end, recordOffset);
        put32(end, 1);
    }
    const bool forced = m_options.forceZip64;
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
    writeAll(end.data(), end.size());
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        fail(errno);
    }
}

} // namespace quenly::wb::zip
