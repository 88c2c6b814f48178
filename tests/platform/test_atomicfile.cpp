// The one routine every user file is written with: on a full disk, an I/O error or an interrupted write the
// old file stays byte for byte and the caller learns the system's reason.
#include "FaultyFileCalls.h"
#include "FullDisk.h"
#include "TestEnv.h"

#include "platform/AtomicFile.h"
#include "platform/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Step = FaultyFileCalls::Step;

// About the size of a 5-logger area file.
std::string smallContents(char fill) {
    std::string s;
    for (int i = 0; s.size() < 5929; ++i)
        s += std::string(1, fill) + std::to_string(i) + ",\"AB 1234 5678\",\"\",\"\",0,0\r\n";
    return s.substr(0, 5929);
}

QStringList folderEntries(const QString& folder) {
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

struct FaultCase {
    const char* name;
    Step step;
    int error;
    size_t room; // bytes the disk takes before it is full (Write only)
};

class AtomicFileFaultTest : public ::testing::TestWithParam<FaultCase> {};

TEST_P(AtomicFileFaultTest, TheOldFileStaysAndTheReasonIsGiven) {
    const FaultCase& c = GetParam();
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("AREA.PDB"));
    const std::string old = smallContents('o');
    ASSERT_TRUE(plat::writeFileAtomically(target, old));

    QString error;
    {
        FaultyFileCalls faults(c.step, c.error, c.room);
        EXPECT_FALSE(plat::writeFileAtomically(target, smallContents('n'), &error));
        EXPECT_GE(faults.failures(), 1);
    }
    EXPECT_EQ(error, plat::systemErrorText(c.error));
    std::string back;
    ASSERT_TRUE(plat::readFileBytes(target, back));
    EXPECT_TRUE(back == old) << "the old file changed: " << back.size() << " bytes";
    // The temporary file is gone too.
    EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("AREA.PDB")});
}

INSTANTIATE_TEST_SUITE_P(Steps, AtomicFileFaultTest,
                         ::testing::Values(FaultCase{"FolderReadOnly", Step::Open, EACCES, 0},
                                           FaultCase{"DiskFullAtOnce", Step::Write, ENOSPC, 0},
                                           FaultCase{"DiskFullMidway", Step::Write, ENOSPC, 4000},
                                           FaultCase{"QuotaMidway", Step::Write, EDQUOT, 100},
                                           FaultCase{"IoErrorWriting", Step::Write, EIO, 512},
                                           FaultCase{"DiskFullAtSync", Step::Sync, ENOSPC, 0},
                                           FaultCase{"IoErrorAtSync", Step::Sync, EIO, 0},
                                           FaultCase{"DiskFullAtClose", Step::Close, ENOSPC, 0},
                                           FaultCase{"IoErrorAtClose", Step::Close, EIO, 0},
                                           FaultCase{"RenameRefused", Step::Rename, EBUSY, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

// Counts the steps in the order they come.
class RecordingFileCalls : public FaultyFileCalls {
public:
    RecordingFileCalls() : FaultyFileCalls(Step::None, 0) {}
    std::string order;
    int open(const char* path, int flags, mode_t mode) override {
        order += (flags & O_DIRECTORY) ? 'D' : 'O';
        return FaultyFileCalls::open(path, flags, mode);
    }
    ssize_t write(int fd, const void* data, size_t size) override {
        if (order.empty() || order.back() != 'W')
            order += 'W';
        return FaultyFileCalls::write(fd, data, size);
    }
    int fsync(int fd) override {
        order += 'S';
        return FaultyFileCalls::fsync(fd);
    }
    int close(int fd) override {
        order += 'C';
        return FaultyFileCalls::close(fd);
    }
    int rename(const char* from, const char* to) override {
        order += 'R';
        return FaultyFileCalls::rename(from, to);
    }
};

TEST(AtomicFile, SyncsTheDataBeforeTheRenameAndTheFolderAfterIt) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("area.pdb"));
    RecordingFileCalls calls;
    ASSERT_TRUE(plat::writeFileAtomically(target, smallContents('n')));
    // Open, write, sync, close, rename; then the folder: open, sync, close.
    EXPECT_EQ(calls.order, "OWSCRDSC");
}

// After the rename the new file is in place; a folder that cannot be synced is still said, since the save
// might not survive a power cut, so the caller keeps the document unsaved and the user can save again.
TEST(AtomicFile, AFolderThatCannotBeSyncedIsReported) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("area.pdb"));
    QString error;
    {
        FaultyFileCalls faults(Step::SyncFolder, EIO);
        EXPECT_FALSE(plat::writeFileAtomically(target, "new", &error));
    }
    EXPECT_EQ(error, plat::systemErrorText(EIO));
    std::string back;
    ASSERT_TRUE(plat::readFileBytes(target, back));
    EXPECT_EQ(back, "new");
    // A file system that cannot sync folders at all is no failure.
    FaultyFileCalls unsupported(Step::SyncFolder, EINVAL);
    EXPECT_TRUE(plat::writeFileAtomically(target, "newer"));
}

TEST(AtomicFile, ShortAndInterruptedWritesStillWriteEveryByte) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("area.pdb"));
    std::string data;
    for (int i = 0; i < 3000; ++i)
        data += std::to_string(i * 7919) + ',';
    FaultyFileCalls calls(Step::None, 0);
    calls.setStingy(7);
    ASSERT_TRUE(plat::writeFileAtomically(target, data));
    std::string back;
    ASSERT_TRUE(plat::readFileBytes(target, back));
    EXPECT_TRUE(back == data);
}

TEST(AtomicFile, StreamedWritesAndCancel) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("download.csv"));
    ASSERT_TRUE(plat::writeFileAtomically(target, "old"));
    {
        plat::AtomicFile file(target);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write("first,"));
        ASSERT_TRUE(file.write("second"));
        file.cancel();
    }
    {
        // Destroyed without a commit: nothing changes either.
        plat::AtomicFile file(target);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write("half"));
    }
    std::string back;
    ASSERT_TRUE(plat::readFileBytes(target, back));
    EXPECT_EQ(back, "old");
    EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("download.csv")});

    // After a failed write, commit fails with the first reason and replaces nothing.
    plat::AtomicFile file(target);
    ASSERT_TRUE(file.open());
    {
        FaultyFileCalls full(Step::Write, ENOSPC, 3);
        EXPECT_FALSE(file.write("more than three"));
    }
    EXPECT_FALSE(file.write("x"));
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(file.error(), ENOSPC);
    EXPECT_EQ(file.errorText(), plat::systemErrorText(ENOSPC));
    ASSERT_TRUE(plat::readFileBytes(target, back));
    EXPECT_EQ(back, "old");
}

TEST(AtomicFile, TheNewFileKeepsTheOldOnesPermissionsAndOwner) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("area.pdb"));
    ASSERT_TRUE(plat::writeFileAtomically(target, "old"));
    const QByteArray name = QFile::encodeName(target);
    ASSERT_EQ(::chmod(name.constData(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(name.constData(), 65534, 65534), 0);
    }
    ASSERT_TRUE(plat::writeFileAtomically(target, "new"));
    struct stat st {};
    ASSERT_EQ(::stat(name.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u);
        EXPECT_EQ(st.st_gid, 65534u);
    }
}

TEST(AtomicFile, RefusesWhatARenameMustNotReplace) {
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("locked.pdb"));
    ASSERT_TRUE(plat::writeFileAtomically(locked, "kept"));
    QFile::setPermissions(locked, QFileDevice::ReadOwner);
    QString error;
    EXPECT_FALSE(plat::writeFileAtomically(locked, "new", &error));
    EXPECT_EQ(error, plat::systemErrorText(EACCES));
    EXPECT_FALSE(plat::writeFileAtomically(dir.path(), "new", &error));
    EXPECT_EQ(error, plat::systemErrorText(EISDIR));
    EXPECT_FALSE(plat::writeFileAtomically(dir.filePath(QStringLiteral("missing/x.pdb")), "new", &error));
    EXPECT_EQ(error, plat::systemErrorText(ENOENT));
    std::string back;
    ASSERT_TRUE(plat::readFileBytes(locked, back));
    EXPECT_EQ(back, "kept");
}

// Another user's file in a folder everybody may write: its permissions allow us no write, so it is not
// replaced by our own file (a rename in the folder could), as a direct write would be refused.
TEST(AtomicFile, AFileWeMayNotWriteIsNotReplacedByOurOwn) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a file of another user";
    // Forked, so the child writes this test's file.
    const std::string style = GTEST_FLAG_GET(death_test_style);
    GTEST_FLAG_SET(death_test_style, "fast");
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    ASSERT_EQ(::chmod(folder.constData(), 0777), 0);
    const QString target = dir.filePath(QStringLiteral("theirs.pdb"));
    ASSERT_TRUE(plat::writeFileAtomically(target, "theirs"));
    const QByteArray name = QFile::encodeName(target);
    ASSERT_EQ(::chmod(name.constData(), 0644), 0);
    // Written by an ordinary user (nobody), in a process of its own.
    EXPECT_EXIT(
        {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                std::_Exit(2);
            QString error;
            const bool written = plat::writeFileAtomically(target, "ours", &error);
            std::_Exit(!written && error == plat::systemErrorText(EACCES) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    GTEST_FLAG_SET(death_test_style, style);
    std::string back;
    ASSERT_TRUE(plat::readFileBytes(target, back));
    EXPECT_EQ(back, "theirs");
    struct stat st {};
    ASSERT_EQ(::stat(name.constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u);
    EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("theirs.pdb")});
}

TEST(AtomicFile, ANameOfTheLongestLengthIsWritten) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QString(251, u'a') + QStringLiteral(".pdb"));
    QString error;
    ASSERT_TRUE(plat::writeFileAtomically(target, "new", &error)) << qPrintable(error);
    std::string back;
    ASSERT_TRUE(plat::readFileBytes(target, back));
    EXPECT_EQ(back, "new");
}

// A real full disk, without root: the file size limit makes the write fail as a full disk does.
TEST(AtomicFile, AFileSizeLimitLeavesTheOldFile) {
    QTemporaryDir dir;
    struct SizeCase {
        size_t oldSize, newSize, limit;
    };
    for (const SizeCase c : {SizeCase{5929, 5930, 4096}, SizeCase{3'600'000, 3'600'100, 1'000'000}}) {
        const QString target = dir.filePath(QStringLiteral("AREA.PDB"));
        std::string old(c.oldSize, 'o');
        old[c.oldSize / 2] = 'm';
        ASSERT_TRUE(plat::writeFileAtomically(target, old));
        const int result = runWithFileSizeLimit(c.limit, [&] {
            QString error;
            if (plat::writeFileAtomically(target, std::string(c.newSize, 'n'), &error))
                return 0;
            return error == plat::systemErrorText(EFBIG) ? EFBIG : 1;
        });
        EXPECT_EQ(result, EFBIG) << c.oldSize;
        std::string back;
        ASSERT_TRUE(plat::readFileBytes(target, back));
        EXPECT_TRUE(back == old) << c.oldSize << ": " << back.size() << " bytes";
        EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("AREA.PDB")});
    }
}

// The report's own case: a 512 KB tmpfs filled to the last byte.
TEST(AtomicFile, AFullTmpfsLeavesTheOldFile) {
    SmallTmpfs disk(512 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << qPrintable(disk.whyNot());
    const QString target = disk.path(QStringLiteral("AREA.PDB"));
    const std::string old = smallContents('o');
    ASSERT_TRUE(plat::writeFileAtomically(target, old));
    ASSERT_TRUE(disk.fill());
    QString error;
    EXPECT_FALSE(plat::writeFileAtomically(target, smallContents('n'), &error));
    EXPECT_EQ(error, plat::systemErrorText(ENOSPC));
    std::string back;
    ASSERT_TRUE(plat::readFileBytes(target, back));
    EXPECT_TRUE(back == old) << back.size() << " bytes";
    EXPECT_EQ(folderEntries(disk.path()), (QStringList{QStringLiteral("AREA.PDB"), QStringLiteral("filler")}));
    // Once there is room again the save goes through.
    ASSERT_TRUE(QFile::remove(disk.path(QStringLiteral("filler"))));
    EXPECT_TRUE(plat::writeFileAtomically(target, smallContents('n'), &error)) << qPrintable(error);
}

} // namespace
