#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "commserver/app/ServerEngine.h"

// The server's window interface for other programs: the WM_COPYDATA commands it obeys, the status record it
// sends back for command 1, and the greeting it sends to manager windows when it starts.
namespace quendar {

constexpr const char* kServerWindowClass = "Afx:400000:0";
constexpr const char* kServerWindowTitle = "Quarn Communications";
constexpr const char* kManagerWindowTitle = "QUARN Communications Manager";

namespace CopyDataCommand {
constexpr std::uint32_t Status = 1;
constexpr std::uint32_t ToggleDiagnostics = 3;
constexpr std::uint32_t ToggleProgress = 4;
constexpr std::uint32_t ToggleAbout = 5;
constexpr std::uint32_t ToggleLinkInfo = 6;
constexpr std::uint32_t ToggleHistory = 7;
constexpr std::uint32_t Exit = 8;
constexpr std::uint32_t ManagerHello = 9;
constexpr std::uint32_t Reopen = 10;
} // namespace CopyDataCommand

// The command word of a WM_COPYDATA, or nothing when the data is too short to hold one.
std::optional<std::uint32_t> CopyDataCommandOf(std::span<const std::uint8_t> data);
std::array<std::uint8_t, 8> ManagerHelloBytes();

constexpr int kStatusReplySize = 3364;
using StatusReply = std::array<std::uint8_t, kStatusReplySize>;

struct StatusInputs {
    int portNumber = -1;
    int modemType = 0;
    std::string modemDescription;
    int uiStatus = 0;
    std::string programPath;
    std::string currentFolder;
    std::string iniPath;
    TransferView transfer;
    std::array<std::uint32_t, 5> timers{}; // Ack, Get, Send, Receive, OpticalDelay
    std::uint32_t statisticsChangeCount = 0;
    std::array<std::uint32_t, 20> counters{};
    std::uint32_t modemSample = 0;
    std::uint32_t historySecond = 0;
    std::array<std::uint32_t, 5> rxHistory{};
    std::array<std::uint32_t, 5> txHistory{};
    UserSessionBytes currentSession{};
    UserSessionBytes lastSession{};
    std::uint32_t securityState = 0;
    std::array<std::uint32_t, 9> securityCounters{};
    std::string computerName;
};

// Little-endian; every text is cut to its field and ends in a NUL.
StatusReply BuildStatusReply(const StatusInputs& in);

// Field offsets, for readers of the record.
namespace StatusOffset {
constexpr int PortNumber = 8;
constexpr int ModemType = 12;
constexpr int ModemDescription = 16;
constexpr int UiStatus = 148;
constexpr int ProgramPath = 152;
constexpr int CurrentFolder = 413;
constexpr int IniPath = 674;
constexpr int Transfer = 936;
constexpr int Timers = 1992;
constexpr int Statistics = 2012;
constexpr int CurrentSession = 2148;
constexpr int LastSession = 2728;
constexpr int Security = 3308;
constexpr int ComputerName = 3348;
} // namespace StatusOffset

} // namespace quendar
