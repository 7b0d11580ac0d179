// The checks made before any mail is sent: one valid address per person, no address twice, a
// name and a password where they are needed. Results as data, for a table or a window.
#pragma once

#include "mail_address.h"
#include "slip_run.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quenly::delivery {

/// The columns a mail run reads (0-based).
struct MailColumns {
    std::uint32_t to = 0;
    std::optional<std::uint32_t> name;
    std::optional<std::uint32_t> password;
    /// Lock with the last N characters of the password cell; 0 for the whole cell.
    int passwordLast = 0;
};

/// One counted person as a mail recipient.
struct Recipient {
    Person person;
    std::string name;    // the name cell, or "" without a name column
    std::string address; // the address cell as shown
    std::string attachmentName;
    bool locked = false;
    std::string password; // the lock's password; never printed or written
    /// What keeps this person from being sent to, one Chinese sentence each; empty when none.
    std::vector<std::string> problems;
};

/// Every counted person with the outcome of the checks.
struct MailPlan {
    std::vector<Recipient> recipients;
    /// Number of recipients with at least one problem.
    std::size_t withProblems() const;
};

/// Reads every person's address, name and password cells and checks them: a missing or
/// malformed address, two persons with the same address (compared without regard to ASCII
/// case; both are named, each with the other's row), an empty name cell (when a name column is
/// given), an empty password cell (when a password column is given).
MailPlan planMail(const SlipRun& run, const MailColumns& columns);

} // namespace quenly::delivery
