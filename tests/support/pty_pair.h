// Both ends of a pseudo-terminal, for tests that put a real serial port on the slave side.
#pragma once

#include <termios.h>

#include <string>

// The code under test opens the slave by Path(); the test reads and writes the master. A raw
// slave descriptor of the pair's own stays open for its whole life, so that nothing echoes and
// the master never sees a hang-up while the port under test is closed and reopened.
class PtyPair {
public:
    enum class MasterMode { Blocking, NonBlocking };

    // Throws std::runtime_error when no pseudo-terminal can be had.
    explicit PtyPair(MasterMode mode = MasterMode::Blocking);
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    [[nodiscard]] int Master() const { return m_master; }
    [[nodiscard]] const std::string& Path() const { return m_path; }
    // The slave's line settings as whoever set them last left them.
    [[nodiscard]] termios SlaveSettings() const;

private:
    void Close();

    int m_master = -1;
    int m_slave = -1;
    std::string m_path;
};
