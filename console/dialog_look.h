// What the console's dialogs share in look and placement.
#pragma once

#include <QFont>

class QWidget;

// The dialogs' font: a Korean-capable sans serif at 9 points, falling back to whatever
// fontconfig offers for Hangul when none of the preferred families is installed.
[[nodiscard]] QFont DialogFont();

// The dialog font for the frame row and the response line, whose texts change on every poll
// tick: drawn without shaping and on whole pixels, which is cheap to redraw.
[[nodiscard]] QFont FrameRowFont();

// Moves the top-level dialog so that it is centred on the mouse pointer, kept inside the
// available area of the screen under the pointer. Call before the dialog is shown.
void CentreOnCursor(QWidget* dialog);
