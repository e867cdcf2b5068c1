#include "exact_speed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <cerrno>

int SetExactSpeed(int fd, uint32_t speed) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return errno;
    // Input speed given explicitly too (CIBAUD), so that both directions run at the number asked.
    tio.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
    tio.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
    tio.c_ispeed = speed;
    tio.c_ospeed = speed;
    while (ioctl(fd, TCSETS2, &tio) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

bool ReadLineSpeeds(int fd, uint32_t* input, uint32_t* output) {
    termios2 tio{};
    if (ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    *input = tio.c_ispeed;
    *output = tio.c_ospeed;
    return true;
}
