// The masked entry box and the coordinate box of the record editor under each coordinate system.
#include "DocumentFixtures.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/MaskedEdit.h"
#include "documents/frmDMAEdit.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct MaskCase {
    const char* code;
    const char* caption; // nullptr: language text 664
    const char* mask;
    int maxLength;
    const char* typed; // keys typed into an empty box
    const char* text;  // the box's text afterwards
};

const MaskCase kMasks[] = {
    {"0", nullptr, "", 50, "Main road 5", "Main road 5"},
    {"1", "Lat/Long", ">?##\\.#####\\-?###\\.#####", 24, "n5130000w00120000", "N51.30000-W001.20000"},
    {"2", "BNG Grid", ">??\\-#####\\-#####", 17, "tq1234567890", "TQ-12345-67890"},
    {"3", "RD Grid", ">######\\-######", 15, "123456654321", "123456-654321"},
    {"4", "KKJ Grid", ">#######\\-#######", 17, "12345677654321", "1234567-7654321"},
    {"5", "GK Grid", ">#######\\-#######", 17, "1234567", "1234567-_______"},
    {"6", "ITM Grid", ">\\I?\\-#####\\-#####", 18, "x1234567890", "IX-12345-67890"},
    {"7", "MGRS Grid", ">?##\\-??\\-#####\\-#####", 22, "u30uv1234567890", "U30-UV-12345-67890"},
    {"8", "NZ Grid", ">E#######\\-N#######", 19, "12345677654321", "E1234567-N7654321"},
    {"9", "SG Grid", ">O#######\\-N#######", 19, "1234567", "O1234567-N_______"},
    {"10", "SUI Grid", ">######\\-######", 15, "600000200000", "600000-200000"},
    {"11", "T67 Grid", ">######\\-######", 15, "12", "12____-______"},
    {"12", "UTM Grid", ">##\\-?\\-#######\\-#######", 24, "30u12345677654321", "30-U-1234567-7654321"},
    {"13", "QNG Grid", ">######\\-######", 15, "1", "1_____-______"},
};

class CoordinateBoxTest : public ::testing::TestWithParam<MaskCase>, public DocumentTest {};

TEST_P(CoordinateBoxTest, CodeGivesCaptionMaskLengthAndText) {
    const MaskCase& c = GetParam();
    ScriptedUi ui;
    frmDMAEdit editor;
    SaveSettingText(QStringLiteral("Address2"), QString::fromLatin1(c.code));
    editor.ConfigureAddress2EditBox();
    EXPECT_EQ(editor.lblComment2->text(),
              c.caption ? QString::fromLatin1(c.caption) : LoadLangString(txt::DefaultSecondCommentCaption));
    EXPECT_EQ(editor.txtComments2->Mask(), QString::fromLatin1(c.mask));
    EXPECT_EQ(editor.txtComments2->MaxLength(), c.maxLength);

    editor.txtComments2->setBoxText(QString());
    editor.txtComments2->setCursorPosition(0);
    QTest::keyClicks(editor.txtComments2, QString::fromLatin1(c.typed));
    EXPECT_EQ(editor.txtComments2->Text(), QString::fromLatin1(c.text));
}

INSTANTIATE_TEST_SUITE_P(Address2, CoordinateBoxTest, ::testing::ValuesIn(kMasks),
                         [](const auto& info) { return std::string("Code") + info.param.code; });

class MaskedEditTest : public ::testing::Test, public DocumentTest {};

TEST_F(MaskedEditTest, UnknownCodeKeepsMaskAndCaptionAndTakesTheMaskLength) {
    ScriptedUi ui;
    frmDMAEdit editor;
    SaveSettingText(QStringLiteral("Address2"), QStringLiteral("5"));
    editor.ConfigureAddress2EditBox();
    SaveSettingText(QStringLiteral("Address2"), QStringLiteral("14"));
    editor.ConfigureAddress2EditBox();
    EXPECT_EQ(editor.lblComment2->text(), QStringLiteral("GK Grid"));
    EXPECT_EQ(editor.txtComments2->Mask(), QStringLiteral(">#######\\-#######"));
    EXPECT_EQ(editor.txtComments2->MaxLength(), 17);
}

TEST_F(MaskedEditTest, EightDigitBoxesShowPromptsForUnfilledPlaces) {
    ensureApplication();
    MaskedEdit box;
    box.setMask(QStringLiteral("########"));
    box.setBoxText(QStringLiteral("00000005"));
    EXPECT_EQ(box.Text(), QStringLiteral("00000005"));
    box.setBoxText(QStringLiteral("________"));
    EXPECT_EQ(box.Text(), QStringLiteral("________"));
    box.setBoxText(QString());
    box.setModified(true);
    EXPECT_EQ(box.Text(), QStringLiteral("________"));
    box.setCursorPosition(0);
    QTest::keyClicks(&box, QStringLiteral("12ab34"));
    EXPECT_EQ(box.Text(), QStringLiteral("1234____"));
}

TEST_F(MaskedEditTest, AStoredTextTheMaskCannotShowComesBackUnchangedUntilEdited) {
    ensureApplication();
    MaskedEdit box;
    box.setMask(QStringLiteral(">??\\-#####\\-#####"));
    for (const char* stored : {"Main road", "51.5/-0.12", ""}) {
        box.setBoxText(QString::fromLatin1(stored));
        EXPECT_EQ(box.Text(), QString::fromLatin1(stored));
    }
    box.setBoxText(QStringLiteral("Main road"));
    box.selectAll();
    QTest::keyClicks(&box, QStringLiteral("ab1"));
    EXPECT_EQ(box.Text(), QStringLiteral("AB-1____-_____"));
}

TEST_F(MaskedEditTest, CoordinateBoxRefusesCharactersOutsideItsSet) {
    ScriptedUi ui;
    frmDMAEdit editor;
    SaveSettingText(QStringLiteral("Address2"), QStringLiteral("0"));
    editor.ConfigureAddress2EditBox();
    editor.txtComments2->setBoxText(QString());
    // The comma passes the coordinate filter but not the area file: it would split the item.
    QTest::keyClicks(editor.txtComments2, QStringLiteral("a#1;, -./Z"));
    EXPECT_EQ(editor.txtComments2->Text(), QStringLiteral("a1 -./Z"));
}

} // namespace

namespace {

// Entering a masked box by mouse or key selects all of it: a click in the middle of an empty serial box must
// not put the digits where the mouse landed, and a full box takes what is typed.
class MaskedEditFocus : public ::testing::Test, public DocumentTest {};

TEST_F(MaskedEditFocus, EnteringTheBoxSelectsItWhole) {
    QWidget window;
    auto* other = new QLineEdit(&window);
    auto* box = new MaskedEdit(&window);
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(other);
    layout->addWidget(box);
    box->setMask(QStringLiteral("########"));
    box->setBoxText(QString());
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QPoint middle(box->width() * 2 / 3, box->height() / 2);

    other->setFocus();
    QTest::mouseClick(box, Qt::LeftButton, {}, middle);
    ASSERT_TRUE(box->hasFocus());
    QTest::keyClicks(box, QStringLiteral("123"));
    EXPECT_EQ(box->Text(), QStringLiteral("123_____"));

    box->setBoxText(QStringLiteral("12345678"));
    other->setFocus();
    QTest::mouseClick(box, Qt::LeftButton, {}, middle);
    QTest::keyClicks(box, QStringLiteral("87654321"));
    EXPECT_EQ(box->Text(), QStringLiteral("87654321"));

    other->setFocus();
    QTest::keyClick(other, Qt::Key_Tab);
    ASSERT_TRUE(box->hasFocus());
    QTest::keyClicks(box, QStringLiteral("9"));
    EXPECT_EQ(box->Text(), QStringLiteral("9_______"));

    // Once inside, a click places the cursor as usual.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(2, box->height() / 2));
    EXPECT_FALSE(box->hasSelectedText());
}

} // namespace
