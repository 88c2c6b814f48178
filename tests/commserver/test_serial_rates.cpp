// The rates a modem may ask for that Linux knows only as custom rates. This file sees the kernel's termios
// structure, so it includes nothing that brings in the C library's.
#include <gtest/gtest.h>

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "platform/SerialPort.h"
#include "remoteunit/PtyPair.h"

namespace {

TEST(SerialRates, CustomRatesOpenThroughTheKernelsRateField) {
    for (long baud : {14400L, 28800L, 56000L, 57600L}) {
        PtyPair pty;
        ASSERT_TRUE(pty.ok());
        pty.mapToPort(32);
        plat::SerialPort* port = plat::PortOpen(32, baud, 'N', 8, 1);
        EXPECT_EQ(port->status(), 0) << baud;
        struct termios2 t {};
        ASSERT_EQ(::ioctl(pty.slaveFd(), TCGETS2, &t), 0);
        EXPECT_EQ(static_cast<long>(t.c_ospeed), baud);
        port->Close();
    }
}

} // namespace
