// The console's command line: which device each COM number stands for, and the simulated bus.
#pragma once

#include <QString>
#include <QStringList>

#include <map>
#include <string>

struct CommandLine {
    bool demo = false;                  // run on the simulated bus, bound to COM1
    std::map<int, std::string> devices; // COM number (1..8) -> device path, from --com N=DEVICE
    // -1: start the console. Otherwise end at once with this code, after printing output:
    // 0 for --help and --version (on stdout), 2 for a bad command line (on stderr).
    int exitCode = -1;
    QString output;
};

inline constexpr int kUsageError = 2;

// arguments[0] is the program. Never exits by itself and needs no application object.
[[nodiscard]] CommandLine ParseCommandLine(const QStringList& arguments);
