// The bilinear stretch's pixel passes on a vector kernel set: the same samples as the scalar
// row fill, with each source row mixed horizontally once and kept while two destination rows
// blend it, since a row's horizontal mix does not depend on the destination row.
#pragma once

#include "bitmap/ABitmap.h"
#include "filters/KernelTable.h"
#include "filters/StretchPlan.h"

namespace halvik {

// Writes the destination rectangle of Plan (from PlanStretch) as the scalar passes do.
void StretchBilinearFast(const TStretchPlan& Plan, TABitmap& Source, TABitmap& Dest, const TKernelTable& Kernels);

}  // namespace halvik
