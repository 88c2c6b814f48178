#include "WidgetTests.h"

#include "ScriptedUi.h"
#include "platform/QtUi.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <QDialog>

bool pumpUntil(const std::function<bool()>& done, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

void ensureApplication() {
    ScriptedUi::dialogName = [](QDialog* d) { return d->objectName(); };
    ScriptedUi::setDialogResult = [](QDialog* d, int r) { d->setResult(r); };
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "tests";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(argc, argv);
    plat::useQtUi();
}
