#pragma once
// The logger record, the program's one shared logger table and the field checks applied to loggers.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr int kMaxLoggers = 7000; // loggers of one area file: table slots 1..7000
constexpr int kMaxReadings = 50;  // reading slots 1..50 (slot 0 holds none)
constexpr int kUserCommentsLimit = 255;

// One logger of an area file. Text fields hold Windows-1252 bytes as they stand in the files.
struct LoggerRecord {
    int32_t Serial = 0;
    std::string GridRef;
    std::string Comment1;
    std::string Comment2;
    std::string Deployed;
    std::string Received;
    std::array<std::string, kMaxReadings + 1> ReadingDate;
    std::array<std::string, kMaxReadings + 1> ReadingStatus;
    std::array<int16_t, kMaxReadings + 1> Level{};
    std::array<int16_t, kMaxReadings + 1> Spread{};
    std::string UserComments;

    bool operator==(const LoggerRecord&) const = default;
};

// Slots 0..7000. Slot 0 and the slots above LoggerCount are exchange areas, never written to files.
extern std::vector<LoggerRecord> LoggerTable;
extern int16_t LoggerCount;
extern int16_t LinesRead;
extern std::string FileBanner;          // language text txt::VordalinLoggerDatabase
extern std::string FormatVersionPrefix; // "V5."
extern bool FieldUnitFormat;

void InitDatabaseStore();

bool IsValidSerial(int32_t serial);
bool IsValidReadingValue(const std::string& text);
bool IsValidDate(const std::string& text);
bool IsValidTime(const std::string& text);
bool IsValidStatus(const std::string& text);
bool ValidateLoggerRecord(const LoggerRecord& record);
bool SerialExists(int32_t serial);
// Language text of a status letter (W, L, N), or "" for anything else.
std::string StatusLetterText(const std::string& status);
// The status letter a text stands for ('W', 'L' or 'N' after trimming blanks and ignoring case), or 0.
char StatusLetter(std::string_view status);
// The language text number of a status letter (txt::Warning, txt::Leak, txt::NoLeak), or 0 for anything else.
int32_t StatusLetterTextNumber(char letter);
// "L" when level minus spread (16-bit wrap) is above 15, else "N".
std::string LeakStatus(int16_t level, int16_t spread);

// Empties one record (all texts "", all numbers 0).
void ClearLoggerRecord(LoggerRecord& record);
