// The about box, opened from the main dialog's context menu.
#pragma once

#include <QDialog>

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    // parent: the window the box is modal over and centred on; none centres it on the screen.
    explicit CAboutDlg(QWidget* parent = nullptr);
};
