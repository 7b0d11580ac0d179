// Keeping and opening the result workbook.
#include "result_presenter.h"

#include "error_box.h"
#include "pdf/pdf_writer.h"
#include "print/page_setup.h"
#include "result_cache.h"
#include "workbook.h"
#include "workbook_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>

#include <atomic>
#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quenly::app {

namespace {

constexpr int kStatusPollMs = 100;

QString toQString(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// Runs the launcher in the background of a shell that ends at once, so neither a launcher that
// stays until the application ends nor the end of this program disturbs it; its exit status
// arrives in a file.
const char* const kLaunchScript = "{ \"$1\" \"$2\" >/dev/null 2>&1; s=$?; "
                                  "echo \"$s\" > \"$3.part\" && mv \"$3.part\" \"$3\"; } &";

// Starts /bin/sh with `arguments` in a session of its own that holds none of this program's open
// files but standard input, output and error on /dev/null. The help pane's browser processes
// share sockets with this process; an application the launcher starts, which may stay open for
// hours, would otherwise hold them, and with them those processes, after the program has ended.
bool startShellDetached(const QStringList& arguments) {
    std::vector<std::string> args{"/bin/sh"};
    for (const QString& a : arguments) {
        args.push_back(a.toStdString());
    }
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&files, 1, 2);
    posix_spawn_file_actions_addclosefrom_np(&files, 3);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int failed = posix_spawn(&pid, "/bin/sh", &files, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&files);
    if (failed != 0) {
        return false;
    }
    // The shell only puts the launcher into the background: it ends at once.
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// New files are made for their owner alone while it lives (the umask is the process's).
class OwnerOnlyFiles {
public:
    OwnerOnlyFiles()
        : m_mask(::umask(077)) {}
    ~OwnerOnlyFiles() { ::umask(m_mask); }
    OwnerOnlyFiles(const OwnerOnlyFiles&) = delete;
    OwnerOnlyFiles& operator=(const OwnerOnlyFiles&) = delete;

private:
    mode_t m_mask;
};

} // namespace

std::string resultFileName(const std::string& sourcePath, const QDateTime& when) {
    const std::string stamp = when.toString(QStringLiteral("yyyyMMdd-HHmmss")).toStdString();
    std::string stem = std::filesystem::path(sourcePath).stem().string();
    while (!stem.empty() && (stem.back() == ' ' || stem.back() == '.')) {
        stem.pop_back();
    }
    if (stem.empty()) {
        return "工资条-" + stamp + ".xlsx";
    }
    return stem + "-工资条-" + stamp + ".xlsx";
}

std::filesystem::path defaultResultFolder() {
    QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) {
        cache = QDir::homePath() + QStringLiteral("/.cache");
    }
    return std::filesystem::path(cache.toStdString()) / "quenly";
}

ResultPresenter::ResultPresenter(std::filesystem::path folder)
    : ResultPresenter(std::move(folder), Desktop{}) {}

ResultPresenter::ResultPresenter(std::filesystem::path folder, Desktop desktop)
    : m_folder(std::move(folder))
    , m_desktop(std::move(desktop)) {}

ResultPresenter::~ResultPresenter() = default;

std::filesystem::path ResultPresenter::uniqueTarget(const std::string& name) const {
    std::filesystem::path target = m_folder / name;
    const std::filesystem::path plain(name);
    const std::string stem = plain.stem().string();
    const std::string ext = plain.extension().string();
    for (int n = 2; std::filesystem::exists(target); ++n) {
        target = m_folder / (stem + "-" + std::to_string(n) + ext);
    }
    return target;
}

void ResultPresenter::present(const std::shared_ptr<wb::Workbook>& book) {
    if (!book) {
        return;
    }
    ui::guarded(m_owner, [&] {
        preparePrivateFolder(m_folder);
        const std::string source = m_source ? m_source() : std::string();
        const std::filesystem::path target =
            uniqueTarget(resultFileName(source, QDateTime::currentDateTime()));
        try {
            wb::print::setUpPages(*book);
            // Every person's pay is in it: readable by the user alone, whatever the umask.
            const OwnerOnlyFiles ownerOnly;
            wb::saveWorkbook(*book, target);
        } catch (const std::exception& e) {
            throw std::runtime_error("工资条无法保存到“" + target.string() + "”：" + e.what());
        }
        m_lastSaved = target;
        if (!hasDefaultApplication()) {
            reportNoApplication(toQString(target));
            return;
        }
        launch(toQString(target));
    });
}

bool ResultPresenter::hasDefaultApplication() const {
    QProcess query;
    query.start(m_desktop.mimeQuery, {QStringLiteral("query"), QStringLiteral("default"),
                                      QString::fromLatin1(kXlsxMimeType)});
    if (!query.waitForStarted(5000) || !query.waitForFinished(5000)) {
        query.kill();
        query.waitForFinished(1000);
        return false;
    }
    return query.exitStatus() == QProcess::NormalExit && query.exitCode() == 0 &&
           !query.readAllStandardOutput().trimmed().isEmpty();
}

void ResultPresenter::launch(const QString& file) {
    static std::atomic<int> counter{0};
    const QString status = QDir::temp().filePath(QStringLiteral("quenly-open-%1-%2.status")
                                                     .arg(QCoreApplication::applicationPid())
                                                     .arg(counter.fetch_add(1)));
    QFile::remove(status);
    const bool started =
        startShellDetached({QStringLiteral("-c"), QString::fromLatin1(kLaunchScript),
                            QStringLiteral("sh"), m_desktop.opener, file, status});
    if (!started) {
        reportNoApplication(file);
        return;
    }
    auto* poll = new QTimer(this);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    poll->setInterval(kStatusPollMs);
    connect(poll, &QTimer::timeout, this, [this, poll, clock, file, status] {
        QFile statusFile(status);
        if (statusFile.open(QIODevice::ReadOnly)) {
            bool ok = false;
            const int code = statusFile.readAll().trimmed().toInt(&ok);
            statusFile.close();
            QFile::remove(status);
            poll->stop();
            poll->deleteLater();
            if (ok && code == 0) {
                emit opened(file);
            } else {
                reportNoApplication(file);
            }
            return;
        }
        if (clock->elapsed() >= m_desktop.launcherPatienceMs) {
            // The launcher runs the application in its own foreground: it has started.
            poll->stop();
            poll->deleteLater();
            emit opened(file);
        }
    });
    poll->start();
}

void ResultPresenter::reportNoApplication(const QString& file) {
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8("信息提示"),
                    QString::fromUtf8("工资条已经生成，但这台电脑上没有能打开 Excel "
                                      "工作簿的程序。\n\n工资条保存在：\n%1\n\n"
                                      "可以用“另存为…”把它保存到别的地方，再用 WPS 表格、"
                                      "LibreOffice Calc 或 Excel 打开、预览和打印；"
                                      "也可以用“另存为 PDF…”把工资条存成 PDF，直接打印。")
                        .arg(file),
                    QMessageBox::NoButton, m_owner);
    QPushButton* saveAs = box.addButton(QString::fromUtf8("另存为…"), QMessageBox::AcceptRole);
    QPushButton* saveAsPdf =
        box.addButton(QString::fromUtf8("另存为 PDF…"), QMessageBox::AcceptRole);
    box.addButton(QString::fromUtf8("确定"), QMessageBox::RejectRole);
    box.setDefaultButton(saveAsPdf);
    box.exec();
    if (box.clickedButton() == saveAsPdf) {
        savePdf(file);
    } else if (box.clickedButton() == saveAs) {
        const QString target =
            QFileDialog::getSaveFileName(m_owner, QString::fromUtf8("工资条另存为"),
                                         QDir::home().filePath(QFileInfo(file).fileName()),
                                         QString::fromUtf8("Excel 工作簿 (*.xlsx)"));
        if (!target.isEmpty() && target != file) {
            // Copy beside the target and rename, so a failed copy leaves an existing file whole.
            const std::filesystem::path to(target.toStdString());
            std::filesystem::path part = to;
            part += ".part";
            std::error_code ec;
            std::filesystem::copy_file(file.toStdString(), part,
                                       std::filesystem::copy_options::overwrite_existing, ec);
            if (!ec) {
                std::filesystem::rename(part, to, ec);
            }
            if (ec) {
                std::filesystem::remove(part, ec);
                ui::showErrorBox(m_owner, QString::fromUtf8("无法把工资条保存到“%1”，"
                                                            "请换一个文件夹或文件名再试")
                                              .arg(target)
                                              .toStdString());
            }
        }
    }
    emit openFailed(file);
}

void ResultPresenter::savePdf(const QString& file) {
    const QString name = QFileInfo(file).completeBaseName() + QStringLiteral(".pdf");
    QString target = QFileDialog::getSaveFileName(m_owner, QString::fromUtf8("工资条存为 PDF"),
                                                  QDir::home().filePath(name),
                                                  QString::fromUtf8("PDF 文件 (*.pdf)"));
    if (target.isEmpty()) {
        return;
    }
    if (!target.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive)) {
        target += QStringLiteral(".pdf");
    }
    ui::guarded(m_owner, [&] {
        // The slips are drawn from the file just saved, which is the result as it stands.
        const std::unique_ptr<wb::Workbook> book = wb::loadWorkbook(file.toStdString());
        // Its pages are laid out again into the page set-up the PDF is drawn with: the file keeps
        // only as many breaks as spreadsheet applications do.
        wb::print::setUpPages(*book);
        QProgressDialog progress(QString::fromUtf8("正在把工资条存为 PDF…"), QString(), 0, 0,
                                 m_owner);
        progress.setWindowTitle(QString::fromUtf8("信息提示"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(500);
        wb::pdf::PdfOptions options;
        options.progress = [&progress](std::size_t done, std::size_t total) {
            progress.setMaximum(static_cast<int>(total));
            progress.setValue(static_cast<int>(done));
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        };
        wb::pdf::writePdf(*book, target.toStdString(), options);
        m_lastPdf = target.toStdString();
    });
}

} // namespace quenly::app
