// quenly-icon-export: writes the program icon into an icon theme folder at the sizes the desktop
// asks for (hicolor/NxN/apps/quenly.png). Usage: quenly-icon-export THEME_FOLDER
#include "glyphs.h"

#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: quenly-icon-export THEME_FOLDER\n", stderr);
        return 2;
    }
    const QDir theme(QString::fromLocal8Bit(argv[1]));
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString file = theme.filePath(folder + QStringLiteral("/quenly.png"));
        if (!theme.mkpath(folder) || !quenly::app::drawProgramIcon(size).save(file, "PNG")) {
            std::fprintf(stderr, "quenly-icon-export: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
