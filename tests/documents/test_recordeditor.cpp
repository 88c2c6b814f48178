// The record editor: showing a logger, writing it back, refusing bad entries, the serial change, the reading
// dialog and the level/spread graph.
#include "DocumentFixtures.h"
#include "core/DatabaseFile.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/LevelSpreadGraph.h"
#include "documents/MaskedEdit.h"
#include "documents/ReadingDialogs.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "lang/LangText.h"
#include "platform/TextCodec.h"
#include "platform/WindowRegistry.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

namespace {

const std::vector<FixtureLogger> kThree = {
    {1000001, "AB 1234 5678", "Main St", "", "2023/01/02", "", "2023/02/01", "L", 40, 25, ""},
    {1000002, "AB 0000 1111", "Park", "", "", "", "2023/02/02", "N", 39, 25, ""},
    {1000003, "", "Mill", "", "", "", "", "", 0, 0, ""},
};

class RecordEditorTest : public ::testing::Test, public DocumentTest {
protected:
    void SetUp() override {
        editor = std::make_unique<frmDMAEdit>();
        OpenDocument(env.writeFile(QStringLiteral("area.pdb"), areaFile(kThree)));
        doc = ActiveDocument.data();
    }
    void TearDown() override {
        CloseAllWindows(editor.get());
        flushDeletes();
        editor.reset();
    }
    void showRow(int position) {
        doc->ListViewDMA_ItemClick(position);
        doc->ListViewDMA_DblClick();
    }
    QTreeWidgetItem* reading(int row) { return editor->ListViewEditBox->topLevelItem(row - 1); }
    // A new, empty list window (it gets no focus of its own here: no main window shows it).
    static frmDMA* newList() {
        NewDocument();
        for (QWidget* w : plat::windows::loadedNamed(QStringLiteral("frmDMA")))
            if (auto* list = static_cast<frmDMA*>(w); list->NeverBeenSaved)
                return list;
        return nullptr;
    }
    std::unique_ptr<frmDMAEdit> editor;
    frmDMA* doc = nullptr;
};

TEST_F(RecordEditorTest, DoubleClickShowsTheRowsLoggerWithItsReadings) {
    ScriptedUi ui;
    EXPECT_FALSE(editor->isVisible());
    showRow(2);
    EXPECT_TRUE(editor->isVisible());
    EXPECT_TRUE(editor->onTop());
    EXPECT_EQ(editor->txtSerNum->Text(), QStringLiteral("01000002"));
    EXPECT_EQ(editor->txtGridRef->Text(), QStringLiteral("00001111"));
    EXPECT_EQ(editor->txtComments1->Text(), QStringLiteral("Park"));
    EXPECT_EQ(editor->windowTitle(), QStringLiteral("area.pdb"));
    EXPECT_EQ(editor->NumHistories, 50);
    ASSERT_EQ(editor->ListViewEditBox->topLevelItemCount(), 50);
    EXPECT_EQ(reading(1)->text(0), QStringLiteral("2023/02/02"));
    EXPECT_EQ(reading(1)->text(2), QStringLiteral("39"));
    EXPECT_EQ(reading(2)->text(0), QStringLiteral(" "));
    EXPECT_EQ(editor->graph->item(0).fill, LevelSpreadGraph::Green);
    EXPECT_EQ(editor->graph->item(0).date, QStringLiteral("2023/02/02"));

    // Closing only hides it.
    editor->close();
    EXPECT_FALSE(editor->isVisible());
    EXPECT_EQ(frmDMAEdit::instance(), editor.get());
}

TEST_F(RecordEditorTest, UpdateWritesFieldsAndReadingsIntoTheRowAndTheSavedFile) {
    ScriptedUi ui;
    showRow(1);
    editor->txtComments1->setBoxText(QStringLiteral("Main Street"));
    editor->txtUserComments->setText(QStringLiteral("by the hydrant"));
    reading(1)->setText(2, QStringLiteral("55"));
    reading(2)->setText(0, QStringLiteral("2023/03/01"));
    reading(2)->setText(1, QStringLiteral("N"));
    reading(2)->setText(2, QStringLiteral("12"));
    int key = 123;
    int shift = 0;
    editor->Form_KeyDown(key, shift);
    EXPECT_EQ(key, 0);
    EXPECT_EQ(doc->rowText(1, 4), QStringLiteral("Main Street"));
    EXPECT_EQ(doc->rowText(1, 8), QStringLiteral("55"));
    EXPECT_EQ(doc->rowText(1, 10), QStringLiteral("by the hydrant"));
    EXPECT_EQ(doc->localRecord(1).Deployed, "2023/01/02");
    EXPECT_EQ(doc->localRecord(1).Level[2], 12);
    EXPECT_TRUE(doc->AskForSave);
    EXPECT_EQ(editor->TxtErrors->toPlainText(), QString());

    QDir().mkpath(env.path(QStringLiteral("Rovemark/AutoExport")));
    ASSERT_TRUE(SaveLoggerDocument(doc));
    const std::string file = TestEnv::readFile(env.path(QStringLiteral("area.pdb")));
    EXPECT_NE(file.find("\"Main Street\""), std::string::npos);
    EXPECT_NE(file.find("\"2023/03/01\",\"N\",12,"), std::string::npos);
    EXPECT_NE(file.find("\"by the hydrant\""), std::string::npos);
}

// The editor shows and edits only the eight digits of a grid reference: the letters of the grid square a record
// came with (from the field unit or an Ambleway import) stay when it is written back, and a record without
// letters gets "AA".
TEST_F(RecordEditorTest, UpdateKeepsTheRecordsOwnGridLetters) {
    const struct {
        const char* stored;
        const char* digits; // typed into the editor, or nullptr to leave the digits as shown
        const char* saved;
    } cases[] = {
        {"TQ 1033 4179", nullptr, "TQ 1033 4179"},    {"TQ 1033 4179", "99998888", "TQ 9999 8888"},
        {"nz 0000 1111", nullptr, "nz 0000 1111"},    {"", "12345678", "AA 1234 5678"},
        {"__ ____ ____", "12345678", "AA 1234 5678"},
    };
    std::vector<FixtureLogger> loggers;
    int32_t serial = 2000001;
    for (const auto& c : cases)
        loggers.push_back({serial++, c.stored, "before"});
    const QString path = env.writeFile(QStringLiteral("grid.pdb"), areaFile(loggers));
    OpenDocument(path);
    frmDMA* grid = ActiveDocument.data();
    ASSERT_NE(grid, doc);
    ScriptedUi ui;
    for (int row = 1; row <= static_cast<int>(std::size(cases)); ++row) {
        grid->ListViewDMA_ItemClick(row);
        grid->ListViewDMA_DblClick();
        editor->txtComments1->setBoxText(QStringLiteral("after"));
        if (const char* digits = cases[row - 1].digits)
            editor->txtGridRef->setBoxText(QString::fromLatin1(digits));
        int key = 123;
        int shift = 0;
        editor->Form_KeyDown(key, shift);
        EXPECT_EQ(editor->TxtErrors->toPlainText(), QString()) << row;
    }
    QDir().mkpath(env.path(QStringLiteral("Rovemark/AutoExport")));
    ASSERT_TRUE(SaveLoggerDocument(grid));
    ASSERT_EQ(ReadDatabaseFile(path), 0);
    ASSERT_EQ(LoggerCount, static_cast<int>(std::size(cases)));
    for (int i = 1; i <= LoggerCount; ++i) {
        EXPECT_EQ(LoggerTable[static_cast<size_t>(i)].Comment1, "after") << i;
        EXPECT_EQ(LoggerTable[static_cast<size_t>(i)].GridRef, cases[i - 1].saved) << "stored " << cases[i - 1].stored;
    }
}

// What can be entered into a saved field reads back from the file unchanged: commas, line breaks and
// characters Windows-1252 lacks are refused as typed and become blanks when pasted.
TEST_F(RecordEditorTest, SavedFieldsTakeOnlyWhatTheFileCanHold) {
    ScriptedUi ui;
    showRow(1);
    editor->txtComments1->setBoxText(QString());
    editor->txtComments1->setFocus();
    QTest::keyClicks(editor->txtComments1, QStringLiteral("Main, St"));
    EXPECT_EQ(editor->txtComments1->Text(), QStringLiteral("Main St"));
    EXPECT_EQ(status.last(), LoadLangString(txt::UnstorableCharacter));
    editor->txtComments2->setBoxText(QString());
    QTest::keyClicks(editor->txtComments2, QStringLiteral("51,5"));
    EXPECT_EQ(editor->txtComments2->Text(), QStringLiteral("515"));
    editor->txtUserComments->clear();
    editor->txtUserComments->insert(QStringLiteral("gate, \u20ac5\r\nkey \u03a9 box"));
    EXPECT_EQ(editor->txtUserComments->text(), QStringLiteral("gate  \u20ac5  key   box"));

    int key = 123;
    int shift = 0;
    editor->Form_KeyDown(key, shift);
    QDir().mkpath(env.path(QStringLiteral("Rovemark/AutoExport")));
    ASSERT_TRUE(SaveLoggerDocument(doc));
    ASSERT_EQ(ReadDatabaseFile(env.path(QStringLiteral("area.pdb"))), 0);
    ASSERT_EQ(LoggerCount, 3);
    EXPECT_EQ(editor->TxtErrors->toPlainText(), QString());
    EXPECT_EQ(LoggerTable[1].Comment1, doc->localRecord(1).Comment1);
    EXPECT_EQ(LoggerTable[1].Comment2, doc->localRecord(1).Comment2);
    EXPECT_EQ(LoggerTable[1].UserComments, doc->localRecord(1).UserComments);
    EXPECT_EQ(plat::fromAnsi(LoggerTable[1].UserComments), QStringLiteral("gate  \u20ac5  key   box"));
    EXPECT_EQ(LoggerTable[2].Serial, 1000002);
}

TEST_F(RecordEditorTest, BadEntriesAreRefusedAndChangeNothing) {
    const struct {
        const char* serial;
        int row;
        int column;
        const char* value;
        const char* message; // message box text, or "" for none
        int reportText;      // the text the error report starts with (0: no report), then reportRest
        const char* reportRest;
    } cases[] = {
        {"________", 0, 0, "", "________", 0, ""},
        {"13000000", 0, 0, "", "13000000", 0, ""},
        {"01000001", 3, 2, "100", "", txt::BadLevel, " 3"},
        {"01000001", 2, 3, "x", "", txt::BadSpread, " 2"},
        {"01000001", 4, 0, "2023/13/01", "", txt::BadDate, " 4"},
    };
    for (const auto& c : cases) {
        ScriptedUi ui;
        showRow(1);
        const LoggerRecord before = doc->localRecord(1);
        editor->txtSerNum->setBoxText(QString::fromLatin1(c.serial));
        editor->txtComments1->setBoxText(QStringLiteral("edited"));
        if (c.row > 0)
            reading(c.row)->setText(c.column, QString::fromLatin1(c.value));
        if (*c.message)
            ui.expectMessage(plat::IDOK, QString::fromLatin1(c.message) + LoadLangString(txt::InvalidSerial));
        editor->cmdUpdate_Click();
        if (c.reportText != 0) {
            EXPECT_TRUE(editor->TxtErrors->toPlainText().startsWith(LoadLangString(c.reportText) +
                                                                    QString::fromLatin1(c.reportRest)))
                << c.reportText << c.reportRest << " got " << editor->TxtErrors->toPlainText().toStdString();
        }
        EXPECT_EQ(doc->localRecord(1), before) << c.serial << " " << c.value;
        EXPECT_EQ(doc->RecordCount, 3);
    }
}

TEST_F(RecordEditorTest, UnknownSerialMakesANewLoggerAfterTheSelectedRowOnlyWhenEntriesPass) {
    ScriptedUi ui;
    showRow(1);
    editor->txtSerNum->setBoxText(QStringLiteral("02000000"));
    editor->txtGridRef->setBoxText(QStringLiteral("1234"));
    editor->cmdUpdate_Click();
    EXPECT_EQ(doc->RecordCount, 3);
    EXPECT_TRUE(editor->TxtErrors->toPlainText().startsWith(LoadLangString(txt::BadGridRef)));

    editor->txtGridRef->setBoxText(QStringLiteral("12345678"));
    editor->cmdUpdate_Click();
    ASSERT_EQ(doc->RecordCount, 4);
    EXPECT_EQ(doc->rowText(2, 0), QStringLiteral("02000000"));
    EXPECT_EQ(doc->rowText(2, 1), QStringLiteral("12345678"));
    EXPECT_EQ(doc->localRecord(4).ReadingDate[1], "");
    EXPECT_EQ(doc->localRecord(4).Level[1], 0);
}

TEST_F(RecordEditorTest, SerialOfAnotherRowAsksBeforeOverwriting) {
    ScriptedUi ui;
    showRow(1);
    editor->txtSerNum->setBoxText(QStringLiteral("01000002"));
    editor->txtComments1->setBoxText(QStringLiteral("overwritten"));
    ui.expectMessage(plat::IDNO, LoadLangString(txt::OtherRecordWarning) + QStringLiteral("\r\n") +
                                     LoadLangString(txt::OverwriteLoggerQuestion) + QStringLiteral("01000002"));
    editor->cmdUpdate_Click();
    EXPECT_EQ(doc->rowText(2, 4), QStringLiteral("Park"));
    ui.expectMessage(plat::IDYES, LoadLangString(txt::OtherRecordWarning));
    editor->cmdUpdate_Click();
    EXPECT_EQ(doc->rowText(2, 4), QStringLiteral("overwritten"));
}

TEST_F(RecordEditorTest, UpdateSerialChangesExactlyTheSelectedLoggerAndRefusesOneInTheList) {
    ScriptedUi ui;
    showRow(2);
    editor->txtSerNum->setBoxText(QStringLiteral("01000003"));
    ui.expectMessage(plat::IDYES, LoadLangString(txt::ChangeSerialQuestion));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::SerialInUse).section(QStringLiteral("\\n"), 0, 0));
    editor->cmdUpdateSerial_Click();
    EXPECT_EQ(doc->localRecord(2).Serial, 1000002);
    EXPECT_FALSE(doc->AskForSave);
    EXPECT_TRUE(editor->onTop());

    editor->txtSerNum->setBoxText(QStringLiteral("05000005"));
    ui.expectMessage(plat::IDYES, LoadLangString(txt::ChangeSerialQuestion));
    ui.expectMessage(plat::IDOK,
                     QStringLiteral("01000002") + LoadLangString(txt::SerialChanged) + QStringLiteral("05000005"));
    editor->cmdUpdateSerial_Click();
    EXPECT_EQ(doc->localRecord(2).Serial, 5000005);
    EXPECT_EQ(doc->rowText(2, 0), QStringLiteral("05000005"));
    EXPECT_TRUE(doc->AskForSave);

    ui.expectMessage(plat::IDNO, LoadLangString(txt::ChangeSerialQuestion));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::SerialNotChanged));
    editor->cmdUpdateSerial_Click();
}

TEST_F(RecordEditorTest, ReadingDialogEditsOneRowWhenHistoryEditingIsOn) {
    ScriptedUi ui;
    showRow(1);
    EnHistEdit = false;
    editor->ListViewEditBox_ItemClick(1);
    editor->ListViewEditBox_DblClick(); // nothing: no dialog is expected
    EnHistEdit = true;
    editor->ListViewEditBox_ItemClick(3);
    EXPECT_EQ(editor->graph->item(0).stripColour, LevelSpreadGraph::Yellow);
    EXPECT_EQ(editor->graph->item(2).stripColour, LevelSpreadGraph::Black);
    ui.expectDialog([](QDialog* d) {
        auto* h = static_cast<HistoryDialog*>(d);
        h->TxtDate->setText(QStringLiteral(" 2023/04/05 "));
        h->TxtStatus->setText(QStringLiteral("l"));
        EXPECT_EQ(h->TxtStatus->text(), QStringLiteral("L"));
        h->TxtLevel->setText(QStringLiteral("100"));
        h->OKButton_Click();
        EXPECT_FALSE(h->Result);
        h->TxtLevel->setText(QStringLiteral("60"));
        h->TxtSpread->setText(QStringLiteral("10"));
        h->OKButton_Click();
        return h->Result ? QDialog::Accepted : QDialog::Rejected;
    });
    ui.expectMessage(plat::IDOK, LoadLangString(txt::TheLevelMustBeA));
    editor->ListViewEditBox_DblClick();
    EXPECT_EQ(reading(3)->text(0), QStringLiteral("2023/04/05"));
    EXPECT_EQ(reading(3)->text(1), QStringLiteral("L"));
    EXPECT_EQ(reading(3)->text(2), QStringLiteral("60"));

    ui.expectDialog([](QDialog* d) {
        static_cast<HistoryDialog*>(d)->TxtLevel->setText(QStringLiteral("1"));
        static_cast<HistoryDialog*>(d)->CancelButton_Click();
        return QDialog::Rejected;
    });
    editor->ListViewEditBox_DblClick();
    EXPECT_EQ(reading(3)->text(2), QStringLiteral("60"));
    EnHistEdit = false;
}

// A reading changed in its dialog stays in the editor when the list gets the focus back (as it does when the
// window manager hands the focus to the main window after the dialog closes) until Update writes it, and is
// given up only when the user moves to another logger.
TEST_F(RecordEditorTest, AChangedReadingStaysUntilUpdateOrAnotherLogger) {
    ScriptedUi ui;
    EnHistEdit = true;
    auto changeLevel = [&](const char* level) {
        editor->ListViewEditBox_ItemClick(1);
        ui.expectDialog([level](QDialog* d) {
            auto* h = static_cast<HistoryDialog*>(d);
            h->TxtLevel->setText(QLatin1String(level));
            h->OKButton_Click();
            return h->Result ? QDialog::Accepted : QDialog::Rejected;
        });
        editor->ListViewEditBox_DblClick();
    };
    showRow(1);
    const QString stored = reading(1)->text(2);
    ASSERT_NE(stored, QStringLiteral("55"));

    changeLevel("55");
    doc->ListViewDMA_GotFocus();
    doc->ListViewDMA_GotFocus();
    EXPECT_EQ(reading(1)->text(2), QStringLiteral("55"));
    EXPECT_EQ(doc->SelLine, 1);
    int key = 123; // F12: Update
    int shift = 0;
    editor->Form_KeyDown(key, shift);
    EXPECT_EQ(doc->localRecord(doc->rowRecordIndex(1)).Level[1], 55);
    // Written back, the logger is the list's again: the focus reloads it as before.
    doc->ListViewDMA_GotFocus();
    EXPECT_EQ(reading(1)->text(2), QStringLiteral("55"));

    changeLevel("66");
    doc->ListViewDMA_ItemClick(2);
    doc->ListViewDMA_ItemClick(1);
    EXPECT_EQ(reading(1)->text(2), QStringLiteral("55"));
    EXPECT_EQ(doc->localRecord(doc->rowRecordIndex(1)).Level[1], 55);
    EnHistEdit = false;
}

// The reading dialog opens over the editor it came from, not over the menus at the screen's corner.
TEST_F(RecordEditorTest, ReadingDialogOpensCentredOverTheEditor) {
    editor->move(420, 260);
    editor->show();
    QCoreApplication::processEvents();
    HistoryDialog dialog(editor.get());
    dialog.show();
    QCoreApplication::processEvents();
    const QPoint offset = dialog.frameGeometry().center() - editor->frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << dialog.pos().x() << ',' << dialog.pos().y();
    dialog.hide();
    editor->hide();
}

TEST_F(RecordEditorTest, GraphBarsFollowLevelAndSpreadWithTheLeakColours) {
    ScriptedUi ui;
    LevelSpreadGraph& g = *editor->graph;
    const int levelRange = LevelSpreadGraph::linLevelMinY - LevelSpreadGraph::linLevelMaxY;
    const int spreadRange = LevelSpreadGraph::linSpreadMaxY - LevelSpreadGraph::linSpreadMinY2;
    const struct {
        int16_t level, spread;
        QColor fill;
        int levelHeight;
    } cases[] = {
        {40, 25, LevelSpreadGraph::Red, static_cast<int>(std::lround(levelRange * 40 / 99.0))},
        {39, 25, LevelSpreadGraph::Green, static_cast<int>(std::lround(levelRange * 39 / 99.0))},
        {99, 0, LevelSpreadGraph::Red, levelRange},
        {0, 0, LevelSpreadGraph::Green, 0},
        {-5, 0, LevelSpreadGraph::Green, 0},
        {150, 99, LevelSpreadGraph::Red, levelRange},
    };
    for (const auto& c : cases) {
        g.SetLevelAndSpreadGraphItem(7, QStringLiteral("2023/01/01"), c.level, c.spread);
        const auto& it = g.item(7);
        EXPECT_EQ(it.fill, c.fill) << c.level << "/" << c.spread;
        EXPECT_EQ(it.levelBar.height(), c.levelHeight) << c.level;
        EXPECT_EQ(it.levelBar.top(), LevelSpreadGraph::linLevelAxisY - c.levelHeight + 1);
        EXPECT_EQ(it.spreadBar.top(), LevelSpreadGraph::linSpreadMinY2);
        EXPECT_LE(it.spreadBar.height(), spreadRange);
        EXPECT_EQ(it.stripColour, LevelSpreadGraph::Yellow);
    }
    // Fifty columns side by side across the graph's width.
    EXPECT_EQ(g.item(0).strip.left(), LevelSpreadGraph::linLevelAxisX);
    EXPECT_EQ(g.item(49).strip.right() + 1, LevelSpreadGraph::LineWinRightWithGraph);
    for (int i = 1; i < LevelSpreadGraph::kItems; ++i)
        EXPECT_EQ(g.item(i).strip.left(), g.item(i - 1).strip.right() + 1);

    const int narrow = editor->width();
    editor->toggleGraph();
    EXPECT_TRUE(editor->graph->isVisibleTo(editor.get()));
    EXPECT_GT(editor->width(), narrow);
    EXPECT_EQ(editor->cmdGraph->text(), LoadLangString(txt::HideGraph));
    editor->toggleGraph();
    EXPECT_EQ(editor->width(), narrow);
    EXPECT_EQ(editor->cmdGraph->text(), LoadLangString(txt::ShowGraph));
}

TEST_F(RecordEditorTest, ArrowButtonsAndAutoIncrementMoveThroughTheList) {
    ScriptedUi ui;
    showRow(1);
    editor->Command_Down_Click();
    EXPECT_EQ(doc->SelLine, 2);
    EXPECT_EQ(editor->txtSerNum->Text(), QStringLiteral("01000002"));
    editor->CheckAutoIncrement->setChecked(true);
    editor->cmdUpdate_Click();
    EXPECT_EQ(doc->SelLine, 3);
    EXPECT_EQ(editor->txtSerNum->Text(), QStringLiteral("01000003"));
    // The third logger has no grid reference: the editor shows none rather than the last one's digits.
    EXPECT_EQ(editor->txtGridRef->Text(), QStringLiteral("________"));
    editor->Command_up_Click();
    EXPECT_EQ(doc->SelLine, 2);
}

// A list that gets the focus with no row selected becomes current while the editor still shows the logger of
// the list it came from. Update then writes into neither list; back in its own list the logger updates.
TEST_F(RecordEditorTest, UpdateWritesALoggerOnlyBackIntoItsOwnList) {
    ScriptedUi ui;
    OpenDocument(env.writeFile(QStringLiteral("other.pdb"), areaFile({kThree[0], kThree[1]})));
    frmDMA* other = ActiveDocument.data();
    other->ListViewDMA_ItemClick(2);
    ui.expectMessage(plat::IDYES, LoadLangString(txt::RemoveQuestion));
    ASSERT_TRUE(other->RemoveRecord()); // other keeps 01000001, with no row selected
    ASSERT_EQ(other->SelLine, 0);
    frmDMA* empty = newList();
    ASSERT_NE(empty, nullptr);

    showRow(1);
    const LoggerRecord original = doc->localRecord(1);
    const LoggerRecord othersLogger = other->localRecord(1);
    editor->txtComments1->setBoxText(QStringLiteral("edited"));
    reading(1)->setText(2, QStringLiteral("77"));
    for (frmDMA* target : {other, empty}) {
        target->ListViewDMA_GotFocus();
        ASSERT_EQ(ActiveDocument, target);
        ui.expectMessage(plat::IDOK, LoadLangString(txt::LoggerOfOtherList));
        editor->cmdUpdate_Click();
        EXPECT_EQ(editor->txtComments1->Text(), QStringLiteral("edited")); // the entries stay to be read
    }
    EXPECT_EQ(other->RecordCount, 1);
    EXPECT_EQ(other->localRecord(1), othersLogger);
    EXPECT_EQ(empty->RecordCount, 0);
    EXPECT_EQ(doc->localRecord(1), original);
    EXPECT_FALSE(doc->AskForSave);

    doc->ListViewDMA_GotFocus();
    EXPECT_EQ(editor->txtComments1->Text(), QStringLiteral("Main St"));
    editor->txtComments1->setBoxText(QStringLiteral("edited"));
    editor->cmdUpdate_Click();
    EXPECT_EQ(doc->rowText(1, 4), QStringLiteral("edited"));
    EXPECT_EQ(other->localRecord(1), othersLogger);
}

// A logger whose list was closed goes nowhere; an editor that shows no logger makes a new one in the current list.
TEST_F(RecordEditorTest, LoggerOfAClosedListIsRefusedAndAnEmptyEditorAddsToTheCurrentList) {
    ScriptedUi ui;
    frmDMA* empty = newList();
    ASSERT_NE(empty, nullptr);
    showRow(2);
    empty->ListViewDMA_GotFocus();
    doc->close();
    flushDeletes();
    ui.expectMessage(plat::IDOK, LoadLangString(txt::LoggerOfOtherList));
    editor->cmdUpdate_Click();
    EXPECT_EQ(empty->RecordCount, 0);

    OpenDocument(env.writeFile(QStringLiteral("other.pdb"), areaFile(kThree)));
    ActiveDocument->close(); // closing the current list empties the editor
    flushDeletes();
    ASSERT_EQ(editor->txtSerNum->Text(), QStringLiteral("00000000"));
    empty->ListViewDMA_GotFocus();
    editor->txtSerNum->setBoxText(QStringLiteral("02000000"));
    editor->txtGridRef->setBoxText(QStringLiteral("12345678"));
    editor->cmdUpdate_Click();
    ASSERT_EQ(empty->RecordCount, 1);
    EXPECT_EQ(empty->rowText(1, 0), QStringLiteral("02000000"));
}

TEST_F(RecordEditorTest, F12AndUpdateWithoutADocumentDoNothingOrSayWhy) {
    ScriptedUi ui;
    doc->close();
    flushDeletes();
    int key = 123;
    int shift = 0;
    editor->Form_KeyDown(key, shift);
    EXPECT_EQ(key, 123);
    ui.expectMessage(plat::IDOK, LoadLangString(txt::NoDocument));
    editor->cmdUpdate_Click();
}

} // namespace

namespace {

// With real windows and dialogs: a reading changed in its dialog stays in the editor (the list must not get
// the focus back and reload its record), and no dialog opens beneath the editor, which stays on top.
TEST_F(RecordEditorTest, DialogsFromTheEditorOpenAboveItAndGiveTheFocusBack) {
    QMainWindow main;
    auto* area = new QMdiArea;
    main.setCentralWidget(area);
    SetDocumentArea(area);
    main.resize(800, 600);
    main.show();
    OpenDocument(env.writeFile(QStringLiteral("shown.pdb"), areaFile(kThree)));
    frmDMA* list = ActiveDocument.data();
    ASSERT_TRUE(list && list->isVisible());
    main.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    list->ListViewDMA->setFocus();
    list->ListViewDMA_ItemClick(1);
    list->ListViewDMA_DblClick();
    ASSERT_TRUE(editor->isVisible());
    EnHistEdit = true;
    editor->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(editor.get()));
    editor->ListViewEditBox->setFocus();
    editor->ListViewEditBox_ItemClick(1);

    bool onTop = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<HistoryDialog*>(QApplication::activeModalWidget());
        ASSERT_TRUE(dialog);
        onTop = dialog->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
        dialog->TxtLevel->setText(QStringLiteral("77"));
        dialog->OKButton->click();
    });
    editor->ListViewEditBox_DblClick();
    EXPECT_TRUE(onTop);
    EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == editor.get(); }, 2000));
    EXPECT_EQ(reading(1)->text(2), QStringLiteral("77"));
    // Update writes the edit into the list.
    int key = 123;
    int shift = 0;
    editor->Form_KeyDown(key, shift);
    EXPECT_EQ(list->localRecord(1).Level[1], 77);
    EnHistEdit = false;
    list->AskForSave = false;
    list->close();
    SetDocumentArea(nullptr);
}

} // namespace

namespace {

// The editor comes back where the user put it, and first appears clear of the main window's menus.
TEST_F(RecordEditorTest, TheEditorKeepsThePlaceTheUserGaveIt) {
    ScriptedUi ui;
    editor->showEditor();
    const QRect free = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_GT(editor->pos().x(), free.left() + free.width() / 4);
    EXPECT_GT(editor->pos().y(), free.top() + 40);
    editor->move(120, 140);
    editor->close();
    ASSERT_FALSE(editor->isVisible());
    editor->showEditor();
    EXPECT_EQ(editor->pos(), QPoint(120, 140));
}

} // namespace
