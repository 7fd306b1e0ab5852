#include "filters/ABitmapFilters32.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "filters/BoxBlurWindow.h"
#include "filters/FilterMath.h"
#include "filters/KernelTable.h"
#include "filters/StretchFast.h"
#include "filters/StretchPlan.h"
#include "filters/StretchRow.h"

namespace halvik {

bool ClipStretchRects(double& SrcX, double& SrcY, double& SrcWidth, double& SrcHeight, double& DstX, double& DstY,
                      int32_t& DstWidth, int32_t& DstHeight, int32_t SrcBitmapWidth, int32_t SrcBitmapHeight,
                      int32_t DstBitmapWidth, int32_t DstBitmapHeight) {
  // A zero size would be divided by below; every later test refuses it anyway.
  if (DstWidth == 0 || DstHeight == 0) return false;
  const double xRatio = static_cast<long double>(SrcWidth) / DstWidth;
  const double yRatio = static_cast<long double>(SrcHeight) / DstHeight;

  // Each test is written as the condition to go ahead, so that a NaN refuses.
  const auto sourceStartInside = [&] {
    return SrcX >= 0.0 && SrcX <= SrcBitmapWidth && SrcY >= 0.0 && SrcY <= SrcBitmapHeight;
  };
  if (!sourceStartInside()) return false;
  if (!(DstX < DstBitmapWidth) || !(DstY < DstBitmapHeight)) return false;
  if (!(DstWidth + static_cast<long double>(DstX) > 0.0L)) return false;
  if (!(DstHeight + static_cast<long double>(DstY) > 0.0L)) return false;

  if (DstX < 0.0) {
    const long double visible = DstWidth + static_cast<long double>(DstX);
    SrcWidth = static_cast<double>(visible * xRatio);
    SrcX = static_cast<double>(SrcX + std::fabs(static_cast<long double>(DstX)) * xRatio);
    DstWidth = TruncToInt32(visible);
    DstX = 0.0;
  }
  if (DstY < 0.0) {
    const long double visible = DstHeight + static_cast<long double>(DstY);
    SrcHeight = static_cast<double>(visible * yRatio);
    SrcY = static_cast<double>(SrcY + std::fabs(static_cast<long double>(DstY)) * yRatio);
    DstHeight = TruncToInt32(visible);
    DstY = 0.0;
  }
  if (DstWidth + static_cast<long double>(DstX) > DstBitmapWidth) {
    const long double visible = DstBitmapWidth - static_cast<long double>(DstX);
    SrcWidth = static_cast<double>(visible * xRatio);
    DstWidth = TruncToInt32(visible);
  }
  if (DstHeight + static_cast<long double>(DstY) > DstBitmapHeight) {
    const long double visible = DstBitmapHeight - static_cast<long double>(DstY);
    SrcHeight = static_cast<double>(visible * yRatio);
    DstHeight = TruncToInt32(visible);
  }

  if (DstWidth <= 0 || DstHeight <= 0) return false;
  if (!sourceStartInside()) return false;

  if (SrcX + static_cast<long double>(SrcWidth) > SrcBitmapWidth)
    SrcWidth = static_cast<double>(SrcBitmapWidth - static_cast<long double>(SrcX));
  if (SrcY + static_cast<long double>(SrcHeight) > SrcBitmapHeight)
    SrcHeight = static_cast<double>(SrcBitmapHeight - static_cast<long double>(SrcY));
  return true;
}

namespace {

// Row Row of Source, clamped into the bitmap: a row above or below it reads its nearest row.
const uint8_t* SourceRow(TABitmap& Source, int64_t Row) {
  const int64_t row = std::clamp<int64_t>(Row, 0, Source.Height() - 1);
  return static_cast<const uint8_t*>(Source.ScanLine(static_cast<int>(row)));
}

}  // namespace

void StretchBilinear(int32_t DstWidth, int32_t DstHeight, TABitmap& Source, double SrcX, double SrcY,
                     double SrcWidth, double SrcHeight, double DstX, double DstY, TABitmap& Dest) {
  TStretchPlan plan;
  if (!PlanStretch(DstWidth, DstHeight, SrcX, SrcY, SrcWidth, SrcHeight, DstX, DstY, Source.Width(),
                   Source.Height(), Dest.Width(), Dest.Height(), plan))
    return;
  // The vector rows mix each source row once, ahead of the rows it serves: a stretch of a bitmap
  // into itself, which reads rows it has already overwritten, stays with the scalar code.
  if (const TKernelTable* kernels = ActiveKernelTable(); kernels != nullptr && &Source != &Dest) {
    StretchBilinearFast(plan, Source, Dest, *kernels);
    return;
  }
  TStretchColumns columns;
  columns.XStart = plan.XStart;
  columns.XStep = static_cast<uint32_t>(plan.XStep);
  columns.MainCount = plan.MainCount;
  columns.TailCount = plan.TailCount;
  columns.SourceWidth = Source.Width();
  const uint32_t yStep = static_cast<uint32_t>(plan.YStep);
  const auto destRow = [&](int32_t Row) {
    return static_cast<uint8_t*>(Dest.ScanLine(plan.DstTop + Row)) + 4 * size_t(plan.DstLeft);
  };

  // Main pass: rows A and B are looked up again only when the source row changes.
  const uint8_t* rowA = nullptr;
  const uint8_t* rowB = nullptr;
  int64_t lastY = 0;
  for (int32_t k = 0; k < plan.MainRows; ++k) {
    const uint32_t yPos = static_cast<uint32_t>(k) * yStep;
    const int64_t y = int64_t(plan.SrcTop) + (yPos >> 16);
    if (k == 0 || y != lastY) {
      rowA = SourceRow(Source, y);
      rowB = SourceRow(Source, y + 1);
      lastY = y;
    }
    FillStretchRow(destRow(k), rowA, rowB, (yPos >> 8) & 255, columns);
  }

  // Bottom pass: the last source row, mixed with the one above it.
  if (!plan.BottomPass) return;
  rowA = SourceRow(Source, plan.LastRow);
  rowB = SourceRow(Source, plan.LastRow - 1);
  for (int32_t k = 0; plan.MainRows + k < plan.DstHeight; ++k) {
    const uint32_t yPos = static_cast<uint32_t>(k) * yStep;
    FillStretchRow(destRow(plan.MainRows + k), rowA, rowB, (yPos >> 8) & 255, columns);
  }
}

void BoxBlur(TABitmap& Bitmap, int32_t Radius) {
  // A negative radius has an empty window and no mean: the bitmap is left as it is.
  if (Radius < 0) return;
  // Sides past 32768 (which the platform bitmap refuses) are blurred alike with 32-bit indices.
  const int32_t height = std::max(Bitmap.Height(), 0);
  const int32_t width = std::max(Bitmap.Width(), 0);
  if (height == 0) return;
  std::vector<uint8_t*> rows(static_cast<size_t>(height));
  for (int32_t y = 0; y < height; ++y) rows[size_t(y)] = static_cast<uint8_t*>(Bitmap.ScanLine(y));
  if (width == 0) return;
  // The vector sets run the frame tick's radius; other radii and strips one pixel wide or high
  // stay with the scalar code.
  if (const TKernelTable* kernels = ActiveKernelTable(); kernels != nullptr && Radius == 1 && width >= 2 && height >= 2) {
    kernels->BlurRadius1(rows.data(), width, height);
    return;
  }

  for (int32_t y = 0; y < height; ++y) {
    const int64_t top = std::max<int64_t>(int64_t(y) - Radius, 0);
    const int64_t bottom = std::min<int64_t>(int64_t(y) + Radius, height - 1);
    for (int32_t x = 0; x < width; ++x) {
      const int64_t left = std::max<int64_t>(int64_t(x) - Radius, 0);
      const int64_t right = std::min<int64_t>(int64_t(x) + Radius, width - 1);
      uint16_t sums[4] = {0, 0, 0, 0};
      for (int64_t r = top; r <= bottom; ++r) {
        const uint8_t* pixel = rows[size_t(r)] + 4 * left;
        for (int64_t c = left; c <= right; ++c, pixel += 4)
          for (int lane = 0; lane < 4; ++lane) sums[lane] = static_cast<uint16_t>(sums[lane] + pixel[lane]);
      }
      const int16_t count = WindowCount((bottom - top + 1) * (right - left + 1));
      WriteWindowMean(sums, count, rows[size_t(y)] + 4 * size_t(x));
    }
  }
}

}  // namespace halvik
