// The raster-order box blur of radius 1. Included, through KernelsImpl.h, once per kernel set.
//
// Pixel (y, x) needs the new pixels (y-1, x-1 .. x+1) and (y, x-1) and the old ones of the rest
// of its window, so along a row it is a chain n(x) = (C(x) + n(x-1)) / count. Rows run as the
// lanes of two vectors, each row two columns behind the row above it: at step t, lane j works
// on column t - 2j, when the row above has just made column x+1 and the row below has not yet
// reached x-1. The rows are held "turned" (one vector per step, one lane per row), so that the
// neighbours of a window are the neighbouring steps and lanes.
//
// Lane 0 carries the finished row above the band unchanged and the last lane the old row below
// it, so a band makes 2 * kLanes - 2 rows. Pixels outside the bitmap are 0 and their lanes are
// multiplied by 0, which gives the edge windows their smaller sums with no case of their own.
#pragma once

#include "filters/KernelTable.h"
#include "filters/KernelsVector.h"

namespace halvik {
namespace HALVIK_KERNEL_NS {
namespace {

constexpr int kLanes = kVPixels;
constexpr int kBandLanes = 2 * kLanes;
constexpr int32_t kBandRows = kBandLanes - 2;
// Turned steps kept: the block being chained and the one after it, which its windows reach.
constexpr int32_t kRing = 2 * kLanes;

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

// The row of a lane in the band whose first new row is Y0.
inline int64_t LaneRow(int32_t Y0, int Lane) { return int64_t(Y0) - 1 + Lane; }

// Ring[t % kRing][v] for T0 <= t < T0 + kLanes: lane j of vector v is pixel (row of lane
// v * kLanes + j, t - 2 * that lane) of the bitmap, or 0 outside it.
void TurnBlock(const TBlurRows& B, int32_t Y0, int32_t T0, V (*Ring)[2]) {
  alignas(64) uint32_t part[kLanes];
  for (int v = 0; v < 2; ++v) {
    V r[kLanes];
    for (int j = 0; j < kLanes; ++j) {
      const int lane = v * kLanes + j;
      const int64_t row = LaneRow(Y0, lane), col = int64_t(T0) - 2 * lane;
      if (row < 0 || row >= B.Height || col + kLanes <= 0 || col >= B.Width) {
        r[j] = Zero();
      } else if (col >= 0 && col + kLanes <= B.Width) {
        r[j] = Load(B.Rows[row] + 4 * col);
      } else {
        for (int k = 0; k < kLanes; ++k)
          part[k] = col + k >= 0 && col + k < B.Width ? Word(B.Rows[row] + 4 * (col + k)) : 0;
        r[j] = Load(part);
      }
    }
    Transpose32(r);
    for (int k = 0; k < kLanes; ++k) Ring[(T0 + k) & (kRing - 1)][v] = r[k];
  }
}

// Writes the new pixels of steps T0 .. T0 + kLanes - 1, Out[step - T0][v], to the band's own
// rows, where they fall inside the bitmap.
void UnturnBlock(const TBlurRows& B, int32_t Y0, int32_t T0, V (*Out)[2]) {
  alignas(64) uint32_t part[kLanes];
  for (int v = 0; v < 2; ++v) {
    V r[kLanes];
    for (int k = 0; k < kLanes; ++k) r[k] = Out[k][v];
    Transpose32(r);
    for (int j = 0; j < kLanes; ++j) {
      const int lane = v * kLanes + j;
      const int64_t row = LaneRow(Y0, lane), col = int64_t(T0) - 2 * lane;
      if (lane == 0 || lane == kBandLanes - 1 || row >= B.Height || col + kLanes <= 0 || col >= B.Width) continue;
      if (col >= 0 && col + kLanes <= B.Width) {
        Store(B.Rows[row] + 4 * col, r[j]);
        continue;
      }
      Store(part, r[j]);
      for (int k = 0; k < kLanes; ++k)
        if (col + k >= 0 && col + k < B.Width) __builtin_memcpy(B.Rows[row] + 4 * (col + k), part + k, 4);
    }
  }
}

// One chain vector's new pixels at steps t-1 and t-2, and the sum of those at t-2 and t-3; one
// each for the even and the odd bytes.
struct TChain {
  V N1 = Zero(), N2 = Zero(), Pair = Zero();
};

// The multipliers of step T: per lane, the reciprocal of its window's count, or 0 for a lane
// that keeps no result (the two outer lanes, rows and columns outside the bitmap).
void StepMultipliers(const TBlurRows& B, int32_t Y0, int32_t T, V (&M)[2]) {
  alignas(64) uint32_t m[kBandLanes];
  for (int lane = 0; lane < kBandLanes; ++lane) {
    const int64_t row = LaneRow(Y0, lane), col = int64_t(T) - 2 * lane;
    m[lane] = 0;
    if (lane == 0 || lane == kBandLanes - 1 || row >= B.Height || col < 0 || col >= B.Width) continue;
    const int tall = 1 + (row > 0) + (row + 1 < B.Height);
    const int wide = 1 + (col > 0) + (col + 1 < B.Width);
    m[lane] = Reciprocal(tall * wide) * 0x00010001u;
  }
  M[0] = Load(m), M[1] = Load(m + kLanes);
}

void BlurBand(const TBlurRows& B, int32_t Y0, V (*Ring)[2], V (*Out)[2]) {
  const V low = Words(0x00FF);
  alignas(64) uint32_t keepFirst[kLanes] = {0xFFFFFFFFu};
  const V first = Load(keepFirst);
  // Steps where every kept lane is an inner column share one set of multipliers.
  const int32_t innerFrom = 2 * (kBandLanes - 2) + 1, innerTo = B.Width;
  V inner[2];
  StepMultipliers(B, Y0, innerFrom, inner);
  const int32_t steps = B.Width + 2 * (kBandLanes - 2);

  TurnBlock(B, Y0, 0, Ring);
  TurnBlock(B, Y0, kLanes, Ring);
  TChain even[2], odd[2];
  // The turned rows at t, t+1 and t+2, split into even and odd bytes.
  V k0E[2], k0O[2], k1E[2], k1O[2], k2E[2], k2O[2];
  for (int v = 0; v < 2; ++v) {
    k0E[v] = And(Ring[0][v], low), k0O[v] = Shr8(Ring[0][v]);
    k1E[v] = And(Ring[1][v], low), k1O[v] = Shr8(Ring[1][v]);
    k2E[v] = And(Ring[2][v], low), k2O[v] = Shr8(Ring[2][v]);
  }
  for (int32_t t0 = 0; t0 < steps; t0 += kLanes) {
    for (int k = 0; k < kLanes; ++k) {
      const int32_t t = t0 + k;
      V m[2] = {inner[0], inner[1]};
      if (t < innerFrom || t > innerTo) StepMultipliers(B, Y0, t, m);
      V k3E[2], k3O[2], downE[2], downO[2], upE[2], upO[2];
      for (int v = 0; v < 2; ++v) {
        const V k3 = Ring[(t + 3) & (kRing - 1)][v];
        k3E[v] = And(k3, low), k3O[v] = Shr8(k3);
        // The row below's three pixels, and the row above's three new ones.
        downE[v] = Add16(Add16(k1E[v], k2E[v]), k3E[v]), downO[v] = Add16(Add16(k1O[v], k2O[v]), k3O[v]);
        upE[v] = Add16(even[v].Pair, even[v].N1), upO[v] = Add16(odd[v].Pair, odd[v].N1);
      }
      for (int v = 0; v < 2; ++v) {
        const V zero = Zero();
        const V dE = ShiftDown(downE[v], v == 0 ? downE[1] : zero), dO = ShiftDown(downO[v], v == 0 ? downO[1] : zero);
        const V uE = ShiftUp(upE[v], v == 1 ? upE[0] : zero), uO = ShiftUp(upO[v], v == 1 ? upO[0] : zero);
        const V restE = Add16(Add16(k0E[v], k1E[v]), Add16(dE, even[v].N1));
        const V restO = Add16(Add16(k0O[v], k1O[v]), Add16(dO, odd[v].N1));
        V nE = MulHi16(Add16(uE, restE), m[v]), nO = MulHi16(Add16(uO, restO), m[v]);
        // Lane 0 passes the finished row above through unchanged.
        if (v == 0) nE = Or(nE, And(k0E[0], first)), nO = Or(nO, And(k0O[0], first));
        even[v].Pair = Add16(even[v].N2, even[v].N1), odd[v].Pair = Add16(odd[v].N2, odd[v].N1);
        even[v].N2 = even[v].N1, odd[v].N2 = odd[v].N1;
        even[v].N1 = nE, odd[v].N1 = nO;
        Out[k][v] = Or(nE, Shl8(nO));
        k0E[v] = k1E[v], k0O[v] = k1O[v], k1E[v] = k2E[v], k1O[v] = k2O[v], k2E[v] = k3E[v], k2O[v] = k3O[v];
      }
    }
    UnturnBlock(B, Y0, t0, Out);
    // This block's ring slots take the block after next; the next block reads at most 3 ahead.
    TurnBlock(B, Y0, t0 + 2 * kLanes, Ring);
  }
}

void BlurRadius1(uint8_t* const* Rows, int32_t Width, int32_t Height) {
  const TBlurRows b{Rows, Width, Height};
  V ring[kRing][2];
  V out[kLanes][2];
  for (int32_t y0 = 0; y0 < Height; y0 += kBandRows) BlurBand(b, y0, ring, out);
}

}  // namespace
}  // namespace HALVIK_KERNEL_NS
}  // namespace halvik
