#pragma once
// A Sarnic logger on COM1: a pseudo-terminal pair whose slave stands for the port, the simulated logger on
// its master, the English language file, a scripted user and time-outs short enough for tests.
#include <gtest/gtest.h>

#include "ScriptedUi.h"
#include "TestEnv.h"
#include "WidgetTests.h"
#include "directlink/Com32.h"
#include "directlink/SarnicComms.h"
#include "remoteunit/PtyPair.h"
#include "sarnicsim/SarnicSimulator.h"

#include <memory>

class SarnicFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        ASSERT_TRUE(pty.ok());
        pty.mapToPort(0);
        sim = std::make_unique<SarnicSimulator>(pty.masterFd());
        directlink::Com32Timing t;
        t.firstByteMs = 800; // room for a loaded machine; failures still end within seconds
        t.interByteMs = 150;
        t.retries = 2;
        t.retryPauseMs = 10;
        t.wakeMs = 20;
        directlink::Com32Library().setTiming(t);
    }
    void TearDown() override {
        directlink::COMM_CLOSE();
        directlink::Com32Library().setTiming({});
    }
    // Connects on COM1 and forgets the requests of the connect.
    void connect() {
        ASSERT_TRUE(directlink::LinkConnect(1));
        sim->clearLog();
    }

    TestEnv env;
    ScriptedUi ui;
    PtyPair pty;
    std::unique_ptr<SarnicSimulator> sim;
};
