// A folder of per-person files written all or nothing.
#include "slip_folder.h"

#include "slip_run.h"
#include "whole_file.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstring>
#include <optional>
#include <string_view>
#include <unistd.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace quenly::delivery {

namespace fs = std::filesystem;

namespace {

std::string why(int err) {
    if (err == ENOSPC || err == EDQUOT) {
        return "磁盘空间不足";
    }
    if (err == EACCES || err == EPERM || err == EROFS) {
        return "没有写入权限";
    }
    return std::strerror(err);
}

[[noreturn]] void fail(const fs::path& where, const std::string& what, int err) {
    throw DeliveryError(what + "“" + where.string() + "”失败：" + why(err));
}

// Writes and closes; 0 or the errno of the fault.
int writeFile(const fs::path& file, std::string_view bytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        return errno;
    }
    int err = files::writeAll(fd, bytes.data(), bytes.size());
    if (::close(fd) != 0 && err == 0) {
        err = errno;
    }
    return err;
}

bool allDigits(std::string_view s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// The process that wrote `name`, when it is a temporary name put() gives (".NAME.pdf.tmp.PID.N").
std::optional<pid_t> writerOf(std::string_view name) {
    constexpr std::string_view kMark = ".pdf.tmp.";
    const std::size_t mark = name.rfind(kMark);
    if (name.size() < 2 || name[0] != '.' || mark == std::string_view::npos || mark < 2) {
        return std::nullopt;
    }
    const std::string_view rest = name.substr(mark + kMark.size());
    const std::size_t dot = rest.find('.');
    if (dot == std::string_view::npos || !allDigits(rest.substr(0, dot)) ||
        !allDigits(rest.substr(dot + 1))) {
        return std::nullopt;
    }
    pid_t pid = 0;
    const auto [end, err] = std::from_chars(rest.data(), rest.data() + dot, pid);
    if (err != std::errc() || pid <= 0) {
        return std::nullopt;
    }
    return pid;
}

} // namespace

void removeStaleTemporaries(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::optional<pid_t> pid = writerOf(it->path().filename().string());
        struct stat st {};
        if (!pid || ::lstat(it->path().c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid()) {
            continue;
        }
        // Only a writer that has ended: a run still going (or a process that took its number
        // since) keeps its files.
        if (::kill(*pid, 0) != 0 && errno == ESRCH) {
            ::unlink(it->path().c_str());
        }
    }
}

SlipFolder::SlipFolder(fs::path folder, bool overwrite)
    : m_folder(std::move(folder))
    , m_overwrite(overwrite) {}

SlipFolder::~SlipFolder() {
    if (!m_committed) {
        rollBack();
    }
}

std::vector<std::string> SlipFolder::inTheWay(const std::vector<std::string>& names) const {
    std::error_code ec;
    const fs::file_status folder = fs::status(m_folder, ec);
    if (fs::exists(folder) && !fs::is_directory(folder)) {
        throw DeliveryError("“" + m_folder.string() + "”不是文件夹；请给出存放 PDF 的文件夹");
    }
    std::vector<std::string> out;
    if (!fs::exists(folder)) {
        return out;
    }
    for (const std::string& name : names) {
        const fs::file_status s = fs::symlink_status(m_folder / name, ec);
        if (fs::exists(s) && (!m_overwrite || !fs::is_regular_file(s))) {
            out.push_back(name);
        }
    }
    return out;
}

void SlipFolder::make() {
    std::vector<fs::path> missing;
    for (fs::path p = m_folder; !p.empty(); p = p.parent_path()) {
        std::error_code ec;
        if (fs::exists(fs::symlink_status(p, ec))) {
            break;
        }
        missing.push_back(p);
        if (p == p.parent_path()) {
            break;
        }
    }
    for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
        // The mode is set after making, since the umask may take from it.
        if (::mkdir(it->c_str(), 0700) != 0 && errno != EEXIST) {
            fail(*it, "创建文件夹", errno);
        }
        m_made.push_back(*it);
        ::chmod(it->c_str(), 0700);
    }
    removeStaleTemporaries(m_folder);
}

void SlipFolder::put(const std::string& name, std::string_view bytes) {
    Entry entry;
    entry.name = name;
    {
        std::lock_guard lock(m_mutex);
        entry.temporary = m_folder / ("." + name + ".tmp." + std::to_string(::getpid()) + "." +
                                      std::to_string(m_entries.size()));
        m_entries.push_back(entry);
    }
    if (const int err = writeFile(entry.temporary, bytes); err != 0) {
        fail(m_folder / name, "写入", err);
    }
}

void SlipFolder::commit() {
    const int dir = ::open(m_folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) {
        const int err = errno;
        rollBack();
        fail(m_folder, "打开文件夹", err);
    }
    // One flush of the file system for all files, not one per file: they reach the disk before
    // any of them takes its name.
    if (::syncfs(dir) != 0) {
        const int err = errno;
        ::close(dir);
        rollBack();
        fail(m_folder, "写入", err);
    }
    for (Entry& e : m_entries) {
        const fs::path target = m_folder / e.name;
        std::error_code ec;
        e.replaced = fs::exists(fs::symlink_status(target, ec));
        if (e.replaced && !m_overwrite) {
            // Made since the check: never replaced without --overwrite.
            ::close(dir);
            rollBack();
            throw DeliveryError("“" + target.string() + "”已存在，未覆盖");
        }
        if (std::rename(e.temporary.c_str(), target.c_str()) != 0) {
            const int err = errno;
            ::close(dir);
            rollBack();
            fail(target, "写入", err);
        }
        e.placed = true;
    }
    ::fsync(dir);
    ::close(dir);
    m_committed = true;
}

void SlipFolder::rollBack() noexcept {
    std::lock_guard lock(m_mutex);
    for (const Entry& e : m_entries) {
        // A file that replaced one of the same name stays: the old one is gone either way.
        if (e.placed && !e.replaced) {
            ::unlink((m_folder / e.name).c_str());
        } else if (!e.placed) {
            ::unlink(e.temporary.c_str());
        }
    }
    m_entries.clear();
    for (auto it = m_made.rbegin(); it != m_made.rend(); ++it) {
        ::rmdir(it->c_str()); // only when empty
    }
    m_made.clear();
}

} // namespace quenly::delivery
