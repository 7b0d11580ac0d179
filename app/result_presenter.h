// What the window does with a finished result workbook: keeps it in the user's cache folder and
// opens it in the desktop's spreadsheet application.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace quenly::wb {
class Workbook;
}

namespace quenly::app {

/// The media type of the result files.
inline constexpr const char* kXlsxMimeType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet";

/// The file name of a result: the source's name without its extension, "-工资条-" and the time as
/// YYYYMMDD-HHMMSS, then ".xlsx"; such as "工资表-工资条-20261208-031500.xlsx". A source without
/// a usable name gives "工资条-<time>.xlsx".
std::string resultFileName(const std::string& sourcePath, const QDateTime& when);

/// The folder results are kept in: the cache location of the program (~/.cache/quenly).
std::filesystem::path defaultResultFolder();

/// Saves each result workbook handed to it, in a folder of mode 0700 as a file of mode 0600
/// whatever the umask (result_cache.h), and opens it with the desktop's application for
/// .xlsx files. Before opening it asks the desktop whether any application is set for the type
/// (`xdg-mime query default`), and afterwards it reads the exit status of the launcher
/// (`xdg-open`); when no application can open the file it says so, names the file, and offers to
/// save a copy elsewhere or to save the slips as a PDF to print. Errors are shown to the user,
/// never thrown.
class ResultPresenter : public QObject {
    Q_OBJECT
public:
    /// The programs asked; tests replace them.
    struct Desktop {
        QString mimeQuery = QStringLiteral("xdg-mime");
        QString opener = QStringLiteral("xdg-open");
        /// How long to wait for the launcher's status before taking a still running launcher
        /// as success (some launchers stay until the application ends).
        int launcherPatienceMs = 15000;
    };

    explicit ResultPresenter(std::filesystem::path folder = defaultResultFolder());
    ResultPresenter(std::filesystem::path folder, Desktop desktop);
    ~ResultPresenter() override;

    /// The window that owns the messages.
    void setOwner(QWidget* owner) { m_owner = owner; }
    /// Gives the path of the source workbook of the export now running, for the file name.
    void setSourceProvider(std::function<std::string()> provider) {
        m_source = std::move(provider);
    }

    /// The result handler: saves `book` and opens it.
    void present(const std::shared_ptr<wb::Workbook>& book);

    /// The file the last result was saved to (empty before the first).
    const std::filesystem::path& lastSaved() const { return m_lastSaved; }
    /// The PDF the user last saved the slips as (empty before the first).
    const std::filesystem::path& lastPdf() const { return m_lastPdf; }

    /// Whether an application for the type is set on this desktop.
    bool hasDefaultApplication() const;

signals:
    /// The launcher reported success, or was still running when patience ran out.
    void opened(const QString& file);
    /// No application could open the file; the user has been told.
    void openFailed(const QString& file);

private:
    std::filesystem::path uniqueTarget(const std::string& name) const;
    void launch(const QString& file);
    void reportNoApplication(const QString& file);
    // Asks where, then draws the slips of the saved result `file` into a PDF there.
    void savePdf(const QString& file);

    std::filesystem::path m_folder;
    Desktop m_desktop;
    QPointer<QWidget> m_owner;
    std::function<std::string()> m_source;
    std::filesystem::path m_lastSaved;
    std::filesystem::path m_lastPdf;
};

} // namespace quenly::app
