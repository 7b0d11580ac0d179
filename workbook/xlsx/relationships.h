// The relationships of an .xlsx package: which part each part points at, resolved to part names.
#pragma once

#include "xlsx/zip_reader.h"

#include <string>
#include <string_view>
#include <vector>

namespace quenly::wb::xlsx_read {

/// One relationship of a part.
struct Relationship {
    std::string id;
    std::string type;     // the last segment of the type URI: "worksheet", "styles", ...
    std::string target;   // the part name, resolved against the source part
    std::string raw;      // the target as written
    bool outside = false; // the target lies outside the package (a URL, a path above its root)
};

/// The relationships of part `source` ("" for the package's own, _rels/.rels); none when the
/// relationships part is missing. Throws WorkbookError for malformed XML.
std::vector<Relationship> readRels(const ZipReader& zip, std::string_view source);

/// The first relationship of `type`, or nullptr.
const Relationship* findByType(const std::vector<Relationship>& rels, std::string_view type);

} // namespace quenly::wb::xlsx_read
