// The library's download and upload windows, driven through the scripted UI as a user would: pick entries,
// press the buttons, answer the questions.
#include "FaultyFileCalls.h"
#include "FullDisk.h"
#include "PdaDevice.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "pdalink/PdaSupportClient.h"
#include "platform/AtomicFile.h"

#include <QDialog>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kExport = QStringLiteral("My Documents/Rovemark Export/");

QStringList entries(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void select(QListWidget* list, const QStringList& names) {
    for (int i = 0; i < list->count(); ++i)
        list->item(i)->setSelected(names.contains(list->item(i)->text()));
}

// A run of the download window in which the user picks these entries, copies them and then presses Cancel.
std::function<int(QDialog*)> copyThenCancel(const QStringList& names) {
    return [names](QDialog* form) {
        select(form->findChild<QListWidget*>("listBox"), names);
        form->findChild<QPushButton*>("cmdOpenFile")->click();
        form->findChild<QPushButton*>("btnCancel")->click();
        return form->result();
    };
}

class PdaForms : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        PdaDevice::installLibrary(env.programDir(), true);
        ASSERT_TRUE(pda::CreatePdaSupport(object, [] { return 2; }));
        QDir().mkpath(env.path(QStringLiteral("rovemark/from")));
    }
    void TearDown() override {
        int sessions = -1, handles = -1;
        ASSERT_TRUE(PdaDevice::libraryCounters(&sessions, &handles));
        EXPECT_EQ(sessions, 0);
        EXPECT_EQ(handles, 0);
    }
    QStringList browse() {
        pda::CallStatus st;
        return object->BrowsePDA(QStringLiteral("Vordalin"), "T619", "T620", "T621", "T622", "T623", "T624", "T625",
                                 "T626", "T627", "T628", "T630", "T634", 1500, 1200, &st);
    }
    QString from(const QString& name) const { return env.path(QStringLiteral("rovemark/from/") + name); }

    TestEnv env;
    PdaDevice device;
    ScriptedUi ui;
    pda::PdaSupportObject object;
};

TEST_F(PdaForms, DownloadListsCsvFilesWithoutExtensionCopiesTheChosenOnesAndReportsThemBottomFirst) {
    device.writeFile(kExport + QStringLiteral("b.csv"), patternBytes(60000, 1));
    device.writeFile(kExport + QStringLiteral("DATA.CSV"), patternBytes(60001, 2));
    device.writeFile(kExport + QStringLiteral("notes.txt"), "n");
    device.writeFile(kExport + QStringLiteral("zz.csv"), "z");
    ui.expectDialog([&](QDialog* form) {
        EXPECT_EQ(form->windowTitle(), QStringLiteral("T619"));
        EXPECT_EQ(form->findChild<QPushButton*>("cmdOpenFile")->text(), QStringLiteral("T621"));
        auto* list = form->findChild<QListWidget*>("listBox");
        EXPECT_EQ(entries(list), (QStringList{"b", "DATA", "zz"}));
        // Nothing chosen: say so and stay.
        form->findChild<QPushButton*>("cmdOpenFile")->click();
        select(list, {"b", "DATA"});
        form->findChild<QPushButton*>("cmdOpenFile")->click();
        return form->result();
    });
    ui.expectMessage(plat::IDOK, QStringLiteral("T623"));
    ui.expectMessage(plat::IDOK, QStringLiteral("T634"));
    EXPECT_EQ(browse(), (QStringList{from("DATA.CSV"), from("b.csv")}));
    EXPECT_TRUE(TestEnv::readFile(from("DATA.CSV")) == patternBytes(60001, 2)) << "content differs";
    EXPECT_TRUE(TestEnv::readFile(from("b.csv")) == patternBytes(60000, 1)) << "content differs";
    EXPECT_EQ(ui.messages().back().title, QStringLiteral("Vordalin"));
}

TEST_F(PdaForms, DownloadAsksBeforeReplacingAndNoToEveryFileReportsNothing) {
    device.writeFile(kExport + QStringLiteral("a.csv"), "new a");
    device.writeFile(kExport + QStringLiteral("b.csv"), "new b");
    env.writeFile(QStringLiteral("rovemark/from/a.csv"), "old a");
    env.writeFile(QStringLiteral("rovemark/from/b.csv"), "old b");
    ui.expectDialog([&](QDialog* form) {
        auto* list = form->findChild<QListWidget*>("listBox");
        select(list, {"a", "b"});
        form->findChild<QPushButton*>("cmdOpenFile")->click();
        EXPECT_TRUE(list->selectedItems().isEmpty()) << "refused entries are deselected";
        form->findChild<QPushButton*>("btnCancel")->click();
        return form->result();
    });
    ui.expectMessage(plat::IDNO, QStringLiteral("b.csv - T626"));
    ui.expectMessage(plat::IDNO, QStringLiteral("a.csv - T626"));
    EXPECT_EQ(browse(), QStringList{QString()});
    EXPECT_EQ(TestEnv::readFile(from("a.csv")), "old a");

    ui.expectDialog([&](QDialog* form) {
        select(form->findChild<QListWidget*>("listBox"), {"a", "b"});
        form->findChild<QPushButton*>("cmdOpenFile")->click();
        return form->result();
    });
    ui.expectMessage(plat::IDYES, QStringLiteral("b.csv - T626"));
    ui.expectMessage(plat::IDNO, QStringLiteral("a.csv - T626"));
    ui.expectMessage(plat::IDOK, QStringLiteral("T634"));
    EXPECT_EQ(browse(), QStringList{from("b.csv")});
    EXPECT_EQ(TestEnv::readFile(from("b.csv")), "new b");
    EXPECT_EQ(TestEnv::readFile(from("a.csv")), "old a");
}

TEST_F(PdaForms, DeviceLostDuringADownloadSaysSoAndKeepsEveryWholeFile) {
    for (const char* name : {"a.csv", "b.csv", "c.csv"})
        device.writeFile(kExport + QLatin1String(name), patternBytes(70000, name[0]));
    device.connect(QStringLiteral("LoseAfterCalls=3")); // c: two reads; b: one read, then the device is gone
    ui.expectDialog([&](QDialog* form) {
        select(form->findChild<QListWidget*>("listBox"), {"a", "b", "c"});
        form->findChild<QPushButton*>("cmdOpenFile")->click();
        EXPECT_TRUE(form->isVisible() || form->result() != QDialog::Accepted) << "the window stays open";
        return form->result();
    });
    ui.expectMessage(plat::IDOK, QStringLiteral("T628"));
    EXPECT_EQ(browse(), QStringList{QString()});
    EXPECT_TRUE(TestEnv::readFile(from("c.csv")) == patternBytes(70000, 'c')) << "content differs";
    EXPECT_FALSE(QFile::exists(from("b.csv"))) << "no partial file";
    EXPECT_FALSE(QFile::exists(from("a.csv")));
}

TEST_F(PdaForms, AHugeDeviceFileIsCopiedInBlocksAndAFailureLeavesNoFile) {
    // The device reports 1 TiB (a sparse file); its third read fails. The window says so and stays usable.
    const QString huge = device.writeFile(kExport + QStringLiteral("huge.csv"), "");
    ASSERT_TRUE(QFile::resize(huge, 1LL << 40));
    device.connect(QStringLiteral("FailRead=huge.csv\nFailReadAt=3"));
    ui.expectDialog(copyThenCancel({"huge"}));
    ui.expectMessage(plat::IDOK, QStringLiteral("T628"));
    EXPECT_EQ(browse(), QStringList{QString()});
    EXPECT_EQ(QDir(env.path(QStringLiteral("rovemark/from"))).entryList(QDir::Files | QDir::Hidden), QStringList{})
        << "no partial file";
}

TEST_F(PdaForms, ADownloadOntoAFullDiskKeepsTheEarlierFileAndSaysWhy) {
    SmallTmpfs disk(512 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << qPrintable(disk.whyNot());
    // The from-folder lies on the small file system.
    QDir(env.path(QStringLiteral("rovemark/from"))).removeRecursively();
    ASSERT_TRUE(QFile::link(disk.path(), env.path(QStringLiteral("rovemark/from"))));
    env.writeFile(QStringLiteral("rovemark/from/a.csv"), "old a");
    ASSERT_TRUE(disk.fill());
    device.writeFile(kExport + QStringLiteral("a.csv"), patternBytes(70000, 'a'));
    ui.expectDialog(copyThenCancel({"a"}));
    ui.expectMessage(plat::IDYES, QStringLiteral("a.csv - T626"));
    ui.expectMessage(plat::IDOK, QStringLiteral("T630"));
    EXPECT_EQ(browse(), QStringList{QString()});
    const QString said = ui.messages().back().prompt;
    EXPECT_TRUE(said.contains(QStringLiteral("a.csv"))) << qPrintable(said);
    EXPECT_TRUE(said.endsWith(plat::systemErrorText(ENOSPC))) << qPrintable(said);
    EXPECT_EQ(TestEnv::readFile(from("a.csv")), "old a");
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"a.csv", "filler"}));
}

TEST_F(PdaForms, AFailedUploadKeepsTheEarlierCopyOnTheDeviceAndSaysWhichFileAndWhy) {
    env.writeFile(QStringLiteral("patrols/a.csv"), patternBytes(9000, 3));
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(env.path(QStringLiteral("patrols"))));
    using Step = FaultyFileCalls::Step;
    const struct {
        const char* faults; // the device's fault settings
        Step step;          // a file call that fails with EIO
        const char* reason;
    } cases[] = {
        {"FailWrite=a.csv\nFailWriteAt=2", Step::None, "the PDA did not take the whole file (error 29)"},
        {"", Step::Sync, "Input/output error"},
        {"", Step::Close, "Input/output error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        device.writeFile(QStringLiteral("My Documents/Rovemark Import/a.csv"), "earlier");
        device.connect(QString::fromLatin1(c.faults));
        FaultyFileCalls faults(c.step, EIO);
        const LibraryFileCalls inLibrary(&faults);
        ui.expectDialog([&](QDialog* form) {
            select(form->findChild<QListWidget*>("fileListBox"), {"a.csv"});
            form->findChild<QPushButton*>("cmdUpload")->click();
            return QDialog::Rejected;
        });
        ui.expectMessage(plat::IDYES, QStringLiteral("a.csv T626"));
        ui.expectMessage(plat::IDOK, QStringLiteral("T633\r\n\\My Documents\\Rovemark Import\\a.csv\r\n") +
                                         QLatin1String(c.reason));
        pda::CallStatus st;
        object->DMAUpload(QStringLiteral("Vordalin"), "T626", "T632", "T633", "T634", 0, 0, &st);
        EXPECT_EQ(TestEnv::readFile(device.path(QStringLiteral("My Documents/Rovemark Import/a.csv"))), "earlier");
        EXPECT_EQ(
            QDir(device.path(QStringLiteral("My Documents/Rovemark Import"))).entryList(QDir::Files | QDir::Hidden),
            QStringList{"a.csv"});
    }
    QDir::setCurrent(before);
}

TEST_F(PdaForms, UploadCopiesChosenFilesAndLeavesTheCurrentFolderAlone) {
    const QString pc = env.path(QStringLiteral("patrols"));
    env.writeFile(QStringLiteral("patrols/a.csv"), patternBytes(4097, 3));
    env.writeFile(QStringLiteral("patrols/B.CSV"), "");
    env.writeFile(QStringLiteral("patrols/notes.txt"), "n");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(pc));
    ui.expectDialog([&](QDialog* form) {
        auto* files = form->findChild<QListWidget*>("fileListBox");
        EXPECT_EQ(entries(files), (QStringList{"a.csv", "B.CSV"}));
        select(files, {"a.csv", "B.CSV"});
        form->findChild<QPushButton*>("cmdUpload")->click();
        EXPECT_TRUE(files->selectedItems().isEmpty());
        // Walk up one folder before closing: the next upload starts there.
        auto* folders = form->findChild<QListWidget*>("dirFolders");
        emit folders->itemActivated(folders->item(0));
        form->findChild<QPushButton*>("cmdClose")->click();
        return form->result();
    });
    ui.expectMessage(plat::IDOK, QStringLiteral("T634"));
    pda::CallStatus st;
    object->DMAUpload(QStringLiteral("Vordalin"), "T626", "T632", "T633", "T634", 0, 0, &st);
    EXPECT_EQ(TestEnv::readFile(device.path(QStringLiteral("My Documents/Rovemark Import/a.csv"))),
              patternBytes(4097, 3));
    EXPECT_TRUE(device.exists(QStringLiteral("My Documents/Rovemark Import/B.CSV")));
    EXPECT_EQ(QDir::currentPath(), pc);

    // Replacing asks first; the window opens where the last one was closed.
    ui.expectDialog([&](QDialog* form) {
        auto* folders = form->findChild<QListWidget*>("dirFolders");
        EXPECT_TRUE(entries(folders).contains(QStringLiteral("patrols")));
        emit folders->itemActivated(folders->findItems(QStringLiteral("patrols"), Qt::MatchExactly).value(0));
        select(form->findChild<QListWidget*>("fileListBox"), {"a.csv"});
        form->findChild<QPushButton*>("cmdUpload")->click();
        return QDialog::Rejected;
    });
    ui.expectMessage(plat::IDNO, QStringLiteral("a.csv T626"));
    object->DMAUpload(QStringLiteral("Vordalin"), "T626", "T632", "T633", "T634", 0, 0, &st);
    QDir::setCurrent(before);
}

TEST_F(PdaForms, UploadCountsNoFileThatDidNotReachTheDeviceWhole) {
    env.writeFile(QStringLiteral("patrols/a.csv"), patternBytes(4097, 3));
    env.writeFile(QStringLiteral("patrols/gone.csv"), "x");
    env.writeFile(QStringLiteral("patrols/ok.csv"), "fine");
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(env.path(QStringLiteral("patrols"))));
    device.connect(QStringLiteral("FailWrite=a.csv\nFailWriteAt=2"));
    ui.expectDialog([&](QDialog* form) {
        auto* files = form->findChild<QListWidget*>("fileListBox");
        select(files, {"a.csv", "gone.csv"});
        QFile::remove(env.path(QStringLiteral("patrols/gone.csv")));
        form->findChild<QPushButton*>("cmdUpload")->click();
        EXPECT_EQ(files->selectedItems().size(), 2) << "no success, so the choice stays";
        return QDialog::Rejected;
    });
    ui.expectMessage(plat::IDOK,
                     QStringLiteral("Unable to read PC file.  File=") + env.path(QStringLiteral("patrols/gone.csv")));
    ui.expectMessage(plat::IDOK, QStringLiteral("T633"));
    pda::CallStatus st;
    object->DMAUpload(QStringLiteral("Vordalin"), "T626", "T632", "T633", "T634", 0, 0, &st);
    QDir::setCurrent(before);
}

} // namespace
