#include "commserver/LinkClock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace comms {

namespace {
class SystemClock final : public LinkClock {
public:
    std::int64_t Now() override { return static_cast<std::int64_t>(std::time(nullptr)); }
    void SleepMs(int milliseconds) override {
        if (milliseconds > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }
};
} // namespace

LinkClock& LinkClock::System() {
    static SystemClock clock;
    return clock;
}

} // namespace comms
