// The spreadsheet application of this process: instances that work on in-memory workbooks,
// answering the automation members the export uses, and the clipboard they share.
#pragma once

#include "spreadsheet_automation.h"
#include "workbook.h"

#include <functional>
#include <memory>

namespace quenly::wb {

/// Receives the active workbook of an instance that was made visible; the instance lets go of it.
using ResultHandler = std::function<void(std::shared_ptr<Workbook>)>;

class Clipboard;

/// Starts spreadsheet instances. All instances of one server share its clipboard and nothing
/// else.
class SpreadsheetServer : public std::enable_shared_from_this<SpreadsheetServer> {
public:
    explicit SpreadsheetServer(ResultHandler onVisible);
    ~SpreadsheetServer();

    /// A new instance: invisible, with no workbook open.
    std::shared_ptr<AutomationObject> startInstance();

    /// Registers this server under "Excel.Application".
    void registerWith(ServerRegistry& registry);

private:
    ResultHandler m_onVisible;
    std::shared_ptr<Clipboard> m_clipboard;
};

} // namespace quenly::wb
