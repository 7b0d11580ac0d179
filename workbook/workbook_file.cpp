// Opening workbook files by their content and saving them without leaving half files behind.
#include "workbook_file.h"

#include "xls_reader.h"
#include "xlsx_writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quenly::wb {

namespace fs = std::filesystem;

namespace {

constexpr std::array<unsigned char, 8> kCompoundMagic{0xD0, 0xCF, 0x11, 0xE0,
                                                      0xA1, 0xB1, 0x1A, 0xE1};

std::string quoted(const fs::path& file) {
    return "“" + file.string() + "”";
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

std::uint32_t le32(const std::vector<unsigned char>& b, std::size_t at) {
    return static_cast<std::uint32_t>(b[at]) | static_cast<std::uint32_t>(b[at + 1]) << 8 |
           static_cast<std::uint32_t>(b[at + 2]) << 16 |
           static_cast<std::uint32_t>(b[at + 3]) << 24;
}

// The names of the streams and storages in a compound file's directory, as far as the header's
// own list of allocation sectors reaches (enough for every file the sniff needs to tell apart).
std::vector<std::string> compoundEntryNames(std::ifstream& in) {
    std::vector<std::string> names;
    std::vector<unsigned char> header(512);
    in.clear();
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(header.data()), 512)) {
        return names;
    }
    const unsigned shift = header[0x1E] | header[0x1F] << 8;
    if (shift != 9 && shift != 12) {
        return names;
    }
    const std::size_t sectorSize = std::size_t{1} << shift;
    auto readSector = [&](std::uint32_t sector, std::vector<unsigned char>& out) {
        out.assign(sectorSize, 0);
        in.clear();
        in.seekg(
            static_cast<std::streamoff>((static_cast<std::uint64_t>(sector) + 1) * sectorSize));
        return static_cast<bool>(
            in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(sectorSize)));
    };
    const std::size_t perFatSector = sectorSize / 4;
    std::vector<unsigned char> fatSector;
    std::vector<unsigned char> dirSector;
    std::uint32_t loadedFat = 0xFFFFFFFF;
    std::uint32_t sector = le32(header, 0x30);
    for (int guard = 0; guard < 256 && sector < 0xFFFFFFFA; ++guard) {
        if (!readSector(sector, dirSector)) {
            break;
        }
        for (std::size_t e = 0; e + 128 <= sectorSize; e += 128) {
            const unsigned nameBytes = dirSector[e + 0x40] | dirSector[e + 0x41] << 8;
            std::string name;
            for (unsigned i = 0; i + 1 < nameBytes && i < 64; i += 2) {
                const unsigned ch = dirSector[e + i] | dirSector[e + i + 1] << 8;
                if (ch == 0) {
                    break; // the stored length counts the terminating zero
                }
                name += ch < 0x80 ? static_cast<char>(ch) : '?';
            }
            if (!name.empty()) {
                names.push_back(name);
            }
        }
        const std::uint32_t fatIndex = static_cast<std::uint32_t>(sector / perFatSector);
        if (fatIndex >= 109) {
            break;
        }
        if (fatIndex != loadedFat) {
            const std::uint32_t fatAt = le32(header, 0x4C + 4 * fatIndex);
            if (fatAt >= 0xFFFFFFFA || !readSector(fatAt, fatSector)) {
                break;
            }
            loadedFat = fatIndex;
        }
        sector = le32(fatSector, (sector % perFatSector) * 4);
    }
    return names;
}

bool hasEntry(const std::vector<std::string>& names, std::string_view wanted) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return lowerAscii(n) == lowerAscii(wanted); });
}

// Says what a compound file holds when it is not an Excel workbook; empty when it may be one.
std::string describeCompound(std::ifstream& in, const fs::path& file) {
    const std::vector<std::string> names = compoundEntryNames(in);
    if (hasEntry(names, "EncryptedPackage") || hasEntry(names, "EncryptionInfo")) {
        return quoted(file) + "是设置了打开密码的加密工作簿，无法读取；请在Excel或WPS中打开，取消密"
                              "码后另存为.xlsx";
    }
    if (names.empty() || hasEntry(names, "Workbook") || hasEntry(names, "Book")) {
        return {};
    }
    if (hasEntry(names, "WordDocument")) {
        return quoted(file) + "是Word文档，不是Excel工作簿";
    }
    if (hasEntry(names, "PowerPoint Document")) {
        return quoted(file) + "是PowerPoint演示文稿，不是Excel工作簿";
    }
    return {};
}

bool startsWithIgnoreCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && lowerAscii(text.substr(0, prefix.size())) == prefix;
}

// Says what a file that is neither a zip package nor a compound file really is.
std::string describeOther(std::string_view head, const fs::path& file) {
    std::string_view text = head;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        text.remove_prefix(3);
    }
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r' ||
                             text.front() == '\n')) {
        text.remove_prefix(1);
    }
    const std::string lower = lowerAscii(text);
    const std::string saveAs = "；请在Excel或WPS中打开后另存为.xlsx";
    if (startsWithIgnoreCase(text, "<!doctype html") || startsWithIgnoreCase(text, "<html") ||
        lower.find("<html") != std::string::npos || lower.find("<table") != std::string::npos) {
        return quoted(file) + "是网页（HTML）文件，不是Excel工作簿" + saveAs;
    }
    if (startsWithIgnoreCase(text, "<?xml")) {
        if (lower.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string::npos) {
            return quoted(file) + "是XML电子表格（Excel 2003 XML）文件，不是Excel工作簿" + saveAs;
        }
        return quoted(file) + "是XML文件，不是Excel工作簿";
    }
    if (text.substr(0, 5) == "%PDF-") {
        return quoted(file) + "是PDF文件，不是Excel工作簿";
    }
    // Excel 2.x to 4.0 wrote the BIFF records straight into the file: a BOF record first.
    if (head.size() >= 4 && (head[1] == 0x00 || head[1] == 0x02 || head[1] == 0x04) &&
        head[0] == 0x09 && head[2] >= 4 && head[3] == 0x00) {
        return quoted(file) + "是Excel 4.0或更早版本的工作簿，无法读取" + saveAs;
    }
    const bool binary = head.find('\0') != std::string_view::npos;
    if (!binary) {
        return quoted(file) + "是CSV或文本文件，不是Excel工作簿" + saveAs;
    }
    return quoted(file) + "不是Excel工作簿（无法识别的文件格式）；请选择.xlsx或.xls文件";
}

} // namespace

std::unique_ptr<Workbook> loadWorkbook(const fs::path& file, const ReadOptions& options) {
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (status.type() == fs::file_type::not_found) {
        throw WorkbookError("文件" + quoted(file) + "不存在");
    }
    if (status.type() == fs::file_type::directory) {
        throw WorkbookError(quoted(file) + "是一个文件夹，不是Excel工作簿");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        const int err = errno;
        throw WorkbookError("无法打开文件" + quoted(file) + "：" +
                            (err == EACCES ? std::string("没有读取权限") : std::strerror(err)));
    }
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.empty()) {
        if (status.type() != fs::file_type::regular) {
            throw WorkbookError(quoted(file) + "不是普通文件，不是Excel工作簿");
        }
        throw WorkbookError("文件" + quoted(file) + "是空文件（0 字节），不是Excel工作簿");
    }
    if (head.size() >= 4 && head.compare(0, 4, "PK\x03\x04") == 0) {
        in.close();
        return readXlsx(file, options);
    }
    if (head.size() >= 8 && std::memcmp(head.data(), kCompoundMagic.data(), 8) == 0) {
        const std::string what = describeCompound(in, file);
        if (!what.empty()) {
            throw WorkbookError(what);
        }
        in.close();
        return readXls(file, options);
    }
    if (head.size() >= 4 && head.compare(0, 4, "PK\x05\x06") == 0) {
        throw WorkbookError(quoted(file) + "是一个空的压缩包，不是Excel工作簿");
    }
    throw WorkbookError(describeOther(head, file));
}

void saveWorkbook(const Workbook& book, const fs::path& file) {
    std::error_code ec;
    if (fs::is_directory(file, ec)) {
        throw WorkbookError("无法保存到" + quoted(file) + "：这是一个文件夹");
    }
    fs::path dir = file.parent_path();
    if (dir.empty()) {
        dir = ".";
    }
    if (!fs::is_directory(dir, ec)) {
        throw WorkbookError("无法保存到" + quoted(file) + "：文件夹" + quoted(dir) + "不存在");
    }
    std::string tmpl = (dir / ("." + file.filename().string() + ".tmp-XXXXXX")).string();
    const int fd = mkstemp(tmpl.data());
    if (fd < 0) {
        const int err = errno;
        throw WorkbookError(
            "无法保存到" + quoted(file) + "：" +
            (err == EACCES || err == EROFS ? std::string("没有写入权限") : std::strerror(err)));
    }
    const fs::path tmp = tmpl;
    // mkstemp gives 0600; a saved workbook gets the permissions any new file would get.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    close(fd);
    try {
        writeXlsx(book, tmp);
        const int sync = open(tmp.c_str(), O_RDONLY);
        if (sync < 0 || fsync(sync) != 0) {
            const int err = errno;
            if (sync >= 0) {
                close(sync);
            }
            throw WorkbookError("无法保存到" + quoted(file) + "：" + std::strerror(err));
        }
        close(sync);
        if (std::rename(tmp.c_str(), file.c_str()) != 0) {
            const int err = errno;
            throw WorkbookError("无法保存到" + quoted(file) + "：" + std::strerror(err));
        }
    } catch (...) {
        fs::remove(tmp, ec);
        throw;
    }
    const int dirFd = open(dir.c_str(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        fsync(dirFd);
        close(dirFd);
    }
}

} // namespace quenly::wb
