// What the sending window shares between its files and with its worker thread: the job of a
// connection test, a trial or a run, and text passed between the engine (UTF-8) and Qt.
#pragma once

#include "mail_delivery.h"
#include "mail_journal.h"
#include "smtp_session.h"

#include <QString>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace quenly::send {

/// What one connection test, trial or run works on; the worker thread keeps it while it runs
/// and leaves its outcome in it.
struct SendJob {
    std::shared_ptr<const delivery::SlipRun> run;
    std::shared_ptr<const delivery::MailPlan> plan;
    delivery::MailSettings settings;
    std::string password;
    std::unique_ptr<delivery::MailDelivery> delivery;
    std::filesystem::path source;
    delivery::MailJournal::Mode mode = delivery::MailJournal::Mode::Fresh;
    bool skipProblems = false;
    // What the worker leaves for the window.
    std::optional<delivery::MailRunResult> result;
    std::optional<delivery::SmtpResult> smtp;
    std::string failure;
};

/// The caption of the window and of its message boxes.
inline const QString kCaption = QStringLiteral("发送工资条");

inline QString toQt(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string toUtf8(const QString& text) {
    return text.toUtf8().toStdString();
}

/// "第 5 行（王建国）": how messages and captions name a person.
inline QString personText(const delivery::Recipient& r) {
    return QStringLiteral("第 %1 行%2")
        .arg(r.person.sourceRow)
        .arg(r.name.empty() ? QString()
                            : QStringLiteral("（") + toQt(r.name) + QStringLiteral("）"));
}

} // namespace quenly::send
