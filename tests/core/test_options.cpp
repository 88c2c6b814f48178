// Options dialog: loading the settings, the increment check, storing on OK, the coordinate-system broadcast.
#include "ScopedProgramWindows.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "core/ProgramWindows.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "core/frmOptions.h"
#include "lang/LangText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// The windows that show the coordinate field; the record editor's part fails when told to.
struct Listener : ProgramWindows {
    QString editorSaw, headerSaw;
    bool throws = false;
    void ConfigureAddress2EditBox() override {
        editorSaw = GetSettingText(QStringLiteral("Address2"), {}) == Address2 ? Address2 : QStringLiteral("unstored");
        if (throws)
            throw std::runtime_error("window gone");
    }
    void UpdateCommentsColumnHeader() override { headerSaw = Address2; }
};

class OptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        FillIncrement = 7;
        ComPort = 2;
        UseModem = false;
        NumberToDial = QStringLiteral("0123");
        EnHistEdit = true;
        IgnoreFileErrs = false;
        ForceNewPath = false;
        ForcePath = env.programDir();
        Address2 = QStringLiteral("3");
    }
    TestEnv env;
    ScriptedUi ui;
};

} // namespace

TEST_F(OptionsTest, LoadShowsTheSettingsAndClampsThePort) {
    const std::pair<int16_t, int> ports[] = {{2, 2}, {4, 4}, {0, 1}, {5, 1}, {9, 1}, {-3, 1}};
    for (const auto& [stored, shown] : ports) {
        ComPort = stored;
        frmOptions dlg;
        EXPECT_TRUE(dlg.OptionComPort[static_cast<size_t>(shown - 1)]->isChecked()) << stored;
        EXPECT_EQ(ComPort, shown);
        EXPECT_EQ(dlg.FrameComPort->title(), LoadLangString(txt::FieldUnitPortCom) + QString::number(shown));
    }
    frmOptions dlg;
    EXPECT_EQ(dlg.TxtSerialIncr->text(), QStringLiteral("7"));
    EXPECT_TRUE(dlg.optConnectionType[0]->isChecked());
    EXPECT_EQ(dlg.mskEdNumberToDial->text(), QStringLiteral("0123"));
    EXPECT_TRUE(dlg.ChkEnableHistoryEdit->isChecked());
    EXPECT_FALSE(dlg.ChkLoadBadRecs->isChecked());
    EXPECT_EQ(dlg.cboAddress2->currentIndex(), 3);
    EXPECT_EQ(dlg.TxtDefaultPath->text(), env.programDir());
    EXPECT_EQ(dlg.windowTitle(), LoadLangString(txt::Options));

    Address2 = QStringLiteral("x");
    frmOptions odd;
    EXPECT_EQ(odd.cboAddress2->currentIndex(), -1);
}

TEST_F(OptionsTest, IncrementOutsideItsRangeKeepsTheDialogOpen) {
    for (const char* text : {"0", "10000000", "abc", "-5"}) {
        frmOptions dlg;
        dlg.TxtSerialIncr->setText(QString::fromLatin1(text));
        dlg.cboAddress2->setCurrentIndex(5);
        ui.expectMessage(plat::IDOK, LoadLangString(txt::IncrementRange));
        dlg.cmdOK_Click();
        EXPECT_NE(dlg.result(), QDialog::Accepted) << text;
        EXPECT_EQ(FillIncrement, 7);
        EXPECT_EQ(Address2, QStringLiteral("3"));
    }
    frmOptions dlg;
    dlg.TxtSerialIncr->setText(QStringLiteral("9999999"));
    dlg.cmdOK_Click();
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(FillIncrement, 9999999);
}

TEST_F(OptionsTest, OkStoresTheValuesAndSwitchesEveryWindowToTheNewSystem) {
    Listener windows;
    const ScopedProgramWindows registered(&windows);
    SaveSettingText(QStringLiteral("ForcePath"), QStringLiteral("/kept"));

    frmOptions dlg;
    dlg.TxtSerialIncr->setText(QStringLiteral("25"));
    dlg.ChkEnableHistoryEdit->setChecked(false);
    dlg.ChkLoadBadRecs->setChecked(true);
    dlg.mskEdNumberToDial->setText(QStringLiteral("004412345"));
    dlg.cboAddress2->setCurrentIndex(dlg.cboAddress2->findText(QStringLiteral("UTM (nn-X-nnnnnnn-nnnnnnn)")));
    dlg.cmdOK_Click();

    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(FillIncrement, 25);
    EXPECT_FALSE(EnHistEdit);
    EXPECT_TRUE(IgnoreFileErrs);
    EXPECT_EQ(NumberToDial, QStringLiteral("004412345"));
    EXPECT_EQ(Address2, QStringLiteral("12"));
    EXPECT_EQ(GetSettingText(QStringLiteral("Address2"), {}), QStringLiteral("12"));
    EXPECT_EQ(GetSettingText(QStringLiteral("ForceNewPath"), {}), QStringLiteral("False"));
    EXPECT_EQ(GetSettingText(QStringLiteral("ForcePath"), {}), QStringLiteral("/kept"));
    EXPECT_EQ(windows.editorSaw, QStringLiteral("12"));
    EXPECT_EQ(windows.headerSaw, QStringLiteral("12"));

    // Ticking the forced folder stores it.
    const QString sub = env.path(QStringLiteral("sub"));
    QDir().mkpath(sub);
    frmOptions forced;
    forced.CheckForce->setChecked(true);
    forced.Dir1_Change(sub);
    forced.cmdOK_Click();
    EXPECT_TRUE(ForceNewPath);
    EXPECT_EQ(GetSettingText(QStringLiteral("ForcePath"), {}), sub);
    EXPECT_EQ(GetSettingText(QStringLiteral("ForceNewPath"), {}), QStringLiteral("True"));
}

TEST_F(OptionsTest, AWindowThatFailsToTakeUpTheNewSystemIsNotPassedOverInSilence) {
    Listener windows;
    windows.throws = true;
    const ScopedProgramWindows registered(&windows);
    frmOptions dlg;
    dlg.cboAddress2->setCurrentIndex(5);
    EXPECT_THROW(dlg.cmdOK_Click(), std::runtime_error);
    EXPECT_EQ(GetSettingText(QStringLiteral("Address2"), {}), QStringLiteral("5"));
    EXPECT_EQ(windows.editorSaw, QStringLiteral("5"));
    EXPECT_NE(dlg.result(), QDialog::Accepted);
}

TEST_F(OptionsTest, PortAndConnectionTakeEffectOnClickEvenWhenCancelled) {
    Listener list;
    const ScopedProgramWindows registered(&list);
    frmOptions dlg;
    dlg.OptionComPort[2]->click();
    dlg.optConnectionType[1]->click();
    dlg.TxtSerialIncr->setText(QStringLiteral("99"));
    dlg.cmdCancel_Click();
    EXPECT_EQ(ComPort, 3);
    EXPECT_TRUE(UseModem);
    EXPECT_EQ(FillIncrement, 7);
    EXPECT_TRUE(list.headerSaw.isEmpty());
}

TEST_F(OptionsTest, ForcedFolderThatIsGoneOpensWithoutError) {
    ForcePath = env.path(QStringLiteral("gone/away"));
    frmOptions dlg;
    EXPECT_EQ(dlg.TxtDefaultPath->text(), env.programDir());
}
