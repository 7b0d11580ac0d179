// Drawing of the program icon and the 16 x 16 button glyphs.
#include "glyphs.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace quenly::app {

namespace {

const QColor kNavy{0x00, 0x3C, 0x74};

QImage blank(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

Glyph makeGlyph(const QImage& image) {
    const QPixmap normal = QPixmap::fromImage(image);
    return {normal, disabledForm(normal)};
}

// Scales `p` so that an icon of `size` pixels is drawn on a grid of 48 units.
void onIconGrid(QPainter& p, int size) {
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(size / 48.0, size / 48.0);
}

// One slip in `block`: a blue header band over its upper half, the columns, the person's row.
void paintSlip(QPainter& p, const QRectF& block) {
    const qreal top = block.top();
    const qreal bottom = block.bottom();
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x2F, 0x6E, 0xB5));
    p.drawRect(QRectF(block.left(), top, block.width(), block.height() / 2));
    p.setPen(QPen(QColor(0x9A, 0xB4, 0xD0), 1));
    const qreal step = block.width() / 4;
    for (qreal x = block.left() + step; x < block.right(); x += step) {
        p.drawLine(QPointF(x, top), QPointF(x, bottom));
    }
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.drawLine(block.bottomLeft(), block.bottomRight());
    p.drawLine(block.topLeft(), block.bottomLeft());
    p.drawLine(block.topRight(), block.bottomRight());
}

// A blue arrow pointing right along the line y = `middle`: a shaft from `tail` to `neck`,
// `shaftHalf` either side of the line, then a head `headHalf` either side narrowing to `tip`.
void drawRightArrow(QPainter& p, qreal middle, qreal tail, qreal shaftHalf, qreal neck,
                    qreal headHalf, qreal tip) {
    QPainterPath arrow;
    arrow.moveTo(tail, middle - shaftHalf);
    arrow.lineTo(neck, middle - shaftHalf);
    arrow.lineTo(neck, middle - headHalf);
    arrow.lineTo(tip, middle);
    arrow.lineTo(neck, middle + headHalf);
    arrow.lineTo(neck, middle + shaftHalf);
    arrow.lineTo(tail, middle + shaftHalf);
    arrow.closeSubpath();
    p.setPen(QPen(kNavy, 1));
    p.setBrush(QColor(0x3A, 0x8E, 0xE6));
    p.drawPath(arrow);
}

} // namespace

QPixmap disabledForm(const QPixmap& image) {
    QImage source = image.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < source.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(source.scanLine(y));
        for (int x = 0; x < source.width(); ++x) {
            const QRgb c = line[x];
            // Grey of the same brightness, lifted towards white.
            const int grey = qGray(c);
            const int lifted = 128 + grey / 2;
            line[x] = qRgba(lifted, lifted, lifted, qAlpha(c) * 3 / 4);
        }
    }
    return QPixmap::fromImage(source);
}

QPixmap programIconImage() {
    return QPixmap::fromImage(drawProgramIcon(48));
}

QImage drawProgramIcon(int size) {
    QImage image = blank(size);
    QPainter p(&image);
    onIconGrid(p, size);

    // Two slips on one sheet, the upper one slightly lifted.
    const QRectF sheet(5.5, 3.5, 37, 41);
    p.setPen(QPen(kNavy, 1.5));
    p.setBrush(Qt::white);
    p.drawRoundedRect(sheet, 2.5, 2.5);

    paintSlip(p, QRectF(9, 7, 30, 10));
    paintSlip(p, QRectF(9, 28, 30, 10));

    // The cutting line between the slips, with a pair of scissors at its left end.
    QPen cut(QColor(0xC0, 0x30, 0x30), 1.2, Qt::DashLine);
    p.setPen(cut);
    p.drawLine(QPointF(14, 23.5), QPointF(42, 23.5));
    p.setPen(QPen(QColor(0xC0, 0x30, 0x30), 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(1.5, 18, 5, 4));
    p.drawEllipse(QRectF(1.5, 25, 5, 4));
    p.drawLine(QPointF(6, 21), QPointF(13, 25));
    p.drawLine(QPointF(6, 26), QPointF(13, 22));

    // The currency sign in the corner.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xE8, 0x9A, 0x1C));
    p.drawEllipse(QRectF(31, 33, 15, 15));
    p.setPen(QPen(Qt::white, 1.6));
    p.drawLine(QPointF(35, 36.5), QPointF(38.5, 40.5));
    p.drawLine(QPointF(42, 36.5), QPointF(38.5, 40.5));
    p.drawLine(QPointF(38.5, 40.5), QPointF(38.5, 45.5));
    p.drawLine(QPointF(35.5, 41.5), QPointF(41.5, 41.5));
    p.drawLine(QPointF(35.5, 43.8), QPointF(41.5, 43.8));
    p.end();
    return image;
}

QIcon programIcon() {
    QIcon icon;
    icon.addPixmap(programIconImage());
    return icon;
}

QImage drawSendIcon(int size) {
    QImage image = blank(size);
    QPainter p(&image);
    onIconGrid(p, size);

    // The slip, standing up behind the envelope it goes into.
    p.setPen(QPen(kNavy, 1.5));
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(3.5, 2.5, 30, 30), 2.5, 2.5);
    paintSlip(p, QRectF(7, 6.5, 23, 10));
    p.setPen(QPen(QColor(0x40, 0x40, 0x40), 1));
    p.drawLine(QPointF(7, 21.5), QPointF(22, 21.5));

    // The envelope in front, its flap closed.
    const QRectF envelope(13.5, 22.5, 32, 22);
    p.setPen(QPen(QColor(0xA8, 0x62, 0x0C), 1.5));
    p.setBrush(QColor(0xF6, 0xC4, 0x53));
    p.drawRoundedRect(envelope, 1.5, 1.5);
    QPainterPath flap;
    flap.moveTo(envelope.topLeft());
    flap.lineTo(envelope.center().x(), envelope.top() + 12);
    flap.lineTo(envelope.topRight());
    p.setBrush(QColor(0xFF, 0xE0, 0x8A));
    p.drawPath(flap);
    p.drawLine(QPointF(envelope.left() + 0.5, envelope.bottom() - 0.5),
               QPointF(envelope.center().x() - 4, envelope.top() + 9.5));
    p.drawLine(QPointF(envelope.right() - 0.5, envelope.bottom() - 0.5),
               QPointF(envelope.center().x() + 4, envelope.top() + 9.5));

    // Its way out: an arrow from the corner.
    drawRightArrow(p, 11, 33, 3, 40, 7.5, 47);
    p.end();
    return image;
}

QIcon sendIcon() {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(drawSendIcon(48)));
    return icon;
}

Glyph browseGlyph() {
    QImage image = blank(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    const QColor edge(0xA0, 0x74, 0x10);
    // Back of the folder with its tab.
    QPainterPath back;
    back.moveTo(1.5, 3.5);
    back.lineTo(6, 3.5);
    back.lineTo(7.5, 5);
    back.lineTo(13.5, 5);
    back.lineTo(13.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    p.setPen(QPen(edge, 1));
    p.setBrush(QColor(0xF0, 0xC8, 0x50));
    p.drawPath(back);
    // The opened front flap.
    QPainterPath front;
    front.moveTo(3.5, 7.5);
    front.lineTo(15, 7.5);
    front.lineTo(12.5, 13.5);
    front.lineTo(1.5, 13.5);
    front.closeSubpath();
    p.setBrush(QColor(0xFF, 0xE0, 0x7A));
    p.drawPath(front);
    p.end();
    return makeGlyph(image);
}

Glyph exportGlyph() {
    QImage image = blank(16);
    QPainter p(&image);
    // A small table: a blue header row and two rows of cells.
    p.setPen(QPen(QColor(0x1D, 0x6B, 0x3A), 1));
    p.setBrush(Qt::white);
    p.drawRect(0, 1, 10, 12);
    p.fillRect(1, 2, 9, 3, QColor(0x2F, 0x9E, 0x5A));
    p.drawLine(0, 5, 10, 5);
    p.drawLine(0, 9, 10, 9);
    p.drawLine(5, 1, 5, 13);
    // The arrow out of it.
    p.setRenderHint(QPainter::Antialiasing, true);
    drawRightArrow(p, 10, 8, 2, 12, 5, 16);
    p.end();
    return makeGlyph(image);
}

Glyph closeGlyph() {
    QImage image = blank(16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(QColor(0x9E, 0x1B, 0x1B), 1));
    p.setBrush(QColor(0xD9, 0x3A, 0x2F));
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
    p.end();
    return makeGlyph(image);
}

} // namespace quenly::app
