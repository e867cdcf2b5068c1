// Draws the console's pictures into a directory as PNG files; the build runs it and compiles
// the files into the program's resources.
//
//   gen_artwork OUTPUT_DIRECTORY
#include <QDir>
#include <QImage>
#include <QString>

#include <cstdio>

#include "artwork.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gen_artwork OUTPUT_DIRECTORY\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "gen_artwork: cannot create %s\n", argv[1]);
        return 1;
    }
    const QImage digits = artwork::DigitSheet();
    const QImage lamps = artwork::LampSheet();
    const struct {
        const char* name;
        QImage image;
    } outputs[] = {
        {"panel.png", artwork::Panel(digits, lamps)},
        {"digits.png", digits},
        {"lamps.png", lamps},
        {"logo.png", artwork::Logo()},
        {"icon32.png", artwork::Icon(32)},
        {"icon16.png", artwork::Icon(16)},
    };
    for (const auto& out : outputs) {
        const QString path = dir.filePath(QString::fromLatin1(out.name));
        if (!out.image.save(path, "PNG")) {
            std::fprintf(stderr, "gen_artwork: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
