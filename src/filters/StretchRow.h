// One destination row of the bilinear stretch in plain scalar code: the sample of one pixel from
// its two by two neighbours, and the row fill in its two column runs. A vector row fill can sit
// beside FillStretchRow, taking the same parameters and held equal to it.
#pragma once

#include <algorithm>
#include <cstdint>

namespace halvik {

// The same for every row of one stretch.
struct TStretchColumns {
  uint32_t XStart = 0;    // 16.16 position of the first destination pixel
  uint32_t XStep = 0;     // added per destination pixel, wrapping modulo 2^32
  int32_t MainCount = 0;  // pixels of the main run
  int32_t TailCount = 0;  // pixels of the tail run, which starts one step back
  int32_t SourceWidth = 1;  // pixels in a source row, at least 1
};

// Writes to Out the four bytes of one pixel from pixels P, Q (row A) and R, S (row B), each four
// bytes, with weights WX of Q and S and WY of row B (0 to 255). Every value stays below 65536, so
// the 16-bit lanes never saturate and the result is at most 253.
inline void BilinearPixel(const uint8_t* P, const uint8_t* Q, const uint8_t* R, const uint8_t* S, uint32_t WX,
                          uint32_t WY, uint8_t* Out) {
  for (int lane = 0; lane < 4; ++lane) {
    const uint16_t top = static_cast<uint16_t>((P[lane] * (255 - WX) + Q[lane] * WX) >> 8);
    const uint16_t bottom = static_cast<uint16_t>((R[lane] * (255 - WX) + S[lane] * WX) >> 8);
    Out[lane] = static_cast<uint8_t>((top * (255 - WY) + bottom * WY) >> 8);
  }
}

// Samples one pixel at position XPos of source rows A and B into Out. A column at or past the
// source row's end reads the row's last pixel instead.
inline void SampleAt(uint32_t XPos, const uint8_t* RowA, const uint8_t* RowB, uint32_t WY, int32_t SourceWidth,
                     uint8_t* Out) {
  const uint32_t last = static_cast<uint32_t>(SourceWidth - 1);
  const uint32_t col = XPos >> 16;
  const uint32_t left = std::min(col, last);
  const uint32_t right = std::min(col + 1, last);
  const uint32_t wx = (XPos >> 8) & 255;
  BilinearPixel(RowA + 4 * size_t(left), RowA + 4 * size_t(right), RowB + 4 * size_t(left),
                RowB + 4 * size_t(right), wx, WY, Out);
}

// Writes MainCount + TailCount pixels from Dst on. The main run samples at XStart + i * XStep;
// the tail run steps back once and goes on, so its first pixel repeats the main run's last.
inline void FillStretchRow(uint8_t* Dst, const uint8_t* RowA, const uint8_t* RowB, uint32_t WY,
                           const TStretchColumns& Columns) {
  uint32_t pos = Columns.XStart;
  for (int32_t i = 0; i < Columns.MainCount; ++i, pos += Columns.XStep, Dst += 4)
    SampleAt(pos, RowA, RowB, WY, Columns.SourceWidth, Dst);
  pos -= Columns.XStep;
  for (int32_t j = 0; j < Columns.TailCount; ++j, pos += Columns.XStep, Dst += 4)
    SampleAt(pos, RowA, RowB, WY, Columns.SourceWidth, Dst);
}

}  // namespace halvik
