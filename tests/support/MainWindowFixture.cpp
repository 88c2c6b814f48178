#include "MainWindowFixture.h"

void MainWindowFixture::SetUp() {
    savedClock_ = frmMain::localEpochSeconds;
    main = std::make_unique<frmMain>();
    RegisterProgramWindows(main.get());
    main->show();
}

void MainWindowFixture::TearDown() {
    CloseAllWindows(main.get());
    flushDeletes();
    RegisterProgramWindows(&status);
    main.reset();
    frmMain::localEpochSeconds = savedClock_;
}
