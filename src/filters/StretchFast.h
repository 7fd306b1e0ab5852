// The bilinear stretch's pixel passes on a vector kernel set: the same samples as the scalar
// row fill, with each source row mixed horizontally once and kept while two destination rows
// blend it, since a row's horizontal mix does not depend on the destination row.
#pragma once

#include "bitmap/ABitmap.h"
#include "filters/KernelTable.h"
#include "filters/StretchPlan.h"

#include <vector>

namespace halvik {

// The storage behind a TStretchColumnTable.
struct TStretchColumnStore {
  std::vector<int32_t> Left, Right, BlockBase, RelLeft, RelRight;
  std::vector<uint32_t> Weight;
  // Splits the columns (Left, Right and Weight set) into the blocks of Kernels for a source
  // row of SourceWidth pixels.
  void PlanBlocks(int32_t SourceWidth, const TKernelTable& Kernels);
  TStretchColumnTable Table() const;
};

// Writes the destination rectangle of Plan (from PlanStretch) as the scalar passes do.
void StretchBilinearFast(const TStretchPlan& Plan, TABitmap& Source, TABitmap& Dest, const TKernelTable& Kernels);

}  // namespace halvik
