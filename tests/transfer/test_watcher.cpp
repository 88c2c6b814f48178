// The auto-import watcher: when it comes up, how its list follows the folder, and Import and Close.
#include "FullDisk.h"
#include "TransferFixtures.h"
#include "core/Shared.h"
#include "documents/frmDMA.h"
#include "lang/LangText.h"
#include "platform/AtomicFile.h"
#include "platform/WindowRegistry.h"
#include "transfer/TransferFolders.h"
#include "transfer/frmAutoSyncWatcher.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class WatcherTest : public ::testing::Test, public TransferTest {
protected:
    void SetUp() override {
        main.resize(400, 300);
        main.show();
        watcher = StartAutoSyncWatcher(&main);
    }
    void TearDown() override { delete watcher; }
    QString importFolder() const { return path(QStringLiteral("rovemark/AutoImport")); }
    void drop(const QString& name, const std::vector<int32_t>& serials = {1100001}) {
        deliver(name, serials);
        QDir().mkpath(importFolder());
        QFile::rename(deliveryFolder() + u'/' + name, importFolder() + u'/' + name);
    }
    QStringList listed() const {
        QStringList out;
        for (int i = 0; i < watcher->lstImportFiles->count(); ++i)
            out << watcher->lstImportFiles->item(i)->text();
        return out;
    }
    // A modal run of the watcher that records what it listed and then does what the test says.
    std::function<int(QDialog*)> whileShown(std::function<void()> act = {}) {
        return [this, act](QDialog*) {
            ++shownCount;
            shownList = listed();
            EXPECT_TRUE(watcher->tmrListFiles->isActive());
            EXPECT_FALSE(watcher->tmrCheckFolder->isActive());
            if (act)
                act();
            return 0;
        };
    }
    // Import of a.csv whose move into the from-folder fails every time: Retry on the first failure, Cancel (discard
    // the file) on the second, OK on "nothing imported". Returns the file's path in the import folder.
    QString importWithFailingMove(ScriptedUi& ui) {
        const QString source = importFolder() + QStringLiteral("/a.csv");
        ui.expectDialog(whileShown([this] { watcher->cmdImport->click(); }));
        ui.expectMessage(plat::IDRETRY, source);
        ui.expectMessage(plat::IDCANCEL, source);
        ui.expectMessage(plat::IDOK, LoadLangString(txt::NothingImported));
        watcher->tmrCheckFolder_Timer();
        return source;
    }
    static std::vector<frmDMA*> listWindows() {
        std::vector<frmDMA*> out;
        for (QWidget* w : plat::windows::loadedNamed(QStringLiteral("frmDMA")))
            out.push_back(static_cast<frmDMA*>(w));
        return out;
    }

    QWidget main;
    frmAutoSyncWatcher* watcher = nullptr;
    int shownCount = 0;
    QStringList shownList;
};

TEST_F(WatcherTest, LoadsHiddenAndChecksTheImportFolderEverySecond) {
    EXPECT_FALSE(watcher->isVisible());
    EXPECT_EQ(watcher->windowTitle(), QStringLiteral("Vordalin Auto-Sync"));
    EXPECT_EQ(watcher->cmdImport->text(), QStringLiteral("Import"));
    EXPECT_EQ(watcher->cmdClose->text(), QStringLiteral("Close"));
    EXPECT_EQ(watcher->WatchPattern, programDir() + QStringLiteral("/Rovemark/AutoImport/*.CSV"));
    EXPECT_TRUE(watcher->tmrCheckFolder->isActive());
    EXPECT_EQ(watcher->tmrCheckFolder->interval(), 1000);
    EXPECT_FALSE(watcher->tmrListFiles->isActive());
    EXPECT_EQ(watcher->LastFileList, QStringList{QString()});
}

TEST_F(WatcherTest, ComesUpOnlyForCsvFilesWhileTheMainWindowIsUpAndNothingElseIsModal) {
    struct Case {
        const char* what;
        bool csvFile;
        bool minimised;
        bool otherModal;
        bool switchedOff;
        bool shows;
    };
    const Case cases[] = {
        {"csv file", true, false, false, false, true},
        {"no files", false, false, false, false, false},
        {"main window minimised", true, true, false, false, false},
        {"another modal window open", true, false, true, false, false},
        {"interface switched off", true, false, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QDir(importFolder()).removeRecursively();
        env.writeFile(QStringLiteral("Vord Program/rovemark/AutoImport/notes.txt"), "not offered");
        if (c.csvFile)
            drop(QStringLiteral("Patrol1.csv"));
        if (c.minimised)
            main.showMinimized();
        QDialog other(&main);
        if (c.otherModal) {
            other.setModal(true);
            other.show();
        }
        watcher->setEnabled(!c.switchedOff);
        shownCount = 0;
        {
            ScriptedUi ui;
            if (c.shows)
                ui.expectDialog(whileShown());
            watcher->tmrCheckFolder_Timer();
        }
        EXPECT_EQ(shownCount, c.shows ? 1 : 0);
        if (c.shows) {
            EXPECT_EQ(shownList, QStringList{QStringLiteral("Patrol1.csv")});
        }
        EXPECT_TRUE(watcher->tmrCheckFolder->isActive()); // checking again at the next tick
        EXPECT_FALSE(watcher->tmrListFiles->isActive());
        other.hide();
        main.showNormal();
        watcher->setEnabled(true);
    }
}

TEST_F(WatcherTest, AFileDroppedIntoTheFolderIsImportedAndOpenedByTheRunningTimers) {
    ScriptedUi ui;
    ui.expectDialog(whileShown([this] { watcher->cmdImport->click(); }));
    ui.expectMessage(plat::IDYES, LoadLangString(txt::OpenImportedFiles));
    drop(QStringLiteral("Patrol1.CSV"), {1100001, 1100002});
    for (int waited = 0; waited < 5000 && listWindows().empty(); waited += 50)
        QTest::qWait(50);

    const auto windows = listWindows();
    ASSERT_EQ(windows.size(), 1u);
    const QString target = TransferFromFolder + QStringLiteral("/Patrol1.CSV");
    EXPECT_EQ(windows[0]->windowTitle(), target);
    EXPECT_EQ(windows[0]->RecordCount, 2);
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_TRUE(files(importFolder()).isEmpty());
    EXPECT_EQ(ui.messages()[0].style, 36);
    EXPECT_FALSE(watcher->isVisible());
    EXPECT_TRUE(watcher->tmrCheckFolder->isActive());
}

TEST_F(WatcherTest, TheListFollowsTheFolderAndAnUnchangedFolderKeepsTheSelection) {
    drop(QStringLiteral("a.csv"));
    drop(QStringLiteral("b.csv"));
    ScriptedUi ui;
    ui.expectDialog(whileShown([this] {
        EXPECT_EQ(listed(), (QStringList{QStringLiteral("a.csv"), QStringLiteral("b.csv")}));
        watcher->lstImportFiles->setCurrentRow(1);
        watcher->tmrListFiles_Timer(); // unchanged
        EXPECT_EQ(watcher->lstImportFiles->currentRow(), 1);

        drop(QStringLiteral("c.csv"));
        watcher->tmrListFiles_Timer();
        EXPECT_EQ(listed().size(), 3);

        QFile::rename(importFolder() + QStringLiteral("/a.csv"), importFolder() + QStringLiteral("/A.csv"));
        watcher->lstImportFiles->setCurrentRow(2);
        watcher->tmrListFiles_Timer(); // a letter-case change is a change
        EXPECT_EQ(listed().first(), QStringLiteral("A.csv"));
        EXPECT_EQ(watcher->lstImportFiles->currentRow(), -1);

        QDir(importFolder()).removeRecursively(); // the folder empties: the watcher puts itself away
        watcher->tmrListFiles_Timer();
        EXPECT_FALSE(watcher->tmrListFiles->isActive());
        EXPECT_EQ(watcher->LastFileList, QStringList{QString()});
    }));
    watcher->tmrCheckFolder_Timer();
    EXPECT_EQ(shownCount, 1);
    EXPECT_TRUE(watcher->tmrCheckFolder->isActive());
}

TEST_F(WatcherTest, SameFileListComparesLengthOrderAndCase) {
    using L = QStringList;
    EXPECT_TRUE(frmAutoSyncWatcher::SameFileList(L{}, L{}));
    EXPECT_TRUE(frmAutoSyncWatcher::SameFileList(L{"a", "b"}, L{"a", "b"}));
    EXPECT_FALSE(frmAutoSyncWatcher::SameFileList(L{"a"}, L{""}));
    EXPECT_FALSE(frmAutoSyncWatcher::SameFileList(L{"a", "b"}, L{"b", "a"}));
    EXPECT_FALSE(frmAutoSyncWatcher::SameFileList(L{"a.csv"}, L{"A.csv"}));
    EXPECT_FALSE(frmAutoSyncWatcher::SameFileList(L{"a"}, L{"a", "b"}));
}

TEST_F(WatcherTest, ANameClashAsksRetryOrCancelAndMovesNothingUntilItIsGone) {
    drop(QStringLiteral("a.csv"));
    drop(QStringLiteral("b.csv"));
    env.writeFile(QStringLiteral("Vord Program/rovemark/from/B.CSV"), "an earlier import");
    const QString clash =
        QStringLiteral("Files exist in the target folder with the same file names as the imported files.  "
                       "Please resolve this by removing or archiving existing files before importing new "
                       "files.\r\n\r\nTarget folder: \r\n   ") +
        TransferFromFolder + QStringLiteral("\r\n\r\nFiles with existing target:\r\n   b.csv");
    ScriptedUi ui;
    ui.expectDialog(whileShown([&] {
        // Cancel: nothing moves and the watcher stays up.
        ui.expectMessage(plat::IDCANCEL);
        watcher->cmdImport_Click();
        EXPECT_EQ(ui.messages().back().prompt, clash);
        EXPECT_EQ(ui.messages().back().style, 37);
        EXPECT_EQ(files(importFolder()).size(), 2);
        EXPECT_TRUE(watcher->tmrListFiles->isActive());
        // Retry asks again while the clash stands.
        ui.expectMessage(plat::IDRETRY, QStringLiteral("Files with existing target:"));
        ui.expectMessage(plat::IDCANCEL, QStringLiteral("Files with existing target:"));
        watcher->cmdImport_Click();
        EXPECT_EQ(ui.messages().size(), 3u);
        EXPECT_TRUE(files(TransferFromFolder).size() == 1);
        // Once the old file is gone, everything is imported.
        QFile::remove(TransferFromFolder + QStringLiteral("/B.CSV"));
        ui.expectMessage(plat::IDNO, LoadLangString(txt::OpenImportedFiles));
        watcher->cmdImport_Click();
    }));
    watcher->tmrCheckFolder_Timer();
    EXPECT_EQ(files(TransferFromFolder), (QStringList{QStringLiteral("a.csv"), QStringLiteral("b.csv")}));
    EXPECT_TRUE(listWindows().empty()); // No: the files wait in the from-folder
}

TEST_F(WatcherTest, AMoveThatFailsOffersRetryAndCancelDiscardsTheFile) {
    drop(QStringLiteral("a.csv"));
    // The from-folder's place is taken by a file, so no move into it can work.
    QDir(TransferFromFolder).removeRecursively();
    env.writeFile(QStringLiteral("Vord Program/rovemark/from"), "in the way");
    ScriptedUi ui;
    const QString source = importWithFailingMove(ui);

    ASSERT_EQ(ui.messages().size(), 3u);
    QString expected = ExpandNewlines(LoadLangString(txt::ImportMoveFailed));
    expected.replace(QStringLiteral("<SourceFileName>"), source);
    // The target is followed by the system's reason: the folder's place is taken by a file.
    expected.replace(QStringLiteral("<TargetFileName>"),
                     TransferFromFolder + QStringLiteral("/a.csv\n") + plat::systemErrorText(ENOTDIR));
    EXPECT_EQ(ui.messages()[0].prompt, expected);
    EXPECT_EQ(ui.messages()[0].style, 53);
    EXPECT_TRUE(ui.messages()[1].prompt.contains(QStringLiteral("Cancel discards the file")));
    EXPECT_EQ(ui.messages()[2].style, 64);
    EXPECT_FALSE(QFile::exists(source));
    EXPECT_TRUE(listWindows().empty());
}

// The from-folder on another file system that is full: the copy fails whole, with the system's reason.
TEST_F(WatcherTest, AMoveOntoAFullDiskLeavesNoPartFileAndSaysWhy) {
    SmallTmpfs disk(512 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << qPrintable(disk.whyNot());
    drop(QStringLiteral("a.csv"));
    QDir(TransferFromFolder).removeRecursively();
    ASSERT_TRUE(QFile::link(disk.path(), TransferFromFolder));
    ASSERT_TRUE(disk.fill());
    ScriptedUi ui;
    importWithFailingMove(ui);

    ASSERT_EQ(ui.messages().size(), 3u);
    EXPECT_TRUE(ui.messages()[0].prompt.contains(TransferFromFolder + QStringLiteral("/a.csv\n") +
                                                 plat::systemErrorText(ENOSPC)))
        << qPrintable(ui.messages()[0].prompt);
    EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("filler")});
    EXPECT_TRUE(listWindows().empty());
}

// Moved onto another file system, the file is copied: the copy has the file's permissions, as a move would keep
// them (a file only its owner may read stays so).
TEST_F(WatcherTest, AMoveOntoAnotherFileSystemKeepsThePermissions) {
    SmallTmpfs disk(512 * 1024);
    if (!disk.mounted())
        GTEST_SKIP() << qPrintable(disk.whyNot());
    drop(QStringLiteral("a.csv"));
    const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    ASSERT_TRUE(QFile::setPermissions(importFolder() + QStringLiteral("/a.csv"), ownerOnly));
    QDir(TransferFromFolder).removeRecursively();
    ASSERT_TRUE(QFile::link(disk.path(), TransferFromFolder));
    ScriptedUi ui;
    ui.expectDialog(whileShown([&] {
        ui.expectMessage(plat::IDNO, LoadLangString(txt::OpenImportedFiles));
        watcher->cmdImport_Click();
    }));
    watcher->tmrCheckFolder_Timer();
    const QString moved = disk.path() + QStringLiteral("/a.csv");
    ASSERT_TRUE(QFile::exists(moved));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther;
    EXPECT_EQ(QFile::permissions(moved) & others, QFile::Permissions());
}

TEST_F(WatcherTest, CloseDiscardsTheListedFilesOnlyWhenConfirmed) {
    drop(QStringLiteral("a.csv"));
    drop(QStringLiteral("b.csv"));
    ScriptedUi ui;
    ui.expectDialog(whileShown([&] {
        ui.expectMessage(plat::IDNO, ExpandNewlines(LoadLangString(txt::DiscardImportFiles)));
        watcher->cmdClose->click();
        // Yes/No with the warning icon, No the default button: Enter never deletes.
        EXPECT_EQ(ui.messages().back().style, plat::MB_YESNO | plat::MB_ICONEXCLAMATION | plat::MB_DEFBUTTON2);
        EXPECT_EQ(files(importFolder()).size(), 2);
        EXPECT_TRUE(watcher->tmrListFiles->isActive()); // still up

        ui.expectMessage(plat::IDYES);
        watcher->cmdClose->click();
    }));
    watcher->tmrCheckFolder_Timer();
    EXPECT_TRUE(files(importFolder()).isEmpty());
    EXPECT_TRUE(TransferTest::files(TransferFromFolder).isEmpty());
    EXPECT_TRUE(watcher->tmrCheckFolder->isActive());
}

TEST_F(WatcherTest, ClosingTheFrameOnlyPutsItAwaySoItComesBackWhileFilesRemain) {
    drop(QStringLiteral("a.csv"));
    ScriptedUi ui;
    ui.expectDialog(whileShown([&] { watcher->reject(); })); // Escape, as the frame's close box
    ui.expectDialog(whileShown());
    watcher->tmrCheckFolder_Timer();
    EXPECT_EQ(files(importFolder()).size(), 1);
    EXPECT_TRUE(watcher->tmrCheckFolder->isActive());
    watcher->tmrCheckFolder_Timer();
    EXPECT_EQ(shownCount, 2);
}

TEST_F(WatcherTest, NeverComesUpInsideItsOwnModalRun) {
    drop(QStringLiteral("a.csv"));
    ScriptedUi ui;
    ui.expectDialog(whileShown([&] { watcher->tmrCheckFolder_Timer(); })); // a second dialog would fail the script
    watcher->tmrCheckFolder_Timer();
    EXPECT_EQ(shownCount, 1);
}

} // namespace
