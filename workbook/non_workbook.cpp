// Saying what a file is when it is neither a compound file nor a zip package.
#include "text_util.h"
#include "workbook_file.h"

#include <algorithm>
#include <fstream>

namespace quenly::wb {

namespace {

constexpr std::size_t kSniffBytes = 65536;

bool looksLikeText(std::string_view s) {
    std::size_t control = 0;
    for (unsigned char c : s) {
        if (c == 0) {
            return false;
        }
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') {
            ++control;
        }
    }
    return control * 100 <= s.size();
}

/// Whether most of the first lines hold the same, non-zero number of `sep`.
bool separatedBy(std::string_view s, char sep) {
    std::size_t lines = 0;
    std::size_t agreeing = 0;
    std::size_t firstCount = 0;
    std::size_t start = 0;
    while (start < s.size() && lines < 20) {
        std::size_t end = s.find('\n', start);
        if (end == std::string_view::npos) {
            end = s.size();
        }
        const std::string_view line = s.substr(start, end - start);
        start = end + 1;
        if (line.empty() || line == "\r") {
            continue;
        }
        const auto n = static_cast<std::size_t>(std::count(line.begin(), line.end(), sep));
        if (lines == 0) {
            firstCount = n;
        }
        if (n > 0 && n == firstCount) {
            ++agreeing;
        }
        ++lines;
    }
    return firstCount > 0 && agreeing * 2 > lines;
}

std::string hexBytes(std::string_view s) {
    static const char* kDigits = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < std::min<std::size_t>(s.size(), 8); ++i) {
        if (i) {
            out += ' ';
        }
        const auto c = static_cast<unsigned char>(s[i]);
        out += kDigits[c >> 4];
        out += kDigits[c & 0x0F];
    }
    return out;
}

} // namespace

std::string describeNonWorkbook(const std::filesystem::path& file) {
    const std::string name = inQuotes(file.string());
    const std::string saveAs = "请用 WPS 表格或 LibreOffice 打开并另存为 .xlsx 后再试";
    std::error_code ec;
    if (std::filesystem::is_directory(file, ec)) {
        return name + "是一个文件夹，不是 Excel 工作簿";
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return "无法读取" + name + "：文件不存在或没有读取权限";
    }
    std::string head(kSniffBytes, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    if (head.empty()) {
        return name + "是一个空文件（0 字节），里面没有工作簿";
    }
    if (head.size() >= 2 && static_cast<unsigned char>(head[0]) == 0xFF &&
        static_cast<unsigned char>(head[1]) == 0xFE) {
        // UTF-16LE text, as Excel's "Unicode text" export writes it: keep the ASCII characters.
        std::string narrow;
        for (std::size_t i = 2; i + 1 < head.size(); i += 2) {
            if (head[i + 1] == 0) {
                narrow += head[i];
            } else {
                narrow += 'x';
            }
        }
        if (separatedBy(narrow, '\t')) {
            return name + "其实是一个以制表符分隔的 Unicode 文本文件，不是 Excel 工作簿。" + saveAs;
        }
        return name + "其实是一个 Unicode 文本文件，不是 Excel 工作簿。" + saveAs;
    }
    std::string_view body = head;
    if (body.size() >= 3 && body.substr(0, 3) == "\xEF\xBB\xBF") {
        body.remove_prefix(3);
    }
    const std::string lower = lowerAscii(body);
    const std::size_t firstNonSpace = lower.find_first_not_of(" \t\r\n");
    const std::string_view start = firstNonSpace == std::string::npos
                                       ? std::string_view()
                                       : std::string_view(lower).substr(firstNonSpace);
    if (start.substr(0, 2) == "pk") {
        return name + "是一个 zip 压缩包，但不是 Excel 工作簿";
    }
    // Excel 2.x to 4.0 wrote the BIFF records straight into the file: a BOF record first.
    if (head.size() >= 4 && head[0] == 0x09 &&
        (head[1] == 0x00 || head[1] == 0x02 || head[1] == 0x04) && head[2] >= 4 && head[3] == 0) {
        return name + "是 Excel 4.0 或更早版本的工作簿，无法读取。" + saveAs;
    }
    if (start.substr(0, 5) == "%pdf-") {
        return name + "其实是一个 PDF 文档，不是 Excel 工作簿";
    }
    if (start.substr(0, 5) == "{\\rtf") {
        return name + "其实是一个 RTF 文档，不是 Excel 工作簿";
    }
    if (start.substr(0, 5) == "<?xml" &&
        lower.find("urn:schemas-microsoft-com:office:spreadsheet") != std::string::npos) {
        return name + "是“XML 电子表格 2003”格式的文件，不是 .xls 或 .xlsx 工作簿。" + saveAs;
    }
    if (start.substr(0, 1) == "<" &&
        (lower.find("<html") != std::string::npos || lower.find("<table") != std::string::npos ||
         lower.find("<!doctype html") != std::string::npos)) {
        return name +
               "其实是一个 HTML 网页（常见于网站或业务系统导出的“Excel”表格），不是真正的 Excel "
               "工作簿。" +
               saveAs;
    }
    if (start.substr(0, 1) == "<" && looksLikeText(body)) {
        return name + "其实是一个 XML 或 HTML 文本文件，不是 Excel 工作簿";
    }
    if (looksLikeText(body)) {
        if (separatedBy(body, ',')) {
            return name + "其实是一个 CSV 文本文件（以逗号分隔），不是 Excel 工作簿。" + saveAs;
        }
        if (separatedBy(body, '\t')) {
            return name + "其实是一个以制表符分隔的文本文件，不是 Excel 工作簿。" + saveAs;
        }
        return name + "其实是一个纯文本文件，不是 Excel 工作簿";
    }
    return name + "的内容无法识别（开头的字节为 " + hexBytes(head) +
           "），它不是 Excel 工作簿，也可能已损坏";
}

} // namespace quenly::wb
