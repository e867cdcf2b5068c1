// COM numbers to device paths. COMn is /dev/ttyS(n-1) unless bound to another path,
// e.g. COM1 to /dev/ttyUSB0 for a USB RS485 converter or to the simulated bus's terminal.
#pragma once

#include <string>

// Path behind COM<port>; empty for a port outside 1..8.
[[nodiscard]] std::string ComDevicePath(int port);

// Binds COM<port> (1..8) to path; false for a port outside 1..8 or an empty path.
bool SetComDevicePath(int port, const std::string& path);

// Back to the default /dev/ttyS(n-1) for every port.
void ResetComDevicePaths();
