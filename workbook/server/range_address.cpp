// Addresses of the automation objects: the refusals in the words of the spreadsheet's messages.
#include "server/range_address.h"

#include "spreadsheet_automation.h"
#include "text_util.h"

namespace quenly::wb {

CellRange parseRangeAddress(std::string_view address) {
    if (address.empty()) {
        throw AutomationError("单元格地址为空");
    }
    const cells::ParsedRange r = cells::parseRangeAddress(address, {true, true});
    if (r.ok()) {
        return {r.firstRow, r.firstCol, r.lastRow, r.lastCol};
    }
    const std::string invalid = "单元格地址" + inQuotes(address) + "无效";
    switch (r.fault) {
    case cells::AddressFault::None:
    case cells::AddressFault::Malformed:
        throw AutomationError(invalid);
    case cells::AddressFault::NoColumn:
        throw AutomationError(invalid + "：缺少列字母");
    case cells::AddressFault::RowBelowOne:
        throw AutomationError(invalid + "：行号必须在 1 到 1048576 之间");
    case cells::AddressFault::RowBeyondSheet:
        throw AutomationError("单元格地址" + inQuotes(address) +
                              "超出了工作表的最后一行（工作表最多有 1048576 行）");
    case cells::AddressFault::ColumnBeyondSheet:
        throw AutomationError(invalid + "：列超出了最后一列 XFD");
    }
    throw AutomationError(invalid);
}

std::string rangeAddress(const CellRange& range) {
    return cells::rangeAddress(range.firstRow, range.firstCol, range.lastRow, range.lastCol);
}

} // namespace quenly::wb
