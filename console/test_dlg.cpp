// The main dialog: its controls, start-up and shutdown, the about item, and the link and timer
// control. The polling cycle and the typed command are in polling.cpp.
#include "test_dlg.h"

#include <QApplication>
#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFrame>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTimerEvent>

#include <algorithm>
#include <cstdio>

#include "about_dlg.h"
#include "dialog_look.h"
#include "panel_widget.h"
#include "port_settings.h"
#include "setup_dlg.h"

namespace {

constexpr unsigned int kSysCommandMask = 0xFFF0; // the low four bits of a system command are the system's

// A sunken text cell of the frame row, as wide as its widest text, so that a new text never
// moves its neighbours. Its size is fixed (the height is set with the row) so that a new text
// does not send the whole dialog through a new layout, and it fills its own background so that
// a new text does not repaint the dialog behind it: the label changes on every poll tick.
QLabel* FrameCell(const QString& widest, QWidget* parent) {
    auto* label = new QLabel(widest, parent);
    label->setFont(FrameRowFont());
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    label->setTextFormat(Qt::PlainText);
    label->setAutoFillBackground(true);
    label->setFixedWidth(label->sizeHint().width());
    return label;
}

// A bordered edit. The edit itself goes frameless inside a plain sunken frame: the command echo
// and the answer dump change on every poll tick, and a styled edit frame repainted with each
// change cost the console more than all the rest of a tick (measured with callgrind: about half
// of the instructions of a polling run). The edit fills its own background, so that neither
// the frame around it nor the dialog behind is repainted by a text change.
QFrame* Bordered(QLineEdit* edit, QWidget* parent) {
    auto* border = new QFrame(parent);
    border->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* inside = new QHBoxLayout(border);
    const int width = border->frameWidth();
    inside->setContentsMargins(width, width, width, width);
    edit->setFrame(false);
    edit->setAutoFillBackground(true);
    inside->addWidget(edit);
    return border;
}

// A system menu in the title bar has no place on X11, where the window manager owns the title
// bar: the about item is offered in the dialog's context menu instead, with the same command id.
void PopUpSystemMenu(CTestDlg* dlg, const QPoint& at) {
    QMenu menu(dlg);
    menu.setFont(DialogFont());
    menu.setSeparatorsCollapsible(false);
    menu.addSeparator();
    QAction* about = menu.addAction(QStringLiteral("OrvelSeries 정보(&A)..."));
    about->setData(IDM_ABOUTBOX);
    if (QAction* chosen = menu.exec(at))
        dlg->OnSysCommand(chosen->data().toUInt(), 0);
}

template <typename Table> bool IsPosition(int32_t position, const Table& table) {
    return position >= 0 && static_cast<size_t>(position) < table.size();
}

} // namespace

CTestDlg::CTestDlg(QWidget* parent) : QDialog(parent) {
    // A window of its own (taskbar entry) with a close box and no resizing.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Orvel(N) Series RS485 test app."));
    setFont(DialogFont());
    m_hIcon.addFile(QStringLiteral(":/orvel/icon32.png"), QSize(32, 32));
    m_hIcon.addFile(QStringLiteral(":/orvel/icon16.png"), QSize(16, 16));

    // Controls in tab order: address list, PNP, Autoscan, command, Send, response.
    m_stcPanel = new PanelWidget(this); // shows the panel picture at its natural size
    m_stcPanel->setObjectName(QStringLiteral("IDC_PANEL"));
    auto* logo = new QLabel(this);
    logo->setObjectName(QStringLiteral("IDB_LOGO"));
    logo->setPixmap(QPixmap(QStringLiteral(":/orvel/logo.png")));
    m_cmbAddress = new QComboBox(this);
    m_cmbAddress->setObjectName(QStringLiteral("IDC_ADDRESS"));
    m_cmbAddress->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_cmbAddress->setMinimumContentsLength(2);
    m_cmbAddress->setMaxVisibleItems(12);
    // A drop-down list would swallow the context menu; the dialog's own menu should come instead.
    m_cmbAddress->setContextMenuPolicy(Qt::NoContextMenu);
    m_chkPnp = new QCheckBox(QStringLiteral("PNP"), this);
    m_chkPnp->setObjectName(QStringLiteral("IDC_PNP"));
    m_chkAutoscan = new QCheckBox(QStringLiteral("Autoscan"), this);
    m_chkAutoscan->setObjectName(QStringLiteral("IDC_AUTOSCAN"));
    auto* stx = FrameCell(QStringLiteral("STX"), this);
    m_edtCommand = new QLineEdit(this);
    m_edtCommand->setObjectName(QStringLiteral("IDC_COMMAND"));
    // A frame holds at most this much text between STX and ETX; the edit stops the user there.
    m_edtCommand->setMaxLength(MAX_COMMAND_TEXT);
    m_stcBcc = FrameCell(QStringLiteral("ETX,BCC"), this); // wider than any "ETX,%02X"
    m_stcBcc->setObjectName(QStringLiteral("IDC_BCC"));
    m_btnSend = new QPushButton(QStringLiteral("Send"), this);
    m_btnSend->setObjectName(QStringLiteral("IDC_SEND"));
    m_edtResponse = new QLineEdit(this);
    m_edtResponse->setObjectName(QStringLiteral("IDC_RESPONSE"));
    m_edtResponse->setReadOnly(true);
    m_edtCommand->setFont(FrameRowFont());
    m_edtResponse->setFont(FrameRowFont());

    // The panel keeps its natural size at the top left; the logo, the address list and the two
    // check boxes stand in a column to its right; the frame row and the Send button below them;
    // the response line across the bottom.
    auto* column = new QVBoxLayout;
    column->setSpacing(3);
    column->addWidget(logo, 0, Qt::AlignLeft | Qt::AlignTop);
    column->addWidget(m_cmbAddress);
    column->addStretch();
    auto* checks = new QVBoxLayout;
    checks->setContentsMargins(3, 0, 0, 0);
    checks->setSpacing(0);
    checks->addWidget(m_chkPnp);
    checks->addWidget(m_chkAutoscan);
    column->addLayout(checks);

    auto* frameRow = new QHBoxLayout;
    frameRow->setContentsMargins(1, 0, 0, 0);
    frameRow->setSpacing(1);
    auto* command = Bordered(m_edtCommand, this);
    frameRow->addWidget(stx);
    frameRow->addWidget(command, 1);
    frameRow->addWidget(m_stcBcc);
    // The three cells stand as high as the bordered edit.
    const int cellHeight = std::max(command->sizeHint().height(), m_stcBcc->sizeHint().height());
    stx->setFixedHeight(cellHeight);
    m_stcBcc->setFixedHeight(cellHeight);
    command->setFixedHeight(cellHeight);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 1, 1);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(2);
    grid->addWidget(m_stcPanel, 0, 0, Qt::AlignLeft | Qt::AlignTop);
    grid->addLayout(column, 0, 1);
    grid->addLayout(frameRow, 1, 0);
    grid->addWidget(m_btnSend, 1, 1);
    grid->addWidget(Bordered(m_edtResponse, this), 2, 0, 1, 2);
    grid->setColumnMinimumWidth(1, logo->sizeHint().width());
    grid->setSizeConstraint(QLayout::SetFixedSize);

    connect(m_btnSend, &QPushButton::clicked, this, &CTestDlg::OnSend);
    connect(m_chkAutoscan, &QCheckBox::clicked, this, &CTestDlg::OnAutoscan);
    connect(m_stcPanel, &PanelWidget::clicked, this, &CTestDlg::OnPanelClick);
}

CTestDlg::~CTestDlg() {
    // Covers a dialog that is deleted without having been ended; otherwise this does nothing.
    DestroyWindow();
}

bool CTestDlg::OnInitDialog() {
    m_bInitialised = true; // once only, whether called here or by the first show
    setWindowIcon(m_hIcon);

    const PortSettings defaults;
    m_nPort = defaults.m_nPort;
    m_nSpeed = defaults.m_nSpeed;
    m_nParity = defaults.m_nParity;
    m_nDataBits = defaults.m_nDataBits;
    m_nStopBits = defaults.m_nStopBits;

    m_readout.Attach(m_stcPanel);
    std::snprintf(m_szPV, sizeof m_szPV, "%5.0f", 0.0);
    std::snprintf(m_szSV, sizeof m_szSV, "%5.0f", 0.0);
    m_lamps.Attach(m_stcPanel);

    m_chkAutoscan->setChecked(true);
    m_chkPnp->setChecked(true);
    // The timer is set before the port is opened, so ticks run under a failure message too.
    OnAutoscan();
    OpenLink();

    m_cmbAddress->setFocus();
    return true;
}

void CTestDlg::OnSysCommand(unsigned int nID, long lParam) {
    Q_UNUSED(lParam);
    if ((nID & kSysCommandMask) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(this);
        dlgAbout.exec();
    }
    // Move, Close and the other system commands belong to the window manager here.
}

bool CTestDlg::DestroyWindow() {
    if (m_bDestroyed)
        return false;
    m_bDestroyed = true;
    // Timer and port stop before the panel the renderers draw on can go.
    CloseLink();
    m_readout.Detach();
    m_lamps.Detach();
    return true;
}

void CTestDlg::OpenLink() {
    const int port = m_nPort + 1;
    const bool valid = IsPosition(m_nSpeed, kSpeedTable) && IsPosition(m_nDataBits, kDataBitsTable) &&
                       IsPosition(m_nParity, kParityTable) && IsPosition(m_nStopBits, kStopBitsTable);
    if (!valid || !m_port.Open(port, kSpeedTable[m_nSpeed], kDataBitsTable[m_nDataBits],
                               kParityTable[m_nParity], kStopBitsTable[m_nStopBits])) {
        QMessageBox box(QMessageBox::Warning, QCoreApplication::applicationName(),
                        QString::asprintf("COM%d can't open!", port), QMessageBox::Ok, this);
        box.setInformativeText(valid ? QString::fromStdString(m_port.LastErrorText())
                                     : QStringLiteral("The line settings are out of range."));
        box.exec();
    }
    m_byScanAddr = 0;
    m_cCurAddr = -1;
    m_byListCount = 0;
    m_bAnswerDue = 0;
    m_bPollSelected = 1;
}

void CTestDlg::CloseLink() {
    StopPolling();
    m_port.Close();
}

void CTestDlg::StartPolling() {
    StopPolling(); // setting the timer again replaces it
    m_nTimerId = startTimer(kPollPeriod);
    m_bAnswerDue = 0;
    m_bPollSelected = 1;
}

void CTestDlg::StopPolling() {
    if (m_nTimerId != 0)
        killTimer(m_nTimerId);
    m_nTimerId = 0;
}

void CTestDlg::OnAutoscan() {
    // Send and the command edit are usable exactly while polling is off, so a typed command
    // never meets a running cycle.
    const bool polling = m_chkAutoscan->isChecked();
    if (polling)
        StartPolling();
    else
        StopPolling();
    m_btnSend->setEnabled(!polling);
    m_edtCommand->setEnabled(!polling);
    m_chkPnp->setEnabled(polling);
}

void CTestDlg::OnPanelClick() {
    CSetupDlg dlg(this);
    dlg.m_nPort = m_nPort;
    dlg.m_nSpeed = m_nSpeed;
    dlg.m_nDataBits = m_nDataBits;
    dlg.m_nParity = m_nParity;
    dlg.m_nStopBits = m_nStopBits;
    if (dlg.exec() != QDialog::Accepted || m_bDestroyed)
        return;
    if (dlg.m_nPort == m_nPort && dlg.m_nSpeed == m_nSpeed && dlg.m_nDataBits == m_nDataBits &&
        dlg.m_nParity == m_nParity && dlg.m_nStopBits == m_nStopBits)
        return;

    m_nPort = dlg.m_nPort;
    m_nSpeed = dlg.m_nSpeed;
    m_nDataBits = dlg.m_nDataBits;
    m_nParity = dlg.m_nParity;
    m_nStopBits = dlg.m_nStopBits;
    // No tick may run between the close and the reopen, nor under a failure message.
    CloseLink();
    OpenLink();
    if (m_chkAutoscan->isChecked())
        StartPolling();
}

void CTestDlg::DrawReadouts() {
    m_readout.m_nRow = ROW_GREEN;
    m_readout.Draw(PV_X, PV_Y, m_szPV);
    m_readout.m_nRow = ROW_RED;
    m_readout.Draw(SV_X, SV_Y, m_szSV);
}

void CTestDlg::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_nTimerId) {
        OnTimer(0);
        return;
    }
    OnTimer(event->timerId());
    QDialog::timerEvent(event);
}

void CTestDlg::paintEvent(QPaintEvent* event) {
    // A minimised window is drawn by the window manager.
    if (!isMinimized())
        DrawReadouts();
    QDialog::paintEvent(event);
}

void CTestDlg::keyPressEvent(QKeyEvent* event) {
    // There is no default button: Enter anywhere but on Send (which clicks it) ends the dialog
    // with OK, Escape with Cancel, whatever Shift or Ctrl say. An open drop-down list takes its
    // keys before they come here.
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!(modifiers & Qt::AltModifier) && focusWidget() != m_btnSend &&
            !QApplication::activePopupWidget()) {
            accept();
            return;
        }
        break;
    case Qt::Key_Escape:
        reject();
        return;
    case Qt::Key_F10:
        // The keyboard's way to the context menu; the Menu key arrives as a context menu event.
        if (modifiers == Qt::ShiftModifier) {
            PopUpSystemMenu(this, mapToGlobal(QPoint(0, 0)));
            return;
        }
        break;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

void CTestDlg::contextMenuEvent(QContextMenuEvent* event) {
    PopUpSystemMenu(this, event->globalPos());
}

void CTestDlg::showEvent(QShowEvent* event) {
    // The window exists but is not on screen yet: place it centred on the mouse pointer unless
    // it was placed already, and initialise once, before it appears.
    if (!event->spontaneous()) {
        if (!testAttribute(Qt::WA_Moved))
            CentreOnCursor(this);
        if (!m_bInitialised)
            OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CTestDlg::done(int result) {
    DestroyWindow();
    QDialog::done(result);
}
