// The small dialogs, the text document window and its rich-text files.
#include "DocumentFixtures.h"
#include "core/Shared.h"
#include "documents/RtfText.h"
#include "documents/SmallDialogs.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/TextCodec.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>

#include <QAbstractTextDocumentLayout>
#include <QCoreApplication>
#include <QMdiArea>
#include <QTextDocument>
#include <QTextEdit>
#include <gtest/gtest.h>

namespace {

class DialogTest : public ::testing::Test, public DocumentTest {};

TEST_F(DialogTest, DateDialogAcceptsOnlyValidDates) {
    struct Case {
        const char* typed;
        bool accepted;
        const char* kept;
    };
    const Case cases[] = {
        {" 2003/12/01 ", true, "2003/12/01"},
        {"", true, ""},
        {"2003/13/01", false, "2003/13/01"},
        {"01/12/2003", false, "01/12/2003"},
    };
    for (const Case& c : cases) {
        ScriptedUi ui;
        DateDialog dialog;
        EXPECT_EQ(dialog.windowTitle(), LoadLangString(txt::EditDate));
        EXPECT_EQ(dialog.TxtDate->text(), QStringLiteral("0000/00/00"));
        EXPECT_EQ(dialog.ChkDoAll->text(), LoadLangString(txt::ChangeTheDateOfEvery));
        bool stayedOpen = false;
        ui.expectDialog([&](QDialog*) {
            dialog.TxtDate->setText(QString::fromLatin1(c.typed));
            dialog.ChkDoAll->setChecked(true);
            dialog.OKButton->click();
            stayedOpen = !dialog.Result && dialog.result() == QDialog::Rejected;
            if (!c.accepted) // still open: the user gives up
                dialog.CancelButton->click();
            return dialog.result();
        });
        if (!c.accepted)
            ui.expectMessage(plat::IDOK, LoadLangString(txt::TheDateIsNotValid));
        plat::ui().execDialog(&dialog);
        EXPECT_EQ(dialog.Result, c.accepted) << c.typed;
        EXPECT_EQ(stayedOpen, !c.accepted);
        EXPECT_EQ(dialog.TxtDate->text(), QString::fromLatin1(c.kept));
        EXPECT_TRUE(dialog.ChkDoAll->isChecked());
    }
}

TEST_F(DialogTest, AddLoggerDialogReturnsTheMaskedSerialOrNothing) {
    const std::tuple<const char*, bool, const char*> cases[] = {
        {"12345678", true, "12345678"}, {"1234", true, "1234____"}, {"", true, "________"}, {"1234", false, ""}};
    for (const auto& [typed, ok, expected] : cases) {
        ScriptedUi ui;
        frmAddNewLogger dialog;
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("New Logger"));
        EXPECT_EQ(dialog.lblEnterSerial->text(), LoadLangString(txt::EnterTheSerialNumberOf));
        ui.expectDialog([&](QDialog*) {
            dialog.mskSerial->setCursorPosition(0);
            dialog.mskSerial->insert(QString::fromLatin1(typed));
            (ok ? dialog.cmdOK : dialog.cmdCancel)->click();
            return dialog.result();
        });
        plat::ui().execDialog(&dialog);
        EXPECT_EQ(dialog.strSerial, QString::fromLatin1(expected)) << typed << ok;
    }
}

TEST_F(DialogTest, AdditionalInformationNeedsConfirmation) {
    ScriptedUi ui;
    frmUpdateAddInfo dialog;
    EXPECT_EQ(dialog.windowTitle(), LoadLangString(txt::UpdateAllAdditionalInformation));
    EXPECT_EQ(dialog.AddButton->text(), LoadLangString(txt::AddButton));
    EXPECT_TRUE(dialog.txtAdditionalInformation->text().isEmpty());
    bool openAfterCancel = false;
    ui.expectDialog([&](QDialog*) {
        dialog.txtAdditionalInformation->setText(QStringLiteral("valve"));
        dialog.AddButton->click();
        openAfterCancel = !dialog.Result && dialog.result() == QDialog::Rejected &&
                          dialog.txtAdditionalInformation->text() == QStringLiteral("valve");
        dialog.AddButton->click();
        return dialog.result();
    });
    ui.expectMessage(plat::IDCANCEL, LoadLangString(txt::TheAdditionalInformationOfEvery));
    ui.expectMessage(plat::IDOK, LoadLangString(txt::TheAdditionalInformationOfEvery));
    EXPECT_EQ(plat::ui().execDialog(&dialog), QDialog::Accepted);
    EXPECT_TRUE(openAfterCancel);
    EXPECT_TRUE(dialog.Result);
    EXPECT_EQ(dialog.txtAddInfoText, QStringLiteral("valve"));
    EXPECT_EQ(ui.messages().front().style, 33);
}

TEST_F(DialogTest, SelectionDialogHidesOnOkAndChoosesNothingWhenClosed) {
    for (const bool ok : {true, false}) {
        ScriptedUi ui;
        frmSelection dialog;
        EXPECT_EQ(dialog.CommandOK->text(), LoadLangString(txt::Ok));
        auto* item = new QTreeWidgetItem(dialog.TreeViewSelect, QStringList{QStringLiteral("2023/02/01")});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setData(0, Qt::UserRole, QStringLiteral("x1"));
        item->setCheckState(0, Qt::Unchecked);
        ui.expectDialog([&](QDialog*) {
            item->setCheckState(0, Qt::Checked);
            if (ok)
                dialog.CommandOK->click();
            else
                dialog.reject();
            return dialog.result();
        });
        plat::ui().execDialog(&dialog);
        EXPECT_EQ(item->checkState(0), ok ? Qt::Checked : Qt::Unchecked);
        EXPECT_TRUE(dialog.isHidden());
    }
}

TEST_F(DialogTest, RichTextRoundTrip) {
    const QString texts[] = {
        QStringLiteral("No.\tSerial\tCount\n1\t01100001\t2"),
        QStringLiteral("braces {x} and back\\slash"),
        QString::fromUtf8("Caf\u00e9 \u20ac5 \u2014 \u00fcber"), // inside the code page
        QString::fromUtf8("\u0141\u00f3d\u017a \u4e2d"),         // outside it
        QStringLiteral("ends with a line\n"),
        QStringLiteral("\n\nblank lines\n\n"),
        QString(),
    };
    for (const QString& t : texts) {
        const std::string rtf = RtfFromPlainText(t);
        EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg1252", 0), 0u);
        for (const char c : rtf)
            EXPECT_LT(static_cast<unsigned char>(c), 0x80) << "RTF is 7-bit";
        EXPECT_EQ(PlainTextFromRtf(rtf), t) << t.toStdString();
    }
    EXPECT_NE(RtfFromPlainText(QString::fromUtf8("\u00e9")).find("\\'e9"), std::string::npos);
    EXPECT_NE(RtfFromPlainText(QStringLiteral("a{b")).find("a\\{b"), std::string::npos);
}

TEST_F(DialogTest, RichTextFromOtherWriters) {
    const std::pair<const char*, QString> cases[] = {
        {"{\\rtf1\\ansi{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red0\\green0\\blue0;}\\f0\\b Bold\\b0  text\\par\r\n"
         "second\\line third\\par}",
         QStringLiteral("Bold text\nsecond\nthird")},
        {"{\\rtf1{\\*\\generator Writer;}caf\\'e9 \\u8364?5\\tab x}", QString::fromUtf8("caf\u00e9 \u20ac5\tx")},
        {"{\\rtf1\\uc2 \\u20013\\'3f\\'3fend}", QString::fromUtf8("\u4e2dend")},
        {"{\\rtf1 unclosed \\'zz group", QStringLiteral("unclosed  group")},
        {"plain old text\r\nline 2", QStringLiteral("plain old text\nline 2")},
    };
    for (const auto& [rtf, text] : cases)
        EXPECT_EQ(PlainTextFromRtf(rtf), text) << rtf;
}

TEST_F(DialogTest, TextDocumentSavesAndLoadsRichText) {
    ScriptedUi ui;
    auto* doc = new frmDocument;
    doc->setWindowTitle(QStringLiteral("Load report - a.pdb.log"));
    doc->setText(QString::fromUtf8("r\u00e9port\t1"));
    EXPECT_TRUE(doc->AskForSave);
    const QString path = env.path(QStringLiteral("report.rtf"));
    ASSERT_TRUE(doc->SaveFile(path));
    auto* other = new frmDocument;
    ASSERT_TRUE(other->LoadFile(path));
    EXPECT_EQ(other->text(), doc->text());
    EXPECT_FALSE(other->LoadFile(env.path(QStringLiteral("absent.rtf"))));
    doc->AskForSave = false;
    other->AskForSave = false;
    doc->close();
    other->close();
}

// Report lines wrap at the text box's width minus 4, also after the window is shown and resized.
TEST_F(DialogTest, ReportLinesWrapInsideTheWindow) {
    ScriptedUi ui;
    QMdiArea area;
    area.resize(900, 700);
    auto* doc = new frmDocument;
    area.addSubWindow(doc);
    area.show();
    doc->show();
    doc->setText(QString(400, u'x'));
    for (const QSize size : {QSize(500, 300), QSize(300, 200), QSize(800, 400)}) {
        doc->resize(size);
        QCoreApplication::processEvents();
        EXPECT_EQ(doc->rtfText->lineWrapMode(), QTextEdit::FixedPixelWidth);
        EXPECT_EQ(doc->rtfText->lineWrapColumnOrWidth(), doc->rtfText->viewport()->width() - 4);
        // The long line is broken into several, so no horizontal scrolling is needed.
        EXPECT_GT(doc->rtfText->document()->documentLayout()->documentSize().height(),
                  2 * QFontMetrics(doc->rtfText->font()).lineSpacing());
        EXPECT_LE(doc->rtfText->document()->idealWidth(), doc->rtfText->viewport()->width());
    }
    doc->AskForSave = false;
    doc->close();
}

TEST_F(DialogTest, ClosingAChangedReportAsks) {
    struct Case {
        int answer;
        QString chosen; // save dialog answer when Yes
        bool closes;
    };
    const QString target = env.path(QStringLiteral("saved.rtf"));
    const Case cases[] = {{plat::IDCANCEL, {}, false},
                          {plat::IDNO, {}, true},
                          {plat::IDYES, QString(), false},
                          {plat::IDYES, target, true}};
    for (const Case& c : cases) {
        ScriptedUi ui;
        QPointer<frmDocument> doc = new frmDocument;
        doc->setWindowTitle(QStringLiteral("Load report - a.pdb.log"));
        doc->setText(QStringLiteral("report"));
        ui.expectMessage(c.answer, LoadLangString(txt::SavePrompt) + QStringLiteral("Load report - a.pdb.log?"));
        if (c.answer == plat::IDYES)
            ui.expectSaveFile(c.chosen);
        EXPECT_EQ(doc->close(), c.closes);
        flushDeletes();
        EXPECT_EQ(doc.isNull(), c.closes);
        EXPECT_EQ(ui.messages().front().style, 307);
        if (doc) {
            doc->AskForSave = false;
            doc->close();
        }
    }
    EXPECT_EQ(PlainTextFromRtf(TestEnv::readFile(target)), QStringLiteral("report"));
}

} // namespace
