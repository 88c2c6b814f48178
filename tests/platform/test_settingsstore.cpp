#include "FaultyFileCalls.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace s = plat::settings;

class SettingsStoreTest : public ::testing::Test {
protected:
    void SetUp() override { qputenv("VORD_SETTINGS_DIR", QFile::encodeName(dir.path())); }
    void TearDown() override { qunsetenv("VORD_SETTINGS_DIR"); }
    QTemporaryDir dir;
};

TEST_F(SettingsStoreTest, AbsentKeysGiveTheDefaultAndNamesIgnoreCase) {
    EXPECT_EQ(s::get("Vordalin", "Settings", "ComPort", "1"), "1");
    ASSERT_TRUE(s::save("Vordalin", "Settings", "ComPort", "3"));
    EXPECT_EQ(s::get("vordalin", "SETTINGS", "comport", "1"), "3");
    EXPECT_TRUE(s::exists("Vordalin", "Settings", "ComPort"));
}

TEST_F(SettingsStoreTest, ValuesKeepAnyTextAndOtherKeysSurviveWrites) {
    const QString odd = QStringLiteral("C:\\a=b\\[x]\nline two \\n  ");
    ASSERT_TRUE(s::save("Vordalin", "Settings", "DefaultPath", odd));
    ASSERT_TRUE(s::save("Vordalin", "MapPointOptions", "Key=[1]", "v"));
    ASSERT_TRUE(s::save("Vordalin", "Settings", "MRU1", "/x.pdb"));
    EXPECT_EQ(s::get("Vordalin", "Settings", "DefaultPath"), odd);
    EXPECT_EQ(s::get("Vordalin", "MapPointOptions", "Key=[1]"), "v");
    EXPECT_EQ(s::keys("Vordalin", "Settings"), (QStringList{"DefaultPath", "MRU1"}));
}

TEST_F(SettingsStoreTest, OutsideChangesAreSeenAtTheNextLookup) {
    ASSERT_TRUE(s::save("Vordalin", "Settings", "Distributor", "Brenholt"));
    // Another program rewrites the file; then the cleaner deletes the whole application.
    QFile f(s::filePath("Vordalin"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("[Settings]\nSerialNumberToView=1700000000:01234567\n");
    f.close();
    EXPECT_EQ(s::get("Vordalin", "Settings", "SerialNumberToView"), "1700000000:01234567");
    EXPECT_EQ(s::get("Vordalin", "Settings", "Distributor", "none"), "none");
    EXPECT_TRUE(s::remove("Vordalin"));
    EXPECT_FALSE(QFile::exists(s::filePath("Vordalin")));
    EXPECT_FALSE(s::remove("Vordalin"));
}

TEST_F(SettingsStoreTest, RemovingKeysAndSections) {
    s::save("App", "A", "k1", "1");
    s::save("App", "A", "k2", "2");
    s::save("App", "B", "k", "3");
    EXPECT_TRUE(s::remove("App", "A", "k1"));
    EXPECT_FALSE(s::remove("App", "A", "k1"));
    EXPECT_EQ(s::keys("App", "A"), QStringList{"k2"});
    EXPECT_TRUE(s::remove("App", "A"));
    EXPECT_TRUE(s::keys("App", "A").isEmpty());
    EXPECT_EQ(s::get("App", "B", "k"), "3");
}

TEST_F(SettingsStoreTest, AStoreThatCannotBeReadIsNeverOverwritten) {
    // Something unreadable in the store's place (here a folder, since tests run as root): writing a key
    // must fail rather than replace it with a store that holds that key alone.
    QDir().mkpath(s::filePath("Vordalin"));
    EXPECT_FALSE(s::save("Vordalin", "Settings", "ComPort", "2"));
    EXPECT_FALSE(s::remove("Vordalin", "Settings", "ComPort"));
    EXPECT_TRUE(QFileInfo(s::filePath("Vordalin")).isDir());
}

TEST_F(SettingsStoreTest, AnEmptyKeyNameIsRefused) {
    // "=value" is no key line: a key without a name could be written but never read back.
    EXPECT_FALSE(s::save("Vordalin", "Settings", "", "x"));
    EXPECT_FALSE(QFile::exists(s::filePath("Vordalin")));
}

TEST_F(SettingsStoreTest, AFullDiskKeepsTheStoreAsItWas) {
    ASSERT_TRUE(s::save("Vordalin", "Settings", "ComPort", "3"));
    ASSERT_TRUE(s::save("Vordalin", "Settings", "DefaultPath", "/areas/"));
    QFile f(s::filePath("Vordalin"));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray before = f.readAll();
    f.close();
    for (const auto step : {FaultyFileCalls::Step::Write, FaultyFileCalls::Step::Sync, FaultyFileCalls::Step::Close}) {
        FaultyFileCalls full(step, ENOSPC, 4);
        EXPECT_FALSE(s::save("Vordalin", "Settings", "ComPort", "4"));
    }
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), before);
    EXPECT_EQ(s::get("Vordalin", "Settings", "ComPort"), "3");
}
