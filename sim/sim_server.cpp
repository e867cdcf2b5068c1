#include "sim_server.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;

// Answers not yet taken by the reader are held back up to this much; beyond it new answers are
// dropped (unless nothing is held), so that a console that never reads cannot make the server
// grow without end.
constexpr size_t kMaxQueuedBytes = 64 * 1024;
constexpr int kReadChunk = 512;
// Poll wakes at least this often even with nothing due; nothing depends on it but liveness.
constexpr int kIdleWakeMs = 500;

std::string SystemText(int error) {
    return std::generic_category().message(error);
}

std::string Failure(const std::string& what, int error) {
    return what + ": " + SystemText(error);
}

void SetError(std::string* error, const std::string& text) {
    if (error)
        *error = text;
}

std::string Hex(const std::vector<unsigned char>& bytes) {
    std::string text;
    char cell[4];
    for (unsigned char b : bytes) {
        std::snprintf(cell, sizeof cell, "%02X ", b);
        text += cell;
    }
    if (!text.empty())
        text.pop_back();
    return text;
}

std::string FaultNames(unsigned faults) {
    std::string text;
    for (const SimFaultKind& kind : SIM_FAULT_KINDS) {
        if (faults & kind.bit)
            text += std::string(text.empty() ? " [" : ",") + kind.name;
    }
    return text.empty() ? text : text + "]";
}

bool SpeedConstant(int speed, speed_t* constant) {
    static const struct {
        int speed;
        speed_t constant;
    } speeds[] = {{300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},    {2400, B2400},
                  {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},  {57600, B57600},
                  {115200, B115200}, {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& s : speeds) {
        if (s.speed == speed) {
            *constant = s.constant;
            return true;
        }
    }
    return false;
}

void SetRts(int fd, bool on) {
    int bits = TIOCM_RTS;
    // Fails on lines without modem control; the write goes ahead regardless.
    (void)ioctl(fd, on ? TIOCMBIS : TIOCMBIC, &bits);
}

} // namespace

bool IsSupportedSpeed(int bitsPerSecond) {
    speed_t constant{};
    return SpeedConstant(bitsPerSecond, &constant);
}

SimServer::SimServer(SimOptions options) : m_options(std::move(options)) {}

SimServer::~SimServer() {
    Stop();
}

bool SimServer::Start(std::string* error) {
    if (m_thread.joinable() || m_lineFd >= 0) {
        SetError(error, "the simulated bus is already started");
        return false;
    }
    std::string problem = CheckControllers(m_options.controllers);
    if (problem.empty())
        problem = CheckFaults(m_options.busFaults);
    for (const auto& [address, faults] : m_options.controllerFaults) {
        if (problem.empty())
            problem = CheckFaults(faults);
        if (problem.empty() && (address < 1 || address > 99))
            problem = "faults for address " + std::to_string(address) + ": the address must be 1 to 99";
    }
    if (problem.empty() && m_options.controllers.empty())
        problem = "the bus has no controllers";
    if (!problem.empty()) {
        SetError(error, problem);
        return false;
    }

    if (pipe2(m_wakeFds, O_CLOEXEC | O_NONBLOCK) != 0) {
        SetError(error, Failure("cannot make the wake-up pipe", errno));
        CloseAll();
        return false;
    }
    const bool opened = m_options.device.empty() ? OpenPseudoTerminal(error) : OpenDevice(error);
    if (!opened || !MakeSymlink(error)) {
        CloseAll();
        return false;
    }

    m_bus = std::make_unique<SimBus>(m_options.controllers, m_options.busFaults, m_options.controllerFaults,
                                     m_options.seed);
    m_movedAt = Clock::now();
    m_running = true;
    m_thread = std::thread(&SimServer::Serve, this);
    return true;
}

bool SimServer::OpenPseudoTerminal(std::string* error) {
    m_lineFd = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_lineFd < 0) {
        SetError(error, Failure("cannot create a pseudo-terminal", errno));
        return false;
    }
    char name[128];
    if (grantpt(m_lineFd) != 0 || unlockpt(m_lineFd) != 0 || ptsname_r(m_lineFd, name, sizeof name) != 0) {
        SetError(error, Failure("cannot prepare the pseudo-terminal", errno));
        return false;
    }
    m_devicePath = name;

    m_slaveFd = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slaveFd < 0) {
        SetError(error, Failure("cannot open " + m_devicePath, errno));
        return false;
    }
    // Raw from the start: an echo would send the console's requests straight back to it.
    termios tio{};
    if (tcgetattr(m_slaveFd, &tio) != 0) {
        SetError(error, Failure("cannot read the settings of " + m_devicePath, errno));
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(m_slaveFd, TCSANOW, &tio) != 0) {
        SetError(error, Failure("cannot set " + m_devicePath + " to raw mode", errno));
        return false;
    }
    if (fcntl(m_lineFd, F_SETFL, fcntl(m_lineFd, F_GETFL) | O_NONBLOCK) != 0) {
        SetError(error, Failure("cannot make the pseudo-terminal non-blocking", errno));
        return false;
    }
    WatchCloses();
    return true;
}

void SimServer::WatchCloses() {
    m_closeWatchFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_closeWatchFd >= 0 &&
        inotify_add_watch(m_closeWatchFd, m_devicePath.c_str(), IN_CLOSE_WRITE | IN_CLOSE_NOWRITE) >= 0)
        return;
    // Serving goes on without it; only a killed opener then leaves the device locked.
    Log(Failure("cannot watch " + m_devicePath + " for closes", errno));
    if (m_closeWatchFd >= 0)
        close(m_closeWatchFd);
    m_closeWatchFd = -1;
}

bool SimServer::OpenDevice(std::string* error) {
    m_devicePath = m_options.device;
    speed_t speed{};
    if (!SpeedConstant(m_options.speed, &speed)) {
        SetError(error, "the speed " + std::to_string(m_options.speed) + " is not supported");
        return false;
    }
    m_lineFd = open(m_devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_lineFd < 0) {
        SetError(error, Failure("cannot open " + m_devicePath, errno));
        return false;
    }
    termios tio{};
    if (tcgetattr(m_lineFd, &tio) != 0) {
        SetError(error, Failure(m_devicePath + " is not a serial line", errno));
        return false;
    }
    if (ioctl(m_lineFd, TIOCEXCL) != 0 || flock(m_lineFd, LOCK_EX | LOCK_NB) != 0) {
        SetError(error, Failure(m_devicePath + " is in use", errno));
        return false;
    }
    cfmakeraw(&tio); // also 8 data bits, no parity
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag &= ~(CSTOPB | CRTSCTS);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (cfsetispeed(&tio, speed) != 0 || cfsetospeed(&tio, speed) != 0 ||
        tcsetattr(m_lineFd, TCSANOW, &tio) != 0) {
        SetError(error, Failure("cannot configure " + m_devicePath, errno));
        return false;
    }
    tcflush(m_lineFd, TCIOFLUSH);
    int dtr = TIOCM_DTR;
    (void)ioctl(m_lineFd, TIOCMBIS, &dtr);
    SetRts(m_lineFd, false); // Linux raises RTS on open, which would key the converter for good
    return true;
}

bool SimServer::MakeSymlink(std::string* error) {
    const std::string& link = m_options.symlink;
    if (link.empty())
        return true;
    struct stat st {};
    if (lstat(link.c_str(), &st) == 0) {
        // A link left by an earlier run that was killed is replaced; anything else is not ours.
        if (!S_ISLNK(st.st_mode)) {
            SetError(error, link + " exists and is not a symbolic link");
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(m_devicePath.c_str(), link.c_str()) != 0) {
        SetError(error, Failure("cannot make the link " + link, errno));
        return false;
    }
    m_symlinkMade = true;
    return true;
}

void SimServer::Stop() {
    if (m_thread.joinable()) {
        const char wake = 1;
        (void)write(m_wakeFds[1], &wake, 1);
        m_thread.join();
    }
    CloseAll();
}

void SimServer::CloseAll() {
    if (m_symlinkMade) {
        // Only our own link goes: another run may have taken the name over meanwhile.
        char target[PATH_MAX];
        const ssize_t n = readlink(m_options.symlink.c_str(), target, sizeof target - 1);
        if (n >= 0 && m_devicePath == std::string(target, static_cast<size_t>(n)))
            unlink(m_options.symlink.c_str());
        m_symlinkMade = false;
    }
    for (int* fd : {&m_lineFd, &m_slaveFd, &m_closeWatchFd, &m_wakeFds[0], &m_wakeFds[1]}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    m_outgoing.clear();
    m_running = false;
    m_changed.notify_all();
}

const std::string& SimServer::DevicePath() const {
    return m_devicePath;
}

bool SimServer::Running() const {
    return m_running;
}

std::string SimServer::LastError() const {
    std::lock_guard lock(m_mutex);
    return m_lastError;
}

uint64_t SimServer::RequestsSeen() const {
    std::lock_guard lock(m_mutex);
    return m_requestsSeen;
}

uint64_t SimServer::AnswersSent() const {
    std::lock_guard lock(m_mutex);
    return m_answersSent;
}

bool SimServer::WaitForAnswers(uint64_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_answersSent >= n; });
}

bool SimServer::WaitForRequests(uint64_t n, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_requestsSeen >= n; });
}

SimController SimServer::Controller(int address) const {
    std::lock_guard lock(m_mutex);
    if (!m_bus)
        return {0, 0, 0, 0};
    AdvanceLocked(Clock::now());
    const SimController* c = m_bus->Find(address);
    return c ? *c : SimController{0, 0, 0, 0};
}

void SimServer::AdvanceLocked(Clock::time_point now) const {
    if (m_options.pvMoves)
        m_bus->Advance(now - m_movedAt);
    m_movedAt = now;
}

void SimServer::Log(const std::string& line) const {
    if (m_options.log)
        m_options.log(line);
}

void SimServer::Fail(const std::string& why) {
    {
        std::lock_guard lock(m_mutex);
        m_lastError = why;
    }
    Log(why);
}

void SimServer::Serve() {
    unsigned char buffer[kReadChunk];
    for (;;) {
        const Clock::time_point now = Clock::now();
        if (!WriteDue(now))
            break;

        int timeout = kIdleWakeMs;
        bool blocked = false; // a due answer waits for room in the line's buffer
        if (!m_outgoing.empty()) {
            if (m_outgoing.front().due <= now) {
                blocked = true;
            } else {
                const auto wait = std::chrono::ceil<std::chrono::milliseconds>(m_outgoing.front().due - now);
                timeout = static_cast<int>(std::min<long long>(wait.count(), kIdleWakeMs));
            }
        }
        pollfd fds[3] = {{m_lineFd, static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), 0},
                         {m_wakeFds[0], POLLIN, 0},
                         {m_closeWatchFd, POLLIN, 0}}; // a negative fd is left out by poll
        if (poll(fds, 3, timeout) < 0) {
            if (errno == EINTR)
                continue;
            Fail(Failure("waiting on the line failed", errno));
            break;
        }
        if (fds[1].revents != 0)
            break; // Stop
        if (fds[2].revents & POLLIN) {
            alignas(inotify_event) char events[1024];
            while (read(m_closeWatchFd, events, sizeof events) > 0) {
            }
            (void)ioctl(m_slaveFd, TIOCNXCL);
        }

        if (fds[0].revents & POLLIN) {
            const ssize_t n = read(m_lineFd, buffer, sizeof buffer);
            if (n < 0 && errno != EAGAIN && errno != EINTR) {
                Fail(Failure("reading " + m_devicePath + " failed", errno));
                break;
            }
            if (n == 0) { // readable yet empty: the far end is gone
                Fail(m_devicePath + " hung up");
                break;
            }
            if (n > 0) {
                std::vector<SimAnswer> answers;
                uint64_t badChecks = 0;
                {
                    std::lock_guard lock(m_mutex);
                    AdvanceLocked(Clock::now());
                    const uint64_t badBefore = m_bus->BadChecks();
                    m_bus->Feed(buffer, static_cast<size_t>(n), answers);
                    m_requestsSeen = m_bus->RequestsSeen();
                    badChecks = m_bus->BadChecks() - badBefore;
                }
                m_changed.notify_all();
                if (badChecks > 0)
                    Log(std::to_string(badChecks) + " request(s) with a wrong block check, not answered");
                Schedule(answers, Clock::now());
            }
        } else if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // A pseudo-terminal never gets here, its slave is held open; a device unplugged does.
            Fail(m_devicePath + " hung up");
            break;
        }
    }
    m_running = false;
    m_changed.notify_all();
}

void SimServer::Schedule(std::vector<SimAnswer>& answers, Clock::time_point now) {
    size_t queued = 0;
    for (const Pending& p : m_outgoing)
        queued += p.bytes.size() - p.written;

    for (SimAnswer& answer : answers) {
        const std::string head = answer.request + " ->";
        if (answer.chunks.empty()) {
            Log(head + " (silent)" + FaultNames(answer.faults));
            continue;
        }
        const std::vector<unsigned char> bytes = answer.Bytes();
        if (queued > 0 && queued + bytes.size() > kMaxQueuedBytes) {
            Log(head + " dropped: the reader has not taken the earlier answers");
            continue;
        }
        queued += bytes.size();
        Log(head + " " + Hex(bytes) + FaultNames(answer.faults));

        // One controller talks at a time: an answer starts after the one before has gone out.
        Clock::time_point due = std::max(now, m_lastDue);
        for (size_t i = 0; i < answer.chunks.size(); ++i) {
            due += answer.chunks[i].pause;
            m_outgoing.push_back({due, std::move(answer.chunks[i].bytes), 0, i + 1 == answer.chunks.size()});
        }
        m_lastDue = due;
    }
}

bool SimServer::WriteDue(Clock::time_point now) {
    const bool device = !m_options.device.empty();
    while (!m_outgoing.empty() && m_outgoing.front().due <= now) {
        Pending& p = m_outgoing.front();
        if (device && p.written == 0)
            SetRts(m_lineFd, true);
        while (p.written < p.bytes.size()) {
            const ssize_t n = write(m_lineFd, p.bytes.data() + p.written, p.bytes.size() - p.written);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0 && errno == EAGAIN)
                return true; // the reader is behind; poll says when there is room
            if (n < 0) {
                Fail(Failure("writing " + m_devicePath + " failed", errno));
                return false;
            }
            p.written += static_cast<size_t>(n);
        }
        if (device) {
            // The transmitter must stay keyed until the last stop bit has left.
            while (tcdrain(m_lineFd) != 0 && errno == EINTR) {
            }
            SetRts(m_lineFd, false);
        }
        if (p.lastOfAnswer) {
            std::lock_guard lock(m_mutex);
            ++m_answersSent;
        }
        m_outgoing.pop_front();
        m_changed.notify_all();
    }
    return true;
}
