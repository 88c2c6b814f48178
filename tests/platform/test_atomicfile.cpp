// The one routine every user file is written with: on a full disk, an I/O error or an interrupted write the
// old file stays byte for byte and the caller learns the system's reason.
#include "AsNobody.h"
#include "FaultyFileCalls.h"
#include "FullDisk.h"
#include "TestEnv.h"

#include "platform/AtomicFile.h"
#include "platform/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <grp.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
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

std::string contents(const QString& path) {
    std::string back;
    return plat::readFileBytes(path, back) ? back : std::string("<unreadable>");
}

void chownTo(const QString& path, uid_t uid, mode_t mode) {
    const QByteArray name = QFile::encodeName(path);
    ASSERT_EQ(::chown(name.constData(), uid, uid), 0);
    ASSERT_EQ(::chmod(name.constData(), mode), 0);
}

// A link is followed only where the kernel's protected links would follow it: when it belongs to the
// program's user or to the folder's owner. Another user who may write the folder (nobody, in a shared folder)
// cannot make root's save write into a file of nobody's choosing.
TEST(AtomicFile, ALinkIsFollowedOnlyWhenItsOwnerIsTrusted) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to make a link of another user";
    struct Case {
        const char* name;
        mode_t folderMode;
        uid_t folderOwner;
        uid_t linkOwner;
        bool followed;
    };
    const Case cases[] = {
        {"another user's link in a sticky shared folder", 01777, 0, 65534, false},
        {"another user's link in a shared folder", 0777, 0, 65534, false},
        {"our own link in a sticky shared folder", 01777, 0, 0, true},
        {"the folder owner's link", 01777, 65534, 65534, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir secrets;
        QTemporaryDir shared;
        const QString secret = secrets.filePath(QStringLiteral("root-only"));
        ASSERT_TRUE(plat::writeFileAtomically(secret, "secret"));
        ASSERT_EQ(::chmod(QFile::encodeName(secret).constData(), 0600), 0);
        chownTo(shared.path(), c.folderOwner, c.folderMode);
        const QString ini = shared.filePath(QStringLiteral("Quendar32.Ini"));
        const QByteArray link = QFile::encodeName(ini);
        ASSERT_EQ(::symlink(QFile::encodeName(secret).constData(), link.constData()), 0);
        ASSERT_EQ(::lchown(link.constData(), c.linkOwner, c.linkOwner), 0);

        QString error;
        EXPECT_EQ(plat::writeFileAtomically(ini, "[Settings]\n", &error), c.followed) << qPrintable(error);
        EXPECT_EQ(contents(secret), c.followed ? "[Settings]\n" : "secret");
        EXPECT_TRUE(QFileInfo(ini).isSymLink());
        if (!c.followed) {
            EXPECT_TRUE(error.contains(QStringLiteral("nobody")) && error.contains(QStringLiteral("not followed")))
                << qPrintable(error);
            plat::AtomicFile file(ini);
            EXPECT_FALSE(file.open());
            EXPECT_EQ(file.error(), EACCES);
        }
    }
    // Every link of a chain counts: our link to another user's link is refused as well.
    QTemporaryDir secrets;
    QTemporaryDir shared;
    const QString secret = secrets.filePath(QStringLiteral("root-only"));
    ASSERT_TRUE(plat::writeFileAtomically(secret, "secret"));
    chownTo(shared.path(), 0, 01777);
    const QByteArray theirs = QFile::encodeName(shared.filePath(QStringLiteral("theirs")));
    ASSERT_EQ(::symlink(QFile::encodeName(secret).constData(), theirs.constData()), 0);
    ASSERT_EQ(::lchown(theirs.constData(), 65534, 65534), 0);
    ASSERT_EQ(::symlink("theirs", QFile::encodeName(shared.filePath(QStringLiteral("ours"))).constData()), 0);
    EXPECT_FALSE(plat::writeFileAtomically(shared.filePath(QStringLiteral("ours")), "new"));
    EXPECT_EQ(contents(secret), "secret");
}

// A file with other hard links is written in place, so every name keeps reading the same file; the copy of
// the old contents is dropped once the save is done.
TEST(AtomicFile, AFileWithOtherLinksKeepsThem) {
    QTemporaryDir dir;
    QTemporaryDir state;
    ScopedEnv env("XDG_STATE_HOME", QFile::encodeName(state.path()));
    const QString target = dir.filePath(QStringLiteral("area.pdb"));
    const QString other = dir.filePath(QStringLiteral("other name.pdb"));
    ASSERT_TRUE(plat::writeFileAtomically(target, smallContents('o')));
    ASSERT_EQ(::link(QFile::encodeName(target).constData(), QFile::encodeName(other).constData()), 0);
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &before), 0);
    // Longer, then shorter: the file ends where the new contents end.
    for (const std::string& data : {smallContents('n') + "tail", std::string("short")}) {
        QString error;
        ASSERT_TRUE(plat::writeFileAtomically(target, data, &error)) << qPrintable(error);
        EXPECT_EQ(contents(target), data);
        EXPECT_EQ(contents(other), data);
    }
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_nlink, 2u);
    EXPECT_EQ(folderEntries(dir.path()), (QStringList{QStringLiteral("area.pdb"), QStringLiteral("other name.pdb")}));
    EXPECT_EQ(QDir(state.filePath(QStringLiteral("vordalin"))).entryList(QDir::Files | QDir::Hidden), QStringList());
    plat::AtomicFile file(target);
    ASSERT_TRUE(file.open());
    EXPECT_TRUE(file.writesInPlace());
}

// A save in place that fails puts the old contents back; where even that fails, the copy stays and the
// message says where it is.
TEST(AtomicFile, AFailedSaveInPlaceKeepsTheOldContents) {
    QTemporaryDir dir;
    QTemporaryDir state;
    ScopedEnv env("XDG_STATE_HOME", QFile::encodeName(state.path()));
    const QString target = dir.filePath(QStringLiteral("area.pdb"));
    const QString other = dir.filePath(QStringLiteral("linked.pdb"));
    const std::string old = smallContents('o');
    ASSERT_TRUE(plat::writeFileAtomically(target, old));
    ASSERT_EQ(::link(QFile::encodeName(target).constData(), QFile::encodeName(other).constData()), 0);
    const QString copies = state.filePath(QStringLiteral("vordalin"));

    // The file may not grow past the limit: the new contents fail, the old ones go back.
    const int result = runWithFileSizeLimit(8000, [&] {
        QString error;
        if (plat::writeFileAtomically(target, std::string(9000, 'n'), &error))
            return 0;
        return error == plat::systemErrorText(EFBIG) ? EFBIG : 1;
    });
    EXPECT_EQ(result, EFBIG);
    EXPECT_TRUE(contents(target) == old);
    EXPECT_TRUE(contents(other) == old);
    EXPECT_EQ(QDir(copies).entryList(QDir::Files | QDir::Hidden), QStringList());

    // The disk fills up once the copy is made: neither the new nor the old contents can be written back, so
    // the copy stays.
    QString error;
    {
        FaultyFileCalls faults(Step::Write, ENOSPC, old.size() + 100);
        EXPECT_FALSE(plat::writeFileAtomically(target, smallContents('n'), &error));
    }
    const QStringList kept = QDir(copies).entryList(QDir::Files | QDir::Hidden);
    ASSERT_EQ(kept.size(), 1);
    const QString copy = copies + u'/' + kept.first();
    EXPECT_TRUE(contents(copy) == old);
    EXPECT_EQ(error, plat::systemErrorText(ENOSPC) + QStringLiteral("; the old contents are kept in ") + copy);
    EXPECT_EQ(QFileInfo(copy).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther), 0);
}

// Where no new file may be made beside the target, a file the user may write is written in place: a folder
// of nobody's with mode 555, and a sticky shared folder holding root's world-writable file (the rename would
// be refused there). Written by nobody, for whom the folder's mode counts.
TEST(AtomicFile, AFileInAFolderWhereNoFileMayBeMadeIsWrittenInPlace) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to run a save as another user";
    struct Case {
        const char* name;
        mode_t folderMode;
        uid_t folderOwner;
        uid_t fileOwner;
        mode_t fileMode;
    };
    const Case cases[] = {
        {"a folder of mode 555", 0555, 65534, 65534, 0644},
        {"a sticky shared folder", 01777, 0, 0, 0666},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        QTemporaryDir state;
        chownTo(state.path(), 65534, 0700);
        const QString target = dir.filePath(QStringLiteral("area.pdb"));
        ASSERT_TRUE(plat::writeFileAtomically(target, "old contents"));
        chownTo(target, c.fileOwner, c.fileMode);
        chownTo(dir.path(), c.folderOwner, c.folderMode);
        const int result = testsupport::asNobody([&] {
            ::setenv("XDG_STATE_HOME", QFile::encodeName(state.path()).constData(), 1);
            QString error;
            if (plat::writeFileAtomically(target, "new", &error))
                return 0;
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        });
        EXPECT_EQ(result, 0);
        EXPECT_EQ(contents(target), "new");
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
        EXPECT_EQ(st.st_uid, c.fileOwner);
        EXPECT_EQ(st.st_mode & 07777, c.fileMode);
        EXPECT_EQ(folderEntries(dir.path()), QStringList{QStringLiteral("area.pdb")});
        EXPECT_EQ(QDir(state.filePath(QStringLiteral("vordalin"))).entryList(QDir::Files), QStringList());
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0700), 0);
    }
}

// The leftovers of a killed save (a hidden temporary file beside the target) go with the next save of that
// file: only names of our own making, of our own files, that no save in progress holds.
TEST(AtomicFile, LeftoversOfKilledSavesGoWithTheNextSave) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("area.pdb"));
    ASSERT_TRUE(plat::writeFileAtomically(target, "old"));
    // A save killed half-way: the child ends without its destructors, as a killed program does.
    const pid_t pid = ::fork();
    if (pid == 0) {
        auto* file = new plat::AtomicFile(target);
        std::_Exit(file->open() && file->write("half") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    ASSERT_EQ(folderEntries(dir.path()).size(), 2);

    auto make = [&](const char* name) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x");
    };
    make(".area.pdb.1a2b.tmp"); // an older leftover of ours
    make(".area.pdb.k9.tmp");   // a save in progress, which holds its lock
    make(".other.pdb.z1.tmp");  // another file's: left for that file's save
    make(".area.pdb.ABC.tmp");  // not of our naming
    make(".area.pdb.x-1.tmp");  // not of our naming
    make("area.pdb.1a2b.tmp");  // not hidden: not ours
    const int held = ::open(QFile::encodeName(dir.filePath(QStringLiteral(".area.pdb.k9.tmp"))).constData(), O_RDONLY);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(),
                        QFile::encodeName(dir.filePath(QStringLiteral(".area.pdb.l1.tmp"))).constData()),
              0); // a link is no file of ours
    // Nor is a pipe, which is not even opened (a reader would wait on it).
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral(".area.pdb.f1.tmp"))).constData(), 0600), 0);
    if (::geteuid() == 0) {
        make(".area.pdb.n1.tmp"); // another user's
        chownTo(dir.filePath(QStringLiteral(".area.pdb.n1.tmp")), 65534, 0644);
    }

    ASSERT_TRUE(plat::writeFileAtomically(target, "new"));
    QStringList expected = {QStringLiteral(".area.pdb.ABC.tmp"), QStringLiteral(".area.pdb.k9.tmp"),
                            QStringLiteral(".area.pdb.l1.tmp"),  QStringLiteral(".area.pdb.x-1.tmp"),
                            QStringLiteral(".area.pdb.f1.tmp"),  QStringLiteral(".other.pdb.z1.tmp"),
                            QStringLiteral("area.pdb"),          QStringLiteral("area.pdb.1a2b.tmp")};
    if (::geteuid() == 0)
        expected << QStringLiteral(".area.pdb.n1.tmp");
    expected.sort();
    QStringList left = folderEntries(dir.path());
    left.sort();
    EXPECT_EQ(left, expected);

    // The whole folder (a queue, say): every file's leftovers, but still none in use.
    EXPECT_EQ(plat::removeSaveLeftoversInFolder(dir.path()), 1);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral(".other.pdb.z1.tmp"))));
    EXPECT_TRUE(QFileInfo::exists(dir.filePath(QStringLiteral(".area.pdb.k9.tmp"))));
    ::close(held);
    EXPECT_EQ(plat::removeSaveLeftovers(target), 1);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral(".area.pdb.k9.tmp"))));
    EXPECT_EQ(contents(target), "new");
}

// A save in progress is never taken for a leftover, however often other saves of the file clean up.
TEST(AtomicFile, ASaveInProgressIsNotALeftover) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("area.pdb"));
    plat::AtomicFile file(target);
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.write("first"));
    EXPECT_EQ(plat::removeSaveLeftovers(target), 0);
    ASSERT_TRUE(plat::writeFileAtomically(target, "second"));
    ASSERT_TRUE(file.write(" and more"));
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(contents(target), "first and more");
}

} // namespace
