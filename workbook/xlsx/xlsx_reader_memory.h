// Reading an .xlsx package held in memory, for the fuzzer and for callers that have the bytes.
#pragma once

#include "xlsx/xlsx_reader.h"

#include <cstddef>
#include <string>

namespace quenly::wb {

/// As readXlsx, from `size` bytes at `data`; `displayName` names the package in messages.
std::unique_ptr<Workbook> readXlsxMemory(const void* data, std::size_t size,
                                         const std::string& displayName,
                                         const ReadOptions& options = {});

} // namespace quenly::wb
