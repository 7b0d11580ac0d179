// Reading .xls workbooks: the workbook globals and the worksheet substreams of a BIFF5/BIFF8
// stream, into the in-memory workbook.
#include "xls_reader.h"

#include "biff_records.h"
#include "biff_styles.h"
#include "cfb.h"
#include "codepage.h"
#include "little_endian.h"
#include "text_util.h"
#include "xls_error.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>

namespace quenly::wb {

using namespace xls;

namespace {

// BIFF5 and BIFF8 sheets have 256 columns.
constexpr std::uint32_t kMaxXlsCols = 256;

/// Thrown when a record's data ends before its contents; turned into a message that names the
/// record by the code that knows it.
struct ShortRecord {};

/// The Windows code page of a font character set, or 0 for ANSI, default, symbol and unknown
/// sets.
unsigned charsetCodepage(std::uint8_t charset) {
    switch (charset) {
    case 128:
        return 932; // Shift-JIS
    case 129:
        return 949; // Hangul
    case 134:
        return 936; // GB2312
    case 136:
        return 950; // Big5
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    default:
        return 0;
    }
}

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

/// Reads the data of a record and of the CONTINUE records after it as one sequence of bytes.
/// Running out throws ShortRecord.
class DataReader {
public:
    DataReader(const std::span<const std::uint8_t>* segments, std::size_t count)
        : m_segs(segments)
        , m_count(count) {}

    std::size_t leftInSegment() const { return m_segs[m_seg].size() - m_pos; }
    bool atEnd() const {
        if (leftInSegment() > 0) {
            return false;
        }
        for (std::size_t s = m_seg + 1; s < m_count; ++s) {
            if (!m_segs[s].empty()) {
                return false;
            }
        }
        return true;
    }
    /// Moves to the start of the next segment; false when there is none.
    bool startNextSegment() {
        if (m_seg + 1 >= m_count) {
            return false;
        }
        ++m_seg;
        m_pos = 0;
        return true;
    }
    std::uint8_t u8() {
        while (leftInSegment() == 0) {
            if (!startNextSegment()) {
                throw ShortRecord{};
            }
        }
        return m_segs[m_seg][m_pos++];
    }
    std::uint16_t u16() {
        const std::uint8_t a = u8();
        return static_cast<std::uint16_t>(a | (u8() << 8));
    }
    std::uint32_t u32() {
        const std::uint32_t a = u16();
        return a | (static_cast<std::uint32_t>(u16()) << 16);
    }
    void skip(std::size_t n) {
        while (n > 0) {
            while (leftInSegment() == 0) {
                if (!startNextSegment()) {
                    throw ShortRecord{};
                }
            }
            const std::size_t k = std::min(n, leftInSegment());
            m_pos += k;
            n -= k;
        }
    }
    /// `n` bytes of the current segment, without crossing into the next.
    const std::uint8_t* take(std::size_t n) {
        if (leftInSegment() < n) {
            throw ShortRecord{};
        }
        const std::uint8_t* p = m_segs[m_seg].data() + m_pos;
        m_pos += n;
        return p;
    }

private:
    const std::span<const std::uint8_t>* m_segs;
    std::size_t m_count;
    std::size_t m_seg = 0;
    std::size_t m_pos = 0;
};

/// A font run of rich text: from character (or byte) `pos` on, font `font`.
struct RunMark {
    std::uint32_t pos;
    std::uint16_t font;
};

/// Joins pieces of text into a SharedString, one run per piece.
class RichBuilder {
public:
    void piece(std::string text, const Font* font) {
        if (text.empty()) {
            return;
        }
        m_s.text += text;
        RichRun run;
        run.text = std::move(text);
        if (font) {
            run.hasFont = true;
            run.font = *font;
            m_anyFont = true;
        }
        m_s.runs.push_back(std::move(run));
    }
    SharedString finish() {
        if (!m_anyFont) {
            m_s.runs.clear();
        }
        return std::move(m_s);
    }

private:
    SharedString m_s;
    bool m_anyFont = false;
};

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

    std::vector<std::uint8_t> readFile();
    void openStream(const CompoundFile& cfb);
    [[noreturn]] void passwordProtected() const;
    [[noreturn]] void recordFault(const Record& r, std::string_view fault) const;
    [[noreturn]] void shortRecord(const Record& r) const;
    void scanGlobals();
    void readGlobals();
    void readGlobalRecord(const Record& r);
    void finishStyles();
    void readSheet(Worksheet& sheet, const SheetEntry& entry);
    void readSheetRecord(Worksheet& sheet, const Record& r, RecordCursor& cursor);

    std::string byteString(DataReader& in, std::size_t len);
    std::string unicodeString(DataReader& in, std::size_t lenBytes);
    SharedString richString(DataReader& in, std::size_t lenBytes, bool runsAfter);
    SharedString fromUnits(const std::vector<RunMark>& runs);
    SharedString fromBytes(const std::uint8_t* p, std::size_t n, std::vector<RunMark> runs);
    void readSst(const Record& r, RecordCursor& cursor);
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
    std::unique_ptr<CodepageDecoder> m_decoder;
    BiffStyles m_styles;
    std::vector<std::uint32_t> m_xfStyle;
    mutable std::uint16_t m_missingXf = 0; // the XF that style() last found missing
    std::vector<std::uint32_t> m_sst;
    std::vector<SheetEntry> m_sheets;
    std::uint16_t m_activeTab = 0;
    std::unique_ptr<Workbook> m_book;
    const std::string* m_sheetName = nullptr; // the sheet being read, for messages
    std::vector<std::span<const std::uint8_t>> m_segs;
    std::vector<std::uint8_t> m_units; // UTF-16LE code units of the string being read
    // A FORMULA whose text result follows in a STRING record.
    struct PendingText {
        std::uint16_t row, col, xf;
    };
    std::optional<PendingText> m_pending;
    bool m_standardWidth = false;    // the sheet being read gave a STANDARDWIDTH
    bool m_defaultRowHeight = false; // the sheet being read gave a DEFAULTROWHEIGHT
};

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
    throw WorkbookError("工作簿" + inQuotes(m_file) +
                        "设有打开密码（已加密），无法读取。请在 Excel 中输入密码打开它，"
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
    std::string msg;
    if (m_sheetName) {
        msg = "工作表" + inQuotes(*m_sheetName) + "中，";
    }
    std::string name(recordName(r.id));
    msg += inQuotes(m_streamName) + "流偏移 " + num(r.offset) + " 处的 " +
           (name.empty() ? std::string("类型 ") + hex4(r.id) + " 的记录"
                         : name + " 记录（" + hex4(r.id) + "）");
    msg += fault;
    fail(m_file, msg);
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

void XlsReader::scanGlobals() {
    // The BOF gives the BIFF version; CODEPAGE and FILEPASS must be known before any text.
    RecordCursor cursor(m_stream, m_file, m_streamName);
    Record r;
    if (!cursor.next(r)) {
        fail(m_file, inQuotes(m_streamName) + "流是空的");
    }
    if (r.id == rec::kBof2 || r.id == rec::kBof3 || r.id == rec::kBof4) {
        fail(m_file,
             "这是 Excel 2.x/3.0/4.0 的旧格式工作簿，无法读取；请在 Excel 中另存为 .xlsx 后重试");
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
            m_decoder = std::make_unique<CodepageDecoder>(m_codepage);
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

std::string XlsReader::byteString(DataReader& in, std::size_t len) {
    std::string out;
    std::size_t left = len;
    while (left > 0) {
        while (in.leftInSegment() == 0) {
            if (!in.startNextSegment()) {
                throw ShortRecord{};
            }
        }
        const std::size_t k = std::min(left, in.leftInSegment());
        const std::uint8_t* p = in.take(k);
        if (m_decoder) {
            m_decoder->append(out, p, k);
        } else {
            appendLatin1(out, p, k);
        }
        left -= k;
    }
    return out;
}

SharedString XlsReader::richString(DataReader& in, std::size_t lenBytes, bool runsAfter) {
    // XLUnicodeString and its rich, extended form: count, flags, [runs], [ext size], characters
    // (each CONTINUE starting with a new flags byte), runs, ext data.
    const std::size_t count = lenBytes == 1 ? in.u8() : in.u16();
    const std::uint8_t flags = in.u8();
    bool wide = (flags & 0x01) != 0;
    std::size_t runCount = (flags & 0x08) ? in.u16() : 0;
    const std::uint32_t extSize = (flags & 0x04) ? in.u32() : 0;
    m_units.clear();
    m_units.reserve(count * 2);
    std::size_t left = count;
    while (left > 0) {
        if (in.leftInSegment() == 0) {
            if (!in.startNextSegment()) {
                throw ShortRecord{};
            }
            wide = (in.u8() & 0x01) != 0;
            continue;
        }
        const std::size_t avail = in.leftInSegment() / (wide ? 2 : 1);
        if (avail == 0) {
            throw ShortRecord{}; // half a character before the boundary
        }
        const std::size_t k = std::min(left, avail);
        const std::uint8_t* p = in.take(k * (wide ? 2 : 1));
        if (wide) {
            m_units.insert(m_units.end(), p, p + 2 * k);
        } else {
            for (std::size_t i = 0; i < k; ++i) {
                m_units.push_back(p[i]);
                m_units.push_back(0);
            }
        }
        left -= k;
    }
    if (runsAfter) {
        runCount = in.u16();
    }
    std::vector<RunMark> runs;
    runs.reserve(runCount);
    for (std::size_t i = 0; i < runCount; ++i) {
        const std::uint16_t pos = in.u16();
        const std::uint16_t font = in.u16();
        runs.push_back({pos, font});
    }
    if (extSize > 0) {
        in.skip(extSize);
    }
    return fromUnits(runs);
}

std::string XlsReader::unicodeString(DataReader& in, std::size_t lenBytes) {
    SharedString s = richString(in, lenBytes, false);
    return std::move(s.text);
}

SharedString XlsReader::fromUnits(const std::vector<RunMark>& runs) {
    const std::size_t n = m_units.size() / 2;
    if (runs.empty()) {
        SharedString s;
        appendUtf16le(s.text, m_units.data(), n);
        return s;
    }
    auto unitAt = [&](std::size_t i) { return le16(m_units.data() + 2 * i); };
    // Keeps a boundary off the second half of a surrogate pair.
    auto snap = [&](std::size_t pos) {
        if (pos > 0 && pos < n && unitAt(pos) >= 0xDC00 && unitAt(pos) <= 0xDFFF &&
            unitAt(pos - 1) >= 0xD800 && unitAt(pos - 1) <= 0xDBFF) {
            return pos + 1;
        }
        return std::min(pos, n);
    };
    RichBuilder b;
    std::size_t from = 0;
    const Font* font = nullptr;
    Font current;
    for (const RunMark& m : runs) {
        const std::size_t to = snap(m.pos);
        if (to < from) {
            continue; // out of order: the earlier run goes on
        }
        std::string text;
        appendUtf16le(text, m_units.data() + 2 * from, to - from);
        b.piece(std::move(text), font);
        from = to;
        if (const BiffFont* bf = m_styles.fontAt(m.font)) {
            current = m_styles.resolveFont(*bf);
            font = &current;
        } else {
            font = nullptr;
        }
    }
    std::string text;
    appendUtf16le(text, m_units.data() + 2 * from, n - from);
    b.piece(std::move(text), font);
    return b.finish();
}

SharedString XlsReader::fromBytes(const std::uint8_t* p, std::size_t n, std::vector<RunMark> runs) {
    auto decode = [&](const std::uint8_t* q, std::size_t k) {
        std::string out;
        if (m_decoder) {
            m_decoder->append(out, q, k);
        } else {
            appendLatin1(out, q, k);
        }
        return out;
    };
    const std::string whole = decode(p, n);
    // Byte positions of each character's start in `whole`, for runs that count characters.
    std::vector<std::size_t> charStarts;
    for (std::size_t i = 0; i < whole.size(); ++i) {
        if ((static_cast<unsigned char>(whole[i]) & 0xC0) != 0x80) {
            charStarts.push_back(i);
        }
    }
    charStarts.push_back(whole.size());
    // The runs count bytes; where a run would split a double-byte character, they count
    // characters instead.
    for (bool byBytes : {true, false}) {
        RichBuilder b;
        std::size_t from = 0;
        const Font* font = nullptr;
        Font current;
        auto piece = [&](std::size_t a, std::size_t z) {
            return byBytes ? decode(p + a, z - a)
                           : whole.substr(charStarts[a], charStarts[z] - charStarts[a]);
        };
        const std::size_t limit = byBytes ? n : charStarts.size() - 1;
        for (const RunMark& m : runs) {
            const std::size_t to = std::min<std::size_t>(m.pos, limit);
            if (to < from) {
                continue;
            }
            b.piece(piece(from, to), font);
            from = to;
            if (const BiffFont* bf = m_styles.fontAt(m.font)) {
                current = m_styles.resolveFont(*bf);
                font = &current;
            } else {
                font = nullptr;
            }
        }
        b.piece(piece(from, limit), font);
        SharedString s = b.finish();
        if (s.text == whole) {
            return s;
        }
    }
    SharedString plain;
    plain.text = whole;
    return plain;
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
            m_sst.push_back(m_book->strings.addRich(richString(in, 2, false)));
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
    case rec::kFont: {
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
            f.font.name = unicodeString(in, 1);
        } else {
            f.font.name = byteString(in, in.u8());
        }
        m_styles.fonts.push_back(std::move(f));
        break;
    }
    case rec::kFormat: {
        const std::uint16_t id = in.u16();
        std::string code = m_biff == 8 ? unicodeString(in, 2) : byteString(in, in.u8());
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
    case rec::kPalette: {
        const std::uint16_t count = in.u16();
        if (len < 2 + 4u * count) {
            throw ShortRecord{};
        }
        for (std::uint16_t i = 0; i < count && 8 + i < IndexedPalette::kSize; ++i) {
            const std::uint8_t* c = d + 2 + 4 * i;
            m_styles.palette.set(8 + i, 0xFF000000u | (static_cast<std::uint32_t>(c[0]) << 16) |
                                            (static_cast<std::uint32_t>(c[1]) << 8) | c[2]);
        }
        break;
    }
    case rec::kBoundSheet: {
        SheetEntry e;
        e.pos = in.u32();
        in.u8(); // visibility
        e.type = in.u8();
        e.name = m_biff == 8 ? unicodeString(in, 1) : byteString(in, in.u8());
        m_sheets.push_back(std::move(e));
        break;
    }
    default:
        break;
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
    if (m_defaultRowHeight) {
        // A row whose height was never set by hand and equals the sheet's default has the
        // default height, as SpreadsheetML leaves out its height.
        for (std::uint32_t i = 0; i < sheet.rowCount(); ++i) {
            Row& row = sheet.rowForWrite(i);
            if (!row.customHeight && row.height == sheet.defaultRowHeight) {
                row.height = 0;
            }
        }
    }
    if (!ended) {
        fail(m_file, "工作表" + inQuotes(entry.name) + "的记录没有 EOF 记录就到了" +
                         inQuotes(m_streamName) + "流的末尾，文件可能已被截断");
    }
    m_sheetName = nullptr;
}

void XlsReader::readSheetRecord(Worksheet& sheet, const Record& r, RecordCursor& cursor) {
    const std::uint8_t* d = r.data.data();
    const std::size_t len = r.data.size();
    auto need = [&](std::size_t n) {
        if (len < n) {
            throw ShortRecord{};
        }
    };
    if (m_pending && r.id != rec::kString && r.id != rec::kSharedFormula && r.id != rec::kArray &&
        r.id != rec::kTable) {
        m_pending.reset(); // no STRING came: the formula's text stays empty
    }
    switch (r.id) {
    case rec::kNumber:
        need(14);
        put(sheet, r, le16(d), le16(d + 2), Cell::makeNumber(leDouble(d + 6), style(le16(d + 4))));
        break;
    case rec::kRk:
        need(10);
        put(sheet, r, le16(d), le16(d + 2),
            Cell::makeNumber(decodeRk(le32(d + 6)), style(le16(d + 4))));
        break;
    case rec::kMulRk: {
        need(6);
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
        break;
    }
    case rec::kBlank: {
        need(6);
        Cell c;
        c.style = style(le16(d + 4));
        put(sheet, r, le16(d), le16(d + 2), c);
        break;
    }
    case rec::kMulBlank: {
        need(6);
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
        break;
    }
    case rec::kBoolErr:
        need(8);
        if (d[7]) {
            put(sheet, r, le16(d), le16(d + 2), Cell::makeError(d[6], style(le16(d + 4))));
        } else {
            put(sheet, r, le16(d), le16(d + 2), Cell::makeBool(d[6] != 0, style(le16(d + 4))));
        }
        break;
    case rec::kLabelSst: {
        need(10);
        const std::uint32_t index = le32(d + 6);
        if (index >= m_sst.size()) {
            recordFault(r, "引用了第 " + num(index) + " 个共享字符串，但共享字符串表只有 " +
                               num(m_sst.size()) + " 个，文件已损坏");
        }
        put(sheet, r, le16(d), le16(d + 2), Cell::makeText(m_sst[index], style(le16(d + 4))));
        break;
    }
    case rec::kLabel:
    case rec::kRString: {
        need(8);
        m_segs.clear();
        m_segs.push_back(r.data.subspan(6));
        cursor.takeContinues(m_segs);
        DataReader in(m_segs.data(), m_segs.size());
        SharedString s;
        if (m_biff == 8) {
            s = richString(in, 2, r.id == rec::kRString);
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
            s = fromBytes(bytes.data(), bytes.size(), std::move(runs));
        }
        put(sheet, r, le16(d), le16(d + 2),
            Cell::makeText(m_book->strings.addRich(std::move(s)), style(le16(d + 4))));
        break;
    }
    case rec::kFormula: {
        need(20);
        const std::uint16_t row = le16(d);
        const std::uint16_t col = le16(d + 2);
        const std::uint16_t xf = le16(d + 4);
        const std::uint8_t* v = d + 6;
        if (le16(v + 6) != 0xFFFF) {
            put(sheet, r, row, col, Cell::makeNumber(leDouble(v), style(xf)));
            break;
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
        break;
    }
    case rec::kString: {
        m_segs.clear();
        m_segs.push_back(r.data);
        cursor.takeContinues(m_segs);
        DataReader in(m_segs.data(), m_segs.size());
        std::string text = m_biff == 8 ? unicodeString(in, 2) : byteString(in, in.u16());
        if (m_pending) {
            put(sheet, r, m_pending->row, m_pending->col,
                Cell::makeText(m_book->strings.intern(text), style(m_pending->xf)));
            m_pending.reset();
        }
        break;
    }
    case rec::kRow: {
        need(16);
        Row& row = sheet.rowForWrite(le16(d));
        const std::uint16_t height = le16(d + 6) & 0x7FFF;
        const std::uint32_t flags = le32(d + 12);
        row.height = height / 20.0;
        row.hidden = (flags & 0x20) != 0;
        row.customHeight = (flags & 0x40) != 0;
        break;
    }
    case rec::kDefaultRowHeight:
        need(4);
        if (le16(d + 2) > 0) {
            sheet.defaultRowHeight = le16(d + 2) / 20.0;
            m_defaultRowHeight = true;
        }
        break;
    case rec::kDefColWidth:
        need(2);
        if (!m_standardWidth) {
            sheet.baseColumnWidth = le16(d);
            sheet.defaultColumnWidth = columnWidthFromBase(le16(d));
        }
        break;
    case rec::kStandardWidth:
        need(2);
        sheet.defaultColumnWidth = le16(d) / 256.0;
        sheet.baseColumnWidth = 0;
        m_standardWidth = true;
        break;
    case rec::kColInfo: {
        need(10);
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
        break;
    }
    case rec::kMergedCells: {
        need(2);
        const std::uint16_t count = le16(d);
        if (len < 2 + 8u * count) {
            throw ShortRecord{};
        }
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::uint8_t* p = d + 2 + 8 * i;
            CellRange m{le16(p), le16(p + 4), le16(p + 2), le16(p + 6)};
            if (m.firstRow > m.lastRow || m.firstCol > m.lastCol ||
                (m.firstRow == m.lastRow && m.firstCol == m.lastCol)) {
                continue; // an inverted or single-cell merge means nothing
            }
            sheet.merges().add(m);
        }
        break;
    }
    default:
        break;
    }
}

} // namespace

std::unique_ptr<Workbook> readXls(const std::filesystem::path& file, const ReadOptions& options) {
    return XlsReader(file, options).run();
}

std::unique_ptr<Workbook> readXlsMemory(const std::uint8_t* data, std::size_t size,
                                        const std::string& name, const ReadOptions& options) {
    return XlsReader(std::vector<std::uint8_t>(data, data + size), name, options).run();
}

} // namespace quenly::wb
