#include "remoteunit/RemoteUnit.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>

#include <poll.h>
#include <unistd.h>

std::uint16_t RemoteUnit::Crc(std::span<const std::uint8_t> data) {
    std::uint16_t crc = 0;
    for (std::uint8_t byte : data) {
        crc ^= static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : (crc << 1));
    }
    return crc;
}

std::vector<std::uint8_t> RemoteUnit::Encode(int type, std::span<const std::uint8_t> payload) {
    const std::size_t total = payload.size() + 7;
    std::vector<std::uint8_t> f;
    f.reserve(total);
    f.push_back(0x02);
    f.push_back(static_cast<std::uint8_t>(total & 0xFF));
    f.push_back(static_cast<std::uint8_t>((total >> 8) & 0xFF));
    f.push_back(static_cast<std::uint8_t>(type & 0xFF));
    f.push_back(static_cast<std::uint8_t>((type >> 8) & 0xFF));
    f.insert(f.end(), payload.begin(), payload.end());
    const std::uint16_t crc = Crc(f);
    f.push_back(static_cast<std::uint8_t>(crc & 0xFF));
    f.push_back(static_cast<std::uint8_t>(crc >> 8));
    return f;
}

bool RemoteUnit::writeAll(const std::uint8_t* data, std::size_t size) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        pollfd p{fd_, POLLOUT, 0};
        ::poll(&p, 1, 10);
    }
    return true;
}

bool RemoteUnit::SendBytes(std::span<const std::uint8_t> bytes) {
    return writeAll(bytes.data(), bytes.size());
}

bool RemoteUnit::SendFrame(int type, std::span<const std::uint8_t> payload, Fault fault) {
    std::vector<std::uint8_t> f = Encode(type, payload);
    switch (fault) {
    case Fault::None:
        return SendBytes(f);
    case Fault::Corrupt:
        f[f.size() > 7 ? 5 + payload.size() / 2 : 3] ^= 0x5A;
        return SendBytes(f);
    case Fault::Truncate:
        return SendBytes(std::span(f).first(f.size() / 2));
    case Fault::Oversize:
        f[1] = 1030 & 0xFF;
        f[2] = 1030 >> 8;
        return SendBytes(f);
    case Fault::Drop:
        return true;
    case Fault::Delay:
        for (std::size_t i = 0; i < f.size(); i += static_cast<std::size_t>(DelayChunk)) {
            const std::size_t n = std::min(f.size() - i, static_cast<std::size_t>(DelayChunk));
            if (!writeAll(f.data() + i, n))
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(DelayPauseMs));
        }
        return true;
    case Fault::Repeat:
        return SendBytes(f) && SendBytes(f);
    }
    return false;
}

int RemoteUnit::ReadByte(int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (bufferPos_ < bufferLen_)
            return buffer_[bufferPos_++];
        const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
        if (n > 0) {
            bufferPos_ = 0;
            bufferLen_ = static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
            return -1;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return -1;
        pollfd p{fd_, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(std::min<long long>(left, 50)));
    }
}

std::vector<std::uint8_t> RemoteUnit::Drain(int timeoutMs) {
    std::vector<std::uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return out;
        const int b = ReadByte(static_cast<int>(left));
        if (b < 0)
            return out;
        out.push_back(static_cast<std::uint8_t>(b));
    }
}

std::optional<RemoteUnit::Frame> RemoteUnit::ReceiveFrame(int timeoutMs, bool acknowledge) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    auto next = [&]() -> int {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        return left <= 0 ? -1 : ReadByte(static_cast<int>(left));
    };
    int b;
    do {
        b = next();
        if (b < 0)
            return std::nullopt;
    } while (b != 0x02);
    Frame f;
    f.bytes.push_back(0x02);
    for (int i = 0; i < 2; ++i) {
        if ((b = next()) < 0)
            return std::nullopt;
        f.bytes.push_back(static_cast<std::uint8_t>(b));
    }
    const int total = f.bytes[1] | (f.bytes[2] << 8);
    if (total < 7 || total > 1029)
        return std::nullopt;
    while (static_cast<int>(f.bytes.size()) < total) {
        if ((b = next()) < 0)
            return std::nullopt;
        f.bytes.push_back(static_cast<std::uint8_t>(b));
    }
    const std::uint16_t crc = Crc(std::span(f.bytes).first(static_cast<std::size_t>(total - 2)));
    if ((f.bytes[static_cast<std::size_t>(total - 2)] | (f.bytes[static_cast<std::size_t>(total - 1)] << 8)) != crc)
        return std::nullopt;
    f.type = f.bytes[3] | (f.bytes[4] << 8);
    f.payload.assign(f.bytes.begin() + 5, f.bytes.end() - 2);
    if (acknowledge)
        SendAck();
    return f;
}
