// TfrmQuenly: the main window. It takes the path of the source workbook (typed, browsed or
// dropped), runs the export with itself as the export's host, shows progress and the help page.
#pragma once

#include "payslip_export.h"

#include <QElapsedTimer>
#include <QUrl>
#include <QWidget>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QWebEngineView;

namespace quenly::ui {
class FramedButton;
}

namespace quenly {

/// The main window "Quenly". One export runs at a time per call, but the export lets window
/// messages run, so a second one (button or drop) may run inside the first. A close asked for
/// during an export is kept until the outermost export has returned; then the window closes, and
/// a drop whose handling was queued behind that export starts nothing.
class TfrmQuenly : public QWidget, public ExportHost {
    Q_OBJECT
public:
    /// `servers` starts the spreadsheet instances; `iniPath` is the header options file;
    /// `helpUrl` the page shown in the help pane (loaded once, here).
    TfrmQuenly(const ServerRegistry& servers, std::filesystem::path iniPath, QUrl helpUrl,
               QWidget* parent = nullptr);
    ~TfrmQuenly() override;

    /// Places the window as it opens: 912 x 591 outside, centred on the screen, then maximized.
    void showInitially();

    // The controls, named as the window is designed.
    QGroupBox* rzgrpbx1 = nullptr;
    QLabel* lbl1 = nullptr;
    ui::FramedButton* rzbtbtnSelExcel = nullptr;
    QLineEdit* edtExcelPath = nullptr;
    ui::FramedButton* rzbtbtnExport = nullptr;
    ui::FramedButton* rzbtbtnClose = nullptr;
    QLabel* RzLabel1 = nullptr;
    QLabel* lblProcess = nullptr;
    QProgressBar* pb1 = nullptr;
    QGroupBox* rzgrpbx2 = nullptr;
    QWebEngineView* wb1 = nullptr;
    QFileDialog* rzpndlgOpenExcel = nullptr;

    // ExportHost
    std::string excelPath() override;
    void showMessage(const std::string& text, const std::string& caption,
                     MessageIcon icon) override;
    void setProgressMaximum(int maximum) override;
    void setProgressPosition(int position) override;
    int progressPosition() override;
    void setProcessText(const std::string& text) override;
    void processPendingMessages() override;
    void confirmHeaderOptions() override;

    /// The path the innermost running export opened (empty when none runs).
    std::string currentSourcePath() const;
    /// How many exports are running (nested ones included).
    int exportDepth() const { return static_cast<int>(m_running.size()); }
    /// Whether a close was asked for during an export and is still waiting.
    bool closePending() const { return m_closePending; }
    /// How the last export that returned ended.
    const std::optional<ExportOutcome>& lastOutcome() const { return m_lastOutcome; }
    /// The least time between two repaints of the progress during an export (about 30 a
    /// second). Where one repaint costs more than 1/kQuietShare of that, the gap grows so that
    /// running messages takes at most that share of the export's time, up to kLongestGapMs.
    static constexpr int kRepaintIntervalMs = 33;
    static constexpr int kQuietShare = 40;
    static constexpr int kLongestGapMs = 500;
    /// Changes the least time; 0 runs pending messages at every call, as tests need to place
    /// events between two persons.
    void setRepaintInterval(int ms) { m_repaintIntervalMs = ms; }
    /// How many times the export's calls ran pending messages so far, and the time that took.
    int messageRuns() const { return m_messageRuns; }
    qint64 messageNanoseconds() const { return m_messageNanoseconds; }

public slots:
    void rzbtbtnSelExcelClick();
    void rzbtbtnExportClick();
    void rzbtbtnCloseClick();

signals:
    /// An export returned (after the progress display shows its last values).
    void exportReturned();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    /// Handles one drop: the first file only, by the extension rule.
    void handleDroppedFile(const std::optional<QString>& file);
    void runExport();
    /// Carries out a close asked for during an export, once no export runs any more.
    void closeIfAsked();
    void flushProgress();
    void watchForDrops(QWidget* widget);
    bool isInsideHelpPane(const QWidget* widget) const;

    const ServerRegistry& m_servers;
    std::filesystem::path m_iniPath;
    QUrl m_helpUrl;

    // The progress as the export last set it; pushed into pb1 and lblProcess when pending
    // messages run and when an export returns.
    int m_maximum = 0;
    int m_position = 0;
    std::string m_processText;
    bool m_progressDirty = false;
    QElapsedTimer m_sinceRepaint;
    int m_repaintIntervalMs = kRepaintIntervalMs;
    qint64 m_gapNanoseconds = 0;
    int m_messageRuns = 0;
    qint64 m_messageNanoseconds = 0;

    std::vector<std::string> m_running;
    bool m_closePending = false;
    std::optional<ExportOutcome> m_lastOutcome;
};

/// The first local file of a drop, or nothing when the drop holds no local file (a web address,
/// text, nothing at all).
std::optional<QString> firstDroppedFile(const QMimeData* data);

} // namespace quenly
