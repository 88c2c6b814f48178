// Dates, pictures and number texts.
#include "XbaseTestUtil.h"

#include <algorithm>
#include <clocale>
#include <cstring>
#include <vector>

using namespace xbt;

TEST(Dates, JulianDayNumbers) {
    struct Case {
        const char* date;
        long julian;
    } cases[] = {
        {"00010101", 1721426}, {"20000229", 2451604}, {"19000229", -1},      {"19000301", 2415080},
        {"        ", 0},       {"2026 1 1", 2461042}, {"20261301", -1},      {"2026AB01", -1},
        {"20240229", 2460370}, {"20230229", -1},      {"19700101", 2440588}, {"20261208", 2461383},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.date);
        EXPECT_EQ(date4toJulian(c.date), c.julian);
        if (c.julian > 0 && std::strchr(c.date, ' ') == nullptr) {
            char back[9] = {};
            date4assign(back, c.julian);
            EXPECT_STREQ(back, c.date);
        }
    }
    char out[9] = {};
    date4assign(out, 0);
    EXPECT_STREQ(out, "        ");
    date4assign(out, -5);
    EXPECT_STREQ(out, "        ");
    // Every day of four centuries goes there and back.
    for (long j = date4toJulian("19000101"); j < date4toJulian("23000101"); j++) {
        date4assign(out, j);
        ASSERT_EQ(date4toJulian(out), j) << out;
    }
}

TEST(Dates, Pictures) {
    struct Case {
        const char* date;
        const char* picture;
        const char* text;
    } cases[] = {
        {"20261208", "MM/DD/YY", "12/08/26"},
        {"20261208", "DD MMMMMMMMM CCYY", "08 December  2026"},
        {"20261208", "MMM", "Dec"},
        {"20260508", "DD-MMMMM-YY", "08-May  -26"},
        {"        ", "DD MMM CCYY", "           "},
        {"20261208", "ccyy.mm.dd", "2026.12.08"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.picture);
        char out[64];
        date4toPicture(out, c.date, c.picture);
        EXPECT_STREQ(out, c.text);
    }
    struct Back {
        const char* text;
        const char* picture;
        const char* date;
    } backs[] = {
        {"12/08/26", "MM/DD/YY", "19261208"},
        {"08 dec 2026", "DD MMM CCYY", "20261208"},
        {"  /  /  ", "MM/DD/YY", "        "},
        {"2026", "CCYY", "20260101"},
    };
    for (const Back& b : backs) {
        SCOPED_TRACE(b.text);
        char date[9] = {};
        date4fromPicture(date, b.text, b.picture);
        EXPECT_STREQ(date, b.date);
    }
    CODE4 cb;
    ASSERT_EQ(code4init(&cb), 0);
    EXPECT_EQ(code4dateFormatSet(&cb, "DD.MM.CCYY HH:MM:SS"), 0);
    EXPECT_EQ(code4dateFormatSet(&cb, "DD.MM.CCYY HH:MM:SSx"), e4parm);
    EXPECT_STREQ(code4dateFormat(&cb), "DD.MM.CCYY HH:MM:SS");
    EXPECT_EQ(code4init(&cb, 6201), e4version);
    EXPECT_EQ(error4code(&cb), e4version);
    EXPECT_STREQ(code4dateFormat(&cb), "DD.MM.CCYY HH:MM:SS"); // a refused init leaves the context alone
    code4initUndo(&cb);
}

TEST(Numbers, TextsOfIntegersAndFixedPoint) {
    char buf[32];
    struct LongCase {
        long v;
        int w;
        const char* text;
    } longs[] = {{-42, 5, "  -42"}, {-42, -5, "*****"}, {123456, 4, "****"}, {42, -5, "00042"},
                 {0, 3, "  0"},     {-999, 4, "-999"},  {-1000, 4, "****"}};
    for (const LongCase& c : longs) {
        std::memset(buf, 0, sizeof buf);
        c4longToText(c.v, buf, c.w);
        EXPECT_STREQ(buf, c.text) << c.v << " " << c.w;
    }
    struct DoubleCase {
        double v;
        int w, d;
        const char* text;
        int rc;
    } doubles[] = {{3.14159, 6, 2, "  3.14", 0}, {12345.6, 5, 2, "*****", -440}, {-0.5, 6, 2, " -0.50", 0},
                   {0.25, 4, 2, "0.25", 0},      {-12.25, 8, 2, "  -12.25", 0},  {7, 3, 0, "  7", 0},
                   {-123.4, 6, 1, "-123.4", 0},  {-1234.5, 6, 1, "******", -440}};
    for (const DoubleCase& c : doubles) {
        std::memset(buf, 0, sizeof buf);
        EXPECT_EQ(c4doubleToText(c.v, buf, c.w, c.d), c.rc);
        EXPECT_STREQ(buf, c.text) << c.v;
    }
    struct ReadCase {
        const char* text;
        long l;
        double d;
    } reads[] = {{"  12.75", 12, 12.75}, {"-7", -7, -7}, {"   ", 0, 0}, {"1e3", 1, 1000}, {" +5.5x", 5, 5.5}};
    for (const ReadCase& c : reads) {
        EXPECT_EQ(c4textToLong(c.text, int(std::strlen(c.text))), c.l) << c.text;
        EXPECT_DOUBLE_EQ(c4textToDouble(c.text, int(std::strlen(c.text))), c.d) << c.text;
    }
}

TEST(Numbers, KeysSortNegativeNumbersFirst) {
    const double values[] = {3, -10, 0, -2, 12.5, -2.25, 0.75, -0.5};
    std::vector<std::pair<std::string, double>> keys;
    for (double v : values) {
        char key[11] = {};
        ASSERT_EQ(c4doubleToKey(v, key, 10, 2), 0);
        keys.emplace_back(key, v);
        // A numeric field's text turns into the same key.
        char text[11] = {};
        c4doubleToText(v, text, 10, 2);
        c4numTextToKey(text, 10);
        EXPECT_STREQ(text, key) << v;
    }
    std::sort(keys.begin(), keys.end());
    for (size_t i = 1; i < keys.size(); i++)
        EXPECT_LT(keys[i - 1].second, keys[i].second) << keys[i - 1].first << " " << keys[i].first;
    char key[11] = {};
    c4doubleToKey(3, key, 10, 2);
    EXPECT_STREQ(key, "0000003.00");
}

TEST(Numbers, TheProgramLocaleDoesNotChangeTheDecimalPoint) {
    const char* locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "C.UTF-8"};
    const char* set = nullptr;
    for (const char* l : locales)
        if ((set = std::setlocale(LC_ALL, l)))
            break;
    char buf[16] = {};
    c4doubleToText(1234.5, buf, 8, 2);
    EXPECT_STREQ(buf, " 1234.50");
    EXPECT_DOUBLE_EQ(c4textToDouble("1234.5", 6), 1234.5);
    std::setlocale(LC_ALL, "C");
}
