// The command line: what is accepted, what each mistake says, and the exit codes; once through
// the parser alone and once through the real program.
#include <QProcess>
#include <QTest>

#include "command_line.h"

using Devices = std::map<int, std::string>;
Q_DECLARE_METATYPE(Devices)

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void parses_data();
    void parses();
    void program_data();
    void program();
};

void TestCommandLine::parses_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("demo");
    QTest::addColumn<Devices>("devices");
    QTest::addColumn<QString>("output"); // a part of it, for an error the part that names the mistake

    const Devices none;
    QTest::newRow("nothing") << QStringList() << -1 << false << none << "";
    QTest::newRow("--demo") << QStringList{"--demo"} << -1 << true << none << "";
    QTest::newRow("one device") << QStringList{"--com", "1=/dev/ttyUSB0"} << -1 << false
                                << Devices{{1, "/dev/ttyUSB0"}} << "";
    QTest::newRow("several, with =") << QStringList{"--com=8=/dev/b", "--com", "3=/dev/a=x"} << -1 << false
                                     << Devices{{3, "/dev/a=x"}, {8, "/dev/b"}} << "";
    QTest::newRow("demo and another port") << QStringList{"--demo", "--com", "2=/dev/ttyUSB0"} << -1 << true
                                           << Devices{{2, "/dev/ttyUSB0"}} << "";
    QTest::newRow("--version") << QStringList{"--version"} << 0 << false << none << "OrvelSeries 1.0.0.1\n";
    QTest::newRow("-v") << QStringList{"-v"} << 0 << false << none << "OrvelSeries 1.0.0.1\n";
    QTest::newRow("--help") << QStringList{"--help"} << 0 << false << none << "Usage: orvelseries [options]";
    QTest::newRow("-h wins over a bad --com")
        << QStringList{"-h", "--com", "9=x"} << 0 << false << none << "--com <N=DEVICE>";
    QTest::newRow("COM0") << QStringList{"--com", "0=/dev/x"} << 2 << false << none
                          << "N must be a COM number from 1 to 8";
    QTest::newRow("COM9") << QStringList{"--com", "9=/dev/x"} << 2 << false << none
                          << "N must be a COM number from 1 to 8";
    QTest::newRow("N too long for a number")
        << QStringList{"--com", "99999999999=/dev/x"} << 2 << false << none << "N must be a COM number";
    QTest::newRow("N not a number") << QStringList{"--com", "one=/dev/x"} << 2 << false << none
                                    << "--com expects N=DEVICE";
    QTest::newRow("no device") << QStringList{"--com", "1="} << 2 << false << none
                               << "--com expects N=DEVICE";
    QTest::newRow("no N") << QStringList{"--com", "/dev/ttyUSB0"} << 2 << false << none
                          << "--com expects N=DEVICE";
    QTest::newRow("no value") << QStringList{"--com"} << 2 << false << none << "Missing value after '--com'";
    QTest::newRow("a port twice") << QStringList{"--com", "2=/dev/a", "--com", "2=/dev/b"} << 2 << false
                                  << none << "COM2 is given more than once";
    QTest::newRow("demo and COM1") << QStringList{"--com", "1=/dev/a", "--demo"} << 2 << false << none
                                   << "--demo puts the simulated bus on COM1";
    QTest::newRow("unknown option") << QStringList{"--baud", "9600"} << 2 << false << none
                                    << "Unknown option 'baud'";
    QTest::newRow("stray argument") << QStringList{"/dev/ttyUSB0"} << 2 << false << none
                                    << "unexpected argument '/dev/ttyUSB0'";
}

void TestCommandLine::parses() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(bool, demo);
    QFETCH(Devices, devices);
    QFETCH(QString, output);

    const CommandLine result =
        ParseCommandLine(QStringList{QStringLiteral("/usr/bin/orvelseries")} + arguments);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.demo, demo);
    QVERIFY(result.devices == devices);
    if (exitCode == 2) {
        QVERIFY2(result.output.startsWith(QStringLiteral("orvelseries: ")), qPrintable(result.output));
        QVERIFY2(result.output.endsWith(QStringLiteral("Try 'orvelseries --help' for more information.\n")),
                 qPrintable(result.output));
    }
    if (exitCode == -1)
        QVERIFY(result.output.isEmpty());
    else
        QVERIFY2(result.output.contains(output), qPrintable(result.output));
}

void TestCommandLine::program_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("--version") << QStringList{"--version"} << 0 << "OrvelSeries 1.0.0.1\n"
                               << "";
    QTest::newRow("bad N") << QStringList{"--com", "9=/dev/ttyUSB0"} << 2 << ""
                           << "orvelseries: --com 9=/dev/ttyUSB0: N must be a COM number from 1 to 8.\n"
                              "Try 'orvelseries --help' for more information.\n";
}

// Answered before any window system is touched: no display is needed.
void TestCommandLine::program() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ORVELSERIES_PATH), arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), exitCode);
    QCOMPARE(QString::fromLocal8Bit(program.readAllStandardOutput()), out);
    QCOMPARE(QString::fromLocal8Bit(program.readAllStandardError()), err);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
