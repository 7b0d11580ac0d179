// The payslip export: counts the persons of a wage table and lays out one slip block per person in
// a new workbook, driving two spreadsheet instances through late-bound automation calls.
#include "payslip_export.h"

#include "column_letters.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <stdexcept>

namespace quenly {

namespace {

constexpr const char* kCaption = "信息提示";

std::string decimal(std::int64_t n) {
    std::array<char, 24> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), n);
    return std::string(buf.data(), res.ptr);
}

bool isControlOrSpace(char c) {
    return static_cast<unsigned char>(c) <= 32;
}

bool isBlankPath(const std::string& path) {
    for (char c : path) {
        if (!isControlOrSpace(c)) {
            return false;
        }
    }
    return true;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::optional<std::int32_t> parseRowSetting(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    const std::int64_t limit = negative ? -static_cast<std::int64_t>(INT32_MIN) : INT32_MAX;
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const int digit = hexDigit(text[i]);
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        value = value * base + digit;
        if (value > limit) {
            return std::nullopt;
        }
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

namespace {

// An error of the run, carrying the sentence shown to the user.
class ExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::int32_t rowSetting(const std::string& text, const char* label) {
    const auto value = parseRowSetting(text);
    if (!value) {
        throw ExportError(std::string(label) + "“" + text + "”不是整数");
    }
    return *value;
}

std::int32_t columnNumber(const std::string& letters, const char* label) {
    if (letters.empty()) {
        throw ExportError(std::string(label) + "为空，无法复制列宽");
    }
    try {
        return getNumFromCol(letters);
    } catch (const std::invalid_argument&) {
        throw ExportError(std::string(label) + "“" + letters +
                          "”不是有效的列字母（应为 A 到 XFD 之间的列）");
    }
}

// The text of a single-cell range of the counted column.
std::string cellText(Dispatch& instance, const std::string& address) {
    Dispatch range = instance.getObject("Range", Variant(address));
    const Variant value = range.get("Value");
    if (value.type() == Variant::Type::Error) {
        throw ExportError("单元格 " + address + " 的值是错误值 " +
                          std::string(cellErrorText(value.errorCode())) + "，无法清点人数");
    }
    try {
        return variantToText(value);
    } catch (const AutomationError&) {
        throw ExportError("单元格 " + address + " 的值无法转换为文本，无法清点人数");
    }
}

// Copies `from` of the source instance and pastes it into the result sheet at `to`.
void copyBlock(Dispatch& source, Dispatch& result, Dispatch& sheet, const std::string& from,
               const std::string& to) {
    source.getObject("Range", Variant(from)).call("Copy");
    result.getObject("Range", Variant(to)).call("Select");
    sheet.call("Paste");
}

// Everything one run holds; released when the run ends.
struct Run {
    std::optional<HeaderOptionsStore> store;
    Dispatch source;
    Dispatch result;
    int persons = 0;
};

void runExport(ExportHost& host, const ServerRegistry& servers, const ExportSettings& settings,
               Run& run) {
    host.confirmHeaderOptions();

    run.source = servers.start(kSpreadsheetProgId);
    run.source.getObject("Workbooks").call("Open", std::array{Variant(host.excelPath())});
    run.source.getObject("Worksheets", Variant(1)).call("Activate");

    // Each row setting is converted right after it is read, so a faulty first row fails before
    // the second is read.
    HeaderOptions options;
    std::int32_t startRow = 0;
    std::int32_t endRow = 0;
    if (settings.optionsOverride) {
        options = *settings.optionsOverride;
        startRow = rowSetting(options.StartTitleRow, "起始标题行");
        endRow = rowSetting(options.EndTitleRow, "结束标题行");
    } else {
        run.store.emplace(settings.iniPath);
        options.StartTitleRow = run.store->readForExport("StartTitleRow");
        startRow = rowSetting(options.StartTitleRow, "起始标题行");
        options.EndTitleRow = run.store->readForExport("EndTitleRow");
        endRow = rowSetting(options.EndTitleRow, "结束标题行");
        options.StartTitleCol = run.store->readForExport("StartTitleCol");
        options.EndTitleCol = run.store->readForExport("EndTitleCol");
    }
    const std::string& startCol = options.StartTitleCol;
    const std::string& endCol = options.EndTitleCol;

    // Row arithmetic is done in 64 bits: the settings may be any 32-bit numbers, and a row out
    // of the sheet is refused by the spreadsheet application when its address is sent.
    const std::string headerRange = startCol + decimal(startRow) + ":" + endCol + decimal(endRow);
    const std::int64_t height = std::int64_t{endRow} - startRow + 1;

    for (std::int64_t row = std::int64_t{endRow} + 1;; ++row) {
        if (cellText(run.source, startCol + decimal(row)).empty()) {
            break;
        }
        if (run.persons == std::numeric_limits<int>::max()) {
            throw ExportError("人数超出可处理的范围");
        }
        ++run.persons;
    }
    const int persons = run.persons;

    run.result = servers.start(kSpreadsheetProgId);
    run.result.getObject("Application").getObject("Workbooks").call("Add");
    Dispatch sheet = run.result.getObject("Application")
                         .getObject("Workbooks", Variant(1))
                         .getObject("Worksheets")
                         .getObject("Item", Variant(1));

    // Every column from the first header column to the last, one at a time, read before write.
    const std::int32_t firstColumn = columnNumber(startCol, "起始标题列");
    const std::int32_t lastColumn = columnNumber(endCol, "结束标题列");
    for (std::int32_t column = firstColumn; column <= lastColumn; ++column) {
        const std::string cell = getColFromNum(column) + "1";
        const Variant width = run.source.getObject("Range", Variant(cell)).get("ColumnWidth");
        run.result.getObject("Range", Variant(cell)).put("ColumnWidth", width);
    }

    host.setProgressMaximum(persons);
    host.setProgressPosition(0);

    for (int k = 0; k < persons; ++k) {
        const std::int64_t blockTop = std::int64_t{k} * (height + 2);
        copyBlock(run.source, run.result, sheet, headerRange, startCol + decimal(blockTop + 1));
        const std::string personRow = decimal(std::int64_t{endRow} + k + 1);
        copyBlock(run.source, run.result, sheet, startCol + personRow + ":" + endCol + personRow,
                  startCol + decimal(blockTop + height + 1));
        host.setProgressPosition(host.progressPosition() + 1);
        host.setProcessText(progressText(k + 1, persons));
        host.processPendingMessages();
    }

    run.source.put("DisplayAlerts", Variant(false));
    run.source.getObject("Workbooks").call("Close");
    run.source.call("Quit");
    // The source instance has ended; the failure path has nothing left to tell it.
    run.source = Dispatch();

    run.result.put("Visible", Variant(true));
}

} // namespace

std::string progressText(int done, int total) {
    return "处理进度： " + decimal(done) + " / " + decimal(total) + " ";
}

ExportOutcome rzbtbtnExportClick(ExportHost& host, const ServerRegistry& servers,
                                 const ExportSettings& settings) {
    if (isBlankPath(host.excelPath())) {
        host.showMessage("请先选择Excel文件！", kCaption, MessageIcon::Information);
        return ExportOutcome{ExportOutcome::Status::Refused, {}, 0};
    }

    Run run;
    std::string reason;
    try {
        runExport(host, servers, settings, run);
        run.store.reset();
        return ExportOutcome{ExportOutcome::Status::Finished, {}, run.persons};
    } catch (const std::bad_alloc&) {
        reason = "内存不足";
    } catch (const std::exception& e) {
        reason = e.what();
    } catch (...) {
        reason = "发生未知错误";
    }

    // The failure path: release the store, then tell each instance this run started to quit,
    // the source first. An error here leaves the export.
    run.store.reset();
    if (!run.source.isNull()) {
        run.source.call("Quit");
    }
    if (!run.result.isNull()) {
        run.result.call("Quit");
    }
    host.showMessage("输出工资条失败：" + reason, kCaption, MessageIcon::Warning);
    return ExportOutcome{ExportOutcome::Status::Failed, reason, run.persons};
}

} // namespace quenly
