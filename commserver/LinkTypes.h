#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include <sys/types.h>

#include "commserver/UserRecord.h"

// The words the server's link speaks and shows: its states, the status the window shows, the frame types and
// transfer modes of the protocol, the options a remote unit may set, and what the window thread may read of a
// transfer and of the sessions.
namespace comms {

enum class LinkState : int {
    Idle = 0,
    FileReceive = 1,
    FileSend = 2,
    ClockSet = 3,
    ProgramRun = 4,
    FileDelete = 5,
    FileMove = 6,
    SetOptions = 7,
    Connect = 8,
    Disconnect = 9,
    SecurityAbort = 10,
    FileInfo = 11,
};
constexpr int kLinkStateCount = 12;

// What the tray icon and the activity display show.
namespace LinkStatus {
constexpr int NoPort = 0;
constexpr int OpenFailed = 1;
constexpr int ClosingDown = 2;
constexpr int Ready = 3;
constexpr int LinkFailed = 4;
constexpr int Receiving = 5;
constexpr int Sending = 6;
constexpr int ModemInitialise = 7;
constexpr int ModemDeInitialise = 8;
constexpr int Connected = 9;
} // namespace LinkStatus

namespace FrameType {
constexpr int FileReceive = 1001; // request: upload; reply: file header of a download
constexpr int FileSend = 1002;
constexpr int Data = 1003;
constexpr int EndOfData = 1004;
constexpr int Failed = 1005;
constexpr int Ready = 1006;
constexpr int Done = 1007;
constexpr int ProtocolError = 1008;
constexpr int ClockRequest = 1009;
constexpr int ClockReply = 1010;
constexpr int ProgramRun = 1011;
constexpr int ProgramStarted = 1012;
constexpr int FileDelete = 1013;
constexpr int FileDeleted = 1014;
constexpr int FileMove = 1015;
constexpr int FileMoved = 1016;
constexpr int SetOptions = 1017;
constexpr int Connect = 1020;
constexpr int Challenge = 1021;
constexpr int Response = 1022;
constexpr int Disconnect = 1023;
constexpr int FileInfo = 1024;
constexpr int FileInfoReply = 1025;
} // namespace FrameType

namespace TransferMode {
constexpr int Direct = 2001;
constexpr int Appended = 2002;
constexpr int Listing = 2003;
} // namespace TransferMode

// Options word bits (request 1017).
namespace LinkOption {
constexpr int LockAndRemoveSent = 1;
constexpr int RemoveSent = 2;
constexpr int SpawnDirectly = 4;
} // namespace LinkOption

enum class SecurityCounter : int {
    Connects,
    PasswordFailures,
    SecondsConnected,
    SecurityAborts,
    UncRefusals,
    OtherDirRefusals,
    DollarRefusals,
    ProgramRunRefusals,
    NetDriveRefusals,
};
constexpr int kSecurityCounterCount = 9;

struct ModemSettings {
    int type = 0; // 0 = "Direct": no modem
    std::string name;
    long baud = 19200;
    int responseDelayMs = 2000;
    int interCommandDelayMs = 500;
    int hangUpTimeOutS = 5;
    int inactivityHangUpS = 180;
    std::array<std::string, 20> init;
    std::array<std::string, 10> deInit;
};

// The steps of an upload (the transfer's sub-state while the link state is FileReceive).
enum class ReceiveStep : int {
    SendReady = 0,       // the next block is asked for with 1006
    AwaitReadyAck = 1,   // 1006 goes out
    AwaitBlock = 2,      // a data block (1003) or the end (1004) is awaited
    AwaitRefusalAck = 3, // the server's 1005 or 1008 goes out
    AwaitDoneAck = 4,    // the server's 1007 goes out
};

// The steps of a download (the transfer's sub-state while the link state is FileSend).
enum class SendStep : int {
    AwaitHeaderOrBlockAck = 1, // the file header (1001) or a data block (1003) goes out
    AwaitRefusalAck = 3,       // the server's 1005 or 1008 goes out
    AwaitFinish = 4,           // the remote unit's verdict on the whole file is awaited
    AwaitReady = 5,            // the remote unit's 1006 for the next block is awaited
    AwaitEndAck = 6,           // the end of the data (1004) goes out
};

struct TransferInfo {
    std::string fileName;
    int mode = TransferMode::Appended;
    std::uint32_t size = 0;
    std::uint32_t bytesReceived = 0;
    std::uint32_t bytesSent = 0;
    int nextBlock = 0;
    int subState = 0; // a ReceiveStep or a SendStep, as the window and the status reply show it
    bool completed = false;
    std::string label = "File";
};

// Everything the window thread may show at once, copied under one lock.
struct ServerSnapshot {
    LinkState state = LinkState::Idle;
    UserSession current;
    UserSession last;
    TransferInfo transfer;
};

// The file writes and syncs of transfers, so that tests can make the disk run full or fail.
using FileWriter = std::function<ssize_t(int fd, const void* data, std::size_t size)>;
using FileSyncer = std::function<int(int fd)>;

} // namespace comms
