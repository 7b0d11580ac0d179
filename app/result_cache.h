// The folder the window keeps its results in (~/.cache/quenly): private to the user, and cleared
// of old results when the program starts.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <string_view>

namespace quenly::app {

/// Whether `name` is a name the window gives a result ("…工资条-YYYYMMDD-HHMMSS.xlsx", with "-N"
/// before ".xlsx" when that name was taken; see resultFileName).
bool isResultFileName(std::string_view name);

/// Whether `name` is a partial file that an interrupted save of a result leaves beside it:
/// a temporary file of files::WholeFile whose target is a result, or the short temporary name
/// used for a target whose name is too long.
bool isPartialResultName(std::string_view name);

/// Creates `folder` (and the parents it lacks) with mode 0700, and takes away what an existing
/// folder allows others. Throws std::runtime_error naming the folder when that fails.
void preparePrivateFolder(const std::filesystem::path& folder);

/// How the start-up sweep treats the results.
struct SweepRules {
    std::chrono::hours maxAge{24 * 30};
    std::size_t keep = 50;
    std::chrono::hours partialMaxAge{24};
};

/// Removes from `folder` the results older than `rules.maxAge` and those past the newest
/// `rules.keep` (by modification time), and partial files older than `rules.partialMaxAge`; the
/// results kept are made readable by their owner only. Only the program's own files are touched:
/// regular files (no links, folders or anything else) of this user whose names the program gives
/// them. Errors are ignored: a file that cannot be removed stays. Returns how many were removed.
std::size_t sweepResultFolder(const std::filesystem::path& folder,
                              std::filesystem::file_time_type now, const SweepRules& rules = {});

} // namespace quenly::app
