// The framed, hot-tracking push button and the flat edit box that the windows are built from.
#pragma once

#include <QColor>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>

namespace quenly::ui {

/// Frame of every button: red 0x00, green 0x3C, blue 0x74.
inline const QColor kFrameColor{0x00, 0x3C, 0x74};
/// Face of every button: red 0xF4, green 0xF4, blue 0xF0.
inline const QColor kFaceColor{0xF4, 0xF4, 0xF0};
/// The inner ring drawn while the mouse is over a button.
inline const QColor kHotColor{0xF8, 0xB3, 0x30};

/// A push button with a one-pixel frame, a flat face, an optional 16 x 16 glyph left of its text
/// and hot tracking: the frame lights up while the mouse is over it. Never a default button, so
/// Enter in a dialog does not press it.
class FramedButton : public QPushButton {
    Q_OBJECT
public:
    explicit FramedButton(const QString& text, QWidget* parent = nullptr);

    /// The glyph shown while enabled and the one shown while disabled (both 16 x 16).
    void setGlyph(const QPixmap& normal, const QPixmap& disabled);
    const QPixmap& glyph() const { return m_glyph; }
    const QPixmap& disabledGlyph() const { return m_disabledGlyph; }

    /// Whether the mouse is over the button (the frame is lit).
    bool isHot() const { return m_hot; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QPixmap m_glyph;
    QPixmap m_disabledGlyph;
    bool m_hot = false;
};

/// An edit box without the sunken 3-D border: one thin line around a white field.
class FlatEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit FlatEdit(QWidget* parent = nullptr);
};

} // namespace quenly::ui
