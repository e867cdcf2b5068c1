// Geometry and colours of the front-panel pictures, written once for the program that draws
// them (tools/gen_artwork) and for the renderers that cut from them. Plain constants, no Qt.
//
// Coordinates are pixels, origin at the top left, x to the right, y downwards; colours are
// 0xRRGGBB.
#pragma once

#include <cstdint>

namespace geo {

// Panel picture: the readouts and lamps land on it at the positions below.
inline constexpr int kPanelW = 264;
inline constexpr int kPanelH = 162;

// Digit sheet: 13 columns of cells in glyph order by 3 colour rows.
inline constexpr int kCellW = 24;
inline constexpr int kCellH = 48;
inline constexpr char kGlyphOrder[] = ".0123456789- ";
inline constexpr int kGlyphCount = 13;
static_assert(sizeof(kGlyphOrder) == kGlyphCount + 1);
inline constexpr int kPointGlyph = 0;   // every segment unlit, only the decimal point lit
inline constexpr int kMinusGlyph = 11;
inline constexpr int kBlankGlyph = 12;  // everything unlit; also shown for unknown characters
inline constexpr int kDigitRows = 3;    // green, red, yellow
inline constexpr int kDigitSheetW = kCellW * kGlyphCount;  // 312
inline constexpr int kDigitSheetH = kCellH * kDigitRows;   // 144

// The decimal point of every cell; lit only in the point column, whose block the readout
// copies onto the cell before a '.'.
inline constexpr int kDpX = 21;
inline constexpr int kDpY = 43;
inline constexpr int kDpSize = 3;

// Readouts: five cells printed blank on the panel, PV in the green row and SV in the red one.
inline constexpr int kReadoutX = 73;
inline constexpr int kPvY = 34;
inline constexpr int kSvY = 95;
inline constexpr int kReadoutCells = 5;

// Lamp sheet: one 24-pixel cell per lamp state; the bar the renderer copies is rows 24..29,
// rows 0..23 hold a picture of the lamp that nothing draws.
inline constexpr int kLampW = 24;
inline constexpr int kLampBarY = 24;
inline constexpr int kLampBarH = 6;
inline constexpr int kLampStates = 4;
inline constexpr int kLampSheetW = kLampW * kLampStates;  // 96
inline constexpr int kLampSheetH = kLampBarY + kLampBarH;  // 30
inline constexpr int kLampX = 4;
inline constexpr int kTxLampY = 143;
inline constexpr int kRxLampY = kTxLampY + kLampBarH;  // the bars touch without overlapping

inline constexpr int kLogoW = 95;
inline constexpr int kLogoH = 30;

// The display window's colour is also the digit sheet's background, so a blank cell sits on
// the panel without a seam.
inline constexpr uint32_t kWindowColour = 0x040404;

struct DigitColours {
    uint32_t lit;
    uint32_t unlit;  // one fifth of lit
};
inline constexpr DigitColours kDigitColours[kDigitRows] = {
    {0x00FF00, 0x003300},  // green, PV
    {0xFF0000, 0x330000},  // red, SV
    {0xFFFF00, 0x333300},  // yellow
};

// Where the running program finds the pictures (Qt resources built by res/).
inline constexpr char kPanelResource[] = ":/orvel/panel.png";
inline constexpr char kDigitsResource[] = ":/orvel/digits.png";
inline constexpr char kLampsResource[] = ":/orvel/lamps.png";
inline constexpr char kLogoResource[] = ":/orvel/logo.png";
inline constexpr char kIcon32Resource[] = ":/orvel/icon32.png";
inline constexpr char kIcon16Resource[] = ":/orvel/icon16.png";

}  // namespace geo
