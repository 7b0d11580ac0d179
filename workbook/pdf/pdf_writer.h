// Writes a result sheet as a PDF of whole slips, without any spreadsheet application.
#pragma once

#include <filesystem>
#include <functional>

#include "workbook.h"

namespace quenly::wb::pdf {

struct PdfOptions {
    /// A thin dashed line across the empty row between two slips, to cut along.
    bool cutLines = true;
    /// Called now and then with pages done and pages in all; may be empty.
    std::function<void(std::size_t done, std::size_t total)> progress;
};

/// Writes the active sheet of `book` to `file` as PDF, on the pages of its page set-up when it has
/// one (print::setUpPages gives a result its set-up before it is saved), or else laid out as
/// print::layoutPages lays it out. Writes to a temporary name beside `file` and renames it, so
/// `file` is complete or untouched; an empty sheet gives one blank page. Throws WorkbookError
/// naming the file when it cannot be written (no folder, no permission, disk full); an exception
/// thrown by `progress` passes through. Either way no file is left behind.
void writePdf(const Workbook& book, const std::filesystem::path& file,
              const PdfOptions& options = {});

} // namespace quenly::wb::pdf
