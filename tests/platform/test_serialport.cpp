#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include "platform/SerialPort.h"

using namespace plat;

namespace {

constexpr int kPort = 40; // COM41, well away from any real device

// A pseudo-terminal standing for the cable: the port under test opens the slave (through $VORD_COM41), the
// test reads and writes the master.
class Cable {
public:
    Cable() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            return;
        slave_ = ::ptsname(master_);
        ::setenv(var().c_str(), slave_.c_str(), 1);
        // Holding the slave open keeps the master usable while the port is closed.
        keep_ = ::open(slave_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    }
    ~Cable() {
        ::unsetenv(var().c_str());
        hangUp();
        if (keep_ >= 0)
            ::close(keep_);
    }
    static std::string var() { return "VORD_COM" + std::to_string(kPort + 1); }
    const std::string& slave() const { return slave_; }
    int keptSlave() const { return keep_; }

    void write(const std::string& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), (ssize_t)bytes.size());
    }
    // What arrives within the time, stopping early once `enough` bytes are in. A loaded machine may pass the
    // bytes on late, so callers that know what to expect give a generous time and the expected size.
    std::string read(int timeoutMs, std::size_t enough = std::string::npos) {
        std::string out;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (out.size() < enough && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 10) > 0) {
                char buf[512];
                const ssize_t n = ::read(master_, buf, sizeof buf);
                if (n > 0)
                    out.append(buf, static_cast<std::size_t>(n));
            }
        }
        return out;
    }
    void hangUp() {
        if (master_ >= 0)
            ::close(master_);
        master_ = -1;
    }

private:
    int master_ = -1;
    int keep_ = -1;
    std::string slave_;
};

// Closes the port at the end of a test, whatever happened.
struct PortGuard {
    SerialPort* port;
    ~PortGuard() {
        if (port)
            port->Close();
    }
    SerialPort* operator->() const { return port; }
};

class SerialPortOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(cable.slave().empty());
        port.port = PortOpen(kPort, 19200, 'N', 8, 1);
        ASSERT_EQ(port->status(), 0);
    }
    Cable cable;
    PortGuard port{nullptr};
};

TEST(SerialPortPath, ComPortsMapToTtySUnlessTheEnvironmentNamesADevice) {
    ::unsetenv("VORD_COM3");
    EXPECT_EQ(SerialDevicePath(2), "/dev/ttyS2");
    ::setenv("VORD_COM3", "/dev/ttyUSB0", 1);
    EXPECT_EQ(SerialDevicePath(2), "/dev/ttyUSB0");
    ::unsetenv("VORD_COM3");
}

struct OpenFailure {
    const char* device; // for COM41; null: the default /dev/ttyS40
    int portNumber;
    int status;
};

class SerialPortOpenFailure : public ::testing::TestWithParam<OpenFailure> {};

TEST_P(SerialPortOpenFailure, StillGivesAPortWithTheReason) {
    const OpenFailure c = GetParam();
    if (c.device)
        ::setenv("VORD_COM41", c.device, 1);
    const int before = OpenPortCount();
    SerialPort* port = PortOpen(c.portNumber, 9600, 'N', 8, 1);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->status(), c.status);
    EXPECT_EQ(port->ReadChar(), kSerialNotSupported) << "a failed port has only the stubs";
    EXPECT_EQ(OpenPortCount(), before + 1) << "and must still be closed";
    port->Close();
    EXPECT_EQ(OpenPortCount(), before);
    ::unsetenv("VORD_COM41");
}

INSTANTIATE_TEST_SUITE_P(Table, SerialPortOpenFailure,
                         ::testing::Values(OpenFailure{nullptr, 40, kSerialNoHardware},
                                           OpenFailure{"/nonexistent/ttyX", 40, kSerialNoHardware},
                                           OpenFailure{"/dev/null", 40, kSerialNoHardware},
                                           OpenFailure{nullptr, -1, kSerialInvalidPort}));

TEST_F(SerialPortOnPty, IsForExclusiveUse) {
    SerialPort* second = PortOpen(kPort, 19200, 'N', 8, 1);
    EXPECT_EQ(second->status(), kSerialPortInUse);
    second->Close();
    port->Close();
    port.port = PortOpen(kPort, 19200, 'N', 8, 1);
    EXPECT_EQ(port->status(), 0) << "free again once closed";
}

TEST_F(SerialPortOnPty, IsRawInBothDirections) {
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    ASSERT_EQ(port->WriteBlock(all.data(), static_cast<int>(all.size())), 0);
    EXPECT_EQ(port->count(), 256);
    EXPECT_EQ(cable.read(10'000, all.size()), all);

    cable.write(all);
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (got.size() < all.size() && std::chrono::steady_clock::now() < deadline) {
        const int c = port->ReadChar();
        if (c >= 0)
            got += static_cast<char>(c);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(got, all);
    EXPECT_EQ(port->ReadChar(), kSerialNoData);
    EXPECT_EQ(port->status(), 0) << "no data is not a failure";
}

TEST_F(SerialPortOnPty, ReadBlockTakesWhatIsThere) {
    char buf[16];
    EXPECT_EQ(port->ReadBlock(buf, sizeof buf), kSerialNoData);
    EXPECT_EQ(port->count(), 0);
    cable.write("hello");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    int rc = kSerialNoData;
    while (rc == kSerialNoData && std::chrono::steady_clock::now() < deadline)
        rc = port->ReadBlock(buf, sizeof buf);
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(std::string(buf, static_cast<std::size_t>(port->count())), "hello");
}

struct ParameterCase {
    long baud;
    char parity;
    int dataBits;
    int stopBits;
    int result;
};

class SerialPortParameters : public SerialPortOnPty, public ::testing::WithParamInterface<ParameterCase> {};

TEST_P(SerialPortParameters, AreCheckedBeforeTheDeviceIsTouched) {
    const ParameterCase c = GetParam();
    termios before{};
    ASSERT_EQ(::tcgetattr(cable.keptSlave(), &before), 0);
    EXPECT_EQ(port->SetParameters(c.baud, c.parity, c.dataBits, c.stopBits), c.result);
    termios after{};
    ::tcgetattr(cable.keptSlave(), &after);
    if (c.result == 0) {
        EXPECT_EQ(port->status(), 0);
    } else {
        EXPECT_EQ(port->status(), c.result);
        EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
        EXPECT_EQ(after.c_cflag, before.c_cflag);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, SerialPortParameters,
                         ::testing::Values(ParameterCase{57600, 'n', 8, 1, 0}, ParameterCase{9600, 'E', 7, 2, 0},
                                           ParameterCase{115200, 's', 8, 1, 0},
                                           ParameterCase{230400, 'N', 8, 1, kSerialBadBaud},
                                           ParameterCase{0, 'N', 8, 1, kSerialBadBaud},
                                           ParameterCase{14400, 'N', 8, 1, 0},
                                           ParameterCase{31250, 'N', 8, 1, kSerialBadBaud},
                                           ParameterCase{9600, 'X', 8, 1, kSerialBadParity},
                                           ParameterCase{9600, 'N', 9, 1, kSerialBadWordLength},
                                           ParameterCase{9600, 'N', 8, 3, kSerialBadStopBits}));

TEST_F(SerialPortOnPty, ParityLetterIsTakenWithoutRegardToCase) {
    ASSERT_EQ(port->SetParameters(9600, 'o', 8, 1), 0);
    termios t{};
    ::tcgetattr(cable.keptSlave(), &t);
    // A pseudo-terminal drops PARENB whatever it is told, but keeps the odd-parity bit.
    EXPECT_TRUE(t.c_cflag & PARODD);
    EXPECT_EQ(::cfgetospeed(&t), B9600);
}

// Line reads: what the far end sends, the terminator, the buffer size, and what must come back.
struct LineCase {
    const char* name;
    std::string input;
    int terminator;
    int size;
    std::string line;
    int result;
};

class SerialPortReadLine : public SerialPortOnPty, public ::testing::WithParamInterface<LineCase> {};

TEST_P(SerialPortReadLine, StoresTheLineAsItsTerminatorSays) {
    const LineCase c = GetParam();
    cable.write(c.input);
    // The line's time-out is short, so the bytes are let through the cable first.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (port->RxUsed() < static_cast<int>(c.input.size()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(port->RxUsed(), static_cast<int>(c.input.size()));
    char buf[64];
    std::memset(buf, 'z', sizeof buf);
    EXPECT_EQ(ReadLineTimed(*port.port, buf, c.size, c.terminator, 150), c.result);
    EXPECT_EQ(std::string(buf), c.line);
    EXPECT_EQ(port->count(), static_cast<int>(c.line.size()));
}

INSTANTIATE_TEST_SUITE_P(Table, SerialPortReadLine,
                         ::testing::Values(LineCase{"cr_terminator", "OK\r", 13, 64, "OK", 0},
                                           LineCase{"crlf_keeps_lone_cr", "A\rB\r\n", -2, 64, "A\rB", 0},
                                           LineCase{"crlf_minus_one", "X\r\nY", -1, 64, "X", 0},
                                           LineCase{"cr_ends_before_timeout", "AT\r", 13, 64, "AT", 0},
                                           LineCase{"held_cr_stored_at_timeout", "AT\r", 10, 64, "AT\r", kSerialNoData},
                                           LineCase{"nothing_comes", "", 13, 64, "", kSerialNoData},
                                           LineCase{"too_long", "ABCDEFGH\r", 13, 5, "ABCD", kSerialLineBufferFull}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SerialPortOnPty, ReadLineRefusesBadArguments) {
    char buf[8] = "unset";
    for (auto [size, terminator] : {std::pair{1, 13}, std::pair{8, 256}, std::pair{8, -3}}) {
        port->ClearStatus();
        EXPECT_EQ(ReadLineTimed(*port.port, buf, size, terminator, 10), kSerialInvalidArgument);
        EXPECT_EQ(port->status(), kSerialInvalidArgument);
    }
}

struct WriteCase {
    int terminator;
    std::string wire;
};

class SerialPortWriteString : public SerialPortOnPty, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(SerialPortWriteString, SendsTheTextAndItsTerminator) {
    EXPECT_EQ(WriteStringTerm(*port.port, "ATZ", GetParam().terminator), 0);
    EXPECT_EQ(cable.read(10'000, GetParam().wire.size()), GetParam().wire);
    EXPECT_EQ(cable.read(50), "") << "and nothing more";
}

INSTANTIATE_TEST_SUITE_P(Table, SerialPortWriteString,
                         ::testing::Values(WriteCase{-2, "ATZ\r\n"}, WriteCase{13, "ATZ\r"}, WriteCase{-1, "ATZ"},
                                           WriteCase{0, std::string("ATZ\0", 4)}));

TEST_F(SerialPortOnPty, ModemLinesFollowTheFarEnd) {
    EXPECT_GT(DsrOn(*port.port), 0);
    EXPECT_GT(DcdOn(*port.port), 0);
    EXPECT_GT(CtsOn(*port.port), 0);
    EXPECT_EQ(TxEmpty(*port.port), 1);
    cable.hangUp();
    EXPECT_EQ(DsrOn(*port.port), 0);
    EXPECT_EQ(DcdOn(*port.port), 0);
}

TEST(SerialPortHelpers, WaitsEndWhenTheIdleRoutineSaysSo) {
    ::setenv("VORD_COM41", "/nonexistent", 1);
    SerialPort* port = PortOpen(kPort, 9600, 'N', 8, 1);
    ::unsetenv("VORD_COM41");
    int rounds = 0;
    SetIdleRoutine([&rounds] { return ++rounds < 3 ? 0 : -99; });
    EXPECT_EQ(Delay(*port, 60'000), -99);
    SetIdleRoutine(nullptr);
    EXPECT_EQ(rounds, 3);
    port->Close();
}

TEST_F(SerialPortOnPty, ATimeOutTooLongForTheClockStillWaits) {
    for (long timeout : {std::numeric_limits<long>::max(), std::numeric_limits<long>::max() / 1000}) {
        int rounds = 0;
        SetIdleRoutine([&rounds] { return ++rounds < 3 ? 0 : -99; });
        EXPECT_EQ(Delay(*port.port, timeout), -99) << timeout;
        EXPECT_EQ(rounds, 3);
        // Nothing comes down the line, so only the idle routine ends the read.
        rounds = 0;
        char buf[8];
        EXPECT_EQ(ReadLineTimed(*port.port, buf, sizeof buf, 13, timeout), -99) << timeout;
        EXPECT_EQ(rounds, 3);
        SetIdleRoutine(nullptr);
    }
}

// A driver that cannot count its queues, like the stub a failed open leaves.
TEST(SerialPortHelpers, TxEmptyWithoutQueueCountsSaysEmptyAndKeepsTheStatus) {
    ::setenv("VORD_COM41", "/nonexistent", 1);
    SerialPort* port = PortOpen(kPort, 9600, 'N', 8, 1);
    ::unsetenv("VORD_COM41");
    ASSERT_EQ(port->status(), kSerialNoHardware);
    EXPECT_EQ(TxEmpty(*port), 1);
    EXPECT_EQ(port->status(), kSerialNoHardware);
    std::vector<std::string> lines;
    EXPECT_EQ(port->Dump([&lines](const std::string& l) { lines.push_back(l); }), kSerialNotSupported);
    EXPECT_EQ(lines, (std::vector<std::string>{"Port dump not supported for this driver", ""}));
    port->Close();
}

TEST(SerialPortList, CloseAllPortsClosesEveryOpenPort) {
    Cable a;
    SerialPort* p1 = PortOpen(kPort, 9600, 'N', 8, 1);
    ASSERT_EQ(p1->status(), 0);
    SerialPort* p2 = PortOpen(kPort + 1, 9600, 'N', 8, 1); // /dev/ttyS41 does not exist: a stub, still listed
    const int open = OpenPortCount();
    EXPECT_GE(open, 2);
    CloseAllPorts();
    EXPECT_EQ(OpenPortCount(), 0);
    SerialPort* again = PortOpen(kPort, 9600, 'N', 8, 1);
    EXPECT_EQ(again->status(), 0) << "the device was released";
    again->Close();
    (void)p2;
}

TEST_F(SerialPortOnPty, DumpDescribesThePort) {
    std::vector<std::string> lines;
    EXPECT_EQ(port->Dump([&lines](const std::string& l) { lines.push_back(l); }), 0);
    ASSERT_EQ(lines.size(), 10u);
    EXPECT_EQ(lines[0], "");
    EXPECT_EQ(lines[1].rfind("Port type:  MS Windows  DCB BaudRate: 19200 ", 0), 0u);
    EXPECT_EQ(lines[9], "8250:0000");
}

} // namespace
