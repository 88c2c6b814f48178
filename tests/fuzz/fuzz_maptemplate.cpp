// A map template (.ptt) as the map window opens it. Whatever the file holds, opening ends with an open map
// or a MapError, and an open map's view gives places on the globe and draws its grid in bounded time.
#include "mapview/BaseMap.h"
#include "mapview/MapModel.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// The grid's labels load the system's font configuration once, which keeps its cache to the end of the
// process; that is not a leak of the code under test.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static int argc = 1;
    static char name[] = "fuzz_maptemplate";
    static char* argv[] = {name, nullptr};
    static QGuiApplication* app = [] {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return new QGuiApplication(argc, argv);
    }();
    (void)app;
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.ptt"));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    mapview::MapModel map;
    map.setViewSize(QSize(64, 48));
    try {
        map.OpenMap(path);
    } catch (const mapview::MapError&) {
        if (map.isOpen())
            std::abort();
        return 0;
    }
    const mapview::Location centre = map.XYToLocation(32, 24);
    if (!(std::fabs(centre.Longitude) <= 180.0) || !(std::fabs(centre.Latitude) <= 90.0))
        std::abort();
    mapview::BaseMap base;
    QImage image(map.view().size, QImage::Format_RGB32);
    QPainter p(&image);
    base.draw(p, map.view());
    return 0;
}
