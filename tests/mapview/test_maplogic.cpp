// The map's pieces without a window: the product tables, the pushpin registry, the map
// model (projection, pushpins, data sets, view) and the base map (shapefile reading, tile folders).
#include "mapview/BaseMap.h"
#include "mapview/MapModel.h"
#include "mapview/MapProduct.h"
#include "mapview/clsPushpinInfo.h"

#include <shapefil.h>

#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHash>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPainter>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <numbers>
#include <string>
#include <thread>

using namespace mapview;

namespace {

QGuiApplication& app() {
    static int argc = 1;
    static char name[] = "mapview_logic_tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication a(argc, argv);
    return a;
}

TEST(MapProduct, VersionsRegionsTemplatesAndSymbols) {
    EXPECT_EQ(MapVersionCode("13.0"), 1);
    EXPECT_EQ(MapVersionCode("16,0"), 0);
    EXPECT_EQ(MapVersionCode("16.0"), 0);
    EXPECT_EQ(MapVersionCode("17,0"), 2);
    EXPECT_EQ(MapVersionCode("18.0"), 3);
    EXPECT_EQ(MapVersionCode("19.0"), -1);
    EXPECT_EQ(MapVersionCode("18"), -1);
    EXPECT_EQ(MapRegionFromProduct(2), RegionEurope);
    EXPECT_EQ(MapRegionFromProduct(1), RegionNorthAmerica);
    EXPECT_EQ(MapRegionFromProduct(3), -1);
    EXPECT_EQ(MapTemplateName(RegionEurope, 1), "VordalinMapEur2006.ptt");
    EXPECT_EQ(MapTemplateName(RegionNorthAmerica, 3), "VordalinMapNA2011.ptt");
    EXPECT_EQ(MapTemplateName(RegionEurope, 7), "");
    struct Case {
        int version, region, quiet, leak;
    } cases[] = {{1, 0, 292, 287}, {1, 1, 292, 287}, {0, 0, 99, 100},  {0, 1, 111, 112},
                 {2, 0, 399, 400}, {2, 1, 399, 400}, {3, 0, 398, 399}, {3, 1, 398, 399}};
    for (const Case& c : cases) {
        EXPECT_EQ(PushpinSymbolFor(c.version, c.region, 1), c.quiet) << c.version << '/' << c.region;
        EXPECT_EQ(PushpinSymbolFor(c.version, c.region, 0), c.leak) << c.version << '/' << c.region;
    }
    EXPECT_EQ(PushpinSymbolFor(0, 5, 1), 0);
    EXPECT_EQ(PushpinSymbolFor(9, 0, 1), 0);
    EXPECT_EQ(SymbolErrorText(0), 653);
    EXPECT_EQ(SymbolErrorText(2), 659);
    EXPECT_EQ(SymbolErrorText(3), 687);
    EXPECT_EQ(SymbolErrorText(1), 654);
}

class OpenMap : public ::testing::Test {
protected:
    void SetUp() override {
        app();
        QFile f(dir.filePath("t.ptt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Map]\r\nCenterLat=52.0\r\nCenterLon=4.3\r\nZoom=12\r\n");
        f.close();
        map.setViewSize(QSize(800, 600));
        map.OpenMap(dir.filePath("t.ptt"));
    }
    QTemporaryDir dir;
    MapModel map;
};

TEST(PushpinRegistry, KeepsOrderUniqueSerialsAndIdentity) {
    auto a = std::make_shared<Pushpin>(), b = std::make_shared<Pushpin>(), c = std::make_shared<Pushpin>();
    clsPushpinInfo reg;
    EXPECT_TRUE(reg.Add(a, "01000001", "AB 1", "L1,S1"));
    EXPECT_FALSE(reg.Add(b, "01000001", "x", "y"));
    EXPECT_TRUE(reg.Add(b, "01000002", "AB 2", "L2,S2"));
    EXPECT_TRUE(reg.Add(c, "01000003", "AB 3", "L3,S3"));
    EXPECT_EQ(reg.RecordCount(), 3);

    QString serial, loc, ls;
    EXPECT_TRUE(reg.GetDetailsByPushpinObjRef(b.get(), serial, loc, ls));
    EXPECT_EQ(serial, "01000002");
    Pushpin lookalike = *b; // same contents, another object
    EXPECT_FALSE(reg.GetDetailsByPushpinObjRef(&lookalike, serial, loc, ls));

    EXPECT_TRUE(reg.Remove("01000002"));
    EXPECT_FALSE(reg.Remove("01000002"));
    PushpinRef pin;
    reg.GetPushpinDetailsByIndex(1, pin, serial);
    EXPECT_EQ(pin, c);
    EXPECT_EQ(serial, "01000003");
    EXPECT_TRUE(reg.GetDetailsByPushpinObjRef(c.get(), serial, loc, ls)); // found after the shift too

    EXPECT_TRUE(reg.UpdateSerialNumber("01000003", "05000005"));
    EXPECT_FALSE(reg.GetDetailsBySerialNo(pin, "01000003", loc, ls));
    ASSERT_TRUE(reg.GetDetailsBySerialNo(pin, "05000005", loc, ls));
    EXPECT_EQ(pin, c);
    EXPECT_EQ(loc, "AB 3");
    EXPECT_TRUE(reg.UpdateLocNumForSerial("05000005", "CD 9"));
    reg.GetDetailsBySerialNo(pin, "05000005", loc, ls);
    EXPECT_EQ(loc, "CD 9");

    try {
        reg.GetPushpinDetailsByIndex(5, pin, serial);
        FAIL() << "no error";
    } catch (const MapError& e) {
        EXPECT_EQ(e.description, "In \"GetDetailsByIndex\" index > numRecs.");
    }
    EXPECT_THROW(reg.GetPushpinDetailsByIndex(2, pin, serial), MapError);
    EXPECT_THROW(reg.GetPushpinDetailsByIndex(-1, pin, serial), MapError);

    reg.Reset();
    EXPECT_EQ(reg.RecordCount(), 0);
    EXPECT_TRUE(reg.Add(a, "01000001", "", ""));
    EXPECT_TRUE(reg.Remove("01000001"));
    EXPECT_EQ(reg.RecordCount(), 0);
    EXPECT_TRUE(reg.Add(a, "01000009", "", ""));
}

TEST(Mercator, PointsAndPixelsAreInverse) {
    for (double lat : {-80.0, -33.9, 0.0, 51.5, 70.1})
        for (double lon : {-179.0, -0.12, 0.0, 4.3, 151.2}) {
            const Location back = mercator::toLocation(mercator::toWorld(lat, lon));
            EXPECT_NEAR(back.Latitude, lat, 1e-9);
            EXPECT_NEAR(back.Longitude, lon, 1e-9);
        }
    EXPECT_NEAR(mercator::toWorld(89.9, 0).y(), mercator::toWorld(mercator::kMaxLatitude, 0).y(), 1e-12);
}

TEST_F(OpenMap, ViewPixelsRoundTripAndPanZoomMoveTheView) {
    const Location at{52.01, 4.31};
    const QPointF xy = map.locationToXY(at);
    const Location back = map.XYToLocation(xy.x(), xy.y());
    EXPECT_NEAR(back.Latitude, at.Latitude, 1e-9);
    EXPECT_NEAR(back.Longitude, at.Longitude, 1e-9);
    const Location centre = map.XYToLocation(400, 300);
    EXPECT_NEAR(centre.Latitude, 52.0, 1e-9);
    EXPECT_NEAR(centre.Longitude, 4.3, 1e-9);

    map.Pan(8, 0);
    EXPECT_GT(map.XYToLocation(400, 300).Latitude, 52.0);
    map.Pan(2, 0);
    map.Pan(6, 0);
    EXPECT_GT(map.XYToLocation(400, 300).Longitude, 4.3);
    const double before = map.view().zoom;
    map.ZoomIn();
    EXPECT_EQ(map.view().zoom, before + 1);
    for (int i = 0; i < 40; ++i)
        map.ZoomOut();
    EXPECT_EQ(map.view().zoom, MapModel::kMinZoom);

    EXPECT_THROW(map.GetLocation(90.5, 0, 0), MapError);
    EXPECT_THROW(map.GetLocation(0, -180.5, 0), MapError);
    EXPECT_THROW(map.GetLocation(NAN, 0, 0), MapError);
    EXPECT_NO_THROW(map.GetLocation(-90, 180, 0));
}

TEST_F(OpenMap, PushpinsKeepIdentityAndDeletedOnesAnswerEmpty) {
    PushpinRef a = map.AddPushpin({52.0, 4.3}, "01000001");
    PushpinRef b = map.AddPushpin({52.001, 4.301}, "01000001 L1,S1");
    EXPECT_EQ(map.FindPushpin("01000001"), a);
    EXPECT_EQ(map.FindPushpin("0100000"), nullptr);
    Pushpin* seenNow = nullptr;
    int notes = 0;
    map.onSelectionChange = [&](Pushpin* now, Pushpin*) {
        seenNow = now;
        ++notes;
    };
    b->Select();
    EXPECT_EQ(seenNow, b.get());
    EXPECT_EQ(map.SelectionTypeName(), "Pushpin");
    b->Delete();
    EXPECT_EQ(b->Name(), "");
    b->setName("again");
    b->setBalloonState(2);
    EXPECT_EQ(b->Name(), "");
    EXPECT_EQ(map.pushpins().size(), 1u);
    EXPECT_EQ(map.selection(), nullptr);
    EXPECT_EQ(notes, 1); // the deletion itself raises no selection notification
    const QPointF tip = map.locationToXY(a->location());
    EXPECT_EQ(map.pushpinAt(tip - QPointF(0, 10)), a);
    EXPECT_EQ(map.pushpinAt(tip + QPointF(40, 0)), nullptr);
    map.dragTo(a, map.view().toWorld(tip + QPointF(100, 0)));
    EXPECT_TRUE(a->moved());
    EXPECT_GT(a->location().Longitude, 4.3);
}

TEST_F(OpenMap, DataSetsDeleteTheirPinsAndZoomFitsThem) {
    EXPECT_EQ(map.DataSetCount(), 1);
    PushpinRef far = map.AddPushpin({48.0, 2.0}, "a");
    PushpinRef near = map.AddPushpin({52.0, 4.0}, "b");
    PushpinRef stay = map.AddPushpin({53.0, 6.0}, "c");
    DataSetRef set = map.AddPushpinSet("NewDataSet");
    far->MoveTo(*set);
    near->MoveTo(*set);
    EXPECT_EQ(map.DataSetCount(), 2);
    EXPECT_EQ(map.DataSetItem(2)->Name(), "NewDataSet");
    EXPECT_EQ(map.DataSetItem(3), nullptr);
    set->ZoomTo();
    for (const PushpinRef& p : {far, near}) {
        const QPointF xy = map.locationToXY(p->location());
        EXPECT_TRUE(QRectF(0, 0, 800, 600).contains(xy));
    }
    map.DataSetItem(1)->Delete();
    EXPECT_EQ(map.DataSetCount(), 1);
    EXPECT_EQ(stay->Name(), "");
    set->Delete();
    EXPECT_EQ(map.DataSetCount(), 0);
    EXPECT_TRUE(map.pushpins().empty());
    EXPECT_THROW(MapModel().AddPushpin({0, 0}, "x"), MapError); // no map open
}

// A pushpin's balloon stays inside the map, wherever the pushpin stands, and leaves its head uncovered: a
// balloon cut by the map's edge hides the name of the logger the user has just selected.
TEST(PushpinBalloons, StayInsideTheMapAndClearOfTheHead) {
    const QRectF area(0, 0, 400, 300);
    const QSizeF size(80, 20);
    const struct {
        QPointF tip;
        bool right; // of the head, else left of it
        bool above; // the head, else below the point
    } cases[] = {
        {{200, 150}, true, true},  {{380, 150}, false, true}, // at the side panel
        {{200, 30}, true, false},                             // at the top
        {{390, 10}, false, false},                            // in the corner
        {{40, 150}, true, true},   {{200, 299}, true, true},  // at the left edge, on the bottom edge
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tip.x() << ',' << c.tip.y());
        const QRectF box = BalloonBox(c.tip, size, area);
        EXPECT_EQ(box.size(), size);
        EXPECT_TRUE(area.contains(box)) << box.x() << ',' << box.y();
        const QRectF head(c.tip.x() - 8, c.tip.y() - 24, 16, 16);
        EXPECT_TRUE(c.right ? box.left() > head.right() : box.right() < head.left()) << box.x();
        EXPECT_TRUE(c.above ? box.bottom() < head.bottom() : box.top() > c.tip.y()) << box.y();
    }
    // Wider than the map: its start shows.
    EXPECT_EQ(BalloonBox(QPointF(200, 150), QSizeF(500, 20), area).left(), area.left());
}

TEST(MapTemplate, MissingOrBrokenFilesAreRefused) {
    app();
    QTemporaryDir dir;
    MapModel map;
    EXPECT_THROW(map.OpenMap(dir.filePath("none.ptt")), MapError);
    QFile f(dir.filePath("bad.ptt"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Map]\nCenterLat=north\n");
    f.close();
    EXPECT_THROW(map.OpenMap(dir.filePath("bad.ptt")), MapError);
    EXPECT_FALSE(map.isOpen());
}

TEST(MapTemplate, ACentreAnyDistanceRoundTheWorldIsTheSamePlaceAndANonNumberIsRefused) {
    app();
    QTemporaryDir dir;
    struct Case {
        const char* lon;
        bool opens;
        double expected; // longitude at the centre of the view
    } cases[] = {{"1e300", true, 0}, {"-1e300", true, 0}, {"540", true, 180}, {"-725.5", true, -5.5},
                 {"inf", false, 0},  {"-inf", false, 0},  {"nan", false, 0}};
    for (const Case& c : cases) {
        QFile f(dir.filePath("t.ptt"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray("[Map]\nCenterLat=52\nZoom=4\nCenterLon=") + c.lon + "\n");
        f.close();
        MapModel map;
        map.setViewSize(QSize(400, 300));
        if (!c.opens) {
            EXPECT_THROW(map.OpenMap(f.fileName()), MapError) << c.lon;
            continue;
        }
        map.OpenMap(f.fileName());
        const Location centre = map.XYToLocation(200, 150);
        EXPECT_LE(std::fabs(centre.Longitude), 180.0) << c.lon;
        if (c.expected != 0) {
            EXPECT_NEAR(std::fabs(centre.Longitude), std::fabs(c.expected), 1e-6) << c.lon;
        }
        // The grid under an empty map is drawn from the same longitudes.
        BaseMap base;
        QImage image(map.view().size, QImage::Format_RGB32);
        QPainter p(&image);
        base.draw(p, map.view());
    }
    // Far outside the world, a point's longitude comes back at once.
    EXPECT_FALSE(std::fabs(mercator::toLocation(QPointF(1e300, 0.5)).Longitude) > 180.0);
    EXPECT_TRUE(std::isnan(mercator::toLocation(QPointF(INFINITY, 0.5)).Longitude));
}

// A two-line shapefile written with shapelib itself.
QString writeShapes(const QString& folder) {
    const QByteArray base = QFile::encodeName(folder + "/lines");
    SHPHandle h = SHPCreate(base.constData(), SHPT_ARC);
    double x1[] = {-10, 0, 10}, y1[] = {50, 52, 50};
    double x2[] = {4.0, 4.5}, y2[] = {51.0, 52.5};
    for (auto [xs, ys, n] : {std::tuple{x1, y1, 3}, std::tuple{x2, y2, 2}}) {
        SHPObject* o = SHPCreateSimpleObject(SHPT_ARC, n, xs, ys, nullptr);
        SHPWriteObject(h, -1, o);
        SHPDestroyObject(o);
    }
    SHPClose(h);
    return folder + "/lines.shp";
}

TEST(BaseMapShapes, ReadsLinesAndDrawsThemWhereTheyLie) {
    app();
    QTemporaryDir dir;
    BaseMap base;
    EXPECT_FALSE(base.loadShapes(dir.filePath("missing.shp")));
    QFile junk(dir.filePath("junk.shp"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write(QByteArray(300, '\x7f'));
    junk.close();
    EXPECT_FALSE(base.loadShapes(dir.filePath("junk.shp")));
    ASSERT_TRUE(base.loadShapes(writeShapes(dir.path())));
    EXPECT_EQ(base.shapeCount(), 2);

    MapView view;
    view.centre = mercator::toWorld(51.0, 4.0);
    view.zoom = 6;
    view.size = QSize(400, 300);
    QImage image(view.size, QImage::Format_ARGB32);
    QPainter p(&image);
    base.draw(p, view);
    p.end();
    const QColor sea = image.pixelColor(5, 5);
    // A fifth of the way along the second line, clear of the grid's lines: a pixel there is not sea.
    const QPointF from = view.toScreen(mercator::toWorld(51.0, 4.0));
    const QPointF on = from + 0.2 * (view.toScreen(mercator::toWorld(52.5, 4.5)) - from);
    bool lineSeen = false;
    for (int dx = -2; dx <= 2; ++dx)
        lineSeen |= image.pixelColor(int(on.x()) + dx, int(on.y())) != sea;
    EXPECT_TRUE(lineSeen);
}

TEST(BaseMapShapes, EveryZoomShowsTheGridAndAScaleBarOfTrueLength) {
    app();
    QTemporaryDir dir;
    BaseMap base;
    ASSERT_TRUE(base.loadShapes(writeShapes(dir.path())));
    // A town far from both lines of the file: from the world down to street level.
    for (double zoom : {3.0, 8.0, 12.0, 15.5, 19.0}) {
        MapView view;
        view.centre = mercator::toWorld(53.5, 6.0);
        view.zoom = zoom;
        view.size = QSize(640, 480);
        QImage image(view.size, QImage::Format_RGB32);
        QPainter p(&image);
        base.draw(p, view);
        p.end();
        // Grid lines of longitude: columns that differ from the sea from top to bottom.
        QHash<QRgb, int> counts; // the sea is the commonest colour
        for (int y = 0; y < view.size.height(); ++y)
            for (int x = 0; x < view.size.width(); ++x)
                ++counts[image.pixel(x, y)];
        const QColor sea =
            QColor::fromRgb(std::max_element(counts.keyValueBegin(), counts.keyValueEnd(), [](auto a, auto b) {
                                return a.second < b.second;
                            })->first);
        int gridColumns = 0;
        for (int x = 0; x < view.size.width(); ++x) {
            int other = 0;
            for (int y = 0; y < view.size.height(); ++y)
                other += image.pixelColor(x, y) != sea;
            gridColumns += other > view.size.height() * 8 / 10;
        }
        EXPECT_GE(gridColumns, 2) << "zoom " << zoom;

        const ScaleBar bar = ScaleBarFor(view, 160);
        const double mantissa = bar.metres / std::pow(10.0, std::floor(std::log10(bar.metres)));
        EXPECT_TRUE(std::fabs(mantissa - 1) < 1e-9 || std::fabs(mantissa - 2) < 1e-9 || std::fabs(mantissa - 5) < 1e-9)
            << bar.metres;
        EXPECT_LE(bar.pixels, 160.0);
        EXPECT_GT(bar.pixels, 160.0 / 2.5);
        // The bar's length on the ground, measured along the parallel through the centre of the view.
        const QPointF mid(view.size.width() / 2.0, view.size.height() / 2.0);
        const Location a = mercator::toLocation(view.toWorld(mid - QPointF(bar.pixels / 2, 0)));
        const Location b = mercator::toLocation(view.toWorld(mid + QPointF(bar.pixels / 2, 0)));
        const double ground =
            6378137.0 * std::cos(53.5 * std::numbers::pi / 180) * (b.Longitude - a.Longitude) * std::numbers::pi / 180;
        EXPECT_NEAR(ground, bar.metres, bar.metres * 1e-3) << "zoom " << zoom;
        EXPECT_TRUE(bar.label == QString::number(bar.metres, 'g', 6) + " m" ||
                    bar.label == QString::number(bar.metres / 1000, 'g', 6) + " km")
            << bar.label.toStdString();
        // The bar is drawn, in black, in the lower left corner.
        int black = 0;
        for (int y = view.size.height() - 80; y < view.size.height(); ++y)
            for (int x = 0; x < 240; ++x)
                black += image.pixelColor(x, y) == QColor(Qt::black);
        EXPECT_GT(black, bar.pixels) << "zoom " << zoom;
    }
}

TEST(BaseMapShapes, SystemWorldCoastlinesLoadWhenInstalled) {
    const QString path = BaseMap::findSystemCoastlines();
    if (path.isEmpty())
        GTEST_SKIP() << "no world coastline file installed";
    BaseMap base;
    ASSERT_TRUE(base.loadShapes(path));
    EXPECT_GT(base.shapeCount(), 400);
}

TEST(BaseMapTiles, TilesFromAFolderCoverTheViewAndMissingOnesLeaveTheBackground) {
    app();
    QTemporaryDir dir;
    MapView view;
    view.centre = mercator::toWorld(52.0, 4.3);
    view.zoom = 10;
    view.size = QSize(512, 384);
    const int n = 1 << 10;
    const int tx = int(view.centre.x() * n), ty = int(view.centre.y() * n);
    QDir().mkpath(dir.filePath(QStringLiteral("10/%1").arg(tx)));
    QImage tile(256, 256, QImage::Format_RGB32);
    tile.fill(QColor(200, 60, 200));
    ASSERT_TRUE(tile.save(dir.filePath(QStringLiteral("10/%1/%2.png").arg(tx).arg(ty))));

    BaseMap base;
    base.setTileSource(dir.path());
    QImage image(view.size, QImage::Format_RGB32);
    QPainter p(&image);
    base.draw(p, view);
    p.end();
    EXPECT_EQ(image.pixelColor(256, 192), QColor(200, 60, 200));
    // The view is two tiles wide, so a neighbour of the centre's tile shows beside it, on the left or on the
    // right; that tile is missing: the background shows in the middle of its visible part.
    const double left = view.toScreen(QPointF(double(tx) / n, view.centre.y())).x();
    const double right = view.toScreen(QPointF(double(tx + 1) / n, view.centre.y())).x();
    const int missingX = left > view.size.width() - right ? int(left / 2) : int((right + view.size.width()) / 2);
    ASSERT_TRUE(missingX >= 0 && missingX < view.size.width() && (missingX < left || missingX > right))
        << left << " " << right;
    EXPECT_NE(image.pixelColor(missingX, 192), QColor(200, 60, 200)) << missingX;
}

// Tiles bigger than a tile, from a folder or from a server: a small file that would unpack into a huge
// picture, and a reply that goes on after its picture, are left out; the background shows in their place.
TEST(BaseMapTiles, TilesThatWouldTakeUnboundedMemoryAreLeftOut) {
    app();
    QTemporaryDir dir;
    MapView view;
    view.centre = mercator::toWorld(52.0, 4.3);
    view.zoom = 10;
    view.size = QSize(512, 384);
    const int n = 1 << 10;
    const int tx = int(view.centre.x() * n), ty = int(view.centre.y() * n);
    const QColor tileColour(200, 60, 200);
    // The tiles the view covers, each asked for once.
    const QPointF tl = view.toWorld(QPointF(0, 0)), br = view.toWorld(QPointF(512, 384));
    const int tiles = (int(br.x() * n) - int(tl.x() * n) + 1) * (int(br.y() * n) - int(tl.y() * n) + 1);
    auto png = [&](int side) {
        QImage tile(side, side, QImage::Format_RGB32);
        tile.fill(tileColour);
        QByteArray bytes;
        QBuffer out(&bytes);
        out.open(QIODevice::WriteOnly);
        tile.save(&out, "PNG");
        return bytes;
    };
    auto centrePixel = [&](BaseMap& base) {
        QImage image(view.size, QImage::Format_RGB32);
        QPainter p(&image);
        base.draw(p, view);
        p.end();
        return image.pixelColor(256, 192);
    };

    // Served over HTTP from here: /<name>/10/x/y.png answers with the bytes kept under that name.
    QHash<QByteArray, QByteArray> served;
    served["small"] = png(256);
    served["huge"] = png(2048);
    served["long"] = png(256) + QByteArray(3 * 1024 * 1024, '\0');
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = server.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, s, [s, &served] {
            const QByteArray request = s->readAll();
            if (s->property("answered").toBool())
                return;
            s->setProperty("answered", true);
            const QByteArray name = request.mid(5, request.indexOf('/', 5) - 5);
            const QByteArray body = served.value(name);
            s->write("HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\nContent-Length: " +
                     QByteArray::number(body.size()) + "\r\n\r\n" + body);
            s->disconnectFromHost();
        });
    });

    struct Case {
        const char* name;
        bool shown;
    } cases[] = {{"small", true}, {"huge", false}, {"long", false}};
    for (const Case& c : cases) {
        // From a folder.
        const QString folder = dir.filePath(c.name);
        QDir().mkpath(folder + QStringLiteral("/10/%1").arg(tx));
        QFile file(folder + QStringLiteral("/10/%1/%2.png").arg(tx).arg(ty));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(served[c.name]);
        file.close();
        BaseMap local;
        local.setTileSource(folder);
        EXPECT_EQ(centrePixel(local) == tileColour, c.shown) << "folder " << c.name;

        // From the server: the first draw asks for the tiles, the next one shows what came.
        BaseMap web;
        web.setTileSource(
            QStringLiteral("http://127.0.0.1:%1/%2/{z}/{x}/{y}.png").arg(server.serverPort()).arg(c.name));
        centrePixel(web);
        auto* network = web.findChild<QNetworkAccessManager*>();
        ASSERT_NE(network, nullptr);
        int done = 0;
        QObject::connect(network, &QNetworkAccessManager::finished, [&done] { ++done; });
        QElapsedTimer waited;
        waited.start();
        while (done < tiles && waited.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        ASSERT_EQ(done, tiles) << c.name;
        EXPECT_EQ(centrePixel(web) == tileColour, c.shown) << "server " << c.name;
    }
}

// An HTTP server on 127.0.0.1, in a thread of its own, that answers every request with a body that does not
// end: no length, 64 KB at a time for as long as the client takes it, up to kCap bytes a connection.
class EndlessTileServer {
public:
    static constexpr qint64 kCap = 256LL * 1024 * 1024;
    EndlessTileServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener_, 8) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
            return;
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~EndlessTileServer() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        if (listener_ >= 0)
            ::close(listener_);
    }
    int port() const { return port_; }
    // The bytes of body sent so far, all connections together.
    qint64 sent() const { return sent_; }

private:
    // Waits for the socket to be ready for events, a tenth of a second at a time, until the test ends.
    bool ready(int fd, short events) {
        pollfd p{fd, events, 0};
        while (!stop_) {
            const int n = ::poll(&p, 1, 100);
            if (n > 0)
                return true;
            if (n < 0)
                return false;
        }
        return false;
    }
    void serve() {
        while (ready(listener_, POLLIN)) {
            const int fd = ::accept(listener_, nullptr, nullptr);
            if (fd < 0)
                continue;
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos && ready(fd, POLLIN)) {
                const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0)
                    break;
                request.append(buffer, static_cast<size_t>(n));
            }
            const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: image/png\r\nConnection: close\r\n\r\n";
            ::send(fd, head.data(), head.size(), MSG_NOSIGNAL);
            const std::string chunk(64 * 1024, 'x');
            qint64 sent = 0;
            while (sent < kCap && ready(fd, POLLOUT)) {
                const ssize_t n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                    break;
                if (n > 0) {
                    sent += n;
                    sent_ += n;
                }
            }
            ::close(fd);
        }
    }
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<qint64> sent_{0};
    std::thread thread_;
};

// A tile server whose reply never ends: the map keeps no more of it than a tile may take while it comes in,
// and gives it up itself (the reply is aborted, not timed out), leaving the background in the tile's place.
TEST(BaseMapTiles, AReplyThatNeverEndsIsGivenUpWithinTheTileLimit) {
    app();
    EndlessTileServer server;
    ASSERT_NE(server.port(), 0);
    MapView view;
    view.zoom = 10;
    const int n = 1 << 10;
    view.centre = QPointF((300 + 0.5) / n, (400 + 0.5) / n); // the middle of one tile
    view.size = QSize(64, 64);                               // and nothing of the next
    BaseMap web;
    web.setTileSource(QStringLiteral("http://127.0.0.1:%1/{z}/{x}/{y}.png").arg(server.port()));
    QImage image(view.size, QImage::Format_RGB32);
    auto draw = [&] {
        QPainter p(&image);
        web.draw(p, view);
    };
    draw();
    auto* network = web.findChild<QNetworkAccessManager*>();
    ASSERT_NE(network, nullptr);
    const QList<QNetworkReply*> replies = network->findChildren<QNetworkReply*>();
    ASSERT_EQ(replies.size(), 1);
    QNetworkReply* reply = replies.front();
    // What the reply holds for the map to read is bounded, whatever the server sends.
    EXPECT_GT(reply->readBufferSize(), 0);
    EXPECT_LE(reply->readBufferSize(), 2 * BaseMap::kMaxTileBytes);
    // What the reply holds after the map has dealt with each piece that came in.
    qint64 mostHeld = 0;
    QObject::connect(reply, &QNetworkReply::readyRead, reply,
                     [&mostHeld, reply] { mostHeld = std::max(mostHeld, reply->bytesAvailable()); });
    QNetworkReply::NetworkError outcome = QNetworkReply::NoError;
    bool done = false;
    QObject::connect(network, &QNetworkAccessManager::finished, [&](QNetworkReply* r) {
        outcome = r->error();
        done = true;
    });
    QElapsedTimer waited;
    waited.start();
    while (!done && waited.elapsed() < 60000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ASSERT_TRUE(done);
    EXPECT_EQ(outcome, QNetworkReply::OperationCanceledError);
    EXPECT_LE(mostHeld, 2 * BaseMap::kMaxTileBytes);
    EXPECT_LT(server.sent(), EndlessTileServer::kCap);
    image.fill(Qt::white);
    draw();
    EXPECT_NE(image.pixelColor(32, 32), QColor(Qt::white)); // the background, drawn without the tile
}

// A view over more tiles than the cache may hold keeps the bytes of the decoded tiles within its bound.
TEST(BaseMapTiles, TheTileCacheIsBoundedByBytes) {
    app();
    QTemporaryDir dir;
    MapView view;
    view.zoom = 5;
    view.centre = QPointF(0.5, 0.5);
    view.size = QSize(2560, 2560); // eleven by eleven tiles of the world's thirty-two
    QImage tile(BaseMap::kMaxTileSide, BaseMap::kMaxTileSide, QImage::Format_RGB32);
    tile.fill(QColor(40, 160, 90));
    QByteArray png;
    QBuffer out(&png);
    out.open(QIODevice::WriteOnly);
    tile.save(&out, "PNG");
    for (int x = 0; x < 32; ++x) {
        QDir().mkpath(dir.filePath(QStringLiteral("5/%1").arg(x)));
        for (int y = 0; y < 32; ++y) {
            QFile f(dir.filePath(QStringLiteral("5/%1/%2.png").arg(x).arg(y)));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(png);
        }
    }
    BaseMap base;
    base.setTileSource(dir.path());
    QImage image(view.size, QImage::Format_RGB32);
    QPainter p(&image);
    base.draw(p, view);
    p.end();
    EXPECT_EQ(image.pixelColor(1280, 1280), QColor(40, 160, 90));
    EXPECT_GT(base.cachedTileBytes(), 32 * tile.sizeInBytes());
    EXPECT_LE(base.cachedTileBytes(), BaseMap::kTileCacheBytes);
}

} // namespace
