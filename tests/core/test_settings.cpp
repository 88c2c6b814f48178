#include "FaultyFileCalls.h"
#include "ScopedProgramWindows.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "core/DMAModule.h"
#include "core/ProgramWindows.h"
#include "core/Shared.h"
#include "core/Settings.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"

#include <gtest/gtest.h>

namespace {
struct FakeMain final : ProgramWindows {
    QString mru[5];
    bool mruVisible[5] = {};
    bool follow = false;
    bool minimized = false;
    bool hasMainWindow() const override { return true; }
    void setFollowMouseChecked(bool c) override { follow = c; }
    QString mruCaption(int i) const override { return mru[i]; }
    void setMruCaption(int i, const QString& c) override { mru[i] = c; }
    void setMruVisible(int i, bool v) override { mruVisible[i] = v; }
    bool isMinimized() const override { return minimized; }
    void placementTwips(double* l, double* t, double* w, double* h) const override {
        *l = 1500;
        *t = 750;
        *w = 9600;
        *h = 7200;
    }
};

QString stored(const char* key) {
    return plat::settings::get(plat::appTitle(), "Settings", key, "<absent>");
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { InitDatabaseStore(); }
    TestEnv env;
    FakeMain main;
    ScopedProgramWindows registered_{&main};
};
} // namespace

TEST_F(SettingsTest, FirstRunGivesTheDefaults) {
    LoadSettings();
    EXPECT_EQ(ComPort, 1);
    EXPECT_EQ(NumberToDial, "1234567890");
    EXPECT_EQ(CataloguePath, "C:\\");
    EXPECT_EQ(ForcePath, "C:\\");
    EXPECT_EQ(AmblewayPath, "C:\\tessaly\\qdata");
    EXPECT_EQ(Address2, "0");
    EXPECT_EQ(FillIncrement, 1);
    EXPECT_EQ(DownLoadCount, 1);
    EXPECT_FALSE(EnHistEdit || IgnoreFileErrs || UseModem || ForceNewPath || WindowFollowMouse);
    EXPECT_EQ(DefaultPath, "");
    for (int i = 1; i <= 4; ++i)
        EXPECT_FALSE(main.mruVisible[i]);
    EXPECT_EQ(LoggerTable[7000].Serial, 99999999);
    EXPECT_EQ(DescriptionText, "Acoustic leak-noise logger management");
    EXPECT_EQ(NewDocumentCounter, 0);
}

TEST_F(SettingsTest, SaveThenLoadBringsValuesBack) {
    LoadSettings();
    ComPort = 3;
    UseModem = true;
    NumberToDial = "0123";
    FillIncrement = 25;
    DownLoadCount = 7;
    CataloguePath = "/data/areas/";
    EnHistEdit = true;
    WindowFollowMouse = true;
    main.mru[1] = "/data/a.pdb";
    main.mru[3] = "/data/c.pdb";
    SaveSettings();
    EXPECT_EQ(stored("MainLeft"), "1500");
    EXPECT_EQ(stored("MainWidth"), "9600");
    EXPECT_EQ(stored("MRU2"), "");
    EXPECT_EQ(stored("UseModem"), "True");
    EXPECT_EQ(stored("IgnoreFileErrs"), "False");
    // Keys the options dialog owns are not written at exit.
    EXPECT_EQ(stored("ForcePath"), "<absent>");
    EXPECT_EQ(stored("Address2"), "<absent>");

    FakeMain fresh;
    const ScopedProgramWindows freshRegistered(&fresh);
    ComPort = 1;
    LoadSettings();
    EXPECT_EQ(ComPort, 3);
    EXPECT_TRUE(UseModem);
    EXPECT_EQ(NumberToDial, "0123");
    EXPECT_EQ(FillIncrement, 25);
    EXPECT_EQ(DownLoadCount, 7);
    EXPECT_EQ(CataloguePath, "/data/areas/");
    EXPECT_TRUE(fresh.follow);
    EXPECT_TRUE(fresh.mruVisible[1]);
    EXPECT_FALSE(fresh.mruVisible[2]);
    EXPECT_TRUE(fresh.mruVisible[3]);
    EXPECT_EQ(fresh.mru[3], "/data/c.pdb");
}

TEST_F(SettingsTest, MinimizedWindowKeepsItsStoredPlacement) {
    plat::settings::save(plat::appTitle(), "Settings", "MainLeft", "42");
    main.minimized = true;
    SaveSettings();
    EXPECT_EQ(stored("MainLeft"), "42");
    EXPECT_EQ(stored("MainHeight"), "<absent>");
}

TEST_F(SettingsTest, UnreadableValuesFallBackToTheirDefaults) {
    plat::settings::save(plat::appTitle(), "Settings", "ComPort", "COM9");
    plat::settings::save(plat::appTitle(), "Settings", "FillIncrement", "99999999999");
    plat::settings::save(plat::appTitle(), "Settings", "UseModem", "maybe");
    LoadSettings();
    EXPECT_EQ(ComPort, 1);
    EXPECT_EQ(FillIncrement, 1);
    EXPECT_FALSE(UseModem);
}

TEST_F(SettingsTest, SaveDefaultPathStoresTheFolderAtOnce) {
    SaveDefaultPath("C:\\data\\area.pdb");
    EXPECT_EQ(DefaultPath, "C:\\data\\");
    EXPECT_EQ(stored("DefaultPath"), "C:\\data\\");
    SaveDefaultPath("/home/u/areas/north.pdb");
    EXPECT_EQ(stored("DefaultPath"), "/home/u/areas/");
    SaveDefaultPath("bare.pdb");
    EXPECT_EQ(DefaultPath, "/home/u/areas/");
}

// Settings that cannot be written (a full or read-only settings folder) are said once per run, with the file
// and the system's reason; the keys that could not be written are not claimed as stored.
TEST_F(SettingsTest, SettingsThatCannotBeWrittenAreSaidOncePerRun) {
    struct Case {
        const char* name;
        FaultyFileCalls::Step step;
        int error;
        int port;
    };
    // A full settings folder, and one where no file may be made or written.
    const Case cases[] = {{"full", FaultyFileCalls::Step::Write, ENOSPC, 3},
                          {"read-only", FaultyFileCalls::Step::Open, EACCES, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedUi ui;
        ui.allowAnyMessage();
        ResetSettingsSaveReport();
        LoadSettings();
        const QString before = stored("ComPort");
        ComPort = static_cast<int16_t>(c.port);
        {
            FaultyFileCalls faults(c.step, c.error);
            SaveSettings();
            SaveDefaultPath(QStringLiteral("/data/area.pdb"));
        }
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(ui.messages()[0].prompt, LoadLangString(txt::FileNotWritten) + QStringLiteral(":\n") +
                                               plat::settings::filePath(plat::appTitle()) + u'\n' +
                                               plat::systemErrorText(c.error));
        EXPECT_EQ(stored("ComPort"), before);
        // Once the folder takes writes again the settings are stored, without another word.
        SaveSettings();
        EXPECT_EQ(stored("ComPort"), QString::number(c.port));
        EXPECT_EQ(ui.messages().size(), 1u);
    }
}
