// orvel-screens OUTDIR: shows the settings dialog (with the start-up settings selected) and the
// about box, and saves each as it is drawn to OUTDIR/settings.png and OUTDIR/about.png.
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QWindow>

#include <cstdio>

#include "about_dlg.h"
#include "port_settings.h"
#include "setup_dlg.h"

namespace {

bool SaveWhenShown(QWidget& dialog, const QString& path) {
    dialog.show();
    QDeadlineTimer deadline(5000);
    while (!(dialog.windowHandle() && dialog.windowHandle()->isExposed()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    const bool saved = dialog.grab().save(path);
    dialog.hide();
    if (!saved)
        std::fprintf(stderr, "orvel-screens: cannot write %s\n", qPrintable(path));
    return saved;
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("OrvelSeries"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: orvel-screens OUTDIR\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));

    CSetupDlg setup;
    const PortSettings defaults;
    setup.m_nPort = defaults.m_nPort;
    setup.m_nSpeed = defaults.m_nSpeed;
    setup.m_nParity = defaults.m_nParity;
    setup.m_nDataBits = defaults.m_nDataBits;
    setup.m_nStopBits = defaults.m_nStopBits;
    CAboutDlg about;
    const bool ok = SaveWhenShown(setup, out.filePath(QStringLiteral("settings.png"))) &&
                    SaveWhenShown(about, out.filePath(QStringLiteral("about.png")));
    return ok ? 0 : 1;
}
