// The PDA link library as its callers reach it: created by ProgID from the real shared library, over a
// folder that stands for the hand-held.
#include "FaultyFileCalls.h"
#include "PdaDevice.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "pdalink/PdaSupportClient.h"
#include "platform/ComponentRegistry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <dlfcn.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class PdaLibrary : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        PdaDevice::installLibrary(env.programDir(), true);
        ASSERT_TRUE(pda::CreatePdaSupport(object, [] {
            ADD_FAILURE() << "no Retry/Cancel box expected";
            return 2;
        }));
        object->HandHeldPresent(QStringLiteral("Tester"), 1000);
    }
    void TearDown() override {
        int sessions = -1, handles = -1;
        ASSERT_TRUE(PdaDevice::libraryCounters(&sessions, &handles));
        EXPECT_EQ(sessions, 0) << "a call left its device session open";
        EXPECT_EQ(handles, 0) << "a call left a device handle open";
    }
    QString exportFile(const QString& name) const { return QStringLiteral("\\My Documents\\Rovemark Export\\") + name; }

    TestEnv env;
    PdaDevice device;
    ScriptedUi ui;
    pda::PdaSupportObject object;
};

TEST(PdaCreation, UnregisteredLibraryIsRegisteredSilentlyAndCreatedOnTheSecondAttempt) {
    ensureApplication();
    TestEnv env;
    ScriptedUi ui;
    PdaDevice::installLibrary(env.programDir(), false);
    ASSERT_TRUE(plat::components::libraryFor(QLatin1String(pda::kProgId)).isEmpty());
    EXPECT_EQ(pda::CreateObject().number, pda::kErrCannotCreate);

    int asked = 0;
    pda::PdaSupportObject object;
    ASSERT_TRUE(pda::CreatePdaSupport(object, [&] { return ++asked, 2; }));
    EXPECT_EQ(asked, 0);
    EXPECT_TRUE(object);
    EXPECT_EQ(QFileInfo(plat::components::libraryFor(QLatin1String(pda::kProgId))).fileName(),
              QLatin1String(pda::kLibraryFileName));
}

TEST(PdaCreation, ASlowRegistrarIsWaitedForRatherThanStoppedHalfWay) {
    ensureApplication();
    TestEnv env;
    ScriptedUi ui;
    PdaDevice::installLibrary(env.programDir(), false);
    // A busy machine: the registrar takes a couple of seconds before it writes the entry.
    const QString real = QFileInfo(env.path(QStringLiteral("vordregsvr"))).canonicalFilePath();
    QFile::remove(env.path(QStringLiteral("vordregsvr")));
    env.writeFile(QStringLiteral("vordregsvr"), ("#!/bin/sh\nsleep 2\nexec '" + real + "' \"$@\"\n").toStdString());
    QFile::setPermissions(env.path(QStringLiteral("vordregsvr")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    int asked = 0;
    pda::PdaSupportObject object;
    ASSERT_TRUE(pda::CreatePdaSupport(object, [&] { return ++asked, 2; }));
    EXPECT_EQ(asked, 0) << "the user was asked to retry a registration that was still under way";
}

TEST(PdaRegistrar, ABareNameIsTheLibraryInTheCurrentFolderAndEveryFailureExitsWithOneLine) {
    ensureApplication();
    TestEnv env;
    PdaDevice::installLibrary(env.programDir(), false);
    env.writeFile(QStringLiteral("broken.so"), "not a library");
    const QString library = env.programDir() + QStringLiteral("/libVordPDASupport.so");
    const struct {
        QStringList args;
        int exitCode;
        QString registered; // the registry's entry afterwards
        int errorLines;
    } cases[] = {
        {{"/s", "libVordPDASupport.so"}, 0, library, 0},
        {{"/s", "/u", "libVordPDASupport.so"}, 0, QString(), 0},
        {{"libVordPDASupport.so"}, 0, library, 0},
        {{"/s", "missing.so"}, 1, library, 1},
        {{"/s", "broken.so"}, 1, library, 1},
        {{"missing.so"}, 1, library, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        QProcess p;
        p.setWorkingDirectory(env.programDir());
        p.start(env.programDir() + QStringLiteral("/vordregsvr"), c.args);
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitCode(), c.exitCode);
        const QString errors = QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_EQ(errors.count(u'\n'), c.errorLines) << errors.toStdString();
        if (c.errorLines) {
            EXPECT_TRUE(errors.startsWith(QStringLiteral("vordregsvr: "))) << errors.toStdString();
        }
        EXPECT_EQ(plat::components::libraryFor(QLatin1String(pda::kProgId)), c.registered);
    }
}

TEST(PdaCreation, BrokenLibraryAsksRetryOrCancelAndCancelGivesUp) {
    ensureApplication();
    TestEnv env;
    ScriptedUi ui;
    PdaDevice::installLibrary(env.programDir(), false);
    // A damaged library file in the program folder, registered: loading fails, so does registering it again.
    QFile::remove(env.path(QStringLiteral("libVordPDASupport.so")));
    env.writeFile(QStringLiteral("libVordPDASupport.so"), "not a library");
    plat::components::registerServer(QLatin1String(pda::kProgId), env.path(QStringLiteral("libVordPDASupport.so")));
    EXPECT_EQ(pda::CreateObject().number, pda::kErrCannotCreate);

    std::vector<int> answers{plat::IDRETRY, plat::IDCANCEL};
    size_t asked = 0;
    pda::PdaSupportObject object;
    EXPECT_FALSE(pda::CreatePdaSupport(object, [&] { return answers.at(asked++); }));
    EXPECT_EQ(asked, 2u);
    EXPECT_FALSE(object);
}

// Root runs a program with another user's settings folder (sudo without -H): a library that user put in
// place, or could have changed, is not loaded, and the program says which file and why.
TEST(PdaCreation, ALibraryAnotherUserCouldHavePlacedIsRefusedWithTheFileAndTheReason) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root, to give files to another user";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    ensureApplication();
    TestEnv env;
    PdaDevice::installLibrary(env.programDir(), false);
    const std::string bytes = TestEnv::readFile(PdaDevice::buildLibraryPath());
    ASSERT_FALSE(bytes.empty());

    struct Case {
        const char* what;
        bool fileToNobody, folderToNobody;
        mode_t fileMode, folderMode;
        bool fifo;
        const char* reason;
    };
    const Case cases[] = {
        {"the user's own library", true, true, 0755, 0755, false, "it belongs to user nobody, not to root"},
        {"root's library that others may change", false, false, 0666, 0755, false,
         "it may be changed by other users (mode 0666)"},
        {"root's library in the user's folder", false, true, 0755, 0755, false, "belongs to user nobody"},
        {"root's library in a folder everyone may write", false, false, 0755, 01777, false,
         "may be changed by other users (mode 1777)"},
        {"a pipe in place of the library", false, false, 0644, 0755, true, "it is not a regular file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir home;
        const QString folder = home.path() + QStringLiteral("/lib");
        ASSERT_TRUE(QDir().mkdir(folder));
        const QString library = folder + QStringLiteral("/libVordPDASupport.so");
        if (c.fifo) {
            ASSERT_EQ(::mkfifo(QFile::encodeName(library).constData(), c.fileMode), 0);
        } else {
            QFile f(library);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes.data(), static_cast<qint64>(bytes.size()));
        }
        const QByteArray lib = QFile::encodeName(library), dir = QFile::encodeName(folder);
        ASSERT_EQ(::chmod(lib.constData(), c.fileMode), 0);
        ASSERT_EQ(::chmod(dir.constData(), c.folderMode), 0);
        if (c.fileToNobody) {
            ASSERT_EQ(::chown(lib.constData(), nobody->pw_uid, nobody->pw_gid), 0);
        }
        if (c.folderToNobody) {
            ASSERT_EQ(::chown(dir.constData(), nobody->pw_uid, nobody->pw_gid), 0);
        }
        // The user's registration names that library; the file itself is the user's too.
        ASSERT_TRUE(plat::components::registerServer(QLatin1String(pda::kProgId), library));
        ASSERT_EQ(::chown(QFile::encodeName(plat::components::registrationFile()).constData(), nobody->pw_uid,
                          nobody->pw_gid),
                  0);

        const pda::CreateOutcome made = pda::CreateObject();
        EXPECT_EQ(made.number, pda::kErrCannotCreate);
        EXPECT_TRUE(made.refused);
        EXPECT_TRUE(made.description.startsWith(QStringLiteral("The PDA link library ") + library))
            << made.description.toStdString();
        EXPECT_TRUE(made.description.contains(QLatin1String(c.reason))) << made.description.toStdString();
        if (!c.fifo) { // the loader opens even to look, and a pipe holds it
            EXPECT_EQ(::dlopen(lib.constData(), RTLD_NOW | RTLD_NOLOAD), nullptr) << "the library was loaded";
        }

        // The program says it once, registers the library of its own folder and goes on with that one.
        ScriptedUi ui;
        ui.expectMessage(plat::IDOK, made.description);
        int asked = 0;
        pda::PdaSupportObject object;
        EXPECT_TRUE(pda::CreatePdaSupport(object, [&] { return ++asked, 2; }));
        EXPECT_EQ(asked, 0);
        EXPECT_EQ(plat::components::libraryFor(QLatin1String(pda::kProgId)),
                  env.path(QLatin1String(pda::kLibraryFileName)));
    }
}

TEST_F(PdaLibrary, HandHeldPresentOnlyWhenTheConnectionIsReallyUp) {
    struct Case {
        const char* what;
        bool connected;
        const char* faults;
        int waitMs;
        bool present;
    };
    const Case cases[] = {
        {"connected", true, "", 1000, true},
        {"no device", false, "", 150, false},
        {"connection attempt fails", true, "ConnectFails=1", 1000, false},
        {"connection too slow", true, "ConnectDelayMs=2000", 100, false},
        {"connection slow but in time", true, "ConnectDelayMs=100", 1000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.connected)
            device.connect(QString::fromLatin1(c.faults));
        else
            device.disconnect();
        if (!c.present)
            ui.expectMessage(plat::IDOK, QStringLiteral("Mobile Device not connected"));
        EXPECT_EQ(object->HandHeldPresent(QStringLiteral("Title ") + QLatin1String(c.what), c.waitMs), c.present);
        if (!c.present) {
            EXPECT_EQ(ui.messages().back().title, QStringLiteral("Title ") + QLatin1String(c.what));
            // The message says where the device was looked for.
            EXPECT_TRUE(ui.messages().back().prompt.contains(QStringLiteral("looked for in ") + device.root()))
                << ui.messages().back().prompt.toStdString();
        }
    }
    // With no device folder set at all the message says how to set one.
    const QByteArray root = qgetenv("VORD_CE_DEVICE");
    qunsetenv("VORD_CE_DEVICE");
    ui.expectMessage(plat::IDOK, QStringLiteral("No device folder is set: set VORD_CE_DEVICE"));
    EXPECT_FALSE(object->HandHeldPresent(QStringLiteral("Title"), 100));
    qputenv("VORD_CE_DEVICE", root);
}

TEST_F(PdaLibrary, FileListHoldsCsvEntriesInDeviceOrderAndNoNameThatCouldLeaveAPcFolder) {
    device.writeFile(QStringLiteral("My Documents/Rovemark Export/A.CSV"), "a");
    device.writeFile(QStringLiteral("My Documents/Rovemark Export/b.txt"), "b");
    device.writeFile(QStringLiteral("My Documents/Rovemark Export/c.csv"), "c");
    QDir().mkpath(device.path(QStringLiteral("My Documents/Rovemark Export/d.csv")));
    device.writeFile(QStringLiteral("My Documents/Rovemark Export/..\\..\\evil.csv"), "x");
    EXPECT_EQ(object->GetPDAFileList(QStringLiteral("\\My Documents\\Rovemark Export")),
              (QStringList{"A.CSV", "c.csv", "d.csv"}));
    EXPECT_EQ(object->GetPDAFileList(QStringLiteral("\\my documents\\ROVEMARK EXPORT")).size(), 3);
    EXPECT_TRUE(object->GetPDAFileList(QStringLiteral("\\My Documents\\Rovemark AutoImport")).isEmpty());
    EXPECT_TRUE(object->GetPDAFileList(QStringLiteral("\\My Documents\\Nowhere")).isEmpty());
}

TEST_F(PdaLibrary, CopiesKeepEveryByteEachWayAtBlockBoundaries) {
    QDir().mkpath(env.path(QStringLiteral("pc")));
    for (size_t size : {0, 1, 4096, 4097, 8193, 20000, 20001, 45000}) {
        SCOPED_TRACE(size);
        const std::string bytes = patternBytes(size, static_cast<unsigned>(size));
        const QString up = env.writeFile(QStringLiteral("pc/up.csv"), bytes);
        pda::CallStatus st;
        ASSERT_TRUE(object->CopyPCFileToPDA(up, QStringLiteral("\\My Documents\\Rovemark AutoImport\\up.csv"), &st));
        EXPECT_TRUE(TestEnv::readFile(device.path(QStringLiteral("My Documents/Rovemark AutoImport/up.csv"))) == bytes)
            << "content differs";

        device.writeFile(QStringLiteral("My Documents/Rovemark Export/down.csv"), bytes);
        ASSERT_TRUE(object->CopyPDAFileToPC(exportFile(QStringLiteral("DOWN.CSV")),
                                            env.path(QStringLiteral("pc/down.csv")), &st));
        EXPECT_TRUE(TestEnv::readFile(env.path(QStringLiteral("pc/down.csv"))) == bytes) << "content differs";
        EXPECT_TRUE(st.ok());
    }
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(PdaLibrary, FailedCopiesSayWhyReturnFalseAndKeepTheTargetWhole) {
    QDir().mkpath(env.path(QStringLiteral("pc")));
    const QString up = env.writeFile(QStringLiteral("pc/up.csv"), patternBytes(4097));
    const QString target = QStringLiteral("\\My Documents\\Rovemark AutoImport\\up.csv");
    pda::CallStatus st;

    // The final block of 1 byte fails: the copy is not whole, so it is not a success.
    device.connect(QStringLiteral("FailWrite=up.csv\nFailWriteAt=2"));
    ui.expectMessage(plat::IDOK, QStringLiteral("Error writing to PDA file.  File=") + target);
    EXPECT_FALSE(object->CopyPCFileToPDA(up, target, &st));

    device.connect(QStringLiteral("FailCreate=up.csv"));
    ui.expectMessage(plat::IDOK, QStringLiteral("Unable to create target file.  File=") + target);
    EXPECT_FALSE(object->CopyPCFileToPDA(up, target, &st));

    // A short write is carried on from where it stopped.
    device.connect(QStringLiteral("ShortWrite=up.csv"));
    EXPECT_TRUE(object->CopyPCFileToPDA(up, target, &st));
    EXPECT_TRUE(TestEnv::readFile(device.path(QStringLiteral("My Documents/Rovemark AutoImport/up.csv"))) ==
                patternBytes(4097))
        << "content differs";

    device.connect();
    EXPECT_TRUE(st.ok());
    EXPECT_FALSE(object->CopyPCFileToPDA(env.path(QStringLiteral("pc/missing.csv")), target, &st));
    EXPECT_EQ(st.number, pda::kErrFileNotFound);

    // Downloads: the PC file is written only from a whole device file; an earlier copy stays as it was.
    const QString pcTarget = env.writeFile(QStringLiteral("pc/down.csv"), "previous");
    device.writeFile(QStringLiteral("My Documents/Rovemark Export/down.csv"), patternBytes(50000));
    ui.expectMessage(plat::IDOK, exportFile(QStringLiteral("gone.csv")) + QStringLiteral(" not found."));
    st = {};
    EXPECT_FALSE(object->CopyPDAFileToPC(exportFile(QStringLiteral("gone.csv")), pcTarget, &st));
    device.connect(QStringLiteral("FailRead=down.csv\nFailReadAt=2"));
    ui.expectMessage(
        plat::IDOK,
        QStringLiteral("A file could not be read from the PDA: the PDA did not give the whole file (error 30)."));
    EXPECT_FALSE(object->CopyPDAFileToPC(exportFile(QStringLiteral("down.csv")), pcTarget, &st));
    device.connect(QStringLiteral("FailOpen=down.csv"));
    ui.expectMessage(plat::IDOK, QStringLiteral("Unable to open WinCE file"));
    EXPECT_FALSE(object->CopyPDAFileToPC(exportFile(QStringLiteral("down.csv")), pcTarget, &st));
    // The device goes away after the first block.
    device.connect(QStringLiteral("LoseAfterCalls=1"));
    ui.expectMessage(plat::IDOK,
                     QStringLiteral("A file could not be read from the PDA: the PDA was disconnected (error 1167)."));
    EXPECT_FALSE(object->CopyPDAFileToPC(exportFile(QStringLiteral("down.csv")), pcTarget, &st));
    EXPECT_EQ(TestEnv::readFile(pcTarget), "previous");
    EXPECT_TRUE(st.ok());

    // Later calls find no device within the bounded wait and say so instead of hanging.
    ui.expectMessage(plat::IDOK, QStringLiteral("Mobile Device not connected"));
    EXPECT_FALSE(object->CopyPDAFileToPC(exportFile(QStringLiteral("down.csv")), pcTarget, &st));

    device.connect();
    EXPECT_FALSE(object->CopyPDAFileToPC(exportFile(QStringLiteral("down.csv")),
                                         env.path(QStringLiteral("no/such/folder.csv")), &st));
    EXPECT_EQ(st.number, pda::kErrPathAccess);
}

TEST_F(PdaLibrary, AFailedUploadKeepsTheEarlierCopyAndLeavesNoTemporaryFile) {
    QDir().mkpath(env.path(QStringLiteral("pc")));
    const QString up = env.writeFile(QStringLiteral("pc/up.csv"), patternBytes(9000, 7));
    const QString target = QStringLiteral("\\My Documents\\Rovemark AutoImport\\up.csv");
    const QString onDevice = QStringLiteral("My Documents/Rovemark AutoImport/up.csv");
    const auto folder = [&] {
        return QDir(device.path(QStringLiteral("My Documents/Rovemark AutoImport")))
            .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    device.writeFile(onDevice, "earlier good copy");
    pda::CallStatus st;
    for (const char* fault : {"FailWrite=up.csv\nFailWriteAt=1", "FailWrite=up.csv\nFailWriteAt=3"}) {
        SCOPED_TRACE(fault);
        device.connect(QString::fromLatin1(fault));
        ui.expectMessage(plat::IDOK, QStringLiteral("Error writing to PDA file.  File=") + target);
        EXPECT_FALSE(object->CopyPCFileToPDA(up, target, &st));
        EXPECT_EQ(TestEnv::readFile(device.path(onDevice)), "earlier good copy");
        EXPECT_EQ(folder(), QStringList{"up.csv"});
    }
    // A whole copy replaces the earlier one and nothing else stays behind.
    device.connect();
    ASSERT_TRUE(object->CopyPCFileToPDA(up, target, &st));
    EXPECT_TRUE(TestEnv::readFile(device.path(onDevice)) == patternBytes(9000, 7)) << "content differs";
    EXPECT_EQ(folder(), QStringList{"up.csv"});
}

TEST_F(PdaLibrary, AnUploadIsDoneOnlyOnceTheDeviceHasSyncedAndClosedTheFileAndSyncedItsName) {
    QDir().mkpath(env.path(QStringLiteral("pc")));
    const QString up = env.writeFile(QStringLiteral("pc/up.csv"), patternBytes(5000, 3));
    const QString target = QStringLiteral("\\My Documents\\Rovemark AutoImport\\up.csv");
    const QString onDevice = QStringLiteral("My Documents/Rovemark AutoImport/up.csv");
    using Step = FaultyFileCalls::Step;
    const struct {
        const char* what;
        Step step;
        int error;
        bool copied;
    } cases[] = {
        {"device file sync fails", Step::Sync, EIO, false},
        {"device file close fails", Step::Close, ENOSPC, false},
        {"device folder sync fails", Step::SyncFolder, EIO, false},
        {"a device that cannot sync", Step::Sync, EINVAL, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        device.writeFile(onDevice, "earlier good copy");
        FaultyFileCalls faults(c.step, c.error);
        const LibraryFileCalls inLibrary(&faults);
        ASSERT_TRUE(inLibrary.installed());
        const QString reason = plat::systemErrorText(c.error);
        if (!c.copied)
            ui.expectMessage(plat::IDOK, QStringLiteral("Error writing to PDA file.  File=") + target +
                                             QStringLiteral("\r\n") + reason);
        pda::CallStatus st;
        EXPECT_EQ(object->CopyPCFileToPDA(up, target, &st), c.copied);
        EXPECT_EQ(faults.failures(), 1) << "the step was reached";
        EXPECT_TRUE(st.ok());
        EXPECT_EQ(st.description, c.copied ? QString() : reason) << "the caller gets the reason for its own message";
        EXPECT_TRUE(TestEnv::readFile(device.path(onDevice)) ==
                    (c.copied ? patternBytes(5000, 3) : std::string("earlier good copy")));
        EXPECT_EQ(QDir(device.path(QStringLiteral("My Documents/Rovemark AutoImport")))
                      .entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot),
                  QStringList{"up.csv"})
            << "no temporary file stays";
    }
}

TEST_F(PdaLibrary, ADownloadTakesBoundedMemoryWhateverSizeTheDeviceReports) {
    // A sparse file: large as the device reports it, cheap on disk. The copy must not hold it in memory.
    constexpr qint64 kSize = 160LL << 20;
    const QString big = device.writeFile(QStringLiteral("My Documents/Rovemark Export/big.csv"), "");
    ASSERT_TRUE(QFile::resize(big, kSize));
    QDir().mkpath(env.path(QStringLiteral("pc")));
    const QString pcTarget = env.path(QStringLiteral("pc/big.csv"));
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before);
    pda::CallStatus st;
    ASSERT_TRUE(object->CopyPDAFileToPC(exportFile(QStringLiteral("big.csv")), pcTarget, &st));
    rusage after{};
    ::getrusage(RUSAGE_SELF, &after);
    EXPECT_EQ(QFileInfo(pcTarget).size(), kSize);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 32L << 10) << "kB more at the peak";
    QFile::remove(pcTarget);
}

TEST_F(PdaLibrary, DeleteReportsTheDeviceResultOnlyAndTheRestDoNothing) {
    device.writeFile(QStringLiteral("My Documents/Rovemark Export/x.csv"), "x");
    EXPECT_NE(object->DeletePDAFile(exportFile(QStringLiteral("X.csv"))), 0);
    EXPECT_FALSE(device.exists(QStringLiteral("My Documents/Rovemark Export/x.csv")));
    EXPECT_EQ(object->DeletePDAFile(exportFile(QStringLiteral("x.csv"))), 0);
    EXPECT_FALSE(object->SpawnCeProg_PDASup());
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(PdaLibrary, PatrolDataIsAppendedToThePcFileAsOneLine) {
    device.writeFile(QStringLiteral("patroldata.csv"), "1,2,3");
    const QString pc = env.writeFile(QStringLiteral("log.csv"), "old\r\n");
    pda::CallStatus st;
    EXPECT_TRUE(object->GetFileFromCeDevice_PDASup(pc, &st));
    EXPECT_EQ(TestEnv::readFile(pc), "old\r\n1,2,3\r\n");
}

} // namespace
