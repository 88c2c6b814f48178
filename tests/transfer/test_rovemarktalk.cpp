// The exchange with the outside transfer program: its arguments, the exact-name check, running it through a
// real process, the listing of received files and the result file.
#include "TransferFixtures.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "lang/LangText.h"
#include "transfer/RovemarkTalk.h"
#include "transfer/TransferFolders.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>

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

// The program quitting while the transfer runs (its main window closed meanwhile) ends every event loop, the
// wait's among them: the transfer program still runs to its end and is not killed half-way through a transfer.
TEST_F(RovemarkTalkTest, AQuitDuringTheRunLetsTheProgramFinish) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const QString go = path(QStringLiteral("go"));
    const QString finished = path(QStringLiteral("finished"));
    // Run in a process of its own: a quit leaves this thread's event loops unable to run again.
    EXPECT_EXIT(
        {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [go] {
                    QCoreApplication::exit(0);
                    QFile f(go);
                    f.open(QIODevice::WriteOnly);
                },
                Qt::QueuedConnection);
            const ExecOutcome outcome =
                ExecAndWait(QStringLiteral("/bin/sh"),
                            {QStringLiteral("-c"),
                             QStringLiteral("while [ ! -e \"$0\" ]; do sleep 0.01; done; : > \"$1\""), go, finished});
            std::exit(outcome == ExecOutcome::Finished && QFile::exists(finished) ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
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

TEST_F(RovemarkTalkTest, ResultFileGivesTheNumberOfLineOneAndShowsLineTwoOnlyAfterANumberLine) {
    struct Case {
        std::string bytes;
        int16_t result;
        bool readable; // line 1 is a number: line 2 is shown
        QString shown;
    };
    const Case cases[] = {
        {"0\r\nTransfer complete\r\n", 0, true, QStringLiteral("Transfer complete")},
        // The number that stood for "no result file" is a result like any other when a file holds it.
        {"-999\r\nTransfer failed\r\n", -999, true, QStringLiteral("Transfer failed")},
        {"-3\nLink lost\n", -3, true, QStringLiteral("Link lost")},
        {"2.5\r\nhalf\r\n", 2, true, QStringLiteral("half")}, // halves go to the even number
        {"3.5\r\nhalf\r\n", 4, true, QStringLiteral("half")},
        {" 2.5e1 \nexponent\n", 25, true, QStringLiteral("exponent")},
        {"&H7FFF\r\nhex\r\n", 32767, true, QStringLiteral("hex")},
        {"40000\r\nbig\r\n", 0, true, QStringLiteral("big")}, // beyond 16 bits
        {"-32768\r\nsmallest\r\n", -32768, true, QStringLiteral("smallest")},
        {"5\r\n", 5, true, QString()}, // no line 2
        {"1\r\nZ\xfcrich\r\n", 1, true, QString::fromUtf8("Z\u00fcrich")},
        // Not the program's number line: whatever follows is not shown.
        {"12abc\r\nPartial\r\n", 12, false, QString()},
        {"abc\r\nNo number\r\n", 0, false, QString()},
        {"\x01\x02\xff\r\n\x1b[2Jraw\x07\r\n", 0, false, QString()},
        {"-\r\nsign only\r\n", 0, false, QString()},
        {"1e\r\nno exponent\r\n", 1, false, QString()},
        {"", 0, false, QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        status.texts = QStringList{QStringLiteral("before")};
        env.writeFile(QStringLiteral("Vord Program/rovemark/from/xfer.err"), c.bytes);
        EXPECT_TRUE(TransferResultExists(TransferFromFolder));
        const std::optional<TransferResult> result = ReadTransferResult(TransferFromFolder);
        ASSERT_TRUE(result.has_value()) << "the file is there";
        EXPECT_EQ(result->number, c.result);
        EXPECT_EQ(result->readable, c.readable);
        EXPECT_EQ(result->text, c.shown);
        const QStringList shown =
            c.readable ? QStringList{QStringLiteral("before"), c.shown} : QStringList{QStringLiteral("before")};
        EXPECT_EQ(status.texts, shown);
    }
    // No file: the status bar keeps what it showed.
    QFile::remove(TransferFromFolder + QStringLiteral("/xfer.err"));
    status.texts = QStringList{QStringLiteral("kept")};
    EXPECT_FALSE(ReadTransferResult(TransferFromFolder).has_value());
    EXPECT_EQ(status.texts, QStringList{QStringLiteral("kept")});
}

} // namespace
