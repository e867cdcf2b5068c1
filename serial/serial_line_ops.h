// The calls with which CSerialPort keys the modem lines and moves bytes, gathered in one table so
// that a test can record their order (RTS is invisible on a pseudo-terminal) while the real calls
// still run underneath. The port uses kRealLineOps unless told otherwise.
#pragma once

#include <sys/types.h>

#include <cstddef>

struct SerialLineOps {
    // Raises (on) or drops the modem-control lines in bits (TIOCM_RTS, TIOCM_DTR).
    // Returns -1 with errno on failure; pseudo-terminals have no modem lines and always fail.
    int (*setModemLines)(int fd, int bits, bool on);
    // write(2): bytes taken, or -1 with errno.
    ssize_t (*write)(int fd, const void* data, size_t length);
    // tcdrain(3): returns once the driver reports the output sent; -1 with errno on failure.
    int (*drain)(int fd);
    // FIONREAD: bytes queued for reading into *count; -1 with errno on failure.
    int (*queued)(int fd, int* count);
    // read(2): bytes delivered, or -1 with errno.
    ssize_t (*read)(int fd, void* data, size_t length);
};

extern const SerialLineOps kRealLineOps;
