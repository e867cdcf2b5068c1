// Seven-segment readout: a short numeric text composed cell by cell from the digit sheet on
// an off-screen surface, then copied to the panel in one piece.
#pragma once

#include <QImage>
#include <QRect>

class PanelWidget;

inline constexpr int ROW_GREEN = 0;
inline constexpr int ROW_RED = 1;
inline constexpr int ROW_YELLOW = 2;

class CSegmentDisplay {
public:
    CSegmentDisplay();
    virtual ~CSegmentDisplay();
    CSegmentDisplay(const CSegmentDisplay&) = delete;
    CSegmentDisplay& operator=(const CSegmentDisplay&) = delete;

    int m_nRow = ROW_GREEN;  // colour row of the next Draw; the caller sets it before each Draw

    // Binds to the panel: a surface of its client size and the digit sheet from the resources,
    // both in the panel's pixel format. Stays detached when pWnd is null or the sheet is missing.
    void Attach(PanelWidget* pWnd);
    // Unbinds; nothing when detached. The surface and the sheet are kept until destruction.
    void Detach();
    // Draws text at (x, y) of the panel in colour row m_nRow; nothing while detached, for a null
    // text or for a row outside 0..2. Allocates nothing.
    void Draw(int x, int y, const char* text);
    // Sheet column of ch in ".0123456789- "; 12 (blank) for anything else.
    [[nodiscard]] static int GlyphIndex(char ch);

private:
    PanelWidget* m_pWnd = nullptr;
    QRect m_rcClient;   // client rectangle of the panel when it was attached
    QImage m_bmpMem;    // composition surface, the panel's size
    QImage m_bmpSheet;  // digit sheet
};
