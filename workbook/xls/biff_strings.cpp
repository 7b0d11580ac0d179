// The strings of a BIFF stream decoded into UTF-8, rich text runs included.
#include "xls/biff_strings.h"

#include "little_endian.h"

#include <algorithm>

namespace quenly::wb::xls {

namespace {

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

// The font of a run: font index `index` resolved into `current`, or nullptr (the cell's font)
// when the index names no font.
const Font* runFont(const BiffStyles& styles, std::uint16_t index, Font& current) {
    if (const BiffFont* bf = styles.fontAt(index)) {
        current = styles.resolveFont(*bf);
        return &current;
    }
    return nullptr;
}

} // namespace

void BiffStrings::setCodepage(unsigned codepage) {
    m_decoder = std::make_unique<CodepageDecoder>(codepage);
}

std::string BiffStrings::byteString(DataReader& in, std::size_t len) {
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

SharedString BiffStrings::richString(DataReader& in, std::size_t lenBytes, bool runsAfter) {
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

std::string BiffStrings::unicodeString(DataReader& in, std::size_t lenBytes) {
    SharedString s = richString(in, lenBytes, false);
    return std::move(s.text);
}

SharedString BiffStrings::fromUnits(const std::vector<RunMark>& runs) {
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
        font = runFont(m_styles, m.font, current);
    }
    std::string text;
    appendUtf16le(text, m_units.data() + 2 * from, n - from);
    b.piece(std::move(text), font);
    return b.finish();
}

SharedString BiffStrings::fromBytes(const std::uint8_t* p, std::size_t n,
                                    std::vector<RunMark> runs) {
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
            font = runFont(m_styles, m.font, current);
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

} // namespace quenly::wb::xls
