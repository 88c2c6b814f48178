#include "ScopedProgramWindows.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "core/DMAModule.h"
#include "core/ProgramWindows.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "core/Startup.h"
#include "core/frmSplash.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

struct Recorder {
    QStringList steps;
};

// The program's windows as start-up reaches them: documents, record editor and the main window's settings.
struct FakeWindows final : ProgramWindows {
    Recorder* rec;
    QString active;
    bool opens = true;
    explicit FakeWindows(Recorder* r) : rec(r) {}
    void openDocument(const QString& path) override {
        rec->steps << "open " + FileTitle(path);
        if (opens)
            active = path;
    }
    bool hasActiveDocument() const override { return !active.isEmpty(); }
    QString activeDocumentName() const override { return FileTitle(active); }
    void findInActive(const QString& text) override { rec->steps << "find " + text; }
    bool updateAllAdditionalInformation() override { return true; }
    void showEditor() override { rec->steps << "show editor"; }
    void toggleGraph() override { rec->steps << "toggle graph"; }
};

class StartupTest : public ::testing::Test {
protected:
    void SetUp() override { ensureApplication(); }
    QString hubFile(const QString& relative, const std::string& lines) { return env.writeFile(relative, lines); }

    TestEnv env;
    Recorder rec;
    FakeWindows docs{&rec};
    ScopedProgramWindows registered_{&docs};
};

const std::string kArea = "\"Banner V5.2.9\"\r\n\"Serial\",\r\n1234567,\"SU 1234 5678\"\r\n12345678,\"x\"\r\n";

} // namespace

TEST_F(StartupTest, VordhubSearchIsDepthFirstAndIgnoresCase) {
    QDir root(env.programDir());
    root.mkpath("a/deep/VordHub");
    root.mkpath("b/vordhub");
    EXPECT_EQ(FindVordhubFolder(env.programDir()), env.path("a/deep/VordHub"));
    root.rename("a", "c");
    EXPECT_EQ(FindVordhubFolder(env.programDir()), env.path("b/vordhub"));
    // A link cycle is not followed.
    QFile::link(env.programDir(), env.path("b/loop"));
    root.rename("b/vordhub", "b/other");
    EXPECT_EQ(FindVordhubFolder(env.programDir()), env.path("c/deep/VordHub"));
}

TEST_F(StartupTest, SerialIsFoundByItsValueInPdbFilesOnly) {
    QDir(env.programDir()).mkpath("hub");
    hubFile("hub/a.csv", "x\r\n1234567,\r\n");
    hubFile("hub/B.PDB", kArea);
    const QString hub = env.path("hub");
    EXPECT_EQ(FindDatabaseWithSerial(hub, "01234567"), env.path("hub/B.PDB")); // stored as seven digits
    EXPECT_EQ(FindDatabaseWithSerial(hub, "12345678"), env.path("hub/B.PDB"));
    EXPECT_EQ(FindDatabaseWithSerial(hub, "07777777"), QString());
    EXPECT_EQ(FindDatabaseWithSerial(hub, "/s=123"), QString());
}

TEST_F(StartupTest, OpenBySerialReportsWhatIsMissing) {
    ScriptedUi ui;
    ui.expectMessage(1, "Unable to find Vordhub directory");
    EXPECT_FALSE(OpenBySerial("01234567"));
    hubFile("x/vordhub/area.pdb", kArea);
    ui.expectMessage(1, "Unable to find file with serial number 07654321");
    EXPECT_FALSE(OpenBySerial("07654321"));
    EXPECT_TRUE(rec.steps.isEmpty());
}

TEST_F(StartupTest, OpenBySerialOpensOnceAndSelectsTheLogger) {
    hubFile("x/vordhub/Area.pdb", kArea);
    EXPECT_TRUE(OpenBySerial("01234567"));
    EXPECT_TRUE(OpenBySerial("12345678")); // the active window already holds that file
    EXPECT_EQ(rec.steps,
              (QStringList{"open Area.pdb", "find 01234567", "show editor", "find 12345678", "show editor"}));
    docs.active.clear();
    docs.opens = false;
    EXPECT_FALSE(OpenBySerial("01234567"));
}

TEST_F(StartupTest, ArgumentsOpenFilesAndSerialsInOrder) {
    hubFile("vordhub/area.pdb", kArea);
    ScriptedUi ui;
    ui.expectMessage(1, "Unable to find file with serial number /s=123");
    OpenStartupArguments({"/home/u/one.pdb", "/s=01234567", "/S=01234567", "/s=123"});
    EXPECT_EQ(rec.steps, (QStringList{"open one.pdb", "open area.pdb", "find 01234567", "show editor", "toggle graph",
                                      "open S=01234567"}));
}

TEST_F(StartupTest, SplashShowsTheDistributorsLineAndCloses) {
    LoadSettings();
    {
        frmSplash splash;
        splash.SplashDelay = 500;
        splash.Form_Load();
        EXPECT_EQ(splash.lblProductName->text(), plat::appTitle());
        EXPECT_EQ(splash.lblDescription->text(), DescriptionText);
        EXPECT_EQ(splash.lblVersion->text(), QStringLiteral("v%1.%2.%3")
                                                 .arg(plat::versionMajor())
                                                 .arg(plat::versionMinor())
                                                 .arg(plat::versionRevision()));
        EXPECT_TRUE(splash.lblCopyright->text().contains("Brenholt"));
        splash.Timer1_Timer();
        EXPECT_TRUE(splash.Timer1->isActive());
        splash.Timer1_Timer();
        EXPECT_FALSE(splash.Timer1->isActive());
        EXPECT_EQ(splash.result(), QDialog::Accepted);
    }
    plat::settings::save(plat::appTitle(), "Settings", "Distributor", "Pipewise");
    {
        frmSplash splash;
        splash.Form_Load();
        EXPECT_TRUE(splash.lblCopyright->text().contains("Pipewise"));
    }
    plat::settings::save(plat::appTitle(), "Settings", "Distributor", "PIPEWISE");
    for (int delay : {0, -32768}) {
        frmSplash splash;
        splash.SplashDelay = static_cast<int16_t>(delay);
        splash.Form_Load();
        EXPECT_TRUE(splash.lblCopyright->text().contains("Brenholt"));
        splash.Timer1_Timer();
        EXPECT_FALSE(splash.Timer1->isActive()) << delay;
    }
}

TEST_F(StartupTest, SplashClosesAtOnceOnAClickOrKey) {
    for (int how = 0; how < 3; ++how) {
        frmSplash splash;
        splash.SplashDelay = 32767;
        splash.Form_Load();
        splash.show();
        if (how == 0)
            QTest::mouseClick(splash.lblVersion, Qt::LeftButton);
        else if (how == 1)
            QTest::mouseClick(splash.picLogo, Qt::LeftButton);
        else
            QTest::keyClick(&splash, Qt::Key_Space);
        EXPECT_FALSE(splash.Timer1->isActive()) << how;
        EXPECT_LE(splash.remainingDelay(), 0);
    }
}
