// Small helpers shared by the simulated-bus tests: hex byte strings and the far end of a line.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cerrno>
#include <chrono>
#include <string>
#include <vector>

#include "protocol.h"

using Bytes = std::vector<unsigned char>;

// "02 30 FF*14": hex bytes separated by spaces; "XX*n" repeats a byte n times.
inline Bytes FromHex(const QString& text) {
    Bytes bytes;
    for (const QString& cell : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = cell.split(QLatin1Char('*'));
        const int count = parts.size() > 1 ? parts[1].toInt() : 1;
        bool ok = false;
        const auto value = static_cast<unsigned char>(parts[0].toUInt(&ok, 16));
        Q_ASSERT(ok);
        bytes.insert(bytes.end(), static_cast<size_t>(count), value);
    }
    return bytes;
}

inline QString ToHex(const Bytes& bytes) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()))
            .toHex(' ')
            .toUpper());
}

// The request block the console puts on the wire for a poll.
inline Bytes PollBlock(int address, bool sv) {
    FrameBuffer buf;
    BuildPollRequest(buf, address, sv ? 1 : 0);
    return Bytes(buf, buf + POLL_BLOCK_LENGTH);
}

// The request block of a typed command; empty when the text is no command.
inline Bytes TypedBlock(const char* text) {
    FrameBuffer buf;
    const int length = FormatTypedCommand(buf, text);
    if (length == 0)
        return {};
    SealTypedCommand(buf, length);
    return Bytes(buf, buf + RequestBlockLength(length));
}

// One end of a line opened with plain POSIX calls, as another program would.
class LineEnd {
public:
    explicit LineEnd(const std::string& path) : m_fd(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
    explicit LineEnd(int fd) : m_fd(fd) {}
    ~LineEnd() { Close(); }
    LineEnd(const LineEnd&) = delete;
    LineEnd& operator=(const LineEnd&) = delete;

    [[nodiscard]] bool IsOpen() const { return m_fd >= 0; }
    [[nodiscard]] int Fd() const { return m_fd; }
    void Close() {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }

    // Waits for room when the line is full, but not for ever: a far end that never reads fails
    // the write instead of hanging the test.
    bool WriteAll(const Bytes& bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<size_t>(n);
            } else if (n < 0 && errno == EAGAIN) {
                pollfd room{m_fd, POLLOUT, 0};
                if (poll(&room, 1, 5000) <= 0)
                    return false;
            } else if (n == 0 || errno != EINTR) {
                return false;
            }
        }
        return true;
    }

    // Whatever has arrived, without waiting.
    Bytes ReadQueued() {
        Bytes bytes;
        unsigned char chunk[256];
        ssize_t n;
        while ((n = read(m_fd, chunk, sizeof chunk)) > 0)
            bytes.insert(bytes.end(), chunk, chunk + n);
        return bytes;
    }

    // Waits until at least one byte has arrived, or the timeout; true when something is there.
    bool WaitReadable(std::chrono::milliseconds timeout) {
        pollfd p{m_fd, POLLIN, 0};
        return poll(&p, 1, static_cast<int>(timeout.count())) > 0 && (p.revents & POLLIN);
    }

    // Collects bytes until count have arrived or the timeout has passed.
    Bytes ReadAtLeast(size_t count, std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        Bytes bytes;
        while (bytes.size() < count) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !WaitReadable(left))
                break;
            const Bytes more = ReadQueued();
            bytes.insert(bytes.end(), more.begin(), more.end());
        }
        return bytes;
    }

private:
    int m_fd;
};
