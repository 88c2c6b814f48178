// Deletes the main program's stored settings for a distributor code and an application title:
//   vordclean [code [title]]
// and says what it did in a message box. It has no window of its own.
#include <QApplication>

#include "platform/QtUi.h"

#include "cleaner/VordClean.h"
#include "platform/UiServices.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    plat::useQtUi();
    const QString code = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString title = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const QString message = cleaner::VordClean(code, title);
    plat::ui().messageBox(message, plat::MB_OK | plat::MB_ICONASTERISK, cleaner::EffectiveTitle(title));
    return 0;
}
