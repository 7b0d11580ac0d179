// A small INI reader and writer following the Windows profile rules.
#include "ini_file.h"

#include <stdexcept>

namespace quenly {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'a' && x <= 'z') {
            x = static_cast<char>(x - 'a' + 'A');
        }
        if (y >= 'a' && y <= 'z') {
            y = static_cast<char>(y - 'a' + 'A');
        }
        if (x != y) {
            return false;
        }
    }
    return true;
}

// What one line of the file is, for reading.
struct LineInfo {
    enum class Kind { Other, Section, Key };
    Kind kind = Kind::Other;
    // Section name or key name, trimmed.
    std::string_view name;
    // Key value, trimmed (not yet unquoted).
    std::string_view value;
};

LineInfo classify(std::string_view body) {
    LineInfo info;
    std::string_view s = trimBlanks(body);
    if (s.empty() || s.front() == ';') {
        return info;
    }
    if (s.front() == '[') {
        const std::size_t close = s.rfind(']');
        if (close != std::string_view::npos) {
            info.kind = LineInfo::Kind::Section;
            info.name = trimBlanks(s.substr(1, close - 1));
        }
        return info;
    }
    const std::size_t eq = s.find('=');
    if (eq == std::string_view::npos) {
        return info;
    }
    info.kind = LineInfo::Kind::Key;
    info.name = trimBlanks(s.substr(0, eq));
    info.value = trimBlanks(s.substr(eq + 1));
    return info;
}

bool hasLineBreak(std::string_view s) {
    return s.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

IniFile IniFile::parse(std::string_view content) {
    IniFile file;
    if (content.starts_with(kBom)) {
        file.m_bom = true;
        content.remove_prefix(kBom.size());
    }
    while (!content.empty()) {
        const std::size_t nl = content.find('\n');
        Line line;
        if (nl == std::string_view::npos) {
            line.body = std::string(content);
            content = {};
        } else {
            std::string_view body = content.substr(0, nl);
            if (body.ends_with('\r')) {
                body.remove_suffix(1);
                line.ending = "\r\n";
            } else {
                line.ending = "\n";
            }
            line.body = std::string(body);
            content.remove_prefix(nl + 1);
        }
        file.m_lines.push_back(std::move(line));
    }
    return file;
}

std::string IniFile::text() const {
    std::string out;
    if (m_bom) {
        out += kBom;
    }
    for (const Line& line : m_lines) {
        out += line.body;
        out += line.ending;
    }
    return out;
}

std::optional<std::size_t> IniFile::findSection(std::string_view section) const {
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const LineInfo info = classify(m_lines[i].body);
        if (info.kind == LineInfo::Kind::Section && equalsIgnoringAsciiCase(info.name, section)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> IniFile::findKey(std::size_t header, std::string_view key) const {
    for (std::size_t i = header + 1; i < m_lines.size(); ++i) {
        const LineInfo info = classify(m_lines[i].body);
        if (info.kind == LineInfo::Kind::Section) {
            break;
        }
        if (info.kind == LineInfo::Kind::Key && equalsIgnoringAsciiCase(info.name, key)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> IniFile::lastKey(std::size_t header) const {
    std::optional<std::size_t> last;
    for (std::size_t i = header + 1; i < m_lines.size(); ++i) {
        const LineInfo info = classify(m_lines[i].body);
        if (info.kind == LineInfo::Kind::Section) {
            break;
        }
        if (info.kind == LineInfo::Kind::Key) {
            last = i;
        }
    }
    return last;
}

bool IniFile::hasSection(std::string_view section) const {
    const auto header = findSection(section);
    return header && lastKey(*header).has_value();
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
    const auto header = findSection(section);
    if (!header) {
        return std::nullopt;
    }
    const auto line = findKey(*header, key);
    if (!line) {
        return std::nullopt;
    }
    std::string_view v = classify(m_lines[*line].body).value;
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
        v = v.substr(1, v.size() - 2);
    }
    if (v.size() > kIniValueLimit) {
        v = v.substr(0, kIniValueLimit);
    }
    return std::string(v);
}

void IniFile::insertLine(std::size_t position, std::string body) {
    if (position > 0 && m_lines[position - 1].ending.empty()) {
        m_lines[position - 1].ending = "\r\n";
    }
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(position),
                   Line{std::move(body), "\r\n"});
}

void IniFile::set(std::string_view section, std::string_view key, std::string_view value) {
    if (hasLineBreak(section) || hasLineBreak(key)) {
        throw std::invalid_argument("INI 文件中的节名和键名不能包含换行符");
    }
    if (hasLineBreak(value)) {
        throw std::invalid_argument("设置“" + std::string(key) + "”的值不能包含换行符");
    }
    const std::string_view trimmedKey = trimBlanks(key);
    if (trimmedKey.empty() || trimmedKey.front() == '[' || trimmedKey.front() == ';' ||
        key.find('=') != std::string_view::npos) {
        throw std::invalid_argument("无效的 INI 键名“" + std::string(key) + "”");
    }
    if (section.find(']') != std::string_view::npos) {
        throw std::invalid_argument("无效的 INI 节名“" + std::string(section) + "”");
    }
    std::string line = std::string(key) + "=" + std::string(value);
    const auto header = findSection(section);
    if (!header) {
        insertLine(m_lines.size(), "[" + std::string(section) + "]");
        insertLine(m_lines.size(), std::move(line));
        return;
    }
    if (const auto existing = findKey(*header, trimmedKey)) {
        m_lines[*existing] = Line{std::move(line), "\r\n"};
        return;
    }
    const std::size_t after = lastKey(*header).value_or(*header);
    insertLine(after + 1, std::move(line));
}

} // namespace quenly
