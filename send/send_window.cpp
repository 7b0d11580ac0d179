// The sending window: its controls and settings, the reading of the table, the checks and the
// preview, the keyring, and the worker thread. The mail work is in send_window_mail.cpp.
#include "send_window.h"

#include "send_job.h"

#include "column_letters.h"
#include "password_store.h"
#include "recipient_table.h"
#include "slip_documents.h"
#include "slip_view.h"
#include "sys_option_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <map>

namespace quenly::send {

using namespace quenly::delivery;

namespace {

QString columnText(std::uint32_t column, const std::string& title) {
    const QString letters = toQt(getColFromNum(static_cast<std::int32_t>(column) + 1));
    return title.empty() ? letters : letters + QStringLiteral("  ") + toQt(title);
}

bool isTableFile(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    return suffix == QLatin1String("xlsx") || suffix == QLatin1String("xls");
}

} // namespace

/// The progress of a read, set by the export on the worker thread and shown by a timer here.
struct ReadProgress {
    std::atomic<int> maximum{0};
    std::atomic<int> position{0};
};

namespace {

/// The export's host on the worker thread: the path is the one chosen, the confirmation step
/// shows the header options dialog on the window's thread, progress goes to ReadProgress.
class ReadHost final : public ExportHost {
public:
    ReadHost(std::string path, QWidget* window, std::filesystem::path iniPath,
             std::shared_ptr<ReadProgress> progress)
        : m_path(std::move(path))
        , m_window(window)
        , m_iniPath(std::move(iniPath))
        , m_progress(std::move(progress)) {}

    std::string excelPath() override { return m_path; }
    void showMessage(const std::string&, const std::string&, MessageIcon) override {}
    void setProgressMaximum(int maximum) override { m_progress->maximum = maximum; }
    void setProgressPosition(int position) override { m_progress->position = position; }
    int progressPosition() override { return m_progress->position; }
    void setProcessText(const std::string&) override {}
    void processPendingMessages() override {}
    void confirmHeaderOptions() override {
        // The same dialog and store as the main window's, shown modally over this window; the
        // export waits for it.
        QMetaObject::invokeMethod(
            m_window,
            [this] {
                TfrmSysOption dialog(m_iniPath, m_window);
                dialog.exec();
            },
            Qt::BlockingQueuedConnection);
    }

private:
    std::string m_path;
    QWidget* m_window;
    std::filesystem::path m_iniPath;
    std::shared_ptr<ReadProgress> m_progress;
};

} // namespace

SendWindow::SendWindow(std::filesystem::path iniPath, std::filesystem::path settingsPath,
                       PasswordStore* passwords, QWidget* parent)
    : QWidget(parent)
    , m_iniPath(std::move(iniPath))
    , m_settingsPath(std::move(settingsPath))
    , m_passwords(passwords) {
    setWindowTitle(kCaption);
    setAcceptDrops(true);
    buildControls();
    fillForm(loadSendSettings(m_settingsPath));
    lookUpPassword();
    updateCount();
    updateButtons();
    // Room for the form and the preview, within the screen of a small laptop.
    QSize size(1200, 820);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        size = size.boundedTo(screen->availableGeometry().size() * 0.95);
    }
    resize(size);
}

SendWindow::~SendWindow() {
    if (m_thread != nullptr) {
        if (m_job && m_job->delivery) {
            m_job->delivery->requestStop();
        }
        m_thread->wait();
    }
}

void SendWindow::buildControls() {
    auto* top = new QVBoxLayout(this);

    // The wage table.
    auto* tableBox = new QGroupBox(QStringLiteral("工资表"));
    auto* tableLayout = new QVBoxLayout(tableBox);
    auto* pathRow = new QHBoxLayout;
    pathEdit = new QLineEdit;
    pathEdit->setPlaceholderText(QStringLiteral("选择或拖入工资表（.xlsx 或 .xls）"));
    browseButton = new QPushButton(QStringLiteral("浏览..."));
    readButton = new QPushButton(QStringLiteral("读取"));
    pathRow->addWidget(new QLabel(QStringLiteral("工资表：")));
    pathRow->addWidget(pathEdit, 1);
    pathRow->addWidget(browseButton);
    pathRow->addWidget(readButton);
    tableLayout->addLayout(pathRow);
    auto* readRow = new QHBoxLayout;
    tableLabel = new QLabel(QStringLiteral("表头按“表头选项”的设置（与工资条制作共用）。"));
    readProgress = new QProgressBar;
    readProgress->setMaximumWidth(240);
    readProgress->setTextVisible(false);
    readProgress->hide();
    readRow->addWidget(tableLabel, 1);
    readRow->addWidget(readProgress);
    tableLayout->addLayout(readRow);
    top->addWidget(tableBox);

    auto* split = new QSplitter(Qt::Horizontal);

    // The columns and the mail settings, on the left.
    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 6, 0);
    auto* columnBox = new QGroupBox(QStringLiteral("列"));
    auto* columnForm = new QFormLayout(columnBox);
    addressColumn = new QComboBox;
    nameColumn = new QComboBox;
    passwordColumn = new QComboBox;
    passwordLast = new QSpinBox;
    passwordLast->setRange(0, 99);
    passwordLast->setSpecialValueText(QStringLiteral("整格"));
    passwordLast->setToolTip(QStringLiteral(
        "用密码单元格的最后几个字符作密码（如身份证号后 6 位）；“整格”即整个单元格"));
    columnForm->addRow(QStringLiteral("邮箱列："), addressColumn);
    columnForm->addRow(QStringLiteral("姓名列："), nameColumn);
    auto* passwordRow = new QHBoxLayout;
    passwordRow->addWidget(passwordColumn, 1);
    passwordRow->addWidget(new QLabel(QStringLiteral("取最后")));
    passwordRow->addWidget(passwordLast);
    passwordRow->addWidget(new QLabel(QStringLiteral("位")));
    columnForm->addRow(QStringLiteral("PDF 密码列："), passwordRow);
    leftLayout->addWidget(columnBox);

    auto* mailBox = new QGroupBox(QStringLiteral("邮件设置"));
    auto* mailForm = new QFormLayout(mailBox);
    hostEdit = new QLineEdit;
    hostEdit->setPlaceholderText(QStringLiteral("如 smtp.example.com"));
    portSpin = new QSpinBox;
    portSpin->setRange(1, 65535);
    securityBox = new QComboBox;
    securityBox->addItem(QStringLiteral("SSL/TLS"), static_cast<int>(Security::Ssl));
    securityBox->addItem(QStringLiteral("STARTTLS"), static_cast<int>(Security::StartTls));
    securityBox->addItem(QStringLiteral("不加密（仅限本机）"), static_cast<int>(Security::None));
    auto* serverRow = new QHBoxLayout;
    serverRow->addWidget(hostEdit, 1);
    serverRow->addWidget(new QLabel(QStringLiteral("端口：")));
    serverRow->addWidget(portSpin);
    mailForm->addRow(QStringLiteral("服务器："), serverRow);
    mailForm->addRow(QStringLiteral("加密方式："), securityBox);
    userEdit = new QLineEdit;
    userEdit->setPlaceholderText(QStringLiteral("通常就是发件地址"));
    mailForm->addRow(QStringLiteral("用户名："), userEdit);
    passwordEdit = new QLineEdit;
    passwordEdit->setEchoMode(QLineEdit::Password);
    mailForm->addRow(QStringLiteral("密码："), passwordEdit);
    rememberPassword = new QCheckBox(QStringLiteral("记住密码"));
    rememberPassword->setChecked(true);
    rememberPassword->setVisible(false);
    keyringLabel = new QLabel;
    keyringLabel->setWordWrap(true);
    auto* keyringRow = new QHBoxLayout;
    keyringRow->addWidget(rememberPassword);
    keyringRow->addWidget(keyringLabel, 1);
    mailForm->addRow(QString(), keyringRow);
    fromNameEdit = new QLineEdit;
    fromNameEdit->setPlaceholderText(QStringLiteral("如 财务部"));
    mailForm->addRow(QStringLiteral("发件人名称："), fromNameEdit);
    fromEdit = new QLineEdit;
    fromEdit->setPlaceholderText(QStringLiteral("如 payroll@example.com"));
    mailForm->addRow(QStringLiteral("发件人地址："), fromEdit);
    subjectEdit = new QLineEdit;
    mailForm->addRow(QStringLiteral("主题："), subjectEdit);
    bodyEdit = new QPlainTextEdit;
    bodyEdit->setFixedHeight(120);
    mailForm->addRow(QStringLiteral("正文："), bodyEdit);
    placeholderList = new QListWidget;
    placeholderList->setFlow(QListView::LeftToRight);
    placeholderList->setWrapping(true);
    placeholderList->setFixedHeight(52);
    placeholderList->setToolTip(
        QStringLiteral("主题和正文中的 {列标题} 换成每人这一列的内容；双击把它插入正文"));
    mailForm->addRow(QStringLiteral("占位符："), placeholderList);
    auto* mailButtons = new QHBoxLayout;
    testButton = new QPushButton(QStringLiteral("测试连接"));
    trialButton = new QPushButton(QStringLiteral("发给自己试一封"));
    mailButtons->addStretch(1);
    mailButtons->addWidget(testButton);
    mailButtons->addWidget(trialButton);
    mailForm->addRow(mailButtons);
    leftLayout->addWidget(mailBox);
    leftLayout->addStretch(1);
    auto* leftScroll = new QScrollArea;
    leftScroll->setWidget(left);
    leftScroll->setWidgetResizable(true);
    leftScroll->setFrameShape(QFrame::NoFrame);
    split->addWidget(leftScroll);

    // Who gets what, on the right: the table over the slip of the person clicked.
    auto* right = new QSplitter(Qt::Vertical);
    auto* listPane = new QWidget;
    auto* listLayout = new QVBoxLayout(listPane);
    listLayout->setContentsMargins(6, 0, 0, 0);
    countLabel = new QLabel;
    countLabel->setWordWrap(true);
    recipients = new RecipientTable(this);
    recipientView = new QTableView;
    recipientView->setModel(recipients);
    recipientView->setSelectionBehavior(QAbstractItemView::SelectRows);
    recipientView->setSelectionMode(QAbstractItemView::SingleSelection);
    recipientView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    recipientView->verticalHeader()->hide();
    recipientView->horizontalHeader()->setStretchLastSection(true);
    recipientView->setWordWrap(false);
    listLayout->addWidget(countLabel);
    listLayout->addWidget(recipientView, 1);
    right->addWidget(listPane);
    slipView = new SlipView;
    right->addWidget(slipView);
    right->setStretchFactor(0, 3);
    right->setStretchFactor(1, 2);
    split->addWidget(right);
    split->setStretchFactor(0, 2);
    split->setStretchFactor(1, 3);
    top->addWidget(split, 1);

    // Sending.
    auto* sendRow = new QHBoxLayout;
    skipProblems = new QCheckBox(QStringLiteral("跳过有问题的人"));
    sendProgress = new QProgressBar;
    sendProgress->setMinimumWidth(260);
    sendProgress->setFormat(QStringLiteral("%v / %m"));
    sendLabel = new QLabel;
    stopButton = new QPushButton(QStringLiteral("停止"));
    sendButton = new QPushButton(QStringLiteral("发送"));
    sendButton->setDefault(true);
    sendRow->addWidget(skipProblems);
    sendRow->addSpacing(12);
    sendRow->addWidget(sendProgress);
    sendRow->addWidget(sendLabel, 1);
    sendRow->addWidget(stopButton);
    sendRow->addWidget(sendButton);
    top->addLayout(sendRow);

    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(100);
    connect(m_progressTimer, &QTimer::timeout, this, [this] {
        if (m_readProgress) {
            readProgress->setMaximum(std::max(1, m_readProgress->maximum.load()));
            readProgress->setValue(m_readProgress->position);
            if (m_readProgress->maximum > 0) {
                tableLabel->setText(QStringLiteral("正在读取：第 %1 人，共 %2 人")
                                        .arg(m_readProgress->position.load())
                                        .arg(m_readProgress->maximum.load()));
            }
        }
    });

    connect(browseButton, &QPushButton::clicked, this, &SendWindow::browseClick);
    connect(readButton, &QPushButton::clicked, this, &SendWindow::readClick);
    connect(pathEdit, &QLineEdit::returnPressed, this, &SendWindow::readClick);
    connect(testButton, &QPushButton::clicked, this, &SendWindow::testConnectionClick);
    connect(trialButton, &QPushButton::clicked, this, &SendWindow::trialClick);
    connect(sendButton, &QPushButton::clicked, this, &SendWindow::sendClick);
    connect(stopButton, &QPushButton::clicked, this, &SendWindow::stopClick);
    for (QComboBox* box : {addressColumn, nameColumn, passwordColumn}) {
        connect(box, &QComboBox::currentIndexChanged, this, [this, box] {
            // The clerk's choice is the one looked for in the next table read.
            box->setProperty("wanted", box->currentData().isValid()
                                           ? box->currentData(Qt::UserRole + 1).toString()
                                           : QString());
            replan();
        });
    }
    connect(passwordLast, &QSpinBox::valueChanged, this, &SendWindow::replan);
    connect(skipProblems, &QCheckBox::toggled, this, &SendWindow::updateButtons);
    connect(securityBox, &QComboBox::currentIndexChanged, this, [this] {
        // The usual port of the new security, unless another was chosen on purpose.
        const auto security = static_cast<Security>(securityBox->currentData().toInt());
        const int port = portSpin->value();
        if (port == 465 || port == 587 || port == 25) {
            portSpin->setValue(security == Security::Ssl        ? 465
                               : security == Security::StartTls ? 587
                                                                : 25);
        }
    });
    for (QLineEdit* edit : {hostEdit, userEdit}) {
        connect(edit, &QLineEdit::editingFinished, this, &SendWindow::lookUpPassword);
    }
    connect(placeholderList, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { bodyEdit->insertPlainText(item->text()); });
    connect(recipientView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) { showSlipOf(current.row()); });
}

void SendWindow::fillForm(const SendSettings& settings) {
    const MailSettings& m = settings.mail;
    hostEdit->setText(toQt(m.host));
    securityBox->setCurrentIndex(securityBox->findData(static_cast<int>(m.security)));
    portSpin->setValue(m.port);
    userEdit->setText(toQt(m.user));
    fromNameEdit->setText(toQt(m.fromName));
    fromEdit->setText(toQt(m.from));
    subjectEdit->setText(toQt(m.subject));
    bodyEdit->setPlainText(toQt(m.body));
    passwordLast->setValue(settings.passwordLast);
    // The columns are chosen by these once a table is read.
    addressColumn->setProperty("wanted", toQt(settings.toColumn));
    nameColumn->setProperty("wanted", toQt(settings.nameColumn));
    passwordColumn->setProperty("wanted", toQt(settings.passwordColumn));
}

SendSettings SendWindow::formSettings() const {
    SendSettings settings;
    MailSettings& m = settings.mail;
    m.host = toUtf8(hostEdit->text().trimmed());
    m.port = static_cast<std::uint16_t>(portSpin->value());
    m.security = static_cast<Security>(securityBox->currentData().toInt());
    m.user = toUtf8(userEdit->text().trimmed());
    m.fromName = toUtf8(fromNameEdit->text().trimmed());
    m.from = toUtf8(fromEdit->text().trimmed());
    m.subject = toUtf8(subjectEdit->text());
    m.body = toUtf8(bodyEdit->toPlainText());
    const auto chosen = [](const QComboBox* box) {
        // A column without a choice keeps the one asked for last.
        return box->currentData().isValid() ? toUtf8(box->currentData(Qt::UserRole + 1).toString())
                                            : toUtf8(box->property("wanted").toString());
    };
    settings.toColumn = chosen(addressColumn);
    settings.nameColumn = chosen(nameColumn);
    settings.passwordColumn = chosen(passwordColumn);
    settings.passwordLast = passwordLast->value();
    return settings;
}

// ---- the table -------------------------------------------------------------------------------

void SendWindow::browseClick() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("选择工资表"), QFileInfo(pathEdit->text().trimmed()).absolutePath(),
        QStringLiteral("工资表 (*.xlsx *.xls);;所有文件 (*)"));
    if (!path.isEmpty()) {
        pathEdit->setText(path);
        readClick();
    }
}

void SendWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !busy()) {
        event->acceptProposedAction();
    }
}

void SendWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || busy()) {
        return;
    }
    event->acceptProposedAction();
    const QUrl& url = urls.first();
    if (!url.isLocalFile() || !isTableFile(url.toLocalFile())) {
        warn(QStringLiteral("拖入的不是工资表文件：请拖入 .xlsx 或 .xls 文件。"));
        return;
    }
    pathEdit->setText(url.toLocalFile());
    // After the drop has returned to the window that started it.
    QTimer::singleShot(0, this, &SendWindow::readClick);
}

void SendWindow::readClick() {
    if (busy()) {
        return;
    }
    const QString path = pathEdit->text().trimmed();
    if (path.isEmpty()) {
        warn(QStringLiteral(
            "请先选择工资表（.xlsx 或 .xls 文件）：点“浏览...”，或把文件拖到窗口中。"));
        return;
    }
    if (!QFileInfo(path).isFile()) {
        warn(QStringLiteral("找不到工资表“%1”：请检查路径，或点“浏览...”重新选择。").arg(path));
        return;
    }
    m_run.reset();
    m_plan.reset();
    m_recorded.clear();
    m_lastRun.reset();
    sendLabel->clear();
    recipients->clear();
    slipView->showText(QString());
    fillColumns();
    m_readProgress = std::make_shared<ReadProgress>();
    readProgress->setValue(0);
    readProgress->show();
    tableLabel->setText(QStringLiteral("正在读取工资表……"));
    m_progressTimer->start();

    auto host = std::make_shared<ReadHost>(toUtf8(path), this, m_iniPath, m_readProgress);
    auto result = std::make_shared<std::shared_ptr<const SlipRun>>();
    auto failure = std::make_shared<std::string>();
    const std::filesystem::path source = toUtf8(path);
    inBackground(
        [=, iniPath = m_iniPath] {
            try {
                *result = std::make_shared<const SlipRun>(
                    runSlipExport(source, ExportSettings{iniPath, std::nullopt}, *host));
            } catch (const std::exception& e) {
                *failure = e.what();
            }
        },
        [=, this] {
            m_progressTimer->stop();
            m_readProgress.reset();
            readProgress->hide();
            if (!*result) {
                tableLabel->setText(QStringLiteral("未能读取工资表。"));
                warn(QStringLiteral("读取工资表失败：") + toQt(*failure));
            } else if ((*result)->persons().empty()) {
                tableLabel->setText(QStringLiteral("没有数到任何人员。"));
                const HeaderOptions& o = (*result)->options();
                warn(QStringLiteral("没有数到任何人员：人员从表头下一行起沿起始标题列 %1 "
                                    "往下数，到第一个空单元格为止，而表头下的第一格就是空的。\n\n"
                                    "请在“表头选项”中检查起始标题列（应是每人都有值的一列，如姓名"
                                    "或工号）和结束标题行（应是表头的最后一行），再点“读取”。")
                         .arg(toQt(o.StartTitleCol)));
            } else {
                m_run = *result;
                m_source = source;
                const HeaderOptions& o = m_run->options();
                tableLabel->setText(QStringLiteral("%1：表头第 %2–%3 行、%4–%5 列，共 %6 人。")
                                        .arg(QFileInfo(path).fileName(), toQt(o.StartTitleRow),
                                             toQt(o.EndTitleRow), toQt(o.StartTitleCol),
                                             toQt(o.EndTitleCol))
                                        .arg(m_run->persons().size()));
                askAboutJournal();
            }
            fillColumns();
            updateButtons();
            emit tableRead();
        });
}

void SendWindow::fillColumns() {
    const QSignalBlocker a(addressColumn);
    const QSignalBlocker b(nameColumn);
    const QSignalBlocker c(passwordColumn);
    placeholderList->clear();
    for (QComboBox* box : {addressColumn, nameColumn, passwordColumn}) {
        box->clear();
    }
    nameColumn->addItem(QStringLiteral("（不用：附件名为“第N人.pdf”）"));
    passwordColumn->addItem(QStringLiteral("（不加密）"));
    if (!m_run) {
        replan();
        return;
    }
    std::map<std::uint32_t, std::string> titles;
    for (const auto& [column, title] : m_run->titles()) {
        titles.emplace(column, title);
        placeholderList->addItem(QLatin1Char('{') + toQt(title) + QLatin1Char('}'));
    }
    for (std::uint32_t column = m_run->firstColumn(); column <= m_run->lastColumn(); ++column) {
        const std::string title = titles.count(column) != 0 ? titles[column] : std::string();
        const QString text = columnText(column, title);
        // The name a setting keeps: the title, or the letters of a column without one.
        const QString name = title.empty()
                                 ? toQt(getColFromNum(static_cast<std::int32_t>(column) + 1))
                                 : toQt(title);
        for (QComboBox* box : {addressColumn, nameColumn, passwordColumn}) {
            box->addItem(text, column);
            box->setItemData(box->count() - 1, name, Qt::UserRole + 1);
        }
    }
    const auto choose = [&](QComboBox* box, int none) {
        const std::string wanted = toUtf8(box->property("wanted").toString());
        const auto column = wanted.empty() ? std::nullopt : m_run->findColumn(wanted);
        box->setCurrentIndex(column ? box->findData(*column) : none);
    };
    choose(addressColumn, -1);
    if (addressColumn->currentIndex() < 0) {
        // No choice kept: the first column whose title speaks of mail.
        for (int i = 0; i < addressColumn->count(); ++i) {
            const QString title = addressColumn->itemData(i, Qt::UserRole + 1).toString();
            if (title.contains(QStringLiteral("邮箱")) || title.contains(QStringLiteral("邮件")) ||
                title.contains(QStringLiteral("mail"), Qt::CaseInsensitive)) {
                addressColumn->setCurrentIndex(i);
                break;
            }
        }
    }
    choose(nameColumn, 0);
    choose(passwordColumn, 0);
    replan();
}

void SendWindow::askAboutJournal() {
    m_recorded = MailJournal::recorded(m_source);
    m_mode = MailJournal::Mode::Fresh;
    if (m_recorded.empty()) {
        return;
    }
    QMessageBox box(QMessageBox::Question, kCaption,
                    QStringLiteral("这份工资表此前已经发给了 %1 人（发送记录保存在“%2”）。\n\n"
                                   "选“接着发送”：只发给尚未发送的人，已发送的人不会再收到。\n"
                                   "若这是同一路径下的一份新表（如下个月的工资表），选“作为新表"
                                   "重新发送”：旧记录改名保存，每个人都会收到新的工资条。")
                        .arg(m_recorded.size())
                        .arg(toQt(MailJournal::pathFor(m_source).string())),
                    QMessageBox::NoButton, this);
    QPushButton* resume = box.addButton(QStringLiteral("接着发送"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("作为新表重新发送"), QMessageBox::DestructiveRole);
    box.setDefaultButton(resume);
    box.exec();
    if (box.clickedButton() == resume || box.clickedButton() == nullptr) {
        m_mode = MailJournal::Mode::Resume;
    } else {
        m_mode = MailJournal::Mode::NewRun;
        m_recorded.clear();
    }
}

void SendWindow::replan() {
    m_plan.reset();
    if (m_run && addressColumn->currentIndex() >= 0) {
        MailColumns columns;
        columns.to = addressColumn->currentData().toUInt();
        if (nameColumn->currentData().isValid()) {
            columns.name = nameColumn->currentData().toUInt();
        }
        if (passwordColumn->currentData().isValid()) {
            columns.password = passwordColumn->currentData().toUInt();
            columns.passwordLast = passwordLast->value();
        }
        m_plan = std::make_shared<const MailPlan>(planMail(*m_run, columns));
        recipients->setPlan(*m_plan, m_recorded);
        recipientView->resizeColumnsToContents();
    } else {
        recipients->clear();
    }
    passwordLast->setEnabled(passwordColumn->currentData().isValid());
    slipView->showText(m_plan ? QStringLiteral("点击上表中的一人，在这里查看将发给他的工资条。")
                              : QStringLiteral("读取工资表、选好邮箱列后，点击上表中的一人，"
                                               "在这里查看将发给他的工资条。"));
    updateCount();
    updateButtons();
}

void SendWindow::updateCount() {
    if (!m_run) {
        countLabel->setText(QStringLiteral("读取工资表后，这里列出每个人将收到的邮件。"));
        countLabel->setStyleSheet(QString());
        return;
    }
    if (!m_plan) {
        countLabel->setText(QStringLiteral("请在左边选择邮箱地址所在的列。"));
        countLabel->setStyleSheet(QStringLiteral("color: #c00000;"));
        return;
    }
    const std::size_t total = m_plan->recipients.size();
    const std::size_t problems = m_plan->withProblems();
    QString text;
    if (problems == 0) {
        text = QStringLiteral("共 %1 人，全部通过检查。").arg(total);
    } else if (problems == total) {
        text = QStringLiteral("共 %1 人，全都有问题（标红），没有可以发送的人：请检查所选的列，"
                              "或改正工资表后点“读取”。")
                   .arg(total);
    } else {
        text = QStringLiteral("共 %1 人，其中 %2 人有问题（标红）：请改正工资表后点“读取”，"
                              "或勾选“跳过有问题的人”只发给其余 %3 人。")
                   .arg(total)
                   .arg(problems)
                   .arg(total - problems);
    }
    if (!m_recorded.empty()) {
        text += QStringLiteral(" 此前已发送 %1 人，不会再发。").arg(m_recorded.size());
    }
    countLabel->setText(text);
    countLabel->setStyleSheet(problems == 0 ? QString() : QStringLiteral("color: #c00000;"));
}

void SendWindow::updateButtons() {
    const bool idle = !busy();
    const bool running = busy() && m_job && m_job->delivery;
    const bool problems = m_plan && m_plan->withProblems() > 0;
    // What a job has taken is not changed while it runs.
    for (QWidget* w : std::initializer_list<QWidget*>{
             pathEdit, browseButton, readButton, addressColumn, nameColumn, passwordColumn,
             hostEdit, portSpin, securityBox, userEdit, passwordEdit, rememberPassword,
             fromNameEdit, fromEdit, subjectEdit, bodyEdit, placeholderList, testButton,
             skipProblems}) {
        w->setEnabled(idle);
    }
    passwordLast->setEnabled(idle && passwordColumn->currentData().isValid());
    trialButton->setEnabled(idle && m_plan && m_plan->withProblems() < m_plan->recipients.size());
    sendButton->setEnabled(idle && m_plan && !m_plan->recipients.empty() &&
                           (!problems || skipProblems->isChecked()) &&
                           m_plan->withProblems() < m_plan->recipients.size());
    stopButton->setEnabled(running && !m_job->delivery->stopRequested());
    sendProgress->setVisible(running || m_lastRun.has_value());
}

// ---- the slip of one person ------------------------------------------------------------------

void SendWindow::showSlipOf(int row) {
    if (!m_run || !m_plan || row < 0 || row >= static_cast<int>(m_plan->recipients.size())) {
        return;
    }
    const Recipient& r = m_plan->recipients[static_cast<std::size_t>(row)];
    QString caption =
        personText(r) + QStringLiteral("：附件“") + toQt(r.attachmentName) + QStringLiteral("”");
    try {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        std::string pdf = slipPdf(*m_run, r.person);
        const bool locked = r.locked && !r.password.empty();
        if (locked) {
            pdf = lockPdf(pdf, r.password);
            caption += QStringLiteral("，以本人的密码加密");
        }
        QApplication::restoreOverrideCursor();
        slipView->showPdf(pdf, locked ? toQt(r.password) : QString(), caption);
    } catch (const std::exception& e) {
        QApplication::restoreOverrideCursor();
        slipView->showText(
            QStringLiteral("%1 的工资条无法生成：%2").arg(personText(r), toQt(e.what())));
    }
}

// ---- settings and password -------------------------------------------------------------------

void SendWindow::lookUpPassword() {
    if (m_passwords == nullptr) {
        showKeyring();
        return;
    }
    const QString user = userEdit->text().trimmed();
    const QString host = hostEdit->text().trimmed();
    const bool wanted = !user.isEmpty() && !host.isEmpty() && passwordEdit->text().isEmpty();
    if (!wanted && m_keyringAsked) {
        return;
    }
    m_keyringAsked = true;
    // Without an account to look up, asked once all the same, so the note says whether a
    // keyring is there.
    const QString account = wanted ? passwordAccount(user, host, portSpin->value())
                                   : passwordAccount(QStringLiteral("-"), QStringLiteral("-"), 0);
    QPointer<SendWindow> self(this);
    m_passwords->read(account, [self, wanted, account](std::optional<QString> kept) {
        if (!self) {
            return;
        }
        const QString now =
            passwordAccount(self->userEdit->text().trimmed(), self->hostEdit->text().trimmed(),
                            self->portSpin->value());
        // Filled in unless the clerk typed one meanwhile or changed the account.
        if (wanted && kept && now == account && self->passwordEdit->text().isEmpty()) {
            self->passwordEdit->setText(*kept);
        }
        self->showKeyring();
    });
}

void SendWindow::showKeyring() {
    const bool available = m_passwords != nullptr && m_passwords->available();
    rememberPassword->setVisible(available);
    keyringLabel->setText(available
                              ? QStringLiteral("（只保存在系统钥匙环中，不写入任何文件）")
                              : QStringLiteral("没有找到系统钥匙环：密码不保存，每次打开窗口时"
                                               "请重新填写。"));
    emit keyringAnswered();
}

void SendWindow::keepPassword(bool loginWorked) {
    if (m_passwords == nullptr || !m_passwords->available() || !loginWorked) {
        return;
    }
    const QString account =
        passwordAccount(userEdit->text().trimmed(), hostEdit->text().trimmed(), portSpin->value());
    if (rememberPassword->isChecked() && !passwordEdit->text().isEmpty()) {
        QPointer<SendWindow> self(this);
        m_passwords->write(account, passwordEdit->text(), [self](bool kept) {
            if (self && !kept) {
                self->keyringLabel->setText(
                    QStringLiteral("系统钥匙环没有保存密码：下次打开窗口时请重新填写。"));
            }
        });
    } else {
        m_passwords->remove(account);
    }
}

bool SendWindow::saveSettings() {
    try {
        saveSendSettings(formSettings(), m_settingsPath);
        return true;
    } catch (const std::exception& e) {
        warn(toQt(e.what()) + QStringLiteral("\n\n设置没有保存，但这次仍可照常发送。"));
        return false;
    }
}

// ---- the worker thread and messages ----------------------------------------------------------

void SendWindow::inBackground(std::function<void()> work, std::function<void()> done) {
    m_thread = QThread::create(std::move(work));
    connect(m_thread, &QThread::finished, this, [this, done = std::move(done)] {
        m_thread->deleteLater();
        m_thread = nullptr;
        updateButtons();
        done();
        updateButtons();
        if (m_closePending) {
            close();
        }
    });
    updateButtons();
    m_thread->start();
    updateButtons();
}

void SendWindow::closeEvent(QCloseEvent* event) {
    if (busy()) {
        event->ignore();
        if (m_job && m_job->delivery) {
            const auto answer = QMessageBox::question(
                this, kCaption,
                QStringLiteral("正在发送工资条。要在当前这封邮件发出后停止，然后关闭窗口吗？"));
            if (answer != QMessageBox::Yes) {
                return;
            }
            stopClick();
        }
        // Closed once the work has ended.
        m_closePending = true;
        return;
    }
    saveSettings();
    event->accept();
}

void SendWindow::warn(const QString& text) {
    QMessageBox::warning(this, kCaption, text);
}

void SendWindow::inform(const QString& text) {
    QMessageBox::information(this, kCaption, text);
}

} // namespace quenly::send
