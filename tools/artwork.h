// The pictures of the console, drawn from the panel geometry: the digit sheet, the lamp sheet,
// the front panel (whose printed readout cells and lamp bars are cut from the two sheets, so
// they match them pixel for pixel), the logo and the icon.
#pragma once

#include <QImage>

namespace artwork {

[[nodiscard]] QImage DigitSheet();  // 312 x 144
[[nodiscard]] QImage LampSheet();   // 96 x 30
[[nodiscard]] QImage Panel(const QImage& digitSheet, const QImage& lampSheet);  // 264 x 162
[[nodiscard]] QImage Logo();        // 95 x 30
[[nodiscard]] QImage Icon(int size);  // size x size, transparent around the shape

}  // namespace artwork
