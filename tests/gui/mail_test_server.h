// A real SMTP server on this machine for the sending window's tests and pictures
// (tests/e2e/mail_server.py, run by Python), the wage tables of tests/e2e/make_mail_table.py, and
// the text of a received PDF (pdftotext).
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <filesystem>
#include <vector>

namespace quenly::test {

/// One message the server accepted.
struct ReceivedMail {
    QStringList to;
    QString subject;
    /// The file name the attachment carries, and where the server wrote its bytes.
    QString attachmentName;
    std::filesystem::path attachment;
};

/// The server as a process of its own on 127.0.0.1 without encryption, with AUTH for one user;
/// it writes what it accepts into `folder` and ends with this object.
class MailTestServer {
public:
    struct Options {
        QString user;
        QString password;
        /// Seconds the server waits before accepting each message.
        double delay = 0;
        /// Recipients refused at RCPT TO (550).
        QStringList refuse;
    };

    MailTestServer(std::filesystem::path folder, Options options);
    ~MailTestServer();
    MailTestServer(const MailTestServer&) = delete;
    MailTestServer& operator=(const MailTestServer&) = delete;

    /// Starts the server and waits until it listens; false (with `error()`) when it did not.
    bool start();
    const QString& error() const { return m_error; }
    int port() const { return m_port; }

    /// The messages accepted so far, in the order they came.
    std::vector<ReceivedMail> messages() const;
    /// The outcome of each login so far: "accepted" or "denied".
    QStringList logins() const;

private:
    std::filesystem::path m_folder;
    Options m_options;
    QProcess m_process;
    int m_port = 0;
    QString m_error;
};

/// Writes the wage table `kind` of make_mail_table.py (people, problems, company,
/// company-problems) to `path`; false when the script failed.
bool makeMailTable(const std::filesystem::path& path, const QString& kind);

/// The text of the PDF file `pdf`, opened with `password` when one is given; empty when it
/// cannot be read.
QString pdfText(const std::filesystem::path& pdf, const QString& password = {});

} // namespace quenly::test
