// Coordinate texts "latitude/longitude": the check, the turn of the decimal mark each way, the six-decimal
// form, and the question that asks until a text is a pair.
#include "DocumentFixtures.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/LatLongText.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"

#include <gtest/gtest.h>

namespace {

TEST(LatLongText, AcceptsOnePairWithOneMarkKindPerHalf) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"51,5/-0,12", true},  {"51.5/-0.12", true}, {"51,5/-0.12", false}, {"51.5", false},
        {"51.5/0.1/2", false}, {"51/0.1", false},    {"51.5/0", false},     {"51..5/0.1", false},
        {"", false},           {"a.b/c.d", true}, // halves are not checked for being numbers
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsLatLongText(QString::fromLatin1(c.text)), c.ok) << c.text;
}

TEST(LatLongText, ConvertsTheMarkEachWay) {
    EXPECT_EQ(ConvertLatLongText("51.5/-0.12", 1, ","), "51,5/-0,12");
    EXPECT_EQ(ConvertLatLongText("51,5/-0,12", 1, "."), "51.5/-0.12");
    EXPECT_EQ(ConvertLatLongText("51,123456/-0,123456", 0, ","), "51.123456/-0.123456");
    EXPECT_EQ(ConvertLatLongText("51.123456/-0.123456", 0, "."), "51.123456/-0.123456");
    EXPECT_EQ(LatLongExample("."), "12.345678/12.345678");
    EXPECT_EQ(LatLongExample(","), "12,345678/12,345678");
}

TEST(LatLongText, FormatsSixDecimalsAndReadsBack) {
    EXPECT_EQ(FormatCoordinate(51.5, "."), "51.500000");
    EXPECT_EQ(FormatCoordinate(-0.1234567, ","), "-0,123457");
    EXPECT_EQ(FormatCoordinate(-0.0000001, "."), "0.000000");
    double lat = 0, lon = 0;
    ASSERT_TRUE(ParseLatLong("51,5/-0,12", ",", &lat, &lon));
    EXPECT_DOUBLE_EQ(lat, 51.5);
    EXPECT_DOUBLE_EQ(lon, -0.12);
    EXPECT_FALSE(ParseLatLong("a.b/c.d", ".", &lat, &lon));
    EXPECT_FALSE(ParseLatLong("51.5", ".", &lat, &lon));
}

// A text that is no pair is asked for again, with itself and an example in the user's decimal
// separator, until the answer is one. Given up on, the text becomes "0.0/0.0"; the result is that pair where
// the caller asked for one (a logger placed on the map) and stays empty where the coordinate is to place nothing.
TEST(LatLongText, AsksUntilAPairAndTheCallerSaysWhatGivingUpGives) {
    DocumentTest env;
    const QString savedSeparator = DecimalSeparator;
    DecimalSeparator = QStringLiteral(",");
    {
        ScriptedUi ui;
        ui.expectInput(QStringLiteral("51.5"));
        ui.expectInput(QStringLiteral("51,5/-0,12"));
        QString text = QStringLiteral("51.5/-0,12");
        QString result;
        EXPECT_EQ(ValidateLatLongText(text, result, 0, LatLongGivenUp::NoResult), 0);
        EXPECT_EQ(text, QStringLiteral("51,5/-0,12"));
        EXPECT_EQ(result, QStringLiteral("51.5/-0.12"));
        ASSERT_EQ(ui.inputPrompts().size(), 2);
        EXPECT_TRUE(ui.inputPrompts()[0].contains(QStringLiteral("51.5/-0,12")));
        EXPECT_TRUE(ui.inputPrompts()[0].contains(QStringLiteral("12,345678/12,345678")));
        EXPECT_TRUE(ui.inputPrompts()[0].startsWith(LoadLangString(txt::LatLongPromptStart)));
    }
    const struct {
        LatLongGivenUp givenUp;
        int16_t mode;
        bool cancelled;
        const char* result;
    } cases[] = {
        {LatLongGivenUp::ZeroPair, 0, false, "0.0/0.0"},
        {LatLongGivenUp::ZeroPair, 1, true, "0,0/0,0"},
        {LatLongGivenUp::NoResult, 0, false, ""},
        {LatLongGivenUp::NoResult, 1, true, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.result << " mode " << c.mode);
        ScriptedUi ui;
        ui.expectInput(QString(), !c.cancelled);
        QString text = QStringLiteral("nowhere");
        QString result = QStringLiteral("before");
        ValidateLatLongText(text, result, c.mode, c.givenUp);
        EXPECT_EQ(text, QStringLiteral("0.0/0.0"));
        EXPECT_EQ(result, QString::fromLatin1(c.result));
    }
    DecimalSeparator = savedSeparator;
}

} // namespace
