// The .xlsx packager: checks the workbook, plans its sheets and writes every part into the zip
// package, the large ones streamed in pieces (one source file per part: package_parts,
// styles_part, shared_strings_part, sheet_part).
#include "xlsx/xlsx_writer.h"

#include "text_util.h"
#include "xlsx/package_parts.h"
#include "xlsx/shared_strings_part.h"
#include "xlsx/sheet_part.h"
#include "xlsx/styles_part.h"
#include "xlsx/zip_writer.h"

#include <new>
#include <string>
#include <string_view>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace quenly::wb {

namespace {

using namespace xlsx_write;

constexpr std::uint32_t kUnused = 0xFFFFFFFFu;

std::size_t utf8Length(std::string_view s) {
    std::size_t n = 0;
    for (char c : s) {
        n += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return n;
}

// Spreadsheet applications refuse (or "repair") a workbook with no sheet or with sheet names
// they do not allow, so such a book is not written at all.
void checkSheets(const Workbook& book, const std::filesystem::path& file) {
    const std::string prefix = "无法保存文件" + inQuotes(file.string()) + "：";
    if (book.sheetCount() == 0) {
        throw WorkbookError(prefix + "工作簿中没有工作表");
    }
    std::unordered_map<std::string, std::size_t> seen;
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        const std::string& name = book.sheet(i).name();
        const bool bad = name.empty() || utf8Length(name) > 31 || name.front() == '\'' ||
                         name.back() == '\'' ||
                         name.find_first_of(std::string_view(":\\/?*[]")) != std::string::npos;
        if (bad) {
            throw WorkbookError(prefix + "工作表名称" + inQuotes(name) +
                                "无效（名称不能为空、不能超过 31 个字符、不能以单引号开头或结尾，"
                                "也不能包含 : \\ / ? * [ ]）");
        }
        if (!seen.emplace(lowerAscii(name), i).second) {
            throw WorkbookError(prefix + "有多个工作表名为" + inQuotes(name));
        }
    }
}

void writeParts(const Workbook& book, const std::vector<SheetPlan>& plans,
                const std::vector<std::uint32_t>& remap, std::vector<std::uint32_t> order,
                std::uint64_t textCells, zip::ZipWriter& zip) {
    const std::size_t sheets = book.sheetCount();
    zip.addEntry("[Content_Types].xml", contentTypesXml(sheets));
    zip.addEntry("_rels/.rels", rootRelsXml());
    zip.addEntry("docProps/app.xml", appXml(book));
    zip.addEntry("docProps/core.xml", coreXml());
    zip.addEntry("xl/workbook.xml", workbookXml(book));
    zip.addEntry("xl/_rels/workbook.xml.rels", workbookRelsXml(sheets));
    zip.addEntry("xl/styles.xml", stylesXml(book.styles));
    {
        const SharedStringsXml sst(book.strings, std::move(order), textCells);
        zip.addStreamedEntry(
            "xl/sharedStrings.xml", sst.pieceCount(),
            [&](std::size_t i, std::string& out) { sst.produce(i, out); }, sst.sizeBound());
    }
    for (std::size_t i = 0; i < sheets; ++i) {
        const SheetXml sheet(plans[i], remap);
        zip.addStreamedEntry(
            "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml", sheet.pieceCount(),
            [&](std::size_t k, std::string& out) { sheet.produce(k, out); }, plans[i].sizeBound);
    }
    zip.finish();
}

void writePackage(const Workbook& book, const std::filesystem::path& file,
                  const WriteOptions& options) {
    checkSheets(book, file);

    std::vector<std::uint32_t> remap(book.strings.size(), 0);
    std::vector<SheetPlan> plans;
    plans.reserve(book.sheetCount());
    std::uint64_t textCells = 0;
    const std::size_t active = book.activeSheet < book.sheetCount() ? book.activeSheet : 0;
    for (std::size_t i = 0; i < book.sheetCount(); ++i) {
        plans.push_back(planSheet(book, book.sheet(i), remap, file));
        plans.back().active = i == active;
        textCells += plans.back().textCells;
    }
    // Only the texts some cell uses are written, renumbered in table order.
    std::vector<std::uint32_t> order;
    for (std::uint32_t i = 0; i < remap.size(); ++i) {
        if (remap[i]) {
            remap[i] = static_cast<std::uint32_t>(order.size());
            order.push_back(i);
        } else {
            remap[i] = kUnused;
        }
    }

    zip::ZipWriterOptions zo;
    zo.threads = options.threads;
    zip::ZipWriter zip(file, zo);
    try {
        writeParts(book, plans, remap, std::move(order), textCells, zip);
    } catch (...) {
        // A half-written package is of no use to anyone: take it away (if it is a plain file).
        std::error_code ec;
        if (std::filesystem::is_regular_file(file, ec)) {
            std::filesystem::remove(file, ec);
        }
        throw;
    }
}

} // namespace

void writeXlsx(const Workbook& book, const std::filesystem::path& file,
               const WriteOptions& options) {
    try {
        writePackage(book, file, options);
    } catch (const WorkbookError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw WorkbookError("无法写入文件" + inQuotes(file.string()) + "：内存不足");
    } catch (const std::exception& e) {
        throw WorkbookError("无法写入文件" + inQuotes(file.string()) + "：" + e.what());
    }
}

} // namespace quenly::wb
