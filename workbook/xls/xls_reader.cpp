// Reading .xls workbooks: the file and its compound document, the Workbook (or Book) stream,
// then the workbook globals (workbook_globals.cpp) and each worksheet's records
// (sheet_records.cpp) into the in-memory workbook.
#include "xls/xls_reader.h"

#include "read_error.h"
#include "text_util.h"
#include "xls/xls_error.h"
#include "xls/xls_reader_impl.h"

#include <fstream>

namespace quenly::wb {

namespace xls {

std::vector<std::uint8_t> XlsReader::readFile() {
    std::error_code ec;
    if (!std::filesystem::exists(m_path, ec)) {
        fail(m_file, "文件不存在");
    }
    if (std::filesystem::is_directory(m_path, ec)) {
        fail(m_file, "这是一个文件夹，不是文件");
    }
    std::ifstream in(m_path, std::ios::binary);
    if (!in) {
        fail(m_file, "文件无法打开（没有读取权限或被其他程序占用）");
    }
    std::vector<std::uint8_t> data;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    in.seekg(0, std::ios::beg);
    if (size < 0) {
        fail(m_file, "文件无法读取");
    }
    data.resize(static_cast<std::size_t>(size));
    if (size > 0 && !in.read(reinterpret_cast<char*>(data.data()), size)) {
        fail(m_file, "读取文件时出错");
    }
    return data;
}

void XlsReader::passwordProtected() const {
    throw WorkbookError(
        "工作簿" + inQuotes(m_file) +
        "设有打开密码（已加密），无法读取。请用 WPS 表格或 LibreOffice 输入密码打开它，"
        "另存一份不设密码的副本，再用副本重试");
}

void XlsReader::openStream(const CompoundFile& cfb) {
    if (cfb.hasStream("EncryptedPackage") || cfb.hasStream("EncryptionInfo")) {
        passwordProtected();
    }
    for (const char* name : {"Workbook", "Book"}) {
        if (cfb.hasStream(name)) {
            m_streamName = name;
            m_stream = cfb.readStream(name);
            return;
        }
    }
    if (cfb.hasStream("WordDocument")) {
        fail(m_file, "这是一个 Word 文档，不是 Excel 工作簿");
    }
    if (cfb.hasStream("PowerPoint Document")) {
        fail(m_file, "这是一个 PowerPoint 演示文稿，不是 Excel 工作簿");
    }
    fail(m_file, "复合文档里既没有“Workbook”流也没有“Book”流，它不是 Excel 工作簿");
}

void XlsReader::recordFault(const Record& r, std::string_view fault) const {
    ReadFault f(ReadFault::Kind::Unreadable, m_file, m_streamName);
    if (m_sheetName) {
        f.sheet = *m_sheetName;
    }
    const std::string name(recordName(r.id));
    f.record =
        name.empty() ? "类型 " + hex4(r.id) + " 的记录" : name + " 记录（" + hex4(r.id) + "）";
    f.offset = r.offset;
    f.fault = std::string(fault);
    throw ReadError(std::move(f));
}

void XlsReader::shortRecord(const Record& r) const {
    recordFault(r, "只有 " + num(r.data.size()) + " 字节，容不下它的内容，文件已损坏");
}

std::unique_ptr<Workbook> XlsReader::run() {
    {
        CompoundFile cfb(m_inMemory ? std::move(m_data) : readFile(), m_file);
        openStream(cfb);
    }
    m_book = std::make_unique<Workbook>();
    m_book->sourceName = m_file;
    scanGlobals();
    readGlobals();
    finishStyles();

    bool first = true;
    std::size_t tab = 0;
    for (const SheetEntry& e : m_sheets) {
        if (e.type != 0) {
            ++tab;
            continue; // chart, macro and module sheets are no worksheets
        }
        if (tab == m_activeTab) {
            m_book->activeSheet = m_book->sheetCount();
        }
        ++tab;
        Worksheet& sheet = m_book->addSheet(e.name);
        if (first || m_options.allSheets) {
            readSheet(sheet, e);
        }
        first = false;
    }
    if (m_book->sheetCount() == 0) {
        fail(m_file, "工作簿里没有工作表");
    }
    if (m_book->activeSheet >= m_book->sheetCount()) {
        m_book->activeSheet = 0;
    }
    return std::move(m_book);
}

} // namespace xls

std::unique_ptr<Workbook> readXls(const std::filesystem::path& file, const ReadOptions& options) {
    return xls::XlsReader(file, options).run();
}

std::unique_ptr<Workbook> readXlsMemory(const std::uint8_t* data, std::size_t size,
                                        const std::string& name, const ReadOptions& options) {
    return xls::XlsReader(std::vector<std::uint8_t>(data, data + size), name, options).run();
}

} // namespace quenly::wb
