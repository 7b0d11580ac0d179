// A recording spreadsheet back end for tests.
#include "recording_automation.h"

#include <algorithm>
#include <stdexcept>

namespace quenly::test {

namespace {

constexpr int kMaxRow = 1048576;
constexpr int kMaxColumn = 16384;

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return out;
}

int columnOf(std::string_view letters) {
    if (letters.empty() || letters.size() > 3) {
        return 0;
    }
    int n = 0;
    for (char c : letters) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
        if (c < 'A' || c > 'Z') {
            return 0;
        }
        n = n * 26 + (c - 'A' + 1);
    }
    return n <= kMaxColumn ? n : 0;
}

struct Rect {
    int top = 1;
    int left = 1;
    int bottom = 1;
    int right = 1;
    int rows() const { return bottom - top + 1; }
    int columns() const { return right - left + 1; }
};

bool parseRange(const std::string& address, Rect& rect) {
    const std::size_t colon = address.find(':');
    if (colon == std::string::npos) {
        if (!parseCellAddress(address, rect.top, rect.left)) {
            return false;
        }
        rect.bottom = rect.top;
        rect.right = rect.left;
        return true;
    }
    int r1 = 0;
    int c1 = 0;
    int r2 = 0;
    int c2 = 0;
    if (!parseCellAddress(address.substr(0, colon), r1, c1) ||
        !parseCellAddress(address.substr(colon + 1), r2, c2)) {
        return false;
    }
    rect = Rect{std::min(r1, r2), std::min(c1, c2), std::max(r1, r2), std::max(c1, c2)};
    return true;
}

struct WorkbookData {
    RecordedSheet sheet;
};

struct InstanceData {
    int number = 0;
    bool quit = false;
    bool visible = false;
    bool displayAlerts = true;
    std::vector<std::shared_ptr<WorkbookData>> workbooks;
    std::shared_ptr<WorkbookData> active;
    // Top-left cell of the selection of the active sheet.
    int selectionRow = 1;
    int selectionColumn = 1;
};

struct FailRule {
    int instance;
    std::string member;
    int nth;
    std::string message;
};

struct Clipboard {
    bool filled = false;
    int rows = 0;
    int columns = 0;
    // Relative to the top-left cell of the copied range, from 0.
    std::map<std::pair<int, int>, Variant> cells;
};

enum class Kind { Application, Workbooks, Workbook, Worksheets, Worksheet, Range };

const char* kindName(Kind kind) {
    switch (kind) {
    case Kind::Application:
        return "application";
    case Kind::Workbooks:
        return "workbooks";
    case Kind::Workbook:
        return "workbook";
    case Kind::Worksheets:
        return "worksheets";
    case Kind::Worksheet:
        return "worksheet";
    case Kind::Range:
        return "range";
    }
    return "?";
}

const std::vector<std::string>& membersOf(Kind kind) {
    static const std::vector<std::string> application = {
        "Application", "Workbooks", "Worksheets", "Range", "DisplayAlerts", "Visible", "Quit"};
    static const std::vector<std::string> workbooks = {"Open", "Add", "Close", "Item", "Count"};
    static const std::vector<std::string> workbook = {"Worksheets", "Activate", "Close"};
    static const std::vector<std::string> worksheets = {"Item", "Count"};
    static const std::vector<std::string> worksheet = {"Activate", "Paste", "Range"};
    static const std::vector<std::string> range = {"Value", "ColumnWidth", "Copy", "Select"};
    switch (kind) {
    case Kind::Application:
        return application;
    case Kind::Workbooks:
        return workbooks;
    case Kind::Workbook:
        return workbook;
    case Kind::Worksheets:
        return worksheets;
    case Kind::Worksheet:
        return worksheet;
    case Kind::Range:
        return range;
    }
    return range;
}

} // namespace

struct RecordingAutomation::State {
    std::vector<CallRecord> log;
    std::map<std::string, RecordedSheet> files;
    std::vector<std::shared_ptr<InstanceData>> instances;
    Clipboard clipboard;
    int lookups = 0;
    std::vector<FailRule> rules;
    std::map<std::pair<int, std::string>, int> counts;
    int starts = 0;
    std::map<int, std::string> startFailures;
};

namespace {

using State = RecordingAutomation::State;

class RecordedObject : public AutomationObject {
public:
    RecordedObject(std::shared_ptr<State> state, std::shared_ptr<InstanceData> instance, Kind kind,
                   std::shared_ptr<WorkbookData> workbook = {}, Rect rect = {})
        : m_state(std::move(state))
        , m_instance(std::move(instance))
        , m_kind(kind)
        , m_workbook(std::move(workbook))
        , m_rect(rect) {}

    int memberId(std::string_view name) const override {
        ++m_state->lookups;
        const auto& members = membersOf(m_kind);
        const std::string wanted = lowerAscii(name);
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (lowerAscii(members[i]) == wanted) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }

    Variant invoke(int memberId, CallKind kind, std::span<const Variant> args) override {
        const auto& members = membersOf(m_kind);
        if (memberId < 0 || static_cast<std::size_t>(memberId) >= members.size()) {
            throw AutomationError("未知的成员编号");
        }
        const std::string& member = members[static_cast<std::size_t>(memberId)];
        CallRecord record{m_instance->number, kindName(m_kind), member, kind, {}};
        for (const Variant& a : args) {
            record.args.push_back(describeVariant(a));
        }
        m_state->log.push_back(std::move(record));

        const int count = ++m_state->counts[{m_instance->number, lowerAscii(member)}];
        for (const FailRule& rule : m_state->rules) {
            if (rule.instance == m_instance->number &&
                lowerAscii(rule.member) == lowerAscii(member) && rule.nth == count) {
                throw AutomationError(rule.message);
            }
        }
        if (m_instance->quit) {
            throw AutomationError("电子表格程序已退出，无法调用 " + member);
        }
        return dispatch(member, kind, args);
    }

private:
    Variant object(Kind kind, std::shared_ptr<WorkbookData> workbook = {}, Rect rect = {}) const {
        return Variant(std::shared_ptr<AutomationObject>(std::make_shared<RecordedObject>(
            m_state, m_instance, kind, std::move(workbook), rect)));
    }

    static void expectArgs(const std::string& member, std::span<const Variant> args,
                           std::size_t count) {
        if (args.size() != count) {
            throw AutomationError("调用 " + member + " 的参数个数不对");
        }
    }

    std::shared_ptr<WorkbookData> activeWorkbook(const std::string& member) const {
        if (!m_instance->active) {
            throw AutomationError("没有打开的工作簿，无法调用 " + member);
        }
        return m_instance->active;
    }

    Variant rangeOf(const std::shared_ptr<WorkbookData>& workbook, const Variant& address) const {
        const std::string text = address.text();
        Rect rect;
        if (!parseRange(text, rect)) {
            throw AutomationError("无法识别单元格地址“" + text + "”");
        }
        return object(Kind::Range, workbook, rect);
    }

    Variant sheetAt(const std::shared_ptr<WorkbookData>& workbook, const Variant& index) const {
        if (index.type() != Variant::Type::Int || index.toInt() != 1) {
            throw AutomationError("工作表 " + describeVariant(index) + " 不存在");
        }
        return object(Kind::Worksheet, workbook);
    }

    Variant workbookAt(const Variant& index) const {
        const auto& books = m_instance->workbooks;
        if (index.type() != Variant::Type::Int || index.toInt() < 1 ||
            static_cast<std::size_t>(index.toInt()) > books.size()) {
            throw AutomationError("工作簿 " + describeVariant(index) + " 不存在");
        }
        return object(Kind::Workbook, books[static_cast<std::size_t>(index.toInt() - 1)]);
    }

    Variant dispatch(const std::string& member, CallKind kind, std::span<const Variant> args) {
        const bool put = kind == CallKind::PropertyPut;
        switch (m_kind) {
        case Kind::Application:
            if (member == "Application") {
                return object(Kind::Application);
            }
            if (member == "Workbooks") {
                return args.empty() ? object(Kind::Workbooks) : workbookAt(args[0]);
            }
            if (member == "Worksheets") {
                auto book = activeWorkbook(member);
                return args.empty() ? object(Kind::Worksheets, book) : sheetAt(book, args[0]);
            }
            if (member == "Range") {
                expectArgs(member, args, 1);
                return rangeOf(activeWorkbook(member), args[0]);
            }
            if (member == "DisplayAlerts" || member == "Visible") {
                bool& flag = member == "Visible" ? m_instance->visible : m_instance->displayAlerts;
                if (put) {
                    expectArgs(member, args, 1);
                    flag = args[0].toBool();
                    return {};
                }
                return Variant(flag);
            }
            if (member == "Quit") {
                m_instance->quit = true;
                return {};
            }
            break;
        case Kind::Workbooks:
            if (member == "Open") {
                expectArgs(member, args, 1);
                const std::string path = args[0].text();
                auto file = m_state->files.find(path);
                if (file == m_state->files.end()) {
                    throw AutomationError("无法打开文件“" + path + "”：文件不存在或不是工作簿");
                }
                auto book = std::make_shared<WorkbookData>(WorkbookData{file->second});
                m_instance->workbooks.push_back(book);
                m_instance->active = book;
                return {};
            }
            if (member == "Add") {
                auto book = std::make_shared<WorkbookData>();
                m_instance->workbooks.push_back(book);
                m_instance->active = book;
                return {};
            }
            if (member == "Close") {
                m_instance->workbooks.clear();
                m_instance->active.reset();
                return {};
            }
            if (member == "Item") {
                expectArgs(member, args, 1);
                return workbookAt(args[0]);
            }
            if (member == "Count") {
                return Variant(static_cast<std::int32_t>(m_instance->workbooks.size()));
            }
            break;
        case Kind::Workbook:
            if (member == "Worksheets") {
                return args.empty() ? object(Kind::Worksheets, m_workbook)
                                    : sheetAt(m_workbook, args[0]);
            }
            if (member == "Activate") {
                m_instance->active = m_workbook;
                return {};
            }
            if (member == "Close") {
                auto& books = m_instance->workbooks;
                books.erase(std::remove(books.begin(), books.end(), m_workbook), books.end());
                if (m_instance->active == m_workbook) {
                    m_instance->active = books.empty() ? nullptr : books.back();
                }
                return {};
            }
            break;
        case Kind::Worksheets:
            if (member == "Item") {
                expectArgs(member, args, 1);
                return sheetAt(m_workbook, args[0]);
            }
            if (member == "Count") {
                return Variant(std::int32_t{1});
            }
            break;
        case Kind::Worksheet:
            if (member == "Activate") {
                m_instance->active = m_workbook;
                return {};
            }
            if (member == "Range") {
                expectArgs(member, args, 1);
                return rangeOf(m_workbook, args[0]);
            }
            if (member == "Paste") {
                paste();
                return {};
            }
            break;
        case Kind::Range:
            return rangeMember(member, put, args);
        }
        throw AutomationError("对象不支持成员 " + member);
    }

    Variant rangeMember(const std::string& member, bool put, std::span<const Variant> args) {
        RecordedSheet& sheet = m_workbook->sheet;
        if (member == "Value") {
            if (put) {
                expectArgs(member, args, 1);
                for (int r = m_rect.top; r <= m_rect.bottom; ++r) {
                    for (int c = m_rect.left; c <= m_rect.right; ++c) {
                        sheet.cells[{r, c}] = args[0];
                    }
                }
                return {};
            }
            if (m_rect.rows() != 1 || m_rect.columns() != 1) {
                throw AutomationError("只能读取单个单元格的值");
            }
            auto it = sheet.cells.find({m_rect.top, m_rect.left});
            return it == sheet.cells.end() ? Variant() : it->second;
        }
        if (member == "ColumnWidth") {
            if (put) {
                expectArgs(member, args, 1);
                const double width = args[0].toDouble();
                for (int c = m_rect.left; c <= m_rect.right; ++c) {
                    sheet.widths[c] = width;
                }
                return {};
            }
            auto it = sheet.widths.find(m_rect.left);
            return Variant(it == sheet.widths.end() ? RecordingAutomation::kDefaultWidth
                                                    : it->second);
        }
        if (member == "Copy") {
            Clipboard clip;
            clip.filled = true;
            clip.rows = m_rect.rows();
            clip.columns = m_rect.columns();
            for (const auto& [pos, value] : sheet.cells) {
                if (pos.first >= m_rect.top && pos.first <= m_rect.bottom &&
                    pos.second >= m_rect.left && pos.second <= m_rect.right) {
                    clip.cells[{pos.first - m_rect.top, pos.second - m_rect.left}] = value;
                }
            }
            m_state->clipboard = std::move(clip);
            return {};
        }
        if (member == "Select") {
            m_instance->selectionRow = m_rect.top;
            m_instance->selectionColumn = m_rect.left;
            return {};
        }
        throw AutomationError("对象不支持成员 " + member);
    }

    void paste() {
        const Clipboard& clip = m_state->clipboard;
        if (!clip.filled) {
            throw AutomationError("剪贴板为空，无法粘贴");
        }
        const int top = m_instance->selectionRow;
        const int left = m_instance->selectionColumn;
        if (top + clip.rows - 1 > kMaxRow || left + clip.columns - 1 > kMaxColumn) {
            throw AutomationError("粘贴区域超出工作表范围");
        }
        auto& cells = m_workbook->sheet.cells;
        for (int r = 0; r < clip.rows; ++r) {
            for (int c = 0; c < clip.columns; ++c) {
                auto it = clip.cells.find({r, c});
                if (it == clip.cells.end()) {
                    cells.erase({top + r, left + c});
                } else {
                    cells[{top + r, left + c}] = it->second;
                }
            }
        }
    }

    std::shared_ptr<State> m_state;
    std::shared_ptr<InstanceData> m_instance;
    Kind m_kind;
    std::shared_ptr<WorkbookData> m_workbook;
    Rect m_rect;
};

} // namespace

bool parseCellAddress(const std::string& address, int& row, int& column) {
    std::size_t i = 0;
    while (i < address.size() &&
           ((address[i] >= 'A' && address[i] <= 'Z') || (address[i] >= 'a' && address[i] <= 'z'))) {
        ++i;
    }
    const int col = columnOf(std::string_view(address).substr(0, i));
    if (col == 0 || i == address.size() || address[i] == '0' || address.size() - i > 7) {
        return false;
    }
    int r = 0;
    for (; i < address.size(); ++i) {
        if (address[i] < '0' || address[i] > '9') {
            return false;
        }
        r = r * 10 + (address[i] - '0');
    }
    if (r > kMaxRow) {
        return false;
    }
    row = r;
    column = col;
    return true;
}

Variant RecordedSheet::cell(const std::string& address) const {
    int row = 0;
    int column = 0;
    if (!parseCellAddress(address, row, column)) {
        throw std::invalid_argument("bad cell address " + address);
    }
    auto it = cells.find({row, column});
    return it == cells.end() ? Variant() : it->second;
}

double RecordedSheet::width(const std::string& column) const {
    const int c = columnOf(column);
    if (c == 0) {
        throw std::invalid_argument("bad column " + column);
    }
    auto it = widths.find(c);
    return it == widths.end() ? RecordingAutomation::kDefaultWidth : it->second;
}

std::string CallRecord::text() const {
    std::string out = std::to_string(instance) + " " + object + " " + member + " " +
                      std::string(callKindName(kind));
    for (std::size_t i = 0; i < args.size(); ++i) {
        out += i == 0 ? " " : ", ";
        out += args[i];
    }
    return out;
}

RecordingAutomation::RecordingAutomation()
    : m_state(std::make_shared<State>()) {}

RecordingAutomation::~RecordingAutomation() = default;

void RecordingAutomation::registerWith(ServerRegistry& registry) {
    std::weak_ptr<State> weak = m_state;
    registry.registerServer(std::string(kSpreadsheetProgId), [weak]() {
        auto state = weak.lock();
        if (!state) {
            throw AutomationError("电子表格程序已不可用");
        }
        const int start = ++state->starts;
        const int number = static_cast<int>(state->instances.size()) + 1;
        state->log.push_back(
            CallRecord{number,
                       "server",
                       "start",
                       CallKind::Method,
                       {describeVariant(Variant(std::string(kSpreadsheetProgId)))}});
        if (auto failure = state->startFailures.find(start);
            failure != state->startFailures.end()) {
            throw AutomationError(failure->second);
        }
        auto instance = std::make_shared<InstanceData>();
        instance->number = number;
        state->instances.push_back(instance);
        return std::shared_ptr<AutomationObject>(
            std::make_shared<RecordedObject>(state, instance, Kind::Application));
    });
}

void RecordingAutomation::addFile(const std::string& path, RecordedSheet sheet) {
    m_state->files[path] = std::move(sheet);
}

void RecordingAutomation::setCell(const std::string& path, const std::string& address,
                                  Variant value) {
    int row = 0;
    int column = 0;
    if (!parseCellAddress(address, row, column)) {
        throw std::invalid_argument("bad cell address " + address);
    }
    m_state->files[path].cells[{row, column}] = std::move(value);
}

void RecordingAutomation::setColumnWidth(const std::string& path, const std::string& column,
                                         double width) {
    const int c = columnOf(column);
    if (c == 0) {
        throw std::invalid_argument("bad column " + column);
    }
    m_state->files[path].widths[c] = width;
}

void RecordingAutomation::failCall(int instance, const std::string& member, int nth,
                                   const std::string& message) {
    m_state->rules.push_back(FailRule{instance, member, nth, message});
}

void RecordingAutomation::failStart(int nth, const std::string& message) {
    m_state->startFailures[nth] = message;
}

const std::vector<CallRecord>& RecordingAutomation::log() const {
    return m_state->log;
}

std::vector<std::string> RecordingAutomation::logLines(std::size_t from) const {
    std::vector<std::string> lines;
    for (std::size_t i = from; i < m_state->log.size(); ++i) {
        lines.push_back(m_state->log[i].text());
    }
    return lines;
}

void RecordingAutomation::clearLog() {
    m_state->log.clear();
}

int RecordingAutomation::lookups() const {
    return m_state->lookups;
}

int RecordingAutomation::instances() const {
    return static_cast<int>(m_state->instances.size());
}

namespace {

const InstanceData& instanceAt(const State& state, int instance) {
    if (instance < 1 || static_cast<std::size_t>(instance) > state.instances.size()) {
        throw std::out_of_range("no instance " + std::to_string(instance));
    }
    return *state.instances[static_cast<std::size_t>(instance - 1)];
}

} // namespace

bool RecordingAutomation::hasQuit(int instance) const {
    return instanceAt(*m_state, instance).quit;
}

bool RecordingAutomation::isVisible(int instance) const {
    return instanceAt(*m_state, instance).visible;
}

const RecordedSheet& RecordingAutomation::activeSheet(int instance) const {
    const InstanceData& data = instanceAt(*m_state, instance);
    if (!data.active) {
        throw std::out_of_range("instance " + std::to_string(instance) + " has no workbook");
    }
    return data.active->sheet;
}

int RecordingAutomation::openWorkbooks(int instance) const {
    return static_cast<int>(instanceAt(*m_state, instance).workbooks.size());
}

} // namespace quenly::test
