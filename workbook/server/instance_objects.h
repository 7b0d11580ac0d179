// What the automation objects of one spreadsheet instance share: the instance's state, the
// base objects that refuse calls once the instance has quit or the workbook is closed, and the
// makers of the objects of a workbook (book_objects.cpp).
#pragma once

#include "server/automation_members.h"
#include "server/clipboard.h"
#include "server/spreadsheet_server.h"

#include <memory>
#include <string>
#include <vector>

namespace quenly::wb {

struct ServerShared {
    ResultHandler onVisible;
    WorkbookLoader loader;
    Clipboard clipboard;
    OpenTimings timings;
};

struct InstanceState {
    std::shared_ptr<ServerShared> server;
    bool quit = false;
    bool visible = false;
    bool displayAlerts = true;
    std::vector<std::shared_ptr<OpenBook>> books;
    std::shared_ptr<OpenBook> active;
    int booksAdded = 0;

    /// Closes every workbook of the instance and takes what it copied off the clipboard.
    void closeAll();
};

/// Every object of an instance: refuses every call once the instance has quit.
class InstanceObject : public AutomationObject {
public:
    explicit InstanceObject(std::shared_ptr<InstanceState> state)
        : m_state(std::move(state)) {}

    Variant invoke(int memberId, CallKind kind, Args args) final;

protected:
    virtual Variant call(int memberId, CallKind kind, Args args) = 0;
    /// What a member call of this kind of object needs besides the instance: nothing.
    void check() const {}

    std::shared_ptr<InstanceState> m_state;
};

/// An object that belongs to one workbook: refuses every call once the workbook is closed.
class BookObject : public InstanceObject {
public:
    BookObject(std::shared_ptr<InstanceState> state, std::shared_ptr<OpenBook> book)
        : InstanceObject(std::move(state))
        , m_book(std::move(book)) {}

protected:
    /// Refuses the call once the workbook is closed.
    void check() const;
    /// The workbook's file name, or "新工作簿" for a new one.
    static std::string bookName(const OpenBook& b);
    /// Makes sheet `sheet` the workbook's active one, and the workbook the instance's.
    void activateSheet(std::size_t sheet);

    std::shared_ptr<OpenBook> m_book;
};

/// An object whose members are the table Self::kMembers: finds them by name and, after Base's
/// own checks (the instance has not quit, the workbook is open), calls them.
template <class Self, class Base>
class TableObject : public Base {
public:
    using Base::Base;

    int memberId(std::string_view name) const override { return findMember(Self::kMembers, name); }

protected:
    Variant call(int memberId, CallKind kind, Args args) override {
        Base::check();
        return callMember(static_cast<Self&>(*this), Self::kMembers, memberId, kind, args);
    }
};

/// The objects of a workbook: the workbook, its worksheet collection, a worksheet (0-based) and a
/// range of one.
Variant makeWorkbookObject(const std::shared_ptr<InstanceState>& state,
                           const std::shared_ptr<OpenBook>& book);
Variant makeWorksheetObject(const std::shared_ptr<InstanceState>& state,
                            const std::shared_ptr<OpenBook>& book, std::size_t sheet);
Variant makeRangeObject(const std::shared_ptr<InstanceState>& state,
                        const std::shared_ptr<OpenBook>& book, std::size_t sheet,
                        const CellRange& range);
/// Worksheets without an index (the collection) or with one (a worksheet, counting from 1), on a
/// workbook or, for the active one, the application.
Variant worksheets(const std::shared_ptr<InstanceState>& state,
                   const std::shared_ptr<OpenBook>& book, const Call& call);

} // namespace quenly::wb
