#include "commserver/UserRecord.h"

#include <cctype>
#include <cstring>

namespace comms {

namespace {

void putU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

void putText(std::uint8_t* p, std::size_t size, const std::string& text) {
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(p, text.data(), n);
}

} // namespace

std::string FitField(const std::string& text, std::size_t size) {
    std::size_t end = text.size();
    while (end > 0 && (text[end - 1] == ' ' || text[end - 1] == '\0'))
        --end;
    return text.substr(0, std::min(end, size - 1));
}

bool FlagValue(const std::string& column) {
    return !column.empty() && std::toupper(static_cast<unsigned char>(column[0])) == 'Y';
}

void UserRecord::FitFields() {
    userName = FitField(userName, UserField::UserName);
    fullName = FitField(fullName, UserField::FullName);
    description = FitField(description, UserField::Description);
    password = FitField(password, UserField::Password);
    psw2Current = FitField(psw2Current, UserField::Psw2);
    psw2Previous = FitField(psw2Previous, UserField::Psw2);
    custom = FitField(custom, UserField::Custom);
    lastConnect = FitField(lastConnect, UserField::Time);
    lastDisconnect = FitField(lastDisconnect, UserField::Time);
}

std::array<std::uint8_t, kUserRecordSize> UserRecord::Serialize() const {
    std::array<std::uint8_t, kUserRecordSize> r{};
    putText(&r[0], UserField::UserName, userName);
    putText(&r[31], UserField::FullName, fullName);
    putText(&r[82], UserField::Description, description);
    putText(&r[183], UserField::Password, password);
    putText(&r[214], UserField::Psw2, psw2Current);
    putText(&r[223], UserField::Psw2, psw2Previous);
    putText(&r[232], UserField::Custom, custom);
    putU32(&r[336], uncAllowed);
    putU32(&r[340], programRunsAllowed);
    putU32(&r[344], otherDirsAllowed);
    putU32(&r[348], enabled);
    putU32(&r[352], noDollarNames);
    putU32(&r[356], netDrivesAllowed);
    putU32(&r[360], static_cast<std::uint32_t>(maxConnectMinutes));
    putU32(&r[372], static_cast<std::uint32_t>(autoDisable));
    putU32(&r[376], disabled);
    putU32(&r[380], static_cast<std::uint32_t>(consecutiveFailures));
    putText(&r[384], UserField::Time, lastConnect);
    putText(&r[404], UserField::Time, lastDisconnect);
    putU32(&r[424], static_cast<std::uint32_t>(connectCount));
    putU32(&r[508], static_cast<std::uint32_t>(recordNumber));
    return r;
}

std::array<std::uint8_t, kUserSessionSize> UserSession::Serialize() const {
    std::array<std::uint8_t, kUserSessionSize> r{};
    putU32(&r[0], active);
    const auto u = user.Serialize();
    std::memcpy(&r[4], u.data(), u.size());
    putText(&r[516], 32, nameReceived);
    putU32(&r[548], static_cast<std::uint32_t>(connectTime));
    putU32(&r[552], secondsConnected);
    putU32(&r[556], static_cast<std::uint32_t>(state));
    putU32(&r[560], expectedResponse);
    putU32(&r[564], expectedSecondaryCurrent);
    putU32(&r[568], secondaryCurrentValid);
    putU32(&r[572], expectedSecondaryPrevious);
    putU32(&r[576], secondaryPreviousValid);
    return r;
}

} // namespace comms
