// SendWindow: "发送工资条", the window in which a clerk e-mails each person their own slip. It
// reads the wage table with the same export and header settings as the main window, shows who
// gets what, and sends one mail per person on a worker thread, recording each in the journal.
#pragma once

#include "mail_checks.h"
#include "mail_delivery.h"
#include "mail_journal.h"
#include "send_settings.h"
#include "slip_run.h"

#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableView;
class QThread;
class QTimer;

namespace quenly::send {

class PasswordStore;
class RecipientTable;
class SlipView;
struct ReadProgress;
struct SendJob;

/// The sending window. Work that waits on the disk or the network (reading the table, testing
/// the connection, a trial mail, the run) happens on one worker thread at a time while the
/// window stays responsive; its outcome is shown when it ends. Every message names the person's
/// row and what to do.
class SendWindow : public QWidget {
    Q_OBJECT
public:
    /// `iniPath` is the header options file (sys.ini, shared with the main window),
    /// `settingsPath` the window's own settings (send.ini), `passwords` the keyring or null
    /// (then the password is asked at every start).
    SendWindow(std::filesystem::path iniPath, std::filesystem::path settingsPath,
               PasswordStore* passwords, QWidget* parent = nullptr);
    ~SendWindow() override;

    // The wage table.
    QLineEdit* pathEdit = nullptr;
    QPushButton* browseButton = nullptr;
    QPushButton* readButton = nullptr;
    QProgressBar* readProgress = nullptr;
    QLabel* tableLabel = nullptr;
    // The columns.
    QComboBox* addressColumn = nullptr;
    QComboBox* nameColumn = nullptr;
    QComboBox* passwordColumn = nullptr;
    QSpinBox* passwordLast = nullptr;
    // The mail settings.
    QLineEdit* hostEdit = nullptr;
    QSpinBox* portSpin = nullptr;
    QComboBox* securityBox = nullptr;
    QLineEdit* userEdit = nullptr;
    QLineEdit* passwordEdit = nullptr;
    QCheckBox* rememberPassword = nullptr;
    QLabel* keyringLabel = nullptr;
    QLineEdit* fromNameEdit = nullptr;
    QLineEdit* fromEdit = nullptr;
    QLineEdit* subjectEdit = nullptr;
    QPlainTextEdit* bodyEdit = nullptr;
    QListWidget* placeholderList = nullptr;
    QPushButton* testButton = nullptr;
    QPushButton* trialButton = nullptr;
    // Who gets what.
    QLabel* countLabel = nullptr;
    QTableView* recipientView = nullptr;
    RecipientTable* recipients = nullptr;
    SlipView* slipView = nullptr;
    // Sending.
    QCheckBox* skipProblems = nullptr;
    QPushButton* sendButton = nullptr;
    QPushButton* stopButton = nullptr;
    QProgressBar* sendProgress = nullptr;
    QLabel* sendLabel = nullptr;

    /// Whether work runs on the worker thread.
    bool busy() const { return m_thread != nullptr; }
    /// The table read last (null before the first).
    const delivery::SlipRun* slipRun() const { return m_run.get(); }
    /// The checks for the columns chosen (null while no address column is chosen).
    const delivery::MailPlan* plan() const { return m_plan.get(); }
    /// How the next run opens the journal.
    delivery::MailJournal::Mode journalMode() const { return m_mode; }
    /// How the last run ended.
    const std::optional<delivery::MailRunResult>& lastRun() const { return m_lastRun; }
    /// The settings as the form holds them.
    delivery::SendSettings formSettings() const;

public slots:
    void browseClick();
    /// Reads the table named in the path box: the header settings are confirmed in the header
    /// options dialog, the export runs, the columns are offered, the checks shown.
    void readClick();
    void testConnectionClick();
    void trialClick();
    void sendClick();
    void stopClick();

signals:
    /// A read ended, well or not, after its messages were answered.
    void tableRead();
    /// A connection test, trial or run ended, after its messages were answered.
    void workEnded();
    /// The run reported the outcome of recipient `index` of the plan.
    void personReported(int index);
    /// The keyring answered a look-up (or there is none): the password box and the note beside
    /// it show what it said.
    void keyringAnswered();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void fillForm(const delivery::SendSettings& settings);
    void fillColumns();
    void askAboutJournal();
    void replan();
    void updateCount();
    void updateButtons();
    void showSlipOf(int row);
    void lookUpPassword();
    void showKeyring();
    void keepPassword(bool loginWorked);
    bool saveSettings();
    /// The mail settings of the form, checked; nothing (after saying what to fill in) when a
    /// value is missing or wrong, or the password is needed and empty.
    std::optional<delivery::MailSettings> checkedMailSettings();
    /// A job over the current table and plan with the form's settings, checked; nothing while
    /// busy or before a plan, or (after saying why) when a setting is missing or wrong or the
    /// templates name a column the table does not have.
    std::shared_ptr<SendJob> newJob();
    /// Runs `work` on the worker thread; `done` runs here afterwards.
    void inBackground(std::function<void()> work, std::function<void()> done);
    void endSend(const std::shared_ptr<SendJob>& job);
    /// Says why a connection test or trial did not work (`what` starts the message) and keeps
    /// the password when the login itself worked.
    void reportFailure(const SendJob& job, const QString& what);
    void warn(const QString& text);
    void inform(const QString& text);

    std::filesystem::path m_iniPath;
    std::filesystem::path m_settingsPath;
    PasswordStore* m_passwords = nullptr;

    std::shared_ptr<const delivery::SlipRun> m_run;
    std::filesystem::path m_source;
    std::shared_ptr<const delivery::MailPlan> m_plan;
    std::set<std::string> m_recorded;
    delivery::MailJournal::Mode m_mode = delivery::MailJournal::Mode::Fresh;
    std::optional<delivery::MailRunResult> m_lastRun;

    QThread* m_thread = nullptr;
    std::shared_ptr<SendJob> m_job;
    std::shared_ptr<ReadProgress> m_readProgress;
    QTimer* m_progressTimer = nullptr;
    bool m_closePending = false;
    bool m_keyringAsked = false;
};

} // namespace quenly::send
