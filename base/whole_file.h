// Writing a file whole or not at all: the one way the program replaces a file on disk.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quenly::files {

/// A file being written whole or not at all. Its bytes go to a temporary file in the target's
/// folder, which is flushed to disk and renamed over the target only when complete; the folder
/// is then flushed as well, so that the rename lasts. Until then the target is untouched, and a
/// temporary file that was not renamed is removed when the object goes.
///
/// The temporary file is hidden and named after the target and this process,
/// ".<name>.tmp.<pid>.<n>", or ".quenly-save.tmp.<pid>.<n>" when the target's name is too long
/// for that. It is made with `mode` less the umask: by default 0600, readable by its owner
/// alone, because the files the program writes hold every person's pay.
class WholeFile {
public:
    /// Permissions of a file only its owner may read and write.
    static constexpr unsigned kPrivate = 0600;
    /// Permissions any new file gets, less the umask.
    static constexpr unsigned kShared = 0666;

    /// Makes the temporary file with `mode` (less the umask); error() says whether that worked.
    explicit WholeFile(std::filesystem::path target, unsigned mode = kPrivate);
    ~WholeFile();
    WholeFile(const WholeFile&) = delete;
    WholeFile& operator=(const WholeFile&) = delete;

    /// 0 once the temporary file is made, else the errno of the fault.
    int error() const { return m_error; }
    /// The temporary file (empty when it could not be made) and its descriptor (-1 then).
    const std::filesystem::path& temporary() const { return m_temporary; }
    int fd() const { return m_fd; }

    /// Writes all of `size` bytes at `data` to the temporary file; 0 or the errno of the fault
    /// (a write that takes nothing counts as a full disk).
    int write(const void* data, std::size_t size);

    /// Flushes the temporary file to disk, closes it, renames it to the target and flushes the
    /// folder; 0, or the errno of the fault, after which the temporary file is gone.
    int commit();

private:
    std::filesystem::path m_target;
    std::filesystem::path m_temporary;
    int m_fd = -1;
    int m_error = 0;
};

/// Writes all of `size` bytes at `data` to `fd`, again after an interruption; 0 or the errno of
/// the fault (a write that takes nothing counts as a full disk).
int writeAll(int fd, const void* data, std::size_t size);

/// Whether `name` is the name of a temporary file of WholeFile, and if so the name of its target:
/// empty for the short name used when the target's name is too long.
std::optional<std::string> temporaryTargetName(std::string_view name);

/// Removes the temporary files of `target` that writers killed before their rename have left
/// behind: those whose process no longer runs (files of running processes, this one included,
/// are theirs to finish). Also takes the names "<name>.tmp.<pid>.<n>" that earlier versions of
/// the options store used.
void removeStaleTemporaries(const std::filesystem::path& target);

} // namespace quenly::files
