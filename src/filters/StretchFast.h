// The bilinear stretch's pixel passes on a vector kernel set: the same samples as the scalar
// row fill, with each source row mixed horizontally once and kept while the destination rows
// that use it blend it, since a row's horizontal mix does not depend on the destination row.
// When rows are seldom shared (shrinks), each destination row is mixed and blended in one pass.
#pragma once

#include "bitmap/ABitmap.h"
#include "filters/KernelTable.h"
#include "filters/StretchPlan.h"

#include <vector>

namespace halvik {

// The storage behind a TStretchColumnTable.
struct TStretchColumnStore {
  // Per column: the source pixels of its pair (Left at most Right, both inside the row) and the
  // weight WX of Right, 0 to 255.
  std::vector<int32_t> Left, Right;
  std::vector<uint32_t> Weight;
  // Builds the table of Kernels from Left, Right and Weight for a source row of SourceWidth
  // pixels.
  void PlanBlocks(int32_t SourceWidth, const TKernelTable& Kernels);
  TStretchColumnTable Table() const;
  // Pixels of each row that the table's StretchColumns writes: whole blocks.
  int32_t PaddedCount() const { return blocks_ * blockPixels_; }

 private:
  std::vector<int32_t> first_, second_, base_;
  std::vector<uint32_t> weight_;
  std::vector<uint8_t> pairs_;
  int32_t blocks_ = 0, blockPixels_ = 1;
};

// Writes the destination rectangle of Plan (from PlanStretch) as the scalar passes do.
void StretchBilinearFast(const TStretchPlan& Plan, TABitmap& Source, TABitmap& Dest, const TKernelTable& Kernels);

}  // namespace halvik
