// Which dropped files the main window takes: the extension rule of a drop.
#pragma once

#include <string>
#include <string_view>

namespace quenly::app {

/// The extension of a file name: the text from the last "." to the end, provided no "/" follows
/// that dot; otherwise the empty text. "a/b.xls" gives ".xls", "a.d/b" gives "".
std::string_view dropExtension(std::string_view name);

/// Whether a dropped file starts an export: its extension is exactly ".xls" or ".xlsx" (with
/// case, so ".XLS" is refused).
bool isAcceptedDropName(std::string_view name);

/// The message shown for a refused drop.
inline constexpr const char* kRefusedDropMessage = "拖放了无效的Excel文件！";
/// The caption of the main window's message boxes.
inline constexpr const char* kMainMessageCaption = "信息提示";

} // namespace quenly::app
