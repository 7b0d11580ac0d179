// The workbook globals of a BIFF stream: version, code page and password first, then fonts,
// formats, cell formats, the palette, the sheets and the shared strings.
#include "xls/xls_reader_impl.h"

#include "little_endian.h"
#include "text_util.h"
#include "xls/codepage.h"
#include "xls/xls_error.h"

#include <algorithm>

namespace quenly::wb::xls {

void XlsReader::scanGlobals() {
    // The BOF gives the BIFF version; CODEPAGE and FILEPASS must be known before any text.
    RecordCursor cursor(m_stream, m_file, m_streamName);
    Record r;
    if (!cursor.next(r)) {
        fail(m_file, inQuotes(m_streamName) + "流是空的");
    }
    if (r.id == rec::kBof2 || r.id == rec::kBof3 || r.id == rec::kBof4) {
        fail(m_file, "这是 Excel 2.x/3.0/4.0 的旧格式工作簿，无法读取；请用 WPS 表格或 LibreOffice "
                     "打开并另存为 .xlsx 后重试");
    }
    if (r.id != rec::kBof || r.data.size() < 4) {
        fail(m_file, inQuotes(m_streamName) + "流不是以 BOF 记录开始的，它不是 Excel 工作簿数据");
    }
    const std::uint16_t version = le16(r.data.data());
    const std::uint16_t type = le16(r.data.data() + 2);
    if (version == 0x0600) {
        m_biff = 8;
    } else if (version == 0x0500 || version == 0x0000) {
        m_biff = 5;
    } else {
        fail(m_file,
             inQuotes(m_streamName) + "流的 BOF 记录给出了未知的 BIFF 版本 " + hex4(version));
    }
    if (type != 0x0005) {
        fail(m_file, inQuotes(m_streamName) + "流的第一个 BOF 记录不是工作簿全局部分（类型 " +
                         hex4(type) + "）");
    }
    m_codepage = m_biff == 8 ? 1200 : 1252;
    bool haveCodepage = false;
    unsigned fontCodepage = 0;
    while (cursor.next(r)) {
        if (r.id == rec::kFilePass) {
            passwordProtected();
        }
        if (r.id == rec::kCodePage && r.data.size() >= 2) {
            m_codepage = le16(r.data.data());
            haveCodepage = true;
        }
        if (r.id == rec::kFont && r.data.size() >= 13 && fontCodepage == 0) {
            fontCodepage = charsetCodepage(r.data[12]);
        }
        if (r.id == rec::kEof) {
            break;
        }
    }
    if (!haveCodepage && fontCodepage != 0) {
        // Some exporters leave out CODEPAGE; the fonts' character set still says how the
        // bytes are meant (GB2312 fonts: code page 936).
        m_codepage = fontCodepage;
    }
    if (m_biff == 5) {
        try {
            m_strings.setCodepage(m_codepage);
        } catch (const WorkbookError& e) {
            fail(m_file, std::string("CODEPAGE 记录的") + e.what());
        }
    }
}

void XlsReader::readGlobals() {
    RecordCursor cursor(m_stream, m_file, m_streamName);
    Record r;
    cursor.next(r); // the BOF, checked already
    bool ended = false;
    while (cursor.next(r)) {
        if (r.id == rec::kEof) {
            ended = true;
            break;
        }
        if (r.id == rec::kSst) {
            readSst(r, cursor);
            continue;
        }
        try {
            readGlobalRecord(r);
        } catch (const ShortRecord&) {
            shortRecord(r);
        }
    }
    if (!ended) {
        fail(m_file,
             inQuotes(m_streamName) + "流的工作簿全局部分没有 EOF 记录就结束了，文件可能已被截断");
    }
}

void XlsReader::readSst(const Record& r, RecordCursor& cursor) {
    m_segs.clear();
    m_segs.push_back(r.data);
    cursor.takeContinues(m_segs);
    DataReader in(m_segs.data(), m_segs.size());
    std::uint32_t unique = 0;
    try {
        in.u32(); // total references
        unique = in.u32();
    } catch (const ShortRecord&) {
        shortRecord(r);
    }
    // Never trust the count for a reservation larger than the data could hold.
    std::size_t bytes = 0;
    for (const auto& s : m_segs) {
        bytes += s.size();
    }
    m_sst.reserve(std::min<std::size_t>(unique, bytes / 3));
    m_book->strings.reserve(std::min<std::size_t>(unique, bytes / 3));
    for (std::uint32_t i = 0; i < unique; ++i) {
        if (in.atEnd()) {
            break; // fewer strings than counted: a cell naming a missing one is reported
        }
        try {
            m_sst.push_back(m_book->strings.addRich(m_strings.richString(in, 2, false)));
        } catch (const ShortRecord&) {
            recordFault(r, "连同其后的 CONTINUE 记录在第 " + num(i + 1) +
                               " 个共享字符串中途结束，文件已损坏");
        }
    }
}

void XlsReader::readGlobalRecord(const Record& r) {
    std::span<const std::uint8_t> one[1] = {r.data};
    DataReader in(one, 1);
    const std::uint8_t* d = r.data.data();
    const std::size_t len = r.data.size();
    switch (r.id) {
    case rec::kDateMode:
        if (len < 2) {
            throw ShortRecord{};
        }
        m_book->date1904 = le16(d) != 0;
        break;
    case rec::kWindow1:
        if (len >= 12) {
            m_activeTab = le16(d + 10);
        }
        break;
    case rec::kFont:
        readFont(r, in);
        break;
    case rec::kFormat: {
        const std::uint16_t id = in.u16();
        std::string code =
            m_biff == 8 ? m_strings.unicodeString(in, 2) : m_strings.byteString(in, in.u8());
        m_styles.formats[id] = std::move(code);
        break;
    }
    case rec::kXf:
        if (m_biff == 8) {
            if (len < 20) {
                throw ShortRecord{};
            }
            m_styles.xfs.push_back(parseXf8(d));
        } else {
            if (len < 16) {
                throw ShortRecord{};
            }
            m_styles.xfs.push_back(parseXf5(d));
        }
        break;
    case rec::kPalette:
        readPalette(r, in);
        break;
    case rec::kBoundSheet: {
        SheetEntry e;
        e.pos = in.u32();
        in.u8(); // visibility
        e.type = in.u8();
        e.name = m_biff == 8 ? m_strings.unicodeString(in, 1) : m_strings.byteString(in, in.u8());
        m_sheets.push_back(std::move(e));
        break;
    }
    default:
        break;
    }
}

void XlsReader::readFont(const Record& r, DataReader& in) {
    const std::uint8_t* d = r.data.data();
    const std::size_t len = r.data.size();
    BiffFont f;
    if (len < 14) {
        throw ShortRecord{};
    }
    f.font.size = le16(d) / 20.0;
    const std::uint16_t opts = le16(d + 2);
    f.font.italic = (opts & 0x02) != 0;
    f.font.strike = (opts & 0x08) != 0;
    f.colorIndex = le16(d + 4);
    f.font.bold = le16(d + 6) >= 700;
    switch (le16(d + 8)) {
    case 1:
        f.font.vertAlign = "superscript";
        break;
    case 2:
        f.font.vertAlign = "subscript";
        break;
    default:
        break;
    }
    switch (d[10]) {
    case 0x01:
        f.font.underline = "single";
        break;
    case 0x02:
        f.font.underline = "double";
        break;
    case 0x21:
        f.font.underline = "singleAccounting";
        break;
    case 0x22:
        f.font.underline = "doubleAccounting";
        break;
    default:
        break;
    }
    f.font.family = d[11];
    f.font.charset = d[12];
    in.skip(14);
    if (m_biff == 8) {
        f.font.name = m_strings.unicodeString(in, 1);
    } else {
        f.font.name = m_strings.byteString(in, in.u8());
    }
    m_styles.fonts.push_back(std::move(f));
}

void XlsReader::readPalette(const Record& r, DataReader& in) {
    const std::uint8_t* d = r.data.data();
    const std::size_t len = r.data.size();
    const std::uint16_t count = in.u16();
    if (len < 2 + 4u * count) {
        throw ShortRecord{};
    }
    for (std::uint16_t i = 0; i < count && 8 + i < IndexedPalette::kSize; ++i) {
        const std::uint8_t* c = d + 2 + 4 * i;
        m_styles.palette.set(8 + i, 0xFF000000u | (static_cast<std::uint32_t>(c[0]) << 16) |
                                        (static_cast<std::uint32_t>(c[1]) << 8) | c[2]);
    }
}

void XlsReader::finishStyles() {
    CellFormat def;
    if (!m_styles.fonts.empty()) {
        def.font = m_styles.resolveFont(m_styles.fonts[0]);
    }
    // XF 15 is the format of cells that name none; the default font is font 0 whatever it says.
    if (m_styles.xfs.size() > 15 && !m_styles.xfs[15].isStyle) {
        const Font font = def.font;
        def = m_styles.resolve(15);
        def.font = font;
    }
    m_book->styles.setDefault(def);
    m_xfStyle.resize(m_styles.xfs.size());
    for (std::size_t i = 0; i < m_styles.xfs.size(); ++i) {
        m_xfStyle[i] = m_book->styles.intern(m_styles.resolve(i));
    }
}

} // namespace quenly::wb::xls
