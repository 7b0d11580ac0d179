// The in-memory workbook: sheets of cells with fully resolved formats, shared by the file readers,
// the writers and the spreadsheet instances. Rows and columns count from 0 in this API.
#pragma once

#include "cell_names.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quenly::wb {

using cells::kMaxCols;
using cells::kMaxRows;

/// A reader or writer fault. The message names the file, the part or record and the fault.
class WorkbookError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// A colour: none (the reader's default), automatic, or an RGB value resolved from whatever the
/// file used (theme with tint, indexed palette, explicit ARGB).
struct Color {
    enum class Kind : std::uint8_t { None, Auto, Rgb };
    Kind kind = Kind::None;
    std::uint32_t argb = 0; // 0xAARRGGBB, alpha FF for opaque

    static Color rgb(std::uint32_t argb) { return {Kind::Rgb, argb}; }
    static Color automatic() { return {Kind::Auto, 0}; }
    bool operator==(const Color&) const = default;
};

/// Underline kinds and vertical alignment of a font use the names of SpreadsheetML
/// ("single", "double", "singleAccounting", "doubleAccounting"; "superscript", "subscript");
/// the empty text means none / baseline.
struct Font {
    std::string name = "Calibri";
    double size = 11;
    bool bold = false;
    bool italic = false;
    bool strike = false;
    std::string underline;
    std::string vertAlign;
    Color color;
    int family = 0;     // 0 = not given
    int charset = -1;   // -1 = not given
    std::string scheme; // "minor", "major" or empty

    bool operator==(const Font&) const = default;
};

/// Pattern names of SpreadsheetML: "none", "solid", "gray125", "darkGray", ...
struct Fill {
    std::string pattern = "none";
    Color fg;
    Color bg;
    bool operator==(const Fill&) const = default;
};

/// Border style names of SpreadsheetML: "" (none), "thin", "medium", "dashed", "double", ...
struct BorderSide {
    std::string style;
    Color color;
    bool operator==(const BorderSide&) const = default;
};

struct Border {
    BorderSide left, right, top, bottom, diagonal;
    bool diagonalUp = false;
    bool diagonalDown = false;
    bool operator==(const Border&) const = default;
};

/// Alignment names of SpreadsheetML ("" = general / bottom default). Rotation as stored in
/// SpreadsheetML: 0-90 counter-clockwise, 91-180 clockwise, 255 vertical text.
struct Alignment {
    std::string horizontal;
    std::string vertical;
    bool wrap = false;
    bool shrink = false;
    int indent = 0;
    int rotation = 0;
    bool operator==(const Alignment&) const = default;
};

struct Protection {
    bool locked = true;
    bool hidden = false;
    bool operator==(const Protection&) const = default;
};

/// One fully resolved cell format; nothing in it refers to tables of the file it came from.
struct CellFormat {
    Font font;
    Fill fill;
    Border border;
    Alignment alignment;
    std::string numberFormat = "General"; // the format code itself, never a built-in id
    Protection protection;
    bool operator==(const CellFormat&) const = default;
};

std::size_t hashFormat(const CellFormat& f);

/// The deduplicated formats of one workbook. Index 0 is always the workbook's default format.
class StyleTable {
public:
    StyleTable();
    /// The index of `format`, adding it when it is new.
    std::uint32_t intern(const CellFormat& format);
    const CellFormat& at(std::uint32_t index) const { return m_formats.at(index); }
    std::size_t size() const { return m_formats.size(); }
    /// Replaces the default format (index 0), e.g. with a reader's default font.
    void setDefault(const CellFormat& format);

private:
    std::vector<CellFormat> m_formats;
    std::unordered_multimap<std::size_t, std::uint32_t> m_index;
};

/// A run of rich text; `hasFont` false means the run uses the cell's font.
struct RichRun {
    std::string text;
    bool hasFont = false;
    Font font;
    bool operator==(const RichRun&) const = default;
};

/// A text value: the plain text, and its runs when it is rich text (the runs' texts joined give
/// `text`).
struct SharedString {
    std::string text;
    std::vector<RichRun> runs;
};

/// The texts of one workbook. Plain texts are interned; rich texts are always added.
class StringTable {
public:
    std::uint32_t intern(std::string_view text);
    std::uint32_t addRich(SharedString s);
    const SharedString& at(std::uint32_t index) const { return m_strings.at(index); }
    std::size_t size() const { return m_strings.size(); }
    void reserve(std::size_t n) { m_plain.reserve(n); }

private:
    std::deque<SharedString> m_strings; // a deque keeps elements in place, so views stay valid
    std::unordered_map<std::string_view, std::uint32_t> m_plain; // views into m_strings' texts
};

enum class CellType : std::uint8_t { Empty, Number, Text, Bool, Error };

/// One cell: 16 bytes. Text is an index into the workbook's StringTable; style an index into its
/// StyleTable. An Empty cell may still carry a style.
struct Cell {
    CellType type = CellType::Empty;
    std::uint8_t error = 0; // a CellErrorCode value, for Error cells
    bool boolean = false;   // for Bool cells
    std::uint32_t style = 0;
    union {
        double number;
        std::uint32_t text;
    };
    Cell()
        : number(0) {}

    static Cell makeNumber(double v, std::uint32_t style = 0);
    static Cell makeText(std::uint32_t textIndex, std::uint32_t style = 0);
    static Cell makeBool(bool v, std::uint32_t style = 0);
    static Cell makeError(std::uint8_t code, std::uint32_t style = 0);
};
static_assert(sizeof(Cell) == 16);

/// A rectangle of cells, corners inclusive, 0-based.
struct CellRange {
    std::uint32_t firstRow = 0, firstCol = 0, lastRow = 0, lastCol = 0;
    bool contains(std::uint32_t r, std::uint32_t c) const {
        return r >= firstRow && r <= lastRow && c >= firstCol && c <= lastCol;
    }
    bool contains(const CellRange& o) const {
        return o.firstRow >= firstRow && o.lastRow <= lastRow && o.firstCol >= firstCol &&
               o.lastCol <= lastCol;
    }
    bool intersects(const CellRange& o) const {
        return !(o.lastRow < firstRow || o.firstRow > lastRow || o.lastCol < firstCol ||
                 o.firstCol > lastCol);
    }
    bool operator==(const CellRange&) const = default;
};

/// One row: its cells from `firstCol` on, densely; height in points (0 = the sheet default).
struct Row {
    std::uint32_t firstCol = 0;
    std::vector<Cell> cells;
    double height = 0;
    bool customHeight = false;
    bool hidden = false;

    const Cell* cell(std::uint32_t col) const {
        return col >= firstCol && col - firstCol < cells.size() ? &cells[col - firstCol] : nullptr;
    }
};

/// Width in character widths as the file stores it (SpreadsheetML's `width`; 0 = the default).
struct ColumnInfo {
    double width = 0;
    bool customWidth = false;
    bool hidden = false;
    std::uint32_t style = 0;
    bool operator==(const ColumnInfo&) const = default;
};

/// The merged ranges of a sheet, found quickly by row. Merges taller than kTallRows rows are kept
/// apart, so that one merge down a whole column does not make every lookup scan that far.
class MergeList {
public:
    static constexpr std::uint32_t kTallRows = 256;

    void add(const CellRange& r);
    /// Every merge that intersects `area`.
    std::vector<CellRange> intersecting(const CellRange& area) const;
    /// Removes every merge lying wholly inside `area`; returns how many went.
    std::size_t removeInside(const CellRange& area);
    std::size_t size() const { return m_count; }
    /// All merges, ordered by first row, then first column.
    std::vector<CellRange> all() const;
    /// Calls f(range) for every merge in order of first rows, without copying them.
    template <class F>
    void forEach(F&& f) const {
        std::size_t tall = 0;
        for (std::size_t r = 0; r < m_byRow.size(); ++r) {
            for (; tall < m_tall.size() && m_tall[tall].firstRow <= r; ++tall) {
                f(m_tall[tall]);
            }
            for (const CellRange& m : m_byRow[r]) {
                f(m);
            }
        }
        for (; tall < m_tall.size(); ++tall) {
            f(m_tall[tall]);
        }
    }

private:
    // m_byRow[r] holds the merges of at most kTallRows rows whose first row is r; m_tall the
    // taller ones, ordered by first row.
    std::vector<std::vector<CellRange>> m_byRow;
    std::vector<CellRange> m_tall;
    std::uint32_t m_maxHeight = 0;
    std::size_t m_count = 0;
};

/// Spreadsheet applications keep at most this many manual row breaks on a sheet; a file holds no
/// more.
inline constexpr std::size_t kMaxManualRowBreaks = 1026;

/// Page margins in inches, as SpreadsheetML stores them; a spreadsheet application's "normal"
/// margins unless set.
struct PageMargins {
    double left = 0.7, right = 0.7, top = 0.75, bottom = 0.75, header = 0.3, footer = 0.3;
    bool operator==(const PageMargins&) const = default;
};

/// How a sheet goes onto paper, as the page set-up of a sheet in a file holds it. The print layer
/// fills it for a result before it is saved (print::setUpPages); the .xlsx writer writes it as it
/// is. Rows and columns count from 0.
struct PageSetup {
    /// SpreadsheetML's paper size code: 9 is A4.
    std::uint32_t paperSize = 9;
    bool landscape = false;
    /// Print scale in percent (10 .. 400).
    int scale = 100;
    PageMargins margins;
    /// Centred across the paper between the left and right margins.
    bool centredHorizontally = false;
    /// The cells that print, when not all of them do.
    std::optional<CellRange> printArea;
    /// The rows before which a manual page break goes, in ascending order: all of them (Quenly's
    /// PDF prints every page at its break), of which a file keeps the first kMaxManualRowBreaks.
    std::vector<std::uint32_t> rowBreaks;
    bool operator==(const PageSetup&) const = default;
};

class Worksheet {
public:
    explicit Worksheet(std::string name)
        : m_name(std::move(name)) {}

    const std::string& name() const { return m_name; }
    void setName(std::string name) { m_name = std::move(name); }

    /// Rows 0 .. rowCount()-1 exist (possibly without cells); rows beyond are empty.
    std::uint32_t rowCount() const { return static_cast<std::uint32_t>(m_rows.size()); }
    const Row* row(std::uint32_t r) const { return r < m_rows.size() ? &m_rows[r] : nullptr; }
    /// The row, created (with the rows above it) when missing.
    Row& rowForWrite(std::uint32_t r);
    void reserveRows(std::uint32_t n) { m_rows.reserve(n); }

    /// The cell, or nullptr when it was never set.
    const Cell* cell(std::uint32_t r, std::uint32_t c) const;
    /// The cell, created empty when missing.
    Cell& cellForWrite(std::uint32_t r, std::uint32_t c);

    /// Column formats; columns never set have the default ColumnInfo.
    const ColumnInfo& column(std::uint32_t c) const;
    ColumnInfo& columnForWrite(std::uint32_t c);
    /// One past the last column that has a ColumnInfo set.
    std::uint32_t columnInfoCount() const { return static_cast<std::uint32_t>(m_columns.size()); }

    MergeList& merges() { return m_merges; }
    const MergeList& merges() const { return m_merges; }

    /// Default column width in character widths (SpreadsheetML's defaultColWidth, or the value
    /// derived from baseColWidth); default row height in points.
    double defaultColumnWidth = 8.43;
    double defaultRowHeight = 15;
    /// Set when the sheet gave a baseColWidth instead of a defaultColWidth.
    int baseColumnWidth = 0;
    /// How the sheet prints; a sheet without one prints as a spreadsheet application's defaults
    /// say.
    std::optional<PageSetup> pageSetup;

private:
    std::string m_name;
    std::vector<Row> m_rows;
    std::vector<ColumnInfo> m_columns;
    MergeList m_merges;
};

/// What the file readers read of a workbook.
struct ReadOptions {
    /// Read the cells of every sheet; otherwise only the first worksheet's cells are read and the
    /// other sheets are present with their names only.
    bool allSheets = false;
};

/// The pixel width of a digit of `font` at 96 dpi, as spreadsheet applications measure column
/// widths with it (7 for Calibri 11, 8 for a 12-point font).
double digitWidthPixels(const Font& font);

/// The default column width, in the units of column widths, of a sheet whose default is `base`
/// digits of the default font (SpreadsheetML's baseColWidth) with digits `digitPx` pixels wide:
/// the digits and 5 pixels of padding, as LibreOffice shows such a column (base 8 of Calibri 11
/// gives 8.71).
double columnWidthFromBase(int base, double digitPx);

/// The same for a BIFF sheet's DEFCOLWIDTH `base`, whose padding LibreOffice takes from the
/// height of the default font, `fontTwips` twentieths of a point (base 10 with a 12-point font
/// gives 10.91).
double columnWidthFromDefColWidth(int base, double fontTwips);

class Workbook {
public:
    Workbook() = default;
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    std::size_t sheetCount() const { return m_sheets.size(); }
    Worksheet& sheet(std::size_t i) { return *m_sheets.at(i); }
    const Worksheet& sheet(std::size_t i) const { return *m_sheets.at(i); }
    Worksheet& addSheet(std::string name);

    StyleTable styles;
    StringTable strings;
    bool date1904 = false;
    /// Index of the active sheet.
    std::size_t activeSheet = 0;
    /// Where the workbook was read from (empty for a new one); for messages.
    std::string sourceName;

private:
    std::vector<std::unique_ptr<Worksheet>> m_sheets;
};

} // namespace quenly::wb
