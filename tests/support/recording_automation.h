// A recording spreadsheet back end for tests: serves cell values and column widths set by the
// test, keeps a log of every automation call and fails chosen calls on request.
#pragma once

#include "spreadsheet_automation.h"

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace quenly::test {

/// One worksheet of the recording back end: cell values and column widths. Rows and columns
/// count from 1.
struct RecordedSheet {
    std::map<std::pair<int, int>, Variant> cells;
    std::map<int, double> widths;

    /// The value at a cell address such as "B3" (empty when unset).
    Variant cell(const std::string& address) const;
    /// The width of a column given by its letters (kDefaultWidth when unset).
    double width(const std::string& column) const;
};

/// One automation call as it reached the back end.
struct CallRecord {
    /// Which instance, counted from 1 in the order they were started.
    int instance = 0;
    /// "server" (the start of an instance), "application", "workbooks", "workbook",
    /// "worksheets", "worksheet" or "range".
    std::string object;
    std::string member;
    CallKind kind = CallKind::Method;
    /// Each argument as describeVariant gives it: 1, "A1", false, 8.43.
    std::vector<std::string> args;

    /// One line such as: 1 application Range get "A2"
    std::string text() const;
};

/// The back end. Every instance it starts shares its log, its files and its clipboard. Cell
/// addresses are letters and a row number ("A1", "B2:F3"), either case; a row below 1 or above
/// 1048576, a column beyond XFD or anything else is refused with a message naming the address.
class RecordingAutomation {
public:
    static constexpr double kDefaultWidth = 8.43;

    RecordingAutomation();
    ~RecordingAutomation();
    RecordingAutomation(const RecordingAutomation&) = delete;
    RecordingAutomation& operator=(const RecordingAutomation&) = delete;

    /// Registers under "Excel.Application".
    void registerWith(ServerRegistry& registry);

    /// Makes a workbook file that Open accepts at `path` (exact text), with one sheet.
    void addFile(const std::string& path, RecordedSheet sheet = {});
    /// Sets a cell of the file at `path` (created if needed) to `value`.
    void setCell(const std::string& path, const std::string& address, Variant value);
    /// Sets the width of a column (letters) of the file at `path` (created if needed).
    void setColumnWidth(const std::string& path, const std::string& column, double width);

    /// Fails the `nth` call (counted from 1) of `member` (any case, any object) on instance
    /// `instance` with AutomationError(`message`). The call is still logged.
    void failCall(int instance, const std::string& member, int nth, const std::string& message);
    /// Fails the `nth` start of an instance (counted from 1) with `message`.
    void failStart(int nth, const std::string& message);

    /// Every call so far, in order.
    const std::vector<CallRecord>& log() const;
    /// The log as lines (CallRecord::text), from entry `from` on.
    std::vector<std::string> logLines(std::size_t from = 0) const;
    void clearLog();

    /// Number of member look-ups by name so far (one per call, including unknown members).
    int lookups() const;

    /// Instances started so far.
    int instances() const;
    bool hasQuit(int instance) const;
    bool isVisible(int instance) const;
    /// The first sheet of the active workbook of an instance. Throws std::out_of_range when the
    /// instance has no workbook.
    const RecordedSheet& activeSheet(int instance) const;
    /// Number of open workbooks of an instance.
    int openWorkbooks(int instance) const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

/// Parses a cell address ("B3") to its row and column, counting from 1; nothing for any other
/// text or one outside the sheet.
bool parseCellAddress(const std::string& address, int& row, int& column);

} // namespace quenly::test
