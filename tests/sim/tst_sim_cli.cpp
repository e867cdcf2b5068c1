// orvel-sim's command line, and the executable run the way a user runs it.
#include <signal.h>

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "protocol.h"
#include "sim_cli.h"
#include "sim_test_util.h"

namespace {

QString Faults(const SimFaults& f) {
    const SimFaults d;
    QStringList parts;
    const auto add = [&parts](const char* name, double value, double standard) {
        if (value != standard)
            parts << QString("%1=%2").arg(name).arg(value);
    };
    add("delay", f.delay, d.delay);
    add("silence", f.silence, d.silence);
    add("badBcc", f.badBcc, d.badBcc);
    add("garbage", f.garbage, d.garbage);
    add("split", f.split, d.split);
    add("flood", f.flood, d.flood);
    add("wrongAddress", f.wrongAddress, d.wrongAddress);
    add("delayMs", f.delayMs, d.delayMs);
    add("splitPauseMs", f.splitPauseMs, d.splitPauseMs);
    add("garbageBytes", f.garbageBytes, d.garbageBytes);
    add("floodBytes", f.floodBytes, d.floodBytes);
    return parts.join(' ');
}

// What differs from the defaults, in a fixed order; empty when nothing does.
QString Summary(const SimCommandLine& line) {
    const SimOptions& o = line.options;
    const SimOptions d;
    QStringList parts;
    const auto same = [](const SimController& a, const SimController& b) {
        return a.address == b.address && a.pv == b.pv && a.sv == b.sv && a.decimals == b.decimals;
    };
    if (!std::equal(o.controllers.begin(), o.controllers.end(), d.controllers.begin(), d.controllers.end(),
                    same)) {
        QStringList controllers;
        for (const SimController& c : o.controllers)
            controllers << QString("%1:%2/%3/%4").arg(c.address).arg(c.pv).arg(c.sv).arg(c.decimals);
        parts << "controllers=" + controllers.join(',');
    }
    if (!Faults(o.busFaults).isEmpty())
        parts << "bus{" + Faults(o.busFaults) + "}";
    for (const auto& [address, faults] : o.controllerFaults)
        parts << QString("%1{%2}").arg(address).arg(Faults(faults));
    if (o.seed != d.seed)
        parts << QString("seed=%1").arg(o.seed);
    if (!o.pvMoves)
        parts << "static";
    if (!o.device.empty())
        parts << "device=" + QString::fromStdString(o.device);
    if (o.speed != d.speed)
        parts << QString("speed=%1").arg(o.speed);
    if (!o.symlink.empty())
        parts << "link=" + QString::fromStdString(o.symlink);
    if (line.verbose)
        parts << "verbose";
    if (line.help)
        parts << "help";
    return parts.join(' ');
}

std::vector<std::string> Args(const QStringList& list) {
    std::vector<std::string> args;
    for (const QString& arg : list)
        args.push_back(arg.toStdString());
    return args;
}

} // namespace

class TestSimCli : public QObject {
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void parseRefuses_data();
    void parseRefuses();
    void runAsUser_data();
    void runAsUser();
    void exitStatus_data();
    void exitStatus();
};

void TestSimCli::parse_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("summary");

    QTest::newRow("nothing: the default bus") << QStringList{} << "";
    QTest::newRow("one controller replaces the defaults")
        << QStringList{"--controller", "3:pv=24.7,sv=25.0,dec=1"} << "controllers=3:24.7/25/1";
    QTest::newRow("controller defaults, = form, leading zero")
        << QStringList{"--controller=7:sv=-5", "--controller", "08"} << "controllers=7:-5/-5/1,8:0/0/1";
    QTest::newRow("a controller's faults build on the bus-wide ones, wherever given")
        << QStringList{"--fault", "3:garbage=1", "--fault", "silence=0.25",    "--controller",
                       "3",       "--delay-ms",  "50",      "--flood-bytes=10"}
        << "controllers=3:0/0/1 bus{silence=0.25 delayMs=50 floodBytes=10} "
           "3{silence=0.25 garbage=1 delayMs=50 floodBytes=10}";
    QTest::newRow("every fault name") << QStringList{"--fault",     "delay=0.1",       "--fault",
                                                     "silence=0.2", "--fault",         "bad-bcc=0.3",
                                                     "--fault",     "garbage=0.4",     "--fault",
                                                     "split=0.5",   "--fault",         "flood=0.6",
                                                     "--fault",     "wrong-address=1", "--split-pause-ms",
                                                     "0",           "--garbage-bytes", "3"}
                                      << "bus{delay=0.1 silence=0.2 badBcc=0.3 garbage=0.4 split=0.5 "
                                         "flood=0.6 wrongAddress=1 splitPauseMs=0 "
                                         "garbageBytes=3}";
    QTest::newRow("line and run options")
        << QStringList{"--static", "--seed", "42",     "--device", "/dev/ttyUSB0",
                       "--speed",  "19200",  "--link", "/tmp/bus", "--verbose"}
        << "seed=42 static device=/dev/ttyUSB0 speed=19200 link=/tmp/bus verbose";
    QTest::newRow("help") << QStringList{"-h"} << "help";
}

void TestSimCli::parse() {
    QFETCH(QStringList, args);
    QFETCH(QString, summary);
    SimCommandLine line;
    std::string error;
    QVERIFY2(ParseSimCommandLine(Args(args), &line, &error), error.c_str());
    QCOMPARE(Summary(line), summary);
}

void TestSimCli::parseRefuses_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown option") << QStringList{"--bogus"} << "unknown option --bogus";
    QTest::newRow("stray argument") << QStringList{"stray"} << "unexpected argument stray";
    QTest::newRow("value missing at the end") << QStringList{"--seed"} << "--seed needs a value";
    QTest::newRow("value given to a flag") << QStringList{"--static=1"} << "--static takes no value";
    QTest::newRow("negative seed") << QStringList{"--seed", "-1"} << "--seed -1: expected a number";
    QTest::newRow("seed with trailing text")
        << QStringList{"--seed", "12x"} << "--seed 12x: expected a number";
    QTest::newRow("address 100") << QStringList{"--controller", "100"} << "address 1 to 99";
    QTest::newRow("address 0") << QStringList{"--controller", "0:pv=1"} << "address 1 to 99";
    QTest::newRow("PV not a number") << QStringList{"--controller", "3:pv=abc"} << "'pv=abc'";
    QTest::newRow("decimals 10") << QStringList{"--controller", "3:dec=10"} << "'dec=10'";
    QTest::newRow("key twice") << QStringList{"--controller", "3:pv=1,pv=2"} << "'pv=2'";
    QTest::newRow("unknown key") << QStringList{"--controller", "3:temp=1"} << "'temp=1'";
    QTest::newRow("address twice") << QStringList{"--controller", "3", "--controller", "03"} << "given twice";
    QTest::newRow("value too wide") << QStringList{"--controller", "3:pv=1000,dec=1"} << "four digits";
    QTest::newRow("value beyond any integer") << QStringList{"--controller", "3:sv=1e300"} << "four digits";
    QTest::newRow("probability above 1")
        << QStringList{"--fault", "silence=1.5"} << "probability from 0 to 1";
    QTest::newRow("probability missing") << QStringList{"--fault", "silence"} << "probability from 0 to 1";
    QTest::newRow("unknown fault") << QStringList{"--fault", "noise=0.5"} << "'noise' is no fault";
    QTest::newRow("fault for a missing controller")
        << QStringList{"--fault", "7:silence=0.5"} << "no controller has address 7";
    QTest::newRow("speed without a device") << QStringList{"--speed", "9600"} << "--speed needs --device";
    QTest::newRow("speed the line cannot take")
        << QStringList{"--device", "/dev/ttyS0", "--speed", "14400"} << "--speed 14400: expected one of";
    QTest::newRow("delay too long") << QStringList{"--delay-ms", "70000"} << "from 0 to 60000";
    QTest::newRow("no flood") << QStringList{"--flood-bytes", "0"} << "from 1 to 65536";
    QTest::newRow("empty link") << QStringList{"--link="} << "--link : expected a path";
}

void TestSimCli::parseRefuses() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    SimCommandLine line;
    std::string error;
    QVERIFY(!ParseSimCommandLine(Args(args), &line, &error));
    QVERIFY2(QString::fromStdString(error).contains(message), error.c_str());
}

void TestSimCli::runAsUser_data() {
    QTest::addColumn<int>("stopSignal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestSimCli::runAsUser() {
    QFETCH(int, stopSignal);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath("bus");

    QProcess sim;
    sim.start(ORVEL_SIM_EXE,
              {"--link", link, "--static", "--controller", "7:pv=24.7,sv=25.0,dec=1", "--verbose"});
    QVERIFY(sim.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
    const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed();
    QVERIFY2(path.startsWith("/dev/pts/"), qPrintable(path));
    QCOMPARE(QFileInfo(link).symLinkTarget(), path);

    {
        LineEnd line(link.toStdString());
        QVERIFY(line.IsOpen());
        QVERIFY(line.WriteAll(PollBlock(7, false)));
        const Bytes answer = line.ReadAtLeast(16, std::chrono::seconds(5));
        Reading reading;
        QCOMPARE(DecodeAnswer(answer.data(), static_cast<int>(answer.size()), &reading),
                 AnswerOutcome::Accepted);
        QCOMPARE(reading.nAddress, 7);
        QCOMPARE(reading.fValue, 24.7f);
    }

    QCOMPARE(kill(static_cast<pid_t>(sim.processId()), stopSignal), 0);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
    const QString log = QString::fromLocal8Bit(sim.readAllStandardError());
    QVERIFY2(log.contains("07RXP0 -> 06 02 30 37 52 44 50 30 20 30 32 34 37 31 03 66"), qPrintable(log));
}

void TestSimCli::exitStatus_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("onStderr");
    QTest::addColumn<QString>("text");

    QTest::newRow("help") << QStringList{"--help"} << 0 << false << "--fault ADDR:NAME=PROB";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << 2 << true
                                    << "orvel-sim: unknown option --bogus\nTry 'orvel-sim --help'.";
    QTest::newRow("bad value") << QStringList{"--fault", "silence=2"} << 2 << true
                               << "probability from 0 to 1";
    QTest::newRow("device that is not there") << QStringList{"--device", "/nonexistent/ttyX"} << 1 << true
                                              << "orvel-sim: cannot open /nonexistent/ttyX";
}

void TestSimCli::exitStatus() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(bool, onStderr);
    QFETCH(QString, text);

    QProcess sim;
    sim.start(ORVEL_SIM_EXE, args);
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), code);
    const QString out =
        QString::fromLocal8Bit(onStderr ? sim.readAllStandardError() : sim.readAllStandardOutput());
    QVERIFY2(out.contains(text), qPrintable(out));
}

QTEST_GUILESS_MAIN(TestSimCli)
#include "tst_sim_cli.moc"
