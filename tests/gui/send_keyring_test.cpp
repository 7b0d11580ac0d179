// The sending window's password in a real desktop keyring (GNOME Keyring's Secret Service on a
// session bus of the test's own, see with_keyring.sh): kept there, filled in at the next start,
// and in no file in plain text.
#include "gui_test_support.h"
#include "password_store.h"
#include "send_settings.h"
#include "send_window.h"
#include "startup.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdlib>

using namespace quenly;
using namespace quenly::send;

namespace {

// Every file under `folder` whose bytes hold `needle`.
QStringList filesHolding(const QString& folder, const QByteArray& needle) {
    QStringList found;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(needle)) {
            found << file.fileName();
        }
    }
    return found;
}

// What the keyring answers for `account`, waited for.
std::optional<QString> readNow(KeyringStore& keyring, const QString& account) {
    std::optional<std::optional<QString>> answer;
    keyring.read(account, [&](std::optional<QString> kept) { answer = kept; });
    if (!QTest::qWaitFor([&] { return answer.has_value(); }, 20000)) {
        qWarning("the keyring did not answer");
    }
    return answer.value_or(std::nullopt);
}

bool writeNow(KeyringStore& keyring, const QString& account, const QString& password) {
    std::optional<bool> answer;
    keyring.write(account, password, [&](bool kept) { answer = kept; });
    if (!QTest::qWaitFor([&] { return answer.has_value(); }, 20000)) {
        qWarning("the keyring did not answer");
    }
    return answer.value_or(false);
}

} // namespace

class SendKeyringTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        if (qEnvironmentVariableIsEmpty("QUENLY_TEST_KEYRING")) {
            QSKIP("needs the keyring of with_keyring.sh");
        }
    }

    void keptInTheKeyringAndFilledInAtTheNextStart() {
        QTemporaryDir dir;
        const std::filesystem::path settings = dir.filePath("send.ini").toStdString();
        delivery::SendSettings s = delivery::defaultSendSettings();
        s.mail.host = "smtp.example.com";
        s.mail.user = "payroll@example.com";
        s.mail.from = "payroll@example.com";
        delivery::saveSendSettings(s, settings);
        const QString password = QStringLiteral("Key-ring-密码-7731");
        const QString account = passwordAccount(QStringLiteral("payroll@example.com"),
                                                QStringLiteral("smtp.example.com"), 465);

        KeyringStore keyring;
        QVERIFY(!readNow(keyring, account).has_value());
        QVERIFY(keyring.available());
        QVERIFY(writeNow(keyring, account, password));
        QCOMPARE(readNow(keyring, account).value_or(QString()), password);

        {
            SendWindow window(dir.filePath("sys.ini").toStdString(), settings, &keyring);
            // Filled in once the keyring answers; the window does not wait for it.
            QTRY_COMPARE_WITH_TIMEOUT(window.passwordEdit->text(), password, 20000);
            QVERIFY(window.rememberPassword->isEnabled());
            QVERIFY(window.keyringLabel->text().contains(QStringLiteral("钥匙环")));
            window.close(); // saves the settings
        }
        // Nowhere in plain text: not beside the program, not in the keyring's own files.
        QVERIFY(QFile::exists(dir.filePath("send.ini")));
        QCOMPARE(filesHolding(dir.path(), password.toUtf8()), QStringList());
        QCOMPARE(filesHolding(qEnvironmentVariable("HOME"), password.toUtf8()), QStringList());

        // Another account's window finds nothing to fill in.
        s.mail.port = 587;
        delivery::saveSendSettings(s, settings);
        SendWindow other(dir.filePath("sys.ini").toStdString(), settings, &keyring);
        QSignalSpy answered(&other, &SendWindow::keyringAnswered);
        QVERIFY(answered.wait(20000));
        QCOMPARE(other.passwordEdit->text(), QString());

        keyring.remove(account);
        QTRY_VERIFY_WITH_TIMEOUT(!readNow(keyring, account).has_value(), 20000);
    }
};

QUENLY_GUI_TEST_MAIN(SendKeyringTest)
#include "send_keyring_test.moc"
