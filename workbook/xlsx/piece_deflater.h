// Deflating the pieces of one zip entry separately, so that the pieces' streams joined in order
// make the entry's deflate stream.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

struct libdeflate_compressor;

namespace quenly::wb::zip {

/// Turns the complete raw deflate stream in data[0, size) into one that can be continued: its
/// final block is marked non-final and an empty stored block brings it to a byte boundary, as a
/// sync flush would. `data` must hold at least size + 16 bytes (the bytes after `size` may be
/// anything). Returns the new size, or 0 when data[0, size) is not a valid deflate stream.
std::size_t unfinishDeflate(std::string& data, std::size_t size);

/// Deflates pieces with libdeflate, which is about twice as fast as zlib and packs tighter; its
/// streams always end with a final block, which unfinishDeflate turns into a continuable one.
/// Should that ever fail (or with `zlibOnly`), zlib's sync flush does the piece instead. One per
/// thread.
class PieceDeflater {
public:
    PieceDeflater(int level, bool zlibOnly);
    ~PieceDeflater();
    PieceDeflater(const PieceDeflater&) = delete;
    PieceDeflater& operator=(const PieceDeflater&) = delete;

    /// Deflates `in` into `out` (grown as needed); returns the length of the deflated bytes.
    /// Only the `last` piece ends its stream.
    std::size_t deflatePiece(std::string_view in, std::string& out, bool last);

private:
    struct Zlib;
    libdeflate_compressor* m_compressor;
    std::unique_ptr<Zlib> m_zlib;
    bool m_zlibOnly;
};

} // namespace quenly::wb::zip
