// The test console: one modal dialog owning the port, the panel renderers, the readout texts,
// the polling state and the line settings. Everything runs on the GUI thread.
#pragma once

#include <QDialog>
#include <QIcon>

#include <chrono>
#include <cstdint>

#include "lamp_display.h"
#include "panel_geometry.h"
#include "protocol.h"
#include "segment_display.h"
#include "serial_port.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class PanelWidget;

// PV/SV turn of the polls of the selected address; 1 at start, flipped before each such poll.
extern int32_t g_bPollSV;

inline constexpr int IDM_ABOUTBOX = 0x0010;
inline constexpr std::chrono::milliseconds kPollPeriod{600};
inline constexpr std::chrono::milliseconds kTypedAnswerWait{600};

// Panel positions of the readouts and lamps, as the panel artwork is drawn.
inline constexpr int PV_X = geo::kReadoutX, PV_Y = geo::kPvY;
inline constexpr int SV_X = geo::kReadoutX, SV_Y = geo::kSvY;
inline constexpr int LAMP_X = geo::kLampX, TX_LAMP_Y = geo::kTxLampY, RX_LAMP_Y = geo::kRxLampY;

class CTestDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTestDlg(QWidget* parent = nullptr);
    ~CTestDlg() override;

    // Members in declaration order.
    CSerialPort m_port;
    CSegmentDisplay m_readout;
    CLampDisplay m_lamps;
    char m_szPV[READOUT_TEXT_SIZE] = {};
    char m_szSV[READOUT_TEXT_SIZE] = {};
    // Polling state, with its OpenLink values from construction on so that ticks that come
    // before the first OpenLink (under the start-up failure box) are harmless.
    uint8_t m_byScanAddr = 0;
    int8_t m_cCurAddr = -1;
    uint8_t m_bAnswerDue = 0;
    uint8_t m_bPollSelected = 1;
    uint8_t m_byListCount = 0;
    int32_t m_nPort = 0;
    int32_t m_nSpeed = 6;
    int32_t m_nDataBits = 1;
    int32_t m_nParity = 0;
    int32_t m_nStopBits = 0;
    QLabel* m_stcBcc = nullptr;
    PanelWidget* m_stcPanel = nullptr;
    QLineEdit* m_edtCommand = nullptr;
    QLineEdit* m_edtResponse = nullptr;
    QComboBox* m_cmbAddress = nullptr;
    QCheckBox* m_chkPnp = nullptr;
    QCheckBox* m_chkAutoscan = nullptr;
    QPushButton* m_btnSend = nullptr;
    QIcon m_hIcon;

    // Start-up, shutdown, system menu.
    bool OnInitDialog();
    void OnSysCommand(unsigned int nID, long lParam);
    bool DestroyWindow();

    // Link and timer control.
    void OpenLink();
    void CloseLink();
    void StartPolling();
    void StopPolling();
    void OnAutoscan();

    // Polling cycle and typed command.
    void OnTimer(int nIDEvent);
    void SendPoll(int address, int sv);
    void ReadAnswer();
    void UpdateAddressList(int address, int answered);
    void OnSend();

    // Settings dialog, opened by a click on the panel.
    void OnPanelClick();

    [[nodiscard]] bool IsPolling() const { return m_nTimerId != 0; }

protected:
    void timerEvent(QTimerEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    void DrawReadouts();
    // Sorted address list helpers (the list keeps its items in ascending order).
    int FindAddressItem(const char* text) const;
    int AddAddressItem(const char* text);

    int m_nTimerId = 0;  // Qt's id of the poll timer; its ticks reach OnTimer(0)
    bool m_bInitialised = false;
    bool m_bDestroyed = false;
};
