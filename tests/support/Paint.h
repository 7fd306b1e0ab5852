// Builds small test bitmaps pixel by pixel.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>

#include "bitmap/ABitmap.h"

namespace halvik::testing {

using TPaint = std::function<void(int X, int Y, uint8_t* Pixel)>;

// A bitmap of W by H whose pixel (x, y) gets the four bytes Paint writes (0 where it writes none).
inline void Make(TABitmap& B, int W, int H, const TPaint& Paint) {
  B.SetSize(W, H);
  for (int y = 0; y < H; ++y) {
    uint8_t* row = static_cast<uint8_t*>(B.ScanLine(y));
    for (int x = 0; x < W; ++x) {
      std::memset(row + 4 * x, 0, 4);
      Paint(x, y, row + 4 * x);
    }
  }
}

}  // namespace halvik::testing
