// orvelseries: the command line, the optional simulated bus, then the console.
#include <QStringList>

#include <cstdio>
#include <memory>
#include <string>

#include "com_map.h"
#include "command_line.h"
#include "sim_server.h"
#include "test_app.h"

int main(int argc, char** argv) {
    // The command line is read before any window system is touched, so --help, --version and
    // mistakes are answered on a machine without a display too.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine options = ParseCommandLine(arguments);
    if (options.exitCode >= 0) {
        std::fputs(options.output.toLocal8Bit().constData(), options.exitCode == 0 ? stdout : stderr);
        return options.exitCode;
    }
    for (const auto& [port, device] : options.devices)
        SetComDevicePath(port, device);

    // Outlives the application object, so the bus is still there when the console closes its port.
    std::unique_ptr<SimServer> bus;
    if (options.demo) {
        bus = std::make_unique<SimServer>(SimOptions{});
        std::string error;
        if (!bus->Start(&error)) {
            std::fprintf(stderr, "orvelseries: the simulated bus did not start: %s\n", error.c_str());
            return 1;
        }
        SetComDevicePath(1, bus->DevicePath());
    }

    CTestApp app(argc, argv);
    app.InitInstance();
    return 0;
}
