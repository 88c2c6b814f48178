#pragma once
#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A Hayes modem on the far end of a pseudo-terminal: it reads command lines ending in CR and answers each
// from a script ("OK", "ERROR", "NO CARRIER", "BUSY", "CONNECT 19200", or nothing at all), optionally echoing
// the command first. Commands without an entry are answered "OK". Carrier and DSR cannot travel over a
// pseudo-terminal: the in-memory port stands for them where a test needs them.
class FakeModem {
public:
    explicit FakeModem(int masterFd) : fd_(masterFd) {}
    ~FakeModem() { Stop(); }

    void Answer(const std::string& command, const std::string& reply) {
        std::lock_guard lock(mutex_);
        replies_[command] = reply;
    }
    // "" for a command means silence.
    void Echo(bool on) { echo_ = on; }
    void Start();
    void Stop();
    std::vector<std::string> Commands() const {
        std::lock_guard lock(mutex_);
        return commands_;
    }

private:
    void run();
    int fd_;
    std::atomic<bool> echo_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
    mutable std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    std::vector<std::string> commands_;
};
