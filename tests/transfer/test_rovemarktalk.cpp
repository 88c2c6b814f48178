// The exchange with the outside transfer program: its arguments, the exact-name check, running it through a
// real process, the listing of received files and the result file.
#include "TransferFixtures.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "transfer/RovemarkTalk.h"
#include "transfer/TransferFolders.h"
#include "lang/LangText.h"

#include <gtest/gtest.h>

namespace {

class RovemarkTalkTest : public ::testing::Test, public TransferTest {};

TEST_F(RovemarkTalkTest, ArgumentsFollowTheLinkSettingsAndKeepAFolderWithBlanksWhole) {
    struct Case {
        bool modem;
        QString number;
        int16_t port;
        QString mode;
        QStringList args;
    };
    const QString folder = TransferFromFolder; // below "Vord Program"
    const Case cases[] = {
        {false,
         QStringLiteral("0123"),
         2,
         QStringLiteral("READ"),
         {QStringLiteral("Direct"), QStringLiteral("ComPort=2"), QStringLiteral("READ"), folder}},
        {true,
         QStringLiteral("0123"),
         4,
         QStringLiteral("WRITE"),
         {QStringLiteral("Modem=0123"), QStringLiteral("ComPort=4"), QStringLiteral("WRITE"), folder}},
        {true,
         QString(),
         1,
         QStringLiteral("READ"),
         {QStringLiteral("Modem="), QStringLiteral("ComPort=1"), QStringLiteral("READ"), folder}},
    };
    for (const Case& c : cases) {
        UseModem = c.modem;
        NumberToDial = c.number;
        ComPort = c.port;
        EXPECT_EQ(FieldUnitTransferArguments(c.mode, folder), c.args);
        EXPECT_EQ(FieldUnitTransferCommand(c.mode, folder),
                  u'"' + programDir() + QStringLiteral("/RovemarkTalk\" ") + c.args.join(u' '));
    }

    // Through a real process the folder arrives as one argument, and the command line showed meanwhile.
    UseModem = false;
    ComPort = 2;
    installFakeProgram();
    ScriptedUi ui;
    EXPECT_TRUE(RunTransferProgram(QStringLiteral("READ"), folder));
    ASSERT_EQ(runs().size(), 1u);
    EXPECT_EQ(runs()[0].args, cases[0].args);
    ASSERT_EQ(status.texts.size(), 2);
    EXPECT_EQ(status.texts[0], FieldUnitTransferCommand(QStringLiteral("READ"), folder));
    EXPECT_EQ(status.texts[1], QString());
}

TEST_F(RovemarkTalkTest, AProgramThatIsMissingUnstartableOrCrashingIsReportedOnceAndGivesFalse) {
    const QString program = programDir() + QStringLiteral("/RovemarkTalk");
    struct Case {
        const char* what;
        std::function<void()> setUp;
        QString message;
    };
    const Case cases[] = {
        {"missing", [] {}, LoadLangString(txt::TransferProgramNotFound) + program},
        // Found under another letter case: named in front of the message and not run.
        {"other case", [&] { installFakeProgram({}, QStringLiteral("rovemarktalk")); },
         QStringLiteral("rovemarktalk") + LoadLangString(txt::TransferProgramMissing) + program},
        {"not executable",
         [&] {
             env.writeFile(QStringLiteral("Vord Program/RovemarkTalk"), "not a program");
             QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner);
         },
         LoadLangString(txt::TransferProgramNotStarted) + program},
        {"crashing",
         [&] {
             installFakeProgram({{"crash", "1"}});
         },
         LoadLangString(txt::TransferProgramCrashed) + program},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QFile::remove(program);
        QFile::remove(path(QStringLiteral("rovemarktalk")));
        c.setUp();
        ScriptedUi ui;
        ui.expectMessage(plat::IDOK);
        EXPECT_FALSE(RunTransferProgram(QStringLiteral("WRITE"), TransferToFolder));
        ASSERT_EQ(ui.messages().size(), 1u);
        EXPECT_EQ(ui.messages()[0].prompt, c.message);
        EXPECT_EQ(status.last(), QString());
    }
    EXPECT_EQ(runs().size(), 1u); // only the crashing one ran at all
}

TEST_F(RovemarkTalkTest, ReceivedFilesAreThePdbFilesInListingOrder) {
    for (const char* name : {"b.pdb", "A.PDB", "c.txt", "d.pdb.bak"})
        env.writeFile(QStringLiteral("Vord Program/rovemark/from/") + QLatin1String(name), "x");
    ListReceivedFiles(TransferFromFolder);
    ASSERT_EQ(ReceivedCount, 2);
    EXPECT_EQ(ReceivedFiles.mid(1), (QStringList{TransferFromFolder + QStringLiteral("/A.PDB"),
                                                 TransferFromFolder + QStringLiteral("/b.pdb")}));
    QFile::remove(TransferFromFolder + QStringLiteral("/A.PDB"));
    QFile::remove(TransferFromFolder + QStringLiteral("/b.pdb"));
    ListReceivedFiles(TransferFromFolder);
    EXPECT_EQ(ReceivedCount, 0);
}

TEST_F(RovemarkTalkTest, ResultFileGivesTheNumberOfLineOneAndShowsLineTwo) {
    struct Case {
        std::string bytes;
        int16_t result;
        QString shown;
    };
    const Case cases[] = {
        {"0\r\nTransfer complete\r\n", 0, QStringLiteral("Transfer complete")},
        {"12abc\r\nPartial\r\n", 12, QStringLiteral("Partial")},
        {"abc\r\nNo number\r\n", 0, QStringLiteral("No number")},
        {"-3\nLink lost\n", -3, QStringLiteral("Link lost")},
        {"2.5\r\nhalf\r\n", 2, QStringLiteral("half")}, // halves go to the even number
        {"3.5\r\nhalf\r\n", 4, QStringLiteral("half")},
        {"40000\r\nbig\r\n", 0, QStringLiteral("big")}, // beyond 16 bits
        {"-32768\r\nsmallest\r\n", -32768, QStringLiteral("smallest")},
        {"5\r\n", 5, QString()}, // no line 2
        {"", 0, QString()},
        {"1\r\nZ\xfcrich\r\n", 1, QString::fromUtf8("Z\u00fcrich")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        status.texts.clear();
        env.writeFile(QStringLiteral("Vord Program/rovemark/from/xfer.err"), c.bytes);
        EXPECT_TRUE(TransferResultExists(TransferFromFolder));
        EXPECT_EQ(ReadTransferResult(TransferFromFolder), c.result);
        EXPECT_EQ(status.texts, QStringList{c.shown});
    }
    // No file: the status bar keeps what it showed.
    QFile::remove(TransferFromFolder + QStringLiteral("/xfer.err"));
    status.texts = QStringList{QStringLiteral("kept")};
    EXPECT_EQ(ReadTransferResult(TransferFromFolder), kNoTransferResult);
    EXPECT_EQ(status.texts, QStringList{QStringLiteral("kept")});
}

} // namespace
