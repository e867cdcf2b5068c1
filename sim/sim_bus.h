// A bus of simulated controllers, without any I/O: bytes from the line go in, answers come out.
//
// Principles of operation:
// - Request frames are found in the byte stream: STX, text, ETX, block check. Whatever lies
//   between frames (the 0x00/0xFF trailer of every request, noise) is skipped; an STX inside
//   a frame starts the frame afresh, and a frame that grows past MAX_REQUEST_FRAME bytes
//   without an ETX is dropped, so no input can grow the state.
// - A frame with a wrong block check, for an address nobody has, or with a text that is no
//   command, gets no answer at all, as on a real bus.
// - Commands: "aaRXP0" and "aaRXS0" read PV or SV and get an "RD" answer; "aaWXS0 dddd"
//   (sign, four digits in the controller's decimals) sets SV and gets a "WD" answer.
// - Faults are drawn per answer from a generator seeded once, so that the same seed and the
//   same requests give the same answers, faults included.
// - Not thread-safe: one owner calls everything.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

struct SimController {
    int address; // 1..99
    double pv;
    double sv;
    int decimals; // 0..9: the answer's four digits carry this many decimals
};

struct SimFaults { // each a probability 0..1 applied per answer, reproducible from the seed
    double delay = 0;
    int delayMs = 300;  // pause before the answer
    double silence = 0; // no answer at all; a write still takes effect
    double badBcc = 0;  // the answer's block check is wrong
    double garbage = 0;
    int garbageBytes = 5; // random bytes, never ACK, before the answer
    double split = 0;
    int splitPauseMs = 100; // the answer goes out as fewer than 15 bytes, then the rest after this pause
    double flood = 0;
    int floodBytes = 200;    // random bytes after the answer
    double wrongAddress = 0; // answer carries another address
};

enum SimFaultBit : unsigned {
    FAULT_DELAY = 1u << 0,
    FAULT_SILENCE = 1u << 1,
    FAULT_BAD_BCC = 1u << 2,
    FAULT_GARBAGE = 1u << 3,
    FAULT_SPLIT = 1u << 4,
    FAULT_FLOOD = 1u << 5,
    FAULT_WRONG_ADDRESS = 1u << 6,
};

struct SimFaultKind {
    const char* name; // as orvel-sim's options and its log spell it
    SimFaultBit bit;
    double SimFaults::*probability;
};

// Every fault, in the order in which each answer draws them.
inline constexpr SimFaultKind SIM_FAULT_KINDS[] = {
    {"silence", FAULT_SILENCE, &SimFaults::silence},
    {"delay", FAULT_DELAY, &SimFaults::delay},
    {"bad-bcc", FAULT_BAD_BCC, &SimFaults::badBcc},
    {"garbage", FAULT_GARBAGE, &SimFaults::garbage},
    {"split", FAULT_SPLIT, &SimFaults::split},
    {"flood", FAULT_FLOOD, &SimFaults::flood},
    {"wrong-address", FAULT_WRONG_ADDRESS, &SimFaults::wrongAddress},
};

// The fault of that name, or null.
[[nodiscard]] inline const SimFaultKind* FindFaultKind(std::string_view name) {
    for (const SimFaultKind& kind : SIM_FAULT_KINDS) {
        if (name == kind.name)
            return &kind;
    }
    return nullptr;
}

// 01 with one decimal, 03 with none, 05 with two, 12 with one and negative values; each PV
// starts away from its SV, so that a demo shows it moving.
[[nodiscard]] std::vector<SimController> DefaultControllers();

// Empty when the controllers can make a bus; otherwise a sentence naming the first problem:
// an address outside 1..99 or given twice, decimals outside 0..9, or a PV or SV that four
// digits cannot carry with those decimals.
[[nodiscard]] std::string CheckControllers(const std::vector<SimController>& controllers);

// Empty when every probability is within 0..1 and the sizes and pauses are sensible.
[[nodiscard]] std::string CheckFaults(const SimFaults& faults);

inline constexpr int MAX_REQUEST_FRAME = 64; // no request of the console is longer
inline constexpr int READ_ANSWER_LENGTH = 16;
inline constexpr int WRITE_ANSWER_LENGTH = 15;

// One answer frame: 'R' gives the 16-byte "RD" frame with the decimal digit, 'W' the 15-byte
// "WD" frame (always an SV). The value is rounded to four digits with those decimals.
[[nodiscard]] std::vector<unsigned char> BuildAnswerFrame(char type, int address, bool sv, double value,
                                                          int decimals);

struct SimChunk {
    std::chrono::milliseconds pause{0}; // wait this long (after the previous chunk) before writing
    std::vector<unsigned char> bytes;
};

// What one controller does about one request it understood.
struct SimAnswer {
    int address = 0;                                        // the controller asked
    std::string request;                                    // the request's text, e.g. "01RXP0"
    unsigned faults = 0;                                    // SimFaultBit values that fired
    std::vector<SimChunk> chunks;                           // empty when silenced
    [[nodiscard]] std::vector<unsigned char> Bytes() const; // all chunks together
};

class SimBus {
public:
    // Controllers that CheckControllers would refuse are left out (the first of an address wins).
    explicit SimBus(std::vector<SimController> controllers, SimFaults busFaults = {},
                    std::map<int, SimFaults> controllerFaults = {}, uint64_t seed = 1);

    // Takes count bytes from the line; appends one SimAnswer for each request that a controller
    // understood, silenced answers included. Frames may span calls.
    void Feed(const unsigned char* data, size_t count, std::vector<SimAnswer>& answers);

    // Moves every PV toward its SV as elapsed time passes.
    void Advance(std::chrono::duration<double> elapsed);

    // Null when nobody has that address.
    [[nodiscard]] const SimController* Find(int address) const;
    [[nodiscard]] const std::vector<SimController>& Controllers() const { return m_controllers; }

    [[nodiscard]] uint64_t RequestsSeen() const { return m_requestsSeen; } // frames with a good block check
    [[nodiscard]] uint64_t BadChecks() const { return m_badChecks; }       // frames with a wrong one

private:
    enum class State { Hunt, Text, Check };

    void TakeByte(unsigned char byte, std::vector<SimAnswer>& answers);
    bool Act(const unsigned char* text, int length, std::vector<SimAnswer>& answers); // false: not understood
    SimController* FindMutable(int address);
    void ApplyFaults(SimAnswer& answer, std::vector<unsigned char> frame);

    std::vector<SimController> m_controllers;
    SimFaults m_busFaults;
    std::map<int, SimFaults> m_controllerFaults;
    uint64_t m_random; // state of the generator that seeds each answer's own draws

    State m_state = State::Hunt;
    unsigned char m_frame[MAX_REQUEST_FRAME] = {};
    int m_length = 0;

    uint64_t m_requestsSeen = 0;
    uint64_t m_badChecks = 0;
};
