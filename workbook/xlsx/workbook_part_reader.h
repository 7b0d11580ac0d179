// The workbook part of an .xlsx package (xl/workbook.xml): its sheets, date system and active tab.
#pragma once

#include "xlsx/zip_reader.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quenly::wb::xlsx_read {

/// A sheet as the workbook part lists it: its name and the id of its relationship.
struct SheetEntry {
    std::string name;
    std::string relId;
};

struct WorkbookPart {
    std::vector<SheetEntry> sheets;
    bool date1904 = false;
    /// The tab of the first workbook view, counting every sheet of `sheets` from 0.
    std::size_t activeTab = 0;
};

/// Reads the workbook part `part`. Throws WorkbookError for malformed XML.
WorkbookPart readWorkbookPart(const ZipReader& zip, std::string_view part);

} // namespace quenly::wb::xlsx_read
