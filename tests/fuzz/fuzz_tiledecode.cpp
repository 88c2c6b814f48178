// A map tile as a tile server or a tile folder hands it over. Whatever the bytes claim, decoding must end
// without reading outside them and give either nothing or a picture no bigger than a tile may be.
#include "mapview/BaseMap.h"

#include <QByteArray>
#include <QCoreApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Image format plug-ins are found through the application.
    static int argc = 1;
    static char name[] = "fuzz_tiledecode";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    const QImage image =
        mapview::BaseMap::decodeTile(QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (!image.isNull() &&
        (image.width() > mapview::BaseMap::kMaxTileSide || image.height() > mapview::BaseMap::kMaxTileSide))
        std::abort();
    return 0;
}
