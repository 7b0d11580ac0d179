// The look every window of the program shares: a Chinese default font and Qt's own texts in
// Chinese.
#pragma once

class QApplication;

namespace quenly::ui {

/// Call right after the QApplication is created: a Chinese default font (so a C locale does not
/// pick a Japanese face for the shared characters), the Chinese locale, and Qt's Chinese texts
/// for its own dialogs and buttons.
void useChineseLook(QApplication& application);

} // namespace quenly::ui
