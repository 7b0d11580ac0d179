// The automation objects of one workbook: the workbook, its worksheets, a worksheet and a range,
// each with the table of its members.
#include "server/instance_objects.h"
#include "server/range_address.h"
#include "text_util.h"

#include <algorithm>
#include <cmath>
#include <filesystem>

namespace quenly::wb {

void BookObject::check() const {
    if (!m_book->open) {
        throw AutomationError("工作簿" + inQuotes(bookName(*m_book)) + "已关闭，不能再对它操作");
    }
}

std::string BookObject::bookName(const OpenBook& b) {
    if (b.book->sourceName.empty()) {
        return "新工作簿";
    }
    return std::filesystem::path(b.book->sourceName).filename().string();
}

void BookObject::activateSheet(std::size_t sheet) {
    m_book->book->activeSheet = sheet;
    if (std::find(m_state->books.begin(), m_state->books.end(), m_book) != m_state->books.end()) {
        m_state->active = m_book;
    }
}

namespace {

class RangeObject final : public TableObject<RangeObject, BookObject> {
public:
    RangeObject(std::shared_ptr<InstanceState> state, std::shared_ptr<OpenBook> book,
                std::size_t sheet, CellRange range)
        : TableObject(std::move(state), std::move(book))
        , m_sheet(sheet)
        , m_range(range) {}

    static const std::array<Member<RangeObject>, 5> kMembers;

private:
    const Worksheet& sheet() const { return m_book->book->sheet(m_sheet); }

    Variant value() const {
        if (m_range.firstRow != m_range.lastRow || m_range.firstCol != m_range.lastCol) {
            throw AutomationError("区域 " + rangeAddress(m_range) +
                                  " 包含多个单元格，只能读取单个单元格的值");
        }
        const Cell* c = sheet().cell(m_range.firstRow, m_range.firstCol);
        if (!c) {
            return {};
        }
        switch (c->type) {
        case CellType::Empty:
            return {};
        case CellType::Number:
            return Variant(c->number);
        case CellType::Text:
            return Variant(m_book->book->strings.at(c->text).text);
        case CellType::Bool:
            return Variant(c->boolean);
        case CellType::Error:
            return Variant(static_cast<CellErrorCode>(c->error));
        }
        return {};
    }

    double widthOf(std::uint32_t col) const {
        const ColumnInfo& info = sheet().column(col);
        if (info.hidden) {
            return 0;
        }
        return info.width > 0 ? info.width : sheet().defaultColumnWidth;
    }

    // The width shared by every column of the range; empty when they differ.
    Variant columnWidth() const {
        const double first = widthOf(m_range.firstCol);
        for (std::uint32_t c = m_range.firstCol + 1; c <= m_range.lastCol; ++c) {
            if (widthOf(c) != first) {
                return {};
            }
        }
        return Variant(first);
    }

    void setColumnWidth(double width) {
        if (!std::isfinite(width) || width < 0 || width > 255) {
            throw AutomationError("列宽必须在 0 到 255 之间，收到 " +
                                  describeVariant(Variant(width)));
        }
        Worksheet& ws = m_book->book->sheet(m_sheet);
        for (std::uint32_t c = m_range.firstCol; c <= m_range.lastCol; ++c) {
            ColumnInfo& info = ws.columnForWrite(c);
            if (width == 0) {
                info.hidden = true; // the width stays, for when the column is shown again
            } else {
                info.width = width;
                info.customWidth = true;
                info.hidden = false;
            }
        }
    }

    std::size_t m_sheet;
    CellRange m_range;
};

const std::array<Member<RangeObject>, 5> RangeObject::kMembers{{
    {"Value", Calls::Get, 0, [](RangeObject& o, const Call&) { return o.value(); }},
    {"ColumnWidth", Calls::Get | Calls::Put, 0,
     [](RangeObject& o, const Call& c) -> Variant {
         if (c.kind == CallKind::PropertyPut) {
             o.setColumnWidth(numberArg(c.member, c.args, 0));
             return {};
         }
         return o.columnWidth();
     }},
    {"Copy", Calls::Method, 0,
     [](RangeObject& o, const Call&) -> Variant {
         o.m_state->server->clipboard.copy(o.m_book, o.m_sheet, o.m_range);
         return {};
     }},
    {"Select", Calls::Method, 0,
     [](RangeObject& o, const Call&) -> Variant {
         o.m_book->selections[o.m_sheet] = o.m_range;
         return {};
     }},
    {"Address", Calls::Value, 0,
     [](RangeObject& o, const Call&) { return Variant(rangeAddress(o.m_range)); }},
}};

class WorksheetObject final : public TableObject<WorksheetObject, BookObject> {
public:
    WorksheetObject(std::shared_ptr<InstanceState> state, std::shared_ptr<OpenBook> book,
                    std::size_t sheet)
        : TableObject(std::move(state), std::move(book))
        , m_sheet(sheet) {}

    static const std::array<Member<WorksheetObject>, 4> kMembers;

private:
    void paste() {
        auto it = m_book->selections.find(m_sheet);
        const CellRange at = it != m_book->selections.end() ? it->second : CellRange{};
        m_book->selections[m_sheet] =
            m_state->server->clipboard.paste(*m_book, m_sheet, at.firstRow, at.firstCol);
    }

    void rename(const std::string& name) {
        const auto characters = std::count_if(name.begin(), name.end(), [](char ch) {
            return (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
        });
        if (name.empty() || characters > 31 ||
            name.find_first_of(":\\/?*[]") != std::string::npos) {
            throw AutomationError(
                "工作表名称" + inQuotes(name) +
                "无效：名称不能为空，不能超过 31 个字符，也不能含有 : \\ / ? * [ ]");
        }
        Workbook& b = *m_book->book;
        for (std::size_t i = 0; i < b.sheetCount(); ++i) {
            if (i != m_sheet && equalsIgnoreAsciiCase(b.sheet(i).name(), name)) {
                throw AutomationError("工作表名称" + inQuotes(name) +
                                      "已被同一工作簿中的另一张工作表使用");
            }
        }
        b.sheet(m_sheet).setName(name);
    }

    std::size_t m_sheet;
};

const std::array<Member<WorksheetObject>, 4> WorksheetObject::kMembers{{
    {"Activate", Calls::Method, 0,
     [](WorksheetObject& o, const Call&) -> Variant {
         o.activateSheet(o.m_sheet);
         return {};
     }},
    {"Paste", Calls::Method, 0,
     [](WorksheetObject& o, const Call&) -> Variant {
         o.paste();
         return {};
     }},
    {"Name", Calls::Get | Calls::Put, 0,
     [](WorksheetObject& o, const Call& c) -> Variant {
         if (c.kind == CallKind::PropertyPut) {
             o.rename(textArg(c.member, c.args, 0));
             return {};
         }
         return Variant(o.m_book->book->sheet(o.m_sheet).name());
     }},
    {"Range", Calls::Value, 1,
     [](WorksheetObject& o, const Call& c) {
         return makeRangeObject(o.m_state, o.m_book, o.m_sheet,
                                parseRangeAddress(textArg(c.member, c.args, 0)));
     }},
}};

std::size_t sheetIndex(const OpenBook& b, std::int64_t index) {
    const std::size_t count = b.book->sheetCount();
    if (index < 1 || static_cast<std::uint64_t>(index) > count) {
        throw AutomationError("工作簿中没有第 " + std::to_string(index) + " 张工作表（共 " +
                              std::to_string(count) + " 张）");
    }
    return static_cast<std::size_t>(index - 1);
}

class WorksheetsObject final : public TableObject<WorksheetsObject, BookObject> {
public:
    using TableObject::TableObject;

    static const std::array<Member<WorksheetsObject>, 2> kMembers;
};

const std::array<Member<WorksheetsObject>, 2> WorksheetsObject::kMembers{{
    {"Item", Calls::Value, 1,
     [](WorksheetsObject& o, const Call& c) {
         return makeWorksheetObject(o.m_state, o.m_book,
                                    sheetIndex(*o.m_book, indexArg(c.member, c.args, 0)));
     }},
    {"Count", Calls::Value, 0,
     [](WorksheetsObject& o, const Call&) {
         return Variant(static_cast<std::int32_t>(o.m_book->book->sheetCount()));
     }},
}};

class WorkbookObject final : public TableObject<WorkbookObject, BookObject> {
public:
    using TableObject::TableObject;

    static const std::array<Member<WorkbookObject>, 3> kMembers;
};

const std::array<Member<WorkbookObject>, 3> WorkbookObject::kMembers{{
    {"Worksheets", Calls::Value, kOptionalIndex,
     [](WorkbookObject& o, const Call& c) { return worksheets(o.m_state, o.m_book, c); }},
    {"Activate", Calls::Method, 0,
     [](WorkbookObject& o, const Call&) -> Variant {
         o.activateSheet(o.m_book->book->activeSheet);
         return {};
     }},
    {"Name", Calls::Value, 0,
     [](WorkbookObject& o, const Call&) { return Variant(bookName(*o.m_book)); }},
}};

} // namespace

Variant makeWorkbookObject(const std::shared_ptr<InstanceState>& state,
                           const std::shared_ptr<OpenBook>& book) {
    return Variant(std::make_shared<WorkbookObject>(state, book));
}

Variant makeWorksheetObject(const std::shared_ptr<InstanceState>& state,
                            const std::shared_ptr<OpenBook>& book, std::size_t sheet) {
    return Variant(std::make_shared<WorksheetObject>(state, book, sheet));
}

Variant makeRangeObject(const std::shared_ptr<InstanceState>& state,
                        const std::shared_ptr<OpenBook>& book, std::size_t sheet,
                        const CellRange& range) {
    return Variant(std::make_shared<RangeObject>(state, book, sheet, range));
}

Variant worksheets(const std::shared_ptr<InstanceState>& state,
                   const std::shared_ptr<OpenBook>& book, const Call& call) {
    if (call.args.empty()) {
        return Variant(std::make_shared<WorksheetsObject>(state, book));
    }
    requireArgs(call.member, call.args, 1);
    return makeWorksheetObject(state, book, sheetIndex(*book, indexArg(call.member, call.args, 0)));
}

} // namespace quenly::wb
