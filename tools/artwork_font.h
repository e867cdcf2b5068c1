// Two small pixel fonts for the lettering of the pictures. Fonts of the system are not used, so
// that the pictures come out the same on every machine and every letter stays inside its area
// and its one colour.
#pragma once

#include <QImage>

#include <array>
#include <span>
#include <string_view>

namespace artwork {

struct Glyph {
    char ch;
    std::array<std::string_view, 12> rows;  // '#' is ink; the rows past the font's height stay empty
};

struct PixelFont {
    int height;
    std::span<const Glyph> glyphs;
};

// Capitals 12 pixels tall with 2-pixel strokes, and the lower-case letters of the logo.
extern const PixelFont kBold12;
// "Act" over the lamps: 9 pixels tall, one-pixel strokes.
extern const PixelFont kSmall9;

// Width of text set with gap pixels between letters; a space is a gap of its own.
[[nodiscard]] int TextWidth(const PixelFont& font, std::string_view text, int gap);

// Sets text with its top left corner at (x, y) in one colour; touches only ink pixels.
void DrawText(QImage& image, const PixelFont& font, int x, int y, std::string_view text, int gap, QRgb colour);

}  // namespace artwork
