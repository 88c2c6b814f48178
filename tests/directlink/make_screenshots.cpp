// Renders the direct-link windows, filled from the simulated logger, into PNG files for the documentation:
//   directlink_screenshots <folder>
#include "TestEnv.h"
#include "directlink/Com32.h"
#include "directlink/SarnicComms.h"
#include "directlink/frmSarnicGraph.h"
#include "directlink/frmSarnicRead.h"
#include "directlink/frmSarnicSetup.h"
#include "remoteunit/PtyPair.h"
#include "sarnicsim/SarnicSimulator.h"

#include <QApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    TestEnv env;
    PtyPair pty;
    pty.mapToPort(0);
    SarnicSimulator sim(pty.masterFd());
    if (!directlink::LinkConnect(1)) {
        std::fprintf(stderr, "no link\n");
        return 1;
    }
    auto save = [&](QWidget& w, const char* name) {
        w.show();
        QApplication::processEvents();
        w.grab().save(folder + u'/' + QLatin1String(name));
    };
    frmSarnicSetup setup;
    setup.RefreshLinkStatus();
    save(setup, "sarnic-setup.png");
    frmSarnicRead read;
    read.Form_Load();
    save(read, "sarnic-read.png");
    frmSarnicGraph graph;
    graph.Form_Load();
    save(graph, "sarnic-histogram.png");
    directlink::COMM_CLOSE();
    return 0;
}
