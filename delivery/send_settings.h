// The sending window's settings (send.ini beside the program): the mail settings in the form
// quenly-batch --mail reads them, the body in a file of its own beside it, and the columns last
// chosen. Never the password.
#pragma once

#include "mail_settings.h"

#include <filesystem>
#include <optional>
#include <string>

namespace quenly::delivery {

struct SendSettings {
    /// `file` and `bodyFile` are not kept: they follow from where the settings are saved.
    MailSettings mail;
    /// The columns, each by its title in the header's last row (or by letters for a column
    /// without a title); empty when none was chosen.
    std::string toColumn;
    std::string nameColumn;
    std::string passwordColumn;
    /// Lock with the last N characters of the password cell; 0 for the whole cell.
    int passwordLast = 0;
};

/// The settings a first start offers: SSL on port 465, a subject and body that greet the person
/// by the column titled 姓名.
SendSettings defaultSendSettings();

/// The body file that goes with the settings file `file`: "<stem>-body.txt" beside it.
std::filesystem::path sendBodyFile(const std::filesystem::path& file);

/// Reads `file` and its body file. Nothing here fails: a missing or unreadable file, or a
/// missing or bad value (a port out of range, an unknown security), gives that value of
/// defaultSendSettings(); the values are checked when used (mailSettingsProblem).
SendSettings loadSendSettings(const std::filesystem::path& file);

/// Writes `settings` to `file` ([smtp] host, port, security, user; [mail] from, from_name,
/// subject, body_file; [columns] to, name, password, password_last) and the body to its body
/// file, each whole or not at all and readable by its owner alone; other lines of an existing
/// file are kept. A line break in a one-line value becomes a space. Throws DeliveryError naming
/// the file that could not be written.
void saveSendSettings(const SendSettings& settings, const std::filesystem::path& file);

/// Which value of the mail settings a problem is about (in the order a form shows them).
enum class MailField { Host, Security, User, From, Subject };

struct MailSettingsProblem {
    MailField field;
    /// One Chinese sentence that says what to fill in.
    std::string text;
};

/// The first value of `settings` that keeps a mail from being sent, or nothing: an empty
/// server, "none" to a server that is not this machine, an empty user with encryption, a
/// missing or malformed sender address, an empty subject. The port needs no check.
std::optional<MailSettingsProblem> mailSettingsProblem(const MailSettings& settings);

} // namespace quenly::delivery
