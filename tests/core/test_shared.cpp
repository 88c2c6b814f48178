#include "ScopedProgramWindows.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "core/ProgramWindows.h"
#include "core/Shared.h"
#include "lang/LangText.h"

#include <QFile>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {
const QString kLangFailure = QStringLiteral("Error: Could not open Language File...");

struct FakeEditor final : ProgramWindows {
    bool visible = true;
    bool editorVisible() const override { return visible; }
    void hideEditor() override { visible = false; }
    void showEditor() override { visible = true; }
    void toggleGraph() override {}
};
} // namespace

TEST(LoadLangString, ReadsTheTextAfterTheNumberField) {
    TestEnv env({{100, "Ends with 1010"}, {101, "One oh one"}, {150, "\tSerial"}});
    env.writeFile("lang_test.txt", "100 Ends with 1010\r\n101 One oh one\r\n150\tSerial\r\n151Serial\r\n152\r\n"
                                   "153 Trailing  \r\n1540Zero separated\r\n099 Below a hundred\r\n");
    ScriptedUi ui;
    // The number field decides: a text containing the digits of another number does not take its place.
    EXPECT_EQ(LoadLangString(101), "One oh one");
    EXPECT_EQ(LoadLangString(txt::NothingToCopy), "Serial");
    EXPECT_EQ(LoadLangString(151), "erial"); // the fourth character is the separator, whatever it is
    EXPECT_EQ(LoadLangString(txt::VordalinLoggerDatabase), "Trailing  ");
    // The number field is three characters wide, so a digit as separator still leaves the number alone.
    EXPECT_EQ(LoadLangString(154), "Zero separated");
    EXPECT_EQ(LoadLangString(99), "Below a hundred");
    EXPECT_TRUE(ui.messages().empty());
}

TEST(LoadLangString, FailuresShowOneMessageAndGiveEmptyText) {
    TestEnv env({{101, "x"}});
    env.writeFile("lang_test.txt", "101 x\r\n152\r\n");
    ScriptedUi ui;
    ui.expectMessage(1, kLangFailure).expectMessage(1, kLangFailure);
    EXPECT_EQ(LoadLangString(999), "");
    EXPECT_EQ(LoadLangString(152), ""); // a line of the number alone holds no text
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[0].style, 0);
}

TEST(LoadLangString, TakesTheFirstFileAndSeesChanges) {
    TestEnv env({{101, "From test"}});
    env.writeFile("lang_a.txt", "101 From a\r\n");
    ScriptedUi ui;
    EXPECT_EQ(LoadLangString(101), "From a");
    // A changed file takes effect at the next lookup, even when it keeps its size and, on a file system
    // with a coarse clock, its time stamp.
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(env.path("lang_a.txt")).constData(), &before), 0);
    env.writeFile("lang_a.txt", "101 From b\r\n");
    const struct timespec sameStamp[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(env.path("lang_a.txt")).constData(), sameStamp, 0), 0);
    EXPECT_EQ(LoadLangString(101), "From b");
    QFile::remove(env.path("lang_a.txt"));
    EXPECT_EQ(LoadLangString(101), "From test");
    QFile::remove(env.path("lang_test.txt"));
    ui.expectMessage(1, kLangFailure);
    EXPECT_EQ(LoadLangString(101), "");
}

TEST(LoadLangString, Windows1252TextBecomesUnicode) {
    TestEnv env({{101, "Caf\xe9 \x80"}});
    EXPECT_EQ(LoadLangString(101), QStringLiteral("Caf\u00e9 \u20ac"));
    EXPECT_EQ(LoadLangAnsi(101), "Caf\xe9 \x80");
}

TEST(ShowMessage, HidesTheEditorAndUsesTheTitleOnlyWithStyleBits) {
    TestEnv env;
    FakeEditor editor;
    ScriptedUi ui;
    ui.expectMessage(1).expectMessage(6);
    {
        const ScopedProgramWindows registered(&editor);
        EXPECT_EQ(ShowMessage("Plain", 0, "Ignored title"), 1);
        EXPECT_FALSE(editor.visible);
        EXPECT_EQ(ShowMessage("Question", 4 + 32, "My title", "help.hlp", "12"), 6);
    }
    ASSERT_EQ(ui.messages().size(), 2u);
    EXPECT_EQ(ui.messages()[0].title, "");
    EXPECT_EQ(ui.messages()[1].title, "My title");
    EXPECT_EQ(ui.messages()[1].style, 36);
}

TEST(SharedRoutines, CommandLineIsTheArgumentList) {
    SplitCommandLine({});
    EXPECT_EQ(CommandLineArgCount, 0);
    SplitCommandLine({"/home/a b/area one.pdb", "/s=01234567"});
    ASSERT_EQ(CommandLineArgCount, 2);
    EXPECT_EQ(CommandLineArgs[1], "/home/a b/area one.pdb");
    EXPECT_EQ(CommandLineArgs[2], "/s=01234567");
}

TEST(SharedRoutines, TextHelpers) {
    EXPECT_EQ(CountOccurrences("51.5/-0.12", "."), 2);
    EXPECT_EQ(CountOccurrences("aaaa", "aa"), 3);
    EXPECT_EQ(CountOccurrences("abc", ""), 0);
    EXPECT_EQ(ExpandNewlines("a\\nb"), "a\r\nb");

    struct Case {
        const char* path;
        const char* title;
    } titles[] = {{"C:\\data\\area.pdb", "area.pdb"},
                  {"C:area.pdb", "area.pdb"},
                  {"C:\\data\\", ""},
                  {"area.pdb", "area.pdb"},
                  {"", ""},
                  {"/home/u/x.pdb", "x.pdb"}};
    for (const Case& c : titles)
        EXPECT_EQ(FileTitle(c.path), c.title) << c.path;
    EXPECT_EQ(TextAfterLast("a\\b\\c", "\\"), "c");
    EXPECT_EQ(TextAfterLast("abc", "\\"), "abc");
    EXPECT_EQ(TextAfterLast("abc\\", "\\"), "");

    EXPECT_EQ(FormatGridRef("12345678"), "AA 1234 5678");
    EXPECT_EQ(GridRefDigits("SU 1234 5678"), "12345678");
    EXPECT_EQ(GridRefDigits("AB 12"), "12B 12__");
    QString three = "abc";
    EXPECT_EQ(PadUnderscore(three), "abc_____");
    EXPECT_EQ(three, "abc_____");
}
