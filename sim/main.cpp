// orvel-sim: a simulated bus of controllers for the console, for other programs or behind a
// real converter. Prints the device path, serves until SIGINT or SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "sim_cli.h"
#include "sim_server.h"

namespace {

void LogLine(const std::string& line) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[16];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    std::fprintf(stderr, "%s.%03lld %s\n", stamp, static_cast<long long>(millis), line.c_str());
}

} // namespace

int main(int argc, char** argv) {
    SimCommandLine line;
    std::string error;
    if (!ParseSimCommandLine(std::vector<std::string>(argv + 1, argv + argc), &line, &error)) {
        std::fprintf(stderr, "orvel-sim: %s\nTry 'orvel-sim --help'.\n", error.c_str());
        return 2;
    }
    if (line.help) {
        std::fputs(SimUsage(), stdout);
        return 0;
    }
    if (line.verbose)
        line.options.log = LogLine;

    // Blocked before the serving thread exists, so that it inherits the mask and only the wait
    // below takes these signals; the link is then always removed on the way out.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    SimServer server(line.options);
    if (!server.Start(&error)) {
        std::fprintf(stderr, "orvel-sim: %s\n", error.c_str());
        return 1;
    }
    std::printf("%s\n", server.DevicePath().c_str());
    std::fflush(stdout);

    const timespec tick{0, 200 * 1000 * 1000}; // how soon a failed line is noticed
    while (server.Running()) {
        if (sigtimedwait(&stopSignals, nullptr, &tick) > 0)
            break;
    }
    const std::string failure = server.Running() ? std::string() : server.LastError();
    server.Stop();
    if (!failure.empty()) {
        std::fprintf(stderr, "orvel-sim: %s\n", failure.c_str());
        return 1;
    }
    return 0;
}
