// vendrask-icon: renders the program's image with the painter code of the buttons into the
// hicolor theme's PNG sizes, DIR/NxN/apps/vendrask.png, for the package's desktop entry.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdio>

#include "host/widgets/icons.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Aufruf: vendrask-icon ZIELVERZEICHNIS\n", stderr);
        return 2;
    }
    const QString target = QString::fromLocal8Bit(argv[1]);
    for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString dir = QStringLiteral("%1/%2x%2/apps").arg(target).arg(size);
        if (!QDir().mkpath(dir)) {
            std::fprintf(stderr, "vendrask-icon: Das Verzeichnis „%s“ lässt sich nicht anlegen.\n",
                         qPrintable(dir));
            return 1;
        }
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            tavik::icons::PaintProgram(painter, size);
        }
        const QString file = dir + QStringLiteral("/vendrask.png");
        if (!image.save(file, "PNG")) {
            std::fprintf(stderr, "vendrask-icon: „%s“ lässt sich nicht schreiben.\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
