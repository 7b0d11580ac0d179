// The SMTP password in the desktop's keyring.
#include "password_store.h"

#include <qt6keychain/keychain.h>

namespace quenly::send {

namespace {

const QString kService = QStringLiteral("quenly-send");

// Starts `job` (which deletes itself once finished) with `answered` called on its end.
template <class Job, class Answered>
void start(Job* job, QObject* receiver, Answered answered) {
    // Never a plain file in place of the keyring.
    job->setInsecureFallback(false);
    job->setAutoDelete(true);
    QObject::connect(job, &QKeychain::Job::finished, receiver, [job, answered] { answered(*job); });
    job->start();
}

} // namespace

void KeyringStore::read(const QString& account, std::function<void(std::optional<QString>)> done) {
    auto* job = new QKeychain::ReadPasswordJob(kService);
    job->setKey(account);
    start(job, &m_answers, [this, done](const QKeychain::ReadPasswordJob& answer) {
        m_available =
            answer.error() == QKeychain::NoError || answer.error() == QKeychain::EntryNotFound;
        done(answer.error() == QKeychain::NoError ? std::optional<QString>(answer.textData())
                                                  : std::nullopt);
    });
}

void KeyringStore::write(const QString& account, const QString& password,
                         std::function<void(bool)> done) {
    auto* job = new QKeychain::WritePasswordJob(kService);
    job->setKey(account);
    job->setTextData(password);
    start(job, &m_answers, [done](const QKeychain::WritePasswordJob& answer) {
        done(answer.error() == QKeychain::NoError);
    });
}

void KeyringStore::remove(const QString& account) {
    auto* job = new QKeychain::DeletePasswordJob(kService);
    job->setKey(account);
    start(job, &m_answers, [](const QKeychain::DeletePasswordJob&) {});
}

QString passwordAccount(const QString& user, const QString& host, int port) {
    return user + QLatin1Char('@') + host + QLatin1Char(':') + QString::number(port);
}

} // namespace quenly::send
