#include "renderer_surfaces.h"

#include "panel_geometry.h"
#include "panel_widget.h"

bool PrepareSurfaces(PanelWidget* pWnd, const char* sheetResource, QImage& surface, QImage& sheet,
                     QRect& client) {
    if (!pWnd)
        return false;
    QImage loaded(QString::fromLatin1(sheetResource));
    if (loaded.isNull()) {
        qWarning("The sheet %s is missing from the resources; nothing will be drawn", sheetResource);
        return false;
    }
    client = pWnd->rect();
    // A copy is never made of either image afterwards, so writes to the surface never detach.
    sheet = loaded.format() == PanelWidget::kFormat ? loaded : loaded.convertToFormat(PanelWidget::kFormat);
    surface = QImage(client.size(), PanelWidget::kFormat);
    // Defined pixels from the start; Draw copies only what it composed, so this never shows.
    surface.fill(QColor::fromRgb(geo::kWindowColour));
    return true;
}
