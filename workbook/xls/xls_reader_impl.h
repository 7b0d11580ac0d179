// The .xls reader's state, shared by its sources: the file and stream (xls_reader.cpp), the
// workbook globals (workbook_globals.cpp) and the records of each worksheet (sheet_records.cpp).
#pragma once

#include "workbook.h"
#include "xls/biff_records.h"
#include "xls/biff_strings.h"
#include "xls/biff_styles.h"
#include "xls/cfb.h"
#include "xls/data_reader.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quenly::wb::xls {

/// Reads one .xls file (or its bytes) into a workbook. Every fault throws WorkbookError naming
/// the file and, where there is one, the sheet, stream, record and offset.
class XlsReader {
public:
    XlsReader(const std::filesystem::path& file, const ReadOptions& options)
        : m_path(file)
        , m_file(file.string())
        , m_options(options) {}
    XlsReader(std::vector<std::uint8_t> data, std::string name, const ReadOptions& options)
        : m_file(std::move(name))
        , m_options(options)
        , m_data(std::move(data))
        , m_inMemory(true) {}

    std::unique_ptr<Workbook> run();

private:
    struct SheetEntry {
        std::string name;
        std::uint32_t pos = 0;
        std::uint8_t type = 0;
    };

    // The file and its stream.
    std::vector<std::uint8_t> readFile();
    void openStream(const CompoundFile& cfb);
    [[noreturn]] void passwordProtected() const;
    [[noreturn]] void recordFault(const Record& r, std::string_view fault) const;
    [[noreturn]] void shortRecord(const Record& r) const;

    // The workbook globals.
    void scanGlobals();
    void readGlobals();
    void readGlobalRecord(const Record& r);
    void readFont(const Record& r, DataReader& in);
    void readPalette(const Record& r, DataReader& in);
    void readSst(const Record& r, RecordCursor& cursor);
    void finishStyles();

    // The worksheets.
    void readSheet(Worksheet& sheet, const SheetEntry& entry);
    void readSheetRecord(Worksheet& sheet, const Record& r, RecordCursor& cursor);
    void readMulRk(Worksheet& sheet, const Record& r);
    void readMulBlank(Worksheet& sheet, const Record& r);
    void readLabelSst(Worksheet& sheet, const Record& r);
    void readLabel(Worksheet& sheet, const Record& r, RecordCursor& cursor);
    void readFormula(Worksheet& sheet, const Record& r);
    void readFormulaString(Worksheet& sheet, const Record& r, RecordCursor& cursor);
    void readRow(Worksheet& sheet, const Record& r);
    void readColumnInfo(Worksheet& sheet, const Record& r);
    void readMerges(Worksheet& sheet, const Record& r);
    void readSheetDefault(Worksheet& sheet, const Record& r);
    void finishSheet(Worksheet& sheet);

    // The format of cells naming XF `xf`. A file without XF records gives every cell the
    // default format; in one with them, an XF past the last is kMissingStyle, which put()
    // refuses.
    static constexpr std::uint32_t kMissingStyle = 0xFFFFFFFF;
    std::uint32_t style(std::uint16_t xf) const {
        if (xf < m_xfStyle.size()) {
            return m_xfStyle[xf];
        }
        if (m_xfStyle.empty()) {
            return 0;
        }
        m_missingXf = xf;
        return kMissingStyle;
    }
    [[noreturn]] void missingStyle(const Record& r) const;
    void put(Worksheet& sheet, const Record& r, std::uint16_t row, std::uint16_t col,
             const Cell& c);

    std::filesystem::path m_path;
    std::string m_file;
    ReadOptions m_options;
    std::vector<std::uint8_t> m_data; // the file's bytes when read from memory
    bool m_inMemory = false;
    std::vector<std::uint8_t> m_stream;
    std::string m_streamName;
    int m_biff = 8;
    unsigned m_codepage = 1252;
    BiffStyles m_styles;
    BiffStrings m_strings{m_styles};
    std::vector<std::uint32_t> m_xfStyle;
    mutable std::uint16_t m_missingXf = 0; // the XF that style() last found missing
    std::vector<std::uint32_t> m_sst;
    std::vector<SheetEntry> m_sheets;
    std::uint16_t m_activeTab = 0;
    std::unique_ptr<Workbook> m_book;
    const std::string* m_sheetName = nullptr; // the sheet being read, for messages
    std::vector<std::span<const std::uint8_t>> m_segs;
    // A FORMULA whose text result follows in a STRING record.
    struct PendingText {
        std::uint16_t row, col, xf;
    };
    std::optional<PendingText> m_pending;
    bool m_standardWidth = false;    // the sheet being read gave a STANDARDWIDTH
    bool m_defaultRowHeight = false; // the sheet being read gave a DEFAULTROWHEIGHT
};

} // namespace quenly::wb::xls
