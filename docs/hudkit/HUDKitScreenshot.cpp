// Makes the HUD kit's screenshot: every control on a dark panel, drawn offscreen.
//   hudkit_screenshot docs/hudkit.png
#include "HUDKitShowcase.h"

#include <QApplication>

#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <picture.png>\n", argv[0]);
        return 2;
    }
    auto panel = makeHUDKitShowcase();
    if (!pictureOfShowcase(*panel).save(QString::fromLocal8Bit(argv[1]), "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
