// Cost of the console's polling cycle: one answer tick and one request tick with the port on a
// pseudo-terminal (microseconds and heap allocations), and the CPU time of the whole console over
// a run of polling against the simulated bus, next to a bare dialog of the same widgets that
// repaints its 264 x 162 picture every poll period. The two runs alternate in rounds of at most
// 10 s, so that a change in the host's load falls on both alike.
//
//   bench_console [seconds]     seconds of polling and of the bare dialog, 60 each when not given
//
// Not a test: it prints figures and judges nothing.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTimer>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <numeric>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "com_map.h"
#include "panel_widget.h"
#include "sim_server.h"
#include "test_dlg.h"

// Heap allocations are counted for malloc as well as operator new: Qt's containers and strings
// take their memory with malloc.
#define ORVEL_COUNT_MALLOC
#include "alloc_counter.h"

namespace {

using Clock = std::chrono::steady_clock;

// An answer of controller 01: PV 21.5 with one decimal.
constexpr unsigned char kAnswer[] = {0x06, 0x02, 0x30, 0x31, 0x52, 0x44, 0x50, 0x30,
                                     0x20, 0x30, 0x32, 0x31, 0x35, 0x31, 0x03, 0x67};

struct Figures {
    double medianUs = 0, meanUs = 0;
    double allocationsPerCall = 0;
};

// Runs prepare (untimed) and work (timed) n times.
template <typename Prepare, typename Work> Figures Measure(int n, Prepare prepare, Work work) {
    std::vector<double> us;
    us.reserve(size_t(n));
    unsigned long long allocations = 0;
    for (int i = 0; i < n; ++i) {
        prepare();
        const unsigned long long before = alloc_counter::Allocations();
        const auto start = Clock::now();
        work();
        const auto end = Clock::now();
        allocations += alloc_counter::Allocations() - before;
        us.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    Figures f;
    f.allocationsPerCall = double(allocations) / n;
    for (double u : us)
        f.meanUs += u / n;
    std::nth_element(us.begin(), us.begin() + n / 2, us.end());
    f.medianUs = us[size_t(n / 2)];
    return f;
}

template <typename Work> Figures Measure(int n, Work work) {
    return Measure(
        n, [] {}, work);
}

void Print(const char* what, const Figures& f) {
    std::printf("  %-52s median %8.2f us  mean %8.2f us  %6.2f allocations\n", what, f.medianUs, f.meanUs,
                f.allocationsPerCall);
}

// Both ends of a pseudo-terminal: the console opens the slave by its path; the bench writes
// answers into the master and takes the requests out of it.
struct Line {
    int master = -1, slave = -1;
    std::string path;

    bool Open() {
        master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
            return false;
        path = ptsname(master);
        slave = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC); // keeps the master from hanging up
        termios tio{};
        if (slave < 0 || tcgetattr(slave, &tio) != 0)
            return false;
        cfmakeraw(&tio);
        return tcsetattr(slave, TCSANOW, &tio) == 0;
    }
    int QueuedAtSlave() const {
        int n = 0;
        return ioctl(slave, FIONREAD, &n) == 0 ? n : -1;
    }
    void Feed(const unsigned char* data, size_t n) const {
        if (write(master, data, n) != ssize_t(n))
            std::perror("write");
        // The terminal moves the bytes to the slave's queue on a kernel worker; wait for them.
        while (QueuedAtSlave() < int(n))
            std::this_thread::yield();
    }
    void Drain() const {
        unsigned char scratch[256];
        int n = 0;
        while (ioctl(master, FIONREAD, &n) == 0 && n > 0)
            if (read(master, scratch, sizeof scratch) <= 0)
                break;
    }
};

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Tells apart the CPU time spent inside the timer events of one object (the console's poll
// ticks, the bare dialog's repaint timer) from the rest of the event loop (deferred paints of the
// text widgets, layout, the loop itself). Per event, so that a median can be given: a run's total
// on a shared machine swings with what else runs.
class BenchApplication : public QApplication {
public:
    using QApplication::QApplication;

    // Counts the timer events of object from now on, after the figures taken so far; null stops
    // counting.
    void Watch(QObject* object) { m_watched = object; }
    // Hands over the CPU time of each event counted so far, and starts anew.
    std::vector<double> TakeEventMs() { return std::exchange(m_eventMs, {}); }

    bool notify(QObject* receiver, QEvent* event) override {
        if (receiver != m_watched || event->type() != QEvent::Timer)
            return QApplication::notify(receiver, event);
        const double start = ThreadCpuMs();
        const bool result = QApplication::notify(receiver, event);
        m_eventMs.push_back(ThreadCpuMs() - start);
        return result;
    }

private:
    QObject* m_watched = nullptr;
    std::vector<double> m_eventMs;
};

struct EventFigures {
    std::vector<double> ms;
    void Add(std::vector<double> more) { ms.insert(ms.end(), more.begin(), more.end()); }
    [[nodiscard]] double TotalMs() const { return std::accumulate(ms.begin(), ms.end(), 0.0); }
    [[nodiscard]] double MedianUs() {
        if (ms.empty())
            return 0;
        std::nth_element(ms.begin(), ms.begin() + ms.size() / 2, ms.end());
        return ms[ms.size() / 2] * 1e3;
    }
};

double CpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// A loop of its own: quitting the application's loop would also close every window.
void RunEventLoop(std::chrono::milliseconds time) {
    QEventLoop loop;
    QTimer::singleShot(time, &loop, &QEventLoop::quit);
    loop.exec();
}

// The process's CPU time over a run of the event loop. The first show's layout and font work
// should be over before: see Settle.
double CpuOverRun(int seconds, QObject* timed) {
    static_cast<BenchApplication*>(qApp)->Watch(timed);
    const double before = CpuMs();
    RunEventLoop(std::chrono::seconds(seconds));
    const double spent = CpuMs() - before;
    static_cast<BenchApplication*>(qApp)->Watch(nullptr);
    return spent;
}

// A poll period or two of the loop before a measured run, so that the run starts in step.
void Settle() {
    RunEventLoop(2 * kPollPeriod);
}

// Each measured run in a function of its own, kept out of line so that an instruction count can
// be collected for one run alone, without the settling before it:
//   valgrind --tool=callgrind --collect-atstart=no --toggle-collect='*ConsolePhase*' bench_console 12
__attribute__((noinline, noipa)) double ConsolePhase(int seconds, QObject* timed) {
    return CpuOverRun(seconds, timed);
}
__attribute__((noinline, noipa)) double BarePhase(int seconds, QObject* timed) {
    return CpuOverRun(seconds, timed);
}

// The console's widgets and nothing of its work: the whole picture repainted every poll period.
class BareDialog : public QDialog {
public:
    BareDialog() {
        QImage picture(264, 162, QImage::Format_RGB32);
        picture.fill(QColor(40, 40, 40));
        m_picture = new PictureWidget(picture, this);
        auto* grid = new QGridLayout(this);
        grid->addWidget(m_picture, 0, 0);
        auto* column = new QVBoxLayout;
        column->addWidget(new QLabel(QStringLiteral("logo"), this));
        auto* list = new QComboBox(this);
        list->addItems({QStringLiteral("01"), QStringLiteral("03")});
        column->addWidget(list);
        column->addWidget(new QCheckBox(QStringLiteral("PNP"), this));
        column->addWidget(new QCheckBox(QStringLiteral("Autoscan"), this));
        grid->addLayout(column, 0, 1);
        auto* row = new QHBoxLayout;
        row->addWidget(new QLabel(QStringLiteral("STX"), this));
        row->addWidget(new QLineEdit(QStringLiteral("01RXP0"), this));
        row->addWidget(new QLabel(QStringLiteral("ETX,6A"), this));
        grid->addLayout(row, 1, 0);
        grid->addWidget(new QPushButton(QStringLiteral("Send"), this), 1, 1);
        grid->addWidget(new QLineEdit(this), 2, 0, 1, 2);
        connect(&m_timer, &QTimer::timeout, m_picture, [this] { m_picture->repaint(); });
        m_timer.start(kPollPeriod);
    }
    [[nodiscard]] QTimer* RepaintTimer() { return &m_timer; }
    void RepaintPicture() { m_picture->repaint(); }

private:
    class PictureWidget : public QWidget {
    public:
        PictureWidget(const QImage& image, QWidget* parent) : QWidget(parent), m_image(image) {
            setFixedSize(image.size());
        }

    protected:
        void paintEvent(QPaintEvent*) override {
            QPainter painter(this);
            painter.drawImage(0, 0, m_image);
        }

    private:
        QImage m_image;
    };

    PictureWidget* m_picture = nullptr;
    QTimer m_timer;
};

// The simulated bus in a child process, so that its work stays out of the console's CPU time.
pid_t StartBusProcess(std::string* path) {
    int fds[2];
    if (pipe(fds) != 0)
        return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        SimOptions options; // the demo's controllers, values moving
        SimServer server(options);
        std::string error;
        const bool started = server.Start(&error);
        const std::string line = started ? server.DevicePath() + "\n" : "\n";
        if (write(fds[1], line.data(), line.size()) < 0 || !started)
            _exit(1);
        close(fds[1]);
        pause(); // serves from its own thread until the parent ends it
        _exit(0);
    }
    close(fds[1]);
    char buffer[256] = {};
    const ssize_t n = read(fds[0], buffer, sizeof buffer - 1);
    close(fds[0]);
    *path = n > 1 ? std::string(buffer, size_t(n - 1)) : std::string();
    return pid;
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");

    // Before Qt starts any thread.
    std::string busPath;
    const pid_t bus = StartBusProcess(&busPath);
    if (bus < 0 || busPath.empty()) {
        std::fprintf(stderr, "bench_console: the simulated bus did not start\n");
        return 1;
    }

    BenchApplication app(argc, argv);
    Line line;
    if (!line.Open()) {
        std::fprintf(stderr, "bench_console: no pseudo-terminal\n");
        kill(bus, SIGTERM);
        return 1;
    }
    SetComDevicePath(1, line.path);
    CTestDlg dlg;
    dlg.show(); // initialises the dialog and opens COM1
    dlg.StopPolling();
    dlg.m_chkPnp->setChecked(false);
    dlg.UpdateAddressList(1, 1); // 01 listed and selected: its answers go to the readouts
    QApplication::processEvents();

    const int n = 2000;
    std::printf(
        "platform %s, %d calls each; allocations counted: %s\n", qPrintable(QGuiApplication::platformName()),
        n, alloc_counter::kCountsMalloc ? "malloc and operator new" : "operator new only (sanitizer build)");

    // Pieces of an answer tick.
    Reading reading;
    char text[READOUT_TEXT_SIZE];
    char dump[DUMP_TEXT_SIZE];
    std::printf("pieces of an answer tick:\n");
    Print("DecodeAnswer + FormatReading", Measure(n, [&] {
              if (DecodeAnswer(kAnswer, int(sizeof kAnswer), &reading) == AnswerOutcome::Accepted)
                  FormatReading(reading, text);
          }));
    Print("FormatHexDump of 16 bytes", Measure(n, [&] { FormatHexDump(kAnswer, int(sizeof kAnswer), dump); }));

    auto tick = [&] { dlg.OnTimer(0); };
    auto answerDue = [&] {
        line.Feed(kAnswer, sizeof kAnswer);
        dlg.m_bAnswerDue = 1;
    };
    auto requestDue = [&] {
        line.Drain();
        dlg.m_bAnswerDue = 0;
    };

    Figures shownAnswer, shownRequest;
    for (const bool shown : {false, true}) {
        if (shown) {
            dlg.show();
            QApplication::processEvents();
        } else {
            dlg.hide(); // a hidden widget's repaint does nothing: the console's own work alone
        }
        std::printf("%s:\n", shown ? "dialog shown, each draw repainted at once"
                                   : "dialog hidden, no repaint (own work)");
        dlg.m_readout.m_nRow = ROW_GREEN;
        Print("CSegmentDisplay::Draw of a 6-character readout",
              Measure(n, [&] { dlg.m_readout.Draw(PV_X, PV_Y, "  21.5"); }));
        Print("CLampDisplay::Draw", Measure(n, [&] { dlg.m_lamps.Draw(LAMP_X, RX_LAMP_Y, LAMP_ON); }));
        const Figures answer = Measure(n, answerDue, tick);
        const Figures request = Measure(n, requestDue, tick);
        Print("answer tick (read, dump, decode, list, format, draws)", answer);
        Print("request tick (discard, build, texts, write 24 bytes, lamps)", request);
        if (shown) {
            shownAnswer = answer;
            shownRequest = request;
        }
    }
    line.Drain();
    dlg.hide();

    BareDialog bare;
    bare.show();
    QApplication::processEvents();
    bare.RepaintTimer()->stop();
    std::printf("bare dialog of the same widgets, shown:\n");
    const Figures bareRepaint = Measure(n, [&] { bare.RepaintPicture(); });
    Print("repaint of the 264 x 162 picture", bareRepaint);
    bare.hide();
    bare.RepaintTimer()->start(kPollPeriod);
    // A request and an answer tick every 1.2 s against a repaint every 0.6 s.
    const double perMinute = 60.0 / (2 * std::chrono::duration<double>(kPollPeriod).count());
    std::printf("  %-52s console %6.1f ms, bare dialog %6.1f ms\n", "in 60 s, from these medians:",
                perMinute * (shownAnswer.medianUs + shownRequest.medianUs) / 1e3,
                2 * perMinute * bareRepaint.medianUs / 1e3);

    // CPU time of the whole process over polling against the bare dialog, in alternating rounds
    // of at most 10 s, so that a change in the host's load falls on both alike.
    bare.RepaintTimer()->stop();
    dlg.show();
    dlg.CloseLink();
    SetComDevicePath(1, busPath);
    dlg.m_chkPnp->setChecked(true);
    dlg.OpenLink();
    bare.show();
    bare.move(dlg.frameGeometry().right() + 8, dlg.y()); // side by side under a real display
    QApplication::processEvents();
    const int rounds = (seconds + 9) / 10;
    const int roundSeconds = (seconds + rounds - 1) / rounds;
    std::printf(
        "CPU time over %d s each, in %d alternating rounds (user + system, whole process; on a shared\n"
        "or virtual machine the time of short bursts after idle periods swings with the host's load):\n",
        rounds * roundSeconds, rounds);
    double consoleMs = 0, bareMs = 0;
    EventFigures consoleTicks, bareRepaints;
    for (int round = 0; round < rounds; ++round) {
        dlg.StartPolling();
        Settle();
        app.TakeEventMs();
        consoleMs += ConsolePhase(roundSeconds, &dlg);
        consoleTicks.Add(app.TakeEventMs());
        dlg.StopPolling();

        bare.RepaintTimer()->start(kPollPeriod);
        Settle();
        bareMs += BarePhase(roundSeconds, bare.RepaintTimer());
        bareRepaints.Add(app.TakeEventMs());
        bare.RepaintTimer()->stop();
        std::printf("  round %d: console %6.1f ms, bare dialog %6.1f ms (running totals)\n", round + 1, consoleMs,
                    bareMs);
    }
    const QString list = [&] {
        QStringList items;
        for (int i = 0; i < dlg.m_cmbAddress->count(); ++i)
            items << dlg.m_cmbAddress->itemText(i);
        return items.join(',');
    }();
    std::printf("  %-52s %8.1f ms  (list %s, PV \"%s\", SV \"%s\")\n", "console polling the simulated bus",
                consoleMs, qPrintable(list), dlg.m_szPV, dlg.m_szSV);
    std::printf("  %-52s %8.1f ms\n", "bare dialog repainting 264 x 162 every 600 ms", bareMs);
    std::printf("  %-52s %8.1f\n", "ratio console / bare dialog", bareMs > 0 ? consoleMs / bareMs : 0.0);
    std::printf("  %-52s %8.1f ms  (%zu ticks, median %.1f us)\n", "  of which inside the poll ticks",
                consoleTicks.TotalMs(), consoleTicks.ms.size(), consoleTicks.MedianUs());
    std::printf("  %-52s %8.1f ms  (%zu repaints, median %.1f us)\n", "  of which inside the repaint timer's events",
                bareRepaints.TotalMs(), bareRepaints.ms.size(), bareRepaints.MedianUs());
    dlg.CloseLink();

    kill(bus, SIGTERM);
    waitpid(bus, nullptr, 0);
    return 0;
}
