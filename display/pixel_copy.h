// The one drawing operation the panel needs: a plain rectangle copy between images, clipped to
// both, with no scaling, no blending and no allocation.
#pragma once

#include <QRect>

class QImage;

// A copy of w x h pixels from (sx, sy) of the source to (dx, dy) of the destination.
struct CopyRect {
    int sx = 0, sy = 0;
    int dx = 0, dy = 0;
    int w = 0, h = 0;
    [[nodiscard]] bool isEmpty() const { return w <= 0 || h <= 0; }
    friend bool operator==(const CopyRect&, const CopyRect&) = default;
};

// Clips the copy of w x h pixels from (sx, sy) of a srcW x srcH image to (dx, dy) of a
// dstW x dstH image so that it reads and writes only inside both. Pixels that fall off either
// image are dropped, never shifted. The result is empty (w and h 0) when nothing remains.
// Safe for any int arguments: the arithmetic cannot overflow.
[[nodiscard]] CopyRect ClipCopy(int srcW, int srcH, int sx, int sy, int w, int h, int dstW, int dstH, int dx,
                                int dy) noexcept;

// Copies the clipped block of src into dst and returns the rectangle of dst that was written
// (empty when nothing was). dst must have 32 bits per pixel (nothing is copied otherwise); a
// source of the same format is copied row by row, any other pixel by pixel. dst is detached
// only if its data is shared. *changed (when given) tells whether any pixel of dst now differs
// from before, so that a caller can spare a repaint of pixels the screen already shows; without
// it the rows are copied without being compared.
QRect CopyPixels(QImage& dst, int dx, int dy, const QImage& src, int sx, int sy, int w, int h,
                 bool* changed = nullptr);
