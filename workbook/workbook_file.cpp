// Opening workbook files by their content and saving them without leaving half files behind.
#include "workbook_file.h"

#include "cfb.h"
#include "xls_reader.h"
#include "xlsx_writer.h"

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

std::string quoted(const fs::path& file) {
    return "“" + file.string() + "”";
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
    if (head.size() >= 8 && xls::hasCompoundSignature(std::span<const std::uint8_t>(
                                reinterpret_cast<const std::uint8_t*>(head.data()), head.size()))) {
        // The .xls reader tells encrypted packages, Word and PowerPoint files apart itself.
        in.close();
        return readXls(file, options);
    }
    if (head.size() >= 4 && head.compare(0, 4, "PK\x05\x06") == 0) {
        throw WorkbookError(quoted(file) + "是一个空的压缩包，不是Excel工作簿");
    }
    throw WorkbookError(describeNonWorkbook(file));
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
