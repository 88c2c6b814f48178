#include "platform/SerialPort.h"
#include "platform/SerialTermiosPort.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

namespace plat {

namespace {

struct PortList {
    std::mutex mutex;
    SerialPort* head = nullptr;
};

PortList& portList() {
    static PortList list;
    return list;
}

std::once_flag g_atExitOnce;

std::mutex g_idleMutex;
IdleRoutine g_idleRoutine;

// The moment a wait of that many milliseconds ends. A time-out too long for the clock to count to means
// "as long as it takes"; left to overflow, it would wrap into the past and end the wait at once.
std::chrono::steady_clock::time_point deadlineAfter(long milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto now = Clock::now();
    if (milliseconds <= 0)
        return now;
    const auto room = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::time_point::max() - now);
    if (milliseconds >= room.count())
        return Clock::time_point::max();
    return now + std::chrono::milliseconds(milliseconds);
}

} // namespace

class PlaceholderPort final : public SerialPort {
public:
    PlaceholderPort() : SerialPort(-1, true) {}
    static PlaceholderPort& instance() {
        static PlaceholderPort port;
        return port;
    }
};

namespace {

// A port that only has the base operations: what an open that failed hands back, with the reason in status.
class StubSerialPort final : public SerialPort {
public:
    StubSerialPort(int portNumber, int status) : SerialPort(portNumber) { fail(status); }
};

} // namespace

SerialPort::SerialPort(int portNumber) : SerialPort(portNumber, false) {}

SerialPort::SerialPort(int portNumber, bool placeholder) : portNumber_(portNumber), placeholder_(placeholder) {
    (void)portList(); // constructed before the exit handler is registered, so it outlives it
    std::call_once(g_atExitOnce, [] { std::atexit(CloseAllPorts); });
    if (placeholder) {
        status_ = kSerialNoMemory;
        return;
    }
    link();
}

SerialPort::~SerialPort() {
    unlink();
}

void SerialPort::link() {
    PortList& list = portList();
    std::lock_guard lock(list.mutex);
    if (linked_)
        return;
    next_ = list.head;
    list.head = this;
    linked_ = true;
}

void SerialPort::unlink() {
    PortList& list = portList();
    std::lock_guard lock(list.mutex);
    if (!linked_)
        return;
    for (SerialPort** p = &list.head; *p; p = &(*p)->next_) {
        if (*p == this) {
            *p = next_;
            break;
        }
    }
    next_ = nullptr;
    linked_ = false;
}

int SerialPort::Close() {
    const int rc = CloseDevice();
    unlink();
    if (!placeholder_)
        delete this;
    return rc;
}

int SerialPort::ReadChar() {
    return notSupported();
}
int SerialPort::PeekChar() {
    return notSupported();
}
int SerialPort::WriteChar(int) {
    return notSupported();
}
int SerialPort::SetParameters(long, char, int, int) {
    return notSupported();
}
int SerialPort::SetSoftwareHandshake(bool) {
    return notSupported();
}
int SerialPort::SetHardwareHandshake(bool) {
    return notSupported();
}
int SerialPort::SetDtrDsrHandshake(bool) {
    return notSupported();
}
int SerialPort::SetDtr(bool) {
    return notSupported();
}
int SerialPort::SetRts(bool) {
    return notSupported();
}
int SerialPort::TxFree() {
    return notSupported();
}
int SerialPort::TxUsed() {
    return notSupported();
}
int SerialPort::RxFree() {
    return notSupported();
}
int SerialPort::RxUsed() {
    return notSupported();
}
int SerialPort::ClearTxBuffer() {
    return notSupported();
}
int SerialPort::WriteBlock(const void*, int) {
    return notSupported();
}
int SerialPort::ReadBlock(void*, int) {
    return notSupported();
}
int SerialPort::Dump(const LinePrinter& print) {
    if (print) {
        print("Port dump not supported for this driver");
        print("");
    }
    return notSupported();
}
int SerialPort::SendBreak(int) {
    return notSupported();
}
int SerialPort::ModemStatus() {
    return notSupported();
}
int SerialPort::LineStatus() {
    return notSupported();
}
int SerialPort::ClearLineErrors() {
    return notSupported();
}
int SerialPort::ClearStatus() {
    status_ = kSerialOk;
    return kSerialOk;
}

SerialPort* PortOpen(int portNumber, long baud, char parity, int dataBits, int stopBits) {
    auto stub = [portNumber](int status) -> SerialPort* {
        SerialPort* port = new (std::nothrow) StubSerialPort(portNumber, status);
        if (port)
            return port;
        PlaceholderPort& placeholder = PlaceholderPort::instance();
        placeholder.link();
        return &placeholder;
    };
    if (portNumber < 0)
        return stub(kSerialInvalidPort);
    int status = kSerialOk;
    SerialPort* port =
        OpenTermiosPort(portNumber, SerialDevicePath(portNumber), baud, parity, dataBits, stopBits, &status);
    return port ? port : stub(status);
}

int ReadLineTimed(SerialPort& port, char* buffer, int size, int terminator, long timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = deadlineAfter(timeoutMs);
    port.count_ = 0;
    if (size < 2 || buffer == nullptr || terminator < -2 || terminator > 255)
        return port.fail(kSerialInvalidArgument);
    buffer[0] = '\0';

    int stored = 0;
    bool heldCr = false;
    auto store = [&](char c) {
        if (stored >= size - 1)
            return false;
        buffer[stored++] = c;
        buffer[stored] = '\0';
        port.count_ = stored;
        return true;
    };

    for (;;) {
        const int c = port.ReadChar();
        if (c == kSerialNoData) {
            if (timeoutMs == -1 || Clock::now() < deadline) {
                const int idle = RunIdleRoutine();
                if (idle < 0)
                    return idle;
                continue;
            }
            if (heldCr && terminator >= 0 && !store('\r'))
                return port.fail(kSerialLineBufferFull);
            return kSerialNoData;
        }
        if (c < 0)
            return port.fail(c);
        // A CR waits for the next byte: with the CR LF terminators the pair ends the line, otherwise the CR
        // turns out to be text. A terminator byte ends the line before the CR rule applies, so terminator 13
        // ends at the CR itself.
        if (heldCr) {
            heldCr = false;
            if (c == '\n' && terminator < 0)
                return port.status();
            if (!store('\r'))
                return port.fail(kSerialLineBufferFull);
        }
        if (terminator >= 0 && c == terminator)
            return port.status();
        if (c == '\r') {
            heldCr = true;
            continue;
        }
        if (!store(static_cast<char>(c)))
            return port.fail(kSerialLineBufferFull);
    }
}

int WriteStringTerm(SerialPort& port, const char* text, int terminator) {
    port.count_ = 0;
    if (terminator < -2 || terminator > 255)
        return port.fail(kSerialInvalidArgument);
    const int length = text ? static_cast<int>(std::strlen(text)) : 0;
    port.WriteBlock(text, length);
    if (port.status() < 0)
        return port.status();
    if (terminator >= 0) {
        port.WriteChar(terminator);
    } else if (terminator == -2) {
        const char crlf[2] = {'\r', '\n'};
        port.WriteBlock(crlf, 2);
    }
    return port.status();
}

namespace {
int modemBit(SerialPort& port, int bit) {
    const int lines = port.ModemStatus();
    return lines < 0 ? lines : (lines & bit);
}
} // namespace

int DsrOn(SerialPort& port) {
    return modemBit(port, kModemDsr);
}
int DcdOn(SerialPort& port) {
    return modemBit(port, kModemDcd);
}
int CtsOn(SerialPort& port) {
    return modemBit(port, kModemCts);
}

int TxEmpty(SerialPort& port) {
    const int saved = port.status();
    const int used = port.TxUsed();
    if (used == kSerialNotSupported) {
        port.status_ = saved;
        return 1;
    }
    if (used < 0)
        return used;
    return used == 0 ? 1 : 0;
}

int Delay(SerialPort&, long milliseconds) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = deadlineAfter(milliseconds);
    while (Clock::now() < deadline) {
        const int idle = RunIdleRoutine();
        if (idle < 0)
            return idle;
    }
    return kSerialOk;
}

void SetIdleRoutine(IdleRoutine routine) {
    std::lock_guard lock(g_idleMutex);
    g_idleRoutine = std::move(routine);
}

int RunIdleRoutine() {
    IdleRoutine routine;
    {
        std::lock_guard lock(g_idleMutex);
        routine = g_idleRoutine;
    }
    if (routine)
        return routine();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return 0;
}

void CloseAllPorts() {
    for (;;) {
        SerialPort* head = nullptr;
        {
            PortList& list = portList();
            std::lock_guard lock(list.mutex);
            head = list.head;
        }
        if (!head)
            return;
        head->Close();
    }
}

int OpenPortCount() {
    PortList& list = portList();
    std::lock_guard lock(list.mutex);
    int n = 0;
    for (SerialPort* p = list.head; p; p = p->next_)
        ++n;
    return n;
}

} // namespace plat
