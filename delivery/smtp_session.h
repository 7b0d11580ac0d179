// One connection to an SMTP server over libcurl, kept open for every mail of a run.
#pragma once

#include "mail_settings.h"

#include <memory>
#include <string>
#include <string_view>

namespace quenly::delivery {

/// How one attempt to send ended.
struct SmtpResult {
    enum class Kind {
        Accepted,
        /// The server refused this mail for good (a 5xx reply): the others may go on.
        Refused,
        /// The server refused for now (a 4xx reply): trying again later may work.
        Deferred,
        /// The connection failed or was lost: trying again may work.
        ConnectionLost,
        /// The user name or password was refused.
        LoginDenied,
        /// The server's certificate or the TLS handshake failed; never retried without checks.
        Tls,
        /// Anything else (the host unknown, STARTTLS not offered...): the run cannot go on.
        Fatal,
    };
    Kind kind = Kind::Accepted;
    /// The server's reply code, 0 when none.
    long code = 0;
    /// A Chinese description for the user; empty when accepted.
    std::string reason;
};

/// The SMTP client of a run. TLS (smtps for Security::Ssl, STARTTLS required for
/// Security::StartTls) always verifies the server's certificate and host name, against the
/// system's authorities or `caFile`. One libcurl handle serves every mail, so one connection is
/// used while the server keeps it open. Not thread-safe: use it from one thread.
class SmtpSession {
public:
    /// `password` stays in memory only. Throws DeliveryError when libcurl cannot start.
    SmtpSession(const MailSettings& settings, std::string password, std::string caFile);
    ~SmtpSession();
    SmtpSession(const SmtpSession&) = delete;
    SmtpSession& operator=(const SmtpSession&) = delete;

    /// Connects, does TLS and logs in, sending no mail (a NOOP); the connection stays open for
    /// the mails that follow.
    SmtpResult testConnection();

    /// Sends `message` (a whole MIME message, CR LF lines) from the settings' sender to `to`.
    SmtpResult send(std::string_view to, std::string_view message);

private:
    SmtpResult perform();

    struct Handle;
    std::unique_ptr<Handle> m_handle;
};

} // namespace quenly::delivery
