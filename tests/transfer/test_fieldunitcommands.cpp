// The four Rovemark commands end to end through the fake transfer program: what reaches the to-folder, what
// the program is run with, which windows open from the from-folder, and what the user is told.
#include "TransferFixtures.h"
#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/SmallDialogs.h"
#include "documents/frmDMA.h"
#include "lang/LangText.h"
#include "platform/AtomicFile.h"
#include "platform/WindowRegistry.h"
#include "transfer/FieldUnitCommands.h"
#include "transfer/RovemarkTalk.h"
#include "transfer/TransferFolders.h"

#include <QCursor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace {

class FieldUnitCommandsTest : public ::testing::Test, public TransferTest {
protected:
    FieldUnitFrame frame() {
        FieldUnitFrame f;
        f.interact = [this](bool enable) { interactCalls.push_back(enable); };
        return f;
    }
    static std::vector<frmDMA*> listWindows() {
        std::vector<frmDMA*> out;
        for (QWidget* w : plat::windows::loadedNamed(QStringLiteral("frmDMA")))
            out.push_back(static_cast<frmDMA*>(w));
        return out;
    }
    QString caption(int number, const QString& name) const {
        return LoadLangString(txt::DownloadCaption) + QString::number(number) + u' ' + name;
    }
    // Ticks the entries at these positions of the selection window and presses OK; records what it offered.
    std::function<int(QDialog*)> choose(std::vector<int> positions, bool ok = true) {
        return [this, positions, ok](QDialog* d) {
            auto* dialog = static_cast<frmSelection*>(d);
            offeredCaption = dialog->windowTitle();
            offered.clear();
            for (int i = 0; i < dialog->TreeViewSelect->topLevelItemCount(); ++i) {
                QTreeWidgetItem* item = dialog->TreeViewSelect->topLevelItem(i);
                offered.push_back({item->data(0, Qt::UserRole).toString(), item->text(0)});
            }
            for (int p : positions)
                dialog->TreeViewSelect->topLevelItem(p)->setCheckState(0, Qt::Checked);
            if (ok)
                dialog->CommandOK->click();
            else
                dialog->reject();
            return dialog->result();
        };
    }

    std::vector<bool> interactCalls;
    QString offeredCaption;
    std::vector<std::pair<QString, QString>> offered; // key, text
};

TEST_F(FieldUnitCommandsTest, ReceiveAllOpensEachReceivedFileAsANumberedUnsavedDownload) {
    installFakeProgram({{"message", "3 files received"}});
    deliver(QStringLiteral("b.pdb"), {1100002});
    deliver(QStringLiteral("A.PDB"), {1100001, 1100003});
    deliver(QStringLiteral("c.pdb"), {1100004});
    env.writeFile(QStringLiteral("Vord Program/delivery/notes.txt"), "not a logger file");
    env.writeFile(QStringLiteral("Vord Program/rovemark/from/old.pdb"), "left from an earlier receive");
    ScriptedUi ui;

    ReceiveAllFromFieldUnit(frame());

    ASSERT_EQ(runs().size(), 1u);
    EXPECT_EQ(runs()[0].args, (QStringList{QStringLiteral("Direct"), QStringLiteral("ComPort=2"),
                                           QStringLiteral("READ"), TransferFromFolder}));
    EXPECT_TRUE(runs()[0].files.isEmpty()); // the from-folder was cleared first
    const auto windows = listWindows();
    ASSERT_EQ(windows.size(), 3u);
    const QString names[] = {QStringLiteral("A.PDB"), QStringLiteral("b.pdb"), QStringLiteral("c.pdb")};
    const int counts[] = {2, 1, 1};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(windows[i]->windowTitle(), caption(7 + static_cast<int>(i), names[i]));
        EXPECT_EQ(windows[i]->DMAName, names[i]);
        EXPECT_EQ(windows[i]->RecordCount, counts[i]);
        EXPECT_TRUE(windows[i]->AskForSave);
        EXPECT_TRUE(windows[i]->NeverBeenSaved);
    }
    EXPECT_EQ(windows[0]->rowText(1, 0), QStringLiteral("01100001"));
    EXPECT_EQ(DownLoadCount, 10);
    EXPECT_EQ(interactCalls, (std::vector<bool>{false, true}));
    EXPECT_EQ(status.last(), QStringLiteral("3 files received"));
    EXPECT_FALSE(FieldUnitFormat);
    EXPECT_TRUE(ui.messages().empty());
}

TEST_F(FieldUnitCommandsTest, ReceiveOfNothingSaysSoWithoutReadingTheResult) {
    installFakeProgram({{"message", "must not be shown"}});
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::NothingReceived));
    ReceiveAllFromFieldUnit(frame());
    EXPECT_TRUE(listWindows().empty());
    EXPECT_EQ(interactCalls, (std::vector<bool>{false, true}));
    EXPECT_FALSE(status.texts.contains(QStringLiteral("must not be shown")));
    EXPECT_EQ(DownLoadCount, 7);
}

TEST_F(FieldUnitCommandsTest, AFileThatFailsToOpenMarksNoOtherWindow) {
    frmDMA* mine = openWindow(QStringLiteral("mine.pdb"), {1100009});
    mine->MakeActiveDocument();
    installFakeProgram();
    env.writeFile(QStringLiteral("Vord Program/delivery/a.pdb"), "\"Brenholt Rovemark V1.00\"\r\n"); // titles only
    deliver(QStringLiteral("b.pdb"), {1100002});
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK); // the reader's own report for a.pdb

    ReceiveAllFromFieldUnit(frame());

    EXPECT_EQ(mine->windowTitle(), QStringLiteral("/data/mine.pdb"));
    EXPECT_EQ(mine->DMAName, QStringLiteral("mine.pdb"));
    EXPECT_FALSE(mine->AskForSave);
    EXPECT_FALSE(mine->NeverBeenSaved);
    const auto windows = listWindows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[1]->windowTitle(), caption(7, QStringLiteral("b.pdb")));
    EXPECT_EQ(DownLoadCount, 8);
}

TEST_F(FieldUnitCommandsTest, ReceiveSelectionOpensOnlyTheTickedFiles) {
    installFakeProgram();
    deliver(QStringLiteral("north.pdb"), {1100001});
    deliver(QStringLiteral("south.pdb"), {1100002});
    for (const bool ok : {false, true}) {
        SCOPED_TRACE(ok);
        ScriptedUi ui;
        ui.expectDialog(choose({1}, ok));
        ReceiveSomeFromFieldUnit(frame());
        EXPECT_EQ(offeredCaption, LoadLangString(txt::ReceiveSelectionCaption));
        ASSERT_EQ(offered.size(), 2u);
        EXPECT_EQ(offered[0],
                  std::make_pair(TransferFromFolder + QStringLiteral("/north.pdb"), QStringLiteral("north.pdb")));
        EXPECT_EQ(offered[1].second, QStringLiteral("south.pdb"));
        // Closing the window instead of OK chooses nothing.
        const auto windows = listWindows();
        ASSERT_EQ(windows.size(), ok ? 1u : 0u);
        if (ok) {
            EXPECT_EQ(windows[0]->windowTitle(), caption(7, QStringLiteral("south.pdb")));
        }
        EXPECT_EQ(status.last(), QStringLiteral("Transfer complete"));
    }
    EXPECT_TRUE(interactCalls.empty());
}

TEST_F(FieldUnitCommandsTest, SendAllWritesEachNonEmptyListInTheFieldUnitLayoutAndRunsTheProgramOnce) {
    frmDMA* north = openWindow(QStringLiteral("north.pdb"), {1100001, 1100002});
    openWindow(QStringLiteral("empty.pdb"), {});
    frmDMA* south = openWindow(QStringLiteral("south.csv"), {1100003});
    env.writeFile(QStringLiteral("Vord Program/rovemark/to/stale.PDB"), "from an earlier send");
    installFakeProgram({{"message", "2 files sent"}});
    ScriptedUi ui;

    SendAllToFieldUnit(frame());

    EXPECT_EQ(status.last(), QStringLiteral("2 files sent"));
    ASSERT_EQ(runs().size(), 1u);
    EXPECT_EQ(runs()[0].args, (QStringList{QStringLiteral("Direct"), QStringLiteral("ComPort=2"),
                                           QStringLiteral("WRITE"), TransferToFolder}));
    const QStringList sent{QStringLiteral("north.pdb"), QStringLiteral("south.csv.PDB")};
    EXPECT_EQ(runs()[0].files, sent);
    EXPECT_EQ(files(TransferToFolder),
              (QStringList{QStringLiteral("north.pdb"), QStringLiteral("south.csv.PDB"), QStringLiteral("xfer.err")}));
    EXPECT_EQ(TestEnv::readFile(TransferToFolder + QStringLiteral("/north.pdb")),
              fieldUnitBytes(north, env.path(QStringLiteral("north.ref"))));
    EXPECT_EQ(TestEnv::readFile(TransferToFolder + QStringLiteral("/south.csv.PDB")),
              fieldUnitBytes(south, env.path(QStringLiteral("south.ref"))));
    EXPECT_TRUE(TestEnv::readFile(TransferToFolder + QStringLiteral("/north.pdb")).starts_with("\"Brenholt Rovemark"));
    EXPECT_EQ(interactCalls, (std::vector<bool>{false, true}));
    EXPECT_TRUE(ui.messages().empty());
    EXPECT_FALSE(north->AskForSave); // sending is not saving
    EXPECT_EQ(north->windowTitle(), QStringLiteral("/data/north.pdb"));
}

TEST_F(FieldUnitCommandsTest, WhatSendAllSentComesBackByReceiveAllAsTheSameList) {
    // Loggers as a list holds them after a receive: each status in words, as its level and spread give it.
    const char letters[] = {'L', 'N', 'L'};
    const int16_t levels[] = {40, 35, 50};
    for (int i = 1; i <= 3; ++i) {
        LoggerRecord& r = LoggerTable[static_cast<size_t>(i)];
        ClearLoggerRecord(r);
        r.Serial = 1100000 + i;
        r.GridRef = "AB 1234 567" + std::to_string(i);
        r.Comment1 = "Main St";
        r.Comment2 = "hydrant " + std::to_string(i);
        r.Deployed = "2023/01/02";
        r.ReadingDate[1] = "2023/02/0" + std::to_string(i);
        r.ReadingStatus[1] = LoadLangAnsi(StatusLetterTextNumber(letters[i - 1]));
        r.Level[1] = levels[i - 1];
        r.Spread[1] = 20;
    }
    LoggerCount = 3;
    auto* north = new frmDMA;
    north->NumHistories = kMaxReadings;
    north->CopyFrom_DMAModule();
    north->setWindowTitle(QStringLiteral("/data/north.pdb"));
    north->DMAName = QStringLiteral("north.pdb");
    LoggerCount = 0;
    // The unit gives back what it was given: the receive delivers the files of the send's to-folder.
    installFakeProgram({{"deliver", TransferToFolder.toStdString()}});
    ScriptedUi ui;
    SendAllToFieldUnit(frame());
    ReceiveAllFromFieldUnit(frame());

    const auto windows = listWindows();
    ASSERT_EQ(windows.size(), 2u);
    frmDMA* back = windows[1];
    ASSERT_EQ(back->RecordCount, north->RecordCount);
    const QAbstractItemModel* sent = north->ListViewDMA->model();
    const QAbstractItemModel* received = back->ListViewDMA->model();
    ASSERT_EQ(received->rowCount(), sent->rowCount());
    for (int row = 0; row < sent->rowCount(); ++row)
        for (int column = 0; column < sent->columnCount(); ++column)
            EXPECT_EQ(received->index(row, column).data().toString(), sent->index(row, column).data().toString())
                << "row " << row << " column " << column;
}

TEST_F(FieldUnitCommandsTest, SentFileNamesKeepAPdbEndingInAnyCaseAndGetOneOtherwise) {
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("north.pdb"), QStringLiteral("north.pdb")},
        {QStringLiteral("NORTH.PdB"), QStringLiteral("NORTH.PdB")},
        {QStringLiteral("north.csv"), QStringLiteral("north.csv.PDB")},
        {QStringLiteral("Untitled0001"), QStringLiteral("Untitled0001.PDB")},
        {QStringLiteral("C:\\areas\\west.pdb"), QStringLiteral("west.pdb")},
        {QStringLiteral("../../etc/x"), QStringLiteral("x.PDB")},
    };
    for (const auto& [dmaName, sent] : cases)
        EXPECT_EQ(FieldUnitFileName(dmaName), sent) << dmaName.toStdString();
}

TEST_F(FieldUnitCommandsTest, TheResultOfASendIsReadWhereTheProgramWroteItNeverAStaleOne) {
    openWindow(QStringLiteral("north.pdb"), {1100001});
    for (const char* where : {"given", "from", "to"}) {
        SCOPED_TRACE(where);
        env.writeFile(QStringLiteral("Vord Program/rovemark/from/xfer.err"), "0\r\nresult of the last receive\r\n");
        installFakeProgram({{"resultfolder", where}, {"message", std::string("sent, result in ") + where}});
        ScriptedUi ui;
        SendAllToFieldUnit(frame());
        EXPECT_EQ(status.last(), QStringLiteral("sent, result in ") + QLatin1String(where));
    }
    // No result file anywhere: the stale one is gone, and the user hears that none came.
    env.writeFile(QStringLiteral("Vord Program/rovemark/from/xfer.err"), "0\r\nresult of the last receive\r\n");
    installFakeProgram({{"resultlines", "0"}});
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::TransferResultMissing));
    SendAllToFieldUnit(frame());
    EXPECT_FALSE(status.texts.contains(QStringLiteral("result of the last receive")));
}

TEST_F(FieldUnitCommandsTest, AFailedWriteIsReportedAndOnlyTheGoodFilesReachTheProgram) {
    frmDMA* north = openWindow(QStringLiteral("north.pdb"), {1100001});
    openWindow(QStringLiteral("south.pdb"), {1100002});
    QDir().mkpath(TransferToFolder + QStringLiteral("/north.pdb")); // a folder in the file's place
    installFakeProgram();
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, DatabaseErrorText(DbWriteFailure, false));

    SendAllToFieldUnit(frame());

    ASSERT_EQ(ui.messages().size(), 1u);
    EXPECT_TRUE(ui.messages()[0].prompt.contains(LoadLangString(txt::FieldUnitWriteFailed) + north->windowTitle()));
    // It names the file and the system's reason.
    EXPECT_TRUE(ui.messages()[0].prompt.contains(QStringLiteral("/north.pdb\n") + plat::systemErrorText(EISDIR)))
        << qPrintable(ui.messages()[0].prompt);
    ASSERT_EQ(runs().size(), 1u);
    EXPECT_EQ(runs()[0].files, QStringList{QStringLiteral("south.pdb")});
    EXPECT_EQ(north->RecordCount, 1);
    EXPECT_EQ(north->windowTitle(), QStringLiteral("/data/north.pdb"));
}

TEST_F(FieldUnitCommandsTest, SendSelectionWritesOnlyTheTickedListsAndRunsNothingWhenNoneIsChosen) {
    openWindow(QStringLiteral("north.pdb"), {1100001});
    openWindow(QStringLiteral("empty.pdb"), {});
    openWindow(QStringLiteral("south.pdb"), {1100002});
    installFakeProgram();
    const auto forms = plat::windows::loaded();
    auto formIndex = [&](const QString& title) {
        for (size_t i = 0; i < forms.size(); ++i)
            if (forms[i]->windowTitle() == title)
                return static_cast<int>(i);
        return -1;
    };
    {
        ScriptedUi ui;
        ui.expectDialog(choose({1}));
        SendSomeToFieldUnit(frame());
        EXPECT_EQ(offeredCaption, LoadLangString(txt::SendSelectionCaption));
        ASSERT_EQ(offered.size(), 2u); // the empty list is not offered
        EXPECT_EQ(offered[0], std::make_pair(QStringLiteral("x") + QString::number(formIndex("/data/north.pdb")),
                                             QStringLiteral("/data/north.pdb")));
        EXPECT_EQ(offered[1].second, QStringLiteral("/data/south.pdb"));
        EXPECT_EQ(runs().back().files, QStringList{QStringLiteral("south.pdb")});
    }
    // Nothing ticked, or the selection cancelled: the program does not run, the last send's files stay, and
    // the user hears why nothing happened.
    for (bool ok : {true, false}) {
        SCOPED_TRACE(ok ? "OK" : "Cancel");
        ScriptedUi ui;
        ui.expectDialog(choose({}, ok));
        ui.expectMessage(plat::IDOK, LoadLangString(txt::NothingChosenToSend));
        SendSomeToFieldUnit(frame());
        EXPECT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(runs().size(), 1u);
        EXPECT_EQ(files(TransferToFolder), (QStringList{QStringLiteral("south.pdb"), QStringLiteral("xfer.err")}));
    }
    EXPECT_TRUE(interactCalls.empty());
}

TEST_F(FieldUnitCommandsTest, AFailingProgramGivesOneMessageAndChangesNoWindow) {
    frmDMA* north = openWindow(QStringLiteral("north.pdb"), {1100001});
    struct Case {
        const char* what;
        std::map<std::string, std::string> config; // empty name: no program at all
        bool install;
        int text;
    };
    const Case cases[] = {
        {"missing", {}, false, txt::TransferProgramNotFound},
        {"crashing", {{"crash", "1"}}, true, txt::TransferProgramCrashed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(path(QStringLiteral("RovemarkTalk")));
        if (c.install)
            installFakeProgram(c.config);
        deliver(QStringLiteral("b.pdb"), {1100002});
        for (auto command : {&ReceiveAllFromFieldUnit, &ReceiveSomeFromFieldUnit, &SendAllToFieldUnit}) {
            interactCalls.clear();
            ScriptedUi ui;
            ui.expectMessage(plat::IDOK, LoadLangString(c.text));
            command(frame());
            EXPECT_EQ(ui.messages().size(), 1u);
            EXPECT_EQ(listWindows().size(), 1u);
            EXPECT_EQ(north->windowTitle(), QStringLiteral("/data/north.pdb"));
            EXPECT_FALSE(north->AskForSave);
            EXPECT_EQ(DownLoadCount, 7);
            EXPECT_NE(interactCalls.size(), 1u); // never left switched off
            if (!interactCalls.empty()) {
                EXPECT_TRUE(interactCalls.back());
            }
        }
    }
}

TEST_F(FieldUnitCommandsTest, AReceiveWithoutAResultFileOpensTheFilesAndSaysNoResultCame) {
    installFakeProgram({{"resultlines", "0"}});
    deliver(QStringLiteral("b.pdb"), {1100002});
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::TransferResultMissing) + TransferFromFolder);
    ReceiveAllFromFieldUnit(frame());
    EXPECT_EQ(listWindows().size(), 1u);
}

TEST_F(FieldUnitCommandsTest, AResultFileIsShownOnlyWhenItBeginsWithItsNumberAndMinus999IsAResult) {
    struct Case {
        const char* result; // line 1 as the program writes it
        int message;        // 0: none
        bool shown;         // line 2 reaches the status bar
    };
    const Case cases[] = {
        {"-999", 0, true}, // the program's own number, not "no result file"
        {"7", 0, true},
        {"garbage \x01\x1b[2J", txt::TransferResultUnreadable, false},
        {"12 files", txt::TransferResultUnreadable, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.result);
        closeAllWindows();
        installFakeProgram({{"result", c.result}, {"message", "line two \x07 of the result"}});
        deliver(QStringLiteral("b.pdb"), {1100002});
        status.texts.clear();
        ScriptedUi ui;
        if (c.message)
            ui.expectMessage(plat::IDOK, LoadLangString(c.message) + TransferFromFolder + QStringLiteral("/xfer.err"));
        ReceiveAllFromFieldUnit(frame());
        EXPECT_EQ(ui.messages().size(), c.message ? 1u : 0u);
        EXPECT_EQ(status.texts.contains(QStringLiteral("line two \x07 of the result")), c.shown)
            << status.texts.join(u'|').toStdString();
        EXPECT_EQ(listWindows().size(), 1u);
    }
}

TEST_F(FieldUnitCommandsTest, WhileTheProgramRunsTheWindowShowsItWithABusyPointerAndItsTimersWait) {
    const QString gate = env.path(QStringLiteral("gate"));
    installFakeProgram({{"gate", gate.toStdString()}});
    deliver(QStringLiteral("b.pdb"), {1100002});
    // Due at once, like the auto-import watcher's polls: it must wait until the run is over.
    bool timerFired = false;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, [&] { timerFired = true; });
    timer.start(0);
    struct Seen {
        bool looked = false;
        bool windowsOpen = false;
        bool busy = false;
        QString status;
        bool timerFired = false;
    } seen;
    // Once the program is running, a look at the window is queued to the window's thread; the look lets the
    // program end. A window that did not take its events while it waited would take the look only afterwards.
    std::thread helper([&] {
        for (int i = 0; i < 6000 && !QFile::exists(gate + QStringLiteral(".started")); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                seen.looked = true;
                seen.windowsOpen = !listWindows().empty();
                seen.busy =
                    QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
                seen.status = status.last();
                seen.timerFired = timerFired;
                env.writeFile(QStringLiteral("gate"), "go");
            },
            Qt::QueuedConnection);
    });
    ScriptedUi ui;
    ReceiveAllFromFieldUnit(frame());
    helper.join();
    QCoreApplication::removePostedEvents(qApp, QEvent::MetaCall); // a look that came too late goes unseen

    EXPECT_TRUE(seen.looked) << "the window took no events while the program ran";
    EXPECT_FALSE(seen.windowsOpen);
    EXPECT_TRUE(seen.busy);
    EXPECT_EQ(seen.status, FieldUnitTransferCommand(QStringLiteral("READ"), TransferFromFolder));
    EXPECT_FALSE(seen.timerFired);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(listWindows().size(), 1u);
    EXPECT_TRUE(pumpUntil([&] { return timerFired; }));
}

TEST_F(FieldUnitCommandsTest, OptionsShowTheOptionsDialog) {
    ScriptedUi ui;
    QString shown;
    ui.expectDialog([&](QDialog* d) {
        shown = d->objectName();
        return 0;
    });
    FieldUnitOptions(frame());
    EXPECT_EQ(shown, QStringLiteral("frmOptions"));
}

} // namespace
