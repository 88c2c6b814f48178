#include "MainWindowFixture.h"

void MainWindowFixture::SetUp() {
    savedClock_ = frmMain::localEpochSeconds;
    main = std::make_unique<frmMain>();
    registered_.emplace(main.get());
    main->show();
}

void MainWindowFixture::TearDown() {
    CloseAllWindows(main.get());
    flushDeletes();
    registered_.reset();
    main.reset();
    frmMain::localEpochSeconds = savedClock_;
}
