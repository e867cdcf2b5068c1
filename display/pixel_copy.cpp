#include "pixel_copy.h"

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstring>

CopyRect ClipCopy(int srcW, int srcH, int sx, int sy, int w, int h, int dstW, int dstH, int dx,
                  int dy) noexcept {
    // One axis at a time, in 64 bits so that positions near the int limits cannot overflow.
    struct Span {
        int64_t s, d, n;
    };
    const auto clip = [](int64_t srcLen, int64_t s, int64_t dstLen, int64_t d, int64_t n) -> Span {
        if (s < 0) {
            d -= s;
            n += s;
            s = 0;
        }
        if (d < 0) {
            s -= d;
            n += d;
            d = 0;
        }
        n = std::min({n, srcLen - s, dstLen - d});
        return {s, d, std::max<int64_t>(n, 0)};
    };
    if (w <= 0 || h <= 0)
        return {};
    const Span x = clip(srcW, sx, dstW, dx, w);
    const Span y = clip(srcH, sy, dstH, dy, h);
    if (x.n == 0 || y.n == 0)
        return {};
    return {int(x.s), int(y.s), int(x.d), int(y.d), int(x.n), int(y.n)};
}

QRect CopyPixels(QImage& dst, int dx, int dy, const QImage& src, int sx, int sy, int w, int h,
                 bool* changed) {
    bool differs = false;
    const CopyRect r = ClipCopy(src.width(), src.height(), sx, sy, w, h, dst.width(), dst.height(), dx, dy);
    if (r.isEmpty() || dst.depth() != 32) {
        if (changed)
            *changed = false;
        return {};
    }
    if (src.format() == dst.format()) {
        const qsizetype dstBpl = dst.bytesPerLine();
        const qsizetype srcBpl = src.bytesPerLine();
        uchar* to = dst.bits() + r.dy * dstBpl + r.dx * 4;
        const uchar* from = src.constBits() + r.sy * srcBpl + r.sx * 4;
        const size_t rowBytes = size_t(r.w) * 4;
        if (!changed) {
            // Nobody asks what changed (composing on a memory surface): a plain copy.
            for (int row = 0; row < r.h; ++row, to += dstBpl, from += srcBpl)
                std::memcpy(to, from, rowBytes);
            return {r.dx, r.dy, r.w, r.h};
        }
        for (int row = 0; row < r.h; ++row, to += dstBpl, from += srcBpl) {
            if (std::memcmp(to, from, rowBytes) != 0) {
                std::memcpy(to, from, rowBytes);
                differs = true;
            }
        }
    } else {
        for (int row = 0; row < r.h; ++row)
            for (int col = 0; col < r.w; ++col) {
                const QRgb px = src.pixel(r.sx + col, r.sy + row);
                if (dst.pixel(r.dx + col, r.dy + row) != px) {
                    dst.setPixel(r.dx + col, r.dy + row, px);
                    differs = true;
                }
            }
    }
    if (changed)
        *changed = differs;
    return {r.dx, r.dy, r.w, r.h};
}
