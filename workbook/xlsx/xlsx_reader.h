// Reading .xlsx workbooks (SpreadsheetML, transitional and strict) into the in-memory workbook.
#pragma once

#include "workbook.h"

#include <filesystem>
#include <memory>

namespace quenly::wb {

/// Reads an .xlsx file. Throws WorkbookError naming the file, the part and the fault (a missing
/// part, malformed XML with its line, an encrypted package, ...). Never writes to the file.
std::unique_ptr<Workbook> readXlsx(const std::filesystem::path& file,
                                   const ReadOptions& options = {});

} // namespace quenly::wb
