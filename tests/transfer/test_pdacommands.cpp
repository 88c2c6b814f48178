// The main window's PDA commands and the auto-sync launch, with the real PDA link library loaded at run
// time, the real utility, and a folder that stands for the hand-held.
#include "DocumentFixtures.h"
#include "PdaDevice.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/frmDMA.h"
#include "platform/AppInfo.h"
#include "platform/ComponentRegistry.h"
#include "transfer/AutoSyncLaunch.h"
#include "transfer/PdaCommands.h"
#include "lang/LangText.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

QStringList openListNames() {
    QStringList names;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* list = dynamic_cast<frmDMA*>(w))
            names << QFileInfo(list->DMAName).fileName();
    return names;
}

void closeLists() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* list = dynamic_cast<frmDMA*>(w))
            list->deleteLater();
    flushDeletes();
}

class PdaCommandsTest : public ::testing::Test {
protected:
    PdaCommandsTest() { PdaDevice::installLibrary(docs.env.programDir(), false); }
    ~PdaCommandsTest() override { closeLists(); }
    DocumentTest docs;
    PdaDevice device;
    ScriptedUi ui;
    QWidget main;
    PdaCommands commands{&main};
};

TEST_F(PdaCommandsTest, DownloadRegistersTheLibraryOnceAndOpensEveryDownloadedFileInOrder) {
    QDir().mkpath(docs.env.path(QStringLiteral("rovemark/from")));
    FixtureLogger a, b, c;
    a.serial = 1000001;
    b.serial = 1000002;
    c.serial = 1000003;
    device.writeFile(QStringLiteral("My Documents/Rovemark Export/North.CSV"), areaFile({a}));
    device.writeFile(QStringLiteral("My Documents/Rovemark Export/south.csv"), areaFile({b, c}));
    device.writeFile(QStringLiteral("My Documents/Rovemark Export/notes.txt"), "not offered");
    ui.expectDialog([](QDialog* form) {
        EXPECT_EQ(form->windowTitle(), LoadLangString(txt::PdaDownloadCaption));
        auto* list = form->findChild<QListWidget*>("listBox");
        if (const QString shots = qEnvironmentVariable("VORD_SCREENSHOT_DIR"); !shots.isEmpty()) {
            list->item(0)->setSelected(true);
            form->grab().save(shots + QStringLiteral("/pda-download.png"));
        }
        list->selectAll();
        form->findChild<QPushButton*>("cmdOpenFile")->click();
        return form->result();
    });
    ui.expectMessage(plat::IDOK, LoadLangString(txt::PdaFilesCopied));
    commands.mnuRovemarkDownloadPatrol_Click();
    EXPECT_TRUE(commands.PdaSupportCreated);
    EXPECT_FALSE(plat::components::libraryFor(QLatin1String(pda::kProgId)).isEmpty());
    EXPECT_EQ(openListNames().size(), 2);
    EXPECT_TRUE(openListNames().contains(QStringLiteral("North.CSV")));
    EXPECT_EQ(QFileInfo(ActiveDocument->DMAName).fileName(), QStringLiteral("North.CSV")) << "opened last";
}

TEST_F(PdaCommandsTest, NoDeviceOrNothingChosenOpensNothing) {
    device.disconnect();
    ui.expectMessage(plat::IDOK, QStringLiteral("Mobile Device not connected"));
    commands.mnuRovemarkDownloadPatrol_Click();
    EXPECT_EQ(ui.messages().back().title, plat::appTitle());
    ui.expectMessage(plat::IDOK, QStringLiteral("Mobile Device not connected"));
    commands.mnuRovemarkUploadDMA_Click();

    device.connect();
    ui.expectDialog([](QDialog* form) { return QDialog::Rejected; });
    commands.mnuRovemarkDownloadPatrol_Click();
    EXPECT_TRUE(openListNames().isEmpty());
}

TEST_F(PdaCommandsTest, UploadShowsTheLibrarysWindowWithTheProgramsTexts) {
    ui.expectDialog([](QDialog* form) {
        EXPECT_EQ(form->objectName(), QStringLiteral("FrmDMAUpload"));
        return QDialog::Rejected;
    });
    commands.mnuRovemarkUploadDMA_Click();
    EXPECT_TRUE(commands.PdaSupportCreated);
}

TEST_F(PdaCommandsTest, CancelledCreationLeavesTheFlagSoTheNextCommandTriesAgain) {
    QFile::remove(docs.env.path(QStringLiteral("libVordPDASupport.so")));
    docs.env.writeFile(QStringLiteral("libVordPDASupport.so"), "broken");
    ui.expectMessage(plat::IDCANCEL, ExpandNewlines(LoadLangString(txt::PdaLibraryMissing)));
    commands.mnuRovemarkUploadDMA_Click();
    EXPECT_FALSE(commands.PdaSupportCreated);
    EXPECT_EQ(ui.messages().back().style, plat::MB_RETRYCANCEL | plat::MB_ICONEXCLAMATION);

    // Repaired: the next command registers it silently and goes on.
    QFile::remove(docs.env.path(QStringLiteral("libVordPDASupport.so")));
    PdaDevice::installLibrary(docs.env.programDir(), false);
    ui.expectDialog([](QDialog*) { return QDialog::Rejected; });
    commands.mnuRovemarkUploadDMA_Click();
    EXPECT_TRUE(commands.PdaSupportCreated);
}

TEST(PdaWindowPosition, AThirdInsideTheMainWindowRoundedIntoSixteenBits) {
    struct Case {
        double left, top, width, height;
        int16_t x, y;
    };
    const Case cases[] = {
        {0, 0, 9000, 6000, 3000, 2000},
        {-60, 15, 4500, 7.5, 1440, 18}, // 1440 exactly; 15 + 2.5 rounds to even
        {30000, 0, 9000, 3, 32767, 1},  // past the 16-bit range: kept at its edge
        {-40000, -40000, 30, 30, -32768, -32768},
    };
    for (const Case& c : cases) {
        int16_t x = 0, y = 0;
        PdaCommands::LibraryWindowPosition(c.left, c.top, c.width, c.height, &x, &y);
        EXPECT_EQ(x, c.x) << c.left;
        EXPECT_EQ(y, c.y) << c.top;
    }
}

TEST(AutoSyncLaunch, RunsTheUtilityAndWaitsForItOrSaysItIsMissing) {
    DocumentTest docs;
    ScriptedUi ui;
    ui.expectMessage(plat::IDOK, LoadLangString(txt::SyncUtilityMissing) + SyncUtilityPath());
    SyncUtilityLaunch(nullptr);

    // The real utility with no device: it makes its folders, says the device is missing, and ends.
    PdaDevice device(false);
    PdaDevice::installLibrary(docs.env.programDir(), true);
    QFile::copy(sourcePath(QStringLiteral("lang/autosync_lang_english.txt")),
                docs.env.path(QStringLiteral("autosync_lang_english.txt")));
    const QString log = docs.env.path(QStringLiteral("messages.log"));
    qputenv("VORD_MESSAGE_LOG", QFile::encodeName(log));
    SyncUtilityLaunch(nullptr);
    qunsetenv("VORD_MESSAGE_LOG");
    EXPECT_EQ(TestEnv::readFile(log), "0|Vordalin|Mobile Device not connected\\r\\nThe PDA was looked for in " +
                                          device.root().toStdString() +
                                          ", which must hold the file .cedevice while "
                                          "the PDA is connected.\n");
    EXPECT_TRUE(QFileInfo(AutoExportFolder()).isDir());
    EXPECT_TRUE(QFileInfo(AutoImportFolder()).isDir());
}

} // namespace
