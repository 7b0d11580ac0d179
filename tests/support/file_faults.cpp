// A full disk made to order: this program's own write and pwrite stand in front of the C
// library's and refuse what goes to files under the chosen folder once its room is used up.
#include "file_faults.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

#include <dlfcn.h>
#include <unistd.h>

namespace {

using WriteFn = ssize_t (*)(int, const void*, size_t);
using PwriteFn = ssize_t (*)(int, const void*, size_t, off_t);

struct State {
    std::atomic<bool> armed{false};
    std::string dir; // with a trailing '/'
    std::atomic<std::uint64_t> room{0};
    std::atomic<std::uint64_t> refused{0};
};

State& state() {
    static State s;
    return s;
}

template <class Fn>
Fn next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

bool underDir(int fd) {
    char link[64];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    char target[4096];
    const ssize_t n = ::readlink(link, target, sizeof target);
    return n > 0 && std::string_view(target, static_cast<std::size_t>(n)).starts_with(state().dir);
}

// How many of `count` bytes may be written to `fd` now; -1 with errno ENOSPC when none may.
ssize_t allowed(int fd, size_t count) {
    State& s = state();
    if (!s.armed.load() || count == 0 || !underDir(fd)) {
        return static_cast<ssize_t>(count);
    }
    std::uint64_t room = s.room.load();
    std::uint64_t take = 0;
    do {
        take = std::min<std::uint64_t>(room, count);
    } while (!s.room.compare_exchange_weak(room, room - take));
    s.refused += count - take;
    if (take == 0) {
        errno = ENOSPC;
        return -1;
    }
    return static_cast<ssize_t>(take);
}

} // namespace

extern "C" ssize_t write(int fd, const void* buf, size_t count) {
    static const WriteFn real = next<WriteFn>("write");
    const ssize_t n = allowed(fd, count);
    return n < 0 ? n : real(fd, buf, static_cast<size_t>(n));
}

extern "C" ssize_t pwrite(int fd, const void* buf, size_t count, off_t offset) {
    static const PwriteFn real = next<PwriteFn>("pwrite");
    const ssize_t n = allowed(fd, count);
    return n < 0 ? n : real(fd, buf, static_cast<size_t>(n), offset);
}

namespace quenly::test {

FullDisk::FullDisk(const std::filesystem::path& dir, std::uint64_t room) {
    State& s = state();
    if (s.armed) {
        throw std::logic_error("one full disk at a time");
    }
    s.dir = std::filesystem::weakly_canonical(dir).string() + "/";
    s.room = room;
    s.refused = 0;
    s.armed = true;
}

FullDisk::~FullDisk() {
    state().armed = false;
}

std::uint64_t FullDisk::refused() const {
    return state().refused;
}

} // namespace quenly::test
