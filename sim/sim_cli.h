// The command line of orvel-sim, turned into SimOptions.
#pragma once

#include <string>
#include <vector>

#include "sim_server.h"

struct SimCommandLine {
    SimOptions options;
    bool help = false;
    bool verbose = false; // log requests and answers on stderr
};

// args without the program name. False with a sentence in *error for anything it cannot take:
// an unknown option, a missing or malformed value, a value out of range, controllers that
// cannot make a bus. Options may be written "--name value" or "--name=value".
[[nodiscard]] bool ParseSimCommandLine(const std::vector<std::string>& args, SimCommandLine* out,
                                       std::string* error);

// The --help text.
[[nodiscard]] const char* SimUsage();
