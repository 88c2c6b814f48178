// Editing the records of logger list windows: clipboard, create, remove, find and the editor's write-back.
#include "DocumentFixtures.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/RecordClipboard.h"
#include "documents/frmDMA.h"
#include "lang/LangText.h"
#include "platform/TextCodec.h"
#include "platform/WindowRegistry.h"

#include <QCoreApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMdiArea>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::vector<FixtureLogger> loggers(std::initializer_list<std::pair<int32_t, const char*>> items) {
    std::vector<FixtureLogger> out;
    for (const auto& [serial, comment] : items) {
        FixtureLogger l;
        l.serial = serial;
        l.gridRef = "AB 1234 5678";
        l.comment1 = comment;
        out.push_back(l);
    }
    return out;
}

class ListEditingTest : public ::testing::Test, public DocumentTest {
protected:
    frmDMA* open(const std::vector<FixtureLogger>& list, const QString& name) {
        OpenDocument(env.writeFile(name, areaFile(list)));
        return ActiveDocument.data();
    }
    static void select(frmDMA* w, std::initializer_list<int> positions) {
        QItemSelectionModel* sel = w->ListViewDMA->selectionModel();
        sel->clearSelection();
        for (int p : positions)
            sel->select(w->listModel()->index(p - 1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    static QStringList serials(const frmDMA* w) {
        QStringList out;
        for (int p = 1; p <= w->rowCount(); ++p)
            out << w->rowText(p, 0);
        return out;
    }
    void TearDown() override {
        CloseAllWindows();
        RecordClipboard.assign(1, LoggerRecord());
        ClipboardCount = 0;
    }
};

TEST_F(ListEditingTest, CutAndPasteMoveRecordsBetweenTwoWindows) {
    ScriptedUi ui;
    frmDMA* a = open(loggers({{1000001, "a1"}, {1000002, "a2"}, {1000003, "a3"}}), QStringLiteral("a.pdb"));
    frmDMA* b = open(loggers({{2000001, "b1"}}), QStringLiteral("b.pdb"));
    select(a, {1, 3});
    ui.expectMessage(plat::IDYES, LoadLangString(txt::RemoveQuestion) + QStringLiteral("01000001 ?\n(a1)"));
    ui.expectMessage(plat::IDYES, QStringLiteral("01000003"));
    a->CutRecords();
    EXPECT_EQ(serials(a), QStringList{QStringLiteral("01000002")});
    EXPECT_EQ(a->RecordCount, 1);
    EXPECT_TRUE(a->AskForSave);
    EXPECT_EQ(a->SelLine, 0);
    EXPECT_EQ(ClipboardCount, 2);
    ASSERT_TRUE(ui.allUsed());

    a->AskForSave = false;
    a->close();
    flushDeletes();
    b->SelLine = 0;
    b->PasteRecords();
    // With no row selected the first record goes to the end and each later one above the one before.
    EXPECT_EQ(serials(b), (QStringList{"02000001", "01000003", "01000001"}));
    EXPECT_EQ(plat::fromAnsi(b->localRecord(2).Comment1), QStringLiteral("a1"));
    EXPECT_TRUE(b->AskForSave);
}

TEST_F(ListEditingTest, CutAnsweredNoKeepsRecordsButMarksTheWindow) {
    ScriptedUi ui;
    frmDMA* w = open(loggers({{1000001, "x"}, {1000002, "y"}}), QStringLiteral("a.pdb"));
    select(w, {1, 2});
    ui.expectMessage(plat::IDNO).expectMessage(plat::IDNO);
    w->CutRecords();
    EXPECT_EQ(w->RecordCount, 2);
    EXPECT_TRUE(w->AskForSave);
    EXPECT_EQ(w->SelLine, 0);
}

TEST_F(ListEditingTest, CutRemovesTheSelectedRowsOwnRecordWhereSerialsRepeat) {
    ScriptedUi ui;
    frmDMA* w = open(loggers({{1000001, "first"}, {1000002, "third"}}), QStringLiteral("a.pdb"));
    ASSERT_TRUE(w->CreateNewRecord2(1000001, 2)); // a second logger with the first one's serial, in row 2
    select(w, {2});
    ui.expectMessage(plat::IDYES, QStringLiteral("(") + LoadLangString(txt::BlankComment) + QStringLiteral(")"));
    w->CutRecords();
    ASSERT_EQ(w->RecordCount, 2);
    EXPECT_EQ(plat::fromAnsi(w->localRecord(1).Comment1), QStringLiteral("first"));
    EXPECT_EQ(plat::fromAnsi(w->localRecord(2).Comment1), QStringLiteral("third"));
}

TEST_F(ListEditingTest, CopyKeepsListOrderAndNoSelectionKeepsTheClipboard) {
    ScriptedUi ui;
    frmDMA* w = open(loggers({{1000001, "x"}, {1000002, "y"}, {1000003, "z"}}), QStringLiteral("a.pdb"));
    select(w, {3, 1, 2});
    w->CopyRecords();
    ASSERT_EQ(ClipboardCount, 3);
    EXPECT_EQ(RecordClipboard[1].Serial, 1000001);
    EXPECT_EQ(RecordClipboard[3].Serial, 1000003);
    select(w, {});
    w->CopyRecords();
    EXPECT_EQ(ClipboardCount, 3);
    EXPECT_FALSE(w->AskForSave);
}

TEST_F(ListEditingTest, PasteAboveSelectedRowInReverseOrderAndAsksOncePerDuplicate) {
    ScriptedUi ui;
    frmDMA* src = open(loggers({{3000001, "A"}, {3000002, "B"}}), QStringLiteral("src.pdb"));
    select(src, {1, 2});
    src->CopyRecords();
    frmDMA* dst = open(loggers({{1000001, ""}, {1000002, ""}, {1000003, ""}, {1000004, ""}, {1000005, ""}}),
                       QStringLiteral("dst.pdb"));
    dst->SelLine = 5;
    dst->PasteRecords();
    EXPECT_EQ(serials(dst).mid(4), (QStringList{"03000002", "03000001", "01000005"}));
    EXPECT_EQ(status.last(), QStringLiteral("Serial 03000002 pasted."));

    // Both are there now: the first question is answered OK (skip), the second Cancel (stop).
    ui.expectMessage(plat::IDOK, QStringLiteral("3000001: ") + LoadLangString(txt::PasteDuplicate));
    ui.expectMessage(plat::IDCANCEL, QStringLiteral("3000002: "));
    dst->PasteRecords();
    EXPECT_EQ(dst->RecordCount, 7);
}

TEST_F(ListEditingTest, PastePastTheLoggerLimitChangesNothing) {
    ScriptedUi ui;
    std::vector<FixtureLogger> many;
    for (int i = 0; i < kMaxLoggers - 1; ++i)
        many.push_back({1000000 + i});
    frmDMA* full = open(many, QStringLiteral("full.pdb"));
    RecordClipboard.assign(3, LoggerRecord());
    ClipboardCount = 2;
    RecordClipboard[1].Serial = 5000001;
    RecordClipboard[2].Serial = 5000002;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::LoggerLimit));
    full->PasteRecords();
    EXPECT_EQ(full->RecordCount, kMaxLoggers - 1);
    EXPECT_FALSE(full->AskForSave);
    EXPECT_TRUE(full->CreateNewRecord(5000004, 0, QString()));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::LoggerLimit));
    EXPECT_FALSE(full->CreateNewRecord2(5000003, 0));
    EXPECT_EQ(full->RecordCount, kMaxLoggers);
}

TEST_F(ListEditingTest, CreateNewRecordRefusesDuplicatesAndFormatsEightGridDigits) {
    ScriptedUi ui;
    frmDMA* w = open(loggers({{1000001, "x"}}), QStringLiteral("a.pdb"));
    EXPECT_FALSE(w->CreateNewRecord(1000001, 0, QString()));
    EXPECT_EQ(status.last(), QString());
    const struct {
        int32_t serial;
        const char* digits;
        const char* grid;
    } cases[] = {{1000002, "12345678", "AA 1234 5678"},
                 {1000003, "1234567", "__ ____ ____"},
                 {1000004, "123456789", "__ ____ ____"}};
    for (const auto& c : cases) {
        ASSERT_TRUE(w->CreateNewRecord(c.serial, 0, QString::fromLatin1(c.digits)));
        EXPECT_EQ(w->localRecord(w->RecordCount).GridRef, c.grid);
        EXPECT_EQ(w->localRecord(w->RecordCount).Comment1, LoadLangAnsi(txt::BlankComment));
        EXPECT_EQ(w->SelLine, w->RecordCount);
    }
    EXPECT_EQ(status.texts.contains(LoadLangString(txt::SerialPrefix) + QStringLiteral("01000004") +
                                    LoadLangString(txt::Added)),
              true);
    EXPECT_TRUE(w->CreateNewRecord2(1000001, 1));
    EXPECT_EQ(w->rowText(1, 0), QStringLiteral("01000001"));
    EXPECT_EQ(w->RecordCount, 5);
}

TEST_F(ListEditingTest, RemoveRecordAsksAndTheOnlyRecordLeavesAnEmptyWindow) {
    ScriptedUi ui;
    frmDMA* w = open(loggers({{1000001, "only"}}), QStringLiteral("a.pdb"));
    w->SelLine = 0;
    EXPECT_FALSE(w->RemoveRecord());
    w->SelLine = 1;
    ui.expectMessage(plat::IDNO, QStringLiteral("(only)"));
    EXPECT_FALSE(w->RemoveRecord());
    EXPECT_EQ(w->RecordCount, 1);
    ui.expectMessage(plat::IDYES, QStringLiteral("(only)"));
    LoggerTable[kMaxLoggers].Serial = 99999999; // the exchange slot is the other windows': left as it was
    EXPECT_TRUE(w->RemoveRecord());
    EXPECT_EQ(w->RecordCount, 0);
    EXPECT_EQ(w->rowCount(), 0);
    EXPECT_EQ(w->SelLine, 0);
    EXPECT_EQ(w->RemovedRecord.Serial, 1000001);
    EXPECT_EQ(LoggerTable[kMaxLoggers].Serial, 99999999);
}

TEST_F(ListEditingTest, FindAndFindNextSelectMatchingRowsWithoutWrapping) {
    ScriptedUi ui;
    auto seven = loggers({{1000001, "a"},
                          {1000002, "pump"},
                          {1000003, "b"},
                          {1000004, "c"},
                          {1000005, "pump"},
                          {1000006, "d"},
                          {1000007, "PUMP"}});
    frmDMA* w = open(seven, QStringLiteral("seven.pdb"));
    w->Find(QStringLiteral("pump"));
    EXPECT_EQ(w->SelLine, 2);
    EXPECT_EQ(status.last(), LoadLangString(txt::Found) + QStringLiteral("pump") + LoadLangString(txt::FoundAtRow) +
                                 QStringLiteral("2"));
    w->Find(QString());
    EXPECT_EQ(w->SelLine, 5);
    EXPECT_TRUE(w->ListViewDMA->selectionModel()->isRowSelected(4, {}));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::NotFound))
        .expectMessage(plat::IDOK, LoadLangString(txt::NotFound));
    w->Find(QString());
    w->Find(QString());
    EXPECT_EQ(w->SelLine, 5);

    frmDMA* five = open(std::vector<FixtureLogger>(seven.begin(), seven.begin() + 5), QStringLiteral("five.pdb"));
    five->Find(QStringLiteral("pump"));
    five->Find(QString());
    five->Find(QString());
    EXPECT_EQ(five->SelLine, 2);
}

TEST_F(ListEditingTest, FindNextInAWindowNeverSearchedStartsAtTheTop) {
    ScriptedUi ui;
    frmDMA* w = open(loggers({{1000001, "a"}, {1000002, "b"}}), QStringLiteral("a.pdb"));
    w->SelLine = 2;
    w->Find(QString()); // the empty text of a window never searched occurs in its first row
    EXPECT_EQ(w->SelLine, 1);
    EXPECT_EQ(w->SearchNextLine, 2);
}

TEST_F(ListEditingTest, ModifyKeepsDatesAndShowsTheNewFirstLevel) {
    ScriptedUi ui;
    FixtureLogger l{1000001, "AB 1234 5678", "c1", "c2", "2023/01/02", "2023/02/03", "2023/02/01", "L", 40, 3, ""};
    frmDMA* w = open({l}, QStringLiteral("a.pdb"));
    LoggerRecord edited = w->localRecord(1);
    edited.Deployed.clear();
    edited.Received.clear();
    edited.Comment1 = "changed";
    edited.Level[1] = 7;
    edited.Level[2] = 55;
    w->ModifyRecordBySerialNo(edited);
    EXPECT_EQ(w->rowText(1, 4), QStringLiteral("changed"));
    EXPECT_EQ(w->rowText(1, 8), QStringLiteral(" 7"));
    EXPECT_EQ(w->localRecord(1).Deployed, "2023/01/02");
    EXPECT_EQ(w->localRecord(1).Level[2], 55);
    EXPECT_TRUE(w->AskForSave);

    edited.Serial = 1000009;
    ui.expectMessage(plat::IDOK, QStringLiteral("01000009") + LoadLangString(txt::ModifyNoRecord));
    w->ModifyRecordBySerialNo(edited);
    EXPECT_EQ(w->RecordCount, 1);
}

} // namespace

// A found row at the bottom edge of what the list shows, half hidden there, is scrolled fully into view: also
// when the list window is taller than the main window's document area, which then hides the list's lower part.
TEST_F(ListEditingTest, FindScrollsTheFoundRowFullyIntoView) {
    ScriptedUi ui;
    std::vector<FixtureLogger> many;
    for (int i = 1; i <= 60; ++i) {
        FixtureLogger l;
        l.serial = 1000000 + i;
        l.gridRef = "AB 1234 5678";
        l.comment1 = "row" + std::to_string(i);
        many.push_back(l);
    }
    QMdiArea area;
    area.resize(700, 400);
    area.show();
    SetDocumentArea(&area);
    frmDMA* w = open(many, QStringLiteral("many.pdb"));
    ASSERT_NE(w, nullptr);
    QTreeView* view = w->ListViewDMA;
    const int rowHeight = view->visualRect(w->listModel()->index(0, 0)).height();
    ASSERT_GT(rowHeight, 0);
    for (const int windowHeight : {300, 700}) {
        for (int extra = 0; extra < rowHeight; extra += std::max(1, rowHeight / 3)) {
            SCOPED_TRACE(testing::Message() << windowHeight << " + " << extra);
            view->scrollToTop();
            w->setGeometry(0, 0, 600, windowHeight + extra);
            QCoreApplication::processEvents();
            // What of the list the document area shows.
            QWidget* viewport = view->viewport();
            const QRect shown =
                viewport->rect() & QRect(viewport->mapFrom(area.viewport(), QPoint(0, 0)), area.viewport()->size());
            ASSERT_FALSE(shown.isEmpty());
            // The first row that is not shown whole.
            int cut = 0;
            for (int r = 0; r < w->rowCount() && cut == 0; ++r) {
                if (view->visualRect(w->listModel()->index(r, 0)).bottom() > shown.bottom())
                    cut = r + 1;
            }
            ASSERT_GT(cut, 1);
            w->Find(QStringLiteral("row") + QString::number(cut));
            ASSERT_EQ(w->SelLine, cut);
            QCoreApplication::processEvents();
            EXPECT_TRUE(shown.contains(view->visualRect(w->listModel()->index(cut - 1, 0)))) << "row " << cut;
        }
    }
    CloseAllWindows();
    SetDocumentArea(nullptr);
}
