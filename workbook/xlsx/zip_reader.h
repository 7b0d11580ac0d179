// Reading the parts of a zip package one by one, streaming, for the .xlsx reader.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

struct zip;
struct zip_file;

namespace quenly::wb::xlsx_read {

/// Bounds on inflating, checked while a part is read (and against the sizes the package
/// declares before it is): no part inflates past its own bound (see parsePart); once a part has
/// inflated past kRatioFrom bytes it may not exceed kMaxRatio times its compressed size, and once
/// all parts read have inflated past kPackageRatioFrom they may not exceed kMaxRatio times the
/// whole package (entries can share their compressed data), as a compression bomb would.
inline constexpr std::uint64_t kRatioFrom = 16u << 20;
inline constexpr std::uint64_t kPackageRatioFrom = 64u << 20;
inline constexpr std::uint64_t kMaxRatio = 1000;

/// An open zip package. Part names are looked up without regard to case, with "\" read as "/"
/// and without a leading "/". Every failure throws WorkbookError naming `displayName`.
class ZipReader {
public:
    /// Opens a file; throws when it is missing, unreadable, not a zip, truncated or damaged.
    ZipReader(const std::filesystem::path& file, std::string displayName);
    /// Opens a package held in memory (which must outlive the reader).
    ZipReader(const void* data, std::size_t size, std::string displayName);
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    /// True when the package has the part.
    bool has(std::string_view part) const { return find(part) >= 0; }
    /// The uncompressed size the package declares for the part (0 when missing).
    std::uint64_t size(std::string_view part) const;
    const std::string& displayName() const { return m_displayName; }

    /// One part being read.
    class Stream {
    public:
        ~Stream();
        Stream(const Stream&) = delete;
        Stream& operator=(const Stream&) = delete;
        /// Reads up to `n` bytes; 0 at the end. Throws on damaged data and when the part
        /// inflates past its bound or by a ratio no real workbook has.
        std::size_t read(void* buffer, std::size_t n);

    private:
        friend class ZipReader;
        Stream(zip_file* file, const ZipReader& owner, std::string part, std::uint64_t maxSize,
               std::uint64_t compressedSize)
            : m_file(file)
            , m_owner(owner)
            , m_part(std::move(part))
            , m_maxSize(maxSize)
            , m_compressedSize(compressedSize) {}
        void checkBounds();
        zip_file* m_file;
        const ZipReader& m_owner;
        std::string m_part;
        std::uint64_t m_maxSize;
        std::uint64_t m_compressedSize;
        std::uint64_t m_read = 0;
    };
    /// Opens the part for reading, to inflate to at most `maxSize` bytes; throws when it is
    /// missing, encrypted, cannot be read or declares a size past `maxSize`.
    Stream open(std::string_view part, std::uint64_t maxSize) const;

private:
    std::int64_t find(std::string_view part) const;
    void indexEntries();

    zip* m_zip = nullptr;
    std::string m_displayName;
    std::uint64_t m_packageSize = 0;
    // Bytes inflated from all parts so far; parts may be read on a second thread.
    mutable std::atomic<std::uint64_t> m_inflated{0};
    std::unordered_map<std::string, std::uint64_t> m_entries; // normalised name -> index
};

/// The normalised form of a part name used for look-ups (lower case, "/" separators, no leading
/// "/").
std::string normalisePartName(std::string_view name);

} // namespace quenly::wb::xlsx_read
