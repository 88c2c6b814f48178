// The named language text numbers against the shipped English language file, and the built-in English of the
// project's own texts.
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "core/Shared.h"
#include "lang/LangText.h"

#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

std::string sourceFile(const char* relative) {
    return TestEnv::readFile(sourcePath(QLatin1String(relative)));
}

// Number -> text of the shipped English file (its bytes as they stand).
std::map<int, std::string> englishTexts() {
    std::map<int, std::string> out;
    const std::string file = sourceFile("lang/lang_english.txt");
    size_t start = 0;
    while (start < file.size()) {
        size_t end = file.find('\n', start);
        if (end == std::string::npos)
            end = file.size();
        std::string line = file.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const size_t space = line.find(' ');
        if (space != std::string::npos && space > 0)
            out[std::stoi(line.substr(0, space))] = line.substr(space + 1);
        start = end + 1;
    }
    return out;
}

// Name -> number of every text named in lang/LangText.h.
std::map<std::string, int> namedNumbers() {
    std::map<std::string, int> out;
    const QString header = QString::fromStdString(sourceFile("lang/LangText.h"));
    const QRegularExpression named(QStringLiteral(R"(constexpr int (\w+) = (\d+);)"));
    for (auto it = named.globalMatch(header); it.hasNext();) {
        const auto m = it.next();
        if (m.captured(1) != QStringLiteral("kLastShippedText"))
            out[m.captured(1).toStdString()] = m.captured(2).toInt();
    }
    return out;
}

} // namespace

TEST(LangText, EveryNamedNumberHasAnEnglishTextAndEveryTextAName) {
    const auto texts = englishTexts();
    const auto named = namedNumbers();
    ASSERT_FALSE(named.empty());
    std::map<int, std::string> byNumber;
    for (const auto& [name, number] : named) {
        EXPECT_TRUE(texts.count(number)) << name << " = " << number << " has no line in lang_english.txt";
        EXPECT_TRUE(byNumber.emplace(number, name).second)
            << number << " is named twice: " << byNumber[number] << " and " << name;
    }
    for (const auto& [number, text] : texts)
        EXPECT_TRUE(byNumber.count(number)) << number << " (" << text << ") has no name in lang/LangText.h";
}

TEST(LangText, ProjectTextsCarryTheirEnglishAndShippedOnesDoNot) {
    const auto texts = englishTexts();
    std::map<int, std::string> builtIn;
    for (const auto& [number, english] : txt::kBuiltInEnglish) {
        EXPECT_GT(number, txt::kLastShippedText) << number;
        builtIn[number] = english;
    }
    for (const auto& [number, text] : texts)
        if (number > txt::kLastShippedText) {
            EXPECT_EQ(builtIn[number], text) << number;
        }
}

TEST(LangText, ASiteFileOfTheShippedRangeStillShowsTheProjectTexts) {
    std::map<int, std::string> shipped;
    for (const auto& [number, text] : englishTexts())
        if (number <= txt::kLastShippedText)
            shipped[number] = text;
    TestEnv env(shipped);
    ScriptedUi ui; // no message box may come: any would fail the test
    EXPECT_EQ(LoadLangString(txt::BackupFailed),
              QStringLiteral("The backup copy of the destination file could not be made, so nothing was written: "));
    EXPECT_EQ(LoadLangString(txt::NoDocument), QString::fromStdString(shipped.at(txt::NoDocument)));
    // A shipped number the site's file lacks still says that the file is incomplete.
    TestEnv sparse({{101, "One"}});
    ui.expectMessage(1, QStringLiteral("Could not open Language File"));
    EXPECT_EQ(LoadLangString(txt::NoDocument), QString());
}

// A name says what its text means: "Print320" beside "Print544" tells the reader nothing about which is which.
TEST(LangText, NoNameIsItsWordAndNumber) {
    for (const auto& [name, number] : namedNumbers()) {
        const std::string digits = std::to_string(number);
        EXPECT_FALSE(name.size() > digits.size() && name.ends_with(digits))
            << name << " carries its number, not its meaning";
    }
}

// The argument of every LoadLangString/LoadLangAnsi call in a source text (up to its matching parenthesis).
std::vector<QString> lookupArguments(const QString& source) {
    std::vector<QString> out;
    const QRegularExpression call(QStringLiteral(R"(\bLoadLang(?:String|Ansi)\s*\()"));
    for (auto it = call.globalMatch(source); it.hasNext();) {
        const qsizetype start = it.next().capturedEnd();
        int depth = 1;
        qsizetype end = start;
        for (; end < source.size() && depth > 0; ++end) {
            if (source[end] == u'(')
                ++depth;
            else if (source[end] == u')')
                --depth;
        }
        out.push_back(source.mid(start, end - start - 1));
    }
    return out;
}

// The programs pick a text by its name from lang/LangText.h, never by a bare number.
TEST(LangText, ProgramsLookTextsUpByName) {
    const QRegularExpression number(QStringLiteral(R"(\b\d{2,}\b)"));
    int files = 0;
    for (const char* folder : {"core", "documents", "vordalin", "mapview", "printing", "transfer", "pdalink",
                               "directlink", "autosync", "commserver", "platform"}) {
        QDirIterator it(sourcePath(QLatin1String(folder)), {QStringLiteral("*.cpp"), QStringLiteral("*.h")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            ++files;
            for (const QString& argument : lookupArguments(QString::fromStdString(TestEnv::readFile(path))))
                EXPECT_FALSE(number.match(argument).hasMatch()) << path.toStdString() << ": " << argument.toStdString();
        }
    }
    EXPECT_GT(files, 0);
}
