#include "DocumentFixtures.h"

#include "core/Settings.h"
#include "documents/frmDMA.h"
#include "documents/frmDocument.h"
#include "platform/WindowRegistry.h"

#include <QCoreApplication>
#include <QEvent>

namespace {
std::string quoted(const std::string& s) {
    return '"' + s + '"';
}
} // namespace

std::string areaFile(const std::vector<FixtureLogger>& loggers) {
    std::string out = "\"Vordalin Logger Database V5.2.9\"\r\n";
    out += "\"Serial No\",\"Grid Ref\",\"Comment 1\",\"Comment 2\",\"Deployed\",\"Received\",";
    for (int g = 0; g < 10; ++g)
        out += "\"Date\",\"Status\",\"Level\",\"Spread\",";
    out += "\"Additional Information\",\r\n";
    for (const FixtureLogger& l : loggers) {
        out += std::to_string(l.serial) + ',' + quoted(l.gridRef) + ',' + quoted(l.comment1) + ',' +
               quoted(l.comment2) + ',' + quoted(l.deployed) + ',' + quoted(l.received) + ',';
        out += quoted(l.date1) + ',' + quoted(l.status1) + ',' + std::to_string(l.level1) + ',' +
               std::to_string(l.spread1) + ',';
        for (int s = 2; s <= 50; ++s)
            out += "\"\",\"\",0,0,";
        out += quoted(l.userComments) + "\r\n";
    }
    return out;
}

DocumentTest::DocumentTest() {
    ensureApplication();
    InitDatabaseStore();
    LoggerCount = 0;
    NewDocumentCounter = 0;
    Address2 = QStringLiteral("0");
    WindowFollowMouse = false;
}

DocumentTest::~DocumentTest() {
    flushDeletes();
}

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void CloseAllWindows(QWidget* keep) {
    for (QWidget* w : plat::windows::loaded()) {
        if (w == keep)
            continue;
        if (auto* d = qobject_cast<frmDMA*>(w))
            d->AskForSave = false;
        if (auto* t = qobject_cast<frmDocument*>(w))
            t->AskForSave = false;
        w->close();
    }
}
