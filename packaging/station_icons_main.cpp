// station-icons FOLDER: writes the station's window icon as FOLDER/<side>x<side>/apps/calidra.png
// for every size the program draws, the layout of the desktop's hicolor icon theme.

#include "shell/station_icon.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>

#include <cstdio>

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: station-icons FOLDER\n");
        return 2;
    }
    const QIcon icon = calidra::stationIcon();
    const QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty()) {
        std::fprintf(stderr, "station-icons: the icon has no sizes\n");
        return 1;
    }
    for (const QSize& size : sizes) {
        const QString folder =
            QStringLiteral("%1/%2x%3/apps").arg(argv[1]).arg(size.width()).arg(size.height());
        const QString path = folder + QStringLiteral("/calidra.png");
        if (!QDir().mkpath(folder) || !icon.pixmap(size).save(path, "PNG")) {
            std::fprintf(stderr, "station-icons: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
