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

// The largest page drawn, in pixels along each side, however narrow the slip on it.
constexpr int kLargestSide = 6000;

// `page` on white paper: what the PDF leaves transparent is white.
QImage onWhite(const QImage& page) {
    QImage image(page.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter(&image).drawImage(0, 0, page);
    return image;
}

// The part of `image` that is drawn on, widened by a little white on every side, as fractions
// of its size: a slip fills only the top of its sheet. The whole page when nothing is drawn.
QRectF drawnPart(const QImage& image) {
    int left = image.width();
    int right = -1;
    int top = image.height();
    int bottom = -1;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qRed(line[x]) < 250 || qGreen(line[x]) < 250 || qBlue(line[x]) < 250) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0) {
        return {0, 0, 1, 1};
    }
    const qreal w = image.width();
    const qreal h = image.height();
    const qreal edge = 0.02;
    const QRectF part(left / w, top / h, (right + 1 - left) / w, (bottom + 1 - top) / h);
    return part.adjusted(-edge, -edge * w / h, edge, edge * w / h).intersected(QRectF(0, 0, 1, 1));
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
    const qreal aspect = points.height() / points.width();
    // Where on the page the slip is, from a small drawing; then the slip alone, as wide as the
    // view.
    const int probeWidth = 800;
    const QRectF part =
        drawnPart(onWhite(document.render(0, QSize(probeWidth, qRound(probeWidth * aspect)))));
    const qreal ratio = devicePixelRatioF();
    const qreal width = std::max(200, viewport()->width() - 2 * kMargin - 4) * ratio;
    const qreal scale = std::min({width / part.width(), kLargestSide / 1.0, kLargestSide / aspect});
    const QSize size(qRound(scale), qRound(scale * aspect));
    m_page = onWhite(document.render(0, size))
                 .copy(QRectF(part.x() * size.width(), part.y() * size.height(),
                              part.width() * size.width(), part.height() * size.height())
                           .toAlignedRect());
    QPixmap pixmap = QPixmap::fromImage(m_page);
    pixmap.setDevicePixelRatio(ratio);
    m_image->setText(QString());
    m_image->setPixmap(pixmap);
}

} // namespace quenly::send
