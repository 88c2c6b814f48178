#pragma once
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <vector>

#include "platform/SerialPort.h"

// A serial port in memory, for what a pseudo-terminal cannot show: modem lines that come and go, line errors,
// a transmit queue that has not drained, a driver that cannot count its queues. The test is the far end: it
// puts bytes in for the port to read and takes out what the port wrote. Listed among the open ports like a
// real one; Close frees it.
class MemorySerialPort final : public plat::SerialPort {
public:
    static MemorySerialPort* Open(int portNumber = 0) { return new MemorySerialPort(portNumber); }

    // The far end.
    void PushRx(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> TakeTx();
    // CTS, DSR, RING and DCD as ModemStatus bits; all but RING are on at first.
    void SetModemLines(int bits);
    void InjectLineErrors(int bits);
    // What TxUsed reports (bytes still going out).
    void SetTxUsed(int bytes);
    // Without queue counts TxUsed and the other counts answer "not supported".
    void SetCountsQueues(bool counts);
    // Like a modem: dropping DTR hangs the call up, and the carrier (DCD) goes.
    void SetHangUpOnDtrDrop(bool on);
    bool Dtr() const;
    bool Rts() const;
    int TxClears() const;

    int ReadChar() override;
    int WriteChar(int byte) override;
    int SetParameters(long baud, char parity, int dataBits, int stopBits) override;
    int SetSoftwareHandshake(bool on) override;
    int SetHardwareHandshake(bool on) override;
    int SetDtr(bool on) override;
    int SetRts(bool on) override;
    int TxUsed() override;
    int TxFree() override;
    int RxUsed() override;
    int ClearTxBuffer() override;
    int WriteBlock(const void* buffer, int length) override;
    int ReadBlock(void* buffer, int length) override;
    int ModemStatus() override;
    int LineStatus() override;
    int ClearLineErrors() override;

private:
    explicit MemorySerialPort(int portNumber) : SerialPort(portNumber) {}

    mutable std::mutex mutex_;
    std::deque<std::uint8_t> rx_;
    std::vector<std::uint8_t> tx_;
    int modemLines_ = plat::kModemCts | plat::kModemDsr | plat::kModemDcd;
    int lineErrors_ = 0;
    int txUsed_ = 0;
    bool countsQueues_ = true;
    bool dtr_ = true;
    bool rts_ = true;
    int txClears_ = 0;
    bool hangUpOnDtrDrop_ = false;
};
