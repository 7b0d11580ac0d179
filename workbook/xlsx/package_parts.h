// The small parts of an .xlsx package, each made whole in memory.
#pragma once

#include "workbook.h"

#include <cstddef>
#include <string>

namespace quenly::wb::xlsx_write {

/// [Content_Types].xml for a package of `sheets` worksheets, the styles and the shared strings.
std::string contentTypesXml(std::size_t sheets);
/// _rels/.rels: the workbook part and the document properties.
std::string rootRelsXml();
/// docProps/app.xml: the application and the sheet names.
std::string appXml(const Workbook& book);
/// docProps/core.xml: creator and the times of creation and change (now).
std::string coreXml();
/// xl/workbook.xml: the sheets (worksheet k is sheet k + 1), the active one, the date system
/// and the print areas of the sheets' page set-ups.
std::string workbookXml(const Workbook& book);
/// xl/_rels/workbook.xml.rels: the worksheets, then the styles and the shared strings.
std::string workbookRelsXml(std::size_t sheets);

} // namespace quenly::wb::xlsx_write
