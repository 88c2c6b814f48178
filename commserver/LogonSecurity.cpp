// The logon (challenge and response against the user table), disconnect, the options word, the security
// abort that every refusal for security reasons leads to, and the user's rights over remote paths.
#include "commserver/LinkServer.h"
#include "commserver/RequestText.h"

#include <cctype>

#include <sys/random.h>

namespace comms {

namespace {

namespace EC = HistoryEventCode;

std::uint32_t getU32(std::span<const std::uint8_t> p, std::size_t at) {
    return static_cast<std::uint32_t>(p[at]) | (static_cast<std::uint32_t>(p[at + 1]) << 8) |
           (static_cast<std::uint32_t>(p[at + 2]) << 16) | (static_cast<std::uint32_t>(p[at + 3]) << 24);
}

} // namespace

std::uint32_t PrimaryResponse(const std::string& password, const std::array<std::uint8_t, 30>& challenge) {
    std::uint32_t sum = 0;
    // The challenge has 30 bytes; a longer password (a wide column of a table made elsewhere) stops there.
    for (std::size_t i = 0; i < password.size() && i < challenge.size(); ++i)
        sum += static_cast<std::uint32_t>(std::toupper(static_cast<unsigned char>(password[i]))) * challenge[i];
    return sum;
}

std::uint32_t SecondaryResponse(const std::string& psw2, const std::array<std::uint8_t, 30>& challenge) {
    const std::uint32_t c = Crc16(reinterpret_cast<const std::uint8_t*>(psw2.data()), psw2.size());
    return (((((c << 3) | challenge[3]) << 6) + challenge[5]) << 6) | challenge[9];
}

// ---------------------------------------------------------------------------------------------------------
// Rights and refusals

int LinkServer::CheckUserConnected() {
    if (securityLevel_.load() == 0 || session_.state == SessionState::Connected)
        return 1;
    logEvent("Security Violation: User Not Connected", EC::Security | EC::Failure);
    return 0;
}

ResolvedPath LinkServer::CheckPathAllowed(const std::string& path) const {
    ResolvedPath r = paths_.Resolve(path, rights());
    // The server's hidden working files (an upload not yet whole, its journal) are nobody's to read or change.
    if (r.ok()) {
        const std::size_t slash = r.local.rfind('/');
        if (IsServerWorkFile(slash == std::string::npos ? r.local : r.local.substr(slash + 1)))
            return {PathRefusal::ServerFile, {}};
    }
    return r;
}

PathRights LinkServer::rights() const {
    PathRights r;
    r.check = securityLevel_.load() != 0 && session_.state == SessionState::Connected;
    r.unc = session_.user.uncAllowed;
    r.otherDirs = session_.user.otherDirsAllowed;
    r.noDollar = session_.user.noDollarNames;
    r.netDrives = session_.user.netDrivesAllowed;
    return r;
}

void LinkServer::countRefusal(PathRefusal refusal) {
    switch (refusal) {
    case PathRefusal::Unc:
        addSecurity(SecurityCounter::UncRefusals);
        break;
    case PathRefusal::OtherDir:
    case PathRefusal::Outside:
        addSecurity(SecurityCounter::OtherDirRefusals);
        break;
    case PathRefusal::Dollar:
        addSecurity(SecurityCounter::DollarRefusals);
        break;
    case PathRefusal::NetDrive:
        addSecurity(SecurityCounter::NetDriveRefusals);
        break;
    default:
        break;
    }
}

void LinkServer::refuseBadRequest(const std::string& event, int code, std::optional<LinkCounter> failure) {
    addStat(LinkCounter::ProtocolErrors);
    if (failure)
        addStat(*failure);
    logEvent(event, code);
    oneShotOk_ = nullptr;
    reply(FrameType::Failed);
}

void LinkServer::refusePath(PathRefusal refusal, const std::string& event, int code,
                            std::optional<LinkCounter> failure) {
    countRefusal(refusal);
    if (failure)
        addStat(*failure);
    logEvent(event, code);
    if (securityLevel_.load() != 0) {
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    oneShotOk_ = nullptr;
    reply(FrameType::Failed);
}

// ---------------------------------------------------------------------------------------------------------
// Options

void LinkServer::enterSetOptions() {
    const auto p = link_.ReceivedPayload();
    oneShotLinkFail_ = nullptr;
    if (p.size() < 2) {
        refuseBadRequest("Set Options Failed: Bad Request", EC::Security | EC::Failure, std::nullopt);
        return;
    }
    options_ = static_cast<std::uint16_t>(p[0] | (p[1] << 8));
    oneShotOk_ = nullptr;
    reply(FrameType::Done);
}

// ---------------------------------------------------------------------------------------------------------
// Logon

void LinkServer::enterConnect() {
    const auto p = link_.ReceivedPayload();
    std::string name;
    const bool clean = parseName(p, name);
    session_.nameReceived = name.substr(0, 31);
    if (name.empty()) {
        logEvent("No Username provided by remote unit", EC::Connects | EC::Security | EC::Failure);
        session_.state = SessionState::None;
        reply(FrameType::Failed);
        return;
    }
    session_.active = true;
    session_.user = UserRecord{};
    session_.secondsConnected = 0;
    UserRecord user;
    // A name that cannot be a user's (too long for the table, or with a second name behind a NUL) is looked
    // up nowhere.
    if (!clean || name.size() > static_cast<std::size_t>(kUserKeyLength) || users_.FindUser(name, user) != 1) {
        logEvent(format("No User Tables Entry: %s", name), EC::Connects | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    session_.user = user;
    if (!user.enabled || user.disabled) {
        logEvent(format("Account Disabled: %s (%s)", user.userName, user.fullName),
                 EC::Connects | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        return;
    }
    std::uint8_t random[30] = {};
    std::size_t got = 0;
    while (got < sizeof random) {
        const ssize_t n = ::getrandom(random + got, sizeof random - got, 0);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    for (std::size_t i = 0; i < challenge_.size(); ++i) {
        const std::uint8_t v = random[i] & 0x7F;
        challenge_[i] = v == 0 ? 99 : v;
    }
    session_.expectedResponse = PrimaryResponse(user.password, challenge_);
    session_.secondaryCurrentValid = session_.secondaryPreviousValid = false;
    if (securityLevel_.load() == 2) {
        if (!user.psw2Current.empty()) {
            session_.expectedSecondaryCurrent = SecondaryResponse(user.psw2Current, challenge_);
            session_.secondaryCurrentValid = true;
        }
        if (!user.psw2Previous.empty()) {
            session_.expectedSecondaryPrevious = SecondaryResponse(user.psw2Previous, challenge_);
            session_.secondaryPreviousValid = true;
        }
    }
    session_.state = SessionState::ChallengeSent;
    reply(FrameType::Challenge, challenge_.data(), static_cast<int>(challenge_.size()));
}

void LinkServer::writeUserRecord(const std::function<void(UserRecord&)>& change) {
    UserRecord fresh;
    if (users_.UpdateUserRecord(session_.user, change, &fresh)) {
        // The bookkeeping as it now stands on disk; the session's rights stay as the logon found them.
        session_.user.consecutiveFailures = fresh.consecutiveFailures;
        session_.user.connectCount = fresh.connectCount;
        session_.user.disabled = fresh.disabled;
        session_.user.lastConnect = fresh.lastConnect;
        session_.user.lastDisconnect = fresh.lastDisconnect;
    }
}

void LinkServer::runConnect() {
    switch (session_.state) {
    case SessionState::None: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            SetLinkState(LinkState::Idle);
            PostLinkStatus(LinkStatus::LinkFailed);
        } else if (r < 0) {
            failConnectLink();
        }
        break;
    }
    case SessionState::ChallengeSent: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            session_.state = SessionState::AwaitingResponse;
            link_.ResetReceiver();
        } else if (r < 0) {
            abandonLink();
        }
        break;
    }
    case SessionState::AwaitingResponse: {
        if (!frameArrived(&LinkServer::failConnectLink, &LinkServer::failConnectLink))
            break;
        const auto p = link_.ReceivedPayload();
        if (link_.ReceivedFrameType() != FrameType::Response || p.size() < 4) {
            PostLinkStatus(LinkStatus::LinkFailed);
            addStat(LinkCounter::ProtocolErrors);
            reply(FrameType::ProtocolError);
            session_.state = SessionState::None;
            break;
        }
        const std::uint32_t response = getU32(p, 0);
        const bool primaryOk = response == session_.expectedResponse;
        bool accepted = primaryOk;
        if (securityLevel_.load() == 2) {
            accepted = false;
            if (primaryOk && p.size() >= 8) {
                const std::uint32_t secondary = getU32(p, 4);
                accepted = (session_.secondaryCurrentValid && secondary == session_.expectedSecondaryCurrent) ||
                           (session_.secondaryPreviousValid && secondary == session_.expectedSecondaryPrevious);
            }
        }
        if (accepted) {
            session_.state = SessionState::Accepted;
            reply(FrameType::Done);
            break;
        }
        addSecurity(SecurityCounter::PasswordFailures);
        const UserRecord& u = session_.user;
        logEvent(format(securityLevel_.load() == 2 && primaryOk ? "Secondary Password Failure: %s (%s)"
                                                                : "Password Failure: %s (%s)",
                        u.userName, u.fullName),
                 EC::Connects | EC::Security | EC::Failure);
        SetLinkState(LinkState::SecurityAbort);
        const int threshold = session_.user.autoDisable;
        bool autoDisabled = false;
        // The failure count is taken from the row as it is under the lock, so failures from two servers or
        // an administrator's reset in between are not lost.
        writeUserRecord([&](UserRecord& row) {
            row.consecutiveFailures += 1;
            if (threshold != 0 && row.consecutiveFailures > threshold && !row.disabled) {
                row.disabled = true;
                autoDisabled = true;
            }
        });
        if (autoDisabled)
            logEvent(format("Account Auto-Disabled: %s (%s)", session_.user.userName, session_.user.fullName),
                     EC::Connects | EC::Security | EC::Failure);
        lastSession_ = session_;
        publish();
        break;
    }
    case SessionState::Accepted: {
        const int r = link_.WaitForAck();
        if (r == kLinkOk) {
            session_.state = SessionState::Connected;
            session_.connectTime = now();
            session_.secondsConnected = 0;
            addSecurity(SecurityCounter::Connects);
            PostLinkStatus(LinkStatus::Connected);
            logEvent(format("User Connected: %s (%s)", session_.user.userName, session_.user.fullName),
                     EC::Connects | EC::Success);
            const std::string stamp = FormatEventTime(session_.connectTime);
            writeUserRecord([&](UserRecord& row) {
                row.consecutiveFailures = 0;
                row.connectCount += 1;
                row.lastConnect = stamp;
            });
            // Idle last: whoever waits for the logon to settle (the window thread) then finds the event and
            // the user row written.
            SetLinkState(LinkState::Idle);
            publish();
        } else if (r < 0) {
            failConnectLink();
        }
        break;
    }
    default:
        SetLinkState(LinkState::Idle);
        break;
    }
}

void LinkServer::failConnectLink() {
    abandonLink();
    logEvent(format("Link Failure during Connect: %s", session_.nameReceived),
             EC::Connects | EC::Security | EC::Failure);
}

void LinkServer::leaveConnect() {
    options_ = 0;
}

// ---------------------------------------------------------------------------------------------------------
// Disconnect and the security abort

void LinkServer::enterDisconnect() {
    reply(FrameType::Done);
    logEvent(format("User Disconnect: %s (%s)", session_.user.userName, session_.user.fullName),
             EC::Connects | EC::Success);
}

void LinkServer::runDisconnect() {
    const int r = link_.WaitForAck();
    if (r == kLinkOk) {
        // Only a session that is really logged on has a disconnect to book; a remote that was never accepted
        // must not be able to rewrite the last user's row.
        const bool wasConnected = session_.state == SessionState::Connected;
        SetLinkState(LinkState::Idle);
        if (wasConnected) {
            const std::string stamp = FormatEventTime(now());
            writeUserRecord([&](UserRecord& row) { row.lastDisconnect = stamp; });
            lastSession_ = session_;
            lastSession_.state = SessionState::Ended;
            publish();
        }
    } else if (r < 0) {
        abandonLink();
    }
}

void LinkServer::leaveDisconnect() {
    EndSession();
}

void LinkServer::enterSecurityAbort() {
    addSecurity(SecurityCounter::SecurityAborts);
    reply(FrameType::Failed);
}

void LinkServer::runSecurityAbort() {
    const int r = link_.WaitForAck();
    if (r == kLinkOk) {
        SetLinkState(LinkState::Idle);
    } else if (r < 0) {
        abandonLink();
        logEvent("Link Failed during Security Abort", EC::Security | EC::Failure);
    }
}

void LinkServer::leaveSecurityAbort() {
    logEvent("Security Abort", EC::Security | EC::Failure);
    EndSession();
}

} // namespace comms
