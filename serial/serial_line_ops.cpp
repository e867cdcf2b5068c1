#include "serial_line_ops.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

int RealSetModemLines(int fd, int bits, bool on) {
    return ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

ssize_t RealWrite(int fd, const void* data, size_t length) {
    return ::write(fd, data, length);
}

int RealDrain(int fd) {
    return tcdrain(fd);
}

int RealQueued(int fd, int* count) {
    return ioctl(fd, FIONREAD, count);
}

ssize_t RealRead(int fd, void* data, size_t length) {
    return ::read(fd, data, length);
}

} // namespace

const SerialLineOps kRealLineOps = {RealSetModemLines, RealWrite, RealDrain, RealQueued, RealRead};
