// The header options store: section "option" of "sys.ini", read and written with the Windows
// profile rules; every write replaces the file atomically.
#include "header_options.h"

#include "ini_file.h"
#include "whole_file.h"

#include <fcntl.h>
#include <fstream>
#include <optional>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace quenly {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kSection = "option";

struct KeyDefault {
    const char* key;
    const char* editing;
    const char* exporting;
};

// The four keys in their order, with the defaults of the two reads.
constexpr KeyDefault kKeys[] = {
    {"StartTitleRow", "1", "1"},
    {"EndTitleRow", "1", "1"},
    {"StartTitleCol", "A", "A"},
    {"EndTitleCol", "", "Z"},
};

fs::path fullPath(const fs::path& path) {
    std::error_code ec;
    fs::path full = fs::absolute(path, ec);
    return ec ? path : full.lexically_normal();
}

[[noreturn]] void refuseWrite(const fs::path& path) {
    throw OptionsWriteError("Unable to write to " + fullPath(path).string());
}

// The whole file, or nothing when it is missing or cannot be read.
std::optional<std::string> readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return std::move(content).str();
}

IniFile readIni(const fs::path& path) {
    const auto content = readWhole(path);
    return content ? IniFile::parse(*content) : IniFile();
}

// The current file for a rewrite. A file that exists but cannot be read is refused, so that its
// contents are never replaced by what little is known of them.
IniFile readIniForWrite(const fs::path& path) {
    std::error_code ec;
    if (!fs::exists(path, ec)) {
        return IniFile();
    }
    const auto content = readWhole(path);
    if (!content) {
        refuseWrite(path);
    }
    return IniFile::parse(*content);
}

bool noWriteBit(mode_t mode) {
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// Replaces the file at `path` with `content`, whole or not at all (files::WholeFile); the new file
// keeps the old one's permissions. A file or directory that is not writable is refused even where
// the process could override its mode (as root), since renaming would otherwise replace a
// read-only file. The temporary files of writers killed before their rename are removed.
void replaceFile(const fs::path& path, const std::string& content) {
    std::error_code ec;
    fs::path target = path;
    if (fs::is_symlink(path, ec)) {
        const fs::path resolved = fs::weakly_canonical(path, ec);
        if (!ec) {
            target = resolved;
        }
    }
    target = fullPath(target);

    struct stat old {};
    const bool exists = ::stat(target.c_str(), &old) == 0;
    if (exists &&
        (!S_ISREG(old.st_mode) || ::access(target.c_str(), W_OK) != 0 || noWriteBit(old.st_mode))) {
        refuseWrite(path);
    }
    const fs::path dir = target.parent_path();
    struct stat dirStat {};
    if (::stat(dir.c_str(), &dirStat) != 0 || noWriteBit(dirStat.st_mode) ||
        ::access(dir.c_str(), W_OK | X_OK) != 0) {
        refuseWrite(path);
    }

    // The settings are no secret: a new file gets the permissions any new file gets.
    files::WholeFile file(target, files::WholeFile::kShared);
    bool ok = file.error() == 0 && file.write(content.data(), content.size()) == 0;
    if (ok && exists) {
        ok = ::fchmod(file.fd(), old.st_mode & 07777) == 0;
        if (ok && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
            // Only possible for a privileged process; a failure leaves the new owner in place.
            [[maybe_unused]] const int owned = ::fchown(file.fd(), old.st_uid, old.st_gid);
        }
    }
    if (!ok || file.commit() != 0) {
        refuseWrite(path);
    }
    files::removeStaleTemporaries(target);
}

} // namespace

fs::path defaultOptionsPath() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) {
        // Without /proc the executable cannot be located; the current directory stands in.
        return fullPath("sys.ini");
    }
    return exe.parent_path() / "sys.ini";
}

HeaderOptionsStore::HeaderOptionsStore(fs::path iniPath)
    : m_path(std::move(iniPath)) {}

HeaderOptions HeaderOptionsStore::prepareForEditing() const {
    std::error_code ec;
    const bool existed = fs::exists(m_path, ec);
    IniFile ini = readIni(m_path);
    if (!ini.hasSection(kSection)) {
        ini = readIniForWrite(m_path);
        for (const KeyDefault& k : kKeys) {
            ini.set(kSection, k.key, k.editing);
        }
        try {
            // A missing file is created with the defaults in one step, so that no one ever
            // finds it empty.
            replaceFile(m_path, ini.text());
        } catch (const OptionsWriteError&) {
            if (!existed) {
                // Where the defaults cannot be written, an empty file may still be possible.
                const int fd =
                    ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
                if (fd >= 0) {
                    ::close(fd);
                }
            }
            throw;
        }
    }
    std::string values[4];
    for (std::size_t i = 0; i < 4; ++i) {
        values[i] = ini.value(kSection, kKeys[i].key).value_or(kKeys[i].editing);
    }
    return HeaderOptions{values[0], values[1], values[2], values[3]};
}

void HeaderOptionsStore::writeKey(const std::string& key, const std::string& value) const {
    IniFile ini = readIniForWrite(m_path);
    ini.set(kSection, key, value);
    replaceFile(m_path, ini.text());
}

std::string HeaderOptionsStore::readKey(const std::string& key, const std::string& fallback) const {
    return readIni(m_path).value(kSection, key).value_or(fallback);
}

HeaderOptions HeaderOptionsStore::readForExport() const {
    const IniFile ini = readIni(m_path);
    std::string values[4];
    for (std::size_t i = 0; i < 4; ++i) {
        values[i] = ini.value(kSection, kKeys[i].key).value_or(kKeys[i].exporting);
    }
    return HeaderOptions{values[0], values[1], values[2], values[3]};
}

std::string HeaderOptionsStore::readForExport(std::string_view key) const {
    std::string fallback;
    for (const KeyDefault& k : kKeys) {
        if (key == k.key) {
            fallback = k.exporting;
        }
    }
    return readKey(std::string(key), fallback);
}

} // namespace quenly
