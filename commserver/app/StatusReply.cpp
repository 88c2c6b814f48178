#include "commserver/app/StatusReply.h"

#include <algorithm>
#include <cstring>

namespace quendar {
namespace {

void putU32(StatusReply& r, int offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        r[static_cast<std::size_t>(offset + i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// At most size - 1 bytes, so the field always ends in a NUL.
void putText(StatusReply& r, int offset, int size, const std::string& text) {
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(r.data() + offset, text.data(), n);
}

} // namespace

std::optional<std::uint32_t> CopyDataCommandOf(std::span<const std::uint8_t> data) {
    if (data.size() < 4)
        return std::nullopt;
    return static_cast<std::uint32_t>(data[0]) | static_cast<std::uint32_t>(data[1]) << 8 |
           static_cast<std::uint32_t>(data[2]) << 16 | static_cast<std::uint32_t>(data[3]) << 24;
}

std::array<std::uint8_t, 8> ManagerHelloBytes() {
    return {9, 0, 0, 0, 0, 0, 0, 0};
}

StatusReply BuildStatusReply(const StatusInputs& in) {
    StatusReply r{};
    putU32(r, 0, 2);
    putU32(r, 4, kStatusReplySize - 8);
    putU32(r, StatusOffset::PortNumber, static_cast<std::uint32_t>(in.portNumber));
    putU32(r, StatusOffset::ModemType, static_cast<std::uint32_t>(in.modemType));
    putText(r, StatusOffset::ModemDescription, 129, in.modemDescription);
    putU32(r, StatusOffset::UiStatus, static_cast<std::uint32_t>(in.uiStatus));
    putText(r, StatusOffset::ProgramPath, 261, in.programPath);
    putText(r, StatusOffset::CurrentFolder, 261, in.currentFolder);
    putText(r, StatusOffset::IniPath, 262, in.iniPath);

    // Transfer: the name, then mode, size, bytes received, bytes sent, next block, sub-state, completed and
    // one reserved word.
    putText(r, StatusOffset::Transfer, 1024, in.transfer.fileName);
    const std::uint32_t transfer[] = {
        in.transfer.mode,      in.transfer.size,     in.transfer.bytesReceived,      in.transfer.bytesSent,
        in.transfer.nextBlock, in.transfer.subState, in.transfer.completed ? 1u : 0u};
    int at = StatusOffset::Transfer + 1024;
    for (std::uint32_t v : transfer) {
        putU32(r, at, v);
        at += 4;
    }

    at = StatusOffset::Timers;
    for (std::uint32_t v : in.timers) {
        putU32(r, at, v);
        at += 4;
    }

    // Statistics: change count, the twenty counters, the modem sample, the second of the last roll, the RX
    // and the TX histories, and one reserved word.
    at = StatusOffset::Statistics;
    putU32(r, at, in.statisticsChangeCount);
    at += 4;
    for (std::uint32_t v : in.counters) {
        putU32(r, at, v);
        at += 4;
    }
    putU32(r, at, in.modemSample);
    putU32(r, at + 4, in.historySecond);
    at += 8;
    for (std::uint32_t v : in.rxHistory) {
        putU32(r, at, v);
        at += 4;
    }
    for (std::uint32_t v : in.txHistory) {
        putU32(r, at, v);
        at += 4;
    }

    std::memcpy(r.data() + StatusOffset::CurrentSession, in.currentSession.data(), in.currentSession.size());
    std::memcpy(r.data() + StatusOffset::LastSession, in.lastSession.data(), in.lastSession.size());

    at = StatusOffset::Security;
    putU32(r, at, in.securityState);
    at += 4;
    for (std::uint32_t v : in.securityCounters) {
        putU32(r, at, v);
        at += 4;
    }
    putText(r, StatusOffset::ComputerName, 16, in.computerName);
    return r;
}

} // namespace quendar
