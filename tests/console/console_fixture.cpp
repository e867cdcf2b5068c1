#include "console_fixture.h"

#include <QMessageBox>
#include <QPushButton>

#include <unistd.h>

#include <cerrno>

QByteArray TerminalLine::TakeQueued() {
    QByteArray got;
    char buffer[256];
    for (;;) {
        const ssize_t n = read(m_pty.Master(), buffer, sizeof buffer);
        if (n > 0)
            got.append(buffer, n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return got;
    }
}

std::string MissingDevicePath() {
    return "/dev/orvel-test-no-such-device";
}

ModalDriver::ModalDriver(std::chrono::milliseconds timeout) {
    m_poll.setInterval(10ms);
    connect(&m_poll, &QTimer::timeout, this, &ModalDriver::Poll);
    m_poll.start();
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        m_poll.stop();
        // Close from the innermost out; each close ends one waiting event loop.
        auto closeAll = [] {
            if (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
            else if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        };
        closeAll();
        auto* again = new QTimer(this);
        connect(again, &QTimer::timeout, this, closeAll);
        again->start(10ms);
    });
    m_deadline.start(timeout);
}

ModalDriver& ModalDriver::Then(const char* name, std::function<bool()> ready, std::function<void()> act) {
    m_steps.push_back({name, std::move(ready), std::move(act)});
    return *this;
}

QString ModalDriver::Pending() const {
    return Finished() ? QStringLiteral("none") : QString::fromLatin1(m_steps[m_next].name);
}

void ModalDriver::Poll() {
    if (Finished() || !m_steps[m_next].ready())
        return;
    const Step& step = m_steps[m_next++];
    step.act();
}

void RecordAndClose(QMessageBox* box, const CTestDlg& dlg, BoxSeen* seen) {
    seen->seen = true;
    seen->text = box->text();
    seen->informative = box->informativeText();
    seen->caption = box->windowTitle();
    seen->polling = dlg.IsPolling();
    seen->portOpen = dlg.m_port.IsOpen();
    box->button(QMessageBox::Ok)->click();
}

void StartConsole(CTestDlg& dlg, BoxSeen* box, int ticksUnderBox) {
    BoxSeen ignored;
    ModalDriver driver;
    driver.Then(
        "failure box", [&] { return ModalOf<QMessageBox>() && dlg.m_byScanAddr >= ticksUnderBox; },
        [&] { RecordAndClose(ModalOf<QMessageBox>(), dlg, box ? box : &ignored); });
    dlg.show();
}
