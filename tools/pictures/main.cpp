// zvbasic-pictures: draws the program's built-in pictures into a folder
// (data/ of the source tree by default when run through the build target
// `pictures`): help.jpg. The logo and the switch console are drawn by the
// program itself at the size of its screen (app/Artwork.cpp).
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "Draw.h"

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(dir));
        return 1;
    }
    struct {
        QImage image;
        const char* name;
        const char* format;
        int quality;
    } pictures[] = {
        {draw::HelpPicture(), "help.jpg", "JPG", 90},
    };
    int rc = 0;
    for (auto& pic : pictures) {
        const QString path = QDir(dir).filePath(pic.name);
        if (!pic.image.save(path, pic.format, pic.quality)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            rc = 1;
        } else {
            std::printf("%s %dx%d\n", qPrintable(path), pic.image.width(), pic.image.height());
        }
    }
    return rc;
}
