// Reading the data of a BIFF record, and of the CONTINUE records that carry it on, as one
// sequence of bytes.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

namespace quenly::wb::xls {

/// Thrown when a record's data ends before its contents; turned into a message that names the
/// record by the code that knows it.
struct ShortRecord {};

/// Reads the data of a record and of the CONTINUE records after it (the segments) as one
/// sequence of bytes. Running out throws ShortRecord.
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

} // namespace quenly::wb::xls
