// The slip preview of the sending window, drawn by Qt's PDF module.
#include "slip_view.h"

#include <QBuffer>
#include <QEventLoop>
#include <QLabel>
#include <QPainter>
#include <QPdfDocument>
#include <QPixmap>
#include <QResizeEvent>
#include <QTimer>
#include <QVBoxLayout>

namespace quenly::send {

namespace {

constexpr int kMargin = 12;

// `page` without the white below its last drawn row (a slip fills the top of its sheet), keeping
// a strip of white as the sheet's edge.
QImage withoutBlankFoot(const QImage& page) {
    // The page is drawn on white paper: what the PDF leaves transparent is white.
    QImage image(page.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).drawImage(0, 0, page);
    int last = image.height() - 1;
    const auto blank = [&](int y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qRed(line[x]) < 250 || qGreen(line[x]) < 250 || qBlue(line[x]) < 250) {
                return false;
            }
        }
        return true;
    };
    while (last > 0 && blank(last)) {
        --last;
    }
    const int keep = std::min(image.height(), last + 1 + image.width() / 20);
    return image.copy(0, 0, image.width(), keep);
}

} // namespace

SlipView::SlipView(QWidget* parent)
    : QScrollArea(parent) {
    auto* inner = new QWidget;
    auto* layout = new QVBoxLayout(inner);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    m_caption = new QLabel;
    m_caption->setWordWrap(true);
    m_image = new QLabel;
    m_image->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_image->setWordWrap(true);
    layout->addWidget(m_caption);
    layout->addWidget(m_image, 1);
    setWidget(inner);
    setWidgetResizable(true);
    setBackgroundRole(QPalette::Mid);
    showText(QStringLiteral("点击上表中的一人，在这里查看将发给他的工资条。"));
}

QString SlipView::caption() const {
    return m_caption->text();
}

void SlipView::showText(const QString& text) {
    m_pdf.clear();
    m_page = QImage();
    m_caption->clear();
    m_image->setPixmap(QPixmap());
    m_image->setText(text);
}

bool SlipView::showPdf(const std::string& pdf, const QString& password, const QString& caption) {
    m_pdf = pdf;
    m_password = password;
    m_caption->setText(caption);
    drawPage();
    return !m_page.isNull();
}

void SlipView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (!m_pdf.empty() && event->size().width() != event->oldSize().width()) {
        drawPage();
    }
}

void SlipView::drawPage() {
    QByteArray bytes(m_pdf.data(), static_cast<qsizetype>(m_pdf.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QPdfDocument document;
    document.setPassword(m_password);
    document.load(&buffer);
    if (document.status() == QPdfDocument::Status::Loading) {
        QEventLoop loop;
        connect(&document, &QPdfDocument::statusChanged, &loop, &QEventLoop::quit);
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (document.status() != QPdfDocument::Status::Ready || document.pageCount() < 1) {
        m_page = QImage();
        m_image->setPixmap(QPixmap());
        m_image->setText(QStringLiteral("无法显示这份工资条（PDF 打不开）。"));
        return;
    }
    const QSizeF points = document.pagePointSize(0);
    const int width = std::max(200, viewport()->width() - 2 * kMargin - 4);
    const qreal ratio = devicePixelRatioF();
    const QSize size(qRound(width * ratio),
                     qRound(width * ratio * points.height() / points.width()));
    m_page = withoutBlankFoot(document.render(0, size));
    QPixmap pixmap = QPixmap::fromImage(m_page);
    pixmap.setDevicePixelRatio(ratio);
    m_image->setText(QString());
    m_image->setPixmap(pixmap);
}

} // namespace quenly::send
