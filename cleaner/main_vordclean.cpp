// Deletes the main program's stored settings for a distributor code and an application title:
//   vordclean [code [title]]
// and says what it did in a message box. It has no window of its own. Exit status 0 when the settings were
// deleted or none were stored, 1 when they could not be deleted, 2 when the name was refused.
#include <QApplication>

#include "platform/QtUi.h"

#include "cleaner/VordClean.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    plat::useQtUi();
    const QString code = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString title = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    return cleaner::RunVordClean(code, title);
}
