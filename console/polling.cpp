// The polling cycle (request and answer ticks of the 600 ms timer), the address list of the
// controllers that answered, and the typed command sent from the command edit.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QThread>

#include <cstdio>

#include "test_dlg.h"

int32_t g_bPollSV = 1;

namespace {

constexpr int kFirstAddress = 1;
constexpr int kLastAddress = 99;
constexpr int kAddressTextSize = 12; // "%02d" of any int

void FormatAddress(int address, char (&text)[kAddressTextSize]) {
    std::snprintf(text, sizeof text, "%02d", address);
}

// A late answer to an earlier request must not be taken for the answer to the next one. At most
// one read's worth goes: anything beyond it stays queued and meets the next answer read.
void DiscardPendingInput(CSerialPort& port) {
    unsigned char scratch[ANSWER_READ_MAX];
    port.Read(scratch, ANSWER_READ_MAX);
}

void ShowBccLabel(QLabel* label, unsigned char bcc) {
    char text[BCC_LABEL_SIZE];
    FormatBccLabel(bcc, text);
    label->setText(QLatin1String(text));
}

// The list items are "%02d" texts, so the selected one reads back as its address; no selection
// gives an empty text, which reads as 0.
int SelectedAddress(const QComboBox* list) {
    return list->currentText().toInt();
}

} // namespace

void CTestDlg::OnTimer(int nIDEvent) {
    if (nIDEvent == 0) {
        if (m_bAnswerDue) {
            ReadAnswer();
            m_bAnswerDue = 0;
        } else {
            int address = 0;
            int sv = 0;
            const bool pnp = m_chkPnp->isChecked();
            if (!pnp || (m_bPollSelected && m_byListCount != 0)) {
                address = SelectedAddress(m_cmbAddress);
                g_bPollSV = !g_bPollSV;
                sv = g_bPollSV;
                if (pnp)
                    m_bPollSelected = 0;
            } else {
                ++m_byScanAddr;
                if (m_byScanAddr > kLastAddress)
                    m_byScanAddr = kFirstAddress;
                address = m_byScanAddr;
                m_bPollSelected = 1;
            }
            m_cCurAddr = static_cast<int8_t>(address);
            SendPoll(address, sv);
            m_bAnswerDue = 1;
        }
    }
    DrawReadouts();
}

void CTestDlg::SendPoll(int address, int sv) {
    DiscardPendingInput(m_port);
    m_lamps.Draw(LAMP_X, TX_LAMP_Y, LAMP_ON);

    FrameBuffer frame;
    ShowBccLabel(m_stcBcc, BuildPollRequest(frame, address, sv));
    char echo[POLL_ECHO_SIZE];
    FormatPollEcho(frame, echo);
    m_edtCommand->setText(QLatin1String(echo));

    m_port.Write(frame, POLL_BLOCK_LENGTH);
    m_lamps.Draw(LAMP_X, TX_LAMP_Y, LAMP_OFF);
    m_lamps.Draw(LAMP_X, RX_LAMP_Y, LAMP_OFF);
}

void CTestDlg::ReadAnswer() {
    unsigned char answer[ANSWER_READ_MAX];
    const int count = m_port.Read(answer, ANSWER_READ_MAX);
    char dump[DUMP_TEXT_SIZE];
    FormatHexDump(answer, count, dump);
    m_edtResponse->setText(QLatin1String(dump));

    Reading reading;
    switch (DecodeAnswer(answer, count, &reading)) {
    case AnswerOutcome::NoAnswer:
        UpdateAddressList(m_cCurAddr, 0);
        m_lamps.Draw(LAMP_X, RX_LAMP_Y, LAMP_YELLOW);
        return;
    case AnswerOutcome::Rejected:
        return;
    case AnswerOutcome::Accepted:
        break;
    }

    m_lamps.Draw(LAMP_X, RX_LAMP_Y, LAMP_ON);
    UpdateAddressList(reading.nAddress, 1);

    // The address the answer carries decides, not the one asked; the row follows the answer's kind.
    // Its item is in the list now, once, so it is selected exactly when it is the current text.
    if (SelectedAddress(m_cmbAddress) != reading.nAddress)
        return;
    if (reading.bSV) {
        FormatReading(reading, m_szSV);
        m_readout.m_nRow = ROW_RED;
        m_readout.Draw(SV_X, SV_Y, m_szSV);
    } else {
        FormatReading(reading, m_szPV);
        m_readout.m_nRow = ROW_GREEN;
        m_readout.Draw(PV_X, PV_Y, m_szPV);
    }
}

void CTestDlg::UpdateAddressList(int address, int answered) {
    // Covers -1 (nothing asked since the link was opened) and 0 (a poll with nothing selected).
    if (address < kFirstAddress || address > kLastAddress)
        return;
    char text[kAddressTextSize];
    FormatAddress(address, text);
    const int index = FindAddressItem(text);
    if (index < 0 && answered) {
        AddAddressItem(text);
        if (m_cmbAddress->currentIndex() < 0)
            m_cmbAddress->setCurrentIndex(FindAddressItem(text));
    } else if (index >= 0 && !answered) {
        m_cmbAddress->removeItem(index);
        // The lowest address left, even when another item was selected; nothing on an empty list.
        m_cmbAddress->setCurrentIndex(0);
    }
    m_byListCount = static_cast<uint8_t>(m_cmbAddress->count());
}

void CTestDlg::OnSend() {
    // One character, one frame byte: the command letters are found by position and the length
    // limit counts characters. Characters beyond Latin-1 cannot go on the wire and become '?'.
    const QByteArray typed = m_edtCommand->text().toLatin1();
    FrameBuffer frame;
    const int frameLength = FormatTypedCommand(frame, typed.constData());
    if (frameLength == 0)
        return;

    m_lamps.Draw(LAMP_X, TX_LAMP_Y, LAMP_ON);
    DiscardPendingInput(m_port);
    ShowBccLabel(m_stcBcc, SealTypedCommand(frame, frameLength));
    m_port.Write(frame, RequestBlockLength(frameLength));
    m_lamps.Draw(LAMP_X, TX_LAMP_Y, LAMP_OFF);
    m_lamps.Draw(LAMP_X, RX_LAMP_Y, LAMP_OFF);

    // The controller gets one poll period to answer. The wait blocks the GUI thread on purpose:
    // input made meanwhile is handled only after the answer has been read.
    QThread::msleep(static_cast<unsigned long>(kTypedAnswerWait.count()));
    ReadAnswer();
}

int CTestDlg::FindAddressItem(const char* text) const {
    const QLatin1String wanted(text);
    for (int i = 0, n = m_cmbAddress->count(); i < n; ++i) {
        if (m_cmbAddress->itemText(i) == wanted)
            return i;
    }
    return -1;
}

int CTestDlg::AddAddressItem(const char* text) {
    // Every item is two digits, so comparing texts orders by address.
    const QLatin1String item(text);
    int index = 0;
    for (const int n = m_cmbAddress->count(); index < n; ++index) {
        if (m_cmbAddress->itemText(index) > item)
            break;
    }
    m_cmbAddress->insertItem(index, item);
    return index;
}
