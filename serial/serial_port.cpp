#include "serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "com_map.h"
#include "exact_speed.h"
#include "line_settings.h"

namespace {

// How long a write waits for room when the driver says it has none. The descriptor is blocking,
// so this only guards against a driver that answers EAGAIN regardless; it bounds the wait.
constexpr int kWriteRoomWaitMs = 1000;

int SetAttrRetrying(int fd, const termios& tio) {
    while (tcsetattr(fd, TCSANOW, &tio) != 0) {
        if (errno != EINTR)
            return errno;
    }
    return 0;
}

// The exclusive mark stays on a terminal that lives on after this close (the slave of a
// pseudo-terminal lives as long as its master), and would turn away the next ordinary user's
// open, this program's own reopen included. The lock goes with the descriptor. close() is never
// retried: the descriptor is gone whatever it reports.
void ReleaseDevice(int fd) {
    ioctl(fd, TIOCNXCL);
    close(fd);
}

std::string OpenErrorText(int error, const std::string& path) {
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return "No such device: " + path + ".";
    case EACCES:
    case EPERM:
        return "Permission denied on " + path +
               ". Add your user to the 'dialout' group (sudo adduser $USER dialout) and log in again.";
    case EBUSY:
    case EWOULDBLOCK:
        return path + " is busy: another program holds it.";
    case ENOTTY:
        return path + " is not a serial port.";
    default:
        return "Cannot open " + path + ": " + std::strerror(error) + ".";
    }
}

} // namespace

struct CSerialPort::SavedLine {
    termios line{};
};

CSerialPort::CSerialPort() = default;

CSerialPort::~CSerialPort() {
    Close();
}

PortHandle* CSerialPort::Fail(int error, std::string text) {
    m_nLastError = error;
    m_szLastError = std::move(text);
    return nullptr;
}

PortHandle* CSerialPort::Open(int port, uint32_t speed, uint8_t dataBits, uint8_t parity, uint8_t stopBits) {
    if (m_bOpen != 0) // reopening would lose the open descriptor; the port stays as it is
        return Fail(EBUSY, "The port is already open.");

    const std::string path = ComDevicePath(port);
    if (path.empty())
        return Fail(ENODEV, "COM" + std::to_string(port) + " is not one of COM1 to COM8.");

    termios line{};
    if (speed == 0 || !MakeRawLine(line, dataBits, parity, stopBits))
        return Fail(EINVAL, "Unsupported line settings for " + path + ".");

    // O_NONBLOCK only for the open itself: without CLOCAL yet, it would wait for carrier.
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return Fail(error, OpenErrorText(error, path));
    }

    auto saved = std::make_unique<SavedLine>();
    bool held = false; // ours: the lock and the exclusive mark
    bool lineChanged = false;
    const auto giveUp = [&](int error, std::string text) {
        if (lineChanged)
            SetAttrRetrying(fd, saved->line);
        if (held)
            ReleaseDevice(fd);
        else
            close(fd); // the device may be another program's: leave its exclusive mark alone
        return Fail(error, std::move(text));
    };

    if (tcgetattr(fd, &saved->line) != 0) {
        const int error = errno;
        return giveUp(error, OpenErrorText(error, path));
    }
    // The lock turns away every other open that asks for it, this program's included, whoever
    // runs it; TIOCEXCL turns away any later open by an ordinary user, but not by root.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || errno == EAGAIN))
        return giveUp(EBUSY, OpenErrorText(EBUSY, path));
    ioctl(fd, TIOCEXCL);
    held = true;

    const int flags = fcntl(fd, F_GETFL);
    if (flags < 0 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        return giveUp(error, OpenErrorText(error, path));
    }

    // Whatever was pending in either direction belongs to nobody.
    tcflush(fd, TCIOFLUSH);

    // A speed without a B constant goes in by number right after the rest; until then the line
    // keeps the speed it had.
    speed_t constant = B0;
    const bool standard = StandardSpeed(speed, &constant);
    if (!standard)
        constant = cfgetospeed(&saved->line);
    cfsetispeed(&line, constant);
    cfsetospeed(&line, constant);
    lineChanged = true;
    if (const int error = SetAttrRetrying(fd, line); error != 0)
        return giveUp(error, OpenErrorText(error, path));
    if (!standard) {
        if (const int error = SetExactSpeed(fd, speed); error != 0)
            return giveUp(error, path + " does not take " + std::to_string(speed) + " bits per second.");
    }
    // A driver that cannot run a speed answers with the one it runs instead; only the exact
    // number asked for will do.
    uint32_t inputSpeed = 0;
    uint32_t outputSpeed = 0;
    if (!ReadLineSpeeds(fd, &inputSpeed, &outputSpeed) || inputSpeed != speed || outputSpeed != speed)
        return giveUp(EINVAL, path + " does not take " + std::to_string(speed) + " bits per second.");

    // Linux raised DTR and RTS on open. DTR stays up while the port is open; RTS keys the
    // converter's transmitter, so it must be low whenever no block is being sent. Pseudo-terminals
    // have no modem lines, hence the results are not examined.
    m_pOps->setModemLines(fd, TIOCM_DTR, true);
    m_pOps->setModemLines(fd, TIOCM_RTS, false);

    m_pSavedLine = std::move(saved);
    m_handle.fd = fd;
    m_hComm = &m_handle;
    m_bOpen = 1;
    m_nLastError = 0;
    m_szLastError.clear();
    return m_hComm;
}

int CSerialPort::Close() {
    if (m_bOpen == 0)
        return 0;
    // Leave the line as the next program expects to find it.
    if (m_pSavedLine)
        SetAttrRetrying(m_handle.fd, m_pSavedLine->line);
    ReleaseDevice(m_handle.fd);
    m_pSavedLine.reset();
    m_handle.fd = -1;
    m_hComm = nullptr;
    m_bOpen = 0;
    return 1;
}

void CSerialPort::WriteAll(const unsigned char* buffer, int length) {
    const int fd = m_handle.fd;
    size_t done = 0;
    const size_t total = buffer != nullptr && length > 0 ? static_cast<size_t>(length) : 0;
    while (done < total) {
        const ssize_t n = m_pOps->write(fd, buffer + done, total - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd room{fd, POLLOUT, 0};
            if (poll(&room, 1, kWriteRoomWaitMs) <= 0 || (room.revents & POLLOUT) == 0)
                return;
        } else {
            return; // device gone (EIO after a hang-up) or no progress: the rest cannot go out
        }
    }
}

int CSerialPort::Write(const unsigned char* buffer, int length) {
    if (m_bOpen == 0)
        return 0;
    const int fd = m_handle.fd;
    m_pOps->setModemLines(fd, TIOCM_RTS, true);
    WriteAll(buffer, length);
    // The transmitter must stay keyed until the last stop bit has left the port.
    while (m_pOps->drain(fd) != 0 && errno == EINTR) {
    }
    m_pOps->setModemLines(fd, TIOCM_RTS, false);
    return 1;
}

int CSerialPort::Read(unsigned char* buffer, int maximum) {
    if (m_bOpen == 0 || buffer == nullptr || maximum <= 0)
        return 0;
    const int fd = m_handle.fd;
    // A hung-up device (adapter pulled, other end of a pseudo-terminal closed) fails the query
    // with EIO: that reads as nothing queued.
    int queued = 0;
    if (m_pOps->queued(fd, &queued) != 0 || queued <= 0)
        return 0;
    const size_t wanted = static_cast<size_t>(std::min(maximum, queued));
    ssize_t n = 0;
    do {
        n = m_pOps->read(fd, buffer, wanted);
    } while (n < 0 && errno == EINTR);
    return n > 0 ? static_cast<int>(n) : 0;
}
