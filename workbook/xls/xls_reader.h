// Reading .xls workbooks (BIFF5, BIFF7 and BIFF8 in a compound file) into the in-memory workbook.
#pragma once

#include "workbook.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace quenly::wb {

/// Reads an .xls file. Throws WorkbookError naming the file, the stream or record, the position
/// and the fault (a password-protected workbook says so). Never writes to the file.
/// A compound file that holds an encrypted .xlsx package (EncryptionInfo and EncryptedPackage
/// streams) is reported as password-protected too.
std::unique_ptr<Workbook> readXls(const std::filesystem::path& file,
                                  const ReadOptions& options = {});

/// Reads an .xls file held in memory (`size` bytes at `data`); `name` names it in messages.
/// Fails as readXls does.
std::unique_ptr<Workbook> readXlsMemory(const std::uint8_t* data, std::size_t size,
                                        const std::string& name, const ReadOptions& options = {});

} // namespace quenly::wb
