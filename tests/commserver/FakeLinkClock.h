#pragma once
#include <vector>

#include "commserver/LinkClock.h"

// A clock the test moves by hand; sleeps are recorded and move it too.
class FakeLinkClock final : public comms::LinkClock {
public:
    explicit FakeLinkClock(std::int64_t start = 1'700'000'000) : now_(start) {}
    std::int64_t Now() override { return now_; }
    void SleepMs(int ms) override { sleeps.push_back(ms); }
    void Advance(std::int64_t seconds) { now_ += seconds; }
    // Moves to the next second that leaves this remainder modulo 25 (the test modes' schedule).
    void MoveToSecondOf25(int remainder) {
        while (now_ % 25 != remainder)
            ++now_;
    }
    std::vector<int> sleeps;

private:
    std::int64_t now_;
};
