// Opening and saving workbook files by their content, whatever their name says.
#pragma once

#include "workbook.h"

#include <filesystem>
#include <memory>
#include <string>

namespace quenly::wb {

/// Opens the workbook at `file`, choosing the reader by the file's content (zip package or
/// compound file). A missing file, a directory, a path that is not a regular file (a named pipe,
/// a device or a socket: refused before anything opens it, since opening one may never return),
/// a file that is not a workbook (HTML, CSV, text, ...; the message says what it is), an
/// encrypted or corrupt workbook throw WorkbookError with a message that names the file and the
/// fault. The file is only read.
std::unique_ptr<Workbook> loadWorkbook(const std::filesystem::path& file,
                                       const ReadOptions& options = {});

/// For a file that is neither a compound file nor a zip package: a complete message, in Chinese
/// and naming the file, that says what the file really holds (an empty file, an HTML page or
/// table, SpreadsheetML 2003 XML, CSV or other text, a PDF, unknown binary data) and what the
/// user can do. Never throws; an unreadable file gives a message saying so.
std::string describeNonWorkbook(const std::filesystem::path& file);

/// Saves `book` as .xlsx at `file`: written to a temporary name beside it and renamed when
/// complete, so an interrupted write leaves no half file under the final name.
void saveWorkbook(const Workbook& book, const std::filesystem::path& file);

} // namespace quenly::wb
