// Serves a SimBus on a line: the master side of a pseudo-terminal that it creates, or a serial
// device behind which it plays the bus.
//
// Principles of operation:
// - On a pseudo-terminal the server keeps a slave descriptor of its own open from creation on,
//   in raw mode, so that nothing echoes and the master never sees a hang-up while the console
//   closes and reopens the slave. That descriptor is not locked: the console's own TIOCEXCL and
//   flock still keep other programs out.
// - A pseudo-terminal keeps its exclusive flag after its opener closes it (its master is still
//   open), which would lock out everyone but root from then on. So whenever a descriptor of the
//   slave is closed, the server clears the flag; a port should clear it on close itself, and
//   this covers the opener that was killed before it could.
// - On a device the server opens it exclusively, raw 8N1 at the chosen speed, and keys RTS
//   around each write for a converter whose transmitter follows RTS.
// - One serving thread reads, feeds the bus and writes the answers when they fall due; a pause
//   (delay, split) is a due time, never a sleep, so Stop returns promptly.
// - Everything public may be called from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim_bus.h"

struct SimOptions {
    std::vector<SimController> controllers = DefaultControllers();
    SimFaults busFaults;                       // for the whole bus
    std::map<int, SimFaults> controllerFaults; // per address, overrides busFaults for that address
    uint64_t seed = 1;
    bool pvMoves = true; // PV drifts toward SV over time (false: values stay fixed, for tests)
    std::string device;  // empty: create a pseudo-terminal
    std::string symlink; // optional symlink to the device path
    int speed = 9600;    // bits per second, for a device only
    // Called from the serving thread with one line for each request answered or silenced, each
    // bad block check and each line failure; null for none.
    std::function<void(const std::string&)> log;
};

// Whether a device can be served at this many bits per second.
[[nodiscard]] bool IsSupportedSpeed(int bitsPerSecond);

class SimServer {
public:
    explicit SimServer(SimOptions options);
    ~SimServer(); // stops
    SimServer(const SimServer&) = delete;
    SimServer& operator=(const SimServer&) = delete;

    // Checks the options, creates the pseudo-terminal or opens the device, makes the symlink and
    // starts the serving thread. False with a sentence in *error (may be null) when anything
    // fails; then nothing is left open. Call once.
    bool Start(std::string* error);
    // Ends the serving thread, drops answers not yet written, removes the symlink, closes the line.
    void Stop();

    [[nodiscard]] const std::string& DevicePath() const; // the path the console opens, e.g. /dev/pts/7
    // False once Stop ran or the line failed (a device unplugged); then LastError says why.
    [[nodiscard]] bool Running() const;
    [[nodiscard]] std::string LastError() const;

    [[nodiscard]] uint64_t RequestsSeen() const; // request frames with a good block check, understood or not
    [[nodiscard]] uint64_t AnswersSent() const;  // answers whose last byte has been written
    bool WaitForAnswers(uint64_t n, std::chrono::milliseconds timeout) const; // until AnswersSent() >= n
    bool WaitForRequests(uint64_t n, std::chrono::milliseconds timeout) const;
    // Current state of a controller; address 0 when nobody has that address.
    [[nodiscard]] SimController Controller(int address) const;

private:
    struct Pending {
        std::chrono::steady_clock::time_point due;
        std::vector<unsigned char> bytes;
        size_t written = 0;
        bool lastOfAnswer = false;
    };

    bool OpenPseudoTerminal(std::string* error);
    bool OpenDevice(std::string* error);
    void WatchCloses();
    bool MakeSymlink(std::string* error);
    void Serve();
    void Schedule(std::vector<SimAnswer>& answers, std::chrono::steady_clock::time_point now);
    bool WriteDue(std::chrono::steady_clock::time_point now);
    void AdvanceLocked(std::chrono::steady_clock::time_point now) const;
    void Fail(const std::string& why);
    void Log(const std::string& line) const;
    void CloseAll();

    SimOptions m_options;
    std::string m_devicePath;
    bool m_symlinkMade = false;
    int m_lineFd = -1;       // pseudo-terminal master or the device
    int m_slaveFd = -1;      // held open so that the master never hangs up
    int m_closeWatchFd = -1; // inotify: a descriptor of the slave was closed
    int m_wakeFds[2] = {-1, -1};
    std::thread m_thread;

    mutable std::mutex m_mutex; // guards the bus, the clock it last moved at, m_lastError
    mutable std::condition_variable m_changed;
    std::unique_ptr<SimBus> m_bus;
    mutable std::chrono::steady_clock::time_point m_movedAt;
    std::string m_lastError;
    uint64_t m_requestsSeen = 0;
    uint64_t m_answersSent = 0;
    std::atomic<bool> m_running{false};

    std::deque<Pending> m_outgoing; // serving thread only, in due order
    std::chrono::steady_clock::time_point m_lastDue;
};
