#pragma once
#include <cstdint>

// Calendar seconds and sleeps for the link timers. The worker uses the system clock; tests step a clock of
// their own, so that timers of several seconds are checked without waiting for them.
namespace comms {

class LinkClock {
public:
    virtual ~LinkClock() = default;
    // Seconds since 1970.
    virtual std::int64_t Now() = 0;
    virtual void SleepMs(int milliseconds) = 0;

    static LinkClock& System();
};

} // namespace comms
