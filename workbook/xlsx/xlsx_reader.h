// Reading .xlsx workbooks (SpreadsheetML, transitional and strict) into the in-memory workbook.
#pragma once

#include "workbook.h"

#include <filesystem>
#include <memory>

namespace quenly::wb {

struct ReadOptions {
    /// Read the cells of every sheet; otherwise only the first worksheet's cells are read and the
    /// other sheets are present with their names only.
    bool allSheets = false;
};

/// Reads an .xlsx file. Throws WorkbookError naming the file, the part and the fault (a missing
/// part, malformed XML with its line, an encrypted package, ...). Never writes to the file.
std::unique_ptr<Workbook> readXlsx(const std::filesystem::path& file,
                                   const ReadOptions& options = {});

} // namespace quenly::wb
