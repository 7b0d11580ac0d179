// Writing a zip archive (deflate, zip64 where needed) with entries compressed on several threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

struct libdeflate_compressor;

namespace quenly::wb::zip {

/// Fills `out` (cleared by the callee) with piece `index` of an entry's bytes. Called from several
/// threads at once, each time with a different index; may throw, which ends the entry.
using PieceProducer = std::function<void(std::size_t index, std::string& out)>;

struct ZipWriterOptions {
    /// Threads that produce and deflate the pieces of an entry (the caller's included); 0 = all
    /// cores.
    unsigned threads = 0;
    /// Deflate level of the pieces of streamed entries (1-9).
    int level = 1;
    /// Test hooks: write zip64 records even when the sizes would not need them, start the
    /// archive at this offset of the file (leaving a hole before it), and deflate pieces with
    /// zlib, the fallback used should a libdeflate stream ever not be continuable.
    bool forceZip64 = false;
    std::uint64_t startOffset = 0;
    bool zlibPieces = false;
};

/// What the central directory records of an entry written.
struct ZipEntryRecord {
    std::string name;
    std::uint32_t crc = 0;
    std::uint64_t compressed = 0;
    std::uint64_t uncompressed = 0;
    /// Where its local header starts.
    std::uint64_t offset = 0;
    /// Whether its local header carries zip64 sizes.
    bool localZip64 = false;
};

/// One archive being written. Entries are written one after another; finish() writes the central
/// directory. Every fault of the file (cannot be created, disk full) throws WorkbookError with
/// "无法写入文件“<file>”：<reason>". Without finish() the file is left incomplete.
class ZipWriter {
public:
    ZipWriter(const std::filesystem::path& file, const ZipWriterOptions& options = {});
    ~ZipWriter();
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    /// Adds an entry held in memory, deflated in one go.
    void addEntry(std::string_view name, std::string_view data);

    /// Adds an entry made of `pieceCount` pieces from `produce`. Pieces are produced and deflated
    /// in parallel, at most a few per thread at a time, and written in order. `sizeBound` is an
    /// upper bound of the entry's uncompressed size; when it reaches 4 GiB the local header
    /// carries zip64 sizes.
    void addStreamedEntry(std::string_view name, std::size_t pieceCount,
                          const PieceProducer& produce, std::uint64_t sizeBound);

    /// Writes the central directory and closes the file.
    void finish();

private:
    using Entry = ZipEntryRecord;

    void writeLocalHeader(Entry& e);
    void patchLocalHeader(const Entry& e);
    void writeAll(const void* data, std::size_t n);
    void writeAt(std::uint64_t pos, const void* data, std::size_t n);
    [[noreturn]] void fail(int err) const;

    std::filesystem::path m_file;
    ZipWriterOptions m_options;
    int m_fd = -1;
    std::uint64_t m_pos = 0;
    std::uint16_t m_dosTime = 0;
    std::uint16_t m_dosDate = 0;
    std::vector<Entry> m_entries;
    ::libdeflate_compressor* m_compressor = nullptr; // for entries held in memory
};

} // namespace quenly::wb::zip
