// The map view at the size of a full logger list: placing 7000 pushpins, drawing a frame over the world
// coastlines, and redrawing after a pan and after a zoom.
#include "mapview/BaseMap.h"
#include "mapview/MapModel.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <cmath>

using namespace mapview;

namespace {

QGuiApplication& app() {
    static int argc = 1;
    static char name[] = "bench_mapview";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication a(argc, argv);
    return a;
}

struct Scene {
    QTemporaryDir dir;
    MapModel map;
    BaseMap base;
    Scene() {
        app();
        QFile f(dir.filePath("t.ptt"));
        f.open(QIODevice::WriteOnly);
        f.write("[Map]\nCenterLat=52.0\nCenterLon=4.3\nZoom=13\n");
        f.close();
        map.setViewSize(QSize(1280, 900));
        map.OpenMap(dir.filePath("t.ptt"));
        const QString coast = BaseMap::findSystemCoastlines();
        if (!coast.isEmpty())
            base.loadShapes(coast);
    }
    void place(int count) {
        for (int i = 0; i < count; ++i) {
            const PushpinRef p = map.AddPushpin({52.0 + 0.0004 * (i % 84) - 0.017, 4.3 + 0.0006 * (i / 84) - 0.025},
                                                QStringLiteral("0%1 L40,S25").arg(1000001 + i));
            p->setSymbol(i % 5 == 0 ? 399 : 398);
        }
    }
};

void BM_PlaceAndDrawFirstFrame(benchmark::State& state) {
    for (auto _ : state) {
        Scene scene;
        scene.place(7000);
        DataSetRef set = scene.map.AddPushpinSet("NewDataSet");
        for (const PushpinRef& p : scene.map.pushpins())
            p->MoveTo(*set);
        set->ZoomTo();
        QImage frame(scene.map.view().size, QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&frame);
        scene.map.render(painter, &scene.base);
        benchmark::DoNotOptimize(frame.bits());
    }
}
BENCHMARK(BM_PlaceAndDrawFirstFrame)->Unit(benchmark::kMillisecond);

void BM_RedrawAfterPanAndZoom(benchmark::State& state) {
    Scene scene;
    scene.place(7000);
    scene.map.setZoom(15);
    QImage frame(scene.map.view().size, QImage::Format_ARGB32_Premultiplied);
    int step = 0;
    for (auto _ : state) {
        if (step++ % 2)
            scene.map.Pan(6, 0);
        else
            scene.map.zoomAbout(QPointF(640, 450), (step % 4 == 0) ? 0.5 : -0.5);
        QPainter painter(&frame);
        scene.map.render(painter, &scene.base);
        painter.end();
        benchmark::DoNotOptimize(frame.bits());
    }
}
BENCHMARK(BM_RedrawAfterPanAndZoom)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
