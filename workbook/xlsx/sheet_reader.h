// The worksheet part of an .xlsx package (xl/worksheets/sheetN.xml).
#pragma once

#include "workbook.h"
#include "xlsx/xlsx_styles_reader.h"
#include "xlsx/zip_reader.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quenly::wb::xlsx_read {

/// Reads the worksheet part `part` of `zip` into `sheet` of `book`: cells with their formats
/// through `styles`, texts through `sharedStrings` (the index in book.strings of each item of the
/// shared strings part), rows, column formats, merges and the sheet's default sizes. Throws
/// WorkbookError naming the file, the part and the line for malformed XML and for cells, rows or
/// columns that are invalid, refer to nothing or lie beyond the sheet.
void readSheetPart(const ZipReader& zip, const std::string& part, Workbook& book, Worksheet& sheet,
                   const ReadStyles& styles, const std::vector<std::uint32_t>& sharedStrings);

} // namespace quenly::wb::xlsx_read
