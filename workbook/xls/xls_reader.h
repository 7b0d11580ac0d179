// Reading .xls workbooks (BIFF5, BIFF7 and BIFF8 in a compound file) into the in-memory workbook.
#pragma once

#include "workbook.h"
#include "xlsx_reader.h" // ReadOptions

#include <filesystem>
#include <memory>

namespace quenly::wb {

/// Reads an .xls file. Throws WorkbookError naming the file, the stream or record, the position
/// and the fault (a password-protected workbook says so). Never writes to the file.
std::unique_ptr<Workbook> readXls(const std::filesystem::path& file,
                                  const ReadOptions& options = {});

} // namespace quenly::wb
