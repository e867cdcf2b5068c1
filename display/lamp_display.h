// The transmit and receive lamps: 24 x 6 bars cut from the lamp sheet.
#pragma once

#include <QImage>

class PanelWidget;

inline constexpr int LAMP_RED = 0;
inline constexpr int LAMP_ON = 1;
inline constexpr int LAMP_OFF = 2;
inline constexpr int LAMP_YELLOW = 3;

class CLampDisplay {
public:
    CLampDisplay();
    virtual ~CLampDisplay();
    CLampDisplay(const CLampDisplay&) = delete;
    CLampDisplay& operator=(const CLampDisplay&) = delete;

    void Attach(PanelWidget* pWnd);
    void Detach();
    // Shows the bar of state (LAMP_*) at (x, y); nothing while detached. Allocates nothing.
    void Draw(int x, int y, int state);

private:
    PanelWidget* m_pWnd = nullptr;
    QImage m_bmpMem;
    QImage m_bmpSheet;
};
