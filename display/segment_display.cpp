#include "segment_display.h"

#include <cstring>

#include "panel_geometry.h"
#include "panel_widget.h"
#include "pixel_copy.h"
#include "renderer_surfaces.h"

CSegmentDisplay::CSegmentDisplay() = default;

CSegmentDisplay::~CSegmentDisplay() {
    Detach();
}

void CSegmentDisplay::Attach(PanelWidget* pWnd) {
    m_pWnd = PrepareSurfaces(pWnd, geo::kDigitsResource, m_bmpMem, m_bmpSheet, m_rcClient) ? pWnd : nullptr;
}

void CSegmentDisplay::Detach() {
    // The surface and the sheet stay with the object until it is destroyed.
    m_pWnd = nullptr;
}

int CSegmentDisplay::GlyphIndex(char ch) {
    // Only the 13 glyphs are searched, so the terminator ('\0') is not one of them.
    const void* hit = std::memchr(geo::kGlyphOrder, ch, geo::kGlyphCount);
    return hit ? int(static_cast<const char*>(hit) - geo::kGlyphOrder) : geo::kBlankGlyph;
}

void CSegmentDisplay::Draw(int x, int y, const char* text) {
    if (!m_pWnd || !text)
        return;
    // Rows outside the sheet would read past its pixels (and 48 x row can overflow); no caller
    // uses one, so such a Draw draws nothing rather than something stale.
    if (m_nRow < 0 || m_nRow >= geo::kDigitRows)
        return;
    const int rowTop = geo::kCellH * m_nRow;
    const int surfaceW = m_bmpMem.width();
    int pen = 0;
    // Once the pen is past the surface (and a '.' could no longer light a point on it) the rest
    // of the text would compose nothing; stopping there also keeps the pen from overflowing.
    for (int i = 0; text[i] != '\0' && pen - geo::kDpSize < surfaceW; ++i) {
        const char c = text[i];
        if (c == '.' && i > 0) {
            // Light the point of the cell just composed with the lit point of the point cell.
            CopyPixels(m_bmpMem, pen - geo::kDpSize, geo::kDpY, m_bmpSheet,
                       geo::kCellW * geo::kPointGlyph + geo::kDpX, rowTop + geo::kDpY, geo::kDpSize,
                       geo::kDpSize);
        } else {
            CopyPixels(m_bmpMem, pen, 0, m_bmpSheet, geo::kCellW * GlyphIndex(c), rowTop, geo::kCellW,
                       geo::kCellH);
            pen += geo::kCellW;
        }
    }
    m_pWnd->copyFrom(m_bmpMem, 0, 0, pen, geo::kCellH, x, y);
}
