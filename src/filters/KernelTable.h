// The inner loops that a vector kernel set provides, as plain function pointers. Each set lives
// in a source file of its own compiled for its instruction set; the code that picks one is
// compiled for the baseline processor. Every entry gives the same bytes as the scalar code.
#pragma once

#include <cstddef>
#include <cstdint>

namespace halvik {

// The stretch's column positions for one call, shared by every row: for destination column i,
// the source columns of its pair (already clamped into the source row) and its weight WX.
// Columns come in blocks of the kernel set's BlockPixels. A block whose pairs all lie within
// BlockSpan source pixels from BlockBase[b] (and inside the row) is read with two row loads and
// a permute, by the offsets RelLeft and RelRight from that base; BlockBase[b] is -1 otherwise.
struct TStretchColumnTable {
  const int32_t* Left = nullptr;
  const int32_t* Right = nullptr;
  const uint32_t* Weight = nullptr;  // WX in both 16-bit halves
  const int32_t* BlockBase = nullptr;
  const int32_t* RelLeft = nullptr;
  const int32_t* RelRight = nullptr;
  int32_t Count = 0;
};

struct TKernelTable {
  int32_t BlockPixels;  // columns per block of the stretch's column table
  int32_t BlockSpan;    // source pixels that one block's permute can reach; 0: none
  // Out[i] = the horizontal mix of source pixels Left[i] and Right[i] of Row, for every column:
  // per byte (p * (255 - WX) + q * WX) >> 8, which fits a byte.
  void (*StretchColumns)(const uint8_t* Row, const TStretchColumnTable& Columns, uint8_t* Out);
  // Dst[k] = (A[k] * (255 - WY) + B[k] * WY) >> 8 for Bytes bytes.
  void (*StretchBlend)(const uint8_t* A, const uint8_t* B, uint32_t WY, size_t Bytes, uint8_t* Dst);
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
