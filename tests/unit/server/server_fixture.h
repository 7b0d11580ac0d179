// Shared set-up of the server tests: a server whose Open hands out in-memory workbooks.
#pragma once

#include "error_of.h"
#include "server/spreadsheet_server.h"
#include "workbook.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quenly::wb::test {

class ServerFixture {
public:
    ServerFixture()
        : server([this](std::shared_ptr<Workbook> b) { results.push_back(std::move(b)); },
                 [this](const std::string& path) {
                     auto it = files.find(path);
                     if (it == files.end()) {
                         throw WorkbookError("文件“" + path + "”不存在");
                     }
                     return it->second;
                 }) {}

    Dispatch start() { return Dispatch(server.startInstance()); }

    /// An instance with `book` opened under `path` and its first sheet active.
    Dispatch startWith(const std::string& path, std::shared_ptr<Workbook> book) {
        files[path] = std::move(book);
        Dispatch app = start();
        app.getObject("Workbooks").call("Open", args({Variant(path)}));
        app.getObject("Worksheets", 1).call("Activate");
        return app;
    }

    /// An instance with a new workbook; `sheet` receives its first worksheet.
    Dispatch startEmpty(Dispatch& sheet) {
        Dispatch app = start();
        app.getObject("Workbooks").call("Add");
        sheet = app.getObject("Workbooks", 1).getObject("Worksheets").getObject("Item", 1);
        return app;
    }

    static std::vector<Variant> args(std::vector<Variant> v) { return v; }

    std::map<std::string, std::shared_ptr<Workbook>> files;
    std::vector<std::shared_ptr<Workbook>> results;
    SpreadsheetServer server;
};

/// Copies `from` of the source instance and pastes it at `to` of the target instance.
inline void copyPaste(Dispatch& source, const std::string& from, Dispatch& target,
                      Dispatch& targetSheet, const std::string& to) {
    source.getObject("Range", Variant(from)).call("Copy");
    target.getObject("Range", Variant(to)).call("Select");
    targetSheet.call("Paste");
}

/// The message of the AutomationError that `f` throws, or "(no error)".
template <class F>
std::string errorOf(F&& f) {
    return quenly::test::errorOf<AutomationError>(std::forward<F>(f));
}

} // namespace quenly::wb::test
