// Embedded fonts cut down to one page: the codes a page shows, read from its content, decide
// which glyphs and Unicode mappings its fonts keep. Built as C++17, as pdf_pages.cpp is.
#include "font_trim.h"

#include "delivery_error.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <zlib.h>

#include <algorithm>
#include <map>
#include <new>
#include <optional>
#include <vector>

namespace quenly::delivery {

namespace {

[[noreturn]] void badFont(const char* what) {
    throw DeliveryError(std::string("无法读取 PDF 中嵌入的字体（") + what + "）");
}

// Big-endian reads within `s`, refusing what lies outside it.
std::uint32_t readBE(std::string_view s, std::size_t at, std::size_t bytes) {
    if (at > s.size() || bytes > s.size() - at) {
        badFont("数据不完整");
    }
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < bytes; ++i) {
        v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    }
    return v;
}

// A CFF INDEX: where each item lies, and where the INDEX ends.
struct CffIndex {
    std::vector<std::size_t> starts; // count + 1 entries: item i is [starts[i], starts[i + 1])
    std::size_t end = 0;
};

CffIndex readIndex(std::string_view cff, std::size_t at) {
    CffIndex index;
    const std::uint32_t count = readBE(cff, at, 2);
    if (count == 0) {
        index.starts = {at + 2};
        index.end = at + 2;
        return index;
    }
    const std::uint32_t offSize = readBE(cff, at + 2, 1);
    if (offSize < 1 || offSize > 4) {
        badFont("CFF 索引");
    }
    const std::size_t offsets = at + 3;
    const std::size_t data = offsets + (std::size_t{count} + 1) * offSize - 1;
    for (std::uint32_t i = 0; i <= count; ++i) {
        index.starts.push_back(data + readBE(cff, offsets + i * offSize, offSize));
    }
    index.end = index.starts.back();
    for (std::size_t i = 1; i < index.starts.size(); ++i) {
        if (index.starts[i] < index.starts[i - 1] || index.starts[i] > cff.size()) {
            badFont("CFF 索引");
        }
    }
    return index;
}

// The operands of the operators of a Top DICT that are offsets: CharStrings (17), charset (15),
// and whether ROS (12 30) makes the font CID-keyed.
struct TopDict {
    std::optional<std::size_t> charStrings;
    std::size_t charset = 0;
    bool cid = false;
};

TopDict readTopDict(std::string_view cff, std::size_t from, std::size_t to) {
    TopDict dict;
    std::vector<double> operands;
    for (std::size_t i = from; i < to;) {
        const auto b0 = static_cast<unsigned char>(cff[i]);
        if (b0 <= 21) {
            const int op = b0 == 12 ? 1200 + static_cast<int>(readBE(cff, i + 1, 1)) : b0;
            i += b0 == 12 ? 2 : 1;
            if (op == 17 && !operands.empty()) {
                dict.charStrings = static_cast<std::size_t>(operands.back());
            } else if (op == 15 && !operands.empty()) {
                dict.charset = static_cast<std::size_t>(operands.back());
            } else if (op == 1230) {
                dict.cid = true;
            }
            operands.clear();
        } else if (b0 == 28) {
            operands.push_back(static_cast<std::int16_t>(readBE(cff, i + 1, 2)));
            i += 3;
        } else if (b0 == 29) {
            operands.push_back(static_cast<std::int32_t>(readBE(cff, i + 1, 4)));
            i += 5;
        } else if (b0 == 30) {
            // A real number: nibbles up to an end nibble (0xf). No offset is written so.
            for (++i; i < to; ++i) {
                const auto b = static_cast<unsigned char>(cff[i]);
                if ((b & 0x0F) == 0x0F || (b >> 4) == 0x0F) {
                    ++i;
                    break;
                }
            }
            operands.push_back(0);
        } else if (b0 >= 32 && b0 <= 246) {
            operands.push_back(b0 - 139);
            ++i;
        } else if (b0 >= 247 && b0 <= 250) {
            operands.push_back((b0 - 247) * 256 + readBE(cff, i + 1, 1) + 108);
            i += 2;
        } else if (b0 >= 251 && b0 <= 254) {
            operands.push_back(-(b0 - 251) * 256 - static_cast<double>(readBE(cff, i + 1, 1)) -
                               108);
            i += 2;
        } else {
            badFont("CFF 字典");
        }
    }
    return dict;
}

// The CID (or SID) of each glyph from the charset at `at`; glyph 0 is .notdef.
std::vector<std::uint32_t> readCharset(std::string_view cff, std::size_t at, std::size_t glyphs) {
    std::vector<std::uint32_t> ids(glyphs, 0);
    const std::uint32_t format = readBE(cff, at, 1);
    std::size_t pos = at + 1;
    std::size_t gid = 1;
    if (format == 0) {
        for (; gid < glyphs; ++gid, pos += 2) {
            ids[gid] = readBE(cff, pos, 2);
        }
    } else if (format == 1 || format == 2) {
        const std::size_t leftBytes = format == 1 ? 1 : 2;
        while (gid < glyphs) {
            const std::uint32_t first = readBE(cff, pos, 2);
            const std::uint32_t left = readBE(cff, pos + 2, leftBytes);
            pos += 2 + leftBytes;
            for (std::uint32_t k = 0; k <= left && gid < glyphs; ++k) {
                ids[gid++] = first + k;
            }
        }
    } else {
        badFont("CFF 字符集");
    }
    return ids;
}

struct Table {
    std::size_t offset = 0;
    std::size_t length = 0;
};

std::map<std::string, Table> tablesOf(std::string_view font) {
    std::map<std::string, Table> tables;
    const std::uint32_t count = readBE(font, 4, 2);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t record = 12 + std::size_t{i} * 16;
        readBE(font, record, 16);
        Table t{readBE(font, record + 8, 4), readBE(font, record + 12, 4)};
        if (t.offset > font.size() || t.length > font.size() - t.offset) {
            badFont("TrueType 表");
        }
        tables[std::string(font.substr(record, 4))] = t;
    }
    return tables;
}

// The glyphs a composite glyph at [from, to) of `glyf` is made of.
std::vector<std::uint32_t> componentsOf(std::string_view font, std::size_t from, std::size_t to) {
    std::vector<std::uint32_t> parts;
    if (to - from < 10 || static_cast<std::int16_t>(readBE(font, from, 2)) >= 0) {
        return parts;
    }
    for (std::size_t pos = from + 10; pos + 4 <= to;) {
        const std::uint32_t flags = readBE(font, pos, 2);
        parts.push_back(readBE(font, pos + 2, 2));
        pos += 4 + ((flags & 0x0001) ? 4 : 2);
        pos += (flags & 0x0008) ? 2 : (flags & 0x0040) ? 4 : (flags & 0x0080) ? 8 : 0;
        if (!(flags & 0x0020)) {
            break;
        }
    }
    return parts;
}

// Tokens of a CMap: hex strings, brackets and words, each with where it starts.
struct Token {
    std::string_view text;
    std::size_t at = 0;
};

std::vector<Token> tokensOf(std::string_view s) {
    std::vector<Token> out;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
            ++i;
        } else if (c == '<' && (i + 1 >= s.size() || s[i + 1] != '<')) {
            const std::size_t end = s.find('>', i);
            const std::size_t stop = end == std::string_view::npos ? s.size() : end + 1;
            out.push_back({s.substr(i, stop - i), i});
            i = stop;
        } else if (c == '[' || c == ']') {
            out.push_back({s.substr(i, 1), i});
            ++i;
        } else {
            std::size_t j = i;
            while (j < s.size() && s[j] != ' ' && s[j] != '\n' && s[j] != '\r' && s[j] != '\t' &&
                   s[j] != '[' && s[j] != ']' && !(s[j] == '<' && j > i)) {
                ++j;
            }
            out.push_back({s.substr(i, j - i), i});
            i = j;
        }
    }
    return out;
}

std::uint32_t hexValue(std::string_view token) {
    std::uint32_t v = 0;
    for (const char c : token) {
        const int d = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
        if (d >= 0) {
            v = (v << 4) | static_cast<std::uint32_t>(d);
        }
    }
    return v;
}

// `hex` (a "<...>" token) plus `add`, as many digits wide.
std::string hexPlus(std::string_view hex, std::uint32_t add) {
    const std::string_view digits = hex.substr(1, hex.size() - 2);
    std::string out(digits);
    std::uint32_t carry = add;
    for (std::size_t i = out.size(); i-- > 0 && carry > 0;) {
        const std::uint32_t d = hexValue(out.substr(i, 1)) + (carry & 15);
        carry = (carry >> 4) + (d >> 4);
        out[i] = "0123456789abcdef"[d & 15];
    }
    return "<" + out + ">";
}

// Reads the codes shown with each font: Tf selects the font by its resource name, Tj ' " and TJ
// show strings in it.
class ShownCodes final : public QPDFObjectHandle::ParserCallbacks {
public:
    explicit ShownCodes(QPDFObjectHandle resources)
        : m_fonts(resources.isDictionary() ? resources.getKey("/Font")
                                           : QPDFObjectHandle::newNull()) {}

    void handleObject(QPDFObjectHandle object) override {
        if (!object.isOperator()) {
            m_operands.push_back(object);
            return;
        }
        const std::string op = object.getOperatorValue();
        if (op == "Tf" && m_operands.size() >= 2 && m_operands[0].isName()) {
            m_font = m_fonts.isDictionary() ? m_fonts.getKey(m_operands[0].getName())
                                            : QPDFObjectHandle::newNull();
        } else if ((op == "Tj" || op == "'" || op == "\"") && !m_operands.empty()) {
            show(m_operands.back());
        } else if (op == "TJ" && !m_operands.empty() && m_operands.back().isArray()) {
            for (QPDFObjectHandle item : m_operands.back().aitems()) {
                show(item);
            }
        }
        m_operands.clear();
    }
    void handleEOF() override {}

    // Codes shown per font object.
    std::map<QPDFObjGen, std::set<std::uint32_t>> codes;

private:
    void show(QPDFObjectHandle text) {
        if (!text.isString() || !m_font.isDictionary() || !m_font.isIndirect()) {
            return;
        }
        const std::string bytes = text.getStringValue();
        const bool twoBytes = m_font.getKey("/Subtype").isNameAndEquals("/Type0");
        std::set<std::uint32_t>& shown = codes[m_font.getObjGen()];
        for (std::size_t i = 0; i < bytes.size(); i += twoBytes ? 2 : 1) {
            shown.insert(twoBytes ? readBE(bytes, i, i + 1 < bytes.size() ? 2 : 1)
                                  : readBE(bytes, i, 1));
        }
    }

    QPDFObjectHandle m_fonts;
    QPDFObjectHandle m_font = QPDFObjectHandle::newNull();
    std::vector<QPDFObjectHandle> m_operands;
};

// The glyphs of a CID-keyed font that its codes select: CIDs for CFF, glyph indices for
// TrueType (through CIDToGIDMap).
std::set<std::uint32_t> trueTypeGlyphs(QPDFObjectHandle cidFont,
                                       const std::set<std::uint32_t>& cids) {
    QPDFObjectHandle map = cidFont.getKey("/CIDToGIDMap");
    if (!map.isStream()) {
        return cids; // Identity
    }
    const std::shared_ptr<Buffer> data = map.getStreamData();
    const std::string_view bytes(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
    std::set<std::uint32_t> glyphs;
    for (const std::uint32_t cid : cids) {
        if (std::size_t{cid} * 2 + 2 <= bytes.size()) {
            glyphs.insert(readBE(bytes, std::size_t{cid} * 2, 2));
        }
    }
    return glyphs;
}

// Raw deflate of `data` (no zlib header), ending with a full flush so that another stream may
// follow it, or with the final block when `last`.
std::string deflateSegment(std::string_view data, bool last) {
    z_stream z{};
    // The quickest level: font programs hardly compress better at higher ones (1 % here), and
    // every person's are compressed.
    if (deflateInit2(&z, Z_BEST_SPEED, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::bad_alloc();
    }
    std::string out(deflateBound(&z, static_cast<uLong>(data.size())) + 16, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int status = deflate(&z, last ? Z_FINISH : Z_FULL_FLUSH);
    out.resize(out.size() - z.avail_out);
    deflateEnd(&z);
    if (status != (last ? Z_STREAM_END : Z_OK)) {
        throw std::bad_alloc();
    }
    return out;
}

// A piece of a zlib stream made of segments: its deflated bytes, its Adler-32 and length.
struct Segment {
    std::string packed;
    uLong adler = 1;
    std::size_t size = 0;
};

Segment segmentOf(std::string_view data, bool last) {
    Segment s;
    s.packed = deflateSegment(data, last);
    s.adler =
        adler32(1, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size()));
    s.size = data.size();
    return s;
}

// A zlib stream of the segments in order (the last one made with `last`).
std::string zlibOf(const std::vector<const Segment*>& segments) {
    std::string out("\x78\x9c", 2);
    uLong adler = 1;
    for (const Segment* s : segments) {
        out += s->packed;
        adler = adler32_combine(adler, s->adler, static_cast<z_off_t>(s->size));
    }
    for (int shift = 24; shift >= 0; shift -= 8) {
        out += static_cast<char>((adler >> shift) & 0xFF);
    }
    return out;
}

void replaceData(QPDFObjectHandle stream, const std::string& packed) {
    stream.replaceStreamData(packed, QPDFObjectHandle::newName("/FlateDecode"),
                             QPDFObjectHandle::newNull());
}

std::string dataOf(QPDFObjectHandle stream) {
    const std::shared_ptr<Buffer> data = stream.getStreamData();
    return std::string(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
}

// Where the glyph programs of a CFF lie and which CID (or glyph index) each is.
struct CffGlyphs {
    std::vector<std::size_t> starts; // glyph g is [starts[g], starts[g + 1])
    std::vector<std::uint32_t> ids;
};

CffGlyphs cffGlyphsOf(std::string_view cff);

// A font program read once for all the pages of the document it came from: the bytes before
// and after its glyph programs are deflated once, a page's document deflates only its glyphs.
struct PreparedCff {
    std::string data;
    CffGlyphs glyphs;
    Segment before; // up to the first glyph program
    Segment after;  // from the end of the last one, the final segment
};

} // namespace

struct FontTrimmer::Impl {
    std::map<std::string, PreparedCff> cffs;

    const PreparedCff& prepared(const std::string& name, QPDFObjectHandle stream) {
        if (const auto it = cffs.find(name); it != cffs.end()) {
            return it->second;
        }
        PreparedCff p;
        p.data = dataOf(stream);
        p.glyphs = cffGlyphsOf(p.data);
        const std::string_view all = p.data;
        const std::size_t from = p.glyphs.starts.front();
        const std::size_t to = p.glyphs.starts.back();
        p.before = segmentOf(all.substr(0, from), false);
        p.after = segmentOf(all.substr(to), true);
        return cffs.emplace(name, std::move(p)).first->second;
    }

    void trimFont(QPDFObjectHandle font, const std::set<std::uint32_t>& codes) {
        if (QPDFObjectHandle toUnicode = font.getKey("/ToUnicode"); toUnicode.isStream()) {
            const Segment whole = segmentOf(trimToUnicode(dataOf(toUnicode), codes), true);
            replaceData(toUnicode, zlibOf({&whole}));
        }
        if (!font.getKey("/Subtype").isNameAndEquals("/Type0") ||
            !font.getKey("/Encoding").isNameAndEquals("/Identity-H")) {
            return;
        }
        QPDFObjectHandle descendants = font.getKey("/DescendantFonts");
        if (!descendants.isArray() || descendants.getArrayNItems() != 1) {
            return;
        }
        QPDFObjectHandle cidFont = descendants.getArrayItem(0);
        QPDFObjectHandle descriptor = cidFont.getKey("/FontDescriptor");
        if (!descriptor.isDictionary()) {
            return;
        }
        if (QPDFObjectHandle cff = descriptor.getKey("/FontFile3"); cff.isStream()) {
            // The subset's name and the program's length tell the fonts of one document apart.
            QPDFObjectHandle length = cff.getDict().getKey("/Length");
            const std::string name =
                (font.getKey("/BaseFont").isName() ? font.getKey("/BaseFont").getName() : "") +
                "/" + (length.isInteger() ? std::to_string(length.getIntValue()) : "");
            const PreparedCff& p = prepared(name, cff);
            const std::size_t from = p.glyphs.starts.front();
            std::string programs = p.data.substr(from, p.glyphs.starts.back() - from);
            for (std::size_t g = 1; g + 1 < p.glyphs.starts.size(); ++g) {
                if (!codes.count(p.glyphs.ids[g])) {
                    std::fill(programs.begin() +
                                  static_cast<std::ptrdiff_t>(p.glyphs.starts[g] - from),
                              programs.begin() +
                                  static_cast<std::ptrdiff_t>(p.glyphs.starts[g + 1] - from),
                              '\x0e');
                }
            }
            const Segment middle = segmentOf(programs, false);
            replaceData(cff, zlibOf({&p.before, &middle, &p.after}));
        } else if (QPDFObjectHandle ttf = descriptor.getKey("/FontFile2"); ttf.isStream()) {
            const Segment whole =
                segmentOf(blankTrueTypeGlyphs(dataOf(ttf), trueTypeGlyphs(cidFont, codes)), true);
            replaceData(ttf, zlibOf({&whole}));
        }
    }
};

namespace {

CffGlyphs cffGlyphsOf(std::string_view cff) {
    if (readBE(cff, 0, 1) != 1) {
        badFont("不是 CFF");
    }
    const CffIndex names = readIndex(cff, readBE(cff, 2, 1));
    const CffIndex tops = readIndex(cff, names.end);
    if (tops.starts.size() < 2) {
        badFont("CFF 缺少顶层字典");
    }
    const TopDict top = readTopDict(cff, tops.starts[0], tops.starts[1]);
    if (!top.charStrings) {
        badFont("CFF 缺少字形");
    }
    CffGlyphs glyphs;
    glyphs.starts = readIndex(cff, *top.charStrings).starts;
    const std::size_t count = glyphs.starts.size() - 1;
    if (top.cid) {
        glyphs.ids = readCharset(cff, top.charset, count);
    } else {
        for (std::size_t g = 0; g < count; ++g) {
            glyphs.ids.push_back(static_cast<std::uint32_t>(g));
        }
    }
    return glyphs;
}

} // namespace

std::string blankCffGlyphs(std::string cff, const std::set<std::uint32_t>& keep) {
    const CffGlyphs glyphs = cffGlyphsOf(cff);
    for (std::size_t g = 1; g + 1 < glyphs.starts.size(); ++g) {
        if (!keep.count(glyphs.ids[g])) {
            // endchar (14) throughout: the glyph ends at once, whatever reads on.
            std::fill(cff.begin() + static_cast<std::ptrdiff_t>(glyphs.starts[g]),
                      cff.begin() + static_cast<std::ptrdiff_t>(glyphs.starts[g + 1]), '\x0e');
        }
    }
    return cff;
}

std::string blankTrueTypeGlyphs(std::string font, std::set<std::uint32_t> keep) {
    const auto tables = tablesOf(font);
    const auto head = tables.find("head");
    const auto loca = tables.find("loca");
    const auto glyf = tables.find("glyf");
    if (head == tables.end() || loca == tables.end() || glyf == tables.end()) {
        badFont("TrueType 缺少字形表");
    }
    const bool longOffsets = readBE(font, head->second.offset + 50, 2) == 1;
    const std::size_t entry = longOffsets ? 4 : 2;
    const std::size_t glyphs = loca->second.length / entry;
    if (glyphs < 1) {
        return font;
    }
    auto span = [&](std::uint32_t g) {
        const std::size_t at = loca->second.offset + std::size_t{g} * entry;
        std::size_t from = readBE(font, at, entry);
        std::size_t to = readBE(font, at + entry, entry);
        if (!longOffsets) {
            from *= 2;
            to *= 2;
        }
        if (from > to || to > glyf->second.length) {
            badFont("TrueType 字形位置");
        }
        return std::pair{glyf->second.offset + from, glyf->second.offset + to};
    };
    // The parts of kept composite glyphs are kept too, and theirs.
    std::vector<std::uint32_t> todo(keep.begin(), keep.end());
    while (!todo.empty()) {
        const std::uint32_t g = todo.back();
        todo.pop_back();
        if (g + 1 >= glyphs) {
            continue;
        }
        const auto [from, to] = span(g);
        for (const std::uint32_t part : componentsOf(font, from, to)) {
            if (keep.insert(part).second) {
                todo.push_back(part);
            }
        }
    }
    for (std::uint32_t g = 1; g + 1 < glyphs; ++g) {
        if (!keep.count(g)) {
            const auto [from, to] = span(g);
            std::fill(font.begin() + static_cast<std::ptrdiff_t>(from),
                      font.begin() + static_cast<std::ptrdiff_t>(to), '\0');
        }
    }
    return font;
}

std::string trimToUnicode(std::string_view cmap, const std::set<std::uint32_t>& keep) {
    const std::vector<Token> tokens = tokensOf(cmap);
    std::vector<std::pair<std::string, std::string>> kept; // source code, destination
    std::size_t head = cmap.size();
    std::size_t tail = 0;
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const std::string_view t = tokens[i].text;
        if (t != "beginbfchar" && t != "beginbfrange") {
            continue;
        }
        const bool range = t == "beginbfrange";
        // The block's count comes before its "begin".
        head = std::min(head, i > 0 ? tokens[i - 1].at : tokens[i].at);
        std::size_t j = i + 1;
        while (j < tokens.size() && tokens[j].text != (range ? "endbfrange" : "endbfchar")) {
            if (!range && j + 1 < tokens.size()) {
                if (keep.count(hexValue(tokens[j].text))) {
                    kept.emplace_back(tokens[j].text, tokens[j + 1].text);
                }
                j += 2;
                continue;
            }
            if (j + 2 >= tokens.size()) {
                break;
            }
            const std::uint32_t lo = hexValue(tokens[j].text);
            const std::uint32_t hi = hexValue(tokens[j + 1].text);
            if (tokens[j + 2].text == "[") {
                std::size_t k = j + 3;
                for (std::uint32_t code = lo; k < tokens.size() && tokens[k].text != "]";
                     ++code, ++k) {
                    if (keep.count(code)) {
                        kept.emplace_back(hexPlus(tokens[j].text, code - lo), tokens[k].text);
                    }
                }
                j = k + 1;
            } else {
                for (std::uint32_t code = lo; code <= hi && code - lo < 65536; ++code) {
                    if (keep.count(code)) {
                        kept.emplace_back(hexPlus(tokens[j].text, code - lo),
                                          hexPlus(tokens[j + 2].text, code - lo));
                    }
                }
                j += 3;
            }
        }
        if (j < tokens.size()) {
            tail = tokens[j].at + tokens[j].text.size();
        }
        i = j;
    }
    if (head >= cmap.size()) {
        return std::string(cmap);
    }
    std::string out(cmap.substr(0, head));
    for (std::size_t from = 0; from < kept.size(); from += 100) {
        const std::size_t to = std::min(kept.size(), from + 100);
        out += std::to_string(to - from) + " beginbfchar\n";
        for (std::size_t k = from; k < to; ++k) {
            out += kept[k].first + " " + kept[k].second + "\n";
        }
        out += "endbfchar\n";
    }
    out += cmap.substr(tail);
    return out;
}

FontTrimmer::FontTrimmer()
    : m_impl(std::make_unique<Impl>()) {}

FontTrimmer::~FontTrimmer() = default;

void trimFontsToPage(QPDF& doc) {
    FontTrimmer().trim(doc);
}

void FontTrimmer::trim(QPDF& doc) {
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(doc).getAllPages();
    std::map<QPDFObjGen, std::set<std::uint32_t>> shown;
    std::map<QPDFObjGen, QPDFObjectHandle> fonts;
    auto read = [&](QPDFObjectHandle resources, auto parse) {
        ShownCodes codes(resources);
        parse(codes);
        for (auto& [font, set] : codes.codes) {
            shown[font].insert(set.begin(), set.end());
        }
        if (resources.isDictionary() && resources.getKey("/Font").isDictionary()) {
            for (auto& [name, font] : resources.getKey("/Font").ditems()) {
                if (font.isIndirect()) {
                    fonts.emplace(font.getObjGen(), font);
                }
            }
        }
    };
    for (QPDFPageObjectHelper& page : pages) {
        read(page.getAttribute("/Resources", false),
             [&](ShownCodes& codes) { page.parseContents(&codes); });
        page.forEachFormXObject(true,
                                [&](QPDFObjectHandle& form, QPDFObjectHandle&, std::string const&) {
                                    read(form.getDict().getKey("/Resources"),
                                         [&](ShownCodes& codes) { form.parseAsContents(&codes); });
                                });
    }
    for (auto& [id, font] : fonts) {
        m_impl->trimFont(font, shown[id]);
    }
}

} // namespace quenly::delivery
