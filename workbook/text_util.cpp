// Small text helpers shared by the readers, the writer and the spreadsheet instances.
#include "text_util.h"

#include <cerrno>
#include <cstring>

namespace quenly::wb {

namespace {

char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string inQuotes(std::string_view name) {
    std::string out = "“";
    out += name;
    out += "”";
    return out;
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        c = lower(c);
    }
    return out;
}

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

std::string saveFault(int err) {
    switch (err) {
    case ENOSPC:
        return "磁盘空间不足，请腾出空间或换一个位置保存";
    case EDQUOT:
        return "超出了磁盘配额，请腾出空间或换一个位置保存";
    case EACCES:
    case EPERM:
        return "没有写入权限，请换一个文件夹保存";
    case EROFS:
        return "该位置是只读的，请换一个文件夹保存";
    case ENOENT:
    case ENOTDIR:
        return "保存结果的文件夹已不存在（可能已被删除或移走）";
    case EFBIG:
        return "文件太大，超出了该磁盘允许的文件大小";
    case ENAMETOOLONG:
        return "文件名太长";
    case EIO:
        return "读写磁盘时出错";
    default:
        return std::strerror(err);
    }
}

} // namespace quenly::wb
