#include "console_rig.h"

#include <QComboBox>
#include <QStringList>
#include <QTest>

#include <dirent.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>

#include "com_map.h"
#include "lamp_display.h"
#include "panel_widget.h"
#include "segment_display.h"

QByteArray Hex(const char* spaced) {
    return QByteArray::fromHex(QByteArray(spaced).replace(' ', ""));
}

QByteArray RequestBlock(const char* text, const char* bcc, int length) {
    QByteArray block;
    block.append(char(STX)).append(text).append(char(ETX)).append(Hex(bcc)).append('\0');
    while (block.size() < length)
        block.append(char(0xFF));
    return block;
}

QString DumpOf(const QByteArray& bytes) {
    QString dump;
    for (const char byte : bytes)
        dump += QString::asprintf("%02X ", static_cast<unsigned char>(byte));
    return dump;
}

ScriptedLine::~ScriptedLine() {
    // The thread reads and writes the master, which closes with m_pty after this.
    if (m_background.joinable())
        m_background.join();
}

QByteArray ScriptedLine::Take(int n, std::chrono::milliseconds timeout) {
    QByteArray got;
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (got.size() < n) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd pfd{m_pty.Master(), POLLIN, 0};
        if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            break;
        char buffer[256];
        const ssize_t r =
            read(m_pty.Master(), buffer, std::min<size_t>(sizeof buffer, size_t(n - got.size())));
        if (r > 0)
            got.append(buffer, r);
        else if (r < 0 && errno != EINTR && errno != EAGAIN)
            break;
    }
    return got;
}

QByteArray ScriptedLine::TakeQueued() {
    int queued = 0;
    if (ioctl(m_pty.Master(), FIONREAD, &queued) != 0 || queued <= 0)
        return {};
    return Take(queued, 100ms);
}

void ScriptedLine::Send(const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t w = write(m_pty.Master(), bytes.constData() + done, size_t(bytes.size() - done));
        if (w > 0)
            done += w;
        else if (errno != EINTR && errno != EAGAIN)
            throw std::runtime_error("write to the pseudo-terminal failed");
    }
}

void ScriptedLine::AnswerInBackground(int requestLength, QByteArray reply) {
    if (m_background.joinable())
        m_background.join();
    m_backgroundRequest.clear();
    m_background = std::thread([this, requestLength, reply = std::move(reply)] {
        m_backgroundRequest = Take(requestLength, 3s);
        if (m_backgroundRequest.size() == requestLength && !reply.isEmpty())
            Send(reply);
    });
}

QByteArray ScriptedLine::BackgroundRequest() {
    if (m_background.joinable())
        m_background.join();
    return m_backgroundRequest;
}

int QueuedAtConsole(const std::string& path) {
    char wanted[PATH_MAX];
    if (!realpath(path.c_str(), wanted))
        return -1;
    DIR* dir = opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int queued = -1;
    while (const dirent* entry = readdir(dir)) {
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        char target[PATH_MAX];
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        if (n <= 0)
            continue;
        target[n] = '\0';
        // Every descriptor of the terminal sees the same input queue.
        int count = 0;
        if (std::string(target) == wanted && ioctl(std::atoi(entry->d_name), FIONREAD, &count) == 0) {
            queued = count;
            break;
        }
    }
    closedir(dir);
    return queued;
}

bool WaitQueuedAtConsole(const std::string& path, int n, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (QueuedAtConsole(path) < n) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(200us);
    }
    return true;
}

ConsoleRig::ConsoleRig(const std::string& path, bool keepTimer) {
    SetComDevicePath(1, path);
    m_dlg = std::make_unique<CTestDlg>();
    m_dlg->OnInitDialog();
    if (!keepTimer)
        m_dlg->StopPolling();
}

ConsoleRig::~ConsoleRig() {
    m_dlg.reset();
    ResetComDevicePaths();
}

QString ConsoleRig::List() const {
    QStringList items;
    const QComboBox* list = m_dlg->m_cmbAddress;
    for (int i = 0; i < list->count(); ++i)
        items << list->itemText(i) + (i == list->currentIndex() ? "*" : "");
    return items.join(',');
}

void ConsoleRig::SetList(const QString& list) {
    QString selected;
    for (const QString& item : list.split(',', Qt::SkipEmptyParts)) {
        m_dlg->UpdateAddressList(item.left(2).toInt(), 1);
        if (item.endsWith('*'))
            selected = item.left(2);
    }
    if (!selected.isEmpty())
        m_dlg->m_cmbAddress->setCurrentIndex(m_dlg->m_cmbAddress->findText(selected));
}

QImage ConsoleRig::Panel() const {
    return m_dlg->m_stcPanel->image();
}

namespace {

template <typename DrawOnto> bool DrawingChangesNothing(const QImage& panel, DrawOnto draw) {
    PanelWidget copy;
    copy.setPicture(panel);
    draw(&copy);
    return copy.image() == panel;
}

} // namespace

int ConsoleRig::Lamp(int y) const {
    const QImage panel = Panel();
    int shown = -1;
    for (int state : {LAMP_RED, LAMP_ON, LAMP_OFF, LAMP_YELLOW}) {
        const bool same = DrawingChangesNothing(panel, [&](PanelWidget* p) {
            CLampDisplay lamp;
            lamp.Attach(p);
            lamp.Draw(LAMP_X, y, state);
        });
        if (same) {
            if (shown != -1)
                return -1; // the looks are not told apart: no state can be claimed
            shown = state;
        }
    }
    return shown;
}

bool ConsoleRig::Shows(int row, int x, int y, const char* text) const {
    return DrawingChangesNothing(Panel(), [&](PanelWidget* p) {
        CSegmentDisplay readout;
        readout.Attach(p);
        readout.m_nRow = row;
        readout.Draw(x, y, text);
    });
}

void ResetProgramState() {
    g_bPollSV = 1;
    g_nDecimals = 0;
}
