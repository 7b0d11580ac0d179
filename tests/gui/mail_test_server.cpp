// The local SMTP server of the sending window's tests, the tables they read and the text of
// what arrived.
#include "mail_test_server.h"

#include "temp_dir.h"

#include <QProcessEnvironment>

namespace quenly::test {

namespace {

QString scriptPath(const char* name) {
    return QStringLiteral(QUENLY_MAIL_SCRIPTS "/") + QLatin1String(name);
}

QString fileText(const std::filesystem::path& file) {
    return QString::fromStdString(contentsOf(file));
}

} // namespace

MailTestServer::MailTestServer(std::filesystem::path folder, Options options)
    : m_folder(std::move(folder))
    , m_options(std::move(options)) {}

MailTestServer::~MailTestServer() {
    if (m_process.state() != QProcess::NotRunning) {
        // The server ends when its input closes; killed if it does not.
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(10000)) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }
}

bool MailTestServer::start() {
    QStringList args{scriptPath("mail_server.py"),
                     QStringLiteral("--out"),
                     QString::fromStdString(m_folder.string()),
                     QStringLiteral("--user"),
                     m_options.user,
                     QStringLiteral("--delay"),
                     QString::number(m_options.delay)};
    for (const QString& address : m_options.refuse) {
        args << QStringLiteral("--refuse") << address;
    }
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QUENLY_TEST_SMTP_PASSWORD"), m_options.password);
    m_process.setProcessEnvironment(env);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(QUENLY_PYTHON_PROGRAM), args);
    if (!m_process.waitForStarted(30000)) {
        m_error = QStringLiteral("cannot start the mail server: ") + m_process.errorString();
        return false;
    }
    while (!m_process.canReadLine()) {
        if (!m_process.waitForReadyRead(30000)) {
            m_error = QStringLiteral("the mail server did not say its port");
            return false;
        }
    }
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    bool ok = false;
    m_port = line.startsWith(QLatin1String("port ")) ? line.mid(5).toInt(&ok) : 0;
    if (!ok || m_port <= 0) {
        m_error = QStringLiteral("the mail server said: ") + line;
        return false;
    }
    return true;
}

std::vector<ReceivedMail> MailTestServer::messages() const {
    std::vector<ReceivedMail> out;
    // Folders appear whole and are named by their order, 0001, 0002, ...
    for (const std::string& name : entriesOf(m_folder)) {
        const std::filesystem::path dir = m_folder / name;
        if (name.front() == '.' || !std::filesystem::is_directory(dir)) {
            continue;
        }
        ReceivedMail mail;
        mail.to = fileText(dir / "to").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        mail.subject = fileText(dir / "subject");
        mail.attachmentName = fileText(dir / "attachment-1.name");
        mail.attachment = dir / "attachment-1.pdf";
        out.push_back(mail);
    }
    return out;
}

QStringList MailTestServer::logins() const {
    return fileText(m_folder / "logins").split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool makeMailTable(const std::filesystem::path& path, const QString& kind) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(QStringLiteral(QUENLY_PYTHON_PROGRAM),
                  {scriptPath("make_mail_table.py"), QString::fromStdString(path.string()), kind});
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QString pdfText(const std::filesystem::path& pdf, const QString& password) {
    QStringList args{QStringLiteral("-layout")};
    if (!password.isEmpty()) {
        args << QStringLiteral("-upw") << password;
    }
    args << QString::fromStdString(pdf.string()) << QStringLiteral("-");
    QProcess process;
    process.start(QStringLiteral("pdftotext"), args);
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        return {};
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

} // namespace quenly::test
