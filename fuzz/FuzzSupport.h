// What the fuzz targets share: a check that stops the run with a message, bitmaps shaped and
// filled from the input, and snapshots of every pixel's four bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "FuzzInput.h"
#include "bitmap/ABitmap.h"

namespace halvik::fuzz {

// A failed property is a crash to the fuzzer: it keeps the input and stops.
#define FUZZ_CHECK(Cond, What)                                                 \
  do {                                                                         \
    if (!(Cond)) {                                                             \
      std::fprintf(stderr, "fuzz check failed: %s (%s)\n", What, #Cond);       \
      std::abort();                                                            \
    }                                                                          \
  } while (0)

// Gives B a size from two bytes, each below Limit + 1.
inline void Shape(TFuzzReader& In, TABitmap& B, int Limit) {
  const int w = In.Byte() % (Limit + 1), h = In.Byte() % (Limit + 1);
  B.SetWidth(w);
  B.SetHeight(h);
}

// Fills every byte of every pixel, the fourth included: 0 from the input's remaining bytes,
// 1 all 255, 2 a gradient with a fourth byte that varies.
inline void Paint(TABitmap& B, uint8_t Mode, const uint8_t* Bytes, size_t Count, size_t& Used) {
  for (int y = 0; y < B.Height(); ++y) {
    auto* row = static_cast<uint8_t*>(B.ScanLine(y));
    for (int x = 0; x < B.Width(); ++x)
      for (int k = 0; k < 4; ++k) {
        uint8_t v;
        if (Mode % 3 == 0) v = Count ? Bytes[Used++ % Count] : uint8_t(0x55 + x + y);
        else if (Mode % 3 == 1) v = 255;
        else v = uint8_t(x * 29 + y * 71 + k * 101);
        row[4 * x + k] = v;
      }
  }
}

inline std::vector<uint32_t> Snapshot(TABitmap& B) {
  std::vector<uint32_t> p;
  p.reserve(size_t(B.Width()) * size_t(B.Height()));
  for (int y = 0; y < B.Height(); ++y) {
    const auto* row = static_cast<const uint32_t*>(B.ScanLine(y));
    p.insert(p.end(), row, row + B.Width());
  }
  return p;
}

}  // namespace halvik::fuzz
