// Test rigs for the console's polling cycle and typed command: the real dialog with its real
// serial port on the slave side of a pseudo-terminal, and on the master side either the
// simulated bus or a scripted line that shows every byte the console sends.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "pty_pair.h"
#include "test_dlg.h"

using namespace std::chrono_literals;

// "06 02 30 ..." to bytes.
[[nodiscard]] QByteArray Hex(const char* spaced);
// A request block as it goes on the wire: STX, text, ETX, the block check (two hex digits),
// 0x00, then 0xFF up to length bytes.
[[nodiscard]] QByteArray RequestBlock(const char* text, const char* bcc, int length = POLL_BLOCK_LENGTH);
// The hex dump the console shows for these bytes: "%02X " each.
[[nodiscard]] QString DumpOf(const QByteArray& bytes);

// The master side of a pseudo-terminal, driven by the test.
class ScriptedLine {
public:
    ScriptedLine() = default;
    ~ScriptedLine();
    ScriptedLine(const ScriptedLine&) = delete;
    ScriptedLine& operator=(const ScriptedLine&) = delete;

    [[nodiscard]] const std::string& Path() const { return m_pty.Path(); }

    // Exactly n bytes that the console sent, waiting for them up to the timeout; fewer when
    // they do not come.
    QByteArray Take(int n, std::chrono::milliseconds timeout = 2s);
    // Whatever the console sent that has not been taken yet, without waiting.
    QByteArray TakeQueued();
    void Send(const QByteArray& bytes);

    // For a command that blocks the GUI thread while it waits for its answer: a thread of the
    // line's own takes the next requestLength bytes, then sends reply (nothing for silence).
    void AnswerInBackground(int requestLength, QByteArray reply);
    // What that thread took; waits for it to end.
    QByteArray BackgroundRequest();

private:
    PtyPair m_pty;
    std::thread m_background;
    QByteArray m_backgroundRequest;
};

// Bytes that have arrived at the console's end of the terminal at path and wait to be read;
// -1 when no descriptor of this process is open on it.
[[nodiscard]] int QueuedAtConsole(const std::string& path);
// Until at least n bytes wait at the console's end, up to the timeout.
[[nodiscard]] bool WaitQueuedAtConsole(const std::string& path, int n,
                                       std::chrono::milliseconds timeout = 2s);

// The main dialog on COM1 bound to path, initialised as at start-up (so the port is open and
// "Autoscan" and "PNP" are checked), with the poll timer stopped unless keepTimer: the test
// drives the ticks by calling OnTimer(0).
class ConsoleRig {
public:
    explicit ConsoleRig(const std::string& path, bool keepTimer = false);
    ~ConsoleRig();

    CTestDlg& Dlg() { return *m_dlg; }

    // The address list as "03*,05": items in order, '*' after the selected one.
    [[nodiscard]] QString List() const;
    // Fills the list as "03*,05" describes, through the cycle's own bookkeeping.
    void SetList(const QString& list);

    // Which lamp state the panel shows at (LAMP_X, y): the state whose bar drawn there changes
    // nothing; -1 when none does.
    [[nodiscard]] int Lamp(int y) const;
    // True when drawing text in row at (x, y) over the panel as it is would change nothing,
    // i.e. the panel shows exactly that readout there.
    [[nodiscard]] bool Shows(int row, int x, int y, const char* text) const;
    [[nodiscard]] QImage Panel() const;

private:
    std::unique_ptr<CTestDlg> m_dlg;
};

// Sets the program-wide turns as a fresh program would have them.
void ResetProgramState();
