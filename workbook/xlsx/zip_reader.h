// Reading the parts of a zip package one by one, streaming, for the .xlsx reader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

struct zip;
struct zip_file;

namespace quenly::wb::xlsx_read {

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
    /// The uncompressed size of the part (0 when missing).
    std::uint64_t size(std::string_view part) const;
    const std::string& displayName() const { return m_displayName; }

    /// One part being read.
    class Stream {
    public:
        ~Stream();
        Stream(const Stream&) = delete;
        Stream& operator=(const Stream&) = delete;
        /// Reads up to `n` bytes; 0 at the end. Throws on damaged data.
        std::size_t read(void* buffer, std::size_t n);

    private:
        friend class ZipReader;
        Stream(zip_file* file, const ZipReader& owner, std::string part)
            : m_file(file)
            , m_owner(owner)
            , m_part(std::move(part)) {}
        zip_file* m_file;
        const ZipReader& m_owner;
        std::string m_part;
    };
    /// Opens the part for reading; throws when it is missing, encrypted or cannot be read.
    Stream open(std::string_view part) const;

private:
    std::int64_t find(std::string_view part) const;
    void indexEntries();

    zip* m_zip = nullptr;
    std::string m_displayName;
    std::unordered_map<std::string, std::uint64_t> m_entries; // normalised name -> index
};

/// The normalised form of a part name used for look-ups (lower case, "/" separators, no leading
/// "/").
std::string normalisePartName(std::string_view name);

} // namespace quenly::wb::xlsx_read
