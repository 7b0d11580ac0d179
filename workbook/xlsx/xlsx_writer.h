// Writing the in-memory workbook as an .xlsx file, streaming, with zip64 where needed.
#pragma once

#include "workbook.h"

#include <filesystem>

namespace quenly::wb {

struct WriteOptions {
    /// Threads that compress the sheet data (the caller's thread included); 0 = all cores.
    unsigned threads = 0;
};

/// Writes `book` to `file` (overwriting it). Throws WorkbookError naming the file and the fault.
/// Callers that must not leave a half file behind write to a temporary name and rename it
/// (see saveWorkbook).
void writeXlsx(const Workbook& book, const std::filesystem::path& file,
               const WriteOptions& options = {});

} // namespace quenly::wb
