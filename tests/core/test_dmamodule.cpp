// The logger table's globals, field checks, serial lookup and status letters.
#include "core/DMAModule.h"

#include "ScriptedUi.h"
#include "TestEnv.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

const std::map<int, std::string> kModuleTexts = {
    {153, "Area Loggers"}, {184, "Warn word"}, {185, "Leak word"}, {186, "Quiet word"}};

class DMAModuleTest : public ::testing::Test {
protected:
    TestEnv env{kModuleTexts};
    ScriptedUi ui;

    void SetUp() override {
        LoggerCount = 0;
        for (auto& rec : LoggerTable)
            ClearLoggerRecord(rec);
    }
    void TearDown() override { LoggerCount = 0; }
};

LoggerRecord validRecord() {
    LoggerRecord r;
    r.Serial = 1234567;
    r.GridRef = "AB 1234 5678";
    r.Received = "2023/01/05";
    r.Deployed = "any text, even this";
    r.ReadingDate[1] = "2023/01/04";
    r.ReadingStatus[1] = "whatever";
    r.Level[1] = 99;
    r.Spread[1] = 0;
    return r;
}

} // namespace

TEST(DMAModuleChecks, IsValidSerial) {
    const struct {
        int32_t serial;
        bool valid;
    } cases[] = {{1000000, true},   {12999999, true}, {5123456, true}, {999999, false},  {13000000, false},
                 {16777215, false}, {0, false},       {-1, false},     {16777216, false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsValidSerial(c.serial), c.valid) << c.serial;
}

TEST(DMAModuleChecks, IsValidReadingValue) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {{"", true},     {"0", true},   {"99", true},   {"7 ", true}, {" 4 2", true},
                 {"100", false}, {"-1", false}, {"1.5", false}, {"A", false}, {"9\t", false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsValidReadingValue(c.text), c.valid) << '"' << c.text << '"';
}

TEST(DMAModuleChecks, IsValidDate) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {{"", true},
                 {"2023/02/31", true},
                 {"1970/01/01", true},
                 {"9999/12/31", true},
                 {"1969/12/31", false},
                 {"2023/1/05", false},
                 {"2023/13/01", false},
                 {"2023/00/10", false},
                 {"2023/01/00", false},
                 {"2023/01/32", false},
                 {"2023/01/05 ", false},
                 {"2023-01-05", false},
                 {"2023/01/5", false},
                 {"/", false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsValidDate(c.text), c.valid) << '"' << c.text << '"';
}

TEST(DMAModuleChecks, IsValidTime) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {{"", true},          {"24:59:59", true},  {"00:00:00", true},  {"7:00:00", false},
                 {"12:60:00", false}, {"25:00:00", false}, {"12:00:60", false}, {"12:00:00 ", false},
                 {"12-00-00", false}, {":", false}};
    for (const auto& c : cases)
        EXPECT_EQ(IsValidTime(c.text), c.valid) << '"' << c.text << '"';
}

TEST(DMAModuleChecks, IsValidStatusAcceptsAnything) {
    for (const char* s : {"", "L", "anything at all"})
        EXPECT_TRUE(IsValidStatus(s));
}

TEST(DMAModuleChecks, ValidateLoggerRecord) {
    ASSERT_TRUE(ValidateLoggerRecord(validRecord()));
    const struct {
        const char* what;
        std::function<void(LoggerRecord&)> change;
        bool valid;
    } cases[] = {
        {"comments are free", [](LoggerRecord& r) { r.Comment1 = r.Comment2 = r.UserComments = "x,\"y\""; }, true},
        {"received may be a time", [](LoggerRecord& r) { r.Received = "13:45:00"; }, true},
        {"received may be empty", [](LoggerRecord& r) { r.Received.clear(); }, true},
        {"invalid serial", [](LoggerRecord& r) { r.Serial = 999999; }, false},
        {"empty grid reference", [](LoggerRecord& r) { r.GridRef.clear(); }, false},
        {"grid reference too long", [](LoggerRecord& r) { r.GridRef += "9"; }, false},
        {"received with dashes", [](LoggerRecord& r) { r.Received = "2023-01-05"; }, false},
        {"negative level", [](LoggerRecord& r) { r.Level[50] = -1; }, false},
        {"spread above 99", [](LoggerRecord& r) { r.Spread[7] = 100; }, false},
        {"bad reading date", [](LoggerRecord& r) { r.ReadingDate[2] = "2023/13/01"; }, false},
    };
    for (const auto& c : cases) {
        LoggerRecord r = validRecord();
        c.change(r);
        EXPECT_EQ(ValidateLoggerRecord(r), c.valid) << c.what;
    }
}

TEST(DMAModuleChecks, LeakStatus) {
    const struct {
        int16_t level, spread;
        const char* status;
    } cases[] = {{31, 15, "L"},
                 {30, 15, "N"},
                 {15, 20, "N"},
                 {40, 20, "L"},
                 {35, 20, "N"},
                 {0, 0, "N"},
                 // The difference wraps in 16 bits rather than overflowing.
                 {-32768, 1, "L"},
                 {32767, -1, "N"}};
    for (const auto& c : cases)
        EXPECT_EQ(LeakStatus(c.level, c.spread), c.status) << c.level << " " << c.spread;
}

TEST_F(DMAModuleTest, StatusLetterText) {
    const struct {
        const char* status;
        const char* text;
    } cases[] = {{"L", "Leak word"}, {"  leak  ", "Leak word"},
                 {"w", "Warn word"}, {"No", "Quiet word"},
                 {"x", ""},          {"", ""},
                 {"   ", ""},        {"\tL", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(StatusLetterText(c.status), c.text) << '"' << c.status << '"';
}

TEST_F(DMAModuleTest, InitDatabaseStoreSetsTheGlobals) {
    FieldUnitFormat = true;
    InitDatabaseStore();
    EXPECT_EQ(FileBanner, "Area Loggers");
    EXPECT_EQ(FormatVersionPrefix, "V5.");
    EXPECT_FALSE(FieldUnitFormat);
    EXPECT_EQ(LoggerTable.size(), 7001u);
    EXPECT_EQ(LoggerCount, 0);
}

TEST_F(DMAModuleTest, SerialExistsLooksOnlyAtTheLoadedLoggers) {
    LoggerTable[0].Serial = 1111111;
    LoggerTable[1].Serial = 2222222;
    LoggerTable[2].Serial = 3333333;
    LoggerTable[3].Serial = 4444444;
    EXPECT_FALSE(SerialExists(2222222)); // empty table
    LoggerCount = 2;
    EXPECT_TRUE(SerialExists(2222222));
    EXPECT_TRUE(SerialExists(3333333));
    EXPECT_FALSE(SerialExists(1111111)); // slot 0 is scratch
    EXPECT_FALSE(SerialExists(4444444)); // above the count
}

TEST(DMAModuleRecord, ClearLoggerRecordEmptiesEverything) {
    LoggerRecord r = validRecord();
    r.Comment1 = std::string(3, 'a');
    r.ReadingStatus[0] = std::string(2, 's');
    r.Level[0] = 5;
    r.UserComments = std::string(300, 'u');
    ClearLoggerRecord(r);
    EXPECT_EQ(r, LoggerRecord{});
}
