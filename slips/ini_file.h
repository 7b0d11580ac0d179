// A small INI reader and writer following the Windows profile rules, keeping every line it does
// not write byte for byte.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenly {

/// The longest value a read returns, in bytes; longer values are cut.
inline constexpr std::size_t kIniValueLimit = 2047;

/// The text of one INI file held as its lines. Reading rules: section and key names match
/// without regard to ASCII case and the first occurrence counts; spaces and tabs around names and
/// values are dropped; one pair of enclosing quotes (" or ') is removed from a value; a value is
/// cut at kIniValueLimit bytes. Lines starting with ";" and lines without "=" are kept and
/// ignored, as are keys above the first section. A UTF-8 byte order mark at the start is skipped
/// and written back. Lines that are added or replaced end with CR LF; all others keep their bytes.
class IniFile {
public:
    IniFile() = default;

    /// Splits `content` (the whole file) into lines; never fails.
    static IniFile parse(std::string_view content);

    /// The whole file as text, ready to be written.
    std::string text() const;

    /// True when the (first) section `section` holds at least one key.
    bool hasSection(std::string_view section) const;

    /// The value of `key` in the first section `section`, or nothing when the section or key is
    /// missing. A key present with an empty value gives "".
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    /// Sets `key` to `value` in the first section `section`: replaces the line of the first
    /// occurrence of the key, or adds a line after the section's last key, or appends the section
    /// at the end of the file. Throws std::invalid_argument when the name or the value holds a
    /// line break, or the key is empty, starts with "[" or ";" or holds "=".
    void set(std::string_view section, std::string_view key, std::string_view value);

private:
    struct Line {
        // The bytes of the line without its ending.
        std::string body;
        // "\r\n", "\n" or "" (last line without an ending).
        std::string ending;
    };

    // Index of the header line of the first section `section`, if any.
    std::optional<std::size_t> findSection(std::string_view section) const;
    // Index of the first line of key `key` below the header at `header`, if any.
    std::optional<std::size_t> findKey(std::size_t header, std::string_view key) const;
    // Index of the last key line of the section whose header is at `header`, if any.
    std::optional<std::size_t> lastKey(std::size_t header) const;
    // Inserts a CR LF ended line before `position`, giving the line above it an ending first.
    void insertLine(std::size_t position, std::string body);

    bool m_bom = false;
    std::vector<Line> m_lines;
};

} // namespace quenly
