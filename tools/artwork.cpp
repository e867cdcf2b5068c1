#include "artwork.h"

#include <QPainter>
#include <QPolygonF>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

#include "artwork_font.h"
#include "panel_geometry.h"

namespace artwork {
namespace {

constexpr QRgb Opaque(uint32_t rgb) {
    return 0xFF000000u | rgb;
}

// Fills the inclusive pixel range x0..x1, y0..y1.
void Fill(QImage& image, int x0, int y0, int x1, int y1, uint32_t rgb) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            image.setPixel(x, y, Opaque(rgb));
}

// Sets text centred in the inclusive area x0..x1, y0..y1 (top-aligned when the area is taller
// than the font), with a one-pixel shadow to the lower right when one is given. Stops the
// build when it does not fit: every letter and its shadow must stay inside the area.
void TextIn(QImage& image, const PixelFont& font, std::string_view text, int gap, int x0, int y0, int x1, int y1,
            uint32_t rgb, std::optional<uint32_t> shadow = std::nullopt) {
    const int extent = shadow ? 1 : 0;
    const int width = TextWidth(font, text, gap) + extent;
    if (width > x1 - x0 + 1 || font.height + extent > y1 - y0 + 1) {
        std::fprintf(stderr, "gen_artwork: \"%.*s\" does not fit its area\n", int(text.size()), text.data());
        std::exit(1);
    }
    const int left = x0 + (x1 - x0 + 1 - width) / 2;
    if (shadow)
        DrawText(image, font, left + 1, y0 + 1, text, gap, Opaque(*shadow));
    DrawText(image, font, left, y0, text, gap, Opaque(rgb));
}

// ---- Digit sheet ---------------------------------------------------------------------------

// Segments a to g in the usual order, then the decimal point.
enum Segment { SegA, SegB, SegC, SegD, SegE, SegF, SegG, SegDp, SegmentCount };

// Horizontal segments (a, g, d): three rows, the middle one a pixel longer at each end.
bool InHorizontal(int top, int x, int y) {
    if (y == top || y == top + 2)
        return x >= 6 && x <= 17;
    return y == top + 1 && x >= 5 && x <= 18;
}

// Left vertical segments (f, e): x 3..5 over the span, with a one-pixel tip above and below.
bool InLeft(int first, int last, int x, int y) {
    if (x == 4 && (y == first - 1 || y == last + 1))
        return true;
    return x >= 3 && x <= 5 && y >= first && y <= last;
}

// Right vertical segments (b, c): x 18..20 without the top inner corner, which would touch the
// end of the horizontal segment above, and with tips in column 19.
bool InRight(int first, int last, int x, int y) {
    if (x == 19 && (y == first - 1 || y == last + 1))
        return true;
    if (x == 18 && y == first)
        return false;
    return x >= 18 && x <= 20 && y >= first && y <= last;
}

bool InSegment(int segment, int x, int y) {
    switch (segment) {
    case SegA: return InHorizontal(4, x, y);
    case SegB: return InRight(7, 22, x, y);
    case SegC: return InRight(26, 41, x, y);
    case SegD: return InHorizontal(42, x, y);
    case SegE: return InLeft(26, 41, x, y);
    case SegF: return InLeft(7, 22, x, y);
    case SegG: return InHorizontal(23, x, y);
    case SegDp:
        return x >= geo::kDpX && x < geo::kDpX + geo::kDpSize && y >= geo::kDpY && y < geo::kDpY + geo::kDpSize;
    default: return false;
    }
}

// Lit segments of each column of the sheet, in glyph order ".0123456789- ".
constexpr std::string_view kLitSegments[geo::kGlyphCount] = {
    "p",                                                              // point: only the decimal point
    "abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abcf", "abcdefg", "abcdfg",  // 0..9
    "g",                                                              // minus
    "",                                                               // blank
};

bool IsLit(int glyph, int segment) {
    const char name = segment == SegDp ? 'p' : char('a' + segment);
    return kLitSegments[glyph].find(name) != std::string_view::npos;
}

void DrawCell(QImage& sheet, int column, int row) {
    const geo::DigitColours colours = geo::kDigitColours[row];
    const int left = column * geo::kCellW;
    const int top = row * geo::kCellH;
    for (int y = 0; y < geo::kCellH; ++y) {
        for (int x = 0; x < geo::kCellW; ++x) {
            uint32_t rgb = geo::kWindowColour;
            for (int s = 0; s < SegmentCount; ++s)
                if (InSegment(s, x, y))
                    rgb = IsLit(column, s) ? colours.lit : colours.unlit;
            sheet.setPixel(left + x, top + y, Opaque(rgb));
        }
    }
}

// ---- Lamp sheet ----------------------------------------------------------------------------

struct LampColours {
    uint32_t body, light, shade, frame, frameDark, tint, white;
};
// In the order of the lamp states: red, on, off, yellow.
constexpr LampColours kLampColours[geo::kLampStates] = {
    {0xFF0000, 0xFF6666, 0xCC0000, 0x993333, 0x663333, 0xEFD6C6, 0xFFFFFF},
    {0x00FF00, 0x99FF00, 0x66CC00, 0x006600, 0x003300, 0xCCFFFF, 0xFFFFFF},
    {0x008000, 0x009900, 0x006600, 0x040404, 0x040404, 0xFFFFFF, 0xFFFFFF},
    {0xFFFF00, 0xFFFF99, 0xFFCC00, 0x666600, 0x003300, 0xFFFFCC, 0xFFFFFF},
};

// The bar, rows 24..29 of a cell: a bevelled frame around the lit body, with a tinted glow
// on its lowest row.
uint32_t BarPixel(const LampColours& c, int x, int row) {
    if (x == 23 && row < 5)
        return c.white;
    switch (row) {
    case 0: return (x <= 2 || (x >= 20 && x <= 22)) ? c.frameDark : c.frame;
    case 1: return x == 0 ? c.frameDark : x == 22 ? c.shade : c.light;
    case 2: return x == 0 ? c.frame : x == 1 ? c.light : x == 22 ? c.shade : c.body;
    case 3: return x == 0 ? c.frameDark : x == 1 ? c.light : x == 22 ? c.shade : c.body;
    case 4: return x == 0 ? c.frameDark : c.shade;
    default: return (x >= 5 && x <= 18) ? c.tint : c.white;
    }
}

// The lamp as a whole, rows 0..23 of a cell: a round lamp in a bevelled square frame.
uint32_t LampPicturePixel(const LampColours& c, int x, int y) {
    if (x == 23 || y == 23)
        return c.white;
    if (x == 0 || y == 0 || x == 22 || y == 22)
        return c.frameDark;
    if (x == 1 || y == 1 || x == 21 || y == 21)
        return c.frame;
    const int dx = 2 * x - 22;  // doubled distances from the centre (11, 11)
    const int dy = 2 * y - 22;
    const int d2 = dx * dx + dy * dy;
    if (d2 > 17 * 17)
        return c.tint;
    if (d2 > 15 * 15)
        return dx + dy < 0 ? c.frame : c.frameDark;  // the lamp's rim, lit from the upper left
    if (d2 > 13 * 13)
        return dx + dy < 0 ? c.light : c.shade;
    const int hx = 2 * x - 16, hy = 2 * y - 16;  // a highlight up and to the left
    if (hx * hx + hy * hy <= 4 * 4)
        return c.white;
    return c.body;
}

// ---- Icon ----------------------------------------------------------------------------------

// A lightning bolt, on a 32 x 32 grid.
const QPolygonF& BoltOutline() {
    static const QPolygonF outline({{19.5, 1}, {5, 18}, {14, 18}, {9, 31}, {27, 12}, {17.5, 12}, {24, 1}});
    return outline;
}

}  // namespace

QImage DigitSheet() {
    QImage sheet(geo::kDigitSheetW, geo::kDigitSheetH, QImage::Format_RGB32);
    for (int row = 0; row < geo::kDigitRows; ++row)
        for (int column = 0; column < geo::kGlyphCount; ++column)
            DrawCell(sheet, column, row);
    return sheet;
}

QImage LampSheet() {
    QImage sheet(geo::kLampSheetW, geo::kLampSheetH, QImage::Format_RGB32);
    for (int state = 0; state < geo::kLampStates; ++state) {
        const LampColours& c = kLampColours[state];
        const int left = state * geo::kLampW;
        for (int y = 0; y < geo::kLampBarY; ++y)
            for (int x = 0; x < geo::kLampW; ++x)
                sheet.setPixel(left + x, y, Opaque(LampPicturePixel(c, x, y)));
        for (int row = 0; row < geo::kLampBarH; ++row)
            for (int x = 0; x < geo::kLampW; ++x)
                sheet.setPixel(left + x, geo::kLampBarY + row, Opaque(BarPixel(c, x, row)));
    }
    return sheet;
}

QImage Panel(const QImage& digitSheet, const QImage& lampSheet) {
    constexpr uint32_t kGrey = 0xC0C0C0, kDark = 0x868686, kWhite = 0xFFFFFF, kLabel = 0x008000,
                       kUnit = 0xFFFF00;
    QImage panel(geo::kPanelW, geo::kPanelH, QImage::Format_RGB32);

    // The grey strip with its outline, then the sunken display window. The lower and right
    // bevel is laid last, so it owns the corner pixel (262, 1) where the two bevels meet.
    Fill(panel, 1, 1, 30, 160, kGrey);
    Fill(panel, 0, 0, 0, 161, kDark);
    Fill(panel, 0, 0, 262, 0, kDark);
    Fill(panel, 0, 161, 32, 161, kDark);
    Fill(panel, 31, 0, 32, 161, kDark);
    Fill(panel, 31, 0, 262, 1, kDark);
    Fill(panel, 263, 0, 263, 161, kWhite);
    Fill(panel, 262, 1, 262, 161, kWhite);
    Fill(panel, 33, 160, 263, 161, kWhite);
    Fill(panel, 33, 2, 261, 159, geo::kWindowColour);

    TextIn(panel, kBold12, "TEMPERATURE CONTROLLER", 2, 40, 9, 231, 20, kWhite);
    TextIn(panel, kBold12, "PV", 2, 45, 42, 65, 53, kLabel);
    TextIn(panel, kBold12, "SV", 2, 45, 104, 65, 115, kLabel);

    // Degree sign and C, in the 16 x 16 areas right of the readouts.
    for (const int top : {38, 99}) {
        static constexpr std::string_view kRing[] = {".####.", "######", "##..##", "##..##", "######", ".####."};
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 6; ++x)
                if (kRing[y][x] == '#')
                    panel.setPixel(200 + x, top + y, Opaque(kUnit));
        TextIn(panel, kBold12, "C", 0, 207, top + 4, 215, top + 15, kUnit);
    }

    TextIn(panel, kSmall9, "Act", 2, 6, 132, 24, 141, kWhite, geo::kWindowColour);

    // The printed readout cells and lamp bars are cut from the sheets themselves.
    QPainter painter(&panel);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    for (int cell = 0; cell < geo::kReadoutCells; ++cell) {
        const int x = geo::kReadoutX + cell * geo::kCellW;
        const int blank = geo::kBlankGlyph * geo::kCellW;
        painter.drawImage(x, geo::kPvY, digitSheet, blank, 0 * geo::kCellH, geo::kCellW, geo::kCellH);
        painter.drawImage(x, geo::kSvY, digitSheet, blank, 1 * geo::kCellH, geo::kCellW, geo::kCellH);
    }
    for (const int y : {geo::kTxLampY, geo::kRxLampY})
        painter.drawImage(geo::kLampX, y, lampSheet, 2 * geo::kLampW, geo::kLampBarY, geo::kLampW, geo::kLampBarH);
    return panel;
}

QImage Logo() {
    constexpr uint32_t kWhite = 0xFFFFFF, kOrange = 0xFF6633, kShadow = 0xE7E7D6;
    QImage logo(geo::kLogoW, geo::kLogoH, QImage::Format_RGB32);
    logo.fill(Opaque(kWhite));

    // The name with a pale shadow, over a swoosh that fades from the main orange to the pale one.
    TextIn(logo, kBold12, "OrvelSeries", 2, 3, 3, 91, 15, kOrange, kShadow);
    struct Stroke {
        int y, x0, x1;
        uint32_t rgb;
    };
    static constexpr Stroke kSwoosh[] = {
        {19, 56, 86, 0xFFCC66}, {20, 24, 90, 0xFF9933}, {21, 4, 91, 0xFF6633}, {22, 8, 84, 0xFF9966},
        {23, 14, 70, 0xFFCC99}, {24, 22, 54, 0xEFD6C6}, {26, 10, 86, 0xEAEAEA}, {27, 14, 82, 0xFFFBF0},
    };
    for (const Stroke& s : kSwoosh)
        Fill(logo, s.x0, s.y, s.x1, s.y, s.rgb);
    return logo;
}

QImage Icon(int size) {
    QImage icon(size, size, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    if (size == 16) {
        // Drawn by hand: the outline sampled this small leaves a tip joined only at a corner.
        static constexpr std::string_view kSmallBolt[16] = {
            "................", ".........####...", "........####....", ".......####.....",
            "......####......", ".....####.......", "....#########...", "...#########....",
            "......#####.....", ".....#####......", ".....####.......", "....####........",
            "....###.........", "...###..........", "...##...........", "................",
        };
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                if (kSmallBolt[y][x] == '#')
                    icon.setPixel(x, y, Opaque(0xFFFF00));
        return icon;
    }
    // Sampled at pixel centres without smoothing, so each pixel is either the yellow or clear.
    const double scale = 32.0 / size;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if (BoltOutline().containsPoint(QPointF((x + 0.5) * scale, (y + 0.5) * scale), Qt::OddEvenFill))
                icon.setPixel(x, y, Opaque(0xFFFF00));
    return icon;
}

}  // namespace artwork
