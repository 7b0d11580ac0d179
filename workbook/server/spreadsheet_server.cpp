// The automation objects of an in-process spreadsheet instance: the application and its workbook
// collection (the objects of a workbook are in book_objects.cpp), and the server that starts
// instances.
#include "server/spreadsheet_server.h"

#include "server/instance_objects.h"
#include "server/range_address.h"
#include "text_util.h"

#include <algorithm>
#include <chrono>

namespace quenly::wb {

void InstanceState::closeAll() {
    for (const auto& b : books) {
        b->open = false;
        server->clipboard.forget(b->id);
    }
    books.clear();
    active.reset();
}

Variant InstanceObject::invoke(int memberId, CallKind kind, Args args) {
    if (m_state->quit) {
        throw AutomationError("电子表格实例已退出");
    }
    return call(memberId, kind, args);
}

namespace {

Variant workbookAt(const std::shared_ptr<InstanceState>& state, std::int64_t index) {
    const auto count = state->books.size();
    if (index < 1 || static_cast<std::uint64_t>(index) > count) {
        throw AutomationError("没有打开第 " + std::to_string(index) + " 个工作簿（共打开 " +
                              std::to_string(count) + " 个）");
    }
    return makeWorkbookObject(state, state->books[static_cast<std::size_t>(index - 1)]);
}

class WorkbooksObject final : public TableObject<WorkbooksObject, InstanceObject> {
public:
    using TableObject::TableObject;

    static const std::array<Member<WorkbooksObject>, 5> kMembers;

private:
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

    Variant add() {
        auto book = std::make_shared<Workbook>();
        book->addSheet("Sheet1");
        Variant added = adopt(std::move(book));
        m_state->active->adoptsDefaults = true;
        return added;
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
        return makeWorkbookObject(m_state, entry);
    }
};

const std::array<Member<WorkbooksObject>, 5> WorkbooksObject::kMembers{{
    {"Open", Calls::Value, 1,
     [](WorkbooksObject& o, const Call& c) { return o.open(textArg(c.member, c.args, 0)); }},
    {"Add", Calls::Value, 0, [](WorkbooksObject& o, const Call&) { return o.add(); }},
    {"Close", Calls::Method, 0,
     [](WorkbooksObject& o, const Call&) -> Variant {
         o.m_state->closeAll();
         return {};
     }},
    {"Count", Calls::Value, 0,
     [](WorkbooksObject& o, const Call&) {
         return Variant(static_cast<std::int32_t>(o.m_state->books.size()));
     }},
    {"Item", Calls::Value, 1,
     [](WorkbooksObject& o, const Call& c) {
         return workbookAt(o.m_state, indexArg(c.member, c.args, 0));
     }},
}};

class ApplicationObject final : public TableObject<ApplicationObject, InstanceObject> {
public:
    using TableObject::TableObject;

    static const std::array<Member<ApplicationObject>, 9> kMembers;

private:
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

    // A flag read as a property or assigned.
    static Variant flag(bool& value, const Call& c) {
        if (c.kind == CallKind::PropertyPut) {
            value = boolArg(c.member, c.args, 0);
            return {};
        }
        return Variant(value);
    }
};

const std::array<Member<ApplicationObject>, 9> ApplicationObject::kMembers{{
    {"Application", Calls::Value, 0,
     [](ApplicationObject& o, const Call&) { return Variant(o.shared_from_this()); }},
    {"Workbooks", Calls::Value, kOptionalIndex,
     [](ApplicationObject& o, const Call& c) {
         if (c.args.empty()) {
             return Variant(std::make_shared<WorkbooksObject>(o.m_state));
         }
         requireArgs(c.member, c.args, 1);
         return workbookAt(o.m_state, indexArg(c.member, c.args, 0));
     }},
    {"Worksheets", Calls::Value, kOptionalIndex,
     [](ApplicationObject& o, const Call& c) { return worksheets(o.m_state, o.activeBook(), c); }},
    {"Range", Calls::Value, 1,
     [](ApplicationObject& o, const Call& c) {
         const CellRange range = parseRangeAddress(textArg(c.member, c.args, 0));
         const auto& book = o.activeBook();
         return makeRangeObject(o.m_state, book, book->book->activeSheet, range);
     }},
    {"ActiveWorkbook", Calls::Value, 0,
     [](ApplicationObject& o, const Call&) {
         return makeWorkbookObject(o.m_state, o.activeBook());
     }},
    {"ActiveSheet", Calls::Value, 0,
     [](ApplicationObject& o, const Call&) {
         const auto& book = o.activeBook();
         return makeWorksheetObject(o.m_state, book, book->book->activeSheet);
     }},
    {"DisplayAlerts", Calls::Get | Calls::Put, 0,
     [](ApplicationObject& o, const Call& c) { return flag(o.m_state->displayAlerts, c); }},
    {"Visible", Calls::Get | Calls::Put, 0,
     [](ApplicationObject& o, const Call& c) -> Variant {
         if (c.kind == CallKind::PropertyPut) {
             o.setVisible(boolArg(c.member, c.args, 0));
             return {};
         }
         return Variant(o.m_state->visible);
     }},
    {"Quit", Calls::Method, 0,
     [](ApplicationObject& o, const Call&) -> Variant {
         o.m_state->closeAll();
         o.m_state->quit = true;
         return {};
     }},
}};

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
