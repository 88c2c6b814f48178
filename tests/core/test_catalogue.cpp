// Serial search across the area files of a folder: the list rules, the search, opening results, cancelling.
#include "ScopedProgramWindows.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "core/Catalogue.h"
#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "core/ProgramWindows.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "core/frmCatalogue.h"
#include "lang/LangText.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

class FakeDocuments : public ProgramWindows {
public:
    QStringList opened;
    void openDocument(const QString& path) override { opened.append(path); }
};

void WriteArea(const QString& path, std::initializer_list<int32_t> serials) {
    LoggerCount = 0;
    for (int32_t s : serials) {
        ++LoggerCount;
        ClearLoggerRecord(LoggerTable[static_cast<size_t>(LoggerCount)]);
        LoggerTable[static_cast<size_t>(LoggerCount)].Serial = s;
    }
    ASSERT_EQ(WriteDatabaseFile(path, false, false), DbOk);
}

QStringList Items(const QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out.append(list->item(i)->text());
    return out;
}

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        ForgetCatalogueState();
        InitDatabaseStore();
        IgnoreFileErrs = false;
        folder = env.path(QStringLiteral("areas"));
        QDir().mkpath(folder);
        WriteArea(env.path(QStringLiteral("areas/a.pdb")), {1000001, 1000002});
        WriteArea(env.path(QStringLiteral("areas/b.CSV")), {1000003});
        WriteArea(env.path(QStringLiteral("areas/c.pdb")), {1000002, 1000004});
        env.writeFile(QStringLiteral("areas/broken.pdb"), "not a logger file");
        env.writeFile(QStringLiteral("areas/notes.txt"), "1000002");
        CataloguePath = folder;
    }

    TestEnv env;
    ScriptedUi ui;
    FakeDocuments documents;
    ScopedProgramWindows registered_{&documents};
    QString folder;
};

} // namespace

TEST(CatalogueRules, SerialEntriesAreNumbers) {
    QStringList list;
    const std::pair<const char*, bool> steps[] = {
        {"123", true}, {"0000123", false}, {"", true}, {"  9 000 000", true}, {"9000000.4", false}};
    for (const auto& [text, added] : steps)
        EXPECT_EQ(AddSerialEntry(list, QString::fromLatin1(text)), added) << text;
    EXPECT_EQ(list, (QStringList{"00000123", "00000000", "09000000"}));

    QStringList found;
    EXPECT_TRUE(AddFoundFile(found, QStringLiteral("/a/x.pdb")));
    EXPECT_FALSE(AddFoundFile(found, QStringLiteral("/a/x.pdb")));
    EXPECT_TRUE(AddFoundFile(found, QStringLiteral("/a/X.pdb")));
    EXPECT_EQ(CatalogueFilePath(QStringLiteral("/"), QStringLiteral("x.pdb")), QStringLiteral("/x.pdb"));
    EXPECT_EQ(CatalogueFilePath(QStringLiteral("/d"), QStringLiteral("x.pdb")), QStringLiteral("/d/x.pdb"));
}

TEST_F(CatalogueTest, FindListsTheFilesHoldingTheSerialsAndOpensTheChosenOnes) {
    frmCatalogue w;
    EXPECT_EQ(w.TxtSerial->text(), QStringLiteral("09000000"));
    EXPECT_EQ(Items(w.File1), (QStringList{"a.pdb", "b.CSV", "broken.pdb", "c.pdb"}));
    w.TxtSerial->setText(QStringLiteral("1000002"));
    EXPECT_EQ(GetSettingText(QStringLiteral("TxtSerial_FIF"), {}), QStringLiteral("1000002"));
    w.cmdAddSerial_Click();
    w.TxtSerial->setText(QStringLiteral("1000003"));
    w.cmdFind_Click(); // the serial in the box joins the list
    EXPECT_EQ(Items(w.ListSer), (QStringList{"01000002", "01000003"}));

    const QStringList expected{folder + "/a.pdb", folder + "/b.CSV", folder + "/c.pdb"};
    EXPECT_EQ(Items(w.List_found), expected);
    EXPECT_TRUE(w.CmdOpen->isEnabled());
    EXPECT_TRUE(w.cmdFind->isEnabled());
    EXPECT_EQ(w.Label1->text(), LoadLangString(txt::Finished) + LoadLangString(txt::CatalogueFound));
    EXPECT_FALSE(IgnoreFileErrs);

    w.cmdFind_Click(); // a second search adds no duplicates
    EXPECT_EQ(Items(w.List_found), expected);

    w.CmdOpen_Click(); // nothing selected: nothing opens
    EXPECT_TRUE(documents.opened.isEmpty());
    w.List_found->item(2)->setSelected(true);
    w.List_found->item(0)->setSelected(true);
    w.CmdOpen_Click();
    EXPECT_EQ(documents.opened, (QStringList{expected[0], expected[2]}));

    w.Command1_Click();
    EXPECT_EQ(w.List_found->count(), 0);
    EXPECT_FALSE(w.CmdOpen->isEnabled());

    w.ListSer->clear();
    w.TxtSerial->setText(QStringLiteral("5555555"));
    w.cmdFind_Click();
    EXPECT_EQ(w.List_found->count(), 0);
    EXPECT_EQ(w.Label1->text(), LoadLangString(txt::Finished) + LoadLangString(txt::CatalogueNoneFound));
}

TEST_F(CatalogueTest, FindCanBeCancelledAndNotStartedTwice) {
    frmCatalogue w;
    w.TxtSerial->setText(QStringLiteral("1000002"));
    bool wasSearching = false, findEnabled = true;
    QString labelDuringNestedFind;
    QTimer::singleShot(0, &w, [&] {
        wasSearching = w.searching();
        findEnabled = w.cmdFind->isEnabled();
        w.cmdFind_Click(); // ignored while the search runs
        labelDuringNestedFind = w.Label1->text();
        w.cmdCancel_Click();
    });
    IgnoreFileErrs = false;
    w.cmdFind_Click();
    EXPECT_TRUE(wasSearching);
    EXPECT_FALSE(findEnabled);
    EXPECT_TRUE(labelDuringNestedFind.startsWith(LoadLangString(txt::CatalogueSearching)));
    EXPECT_TRUE(w.Label1->text().startsWith(LoadLangString(txt::Cancelled)));
    EXPECT_EQ(w.List_found->count(), 0); // stopped before the first file was read
    EXPECT_FALSE(w.searching());
    EXPECT_TRUE(w.cmdFind->isEnabled());
    EXPECT_FALSE(IgnoreFileErrs);
}

TEST_F(CatalogueTest, EmptyFolderIsReported) {
    frmCatalogue w;
    const QString empty = env.path(QStringLiteral("empty"));
    ASSERT_TRUE(QDir().mkpath(empty));
    w.Dir1_Change(empty);
    EXPECT_EQ(CataloguePath, empty);
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Search for serial number in files - ") + empty);
    w.Dir1_Change(QStringLiteral("/"));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Search for serial number in files - /"));
    w.Dir1_Change(empty);
    ui.expectMessage(plat::IDOK, LoadLangString(txt::NoFiles));
    w.cmdFind_Click();
    EXPECT_TRUE(w.cmdAddSerial->isEnabled());
    EXPECT_FALSE(w.CmdOpen->isEnabled());
}

TEST_F(CatalogueTest, StoredFolderThatIsGoneFallsBackToItsParent) {
    CataloguePath = folder + QStringLiteral("/gone/deeper");
    frmCatalogue w;
    EXPECT_EQ(w.folder(), folder);
    EXPECT_EQ(w.File1->count(), 4);
}

TEST_F(CatalogueTest, ListsSurviveTheWindowForTheRun) {
    {
        frmCatalogue w;
        w.TxtSerial->setText(QStringLiteral("1000004"));
        w.cmdFind_Click();
        w.TxtSerial->setText(QStringLiteral("77"));
    }
    frmCatalogue again;
    EXPECT_EQ(Items(again.ListSer), QStringList{"01000004"});
    EXPECT_EQ(Items(again.List_found), QStringList{folder + "/c.pdb"});
    EXPECT_TRUE(again.CmdOpen->isEnabled());
    EXPECT_EQ(again.TxtSerial->text(), QStringLiteral("77"));
}
