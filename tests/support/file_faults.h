// Faults of the file system made to order, so that tests of failure paths run as any user: a disk
// that fills up. Writes are intercepted in the test program itself; nothing is mounted.
#pragma once

#include <cstdint>
#include <filesystem>

namespace quenly::test {

/// While it lives, writes (write, pwrite) to files under `dir` succeed for `room` bytes in all;
/// then they fail with ENOSPC, as on a full disk. Other files are written as usual. One at a time.
class FullDisk {
public:
    FullDisk(const std::filesystem::path& dir, std::uint64_t room);
    ~FullDisk();
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    /// Bytes refused so far.
    std::uint64_t refused() const;
};

} // namespace quenly::test
