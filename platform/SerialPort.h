#pragma once
#include "platform/SerialPortNames.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Serial ports for the communications server. A port is an object with a table of driver operations: the
// base class answers every operation with "not supported" (-24) and a driver overrides what it can do. One
// driver talks to the operating system's serial devices through termios; tests put an in-memory driver with
// settable modem lines behind the same interface. Every operation reports an integer code and keeps the code
// of the last failure in the port's status; nothing throws.
//
// Ports live from PortOpen to their Close. Open ports are kept in a process-wide list that is closed at exit.
namespace plat {

enum SerialResult : int {
    kSerialOk = 0,
    kSerialSystemError = -1,
    kSerialInvalidPort = -2,
    kSerialPortInUse = -3,
    kSerialNoMemory = -5,
    kSerialInvalidArgument = -7,
    kSerialNoData = -8,
    kSerialTxQueueFull = -9,
    kSerialNoHardware = -14,
    kSerialNotSupported = -24,
    kSerialBadBaud = -25,
    kSerialBadParity = -26,
    kSerialBadWordLength = -27,
    kSerialBadStopBits = -28,
    kSerialLineBufferFull = -31,
};

// ModemStatus bits.
constexpr int kModemCts = 0x10;
constexpr int kModemDsr = 0x20;
constexpr int kModemRing = 0x40;
constexpr int kModemDcd = 0x80;

// LineStatus bits.
constexpr int kLineOverrun = 0x02;
constexpr int kLineParity = 0x04;
constexpr int kLineFraming = 0x08;
constexpr int kLineBreak = 0x10;

// Nominal size of each driver queue; frames are at most 1029 bytes, so one always fits.
constexpr int kSerialQueueSize = 1050;

class SerialPort {
public:
    using LinePrinter = std::function<void(const std::string& line)>;

    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Zero-based: 0 is COM1; -1 for the placeholder port.
    int portNumber() const { return portNumber_; }
    // Code of the last failed operation; 0 after a successful open.
    int status() const { return status_; }
    // Bytes moved by the last block read or write, or characters stored by the last line read.
    int count() const { return count_; }

    // Driver operations. The base versions set status to -24 and return -24.
    virtual int ReadChar();
    virtual int PeekChar();
    virtual int WriteChar(int byte);
    // Closes the device and frees the port; the pointer is invalid afterwards.
    int Close();
    virtual int SetParameters(long baud, char parity, int dataBits, int stopBits);
    virtual int SetSoftwareHandshake(bool on);
    virtual int SetHardwareHandshake(bool on);
    virtual int SetDtrDsrHandshake(bool on);
    virtual int SetDtr(bool on);
    virtual int SetRts(bool on);
    virtual int TxFree();
    virtual int TxUsed();
    virtual int RxFree();
    virtual int RxUsed();
    virtual int ClearTxBuffer();
    virtual int WriteBlock(const void* buffer, int length);
    virtual int ReadBlock(void* buffer, int length);
    virtual int Dump(const LinePrinter& print);
    virtual int SendBreak(int milliseconds);
    virtual int ModemStatus();
    virtual int LineStatus();
    virtual int ClearLineErrors();
    int ClearStatus();

protected:
    // Links the new port at the head of the list of open ports.
    explicit SerialPort(int portNumber);
    virtual ~SerialPort();
    // The driver's share of Close (release the device); the base then unlinks and frees the port.
    virtual int CloseDevice() { return kSerialOk; }

    int fail(int code) {
        status_ = code;
        return code;
    }
    void setCount(int n) { count_ = n; }
    int notSupported() { return fail(kSerialNotSupported); }

private:
    friend SerialPort* PortOpen(int, long, char, int, int);
    friend int ReadLineTimed(SerialPort&, char*, int, int, long);
    friend int WriteStringTerm(SerialPort&, const char*, int);
    friend int TxEmpty(SerialPort&);
    friend class PlaceholderPort;
    friend int OpenPortCount();

    SerialPort(int portNumber, bool placeholder);
    void link();
    void unlink();

    int portNumber_;
    int status_ = 0;
    int count_ = 0;
    SerialPort* next_ = nullptr;
    bool linked_ = false;
    // The port handed out when memory runs out: listed like any other, but never freed.
    bool placeholder_ = false;
};

// Opens a port with the given framing (parity letter E, O, N, M or S, any case). Always returns a port; the
// caller tests its status (non-zero = failed) and must still Close it. The device is taken for exclusive use.
SerialPort* PortOpen(int portNumber, long baud, char parity, int dataBits, int stopBits);

// Reads one line. terminator 0..255 ends the line at that byte; -1 and -2 end it at CR LF; neither the
// terminator nor the CR LF pair is stored. At most size - 1 characters are stored and the buffer is always
// NUL-terminated; count() tells how many. timeoutMs -1 waits for ever. Returns the port's status for a
// complete line, -8 at the time-out, -31 when the line does not fit, -7 for bad arguments.
int ReadLineTimed(SerialPort& port, char* buffer, int size, int terminator, long timeoutMs);
// Writes the text and then the terminator: a byte 0..255, CR LF for -2, nothing for -1. Returns the status.
int WriteStringTerm(SerialPort& port, const char* text, int terminator);

// The modem-status bit when on, 0 when off, a negative code when the status query fails.
int DsrOn(SerialPort& port);
int DcdOn(SerialPort& port);
int CtsOn(SerialPort& port);
// 1 when nothing waits to be sent, 0 when something does, a negative code on failure. A driver that
// cannot count its queue counts as empty and keeps its previous status.
int TxEmpty(SerialPort& port);
// Waits the given time, calling the idle routine each round; 0, or the idle routine's negative result.
int Delay(SerialPort& port, long milliseconds);

// The routine that every wait of this layer calls while nothing arrives. A negative result ends the wait with
// that result, which is how a thread that is asked to stop gets out of a long modem dialogue. The default
// sleeps about a millisecond (a worker thread has no window messages to dispatch) and returns 0. An empty
// function restores the default.
using IdleRoutine = std::function<int()>;
void SetIdleRoutine(IdleRoutine routine);
int RunIdleRoutine();

// Closes every port still open. Registered to run at process exit when the first port is created.
void CloseAllPorts();
// How many ports are open now (the placeholder included while it is listed).
int OpenPortCount();

} // namespace plat
