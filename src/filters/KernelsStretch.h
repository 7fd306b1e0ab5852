// The stretch's row kernels: the horizontal mix of one source row through the column table, and
// the vertical blend of two mixed rows. Included, through KernelsImpl.h, once per kernel set.
#pragma once

#include "filters/KernelTable.h"
#include "filters/KernelsVector.h"

namespace halvik {
namespace HALVIK_KERNEL_NS {
namespace {

#if defined(__AVX2__)
// Per byte (f * WF + s * (255 - WF)) >> 8 for bytes F and S, the pairs WF, 255 - WF in Lo for
// the unpacked low halves and in Hi for the high ones. As a signed byte 255 - WF is -(WF + 1),
// so the product sum lacks 256 * s, which the lane's high byte adds back; the products stay
// within 16 signed bits and the sum wraps to the exact value, below 65026.
inline V PairMix(V F, V S, V Lo, V Hi) {
  const V high = Words(short(0xFF00));
  const V lo = UnpackLo8(F, S), hi = UnpackHi8(F, S);
  const V mixedLo = Shr8(Add16(And(lo, high), MulAddBytes(lo, Lo)));
  const V mixedHi = Shr8(Add16(And(hi, high), MulAddBytes(hi, Hi)));
  return PackU16(mixedLo, mixedHi);
}
#endif

// The column table's arrays, copied out so that stores to the output need not be taken to
// change them, and the horizontal mix of one block.
class TColumnBlocks {
 public:
  explicit TColumnBlocks(const TStretchColumnTable& T)
      : first_(T.First), second_(T.Second), bases_(T.BlockBase), weights_(T.Weight), pairs_(T.PairWeights) {}
  // The mix of block B of Row; the same pixels of Ahead, a row to be mixed later, are asked for meanwhile.
  V MixBlock(const uint8_t* Row, const uint8_t* Ahead, int32_t B) const {
    const size_t i = size_t(B) * kVPixels;
    const int32_t base = bases_[B];
    V p, q;
    if (base >= 0) {
      const uintptr_t at = reinterpret_cast<uintptr_t>(Ahead + 4 * size_t(base));
      _mm_prefetch(reinterpret_cast<const char*>(at), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(at + 64), _MM_HINT_T0);
      p = PermutePixels(Row, base, first_ + i);
      q = PermutePixels(Row, base, second_ + i);
    } else {
      p = GatherPixels(Row, first_ + i);
      q = GatherPixels(Row, second_ + i);
    }
#if defined(__AVX2__)
    const uint8_t* w = pairs_ + 2 * kVBytes * size_t(B);
    return PairMix(p, q, Load(w), Load(w + kVBytes));
#else
    const V w = Load(weights_ + i);
    return Mix(p, q, w, Xor(w, Words(0x00FF)));
#endif
  }

 private:
  const int32_t* first_;
  const int32_t* second_;
  const int32_t* bases_;
  const uint32_t* weights_;
  const uint8_t* pairs_;
};

// The vertical blend of two mixed vectors with the weight WY of the second.
class TRowBlend {
 public:
  explicit TRowBlend(uint32_t WY)
#if defined(__AVX2__)
      // The vector whose weight is at most 127 goes first, as PairMix wants it.
      : swap_(WY < 128), pair_(Dwords((Light(WY) | (255 - Light(WY)) << 8) * 0x00010001u)) {
  }
  V operator()(V A, V B) const { return swap_ ? PairMix(B, A, pair_, pair_) : PairMix(A, B, pair_, pair_); }
#else
      : w_(Words(short(WY))), iw_(Words(short(255 - WY))) {
  }
  V operator()(V A, V B) const { return Mix(A, B, iw_, w_); }
#endif

 private:
#if defined(__AVX2__)
  static uint32_t Light(uint32_t WY) { return WY < 128 ? WY : 255 - WY; }
  bool swap_;
  V pair_;
#else
  V w_, iw_;
#endif
};

void StretchColumns(const TStretchRowJob& Job) {
  const TColumnBlocks blocks(*Job.Columns);
  const uint8_t *const a = Job.RowA, *const aheadA = Job.AheadA;
  uint8_t* const out = Job.Out;
  if (Job.RowB == nullptr) {
    const int32_t count = Job.Columns->Blocks;
    for (int32_t b = 0; b < count; ++b) Store(out + 4 * size_t(b) * kVPixels, blocks.MixBlock(a, aheadA, b));
    return;
  }
  const uint8_t *const bRow = Job.RowB, *const aheadB = Job.AheadB;
  const TRowBlend blend(Job.WY);
  const int32_t whole = Job.Pixels / kVPixels, rest = Job.Pixels % kVPixels;
  // Streaming stores need aligned addresses; a row that is not aligned is stored as usual.
  const bool streaming = Job.Stream && (reinterpret_cast<uintptr_t>(out) & (kVBytes - 1)) == 0;
  if (streaming) {
    for (int32_t b = 0; b < whole; ++b)
      Stream(out + 4 * size_t(b) * kVPixels, blend(blocks.MixBlock(a, aheadA, b), blocks.MixBlock(bRow, aheadB, b)));
  } else {
    for (int32_t b = 0; b < whole; ++b)
      Store(out + 4 * size_t(b) * kVPixels, blend(blocks.MixBlock(a, aheadA, b), blocks.MixBlock(bRow, aheadB, b)));
  }
  if (rest > 0)
    StorePixels(out + 4 * size_t(whole) * kVPixels, blend(blocks.MixBlock(a, aheadA, whole), blocks.MixBlock(bRow, aheadB, whole)),
                rest);
}

// Writes Count bytes Blend(k) to Dst in whole vectors, Scalar(k) where a vector cannot go.
template <typename F, typename S>
void BlendRow(size_t Count, uint8_t* Dst, bool Streaming, F Blend, S Scalar) {
  if (Streaming) {
    // Streaming stores write the destination without first reading it into the cache. They
    // need aligned addresses, and an ordinary store to a line just streamed would read it back
    // from memory: the partial lines at the ends are written byte by byte.
    constexpr size_t kLine = 64;
    size_t k = 0;
    for (; k < Count && (reinterpret_cast<uintptr_t>(Dst + k) & (kLine - 1)) != 0; ++k) Dst[k] = Scalar(k);
    for (; k + kLine <= Count; k += kLine)
      for (size_t j = 0; j < kLine; j += kVBytes) Stream(Dst + k + j, Blend(k + j));
    for (; k < Count; ++k) Dst[k] = Scalar(k);
    return;
  }
  // Whole vectors only: the row's last one overlaps the one before it rather than running past.
  const size_t last = Count - kVBytes;
  for (size_t k = 0; k < last; k += kVBytes) Store(Dst + k, Blend(k));
  Store(Dst + last, Blend(last));
}

void StretchBlend(const uint8_t* A, const uint8_t* B, uint32_t WY, size_t Count, uint8_t* Dst, bool Streaming) {
  const auto scalar = [&](size_t K) { return MixByte(A[K], B[K], WY); };
  if (Count < size_t(kVBytes)) {
    for (size_t k = 0; k < Count; ++k) Dst[k] = scalar(k);
    return;
  }
  if (WY == 0 || WY == 255) {
    // One row alone, as every other row of an enlargement by 2 takes it: (x * 255) >> 8 is
    // x - 1 for x >= 1 and 0 for 0, one saturating subtraction.
    const uint8_t* only = WY == 0 ? A : B;
    const V one = Words(0x0101);
    BlendRow(Count, Dst, Streaming, [&](size_t K) { return SubsU8(Load(only + K), one); }, scalar);
    return;
  }
  const TRowBlend mix(WY);
  BlendRow(Count, Dst, Streaming, [&](size_t K) { return mix(Load(A + K), Load(B + K)); }, scalar);
}

}  // namespace
}  // namespace HALVIK_KERNEL_NS
}  // namespace halvik
