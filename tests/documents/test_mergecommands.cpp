// The readings merge, the serial search and the options dialog on the real logger list windows.
#include "DocumentFixtures.h"
#include "core/DatabaseFile.h"
#include "core/MergeReadings.h"
#include "core/Shared.h"
#include "core/frmOptions.h"
#include "documents/DocumentFiles.h"
#include "documents/MergeCommands.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/WindowRegistry.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QTextEdit>

#include <gtest/gtest.h>

namespace {

class MergeCommandsTest : public ::testing::Test, public DocumentTest {
protected:
    void TearDown() override { CloseAllWindows(); }
    std::vector<frmDMA*> lists() {
        flushDeletes();
        std::vector<frmDMA*> out;
        for (QWidget* w : plat::windows::loadedNamed(QStringLiteral("frmDMA")))
            if (auto* list = qobject_cast<frmDMA*>(w))
                out.push_back(list);
        return out;
    }
    frmDocument* report() {
        for (QWidget* w : plat::windows::loaded())
            if (auto* text = qobject_cast<frmDocument*>(w))
                return text;
        return nullptr;
    }
};

} // namespace

TEST_F(MergeCommandsTest, MergeBySerialFromThePatrolWindow) {
    const QString dest =
        env.writeFile(QStringLiteral("DMA_North.pdb"),
                      areaFile({{1100001, "AB 1234 5678", "", "", "", "", "2023/02/01", "N", 40, 10}}));
    const QString patrolPath =
        env.writeFile(QStringLiteral("patrol/North.pdb"),
                      areaFile({{1100001, "AB 1234 5678", "", "", "", "", "2024/03/01", "L", 60, 5},
                                {1100009, "AB 1111 2222", "", "", "", "", "2024/03/01", "N", 1, 1}}));
    {
        ScriptedUi ui;
        OpenDocument(patrolPath);
    }
    ASSERT_TRUE(IsDocumentValid(ActiveDocument));
    frmDMA* patrol = ActiveDocument.data();
    patrol->AskForSave = true;

    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::BackupSaved) + dest + QStringLiteral(".000"));
    MergeReadingsCommand(dest);

    EXPECT_TRUE(QFileInfo::exists(dest + QStringLiteral(".000")));
    ASSERT_EQ(ReadDatabaseFile(dest), DbOk);
    ASSERT_EQ(LoggerCount, 2);
    EXPECT_EQ(LoggerTable[1].ReadingDate[1], "2024/03/01");
    EXPECT_EQ(LoggerTable[1].ReadingDate[2], "2023/02/01");
    EXPECT_EQ(LoggerTable[2].Serial, 1100009);
    ASSERT_NE(report(), nullptr);
    EXPECT_EQ(report()->windowTitle(), LoadLangString(txt::MergeReportCaption) + QStringLiteral("North.pdb.log"));
    EXPECT_TRUE(report()->text().contains(LoadLangString(txt::NewLoggers)));
    // The report as the merge wrote it closes without a question (the scripted interface fails on any); once
    // the user has written in it, it asks.
    EXPECT_FALSE(report()->AskForSave);
    report()->rtfText->insertPlainText(QStringLiteral("checked by JB\n"));
    EXPECT_TRUE(report()->AskForSave);
    report()->AskForSave = false;
    // The destination opens in a window of its own; the patrol window keeps its unsaved state.
    const auto windows = lists();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows.back()->windowTitle(), dest);
    EXPECT_EQ(windows.back()->RecordCount, 2);
    EXPECT_TRUE(patrol->AskForSave);
}

TEST_F(MergeCommandsTest, MergeByCoordinateReopensTheAreaWindow) {
    const QString dest =
        env.writeFile(QStringLiteral("Town.pdb"),
                      areaFile({{1100001, "AB 1234 5678", "", "123456", "", "", "2023/02/01", "N", 40, 10},
                                {1100002, "AB 1234 5679", "", "", "", "", "", "", 0, 0}}));
    const QString patrolPath =
        env.writeFile(QStringLiteral("patrol/Town.pdb"),
                      areaFile({{1100001, "AB 1234 5678", "", "0123456", "", "093000", "01/03/2024", "L", 60, 5}}));
    {
        ScriptedUi ui;
        OpenDocument(dest);
    }
    ASSERT_TRUE(IsDocumentValid(ActiveDocument));
    QPointer<frmDMA> area = ActiveDocument.data();

    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::BackupSaved) + dest + QStringLiteral(".000"));
    MergeByRDGrid = true;
    MergeReadingsByRDGridCommand(patrolPath);
    flushDeletes();

    EXPECT_TRUE(area.isNull());
    const auto windows = lists();
    ASSERT_EQ(windows.size(), 1u);
    EXPECT_EQ(windows[0]->windowTitle(), dest);
    ASSERT_EQ(windows[0]->RecordCount, 2);
    EXPECT_EQ(windows[0]->localRecord(1).ReadingDate[1], "2024/03/01");
    EXPECT_EQ(windows[0]->localRecord(1).Received, "09:30:00");
    EXPECT_EQ(windows[0]->localRecord(2).Serial, 1100002); // the logger without a coordinate is kept
}

TEST_F(MergeCommandsTest, OptionsSwitchEveryListWindowAndTheRecordEditor) {
    frmDMAEdit* editor = LoadRecordEditor(nullptr);
    const QString editorLabel = editor->lblComment2->text();
    const QString a = env.writeFile(QStringLiteral("a.pdb"), areaFile({{1100001, "AB 1234 5678"}}));
    const QString b = env.writeFile(QStringLiteral("b.pdb"), areaFile({{1100002, "AB 1234 5678"}}));
    ScriptedUi ui;
    OpenDocument(a);
    OpenDocument(b);
    const auto windows = lists();
    ASSERT_EQ(windows.size(), 2u);
    QStringList before;
    for (int c = 1; c <= 11; ++c)
        before << windows[0]->columnCaption(c);

    frmOptions dialog;
    dialog.cboAddress2->setCurrentIndex(12);
    dialog.cmdOK_Click();

    for (frmDMA* w : windows) {
        QStringList after;
        for (int c = 1; c <= 11; ++c)
            after << w->columnCaption(c);
        EXPECT_NE(after, before);
    }
    EXPECT_NE(editor->lblComment2->text(), editorLabel);
}
