// CSerialPort on the slave end of a pseudo-terminal, the test holding the master end.
// RTS cannot be seen on a pseudo-terminal, so its order is recorded through the line-ops table,
// with the real calls still running underneath.
#include <QtTest>

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "com_map.h"
#include "port_settings.h"
#include "serial_port.h"

namespace {

constexpr int kCom = 2; // the COM number the tests bind to their pseudo-terminal

// The master end of a pseudo-terminal pair; the slave path is bound to COM2. Not the shared pair
// of tests/support: that one holds a slave descriptor of its own set raw before the port opens,
// which would hide whether Open makes the line raw by itself.
class PtyPair {
public:
    PtyPair() {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        char name[128] = {};
        if (m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0 &&
            ptsname_r(m_master, name, sizeof name) == 0)
            m_slavePath = name;
        if (!m_slavePath.empty())
            SetComDevicePath(kCom, m_slavePath);
    }
    ~PtyPair() {
        CloseMaster();
        ResetComDevicePaths();
    }
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool Ready() const { return m_master >= 0 && !m_slavePath.empty(); }
    const std::string& SlavePath() const { return m_slavePath; }
    void CloseMaster() {
        if (m_master >= 0)
            close(m_master);
        m_master = -1;
    }

    bool Send(const QByteArray& bytes) const {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    // What the port sent, until count bytes have come or five seconds have passed. A byte
    // inserted, doubled or dropped on the way shifts what follows, so comparing the first count
    // bytes is enough.
    QByteArray Receive(int count) const {
        QByteArray got;
        QDeadlineTimer deadline(5000);
        while (got.size() < count && !deadline.hasExpired()) {
            pollfd in{m_master, POLLIN, 0};
            if (poll(&in, 1, 50) <= 0)
                continue;
            char chunk[512];
            const ssize_t n = read(m_master, chunk, sizeof chunk);
            if (n > 0)
                got.append(chunk, n);
        }
        return got;
    }

private:
    int m_master = -1;
    std::string m_slavePath;
};

int QueuedOn(int fd) {
    int count = -1;
    return ioctl(fd, FIONREAD, &count) == 0 ? count : -1;
}

QByteArray AllByteValues() {
    QByteArray bytes(256, '\0');
    for (int i = 0; i < 256; ++i)
        bytes[i] = char(i);
    return bytes;
}

QByteArray Pattern(int count) {
    QByteArray bytes(count, '\0');
    for (int i = 0; i < count; ++i)
        bytes[i] = char(i * 7 + 3);
    return bytes;
}

PortHandle* OpenDefault(CSerialPort& port, uint32_t speed = 9600) {
    return port.Open(kCom, speed, 8, 0, 0);
}

// Records every call through the line-ops table and runs the real one, except where a row asks
// for an interruption or a short write first.
struct Recorder {
    static inline std::vector<std::string> calls;
    static inline int writeLimit = 0;      // > 0: each write takes at most this many bytes
    static inline int writeInterrupts = 0; // the next this many writes fail with EINTR
    static inline int writeWouldBlock = 0; // the next this many writes fail with EAGAIN
    static inline int drainInterrupts = 0; // the next this many drains fail with EINTR

    static void Reset() {
        calls.clear();
        writeLimit = writeInterrupts = writeWouldBlock = drainInterrupts = 0;
    }
    static int SetModemLines(int fd, int bits, bool on) {
        std::string name = bits == TIOCM_RTS ? "RTS" : bits == TIOCM_DTR ? "DTR" : "lines";
        calls.push_back(name + (on ? " up" : " down"));
        return kRealLineOps.setModemLines(fd, bits, on);
    }
    static ssize_t Write(int fd, const void* data, size_t length) {
        calls.push_back("write");
        if (writeInterrupts > 0) {
            --writeInterrupts;
            errno = EINTR;
            return -1;
        }
        if (writeWouldBlock > 0) {
            --writeWouldBlock;
            errno = EAGAIN;
            return -1;
        }
        if (writeLimit > 0 && length > size_t(writeLimit))
            length = size_t(writeLimit);
        return kRealLineOps.write(fd, data, length);
    }
    static int Drain(int fd) {
        calls.push_back("drain");
        if (drainInterrupts > 0) {
            --drainInterrupts;
            errno = EINTR;
            return -1;
        }
        return kRealLineOps.drain(fd);
    }
    static int Queued(int fd, int* count) {
        calls.push_back("queued");
        return kRealLineOps.queued(fd, count);
    }
    static ssize_t Read(int fd, void* data, size_t length) {
        calls.push_back("read " + std::to_string(length));
        return kRealLineOps.read(fd, data, length);
    }
};

const SerialLineOps kRecordingOps = {Recorder::SetModemLines, Recorder::Write, Recorder::Drain,
                                     Recorder::Queued, Recorder::Read};

QStringList Calls() {
    QStringList list;
    for (const std::string& call : Recorder::calls)
        list << QString::fromStdString(call);
    return list;
}

} // namespace

class TestSerialPort : public QObject {
    Q_OBJECT

private slots:
    void init() { Recorder::Reset(); }
    void cleanup() { ResetComDevicePaths(); }

    void readHandsOverQueuedBytesUpToMaximum();
    void readWithNothingQueuedMakesNoReadCall();
    void openDiscardsPendingInput();
    void closeTwice();
    void openFailures_data();
    void openFailures();
    void secondOpenFailsInThisProcess();
    void secondOpenFailsInAnotherProcess();
    void bytesPassUnchanged_data();
    void bytesPassUnchanged();
    void everyTableSpeedIsSetExactly_data();
    void everyTableSpeedIsSetExactly();
    void lineFlagsOnTheTerminal_data();
    void lineFlagsOnTheTerminal();
    void rtsLowAfterOpenAndAroundEveryWrite();
    void writeRetries_data();
    void writeRetries();
    void hungUpDeviceNeitherBlocksNorReads();
};

void TestSerialPort::readHandsOverQueuedBytesUpToMaximum() {
    PtyPair pty;
    QVERIFY(pty.Ready());
    CSerialPort port;
    PortHandle* handle = OpenDefault(port);
    QVERIFY2(handle != nullptr, port.LastErrorText().c_str());

    const QByteArray sent = Pattern(100);
    QVERIFY(pty.Send(sent));
    QTRY_COMPARE(QueuedOn(handle->fd), 100);

    unsigned char buffer[100] = {};
    QCOMPARE(port.Read(buffer, 60), 60);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 60), sent.left(60));
    QCOMPARE(QueuedOn(handle->fd), 40);
    QCOMPARE(port.Read(buffer, 60), 40);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 40), sent.mid(60));
    QCOMPARE(port.Read(buffer, 60), 0);
}

void TestSerialPort::readWithNothingQueuedMakesNoReadCall() {
    PtyPair pty;
    QVERIFY(pty.Ready());
    CSerialPort port;
    port.SetLineOps(&kRecordingOps);
    PortHandle* handle = OpenDefault(port);
    QVERIFY(handle != nullptr);

    Recorder::calls.clear();
    unsigned char buffer[60];
    QCOMPARE(port.Read(buffer, 60), 0);
    QCOMPARE(Calls(), QStringList{"queued"});

    QVERIFY(pty.Send("abc"));
    QTRY_COMPARE(QueuedOn(handle->fd), 3);
    Recorder::calls.clear();
    QCOMPARE(port.Read(buffer, 60), 3);
    QCOMPARE(Calls(), (QStringList{"queued", "read 3"})); // asks for no more than is queued
    QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 3), QByteArray("abc"));
}

// Bytes that reached the device before Open are thrown away; those that come after are delivered.
void TestSerialPort::openDiscardsPendingInput() {
    PtyPair pty;
    QVERIFY(pty.Ready());
    // A descriptor of the test's own on the slave, raw, so that the early bytes queue up visibly.
    const int early = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    QVERIFY(early >= 0);
    termios2 raw{};
    QCOMPARE(ioctl(early, TCGETS2, &raw), 0);
    raw.c_iflag = 0;
    raw.c_lflag = 0;
    QCOMPARE(ioctl(early, TCSETS2, &raw), 0);
    QVERIFY(pty.Send("stale"));
    QTRY_COMPARE(QueuedOn(early), 5);

    CSerialPort port;
    PortHandle* handle = OpenDefault(port);
    QVERIFY(handle != nullptr);
    close(early);
    QCOMPARE(QueuedOn(handle->fd), 0);
    unsigned char buffer[60];
    QCOMPARE(port.Read(buffer, 60), 0);

    QVERIFY(pty.Send("fresh"));
    QTRY_COMPARE(QueuedOn(handle->fd), 5);
    QCOMPARE(port.Read(buffer, 60), 5);
    QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 5), QByteArray("fresh"));
}

void TestSerialPort::closeTwice() {
    PtyPair pty;
    QVERIFY(pty.Ready());
    CSerialPort port;
    port.SetLineOps(&kRecordingOps);
    QVERIFY(OpenDefault(port) != nullptr);
    QVERIFY(port.IsOpen());
    QCOMPARE(port.Close(), 1);
    QCOMPARE(port.Close(), 0);
    QVERIFY(!port.IsOpen());

    // Closed: nothing is sent, nothing read, and the modem lines are left alone.
    Recorder::calls.clear();
    const unsigned char block[3] = {1, 2, 3};
    unsigned char buffer[60];
    QCOMPARE(port.Write(block, 3), 0);
    QCOMPARE(port.Read(buffer, 60), 0);
    QCOMPARE(Calls(), QStringList());

    // Closed cleanly, lock included: it opens again.
    QVERIFY(OpenDefault(port) != nullptr);
}

void TestSerialPort::openFailures_data() {
    QTest::addColumn<QString>("path"); // bound to COM2; empty: leave the default
    QTest::addColumn<int>("comPort");
    QTest::addColumn<uint>("speed");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("textPart");

    const QString missing = "/dev/orvel-no-such-tty";
    QTest::newRow("missing device") << missing << kCom << 9600u << 8 << 0 << 0 << ENOENT << "No such device";
    QTest::newRow("not a terminal") << "/dev/null" << kCom << 9600u << 8 << 0 << 0 << ENOTTY
                                    << "not a serial port";
    QTest::newRow("COM0") << QString() << 0 << 9600u << 8 << 0 << 0 << ENODEV << "COM1 to COM8";
    QTest::newRow("COM9") << QString() << 9 << 9600u << 8 << 0 << 0 << ENODEV << "COM1 to COM8";
    QTest::newRow("speed 0") << missing << kCom << 0u << 8 << 0 << 0 << EINVAL << "Unsupported line settings";
    QTest::newRow("6 data bits") << missing << kCom << 9600u << 6 << 0 << 0 << EINVAL
                                 << "Unsupported line settings";
    QTest::newRow("parity code 3") << missing << kCom << 9600u << 8 << 3 << 0 << EINVAL
                                   << "Unsupported line settings";
    QTest::newRow("stop code 1") << missing << kCom << 9600u << 8 << 0 << 1 << EINVAL
                                 << "Unsupported line settings";
}

void TestSerialPort::openFailures() {
    QFETCH(QString, path);
    QFETCH(int, comPort);
    QFETCH(uint, speed);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(int, error);
    QFETCH(QString, textPart);

    if (!path.isEmpty())
        QVERIFY(SetComDevicePath(kCom, path.toStdString()));
    CSerialPort port;
    port.SetLineOps(&kRecordingOps);
    QVERIFY(port.Open(comPort, speed, uint8_t(dataBits), uint8_t(parity), uint8_t(stopBits)) == nullptr);
    QVERIFY(!port.IsOpen());
    QCOMPARE(port.LastError(), error);
    QVERIFY2(QString::fromStdString(port.LastErrorText()).contains(textPart), port.LastErrorText().c_str());

    const unsigned char block[3] = {1, 2, 3};
    unsigned char buffer[60];
    QCOMPARE(port.Write(block, 3), 0);
    QCOMPARE(port.Read(buffer, 60), 0);
    QCOMPARE(port.Close(), 0);
    QCOMPARE(Calls(), QStringList()); // RTS never touched, nothing written or read
}

void TestSerialPort::secondOpenFailsInThisProcess() {
    PtyPair pty;
    QVERIFY(pty.Ready());
    {
        CSerialPort first;
        PortHandle* handle = OpenDefault(first);
        QVERIFY(handle != nullptr);
        CSerialPort second;
        QVERIFY(OpenDefault(second) == nullptr);
        QCOMPARE(second.LastError(), EBUSY);
        QVERIFY2(second.LastErrorText().find("busy") != std::string::npos, second.LastErrorText().c_str());
        // The refused open left the holder's exclusive mark in place.
        int exclusive = 0;
        QCOMPARE(ioctl(handle->fd, TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 1);

        // A port that is open refuses another Open and keeps working.
        QVERIFY(OpenDefault(first) == nullptr);
        QVERIFY(first.IsOpen());
        const unsigned char byte = 0x5A;
        QCOMPARE(first.Write(&byte, 1), 1);
        QCOMPARE(pty.Receive(1), QByteArray("\x5A"));

        QCOMPARE(first.Close(), 1);
        QVERIFY(OpenDefault(second) != nullptr);
    } // the destructor closes
    CSerialPort third;
    QVERIFY(OpenDefault(third) != nullptr);
}

// Root is not turned away by TIOCEXCL; the lock must do it, across processes too.
void TestSerialPort::secondOpenFailsInAnotherProcess() {
    PtyPair pty;
    QVERIFY(pty.Ready());
    const auto tryInChild = []() {
        const pid_t child = fork();
        if (child == 0) {
            CSerialPort port;
            const int code = OpenDefault(port) != nullptr ? 0 : port.LastError() == EBUSY ? 1 : 2;
            port.Close();
            _exit(code);
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
            return -1;
        return WEXITSTATUS(status);
    };

    CSerialPort port;
    QVERIFY(OpenDefault(port) != nullptr);
    QCOMPARE(tryInChild(), 1); // busy
    port.Close();
    QCOMPARE(tryInChild(), 0); // free again
}

void TestSerialPort::bytesPassUnchanged_data() {
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("8N1") << 8 << 0 << 0;
    QTest::newRow("7E1") << 7 << 2 << 0;
    QTest::newRow("8O2") << 8 << 1 << 2;
}

// NUL, 0xFF, XON/XOFF, CR and LF and every other value arrive as sent, in both directions.
void TestSerialPort::bytesPassUnchanged() {
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    PtyPair pty;
    QVERIFY(pty.Ready());
    CSerialPort port;
    PortHandle* handle = port.Open(kCom, 9600, uint8_t(dataBits), uint8_t(parity), uint8_t(stopBits));
    QVERIFY2(handle != nullptr, port.LastErrorText().c_str());

    const QByteArray all = AllByteValues() + QByteArray::fromHex("FF FF 00 11 13 0D 0A 0D");
    QCOMPARE(port.Write(reinterpret_cast<const unsigned char*>(all.constData()), int(all.size())), 1);
    QCOMPARE(pty.Receive(int(all.size())), all);

    QVERIFY(pty.Send(all));
    QTRY_COMPARE(QueuedOn(handle->fd), int(all.size()));
    QByteArray got(all.size(), '\0');
    QCOMPARE(port.Read(reinterpret_cast<unsigned char*>(got.data()), int(got.size())), int(all.size()));
    QCOMPARE(got, all);
}

void TestSerialPort::everyTableSpeedIsSetExactly_data() {
    QTest::addColumn<uint>("speed");
    for (uint32_t speed : kSpeedTable)
        QTest::addRow("%u", speed) << uint(speed);
}

void TestSerialPort::everyTableSpeedIsSetExactly() {
    QFETCH(uint, speed);
    PtyPair pty;
    QVERIFY(pty.Ready());
    CSerialPort port;
    PortHandle* handle = OpenDefault(port, speed);
    QVERIFY2(handle != nullptr, port.LastErrorText().c_str());
    termios2 line{};
    QCOMPARE(ioctl(handle->fd, TCGETS2, &line), 0);
    QCOMPARE(uint(line.c_ospeed), speed);
    QCOMPARE(uint(line.c_ispeed), speed);
}

void TestSerialPort::lineFlagsOnTheTerminal_data() {
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::newRow("odd, two stops") << 1 << 2;
    QTest::newRow("even, one stop") << 2 << 0;
}

// What a pseudo-terminal keeps of the line: the receiver, modem status ignored, no flow control,
// no input processing, non-waiting reads, the stop bits and the parity sense.
void TestSerialPort::lineFlagsOnTheTerminal() {
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    PtyPair pty;
    QVERIFY(pty.Ready());
    CSerialPort port;
    PortHandle* handle = port.Open(kCom, 9600, 8, uint8_t(parity), uint8_t(stopBits));
    QVERIFY(handle != nullptr);
    termios2 line{};
    QCOMPARE(ioctl(handle->fd, TCGETS2, &line), 0);
    QCOMPARE(uint(line.c_cflag & (CLOCAL | CREAD)), uint(CLOCAL | CREAD));
    QCOMPARE(uint(line.c_cflag & CRTSCTS), 0u);
    QCOMPARE(bool(line.c_cflag & CSTOPB), stopBits == 2);
    QCOMPARE(bool(line.c_cflag & PARODD), parity == 1);
    QCOMPARE(uint(line.c_iflag), 0u);
    QCOMPARE(uint(line.c_lflag), 0u);
    QCOMPARE(uint(line.c_oflag), 0u);
    QCOMPARE(int(line.c_cc[VMIN]), 0);
    QCOMPARE(int(line.c_cc[VTIME]), 0);
    // Reads must not block, but writes must: the descriptor is blocking again after the open.
    QCOMPARE(fcntl(handle->fd, F_GETFL) & O_NONBLOCK, 0);
}

void TestSerialPort::rtsLowAfterOpenAndAroundEveryWrite() {
    PtyPair pty;
    QVERIFY(pty.Ready());
    CSerialPort port;
    port.SetLineOps(&kRecordingOps);
    QVERIFY(OpenDefault(port) != nullptr);
    QCOMPARE(Calls(), (QStringList{"DTR up", "RTS down"}));

    Recorder::calls.clear();
    const QByteArray first =
        QByteArray::fromHex("02 30 31 52 58 50 30 03 6A 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF");
    const QByteArray second =
        QByteArray::fromHex("02 39 39 52 58 53 30 03 68 00 FF FF FF FF FF FF FF FF FF FF FF FF FF FF");
    QCOMPARE(port.Write(reinterpret_cast<const unsigned char*>(first.constData()), int(first.size())), 1);
    QCOMPARE(port.Write(reinterpret_cast<const unsigned char*>(second.constData()), int(second.size())), 1);
    QCOMPARE(Calls(),
             (QStringList{"RTS up", "write", "drain", "RTS down", "RTS up", "write", "drain", "RTS down"}));
    QCOMPARE(pty.Receive(48), first + second);

    QCOMPARE(port.Close(), 1);
    Recorder::calls.clear();
    QCOMPARE(port.Write(reinterpret_cast<const unsigned char*>(first.constData()), int(first.size())), 0);
    QCOMPARE(Calls(), QStringList());
}

void TestSerialPort::writeRetries_data() {
    QTest::addColumn<int>("writeLimit");
    QTest::addColumn<int>("writeInterrupts");
    QTest::addColumn<int>("writeWouldBlock");
    QTest::addColumn<int>("drainInterrupts");
    QTest::addColumn<QStringList>("calls");

    const QStringList fiveWrites{"RTS up", "write", "write", "write", "write", "write", "drain", "RTS down"};
    QTest::newRow("partial writes") << 5 << 0 << 0 << 0 << fiveWrites;
    QTest::newRow("write interrupted")
        << 0 << 2 << 0 << 0 << QStringList{"RTS up", "write", "write", "write", "drain", "RTS down"};
    QTest::newRow("no room for a moment")
        << 0 << 0 << 1 << 0 << QStringList{"RTS up", "write", "write", "drain", "RTS down"};
    QTest::newRow("drain interrupted")
        << 0 << 0 << 0 << 2 << QStringList{"RTS up", "write", "drain", "drain", "drain", "RTS down"};
}

// However the driver takes the block, all of it goes out in order, and RTS drops only after
// the drain that finally succeeded.
void TestSerialPort::writeRetries() {
    QFETCH(int, writeLimit);
    QFETCH(int, writeInterrupts);
    QFETCH(int, writeWouldBlock);
    QFETCH(int, drainInterrupts);
    QFETCH(QStringList, calls);
    PtyPair pty;
    QVERIFY(pty.Ready());
    CSerialPort port;
    port.SetLineOps(&kRecordingOps);
    QVERIFY(OpenDefault(port) != nullptr);

    Recorder::calls.clear();
    Recorder::writeLimit = writeLimit;
    Recorder::writeInterrupts = writeInterrupts;
    Recorder::writeWouldBlock = writeWouldBlock;
    Recorder::drainInterrupts = drainInterrupts;
    const QByteArray block = Pattern(24);
    QCOMPARE(port.Write(reinterpret_cast<const unsigned char*>(block.constData()), int(block.size())), 1);
    QCOMPARE(Calls(), calls);
    QCOMPARE(pty.Receive(int(block.size())), block);
}

// The other end gone (a USB adapter pulled looks the same to the port): reads give nothing at
// once, writes neither block nor fail the caller, Close still closes.
void TestSerialPort::hungUpDeviceNeitherBlocksNorReads() {
    PtyPair pty;
    QVERIFY(pty.Ready());
    CSerialPort port;
    QVERIFY(OpenDefault(port) != nullptr);
    QVERIFY(pty.Send("late"));
    pty.CloseMaster();

    unsigned char buffer[60];
    QCOMPARE(port.Read(buffer, 60), 0);
    QCOMPARE(port.Read(buffer, 60), 0);
    const unsigned char block[3] = {1, 2, 3};
    QCOMPARE(port.Write(block, 3), 1);
    QCOMPARE(port.Close(), 1);
    QCOMPARE(port.Close(), 0);
}

QTEST_APPLESS_MAIN(TestSerialPort)
#include "tst_serial_port.moc"
