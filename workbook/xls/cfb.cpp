// The compound file container: header, FAT and DIFAT, mini stream and directory.
#include "xls/cfb.h"
#include "text_util.h"

#include "little_endian.h"
#include "xls/codepage.h"
#include "xls/xls_error.h"

#include <algorithm>
#include <cstring>

namespace quenly::wb::xls {

namespace {

constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::uint32_t kHeaderSize = 512;
constexpr std::uint32_t kMiniSectorSize = 64;
constexpr std::uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr std::uint32_t kFreeSector = 0xFFFFFFFF;
constexpr std::uint32_t kNoStream = 0xFFFFFFFF;
constexpr std::uint32_t kDirEntrySize = 128;
constexpr std::uint32_t kHeaderDifatEntries = 109;
// The directory entry types.
constexpr std::uint8_t kStorage = 1;
constexpr std::uint8_t kStream = 2;
constexpr std::uint8_t kRoot = 5;

} // namespace

bool hasCompoundSignature(std::span<const std::uint8_t> head) {
    return head.size() >= sizeof kSignature &&
           std::memcmp(head.data(), kSignature, sizeof kSignature) == 0;
}

CompoundFile::CompoundFile(std::vector<std::uint8_t> data, std::string fileName)
    : m_data(std::move(data))
    , m_file(std::move(fileName)) {
    readHeader();
    readFat();
    readDirectory();
    collectRootStreams();
}

void CompoundFile::readHeader() {
    if (m_data.size() < kHeaderSize) {
        fail(m_file,
             "文件只有 " + num(m_data.size()) + " 字节，不足复合文档文件头的 512 字节，文件不完整");
    }
    if (!hasCompoundSignature(m_data)) {
        fail(m_file, "文件开头不是复合文档的签名，它不是 .xls 工作簿");
    }
    const std::uint8_t* h = m_data.data();
    m_version = le16(h + 0x1A);
    if (m_version != 3 && m_version != 4) {
        fail(m_file,
             "复合文档文件头的版本号为 " + num(m_version) + "（偏移 26），只支持版本 3 和 4");
    }
    if (le16(h + 0x1C) != 0xFFFE) {
        fail(m_file, "复合文档文件头的字节序标记（偏移 28）无效");
    }
    const std::uint16_t shift = le16(h + 0x1E);
    if ((m_version == 3 && shift != 9) || (m_version == 4 && shift != 12)) {
        fail(m_file, "复合文档文件头的扇区大小 2^" + num(shift) + "（偏移 30）与版本 " +
                         num(m_version) + " 不符");
    }
    m_sectorSize = 1u << shift;
    if (le16(h + 0x20) != 6) {
        fail(m_file, "复合文档文件头的短扇区大小 2^" + num(le16(h + 0x20)) +
                         "（偏移 32）无效，应为 64 字节");
    }
    m_numFatSectors = le32(h + 0x2C);
    m_firstDirSector = le32(h + 0x30);
    m_miniCutoff = le32(h + 0x38);
    m_firstMiniFatSector = le32(h + 0x3C);
    m_numMiniFatSectors = le32(h + 0x40);
    m_firstDifatSector = le32(h + 0x44);
    if (m_miniCutoff != 4096) {
        fail(m_file,
             "复合文档文件头的短流上限 " + num(m_miniCutoff) + "（偏移 56）无效，应为 4096");
    }
}

std::uint64_t CompoundFile::sectorsInFile() const {
    // The header fills the first sector's place (512 bytes, or 4096 in version 4).
    return m_data.size() > m_sectorSize ? (m_data.size() - 1) / m_sectorSize : 0;
}

std::uint64_t CompoundFile::fullSectors() const {
    return m_data.size() > m_sectorSize ? m_data.size() / m_sectorSize - 1 : 0;
}

const std::uint8_t* CompoundFile::sector(std::uint32_t s, std::string_view what) const {
    const std::uint64_t offset = (static_cast<std::uint64_t>(s) + 1) * m_sectorSize;
    if (offset + m_sectorSize > m_data.size()) {
        const std::uint64_t count = fullSectors();
        fail(m_file, std::string(what) + "引用了扇区 " + num(s) + "（文件偏移 " + num(offset) +
                         "），超出了文件范围：文件只有 " + num(count) +
                         " 个完整扇区，可能已被截断");
    }
    return m_data.data() + offset;
}

void CompoundFile::readFat() {
    const std::uint32_t perSector = m_sectorSize / 4;
    const std::uint64_t inFile = sectorsInFile();
    if (m_numFatSectors == 0 || m_numFatSectors > inFile) {
        fail(m_file, "复合文档文件头记载的 FAT 扇区数 " + num(m_numFatSectors) +
                         "（偏移 44）与文件大小不符（文件共 " + num(inFile) + " 个扇区）");
    }
    // The sector numbers of the FAT: 109 in the header, the rest in the chain of DIFAT sectors.
    std::vector<std::uint32_t> fatSectors;
    fatSectors.reserve(m_numFatSectors);
    for (std::uint32_t i = 0; i < kHeaderDifatEntries && fatSectors.size() < m_numFatSectors; ++i) {
        fatSectors.push_back(le32(m_data.data() + 0x4C + 4 * i));
    }
    std::uint32_t difat = m_firstDifatSector;
    std::vector<bool> seenDifat;
    std::uint32_t difatCount = 0;
    while (fatSectors.size() < m_numFatSectors) {
        if (difat == kEndOfChain || difat == kFreeSector) {
            fail(m_file, "DIFAT 扇区链在第 " + num(difatCount) + " 个扇区后提前结束，但还缺 " +
                             num(m_numFatSectors - fatSectors.size()) + " 个 FAT 扇区的位置");
        }
        if (difat >= inFile) {
            fail(m_file, "DIFAT 扇区链指向扇区 " + num(difat) + "，超出了文件范围（文件共 " +
                             num(inFile) + " 个扇区）");
        }
        if (seenDifat.empty()) {
            seenDifat.resize(inFile);
        }
        if (seenDifat[difat]) {
            fail(m_file, "DIFAT 扇区链在扇区 " + num(difat) + " 处形成循环");
        }
        seenDifat[difat] = true;
        ++difatCount;
        const std::uint8_t* p = sector(difat, "DIFAT 扇区链");
        for (std::uint32_t i = 0; i + 1 < perSector && fatSectors.size() < m_numFatSectors; ++i) {
            fatSectors.push_back(le32(p + 4 * i));
        }
        difat = le32(p + 4 * (perSector - 1));
    }
    m_fat.reserve(static_cast<std::size_t>(m_numFatSectors) * perSector);
    for (std::size_t i = 0; i < fatSectors.size(); ++i) {
        const std::uint8_t* p = sector(fatSectors[i], "第 " + num(i) + " 个 FAT 扇区的位置");
        for (std::uint32_t k = 0; k < perSector; ++k) {
            m_fat.push_back(le32(p + 4 * k));
        }
    }
}

std::vector<std::uint32_t> CompoundFile::followChain(std::uint32_t start, std::uint64_t wanted,
                                                     std::string_view what) const {
    // `wanted` is the number of sectors the size asks for, or 0 to follow the chain to its end.
    std::vector<std::uint32_t> chain;
    std::vector<bool> seen(m_fat.size());
    std::uint32_t s = start;
    while (wanted == 0 || chain.size() < wanted) {
        if (s == kEndOfChain) {
            if (wanted == 0) {
                break;
            }
            fail(m_file, std::string(what) + "的扇区链在第 " + num(chain.size()) +
                             " 个扇区后提前结束，但其大小需要 " + num(wanted) + " 个扇区");
        }
        if (s >= m_fat.size()) {
            fail(m_file, std::string(what) + "的扇区链指向扇区 " + num(s) +
                             "，超出了扇区分配表的范围（共 " + num(m_fat.size()) + " 项）");
        }
        if (seen[s]) {
            fail(m_file, std::string(what) + "的扇区链在扇区 " + num(s) + " 处形成循环");
        }
        seen[s] = true;
        chain.push_back(s);
        s = m_fat[s];
    }
    return chain;
}

std::vector<std::uint8_t> CompoundFile::readRegular(std::uint32_t start, std::uint64_t size,
                                                    std::string_view what) const {
    const std::uint64_t inFile = sectorsInFile();
    const std::uint64_t wanted = (size + m_sectorSize - 1) / m_sectorSize;
    if (wanted > inFile) {
        fail(m_file, std::string(what) + "的大小 " + num(size) + " 字节超过了整个文件（" +
                         num(m_data.size()) + " 字节），文件可能已被截断");
    }
    std::vector<std::uint8_t> out;
    if (size == 0) {
        return out;
    }
    const std::vector<std::uint32_t> chain = followChain(start, wanted, what);
    out.resize(size);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const std::uint64_t offset = (static_cast<std::uint64_t>(chain[i]) + 1) * m_sectorSize;
        const std::uint64_t done = static_cast<std::uint64_t>(i) * m_sectorSize;
        const std::uint64_t n = std::min<std::uint64_t>(m_sectorSize, size - done);
        if (offset + n > m_data.size()) {
            fail(m_file, std::string(what) + "的扇区 " + num(chain[i]) + "（文件偏移 " +
                             num(offset) + "）超出了文件末尾（" + num(m_data.size()) +
                             " 字节），文件可能已被截断");
        }
        std::memcpy(out.data() + done, m_data.data() + offset, n);
    }
    return out;
}

void CompoundFile::readDirectory() {
    const std::vector<std::uint32_t> chain = followChain(m_firstDirSector, 0, "目录");
    if (chain.empty()) {
        fail(m_file, "复合文档没有目录（文件头偏移 48 的目录起始扇区无效）");
    }
    const std::uint32_t perSector = m_sectorSize / kDirEntrySize;
    m_entries.reserve(chain.size() * perSector);
    for (std::uint32_t s : chain) {
        const std::uint8_t* p = sector(s, "目录");
        for (std::uint32_t k = 0; k < perSector; ++k) {
            const std::uint8_t* e = p + k * kDirEntrySize;
            Entry entry;
            entry.type = e[0x42];
            const std::uint16_t nameBytes = std::min<std::uint16_t>(le16(e + 0x40), 64);
            std::size_t units = nameBytes / 2;
            if (units > 0) {
                --units; // the terminating zero
            }
            appendUtf16le(entry.name, e, units);
            entry.left = le32(e + 0x44);
            entry.right = le32(e + 0x48);
            entry.child = le32(e + 0x4C);
            entry.start = le32(e + 0x74);
            entry.size = le32(e + 0x78);
            if (m_version == 4) {
                entry.size |= static_cast<std::uint64_t>(le32(e + 0x7C)) << 32;
            }
            m_entries.push_back(std::move(entry));
        }
    }
    if (m_entries[0].type != kRoot) {
        fail(m_file, "复合文档目录的第一项不是根存储（扇区 " + num(chain[0]) + "）");
    }
}

void CompoundFile::collectRootStreams() {
    // Walk the tree of the root's children; every index is checked and every entry visited once.
    std::vector<bool> seen(m_entries.size());
    std::vector<std::uint32_t> todo;
    if (m_entries[0].child != kNoStream) {
        todo.push_back(m_entries[0].child);
    }
    while (!todo.empty()) {
        const std::uint32_t i = todo.back();
        todo.pop_back();
        if (i >= m_entries.size() || i == 0) {
            fail(m_file, "复合文档目录引用了不存在的第 " + num(i) + " 项（目录共 " +
                             num(m_entries.size()) + " 项）");
        }
        if (seen[i]) {
            fail(m_file, "复合文档目录树在第 " + num(i) + " 项处形成循环");
        }
        seen[i] = true;
        const Entry& e = m_entries[i];
        if (e.type == kStream) {
            m_rootStreams.push_back(i);
        } else if (e.type != kStorage) {
            fail(m_file, "复合文档目录的第 " + num(i) + " 项类型 " + num(e.type) + " 无效");
        }
        for (std::uint32_t next : {e.left, e.right}) {
            if (next != kNoStream) {
                todo.push_back(next);
            }
        }
    }
    // The mini stream and its table are read now, so that readStream only copies.
    const Entry& root = m_entries[0];
    bool anySmall = false;
    for (std::uint32_t i : m_rootStreams) {
        anySmall = anySmall || (m_entries[i].size > 0 && m_entries[i].size < m_miniCutoff);
    }
    if (!anySmall) {
        return;
    }
    m_miniStream = readRegular(root.start, root.size, "短流容器（根存储）");
    if (m_numMiniFatSectors > 0) {
        const std::vector<std::uint32_t> chain =
            followChain(m_firstMiniFatSector, m_numMiniFatSectors, "短扇区分配表（MiniFAT）");
        m_miniFat.reserve(chain.size() * (m_sectorSize / 4));
        for (std::uint32_t s : chain) {
            const std::uint8_t* p = sector(s, "短扇区分配表（MiniFAT）");
            for (std::uint32_t k = 0; k < m_sectorSize / 4; ++k) {
                m_miniFat.push_back(le32(p + 4 * k));
            }
        }
    }
}

std::vector<std::uint32_t> CompoundFile::followMiniChain(std::uint32_t start, std::uint64_t wanted,
                                                         std::string_view what) const {
    std::vector<std::uint32_t> chain;
    std::vector<bool> seen(m_miniFat.size());
    std::uint32_t s = start;
    while (chain.size() < wanted) {
        if (s == kEndOfChain) {
            fail(m_file, std::string(what) + "的短扇区链在第 " + num(chain.size()) +
                             " 个短扇区后提前结束，但其大小需要 " + num(wanted) + " 个短扇区");
        }
        if (s >= m_miniFat.size()) {
            fail(m_file, std::string(what) + "的短扇区链指向短扇区 " + num(s) +
                             "，超出了短扇区分配表的范围（共 " + num(m_miniFat.size()) + " 项）");
        }
        if (seen[s]) {
            fail(m_file, std::string(what) + "的短扇区链在短扇区 " + num(s) + " 处形成循环");
        }
        seen[s] = true;
        chain.push_back(s);
        s = m_miniFat[s];
    }
    return chain;
}

const CompoundFile::Entry* CompoundFile::findStream(std::string_view name) const {
    for (std::uint32_t i : m_rootStreams) {
        if (equalsIgnoreAsciiCase(m_entries[i].name, name)) {
            return &m_entries[i];
        }
    }
    return nullptr;
}

bool CompoundFile::hasStream(std::string_view name) const {
    return findStream(name) != nullptr;
}

std::vector<std::string> CompoundFile::streamNames() const {
    std::vector<std::string> names;
    for (std::uint32_t i : m_rootStreams) {
        names.push_back(m_entries[i].name);
    }
    return names;
}

std::vector<std::uint8_t> CompoundFile::readStream(std::string_view name) const {
    const Entry* e = findStream(name);
    const std::string what = inQuotes(name) + "流";
    if (!e) {
        fail(m_file, "复合文档里没有" + what);
    }
    if (e->size >= m_miniCutoff) {
        return readRegular(e->start, e->size, what);
    }
    std::vector<std::uint8_t> out(e->size);
    const std::uint64_t wanted = (e->size + kMiniSectorSize - 1) / kMiniSectorSize;
    if (wanted > m_miniFat.size()) {
        fail(m_file, what + "的大小 " + num(e->size) + " 字节超过了短流容器的容量");
    }
    const std::vector<std::uint32_t> chain = followMiniChain(e->start, wanted, what);
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const std::uint64_t offset = static_cast<std::uint64_t>(chain[i]) * kMiniSectorSize;
        const std::uint64_t done = static_cast<std::uint64_t>(i) * kMiniSectorSize;
        const std::uint64_t n = std::min<std::uint64_t>(kMiniSectorSize, e->size - done);
        if (offset + n > m_miniStream.size()) {
            fail(m_file, what + "的短扇区 " + num(chain[i]) + " 超出了短流容器（" +
                             num(m_miniStream.size()) + " 字节）");
        }
        std::memcpy(out.data() + done, m_miniStream.data() + offset, n);
    }
    return out;
}

} // namespace quenly::wb::xls
