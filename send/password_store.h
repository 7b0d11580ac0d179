// Where the sending window keeps the SMTP password between starts: the desktop's keyring, through
// QtKeychain, or nowhere when no keyring runs. Never a file.
#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace quenly::send {

/// A keyring the window asks without waiting: each answer comes later, on the window's thread,
/// so a keyring that first asks the user to unlock it never holds the window up.
class PasswordStore {
public:
    virtual ~PasswordStore() = default;

    /// Whether a keyring answered; false when none runs (the password is then asked at each
    /// start). Known once the first read has been answered.
    virtual bool available() const = 0;
    /// Asks for the password kept for `account` ("user@host:port"); `done` gets it, or nothing
    /// when none is kept or no keyring answered.
    virtual void read(const QString& account, std::function<void(std::optional<QString>)> done) = 0;
    /// Keeps `password` for `account`; `done` learns whether the keyring took it.
    virtual void write(const QString& account, const QString& password,
                       std::function<void(bool)> done) = 0;
    /// Forgets the password of `account`.
    virtual void remove(const QString& account) = 0;
};

/// The store over QtKeychain, service "quenly-send", with QtKeychain's plain-file fallback off.
/// Answers that arrive after the store is gone are dropped.
class KeyringStore final : public PasswordStore {
public:
    bool available() const override { return m_available; }
    void read(const QString& account, std::function<void(std::optional<QString>)> done) override;
    void write(const QString& account, const QString& password,
               std::function<void(bool)> done) override;
    void remove(const QString& account) override;

private:
    bool m_available = false;
    // The receiver of the keyring's answers; going with the store, it cuts them off.
    QObject m_answers;
};

/// The account name a password is kept under.
QString passwordAccount(const QString& user, const QString& host, int port);

} // namespace quenly::send
