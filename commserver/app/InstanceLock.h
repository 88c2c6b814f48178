#pragma once
#include <string>

// One server at a time for each user: the first step of a start takes an exclusive lock on a file in the user's
// private window folder and keeps it while the program runs; the system lets it go when the program ends, however
// it ends. A second server started at the same moment finds the lock taken and ends before touching anything.
namespace quendar {

constexpr const char* kInstanceLockName = "quendar32.lock";

class InstanceLock {
public:
    enum class Result {
        Taken,      // this program is the one server
        HeldByPeer, // another server runs
        Unusable,   // the lock file cannot be trusted or made; problem() says why
    };

    InstanceLock() = default;
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock in folder (made private to this user by the window interface). The file is opened without
    // following a link and without blocking, and is used only when it is a regular file of this user's that no
    // one else may write.
    Result Take(const std::string& folder);
    void Release();
    bool Held() const { return fd_ >= 0; }
    const std::string& problem() const { return problem_; }

private:
    int fd_ = -1;
    std::string problem_;
};

} // namespace quendar
