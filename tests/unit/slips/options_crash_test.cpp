// The options store under faults: a writer killed at any moment leaves "sys.ini" as it was before
// or after one write, its temporary files are removed by the next write, and a full disk leaves
// the old file whole.
#include "header_options.h"

#include "file_faults.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quenly {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr std::array<const char*, 4> kKeys = {"StartTitleRow", "EndTitleRow", "StartTitleCol",
                                              "EndTitleCol"};

const std::string kPrepared = "[option]\r\nStartTitleRow=1\r\nEndTitleRow=1\r\n"
                              "StartTitleCol=A\r\nEndTitleCol=\r\n";

std::optional<std::string> slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void spit(const fs::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// The writers below write step s into key s % 4 with the value s, so after step s every key
// holds the latest step of its own that is not later than s. The file around the section is
// fixed and must survive byte for byte.
std::string fileAfterStep(long step) {
    std::string text = "; Quenly 设置\r\n[other]\r\nkeep=这一行不动\r\n[option]\r\n";
    for (long key = 0; key < 4; ++key) {
        const long latest = step - ((step - key) % 4 + 4) % 4;
        text += std::string(kKeys[key]) + "=" + std::to_string(latest) + "\r\n";
    }
    return text + "[tail]\r\nz=1\r\n";
}

long latestStep(const HeaderOptions& o) {
    long latest = -1;
    for (const std::string* v :
         {&o.StartTitleRow, &o.EndTitleRow, &o.StartTitleCol, &o.EndTitleCol}) {
        long n = -1;
        std::from_chars(v->data(), v->data() + v->size(), n);
        latest = std::max(latest, n);
    }
    return latest;
}

// The child: resumes after the latest step in `ini` and writes on until it is killed, its first
// and each eighth step also preparing `fresh` from nothing. Once both files were written it puts
// on `ready` how long that first step took, in microseconds. Exits 3 on any error.
[[noreturn]] void writeForever(const fs::path& ini, const fs::path& fresh, int ready) {
    try {
        const HeaderOptionsStore store(ini);
        const HeaderOptionsStore freshStore(fresh);
        const auto started = std::chrono::steady_clock::now();
        for (long step = latestStep(store.readForExport()) + 1;; ++step) {
            store.writeKey(kKeys[step % 4], std::to_string(step));
            if (step % 8 == 0 || ready >= 0) {
                fs::remove(fresh);
                freshStore.prepareForEditing();
            }
            if (ready >= 0) {
                const std::int64_t micros = std::chrono::duration_cast<std::chrono::microseconds>(
                                                std::chrono::steady_clock::now() - started)
                                                .count();
                [[maybe_unused]] const ssize_t n = ::write(ready, &micros, sizeof micros);
                ::close(ready);
                ready = -1;
            }
        }
    } catch (...) {
        ::_exit(3);
    }
}

// Entries of `dir` other than the two options files.
std::vector<std::string> strayEntries(const fs::path& dir) {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name != "sys.ini" && name != "fresh.ini") {
            out.push_back(name);
        }
    }
    return out;
}

bool isTemporaryOf(const std::string& name, pid_t pid) {
    const std::string id = ".tmp." + std::to_string(pid) + ".";
    return name.starts_with(".sys.ini" + id) || name.starts_with(".fresh.ini" + id);
}

// A temporary folder in memory where the system has one: a killed writer leaves the same files
// on any disk, and there a write takes microseconds instead of the milliseconds of a flush to a
// real disk, so that many kills fit in a short test.
class MemoryDir {
public:
    MemoryDir() {
        std::string tmpl = "/dev/shm/quenly-test-XXXXXX";
        if (::access("/dev/shm", W_OK) == 0 && ::mkdtemp(tmpl.data())) {
            m_own = tmpl;
        }
    }
    ~MemoryDir() {
        std::error_code ec;
        if (!m_own.empty()) {
            fs::remove_all(m_own, ec);
        }
    }
    MemoryDir(const MemoryDir&) = delete;
    MemoryDir& operator=(const MemoryDir&) = delete;

    const fs::path& path() const { return m_own.empty() ? m_disk.path() : m_own; }
    fs::path operator/(const std::string& name) const { return path() / name; }

private:
    TempDir m_disk;
    fs::path m_own;
};

TEST(HeaderOptionsCrash, KilledWritersLeaveAWholeFileAndTheNextWriteCleansUp) {
    MemoryDir dir;
    const fs::path ini = dir / "sys.ini";
    const fs::path fresh = dir / "fresh.ini";
    spit(ini, fileAfterStep(3));
    std::mt19937 random(20261208);

    constexpr int kKills = 200;
    long step = 3;
    int killsThatLeftTemporaries = 0;
    int freshSeenMissing = 0;
    for (int kill = 0; kill < kKills; ++kill) {
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(fds[0]);
            writeForever(ini, fresh, fds[1]);
        }
        ::close(fds[1]);
        pollfd wait{fds[0], POLLIN, 0};
        std::int64_t firstStep = -1;
        if (::poll(&wait, 1, 10000) == 1 &&
            ::read(fds[0], &firstStep, sizeof firstStep) != sizeof firstStep) {
            firstStep = -1;
        }
        ::close(fds[0]);
        // Somewhere in the next writes, whatever a write costs on this disk: in the middle of
        // writing, before or after the rename, or in between.
        const auto span = static_cast<int>(std::clamp<std::int64_t>(firstStep, 1, 100000));
        ::usleep(static_cast<useconds_t>(std::uniform_int_distribution<int>(0, span)(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_GE(firstStep, 0) << "writer " << kill << " made no write within 10 s";
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "writer " << kill << " stopped by itself (status " << status << ")";

        const std::optional<std::string> now = slurp(ini);
        ASSERT_TRUE(now.has_value()) << "sys.ini is gone after kill " << kill;
        const long after = latestStep(HeaderOptionsStore(ini).readForExport());
        ASSERT_GT(after, step) << "the writer's first write is lost after kill " << kill;
        ASSERT_EQ(*now, fileAfterStep(after)) << "kill " << kill << " left a broken file";
        step = after;

        const std::optional<std::string> prepared = slurp(fresh);
        if (prepared) {
            ASSERT_EQ(*prepared, kPrepared) << "kill " << kill << " left a broken fresh file";
        } else {
            ++freshSeenMissing;
        }
        // Whatever is left beside the files belongs to the writer just killed: the temporary
        // files of every writer before it were taken away by the next one's writes.
        const std::vector<std::string> stray = strayEntries(dir.path());
        for (const std::string& name : stray) {
            ASSERT_TRUE(isTemporaryOf(name, child))
                << "after kill " << kill << ": " << name << " (writer " << child << ")";
        }
        killsThatLeftTemporaries += stray.empty() ? 0 : 1;
    }
    // One ordinary write of each file takes away what the last writer left.
    HeaderOptionsStore(ini).writeKey(kKeys[(step + 1) % 4], std::to_string(step + 1));
    fs::remove(fresh);
    EXPECT_EQ(HeaderOptionsStore(fresh).prepareForEditing().StartTitleRow, "1");
    EXPECT_EQ(strayEntries(dir.path()), std::vector<std::string>{});
    EXPECT_EQ(slurp(ini).value_or(""), fileAfterStep(step + 1));
    std::cout << "[ figures  ] " << kKills << " kills, " << step - 3 << " writes, "
              << killsThatLeftTemporaries << " kills left a temporary file, fresh file missing "
              << freshSeenMissing << " times, in " << dir.path().parent_path() << "\n";
}

TEST(HeaderOptionsCrash, OnlyTemporariesOfEndedProcessesAreRemoved) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    spit(ini, "[option]\r\nStartTitleRow=1\r\n");

    const pid_t ended = ::fork();
    ASSERT_GE(ended, 0);
    if (ended == 0) {
        ::_exit(0);
    }
    ASSERT_EQ(::waitpid(ended, nullptr, 0), ended);
    const pid_t running = ::fork();
    ASSERT_GE(running, 0);
    if (running == 0) {
        ::pause();
        ::_exit(0);
    }
    const std::string endedTemp = ".sys.ini.tmp." + std::to_string(ended) + ".0";
    const std::string olderStyle = "sys.ini.tmp." + std::to_string(ended) + ".7";
    const std::string runningTemp = ".sys.ini.tmp." + std::to_string(running) + ".0";
    const std::string ownTemp = ".sys.ini.tmp." + std::to_string(::getpid()) + ".99";
    const std::string otherFile = ".other.ini.tmp." + std::to_string(ended) + ".0";
    const std::string notAPid = ".sys.ini.tmp.abc.0";
    for (const std::string& name :
         {endedTemp, olderStyle, runningTemp, ownTemp, otherFile, notAPid}) {
        spit(dir / name, "StartTitleRow=half");
    }
    // Left-behind files change nothing a read sees.
    EXPECT_EQ(HeaderOptionsStore(ini).readForExport().StartTitleRow, "1");

    HeaderOptionsStore(ini).writeKey("EndTitleRow", "2");
    ::kill(running, SIGKILL);
    ::waitpid(running, nullptr, 0);

    std::vector<std::string> left = strayEntries(dir.path());
    std::sort(left.begin(), left.end());
    std::vector<std::string> expected{runningTemp, ownTemp, otherFile, notAPid};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(left, expected);
    EXPECT_EQ(slurp(ini).value_or(""), "[option]\r\nStartTitleRow=1\r\nEndTitleRow=2\r\n");
}

TEST(HeaderOptionsCrash, PreparingAMissingFileNeverShowsItEmpty) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    // A reader running alongside sees the file missing or complete, never empty.
    const pid_t reader = ::fork();
    ASSERT_GE(reader, 0);
    if (reader == 0) {
        for (;;) {
            const std::optional<std::string> seen = slurp(ini);
            if (seen && *seen != kPrepared) {
                ::_exit(1);
            }
        }
    }
    std::string failure;
    try {
        for (int i = 0; i < 100; ++i) {
            fs::remove(ini);
            HeaderOptionsStore(ini).prepareForEditing();
        }
    } catch (const std::exception& e) {
        failure = e.what();
    }
    ::kill(reader, SIGKILL);
    EXPECT_EQ(failure, "");
    int status = 0;
    ASSERT_EQ(::waitpid(reader, &status, 0), reader);
    EXPECT_TRUE(WIFSIGNALED(status)) << "the reader saw a file that was neither missing nor whole";
}

TEST(HeaderOptionsFaults, AWriteThatFindsNoSpaceKeepsTheOldFileAndLeavesNothing) {
    TempDir dir;
    const fs::path ini = dir / "sys.ini";
    const std::string before = "[other]\r\nkeep=1\r\n[option]\r\nStartTitleRow=1\r\n";
    spit(ini, before);
    {
        // Room for part of the new file only.
        test::FullDisk full(dir.path(), 1000);
        try {
            HeaderOptionsStore(ini).writeKey("EndTitleCol", std::string(3000, 'A'));
            ADD_FAILURE() << "a write onto a full disk succeeded";
        } catch (const OptionsWriteError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to write to " + ini.string());
        }
    }
    EXPECT_EQ(slurp(ini).value_or(""), before);
    EXPECT_TRUE(strayEntries(dir.path()).empty());
}

} // namespace
} // namespace quenly
