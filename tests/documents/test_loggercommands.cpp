// The logger commands on the active list window and the fill dialog.
#include "DocumentFixtures.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/LoggerCommands.h"
#include "documents/MaskedEdit.h"
#include "documents/ReadingDialogs.h"
#include "documents/SmallDialogs.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/TextCodec.h"
#include "platform/WindowRegistry.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QTextEdit>
#include <QTreeView>

#include <gtest/gtest.h>

#include <functional>

namespace {

class LoggerCommandsTest : public ::testing::Test, public DocumentTest {
protected:
    frmDMA* open(const std::vector<FixtureLogger>& list, const QString& name = QStringLiteral("area.pdb")) {
        OpenDocument(env.writeFile(name, areaFile(list)));
        return ActiveDocument.data();
    }
    void SetUp() override { FillIncrement = 1; }
    void TearDown() override {
        CloseAllWindows();
        flushDeletes();
    }
    // The fill dialog answered with these texts (OK pressed).
    static std::function<int(QDialog*)> fill(const char* serial, const char* count, const char* incr,
                                             const char* grid = nullptr) {
        return [=](QDialog* d) {
            auto* f = static_cast<FillDialog*>(d);
            f->TxtSerial->setText(QString::fromLatin1(serial));
            f->TxtNum->setText(QString::fromLatin1(count));
            f->TxtIncr->setText(QString::fromLatin1(incr));
            f->CheckBoxUseGrid->setChecked(grid != nullptr);
            if (grid)
                f->txtGridRef->setBoxText(QString::fromLatin1(grid));
            f->OKButton_Click();
            return f->Result ? QDialog::Accepted : QDialog::Rejected;
        };
    }
};

TEST_F(LoggerCommandsTest, EveryCommandWithoutAListSaysSo) {
    ScriptedUi ui;
    for (auto command : {AddLoggerCommand, RemoveLoggerCommand, ChangeSerialCommand, ChangeDeployDateCommand,
                         FillCommand, FindCommand, FindNextCommand, NewWindowCommand, UpdateAllAddInfoCommand}) {
        ui.expectMessage(plat::IDOK, LoadLangString(txt::NoDocument));
        command();
    }
}

TEST_F(LoggerCommandsTest, FillReportsSerialsAlreadyPresentInATextWindow) {
    ScriptedUi ui;
    frmDMA* w = open({{1000020, "", "there"}});
    ui.expectDialog(fill("01000000", "5", "10"));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::FillIncomplete));
    FillCommand();
    EXPECT_EQ(FillIncrement, 10);
    QStringList serials;
    for (int p = 1; p <= w->rowCount(); ++p)
        serials << w->rowText(p, 0);
    EXPECT_EQ(serials, (QStringList{"01000020", "01000000", "01000010", "01000030", "01000040"}));
    EXPECT_EQ(status.last(), LoadLangString(txt::FillIncomplete));
    const auto reports = plat::windows::loadedNamed(QStringLiteral("frmDocument"));
    ASSERT_EQ(reports.size(), 1U);
    auto* report = static_cast<frmDocument*>(reports[0]);
    EXPECT_EQ(report->windowTitle(), LoadLangString(txt::FillReportTitle) + QStringLiteral("area.pdb.log"));
    EXPECT_EQ(report->text(), LoadLangString(txt::FillReportHeading) + QStringLiteral("\n01000020\n"));
    // Like every report window, it asks before its text is thrown away.
    EXPECT_TRUE(report->AskForSave);
}

TEST_F(LoggerCommandsTest, FillWithGridNumbersCountsThemUpAndWrapsToZero) {
    ScriptedUi ui;
    frmDMA* w = open({{1000001}});
    ui.expectDialog(fill("02000000", "3", "1", "99999998"));
    FillCommand();
    ASSERT_EQ(w->RecordCount, 4);
    EXPECT_EQ(w->localRecord(2).GridRef, "AA 9999 9998");
    EXPECT_EQ(w->localRecord(3).GridRef, "AA 0000 0000");
    EXPECT_EQ(w->localRecord(4).GridRef, "AA 0000 0001");
    EXPECT_EQ(status.last(), LoadLangString(txt::FillComplete));
    EXPECT_TRUE(w->AskForSave);
    EXPECT_TRUE(w->ListViewDMA->isVisibleTo(w));
}

TEST_F(LoggerCommandsTest, LargeFillsAreOneListUpdateAndLeaveTheListVisible) {
    ScriptedUi ui;
    frmDMA* w = open({{1000001}});
    int resets = 0;
    int inserts = 0;
    const auto r = QObject::connect(w->listModel(), &QAbstractItemModel::modelReset, [&] { ++resets; });
    const auto i = QObject::connect(w->listModel(), &QAbstractItemModel::rowsInserted, [&] { ++inserts; });
    ui.expectDialog(fill("03000000", "500", "1"));
    FillCommand();
    QObject::disconnect(r);
    QObject::disconnect(i);
    EXPECT_EQ(w->RecordCount, 501);
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(inserts, 0);
    EXPECT_TRUE(w->ListViewDMA->isVisibleTo(w));
    EXPECT_EQ(w->SelLine, 501);
    EXPECT_EQ(w->rowText(501, 0), QStringLiteral("03000499"));
}

TEST_F(LoggerCommandsTest, FillsPastTheLimitOrTheSerialRangeAddNothing) {
    ScriptedUi ui;
    frmDMA* w = open({{1000001}});
    ui.expectDialog(fill("02000000", "7000", "1"));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::LoggerLimit));
    FillCommand();
    ui.expectDialog(fill("12999990", "20", "1"));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::FillLeavesSerials) + QStringLiteral("13000000"));
    FillCommand();
    EXPECT_EQ(w->RecordCount, 1);
    EXPECT_FALSE(w->AskForSave);
}

TEST_F(LoggerCommandsTest, FillDialogChecksItsValuesAndKeepsThemForTheNextFill) {
    ScriptedUi ui;
    FillDialog* dialog = fillDialog();
    const struct {
        const char* serial;
        const char* count;
        const char* incr;
        int message; // the text of the message: -1 the serial refused, 0 accepted
    } cases[] = {
        {"13000000", "1", "1", -1},
        {"01000000", "0", "1", txt::TheNumberOfLoggersMust},
        {"01000000", "100000000", "1", txt::TheNumberOfLoggersMust},
        {"01000000", "5", "10000000", txt::IncrementRange},
        {"01000000", "5", "9999999", 0},
    };
    for (const auto& c : cases) {
        dialog->Result = false;
        dialog->TxtSerial->setText(QString::fromLatin1(c.serial));
        dialog->TxtNum->setText(QString::fromLatin1(c.count));
        dialog->TxtIncr->setText(QString::fromLatin1(c.incr));
        if (c.message == -1)
            ui.expectMessage(plat::IDOK, QString::fromLatin1(c.serial) + LoadLangString(txt::InvalidSerial));
        else if (c.message != 0)
            ui.expectMessage(plat::IDOK, LoadLangString(c.message));
        dialog->OKButton_Click();
        EXPECT_EQ(dialog->Result, c.message == 0) << c.serial << " " << c.count << " " << c.incr;
    }
    EXPECT_EQ(FillIncrement, 9999999);
    EXPECT_EQ(dialog->TmpSer, 1000000);
    EXPECT_EQ(dialog->TmpNum, 5);

    // Shown again: start and count stay, the increment and grid come from the command.
    open({{1000001}});
    ui.expectDialog([](QDialog* d) {
        auto* f = static_cast<FillDialog*>(d);
        EXPECT_EQ(f->TxtSerial->text(), QStringLiteral("01000000"));
        EXPECT_EQ(f->TxtNum->text(), QStringLiteral("5"));
        EXPECT_EQ(f->TxtIncr->text(), QStringLiteral("9999999"));
        EXPECT_EQ(f->txtGridRef->Text(), QStringLiteral("00000000"));
        f->CancelButton_Click();
        return QDialog::Rejected;
    });
    FillCommand();
}

TEST_F(LoggerCommandsTest, FindAndFindNextUseTheRememberedText) {
    ScriptedUi ui;
    frmDMA* w = open({{1000001, "", "pump"}, {1000002, "", "x"}, {1000003, "", "pump"}});
    ui.expectInput(QStringLiteral("pump"));
    FindCommand();
    EXPECT_EQ(LastFindText, QStringLiteral("pump"));
    EXPECT_EQ(w->SelLine, 1);
    FindNextCommand();
    EXPECT_EQ(w->SelLine, 3);
    ui.expectInput(QString(), false);
    FindCommand();
    EXPECT_EQ(LastFindText, QString());
    FindNextCommand();
    EXPECT_EQ(w->SelLine, 3);
}

TEST_F(LoggerCommandsTest, ChangeSerialRefusesTheSameOrAUsedSerialAndMarksTheWindow) {
    ScriptedUi ui;
    frmDMA* w = open({{1000001}, {1000002}});
    w->ListViewDMA_ItemClick(1);
    ui.expectInput(QStringLiteral("01000001"));
    ui.expectMessage(plat::IDOK, QStringLiteral("01000001") + LoadLangString(txt::SerialUnchanged));
    ChangeSerialCommand();
    ui.expectInput(QStringLiteral("1000002"));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::SerialUsedStart) + QStringLiteral("01000002") +
                                     LoadLangString(txt::SerialUsedEnd));
    ChangeSerialCommand();
    EXPECT_FALSE(w->AskForSave);
    ui.expectInput(QStringLiteral("4000000"));
    ui.expectMessage(plat::IDOK,
                     QStringLiteral("01000001") + LoadLangString(txt::SerialChanged) + QStringLiteral("04000000"));
    ChangeSerialCommand();
    EXPECT_EQ(w->rowText(1, 0), QStringLiteral("04000000"));
    EXPECT_TRUE(w->AskForSave);
}

TEST_F(LoggerCommandsTest, AddLoggerCreatesABlankLoggerAndShowsTheEditor) {
    ScriptedUi ui;
    frmDMAEdit editor;
    frmDMA* w = open({{1000001}});
    auto answer = [](const char* serial) {
        return [=](QDialog* d) {
            static_cast<frmAddNewLogger*>(d)->strSerial = QString::fromLatin1(serial);
            return QDialog::Accepted;
        };
    };
    ui.expectDialog(answer("05000000"));
    AddLoggerCommand();
    EXPECT_EQ(w->RecordCount, 2);
    EXPECT_TRUE(editor.isVisible());
    EXPECT_EQ(editor.txtSerNum->Text(), QStringLiteral("05000000"));
    ui.expectDialog(answer("05000000"));
    ui.expectMessage(plat::IDOK, QStringLiteral("05000000") + LoadLangString(txt::AlreadyInList));
    AddLoggerCommand();
    ui.expectDialog(answer(""));
    AddLoggerCommand();
    EXPECT_EQ(w->RecordCount, 2);
}

TEST_F(LoggerCommandsTest, DeployDateForAllLoggersAndNewWindowKeepingSerials) {
    ScriptedUi ui;
    frmDMA* w = open({{1000001, "AB 1234 5678", "c", "", "2020/01/01"}, {1000002}, {1000003}});
    ui.expectDialog([](QDialog* d) {
        auto* dd = static_cast<DateDialog*>(d);
        EXPECT_EQ(dd->TxtDate->text(), QStringLiteral("2020/01/01"));
        dd->TxtDate->setText(QStringLiteral("2024/05/06"));
        dd->ChkDoAll->setChecked(true);
        dd->OKButton_Click();
        return QDialog::Accepted;
    });
    ChangeDeployDateCommand();
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(w->localRecord(i).Deployed, "2024/05/06");
    EXPECT_TRUE(w->AskForSave);

    NewWindowCommand();
    frmDMA* copy = ActiveDocument.data();
    ASSERT_NE(copy, w);
    EXPECT_EQ(copy->RecordCount, 3);
    EXPECT_TRUE(copy->NeverBeenSaved);
    EXPECT_EQ(copy->windowTitle(), w->DMAName);
    EXPECT_EQ(copy->localRecord(1).Serial, 1000001);
    EXPECT_EQ(copy->localRecord(1).GridRef, "__ ____ ____");
    EXPECT_EQ(copy->localRecord(1).Deployed, "");
    EXPECT_EQ(copy->localRecord(1).UserComments, "comment");
}

// The logger a command changes is the one whose row the user selected: after a sort has moved that row, and
// where its serial repeats in the list.
TEST_F(LoggerCommandsTest, CommandsActOnTheSelectedRowsOwnLogger) {
    ScriptedUi ui;
    frmDMAEdit editor;
    auto dateTo = [](const char* date) {
        return [=](QDialog* d) {
            auto* dd = static_cast<DateDialog*>(d);
            dd->TxtDate->setText(QString::fromLatin1(date));
            dd->OKButton_Click();
            return QDialog::Accepted;
        };
    };
    const struct {
        const char* name;
        std::function<void(frmDMA*)> command;
        std::function<void(const LoggerRecord&)> check;
    } cases[] = {
        {"change serial",
         [&](frmDMA*) {
             ui.expectInput(QStringLiteral("4000000"));
             ui.expectMessage(plat::IDOK, QStringLiteral("01000001") + LoadLangString(txt::SerialChanged));
             ChangeSerialCommand();
         },
         [](const LoggerRecord& r) { EXPECT_EQ(r.Serial, 4000000); }},
        {"update serial",
         [&](frmDMA*) {
             editor.txtSerNum->setBoxText(QStringLiteral("04000000"));
             ui.expectMessage(plat::IDYES, LoadLangString(txt::ChangeSerialQuestion));
             ui.expectMessage(plat::IDOK, QStringLiteral("01000001") + LoadLangString(txt::SerialChanged));
             editor.cmdUpdateSerial_Click();
         },
         [](const LoggerRecord& r) { EXPECT_EQ(r.Serial, 4000000); }},
        {"deploy date",
         [&](frmDMA*) {
             ui.expectDialog(dateTo("2024/05/06"));
             ChangeDeployDateCommand();
         },
         [](const LoggerRecord& r) { EXPECT_EQ(r.Deployed, "2024/05/06"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const bool repeatedSerial : {false, true}) {
            SCOPED_TRACE(repeatedSerial ? "serial held twice" : "list sorted");
            frmDMA* w = open({{1000001}, {1000002}, {1000003}});
            int chosen = 1;
            if (repeatedSerial) {
                // A second logger 01000001 (record 4) below the first; its row is the one selected.
                ASSERT_TRUE(w->CreateNewRecord2(1000001, 0));
                chosen = 4;
                w->ListViewDMA_ItemClick(4);
            } else {
                w->ListViewDMA_ItemClick(1);
                w->ListViewDMA_ColumnClick(1); // descending: 01000001 moves to the last row
                ASSERT_EQ(w->rowText(1, 0), QStringLiteral("01000003"));
            }
            c.command(w);
            c.check(w->localRecord(chosen));
            for (int i = 1; i <= w->RecordCount; ++i)
                if (i != chosen) {
                    EXPECT_EQ(w->localRecord(i).Deployed, "") << i;
                }
            EXPECT_EQ(w->localRecord(2).Serial, 1000002);
            EXPECT_EQ(w->localRecord(3).Serial, 1000003);
            EXPECT_TRUE(w->AskForSave);
            w->AskForSave = false;
            w->close();
            flushDeletes();
        }
    }
}

} // namespace
