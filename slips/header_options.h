// The header options: which rows and columns of the wage table form the slip header, kept in
// "sys.ini" beside the executable.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quenly {

/// The four header settings, as text: rows as typed decimal numbers (counted from 1), columns
/// as upper-case column letters.
struct HeaderOptions {
    std::string StartTitleRow;
    std::string EndTitleRow;
    std::string StartTitleCol;
    std::string EndTitleCol;

    bool operator==(const HeaderOptions&) const = default;
};

/// A write to the options file that the system refused. The message is
/// "Unable to write to <full path>".
class OptionsWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The path of "sys.ini" in the directory of the running executable (from /proc/self/exe).
std::filesystem::path defaultOptionsPath();

/// The store of the header options in one INI file, section "option". Each call opens the file,
/// does its work and releases it; the object holds nothing but the path.
class HeaderOptionsStore {
public:
    explicit HeaderOptionsStore(std::filesystem::path iniPath);

    const std::filesystem::path& path() const { return m_path; }

    /// Prepare for editing: fills in the four defaults when the section "option" is absent (or
    /// has no keys), writing a missing file with them in one step (an empty file is left only
    /// when that write fails), and reads the four keys with the defaults "1", "1", "A", "".
    /// Throws OptionsWriteError when the defaults cannot be written.
    HeaderOptions prepareForEditing() const;

    /// Sets one key of the section "option", creating file, section or key as needed. The file is
    /// replaced atomically (a temporary file renamed over it, permissions kept); a file or
    /// directory without write permission is refused. Throws OptionsWriteError when the file
    /// cannot be written, std::invalid_argument when the key or value holds a line break.
    void writeKey(const std::string& key, const std::string& value) const;

    /// Reads one key of the section "option"; `fallback` when the file, section or key is missing.
    /// Never fails.
    std::string readKey(const std::string& key, const std::string& fallback) const;

    /// Read for export: the four keys with the defaults "1", "1", "A", "Z". Never creates anything.
    HeaderOptions readForExport() const;

    /// Read for export of one key, with that key's default ("1", "1", "A", "Z"; "" for any other
    /// key). Never fails.
    std::string readForExport(std::string_view key) const;

private:
    std::filesystem::path m_path;
};

} // namespace quenly
