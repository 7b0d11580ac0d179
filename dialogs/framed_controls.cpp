// Drawing of the framed buttons and flat edit boxes.
#include "framed_controls.h"

#include <QEnterEvent>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace quenly::ui {

namespace {

constexpr int kGlyphSize = 16;
constexpr int kGlyphGap = 4;

QPainterPath roundedFrame(const QRectF& r, qreal radius) {
    QPainterPath path;
    path.addRoundedRect(r, radius, radius);
    return path;
}

} // namespace

FramedButton::FramedButton(const QString& text, QWidget* parent)
    : QPushButton(text, parent) {
    setAutoDefault(false);
    setDefault(false);
    setAttribute(Qt::WA_Hover);
    setFocusPolicy(Qt::StrongFocus);
}

void FramedButton::setGlyph(const QPixmap& normal, const QPixmap& disabled) {
    m_glyph = normal;
    m_disabledGlyph = disabled;
    update();
}

void FramedButton::enterEvent(QEnterEvent* event) {
    m_hot = true;
    update();
    QPushButton::enterEvent(event);
}

void FramedButton::leaveEvent(QEvent* event) {
    m_hot = false;
    update();
    QPushButton::leaveEvent(event);
}

void FramedButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, true);
    const bool enabled = isEnabled();
    const bool down = isDown() || isChecked();
    const QRectF outer = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);

    QColor face = kFaceColor;
    if (down) {
        face = face.darker(108);
    }
    p.fillPath(roundedFrame(outer, 3), face);

    if (enabled && m_hot) {
        // The lit frame: a warm ring inside the dark one.
        QPen hotPen(down ? kHotColor.darker(115) : kHotColor, 2);
        p.setPen(hotPen);
        p.drawPath(roundedFrame(outer.adjusted(1.5, 1.5, -1.5, -1.5), 2));
    }
    p.setPen(QPen(enabled ? kFrameColor : QColor(0xC9, 0xC7, 0xBA), 1));
    p.drawPath(roundedFrame(outer, 3));
    p.setRenderHint(QPainter::Antialiasing, false);

    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(3, 3, -3, -3);
        focus.backgroundColor = face;
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, &p, this);
    }

    const QPixmap& glyph = enabled ? m_glyph : m_disabledGlyph;
    const bool hasGlyph = !glyph.isNull();
    const QFontMetrics fm(font());
    const int textWidth = fm.horizontalAdvance(text());
    const int contentWidth = textWidth + (hasGlyph ? kGlyphSize + kGlyphGap : 0);
    const int shift = down ? 1 : 0;
    int x = (width() - contentWidth) / 2 + shift;
    const int centreY = height() / 2 + shift;
    if (hasGlyph) {
        p.drawPixmap(x, centreY - kGlyphSize / 2, kGlyphSize, kGlyphSize, glyph);
        x += kGlyphSize + kGlyphGap;
    }
    p.setPen(enabled ? palette().color(QPalette::ButtonText) : QColor(0xA1, 0xA1, 0x92));
    const QRect textRect(x, 0, textWidth + 1, height() + 2 * shift);
    p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, text());
}

FlatEdit::FlatEdit(QWidget* parent)
    : QLineEdit(parent) {
    setFrame(false);
    setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid #7F9DB9; background: white;"
                                 " padding: 0px 2px; }"
                                 "QLineEdit:focus { border: 1px solid #003C74; }"
                                 "QLineEdit:disabled { background: #F4F4F0; }"));
}

} // namespace quenly::ui
