#pragma once
#include <atomic>

// What the window thread asks of the worker thread. The worker takes the request and clears it in one step,
// so a request made while the worker is busy with the previous one (a reopen during a long modem dialogue, a
// quit during a reopen) waits for the next cycle instead of being wiped out.
namespace comms {

class WorkerRequest {
public:
    static constexpr int None = 0;
    static constexpr int Reopen = 1;
    static constexpr int Quit = 2;
    static constexpr int ReopenWhenAllowed = 3;

    // A quit is never replaced by a later request.
    void Post(int request) {
        int current = value_.load();
        while (current != Quit && !value_.compare_exchange_weak(current, request)) {
        }
    }
    int Take() { return value_.exchange(None); }
    int Peek() const { return value_.load(); }

private:
    std::atomic<int> value_{None};
};

} // namespace comms
