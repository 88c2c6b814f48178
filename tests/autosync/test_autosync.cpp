// vordsync as a real process: queued PC files to the device, the device's exported files to the PC, over a
// folder that stands for the hand-held and the real PDA link library.
#include "PdaDevice.h"
#include "TestEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

namespace {

const std::map<int, std::string> kSyncTexts = {
    {101, "S101"}, {102, "S102"}, {104, "S104"}, {106, "S106"}, {107, "S107"},
    {108, "S108"}, {109, "S109"}, {110, "S110"}, {111, "S111"}, {112, "S112 line\\nnext"},
    {113, "S113"}, {114, "S114"}};

class AutoSync : public ::testing::Test {
protected:
    void SetUp() override {
        env.writeFile(QStringLiteral("autosync_lang_test.txt"), TestEnv::langFileBytes(kSyncTexts));
        PdaDevice::installLibrary(env.programDir(), true);
    }
    // Runs the utility; returns its message log.
    std::string run(const QString& answers = {}, int exitCode = 0) {
        QProcess p;
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        e.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        e.insert(QStringLiteral("VORD_MESSAGE_LOG"), env.path(QStringLiteral("messages.log")));
        e.insert(QStringLiteral("VORD_MESSAGE_ANSWERS"), answers);
        p.setProcessEnvironment(e);
        p.start(env.path(QStringLiteral("vordsync")), QStringList{});
        EXPECT_TRUE(p.waitForFinished(60000)) << "the utility must end by itself";
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), exitCode) << "1 when files were left behind, else 0";
        const std::string log = TestEnv::readFile(env.path(QStringLiteral("messages.log")));
        QFile::remove(env.path(QStringLiteral("messages.log")));
        return log;
    }
    QString queue(const QString& name = {}) const { return env.path(QStringLiteral("Rovemark/AutoExport/") + name); }
    QString drop(const QString& name = {}) const { return env.path(QStringLiteral("Rovemark/AutoImport/") + name); }
    static QString devExport(const QString& name) { return QStringLiteral("My Documents/Rovemark Export/") + name; }
    static QString devImport(const QString& name) { return QStringLiteral("My Documents/Rovemark AutoImport/") + name; }

    TestEnv env;
    PdaDevice device;
};

TEST_F(AutoSync, NothingPendingMakesTheFoldersAndEndsQuietly) {
    EXPECT_EQ(run(), "");
    EXPECT_TRUE(QFileInfo(queue()).isDir());
    EXPECT_TRUE(QFileInfo(drop()).isDir());
}

TEST_F(AutoSync, ADeviceThatHoldsOnlyItsMarkerGetsItsFoldersAndTheQueuedFiles) {
    QDir(device.path(QStringLiteral("My Documents"))).removeRecursively();
    env.writeFile(QStringLiteral("Rovemark/AutoExport/south.csv"), "south");
    EXPECT_EQ(run(), "");
    EXPECT_EQ(TestEnv::readFile(device.path(devImport(QStringLiteral("south.csv")))), "south");
    EXPECT_FALSE(QFile::exists(queue(QStringLiteral("south.csv"))));
}

TEST_F(AutoSync, QueuedCsvFilesGoToTheDeviceAndExportedOnesComeBackEachLeavingItsPlaceOnlyWhenCopied) {
    QDir().mkpath(queue());
    QDir().mkpath(drop());
    env.writeFile(QStringLiteral("Rovemark/AutoExport/north.pdb"), "pdb");
    env.writeFile(QStringLiteral("Rovemark/AutoExport/south.csv"), patternBytes(9000, 1));
    env.writeFile(QStringLiteral("Rovemark/AutoExport/EAST.CSV"), patternBytes(4096, 2));
    device.writeFile(devExport(QStringLiteral("a.csv")), patternBytes(25000, 3));
    device.writeFile(devExport(QStringLiteral("B.CSV")), "b");
    device.writeFile(devExport(QStringLiteral("c.txt")), "c");
    EXPECT_EQ(run(), "");
    EXPECT_EQ(QDir(queue()).entryList(QDir::Files), QStringList{"north.pdb"});
    EXPECT_TRUE(TestEnv::readFile(device.path(devImport(QStringLiteral("south.csv")))) == patternBytes(9000, 1));
    EXPECT_TRUE(TestEnv::readFile(device.path(devImport(QStringLiteral("EAST.CSV")))) == patternBytes(4096, 2));
    EXPECT_TRUE(TestEnv::readFile(drop(QStringLiteral("a.csv"))) == patternBytes(25000, 3));
    EXPECT_EQ(TestEnv::readFile(drop(QStringLiteral("B.CSV"))), "b");
    EXPECT_EQ(QDir(device.path(devExport({}))).entryList(QDir::Files), QStringList{"c.txt"});
}

TEST_F(AutoSync, AFaultOnOneFileLeavesThatFileInPlaceAndTheRunGoesOn) {
    env.writeFile(QStringLiteral("Rovemark/AutoExport/bad.csv"), patternBytes(4097, 1));
    env.writeFile(QStringLiteral("Rovemark/AutoExport/good.csv"), "good");
    device.writeFile(devExport(QStringLiteral("broken.csv")), patternBytes(30000, 2));
    device.writeFile(devExport(QStringLiteral("fine.csv")), "fine");
    // The last block of bad.csv fails; reading broken.csv fails after its first block.
    device.connect(QStringLiteral("FailWrite=bad.csv\nFailWriteAt=2\nFailRead=broken.csv\nFailReadAt=2"));
    const std::string log = run({}, 1);
    const std::string target = "\\My Documents\\Rovemark AutoImport\\bad.csv";
    EXPECT_NE(log.find("0|Vordalin|Error writing to PDA file.  File=" + target), std::string::npos) << log;
    // Each failed copy's message names the file and says why.
    EXPECT_NE(log.find("0|VordSync|S106\\r\\n  " + queue(QStringLiteral("bad.csv")).toStdString() +
                       "\\r\\nthe PDA did not take the whole file (error 29)\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("0|VordSync|S107\\r\\n  \\My Documents\\Rovemark Export\\broken.csv"
                       "\\r\\nthe PDA did not give the whole file (error 30)\n"),
              std::string::npos)
        << log;
    EXPECT_TRUE(QFile::exists(queue(QStringLiteral("bad.csv")))) << "a failed upload stays queued";
    EXPECT_FALSE(QFile::exists(queue(QStringLiteral("good.csv"))));
    EXPECT_TRUE(device.exists(devExport(QStringLiteral("broken.csv"))));
    EXPECT_FALSE(QFile::exists(drop(QStringLiteral("broken.csv"))));
    EXPECT_EQ(TestEnv::readFile(drop(QStringLiteral("fine.csv"))), "fine");
    EXPECT_FALSE(device.exists(devExport(QStringLiteral("fine.csv"))));
}

TEST_F(AutoSync, DeviceLostMidRunEndsEveryLaterCopyWithAMessageAndNoHang) {
    env.writeFile(QStringLiteral("Rovemark/AutoExport/one.csv"), "1");
    env.writeFile(QStringLiteral("Rovemark/AutoExport/two.csv"), "2");
    device.writeFile(devExport(QStringLiteral("three.csv")), "3");
    device.connect(QStringLiteral("LoseAfterCalls=1"));
    const std::string log = run({}, 1);
    EXPECT_EQ(TestEnv::readFile(device.path(devImport(QStringLiteral("one.csv")))), "1");
    EXPECT_FALSE(QFile::exists(queue(QStringLiteral("one.csv"))));
    EXPECT_TRUE(QFile::exists(queue(QStringLiteral("two.csv"))));
    EXPECT_TRUE(device.exists(devExport(QStringLiteral("three.csv"))));
    EXPECT_NE(log.find("S106"), std::string::npos) << log;
    EXPECT_NE(log.find("S107"), std::string::npos) << log;
}

TEST_F(AutoSync, LibraryThatCannotBeCreatedAsksRetryOrCancelAndCancelEndsTheRun) {
    QFile::remove(env.path(QStringLiteral("libVordPDASupport.so")));
    env.writeFile(QStringLiteral("libVordPDASupport.so"), "broken");
    env.writeFile(QStringLiteral("Rovemark/AutoExport/x.csv"), "x");
    EXPECT_EQ(run(QStringLiteral("4,2"), 1), "53|VordSync|S112 line\\r\\nnext\n53|VordSync|S112 line\\r\\nnext\n");
    EXPECT_TRUE(QFile::exists(queue(QStringLiteral("x.csv"))));
}

TEST_F(AutoSync, WithoutADeviceTheStatusSaysWhetherQueuedFilesWereLeftBehind) {
    device.disconnect();
    struct Case {
        const char* what;
        const char* queued; // nullptr: nothing
        int exitCode;
    };
    const Case cases[] = {
        {"nothing queued", nullptr, 0},
        {"only a file that never goes", "north.pdb", 0},
        {"a queued CSV file", "south.csv", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(queue()).removeRecursively();
        if (c.queued)
            env.writeFile(QStringLiteral("Rovemark/AutoExport/") + QLatin1String(c.queued), "x");
        const std::string log = run({}, c.exitCode);
        EXPECT_NE(log.find("Mobile Device not connected"), std::string::npos) << log;
        if (c.queued) {
            EXPECT_TRUE(QFile::exists(queue(QLatin1String(c.queued))));
        }
    }
}

TEST_F(AutoSync, AQueuedNameWithABackslashIsRefusedOnceAndMovedOutOfTheQueue) {
    env.writeFile(QStringLiteral("Rovemark/AutoExport/a\\b.csv"), "refused");
    env.writeFile(QStringLiteral("Rovemark/AutoExport/good.csv"), "good");
    const QString aside = queue(QStringLiteral("Not sent/a\\b.csv"));
    EXPECT_EQ(run({}, 1), "0|VordSync|S113\\r\\n  " + aside.toStdString() + "\n");
    EXPECT_EQ(TestEnv::readFile(aside), "refused");
    EXPECT_FALSE(QFile::exists(queue(QStringLiteral("a\\b.csv"))));
    EXPECT_EQ(TestEnv::readFile(device.path(devImport(QStringLiteral("good.csv")))), "good");
    // The next run neither tries it nor says anything, and ends clean.
    EXPECT_EQ(run(), "");
    EXPECT_EQ(TestEnv::readFile(aside), "refused");
    // A second file of that name later is kept beside the first.
    env.writeFile(QStringLiteral("Rovemark/AutoExport/a\\b.csv"), "again");
    EXPECT_EQ(run({}, 1), "0|VordSync|S113\\r\\n  " + aside.toStdString() + " (2)\n");
    EXPECT_EQ(TestEnv::readFile(aside), "refused");
    EXPECT_EQ(TestEnv::readFile(aside + QStringLiteral(" (2)")), "again");
}

} // namespace
