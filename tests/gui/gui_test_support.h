// Helpers of the window tests: a driver that answers modal windows as they appear, simulated
// drops, and the main function that sets the application up as the program does.
#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <vector>

class QFileDialog;
class QMimeData;
class QWidget;

namespace quenly {
class TfrmSysOption;
}

namespace quenly::test {

/// A modal window the driver met.
struct SeenModal {
    enum class Kind { Message, Options, File, Other };
    Kind kind = Kind::Other;
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

/// Watches for the active modal window every few milliseconds and answers each new one once,
/// after recording it. By default a message box is confirmed with its first button, the header
/// options dialog is closed with its close box and a file dialog is cancelled; tests replace
/// the answers. Answers run from the event loop, after the watch has returned, so an answer may
/// itself open further modal windows.
class ModalDriver : public QObject {
    Q_OBJECT
public:
    ModalDriver();
    ~ModalDriver() override;

    std::function<void(QMessageBox*)> onMessage;
    std::function<void(TfrmSysOption*)> onOptions;
    std::function<void(QFileDialog*)> onFile;

    const std::vector<SeenModal>& seen() const { return m_seen; }
    /// The modal windows of one kind met so far.
    std::vector<SeenModal> seen(SeenModal::Kind kind) const;
    int count(SeenModal::Kind kind) const;
    void clear() { m_seen.clear(); }

private:
    void watch();

    QTimer m_timer;
    std::vector<SeenModal> m_seen;
    std::vector<QPointer<QWidget>> m_answered;
};

/// Clicks the button of `box` whose text is `text`; false when there is none.
bool clickButton(QMessageBox* box, const QString& text);

/// Types `path` into the file name box of the file dialog `dialog` and confirms it, as a user
/// would.
void chooseFile(QFileDialog* dialog, const QString& path);

/// The widget that Tab moves the focus to from `widget`.
QWidget* nextTabStop(QWidget* widget);

/// Delivers a drag entering `target`, moving over it and dropping `data` at its centre, as the
/// window system does.
void dropOn(QWidget* target, const QMimeData* data);
/// The same with the URLs of local files or web addresses.
void dropUrls(QWidget* target, const QList<QUrl>& urls);

/// Whether an X display (or another windowing system) is there for the tests.
bool haveDisplay();

} // namespace quenly::test

/// The main function of a window test: the environment and application set-up of the program,
/// then the test class. Exits 77 (skipped) without a display.
#define QUENLY_GUI_TEST_MAIN(TestClass)                                                            \
    int main(int argc, char** argv) {                                                              \
        if (!quenly::test::haveDisplay()) {                                                        \
            return 77;                                                                             \
        }                                                                                          \
        quenly::app::prepareProcessEnvironment();                                                  \
        QApplication app(argc, argv);                                                              \
        quenly::app::configureApplication(app);                                                    \
        QApplication::setQuitOnLastWindowClosed(false);                                            \
        TestClass test;                                                                            \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
