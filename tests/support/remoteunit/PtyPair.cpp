#include "remoteunit/PtyPair.h"

#include <cstdlib>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        return;
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        closeMaster();
        return;
    }
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) {
        closeMaster();
        return;
    }
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0)
        return;
    // Raw from the start, so nothing the master writes before the port is opened gets echoed or edited.
    termios t{};
    ::tcgetattr(slave_, &t);
    ::cfmakeraw(&t);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    ::tcsetattr(slave_, TCSANOW, &t);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    if (!mappedVar_.empty())
        ::unsetenv(mappedVar_.c_str());
    closeMaster();
    if (slave_ >= 0)
        ::close(slave_);
}

void PtyPair::mapToPort(int portNumber) {
    mappedVar_ = "VORD_COM" + std::to_string(portNumber + 1);
    ::setenv(mappedVar_.c_str(), slavePath_.c_str(), 1);
}

void PtyPair::closeMaster() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}
