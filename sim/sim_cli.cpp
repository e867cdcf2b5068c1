#include "sim_cli.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <set>
#include <utility>

namespace {

const char kUsage[] =
    "Usage: orvel-sim [OPTION]...\n"
    "A bus of simulated temperature controllers on a pseudo-terminal (or a serial device).\n"
    "Prints the device path on one line, then answers read and write requests until SIGINT or\n"
    "SIGTERM. Requests: STX text ETX block-check with the text \"aaRXP0\" (read PV), \"aaRXS0\"\n"
    "(read SV) or \"aaWXS0 dddd\" (write SV: sign, four digits in the controller's decimals).\n"
    "\n"
    "Bus:\n"
    "  --controller ADDR[:pv=X,sv=Y,dec=N]\n"
    "                        a controller at address 1..99 with its process value, set value and\n"
    "                        decimal count 0..9 (defaults: dec=1, sv=0, pv=sv). Repeat for more;\n"
    "                        any --controller replaces the default bus of 01 (1 decimal), 03 (0),\n"
    "                        05 (2) and 12 (1, negative values)\n"
    "  --static              PV stays where it is (default: PV moves toward SV over time)\n"
    "\n"
    "Faults, each a probability 0..1 drawn per answer:\n"
    "  --fault NAME=PROB     for the whole bus\n"
    "  --fault ADDR:NAME=PROB\n"
    "                        for one controller, on top of the bus-wide ones\n"
    "      NAME is one of:\n"
    "        delay           the answer comes after --delay-ms\n"
    "        silence         no answer (a write still takes effect)\n"
    "        bad-bcc         the answer's block check is wrong\n"
    "        garbage         --garbage-bytes random bytes (never ACK) before the answer\n"
    "        split           fewer than 15 bytes, then the rest after --split-pause-ms\n"
    "        flood           --flood-bytes random bytes after the answer\n"
    "        wrong-address   the answer carries another address\n"
    "  --delay-ms MS         pause of the delay fault (default 300)\n"
    "  --split-pause-ms MS   pause inside a split answer (default 100)\n"
    "  --garbage-bytes N     size of the garbage (default 5)\n"
    "  --flood-bytes N       size of the flood (default 200)\n"
    "  --seed N              seed of the fault draws; the same seed and requests give the same\n"
    "                        faults (default 1)\n"
    "\n"
    "Line:\n"
    "  --device PATH         serve on this serial device (e.g. behind an RS485 converter keyed by\n"
    "                        RTS) instead of a new pseudo-terminal; raw, 8 data bits, no parity, 1 stop bit\n"
    "  --speed BPS           speed of --device: 300, 600, 1200, 1800, 2400, 4800, 9600 (default),\n"
    "                        19200, 38400, 57600, 115200, 230400, 460800 or 921600\n"
    "  --link PATH           also make a symbolic link PATH to the device; removed on exit\n"
    "\n"
    "Other:\n"
    "  --verbose             log every request, answer and fault on stderr\n"
    "  -h, --help            show this text\n"
    "\n"
    "Exit status: 0 when stopped by a signal, 1 when the line cannot be served, 2 for bad options.\n"
    "Example: orvel-sim --controller 3:pv=24.7,sv=25.0,dec=1 --fault 3:silence=0.2 --link /tmp/bus\n";

std::optional<double> ParseDouble(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno != 0 || !std::isfinite(value))
        return std::nullopt;
    return value;
}

std::optional<long long> ParseInteger(const std::string& text, long long low, long long high) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return std::nullopt;
    char* end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0 || value < static_cast<unsigned long long>(low) ||
        value > static_cast<unsigned long long>(high))
        return std::nullopt;
    return static_cast<long long>(value);
}

std::optional<int> ParseAddress(const std::string& text) {
    const auto address = text.size() <= 2 ? ParseInteger(text, 1, 99) : std::nullopt;
    if (!address)
        return std::nullopt;
    return static_cast<int>(*address);
}

// "ADDR:pv=X,sv=Y,dec=N" or "ADDR".
bool ParseController(const std::string& text, SimController* c, std::string* error) {
    const size_t colon = text.find(':');
    const auto address = ParseAddress(text.substr(0, colon));
    if (!address) {
        *error = "'" + text + "' does not start with an address 1 to 99";
        return false;
    }
    *c = {*address, 0.0, 0.0, 1};
    if (colon == std::string::npos)
        return true;

    std::optional<double> pv, sv;
    std::optional<long long> dec;
    const std::string settings = text.substr(colon + 1);
    size_t start = 0;
    while (start <= settings.size()) {
        const size_t comma = std::min(settings.find(',', start), settings.size());
        const std::string item = settings.substr(start, comma - start);
        const size_t eq = item.find('=');
        const std::string key = item.substr(0, eq);
        const std::string value = eq == std::string::npos ? std::string() : item.substr(eq + 1);
        bool ok = false;
        if (key == "pv" && !pv)
            ok = (pv = ParseDouble(value)).has_value();
        else if (key == "sv" && !sv)
            ok = (sv = ParseDouble(value)).has_value();
        else if (key == "dec" && !dec)
            ok = (dec = ParseInteger(value, 0, 9)).has_value();
        if (!ok) {
            *error =
                "'" + item + "' in '" + text + "' is not one of pv=NUMBER, sv=NUMBER, dec=0..9 (each once)";
            return false;
        }
        start = comma + 1;
    }
    c->sv = sv.value_or(0.0);
    c->pv = pv.value_or(c->sv);
    c->decimals = static_cast<int>(dec.value_or(1));
    return true;
}

struct FaultSetting {
    int address; // 0: the whole bus
    std::string name;
    double probability;
};

// "NAME=PROB" or "ADDR:NAME=PROB".
bool ParseFault(const std::string& text, FaultSetting* setting, std::string* error) {
    const size_t colon = text.find(':');
    std::string rest = text;
    setting->address = 0;
    if (colon != std::string::npos) {
        const auto address = ParseAddress(text.substr(0, colon));
        if (!address) {
            *error = "'" + text + "' does not start with an address 1 to 99";
            return false;
        }
        setting->address = *address;
        rest = text.substr(colon + 1);
    }
    const size_t eq = rest.find('=');
    setting->name = rest.substr(0, eq);
    if (!FindFaultKind(setting->name)) {
        std::string names;
        for (const SimFaultKind& kind : SIM_FAULT_KINDS)
            names += std::string(names.empty() ? "" : ", ") + kind.name;
        *error = "'" + setting->name + "' is no fault; use one of " + names;
        return false;
    }
    const auto probability = eq == std::string::npos ? std::nullopt : ParseDouble(rest.substr(eq + 1));
    if (!probability || *probability < 0.0 || *probability > 1.0) {
        *error = "'" + text + "' needs a probability from 0 to 1, e.g. " + setting->name + "=0.25";
        return false;
    }
    setting->probability = *probability;
    return true;
}

} // namespace

const char* SimUsage() {
    return kUsage;
}

bool ParseSimCommandLine(const std::vector<std::string>& args, SimCommandLine* out, std::string* error) {
    SimCommandLine line;
    std::vector<SimController> controllers;
    std::vector<FaultSetting> faults;
    std::optional<long long> delayMs, splitPauseMs, garbageBytes, floodBytes, speed;

    const std::set<std::string> withValue = {
        "--controller",  "--fault", "--delay-ms", "--split-pause-ms", "--garbage-bytes",
        "--flood-bytes", "--seed",  "--device",   "--speed",          "--link"};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const size_t eq = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, eq);
        std::string value;
        if (withValue.count(name)) {
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                *error = name + " needs a value";
                return false;
            }
        } else if (eq != std::string::npos) {
            *error = name + " takes no value";
            return false;
        }
        // Reports a bad value in the same words for every option.
        const auto bad = [&](const std::string& expected) {
            *error = name + " " + value + ": " + expected;
            return false;
        };

        if (name == "-h" || name == "--help") {
            line.help = true;
        } else if (name == "--static") {
            line.options.pvMoves = false;
        } else if (name == "--verbose") {
            line.verbose = true;
        } else if (name == "--controller") {
            SimController c{};
            if (!ParseController(value, &c, error)) {
                *error = name + ": " + *error;
                return false;
            }
            controllers.push_back(c);
        } else if (name == "--fault") {
            FaultSetting setting{};
            if (!ParseFault(value, &setting, error)) {
                *error = name + ": " + *error;
                return false;
            }
            faults.push_back(setting);
        } else if (name == "--delay-ms") {
            if (!(delayMs = ParseInteger(value, 0, 60000)))
                return bad("expected milliseconds from 0 to 60000");
        } else if (name == "--split-pause-ms") {
            if (!(splitPauseMs = ParseInteger(value, 0, 60000)))
                return bad("expected milliseconds from 0 to 60000");
        } else if (name == "--garbage-bytes") {
            if (!(garbageBytes = ParseInteger(value, 1, 4096)))
                return bad("expected a count from 1 to 4096");
        } else if (name == "--flood-bytes") {
            if (!(floodBytes = ParseInteger(value, 1, 65536)))
                return bad("expected a count from 1 to 65536");
        } else if (name == "--seed") {
            const auto seed = ParseInteger(value, 0, LLONG_MAX);
            if (!seed)
                return bad("expected a number from 0 to " + std::to_string(LLONG_MAX));
            line.options.seed = static_cast<uint64_t>(*seed);
        } else if (name == "--device" || name == "--link") {
            if (value.empty())
                return bad("expected a path");
            (name == "--device" ? line.options.device : line.options.symlink) = value;
        } else if (name == "--speed") {
            speed = ParseInteger(value, 0, INT_MAX);
            if (!speed || !IsSupportedSpeed(static_cast<int>(*speed)))
                return bad("expected one of 300, 600, 1200, 1800, 2400, 4800, 9600, 19200, 38400, 57600, "
                           "115200, 230400, 460800, 921600");
        } else {
            *error = arg.rfind("-", 0) == 0 ? "unknown option " + arg : "unexpected argument " + arg;
            return false;
        }
    }

    if (speed && line.options.device.empty()) {
        *error = "--speed needs --device: a pseudo-terminal has no speed";
        return false;
    }
    if (speed)
        line.options.speed = static_cast<int>(*speed);
    if (!controllers.empty())
        line.options.controllers = controllers;
    const std::string problem = CheckControllers(line.options.controllers);
    if (!problem.empty()) {
        *error = "--controller: " + problem;
        return false;
    }

    // Bus-wide settings first, whatever their place on the line, so that a controller's own
    // faults build on them.
    SimFaults& bus = line.options.busFaults;
    for (const FaultSetting& f : faults) {
        if (f.address == 0)
            bus.*FindFaultKind(f.name)->probability = f.probability;
    }
    bus.delayMs = static_cast<int>(delayMs.value_or(bus.delayMs));
    bus.splitPauseMs = static_cast<int>(splitPauseMs.value_or(bus.splitPauseMs));
    bus.garbageBytes = static_cast<int>(garbageBytes.value_or(bus.garbageBytes));
    bus.floodBytes = static_cast<int>(floodBytes.value_or(bus.floodBytes));
    for (const FaultSetting& f : faults) {
        if (f.address == 0)
            continue;
        bool known = false;
        for (const SimController& c : line.options.controllers)
            known = known || c.address == f.address;
        if (!known) {
            *error = "--fault " + std::to_string(f.address) + ":" + f.name + ": no controller has address " +
                     std::to_string(f.address);
            return false;
        }
        SimFaults& own = line.options.controllerFaults.try_emplace(f.address, bus).first->second;
        own.*FindFaultKind(f.name)->probability = f.probability;
    }

    *out = std::move(line);
    return true;
}
