// Plain value types shared by the platform layer: colours, rectangles.
#pragma once

#include <cstdint>

namespace halvik {

// A colour as 0x00BBGGRR, the platform's own order (red in the low byte).
using TColor = uint32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clGray = 0x808080;
constexpr TColor clWindowText = 0x80000008;  // a system colour: the window text colour

struct TRect {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Right - Left; }
  int Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

inline TRect Bounds(int Left, int Top, int Width, int Height) {
  return TRect{Left, Top, Left + Width, Top + Height};
}

}  // namespace halvik
