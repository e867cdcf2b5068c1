// The transmit and receive lamps: 24 x 6 bars cut from the lamp sheet.
#pragma once

#include <QImage>
#include <QRect>

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

    // Binds to the panel: a surface of its client size and the lamp sheet from the resources,
    // both in the panel's pixel format. Stays detached when pWnd is null or the sheet is missing.
    void Attach(PanelWidget* pWnd);
    // Unbinds; nothing when detached. The surface and the sheet are kept until destruction.
    void Detach();
    // Shows the bar of state (LAMP_*) at (x, y); nothing while detached or for a state outside
    // 0..3. Allocates nothing.
    void Draw(int x, int y, int state);

private:
    PanelWidget* m_pWnd = nullptr;
    QRect m_rcClient;   // client rectangle of the panel when it was attached
    QImage m_bmpMem;    // composition surface, the panel's size; Draw uses its top left 24 x 6
    QImage m_bmpSheet;  // lamp sheet
};
