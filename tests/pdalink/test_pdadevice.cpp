// The folder that stands for the hand-held: what the library's routines rely on of the device.
#include "PdaDevice.h"
#include "TestEnv.h"
#include "pdalink/CeDevice.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

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

} // namespace
