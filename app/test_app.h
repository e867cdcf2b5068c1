// The application object: it runs the main dialog modally, and the program ends with it.
#pragma once

#include <QApplication>

class CTestApp : public QApplication {
    Q_OBJECT
public:
    CTestApp(int& argc, char** argv);

    // Runs the main dialog until it ends. Returns false: there is nothing left to run after it.
    bool InitInstance();
};
