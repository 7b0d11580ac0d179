// Reading an .xlsx package: the workbook part found through the relationships, then the theme,
// styles, shared strings and worksheets, each part streamed through expat (relationships,
// workbook_part_reader, xlsx_styles_reader, shared_strings_reader, sheet_reader).
#include "xlsx/xlsx_reader.h"

#include "read_error.h"
#include "text_util.h"
#include "xlsx/relationships.h"
#include "xlsx/shared_strings_reader.h"
#include "xlsx/sheet_reader.h"
#include "xlsx/workbook_part_reader.h"
#include "xlsx/xlsx_read_common.h"
#include "xlsx/xlsx_reader_memory.h"
#include "xlsx/xlsx_styles_reader.h"
#include "xlsx/zip_reader.h"

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace quenly::wb {

namespace {

using namespace xlsx_read;

// “file”已损坏：<fault>。, about `part` when there is one.
[[noreturn]] void damaged(const ZipReader& zip, std::string fault, std::string part = {}) {
    ReadFault f(ReadFault::Kind::Damaged, zip.displayName(), std::move(part));
    f.fault = std::move(fault);
    throw ReadError(std::move(f));
}

// “file”<fault>: what the package is, or is not.
[[noreturn]] void named(const ZipReader& zip, std::string fault) {
    ReadFault f(ReadFault::Kind::Named, zip.displayName());
    f.fault = std::move(fault);
    throw ReadError(std::move(f));
}

// The workbook part: where the package relationships say, else the usual place.
std::string findWorkbookPart(const ZipReader& zip) {
    const auto packageRels = readRels(zip, "");
    if (const Relationship* r = findByType(packageRels, "officeDocument");
        r && !r->outside && zip.has(r->target)) {
        return r->target;
    }
    if (zip.has("xl/workbook.xml")) {
        return "xl/workbook.xml";
    }
    if (zip.has("xl/workbook.bin")) {
        named(zip, "是二进制格式（.xlsb）的工作簿，无法读取：请用 WPS 表格或 LibreOffice 打开并另存"
                   "为 .xlsx。");
    }
    named(zip, "不是Excel工作簿：压缩包中没有xl/workbook.xml。");
}

// The parts the workbook part refers to through its relationships.
class WorkbookParts {
public:
    WorkbookParts(const ZipReader& zip, const std::string& workbookPart)
        : m_zip(zip)
        , m_rels(readRels(zip, workbookPart)) {}

    // The part of a relationship of `type` (`what` names it in messages). A part the
    // relationships name must be there (a misplaced one is looked for where writers usually put
    // it); without a relationship the usual place, if any, is read. Empty when there is none.
    std::string partOf(std::string_view type, std::string_view usual, std::string_view what) const {
        const Relationship* r = findByType(m_rels, type);
        if (r && !r->outside && m_zip.has(r->target)) {
            return r->target;
        }
        if (!usual.empty() && m_zip.has(usual)) {
            return std::string(usual);
        }
        if (!r) {
            return {};
        }
        if (r->outside) {
            damaged(m_zip, std::string(what) + "的关系" + inQuotes(r->id) + "指向压缩包以外的位置" +
                               inQuotes(r->raw));
        }
        damaged(m_zip,
                "缺少" + std::string(what) + "部件" + r->target + "（关系" + inQuotes(r->id) +
                    "指向它）",
                r->target);
    }

    // The worksheet part of `entry`; nothing for a chart, dialog or macro sheet.
    const Relationship* sheetOf(const SheetEntry& entry) const {
        for (const Relationship& r : m_rels) {
            if (r.id == entry.relId) {
                return r.type == "worksheet" ? &r : nullptr;
            }
        }
        damaged(m_zip, "找不到工作表" + inQuotes(entry.name) + "的部件（关系" +
                           inQuotes(entry.relId) + "不存在）");
    }

private:
    const ZipReader& m_zip;
    std::vector<Relationship> m_rels;
};

// Adds the worksheets of `listed` to `book`, reading the cells of the first (of all with
// `allSheets`); the others are present with their names only.
void readSheets(const ZipReader& zip, const WorkbookParts& parts, const WorkbookPart& listed,
                const ReadStyles& styles, const std::vector<std::uint32_t>& shared, bool allSheets,
                Workbook& book) {
    bool firstWorksheet = true;
    for (std::size_t i = 0; i < listed.sheets.size(); ++i) {
        const SheetEntry& entry = listed.sheets[i];
        const Relationship* rel = parts.sheetOf(entry);
        if (!rel) {
            continue; // chart sheets, dialog and macro sheets hold no cells to read
        }
        if (i == listed.activeTab) {
            book.activeSheet = book.sheetCount();
        }
        Worksheet& sheet = book.addSheet(entry.name);
        if (allSheets || firstWorksheet) {
            if (rel->outside) {
                damaged(zip,
                        "工作表" + inQuotes(entry.name) + "的关系" + inQuotes(rel->id) +
                            "指向压缩包以外的位置" + inQuotes(rel->raw),
                        rel->target);
            }
            readSheetPart(zip, rel->target, book, sheet, styles, shared);
        }
        firstWorksheet = false;
    }
}

std::unique_ptr<Workbook> readPackage(const ZipReader& zip, const ReadOptions& options) {
    auto book = std::make_unique<Workbook>();
    book->sourceName = zip.displayName();
    const std::string workbookPart = findWorkbookPart(zip);
    const WorkbookPart listed = readWorkbookPart(zip, workbookPart);
    book->date1904 = listed.date1904;
    const WorkbookParts parts(zip, workbookPart);

    ThemeColors theme = defaultThemeColors();
    if (const std::string part = parts.partOf("theme", "", "主题"); !part.empty()) {
        theme = readTheme(zip, part);
    }
    const std::string stylesPart = parts.partOf("styles", "xl/styles.xml", "单元格格式");
    const ReadStyles styles = readStyles(&zip, stylesPart, theme, book->styles);
    std::vector<std::uint32_t> shared;
    if (const std::string part =
            parts.partOf("sharedStrings", "xl/sharedStrings.xml", "共享字符串");
        !part.empty()) {
        shared = readSharedStrings(zip, part, styles, book->strings);
    }
    readSheets(zip, parts, listed, styles, shared, options.allSheets, *book);
    if (book->sheetCount() == 0) {
        named(zip, "中没有工作表。");
    }
    return book;
}

} // namespace

std::unique_ptr<Workbook> readXlsx(const std::filesystem::path& file, const ReadOptions& options) {
    try {
        const ZipReader zip(file, file.string());
        return readPackage(zip, options);
    } catch (const std::bad_alloc&) {
        throw WorkbookError("读取" + inQuotes(file.string()) + "时内存不足。");
    } catch (const std::length_error&) {
        throw WorkbookError("读取" + inQuotes(file.string()) + "时内存不足。");
    }
}

std::unique_ptr<Workbook> readXlsxMemory(const void* data, std::size_t size,
                                         const std::string& displayName,
                                         const ReadOptions& options) {
    try {
        const ZipReader zip(data, size, displayName);
        return readPackage(zip, options);
    } catch (const std::bad_alloc&) {
        throw WorkbookError("读取" + inQuotes(displayName) + "时内存不足。");
    } catch (const std::length_error&) {
        throw WorkbookError("读取" + inQuotes(displayName) + "时内存不足。");
    }
}

} // namespace quenly::wb
