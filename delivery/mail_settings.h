// The mail settings of a run (SETTINGS.ini): the SMTP server and the mail's sender, subject and
// body.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace quenly::delivery {

/// How the connection to the SMTP server is protected.
enum class Security {
    Ssl,      // TLS from the start (smtps, usually port 465)
    StartTls, // plain connection upgraded by STARTTLS, which must succeed (usually port 587)
    None,     // no encryption; only to a loopback address
};

/// What SETTINGS.ini holds. The password is never among it.
struct MailSettings {
    std::filesystem::path file; // SETTINGS.ini itself
    std::string host;
    std::uint16_t port = 0;
    Security security = Security::StartTls;
    std::string user; // empty: no authentication (only with Security::None)
    std::string from;
    std::string fromName;
    std::string subject;
    std::filesystem::path bodyFile; // resolved against the folder of `file`
    std::string body;               // the body file's text (UTF-8, without a byte order mark)
};

/// Reads and checks `file` (UTF-8, the INI rules of sys.ini):
///   [smtp] host, port (1-65535), security (ssl | starttls | none; none only to a loopback
///          host), user (may be empty only with none)
///   [mail] from (a valid address), from_name (may be empty), subject, body_file (relative to
///          the folder of `file`, UTF-8)
/// Throws DeliveryError naming the file, section and key of the first missing or bad value and
/// what to write there.
MailSettings readMailSettings(const std::filesystem::path& file);

/// The bytes of `path`, or nothing when it cannot be opened or read.
std::optional<std::string> readWholeFile(const std::filesystem::path& path);

} // namespace quenly::delivery
