#include "pty_pair.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

PtyPair::PtyPair(MasterMode mode) {
    m_master =
        posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | (mode == MasterMode::NonBlocking ? O_NONBLOCK : 0));
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) {
        Close();
        throw std::runtime_error("no pseudo-terminal");
    }
    m_path = ptsname(m_master);
    m_slave = open(m_path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (m_slave < 0 || tcgetattr(m_slave, &tio) != 0) {
        Close();
        throw std::runtime_error("cannot open " + m_path);
    }
    cfmakeraw(&tio);
    tcsetattr(m_slave, TCSANOW, &tio);
}

PtyPair::~PtyPair() {
    Close();
}

termios PtyPair::SlaveSettings() const {
    termios tio{};
    tcgetattr(m_slave, &tio);
    return tio;
}

void PtyPair::Close() {
    if (m_slave >= 0)
        close(m_slave);
    if (m_master >= 0)
        close(m_master);
    m_slave = m_master = -1;
}
