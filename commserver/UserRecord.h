#pragma once
#include <array>
#include <cstdint>
#include <string>

// A row of the user table in memory, and a logon session. Both travel to other programs in a fixed
// little-endian layout (the status reply), so each text keeps to the size of its field there.
namespace comms {

// Sizes of the text fields of the fixed layout, terminating NUL included.
namespace UserField {
constexpr std::size_t UserName = 31;
constexpr std::size_t FullName = 51;
constexpr std::size_t Description = 101;
constexpr std::size_t Password = 31;
constexpr std::size_t Psw2 = 9;
constexpr std::size_t Custom = 104;
constexpr std::size_t Time = 20;
} // namespace UserField

constexpr std::size_t kUserRecordSize = 512;
constexpr std::size_t kUserSessionSize = 580;

struct UserRecord {
    std::string userName;
    std::string fullName;
    std::string description;
    std::string password;
    std::string psw2Current;
    std::string psw2Previous;
    std::string custom;
    bool uncAllowed = false;         // AUNC
    bool programRunsAllowed = false; // APRGRUNS
    bool otherDirsAllowed = false;   // AOTHERDIR
    bool enabled = false;            // ENABLED
    bool noDollarNames = false;      // NODOLFILE
    bool netDrivesAllowed = false;   // NETDRIVE
    int maxConnectMinutes = 0;       // MAXTIME, 0 = no limit
    int autoDisable = 0;             // AUTODISABL, 0 = never
    bool disabled = false;           // ADISABLED
    int consecutiveFailures = 0;     // NSEQFAIL
    std::string lastConnect;         // LCNCTTIME
    std::string lastDisconnect;      // LDISCTIME
    int connectCount = 0;            // NCONNECTS
    int recordNumber = -1;

    // Every text cut to its field (a wider column in a table made elsewhere must not spill into the next).
    void FitFields();
    std::array<std::uint8_t, kUserRecordSize> Serialize() const;
};

// Trailing blanks removed, then cut to size - 1 bytes.
std::string FitField(const std::string& text, std::size_t size);
// A flag column: true when its first character, upper-cased, is "Y".
bool FlagValue(const std::string& column);

enum class SessionState : int {
    None = 0,
    Ended = 1,
    ChallengeSent = 2,
    AwaitingResponse = 3,
    Accepted = 4,
    Connected = 5
};

struct UserSession {
    bool active = false;
    UserRecord user;
    std::string nameReceived; // at most 31 bytes
    std::int64_t connectTime = 0;
    std::uint32_t secondsConnected = 0;
    SessionState state = SessionState::None;
    std::uint32_t expectedResponse = 0;
    std::uint32_t expectedSecondaryCurrent = 0;
    bool secondaryCurrentValid = false;
    std::uint32_t expectedSecondaryPrevious = 0;
    bool secondaryPreviousValid = false;

    std::array<std::uint8_t, kUserSessionSize> Serialize() const;
};

} // namespace comms
