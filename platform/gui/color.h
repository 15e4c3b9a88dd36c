// Colour numbers.
//
// A colour is one number, of one of three sorts told apart by range:
//
//   -1 (or NIL)               the platform default: whatever the widget or
//                             presentation space would use anyway
//   -2 .. 15                  named colours (clr::White .. clr::PaleGray)
//   -60 .. -20                system colours, taken from the application
//                             palette when used (clr::SysHighlightText ...)
//   kRgbBase .. kRgbBase + 0xFFFFFF
//                             an RGB colour from GraMakeRGBColor({r, g, b}):
//                             kRgbBase + r * 65536 + g * 256 + b
//
// so black made by GraMakeRGBColor({0, 0, 0}) is 16777216, never the named
// colour 0, and every number an RGB triple gives is positive and above any
// named one. Any other number is not a colour: toQColor treats it as the
// default.
#pragma once

#include "platform/runtime/value.h"

#include <QColor>

#include <optional>

namespace gui {

namespace clr {
constexpr int Default = -1;
constexpr int White = -2;
constexpr int Background = 0;  // the window background: white
constexpr int Blue = 1;
constexpr int Red = 2;
constexpr int Pink = 3;
constexpr int Green = 4;
constexpr int Cyan = 5;
constexpr int Yellow = 6;
constexpr int Neutral = 7;  // the default text colour: black
constexpr int DarkGray = 8;
constexpr int DarkBlue = 9;
constexpr int DarkRed = 10;
constexpr int DarkPink = 11;
constexpr int DarkGreen = 12;
constexpr int DarkCyan = 13;
constexpr int Brown = 14;
constexpr int PaleGray = 15;
constexpr int Black = Neutral;

// System colours (application palette).
constexpr int SysWindow = -20;           // window background
constexpr int SysWindowText = -21;
constexpr int SysBase = -22;             // background of entry fields and grids
constexpr int SysText = -23;
constexpr int SysButton = -24;
constexpr int SysButtonText = -25;
constexpr int SysToolTipBase = -26;
constexpr int SysToolTipText = -27;
constexpr int SysDisabledText = -28;
constexpr int SysAlternateBase = -29;
constexpr int SysHighlight = -31;        // background of selected items
constexpr int SysHighlightText = -32;    // text of selected items
constexpr int SysMid = -33;              // frames and grid lines
constexpr int SysLight = -34;
constexpr int SysDark = -35;
constexpr int SysFirst = -60;
constexpr int SysLast = -20;
}  // namespace clr

constexpr int kRgbBase = 0x1000000;

// GraMakeRGBColor: each component is clamped to 0..255.
[[nodiscard]] constexpr int makeRgbColor(int r, int g, int b) noexcept
{
    auto c = [](int v) { return v < 0 ? 0 : v > 255 ? 255 : v; };
    return kRgbBase + (c(r) << 16) + (c(g) << 8) + c(b);
}
[[nodiscard]] constexpr bool isRgbColor(long long n) noexcept { return n >= kRgbBase && n <= kRgbBase + 0xFFFFFF; }
[[nodiscard]] constexpr bool isNamedColor(long long n) noexcept { return n >= clr::White && n <= clr::PaleGray; }
[[nodiscard]] constexpr bool isSystemColor(long long n) noexcept { return n >= clr::SysFirst && n <= clr::SysLast; }
// True for every number that names a colour (the default -1 is not one).
[[nodiscard]] constexpr bool isColorNumber(long long n) noexcept
{
    return n != clr::Default && (isRgbColor(n) || isNamedColor(n) || isSystemColor(n));
}

// The QColor of a colour number; the default (-1) and numbers that are no
// colour give `fallback`.
[[nodiscard]] QColor toQColor(long long n, const QColor& fallback = QColor());
// The colour of a value: a number, or an {r, g, b} array. NIL, -1 and
// anything else give nullopt (keep the current colour).
[[nodiscard]] std::optional<QColor> colorOf(const rt::Value& v);
// A colour value as a number: {r, g, b} through makeRgbColor, numbers as
// they are, anything else -1.
[[nodiscard]] long long colorNumber(const rt::Value& v);
// The RGB colour number of a QColor (alpha dropped).
[[nodiscard]] int rgbNumber(const QColor& c) noexcept;

}  // namespace gui
