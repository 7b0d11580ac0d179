// The records of a worksheet substream: cells of every kind, rows, columns, merges and the
// sheet's default sizes, into the in-memory sheet.
#include "xls/xls_reader_impl.h"

#include "little_endian.h"
#include "text_util.h"
#include "xls/xls_error.h"

#include <algorithm>
#include <cstring>

namespace quenly::wb::xls {

namespace {

// BIFF5 and BIFF8 sheets have 256 columns.
constexpr std::uint32_t kMaxXlsCols = 256;

double decodeRk(std::uint32_t rk) {
    double v;
    if (rk & 0x02) {
        v = static_cast<double>(static_cast<std::int32_t>(rk) >> 2);
    } else {
        const std::uint64_t bits = static_cast<std::uint64_t>(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&v, &bits, sizeof v);
    }
    return (rk & 0x01) ? v / 100.0 : v;
}

// Throws ShortRecord when the record's data is shorter than `n` bytes.
void need(const Record& r, std::size_t n) {
    if (r.data.size() < n) {
        throw ShortRecord{};
    }
}

} // namespace

void XlsReader::missingStyle(const Record& r) const {
    recordFault(r, "引用的单元格格式（XF）" + num(m_missingXf) + " 不存在（文件只有 " +
                       num(m_xfStyle.size()) + " 个），文件已损坏");
}

void XlsReader::put(Worksheet& sheet, const Record& r, std::uint16_t row, std::uint16_t col,
                    const Cell& c) {
    // The format has 256 columns (A to IV); rows are 16-bit numbers, so never past 65536.
    if (col >= kMaxXlsCols) {
        recordFault(r, "给出的单元格（第 " + num(row + 1u) + " 行第 " + num(col + 1u) +
                           " 列）超出了 .xls 格式的范围（最多 256 列，即到 IV 列），文件已损坏");
    }
    if (c.style == kMissingStyle) {
        missingStyle(r);
    }
    sheet.cellForWrite(row, col) = c;
}

void XlsReader::readSheet(Worksheet& sheet, const SheetEntry& entry) {
    m_sheetName = &entry.name;
    m_pending.reset();
    m_standardWidth = false;
    m_defaultRowHeight = false;
    if (entry.pos >= m_stream.size()) {
        fail(m_file, "BOUNDSHEET 记录给出的工作表" + inQuotes(entry.name) + "位置 " +
                         num(entry.pos) + " 超出了" + inQuotes(m_streamName) + "流的范围（" +
                         num(m_stream.size()) + " 字节）");
    }
    RecordCursor cursor(m_stream, m_file, m_streamName, entry.pos);
    Record r;
    cursor.next(r);
    if (r.id != rec::kBof || r.data.size() < 4) {
        fail(m_file, "BOUNDSHEET 记录给出的工作表" + inQuotes(entry.name) + "位置 " +
                         num(entry.pos) + " 处不是 BOF 记录，文件已损坏");
    }
    if (le16(r.data.data() + 2) != 0x0010) {
        m_sheetName = nullptr;
        return; // a dialog, chart or macro sheet listed as a worksheet holds no cells for us
    }
    int depth = 0;
    bool ended = false;
    while (cursor.next(r)) {
        if (r.id == rec::kBof) {
            ++depth; // an embedded chart's substream
            continue;
        }
        if (r.id == rec::kEof) {
            if (depth == 0) {
                ended = true;
                break;
            }
            --depth;
            continue;
        }
        if (depth > 0) {
            continue;
        }
        try {
            readSheetRecord(sheet, r, cursor);
        } catch (const ShortRecord&) {
            shortRecord(r);
        }
    }
    finishSheet(sheet);
    if (!ended) {
        fail(m_file, "工作表" + inQuotes(entry.name) + "的记录没有 EOF 记录就到了" +
                         inQuotes(m_streamName) + "流的末尾，文件可能已被截断");
    }
    m_sheetName = nullptr;
}

void XlsReader::readSheetRecord(Worksheet& sheet, const Record& r, RecordCursor& cursor) {
    const std::uint8_t* d = r.data.data();
    if (m_pending && r.id != rec::kString && r.id != rec::kSharedFormula && r.id != rec::kArray &&
        r.id != rec::kTable) {
        m_pending.reset(); // no STRING came: the formula's text stays empty
    }
    switch (r.id) {
    case rec::kNumber:
        need(r, 14);
        put(sheet, r, le16(d), le16(d + 2), Cell::makeNumber(leDouble(d + 6), style(le16(d + 4))));
        break;
    case rec::kRk:
        need(r, 10);
        put(sheet, r, le16(d), le16(d + 2),
            Cell::makeNumber(decodeRk(le32(d + 6)), style(le16(d + 4))));
        break;
    case rec::kMulRk:
        readMulRk(sheet, r);
        break;
    case rec::kBlank: {
        need(r, 6);
        Cell c;
        c.style = style(le16(d + 4));
        put(sheet, r, le16(d), le16(d + 2), c);
        break;
    }
    case rec::kMulBlank:
        readMulBlank(sheet, r);
        break;
    case rec::kBoolErr:
        need(r, 8);
        put(sheet, r, le16(d), le16(d + 2),
            d[7] ? Cell::makeError(d[6], style(le16(d + 4)))
                 : Cell::makeBool(d[6] != 0, style(le16(d + 4))));
        break;
    case rec::kLabelSst:
        readLabelSst(sheet, r);
        break;
    case rec::kLabel:
    case rec::kRString:
        readLabel(sheet, r, cursor);
        break;
    case rec::kFormula:
        readFormula(sheet, r);
        break;
    case rec::kString:
        readFormulaString(sheet, r, cursor);
        break;
    case rec::kRow:
        readRow(sheet, r);
        break;
    case rec::kColInfo:
        readColumnInfo(sheet, r);
        break;
    case rec::kMergedCells:
        readMerges(sheet, r);
        break;
    default:
        readSheetDefault(sheet, r);
        break;
    }
}

void XlsReader::readMulRk(Worksheet& sheet, const Record& r) {
    need(r, 6);
    const std::uint8_t* d = r.data.data();
    const std::size_t len = r.data.size();
    if ((len - 6) % 6 != 0) {
        recordFault(r, "的长度 " + num(len) + " 字节不是 6 的倍数加 6，文件已损坏");
    }
    const std::uint16_t row = le16(d);
    const std::uint16_t first = le16(d + 2);
    const std::size_t n = (len - 6) / 6;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = d + 4 + 6 * i;
        put(sheet, r, row, static_cast<std::uint16_t>(first + i),
            Cell::makeNumber(decodeRk(le32(p + 2)), style(le16(p))));
    }
}

void XlsReader::readMulBlank(Worksheet& sheet, const Record& r) {
    need(r, 6);
    const std::uint8_t* d = r.data.data();
    const std::size_t len = r.data.size();
    if ((len - 6) % 2 != 0) {
        recordFault(r, "的长度 " + num(len) + " 字节不是偶数，文件已损坏");
    }
    const std::uint16_t row = le16(d);
    const std::uint16_t first = le16(d + 2);
    const std::size_t n = (len - 6) / 2;
    for (std::size_t i = 0; i < n; ++i) {
        Cell c;
        c.style = style(le16(d + 4 + 2 * i));
        put(sheet, r, row, static_cast<std::uint16_t>(first + i), c);
    }
}

void XlsReader::readLabelSst(Worksheet& sheet, const Record& r) {
    need(r, 10);
    const std::uint8_t* d = r.data.data();
    const std::uint32_t index = le32(d + 6);
    if (index >= m_sst.size()) {
        recordFault(r, "引用了第 " + num(index) + " 个共享字符串，但共享字符串表只有 " +
                           num(m_sst.size()) + " 个，文件已损坏");
    }
    put(sheet, r, le16(d), le16(d + 2), Cell::makeText(m_sst[index], style(le16(d + 4))));
}

// LABEL and RSTRING: a cell's text in the record, rich in RSTRING.
void XlsReader::readLabel(Worksheet& sheet, const Record& r, RecordCursor& cursor) {
    need(r, 8);
    const std::uint8_t* d = r.data.data();
    m_segs.clear();
    m_segs.push_back(r.data.subspan(6));
    cursor.takeContinues(m_segs);
    DataReader in(m_segs.data(), m_segs.size());
    SharedString s;
    if (m_biff == 8) {
        s = m_strings.richString(in, 2, r.id == rec::kRString);
    } else {
        const std::uint16_t n = in.u16();
        std::vector<std::uint8_t> bytes(n);
        for (auto& b : bytes) {
            b = in.u8();
        }
        std::vector<RunMark> runs;
        if (r.id == rec::kRString) {
            const std::uint8_t count = in.u8();
            for (std::uint8_t i = 0; i < count; ++i) {
                const std::uint8_t pos = in.u8();
                const std::uint8_t font = in.u8();
                runs.push_back({pos, font});
            }
        }
        s = m_strings.fromBytes(bytes.data(), bytes.size(), std::move(runs));
    }
    put(sheet, r, le16(d), le16(d + 2),
        Cell::makeText(m_book->strings.addRich(std::move(s)), style(le16(d + 4))));
}

// A formula's cell holds its last result; a text result follows in a STRING record.
void XlsReader::readFormula(Worksheet& sheet, const Record& r) {
    need(r, 20);
    const std::uint8_t* d = r.data.data();
    const std::uint16_t row = le16(d);
    const std::uint16_t col = le16(d + 2);
    const std::uint16_t xf = le16(d + 4);
    const std::uint8_t* v = d + 6;
    if (le16(v + 6) != 0xFFFF) {
        put(sheet, r, row, col, Cell::makeNumber(leDouble(v), style(xf)));
        return;
    }
    switch (v[0]) {
    case 0: // text, in the STRING record that follows
        put(sheet, r, row, col, Cell::makeText(m_book->strings.intern(""), style(xf)));
        m_pending = PendingText{row, col, xf};
        break;
    case 1:
        put(sheet, r, row, col, Cell::makeBool(v[2] != 0, style(xf)));
        break;
    case 2:
        put(sheet, r, row, col, Cell::makeError(v[2], style(xf)));
        break;
    default: // 3: the empty text
        put(sheet, r, row, col, Cell::makeText(m_book->strings.intern(""), style(xf)));
        break;
    }
}

void XlsReader::readFormulaString(Worksheet& sheet, const Record& r, RecordCursor& cursor) {
    m_segs.clear();
    m_segs.push_back(r.data);
    cursor.takeContinues(m_segs);
    DataReader in(m_segs.data(), m_segs.size());
    std::string text =
        m_biff == 8 ? m_strings.unicodeString(in, 2) : m_strings.byteString(in, in.u16());
    if (m_pending) {
        put(sheet, r, m_pending->row, m_pending->col,
            Cell::makeText(m_book->strings.intern(text), style(m_pending->xf)));
        m_pending.reset();
    }
}

void XlsReader::readRow(Worksheet& sheet, const Record& r) {
    need(r, 16);
    const std::uint8_t* d = r.data.data();
    Row& row = sheet.rowForWrite(le16(d));
    const std::uint16_t raw = le16(d + 6);
    const std::uint16_t height = raw & 0x7FFF;
    const std::uint32_t flags = le32(d + 12);
    row.height = height / 20.0;
    // A row zero high (not one of the default height, bit 15) is hidden.
    row.hidden = (flags & 0x20) != 0 || (height == 0 && (raw & 0x8000) == 0);
    row.customHeight = (flags & 0x40) != 0;
}

void XlsReader::readColumnInfo(Worksheet& sheet, const Record& r) {
    need(r, 10);
    const std::uint8_t* d = r.data.data();
    const std::uint16_t first = le16(d);
    const std::uint16_t last = std::min<std::uint16_t>(le16(d + 2), 255);
    const double width = le16(d + 4) / 256.0;
    const std::uint32_t st = style(le16(d + 6));
    if (st == kMissingStyle) {
        missingStyle(r);
    }
    const std::uint16_t flags = le16(d + 8);
    for (std::uint32_t c = first; c <= last; ++c) {
        ColumnInfo& info = sheet.columnForWrite(c);
        info.width = width;
        info.customWidth = true;
        info.hidden = (flags & 0x01) != 0;
        info.style = st;
    }
}

void XlsReader::readMerges(Worksheet& sheet, const Record& r) {
    need(r, 2);
    const std::uint8_t* d = r.data.data();
    const std::uint16_t count = le16(d);
    need(r, 2 + 8u * count);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint8_t* p = d + 2 + 8 * i;
        CellRange m{le16(p), le16(p + 4), le16(p + 2), le16(p + 6)};
        if (m.firstRow > m.lastRow || m.firstCol > m.lastCol ||
            (m.firstRow == m.lastRow && m.firstCol == m.lastCol)) {
            continue; // an inverted or single-cell merge means nothing
        }
        sheet.merges().add(m);
    }
}

// The sheet's default row height and column width; other records are of no use here.
void XlsReader::readSheetDefault(Worksheet& sheet, const Record& r) {
    const std::uint8_t* d = r.data.data();
    switch (r.id) {
    case rec::kDefaultRowHeight:
        need(r, 4);
        if (le16(d + 2) > 0) {
            sheet.defaultRowHeight = le16(d + 2) / 20.0;
            m_defaultRowHeight = true;
        }
        break;
    case rec::kDefColWidth:
        need(r, 2);
        if (!m_standardWidth) {
            sheet.baseColumnWidth = le16(d);
            sheet.defaultColumnWidth =
                columnWidthFromDefColWidth(le16(d), m_book->styles.at(0).font.size * 20);
        }
        break;
    case rec::kStandardWidth:
        need(r, 2);
        sheet.defaultColumnWidth = le16(d) / 256.0;
        sheet.baseColumnWidth = 0;
        m_standardWidth = true;
        break;
    default:
        break;
    }
}

void XlsReader::finishSheet(Worksheet& sheet) {
    if (!m_defaultRowHeight) {
        return;
    }
    // A row whose height was never set by hand and equals the sheet's default has the default
    // height, as SpreadsheetML leaves out its height.
    for (std::uint32_t i = 0; i < sheet.rowCount(); ++i) {
        Row& row = sheet.rowForWrite(i);
        if (!row.customHeight && row.height == sheet.defaultRowHeight) {
            row.height = 0;
        }
    }
}

} // namespace quenly::wb::xls
