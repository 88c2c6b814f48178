// vordsync's run inside the test process, over a real folder that stands for the hand-held and the real PDA
// link library, so the library's file calls can be watched and made to fail one step at a time.
#include "FaultyFileCalls.h"
#include "PdaDevice.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "autosync/SyncMisc.h"
#include "autosync/frmAutoSync.h"
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <map>

namespace {

const std::map<int, std::string> kRunTexts = {{101, "S101"}, {102, "S102"}, {104, "S104"}, {106, "S106"},
                                              {107, "S107"}, {108, "S108"}, {109, "S109"}, {110, "S110"},
                                              {111, "S111"}, {112, "S112"}, {113, "S113"}, {114, "S114"}};

// Notes each file call, by the file's or folder's name, and says when the queued PC file was already gone.
class RecordingFileCalls : public plat::FileCalls {
public:
    explicit RecordingFileCalls(const QString& watched) : watched_(watched) { previous_ = plat::setFileCalls(this); }
    ~RecordingFileCalls() override { plat::setFileCalls(previous_); }
    RecordingFileCalls(const RecordingFileCalls&) = delete;
    RecordingFileCalls& operator=(const RecordingFileCalls&) = delete;

    const std::vector<std::string>& calls() const { return calls_; }

    int open(const char* path, int flags, mode_t mode) override {
        const int fd = plat::FileCalls::open(path, flags, mode);
        if (fd >= 0)
            names_[fd] = name(path) + ((flags & O_DIRECTORY) ? "/" : "");
        note("open " + names_[fd]);
        return fd;
    }
    ssize_t write(int fd, const void* data, size_t size) override {
        note("write " + names_[fd]); // a run of writes is one entry
        return plat::FileCalls::write(fd, data, size);
    }
    int fsync(int fd) override {
        note("sync " + names_[fd]);
        return plat::FileCalls::fsync(fd);
    }
    int close(int fd) override {
        note("close " + names_[fd]);
        names_.erase(fd);
        return plat::FileCalls::close(fd);
    }
    int rename(const char* from, const char* to) override {
        note("rename " + name(from) + " -> " + name(to));
        return plat::FileCalls::rename(from, to);
    }
    int renameNoReplace(const char* from, const char* to) override {
        note("rename " + name(from) + " -> " + name(to));
        return plat::FileCalls::renameNoReplace(from, to);
    }

private:
    static std::string name(const char* path) { return QFileInfo(QFile::decodeName(path)).fileName().toStdString(); }
    void note(std::string call) {
        if (!QFileInfo::exists(watched_))
            call += " (after the PC file was removed)";
        if (calls_.empty() || calls_.back() != call)
            calls_.push_back(call);
    }

    QString watched_;
    plat::FileCalls* previous_ = nullptr;
    std::map<int, std::string> names_;
    std::vector<std::string> calls_;
};

class SyncRun : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        env.writeFile(QStringLiteral("autosync_lang_test.txt"), TestEnv::langFileBytes(kRunTexts));
        PdaDevice::installLibrary(env.programDir(), true);
        ui.allowAnyMessage(plat::IDOK);
        // Loaded before a test puts its file calls into it.
        ASSERT_TRUE(misc::CreatePdaSupport());
    }
    // One run of the utility; true when it left files behind.
    bool run() {
        frmAutoSync form;
        form.Form_Load();
        return form.LeftFilesBehind();
    }
    QStringList messages() const {
        QStringList out;
        for (const auto& m : ui.messages())
            out << m.prompt;
        return out;
    }
    QString queue(const QString& name) const { return env.path(QStringLiteral("Rovemark/AutoExport/") + name); }
    QStringList deviceImport() const {
        return QDir(device.path(QStringLiteral("My Documents/Rovemark AutoImport")))
            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    }

    TestEnv env;
    PdaDevice device;
    ScriptedUi ui;
};

TEST_F(SyncRun, AQueuedFileIsRemovedOnlyAfterTheDeviceSyncedItsCopyClosedItAndSyncedItsName) {
    const QString queued = env.writeFile(QStringLiteral("Rovemark/AutoExport/north.csv"), patternBytes(9000, 1));
    RecordingFileCalls recorder(queued);
    {
        // The library keeps its own file calls: the same recorder goes in there.
        const LibraryFileCalls inLibrary(&recorder);
        run();
        ASSERT_TRUE(inLibrary.installed());
    }
    const std::vector<std::string> expected = {
        "open north.csv.~up",
        "write north.csv.~up",
        "sync north.csv.~up",
        "close north.csv.~up",
        "rename north.csv.~up -> north.csv",
        "open Rovemark AutoImport/",
        "sync Rovemark AutoImport/",
        "close Rovemark AutoImport/",
    };
    EXPECT_EQ(recorder.calls(), expected);
    EXPECT_FALSE(QFile::exists(queued)) << "sent, so it leaves the queue";
    EXPECT_TRUE(TestEnv::readFile(device.path(QStringLiteral("My Documents/Rovemark AutoImport/north.csv"))) ==
                patternBytes(9000, 1));
    EXPECT_TRUE(messages().isEmpty()) << messages().join(u'|').toStdString();
}

TEST_F(SyncRun, ACopyWhoseSyncOrCloseFailsStaysQueuedAndTheMessageSaysWhy) {
    using Step = FaultyFileCalls::Step;
    const struct {
        const char* what;
        Step step;
        int error;
        bool sent;
    } cases[] = {
        {"device file sync fails", Step::Sync, EIO, false},
        {"device file close fails", Step::Close, EIO, false},
        {"device file close finds the card full", Step::Close, ENOSPC, false},
        {"device folder sync fails", Step::SyncFolder, EIO, false},
        {"a device that cannot sync", Step::Sync, EINVAL, true},
    };
    const QString target = QStringLiteral("\\My Documents\\Rovemark AutoImport\\north.csv");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString queued = env.writeFile(QStringLiteral("Rovemark/AutoExport/north.csv"), "north");
        QFile::remove(device.path(QStringLiteral("My Documents/Rovemark AutoImport/north.csv")));
        const size_t before = ui.messages().size();
        FaultyFileCalls faults(c.step, c.error);
        bool leftBehind = false;
        {
            const LibraryFileCalls inLibrary(&faults);
            leftBehind = run();
            ASSERT_TRUE(inLibrary.installed());
        }
        EXPECT_EQ(faults.failures(), 1) << "the step was reached";
        EXPECT_EQ(leftBehind, !c.sent);
        EXPECT_EQ(QFile::exists(queued), !c.sent);
        EXPECT_EQ(deviceImport(), c.sent ? QStringList{"north.csv"} : QStringList{}) << "no temporary file stays";
        const QString reason = plat::systemErrorText(c.error);
        const QStringList expected =
            c.sent ? QStringList{}
                   : QStringList{QStringLiteral("Error writing to PDA file.  File=") + target + QStringLiteral("\r\n") +
                                     reason,
                                 QStringLiteral("S106\r\n  ") + queued + QStringLiteral("\r\n") + reason};
        EXPECT_EQ(messages().mid(static_cast<qsizetype>(before)), expected);
    }
}

TEST_F(SyncRun, AFetchedFileThatCannotBeWrittenOnThePcStaysOnTheDeviceAndTheMessageSaysWhy) {
    device.writeFile(QStringLiteral("My Documents/Rovemark Export/east.csv"), "east");
    FaultyFileCalls faults(FaultyFileCalls::Step::Sync, ENOSPC);
    {
        const LibraryFileCalls inLibrary(&faults);
        EXPECT_TRUE(run());
        ASSERT_TRUE(inLibrary.installed());
    }
    EXPECT_TRUE(device.exists(QStringLiteral("My Documents/Rovemark Export/east.csv")));
    EXPECT_FALSE(QFile::exists(env.path(QStringLiteral("Rovemark/AutoImport/east.csv"))));
    const QStringList shown = messages();
    ASSERT_EQ(shown.size(), 1) << shown.join(u'|').toStdString();
    EXPECT_TRUE(shown[0].startsWith(QStringLiteral("S107\r\n  \\My Documents\\Rovemark Export\\east.csv\r\n")))
        << shown[0].toStdString();
    EXPECT_TRUE(shown[0].endsWith(QStringLiteral(": ") + plat::systemErrorText(ENOSPC))) << shown[0].toStdString();
}

TEST_F(SyncRun, LeftoversOfKilledCopiesInTheQueueAndTheDropFolderGoAtTheNextRun) {
    const QString queued = env.writeFile(QStringLiteral("Rovemark/AutoExport/.north.csv.k3x9q.tmp"), "half a copy");
    const QString fetched = env.writeFile(QStringLiteral("Rovemark/AutoImport/.east.csv.a1b2c.tmp"), "half a copy");
    const QString notOurs = env.writeFile(QStringLiteral("Rovemark/AutoExport/.notes.tmp"), "the user's");
    EXPECT_FALSE(run());
    EXPECT_FALSE(QFile::exists(queued));
    EXPECT_FALSE(QFile::exists(fetched));
    EXPECT_TRUE(QFile::exists(notOurs)) << "not of the program's naming";
}

} // namespace
