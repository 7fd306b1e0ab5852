// The inner loops that a vector kernel set provides, as plain function pointers. Each set lives
// in a source file of its own compiled for its instruction set; the code that picks one is
// compiled for the baseline processor. Every entry gives the same bytes as the scalar code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace halvik {

// The stretch's columns for one call, shared by every row. Column i mixes source pixels First[i]
// and Second[i] (both inside the row) as (f * WF + s * (255 - WF)) >> 8 per byte, with the weight
// WF of First at most 127: a pair whose left pixel would weigh more is stored swapped.
// The columns fill Blocks whole blocks of the kernel set's BlockPixels; columns past the
// stretch's own repeat its last one. A block whose pixels all lie within BlockSpan source
// pixels from BlockBase[b] is read with two row loads and a permute, its First and Second
// counted from that base; BlockBase[b] is -1 otherwise and they count from the row's start.
struct TStretchColumnTable {
  const int32_t* First = nullptr;
  const int32_t* Second = nullptr;
  const uint32_t* Weight = nullptr;  // per column, WF in both 16-bit halves
  // Per block, two vectors of byte pairs WF, 255 - WF: the first for the pixels that an unpack
  // of the low halves of each 16-byte lane takes (pixels 0, 1 of every four), then the others.
  const uint8_t* PairWeights = nullptr;
  const int32_t* BlockBase = nullptr;
  int32_t Blocks = 0;
};

// One call of StretchColumns. Without RowB: Out[i] = the mix of column i of RowA, for the
// Blocks * BlockPixels columns of the table. With RowB: the Pixels pixels at Out, and nothing
// else, are written with the two rows' mixes blended as StretchBlend does, with weight WY of
// RowB's; Stream as there, also unfenced. AheadA and AheadB are rows that will be mixed later (or the rows
// themselves): the pixels that the call reads are asked for from them meanwhile.
struct TStretchRowJob {
  const TStretchColumnTable* Columns = nullptr;
  const uint8_t* RowA = nullptr;
  const uint8_t* AheadA = nullptr;
  const uint8_t* RowB = nullptr;
  const uint8_t* AheadB = nullptr;
  uint32_t WY = 0;
  int32_t Pixels = 0;
  bool Stream = false;
  uint8_t* Out = nullptr;
};

struct TKernelTable {
  int32_t BlockPixels;  // columns per block of the stretch's column table
  int32_t BlockSpan;    // source pixels that one block's permute can reach; 0: none
  // The horizontal mix of one row through the column table, or of two rows blended.
  void (*StretchColumns)(const TStretchRowJob& Job);
  // Dst[k] = (A[k] * (255 - WY) + B[k] * WY) >> 8 for Bytes bytes; nothing outside them is
  // read or written. Stream: write past the cache, for a destination too large to stay in it;
  // those stores are not fenced: the caller fences once after its last call.
  void (*StretchBlend)(const uint8_t* A, const uint8_t* B, uint32_t WY, size_t Bytes, uint8_t* Dst, bool Stream);
  // The raster-order blur with radius 1 over Rows, for Width >= 2 and Height >= 2.
  void (*BlurRadius1)(uint8_t* const* Rows, int32_t Width, int32_t Height);
};

// The table of the active set, or nullptr while the scalar code is active.
const TKernelTable* ActiveKernelTable();

// Each set's table; only referenced where the build has the set (x86-64).
const TKernelTable& Sse2KernelTable();
const TKernelTable& Avx2KernelTable();
const TKernelTable& Avx512KernelTable();

}  // namespace halvik
