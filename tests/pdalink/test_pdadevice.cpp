// The folder that stands for the hand-held: what the library's routines rely on of the device.
#include "FaultyFileCalls.h"
#include "PdaDevice.h"
#include "TestEnv.h"
#include "pdalink/CeDevice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QStringList listAll(const QString& pattern) {
    QStringList names;
    ce::FindData d;
    const ce::Handle h = ce::CeFindFirstFile(pattern, &d);
    if (h == ce::INVALID_HANDLE_VALUE)
        return names;
    do
        names << d.name;
    while (ce::CeFindNextFile(h, &d));
    ce::CeFindClose(h);
    return names;
}

TEST(PdaDeviceFolder, PathsIgnoreCaseAndNeverReachOutsideTheDevice) {
    TestEnv env;
    PdaDevice device;
    device.writeFile(QStringLiteral("My Documents/Rovemark Export/Data.CSV"), "12345");
    device.writeFile(QStringLiteral("My Documents/Rovemark Export/a\\b.csv"), "x"); // no device could hold it
    env.writeFile(QStringLiteral("secret.csv"), "pc only");
    ASSERT_EQ(ce::CeRapiInit(), ce::S_OK);

    EXPECT_EQ(listAll(QStringLiteral("\\MY DOCUMENTS\\rovemark export\\*")), QStringList{"Data.CSV"});
    EXPECT_EQ(listAll(QStringLiteral("\\*")), QStringList{"My Documents"}) << "the marker is not a device file";
    const ce::Handle f = ce::CeCreateFile(QStringLiteral("\\my documents\\ROVEMARK EXPORT\\data.csv"), ce::GENERIC_READ,
                                          ce::OPEN_EXISTING);
    ASSERT_NE(f, ce::INVALID_HANDLE_VALUE);
    uint32_t high = 1;
    EXPECT_EQ(ce::CeGetFileSize(f, &high), 5u);
    EXPECT_EQ(high, 0u);
    EXPECT_TRUE(ce::CeCloseHandle(f));

    for (const char* escape : {"\\..\\secret.csv", "\\My Documents\\..\\..\\secret.csv", "\\My Documents/../x.csv"}) {
        SCOPED_TRACE(escape);
        EXPECT_EQ(ce::CeCreateFile(QString::fromLatin1(escape), ce::GENERIC_WRITE, ce::CREATE_ALWAYS),
                  ce::INVALID_HANDLE_VALUE);
        EXPECT_EQ(ce::CeGetLastError(), ce::ERROR_PATH_NOT_FOUND);
    }
    EXPECT_FALSE(ce::CeFindClose(ce::INVALID_HANDLE_VALUE));
    ce::CeRapiUninit();
    EXPECT_EQ(ce::counters().sessionsOpen, 0);
    EXPECT_EQ(ce::counters().handlesOpen, 0);
}

TEST(PdaDeviceFolder, LinksAndTheMarkerAreNoDeviceEntries) {
    TestEnv env;
    PdaDevice device;
    QDir().mkpath(env.path(QStringLiteral("outside")));
    ASSERT_TRUE(QFile::link(env.path(QStringLiteral("outside")), device.path(QStringLiteral("link"))));
    ASSERT_TRUE(
        QFile::link(env.writeFile(QStringLiteral("secret.csv"), "pc only"), device.path(QStringLiteral("s.csv"))));
    device.connect(QStringLiteral("FailOpen=none"));
    ASSERT_EQ(ce::CeRapiInit(), ce::S_OK);
    for (const char* name : {"\\link\\x.csv", "\\LINK\\x.csv", "\\s.csv", "\\.cedevice", "\\.CEDEVICE"}) {
        SCOPED_TRACE(name);
        const QString path = QString::fromLatin1(name);
        EXPECT_EQ(ce::CeCreateFile(path, ce::GENERIC_WRITE, ce::CREATE_ALWAYS), ce::INVALID_HANDLE_VALUE);
        EXPECT_EQ(ce::CeCreateFile(path, ce::GENERIC_READ, ce::OPEN_EXISTING), ce::INVALID_HANDLE_VALUE);
        EXPECT_FALSE(ce::CeDeleteFile(path));
        EXPECT_FALSE(ce::CeMoveFile(path, QStringLiteral("\\moved")));
        EXPECT_FALSE(ce::CeCreateDirectory(path + QStringLiteral("\\sub")));
    }
    EXPECT_EQ(QDir(env.path(QStringLiteral("outside"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
              QStringList{});
    EXPECT_EQ(TestEnv::readFile(env.path(QStringLiteral("secret.csv"))), "pc only");
    EXPECT_EQ(TestEnv::readFile(device.path(QStringLiteral(".cedevice"))), "FailOpen=none");
    EXPECT_FALSE(device.exists(QStringLiteral("moved")));
    ce::CeRapiUninit();
}

TEST(PdaDeviceFolder, SessionWaitIsBoundedAndALostDeviceFailsEveryCall) {
    TestEnv env;
    PdaDevice device(false);
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(ce::CeRapiInit(), ce::E_FAIL);
    EXPECT_LT(t.elapsed(), 3000);
    ce::FindData d;
    EXPECT_EQ(ce::CeFindFirstFile(QStringLiteral("\\*"), &d), ce::INVALID_HANDLE_VALUE);
    EXPECT_EQ(ce::CeGetLastError(), ce::ERROR_DEVICE_NOT_CONNECTED);
    ce::CeRapiUninit();

    device.connect(QStringLiteral("LoseAfterCalls=1"));
    ASSERT_EQ(ce::CeRapiInit(), ce::S_OK);
    const ce::Handle f = ce::CeCreateFile(QStringLiteral("\\x.csv"), ce::GENERIC_WRITE, ce::CREATE_ALWAYS);
    ASSERT_NE(f, ce::INVALID_HANDLE_VALUE);
    uint32_t n = 0;
    EXPECT_TRUE(ce::CeWriteFile(f, "ab", 2, &n));
    EXPECT_FALSE(ce::CeWriteFile(f, "cd", 2, &n));
    EXPECT_EQ(ce::CeGetLastError(), ce::ERROR_DEVICE_NOT_CONNECTED);
    EXPECT_FALSE(device.exists(QStringLiteral(".cedevice")));
    EXPECT_TRUE(ce::CeCloseHandle(f));
    ce::CeRapiUninit();
}

TEST(PdaDeviceFolder, ASyncOrCloseThatFailsOnAWrittenFileIsReportedWithTheSystemsReason) {
    TestEnv env;
    PdaDevice device;
    using Step = FaultyFileCalls::Step;
    struct Case {
        const char* what;
        Step step;
        int error;
        // what CeFlushFileBuffers, CeCloseHandle, CeMoveFileEx(write-through) and CeCreateDirectory give
        bool flushed, closed, moved, made;
    };
    const Case cases[] = {
        {"all well", Step::None, 0, true, true, true, true},
        {"sync fails", Step::Sync, EIO, false, true, true, true},
        {"a file system that cannot sync", Step::Sync, EINVAL, true, true, true, true},
        {"close fails", Step::Close, ENOSPC, true, false, true, true},
        {"folder sync fails", Step::SyncFolder, EIO, true, true, false, false},
        {"a folder that cannot sync", Step::SyncFolder, EINVAL, true, true, true, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(device.path(QStringLiteral("My Documents/x.csv")));
        QFile::remove(device.path(QStringLiteral("My Documents/y.csv")));
        ASSERT_EQ(ce::CeRapiInit(), ce::S_OK);
        FaultyFileCalls faults(c.step, c.error);
        const ce::Handle f =
            ce::CeCreateFile(QStringLiteral("\\My Documents\\x.csv"), ce::GENERIC_WRITE, ce::CREATE_ALWAYS);
        ASSERT_NE(f, ce::INVALID_HANDLE_VALUE);
        uint32_t n = 0;
        EXPECT_TRUE(ce::CeWriteFile(f, "abc", 3, &n));
        const auto failedWith = [&](bool ok) {
            if (ok)
                return;
            EXPECT_EQ(ce::CeGetLastError(), ce::ERROR_WRITE_FAULT);
            EXPECT_EQ(ce::CeGetLastSystemError(), c.error);
        };
        const bool flushed = ce::CeFlushFileBuffers(f);
        EXPECT_EQ(flushed, c.flushed);
        failedWith(flushed);
        const bool closed = ce::CeCloseHandle(f);
        EXPECT_EQ(closed, c.closed);
        failedWith(closed);
        EXPECT_EQ(ce::counters().handlesOpen, 0) << "a handle whose close failed is gone all the same";
        const bool moved = ce::CeMoveFileEx(QStringLiteral("\\My Documents\\x.csv"),
                                            QStringLiteral("\\My Documents\\y.csv"), ce::MOVEFILE_WRITE_THROUGH);
        EXPECT_EQ(moved, c.moved);
        failedWith(moved);
        EXPECT_TRUE(device.exists(QStringLiteral("My Documents/y.csv"))) << "renamed, synced or not";
        QDir(device.path(QStringLiteral("My Documents/new"))).removeRecursively();
        const bool made = ce::CeCreateDirectory(QStringLiteral("\\My Documents\\new"));
        EXPECT_EQ(made, c.made);
        failedWith(made);
        EXPECT_TRUE(QFileInfo(device.path(QStringLiteral("My Documents/new"))).isDir()) << "made, synced or not";
        ce::CeRapiUninit();
    }

    // A file only read: its close has nothing to lose, so nothing is reported.
    device.writeFile(QStringLiteral("My Documents/r.csv"), "r");
    ASSERT_EQ(ce::CeRapiInit(), ce::S_OK);
    FaultyFileCalls faults(Step::Close, EIO);
    const ce::Handle r = ce::CeCreateFile(QStringLiteral("\\My Documents\\r.csv"), ce::GENERIC_READ, ce::OPEN_EXISTING);
    ASSERT_NE(r, ce::INVALID_HANDLE_VALUE);
    EXPECT_TRUE(ce::CeCloseHandle(r));
    ce::CeRapiUninit();
}

} // namespace
