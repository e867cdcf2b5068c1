// The server on real pseudo-terminals: the slave opened with plain POSIX calls as the console
// and other programs do, answers timed by the faults, a device served, start-up failures.
#include <dirent.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include "protocol.h"
#include "sim_server.h"
#include "sim_test_util.h"

using namespace std::chrono_literals;
using OptionsChange = std::function<void(SimOptions&)>;
Q_DECLARE_METATYPE(OptionsChange)

namespace {

constexpr auto kWait = 5s;

SimOptions Fixed() {
    SimOptions options;
    options.pvMoves = false;
    return options;
}

// Writes a request block and collects the answer of the given length.
Bytes Exchange(LineEnd& line, const Bytes& block, size_t answerLength) {
    if (!line.WriteAll(block))
        return {};
    return line.ReadAtLeast(answerLength, kWait);
}

Reading Accepted(const Bytes& answer) {
    Reading reading;
    const AnswerOutcome outcome = DecodeAnswer(answer.data(), static_cast<int>(answer.size()), &reading);
    if (outcome != AnswerOutcome::Accepted)
        reading.nAddress = -1;
    return reading;
}

// A file of ours that a link must not replace; unique per process, as test runs may overlap.
QString PlainFile() {
    return QDir::tempPath() + QString("/orvel-sim-file-%1").arg(getpid());
}

int OpenDescriptors() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir))
            ++count;
        closedir(dir);
    }
    return count;
}

} // namespace

class TestSimServer : public QObject {
    Q_OBJECT

private slots:
    void slaveIsRawFromTheStart();
    void consoleLikeSession();
    void exclusiveFlagClearedAfterClose();
    void splitAnswerComesInTwoReads();
    void delaysAreScheduledNotSlept();
    void servesADevice();
    void startRefuses_data();
    void startRefuses();
    void symlinkLifecycle();
};

void TestSimServer::slaveIsRawFromTheStart() {
    SimServer server(Fixed());
    std::string error;
    QVERIFY2(server.Start(&error), error.c_str());

    // No settings of our own: whatever the server left is what a plain program gets.
    LineEnd line(server.DevicePath());
    QVERIFY(line.IsOpen());
    termios tio{};
    QCOMPARE(tcgetattr(line.Fd(), &tio), 0);
    QCOMPARE(tio.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), tcflag_t(0));
    QCOMPARE(tio.c_iflag & (ICRNL | INLCR | IXON | ISTRIP), tcflag_t(0));
    QCOMPARE(tio.c_oflag & OPOST, tcflag_t(0));

    const Reading reading = Accepted(Exchange(line, PollBlock(12, false), READ_ANSWER_LENGTH));
    QCOMPARE(reading.nAddress, 12);
    QCOMPARE(reading.fValue, -12.3f);
}

void TestSimServer::consoleLikeSession() {
    SimServer server(Fixed());
    std::string error;
    QVERIFY2(server.Start(&error), error.c_str());

    // Opened the way the console opens its port.
    auto port = std::make_unique<LineEnd>(server.DevicePath());
    QVERIFY(port->IsOpen());
    QCOMPARE(ioctl(port->Fd(), TIOCEXCL), 0);
    QCOMPARE(flock(port->Fd(), LOCK_EX | LOCK_NB), 0);
    termios tio{};
    QCOMPARE(tcgetattr(port->Fd(), &tio), 0);
    cfmakeraw(&tio);
    QCOMPARE(tcsetattr(port->Fd(), TCSANOW, &tio), 0);

    Reading reading = Accepted(Exchange(*port, PollBlock(1, false), READ_ANSWER_LENGTH));
    QCOMPARE(reading.nAddress, 1);
    QCOMPARE(reading.fValue, 18.5f);

    const Bytes written = Exchange(*port, TypedBlock("05WXS0 0300"), WRITE_ANSWER_LENGTH);
    QCOMPARE(ToHex(written), QString("06 02 30 35 57 44 53 30 20 30 33 30 30 03 51"));
    QCOMPARE(server.Controller(5).sv, 3.0);

    // Nothing comes for an address nobody has: the next answer is the first thing to arrive.
    QVERIFY(port->WriteAll(PollBlock(42, false)));
    const Bytes next = Exchange(*port, PollBlock(3, true), READ_ANSWER_LENGTH);
    QCOMPARE(ToHex(next), ToHex(BuildAnswerFrame('R', 3, true, 200.0, 0)));
    QCOMPARE(server.RequestsSeen(), uint64_t(4));

    // The console closes and reopens the port whenever the settings change, giving up its
    // exclusive claim first.
    QCOMPARE(ioctl(port->Fd(), TIOCNXCL), 0);
    port.reset();
    LineEnd again(server.DevicePath());
    QVERIFY(again.IsOpen());
    reading = Accepted(Exchange(again, PollBlock(1, true), READ_ANSWER_LENGTH));
    QCOMPARE(reading.nAddress, 1);
    QVERIFY(server.WaitForAnswers(4, kWait));
    QVERIFY(server.Running());
}

void TestSimServer::exclusiveFlagClearedAfterClose() {
    SimServer server(Fixed());
    std::string error;
    QVERIFY2(server.Start(&error), error.c_str());
    const std::string path = server.DevicePath();
    // Root is never stopped by the exclusive flag, so the opener is an ordinary user.
    if (geteuid() == 0)
        QCOMPARE(chmod(path.c_str(), 0666), 0);

    const pid_t child = fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        const uid_t nobody = 65534;
        if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setresgid(nobody, nobody, nobody) != 0 ||
                               setresuid(nobody, nobody, nobody) != 0))
            _exit(3);
        int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0 || ioctl(fd, TIOCEXCL) != 0)
            _exit(4);
        close(fd);
        const timespec step{0, 10 * 1000 * 1000};
        for (int i = 0; i < 500; ++i) {
            fd = open(path.c_str(), O_RDWR | O_NOCTTY);
            if (fd >= 0)
                _exit(0);
            if (errno != EBUSY)
                _exit(5);
            nanosleep(&step, nullptr);
        }
        _exit(1); // still locked out after 5 s
    }
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestSimServer::splitAnswerComesInTwoReads() {
    SimOptions options = Fixed();
    options.busFaults.split = 1.0;
    options.busFaults.splitPauseMs = 1000;
    SimServer server(options);
    std::string error;
    QVERIFY2(server.Start(&error), error.c_str());
    LineEnd line(server.DevicePath());
    QVERIFY(line.WriteAll(PollBlock(1, false)));

    QVERIFY(line.WaitReadable(kWait));
    Bytes all = line.ReadQueued();
    QVERIFY2(!all.empty() && all.size() < size_t(MIN_ANSWER_LENGTH), qPrintable(ToHex(all)));
    QCOMPARE(DecodeAnswer(all.data(), static_cast<int>(all.size()), nullptr), AnswerOutcome::NoAnswer);
    QCOMPARE(server.AnswersSent(), uint64_t(0));

    const Bytes rest = line.ReadAtLeast(READ_ANSWER_LENGTH - all.size(), kWait);
    all.insert(all.end(), rest.begin(), rest.end());
    QCOMPARE(Accepted(all).fValue, 18.5f);
    QVERIFY(server.WaitForAnswers(1, kWait));
}

void TestSimServer::delaysAreScheduledNotSlept() {
    SimOptions options = Fixed();
    SimFaults soon, never;
    soon.delay = never.delay = 1.0;
    soon.delayMs = 400;
    never.delayMs = 60000;
    options.controllerFaults = {{1, soon}, {3, never}};
    auto server = std::make_unique<SimServer>(options);
    std::string error;
    QVERIFY2(server->Start(&error), error.c_str());
    LineEnd line(server->DevicePath());

    QElapsedTimer clock;
    clock.start();
    const Bytes answer = Exchange(line, PollBlock(1, false), READ_ANSWER_LENGTH);
    QCOMPARE(Accepted(answer).nAddress, 1);
    QVERIFY2(clock.elapsed() >= 400, qPrintable(QString::number(clock.elapsed())));

    // A minute-long delay is pending when the server is stopped: it must not wait for it.
    QVERIFY(line.WriteAll(PollBlock(3, false)));
    QVERIFY(server->WaitForRequests(2, kWait));
    clock.restart();
    server.reset();
    QVERIFY2(clock.elapsed() < 10000, "Stop waited for a delayed answer");
    QVERIFY(line.ReadQueued().empty());
}

void TestSimServer::servesADevice() {
    // A pseudo-terminal's slave stands in for a serial device; the test holds the master.
    LineEnd far(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK));
    QVERIFY(far.IsOpen());
    QCOMPARE(grantpt(far.Fd()), 0);
    QCOMPARE(unlockpt(far.Fd()), 0);
    char name[128];
    QCOMPARE(ptsname_r(far.Fd(), name, sizeof name), 0);

    SimOptions options = Fixed();
    options.device = name;
    options.speed = 19200;
    SimServer server(options);
    std::string error;
    QVERIFY2(server.Start(&error), error.c_str());
    QCOMPARE(server.DevicePath(), std::string(name));

    termios tio{};
    QCOMPARE(tcgetattr(far.Fd(), &tio), 0);
    QCOMPARE(cfgetospeed(&tio), speed_t(B19200));
    QCOMPARE(tio.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
    QCOMPARE(tio.c_lflag & (ECHO | ICANON), tcflag_t(0));

    // Held exclusively: another program cannot open it (root can, but then cannot lock it).
    LineEnd other(name);
    if (other.IsOpen())
        QCOMPARE(flock(other.Fd(), LOCK_EX | LOCK_NB), -1);
    else
        QCOMPARE(errno, EBUSY);
    other.Close();

    const Reading reading = Accepted(Exchange(far, PollBlock(5, false), READ_ANSWER_LENGTH));
    QCOMPARE(reading.nAddress, 5);
    QCOMPARE(reading.fValue, 21.5f);

    // The device goes away: serving ends with the reason.
    far.Close();
    QTRY_VERIFY_WITH_TIMEOUT(!server.Running(), 5000);
    QVERIFY2(server.LastError().find(name) != std::string::npos, server.LastError().c_str());
}

void TestSimServer::startRefuses_data() {
    QTest::addColumn<OptionsChange>("change");
    QTest::addColumn<QString>("message");

    QTest::newRow("address 0") << OptionsChange([](SimOptions& o) {
        o.controllers = {{0, 1, 1, 1}};
    }) << "the address must be 1 to 99";
    QTest::newRow("address twice") << OptionsChange([](SimOptions& o) {
        o.controllers.push_back({3, 1, 1, 0});
    }) << "given twice";
    QTest::newRow("value too wide for the decimals") << OptionsChange([](SimOptions& o) {
        o.controllers = {{3, 100.0, 1, 2}};
    }) << "four digits";
    QTest::newRow("no controllers") << OptionsChange([](SimOptions& o) { o.controllers.clear(); })
                                    << "no controllers";
    QTest::newRow("probability above 1")
        << OptionsChange([](SimOptions& o) { o.busFaults.silence = 1.5; }) << "probability";
    QTest::newRow("faults for address 100")
        << OptionsChange([](SimOptions& o) { o.controllerFaults[100] = {}; }) << "faults for address 100";
    QTest::newRow("missing device") << OptionsChange([](SimOptions& o) { o.device = "/nonexistent/ttyX"; })
                                    << "cannot open /nonexistent/ttyX: No such file or directory";
    QTest::newRow("not a serial line")
        << OptionsChange([](SimOptions& o) { o.device = "/dev/null"; }) << "/dev/null is not a serial line";
    QTest::newRow("unsupported speed") << OptionsChange([](SimOptions& o) {
        o.device = "/dev/null";
        o.speed = 14400;
    }) << "the speed 14400 is not supported";
    QTest::newRow("link over a regular file")
        << OptionsChange([](SimOptions& o) { o.symlink = PlainFile().toStdString(); })
        << PlainFile() + " exists and is not a symbolic link";
}

void TestSimServer::startRefuses() {
    QFETCH(OptionsChange, change);
    QFETCH(QString, message);

    QFile plain(PlainFile());
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.write("mine");
    plain.close();

    SimOptions options = Fixed();
    change(options);
    const int before = OpenDescriptors();
    {
        SimServer server(options);
        std::string error;
        QVERIFY(!server.Start(&error));
        QVERIFY2(QString::fromStdString(error).contains(message), error.c_str());
        QVERIFY(!server.Running());
        QCOMPARE(OpenDescriptors(), before); // nothing left open behind a refusal
    }
    QVERIFY(plain.open(QIODevice::ReadOnly));
    QCOMPARE(plain.readAll(), QByteArray("mine"));
    plain.remove();
}

void TestSimServer::symlinkLifecycle() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string link = dir.filePath("bus").toStdString();

    // A link left by a run that was killed is taken over, and removed on stop.
    QCOMPARE(symlink("/dev/nonexistent", link.c_str()), 0);
    SimOptions options = Fixed();
    options.symlink = link;
    {
        SimServer server(options);
        std::string error;
        QVERIFY2(server.Start(&error), error.c_str());
        QCOMPARE(QFileInfo(QString::fromStdString(link)).symLinkTarget(),
                 QString::fromStdString(server.DevicePath()));
        LineEnd line(link);
        QCOMPARE(Accepted(Exchange(line, PollBlock(3, false), READ_ANSWER_LENGTH)).nAddress, 3);
    }
    QVERIFY(!QFileInfo(QString::fromStdString(link)).isSymLink());

    // A link that another run has taken over meanwhile is left alone.
    {
        SimServer server(options);
        std::string error;
        QVERIFY2(server.Start(&error), error.c_str());
        QCOMPARE(unlink(link.c_str()), 0);
        QCOMPARE(symlink("/dev/other", link.c_str()), 0);
    }
    QCOMPARE(QFileInfo(QString::fromStdString(link)).symLinkTarget(), QString("/dev/other"));
}

QTEST_GUILESS_MAIN(TestSimServer)
#include "tst_sim_server.moc"
