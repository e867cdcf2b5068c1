// The termios record of the line, built apart from the calls that apply it, so that its flags can
// be checked without a device (a pseudo-terminal forces 8 data bits and no parity on whatever it
// is given).
#pragma once

#include <termios.h>

#include <cstdint>

// Turns tio into a raw line: no echo, no line editing, no translation, no flow control, every
// received byte delivered unchanged; receiver on, modem status ignored; reads never wait.
// dataBits 7 or 8, parity 0 none / 1 odd / 2 even, stopBits 0 one / 2 two. Any other value
// gives false and leaves tio as it was. The speed is not touched.
[[nodiscard]] bool MakeRawLine(termios& tio, uint8_t dataBits, uint8_t parity, uint8_t stopBits);

// The B constant of a speed that has one. False for a speed that only an exact setting takes.
[[nodiscard]] bool StandardSpeed(uint32_t speed, speed_t* constant);
