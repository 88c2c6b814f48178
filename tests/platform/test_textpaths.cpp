#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/VbRuntime.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>

namespace {
void touch(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}
} // namespace

TEST(TextCodec, Windows1252RoundTripsEveryByte) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const QString text = plat::fromAnsi(all);
    EXPECT_EQ(text.at(0x80), QChar(0x20AC)); // euro sign
    EXPECT_EQ(text.at(0xE9), QChar(0xE9));
    EXPECT_EQ(plat::toAnsi(text), all);
    EXPECT_EQ(plat::toAnsi(QStringLiteral("a\u4e2db")), "a?b");
}

TEST(TextCodec, SplitsLinesOnCrLfCrAndLf) {
    const auto lines = plat::splitLines("a\r\nb\rc\nd\r\n\r\ne");
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "a");
    EXPECT_EQ(lines[2], "c");
    EXPECT_EQ(lines[4], "");
    EXPECT_EQ(lines[5], "e");
    EXPECT_TRUE(plat::splitLines("").empty());
    EXPECT_EQ(plat::splitLines("x\r\n").size(), 1u);
}

TEST(TextCodec, FailedAtomicWriteKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("area.pdb"));
    ASSERT_TRUE(plat::writeFileAtomically(target, "old contents"));
    // A folder that does not exist and a directory in place of a file both fail.
    QString error;
    std::string back;
    EXPECT_FALSE(plat::writeFileAtomically(dir.filePath(QStringLiteral("missing/x.pdb")), "new", &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(plat::writeFileAtomically(dir.path(), "new"));
    ASSERT_TRUE(plat::readFileBytes(target, back));
    EXPECT_EQ(back, "old contents");
    // Read-only by its mode bits (tests run as root, who could otherwise replace it).
    const QString locked = dir.filePath(QStringLiteral("locked.pdb"));
    ASSERT_TRUE(plat::writeFileAtomically(locked, "kept"));
    QFile::setPermissions(locked, QFileDevice::ReadOwner);
    EXPECT_FALSE(plat::writeFileAtomically(locked, "new", &error));
    EXPECT_EQ(error, plat::systemErrorText(EACCES));
    ASSERT_TRUE(plat::readFileBytes(locked, back));
    EXPECT_EQ(back, "kept");
    // A link is followed: the file it names is replaced and the link stays a link.
    const QString link = dir.filePath(QStringLiteral("link.pdb"));
    ASSERT_TRUE(QFile::link(target, link));
    ASSERT_TRUE(plat::writeFileAtomically(link, "through the link"));
    EXPECT_TRUE(QFileInfo(link).isSymLink());
    ASSERT_TRUE(plat::readFileBytes(target, back));
    EXPECT_EQ(back, "through the link");
}

TEST(Paths, WindowsPathsBecomeLocal) {
    EXPECT_EQ(plat::toLocalPath(QStringLiteral("C:\\tessaly\\qdata")), QStringLiteral("/tessaly/qdata"));
    EXPECT_EQ(plat::toLocalPath(QStringLiteral("C:\\")), QStringLiteral("/"));
    EXPECT_EQ(plat::toLocalPath(QStringLiteral("rovemark\\from")), QStringLiteral("rovemark/from"));
    EXPECT_EQ(plat::toLocalPath(QStringLiteral("/home/a b/x.pdb")), QStringLiteral("/home/a b/x.pdb"));
}

TEST(Paths, ResolvesExistingFoldersWithoutRegardToCase) {
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("rovemark/from"));
    EXPECT_EQ(plat::resolveIn(dir.path(), QStringLiteral("Rovemark\\From")), dir.path() + "/rovemark/from");
    // What does not exist keeps the spelling given, below the part that does.
    EXPECT_EQ(plat::resolveIn(dir.path(), QStringLiteral("Rovemark\\AutoExport")), dir.path() + "/rovemark/AutoExport");
}

TEST(Paths, WildcardsListingAndFirstFile) {
    struct Case {
        const char* pattern;
        const char* name;
        bool match;
    } cases[] = {{"*.pdb", "AREA.PDB", true}, {"lang_*.txt", "lang_english.txt", true},
                 {"*.pdb", "a.pdbx", false},  {"x?z", "xyz", true},
                 {"x?z", "xz", false},        {"*", "", true}};
    for (const Case& c : cases)
        EXPECT_EQ(plat::wildcardMatch(QString::fromLatin1(c.pattern), QString::fromLatin1(c.name)), c.match)
            << c.pattern << " / " << c.name;

    QTemporaryDir dir;
    touch(dir.filePath(QStringLiteral("b.pdb")));
    touch(dir.filePath(QStringLiteral("A.PDB")));
    touch(dir.filePath(QStringLiteral(".hidden.pdb")));
    touch(dir.filePath(QStringLiteral("c.csv")));
    QDir(dir.path()).mkpath(QStringLiteral("d.pdb"));
    EXPECT_EQ(plat::listFiles(dir.path(), QStringLiteral("*.pdb")), (QStringList{"A.PDB", "b.pdb"}));
    EXPECT_EQ(plat::listFiles(dir.path(), QStringLiteral("*.pdb;*.csv")), (QStringList{"A.PDB", "b.pdb", "c.csv"}));
    EXPECT_EQ(plat::findFirstFile(dir.filePath(QStringLiteral("*.PDB"))), dir.path() + "/A.PDB");
    EXPECT_EQ(plat::findFirstFile(dir.filePath(QStringLiteral("none.pdb"))), QString());
    EXPECT_EQ(plat::findFirstFile(dir.filePath(QStringLiteral("d.pdb"))), QString()); // a folder is no file
    // A ';' in one file name is part of the name.
    touch(dir.filePath(QStringLiteral("north;south.pdb")));
    EXPECT_EQ(plat::findFirstFile(dir.filePath(QStringLiteral("North;South.pdb"))), dir.path() + "/north;south.pdb");
}

TEST(VbRuntime, ValReadsTheLeadingNumber) {
    struct Case {
        const char* text;
        double value;
    } cases[] = {
        {"123", 123}, {" 1 2 3x", 123}, {"-7", -7},     {"1.5e2", 150},        {"abc", 0}, {"", 0}, {"12,5", 12},
        {"&H10", 16}, {"+4", 4},        {"3.2.1", 3.2}, {"9E999999", INFINITY}};
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(plat::vb::Val(std::string_view(c.text)), c.value) << c.text;
}

TEST(VbRuntime, RoundingAndRanges) {
    int16_t s = 0;
    int32_t l = 0;
    EXPECT_TRUE(plat::vb::toInt16(2.5, &s));
    EXPECT_EQ(s, 2);
    EXPECT_TRUE(plat::vb::toInt16(3.5, &s));
    EXPECT_EQ(s, 4);
    EXPECT_FALSE(plat::vb::toInt16(32768, &s));
    EXPECT_TRUE(plat::vb::toInt32(-2147483648.0, &l));
    EXPECT_FALSE(plat::vb::toInt32(INFINITY, &l));
    EXPECT_EQ(plat::vb::wrap16(32767 + 1), -32768);
    EXPECT_EQ(plat::vb::formatSerial(1234567), "01234567");
    EXPECT_EQ(plat::vb::zeroPad(3, 4), QStringLiteral("0003"));
}
