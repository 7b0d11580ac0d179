// The mail run: every checked person's slip as a PDF attached to a mail of their own, sent over
// one SMTP session and recorded in the journal. Reports per person through callbacks and returns
// the outcome as data, so a window can drive it from a worker thread.
#pragma once

#include "mail_checks.h"
#include "mail_journal.h"
#include "mail_settings.h"
#include "mail_template.h"
#include "slip_documents.h"
#include "slip_run.h"
#include "smtp_session.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quenly::delivery {

struct MailRunOptions {
    /// Wait between two mails.
    std::chrono::milliseconds interval{0};
    /// Waits before the attempts that follow a lost connection or a refusal for now; when all
    /// are used up the run stops (lost connection) or the person is left (refusal).
    std::vector<std::chrono::milliseconds> retryWaits{
        std::chrono::seconds(1), std::chrono::seconds(2), std::chrono::seconds(4)};
    /// Leave out the persons the checks found a problem with; without it a plan with any
    /// problem sends nothing.
    bool skipInvalid = false;
};

enum class PersonState {
    Sent,        // accepted by the server and recorded
    Refused,     // refused by the server; the others went on
    AlreadySent, // recorded in the journal by an earlier run
    Skipped,     // left out for a problem found by the checks
    NotSent,     // the run ended before this person
};

struct PersonOutcome {
    std::size_t index = 0; // into MailPlan::recipients
    PersonState state = PersonState::NotSent;
    std::string reason; // why not sent; empty when sent
    std::string messageId;
};

struct MailRunResult {
    enum class End {
        Finished,       // every person was tried
        Stopped,        // stop was requested
        ConnectionLost, // the connection failed and retries did not bring it back
        LoginDenied,    // the server refused the login; nobody was sent to after it
        Failed,         // anything else (TLS, the journal, the checks); `reason` says what
    };
    End end = End::Finished;
    std::string reason;
    /// One per recipient, in the plan's order.
    std::vector<PersonOutcome> outcomes;

    std::size_t count(PersonState state) const;
};

class MailDelivery {
public:
    /// What a template is called in a message about it.
    struct TemplateNames {
        std::string subject;
        std::string body;
    };

    /// Reads the subject and body templates against the run's titles; throws DeliveryError for
    /// an unknown placeholder, before anything is sent. The message names the templates by
    /// `names`, or by the settings file's key and the body file when not given.
    MailDelivery(const SlipRun& run, const MailPlan& plan, const MailSettings& settings,
                 const std::optional<TemplateNames>& names = std::nullopt);

    /// Subject and body of the recipient's mail.
    std::string subjectFor(const Recipient& recipient) const;
    std::string bodyFor(const Recipient& recipient) const;
    /// The mail recipient `index` of the plan gets, with their slip (locked as theirs is), sent
    /// instead to `toName` <`toAddress`>: for a trial to oneself. Throws DeliveryError.
    std::string trialMessage(std::size_t index, const std::string& toName,
                             const std::string& toAddress);
    /// Hex SHA-256 of the texts the person's slip shows in the source row.
    std::string slipHash(const Recipient& recipient) const;

    /// Called after each person's outcome is known (from the thread that runs).
    std::function<void(const Recipient&, const PersonOutcome&)> onPerson;
    /// Called before waiting to try again, with the reason, the attempt to come (2, 3...) and
    /// the wait.
    std::function<void(const std::string&, int, std::chrono::milliseconds)> onRetry;

    /// Sends to every recipient not recorded in `journal`: first logs in (a refused login ends
    /// the run before any mail), then one mail per person. Never throws for a fault of the
    /// server or the network: those end the run with its reason.
    MailRunResult run(SmtpSession& session, MailJournal& journal, const MailRunOptions& options);

    /// Asks a running run() to end after the current mail; safe from any thread.
    void requestStop() { m_stop = true; }
    bool stopRequested() const { return m_stop; }

private:
    bool waitUnlessStopped(std::chrono::milliseconds wait) const;
    // The message to recipient `index` of the plan, its slip drawn (and locked) beforehand by
    // slipFor.
    std::string messageFor(std::size_t index, const std::string& messageId,
                           const MailJournal& journal);
    std::string compose(const Recipient& recipient, const std::string& toName,
                        const std::string& toAddress, std::string pdf,
                        const std::string& messageId) const;
    // The slip of recipient `index`: drawn together with the next recipients still to be sent
    // (as many as share one document), the others kept for their turn.
    std::string slipFor(std::size_t index, const MailJournal& journal);

    const SlipRun& m_run;
    const MailPlan& m_plan;
    const MailSettings& m_settings;
    MailTemplate m_subject;
    MailTemplate m_body;
    SlipPdfs m_pdfs;
    // Slips drawn ahead of their turn, by recipient index.
    std::map<std::size_t, std::string> m_slips;
    std::atomic<bool> m_stop{false};
};

} // namespace quenly::delivery
