// zvbasic-pictures: draws the program's built-in pictures into a folder
// (data/ of the source tree by default when run through the build target
// `pictures`): help.jpg in English and, with --locale=DIR (the compiled
// catalogues, <build>/bin/locale), help-de.jpg, help-pl.jpg and help-ru.jpg
// with the labels in those languages; with a second folder (packaging/icons/), also the
// programs' icons: zvbasic.svg and zvbasic-48.png, -128.png, -256.png, and
// the same for zvbasic-capview. The
// logo and the switch console are drawn by the program itself at the size of
// its screen (kit/Artwork.cpp).
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <QDir>
#include <QFile>
#include <QGuiApplication>

#include "core/Translate.h"

#include "Draw.h"

int main(int argc, char** argv) {
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    std::string localeDir;
    if (argc > 1 && std::strncmp(argv[1], "--locale=", 9) == 0) {
        localeDir = argv[1] + 9;
        --argc;
        ++argv;
    }
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(dir));
        return 1;
    }
    // English is the catalogues' key language: its picture needs none.
    std::vector<std::string> languages = {"en"};
    if (!localeDir.empty()) {
        Translate::Init(localeDir);
        languages.insert(languages.end(), {"de", "pl", "ru"});
    }
    int rc = 0;
    for (const std::string& code : languages) {
        Translate::SetLanguage(code);
        if (code != "en" && Translate::CurrentLanguage().substr(0, 2) != code) {
            std::fprintf(stderr, "no catalogue for %s in %s\n", code.c_str(), localeDir.c_str());
            rc = 1;
            continue;
        }
        const QImage image = draw::HelpPicture();
        const QString name =
            code == "en" ? QStringLiteral("help.jpg") : QStringLiteral("help-%1.jpg").arg(QString::fromStdString(code));
        const QString path = QDir(dir).filePath(name);
        if (!image.save(path, "JPG", 90)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
            rc = 1;
        } else {
            std::printf("%s %dx%d\n", qPrintable(path), image.width(), image.height());
        }
    }
    if (argc > 2) {
        const QDir icons(QString::fromLocal8Bit(argv[2]));
        if (!QDir().mkpath(icons.path())) {
            std::fprintf(stderr, "cannot create %s\n", qPrintable(icons.path()));
            return 1;
        }
        for (const auto& [icon, name] :
             {std::pair{draw::eIcon::Program, "zvbasic"}, std::pair{draw::eIcon::Viewer, "zvbasic-capview"}}) {
            for (int size : {48, 128, 256}) {
                const QString path = icons.filePath(QStringLiteral("%1-%2.png").arg(QLatin1String(name)).arg(size));
                if (!draw::IconPicture(size, icon).save(path, "PNG")) {
                    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
                    rc = 1;
                } else {
                    std::printf("%s %dx%d\n", qPrintable(path), size, size);
                }
            }
            QFile svg(icons.filePath(QStringLiteral("%1.svg").arg(QLatin1String(name))));
            if (!svg.open(QIODevice::WriteOnly | QIODevice::Truncate) || svg.write(draw::IconSvg(icon)) < 0) {
                std::fprintf(stderr, "cannot write %s\n", qPrintable(svg.fileName()));
                rc = 1;
            } else {
                std::printf("%s\n", qPrintable(svg.fileName()));
            }
        }
    }
    return rc;
}
