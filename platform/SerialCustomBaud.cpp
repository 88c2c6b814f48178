// Rates that the classic termios speed codes cannot express (14400, 28800, 56000 baud) go through the
// kernel's own rate field. Kept apart because the kernel's termios structure clashes with the C library's.
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace plat {

int SetCustomBaud(int fd, long baud) {
    struct termios2 t {};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return -1;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    return ::ioctl(fd, TCSETS2, &t) == 0 ? 0 : -1;
}

} // namespace plat
