#include "remoteunit/RemoteSession.h"

#include <cctype>

namespace {
void put16(std::vector<std::uint8_t>& v, std::uint32_t x) {
    v.push_back(static_cast<std::uint8_t>(x));
    v.push_back(static_cast<std::uint8_t>(x >> 8));
}
void put32(std::vector<std::uint8_t>& v, std::uint32_t x) {
    for (int i = 0; i < 4; ++i)
        v.push_back(static_cast<std::uint8_t>(x >> (8 * i)));
}
} // namespace

std::vector<std::uint8_t> RemoteSession::Name(const std::string& name) {
    std::vector<std::uint8_t> v(name.begin(), name.end());
    v.push_back(0);
    return v;
}

std::vector<std::uint8_t> RemoteSession::TransferHeader(int mode, std::uint32_t size, const std::string& name) {
    std::vector<std::uint8_t> v;
    put16(v, static_cast<std::uint32_t>(mode));
    put32(v, size);
    auto n = Name(name);
    v.insert(v.end(), n.begin(), n.end());
    return v;
}

std::optional<RemoteUnit::Frame> RemoteSession::Request(int type, const std::vector<std::uint8_t>& payload) {
    if (!unit_.SendFrame(type, payload) || !unit_.ExpectAck(timeoutMs_))
        return std::nullopt;
    auto f = unit_.ReceiveFrame(timeoutMs_);
    if (f)
        last = *f;
    return f;
}

int RemoteSession::RequestType(int type, const std::vector<std::uint8_t>& payload) {
    auto f = Request(type, payload);
    return f ? f->type : -1;
}

std::uint32_t RemoteSession::Response(const std::string& password, const std::vector<std::uint8_t>& challenge) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < password.size() && i < challenge.size(); ++i)
        sum += static_cast<std::uint32_t>(std::toupper(static_cast<unsigned char>(password[i]))) * challenge[i];
    return sum;
}

std::uint32_t RemoteSession::Secondary(const std::string& psw2, const std::vector<std::uint8_t>& challenge) {
    const std::uint32_t c = RemoteUnit::Crc({reinterpret_cast<const std::uint8_t*>(psw2.data()), psw2.size()});
    std::uint32_t v = (c << 3) | challenge[3];
    v = (v << 6) + challenge[5];
    return (v << 6) | challenge[9];
}

int RemoteSession::Logon(const std::string& user, const std::string& password, std::uint32_t wrongBy,
                         const std::optional<std::string>& psw2) {
    auto challenge = Request(1020, Name(user));
    if (!challenge)
        return -1;
    if (challenge->type != 1021)
        return challenge->type;
    std::vector<std::uint8_t> response;
    put32(response, Response(password, challenge->payload) + wrongBy);
    if (psw2)
        put32(response, Secondary(*psw2, challenge->payload));
    return RequestType(1022, response);
}

int RemoteSession::Upload(const std::string& name, const std::vector<std::uint8_t>& data, int mode,
                          std::size_t blockSize, int stopAfterBlocks) {
    auto ready = Request(1001, TransferHeader(mode, static_cast<std::uint32_t>(data.size()), name));
    if (!ready)
        return -1;
    if (ready->type != 1006)
        return ready->type;
    std::size_t pos = 0;
    int block = 0;
    while (pos < data.size()) {
        if (stopAfterBlocks >= 0 && block >= stopAfterBlocks)
            return 0;
        const std::size_t n = std::min(blockSize, data.size() - pos);
        std::vector<std::uint8_t> p;
        p.reserve(2 + n);
        put16(p, static_cast<std::uint32_t>(block));
        p.insert(p.end(), data.begin() + static_cast<long>(pos), data.begin() + static_cast<long>(pos + n));
        auto r = Request(1003, p);
        if (!r)
            return -1;
        if (r->type != 1006)
            return r->type;
        pos += n;
        ++block;
    }
    return RequestType(1004, {});
}

int RemoteSession::Download(const std::string& name, std::vector<std::uint8_t>& out, int mode, int stopAfterBlocks) {
    out.clear();
    auto header = Request(1002, TransferHeader(mode, 0, name));
    if (!header)
        return -1;
    if (header->type != 1001)
        return header->type;
    int blocks = 0;
    for (;;) {
        if (stopAfterBlocks >= 0 && blocks >= stopAfterBlocks)
            return 0;
        auto f = Request(1006, {});
        if (!f)
            return -1;
        if (f->type == 1003) {
            if (f->payload.size() < 2 || (f->payload[0] | (f->payload[1] << 8)) != (blocks & 0xFFFF))
                return 1008;
            out.insert(out.end(), f->payload.begin() + 2, f->payload.end());
            ++blocks;
            continue;
        }
        if (f->type != 1004)
            return f->type;
        break;
    }
    if (!unit_.SendFrame(1007) || !unit_.ExpectAck(timeoutMs_))
        return -1;
    return 1007;
}
