// Deflating the pieces of a streamed entry so that their streams can be joined: libdeflate's
// final block unfinished, or zlib with a sync flush.
#include "xlsx/piece_deflater.h"

#include <libdeflate.h>
#include <zlib.h>

#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace quenly::wb::zip {

namespace {

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

struct PieceDeflater::Zlib : ZlibPieceDeflater {
    using ZlibPieceDeflater::ZlibPieceDeflater;
};

PieceDeflater::PieceDeflater(int level, bool zlibOnly)
    : m_compressor(libdeflate_alloc_compressor(level))
    , m_zlib(std::make_unique<Zlib>(level))
    , m_zlibOnly(zlibOnly) {
    if (!m_compressor) {
        throw std::bad_alloc();
    }
}

PieceDeflater::~PieceDeflater() {
    libdeflate_free_compressor(m_compressor);
}

std::size_t PieceDeflater::deflatePiece(std::string_view in, std::string& out, bool last) {
    if (m_zlibOnly) {
        return m_zlib->deflatePiece(in, out, last);
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
    return m_zlib->deflatePiece(in, out, last);
}

} // namespace quenly::wb::zip
