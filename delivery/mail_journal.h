// The journal of a mail run: who was sent which slip, kept durably per source table so that a run
// that stopped can resume without sending anyone a slip twice.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quenly::delivery {

/// A journal that already holds entries, opened for a fresh run.
class JournalInUse : public std::runtime_error {
public:
    JournalInUse(std::filesystem::path path, std::size_t entries);
    /// The addresses (lowercase) the journal of `source` records, read without making, locking
    /// or changing anything; empty when there is no journal. For a dry run.
    static std::set<std::string> recorded(const std::filesystem::path& source);

    const std::filesystem::path& path() const { return m_path; }
    std::size_t entries() const { return m_entries; }

private:
    std::filesystem::path m_path;
    std::size_t m_entries;
};

/// One accepted mail. Never holds an amount: the slip is known by a hash of its cell texts.
struct JournalEntry {
    std::string address;
    std::string slipHash; // hex SHA-256
    std::string messageId;
    std::time_t time = 0;
    std::uint32_t sourceRow = 0; // 1-based
};

/// The journal of one source table: `<state>/quenly/mail-<hash of the canonical path>.journal`,
/// where <state> is $XDG_STATE_HOME or ~/.local/state. The folder is made 0700, the file 0600.
/// One line per accepted mail, tab-separated; a last line cut short by a crash is ignored. The
/// file is locked while open, so two runs on one table cannot send at once.
class MailJournal {
public:
    enum class Mode {
        /// A first run: refused with JournalInUse when the journal holds entries.
        Fresh,
        /// Goes on where an earlier run stopped.
        Resume,
        /// A new table under the same path: an existing journal is renamed with the time
        /// (mail-<hash>.<YYYYMMDD-HHMMSS>.journal) and a new one started.
        NewRun,
    };

    /// Opens the journal of `source` (a path to an existing file). Throws JournalInUse, or
    /// DeliveryError when the folder or file cannot be made, read or locked.
    MailJournal(const std::filesystem::path& source, Mode mode);
    ~MailJournal();
    MailJournal(const MailJournal&) = delete;
    MailJournal& operator=(const MailJournal&) = delete;

    /// The folder journals are kept in.
    static std::filesystem::path folder();
    /// The journal file of `source`.
    static std::filesystem::path pathFor(const std::filesystem::path& source);

    /// The addresses (lowercase) the journal of `source` records, read without making, locking
    /// or changing anything; empty when there is no journal. For a dry run.
    static std::set<std::string> recorded(const std::filesystem::path& source);

    const std::filesystem::path& path() const { return m_path; }
    /// Where the previous journal went in Mode::NewRun; empty when there was none.
    const std::filesystem::path& keptAs() const { return m_keptAs; }
    /// Whether a mail to `address` (compared without regard to ASCII case) is recorded.
    bool sentTo(std::string_view address) const;
    std::size_t entries() const { return m_sent.size(); }

    /// Appends `entry` and flushes it to disk before returning; throws DeliveryError when that
    /// fails (sending must stop then, or a resumed run could send twice).
    void record(const JournalEntry& entry);

private:
    std::filesystem::path m_path;
    std::filesystem::path m_keptAs;
    int m_fd = -1;
    std::set<std::string> m_sent;
};

/// Hex SHA-256 of `bytes`.
std::string sha256Hex(std::string_view bytes);

} // namespace quenly::delivery
