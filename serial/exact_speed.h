// Line speeds by number rather than by B constant (termios2 with BOTHER). glibc's cfsetspeed
// knows no 14400, 56000, 128000 or 256000; the kernel takes them this way if the driver can.
// In a file of its own because the kernel's termios declarations clash with <termios.h>.
#pragma once

#include <cstdint>

// Sets input and output speed of the open terminal fd to speed. 0 on success, else errno.
[[nodiscard]] int SetExactSpeed(int fd, uint32_t speed);

// The input and output speed the driver holds now; false with errno when they cannot be read.
[[nodiscard]] bool ReadLineSpeeds(int fd, uint32_t* input, uint32_t* output);
