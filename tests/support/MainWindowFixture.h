#pragma once
// A shown main window registered as the program's windows, in a private program folder; at the end every
// other window is closed without asking and the main window goes.
#include "DocumentFixtures.h"
#include "ScopedProgramWindows.h"
#include "vordalin/frmMain.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

class MainWindowFixture : public ::testing::Test, public DocumentTest {
protected:
    void SetUp() override;
    void TearDown() override;

    std::unique_ptr<frmMain> main;

private:
    std::optional<ScopedProgramWindows> registered_;
    std::function<long long()> savedClock_;
};
