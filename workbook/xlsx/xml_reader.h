// Streaming XML parsing of one package part with expat, by local element and attribute names.
#pragma once

#include "xlsx/zip_reader.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quenly::wb::xlsx_read {

/// A fault in the content of a part (a bad cell address, an index out of range). Thrown from a
/// handler, it becomes a WorkbookError naming the file, the part and the line.
class ContentFault : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// The attributes of one element, as expat gives them (name, value, name, value, ..., null).
class Attributes {
public:
    explicit Attributes(const char** list)
        : m_list(list) {}
    /// The value of the attribute whose local name (after any prefix) is `name`, or nullptr.
    const char* get(std::string_view name) const;
    /// The raw list, for loops over every attribute.
    const char** list() const { return m_list; }

private:
    const char** m_list;
};

/// Receives the events of one part. Names are local names: any namespace prefix is removed, so
/// transitional and strict SpreadsheetML read alike.
class XmlHandler {
public:
    virtual ~XmlHandler() = default;
    virtual void startElement(std::string_view name, const Attributes& attributes) = 0;
    virtual void endElement(std::string_view name) = 0;
    /// Character data; only called while wantText() is true.
    virtual void text(const char* data, std::size_t size) = 0;
    bool wantText = false;
};

/// What a part may inflate to, by its kind: far above what real files hold, far below what
/// would exhaust the memory.
inline constexpr std::uint64_t kMaxSheetPart = 2ull << 30;
inline constexpr std::uint64_t kMaxSharedStringsPart = 1ull << 30;
inline constexpr std::uint64_t kMaxStylesPart = 64ull << 20;
inline constexpr std::uint64_t kMaxSmallPart = 64ull << 20; // workbook, relationships, theme

/// Elements may nest this deep; real parts nest fewer than 20 levels.
inline constexpr int kMaxXmlDepth = 256;
/// The longest single tag (with its attributes), comment or processing instruction, in bytes.
inline constexpr std::uint64_t kMaxXmlToken = 8u << 20;

/// Parses `part` of `zip`, streaming, calling `handler`; the part may inflate to `maxSize`
/// bytes. Throws WorkbookError naming the file, the part and the line for malformed XML, a
/// document type declaration (DTDs and entities are never read, so no entity is ever expanded),
/// elements nested deeper than kMaxXmlDepth, a tag longer than kMaxXmlToken, a ContentFault,
/// or a damaged or oversized part.
void parsePart(const ZipReader& zip, std::string_view part, XmlHandler& handler,
               std::uint64_t maxSize);

/// Parses XML held in memory (for tests and the fuzzer); `part` names it in messages.
void parseXml(std::string_view xml, const std::string& displayName, std::string_view part,
              XmlHandler& handler);

/// The local name: the text after the last ':'.
inline std::string_view localName(const char* name) {
    // One pass over the (short) name: called for every element and attribute.
    const char* start = name;
    const char* p = name;
    for (; *p; ++p) {
        if (*p == ':') {
            start = p + 1;
        }
    }
    return {start, static_cast<std::size_t>(p - start)};
}

} // namespace quenly::wb::xlsx_read
