// The console names ports COM1 to COM8; Linux names devices by path.
#include "com_map.h"

#include <array>

#include "port_settings.h"

namespace {

std::string DefaultPath(int port) {
    return "/dev/ttyS" + std::to_string(port - 1);
}

// Empty entry: the port keeps its default path. Only the UI thread and start-up touch this.
std::array<std::string, kPortCount>& Bindings() {
    static std::array<std::string, kPortCount> bindings;
    return bindings;
}

bool InRange(int port) {
    return port >= 1 && port <= kPortCount;
}

} // namespace

std::string ComDevicePath(int port) {
    if (!InRange(port))
        return {};
    const std::string& bound = Bindings()[static_cast<size_t>(port - 1)];
    return bound.empty() ? DefaultPath(port) : bound;
}

bool SetComDevicePath(int port, const std::string& path) {
    if (!InRange(port) || path.empty())
        return false;
    Bindings()[static_cast<size_t>(port - 1)] = path;
    return true;
}

void ResetComDevicePaths() {
    for (std::string& bound : Bindings())
        bound.clear();
}
