#include "lamp_display.h"

#include "panel_geometry.h"
#include "panel_widget.h"
#include "pixel_copy.h"
#include "renderer_surfaces.h"

CLampDisplay::CLampDisplay() = default;

CLampDisplay::~CLampDisplay() {
    Detach();
}

void CLampDisplay::Attach(PanelWidget* pWnd) {
    m_pWnd = PrepareSurfaces(pWnd, geo::kLampsResource, m_bmpMem, m_bmpSheet, m_rcClient) ? pWnd : nullptr;
}

void CLampDisplay::Detach() {
    // The surface and the sheet stay with the object until it is destroyed.
    m_pWnd = nullptr;
}

void CLampDisplay::Draw(int x, int y, int state) {
    if (!m_pWnd)
        return;
    // A state outside the sheet has no bar (and 24 x state can overflow); no caller passes one.
    if (state < 0 || state >= geo::kLampStates)
        return;
    CopyPixels(m_bmpMem, 0, 0, m_bmpSheet, geo::kLampW * state, geo::kLampBarY, geo::kLampW, geo::kLampBarH);
    m_pWnd->copyFrom(m_bmpMem, 0, 0, geo::kLampW, geo::kLampBarH, x, y);
}
