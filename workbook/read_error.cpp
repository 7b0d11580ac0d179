// The messages of the readers' faults, made from their parts.
#include "read_error.h"

#include "text_util.h"

namespace quenly::wb {

namespace {

std::string damaged(const ReadFault& f) {
    std::string msg = inQuotes(f.file) + "已损坏：";
    if (f.line > 0) {
        msg += "部件" + f.part + "第" + std::to_string(f.line) + "行";
        msg += f.column > 0 ? "第" + std::to_string(f.column) + "列的" : std::string("：");
    }
    return msg + f.fault + "。";
}

std::string unreadable(const ReadFault& f) {
    std::string msg = "无法读取" + inQuotes(f.file) + "：";
    if (!f.sheet.empty()) {
        msg += "工作表" + inQuotes(f.sheet) + "中，";
    }
    if (f.offset) {
        msg += inQuotes(f.part) + "流偏移 " + std::to_string(*f.offset) + " 处";
        if (!f.record.empty()) {
            msg += "的 " + f.record;
        }
    }
    return msg + f.fault;
}

} // namespace

std::string describeReadFault(const ReadFault& f) {
    switch (f.kind) {
    case ReadFault::Kind::Damaged:
        return damaged(f);
    case ReadFault::Kind::Unreadable:
        return unreadable(f);
    case ReadFault::Kind::Named:
        break;
    }
    return inQuotes(f.file) + f.fault;
}

ReadError::ReadError(ReadFault fault)
    : WorkbookError(describeReadFault(fault))
    , m_fault(std::move(fault)) {}

} // namespace quenly::wb
