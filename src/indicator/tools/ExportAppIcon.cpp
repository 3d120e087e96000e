// Writes the app mark as the application icon, at the sizes the desktop's
// icon theme asks for: `tavlo-export-icon FOLDER SIZE...` writes
// FOLDER/SIZExSIZE/apps/app.tavlo.Tavlo.png. Run at build time.
#include <QGuiApplication>
#include <QDir>
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "indicator/SorvelIcon.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: tavlo-export-icon FOLDER SIZE...\n");
        return 2;
    }
    // Drawing needs no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0) return 2;
        const QString folder = QString::fromLocal8Bit(argv[1]) + QStringLiteral("/%1x%1/apps").arg(size);
        if (!QDir().mkpath(folder)) return 1;
        const QImage image = tavlo::SorvelIcon::appMark(size, 1);
        if (!image.save(folder + QStringLiteral("/app.tavlo.Tavlo.png"))) return 1;
    }
    return 0;
}
