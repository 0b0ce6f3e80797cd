// Renders the program's icon into an icon-theme tree (SIZExSIZE/apps/brindle.png) for
// installation, so that the desktop's menu shows the same picture as the program's windows.
#include <QDir>
#include <QGuiApplication>

#include <cstdio>

#include "platform/qt/ProgramIcon.h"

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s THEME_DIRECTORY\n", argv[0]);
        return 2;
    }
    const QDir theme(QString::fromLocal8Bit(argv[1]));
    for (const int size : brindle::kProgramIconSizes) {
        const QString apps = QString("%1x%1/apps").arg(size);
        if (!theme.mkpath(apps) ||
            !brindle::ProgramIconImage(size).save(theme.filePath(apps + "/brindle.png"), "PNG")) {
            std::fprintf(stderr, "cannot write the %dx%d icon\n", size, size);
            return 1;
        }
    }
    return 0;
}
