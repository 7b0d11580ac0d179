// The private result folder and its start-up sweep.
#include "result_cache.h"

#include "whole_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace quenly::app {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMark = "工资条-";
constexpr std::string_view kExtension = ".xlsx";

bool allDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "<stem>-工资条-YYYYMMDD-HHMMSS" or "工资条-YYYYMMDD-HHMMSS".
bool isStampedName(std::string_view s) {
    constexpr std::size_t kStamp = 15;
    if (s.size() < kMark.size() + kStamp) {
        return false;
    }
    const std::string_view stamp = s.substr(s.size() - kStamp);
    if (!allDigits(stamp.substr(0, 8)) || stamp[8] != '-' || !allDigits(stamp.substr(9))) {
        return false;
    }
    const std::string_view head = s.substr(0, s.size() - kStamp);
    if (!head.ends_with(kMark)) {
        return false;
    }
    const std::string_view stem = head.substr(0, head.size() - kMark.size());
    return stem.empty() || (stem.size() >= 2 && stem.back() == '-');
}

} // namespace

bool isResultFileName(std::string_view name) {
    if (!name.ends_with(kExtension)) {
        return false;
    }
    const std::string_view base = name.substr(0, name.size() - kExtension.size());
    if (isStampedName(base)) {
        return true;
    }
    const std::size_t dash = base.rfind('-');
    return dash != std::string_view::npos && allDigits(base.substr(dash + 1)) &&
           isStampedName(base.substr(0, dash));
}

bool isPartialResultName(std::string_view name) {
    const std::optional<std::string> target = files::temporaryTargetName(name);
    return target && (target->empty() || isResultFileName(*target));
}

void preparePrivateFolder(const fs::path& folder) {
    const auto fail = [&folder](int err) {
        return std::runtime_error("无法创建存放工资条的文件夹“" + folder.string() + "”：" +
                                  std::strerror(err));
    };
    // What is made is made for the user alone (0700), parents included, as the XDG base
    // directories ask.
    fs::path made;
    for (const fs::path& part : folder) {
        made /= part;
        if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) {
            throw fail(errno);
        }
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        throw fail(errno);
    }
    if (!S_ISDIR(st.st_mode)) {
        throw fail(ENOTDIR);
    }
    // A folder made by an earlier version, or under another umask, loses what it allowed others.
    if ((st.st_mode & 07777) != 0700 && ::chmod(folder.c_str(), 0700) != 0) {
        throw fail(errno);
    }
}

std::size_t sweepResultFolder(const fs::path& folder, fs::file_time_type now,
                              const SweepRules& rules) {
    struct Result {
        fs::path path;
        fs::file_time_type time;
    };
    std::vector<Result> results;
    std::size_t removed = 0;
    const auto remove = [&removed](const fs::path& path) {
        std::error_code ec;
        if (fs::remove(path, ec)) {
            ++removed;
        }
    };
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        const std::string name = path.filename().string();
        const bool result = isResultFileName(name);
        if (!result && !isPartialResultName(name)) {
            continue;
        }
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
            continue;
        }
        std::error_code timeError;
        const fs::file_time_type time = fs::last_write_time(path, timeError);
        if (timeError) {
            continue;
        }
        if (result) {
            results.push_back({path, time});
        } else if (now - time > rules.partialMaxAge) {
            remove(path);
        }
    }
    std::sort(results.begin(), results.end(), [](const Result& a, const Result& b) {
        return a.time != b.time ? a.time > b.time : a.path > b.path;
    });
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (i >= rules.keep || now - results[i].time > rules.maxAge) {
            remove(results[i].path);
        } else {
            ::chmod(results[i].path.c_str(), 0600);
        }
    }
    return removed;
}

} // namespace quenly::app
