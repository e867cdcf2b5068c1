// Fixtures for driving the real console dialogs: a pseudo-terminal for the port to open, and a
// driver that acts on the modal windows the dialogs open and wait in.
#pragma once

#include <QApplication>
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

#include <termios.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "pty_pair.h"
#include "test_dlg.h"

class QMessageBox;

using namespace std::chrono_literals;

// A pseudo-terminal whose slave side stands in for a serial device.
class TerminalLine {
public:
    [[nodiscard]] const std::string& Path() const { return m_pty.Path(); }
    // What the console has sent and the test has not taken yet; never waits.
    QByteArray TakeQueued();
    // The line settings of the slave side, as the console's port left them.
    [[nodiscard]] termios Settings() const { return m_pty.SlaveSettings(); }

private:
    PtyPair m_pty{PtyPair::MasterMode::NonBlocking};
};

// A path under which no device exists.
[[nodiscard]] std::string MissingDevicePath();

// Runs steps against modal windows and pop-ups while the code under test waits in their event
// loops. Every 10 ms the next step's condition is checked; when it holds, the step acts (it must
// not block). When the time is up, every modal window and pop-up is closed, so that a test that
// goes wrong fails instead of hanging.
class ModalDriver : public QObject {
public:
    explicit ModalDriver(std::chrono::milliseconds timeout = 10s);

    ModalDriver& Then(const char* name, std::function<bool()> ready, std::function<void()> act);

    // True once every step has acted.
    [[nodiscard]] bool Finished() const { return m_next == m_steps.size(); }
    // The step that did not come about, for failure messages.
    [[nodiscard]] QString Pending() const;

private:
    struct Step {
        const char* name;
        std::function<bool()> ready;
        std::function<void()> act;
    };
    void Poll();

    std::vector<Step> m_steps;
    size_t m_next = 0;
    QTimer m_poll;
    QTimer m_deadline;
};

// The active modal window, if it is a T.
template <typename T> T* ModalOf() {
    return qobject_cast<T*>(QApplication::activeModalWidget());
}

// What a failure box showed, and the link's state while it was up.
struct BoxSeen {
    bool seen = false;
    QString text, informative, caption;
    bool polling = false;
    bool portOpen = true;
};

// Keeps what box shows and dlg's link state in *seen, then closes the box with OK.
void RecordAndClose(QMessageBox* box, const CTestDlg& dlg, BoxSeen* seen);

// Shows the main dialog as the program does, which initialises it. A failure box is closed with
// OK once the poll timer has made ticksUnderBox walk steps under it (PNP walks from 01 while
// the list is empty); what it showed goes to *box when box is given.
void StartConsole(CTestDlg& dlg, BoxSeen* box = nullptr, int ticksUnderBox = 0);
