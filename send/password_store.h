// Where the sending window keeps the SMTP password between starts: the desktop's keyring, through
// QtKeychain, or nowhere when no keyring runs. Never a file.
#pragma once

#include <QString>

#include <optional>

namespace quenly::send {

/// The keyring of the desktop session (Secret Service, KWallet), reached through QtKeychain with
/// its plain-file fallback turned off. Each call waits for the keyring's answer (a few seconds at
/// most) while the window's messages run.
class PasswordStore {
public:
    virtual ~PasswordStore() = default;

    /// Whether a keyring answered; false when none runs (the password is then asked at each
    /// start). Known after the first read.
    virtual bool available() const = 0;
    /// The password kept for `account` ("user@host:port"), or nothing.
    virtual std::optional<QString> read(const QString& account) = 0;
    /// Keeps `password` for `account`; false when the keyring refused.
    virtual bool write(const QString& account, const QString& password) = 0;
    /// Forgets the password of `account`.
    virtual void remove(const QString& account) = 0;
};

/// The store over QtKeychain, service "quenly-send".
class KeyringStore final : public PasswordStore {
public:
    bool available() const override { return m_available; }
    std::optional<QString> read(const QString& account) override;
    bool write(const QString& account, const QString& password) override;
    void remove(const QString& account) override;

private:
    bool m_available = false;
};

/// The account name a password is kept under.
QString passwordAccount(const QString& user, const QString& host, int port);

} // namespace quenly::send
