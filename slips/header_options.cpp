// The header options store: section "option" of "sys.ini", read and written with the Windows
// profile rules; every write replaces the file atomically.
#include "header_options.h"

#include "ini_file.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <csignal>
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

bool writeAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

bool noWriteBit(mode_t mode) {
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// The name of a temporary file for `target` up to its process id: hidden, so that it stands out
// from nothing beside the options file, and ".<name>.tmp.<pid>.<n>" as a whole.
std::string tempPrefix(const fs::path& target) {
    return "." + target.filename().string() + ".tmp.";
}

// Removes the temporary files of `target` that a writer killed between creating and renaming
// them has left behind: those whose process no longer runs. Files of running processes (this one
// included) are theirs to finish; nothing ever reads any of them. Also takes the names
// "<name>.tmp.<pid>.<n>" that earlier versions used.
void removeStaleTemporaries(const fs::path& target) {
    const std::string prefixes[] = {tempPrefix(target), target.filename().string() + ".tmp."};
    std::error_code ec;
    for (fs::directory_iterator it(target.parent_path(), ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        for (const std::string& prefix : prefixes) {
            if (!name.starts_with(prefix)) {
                continue;
            }
            const std::string_view rest = std::string_view(name).substr(prefix.size());
            pid_t pid = 0;
            const auto [end, err] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
            if (err != std::errc() || end == rest.data() || *end != '.' || pid <= 0) {
                break;
            }
            if (pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) {
                ::unlink(it->path().c_str());
            }
            break;
        }
    }
}

// Replaces the file at `path` with `content`: a temporary file in the same directory is written,
// flushed to disk and renamed over the old one, which keeps its permissions. A file or directory
// that is not writable is refused even where the process could override its mode (as root),
// since renaming would otherwise replace a read-only file.
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

    static std::atomic<unsigned> counter{0};
    fs::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = dir /
               (tempPrefix(target) + std::to_string(::getpid()) + "." + std::to_string(counter++));
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (fd < 0) {
        refuseWrite(path);
    }
    bool ok = writeAll(fd, content);
    if (ok && exists) {
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        if (ok && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
            // Only possible for a privileged process; a failure leaves the new owner in place.
            [[maybe_unused]] const int owned = ::fchown(fd, old.st_uid, old.st_gid);
        }
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        refuseWrite(path);
    }
    // Make the rename itself durable; the new contents are already in place if this fails.
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    removeStaleTemporaries(target);
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
