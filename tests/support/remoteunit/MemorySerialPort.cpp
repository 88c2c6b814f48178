#include "remoteunit/MemorySerialPort.h"

#include <cstring>
#include <utility>

using namespace plat;

void MemorySerialPort::PushRx(std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    rx_.insert(rx_.end(), bytes.begin(), bytes.end());
}

std::vector<std::uint8_t> MemorySerialPort::TakeTx() {
    std::lock_guard lock(mutex_);
    return std::exchange(tx_, {});
}

void MemorySerialPort::SetModemLines(int bits) {
    std::lock_guard lock(mutex_);
    modemLines_ = bits;
}

void MemorySerialPort::InjectLineErrors(int bits) {
    std::lock_guard lock(mutex_);
    lineErrors_ |= bits;
}

void MemorySerialPort::SetTxUsed(int bytes) {
    std::lock_guard lock(mutex_);
    txUsed_ = bytes;
}

void MemorySerialPort::SetCountsQueues(bool counts) {
    std::lock_guard lock(mutex_);
    countsQueues_ = counts;
}

bool MemorySerialPort::Dtr() const {
    std::lock_guard lock(mutex_);
    return dtr_;
}

bool MemorySerialPort::Rts() const {
    std::lock_guard lock(mutex_);
    return rts_;
}

int MemorySerialPort::TxClears() const {
    std::lock_guard lock(mutex_);
    return txClears_;
}

int MemorySerialPort::ReadChar() {
    std::lock_guard lock(mutex_);
    if (rx_.empty())
        return kSerialNoData;
    const int b = rx_.front();
    rx_.pop_front();
    return b;
}

int MemorySerialPort::WriteChar(int byte) {
    const std::uint8_t b = static_cast<std::uint8_t>(byte);
    return WriteBlock(&b, 1);
}

int MemorySerialPort::SetParameters(long, char, int, int) {
    return kSerialOk;
}
int MemorySerialPort::SetSoftwareHandshake(bool) {
    return kSerialOk;
}
int MemorySerialPort::SetHardwareHandshake(bool) {
    return kSerialOk;
}

void MemorySerialPort::SetHangUpOnDtrDrop(bool on) {
    std::lock_guard lock(mutex_);
    hangUpOnDtrDrop_ = on;
}

int MemorySerialPort::SetDtr(bool on) {
    std::lock_guard lock(mutex_);
    dtr_ = on;
    if (!on && hangUpOnDtrDrop_)
        modemLines_ &= ~kModemDcd;
    return kSerialOk;
}

int MemorySerialPort::SetRts(bool on) {
    std::lock_guard lock(mutex_);
    rts_ = on;
    return kSerialOk;
}

int MemorySerialPort::TxUsed() {
    std::lock_guard lock(mutex_);
    if (!countsQueues_)
        return fail(kSerialNotSupported);
    return txUsed_;
}

int MemorySerialPort::TxFree() {
    const int used = TxUsed();
    return used < 0 ? used : kSerialQueueSize - used;
}

int MemorySerialPort::RxUsed() {
    std::lock_guard lock(mutex_);
    if (!countsQueues_)
        return fail(kSerialNotSupported);
    return static_cast<int>(rx_.size());
}

int MemorySerialPort::ClearTxBuffer() {
    std::lock_guard lock(mutex_);
    txUsed_ = 0;
    ++txClears_;
    return kSerialOk;
}

int MemorySerialPort::WriteBlock(const void* buffer, int length) {
    std::lock_guard lock(mutex_);
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    tx_.insert(tx_.end(), p, p + length);
    setCount(length);
    return kSerialOk;
}

int MemorySerialPort::ReadBlock(void* buffer, int length) {
    std::lock_guard lock(mutex_);
    auto* p = static_cast<std::uint8_t*>(buffer);
    int n = 0;
    while (n < length && !rx_.empty()) {
        p[n++] = rx_.front();
        rx_.pop_front();
    }
    setCount(n);
    return n == 0 ? kSerialNoData : kSerialOk;
}

int MemorySerialPort::ModemStatus() {
    std::lock_guard lock(mutex_);
    return modemLines_;
}

int MemorySerialPort::LineStatus() {
    std::lock_guard lock(mutex_);
    return lineErrors_;
}

int MemorySerialPort::ClearLineErrors() {
    std::lock_guard lock(mutex_);
    lineErrors_ = 0;
    return kSerialOk;
}
