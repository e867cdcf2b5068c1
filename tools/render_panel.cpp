// Renders states of the front panel through the real renderers into PNG files, so anyone can
// look at the result without a serial line.
//
//   render_panel [--pv TEXT] [--sv TEXT] [--tx STATE] [--rx STATE] [--scale N] OUTPUT.png
//   render_panel --gallery DIRECTORY      a set of typical states, each at 1:1 and at 3:1
//
// STATE is red, on, off or yellow (or 0..3). Runs without a display.
#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QImage>

#include <cstdio>

#include "lamp_display.h"
#include "panel_geometry.h"
#include "panel_widget.h"
#include "segment_display.h"

namespace {

struct PanelState {
    const char* name;
    QByteArray pv, sv;
    int tx, rx;
};

int ParseLampState(const QString& text) {
    static const char* const kNames[] = {"red", "on", "off", "yellow"};
    for (int i = 0; i < 4; ++i)
        if (text == QLatin1String(kNames[i]) || text == QString::number(i))
            return i;
    return -1;
}

// The panel as the console draws it: PV in green, SV in red, then the two lamps.
QImage Render(const PanelState& state) {
    PanelWidget panel;
    CSegmentDisplay readout;
    CLampDisplay lamps;
    readout.Attach(&panel);
    lamps.Attach(&panel);
    readout.m_nRow = ROW_GREEN;
    readout.Draw(geo::kReadoutX, geo::kPvY, state.pv.constData());
    readout.m_nRow = ROW_RED;
    readout.Draw(geo::kReadoutX, geo::kSvY, state.sv.constData());
    lamps.Draw(geo::kLampX, geo::kTxLampY, state.tx);
    lamps.Draw(geo::kLampX, geo::kRxLampY, state.rx);
    return panel.image().copy();
}

// Whole pixels made bigger, none blended, so that single pixels stay visible.
QImage Scaled(const QImage& image, int scale) {
    return scale == 1 ? image : image.scaled(image.size() * scale, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

bool Save(const QImage& image, const QString& path) {
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "render_panel: cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Renders front-panel states to PNG files."));
    parser.addHelpOption();
    const QCommandLineOption pv(QStringLiteral("pv"), QStringLiteral("PV readout text."), QStringLiteral("text"),
                                QStringLiteral("    0"));
    const QCommandLineOption sv(QStringLiteral("sv"), QStringLiteral("SV readout text."), QStringLiteral("text"),
                                QStringLiteral("    0"));
    const QCommandLineOption tx(QStringLiteral("tx"), QStringLiteral("Transmit lamp: red, on, off, yellow."),
                                QStringLiteral("state"), QStringLiteral("off"));
    const QCommandLineOption rx(QStringLiteral("rx"), QStringLiteral("Receive lamp: red, on, off, yellow."),
                                QStringLiteral("state"), QStringLiteral("off"));
    const QCommandLineOption scale(QStringLiteral("scale"), QStringLiteral("Whole-pixel magnification."),
                                   QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption gallery(QStringLiteral("gallery"),
                                     QStringLiteral("Write a set of typical states into a directory."),
                                     QStringLiteral("directory"));
    parser.addOptions({pv, sv, tx, rx, scale, gallery});
    parser.addPositionalArgument(QStringLiteral("output"), QStringLiteral("PNG file to write."));
    parser.process(app);

    if (parser.isSet(gallery)) {
        const QDir dir(parser.value(gallery));
        if (!QDir().mkpath(dir.path())) {
            std::fprintf(stderr, "render_panel: cannot create %s\n", qPrintable(dir.path()));
            return 1;
        }
        const PanelState states[] = {
            {"start", "    0", "    0", LAMP_OFF, LAMP_OFF},
            {"transmitting", "  12.3", "  25.0", LAMP_ON, LAMP_OFF},
            {"answer-accepted", "  12.3", "  25.0", LAMP_OFF, LAMP_ON},
            {"answer-too-short", "  12.3", "  25.0", LAMP_OFF, LAMP_YELLOW},
            {"negative", " -12.5", " 100.0", LAMP_OFF, LAMP_ON},
            {"three-decimals", " 1.234", "-9.999", LAMP_RED, LAMP_ON},
            {"all-segments", "8.8.8.8.8.", "8.8.8.8.8.", LAMP_ON, LAMP_YELLOW},
            {"twelve-digits", "123456789012", "    0", LAMP_OFF, LAMP_OFF},
        };
        for (const PanelState& state : states) {
            const QString base = dir.filePath(QString::fromLatin1(state.name));
            const QImage image = Render(state);
            if (!Save(image, base + QStringLiteral(".png")) || !Save(Scaled(image, 3), base + QStringLiteral("@3x.png")))
                return 1;
        }
        return 0;
    }

    bool scaleOk = false;
    const int factor = parser.value(scale).toInt(&scaleOk);
    const PanelState state{"", parser.value(pv).toLatin1(), parser.value(sv).toLatin1(),
                           ParseLampState(parser.value(tx)), ParseLampState(parser.value(rx))};
    if (parser.positionalArguments().size() != 1 || !scaleOk || factor < 1 || factor > 16 || state.tx < 0 ||
        state.rx < 0) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }
    return Save(Scaled(Render(state), factor), parser.positionalArguments().first()) ? 0 : 1;
}
