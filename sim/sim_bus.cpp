#include "sim_bus.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <utility>

#include "protocol.h"

namespace {

// How fast a PV settles: it covers about 63 % of the way to its SV in this time, so a demo
// polled every 1.2 s shows a new value on most polls for a minute or two.
constexpr double kSettleSeconds = 20.0;

constexpr int kMaxMagnitude = 9999; // four value digits

double Scale(int decimals) {
    double scale = 1.0;
    for (int i = 0; i < decimals; ++i)
        scale *= 10.0;
    return scale;
}

// In double, not in an integer type: a value too large for one would convert to a number
// that passes the four-digit check.
double Magnitude(double value, int decimals) {
    return std::round(std::fabs(value) * Scale(decimals));
}

// SplitMix64: small, fast and the same on every platform and standard library, which the
// reproducibility of a seeded fault sequence depends on.
uint64_t NextRandom(uint64_t& state) {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

class Draws {
public:
    explicit Draws(uint64_t seed) : m_state(seed) {}
    bool Chance(double probability) {
        const double unit = static_cast<double>(NextRandom(m_state) >> 11) * 0x1.0p-53; // [0, 1)
        return unit < probability;
    }
    int Below(int bound) { return static_cast<int>(NextRandom(m_state) % static_cast<uint64_t>(bound)); }
    unsigned char Byte() { return static_cast<unsigned char>(NextRandom(m_state)); }

private:
    uint64_t m_state;
};

void Seal(std::vector<unsigned char>& frame) {
    frame.back() = CalcBCC(frame.data(), static_cast<int>(frame.size()) - 1);
}

bool IsDigit(unsigned char c) {
    return c >= '0' && c <= '9';
}

} // namespace

std::vector<SimController> DefaultControllers() {
    return {
        {1, 18.5, 25.0, 1},
        {3, 150.0, 200.0, 0},
        {5, 21.50, 36.60, 2},
        {12, -12.3, -5.0, 1},
    };
}

std::string CheckControllers(const std::vector<SimController>& controllers) {
    std::set<int> seen;
    for (const SimController& c : controllers) {
        const std::string name = "controller " + std::to_string(c.address);
        if (c.address < 1 || c.address > 99)
            return name + ": the address must be 1 to 99";
        if (!seen.insert(c.address).second)
            return name + ": the address is given twice";
        if (c.decimals < 0 || c.decimals > 9)
            return name + ": the decimals must be 0 to 9";
        for (double value : {c.pv, c.sv}) {
            if (!std::isfinite(value) || Magnitude(value, c.decimals) > kMaxMagnitude)
                return name + ": PV and SV must fit four digits with " + std::to_string(c.decimals) +
                       " decimals";
        }
    }
    return {};
}

std::string CheckFaults(const SimFaults& f) {
    for (const SimFaultKind& kind : SIM_FAULT_KINDS) {
        const double p = f.*kind.probability;
        if (!(p >= 0.0 && p <= 1.0))
            return "a fault probability must be 0 to 1";
    }
    if (f.delayMs < 0 || f.splitPauseMs < 0)
        return "a pause cannot be negative";
    if (f.garbageBytes < 1 || f.floodBytes < 1)
        return "garbage and flood need at least one byte";
    return {};
}

std::vector<unsigned char> BuildAnswerFrame(char type, int address, bool sv, double value, int decimals) {
    const int magnitude =
        static_cast<int>(std::min(Magnitude(value, decimals), double(kMaxMagnitude)));
    unsigned char frame[READ_ANSWER_LENGTH];
    int n = 0;
    frame[n++] = ACK;
    frame[n++] = STX;
    frame[n++] = static_cast<unsigned char>('0' + address / 10 % 10);
    frame[n++] = static_cast<unsigned char>('0' + address % 10);
    frame[n++] = static_cast<unsigned char>(type);
    frame[n++] = 'D';
    frame[n++] = sv ? 'S' : 'P';
    frame[n++] = '0';
    frame[n++] = value < 0 && magnitude > 0 ? '-' : ' ';
    for (int unit = 1000; unit > 0; unit /= 10)
        frame[n++] = static_cast<unsigned char>('0' + magnitude / unit % 10);
    // Read answers carry the decimal count for PV; a set value's answer leaves it at 0, since
    // the receiver scales set values with the count of the last PV answer anyway.
    if (type == 'R')
        frame[n++] = static_cast<unsigned char>('0' + (sv ? 0 : decimals));
    frame[n++] = ETX;
    frame[n] = CalcBCC(frame, n);
    return {frame, frame + n + 1};
}

std::vector<unsigned char> SimAnswer::Bytes() const {
    std::vector<unsigned char> all;
    for (const SimChunk& chunk : chunks)
        all.insert(all.end(), chunk.bytes.begin(), chunk.bytes.end());
    return all;
}

SimBus::SimBus(std::vector<SimController> controllers, SimFaults busFaults,
               std::map<int, SimFaults> controllerFaults, uint64_t seed)
    : m_busFaults(busFaults), m_controllerFaults(std::move(controllerFaults)), m_random(seed) {
    for (const SimController& c : controllers) {
        if (CheckControllers({c}).empty() && !Find(c.address))
            m_controllers.push_back(c);
    }
}

const SimController* SimBus::Find(int address) const {
    for (const SimController& c : m_controllers) {
        if (c.address == address)
            return &c;
    }
    return nullptr;
}

SimController* SimBus::FindMutable(int address) {
    return const_cast<SimController*>(std::as_const(*this).Find(address));
}

void SimBus::Advance(std::chrono::duration<double> elapsed) {
    if (elapsed.count() <= 0)
        return;
    const double share = 1.0 - std::exp(-elapsed.count() / kSettleSeconds);
    for (SimController& c : m_controllers) {
        c.pv += (c.sv - c.pv) * share;
        // Within half a last digit the answer already shows SV; stop there rather than creep.
        if (std::fabs(c.sv - c.pv) * Scale(c.decimals) < 0.5)
            c.pv = c.sv;
    }
}

void SimBus::Feed(const unsigned char* data, size_t count, std::vector<SimAnswer>& answers) {
    for (size_t i = 0; i < count; ++i)
        TakeByte(data[i], answers);
}

void SimBus::TakeByte(unsigned char byte, std::vector<SimAnswer>& answers) {
    switch (m_state) {
    case State::Hunt:
        if (byte == STX) {
            m_frame[0] = byte;
            m_length = 1;
            m_state = State::Text;
        }
        return;
    case State::Text:
        if (byte == STX) { // the frame before was cut short: this one starts afresh
            m_length = 1;
            return;
        }
        if (m_length >= MAX_REQUEST_FRAME - 1) { // no room left for the block check
            m_state = State::Hunt;
            return;
        }
        m_frame[m_length++] = byte;
        if (byte == ETX)
            m_state = State::Check;
        return;
    case State::Check:
        m_state = State::Hunt;
        if (CalcBCC(m_frame, m_length) == byte) {
            ++m_requestsSeen;
            if (Act(m_frame + 1, m_length - 2, answers))
                return;
        } else {
            ++m_badChecks;
        }
        // A broken or meaningless frame must not swallow the STX of a request right behind it.
        if (byte == STX)
            TakeByte(byte, answers);
        return;
    }
}

bool SimBus::Act(const unsigned char* text, int length, std::vector<SimAnswer>& answers) {
    if ((length != 6 && length != 11) || !IsDigit(text[0]) || !IsDigit(text[1]))
        return false;
    const int address = (text[0] - '0') * 10 + (text[1] - '0');
    SimController* c = FindMutable(address);
    if (!c)
        return false;

    std::vector<unsigned char> frame;
    if (length == 6 && std::memcmp(text + 2, "RX", 2) == 0) {
        const bool sv = std::memcmp(text + 4, "S0", 2) == 0;
        if (!sv && std::memcmp(text + 4, "P0", 2) != 0)
            return false;
        frame = BuildAnswerFrame('R', address, sv, sv ? c->sv : c->pv, c->decimals);
    } else if (length == 11 && std::memcmp(text + 2, "WXS0", 4) == 0) {
        const unsigned char sign = text[6];
        if ((sign != ' ' && sign != '+' && sign != '-') || !std::all_of(text + 7, text + 11, IsDigit))
            return false;
        const int magnitude =
            (text[7] - '0') * 1000 + (text[8] - '0') * 100 + (text[9] - '0') * 10 + (text[10] - '0');
        c->sv = (sign == '-' ? -magnitude : magnitude) / Scale(c->decimals);
        frame = BuildAnswerFrame('W', address, true, c->sv, c->decimals);
    } else {
        return false;
    }

    SimAnswer answer;
    answer.address = address;
    answer.request.assign(reinterpret_cast<const char*>(text), static_cast<size_t>(length));
    ApplyFaults(answer, std::move(frame));
    answers.push_back(std::move(answer));
    return true;
}

void SimBus::ApplyFaults(SimAnswer& answer, std::vector<unsigned char> frame) {
    const auto own = m_controllerFaults.find(answer.address);
    const SimFaults& f = own != m_controllerFaults.end() ? own->second : m_busFaults;

    // Each answer draws from a generator of its own, seeded from the bus's: what one answer
    // draws never shifts the draws of the next.
    Draws draw(NextRandom(m_random));
    unsigned faults = 0;
    for (const SimFaultKind& kind : SIM_FAULT_KINDS) {
        if (draw.Chance(f.*kind.probability))
            faults |= kind.bit;
    }
    if (faults & FAULT_SILENCE) {
        answer.faults = FAULT_SILENCE;
        return;
    }
    answer.faults = faults;

    if (faults & FAULT_WRONG_ADDRESS) {
        int other = 1 + draw.Below(98); // 1..98, then step over the controller's own address
        if (other >= answer.address)
            ++other;
        frame[2] = static_cast<unsigned char>('0' + other / 10);
        frame[3] = static_cast<unsigned char>('0' + other % 10);
        Seal(frame);
    }
    if (faults & FAULT_BAD_BCC)
        frame.back() ^= static_cast<unsigned char>(1 + draw.Below(255));

    std::vector<unsigned char> bytes;
    if (faults & FAULT_GARBAGE) {
        for (int i = 0; i < f.garbageBytes; ++i) {
            // Never ACK, so that the garbage cannot pass for the start of an answer.
            unsigned char b = static_cast<unsigned char>(draw.Below(255));
            bytes.push_back(b >= ACK ? b + 1 : b);
        }
    }
    bytes.insert(bytes.end(), frame.begin(), frame.end());
    if (faults & FAULT_FLOOD) {
        for (int i = 0; i < f.floodBytes; ++i)
            bytes.push_back(draw.Byte());
    }

    const std::chrono::milliseconds firstPause{faults & FAULT_DELAY ? f.delayMs : 0};
    if (faults & FAULT_SPLIT) {
        // The first part stays below the shortest answer, so that a read in the pause finds none.
        const int limit = std::min<int>(MIN_ANSWER_LENGTH - 1, static_cast<int>(bytes.size()) - 1);
        const auto cut = bytes.begin() + 1 + draw.Below(limit);
        answer.chunks.push_back({firstPause, {bytes.begin(), cut}});
        answer.chunks.push_back({std::chrono::milliseconds{f.splitPauseMs}, {cut, bytes.end()}});
    } else {
        answer.chunks.push_back({firstPause, std::move(bytes)});
    }
}
