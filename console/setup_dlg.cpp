#include "setup_dlg.h"

#include <QBoxLayout>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

#include <array>
#include <utility>

#include "com_map.h"
#include "dialog_look.h"
#include "port_settings.h"

namespace {

template <size_t N>
QComboBox* AddList(QGroupBox* group, QGridLayout* grid, const char* label, const char* id,
                   const std::array<const char*, N>& items) {
    const int row = grid->rowCount();
    auto* text = new QLabel(QString::fromLatin1(label), group);
    text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(text, row, 0);
    auto* list = new QComboBox(group);
    list->setObjectName(QString::fromLatin1(id));
    list->setMaxVisibleItems(static_cast<int>(N));
    for (const char* item : items)
        list->addItem(QString::fromLatin1(item));
    grid->addWidget(list, row, 1);
    return list;
}

} // namespace

CSetupDlg::CSetupDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Setup RS232C/RS485"));
    setFont(DialogFont());
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* group = new QGroupBox(QStringLiteral("RS232C"), this);
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(10, 8, 10, 8);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);

    // The lists are filled in this order; a list position is a position in its table.
    m_cmbPort = AddList(group, grid, "Port :", "IDC_PORT", kPortTexts);
    m_cmbSpeed = AddList(group, grid, "Speed :", "IDC_SPEED", kSpeedTexts);
    m_cmbParity = AddList(group, grid, "Parity :", "IDC_PARITY", kParityTexts);
    m_cmbDataBits = AddList(group, grid, "Data :", "IDC_DATABITS", kDataBitsTexts);
    m_cmbStopBits = AddList(group, grid, "Stop :", "IDC_STOPBITS", kStopBitsTexts);
    // Linux names ports by path: show which device each COM number stands for.
    for (int i = 0; i < m_cmbPort->count(); ++i)
        m_cmbPort->setItemData(i, QString::fromStdString(ComDevicePath(i + 1)), Qt::ToolTipRole);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("IDOK"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("IDCANCEL"));
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* buttons = new QVBoxLayout;
    buttons->setSpacing(4);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(8, 6, 8, 8);
    row->setSpacing(10);
    row->addWidget(group);
    row->addLayout(buttons);
    row->setSizeConstraint(QLayout::SetFixedSize);
}

void CSetupDlg::showEvent(QShowEvent* event) {
    // Each run of the dialog starts from the members, centred on the mouse pointer, that is
    // about where the user clicked the panel.
    if (!event->spontaneous()) {
        DoDataExchange(false);
        m_cmbPort->setFocus();
        CentreOnCursor(this);
    }
    QDialog::showEvent(event);
}

void CSetupDlg::accept() {
    DoDataExchange(true);
    QDialog::accept();
}

void CSetupDlg::DoDataExchange(bool save) {
    const std::pair<QComboBox*, int32_t*> exchange[] = {{m_cmbSpeed, &m_nSpeed},
                                                        {m_cmbDataBits, &m_nDataBits},
                                                        {m_cmbParity, &m_nParity},
                                                        {m_cmbPort, &m_nPort},
                                                        {m_cmbStopBits, &m_nStopBits}};
    for (auto [list, value] : exchange) {
        if (save)
            *value = list->currentIndex();
        else
            list->setCurrentIndex(*value >= 0 && *value < list->count() ? *value : -1);
    }
}
