// The mail run: one mail per checked person over one SMTP session, recorded in the journal.
#include "mail_delivery.h"

#include "mail_mime.h"

#include <ctime>
#include <thread>

namespace quenly::delivery {

namespace {

using Kind = SmtpResult::Kind;

} // namespace

std::size_t MailRunResult::count(PersonState state) const {
    std::size_t n = 0;
    for (const PersonOutcome& o : outcomes) {
        n += o.state == state ? 1 : 0;
    }
    return n;
}

MailDelivery::MailDelivery(const SlipRun& run, const MailPlan& plan, const MailSettings& settings,
                           const std::optional<TemplateNames>& names)
    : m_run(run)
    , m_plan(plan)
    , m_settings(settings)
    , m_subject(MailTemplate::parse(
          settings.subject,
          names ? names->subject : "邮件设置“" + settings.file.string() + "”的 [mail] subject",
          run.titles()))
    , m_body(MailTemplate::parse(
          settings.body, names ? names->body : "正文文件“" + settings.bodyFile.string() + "”",
          run.titles()))
    , m_pdfs(run) {}

std::string MailDelivery::subjectFor(const Recipient& recipient) const {
    return m_subject.fill(
        [&](std::uint32_t column) { return m_run.shown(recipient.person, column); });
}

std::string MailDelivery::bodyFor(const Recipient& recipient) const {
    return m_body.fill([&](std::uint32_t column) { return m_run.shown(recipient.person, column); });
}

std::string MailDelivery::slipHash(const Recipient& recipient) const {
    std::string texts;
    for (std::uint32_t column = m_run.firstColumn(); column <= m_run.lastColumn(); ++column) {
        texts += m_run.shown(recipient.person, column);
        texts.push_back('\x1f');
    }
    return sha256Hex(texts);
}

std::string MailDelivery::slipFor(std::size_t index, const MailJournal& journal) {
    if (auto ready = m_slips.find(index); ready != m_slips.end()) {
        std::string pdf = std::move(ready->second);
        m_slips.erase(ready);
        return pdf;
    }
    // Drawing a document costs far more than drawing a page, so the slips of this recipient
    // and the next ones that will be sent are drawn as one document and split.
    std::vector<std::size_t> indexes;
    std::vector<Person> persons;
    std::vector<std::string> passwords;
    for (std::size_t i = index;
         i < m_plan.recipients.size() && persons.size() < kPersonsPerDocument; ++i) {
        const Recipient& r = m_plan.recipients[i];
        if (i != index && (!r.problems.empty() || journal.sentTo(r.address))) {
            continue;
        }
        indexes.push_back(i);
        persons.push_back(r.person);
        passwords.push_back(r.locked ? r.password : std::string());
    }
    std::vector<std::string> pdfs = m_pdfs.pdfs(persons, {});
    for (std::size_t k = 0; k < pdfs.size(); ++k) {
        if (!passwords[k].empty()) {
            pdfs[k] = lockPdf(pdfs[k], passwords[k]);
        }
        if (k > 0) {
            m_slips[indexes[k]] = std::move(pdfs[k]);
        }
    }
    return std::move(pdfs.front());
}

std::string MailDelivery::messageFor(std::size_t index, const std::string& messageId,
                                     const MailJournal& journal) {
    const Recipient& recipient = m_plan.recipients[index];
    return compose(recipient, recipient.name, recipient.address, slipFor(index, journal),
                   messageId);
}

std::string MailDelivery::trialMessage(std::size_t index, const std::string& toName,
                                       const std::string& toAddress) {
    const Recipient& recipient = m_plan.recipients.at(index);
    std::string pdf = m_pdfs.pdf(recipient.person);
    if (recipient.locked) {
        pdf = lockPdf(pdf, recipient.password);
    }
    return compose(recipient, toName, toAddress, std::move(pdf),
                   mime::newMessageId(m_settings.from));
}

std::string MailDelivery::compose(const Recipient& recipient, const std::string& toName,
                                  const std::string& toAddress, std::string pdf,
                                  const std::string& messageId) const {
    mime::MailParts parts;
    parts.fromName = m_settings.fromName;
    parts.fromAddress = m_settings.from;
    parts.toName = toName;
    parts.toAddress = toAddress;
    parts.subject = subjectFor(recipient);
    parts.body = bodyFor(recipient);
    parts.attachmentName = recipient.attachmentName;
    parts.attachment = std::move(pdf);
    parts.messageId = messageId;
    parts.date = std::time(nullptr);
    return mime::composeMessage(parts);
}

bool MailDelivery::waitUnlessStopped(std::chrono::milliseconds wait) const {
    const auto until = std::chrono::steady_clock::now() + wait;
    while (!m_stop) {
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) {
            return true;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - now, std::chrono::milliseconds(50)));
    }
    return false;
}

MailRunResult MailDelivery::run(SmtpSession& session, MailJournal& journal,
                                const MailRunOptions& options) {
    MailRunResult result;
    for (std::size_t i = 0; i < m_plan.recipients.size(); ++i) {
        result.outcomes.push_back(PersonOutcome{i, PersonState::NotSent, {}, {}});
    }
    const std::size_t problems = m_plan.withProblems();
    if (problems > 0 && !options.skipInvalid) {
        result.end = MailRunResult::End::Failed;
        result.reason = std::to_string(problems) + " 人的检查未通过，没有发送任何邮件";
        return result;
    }

    // Sends with retries after a lost connection or a refusal for now; returns the last result.
    auto withRetries = [&](const std::function<SmtpResult()>& attempt) {
        SmtpResult r = attempt();
        for (std::size_t retry = 0; (r.kind == Kind::ConnectionLost || r.kind == Kind::Deferred) &&
                                    retry < options.retryWaits.size();
             ++retry) {
            if (onRetry) {
                onRetry(r.reason, static_cast<int>(retry) + 2, options.retryWaits[retry]);
            }
            if (!waitUnlessStopped(options.retryWaits[retry])) {
                break;
            }
            r = attempt();
        }
        return r;
    };
    auto endWith = [&](MailRunResult::End end, std::string reason) {
        result.end = end;
        result.reason = std::move(reason);
        return result;
    };

    bool loggedIn = false;
    bool sentOne = false;
    for (std::size_t i = 0; i < m_plan.recipients.size(); ++i) {
        const Recipient& r = m_plan.recipients[i];
        PersonOutcome& outcome = result.outcomes[i];
        if (!r.problems.empty()) {
            outcome.state = PersonState::Skipped;
            outcome.reason = r.problems.front();
        } else if (journal.sentTo(r.address)) {
            outcome.state = PersonState::AlreadySent;
        }
        if (outcome.state != PersonState::NotSent) {
            if (onPerson) {
                onPerson(r, outcome);
            }
            continue;
        }
        if (m_stop) {
            return endWith(MailRunResult::End::Stopped, "发送已按要求停止");
        }
        if (!loggedIn) {
            // The login is tried before the first mail, so a wrong password sends nothing.
            const SmtpResult login = withRetries([&] { return session.testConnection(); });
            if (login.kind == Kind::LoginDenied) {
                return endWith(MailRunResult::End::LoginDenied, login.reason);
            }
            if (login.kind == Kind::ConnectionLost || login.kind == Kind::Deferred) {
                return endWith(MailRunResult::End::ConnectionLost, login.reason);
            }
            if (login.kind != Kind::Accepted) {
                return endWith(MailRunResult::End::Failed, login.reason);
            }
            loggedIn = true;
        }
        if (sentOne && options.interval.count() > 0 && !waitUnlessStopped(options.interval)) {
            return endWith(MailRunResult::End::Stopped, "发送已按要求停止");
        }
        const std::string messageId = mime::newMessageId(m_settings.from);
        std::string message;
        try {
            message = messageFor(i, messageId, journal);
        } catch (const std::exception& e) {
            return endWith(MailRunResult::End::Failed, "第 " + std::to_string(r.person.sourceRow) +
                                                           " 行的工资条无法生成：" + e.what());
        }
        // The same message, Message-ID included, on every attempt.
        const SmtpResult sent = withRetries([&] { return session.send(r.address, message); });
        sentOne = true;
        switch (sent.kind) {
        case Kind::Accepted:
            outcome.state = PersonState::Sent;
            outcome.messageId = messageId;
            try {
                journal.record(JournalEntry{r.address, slipHash(r), messageId, std::time(nullptr),
                                            r.person.sourceRow});
            } catch (const std::exception& e) {
                if (onPerson) {
                    onPerson(r, outcome);
                }
                return endWith(MailRunResult::End::Failed,
                               std::string(e.what()) + "；为免重复发送，已停止");
            }
            break;
        case Kind::Refused:
        case Kind::Deferred:
            outcome.state = PersonState::Refused;
            outcome.reason = sent.reason;
            break;
        case Kind::ConnectionLost:
            outcome.reason = sent.reason;
            return endWith(m_stop ? MailRunResult::End::Stopped
                                  : MailRunResult::End::ConnectionLost,
                           sent.reason);
        case Kind::LoginDenied:
            outcome.reason = sent.reason;
            return endWith(MailRunResult::End::LoginDenied, sent.reason);
        case Kind::Tls:
        case Kind::Fatal:
            outcome.reason = sent.reason;
            return endWith(MailRunResult::End::Failed, sent.reason);
        }
        if (onPerson) {
            onPerson(r, outcome);
        }
    }
    return result;
}

} // namespace quenly::delivery
