// Writing a file whole or not at all: a temporary file beside the target, flushed and renamed.
#include "whole_file.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

namespace quenly::files {

namespace fs = std::filesystem;

namespace {

// The start of the temporary names of `name`: ".<name>.tmp.", or a short one of its own when
// ".<name>.tmp.<pid>.<n>" could be longer than a name may be.
constexpr std::string_view kShortPrefix = ".quenly-save.tmp.";
constexpr std::string_view kTail = ".tmp.";

std::string temporaryPrefix(const std::string& name) {
    constexpr std::size_t kPidAndCount = 24; // ".tmp." and two numbers with their dots, at most
    if (name.size() + kPidAndCount > NAME_MAX) {
        return std::string(kShortPrefix);
    }
    return "." + name + std::string(kTail);
}

bool isNumber(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

void syncFolder(const fs::path& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

WholeFile::WholeFile(fs::path target, unsigned mode)
    : m_target(std::move(target)) {
    static std::atomic<unsigned> counter{0};
    fs::path dir = m_target.parent_path();
    if (dir.empty()) {
        dir = ".";
    }
    const std::string prefix =
        temporaryPrefix(m_target.filename().string()) + std::to_string(::getpid()) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = dir / (prefix + std::to_string(counter++));
        m_fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                      static_cast<mode_t>(mode));
        if (m_fd >= 0) {
            m_temporary = candidate;
            return;
        }
        if (errno != EEXIST) {
            break;
        }
    }
    m_error = errno;
}

WholeFile::~WholeFile() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    if (!m_temporary.empty()) {
        ::unlink(m_temporary.c_str());
    }
}

int WholeFile::write(const void* data, std::size_t size) {
    return writeAll(m_fd, data, size);
}

int writeAll(int fd, const void* data, std::size_t size) {
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (n == 0) {
            return ENOSPC;
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int WholeFile::commit() {
    int err = ::fsync(m_fd) == 0 ? 0 : errno;
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0 && err == 0) {
        err = errno;
    }
    if (err == 0 && std::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
        err = errno;
    }
    if (err != 0) {
        ::unlink(m_temporary.c_str());
        m_temporary.clear();
        return err;
    }
    m_temporary.clear();
    fs::path dir = m_target.parent_path();
    syncFolder(dir.empty() ? fs::path(".") : dir);
    return 0;
}

std::optional<std::string> temporaryTargetName(std::string_view name) {
    // "<prefix><pid>.<n>"
    const std::size_t lastDot = name.rfind('.');
    if (lastDot == std::string_view::npos || !isNumber(name.substr(lastDot + 1))) {
        return std::nullopt;
    }
    const std::size_t pidDot = name.rfind('.', lastDot - 1);
    if (pidDot == std::string_view::npos ||
        !isNumber(name.substr(pidDot + 1, lastDot - pidDot - 1))) {
        return std::nullopt;
    }
    const std::string_view prefix = name.substr(0, pidDot + 1);
    if (prefix == kShortPrefix) {
        return std::string();
    }
    if (prefix.size() > 1 + kTail.size() && prefix.front() == '.' && prefix.ends_with(kTail)) {
        return std::string(prefix.substr(1, prefix.size() - 1 - kTail.size()));
    }
    return std::nullopt;
}

void removeStaleTemporaries(const fs::path& target) {
    const std::string name = target.filename().string();
    const std::string prefixes[] = {temporaryPrefix(name), name + ".tmp."};
    fs::path dir = target.parent_path();
    std::error_code ec;
    for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        for (const std::string& prefix : prefixes) {
            if (!entry.starts_with(prefix)) {
                continue;
            }
            const std::string_view rest = std::string_view(entry).substr(prefix.size());
            pid_t pid = 0;
            const auto [stop, err] = std::from_chars(rest.data(), rest.data() + rest.size(), pid);
            if (err != std::errc() || stop == rest.data() || *stop != '.' || pid <= 0) {
                break;
            }
            if (pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH) {
                ::unlink(it->path().c_str());
            }
            break;
        }
    }
}

} // namespace quenly::files
