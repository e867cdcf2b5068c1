#include "line_settings.h"

#include <iterator>

bool MakeRawLine(termios& tio, uint8_t dataBits, uint8_t parity, uint8_t stopBits) {
    if ((dataBits != 7 && dataBits != 8) || parity > 2 || (stopBits != 0 && stopBits != 2))
        return false;

    cfmakeraw(&tio);
    // cfmakeraw leaves some input and local flags as they were. With all of them off no byte is
    // checked, marked, translated or held back: no parity check (INPCK would let IGNPAR drop a
    // bad byte and PARMRK mark it with 0xFF 0x00 and double every 0xFF), no XON/XOFF.
    tio.c_iflag = 0;
    tio.c_oflag = 0;
    tio.c_lflag = 0;
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR);
    tio.c_cflag |= CLOCAL | CREAD | (dataBits == 7 ? CS7 : CS8);
    if (parity != 0)
        tio.c_cflag |= PARENB | (parity == 1 ? PARODD : 0);
    if (stopBits == 2)
        tio.c_cflag |= CSTOPB;
    // Reads take what is queued and return at once.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    return true;
}

bool StandardSpeed(uint32_t speed, speed_t* constant) {
    struct Entry {
        uint32_t speed;
        speed_t constant;
    };
    static constexpr Entry kTable[] = {
        {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
        {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
        {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
        {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800},
    };
    for (const Entry& entry : kTable) {
        if (entry.speed == speed) {
            *constant = entry.constant;
            return true;
        }
    }
    return false;
}
