// Opening workbook files by their content and saving them without leaving half files behind.
#include "workbook_file.h"

#include "text_util.h"
#include "whole_file.h"
#include "xls/cfb.h"
#include "xls/xls_reader.h"
#include "xlsx/xlsx_reader.h"
#include "xlsx/xlsx_writer.h"

#include <cerrno>
#include <climits>
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

// The fault of a writer's error about the temporary file `tmp`, told about `file`: the writer's
// "无法写入文件“tmp”：" is dropped, a system error text becomes the sentence of saveFault, and
// any other mention of the temporary name becomes the result's name.
std::string writerFault(std::string message, const fs::path& tmp, const fs::path& file) {
    for (const char* lead : {"无法写入文件", "无法保存文件"}) {
        const std::string prefix = lead + inQuotes(tmp.string()) + "：";
        if (message.starts_with(prefix)) {
            message.erase(0, prefix.size());
            break;
        }
    }
    for (const int err : {ENOSPC, EDQUOT, EACCES, EPERM, EROFS, ENOENT, EFBIG, EIO}) {
        if (message == std::strerror(err)) {
            return saveFault(err);
        }
    }
    const std::string tmpText = tmp.string();
    for (std::size_t at = message.find(tmpText); at != std::string::npos;
         at = message.find(tmpText, at)) {
        message.replace(at, tmpText.size(), file.string());
        at += file.string().size();
    }
    return message;
}

// The path text without the characters of codes 0 to 32 at either end.
std::string_view trimmedPath(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) {
        text.remove_suffix(1);
    }
    return text;
}

// What a path that is neither a regular file nor a folder names.
std::string notRegularFile(fs::file_type type) {
    switch (type) {
    case fs::file_type::fifo:
        return "是一个命名管道（FIFO）";
    case fs::file_type::character:
        return "是一个字符设备";
    case fs::file_type::block:
        return "是一个块设备";
    case fs::file_type::socket:
        return "是一个套接字（socket）";
    default:
        return "不是普通文件";
    }
}

} // namespace

std::unique_ptr<Workbook> loadWorkbook(const fs::path& file, const ReadOptions& options) {
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (status.type() == fs::file_type::not_found) {
        // The path is taken as given, blanks at either end included; say so when they are the
        // only difference to a file that exists.
        const std::string text = file.string();
        const std::string_view trimmed = trimmedPath(text);
        if (!trimmed.empty() && trimmed.size() != text.size() &&
            fs::exists(fs::path(std::string(trimmed)), ec)) {
            throw WorkbookError("文件" + inQuotes(file.string()) +
                                "不存在（路径的开头或结尾有空格；去掉空格后的" + inQuotes(trimmed) +
                                "是存在的）");
        }
        throw WorkbookError("文件" + inQuotes(file.string()) + "不存在");
    }
    if (status.type() == fs::file_type::directory) {
        throw WorkbookError(inQuotes(file.string()) + "是一个文件夹，不是Excel工作簿");
    }
    if (status.type() != fs::file_type::regular) {
        // Opening a named pipe waits for a writer, and a device may never end: only a regular
        // file (a link to one included) is opened at all.
        throw WorkbookError(inQuotes(file.string()) + notRegularFile(status.type()) +
                            "，不是Excel工作簿文件；请选择工作簿文件本身");
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        const int err = errno;
        throw WorkbookError("无法打开文件" + inQuotes(file.string()) + "：" +
                            (err == EACCES ? std::string("没有读取权限") : std::strerror(err)));
    }
    std::string head(4096, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.empty()) {
        throw WorkbookError("文件" + inQuotes(file.string()) +
                            "是空文件（0 字节），不是Excel工作簿");
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
        throw WorkbookError(inQuotes(file.string()) + "是一个空的压缩包，不是Excel工作簿");
    }
    throw WorkbookError(describeNonWorkbook(file));
}

void saveWorkbook(const Workbook& book, const fs::path& file) {
    std::error_code ec;
    if (fs::is_directory(file, ec)) {
        throw WorkbookError("无法保存到" + inQuotes(file.string()) + "：这是一个文件夹");
    }
    fs::path dir = file.parent_path();
    if (dir.empty()) {
        dir = ".";
    }
    if (!fs::is_directory(dir, ec)) {
        throw WorkbookError("无法保存到" + inQuotes(file.string()) + "：文件夹" +
                            inQuotes(dir.string()) + "不存在");
    }
    auto refuse = [&](const std::string& fault) {
        return WorkbookError("无法保存到" + inQuotes(file.string()) + "：" + fault);
    };
    files::WholeFile whole(file);
    if (whole.error() != 0) {
        throw refuse(saveFault(whole.error()));
    }
    try {
        writeXlsx(book, whole.temporary());
    } catch (const WorkbookError& e) {
        throw refuse(writerFault(e.what(), whole.temporary(), file));
    }
    if (const int err = whole.commit(); err != 0) {
        throw refuse(saveFault(err));
    }
}

} // namespace quenly::wb
