#include "test_app.h"

#include <QIcon>

#include "test_dlg.h"

CTestApp::CTestApp(int& argc, char** argv) : QApplication(argc, argv) {
    // The application name is the caption of every message box.
    setApplicationName(QStringLiteral("OrvelSeries"));
    setApplicationVersion(QStringLiteral(ORVEL_VERSION));
    setDesktopFileName(QStringLiteral("orvelseries"));
}

bool CTestApp::InitInstance() {
    CTestDlg dlg;
    setWindowIcon(dlg.m_hIcon);
    dlg.exec();
    return false;
}
