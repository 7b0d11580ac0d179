// The sending window's mail work: the form's settings checked, the connection test, the trial to
// oneself, the run with its progress per person, and what is said when it ends.
#include "send_job.h"
#include "send_window.h"

#include "password_store.h"
#include "recipient_table.h"
#include "text_util.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>

namespace quenly::send {

using namespace quenly::delivery;

namespace {

// How many persons a summary names before it only counts the rest.
constexpr std::size_t kNamedInSummary = 10;

} // namespace

std::optional<MailSettings> SendWindow::checkedMailSettings() {
    MailSettings settings = formSettings().mail;
    if (const auto problem = mailSettingsProblem(settings)) {
        warn(toQt(problem->text));
        // In the order of MailField.
        QWidget* const fields[] = {hostEdit, securityBox, userEdit, fromEdit, subjectEdit};
        fields[static_cast<int>(problem->field)]->setFocus();
        return std::nullopt;
    }
    if (!settings.user.empty() && passwordEdit->text().isEmpty()) {
        warn(QStringLiteral("请填写 %1 登录邮件服务器的密码。").arg(toQt(settings.user)));
        passwordEdit->setFocus();
        return std::nullopt;
    }
    return settings;
}

std::shared_ptr<SendJob> SendWindow::newJob() {
    if (busy() || !m_plan) {
        return nullptr;
    }
    const auto settings = checkedMailSettings();
    if (!settings) {
        return nullptr;
    }
    auto job = std::make_shared<SendJob>();
    job->run = m_run;
    job->plan = m_plan;
    job->settings = *settings;
    job->password = toUtf8(passwordEdit->text());
    job->source = m_source;
    job->mode = m_mode;
    job->skipProblems = skipProblems->isChecked();
    try {
        job->delivery = std::make_unique<MailDelivery>(*job->run, *job->plan, job->settings,
                                                       MailDelivery::TemplateNames{"主题", "正文"});
    } catch (const std::exception& e) {
        warn(toQt(e.what()) +
             QStringLiteral("\n\n请改正主题或正文中的占位符：可用的列标题见“占位符”。"));
        return nullptr;
    }
    return job;
}

// ---- connection test and trial ---------------------------------------------------------------

namespace {

QString smtpAdvice(SmtpResult::Kind kind) {
    switch (kind) {
    case SmtpResult::Kind::LoginDenied:
        return QStringLiteral("请检查用户名和密码（有的邮箱要用“授权码”代替登录密码）。");
    case SmtpResult::Kind::Tls:
        return QStringLiteral("请检查服务器地址和加密方式：服务器的证书必须能被本机验证。");
    case SmtpResult::Kind::ConnectionLost:
    case SmtpResult::Kind::Fatal:
        return QStringLiteral("请检查服务器地址、端口和加密方式，以及本机能否连上网络。");
    case SmtpResult::Kind::Refused:
    case SmtpResult::Kind::Deferred:
        return QStringLiteral("请检查发件人地址是否就是登录的邮箱。");
    case SmtpResult::Kind::Accepted:
        break;
    }
    return {};
}

} // namespace

void SendWindow::reportFailure(const SendJob& job, const QString& what) {
    if (!job.smtp) {
        warn(what + toQt(job.failure));
        return;
    }
    const SmtpResult::Kind kind = job.smtp->kind;
    // The server took the login when it got as far as judging a mail.
    keepPassword(kind == SmtpResult::Kind::Accepted || kind == SmtpResult::Kind::Refused ||
                 kind == SmtpResult::Kind::Deferred);
    warn(what + toQt(job.smtp->reason) + QStringLiteral("\n\n") + smtpAdvice(kind));
}

void SendWindow::testConnectionClick() {
    if (busy()) {
        return;
    }
    const auto settings = checkedMailSettings();
    if (!settings) {
        return;
    }
    saveSettings();
    auto job = std::make_shared<SendJob>();
    job->settings = *settings;
    job->password = toUtf8(passwordEdit->text());
    sendLabel->setText(
        QStringLiteral("正在连接 %1:%2……").arg(toQt(settings->host)).arg(settings->port));
    inBackground(
        [job] {
            try {
                SmtpSession session(job->settings, job->password, {});
                job->smtp = session.testConnection();
            } catch (const std::exception& e) {
                job->failure = e.what();
            }
        },
        [this, job] {
            sendLabel->clear();
            const MailSettings& m = job->settings;
            if (job->smtp && job->smtp->kind == SmtpResult::Kind::Accepted) {
                keepPassword(true);
                inform(QStringLiteral("连接成功：已%1登录 %2:%3，没有发送邮件。")
                           .arg(m.user.empty() ? QStringLiteral("（无需）") : QString())
                           .arg(toQt(m.host))
                           .arg(m.port));
            } else {
                reportFailure(*job, QStringLiteral("连接失败："));
            }
            emit workEnded();
        });
}

void SendWindow::trialClick() {
    auto job = newJob();
    if (!job) {
        return;
    }
    // The first person the checks passed: their slip, locked as theirs will be.
    std::size_t index = 0;
    while (index < m_plan->recipients.size() && !m_plan->recipients[index].problems.empty()) {
        ++index;
    }
    if (index == m_plan->recipients.size()) {
        return;
    }
    saveSettings();
    const Recipient& person = m_plan->recipients[index];
    sendLabel->setText(QStringLiteral("正在把%1的工资条发给自己……").arg(personText(person)));
    inBackground(
        [job, index] {
            try {
                const std::string message =
                    job->delivery->trialMessage(index, job->settings.fromName, job->settings.from);
                SmtpSession session(job->settings, job->password, {});
                job->smtp = session.send(job->settings.from, message);
            } catch (const std::exception& e) {
                job->failure = e.what();
            }
        },
        [this, job, index] {
            sendLabel->clear();
            const Recipient& r = job->plan->recipients[index];
            if (job->smtp && job->smtp->kind == SmtpResult::Kind::Accepted) {
                keepPassword(true);
                inform(QStringLiteral("已把%1的邮件（主题、正文和工资条都与发给本人的一样%2）发到 "
                                      "%3，请查收。")
                           .arg(personText(r),
                                r.locked ? QStringLiteral("，PDF 以本人的密码加密") : QString(),
                                toQt(job->settings.from)));
            } else {
                reportFailure(*job, QStringLiteral("试发失败："));
            }
            emit workEnded();
        });
}

// ---- the run ---------------------------------------------------------------------------------

void SendWindow::sendClick() {
    auto job = sendButton->isEnabled() ? newJob() : nullptr;
    if (!job) {
        return;
    }
    const MailSettings* const settings = &job->settings;
    const std::size_t total = m_plan->recipients.size();
    const std::size_t problems = m_plan->withProblems();
    std::size_t before = 0;
    for (const Recipient& r : m_plan->recipients) {
        before += r.problems.empty() && m_recorded.count(wb::lowerAscii(r.address)) != 0 ? 1 : 0;
    }
    const std::size_t mails = total - problems - before;
    if (mails == 0) {
        inform(QStringLiteral("没有要发送的邮件：通过检查的 %1 人此前都已发送过。").arg(before));
        return;
    }
    QString text =
        QStringLiteral("将通过 %1:%2 发出 %3 封邮件，每人一封，附本人的工资条%4。\n"
                       "发件人：%5")
            .arg(toQt(settings->host))
            .arg(settings->port)
            .arg(mails)
            .arg(m_plan->recipients.front().locked ? QStringLiteral("（以本人的密码加密）")
                                                   : QString())
            .arg(settings->fromName.empty()
                     ? toQt(settings->from)
                     : toQt(settings->fromName + " <" + settings->from + ">"));
    if (problems > 0) {
        text += QStringLiteral("\n有问题的 %1 人不发送。").arg(problems);
    }
    if (before > 0) {
        text += QStringLiteral("\n此前已发送的 %1 人不再发送。").arg(before);
    }
    text += QStringLiteral("\n\n确定发送吗？");
    QMessageBox box(QMessageBox::Question, kCaption, text, QMessageBox::NoButton, this);
    QPushButton* go = box.addButton(QStringLiteral("发送"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(cancel);
    box.exec();
    if (box.clickedButton() != go) {
        return;
    }
    saveSettings();

    for (std::size_t i = 0; i < total; ++i) {
        if (recipients->status(i) != RowStatus::Before) {
            recipients->setStatus(i, m_plan->recipients[i].problems.empty() ? RowStatus::Waiting
                                                                            : RowStatus::None);
        }
    }
    m_lastRun.reset();
    sendProgress->setRange(0, static_cast<int>(mails));
    sendProgress->setValue(0);
    sendLabel->setText(
        QStringLiteral("正在连接 %1:%2……").arg(toQt(settings->host)).arg(settings->port));

    QPointer<SendWindow> self(this);
    job->delivery->onPerson = [self](const Recipient&, const PersonOutcome& outcome) {
        QMetaObject::invokeMethod(self, [self, outcome] {
            if (!self) {
                return;
            }
            RowStatus status = RowStatus::NotSent;
            switch (outcome.state) {
            case PersonState::Sent:
                status = RowStatus::Sent;
                break;
            case PersonState::Refused:
                status = RowStatus::Refused;
                break;
            case PersonState::AlreadySent:
                status = RowStatus::Before;
                break;
            case PersonState::Skipped:
                status = RowStatus::Skipped;
                break;
            case PersonState::NotSent:
                break;
            }
            self->recipients->setStatus(outcome.index, status, outcome.reason);
            if (outcome.state == PersonState::Sent || outcome.state == PersonState::Refused) {
                self->sendProgress->setValue(self->sendProgress->value() + 1);
                self->sendLabel->setText(QStringLiteral("正在发送：%1 / %2")
                                             .arg(self->sendProgress->value())
                                             .arg(self->sendProgress->maximum()));
            }
            emit self->personReported(static_cast<int>(outcome.index));
        });
    };
    job->delivery->onRetry = [self](const std::string& reason, int attempt,
                                    std::chrono::milliseconds wait) {
        const QString text = QStringLiteral("%1；%2 秒后第 %3 次尝试")
                                 .arg(toQt(reason))
                                 .arg(static_cast<double>(wait.count()) / 1000.0)
                                 .arg(attempt);
        QMetaObject::invokeMethod(self, [self, text] {
            if (self) {
                self->sendLabel->setText(text);
            }
        });
    };
    m_job = job;
    inBackground(
        [job] {
            try {
                MailJournal journal(job->source, job->mode);
                SmtpSession session(job->settings, job->password, {});
                MailRunOptions options;
                options.skipInvalid = job->skipProblems;
                job->result = job->delivery->run(session, journal, options);
            } catch (const JournalInUse& e) {
                job->failure = "这份工资表刚刚由另一个发送任务发给了 " +
                               std::to_string(e.entries()) +
                               " 人；为免重复发送，没有发送任何邮件。请点“读取”重新读取工资表，再决"
                               "定接着发送还是作为新表发送";
            } catch (const std::exception& e) {
                job->failure = e.what();
            }
        },
        [this, job] { endSend(job); });
}

void SendWindow::stopClick() {
    if (m_job && m_job->delivery && busy()) {
        m_job->delivery->requestStop();
        stopButton->setEnabled(false);
        sendLabel->setText(QStringLiteral("正在停止：当前这封邮件发出后停止……"));
    }
}

void SendWindow::endSend(const std::shared_ptr<SendJob>& job) {
    m_job.reset();
    recipients->markUnsent();
    // Whatever this run recorded, the next one goes on from it.
    m_mode = MailJournal::Mode::Resume;
    m_recorded = MailJournal::recorded(m_source);
    updateButtons();
    sendProgress->setVisible(true);
    if (!job->result) {
        sendLabel->setText(QStringLiteral("没有发送。"));
        warn(QStringLiteral("发送失败：") + toQt(job->failure));
        emit workEnded();
        return;
    }
    m_lastRun = job->result;
    const MailRunResult& result = *job->result;
    keepPassword(result.end != MailRunResult::End::LoginDenied);
    const std::size_t total = result.outcomes.size();
    const std::size_t sent = result.count(PersonState::Sent);
    const std::size_t before = result.count(PersonState::AlreadySent);
    sendLabel->setText(QStringLiteral("本次发出 %1 封。").arg(sent));
    if (sent + before == total && result.end == MailRunResult::End::Finished) {
        inform(QStringLiteral("已全部发送：本次发出 %1 封%2，共 %3 人。")
                   .arg(sent)
                   .arg(before > 0 ? QStringLiteral("，此前已发送 %1 人").arg(before) : QString())
                   .arg(total));
        emit workEnded();
        return;
    }
    QString text;
    switch (result.end) {
    case MailRunResult::End::Finished:
        break;
    case MailRunResult::End::Stopped:
        text = QStringLiteral("已按“停止”在当前邮件发出后停止。\n");
        break;
    case MailRunResult::End::LoginDenied:
        text = QStringLiteral("邮件服务器拒绝了登录：") + toQt(result.reason) +
               QStringLiteral("\n请检查用户名和密码（有的邮箱要用“授权码”代替登录密码）。\n");
        break;
    case MailRunResult::End::ConnectionLost:
    case MailRunResult::End::Failed:
        text = QStringLiteral("发送中止：") + toQt(result.reason) + QStringLiteral("\n");
        break;
    }
    const std::size_t missing = total - sent - before;
    text += QStringLiteral("本次发出 %1 封；以下 %2 人没有收到邮件：\n").arg(sent).arg(missing);
    std::size_t named = 0;
    for (const PersonOutcome& o : result.outcomes) {
        if (o.state == PersonState::Sent || o.state == PersonState::AlreadySent) {
            continue;
        }
        if (named++ == kNamedInSummary) {
            text +=
                QStringLiteral("……另有 %1 人，见表中的“状态”。\n").arg(missing - kNamedInSummary);
            break;
        }
        text += QStringLiteral("  ") + personText(job->plan->recipients[o.index]) +
                QStringLiteral("：") + recipients->statusText(o.index) + QStringLiteral("\n");
    }
    const QString again =
        QStringLiteral("再点“发送”：只会发给尚未发送的人，已发送的人不会再收到。");
    switch (result.end) {
    case MailRunResult::End::Stopped:
        text += QStringLiteral("\n要接着发给他们，") + again;
        break;
    case MailRunResult::End::ConnectionLost:
        text += QStringLiteral("\n请检查网络和服务器设置后") + again;
        break;
    case MailRunResult::End::Finished:
        text +=
            QStringLiteral("\n被拒绝的人：请核对他们的邮箱地址，改正工资表后点“读取”，") + again;
        break;
    case MailRunResult::End::LoginDenied:
    case MailRunResult::End::Failed:
        text += QStringLiteral("\n改正后") + again;
        break;
    }
    warn(text);
    emit workEnded();
}

} // namespace quenly::send
