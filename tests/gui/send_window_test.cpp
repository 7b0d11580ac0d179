// The sending window against a real SMTP server on this machine: the columns offered by their
// titles, the checks' problems holding back 发送, a whole run, stopping and resuming, a wrong
// password, the slip of a clicked row, and the password kept out of every file.
#include "gui_test_support.h"
#include "header_options.h"
#include "mail_test_server.h"
#include "password_store.h"
#include "recipient_table.h"
#include "send_settings.h"
#include "send_window.h"
#include "slip_view.h"
#include "startup.h"
#include "sys_option_dialog.h"
#include "temp_dir.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>
#include <QtTest>

#include <algorithm>
#include <map>
#include <memory>

using quenly::send::RecipientTable;
using quenly::send::SendWindow;
using quenly::test::MailTestServer;
using quenly::test::ModalDriver;
using quenly::test::ReceivedMail;
using quenly::test::SeenModal;
using quenly::test::TempDir;

namespace {

const QString kUser = QStringLiteral("payroll@example.com");
const QString kPassword = QStringLiteral("Gui-s3cret-7f2a");
constexpr int kWait = 120000;

/// A person of make_mail_table.py's table: row, 工号, 姓名, 邮箱.
struct Person {
    int row;
    QString id;
    QString name;
    QString address;
};

const Person kPeople[] = {
    {3, QStringLiteral("E001"), QStringLiteral("张三"), QStringLiteral("zhang.san@example.com")},
    {4, QStringLiteral("E002"), QStringLiteral("李四"), QStringLiteral("li.si@example.com")},
    {5, QStringLiteral("E003"), QStringLiteral("王五"), QStringLiteral("wang.wu@example.com")},
    {6, QStringLiteral("E004"), QStringLiteral("赵六"), QStringLiteral("zhao.liu@example.com")},
};

QString cell(const SendWindow& w, int row, int column) {
    return w.recipients->data(w.recipients->index(row, column), Qt::DisplayRole).toString();
}

QStringList statuses(const SendWindow& w) {
    QStringList out;
    for (int i = 0; i < w.recipients->rowCount(); ++i) {
        out << w.recipients->statusText(static_cast<std::size_t>(i));
    }
    return out;
}

QStringList recipientsOf(const std::vector<ReceivedMail>& mails) {
    QStringList out;
    for (const ReceivedMail& m : mails) {
        out << m.to;
    }
    out.sort();
    return out;
}

/// Whether `bytes` holds `needle` anywhere.
bool holds(const std::string& bytes, const QString& needle) {
    return bytes.find(needle.toStdString()) != std::string::npos;
}

/// The files under `folder` whose bytes hold `needle`.
QStringList filesHolding(const std::filesystem::path& folder, const QString& needle) {
    QStringList out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
        if (e.is_regular_file() && holds(quenly::test::contentsOf(e.path()), needle)) {
            out << QString::fromStdString(e.path().string());
        }
    }
    return out;
}

/// A keyring in memory, as a desktop session's would answer.
class MemoryKeyring final : public quenly::send::PasswordStore {
public:
    bool available() const override { return true; }
    void read(const QString& account, std::function<void(std::optional<QString>)> done) override {
        const auto kept = passwords.find(account);
        done(kept == passwords.end() ? std::nullopt : std::optional<QString>(kept->second));
    }
    void write(const QString& account, const QString& password,
               std::function<void(bool)> done) override {
        passwords[account] = password;
        done(true);
    }
    void remove(const QString& account) override { passwords.erase(account); }

    std::map<QString, QString> passwords;
};

} // namespace

class SendWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void columnsAreOfferedByTheirTitles();
    void problemsHoldBackSendingUntilSkipped();
    void goodTableReachesEachPersonWithTheirOwnSlip();
    void stopThenResumeSendsNoOneTwice();
    void wrongPasswordIsNamedAndThePasswordIsInNoFile();
    void keyringKeepsThePasswordOnlyOnceALoginWorked();
    void clickedRowShowsTheSlipLockedOrNot();

private:
    /// Starts the server (waiting `delay` seconds before each accepted message) and writes the
    /// window's settings for it; with `columns`, the address and name columns by their titles.
    bool serve(double delay = 0, bool columns = true);
    std::filesystem::path table(const QString& kind);
    std::unique_ptr<SendWindow> openWindow(quenly::send::PasswordStore* keyring = nullptr);
    /// Reads `path` in `w`; true once the read ended.
    bool read(SendWindow& w, const std::filesystem::path& path);
    /// Clicks `button` of `w` and waits until the work it started ended.
    bool finish(SendWindow& w, QPushButton* button);
    /// The text of the last message box.
    QString lastMessage() const;

    std::unique_ptr<TempDir> m_dir;
    std::unique_ptr<TempDir> m_mailDir;
    std::unique_ptr<MailTestServer> m_server;
    std::unique_ptr<ModalDriver> m_driver;
    QString m_answer;
};

void SendWindowTest::init() {
    m_dir = std::make_unique<TempDir>();
    m_mailDir = std::make_unique<TempDir>();
    // The header of make_mail_table.py's tables: a title row over the column titles, A to H.
    const quenly::HeaderOptionsStore store(*m_dir / "sys.ini");
    store.writeKey("StartTitleRow", "1");
    store.writeKey("EndTitleRow", "2");
    store.writeKey("StartTitleCol", "A");
    store.writeKey("EndTitleCol", "H");
    // The journals of this test alone.
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString((*m_dir / "state").string()));
    m_driver = std::make_unique<ModalDriver>();
    m_driver->onOptions = [](quenly::TfrmSysOption* dialog) { dialog->btnOKClick(); };
    // Confirmations are answered with m_answer when they offer it, else the first button.
    m_answer = QStringLiteral("发送");
    m_driver->onMessage = [this](QMessageBox* box) {
        if (!quenly::test::clickButton(box, m_answer)) {
            box->buttons().front()->click();
        }
    };
}

void SendWindowTest::cleanup() {
    m_driver.reset();
    m_server.reset();
    m_mailDir.reset();
    m_dir.reset();
}

bool SendWindowTest::serve(double delay, bool columns) {
    m_server = std::make_unique<MailTestServer>(
        m_mailDir->path(), MailTestServer::Options{kUser, kPassword, delay, {}});
    if (!m_server->start()) {
        qWarning("%s", qPrintable(m_server->error()));
        return false;
    }
    quenly::delivery::SendSettings settings;
    settings.mail.host = "127.0.0.1";
    settings.mail.port = static_cast<std::uint16_t>(m_server->port());
    settings.mail.security = quenly::delivery::Security::None;
    settings.mail.user = kUser.toStdString();
    settings.mail.from = kUser.toStdString();
    settings.mail.fromName = "财务部";
    settings.mail.subject = "{姓名}的2026年11月工资条";
    settings.mail.body = "{姓名}您好：\n附件是您（{部门}）本月的工资条。\n";
    if (columns) {
        settings.toColumn = "邮箱";
        settings.nameColumn = "姓名";
    }
    quenly::delivery::saveSendSettings(settings, *m_dir / "send.ini");
    return true;
}

std::filesystem::path SendWindowTest::table(const QString& kind) {
    const auto path = *m_dir / (kind.toStdString() + ".xlsx");
    return quenly::test::makeMailTable(path, kind) ? path : std::filesystem::path();
}

std::unique_ptr<SendWindow> SendWindowTest::openWindow(quenly::send::PasswordStore* keyring) {
    auto w = std::make_unique<SendWindow>(*m_dir / "sys.ini", *m_dir / "send.ini", keyring);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get())) {
        return nullptr;
    }
    w->passwordEdit->setText(kPassword);
    return w;
}

bool SendWindowTest::read(SendWindow& w, const std::filesystem::path& path) {
    QSignalSpy done(&w, &SendWindow::tableRead);
    w.pathEdit->setText(QString::fromStdString(path.string()));
    w.readButton->click();
    return QTest::qWaitFor([&] { return done.count() == 1; }, kWait);
}

bool SendWindowTest::finish(SendWindow& w, QPushButton* button) {
    QSignalSpy done(&w, &SendWindow::workEnded);
    button->click();
    return QTest::qWaitFor([&] { return done.count() == 1 && !w.busy(); }, kWait);
}

QString SendWindowTest::lastMessage() const {
    const auto seen = m_driver->seen(SeenModal::Kind::Message);
    return seen.empty() ? QString() : seen.back().text;
}

void SendWindowTest::columnsAreOfferedByTheirTitles() {
    QVERIFY(serve(0, false));
    const auto good = table(QStringLiteral("people"));
    auto w = openWindow();
    QVERIFY(w);
    QVERIFY(read(*w, good));
    QCOMPARE(m_driver->count(SeenModal::Kind::Options), 1);

    // Every column of the header by letter and title; 姓名 and 密码 may also be left unused.
    const QStringList titles{QStringLiteral("工号"),     QStringLiteral("姓名"),
                             QStringLiteral("部门"),     QStringLiteral("邮箱"),
                             QStringLiteral("身份证号"), QStringLiteral("基本工资"),
                             QStringLiteral("绩效"),     QStringLiteral("实发工资")};
    QCOMPARE(w->addressColumn->count(), 8);
    QCOMPARE(w->nameColumn->count(), 9);
    QCOMPARE(w->passwordColumn->count(), 9);
    QStringList placeholders;
    for (int i = 0; i < 8; ++i) {
        const QString expected = QLatin1Char('A' + i) + QStringLiteral("  ") + titles[i];
        QCOMPARE(w->addressColumn->itemText(i), expected);
        QCOMPARE(w->nameColumn->itemText(i + 1), expected);
        placeholders << QLatin1Char('{') + titles[i] + QLatin1Char('}');
    }
    QStringList listed;
    for (int i = 0; i < w->placeholderList->count(); ++i) {
        listed << w->placeholderList->item(i)->text();
    }
    QCOMPARE(listed, placeholders);

    // No choice kept: the address column is the one titled 邮箱, the name column unused.
    QCOMPARE(w->addressColumn->currentText(), QStringLiteral("D  邮箱"));
    QCOMPARE(w->nameColumn->currentIndex(), 0);
    QVERIFY(w->plan());
    QCOMPARE(cell(*w, 0, RecipientTable::Attachment), QStringLiteral("第1人.pdf"));
    // Choosing 姓名 by its title names the attachments, and the choice is kept by title.
    w->nameColumn->setCurrentIndex(w->nameColumn->findText(QStringLiteral("B  姓名")));
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(cell(*w, i, RecipientTable::Row), QString::number(kPeople[i].row));
        QCOMPARE(cell(*w, i, RecipientTable::Name), kPeople[i].name);
        QCOMPARE(cell(*w, i, RecipientTable::Address), kPeople[i].address);
        QCOMPARE(cell(*w, i, RecipientTable::Attachment), kPeople[i].name + QStringLiteral(".pdf"));
        QCOMPARE(cell(*w, i, RecipientTable::Checks), QStringLiteral("通过"));
    }
    QVERIFY(w->countLabel->text().contains(QStringLiteral("共 4 人，全部通过检查")));
    QVERIFY(w->sendButton->isEnabled());
    // Read again (a corrected table): the column chosen stays chosen.
    QVERIFY(read(*w, good));
    QCOMPARE(w->nameColumn->currentText(), QStringLiteral("B  姓名"));
    w->close();
    const auto kept = quenly::delivery::loadSendSettings(*m_dir / "send.ini");
    QCOMPARE(kept.toColumn, std::string("邮箱"));
    QCOMPARE(kept.nameColumn, std::string("姓名"));
}

void SendWindowTest::problemsHoldBackSendingUntilSkipped() {
    QVERIFY(serve());
    const auto problems = table(QStringLiteral("problems"));
    auto w = openWindow();
    QVERIFY(w);
    QVERIFY(read(*w, problems));
    QVERIFY(w->plan());

    // 李四 (row 4) has 张三's address, 赵六 (row 6) none; each row names its problem.
    QVERIFY2(cell(*w, 0, RecipientTable::Checks).contains(QStringLiteral("与第 4 行相同")),
             qPrintable(cell(*w, 0, RecipientTable::Checks)));
    QVERIFY(cell(*w, 1, RecipientTable::Checks).contains(QStringLiteral("与第 3 行相同")));
    QCOMPARE(cell(*w, 2, RecipientTable::Checks), QStringLiteral("通过"));
    QVERIFY(cell(*w, 3, RecipientTable::Checks).contains(QStringLiteral("没有填写邮箱地址")));
    const auto colour = [&](int row) {
        return w->recipients
            ->data(w->recipients->index(row, RecipientTable::Checks), Qt::ForegroundRole)
            .value<QBrush>()
            .color();
    };
    for (int row : {0, 1, 3}) {
        QVERIFY2(colour(row).red() > 150 && colour(row).green() < 80,
                 qPrintable(QString::number(row)));
    }
    QVERIFY(colour(2) != colour(0));
    QVERIFY2(w->countLabel->text().contains(QStringLiteral("共 4 人，其中 3 人有问题")),
             qPrintable(w->countLabel->text()));
    QVERIFY(!w->sendButton->isEnabled());
    w->sendClick();
    QCOMPARE(m_driver->count(SeenModal::Kind::Message), 0);

    // Leaving them out lets the one good person be sent to, and no one else.
    w->skipProblems->setChecked(true);
    QVERIFY(w->sendButton->isEnabled());
    QVERIFY(finish(*w, w->sendButton));
    const auto messages = m_driver->seen(SeenModal::Kind::Message);
    QVERIFY(messages.size() >= 2);
    QVERIFY2(messages[0].text.contains(QStringLiteral("发出 1 封邮件")) &&
                 messages[0].text.contains(QStringLiteral("有问题的 3 人不发送")),
             qPrintable(messages[0].text));
    QCOMPARE(recipientsOf(m_server->messages()),
             QStringList{QStringLiteral("wang.wu@example.com")});
    QCOMPARE(
        statuses(*w),
        (QStringList{QStringLiteral("未发送：未通过检查"), QStringLiteral("未发送：未通过检查"),
                     QStringLiteral("已发送"), QStringLiteral("未发送：未通过检查")}));
}

void SendWindowTest::goodTableReachesEachPersonWithTheirOwnSlip() {
    QVERIFY(serve());
    const auto good = table(QStringLiteral("people"));
    auto w = openWindow();
    QVERIFY(w);
    QVERIFY(read(*w, good));
    QVERIFY(w->sendButton->isEnabled());
    QVERIFY(finish(*w, w->sendButton));

    const auto messages = m_driver->seen(SeenModal::Kind::Message);
    QCOMPARE(messages.size(), std::size_t{2});
    const QString server = QStringLiteral("127.0.0.1:%1").arg(m_server->port());
    QVERIFY2(messages[0].text.contains(server) &&
                 messages[0].text.contains(QStringLiteral("发出 4 封邮件")),
             qPrintable(messages[0].text));
    QVERIFY2(messages[1].text.contains(QStringLiteral("已全部发送")), qPrintable(messages[1].text));
    QCOMPARE(statuses(*w), QStringList(4, QStringLiteral("已发送")));
    QCOMPARE(w->sendProgress->value(), 4);
    QCOMPARE(w->sendProgress->maximum(), 4);

    const auto mails = m_server->messages();
    QCOMPARE(mails.size(), std::size_t{4});
    for (const Person& p : kPeople) {
        const auto mail = std::find_if(mails.begin(), mails.end(), [&](const ReceivedMail& m) {
            return m.to.contains(p.address);
        });
        QVERIFY2(mail != mails.end(), qPrintable(p.address));
        QCOMPARE(mail->to, QStringList{p.address});
        QCOMPARE(mail->subject, p.name + QStringLiteral("的2026年11月工资条"));
        QCOMPARE(mail->attachmentName, p.name + QStringLiteral(".pdf"));
        // Their own slip: their number and name, nobody else's.
        const QString text = quenly::test::pdfText(mail->attachment);
        QVERIFY2(text.contains(p.id) && text.contains(p.name), qPrintable(text));
        for (const Person& other : kPeople) {
            if (other.row != p.row) {
                QVERIFY2(!text.contains(other.name) && !text.contains(other.id), qPrintable(text));
            }
        }
    }
    // A second 发送 offers nothing: everybody is recorded.
    m_driver->clear();
    w->sendClick();
    QVERIFY(QTest::qWaitFor([&] { return m_driver->count(SeenModal::Kind::Message) == 1; }, kWait));
    QVERIFY2(lastMessage().contains(QStringLiteral("没有要发送的邮件")), qPrintable(lastMessage()));
    QCOMPARE(m_server->messages().size(), std::size_t{4});
}

void SendWindowTest::stopThenResumeSendsNoOneTwice() {
    QVERIFY(serve(0.8));
    const auto good = table(QStringLiteral("people"));
    auto w = openWindow();
    QVERIFY(w);
    QVERIFY(read(*w, good));
    // 停止 as soon as the first person is reported; the mail under way still goes.
    QObject::connect(w.get(), &SendWindow::personReported, w.get(), [&] {
        if (w->stopButton->isEnabled()) {
            w->stopButton->click();
        }
    });
    QVERIFY(finish(*w, w->sendButton));
    QVERIFY(w->lastRun());
    QCOMPARE(w->lastRun()->end, quenly::delivery::MailRunResult::End::Stopped);
    QVERIFY2(lastMessage().contains(QStringLiteral("已按“停止”")), qPrintable(lastMessage()));
    const QStringList first = statuses(*w);
    const int sent = static_cast<int>(first.count(QStringLiteral("已发送")));
    // The mail under way when 停止 came still goes; on a slow machine that may be the third.
    QVERIFY2(sent >= 1 && sent < 4, qPrintable(first.join(QLatin1Char(','))));
    QCOMPARE(first.count(QStringLiteral("未发送")), 4 - sent);
    QCOMPARE(static_cast<int>(m_server->messages().size()), sent);
    w.reset();

    // A new window on the same table offers to go on; only the rest are sent to.
    m_driver->clear();
    m_answer = QStringLiteral("接着发送");
    w = openWindow();
    QVERIFY(w);
    QVERIFY(read(*w, good));
    QVERIFY2(lastMessage().contains(QStringLiteral("此前已经发给了 %1 人").arg(sent)),
             qPrintable(lastMessage()));
    QCOMPARE(w->journalMode(), quenly::delivery::MailJournal::Mode::Resume);
    QCOMPARE(statuses(*w).count(QStringLiteral("此前已发送")), sent);
    QVERIFY(w->countLabel->text().contains(QStringLiteral("此前已发送 %1 人").arg(sent)));
    m_answer = QStringLiteral("发送");
    m_driver->clear();
    QVERIFY(finish(*w, w->sendButton));
    const auto messages = m_driver->seen(SeenModal::Kind::Message);
    QVERIFY(!messages.empty());
    QVERIFY2(messages[0].text.contains(QStringLiteral("发出 %1 封邮件").arg(4 - sent)) &&
                 messages[0].text.contains(QStringLiteral("此前已发送的 %1 人不再发送").arg(sent)),
             qPrintable(messages[0].text));
    QCOMPARE(statuses(*w).count(QStringLiteral("已发送")), 4 - sent);
    QStringList everybody;
    for (const Person& p : kPeople) {
        everybody << p.address;
    }
    everybody.sort();
    QCOMPARE(recipientsOf(m_server->messages()), everybody);
}

void SendWindowTest::wrongPasswordIsNamedAndThePasswordIsInNoFile() {
    QVERIFY(serve());
    const auto good = table(QStringLiteral("people"));
    auto w = openWindow();
    QVERIFY(w);
    QVERIFY(read(*w, good));

    // A wrong password: 测试连接 and 发送 both say to check the user name and password.
    w->passwordEdit->setText(QStringLiteral("not-the-password"));
    QVERIFY(finish(*w, w->testButton));
    QVERIFY2(lastMessage().contains(QStringLiteral("连接失败")) &&
                 lastMessage().contains(QStringLiteral("用户名和密码")),
             qPrintable(lastMessage()));
    QVERIFY(finish(*w, w->sendButton));
    QVERIFY2(lastMessage().contains(QStringLiteral("拒绝了登录")) &&
                 lastMessage().contains(QStringLiteral("用户名和密码")),
             qPrintable(lastMessage()));
    QCOMPARE(statuses(*w), QStringList(4, QStringLiteral("未发送")));
    QVERIFY(m_server->messages().empty());
    QVERIFY(!m_server->logins().contains(QStringLiteral("accepted")));

    // The right one: the test logs in and sends nothing; the trial goes to the sender alone.
    w->passwordEdit->setText(kPassword);
    QVERIFY(finish(*w, w->testButton));
    QVERIFY2(lastMessage().contains(QStringLiteral("连接成功")), qPrintable(lastMessage()));
    QCOMPARE(m_server->logins().back(), QStringLiteral("accepted"));
    QVERIFY(m_server->messages().empty());
    QVERIFY(finish(*w, w->trialButton));
    QVERIFY2(lastMessage().contains(QStringLiteral("第 3 行（张三）")), qPrintable(lastMessage()));
    QCOMPARE(m_server->messages().size(), std::size_t{1});
    QCOMPARE(m_server->messages()[0].to, QStringList{kUser});
    QCOMPARE(m_server->messages()[0].subject, QStringLiteral("张三的2026年11月工资条"));
    QVERIFY(finish(*w, w->sendButton));
    QCOMPARE(statuses(*w), QStringList(4, QStringLiteral("已发送")));
    w->close();

    // Settings, body and journal were written (the search reads them), none with the password.
    QCOMPARE(filesHolding(*m_dir / "state", QStringLiteral("zhao.liu@example.com")).size(), 1);
    QCOMPARE(filesHolding(m_dir->path(), QStringLiteral("127.0.0.1")),
             QStringList{QString::fromStdString((*m_dir / "send.ini").string())});
    QVERIFY(std::filesystem::exists(*m_dir / "send-body.txt"));
    QCOMPARE(filesHolding(m_dir->path(), kPassword), QStringList());
}

void SendWindowTest::keyringKeepsThePasswordOnlyOnceALoginWorked() {
    QVERIFY(serve());
    MemoryKeyring keyring;
    auto w = openWindow(&keyring);
    QVERIFY(w);
    QVERIFY(w->rememberPassword->isEnabled() && w->rememberPassword->isChecked());
    QVERIFY(w->keyringLabel->text().contains(QStringLiteral("系统钥匙环")));
    w->passwordEdit->setText(QStringLiteral("not-the-password"));
    QVERIFY(finish(*w, w->testButton));
    QVERIFY(keyring.passwords.empty());
    w->passwordEdit->setText(kPassword);
    QVERIFY(finish(*w, w->testButton));
    const QString account =
        quenly::send::passwordAccount(kUser, QStringLiteral("127.0.0.1"), m_server->port());
    QCOMPARE(keyring.passwords, (std::map<QString, QString>{{account, kPassword}}));
    w->close();
    w.reset();

    // The next start finds it there; no file has it.
    auto again = std::make_unique<SendWindow>(*m_dir / "sys.ini", *m_dir / "send.ini", &keyring);
    QCOMPARE(again->passwordEdit->text(), kPassword);
    QCOMPARE(filesHolding(m_dir->path(), kPassword), QStringList());
}

void SendWindowTest::clickedRowShowsTheSlipLockedOrNot() {
    QVERIFY(serve());
    const auto good = table(QStringLiteral("people"));
    auto w = openWindow();
    QVERIFY(w);
    QVERIFY(read(*w, good));
    const auto click = [&](int row) {
        const QModelIndex index = w->recipients->index(row, RecipientTable::Name);
        QTest::mouseClick(w->recipientView->viewport(), Qt::LeftButton, {},
                          w->recipientView->visualRect(index).center());
    };
    QVERIFY(w->slipView->page().isNull());
    click(1);
    QTRY_VERIFY_WITH_TIMEOUT(!w->slipView->page().isNull(), kWait);
    QVERIFY2(w->slipView->caption().contains(QStringLiteral("第 4 行（李四）")) &&
                 w->slipView->caption().contains(QStringLiteral("李四.pdf")),
             qPrintable(w->slipView->caption()));
    QVERIFY(!w->slipView->caption().contains(QStringLiteral("加密")));

    // Locked with the last six characters of the ID number: drawn all the same.
    w->passwordColumn->setCurrentIndex(w->passwordColumn->findText(QStringLiteral("E  身份证号")));
    w->passwordLast->setValue(6);
    QCOMPARE(cell(*w, 2, RecipientTable::Locked), QStringLiteral("是"));
    QVERIFY(w->slipView->page().isNull());
    click(2);
    QTRY_VERIFY_WITH_TIMEOUT(!w->slipView->page().isNull(), kWait);
    QVERIFY2(w->slipView->caption().contains(QStringLiteral("第 5 行（王五）")) &&
                 w->slipView->caption().contains(QStringLiteral("加密")),
             qPrintable(w->slipView->caption()));
    QCOMPARE(m_driver->count(SeenModal::Kind::Message), 0);
}

QUENLY_GUI_TEST_MAIN(SendWindowTest)
#include "send_window_test.moc"
