// What Attach prepares for both renderers: the composition surface, as large as the panel's
// client area and in the panel's pixel format, and the sheet, converted to that format once so
// that every later copy is a plain row copy.
#pragma once

#include <QImage>
#include <QRect>

class PanelWidget;

// Fills surface, sheet and client for pWnd and returns true; returns false and leaves them as
// they were when pWnd is null or the sheet cannot be loaded from sheetResource.
bool PrepareSurfaces(PanelWidget* pWnd, const char* sheetResource, QImage& surface, QImage& sheet,
                     QRect& client);
