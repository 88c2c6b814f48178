#pragma once
// The link layer on an in-memory port with a clock the test moves: for the modem lines, line errors, queue
// states and timers that a pseudo-terminal cannot produce or would make a test wait for.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "FakeLinkClock.h"
#include "commserver/LinkLayer.h"
#include "remoteunit/MemorySerialPort.h"

class MemoryLinkFixture : public ::testing::Test {
protected:
    void SetUp() override {
        port = MemorySerialPort::Open(0);
        link.SetPort(port);
        link.timers.OpticalDelay = 0;
        link.ResetReceiver();
    }
    void TearDown() override { port->Close(); }
    // Bytes arriving from the remote unit.
    void push(const std::vector<std::uint8_t>& bytes) { port->PushRx(bytes); }

    FakeLinkClock clock;
    comms::LinkLayer link{clock};
    MemorySerialPort* port = nullptr;
};
