// The main program's start-up on the window side.
#include "DocumentFixtures.h"
#include "ScopedProgramWindows.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "core/frmSplash.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "transfer/TransferFolders.h"
#include "vordalin/ProgramStart.h"
#include "vordalin/frmMain.h"

#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <gtest/gtest.h>

#include <optional>

namespace {

class ProgramStartTest : public ::testing::Test, public DocumentTest {
protected:
    void TearDown() override {
        CloseAllWindows(main.get());
        flushDeletes();
        registered.reset();
        main.reset();
    }
    std::unique_ptr<frmMain> main = std::make_unique<frmMain>();
    std::optional<ScopedProgramWindows> registered;
};

TEST_F(ProgramStartTest, MainRunsItsStepsInOrderThenOpensTheArguments) {
    registered.emplace(main.get());
    SaveSettingBool(QStringLiteral("mnuWindowFollowMouse"), true);
    const std::vector<FixtureLogger> loggers = {{1234567, "SU 1234 5678", "", "", "", "", "", "", 0, 0, ""}};
    env.writeFile(QStringLiteral("vordhub/area.pdb"), areaFile(loggers));
    const QString one = env.writeFile(QStringLiteral("one.pdb"), areaFile(loggers));

    ScriptedUi ui;
    int splashDelay = 0;
    bool settingsFirst = false, windowsLater = false;
    ui.expectDialog([&](QDialog* d) {
        splashDelay = static_cast<frmSplash*>(d)->SplashDelay;
        settingsFirst = main->mnuWindowFollowMouse->isChecked();
        windowsLater =
            !QDir(env.path(QStringLiteral("rovemark/from"))).exists() && !frmDMAEdit::instance() && !main->isVisible();
        return 1;
    });
    Main(*main, {one, QStringLiteral("/s=01234567")});
    EXPECT_EQ(splashDelay, kStartupSplashDelay);
    EXPECT_TRUE(settingsFirst);
    EXPECT_TRUE(windowsLater);
    // Then the exchange folders, the record editor and the main window; then the arguments in order.
    EXPECT_EQ(TransferFromFolder, env.path(QStringLiteral("rovemark/from")));
    ASSERT_TRUE(frmDMAEdit::instance());
    EXPECT_TRUE(main->isVisible());
    QStringList opened;
    for (QMdiSubWindow* w : main->mdiArea()->subWindowList())
        opened << FileTitle(w->windowTitle());
    EXPECT_EQ(opened, (QStringList{QStringLiteral("one.pdb"), QStringLiteral("area.pdb")}));
    // The serial's logger is shown in the record editor.
    EXPECT_TRUE(frmDMAEdit::instance()->isVisible());
    delete frmDMAEdit::instance();
}

} // namespace
