// The port and line settings dialog: shows the five list positions it is given and, on OK,
// hands back the positions the user picked. Opening the port is the caller's business.
#pragma once

#include <QDialog>

#include <cstdint>

class QComboBox;

class CSetupDlg : public QDialog {
    Q_OBJECT
public:
    // parent: the window the dialog is modal over; the dialog opens centred on the mouse pointer.
    explicit CSetupDlg(QWidget* parent = nullptr);

    // Positions in the lists (port settings tables), -1 for no selection. Set them before the
    // dialog is shown; after OK they hold the user's choice, after Cancel what they held before.
    int32_t m_nSpeed = -1;
    int32_t m_nDataBits = -1;
    int32_t m_nParity = -1;
    int32_t m_nPort = -1;
    int32_t m_nStopBits = -1;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Loading selects each list's item at its member's position; saving stores the selections.
    void DoDataExchange(bool save);

    QComboBox* m_cmbPort = nullptr;
    QComboBox* m_cmbSpeed = nullptr;
    QComboBox* m_cmbParity = nullptr;
    QComboBox* m_cmbDataBits = nullptr;
    QComboBox* m_cmbStopBits = nullptr;
};
