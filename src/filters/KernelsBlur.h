// The raster-order box blur of radius 1. Included, through KernelsImpl.h, once per kernel set.
#pragma once

#include "filters/KernelTable.h"
#include "filters/KernelsVector.h"

namespace halvik {
namespace HALVIK_KERNEL_NS {
namespace {

// Box blur, radius 1.
//
// Pixel (y, x) needs the new pixels (y-1, x-1 .. x+1) and (y, x-1) and the old ones of the rest
// of its window. So its sum splits into C(y, x), every term but the left neighbour, which is
// known once row y-1 is done up to column x+1, and the left neighbour, which makes a serial
// chain along the row. Rows of a band run their chains together, each one chunk and one column
// behind the row above it, so that a row's C only ever needs pixels the row above has finished
// and the rows below have not yet overwritten.

constexpr int kBandRows = 8;
constexpr int kChunk = 64;
constexpr size_t kPrefetchBytes = 2048;

// Sums of at most 9 * 255 divided by 4, 6 or 9 as (sum * M) >> 16.
constexpr uint16_t Reciprocal(int Count) { return uint16_t((65536 + Count - 1) / Count); }
constexpr bool ReciprocalIsExact(int Count) {
  for (uint32_t s = 0; s <= uint32_t(Count) * 255; ++s)
    if (((s * Reciprocal(Count)) >> 16) != s / uint32_t(Count)) return false;
  return true;
}
static_assert(ReciprocalIsExact(4) && ReciprocalIsExact(6) && ReciprocalIsExact(9),
              "multiply-shift division must equal truncating division for every window sum");

struct TBlurRows {
  uint8_t* const* Rows;
  int32_t Width, Height;
};

// One pixel from the bitmap as it stands, clipped window and true division: for the first and
// last columns, where the window's count changes.
void EdgePixel(const TBlurRows& B, int32_t Y, int32_t X) {
  const int32_t top = Y > 0 ? Y - 1 : 0, bottom = Y + 1 < B.Height ? Y + 1 : Y;
  const int32_t left = X > 0 ? X - 1 : 0, right = X + 1 < B.Width ? X + 1 : X;
  uint32_t sums[4] = {0, 0, 0, 0};
  for (int32_t r = top; r <= bottom; ++r)
    for (int32_t c = left; c <= right; ++c)
      for (int lane = 0; lane < 4; ++lane) sums[lane] += B.Rows[r][4 * size_t(c) + lane];
  const uint32_t count = uint32_t((bottom - top + 1) * (right - left + 1));
  for (int lane = 0; lane < 4; ++lane) B.Rows[Y][4 * size_t(X) + lane] = uint8_t(sums[lane] / count);
}

// C(Y, x) for X0 <= x < X1 (all inner columns) into Out, four 16-bit sums per pixel in the
// lane order blue, red, green, fourth byte: the even and the odd bytes of each pixel are summed
// in separate 16-bit lanes, without widening shuffles.
inline void AddTerm(const uint8_t* P, V& Even, V& Odd) {
  const V v = Load(P);
  Even = Add16(Even, And(v, Words(0x00FF)));
  Odd = Add16(Odd, Shr8(v));
}

template <bool Up, bool Down>
void WindowRest(const TBlurRows& B, int32_t Y, int32_t X0, int32_t X1, uint16_t* Out) {
  const uint8_t* up = Up ? B.Rows[Y - 1] : nullptr;
  const uint8_t* cur = B.Rows[Y];
  const uint8_t* down = Down ? B.Rows[Y + 1] : nullptr;
  int32_t x = X0;
#if defined(__AVX512BW__)
  // With rows above and below, their column sums are made once per pixel and shifted into the
  // three window columns, instead of being summed three times. A run of vectors carries the
  // sums of pixels x-1 .. x+kVPixels-2 from one vector to the next; the next ones read up to
  // pixel x+2*kVPixels-2, so the run stops while that is still inside the row.
  if constexpr (Up && Down) {
    if (x + kVPixels <= X1 && x + 2 * kVPixels <= B.Width) {
      V le = Zero(), lo = Zero();
      AddTerm(up + 4 * size_t(x) - 4, le, lo);
      AddTerm(down + 4 * size_t(x) - 4, le, lo);
      for (; x + kVPixels <= X1 && x + 2 * kVPixels <= B.Width; x += kVPixels) {
        const size_t o = 4 * size_t(x);
        for (int line = 0; line < kVBytes; line += 64)
          _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(down + o) + kPrefetchBytes + line),
                       _MM_HINT_T0);
        V ne = Zero(), no = Zero();  // column sums of pixels x+kVPixels-1 .. x+2*kVPixels-2
        AddTerm(up + o + 4 * kVPixels - 4, ne, no);
        AddTerm(down + o + 4 * kVPixels - 4, ne, no);
        V even = Add16(Add16(le, _mm512_alignr_epi32(ne, le, 1)), _mm512_alignr_epi32(ne, le, 2));
        V odd = Add16(Add16(lo, _mm512_alignr_epi32(no, lo, 1)), _mm512_alignr_epi32(no, lo, 2));
        AddTerm(cur + o, even, odd);
        AddTerm(cur + o + 4, even, odd);
        V first, second;
        Interleave32(even, odd, first, second);
        Store(Out + 4 * size_t(x - X0), first);
        Store(Out + 4 * size_t(x - X0) + 2 * kVPixels, second);
        le = ne, lo = no;
      }
    }
  }
#endif
  // Each load reads pixels x-1 .. x+kVPixels, all inside the row since X1 <= Width - 1.
  for (; x + kVPixels <= X1; x += kVPixels) {
    const size_t o = 4 * size_t(x);
    // The row below is read here first, in short runs on many rows at once, which the
    // processor's own prefetching does not follow: ask for it a few chunks ahead. A hint
    // past the row's end is harmless (prefetches never fault).
    if (Down)
      for (int line = 0; line < kVBytes; line += 64)
        _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(down + o) + kPrefetchBytes + line),
                     _MM_HINT_T0);
    V even = Zero(), odd = Zero();
    AddTerm(cur + o, even, odd);
    AddTerm(cur + o + 4, even, odd);
    if (Up) {
      AddTerm(up + o - 4, even, odd);
      AddTerm(up + o, even, odd);
      AddTerm(up + o + 4, even, odd);
    }
    if (Down) {
      AddTerm(down + o - 4, even, odd);
      AddTerm(down + o, even, odd);
      AddTerm(down + o + 4, even, odd);
    }
    V first, second;
    Interleave32(even, odd, first, second);
    Store(Out + 4 * size_t(x - X0), first);
    Store(Out + 4 * size_t(x - X0) + 2 * kVPixels, second);
  }
  static const int kLane[4] = {0, 2, 1, 3};  // byte position of each 16-bit lane
  for (; x < X1; ++x) {
    const size_t o = 4 * size_t(x);
    for (int lane = 0; lane < 4; ++lane) {
      const int k = kLane[lane];
      uint32_t s = uint32_t(cur[o + k]) + cur[o + 4 + k];
      if (Up) s += uint32_t(up[o - 4 + k]) + up[o + k] + up[o + 4 + k];
      if (Down) s += uint32_t(down[o - 4 + k]) + down[o + k] + down[o + 4 + k];
      Out[4 * size_t(x - X0) + lane] = uint16_t(s);
    }
  }
}

void WindowRestFor(const TBlurRows& B, int32_t Y, int32_t X0, int32_t X1, uint16_t* Out) {
  const bool up = Y > 0, down = Y + 1 < B.Height;
  if (up && down) WindowRest<true, true>(B, Y, X0, X1, Out);
  else if (up) WindowRest<true, false>(B, Y, X0, X1, Out);
  else if (down) WindowRest<false, true>(B, Y, X0, X1, Out);
  else WindowRest<false, false>(B, Y, X0, X1, Out);
}

// Narrows Count pixels of 16-bit values (each at most 255, lanes blue, red, green, fourth byte)
// into Dst: within each 64-bit pixel, shifting by 24 bits puts green and the fourth byte beside
// blue and red.
void Narrow(const uint16_t* Src, int32_t Count, uint8_t* Dst) {
  int32_t i = 0;
  for (; i + kHalfPixels <= Count; i += kHalfPixels) {
    const V q = Load(Src + 4 * size_t(i));
    StoreLow32s(Dst + 4 * size_t(i), Or(q, Shr24x64(q)));
  }
  for (; i < Count; ++i) {
    const uint16_t* p = Src + 4 * size_t(i);
    uint8_t* d = Dst + 4 * size_t(i);
    d[0] = uint8_t(p[0]), d[1] = uint8_t(p[2]), d[2] = uint8_t(p[1]), d[3] = uint8_t(p[3]);
  }
}

// The chains of all band rows over a whole chunk each: the sums are turned so that one vector
// holds the same position of several rows, and each step of the chain then serves them all.
void ChainFullBand(uint16_t (&Sums)[kBandRows][4 * kChunk], int32_t Chunk, __m128i (&State)[kBandRows],
                   const __m128i (&Mul)[kBandRows]) {
  constexpr int kGroups = kBandRows / kPiecesPerV;
  alignas(64) uint16_t turned[kChunk][4 * kBandRows];
  alignas(64) uint16_t lanes[2][4 * kBandRows];
  for (int j = 0; j < kBandRows; ++j) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(lanes[0] + 4 * j), State[j]);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(lanes[1] + 4 * j), Mul[j]);
  }
  for (int g = 0; g < kGroups; ++g)
    for (int i = 0; i < Chunk; i += kPiecesPerV) {
      V r[kPiecesPerV];
      for (int k = 0; k < kPiecesPerV; ++k) r[k] = Load(Sums[g * kPiecesPerV + k] + 4 * i);
      Transpose(r);
      for (int k = 0; k < kPiecesPerV; ++k) Store(turned[i + k] + 4 * g * kPiecesPerV, r[k]);
    }
  V n[kGroups], m[kGroups];
  for (int g = 0; g < kGroups; ++g) {
    n[g] = Load(lanes[0] + 4 * g * kPiecesPerV);
    m[g] = Load(lanes[1] + 4 * g * kPiecesPerV);
  }
  for (int i = 0; i < Chunk; ++i)
    for (int g = 0; g < kGroups; ++g) {
      uint16_t* p = turned[i] + 4 * g * kPiecesPerV;
      n[g] = MulHi16(Add16(Load(p), n[g]), m[g]);
      Store(p, n[g]);
    }
  for (int g = 0; g < kGroups; ++g)
    for (int i = 0; i < Chunk; i += kPiecesPerV) {
      V r[kPiecesPerV];
      for (int k = 0; k < kPiecesPerV; ++k) r[k] = Load(turned[i + k] + 4 * g * kPiecesPerV);
      Transpose(r);
      for (int k = 0; k < kPiecesPerV; ++k) Store(Sums[g * kPiecesPerV + k] + 4 * i, r[k]);
    }
  for (int j = 0; j < kBandRows; ++j)
    State[j] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(Sums[j] + 4 * (Chunk - 1)));
}

void BlurRadius1(uint8_t* const* Rows, int32_t Width, int32_t Height) {
  const TBlurRows b{Rows, Width, Height};
  // A band has whole chunks on all its rows at once only when the row is several band heights
  // of chunks long: narrow images take shorter chunks.
  const int32_t chunk = Width >= 12 * kChunk ? kChunk : kChunk / 2;
  // One row of C per band row, overwritten in place by the row's new values.
  alignas(16) uint16_t sums[kBandRows][4 * kChunk] = {};
  for (int32_t y0 = 0; y0 < Height; y0 += kBandRows) {
    const int32_t rows = Height - y0 < kBandRows ? Height - y0 : kBandRows;
    __m128i state[kBandRows], mul[kBandRows];
    for (int j = 0; j < kBandRows; ++j) {
      const int32_t y = y0 + j;
      const int tall = 1 + (y > 0) + (y + 1 < Height);
      mul[j] = _mm_set1_epi16(short(Reciprocal(3 * tall)));
      state[j] = _mm_setzero_si128();
    }
    for (int32_t step = 0;; ++step) {
      int32_t begin[kBandRows], end[kBandRows];
      bool any = false;
      int32_t common = chunk;
      // Phase 1: each row's C for its chunk, read before any row of the band writes this step.
      for (int j = 0; j < kBandRows; ++j) {
        begin[j] = end[j] = 1;
        if (j >= rows) continue;
        const int32_t start = (step - j) * chunk - j;
        const int32_t stop = start + chunk;
        if (start >= Width || stop <= 0) continue;
        any = true;
        const int32_t y = y0 + j;
        if (start <= 0) {
          EdgePixel(b, y, 0);
          const uint8_t* p = Rows[y];
          state[j] = _mm_setr_epi16(short(p[0]), short(p[2]), short(p[1]), short(p[3]), 0, 0, 0, 0);
        }
        begin[j] = start > 1 ? start : 1;
        end[j] = stop < Width - 1 ? stop : Width - 1;
        if (end[j] < begin[j]) end[j] = begin[j];
        WindowRestFor(b, y, begin[j], end[j], sums[j]);
        if (end[j] - begin[j] < common) common = end[j] - begin[j];
      }
      if (!any) break;
      // Phase 2: the chains. When every row has a whole chunk, all at once, turned; otherwise
      // all rows together for the common length, then each row's rest. Rows without a chunk
      // this step chain over stale values that nobody reads.
      bool full = rows == kBandRows;
      for (int j = 0; j < kBandRows && full; ++j) full = end[j] - begin[j] == chunk;
      if (full) {
        ChainFullBand(sums, chunk, state, mul);
        for (int j = 0; j < kBandRows; ++j) Narrow(sums[j], chunk, Rows[y0 + j] + 4 * size_t(begin[j]));
      }
      __m128i n[kBandRows];
      for (int j = 0; j < kBandRows; ++j) n[j] = state[j];
      if (full) common = 0;
      for (int32_t i = 0; i < common; ++i) {
#pragma GCC unroll 8
        for (int j = 0; j < kBandRows; ++j) {
          __m128i* p = reinterpret_cast<__m128i*>(sums[j] + 4 * size_t(i));
          n[j] = _mm_mulhi_epu16(_mm_add_epi16(_mm_loadl_epi64(p), n[j]), mul[j]);
          _mm_storel_epi64(p, n[j]);
        }
      }
      for (int j = 0; j < rows && !full; ++j) {
        const int32_t len = end[j] - begin[j];
        if (len <= 0) continue;
        __m128i v = n[j];
        for (int32_t i = common; i < len; ++i) {
          __m128i* p = reinterpret_cast<__m128i*>(sums[j] + 4 * size_t(i));
          v = _mm_mulhi_epu16(_mm_add_epi16(_mm_loadl_epi64(p), v), mul[j]);
          _mm_storel_epi64(p, v);
        }
        state[j] = v;
        Narrow(sums[j], len, Rows[y0 + j] + 4 * size_t(begin[j]));
      }
      // Phase 3: the last column, once the chain has reached it.
      for (int j = 0; j < rows; ++j) {
        const int32_t start = (step - j) * chunk - j;
        if (start < Width && start + chunk > Width - 1 && start + chunk > 0) EdgePixel(b, y0 + j, Width - 1);
      }
    }
  }
}

}  // namespace
}  // namespace HALVIK_KERNEL_NS
}  // namespace halvik
