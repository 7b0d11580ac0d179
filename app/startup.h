// What the program sets up before and right after the application object exists: the web
// engine's process flags, fonts, the Chinese translation of Qt's own texts, names and icon.
#pragma once

class QApplication;

namespace quenly::app {

/// Call before the QApplication is created. Lets the help pane's browser engine start as root
/// (its sandbox refuses to) and without a graphics card, and shares OpenGL contexts as the web
/// view needs.
void prepareProcessEnvironment();

/// Call right after the QApplication is created: program name, icon, a Chinese default font
/// (so a C locale does not pick a Japanese face for the shared characters) and Qt's Chinese
/// texts for its own dialogs and buttons.
void configureApplication(QApplication& application);

} // namespace quenly::app
