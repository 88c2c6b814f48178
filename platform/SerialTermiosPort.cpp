#include "platform/SerialTermiosPort.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace plat {

// In SerialCustomBaud.cpp.
int SetCustomBaud(int fd, long baud);

namespace {

// What an open() of the device failed with, in this layer's codes.
int mapOpenError(int err) {
    switch (err) {
    case ENOENT:
    case ENOTDIR:
    case ENXIO:
    case ENODEV:
    case EIO:
    case ENOTTY:
        return kSerialNoHardware;
    case EACCES:
    case EPERM:
    case EBUSY:
    case EWOULDBLOCK:
        return kSerialPortInUse;
    case ENOMEM:
        return kSerialNoMemory;
    default:
        return kSerialSystemError;
    }
}

int mapSystemError(int err) {
    switch (err) {
    case ENOMEM:
        return kSerialNoMemory;
    case ENXIO:
    case ENODEV:
        return kSerialNoHardware;
    default:
        return kSerialSystemError;
    }
}

speed_t speedFor(long baud) {
    switch (baud) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        // B0 would hang the line up, and rates the tty cannot express are refused like rates above 115200.
        return B0;
    }
}

// The operating system's serial devices through termios. The descriptor is non-blocking with VMIN = VTIME = 0,
// so every read returns at once with what is queued; waiting is the caller's polling.
class SystemSerialPort final : public SerialPort {
public:
    SystemSerialPort(int portNumber, int fd) : SerialPort(portNumber), fd_(fd) {
        serial_icounter_struct counts{};
        haveCounts_ = ::ioctl(fd_, TIOCGICOUNT, &counts) == 0;
        if (haveCounts_)
            lastCounts_ = counts;
    }

    // Raw mode: no echo, no line editing, no output processing (a 0x0A must not become CR LF inside a frame),
    // no parity checks, no stripping. CLOCAL so that a carrier drop does not hang the tty up under the server,
    // no HUPCL so that closing does not drop a modem call by itself; IGNBRK so that a break adds no 0x00 byte.
    int configure(long baud, char parity, int dataBits, int stopBits) {
        termios t{};
        if (::tcgetattr(fd_, &t) != 0)
            return fail(mapOpenError(errno));
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cflag &= ~(HUPCL | CRTSCTS);
        t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP);
        t.c_iflag |= IGNBRK;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        t.c_cc[VSTART] = 0x11;
        t.c_cc[VSTOP] = 0x13;
        if (::tcsetattr(fd_, TCSANOW, &t) != 0)
            return fail(mapSystemError(errno));
        modemLines(true, TIOCM_DTR | TIOCM_RTS);
        dtr_ = rts_ = true;
        return SetParameters(baud, parity, dataBits, stopBits);
    }

    int ReadChar() override {
        if (rxPos_ == rxLen_ && !refill())
            return kSerialNoData;
        return rx_[rxPos_++];
    }

    int WriteChar(int byte) override {
        const unsigned char b = static_cast<unsigned char>(byte);
        return WriteBlock(&b, 1);
    }

    int SetParameters(long baud, char parity, int dataBits, int stopBits) override {
        // Everything is checked before the device is touched, so a refused setting leaves the line as it was.
        const bool custom = baud == 14400 || baud == 28800 || baud == 56000;
        const speed_t speed = baud > 115200 || baud <= 0 ? B0 : (custom ? B38400 : speedFor(baud));
        if (speed == B0)
            return fail(kSerialBadBaud);
        tcflag_t parityFlags = 0;
        switch (parity) {
        case 'n':
        case 'N':
            break;
        case 'e':
        case 'E':
            parityFlags = PARENB;
            break;
        case 'o':
        case 'O':
            parityFlags = PARENB | PARODD;
            break;
        case 'm':
        case 'M':
            parityFlags = PARENB | CMSPAR | PARODD;
            break;
        case 's':
        case 'S':
            parityFlags = PARENB | CMSPAR;
            break;
        default:
            return fail(kSerialBadParity);
        }
        tcflag_t size = 0;
        switch (dataBits) {
        case 5:
            size = CS5;
            break;
        case 6:
            size = CS6;
            break;
        case 7:
            size = CS7;
            break;
        case 8:
            size = CS8;
            break;
        default:
            return fail(kSerialBadWordLength);
        }
        if (stopBits != 1 && stopBits != 2)
            return fail(kSerialBadStopBits);

        termios t{};
        if (::tcgetattr(fd_, &t) != 0)
            return fail(mapSystemError(errno));
        t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
        t.c_cflag |= size | parityFlags | (stopBits == 2 ? CSTOPB : 0);
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
        if (::tcsetattr(fd_, TCSANOW, &t) != 0)
            return fail(mapSystemError(errno));
        if (custom && SetCustomBaud(fd_, baud) != 0)
            return fail(mapSystemError(errno));
        baud_ = baud;
        parity_ = static_cast<char>(parity & ~0x20);
        dataBits_ = dataBits;
        stopBits_ = stopBits;
        return kSerialOk;
    }

    int SetSoftwareHandshake(bool on) override {
        return changeFlags([on](termios& t) {
            if (on)
                t.c_iflag |= IXON | IXOFF;
            else
                t.c_iflag &= ~(IXON | IXOFF);
        });
    }

    int SetHardwareHandshake(bool on) override {
        const int rc = changeFlags([on](termios& t) {
            if (on)
                t.c_cflag |= CRTSCTS;
            else
                t.c_cflag &= ~CRTSCTS;
        });
        if (rc == kSerialOk)
            hardware_ = on;
        return rc;
    }

    // Linux has no DSR output flow control; the setting is kept for Dump and otherwise accepted as it is.
    int SetDtrDsrHandshake(bool on) override {
        dtrDsr_ = on;
        return kSerialOk;
    }

    // A pseudo-terminal has no modem lines and refuses these; the result is 0 either way.
    int SetDtr(bool on) override {
        modemLines(on, TIOCM_DTR);
        dtr_ = on;
        return kSerialOk;
    }
    int SetRts(bool on) override {
        modemLines(on, TIOCM_RTS);
        rts_ = on;
        return kSerialOk;
    }

    int TxFree() override {
        const int used = TxUsed();
        return used < 0 ? used : std::max(0, kSerialQueueSize - used);
    }
    int TxUsed() override {
        int queued = 0;
        if (::ioctl(fd_, TIOCOUTQ, &queued) != 0)
            return fail(mapSystemError(errno));
        return queued;
    }
    int RxFree() override {
        const int used = RxUsed();
        return used < 0 ? used : std::max(0, kSerialQueueSize - used);
    }
    int RxUsed() override {
        int queued = 0;
        if (::ioctl(fd_, FIONREAD, &queued) != 0)
            return fail(mapSystemError(errno));
        return queued + static_cast<int>(rxLen_ - rxPos_);
    }

    int ClearTxBuffer() override {
        if (::tcflush(fd_, TCOFLUSH) != 0)
            return fail(mapSystemError(errno));
        return kSerialOk;
    }

    int WriteBlock(const void* buffer, int length) override {
        if (length < 0 || (length > 0 && buffer == nullptr)) {
            setCount(0);
            return fail(kSerialInvalidArgument);
        }
        queryErrors();
        // The kernel's output buffer is the transmit queue: what it takes will go out, and what it cannot
        // take (flow control holding the line, a far end that stopped reading) is reported, never waited for.
        const auto* p = static_cast<const unsigned char*>(buffer);
        int done = 0;
        while (done < length) {
            const ssize_t n = ::write(fd_, p + done, static_cast<size_t>(length - done));
            if (n > 0)
                done += static_cast<int>(n);
            else if (n < 0 && errno == EINTR)
                continue;
            else
                break;
        }
        setCount(done);
        return done < length ? fail(kSerialTxQueueFull) : kSerialOk;
    }

    int ReadBlock(void* buffer, int length) override {
        setCount(0);
        if (length < 0 || (length > 0 && buffer == nullptr))
            return fail(kSerialInvalidArgument);
        queryErrors();
        auto* out = static_cast<unsigned char*>(buffer);
        int got = 0;
        const int buffered = std::min(length, static_cast<int>(rxLen_ - rxPos_));
        if (buffered > 0) {
            std::memcpy(out, rx_.data() + rxPos_, static_cast<size_t>(buffered));
            rxPos_ += static_cast<size_t>(buffered);
            got = buffered;
        }
        while (got < length) {
            const ssize_t n = ::read(fd_, out + got, static_cast<size_t>(length - got));
            if (n > 0)
                got += static_cast<int>(n);
            else if (n < 0 && errno == EINTR)
                continue;
            else
                break;
        }
        setCount(got);
        return got == 0 ? kSerialNoData : kSerialOk;
    }

    int Dump(const LinePrinter& print) override {
        char line[200];
        const int parityCode = parity_ == 'O' ? 1 : parity_ == 'E' ? 2 : parity_ == 'M' ? 3 : parity_ == 'S' ? 4 : 0;
        const int rtsControl = hardware_ ? 2 : rts_ ? 1 : 0;
        const int dtrControl = dtrDsr_ ? 2 : dtr_ ? 1 : 0;
        termios t{};
        ::tcgetattr(fd_, &t);
        const int outX = (t.c_iflag & IXON) != 0;
        const int inX = (t.c_iflag & IXOFF) != 0;
        const int errors = LineStatus();
        const int modem = std::max(0, ModemStatus());
        const int rxUsed = std::max(0, RxUsed());
        const int txUsed = std::max(0, TxUsed());
        print("");
        std::snprintf(line, sizeof line, "Port type:  MS Windows  DCB BaudRate: %-6ld  ByteSize: %1d  Parity: %1d",
                      baud_, dataBits_, parityCode);
        print(line);
        std::snprintf(line, sizeof line, "StopBits: %1d fBinary: %1d  fRtsControl: %1d", stopBits_ == 2 ? 2 : 0, 1,
                      rtsControl);
        print(line);
        std::snprintf(line, sizeof line,
                      "Parity: %1d  OutCtsFlow: %1d  OutDsrFlow: %1d  DtrControl: %1d  OutX: %1d  InX: %1d", 0,
                      hardware_ ? 1 : 0, dtrDsr_ ? 1 : 0, dtrControl, outX, inX);
        print(line);
        std::snprintf(line, sizeof line, "Null: %1d  DtrControl: %1d  RtsControl: %1d  XonChar: %02x  XoffChar: %02x",
                      0, dtrControl, rtsControl, 0x11, 0x13);
        print(line);
        std::snprintf(line, sizeof line, "XonLim: %-5u XoffLim: %-5u EofChr: %02x  EvtChr: %02x",
                      unsigned(kSerialQueueSize / 4), unsigned(kSerialQueueSize / 4), 0, 0);
        print(line);
        std::snprintf(line, sizeof line, "RX count/free: %5d/%-5d  TX count/free: %5d/%-5d  BREAK/FE/OE/PE: %d%d%d%d",
                      rxUsed, std::max(0, kSerialQueueSize - rxUsed), txUsed, std::max(0, kSerialQueueSize - txUsed),
                      (errors & kLineBreak) != 0, (errors & kLineFraming) != 0, (errors & kLineOverrun) != 0,
                      (errors & kLineParity) != 0);
        print(line);
        std::snprintf(line, sizeof line, "CE_BREAK:%d  CE_FRAME:%d  CE_MODE:%d CE_OVERRUN:%d",
                      (errors & kLineBreak) != 0, (errors & kLineFraming) != 0, 0, (errors & kLineOverrun) != 0);
        print(line);
        std::snprintf(line, sizeof line, "CE_RXOVER:%d CE_RXPARITY:%d CE_TXFULL:%d  CTS/DSR/RI/CD: %d%d%d%d", 0,
                      (errors & kLineParity) != 0, 0, (modem & kModemCts) != 0, (modem & kModemDsr) != 0,
                      (modem & kModemRing) != 0, (modem & kModemDcd) != 0);
        print(line);
        std::snprintf(line, sizeof line, "8250:%.4x", 0u);
        print(line);
        return kSerialOk;
    }

    int SendBreak(int milliseconds) override {
        if (::ioctl(fd_, TIOCSBRK) != 0)
            return fail(mapSystemError(errno));
        const int rc = Delay(*this, milliseconds);
        ::ioctl(fd_, TIOCCBRK);
        return rc;
    }

    int ModemStatus() override {
        int lines = 0;
        if (::ioctl(fd_, TIOCMGET, &lines) == 0) {
            return ((lines & TIOCM_CTS) ? kModemCts : 0) | ((lines & TIOCM_DSR) ? kModemDsr : 0) |
                   ((lines & TIOCM_RI) ? kModemRing : 0) | ((lines & TIOCM_CD) ? kModemDcd : 0);
        }
        // A device whose far end has hung up answers EIO: every line is down.
        if (errno == EIO)
            return 0;
        if (errno != ENOTTY && errno != EINVAL)
            return fail(mapSystemError(errno));
        // A pseudo-terminal carries no modem lines. While the far end holds the master open the line counts
        // as up (CTS, DSR and carrier); once it hangs up, everything is off, which reads as a lost line.
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 0) >= 0 && (p.revents & POLLHUP) != 0)
            return 0;
        return kModemCts | kModemDsr | kModemDcd;
    }

    int LineStatus() override {
        queryErrors();
        return lineErrors_;
    }

    int ClearLineErrors() override {
        lineErrors_ = 0;
        return kSerialOk;
    }

protected:
    int CloseDevice() override {
        modemLines(false, TIOCM_DTR | TIOCM_RTS);
        // Leave the device openable again for the next owner, also when the far end keeps its side open.
        ::ioctl(fd_, TIOCNXCL);
        const int rc = ::close(fd_) == 0 ? kSerialOk : mapSystemError(errno);
        fd_ = -1;
        return rc;
    }

private:
    bool refill() {
        rxPos_ = rxLen_ = 0;
        for (;;) {
            const ssize_t n = ::read(fd_, rx_.data(), rx_.size());
            if (n > 0) {
                rxLen_ = static_cast<size_t>(n);
                return true;
            }
            if (n < 0 && errno == EINTR)
                continue;
            return false;
        }
    }

    // The kernel counts line errors since boot; each counter that moved since the last look adds its bit to
    // the error word, which only grows until ClearLineErrors. Devices without counters report no errors.
    void queryErrors() {
        if (!haveCounts_)
            return;
        serial_icounter_struct counts{};
        if (::ioctl(fd_, TIOCGICOUNT, &counts) != 0)
            return;
        if (counts.overrun != lastCounts_.overrun || counts.buf_overrun != lastCounts_.buf_overrun)
            lineErrors_ |= kLineOverrun;
        if (counts.parity != lastCounts_.parity)
            lineErrors_ |= kLineParity;
        if (counts.frame != lastCounts_.frame)
            lineErrors_ |= kLineFraming;
        if (counts.brk != lastCounts_.brk)
            lineErrors_ |= kLineBreak;
        lastCounts_ = counts;
    }

    template <typename F> int changeFlags(F change) {
        termios t{};
        if (::tcgetattr(fd_, &t) != 0)
            return fail(mapSystemError(errno));
        change(t);
        if (::tcsetattr(fd_, TCSANOW, &t) != 0)
            return fail(mapSystemError(errno));
        return kSerialOk;
    }

    void modemLines(bool on, int bits) { ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bits); }

    int fd_;
    std::array<unsigned char, 4096> rx_{};
    size_t rxPos_ = 0;
    size_t rxLen_ = 0;
    int lineErrors_ = 0;
    bool haveCounts_ = false;
    serial_icounter_struct lastCounts_{};
    long baud_ = 0;
    char parity_ = 'N';
    int dataBits_ = 8;
    int stopBits_ = 1;
    bool hardware_ = false;
    bool dtrDsr_ = false;
    bool dtr_ = false;
    bool rts_ = false;
};

} // namespace

SerialPort* OpenTermiosPort(int portNumber, const std::string& device, long baud, char parity, int dataBits,
                            int stopBits, int* status) {
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *status = mapOpenError(errno);
        return nullptr;
    }
    // Exclusive use: flock keeps out every other opener that asks for it (root included, which TIOCEXCL
    // does not stop); TIOCEXCL keeps out ordinary users that do not ask.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        *status = err == EWOULDBLOCK ? kSerialPortInUse : mapOpenError(err);
        return nullptr;
    }
    termios probe{};
    if (::tcgetattr(fd, &probe) != 0) {
        const int err = errno;
        ::close(fd);
        *status = mapOpenError(err);
        return nullptr;
    }
    ::ioctl(fd, TIOCEXCL);

    auto* port = new (std::nothrow) SystemSerialPort(portNumber, fd);
    if (!port) {
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        *status = kSerialNoMemory;
        return nullptr;
    }
    port->configure(baud, parity, dataBits, stopBits);
    return port;
}

} // namespace plat
