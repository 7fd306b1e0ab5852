// The mean of one box-blur window from its four wrapped 16-bit sums and its signed 16-bit count.
#pragma once

#include <cstdint>

namespace halvik {

// The count of Pixels summed, kept as the blur keeps it: a signed 16-bit value that wraps, so
// that windows of 32768 pixels or more give a count that is negative, 0, or too small.
inline int16_t WindowCount(int64_t Pixels) { return static_cast<int16_t>(static_cast<uint16_t>(Pixels)); }

// Writes the four bytes Sums / Count, truncated, to Pixel. Chosen for wrapped counts: a count
// below 1 has no mean and leaves the pixel as it is, and a quotient above 255 (only after the
// count has wrapped) is stored as its low byte.
inline void WriteWindowMean(const uint16_t (&Sums)[4], int16_t Count, uint8_t* Pixel) {
  if (Count < 1) return;
  for (int lane = 0; lane < 4; ++lane) Pixel[lane] = static_cast<uint8_t>(Sums[lane] / Count);
}

}  // namespace halvik
