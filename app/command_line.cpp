#include "command_line.h"

#include <QCommandLineParser>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include "port_settings.h"

namespace {

CommandLine Fail(const QString& program, const QString& why) {
    CommandLine result;
    result.exitCode = kUsageError;
    result.output = QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n").arg(program, why);
    return result;
}

} // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
    const QString program =
        arguments.isEmpty() ? QStringLiteral("orvelseries") : QFileInfo(arguments.first()).fileName();

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Test console for Orvel(N) Series temperature controllers on an RS485 bus.\n"
                       "COMn is /dev/ttyS(n-1) unless bound to another device with --com."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption com(
        QStringLiteral("com"),
        QStringLiteral("Use DEVICE as COM port N (1 to 8), e.g. --com 1=/dev/ttyUSB0. May be given "
                       "for several ports."),
        QStringLiteral("N=DEVICE"));
    const QCommandLineOption demo(QStringLiteral("demo"),
                                  QStringLiteral("Run on a simulated bus of controllers, as COM1."));
    parser.addOptions({help, version, com, demo});

    if (!parser.parse(arguments))
        return Fail(program, parser.errorText());
    if (parser.isSet(help)) {
        CommandLine result;
        result.exitCode = 0;
        // The parser names the program after the application object, which does not exist yet.
        const QString text = parser.helpText();
        result.output =
            QStringLiteral("Usage: %1 [options]").arg(program) + text.mid(text.indexOf(QLatin1Char('\n')));
        return result;
    }
    if (parser.isSet(version)) {
        CommandLine result;
        result.exitCode = 0;
        result.output = QStringLiteral("OrvelSeries " ORVEL_VERSION "\n");
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return Fail(program,
                    QStringLiteral("unexpected argument '%1'.").arg(parser.positionalArguments().first()));

    CommandLine result;
    result.demo = parser.isSet(demo);
    static const QRegularExpression binding(QStringLiteral("^([0-9]+)=(.+)$"));
    for (const QString& value : parser.values(com)) {
        const QRegularExpressionMatch match = binding.match(value);
        if (!match.hasMatch())
            return Fail(program,
                        QStringLiteral("--com expects N=DEVICE, e.g. 1=/dev/ttyUSB0, not '%1'.").arg(value));
        bool isNumber = false;
        const int port = match.captured(1).toInt(&isNumber);
        if (!isNumber || port < 1 || port > kPortCount)
            return Fail(
                program,
                QStringLiteral("--com %1: N must be a COM number from 1 to %2.").arg(value).arg(kPortCount));
        if (result.devices.count(port) != 0)
            return Fail(program, QStringLiteral("COM%1 is given more than once.").arg(port));
        if (result.demo && port == 1)
            return Fail(program, QStringLiteral("--demo puts the simulated bus on COM1; bind another "
                                                "COM number with --com."));
        result.devices[port] = QFile::encodeName(match.captured(2)).toStdString();
    }
    return result;
}
