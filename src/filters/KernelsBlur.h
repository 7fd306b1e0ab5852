// The raster-order box blur of radius 1. Included, through KernelsImpl.h, once per kernel set.
//
// Pixel (y, x) needs the new pixels (y-1, x-1 .. x+1) and (y, x-1) and the old ones of the rest
// of its window, so along a row it is a chain n(x) = (C(x) + n(x-1)) / count. A band's rows run
// as the lanes of two vectors, each row two columns behind the row above it: at step t, row r
// works on column t - 2r, when the row above has just made column x+1 and the row below has not
// yet reached x-1. The rows are held "turned" (one vector per step, one lane per row), so that
// the neighbours of a window are the neighbouring steps and lanes.
//
// The even rows of a band fill the first vector and the odd rows the second, so each row's
// neighbours above and below are in the other vector, in the same lane or the next. The row
// above the band (finished) and the row below it (old) enter as sums. Pixels outside the bitmap
// are 0 and their lanes are multiplied by 0, which gives the edge windows their smaller sums
// with no case of their own.
#pragma once

#include "filters/KernelTable.h"
#include "filters/KernelsVector.h"

namespace halvik {
namespace HALVIK_KERNEL_NS {
namespace {

constexpr int kLanes = kVPixels;
// Vectors per band: the even rows and the odd rows, four chains with their two halves of bytes.
constexpr int kVecs = 2;
constexpr int kBandLanes = kVecs * kLanes;
// Turned steps kept: the block being chained and the one after it, which its windows reach.
constexpr int32_t kRing = 2 * kLanes;
constexpr size_t kPrefetchBytes = 512;

// Sums of at most 9 * 255 divided by 4, 6 or 9 as (sum * M) >> 16.
constexpr uint16_t Reciprocal(int Count) { return uint16_t((65536 + Count - 1) / Count); }
constexpr bool ReciprocalIsExact(int Count) {
  for (uint32_t s = 0; s <= uint32_t(Count) * 255; ++s)
    if (((s * Reciprocal(Count)) >> 16) != s / uint32_t(Count)) return false;
  return true;
}
static_assert(ReciprocalIsExact(4) && ReciprocalIsExact(6) && ReciprocalIsExact(9),
              "multiply-shift division must equal truncating division for every window sum");

constexpr uint16_t kReciprocals[10] = {0, 0, 0, 0, Reciprocal(4), 0, Reciprocal(6), 0, 0, Reciprocal(9)};

struct TBlurRows {
  uint8_t* const* Rows;
  int32_t Width, Height;
};

// Lane j of the first vector holds the band's row 2j, lane j of the second row 2j + 1, so that
// a row's neighbours above and below sit in the other vector, at most one lane away.
inline int BandRowOf(int Lane) { return 2 * (Lane % kLanes) + Lane / kLanes; }
// The bitmap row of a lane in the band whose first row is Y0.
inline int64_t LaneRow(int32_t Y0, int Lane) { return int64_t(Y0) + BandRowOf(Lane); }

// The rows of one band's lanes, nullptr outside the bitmap.
struct TBandRows {
  TBandRows(const TBlurRows& B, int32_t Y0) {
    All = true;
    for (int lane = 0; lane < kBandLanes; ++lane) {
      const int64_t row = LaneRow(Y0, lane);
      Row[lane] = row >= 0 && row < B.Height ? B.Rows[row] : nullptr;
      All = All && Row[lane] != nullptr;
    }
  }
  // Whether the pixels of steps T0 .. T0 + kLanes - 1 lie inside the bitmap on every lane, as in
  // all but the first and last blocks of most bands.
  bool Inside(const TBlurRows& B, int32_t T0) const {
    return All && T0 >= 2 * (kBandLanes - 1) && int64_t(T0) + kLanes <= B.Width;
  }
  uint8_t* Row[kBandLanes];
  bool All;
};

// Ring[t % kRing][v] for T0 <= t < T0 + kLanes: lane j of vector v is the pixel of the lane's
// row at column t - 2 * (its band row), or 0 outside the bitmap.
void TurnBlock(const TBlurRows& B, const TBandRows& R, int32_t T0, V (*Ring)[kVecs]) {
  // Quarter rows (four pixels) go straight into their places, which leaves only the transposes
  // within each quarter to the shuffle unit.
  if (R.Inside(B, T0)) {
    for (int v = 0; v < kVecs; ++v) {
      const uint8_t* p[kLanes];
      for (int j = 0; j < kLanes; ++j) {
        const int lane = v * kLanes + j;
        p[j] = R.Row[lane] + 4 * (int64_t(T0) - 2 * BandRowOf(lane));
        // The band reads its rows side by side, more streams than the processor follows: each
        // row is asked for a few blocks ahead (a hint past the row's end is harmless).
        _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(p[j]) + kPrefetchBytes), _MM_HINT_T0);
      }
      for (int b = 0; b < kQuarters; ++b) {
        V g[4];
        for (int e = 0; e < 4; ++e) {
          const uint8_t* quarters[kQuarters];
          for (int q = 0; q < kQuarters; ++q) quarters[q] = p[4 * q + e] + 16 * b;
          g[e] = LoadQuarters(quarters);
        }
        const V t0 = UnpackLo32(g[0], g[1]), t1 = UnpackHi32(g[0], g[1]);
        const V t2 = UnpackLo32(g[2], g[3]), t3 = UnpackHi32(g[2], g[3]);
        V* ring = Ring[(T0 + 4 * b) & (kRing - 1)] + v;
        ring[0] = UnpackLo64(t0, t2), ring[kVecs] = UnpackHi64(t0, t2);
        ring[2 * kVecs] = UnpackLo64(t1, t3), ring[3 * kVecs] = UnpackHi64(t1, t3);
      }
    }
    return;
  }
  alignas(64) uint32_t part[kLanes];
  for (int v = 0; v < kVecs; ++v) {
    V r[kLanes];
    for (int j = 0; j < kLanes; ++j) {
      const int lane = v * kLanes + j;
      const int64_t col = int64_t(T0) - 2 * BandRowOf(lane);
      const uint8_t* row = R.Row[lane];
      if (row != nullptr && col >= 0 && col + kLanes <= B.Width) {
        r[j] = Load(row + 4 * col);
      } else if (row == nullptr || col + kLanes <= 0 || col >= B.Width) {
        r[j] = Zero();
      } else {
        for (int k = 0; k < kLanes; ++k) part[k] = col + k >= 0 && col + k < B.Width ? Word(row + 4 * (col + k)) : 0;
        r[j] = Load(part);
      }
    }
    Transpose32(r);
    for (int k = 0; k < kLanes; ++k) Ring[(T0 + k) & (kRing - 1)][v] = r[k];
  }
}

// Writes the new pixels of steps T0 .. T0 + kLanes - 1, Out[step - T0][v], to the band's rows,
// where they fall inside the bitmap.
void UnturnBlock(const TBlurRows& B, const TBandRows& R, int32_t T0, V (*Out)[kVecs]) {
  // Transposes within quarters, then each quarter row stored in its place.
  if (R.Inside(B, T0)) {
    for (int v = 0; v < kVecs; ++v)
      for (int b = 0; b < kQuarters; ++b) {
        const V t0 = UnpackLo32(Out[4 * b][v], Out[4 * b + 1][v]), t1 = UnpackHi32(Out[4 * b][v], Out[4 * b + 1][v]);
        const V t2 = UnpackLo32(Out[4 * b + 2][v], Out[4 * b + 3][v]), t3 = UnpackHi32(Out[4 * b + 2][v], Out[4 * b + 3][v]);
        const V u[4] = {UnpackLo64(t0, t2), UnpackHi64(t0, t2), UnpackLo64(t1, t3), UnpackHi64(t1, t3)};
        for (int q = 0; q < kQuarters; ++q)
          for (int e = 0; e < 4; ++e) {
            const int lane = v * kLanes + 4 * q + e;
            _mm_storeu_si128(reinterpret_cast<__m128i*>(R.Row[lane] + 4 * (int64_t(T0) - 2 * BandRowOf(lane) + 4 * b)),
                             Quarter(u[e], q));
          }
      }
    return;
  }
  alignas(64) uint32_t part[kLanes];
  for (int v = 0; v < kVecs; ++v) {
    V r[kLanes];
    for (int k = 0; k < kLanes; ++k) r[k] = Out[k][v];
    Transpose32(r);
    for (int j = 0; j < kLanes; ++j) {
      const int lane = v * kLanes + j;
      const int64_t col = int64_t(T0) - 2 * BandRowOf(lane);
      uint8_t* row = R.Row[lane];
      if (row != nullptr && col >= 0 && col + kLanes <= B.Width) {
        Store(row + 4 * col, r[j]);
      } else if (row != nullptr && col + kLanes > 0 && col < B.Width) {
        Store(part, r[j]);
        for (int k = 0; k < kLanes; ++k)
          if (col + k >= 0 && col + k < B.Width) __builtin_memcpy(row + 4 * (col + k), part + k, 4);
      }
    }
  }
}

// Vectors of one call, allocated once for all its bands.
struct TVectors {
  explicit TVectors(size_t Count) : Data(new V[Count]) {}
  ~TVectors() { delete[] Data; }
  TVectors(const TVectors&) = delete;
  TVectors& operator=(const TVectors&) = delete;
  V* Data;
};

// One chain vector's new pixels at steps t-1 and t-2, and the sum of those at t-2 and t-3; one
// each for the even and the odd bytes.
struct TChain {
  V N1 = Zero(), N2 = Zero(), Pair = Zero();
};

// Per lane of the band starting at Y0, the multipliers of an inner and of an edge column (the
// reciprocal of the window's count in both 16-bit halves), 0 for a row outside the bitmap.
struct TLaneFactors {
  TLaneFactors(const TBlurRows& B, int32_t Y0) {
    for (int lane = 0; lane < kBandLanes; ++lane) {
      const int64_t row = LaneRow(Y0, lane);
      const int tall = 1 + (row > 0) + (row + 1 < B.Height);
      Inner[lane] = row < B.Height ? kReciprocals[3 * tall] * 0x00010001u : 0;
      Edge[lane] = row < B.Height ? kReciprocals[2 * tall] * 0x00010001u : 0;
    }
  }
  uint32_t Inner[kBandLanes], Edge[kBandLanes];
};

// The multipliers of step T: per lane, the reciprocal of its window's count, or 0 for a column
// outside the bitmap.
void StepMultipliers(const TBlurRows& B, const TLaneFactors& F, int32_t T, V (&M)[kVecs]) {
  alignas(64) uint32_t m[kBandLanes];
  for (int lane = 0; lane < kBandLanes; ++lane) {
    const int64_t col = int64_t(T) - 2 * BandRowOf(lane);
    m[lane] = col < 0 || col >= B.Width ? 0 : col == 0 || col == B.Width - 1 ? F.Edge[lane] : F.Inner[lane];
  }
  for (int v = 0; v < kVecs; ++v) M[v] = Load(m + v * kLanes);
}

// What the bands of one call share: their steps, of which InnerFrom .. InnerTo have an inner
// column on every lane, and the multipliers of the other steps for the bands whose rows all
// lie inside the bitmap with a row above and below.
struct TBandSteps {
  explicit TBandSteps(const TBlurRows& B)
      : InnerFrom(2 * (kBandLanes - 1) + 1),
        InnerTo(B.Width - 2 > InnerFrom - 1 ? B.Width - 2 : InnerFrom - 1),
        Steps((B.Width + 2 * (kBandLanes - 1) + kLanes - 1) / kLanes * kLanes),
        Edges(size_t(kVecs) * size_t(Steps - (InnerTo - InnerFrom + 1))) {
    const int32_t inside = 1;  // a band whose lanes all have rows above and below
    Full = int64_t(inside) + kBandLanes < B.Height;
    const TLaneFactors factors(B, inside);
    for (int32_t t = 0; Full && t < Steps; ++t)
      if (t < InnerFrom || t > InnerTo) {
        StepMultipliers(B, factors, t, *reinterpret_cast<V(*)[kVecs]>(Edges.Data + kVecs * Index(t)));
      }
  }
  int32_t Index(int32_t T) const { return T < InnerFrom ? T : InnerFrom + (T - InnerTo - 1); }
  // Whether the band starting at Y0 can use Edges.
  bool Inside(const TBlurRows& B, int32_t Y0) const { return Full && Y0 >= 1 && int64_t(Y0) + kBandLanes < B.Height; }

  int32_t InnerFrom, InnerTo, Steps;
  TVectors Edges;
  bool Full = false;
};

// The three-pixel sums of Row around columns C0 .. C0 + kLanes - 1, even and odd bytes, into E
// and O; pixels outside the row, and every pixel when there is no row, count 0.
inline void RowSums3(const uint8_t* Row, int32_t Width, int64_t C0, uint32_t (&E)[kLanes], uint32_t (&O)[kLanes]) {
  const V low = Words(0x00FF);
  V a, b, c;
  if (Row != nullptr && C0 >= 1 && C0 + kLanes + 1 <= Width) {
    const uint8_t* p = Row + 4 * (C0 - 1);
    _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(p) + kPrefetchBytes), _MM_HINT_T0);
    a = Load(p), b = Load(p + 4), c = Load(p + 8);
  } else {
    alignas(64) uint32_t px[kLanes + 2];
    for (int k = 0; k < kLanes + 2; ++k) {
      const int64_t col = C0 - 1 + k;
      px[k] = Row != nullptr && col >= 0 && col < Width ? Word(Row + 4 * col) : 0;
    }
    a = Load(px), b = Load(px + 1), c = Load(px + 2);
  }
  Store(E, Add16(Add16(And(a, low), And(b, low)), And(c, low)));
  Store(O, Add16(Add16(Shr8(a), Shr8(b)), Shr8(c)));
}

// One step of the band's chains: from the sums of the window's other terms (Rest), the row
// above the band (Above: its three pixels over the first row's window, in every lane) and the
// new pixels of the steps before, the new pixels of this step into Out.
[[gnu::always_inline]] inline void ChainStep(TChain (&Chain)[kVecs][2], const V (&Rest)[kVecs][2], const V (&M)[kVecs],
                                             const V (&Above)[2], V (&Out)[kVecs]) {
  V up[kVecs][2];
  for (int v = 0; v < kVecs; ++v)
    for (int p = 0; p < 2; ++p) up[v][p] = Add16(Chain[v][p].Pair, Chain[v][p].N1);
  V n[kVecs][2];
  for (int p = 0; p < 2; ++p) {
    // Row 2j has row 2j-1 above it, lane j-1 of the second vector; row 2j+1 has row 2j, the same
    // lane of the first.
    n[0][p] = MulHi16(Add16(ShiftUp(up[1][p], Above[p]), Add16(Rest[0][p], Chain[0][p].N1)), M[0]);
    n[1][p] = MulHi16(Add16(up[0][p], Add16(Rest[1][p], Chain[1][p].N1)), M[1]);
  }
  for (int v = 0; v < kVecs; ++v)
    for (int p = 0; p < 2; ++p) {
      TChain& c = Chain[v][p];
      c.Pair = Add16(c.N2, c.N1), c.N2 = c.N1, c.N1 = n[v][p];
    }
  for (int v = 0; v < kVecs; ++v) Out[v] = Or(n[v][0], Shl8(n[v][1]));
}

void BlurBand(const TBlurRows& B, const TBandSteps& S, int32_t Y0, V (*Ring)[kVecs], V (*Out)[kVecs]) {
  static_assert(kVecs == 2, "the band's rows alternate between two vectors");
  const V low = Words(0x00FF);
  const int32_t innerFrom = S.InnerFrom, innerTo = S.InnerTo;
  const V* edges = S.Inside(B, Y0) ? S.Edges.Data : nullptr;
  const TBandRows rows(B, Y0);
  // The finished row above the band and the old row below it, or none.
  const uint8_t* above = Y0 > 0 ? B.Rows[Y0 - 1] : nullptr;
  const uint8_t* below = int64_t(Y0) + kBandLanes < B.Height ? B.Rows[Y0 + kBandLanes] : nullptr;
  const TLaneFactors factors(B, Y0);
  V inner[kVecs];
  StepMultipliers(B, factors, innerFrom, inner);

  TurnBlock(B, rows, 0, Ring);
  TurnBlock(B, rows, kLanes, Ring);
  // Per vector, even and odd bytes: the row's own two pixels at t and at t+1, and the pixel at
  // t+2, from the turned rows.
  V own0[kVecs][2], own1[kVecs][2], k2[kVecs][2];
  for (int v = 0; v < kVecs; ++v) {
    const V k0 = Ring[0][v], k1 = Ring[1][v], k = Ring[2][v];
    own0[v][0] = Add16(And(k0, low), And(k1, low)), own0[v][1] = Add16(Shr8(k0), Shr8(k1));
    own1[v][0] = Add16(And(k1, low), And(k, low)), own1[v][1] = Add16(Shr8(k1), Shr8(k));
    k2[v][0] = And(k, low), k2[v][1] = Shr8(k);
  }
  TChain chain[kVecs][2];
  // The sum of every term of a step's windows but those of the row above: own and below.
  V rest[kLanes][kVecs][2];
  alignas(64) uint32_t aboveSums[2][kLanes], belowSums[2][kLanes];
  for (int32_t t0 = 0; t0 < S.Steps; t0 += kLanes) {
    // The row above meets the band's first row at column t, the row below its last at t - 2 * (rows - 1).
    RowSums3(above, B.Width, t0, aboveSums[0], aboveSums[1]);
    RowSums3(below, B.Width, int64_t(t0) - 2 * (kBandLanes - 1), belowSums[0], belowSums[1]);
    for (int k = 0; k < kLanes; ++k) {
      const int32_t t = t0 + k;
      V down[kVecs][2], next[kVecs][2];
      for (int v = 0; v < kVecs; ++v) {
        const V k3 = Ring[(t + 3) & (kRing - 1)][v];
        next[v][0] = And(k3, low), next[v][1] = Shr8(k3);
        for (int p = 0; p < 2; ++p) down[v][p] = Add16(own1[v][p], next[v][p]);
      }
      for (int p = 0; p < 2; ++p) {
        // Row 2j has row 2j+1 below it, the same lane of the second vector; row 2j+1 has row
        // 2j+2, lane j+1 of the first (the last lane: the row below the band).
        rest[k][0][p] = Add16(own0[0][p], down[1][p]);
        rest[k][1][p] = Add16(own0[1][p], ShiftDown(down[0][p], Dwords(belowSums[p][k])));
      }
      for (int v = 0; v < kVecs; ++v)
        for (int p = 0; p < 2; ++p)
          own0[v][p] = own1[v][p], own1[v][p] = Add16(k2[v][p], next[v][p]), k2[v][p] = next[v][p];
    }
    if (t0 >= innerFrom && t0 + kLanes - 1 <= innerTo) {
      for (int k = 0; k < kLanes; ++k) {
        const V up[2] = {Dwords(aboveSums[0][k]), Dwords(aboveSums[1][k])};
        ChainStep(chain, rest[k], inner, up, Out[k]);
      }
    } else {
      for (int k = 0; k < kLanes; ++k) {
        const int32_t t = t0 + k;
        V m[kVecs];
        if (t >= innerFrom && t <= innerTo)
          for (int v = 0; v < kVecs; ++v) m[v] = inner[v];
        else if (edges != nullptr)
          for (int v = 0; v < kVecs; ++v) m[v] = edges[kVecs * S.Index(t) + v];
        else
          StepMultipliers(B, factors, t, m);
        const V up[2] = {Dwords(aboveSums[0][k]), Dwords(aboveSums[1][k])};
        ChainStep(chain, rest[k], m, up, Out[k]);
      }
    }
    UnturnBlock(B, rows, t0, Out);
    // This block's ring slots take the block after next; the next block reads at most 3 ahead.
    TurnBlock(B, rows, t0 + 2 * kLanes, Ring);
  }
}

void BlurRadius1(uint8_t* const* Rows, int32_t Width, int32_t Height) {
  const TBlurRows b{Rows, Width, Height};
  V ring[kRing][kVecs];
  V out[kLanes][kVecs];
  const TBandSteps steps(b);
  for (int32_t y0 = 0; y0 < Height; y0 += kBandLanes) BlurBand(b, steps, y0, ring, out);
}

}  // namespace
}  // namespace HALVIK_KERNEL_NS
}  // namespace halvik
