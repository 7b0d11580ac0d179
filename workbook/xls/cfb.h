// The compound file container (OLE2 structured storage) that holds the streams of an .xls file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quenly::wb::xls {

/// Whether `head` starts with the eight signature bytes of a compound file.
bool hasCompoundSignature(std::span<const std::uint8_t> head);

/// A compound file read wholly into memory. Versions 3 (512-byte sectors) and 4 (4096-byte
/// sectors) are understood. Every chain is checked while it is followed: a chain that loops,
/// points outside the file or the sector tables, or ends before the stream's size is reached
/// throws WorkbookError naming the file, the structure and the sector.
class CompoundFile {
public:
    /// Parses the header, the sector tables and the directory of `data`. `fileName` names the
    /// file in messages.
    CompoundFile(std::vector<std::uint8_t> data, std::string fileName);

    /// The major version (3 or 4).
    int version() const { return m_version; }

    /// Whether the root storage holds a stream of this name (ASCII letters compared without case).
    bool hasStream(std::string_view name) const;

    /// The names of the streams in the root storage, in UTF-8.
    std::vector<std::string> streamNames() const;

    /// The bytes of the root-level stream `name`. Throws WorkbookError when it is missing or
    /// its sectors cannot be followed.
    std::vector<std::uint8_t> readStream(std::string_view name) const;

private:
    struct Entry {
        std::string name; // UTF-8
        std::uint8_t type = 0;
        std::uint32_t left = 0;
        std::uint32_t right = 0;
        std::uint32_t child = 0;
        std::uint32_t start = 0;
        std::uint64_t size = 0;
    };

    void readHeader();
    void readFat();
    void readDirectory();
    void collectRootStreams();
    std::vector<std::uint32_t> followChain(std::uint32_t start, std::uint64_t wanted,
                                           std::string_view what) const;
    std::vector<std::uint32_t> followMiniChain(std::uint32_t start, std::uint64_t wanted,
                                               std::string_view what) const;
    /// Sectors after the header that are at least partly in the file, and wholly in it.
    std::uint64_t sectorsInFile() const;
    std::uint64_t fullSectors() const;
    const std::uint8_t* sector(std::uint32_t s, std::string_view what) const;
    std::vector<std::uint8_t> readRegular(std::uint32_t start, std::uint64_t size,
                                          std::string_view what) const;
    const Entry* findStream(std::string_view name) const;

    std::vector<std::uint8_t> m_data;
    std::string m_file;
    int m_version = 3;
    std::uint32_t m_sectorSize = 512;
    std::uint32_t m_miniCutoff = 4096;
    std::uint32_t m_numFatSectors = 0;
    std::uint32_t m_firstDirSector = 0;
    std::uint32_t m_firstMiniFatSector = 0;
    std::uint32_t m_numMiniFatSectors = 0;
    std::uint32_t m_firstDifatSector = 0;
    std::vector<std::uint32_t> m_fat;
    std::vector<std::uint32_t> m_miniFat;
    std::vector<std::uint8_t> m_miniStream;
    std::vector<Entry> m_entries;
    std::vector<std::uint32_t> m_rootStreams; // indices into m_entries
};

} // namespace quenly::wb::xls
