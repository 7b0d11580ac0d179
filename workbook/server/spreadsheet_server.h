// The spreadsheet application of this process: instances that work on in-memory workbooks,
// answering the automation members the export uses, and the clipboard they share.
#pragma once

#include "spreadsheet_automation.h"
#include "workbook.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace quenly::wb {

/// Receives the active workbook of an instance that was made visible; the instance lets go of it.
using ResultHandler = std::function<void(std::shared_ptr<Workbook>)>;

/// Opens the workbook named by the text given to Workbooks.Open. Throws WorkbookError (or any
/// std::exception) with a message for the user.
using WorkbookLoader = std::function<std::shared_ptr<Workbook>(const std::string& path)>;

/// Wall time spent inside Workbooks.Open, for the benchmark figures.
struct OpenTimings {
    std::chrono::duration<double> total{0};
    /// When the last Open returned (successfully or not); unset before the first Open.
    std::chrono::steady_clock::time_point lastEnd{};
    int opens = 0;
};

struct ServerShared;

/// Starts spreadsheet instances. All instances of one server share its clipboard and nothing
/// else.
///
/// The objects an instance hands out (application, Workbooks, workbook, Worksheets, worksheet,
/// Range) find every member by name at every call, without regard to ASCII case, check how the
/// member is invoked and its arguments, and throw AutomationError in words for the user when they
/// refuse a call. Indices given to Workbooks, Worksheets and Item count from 1; addresses are
/// "A1" or "A1:Z1". After Quit every call on any object of the instance fails.
class SpreadsheetServer {
public:
    /// Workbooks.Open reads files with loadWorkbook (only the first worksheet's cells).
    explicit SpreadsheetServer(ResultHandler onVisible);
    /// Workbooks.Open calls `loader` instead (tests open in-memory workbooks this way).
    SpreadsheetServer(ResultHandler onVisible, WorkbookLoader loader);
    ~SpreadsheetServer();
    SpreadsheetServer(const SpreadsheetServer&) = delete;
    SpreadsheetServer& operator=(const SpreadsheetServer&) = delete;

    /// A new instance: invisible, with no workbook open.
    std::shared_ptr<AutomationObject> startInstance();

    /// Registers this server under "Excel.Application". The registry's factory keeps the server's
    /// shared state alive, so it works even after this object is gone.
    void registerWith(ServerRegistry& registry);

    /// Time spent in Workbooks.Open by all instances so far.
    OpenTimings openTimings() const;

private:
    std::shared_ptr<ServerShared> m_shared;
};

} // namespace quenly::wb
