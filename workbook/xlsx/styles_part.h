// The styles part of an .xlsx package (xl/styles.xml).
#pragma once

#include "workbook.h"
#include "xlsx/xml_writer.h"

#include <string>

namespace quenly::wb::xlsx_write {

/// The styles part of `styles`: cell format (xf) k is the style table's format k, so cells keep
/// their style indices; format 0 is also the Normal cell style.
std::string stylesXml(const StyleTable& styles);

/// Appends the children of <font> (of <rPr> in a rich text run when `run`, where the font's name
/// is <rFont>): bold, italic, underline, size, colour, name, family, character set, scheme.
void appendFontProperties(xml::XmlBuffer& b, const Font& f, bool run);

} // namespace quenly::wb::xlsx_write
