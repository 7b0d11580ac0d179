// The payslip export: copies the header block and each person's row of a wage table into a new
// workbook through the spreadsheet automation operations.
#pragma once

#include "header_options.h"
#include "spreadsheet_automation.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quenly {

enum class MessageIcon { Information, Warning, Error };

/// What the export asks of the window that runs it. The batch command and the tests provide
/// their own hosts.
class ExportHost {
public:
    virtual ~ExportHost() = default;

    /// The current text of the path box; read twice per export, untrimmed.
    virtual std::string excelPath() = 0;
    /// A modal message box owned by the main window.
    virtual void showMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) = 0;
    /// The progress bar.
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressPosition(int position) = 0;
    virtual int progressPosition() = 0;
    /// The counter label.
    virtual void setProcessText(const std::string& text) = 0;
    /// Runs all pending window messages and returns when none is left.
    virtual void processPendingMessages() = 0;
    /// The confirmation step: shows the header options dialog modally and frees it. Returns
    /// however the dialog was closed.
    virtual void confirmHeaderOptions() = 0;
};

/// Where the export gets its spreadsheet instances and its settings.
struct ExportSettings {
    /// The options file read after the confirmation step.
    std::filesystem::path iniPath;
    /// When set, used in place of the four values read from the options file (batch command).
    std::optional<HeaderOptions> optionsOverride;
};

/// How one run ended.
struct ExportOutcome {
    enum class Status {
        /// The path box was blank; nothing was started.
        Refused,
        /// The result instance was shown.
        Finished,
        /// The failure path ran; `reason` says why, in words for the user.
        Failed,
    };
    Status status = Status::Refused;
    std::string reason;
    /// Number of persons counted (0 when the run ended before the count).
    int persons = 0;
};

/// Runs one export (the handler of the export button). A blank path (only characters of codes 0 to
/// 32) shows "请先选择Excel文件！" and returns Refused. Any error inside the run takes the failure
/// path: the instances started are sent Quit, source first, and a warning box captioned "信息提示"
/// says "输出工资条失败：" and the reason; the run returns Failed with that reason. An error of
/// the failure path itself (a Quit that fails) escapes as an exception, with no message shown.
/// The run keeps no state outside the call, so a run started from processPendingMessages goes to
/// its end with its own instances. Rows of addresses count from 1.
ExportOutcome rzbtbtnExportClick(ExportHost& host, const ServerRegistry& servers,
                                 const ExportSettings& settings);

/// Converts a row setting to a whole number: optional leading spaces, an optional "+" or "-", then
/// decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X". Nothing for an empty
/// text, any other character (trailing spaces included) or a value outside the signed 32-bit
/// range.
std::optional<std::int32_t> parseRowSetting(std::string_view text);

/// The counter text after person `done` of `total`: "处理进度： done / total ".
std::string progressText(int done, int total);

} // namespace quenly
