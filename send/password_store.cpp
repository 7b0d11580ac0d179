// The SMTP password in the desktop's keyring.
#include "password_store.h"

#include <qt6keychain/keychain.h>

#include <QEventLoop>
#include <QTimer>

namespace quenly::send {

namespace {

const QString kService = QStringLiteral("quenly-send");
// A keyring that does not answer in this time counts as absent.
constexpr int kKeyringWaitMs = 10000;

// Starts `job` and waits for it to finish; false when it did not in time.
bool runJob(QKeychain::Job& job) {
    job.setAutoDelete(false);
    // Never a plain file in place of the keyring.
    job.setInsecureFallback(false);
    QEventLoop loop;
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer::singleShot(kKeyringWaitMs, &loop, &QEventLoop::quit);
    job.start();
    if (!finished) {
        loop.exec();
    }
    return finished;
}

bool keyringAnswered(const QKeychain::Job& job) {
    return job.error() == QKeychain::NoError || job.error() == QKeychain::EntryNotFound;
}

} // namespace

std::optional<QString> KeyringStore::read(const QString& account) {
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(account);
    m_available = runJob(job) && keyringAnswered(job);
    if (!m_available || job.error() != QKeychain::NoError) {
        return std::nullopt;
    }
    return job.textData();
}

bool KeyringStore::write(const QString& account, const QString& password) {
    QKeychain::WritePasswordJob job(kService);
    job.setKey(account);
    job.setTextData(password);
    return runJob(job) && job.error() == QKeychain::NoError;
}

void KeyringStore::remove(const QString& account) {
    QKeychain::DeletePasswordJob job(kService);
    job.setKey(account);
    runJob(job);
}

QString passwordAccount(const QString& user, const QString& host, int port) {
    return user + QLatin1Char('@') + host + QLatin1Char(':') + QString::number(port);
}

} // namespace quenly::send
