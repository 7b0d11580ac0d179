// The program icons and the button glyphs, drawn in code so the program ships no image files.
#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>

namespace quenly::app {

/// The program icon: one 48 x 48 image of a pay slip with its cutting line.
QPixmap programIconImage();
/// The same drawing at `size` x `size` pixels, for the icon theme's sizes; needs no application
/// object.
QImage drawProgramIcon(int size);
QIcon programIcon();

/// The icon of the sending window (quenly-send): a pay slip going into an envelope, drawn at
/// `size` x `size` pixels like the program icon.
QImage drawSendIcon(int size);
QIcon sendIcon();

/// A button glyph: the image shown while the button is enabled and the one shown while it is
/// disabled, both 16 x 16.
struct Glyph {
    QPixmap normal;
    QPixmap disabled;
};

/// An open folder, for the browse button.
Glyph browseGlyph();
/// A table with an arrow, for the export button.
Glyph exportGlyph();
/// A red cross, for the close button.
Glyph closeGlyph();

/// The grey, faded form of `image` shown on a disabled button.
QPixmap disabledForm(const QPixmap& image);

} // namespace quenly::app
