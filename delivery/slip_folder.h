// A folder of per-person files written all or nothing: each file under a temporary name first,
// then flushed once and renamed into place together.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace quenly::delivery {

/// Removes from `folder` the temporary files of runs that were killed before they could clean
/// up: regular files of this user under the temporary names SlipFolder gives
/// (".NAME.pdf.tmp.PID.N") whose writing process has ended. Nothing else in the folder is touched;
/// never throws.
void removeStaleTemporaries(const std::filesystem::path& folder);

/// The files of one run in `folder`. Files are made 0600 and folders 0700, whatever the umask,
/// since each file holds a person's pay. Until commit() nothing is under a final name; if the
/// object goes without a commit, or the commit fails, everything this run wrote is removed (the
/// temporaries, files it renamed into place, folders it made that are empty again) and nothing
/// that was there before.
class SlipFolder {
public:
    SlipFolder(std::filesystem::path folder, bool overwrite);
    ~SlipFolder();
    SlipFolder(const SlipFolder&) = delete;
    SlipFolder& operator=(const SlipFolder&) = delete;

    const std::filesystem::path& folder() const { return m_folder; }

    /// Of `names`, those already in the folder (as any kind of entry) that this run may not
    /// replace: all of them without overwrite; with it, those that are not regular files (a
    /// folder or a link is never replaced). Throws DeliveryError when `folder` is there but is
    /// no folder.
    std::vector<std::string> inTheWay(const std::vector<std::string>& names) const;

    /// Makes the folder, and its missing parents, with mode 0700, and removes the temporaries an
    /// earlier run left there when it ended before its commit (removeStaleTemporaries). Throws
    /// DeliveryError.
    void make();

    /// Writes `bytes` to a new temporary file in the folder that commit() renames to `name`.
    /// May be called from several threads at once. Throws DeliveryError (disk full, no right).
    void put(const std::string& name, std::string_view bytes);

    /// Flushes all files to disk once, renames them to their names and flushes the folder.
    /// Throws DeliveryError after removing what this run wrote.
    void commit();

private:
    struct Entry {
        std::string name;
        std::filesystem::path temporary;
        bool placed = false;
        bool replaced = false; // a file of this name was there before
    };
    void rollBack() noexcept;

    std::filesystem::path m_folder;
    bool m_overwrite;
    std::vector<std::filesystem::path> m_made; // folders this run made, innermost last
    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    bool m_committed = false;
};

} // namespace quenly::delivery
