// quenly-icon-export: writes the program icons into an icon theme folder at the sizes the desktop
// asks for (hicolor/NxN/apps/quenly.png and quenly-send.png).
// Usage: quenly-icon-export THEME_FOLDER
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
    const struct {
        const char* name;
        QImage (*draw)(int);
    } icons[] = {{"quenly", quenly::app::drawProgramIcon},
                 {"quenly-send", quenly::app::drawSendIcon}};
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        for (const auto& icon : icons) {
            const QString file =
                theme.filePath(QStringLiteral("%1/%2.png").arg(folder, QLatin1String(icon.name)));
            if (!theme.mkpath(folder) || !icon.draw(size).save(file, "PNG")) {
                std::fprintf(stderr, "quenly-icon-export: cannot write %s\n", qPrintable(file));
                return 1;
            }
        }
    }
    return 0;
}
