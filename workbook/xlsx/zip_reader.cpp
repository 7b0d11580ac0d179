// Opening a zip package with libzip and streaming its parts, with errors a user can act on.
#include "xlsx/zip_reader.h"

#include "read_error.h"
#include "text_util.h"
#include "workbook.h"

#include <zip.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

namespace quenly::wb::xlsx_read {

namespace {

[[noreturn]] void fail(const std::string& message) {
    throw WorkbookError(message);
}

// “file”已损坏：<fault>。, at `part` when there is one.
[[noreturn]] void failDamaged(const std::string& file, std::string fault, std::string part = {}) {
    ReadFault f(ReadFault::Kind::Damaged, file, std::move(part));
    f.fault = std::move(fault);
    throw ReadError(std::move(f));
}

// “file”<fault>: what the file (or its `part`) is, or is not.
[[noreturn]] void failNamed(const std::string& file, std::string fault, std::string part = {}) {
    ReadFault f(ReadFault::Kind::Named, file, std::move(part));
    f.fault = std::move(fault);
    throw ReadError(std::move(f));
}

// A bound in the words of a message: "2 GB", "64 MB".
std::string bytesText(std::uint64_t v) {
    if (v >= (1u << 30) && v % (1u << 30) == 0) {
        return std::to_string(v >> 30) + " GB";
    }
    if (v >= (1u << 20) && v % (1u << 20) == 0) {
        return std::to_string(v >> 20) + " MB";
    }
    return std::to_string(v) + " 字节";
}

[[noreturn]] void failTooLarge(const std::string& name, const std::string& part,
                               std::uint64_t maxSize) {
    failNamed(name,
              "中的部件" + part + "解压后超过 " + bytesText(maxSize) +
                  "，超出了可读取的上限：文件已损坏，或不是正常保存的工作簿。请用 WPS 表格或 "
                  "LibreOffice 打开并另存为 .xlsx 后再试。",
              part);
}

[[noreturn]] void failBomb(const std::string& name, const std::string& what,
                           std::uint64_t compressed, std::uint64_t inflated) {
    failNamed(name, "中的" + what + "只有 " + bytesText(compressed) + "，解压后却已超过 " +
                        std::to_string(inflated >> 20) + " MB（压缩比超过 " +
                        std::to_string(kMaxRatio) +
                        ":1），这不是正常的工作簿，可能是恶意构造的压缩炸弹，已停止读取。");
}

enum class Signature { Empty, Zip, Compound, Other };

Signature signature(const unsigned char* head, std::size_t n) {
    if (n == 0) {
        return Signature::Empty;
    }
    if (n >= 4 && head[0] == 'P' && head[1] == 'K' && head[2] <= 8 && head[3] <= 8) {
        return Signature::Zip;
    }
    static const unsigned char kCompound[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    if (n >= 8 && std::memcmp(head, kCompound, 8) == 0) {
        return Signature::Compound;
    }
    return Signature::Other;
}

// Explains why libzip could not open a package whose first bytes are `head`.
[[noreturn]] void failOpen(const std::string& name, int zipError, int sysError, Signature sig) {
    const std::string f = inQuotes(name);
    switch (sig) {
    case Signature::Empty:
        failNamed(name, "是空文件，不是Excel工作簿。");
    case Signature::Compound:
        failNamed(name,
                  "不是.xlsx格式的工作簿：它是复合文档（旧版.xls工作簿，或受密码保护的工作簿）。");
    case Signature::Other:
        if (zipError == ZIP_ER_NOZIP) {
            failNamed(name, "不是有效的.xlsx文件：它不是zip压缩包。");
        }
        break;
    case Signature::Zip:
        if (zipError == ZIP_ER_NOZIP || zipError == ZIP_ER_EOF) {
            failNamed(name, "已损坏或不完整：zip压缩包被截断，找不到它的目录。");
        }
        break;
    }
    switch (zipError) {
    case ZIP_ER_INCONS:
        failDamaged(name, "zip压缩包的目录与内容不一致");
    case ZIP_ER_MEMORY:
        fail("读取" + f + "时内存不足。");
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
    case ZIP_ER_OPEN:
        if (sysError == EACCES || sysError == EPERM) {
            fail("无法打开" + f + "：没有读取它的权限。");
        }
        fail("无法读取" + f + "（系统错误 " + std::to_string(sysError) + "）。");
    default:
        failNamed(name, "不是有效的.xlsx文件：无法作为zip压缩包打开（错误 " +
                            std::to_string(zipError) + "）。");
    }
}

} // namespace

std::string normalisePartName(std::string_view name) {
    std::string out;
    out.reserve(name.size());
    for (char c : name) {
        if (c == '\\') {
            c = '/';
        }
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        out.push_back(c);
    }
    std::size_t skip = 0;
    while (skip < out.size() && out[skip] == '/') {
        ++skip;
    }
    out.erase(0, skip);
    return out;
}

ZipReader::ZipReader(const std::filesystem::path& file, std::string displayName)
    : m_displayName(std::move(displayName)) {
    const std::string f = inQuotes(m_displayName);
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found) {
        fail("找不到文件" + f + "。");
    }
    if (status.type() == std::filesystem::file_type::directory) {
        failNamed(m_displayName, "是文件夹，不是Excel工作簿。");
    }
    unsigned char head[8] = {};
    std::size_t headSize = 0;
    errno = 0;
    if (std::FILE* fp = std::fopen(file.c_str(), "rb")) {
        headSize = std::fread(head, 1, sizeof head, fp);
        std::fclose(fp);
    } else {
        const int err = errno;
        if (err == EACCES || err == EPERM) {
            fail("无法打开" + f + "：没有读取它的权限。");
        }
        fail("无法打开" + f + "（系统错误 " + std::to_string(err) + "）。");
    }
    const Signature sig = signature(head, headSize);
    if (sig == Signature::Empty || sig == Signature::Compound) {
        failOpen(m_displayName, ZIP_ER_NOZIP, 0, sig);
    }
    m_packageSize = std::filesystem::file_size(file, ec);
    int error = 0;
    m_zip = zip_open(file.c_str(), ZIP_RDONLY, &error);
    if (!m_zip) {
        failOpen(m_displayName, error, errno, sig);
    }
    indexEntries();
}

ZipReader::ZipReader(const void* data, std::size_t size, std::string displayName)
    : m_displayName(std::move(displayName))
    , m_packageSize(size) {
    const Signature sig = signature(static_cast<const unsigned char*>(data), size);
    if (sig == Signature::Empty || sig == Signature::Compound) {
        failOpen(m_displayName, ZIP_ER_NOZIP, 0, sig);
    }
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &error);
    if (!source) {
        zip_error_fini(&error);
        fail("读取" + inQuotes(m_displayName) + "时内存不足。");
    }
    m_zip = zip_open_from_source(source, ZIP_RDONLY, &error);
    if (!m_zip) {
        const int code = zip_error_code_zip(&error);
        zip_source_free(source);
        zip_error_fini(&error);
        failOpen(m_displayName, code, 0, sig);
    }
    zip_error_fini(&error);
    indexEntries();
}

ZipReader::~ZipReader() {
    if (m_zip) {
        zip_discard(m_zip);
    }
}

void ZipReader::indexEntries() {
    const zip_int64_t n = zip_get_num_entries(m_zip, 0);
    for (zip_int64_t i = 0; i < n; ++i) {
        if (const char* name = zip_get_name(m_zip, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW)) {
            // The first of two entries with the same name wins, as in other readers.
            m_entries.emplace(normalisePartName(name), static_cast<std::uint64_t>(i));
        }
    }
}

std::int64_t ZipReader::find(std::string_view part) const {
    auto it = m_entries.find(normalisePartName(part));
    return it == m_entries.end() ? -1 : static_cast<std::int64_t>(it->second);
}

std::uint64_t ZipReader::size(std::string_view part) const {
    const std::int64_t index = find(part);
    if (index < 0) {
        return 0;
    }
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_zip, static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
        !(st.valid & ZIP_STAT_SIZE)) {
        return 0;
    }
    return st.size;
}

ZipReader::Stream ZipReader::open(std::string_view part, std::uint64_t maxSize) const {
    const std::string f = inQuotes(m_displayName);
    const std::int64_t index = find(part);
    if (index < 0) {
        failDamaged(m_displayName, "缺少部件" + std::string(part));
    }
    zip_stat_t st;
    zip_stat_init(&st);
    std::uint64_t compressed = UINT64_MAX; // unknown: no ratio to check
    if (zip_stat_index(m_zip, static_cast<zip_uint64_t>(index), 0, &st) == 0) {
        if ((st.valid & ZIP_STAT_SIZE) && st.size > maxSize) {
            failTooLarge(m_displayName, std::string(part), maxSize);
        }
        if (st.valid & ZIP_STAT_COMP_SIZE) {
            compressed = st.comp_size;
        }
    }
    zip_file_t* file = zip_fopen_index(m_zip, static_cast<zip_uint64_t>(index), 0);
    if (!file) {
        const int code = zip_error_code_zip(zip_get_error(m_zip));
        const std::string p = std::string(part);
        switch (code) {
        case ZIP_ER_NOPASSWD:
        case ZIP_ER_WRONGPASSWD:
        case ZIP_ER_ENCRNOTSUPP:
            failNamed(m_displayName, "受密码保护，无法读取：请用 WPS 表格或 LibreOffice "
                                     "输入密码打开，另存一份不设密码的 .xlsx 后再试。");
        case ZIP_ER_COMPNOTSUPP:
            failNamed(m_displayName, "的部件" + p + "使用了不支持的压缩方式。", p);
        case ZIP_ER_MEMORY:
            fail("读取" + f + "时内存不足。");
        default:
            failDamaged(m_displayName, "无法读取部件" + p + "（错误 " + std::to_string(code) + "）",
                        p);
        }
    }
    return Stream(file, *this, std::string(part), maxSize, compressed);
}

ZipReader::Stream::~Stream() {
    zip_fclose(m_file);
}

std::size_t ZipReader::Stream::read(void* buffer, std::size_t n) {
    const zip_int64_t got = zip_fread(m_file, buffer, n);
    if (got >= 0) {
        m_read += static_cast<std::uint64_t>(got);
        m_owner.m_inflated += static_cast<std::uint64_t>(got);
        checkBounds();
        return static_cast<std::size_t>(got);
    }
    const int code = zip_error_code_zip(zip_file_get_error(m_file));
    const std::string f = inQuotes(m_owner.displayName());
    switch (code) {
    case ZIP_ER_CRC:
        failDamaged(m_owner.displayName(), "部件" + m_part + "的数据校验失败", m_part);
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA:
        failDamaged(m_owner.displayName(), "部件" + m_part + "的压缩数据有误", m_part);
    case ZIP_ER_EOF:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
        failNamed(m_owner.displayName(), "已损坏或不完整：读取部件" + m_part + "时文件提前结束。",
                  m_part);
    case ZIP_ER_MEMORY:
        fail("读取" + f + "时内存不足。");
    default:
        failDamaged(m_owner.displayName(),
                    "无法读取部件" + m_part + "（错误 " + std::to_string(code) + "）", m_part);
    }
}

void ZipReader::Stream::checkBounds() {
    if (m_read > m_maxSize) {
        failTooLarge(m_owner.displayName(), m_part, m_maxSize);
    }
    if (m_read > kRatioFrom && m_read / kMaxRatio > m_compressedSize) {
        failBomb(m_owner.displayName(), "部件" + m_part + "压缩后", m_compressedSize, m_read);
    }
    // Entries may share their compressed data, so all parts together are held to the package.
    const std::uint64_t all = m_owner.m_inflated;
    if (all > kPackageRatioFrom && all / kMaxRatio > m_owner.m_packageSize) {
        failBomb(m_owner.displayName(), "整个文件", m_owner.m_packageSize, all);
    }
}

} // namespace quenly::wb::xlsx_read
