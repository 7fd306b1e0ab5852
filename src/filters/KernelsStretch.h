// The stretch's row kernels: the horizontal mix of one source row through the column table, and
// the vertical blend of two mixed rows. Included, through KernelsImpl.h, once per kernel set.
#pragma once

#include "filters/KernelTable.h"
#include "filters/KernelsVector.h"

namespace halvik {
namespace HALVIK_KERNEL_NS {
namespace {

constexpr size_t kRowPrefetchBytes = 4096;

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

void StretchColumns(const uint8_t* Row, const TStretchColumnTable& Columns, uint8_t* Out) {
  // Copied out, so that the stores to Out need not be taken to change them.
  const int32_t* const first = Columns.First;
  const int32_t* const second = Columns.Second;
  const int32_t* const bases = Columns.BlockBase;
  const int32_t blocks = Columns.Blocks;
#if defined(__AVX2__)
  const uint8_t* const pairs = Columns.PairWeights;
#else
  const uint32_t* const weights = Columns.Weight;
  const V full = Words(0x00FF);
#endif
  for (int32_t b = 0; b < blocks; ++b) {
    const size_t i = size_t(b) * kVPixels;
    const int32_t base = bases[b];
    V p, q;
    if (base >= 0) {
      // Rows of a shrink come from memory once each: ask for the row well ahead.
      const uintptr_t at = reinterpret_cast<uintptr_t>(Row + 4 * size_t(base)) + kRowPrefetchBytes;
      _mm_prefetch(reinterpret_cast<const char*>(at), _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(at + 64), _MM_HINT_T0);
      p = PermutePixels(Row, base, first + i);
      q = PermutePixels(Row, base, second + i);
    } else {
      p = GatherPixels(Row, first + i);
      q = GatherPixels(Row, second + i);
    }
#if defined(__AVX2__)
    const uint8_t* w = pairs + 2 * kVBytes * size_t(b);
    Store(Out + 4 * i, PairMix(p, q, Load(w), Load(w + kVBytes)));
#else
    const V w = Load(weights + i);
    Store(Out + 4 * i, Mix(p, q, w, Xor(w, full)));
#endif
  }
}

void StretchBlend(const uint8_t* A, const uint8_t* B, uint32_t WY, size_t Count, uint8_t* Dst, bool Streaming) {
  if (Count < size_t(kVBytes)) {
    for (size_t k = 0; k < Count; ++k) Dst[k] = MixByte(A[k], B[k], WY);
    return;
  }
#if defined(__AVX2__)
  // The row whose weight is at most 127 goes first, as PairMix wants it.
  const bool swap = WY < 128;
  const uint8_t* const f = swap ? B : A;
  const uint8_t* const s = swap ? A : B;
  const uint32_t wf = swap ? WY : 255 - WY;
  const V pair = Bytes4((wf | (255 - wf) << 8) * 0x00010001u);
  const auto blend = [&](size_t K) { return PairMix(Load(f + K), Load(s + K), pair, pair); };
#else
  const V w = Words(short(WY)), iw = Words(short(255 - WY));
  const auto blend = [&](size_t K) { return Mix(Load(A + K), Load(B + K), iw, w); };
#endif
  if (Streaming) {
    // Streaming stores write the destination without first reading it into the cache. They
    // need aligned addresses, and an ordinary store to a line just streamed would read it back
    // from memory: the partial lines at the ends are written byte by byte.
    constexpr size_t kLine = 64;
    size_t k = 0;
    for (; k < Count && (reinterpret_cast<uintptr_t>(Dst + k) & (kLine - 1)) != 0; ++k)
      Dst[k] = MixByte(A[k], B[k], WY);
    for (; k + kLine <= Count; k += kLine)
      for (size_t j = 0; j < kLine; j += kVBytes) Stream(Dst + k + j, blend(k + j));
    for (; k < Count; ++k) Dst[k] = MixByte(A[k], B[k], WY);
    _mm_sfence();
    return;
  }
  // Whole vectors only: the row's last one overlaps the one before it rather than running past.
  const size_t last = Count - kVBytes;
  for (size_t k = 0; k < last; k += kVBytes) Store(Dst + k, blend(k));
  Store(Dst + last, blend(last));
}

}  // namespace
}  // namespace HALVIK_KERNEL_NS
}  // namespace halvik
