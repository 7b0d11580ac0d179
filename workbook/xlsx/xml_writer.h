// A fast append-only buffer for writing SpreadsheetML: raw markup, escaped text and attributes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quenly::wb::xml {

/// A growing character buffer. Markup is appended as given; texts and attribute values go through
/// the escaping appenders, which never produce ill-formed XML whatever bytes they are given.
/// Nothing here throws except std::bad_alloc.
class XmlBuffer {
public:
    XmlBuffer() = default;
    /// Reuses the storage of `storage` (its contents are discarded).
    explicit XmlBuffer(std::string&& storage);

    std::size_t size() const { return m_len; }
    bool empty() const { return m_len == 0; }
    std::string_view view() const { return {m_s.data(), m_len}; }
    void clear() { m_len = 0; }
    /// The contents as a string; the buffer is left empty.
    std::string take();

    /// Room for at least `n` more characters; write them at the returned pointer, then commit().
    char* ensure(std::size_t n) {
        if (m_s.size() - m_len < n) {
            grow(n);
        }
        return m_s.data() + m_len;
    }
    void commit(char* end) { m_len = static_cast<std::size_t>(end - m_s.data()); }

    void append(std::string_view s) {
        char* p = ensure(s.size());
        s.copy(p, s.size());
        m_len += s.size();
    }
    void append(char c) {
        *ensure(1) = c;
        ++m_len;
    }
    void appendUInt(std::uint64_t v);
    void appendInt(std::int64_t v);
    /// The shortest text that reads back as the same double (std::to_chars).
    void appendDouble(double v);

    /// Element content: & < > escaped; tab and line feed kept; carriage return and the other
    /// characters XML 1.0 forbids written as _xHHHH_ (the SpreadsheetML escape); a literal
    /// "_xHHHH_" protected as "_x005F_xHHHH_"; invalid UTF-8 replaced by U+FFFD.
    void appendText(std::string_view text);
    /// Attribute value (without the quotes): & < > " escaped, tab and line breaks as character
    /// references, other forbidden characters dropped, invalid UTF-8 replaced by U+FFFD.
    void appendAttrValue(std::string_view value);

    /// ` name="value"` with the value escaped.
    void attr(std::string_view name, std::string_view value);
    void attr(std::string_view name, std::uint64_t value);
    void attrDouble(std::string_view name, double value);

private:
    void grow(std::size_t n);

    std::string m_s; // m_s.size() is the capacity in use; m_len the written length
    std::size_t m_len = 0;
};

/// Whether a text needs xml:space="preserve" on its <t> element (leading or trailing white space).
bool needsSpacePreserve(std::string_view text);

/// Writes the shortest round-trip text of `v` at `p` (room for 32 characters); returns the end.
char* writeDouble(char* p, double v);
/// Writes the decimal digits of `v` at `p` (room for 20 characters); returns the end.
char* writeUInt(char* p, std::uint64_t v);

} // namespace quenly::wb::xml
