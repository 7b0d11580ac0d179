// The automation objects of an in-process spreadsheet instance: application, workbook and
// worksheet collections, workbooks, worksheets and ranges over the in-memory workbook.
#include "spreadsheet_server.h"
#include "text_util.h"

#include "clipboard.h"
#include "range_address.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>

namespace quenly::wb {

struct ServerShared {
    ResultHandler onVisible;
    WorkbookLoader loader;
    Clipboard clipboard;
    OpenTimings timings;
};

namespace {

using Args = std::span<const Variant>;

struct InstanceState {
    std::shared_ptr<ServerShared> server;
    bool quit = false;
    bool visible = false;
    bool displayAlerts = true;
    std::vector<std::shared_ptr<OpenBook>> books;
    std::shared_ptr<OpenBook> active;
    int booksAdded = 0;

    void closeAll() {
        for (const auto& b : books) {
            b->open = false;
            server->clipboard.forget(b->id);
        }
        books.clear();
        active.reset();
    }
};

template <std::size_t N>
int findMember(const std::array<std::string_view, N>& names, std::string_view name) {
    for (std::size_t i = 0; i < N; ++i) {
        if (equalsIgnoreAsciiCase(names[i], name)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Which ways of invoking a member are allowed.
enum KindMask : unsigned {
    kMethod = 1,
    kGet = 2,
    kPut = 4,
    // A member that yields a value may be called as a method or read as a property.
    kValue = kMethod | kGet,
};

unsigned maskOf(CallKind kind) {
    switch (kind) {
    case CallKind::Method:
        return kMethod;
    case CallKind::PropertyGet:
        return kGet;
    case CallKind::PropertyPut:
        return kPut;
    }
    return 0;
}

void requireKind(std::string_view member, CallKind kind, unsigned allowed) {
    if ((maskOf(kind) & allowed) != 0) {
        return;
    }
    std::string how;
    switch (kind) {
    case CallKind::Method:
        how = "作为方法调用";
        break;
    case CallKind::PropertyGet:
        how = "读取";
        break;
    case CallKind::PropertyPut:
        how = "赋值";
        break;
    }
    throw AutomationError("成员 " + std::string(member) + " 不能" + how);
}

void requireArgs(std::string_view member, Args args, std::size_t count) {
    if (args.size() != count) {
        throw AutomationError("成员 " + std::string(member) + " 需要 " + std::to_string(count) +
                              " 个参数，收到 " + std::to_string(args.size()) + " 个");
    }
}

[[noreturn]] void wrongArg(std::string_view member, std::size_t i, std::string_view wanted,
                           const Variant& v) {
    throw AutomationError("成员 " + std::string(member) + " 的第 " + std::to_string(i + 1) +
                          " 个参数应为" + std::string(wanted) + "，收到 " + describeVariant(v));
}

const std::string& textArg(std::string_view member, Args args, std::size_t i) {
    if (args[i].type() != Variant::Type::Text) {
        wrongArg(member, i, "文本", args[i]);
    }
    return args[i].text();
}

std::int64_t indexArg(std::string_view member, Args args, std::size_t i) {
    const Variant& v = args[i];
    if (v.type() == Variant::Type::Int) {
        return v.toInt();
    }
    if (v.type() == Variant::Type::Double) {
        const double d = v.toDouble();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) {
            return static_cast<std::int64_t>(d);
        }
    }
    wrongArg(member, i, "整数序号", v);
}

double numberArg(std::string_view member, Args args, std::size_t i) {
    const Variant& v = args[i];
    if (v.type() == Variant::Type::Int || v.type() == Variant::Type::Double) {
        return v.toDouble();
    }
    wrongArg(member, i, "数值", v);
}

bool boolArg(std::string_view member, Args args, std::size_t i) {
    const Variant& v = args[i];
    if (v.type() == Variant::Type::Bool) {
        return v.toBool();
    }
    if (v.type() == Variant::Type::Int || v.type() == Variant::Type::Double) {
        return v.toDouble() != 0;
    }
    wrongArg(member, i, "布尔值", v);
}

// Every object of an instance: refuses every call once the instance has quit.
class InstanceObject : public AutomationObject {
public:
    explicit InstanceObject(std::shared_ptr<InstanceState> state)
        : m_state(std::move(state)) {}

    Variant invoke(int memberId, CallKind kind, Args args) final {
        if (m_state->quit) {
            throw AutomationError("电子表格实例已退出");
        }
        return call(memberId, kind, args);
    }

protected:
    virtual Variant call(int memberId, CallKind kind, Args args) = 0;

    std::shared_ptr<InstanceState> m_state;
};

// An object that belongs to one workbook: refuses every call once the workbook is closed.
class BookObject : public InstanceObject {
public:
    BookObject(std::shared_ptr<InstanceState> state, std::shared_ptr<OpenBook> book)
        : InstanceObject(std::move(state))
        , m_book(std::move(book)) {}

protected:
    void requireOpen() const {
        if (!m_book->open) {
            throw AutomationError("工作簿" + inQuotes(bookName(*m_book)) +
                                  "已关闭，不能再对它操作");
        }
    }

    static std::string bookName(const OpenBook& b) {
        if (b.book->sourceName.empty()) {
            return "新工作簿";
        }
        return std::filesystem::path(b.book->sourceName).filename().string();
    }

    void activateSheet(std::size_t sheet) {
        m_book->book->activeSheet = sheet;
        if (std::find(m_state->books.begin(), m_state->books.end(), m_book) !=
            m_state->books.end()) {
            m_state->active = m_book;
        }
    }

    std::shared_ptr<OpenBook> m_book;
};

class RangeObject final : public BookObject {
public:
    RangeObject(std::shared_ptr<InstanceState> state, std::shared_ptr<OpenBook> book,
                std::size_t sheet, CellRange range)
        : BookObject(std::move(state), std::move(book))
        , m_sheet(sheet)
        , m_range(range) {}

    int memberId(std::string_view name) const override { return findMember(kNames, name); }

protected:
    Variant call(int memberId, CallKind kind, Args args) override {
        requireOpen();
        const std::string_view member = kNames.at(static_cast<std::size_t>(memberId));
        switch (memberId) {
        case kValue:
            requireKind(member, kind, kGet);
            requireArgs(member, args, 0);
            return value();
        case kColumnWidth:
            requireKind(member, kind, kGet | kPut);
            if (kind == CallKind::PropertyPut) {
                requireArgs(member, args, 1);
                setColumnWidth(numberArg(member, args, 0));
                return {};
            }
            requireArgs(member, args, 0);
            return columnWidth();
        case kCopy:
            requireKind(member, kind, kMethod);
            requireArgs(member, args, 0);
            m_state->server->clipboard.copy(m_book, m_sheet, m_range);
            return {};
        case kSelect:
            requireKind(member, kind, kMethod);
            requireArgs(member, args, 0);
            m_book->selections[m_sheet] = m_range;
            return {};
        case kAddress:
            requireKind(member, kind, kValue);
            requireArgs(member, args, 0);
            return Variant(rangeAddress(m_range));
        default:
            throw AutomationError("对象不支持成员 " + std::string(member));
        }
    }

private:
    enum { kValue, kColumnWidth, kCopy, kSelect, kAddress };
    static constexpr std::array<std::string_view, 5> kNames{"Value", "ColumnWidth", "Copy",
                                                            "Select", "Address"};

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

class WorksheetObject final : public BookObject {
public:
    WorksheetObject(std::shared_ptr<InstanceState> state, std::shared_ptr<OpenBook> book,
                    std::size_t sheet)
        : BookObject(std::move(state), std::move(book))
        , m_sheet(sheet) {}

    int memberId(std::string_view name) const override { return findMember(kNames, name); }

protected:
    Variant call(int memberId, CallKind kind, Args args) override {
        requireOpen();
        const std::string_view member = kNames.at(static_cast<std::size_t>(memberId));
        switch (memberId) {
        case kActivate:
            requireKind(member, kind, kMethod);
            requireArgs(member, args, 0);
            activateSheet(m_sheet);
            return {};
        case kPaste: {
            requireKind(member, kind, kMethod);
            requireArgs(member, args, 0);
            auto it = m_book->selections.find(m_sheet);
            const CellRange at = it != m_book->selections.end() ? it->second : CellRange{};
            const CellRange pasted =
                m_state->server->clipboard.paste(*m_book, m_sheet, at.firstRow, at.firstCol);
            m_book->selections[m_sheet] = pasted;
            return {};
        }
        case kName:
            requireKind(member, kind, kGet | kPut);
            if (kind == CallKind::PropertyPut) {
                requireArgs(member, args, 1);
                rename(textArg(member, args, 0));
                return {};
            }
            requireArgs(member, args, 0);
            return Variant(m_book->book->sheet(m_sheet).name());
        case kRange:
            requireKind(member, kind, kValue);
            requireArgs(member, args, 1);
            return Variant(std::make_shared<RangeObject>(
                m_state, m_book, m_sheet, parseRangeAddress(textArg(member, args, 0))));
        default:
            throw AutomationError("对象不支持成员 " + std::string(member));
        }
    }

private:
    enum { kActivate, kPaste, kName, kRange };
    static constexpr std::array<std::string_view, 4> kNames{"Activate", "Paste", "Name", "Range"};

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

std::size_t sheetIndex(const OpenBook& b, std::int64_t index) {
    const std::size_t count = b.book->sheetCount();
    if (index < 1 || static_cast<std::uint64_t>(index) > count) {
        throw AutomationError("工作簿中没有第 " + std::to_string(index) + " 张工作表（共 " +
                              std::to_string(count) + " 张）");
    }
    return static_cast<std::size_t>(index - 1);
}

class WorksheetsObject final : public BookObject {
public:
    using BookObject::BookObject;

    int memberId(std::string_view name) const override { return findMember(kNames, name); }

protected:
    Variant call(int memberId, CallKind kind, Args args) override {
        requireOpen();
        const std::string_view member = kNames.at(static_cast<std::size_t>(memberId));
        switch (memberId) {
        case kItem:
            requireKind(member, kind, kValue);
            requireArgs(member, args, 1);
            return Variant(std::make_shared<WorksheetObject>(
                m_state, m_book, sheetIndex(*m_book, indexArg(member, args, 0))));
        case kCount:
            requireKind(member, kind, kValue);
            requireArgs(member, args, 0);
            return Variant(static_cast<std::int32_t>(m_book->book->sheetCount()));
        default:
            throw AutomationError("对象不支持成员 " + std::string(member));
        }
    }

private:
    enum { kItem, kCount };
    static constexpr std::array<std::string_view, 2> kNames{"Item", "Count"};
};

// Worksheets with or without an index, on a workbook or (for the active one) the application.
Variant worksheets(const std::shared_ptr<InstanceState>& state, const std::shared_ptr<OpenBook>& b,
                   std::string_view member, Args args) {
    if (args.empty()) {
        return Variant(std::make_shared<WorksheetsObject>(state, b));
    }
    requireArgs(member, args, 1);
    return Variant(
        std::make_shared<WorksheetObject>(state, b, sheetIndex(*b, indexArg(member, args, 0))));
}

class WorkbookObject final : public BookObject {
public:
    using BookObject::BookObject;

    int memberId(std::string_view name) const override { return findMember(kNames, name); }

protected:
    Variant call(int memberId, CallKind kind, Args args) override {
        requireOpen();
        const std::string_view member = kNames.at(static_cast<std::size_t>(memberId));
        switch (memberId) {
        case kWorksheets:
            requireKind(member, kind, kValue);
            return worksheets(m_state, m_book, member, args);
        case kActivate:
            requireKind(member, kind, kMethod);
            requireArgs(member, args, 0);
            activateSheet(m_book->book->activeSheet);
            return {};
        case kName:
            requireKind(member, kind, kValue);
            requireArgs(member, args, 0);
            return Variant(bookName(*m_book));
        default:
            throw AutomationError("对象不支持成员 " + std::string(member));
        }
    }

private:
    enum { kWorksheets, kActivate, kName };
    static constexpr std::array<std::string_view, 3> kNames{"Worksheets", "Activate", "Name"};
};

Variant workbookAt(const std::shared_ptr<InstanceState>& state, std::int64_t index) {
    const auto count = state->books.size();
    if (index < 1 || static_cast<std::uint64_t>(index) > count) {
        throw AutomationError("没有打开第 " + std::to_string(index) + " 个工作簿（共打开 " +
                              std::to_string(count) + " 个）");
    }
    return Variant(std::make_shared<WorkbookObject>(state, state->books[index - 1]));
}

class WorkbooksObject final : public InstanceObject {
public:
    using InstanceObject::InstanceObject;

    int memberId(std::string_view name) const override { return findMember(kNames, name); }

protected:
    Variant call(int memberId, CallKind kind, Args args) override {
        const std::string_view member = kNames.at(static_cast<std::size_t>(memberId));
        switch (memberId) {
        case kOpen:
            requireKind(member, kind, kValue);
            requireArgs(member, args, 1);
            return open(textArg(member, args, 0));
        case kAdd: {
            requireKind(member, kind, kValue);
            requireArgs(member, args, 0);
            auto book = std::make_shared<Workbook>();
            book->addSheet("Sheet1");
            Variant added = adopt(std::move(book));
            m_state->active->adoptsDefaults = true;
            return added;
        }
        case kClose:
            requireKind(member, kind, kMethod);
            requireArgs(member, args, 0);
            m_state->closeAll();
            return {};
        case kCount:
            requireKind(member, kind, kValue);
            requireArgs(member, args, 0);
            return Variant(static_cast<std::int32_t>(m_state->books.size()));
        case kItem:
            requireKind(member, kind, kValue);
            requireArgs(member, args, 1);
            return workbookAt(m_state, indexArg(member, args, 0));
        default:
            throw AutomationError("对象不支持成员 " + std::string(member));
        }
    }

private:
    enum { kOpen, kAdd, kClose, kCount, kItem };
    static constexpr std::array<std::string_view, 5> kNames{"Open", "Add", "Close", "Count",
                                                            "Item"};

    Variant open(const std::string& path) {
        ServerShared& server = *m_state->server;
        const auto started = std::chrono::steady_clock::now();
        std::shared_ptr<Workbook> book;
        try {
            book = server.loader(path);
        } catch (const std::exception& e) {
            noteOpen(server, started);
            throw AutomationError(e.what());
        }
        noteOpen(server, started);
        if (!book || book->sheetCount() == 0) {
            throw AutomationError(inQuotes(path) + "中没有工作表");
        }
        if (book->sourceName.empty()) {
            book->sourceName = path;
        }
        return adopt(std::move(book));
    }

    static void noteOpen(ServerShared& server, std::chrono::steady_clock::time_point started) {
        const auto now = std::chrono::steady_clock::now();
        server.timings.total += now - started;
        server.timings.lastEnd = now;
        ++server.timings.opens;
    }

    Variant adopt(std::shared_ptr<Workbook> book) {
        auto entry = std::make_shared<OpenBook>(std::move(book));
        if (entry->book->activeSheet >= entry->book->sheetCount()) {
            entry->book->activeSheet = 0;
        }
        m_state->books.push_back(entry);
        m_state->active = entry;
        return Variant(std::make_shared<WorkbookObject>(m_state, entry));
    }
};

class ApplicationObject final : public InstanceObject {
public:
    using InstanceObject::InstanceObject;

    int memberId(std::string_view name) const override { return findMember(kNames, name); }

protected:
    Variant call(int memberId, CallKind kind, Args args) override {
        const std::string_view member = kNames.at(static_cast<std::size_t>(memberId));
        switch (memberId) {
        case kApplication:
            requireKind(member, kind, kValue);
            requireArgs(member, args, 0);
            return Variant(shared_from_this());
        case kWorkbooks:
            requireKind(member, kind, kValue);
            if (args.empty()) {
                return Variant(std::make_shared<WorkbooksObject>(m_state));
            }
            requireArgs(member, args, 1);
            return workbookAt(m_state, indexArg(member, args, 0));
        case kWorksheets:
            requireKind(member, kind, kValue);
            return worksheets(m_state, activeBook(), member, args);
        case kRange: {
            requireKind(member, kind, kValue);
            requireArgs(member, args, 1);
            const CellRange range = parseRangeAddress(textArg(member, args, 0));
            const auto& book = activeBook();
            return Variant(
                std::make_shared<RangeObject>(m_state, book, book->book->activeSheet, range));
        }
        case kActiveWorkbook:
            requireKind(member, kind, kValue);
            requireArgs(member, args, 0);
            return Variant(std::make_shared<WorkbookObject>(m_state, activeBook()));
        case kActiveSheet: {
            requireKind(member, kind, kValue);
            requireArgs(member, args, 0);
            const auto& book = activeBook();
            return Variant(
                std::make_shared<WorksheetObject>(m_state, book, book->book->activeSheet));
        }
        case kDisplayAlerts:
            requireKind(member, kind, kGet | kPut);
            if (kind == CallKind::PropertyPut) {
                requireArgs(member, args, 1);
                m_state->displayAlerts = boolArg(member, args, 0);
                return {};
            }
            requireArgs(member, args, 0);
            return Variant(m_state->displayAlerts);
        case kVisible:
            requireKind(member, kind, kGet | kPut);
            if (kind == CallKind::PropertyPut) {
                requireArgs(member, args, 1);
                setVisible(boolArg(member, args, 0));
                return {};
            }
            requireArgs(member, args, 0);
            return Variant(m_state->visible);
        case kQuit:
            requireKind(member, kind, kMethod);
            requireArgs(member, args, 0);
            m_state->closeAll();
            m_state->quit = true;
            return {};
        default:
            throw AutomationError("对象不支持成员 " + std::string(member));
        }
    }

private:
    enum {
        kApplication,
        kWorkbooks,
        kWorksheets,
        kRange,
        kActiveWorkbook,
        kActiveSheet,
        kDisplayAlerts,
        kVisible,
        kQuit,
    };
    static constexpr std::array<std::string_view, 9> kNames{
        "Application", "Workbooks",     "Worksheets", "Range", "ActiveWorkbook",
        "ActiveSheet", "DisplayAlerts", "Visible",    "Quit"};

    const std::shared_ptr<OpenBook>& activeBook() const {
        if (!m_state->active) {
            throw AutomationError("电子表格中没有打开的工作簿");
        }
        return m_state->active;
    }

    // Showing the instance hands its active workbook to the user (the result handler).
    void setVisible(bool visible) {
        if (!visible) {
            m_state->visible = false;
            return;
        }
        m_state->visible = true;
        std::shared_ptr<OpenBook> entry = m_state->active;
        if (!entry) {
            return;
        }
        auto& books = m_state->books;
        books.erase(std::remove(books.begin(), books.end(), entry), books.end());
        m_state->active = books.empty() ? nullptr : books.back();
        entry->open = false;
        m_state->server->clipboard.forget(entry->id);
        if (m_state->server->onVisible) {
            try {
                m_state->server->onVisible(entry->book);
            } catch (const std::exception& e) {
                throw AutomationError(e.what());
            }
        }
    }
};

} // namespace

SpreadsheetServer::SpreadsheetServer(ResultHandler onVisible, WorkbookLoader loader)
    : m_shared(std::make_shared<ServerShared>()) {
    m_shared->onVisible = std::move(onVisible);
    m_shared->loader = std::move(loader);
}

SpreadsheetServer::~SpreadsheetServer() = default;

std::shared_ptr<AutomationObject> SpreadsheetServer::startInstance() {
    auto state = std::make_shared<InstanceState>();
    state->server = m_shared;
    return std::make_shared<ApplicationObject>(std::move(state));
}

void SpreadsheetServer::registerWith(ServerRegistry& registry) {
    std::shared_ptr<ServerShared> shared = m_shared;
    registry.registerServer(std::string(kSpreadsheetProgId), [shared] {
        auto state = std::make_shared<InstanceState>();
        state->server = shared;
        return std::shared_ptr<AutomationObject>(std::make_shared<ApplicationObject>(state));
    });
}

OpenTimings SpreadsheetServer::openTimings() const {
    return m_shared->timings;
}

} // namespace quenly::wb
