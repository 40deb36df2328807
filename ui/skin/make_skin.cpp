// Writes the skin bitmap: make_skin [path], "HP49.BMP" by default. A 24-bit
// BMP, as the program and any bitmap viewer read it.
#include <QGuiApplication>
#include <cstdio>

#include "ui/skin/skin_painter.h"

int main(int argc, char** argv)
{
    // Text needs the font database, and so an application object; the
    // offscreen platform needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("HP49.BMP");
    const QImage skin = pelrin::DrawSkin().convertToFormat(QImage::Format_RGB888);
    if (!skin.save(path, "BMP")) {
        std::fprintf(stderr, "make_skin: cannot write %s\n", qPrintable(path));
        return 1;
    }
    return 0;
}
