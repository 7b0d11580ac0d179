// The standard error box and the plain message boxes of the windows.
#pragma once

#include <exception>
#include <string>
#include <string_view>

class QWidget;

namespace quenly::ui {

/// The program's title made from the path of its executable: the file name without its
/// directory, cut at its first ".", every character after the first in lower case (ASCII
/// letters; other bytes are kept). "/opt/QUENLY.bin" gives "Quenly", "/usr/bin/quenly" "quenly".
std::string programTitle(std::string_view executablePath);

/// The text of the standard error box for `message`: the message, with "." added when its last
/// byte sorts after "." (unsigned byte order). An empty message stays empty.
std::string errorBoxText(std::string_view message);

/// The title of the running program, from its executable's path.
std::string runningProgramTitle();

/// Shows the standard error box owned by `owner`: error icon, OK button, caption the program's
/// title, text errorBoxText(message). Returns when the user dismissed it.
void showErrorBox(QWidget* owner, const std::string& message);

/// Shows the error box for the exception being handled (call inside a catch block).
void showCurrentException(QWidget* owner);

/// Shows a modal message box with the information icon and an OK button.
void showInformation(QWidget* owner, const std::string& text, const std::string& caption);

/// Runs `action`; whatever escapes it is shown in the standard error box owned by `owner`, and
/// the caller goes on. For every event handler of the windows.
template <class Action>
void guarded(QWidget* owner, Action&& action) {
    try {
        action();
    } catch (...) {
        showCurrentException(owner);
    }
}

} // namespace quenly::ui
