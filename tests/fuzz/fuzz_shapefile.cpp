// A world coastline file as the map reads it: the fuzzer's bytes are split into the shapefile and its index
// (the first four bytes give the shapefile's length). Whatever the two files hold, reading must end without
// reading outside them, and every line it keeps has at least two points inside the world.
#include "mapview/BaseMap.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {
void writeFile(const QString& path, const std::uint8_t* data, std::size_t size) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    f.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    if (size < 4)
        return 0;
    std::uint32_t shpLength = 0;
    std::memcpy(&shpLength, data, 4);
    data += 4;
    size -= 4;
    const std::size_t shp = std::min<std::size_t>(shpLength, size);
    writeFile(dir.filePath(QStringLiteral("f.shp")), data, shp);
    writeFile(dir.filePath(QStringLiteral("f.shx")), data + shp, size - shp);
    mapview::BaseMap base;
    if (base.loadShapes(dir.filePath(QStringLiteral("f.shp"))) && base.shapeCount() <= 0)
        std::abort();
    return 0;
}
