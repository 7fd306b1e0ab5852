// The stretch's row kernels: the horizontal mix of one source row through the column table, and
// the vertical blend of two mixed rows. Included, through KernelsImpl.h, once per kernel set.
#pragma once

#include "filters/KernelTable.h"
#include "filters/KernelsVector.h"

namespace halvik {
namespace HALVIK_KERNEL_NS {
namespace {

constexpr size_t kRowPrefetchBytes = 2048;

void StretchColumns(const uint8_t* Row, const TStretchColumnTable& Columns, uint8_t* Out) {
  const V full = Words(0x00FF);
  int32_t i = 0;
  for (; i + kVPixels <= Columns.Count; i += kVPixels) {
    const int32_t base = Columns.BlockBase[i / kVPixels];
    V p, q;
    if (base >= 0) {
      // Rows of a shrink come from memory once each: ask for the row well ahead.
      _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(Row + 4 * size_t(base)) + kRowPrefetchBytes),
                   _MM_HINT_T0);
      _mm_prefetch(reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(Row + 4 * size_t(base)) + kRowPrefetchBytes + 64),
                   _MM_HINT_T0);
      p = PermutePixels(Row, base, Columns.RelLeft + i);
      q = PermutePixels(Row, base, Columns.RelRight + i);
    } else {
      p = GatherPixels(Row, Columns.Left + i);
      q = GatherPixels(Row, Columns.Right + i);
    }
    const V w = Load(Columns.Weight + i);
    Store(Out + 4 * size_t(i), Mix(p, q, Xor(w, full), w));
  }
  for (; i < Columns.Count; ++i) {
    const uint8_t* p = Row + 4 * size_t(Columns.Left[i]);
    const uint8_t* q = Row + 4 * size_t(Columns.Right[i]);
    const uint32_t w = Columns.Weight[i] & 255;
    for (int lane = 0; lane < 4; ++lane) Out[4 * size_t(i) + lane] = MixByte(p[lane], q[lane], w);
  }
}

void StretchBlend(const uint8_t* A, const uint8_t* B, uint32_t WY, size_t Count, uint8_t* Dst) {
  const V w = Words(short(WY)), iw = Words(short(255 - WY));
  size_t k = 0;
  // Up to the first whole vector of Dst, then streaming stores, which write the destination
  // without first reading it into the cache.
  for (; k < Count && (reinterpret_cast<uintptr_t>(Dst + k) & (kVBytes - 1)) != 0; ++k) Dst[k] = MixByte(A[k], B[k], WY);
  for (; k + kVBytes <= Count; k += kVBytes) Stream(Dst + k, Mix(Load(A + k), Load(B + k), iw, w));
  for (; k < Count; ++k) Dst[k] = MixByte(A[k], B[k], WY);
  _mm_sfence();
}

}  // namespace
}  // namespace HALVIK_KERNEL_NS
}  // namespace halvik
