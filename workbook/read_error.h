// A reader's fault with its parts as fields (the file, the part or record, the position, what is
// wrong), and the one place its message is made.
#pragma once

#include "workbook.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace quenly::wb {

/// Where a reader met a fault in a file, and what the fault is.
struct ReadFault {
    /// How the message speaks of the file: “file”已损坏：… for a damaged package part,
    /// 无法读取“file”：… for a file the .xls reader cannot read, or “file” followed by the fault
    /// for what the file is ("是空文件，…").
    enum class Kind : std::uint8_t {
        Damaged,
        Unreadable,
        Named,
    };
    ReadFault(Kind kind, std::string file, std::string part = {})
        : kind(kind)
        , file(std::move(file))
        , part(std::move(part)) {}

    Kind kind;
    /// The file as the user named it.
    std::string file;
    /// The part of the package, or the stream of the compound file, where the fault lies; empty
    /// when it concerns the file as a whole.
    std::string part;
    /// .xls: the sheet whose records were being read, and the record at fault as messages name
    /// it ("LABELSST 记录（0x00FD）").
    std::string sheet;
    std::string record;
    /// Where in the part: its line and column (0 when not known) ...
    std::uint64_t line = 0;
    std::uint64_t column = 0;
    /// ... or where the record starts in the stream.
    std::optional<std::uint64_t> offset;
    /// What is wrong.
    std::string fault;
};

/// The message of `f` in words for the user:
///   Damaged:    “file”已损坏：部件<part>第<line>行：<fault>。 (第<line>行第<column>列的<fault>。
///               with a column; without a line just <fault>。)
///   Unreadable: 无法读取“file”：[工作表“sheet”中，][“part”流偏移 <offset> 处[的 <record>]]<fault>
///   Named:      “file”<fault>
std::string describeReadFault(const ReadFault& f);

/// A reader's fault; what() is describeReadFault(fault()).
class ReadError : public WorkbookError {
public:
    explicit ReadError(ReadFault fault);
    const ReadFault& fault() const { return m_fault; }

private:
    ReadFault m_fault;
};

} // namespace quenly::wb
