#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AsNobody.h"
#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "cleaner/VordClean.h"
#include "platform/AtomicFile.h"
#include "platform/SettingsStore.h"

namespace {

class CleanerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        store_ = root_.filePath(QStringLiteral("store"));
        QDir().mkpath(store_);
        qputenv("VORD_SETTINGS_DIR", QFile::encodeName(store_));
    }
    void TearDown() override { qunsetenv("VORD_SETTINGS_DIR"); }
    void seed(const QString& key) const {
        ASSERT_TRUE(
            plat::settings::save(key, QStringLiteral("Settings"), QStringLiteral("Language"), QStringLiteral("1")));
        ASSERT_TRUE(
            plat::settings::save(key, QStringLiteral("MapPointOptions"), QStringLiteral("Zoom"), QStringLiteral("3")));
    }
    static bool has(const QString& key) {
        return plat::settings::exists(key, QStringLiteral("Settings"), QStringLiteral("Language"));
    }
    QTemporaryDir root_;
    QString store_;
};

TEST_F(CleanerTest, DeletesExactlyTheChosenKey) {
    const QString company = QString::fromLatin1(cleaner::kDistributors[1].company);
    const QString code = QString::fromLatin1(cleaner::kDistributors[1].code);
    struct Case {
        QString code, title, deleted, message;
    };
    const Case cases[] = {
        {"", "", "Vordalin", "Vordalin settings deleted"},
        {"XYZ", "Vordalin", "Vordalin", "Vordalin settings deleted"},
        {code, "", "Vordalin", "Vordalin settings deleted"}, // no title: no company either
        {code, "Vordalin", company + " - Vordalin", "Vordalin settings deleted"},
        {"XYZ", "Other", "Other", "Other settings deleted"},
    };
    const QStringList everyone = {"Vordalin", company + " - Vordalin", "Other", "Vordalin Extra", "VordSync"};
    for (const Case& c : cases) {
        SCOPED_TRACE((c.code + u'|' + c.title).toStdString());
        for (const QString& k : everyone)
            seed(k);
        EXPECT_EQ(cleaner::VordClean(c.code, c.title), c.message);
        for (const QString& k : everyone)
            EXPECT_EQ(has(k), k != c.deleted) << k.toStdString();
        // The second run finds nothing.
        EXPECT_EQ(cleaner::VordClean(c.code, c.title),
                  QStringLiteral("No stored settings found for ") + cleaner::EffectiveTitle(c.title));
    }
}

TEST_F(CleanerTest, ATitleNamesOneStoreLiterally) {
    // Wildcards, lists and blanks in a title are part of the name; only letter case is set aside.
    const QString company = QString::fromLatin1(cleaner::kDistributors[1].company);
    const QStringList everyone = {"Vordalin", company + " - Vordalin", "ComponentRegistry", "Other"};
    struct Case {
        const char* title;
        const char* deleted; // nullptr: nothing
    };
    const Case cases[] = {
        {"*", nullptr},          {"?ordalin", nullptr}, {"Vordal*", nullptr},     {"Other;Vordalin", nullptr},
        {" Vordalin ", nullptr}, {"*.ini", nullptr},    {"VORDALIN", "Vordalin"}, {"other", "Other"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        for (const QString& k : everyone)
            seed(k);
        const QString title = QString::fromLatin1(c.title);
        EXPECT_EQ(cleaner::VordClean(QStringLiteral("XYZ"), title),
                  c.deleted ? title + QStringLiteral(" settings deleted")
                            : QStringLiteral("No stored settings found for ") + title);
        for (const QString& k : everyone)
            EXPECT_EQ(has(k), !c.deleted || k != QLatin1String(c.deleted)) << k.toStdString();
    }
    // Writing and deleting stores leaves nothing else in the folder.
    for (const QString& k : everyone)
        seed(k);
    QStringList left = QDir(store_).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    left.sort();
    QStringList expected;
    for (const QString& k : everyone)
        expected << k + QStringLiteral(".ini");
    expected.sort();
    EXPECT_EQ(left, expected);
}

TEST_F(CleanerTest, NamesThatCouldLeaveTheStoreAreRefused) {
    // Files beside and above the store that a careless name could reach.
    QFile outside(root_.filePath(QStringLiteral("victim.ini")));
    ASSERT_TRUE(outside.open(QIODevice::WriteOnly));
    outside.write("keep");
    outside.close();
    QDir().mkpath(store_ + QStringLiteral("/sub"));
    QFile inner(store_ + QStringLiteral("/sub/x.ini"));
    ASSERT_TRUE(inner.open(QIODevice::WriteOnly));
    inner.close();
    for (const char* title : {"../victim", "..", "sub/x", "sub\\x", "/etc/passwd", "a/../../victim"}) {
        SCOPED_TRACE(title);
        EXPECT_EQ(cleaner::DeleteKeyTree(QString::fromLatin1(title)), 87);
        EXPECT_EQ(cleaner::VordClean(QString(), QString::fromLatin1(title)),
                  QStringLiteral("Refused: \"") + QString::fromLatin1(title) +
                      QStringLiteral("\" is not a settings name (it could reach outside the stored settings). "
                                     "Nothing was deleted."));
    }
    EXPECT_TRUE(outside.exists());
    EXPECT_TRUE(inner.exists());
}

TEST_F(CleanerTest, TheStoresOfTheOtherPartsOfThePackageAreRefused) {
    const QString company = QString::fromLatin1(cleaner::kDistributors[1].company);
    const QString code = QString::fromLatin1(cleaner::kDistributors[1].code);
    const QStringList others = {QLatin1String(plat::settings::kComponentRegistryTitle),
                                QLatin1String(plat::settings::kSerialPortsTitle),
                                QLatin1String(plat::settings::kPdaLibraryTitle), "VordSync", "Quendar32"};
    const QStringList everyone = others + QStringList{"Vordalin", company + " - ComponentRegistry"};
    for (const QString& title : others + QStringList{"componentregistry", "SERIALPORTS", "vordpdasupport"}) {
        for (const QString& c : {QString(), QStringLiteral("XYZ")}) {
            SCOPED_TRACE((c + u'|' + title).toStdString());
            for (const QString& k : everyone)
                seed(k);
            EXPECT_EQ(cleaner::DeleteKeyTree(title), 5);
            EXPECT_EQ(cleaner::VordClean(c, title),
                      QStringLiteral("Refused: \"") + title +
                          QStringLiteral("\" holds the settings of another part of this package, not those of the "
                                         "main program. Nothing was deleted."));
            for (const QString& k : everyone)
                EXPECT_TRUE(has(k)) << k.toStdString();
        }
    }
    // A distributor's copy of the program under such a title is that copy's own store.
    EXPECT_EQ(cleaner::VordClean(code, QStringLiteral("ComponentRegistry")),
              QStringLiteral("ComponentRegistry settings deleted"));
    EXPECT_FALSE(has(company + " - ComponentRegistry"));
    EXPECT_TRUE(has(QStringLiteral("ComponentRegistry")));
}

// Settings that are there but cannot be deleted (a read-only settings folder) are not reported as absent: the
// message says they were not deleted and why, and the exit status says so too.
TEST_F(CleanerTest, SettingsThatCannotBeDeletedAreSaidSo) {
    seed(QStringLiteral("Vordalin"));
    const QByteArray folder = QFile::encodeName(store_);
    ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(root_.path()).constData(), 0755), 0);
    const QString expected = QStringLiteral("Vordalin settings were not deleted: ") +
                             plat::settings::filePath(QStringLiteral("Vordalin")) + QStringLiteral(": ") +
                             plat::systemErrorText(EACCES);
    const int result = testsupport::asOrdinaryUser([&] {
        int status = -1;
        const QString message = cleaner::VordClean(QString(), QString(), &status);
        if (message != expected) {
            std::fprintf(stderr, "%s\n", qPrintable(message));
            return 3;
        }
        return status;
    });
    EXPECT_EQ(result, cleaner::kExitNotDeleted);
    EXPECT_NE(result, 0);
    ASSERT_EQ(::chmod(folder.constData(), 0700), 0);
    EXPECT_TRUE(has(QStringLiteral("Vordalin")));
}

// The program's exit status: 0 when the settings were deleted or none were stored, non-zero for a refusal.
TEST_F(CleanerTest, TheExitStatusSaysWhetherTheSettingsWereDeleted) {
    struct Case {
        const char* title;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {"Vordalin", cleaner::kExitDone, "Vordalin settings deleted"},
        {"Vordalin", cleaner::kExitDone, "No stored settings found for Vordalin"},
        {"VordSync", cleaner::kExitRefused, "Refused: \"VordSync\""},
        {"../x", cleaner::kExitRefused, "Refused: \"../x\""},
    };
    seed(QStringLiteral("Vordalin"));
    seed(QStringLiteral("VordSync"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        ScriptedUi ui;
        ui.expectMessage(plat::IDOK, QString::fromLatin1(c.message));
        EXPECT_EQ(cleaner::RunVordClean(QStringLiteral("XYZ"), QString::fromLatin1(c.title)), c.status);
    }
    EXPECT_TRUE(has(QStringLiteral("VordSync")));
}

TEST_F(CleanerTest, NoStoreAtAll) {
    qputenv("VORD_SETTINGS_DIR", QFile::encodeName(root_.filePath(QStringLiteral("none"))));
    EXPECT_EQ(cleaner::VordClean(QString(), QString()), QStringLiteral("No stored settings were found"));
}

TEST_F(CleanerTest, TheProgramSaysWhatItDidAndEnds) {
    seed(QStringLiteral("Vordalin"));
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VORD_SETTINGS_DIR"), store_);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The message box waits for its OK; the test only checks the deletion, then closes the program.
    p.setProcessEnvironment(env);
    p.start(builtProgram("VORDCLEAN_PROGRAM"), {});
    ASSERT_TRUE(p.waitForStarted(10000));
    for (int i = 0; i < 200 && has(QStringLiteral("Vordalin")); ++i)
        p.waitForFinished(50);
    EXPECT_FALSE(has(QStringLiteral("Vordalin")));
    p.kill();
    p.waitForFinished(5000);
}

} // namespace
