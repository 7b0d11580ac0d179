// The main window: layout, file intake (browse, type, drop), the export's host, closing.
#include "main_window.h"

#include "dropped_file.h"
#include "error_box.h"
#include "framed_controls.h"
#include "glyphs.h"
#include "sys_option_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <algorithm>
#include <memory>

namespace quenly {

namespace {

const QColor kNavy{0x00, 0x00, 0x80};

QFont kaiFont(const char* preferred) {
    QFont font;
    // The face asked for first; AR PL UKai is the Kai face found on Linux desktops.
    font.setFamilies({QString::fromUtf8(preferred), QStringLiteral("AR PL UKai CN"),
                      QStringLiteral("AR PL UKai TW"), QStringLiteral("KaiTi")});
    font.setPixelSize(16);
    return font;
}

void paintNavy(QLabel* label) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, kNavy);
    label->setPalette(palette);
}

ui::FramedButton* makeButton(const char* name, const char* text, const app::Glyph& glyph,
                             QWidget* parent, QRect geometry) {
    auto* button = new ui::FramedButton(QString::fromUtf8(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGlyph(glyph.normal, glyph.disabled);
    button->setGeometry(geometry);
    return button;
}

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    }
    return QMessageBox::Information;
}

} // namespace

std::optional<QString> firstDroppedFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) {
        return std::nullopt;
    }
    const QList<QUrl> urls = data->urls();
    if (urls.isEmpty() || !urls.front().isLocalFile()) {
        return std::nullopt;
    }
    QString file = urls.front().toLocalFile();
    if (file.isEmpty()) {
        return std::nullopt;
    }
    return file;
}

TfrmQuenly::TfrmQuenly(const ServerRegistry& servers, std::filesystem::path iniPath, QUrl helpUrl,
                       QWidget* parent)
    : QWidget(parent)
    , m_servers(servers)
    , m_iniPath(std::move(iniPath))
    , m_helpUrl(std::move(helpUrl)) {
    setObjectName(QStringLiteral("TfrmQuenly"));
    setWindowTitle(QStringLiteral("Quenly"));
    setWindowIcon(app::programIcon());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    rzgrpbx1 = new QGroupBox(QString::fromUtf8("操作提示："), this);
    rzgrpbx1->setObjectName(QStringLiteral("rzgrpbx1"));
    rzgrpbx1->setFixedHeight(97);
    layout->addWidget(rzgrpbx1);

    lbl1 = new QLabel(QString::fromUtf8("Excel 路径"), rzgrpbx1);
    lbl1->setObjectName(QStringLiteral("lbl1"));
    lbl1->setGeometry(2, 24, 58, 15);

    rzbtbtnSelExcel = makeButton("rzbtbtnSelExcel", "浏览...", app::browseGlyph(), rzgrpbx1,
                                 QRect(585, 18, 66, 25));
    edtExcelPath = new ui::FlatEdit(rzgrpbx1);
    edtExcelPath->setObjectName(QStringLiteral("edtExcelPath"));
    edtExcelPath->setGeometry(64, 21, 513, 19);
    rzbtbtnExport = makeButton("rzbtbtnExport", "输出工资条", app::exportGlyph(), rzgrpbx1,
                               QRect(658, 18, 93, 25));
    rzbtbtnClose =
        makeButton("rzbtbtnClose", "关闭", app::closeGlyph(), rzgrpbx1, QRect(824, 18, 65, 25));

    RzLabel1 =
        new QLabel(QString::fromUtf8("提示：打印时先预览;详细操作请查阅联机帮助文档。"), rzgrpbx1);
    RzLabel1->setObjectName(QStringLiteral("RzLabel1"));
    RzLabel1->setFont(kaiFont("华文楷体"));
    paintNavy(RzLabel1);
    RzLabel1->move(1, 46);
    RzLabel1->adjustSize();

    lblProcess = new QLabel(QString::fromUtf8("处理进度："), rzgrpbx1);
    lblProcess->setObjectName(QStringLiteral("lblProcess"));
    lblProcess->setFont(kaiFont("楷体_GB2312"));
    paintNavy(lblProcess);
    lblProcess->move(1, 72);
    lblProcess->adjustSize();

    pb1 = new QProgressBar(this);
    pb1->setObjectName(QStringLiteral("pb1"));
    pb1->setFixedHeight(16);
    pb1->setTextVisible(false);
    pb1->setRange(0, 100);
    pb1->setValue(0);
    layout->addWidget(pb1);

    rzgrpbx2 = new QGroupBox(QString::fromUtf8("联机帮助文档"), this);
    rzgrpbx2->setObjectName(QStringLiteral("rzgrpbx2"));
    layout->addWidget(rzgrpbx2, 1);

    rzpndlgOpenExcel = new QFileDialog(this, QString::fromUtf8("打开"));
    rzpndlgOpenExcel->setObjectName(QStringLiteral("rzpndlgOpenExcel"));
    rzpndlgOpenExcel->setAcceptMode(QFileDialog::AcceptOpen);
    rzpndlgOpenExcel->setFileMode(QFileDialog::ExistingFile);
    rzpndlgOpenExcel->setNameFilter(QString::fromUtf8("Excel文件 (*.xls *.xlsx)"));

    connect(rzbtbtnSelExcel, &QPushButton::clicked, this, &TfrmQuenly::rzbtbtnSelExcelClick);
    connect(rzbtbtnExport, &QPushButton::clicked, this, &TfrmQuenly::rzbtbtnExportClick);
    connect(rzbtbtnClose, &QPushButton::clicked, this, &TfrmQuenly::rzbtbtnCloseClick);

    FormCreate();

    setTabOrder(rzbtbtnSelExcel, edtExcelPath);
    setTabOrder(edtExcelPath, rzbtbtnExport);
    setTabOrder(rzbtbtnExport, rzbtbtnClose);
    setTabOrder(rzbtbtnClose, wb1);
    rzbtbtnSelExcel->setFocus();
}

TfrmQuenly::~TfrmQuenly() {
    FormDestroy();
}

void TfrmQuenly::FormCreate() {
    setAcceptDrops(true);

    wb1 = new QWebEngineView(rzgrpbx2);
    wb1->setObjectName(QStringLiteral("wb1"));
    // The help page must not take the focus from the browse button when it has loaded.
    wb1->settings()->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    // Drops over the help pane belong to the window: the view would otherwise open the file.
    wb1->setAcceptDrops(false);
    watchForDrops(wb1);
    auto* paneLayout = new QVBoxLayout(rzgrpbx2);
    paneLayout->setContentsMargins(2, 2, 2, 2);
    paneLayout->addWidget(wb1);
    wb1->load(m_helpUrl);
}

void TfrmQuenly::FormDestroy() {
    setAcceptDrops(false);
}

void TfrmQuenly::showInitially() {
    // The window is designed 912 x 591 with its frame; the frame of a common desktop takes 16
    // pixels across and 38 down.
    resize(912 - 16, 591 - 38);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect box = frameGeometry();
        box.moveCenter(screen->availableGeometry().center());
        move(box.topLeft());
    }
    showMaximized();
    rzbtbtnSelExcel->setFocus();
}

void TfrmQuenly::watchForDrops(QWidget* widget) {
    widget->installEventFilter(this);
    widget->setAcceptDrops(false);
    for (QObject* child : widget->children()) {
        if (child->isWidgetType()) {
            watchForDrops(static_cast<QWidget*>(child));
        }
    }
}

bool TfrmQuenly::isInsideHelpPane(const QWidget* widget) const {
    for (const QWidget* w = widget; w; w = w->parentWidget()) {
        if (w == wb1) {
            return true;
        }
    }
    return false;
}

bool TfrmQuenly::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::ChildAdded: {
        // The view makes its drawing surface when it first renders; that surface must not take
        // drops either.
        QObject* child = static_cast<QChildEvent*>(event)->child();
        if (child->isWidgetType()) {
            watchForDrops(static_cast<QWidget*>(child));
        }
        break;
    }
    case QEvent::DragEnter:
        dragEnterEvent(static_cast<QDragEnterEvent*>(event));
        return true;
    case QEvent::DragMove:
        dragMoveEvent(static_cast<QDragMoveEvent*>(event));
        return true;
    case QEvent::DragLeave:
        return true;
    case QEvent::Drop:
        dropEvent(static_cast<QDropEvent*>(event));
        return true;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmQuenly::dragEnterEvent(QDragEnterEvent* event) {
    // Everything may be dropped; what is not a workbook is refused with a message on the drop.
    event->acceptProposedAction();
}

void TfrmQuenly::dragMoveEvent(QDragMoveEvent* event) {
    event->acceptProposedAction();
}

void TfrmQuenly::dropEvent(QDropEvent* event) {
    const std::optional<QString> file = firstDroppedFile(event->mimeData());
    event->acceptProposedAction();
    // The drop is finished for its source first; the export it starts runs afterwards, so the
    // program the file came from is not held for the length of the export.
    QMetaObject::invokeMethod(
        this, [this, file] { handleDroppedFile(file); }, Qt::QueuedConnection);
}

void TfrmQuenly::handleDroppedFile(const std::optional<QString>& file) {
    if (!isVisible()) {
        // A drop that arrived while an export ran its messages for the last time is handled
        // after that export; when a close was asked meanwhile, the window has closed since, and
        // the program ends with nothing started after the export.
        return;
    }
    ui::guarded(this, [&] {
        if (!file || !app::isAcceptedDropName(file->toStdString())) {
            showMessage(app::kRefusedDropMessage, app::kMainMessageCaption,
                        MessageIcon::Information);
            return;
        }
        edtExcelPath->setText(*file);
        runExport();
        // A path typed or browsed while the export ran gives way to the dropped one.
        edtExcelPath->setText(*file);
    });
    closeIfAsked();
}

void TfrmQuenly::rzbtbtnSelExcelClick() {
    ui::guarded(this, [&] {
        if (rzpndlgOpenExcel->exec() != QDialog::Accepted) {
            return;
        }
        const QStringList chosen = rzpndlgOpenExcel->selectedFiles();
        if (!chosen.isEmpty()) {
            edtExcelPath->setText(chosen.front());
        }
    });
}

void TfrmQuenly::rzbtbtnExportClick() {
    ui::guarded(this, [&] { runExport(); });
    closeIfAsked();
}

void TfrmQuenly::closeIfAsked() {
    // Only the outermost handler closes, after everything it showed (an error box included) is
    // gone.
    if (m_running.empty() && m_closePending) {
        m_closePending = false;
        close();
    }
}

void TfrmQuenly::rzbtbtnCloseClick() {
    ui::guarded(this, [&] { close(); });
}

void TfrmQuenly::runExport() {
    m_running.emplace_back();
    // Whatever way the export leaves, the display shows its last values and the run is taken
    // off the stack; a close asked for meanwhile waits for the handler (closeIfAsked).
    struct Finish {
        TfrmQuenly* window;
        ~Finish() {
            window->m_running.pop_back();
            window->flushProgress();
            emit window->exportReturned();
        }
    } finish{this};
    m_lastOutcome = ::quenly::rzbtbtnExportClick(*this, m_servers, ExportSettings{m_iniPath, {}});
}

std::string TfrmQuenly::currentSourcePath() const {
    return m_running.empty() ? std::string() : m_running.back();
}

std::string TfrmQuenly::excelPath() {
    std::string path = edtExcelPath->text().toStdString();
    if (!m_running.empty()) {
        m_running.back() = path;
    }
    return path;
}

void TfrmQuenly::showMessage(const std::string& text, const std::string& caption,
                             MessageIcon icon) {
    QMessageBox box(boxIcon(icon), QString::fromStdString(caption), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    box.exec();
}

void TfrmQuenly::setProgressMaximum(int maximum) {
    m_maximum = maximum;
    m_progressDirty = true;
}

void TfrmQuenly::setProgressPosition(int position) {
    m_position = position;
    m_progressDirty = true;
}

int TfrmQuenly::progressPosition() {
    return m_position;
}

void TfrmQuenly::setProcessText(const std::string& text) {
    m_processText = text;
    m_progressDirty = true;
}

void TfrmQuenly::processPendingMessages() {
    // Called once per person. Repainting and taking the user's input at every call would make
    // the window the slow part of a long export (a repaint of a window holding a web view costs
    // milliseconds), so they run only when the gap since the last run has passed.
    if (m_sinceRepaint.isValid() && m_sinceRepaint.nsecsElapsed() < m_gapNanoseconds) {
        return;
    }
    QElapsedTimer cost;
    cost.start();
    flushProgress();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    const qint64 spent = cost.nsecsElapsed();
    ++m_messageRuns;
    m_messageNanoseconds += spent;
    constexpr qint64 kMs = 1000000;
    m_gapNanoseconds =
        m_repaintIntervalMs == 0
            ? 0
            : std::clamp(spent * kQuietShare, m_repaintIntervalMs * kMs, kLongestGapMs * kMs);
    m_sinceRepaint.start();
}

void TfrmQuenly::flushProgress() {
    if (!m_progressDirty) {
        return;
    }
    m_progressDirty = false;
    // A bar whose maximum is 0 would turn into a busy indicator: an empty bar of one step shows
    // "nothing to do" instead.
    const int maximum = std::max(m_maximum, 1);
    if (pb1->maximum() != maximum) {
        pb1->setRange(0, maximum);
    }
    pb1->setValue(std::clamp(m_position, 0, maximum));
    const QString text = QString::fromStdString(m_processText);
    if (!m_processText.empty() && lblProcess->text() != text) {
        lblProcess->setText(text);
        lblProcess->adjustSize();
    }
}

void TfrmQuenly::confirmHeaderOptions() {
    // Lives for this one showing; owned by the main window while it is shown.
    auto dialog = std::make_unique<TfrmSysOption>(m_iniPath, this);
    dialog->exec();
}

void TfrmQuenly::closeEvent(QCloseEvent* event) {
    if (!m_running.empty()) {
        // Asked inside an export's message processing: the export runs to its end first.
        m_closePending = true;
        event->ignore();
        return;
    }
    event->accept();
}

void TfrmQuenly::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier &&
        !isInsideHelpPane(focusWidget())) {
        // The close button is the window's cancel button.
        rzbtbtnClose->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

} // namespace quenly
