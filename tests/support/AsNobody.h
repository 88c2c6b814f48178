#pragma once
// Runs a step of a test as another user, so that a folder's or a file's mode counts even for root.
#include <cstdlib>
#include <functional>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

constexpr uid_t kNobody = 65534;

// Runs body in a child process as nobody (uid and gid 65534, no other groups) and gives the child's exit
// status; 99 when the child could not become nobody, -1 when it did not end normally.
inline int asNobody(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            std::_Exit(99);
        std::_Exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// As asNobody when we are root; an ordinary user already meets the modes, so the body runs here.
inline int asOrdinaryUser(const std::function<int()>& body) {
    return ::geteuid() == 0 ? asNobody(body) : body();
}

} // namespace testsupport
