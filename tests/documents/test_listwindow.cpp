// The logger list window: rows, columns, sorting, selection, record exchange and its stored layout.
#include "DocumentFixtures.h"
#include "ScopedProgramWindows.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/DocumentLinks.h"
#include "documents/LoggerCommands.h"
#include "documents/frmDMA.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"
#include "platform/Twips.h"

#include <QCoreApplication>
#include <QDialog>
#include <QFile>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeView>

#include <gtest/gtest.h>

namespace {

const std::vector<FixtureLogger> kThree = {
    {5, "AB 1234 5678", "Main St", "51.5/-0.12", "2023/01/02", "2023/02/03", "2023/02/01", "L", 12, 3, "by hydrant"},
    {1012345, "", "Park", "", "2023/01/05", "", "2023/02/02", "N", 7, 0, ""},
    {7000001, "CD 0001 0002", "Mill", "", "", "12:30:00", "", "", 30, 15, "x"},
};

class ListWindowTest : public ::testing::Test, public DocumentTest {
protected:
    frmDMA* open(const std::vector<FixtureLogger>& loggers, const QString& name = QStringLiteral("area.pdb")) {
        const QString path = env.writeFile(name, areaFile(loggers));
        OpenDocument(path);
        return ActiveDocument.data();
    }
    QString setting(const QString& key) const {
        return plat::settings::get(plat::appTitle(), QStringLiteral("Settings"), key);
    }
};

TEST_F(ListWindowTest, OpenedFileShowsOneRowPerLoggerInFileOrder) {
    ScriptedUi ui;
    frmDMA* w = open(kThree);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->RecordCount, 3);
    EXPECT_EQ(w->SelLine, 1);
    EXPECT_EQ(w->windowTitle(), env.path(QStringLiteral("area.pdb")));
    EXPECT_EQ(w->DMAName, QStringLiteral("area.pdb"));
    EXPECT_FALSE(w->AskForSave);
    EXPECT_FALSE(w->NeverBeenSaved);
    EXPECT_EQ(w->NumHistories, 50);
    EXPECT_EQ(status.last(), QString());
    ASSERT_EQ(w->rowCount(), 3);

    const QStringList expected[] = {
        {"00000005", "12345678", "2023/01/02", "2023/02/03", "Main St", "51.5/-0.12", "2023/02/01", "L", "12", " 3",
         "by hydrant"},
        {"01012345", "________", "2023/01/05", "", "Park", "", "2023/02/02", "N", " 7", " 0", ""},
        {"07000001", "00010002", "", "12:30:00", "Mill", "", "", "", "30", "15", "x"},
    };
    for (int row = 1; row <= 3; ++row) {
        EXPECT_EQ(w->rowKey(row), QString::number(row) + u'x');
        for (int c = 0; c < 11; ++c)
            EXPECT_EQ(w->rowText(row, c), expected[row - 1][c]) << "row " << row << " column " << c;
        // What the list view itself shows is the same text.
        EXPECT_EQ(w->ListViewDMA->model()->index(row - 1, 0).data().toString(), expected[row - 1][0]);
    }
    const int captions[] = {txt::SerialPrefix,
                            txt::GridRefCaption,
                            txt::Deployed,
                            txt::Received,
                            txt::Comment1,
                            txt::DefaultSecondCommentCaption,
                            txt::BadDate,
                            txt::BadStatus,
                            txt::BadLevel,
                            txt::BadSpread,
                            txt::AdditionalInformation};
    for (int c = 1; c <= 11; ++c) {
        EXPECT_FALSE(w->columnCaption(c).isEmpty());
        EXPECT_EQ(w->columnCaption(c), LoadLangString(captions[c - 1])) << "column " << c;
    }
    EXPECT_TRUE(w->ListViewDMA->header()->sectionsMovable());
    EXPECT_EQ(w->ListViewDMA->selectionMode(), QAbstractItemView::ExtendedSelection);
    w->close();
}

TEST_F(ListWindowTest, ReadingValuesGetABlankBelowTen) {
    const std::pair<int, const char*> cases[] = {{7, " 7"}, {0, " 0"}, {15, "15"}, {-5, " -5"}, {99, "99"}};
    for (const auto& [value, text] : cases)
        EXPECT_EQ(FormatReadingValue(static_cast<int16_t>(value)), QString::fromLatin1(text)) << value;
}

TEST_F(ListWindowTest, CoordinateColumnCaptionFollowsAddress2) {
    ScriptedUi ui;
    frmDMA* w = open(kThree);
    const std::pair<const char*, QString> cases[] = {
        {"13", QStringLiteral("QNG Grid")},
        {"1", QStringLiteral("Lat/Long")},
        {"14", QStringLiteral("Lat/Long")},
        {"", QStringLiteral("Lat/Long")},
        {"0", LoadLangString(txt::DefaultSecondCommentCaption)},
        {"A", LoadLangString(txt::DefaultSecondCommentCaption)},
    };
    for (const auto& [code, caption] : cases) {
        SaveSettingText(QStringLiteral("Address2"), QString::fromLatin1(code));
        w->UpdateCommentsColumnHeader();
        EXPECT_EQ(w->columnCaption(6), caption) << "Address2 " << code;
        EXPECT_EQ(w->ListViewDMA->model()->headerData(5, Qt::Horizontal).toString(), caption);
    }
    w->close();
}

TEST_F(ListWindowTest, ColumnClickTogglesTheSortForTheWholeList) {
    ScriptedUi ui;
    frmDMA* w = open(kThree);
    const QString level = w->columnCaption(9);

    w->ListViewDMA->header()->sectionClicked(8); // the Level caption, as a click sends it
    EXPECT_EQ(w->rowText(1, 8), QStringLiteral("30"));
    EXPECT_EQ(w->rowText(2, 8), QStringLiteral("12"));
    EXPECT_EQ(w->rowText(3, 8), QStringLiteral(" 7"));
    EXPECT_EQ(status.last(), level + LoadLangString(txt::SortedDescending));
    // Rows keep their records: the keys move with them.
    EXPECT_EQ(w->rowKey(1), QStringLiteral("3x"));

    w->ListViewDMA_ColumnClick(1); // any column's second click sorts ascending
    EXPECT_EQ(w->rowText(1, 0), QStringLiteral("00000005"));
    EXPECT_EQ(w->rowText(3, 0), QStringLiteral("07000001"));
    EXPECT_EQ(status.last(), w->columnCaption(1) + LoadLangString(txt::SortedAscending));
    EXPECT_EQ(w->localRecord(1).Serial, 5); // records are not reordered
    w->close();
}

TEST_F(ListWindowTest, ClickingARowShowsItsPositionAndFollowsTheSelection) {
    ScriptedUi ui;
    frmDMA* w = open(kThree);
    const QModelIndex third = w->ListViewDMA->model()->index(2, 3);
    w->ListViewDMA->clicked(third);
    EXPECT_EQ(w->SelLine, 3);
    EXPECT_EQ(status.last(), LoadLangString(txt::LoggerOf) + u'3' + LoadLangString(txt::LoggerOfEnd) + u'3');
    EXPECT_EQ(ActiveDocument, w);

    // Keys move the selection as clicks do; the program's own selection changes do not count as clicks.
    status.texts.clear();
    w->MakeVisibleListLine(2);
    EXPECT_TRUE(status.texts.isEmpty());
    EXPECT_EQ(w->ListViewDMA->currentIndex().row(), 1);
    w->ListViewDMA->setCurrentIndex(w->ListViewDMA->model()->index(0, 0));
    EXPECT_EQ(w->SelLine, 1);
    EXPECT_EQ(status.last(), LoadLangString(txt::LoggerOf) + u'1' + LoadLangString(txt::LoggerOfEnd) + u'3');
    w->close();
}

TEST_F(ListWindowTest, RecordExchangeThroughTableSlots) {
    ScriptedUi ui;
    frmDMA* w = open(kThree);
    w->GetLocalRecByIndex(7000, 2);
    EXPECT_EQ(LoggerTable[7000].Serial, 1012345);

    w->GetLocalRec(424242, 0); // not in the window: a blank record
    EXPECT_EQ(LoggerTable[0].Serial, 99999999);
    EXPECT_EQ(LoggerTable[0].GridRef, "__ ____ ____");

    w->GetLocalRecByIndex(0, 3);
    LoggerTable[0].Comment1 = "changed";
    w->PutLocalRecByIndex(0, 3);
    EXPECT_EQ(w->localRecord(3).Comment1, "changed");
    EXPECT_EQ(w->localRecord(3).Serial, 7000001);
    EXPECT_FALSE(w->AskForSave);
    w->ReLoad();
    EXPECT_EQ(w->rowText(3, 4), QStringLiteral("changed"));
    EXPECT_EQ(status.last(), LoadLangString(txt::ListReloaded));

    EXPECT_EQ(w->GetRecFromSerial(1012345), 2);
    EXPECT_EQ(w->GetRecFromSerial(3), 0);
    EXPECT_EQ(w->GetLineFromSerial(7000001), 3);
    EXPECT_EQ(w->GetLineFromSerial(3), 0);

    w->SelLine = 0;
    LoggerTable[7000].Serial = 1;
    EXPECT_FALSE(w->GetLocalRecBySelection());
    EXPECT_EQ(LoggerTable[7000].Serial, 1);
    w->SelLine = 2;
    EXPECT_TRUE(w->GetLocalRecBySelection());
    EXPECT_EQ(LoggerTable[7000].Serial, 1012345);
    w->close();
}

TEST_F(ListWindowTest, CopyToTableTrimsReadingsInTheCopyOnly) {
    ScriptedUi ui;
    auto loggers = kThree;
    loggers[0].status1 = " l ";
    loggers[0].date1 = "2023/02/01";
    frmDMA* w = open(loggers);
    LoggerTable[0] = LoggerRecord();
    w->GetLocalRecByIndex(0, 1);
    LoggerTable[0].ReadingDate[1] = " 2023/02/01 ";
    w->PutLocalRecByIndex(0, 1);
    LoggerCount = 0;
    ASSERT_TRUE(w->CopyTo_DMAModule());
    EXPECT_EQ(LoggerCount, 3);
    EXPECT_EQ(LoggerTable[1].ReadingStatus[1], "L");
    EXPECT_EQ(LoggerTable[1].ReadingDate[1], "2023/02/01");
    EXPECT_EQ(w->localRecord(1).ReadingStatus[1], " l ");
    EXPECT_EQ(w->localRecord(1).ReadingDate[1], " 2023/02/01 ");
    EXPECT_EQ(status.last(), LoadLangString(txt::PreparingLogger) + u'3');
    w->close();
}

TEST_F(ListWindowTest, EmptyTableLeavesTheWindowAsItWas) {
    ScriptedUi ui;
    frmDMA* w = open(kThree);
    LoggerCount = 0;
    w->CopyFrom_DMAModule();
    EXPECT_EQ(w->RecordCount, 3);
    EXPECT_EQ(w->rowCount(), 3);
    EXPECT_EQ(status.last(), LoadLangString(txt::NoLoggers));
    w->close();
}

TEST_F(ListWindowTest, DefaultLayoutOnFirstStart) {
    ScriptedUi ui;
    frmDMA* w = open(kThree);
    EXPECT_EQ(w->width(), plat::twips::toPixelsX(9450));
    EXPECT_EQ(w->height(), plat::twips::toPixelsY(6237));
    const QHeaderView* h = w->ListViewDMA->header();
    // Each column gets its share of the list's width (the serial a tenth, the others 9 %), or more where its
    // values need it; the header does not stretch the last column, so it is fitted like the others.
    const double share = h->sectionSize(9) / 0.9; // the spreads are short
    const QFontMetrics metrics(w->ListViewDMA->font());
    for (int c = 0; c < 11; ++c) {
        int widest = 0;
        for (int row = 1; row <= w->rowCount(); ++row)
            widest = std::max(widest, metrics.horizontalAdvance(w->rowText(row, c)));
        const double standard = share * (c == 0 ? 1.0 : 0.9);
        if (widest < standard - 20)
            EXPECT_NEAR(h->sectionSize(c), standard, 1.5) << "column " << c;
        else
            EXPECT_GT(h->sectionSize(c), widest) << "column " << c;
        EXPECT_EQ(h->visualIndex(c), c);
    }
    EXPECT_GT(share, 40);
    w->close();
}

TEST_F(ListWindowTest, ActiveWindowStoresItsLayoutAndTheNextWindowLoadsIt) {
    ScriptedUi ui;
    frmDMA* first = open(kThree, QStringLiteral("a.pdb"));
    frmDMA* second = open(kThree, QStringLiteral("b.pdb"));
    ASSERT_EQ(ActiveDocument, second);

    // Closing a window that is not the current one stores nothing.
    QHeaderView* h1 = first->ListViewDMA->header();
    h1->resizeSection(4, 333);
    first->close();
    EXPECT_TRUE(setting(QStringLiteral("Comment1_ColWidth")).isEmpty());
    EXPECT_TRUE(setting(QStringLiteral("DMAForm_Width")).isEmpty());

    QHeaderView* h = second->ListViewDMA->header();
    h->resizeSection(0, 123);
    h->resizeSection(10, 201);
    h->moveSection(h->visualIndex(8), 0);  // Level first
    h->moveSection(h->visualIndex(0), 10); // Serial last
    second->resize(700, 380);
    std::vector<int> visual;
    for (int c = 0; c < 11; ++c)
        visual.push_back(h->visualIndex(c));
    second->close();
    EXPECT_EQ(ActiveDocument, nullptr);
    EXPECT_EQ(setting(QStringLiteral("SerialNo_ColWidth")), QString::number(plat::twips::fromPixelsX(123)));
    EXPECT_EQ(setting(QStringLiteral("Level_ColPosition")), QStringLiteral("1"));
    EXPECT_EQ(setting(QStringLiteral("SerialNo_ColPosition")), QStringLiteral("11"));
    EXPECT_EQ(setting(QStringLiteral("DMAForm_Width")), QString::number(plat::twips::fromPixelsX(700)));

    frmDMA* third = open(kThree, QStringLiteral("c.pdb"));
    QHeaderView* h3 = third->ListViewDMA->header();
    EXPECT_EQ(third->width(), 700);
    EXPECT_EQ(third->height(), 380);
    EXPECT_EQ(h3->sectionSize(0), 123);
    EXPECT_EQ(h3->sectionSize(10), 201);
    for (int c = 0; c < 11; ++c)
        EXPECT_EQ(h3->visualIndex(c), visual[static_cast<size_t>(c)]) << "column " << c;
    third->close();
}

TEST_F(ListWindowTest, HandEditedLayoutValuesFallBackToDefaults) {
    ScriptedUi ui;
    SaveSettingText(QStringLiteral("DMAForm_Width"), QStringLiteral("wide"));
    SaveSettingText(QStringLiteral("GridRef_ColPosition"), QStringLiteral("x"));
    frmDMA* w = open(kThree);
    EXPECT_EQ(w->width(), plat::twips::toPixelsX(9450));
    EXPECT_EQ(w->ListViewDMA->header()->visualIndex(1), 1);
    w->close();
}

struct CloseCase {
    const char* name;
    int answer;
    bool neverSaved;
    QString saveDialogAnswer; // for a window without a file; "" = cancelled
    bool closes;
    bool fileWritten;
};

class CloseQuestionTest : public ListWindowTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(CloseQuestionTest, ClosingAChangedWindowAsksToSave) {
    const CloseCase& k = GetParam();
    ScriptedUi ui;
    const QString path = env.writeFile(QStringLiteral("area.pdb"), areaFile(kThree));
    OpenDocument(path);
    QPointer<frmDMA> w = ActiveDocument.data();
    ASSERT_TRUE(w);
    const QString target = k.neverSaved ? env.path(QStringLiteral("chosen.pdb")) : path;
    w->NeverBeenSaved = k.neverSaved;
    w->AskForSave = true;
    w->GetLocalRecByIndex(0, 2);
    LoggerTable[0].Comment1 = "edited";
    w->PutLocalRecByIndex(0, 2);

    const QString shownName = k.neverSaved ? w->DMAName : path;
    ui.expectMessage(k.answer, LoadLangString(txt::SavePrompt) + shownName + u'?');
    if (k.answer == plat::IDYES && k.neverSaved)
        ui.expectSaveFile(k.saveDialogAnswer.isEmpty() ? QString() : target);
    ui.allowAnyMessage(plat::IDOK); // the queue-folder notice after a save
    const bool closed = w->close();
    flushDeletes();
    EXPECT_EQ(closed, k.closes);
    EXPECT_EQ(w.isNull(), k.closes);
    EXPECT_EQ(ui.messages().front().style, 3 + 48 + 256);
    const bool written = TestEnv::readFile(target).find("edited") != std::string::npos;
    EXPECT_EQ(written, k.fileWritten);
    if (w) {
        EXPECT_TRUE(w->AskForSave);
        EXPECT_EQ(w->localRecord(2).Comment1, "edited");
        w->AskForSave = false;
        w->close();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CloseQuestionTest,
    ::testing::Values(CloseCase{"YesSaves", plat::IDYES, false, {}, true, true},
                      CloseCase{"YesChoosesAName", plat::IDYES, true, QStringLiteral("x"), true, true},
                      CloseCase{"YesButDialogCancelled", plat::IDYES, true, QString(), false, false},
                      CloseCase{"NoDiscards", plat::IDNO, false, {}, true, false},
                      CloseCase{"CancelKeeps", plat::IDCANCEL, false, {}, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ListWindowTest, YesWithAFailedWriteKeepsTheWindow) {
    ScriptedUi ui;
    frmDMA* opened = open(kThree);
    QPointer<frmDMA> w = opened;
    w->AskForSave = true;
    w->setWindowTitle(env.path(QStringLiteral("missing-folder/area.pdb")));
    ui.expectMessage(plat::IDYES, LoadLangString(txt::SavePrompt));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::FileNotWritten));
    EXPECT_FALSE(w->close());
    flushDeletes();
    ASSERT_TRUE(w);
    EXPECT_TRUE(w->AskForSave);
    w->AskForSave = false;
    w->close();
}

TEST_F(ListWindowTest, UpdateAllAdditionalInformation) {
    ScriptedUi ui;
    frmDMA* w = open(kThree);
    ui.expectDialog([](QDialog* d) {
        d->findChild<QPushButton*>(QStringLiteral("CancelButton"))->click();
        return d->result();
    });
    EXPECT_FALSE(w->UpdateAllAdditionalInformation());
    EXPECT_FALSE(w->AskForSave);
    EXPECT_EQ(w->localRecord(1).UserComments, "by hydrant");

    ui.expectDialog([](QDialog* d) {
        d->findChild<QLineEdit*>(QStringLiteral("txtAdditionalInformation"))->setText(QStringLiteral("valve 3"));
        d->findChild<QPushButton*>(QStringLiteral("AddButton"))->click();
        return d->result();
    });
    ui.expectMessage(plat::IDOK, LoadLangString(txt::TheAdditionalInformationOfEvery));
    EXPECT_TRUE(w->UpdateAllAdditionalInformation());
    EXPECT_TRUE(w->AskForSave);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(w->rowText(i, 10), QStringLiteral("valve 3"));
    w->AskForSave = false;
    w->close();
}

} // namespace

namespace {

// The record editor as the list window fills it, and as the program's windows show and hide it.
struct EditorRecorder final : IRecordEditorView, StatusRecorder {
    QString caption, serial, gridRef, comment1, comment2, userComments;
    int16_t histories = -1;
    QStringList readings;
    int graphItems = 0;
    int shown = 0;
    void setCaption(const QString& c) override { caption = c; }
    void setNumHistories(int16_t n) override { histories = n; }
    void clearReadings() override { readings.clear(); }
    void addReading(const QString& d, const QString& s, const QString& l, const QString& sp) override {
        readings << d + u'|' + s + u'|' + l + u'|' + sp;
    }
    void setSerialText(const QString& t) override { serial = t; }
    void setGridRefText(const QString& t) override { gridRef = t; }
    void setCommentTexts(const QString& c1, const QString& c2, const QString& u) override {
        comment1 = c1;
        comment2 = c2;
        userComments = u;
    }
    void SetLevelAndSpreadGraphItem(int, const QString&, int16_t, int16_t) override { ++graphItems; }
    void resetGraph() override {}
    void setRecordSource(frmDMA*) override {}
    bool editorVisible() const override { return false; }
    void hideEditor() override {}
    void showEditor() override { ++shown; }
    void toggleGraph() override {}
};

class EditorLinkTest : public ListWindowTest {
protected:
    EditorRecorder editor;
    ScopedProgramWindows registered_{&editor};
    void SetUp() override { documents::recordEditor = &editor; }
    void TearDown() override { documents::recordEditor = nullptr; }
};

TEST_F(EditorLinkTest, SelectedRecordFillsTheEditor) {
    ScriptedUi ui;
    frmDMA* w = open(kThree);
    EXPECT_EQ(editor.caption, QStringLiteral("")); // filled before the window had its name
    editor.graphItems = 0;
    w->ListViewDMA_ItemClick(1);
    EXPECT_EQ(editor.caption, QStringLiteral("area.pdb"));
    EXPECT_EQ(editor.histories, 50);
    EXPECT_EQ(editor.serial, QStringLiteral("00000005"));
    EXPECT_EQ(editor.gridRef, QStringLiteral("12345678"));
    EXPECT_EQ(editor.comment2, QStringLiteral("51.5/-0.12"));
    ASSERT_EQ(editor.readings.size(), 50);
    EXPECT_EQ(editor.readings[0], QStringLiteral("2023/02/01|L|12|3"));
    EXPECT_EQ(editor.readings[1], QStringLiteral(" ||0|0"));
    EXPECT_EQ(editor.graphItems, 50);

    // A logger without a grid reference shows an empty one, not the digits of the logger shown before.
    w->ListViewDMA_ItemClick(2);
    EXPECT_EQ(editor.serial, QStringLiteral("01012345"));
    EXPECT_EQ(editor.gridRef, QStringLiteral("________"));

    // Enter in the list opens the editor as a double-click does.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(w->ListViewDMA, &enter);
    EXPECT_EQ(editor.shown, 1);

    // Closing the current window empties the editor and lets it go.
    w->close();
    EXPECT_EQ(editor.serial, QStringLiteral("00000000"));
    EXPECT_EQ(editor.caption, QString());
    EXPECT_EQ(editor.histories, 0);
    EXPECT_TRUE(editor.readings.isEmpty());
    EXPECT_EQ(ActiveDocument, nullptr);
}

TEST_F(ListWindowTest, AListLongerThanTheTableIsNotWritten) {
    ScriptedUi ui;
    frmDMA* w = open(kThree);
    const QString target = env.path(QStringLiteral("big.pdb"));
    w->RecordCount = kMaxLoggers + 1; // as a list grown past the bound would stand
    LoggerCount = 3;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::TooManyLoggers));
    EXPECT_FALSE(SaveLoggerFile(w, target, QString()));
    EXPECT_EQ(LoggerCount, 3);
    EXPECT_FALSE(QFile::exists(target));
    w->RecordCount = 3;
    w->close();
}

} // namespace

namespace {

TEST_F(ListWindowTest, FocusFollowsTheMouseOncePerVisit) {
    ScriptedUi ui;
    frmDMA* w = open(kThree);
    w->Form_MouseMove();
    EXPECT_FALSE(w->mouseFocusTaken()); // the option is off
    WindowFollowMouse = true;
    w->Form_MouseMove();
    EXPECT_TRUE(w->mouseFocusTaken());
    w->ListViewDMA_LostFocus();
    EXPECT_FALSE(w->mouseFocusTaken());
    WindowFollowMouse = false;
    w->close();
}

} // namespace

namespace {

// A column the stored layout made too narrow still shows its values whole; a hidden column stays hidden.
TEST_F(ListWindowTest, ShownColumnsAreNeverNarrowerThanTheirValues) {
    ScriptedUi ui;
    SaveSettingText(QStringLiteral("SerialNo_ColWidth"), QString::number(plat::twips::fromPixelsX(20)));
    SaveSettingText(QStringLiteral("GridRef_ColWidth"), QStringLiteral("0"));
    frmDMA* w = open(kThree);
    QHeaderView* h = w->ListViewDMA->header();
    const QFontMetrics metrics(w->ListViewDMA->font());
    EXPECT_GT(h->sectionSize(0), metrics.horizontalAdvance(w->rowText(1, 0)));
    EXPECT_EQ(h->sectionSize(1), 0);

    // The auto-size widths give way to the values as well.
    bool show = true;
    w->ListViewDMA->resize(60, 200);
    AutoSizeColumns(0, show);
    EXPECT_GT(h->sectionSize(0), metrics.horizontalAdvance(w->rowText(1, 0)));
}

// On a first open every column, the last one too, is at least as wide as its widest value, whichever row holds
// it and however many rows come close to it.
TEST_F(ListWindowTest, FirstOpenFitsEveryColumnToItsWidestValue) {
    ScriptedUi ui;
    std::vector<FixtureLogger> loggers;
    for (int i = 0; i < 40; ++i)
        loggers.push_back({1000000 + i, "TQ 1000 2000", "Street " + std::to_string(i), "51.5/-0.1", "2023/01/02", "",
                           "2023/02/01", "N", 7, 1, "Hydrant " + std::to_string(i) + " by the church"});
    loggers[17].comment1 = "Mill Lane opposite the old WWWW works";
    loggers[23].userComments = "Chamber under the footpath outside the Methodist chapel, lift with care";
    loggers[31].comment2 = "52.637981234/-1.127021234";
    frmDMA* w = open(loggers);
    const QHeaderView* h = w->ListViewDMA->header();
    const QFontMetrics metrics(w->ListViewDMA->font());
    for (int c = 0; c < 11; ++c) {
        int widest = 0;
        for (int row = 1; row <= w->rowCount(); ++row)
            widest = std::max(widest, metrics.horizontalAdvance(w->rowText(row, c)));
        EXPECT_GT(h->sectionSize(c), widest) << "column " << c;
    }
    w->close();
}

} // namespace
