// The values one bilinear stretch works from: steps from the rectangles as passed, then the
// clipped rectangles, the two column runs and the two row passes, made safe for any arguments.
#pragma once

#include <algorithm>
#include <cstdint>

#include "filters/ABitmapFilters32.h"
#include "filters/FilterMath.h"

namespace halvik {

struct TStretchPlan {
  // 16.16 steps per destination pixel and their inverses, from the rectangles as passed.
  int32_t XStep = 0, YStep = 0, InvXStep = 0, InvYStep = 0;
  // Position of the first column, as an unsigned 16.16 value.
  uint32_t XStart = 0;
  int32_t SrcTop = 0, DstLeft = 0, DstTop = 0, SrcCols = 0, SrcRows = 0;
  // The clipped destination size: every pixel of this rectangle is written once.
  int32_t DstWidth = 0, DstHeight = 0;
  // Pixels of the main column run (1 to DstWidth) and of the tail run that follows it.
  int32_t MainCount = 0, TailCount = 0;
  bool BottomPass = false;
  // Rows of the main pass (0 to DstHeight); the bottom pass writes the rest.
  int32_t MainRows = 0;
  // Kept in 64 bits so that strange source heights cannot wrap it; rows are clamped on use.
  int64_t LastRow = 0;
};

// Fills Plan for a stretch of the given rectangles between bitmaps of the given sizes.
// False: nothing is to be drawn.
inline bool PlanStretch(int32_t DstWidth, int32_t DstHeight, double SrcX, double SrcY, double SrcWidth,
                        double SrcHeight, double DstX, double DstY, int32_t SrcBitmapWidth,
                        int32_t SrcBitmapHeight, int32_t DstBitmapWidth, int32_t DstBitmapHeight,
                        TStretchPlan& Plan) {
  // An empty destination is refused before the steps divide by its size.
  if (DstWidth <= 0 || DstHeight <= 0) return false;

  TStretchPlan p;
  const long double factor = 65535.0f;
  p.XStep = TruncToInt32(Quotient(SrcWidth * factor, DstWidth));
  p.YStep = TruncToInt32(Quotient(SrcHeight * factor, DstHeight));
  // n * 65535 as the 32-bit value (n << 16) - n: it wraps once n passes 32768.
  const int32_t nx = WrapToInt32(int64_t(DstWidth) * 65536 - DstWidth);
  const int32_t ny = WrapToInt32(int64_t(DstHeight) * 65536 - DstHeight);
  p.InvXStep = TruncToInt32(Quotient(nx, SrcWidth));
  p.InvYStep = TruncToInt32(Quotient(ny, SrcHeight));

  if (!ClipStretchRects(SrcX, SrcY, SrcWidth, SrcHeight, DstX, DstY, DstWidth, DstHeight, SrcBitmapWidth,
                        SrcBitmapHeight, DstBitmapWidth, DstBitmapHeight))
    return false;
  // A source without pixels has nothing to stand in for its samples: nothing is written.
  if (SrcBitmapWidth <= 0 || SrcBitmapHeight <= 0) return false;

  // The clipping leaves SrcX within 0 .. SrcBitmapWidth (at most 32768), so this fits.
  p.XStart = static_cast<uint32_t>(TruncToInt32(SrcX * factor));
  p.SrcTop = TruncToInt32(SrcY);
  p.DstLeft = TruncToInt32(DstX);
  p.DstTop = TruncToInt32(DstY);
  p.SrcCols = TruncToInt32(SrcWidth);
  p.SrcRows = TruncToInt32(SrcHeight);

  // The clipping keeps the rectangle inside Dest; checked again here, and cut to it if not.
  if (p.DstLeft < 0 || p.DstTop < 0 || p.DstLeft >= DstBitmapWidth || p.DstTop >= DstBitmapHeight) return false;
  p.DstWidth = static_cast<int32_t>(std::min<int64_t>(DstWidth, int64_t(DstBitmapWidth) - p.DstLeft));
  p.DstHeight = static_cast<int32_t>(std::min<int64_t>(DstHeight, int64_t(DstBitmapHeight) - p.DstTop));
  if (p.DstWidth <= 0 || p.DstHeight <= 0) return false;

  const int32_t mainCount = WrapToInt32((int64_t(p.SrcCols) - 1) * p.InvXStep >> 16);
  // An empty main run would start the tail left of XStart, a full one leaves no tail: the main
  // run is kept to 1 .. DstWidth pixels, so the first pixel is sampled at XStart.
  p.MainCount = std::clamp(mainCount, 1, p.DstWidth);
  p.TailCount = p.DstWidth - p.MainCount;

  p.BottomPass = int64_t(SrcBitmapHeight) <= int64_t(p.SrcTop) + p.SrcRows;
  const int32_t mainRows =
      p.BottomPass ? WrapToInt32((int64_t(p.SrcRows) - 1) * p.InvYStep / 65535) : p.DstHeight;
  // Negative main rows would move the bottom pass above DstTop: the main pass is kept to
  // 0 .. DstHeight rows.
  p.MainRows = std::clamp(mainRows, 0, p.DstHeight);
  p.LastRow = int64_t(p.SrcTop) + p.SrcRows - 1;

  Plan = p;
  return true;
}

}  // namespace halvik
