// Pixel routines on 32-bit bitmaps: stretch clipping, the fixed-point bilinear stretch and
// the in-place raster-order box blur. None raises an error of its own, and none reads or
// writes outside either bitmap, whatever the arguments.
#pragma once

#include <cstdint>

#include "bitmap/ABitmap.h"

namespace halvik {

// Fits a stretch's source and destination rectangles to their bitmaps. True: the eight
// by-reference values now describe the stretch to perform. False: nothing is to be drawn
// (the values may have been changed in part). A DstWidth or DstHeight of 0 is refused.
bool ClipStretchRects(double& SrcX, double& SrcY, double& SrcWidth, double& SrcHeight,
                      double& DstX, double& DstY, int32_t& DstWidth, int32_t& DstHeight,
                      int32_t SrcBitmapWidth, int32_t SrcBitmapHeight,
                      int32_t DstBitmapWidth, int32_t DstBitmapHeight);

// Resamples the source rectangle of Source into the destination rectangle of Dest with
// 16.16 fixed-point positions and 8-bit weights. Only pixels of the clipped destination
// rectangle change, each written once; a sample outside Source reads the nearest pixel inside
// it, and a Source without pixels leaves Dest unchanged.
void StretchBilinear(int32_t DstWidth, int32_t DstHeight, TABitmap& Source,
                     double SrcX, double SrcY, double SrcWidth, double SrcHeight,
                     double DstX, double DstY, TABitmap& Dest);

// Blurs Bitmap in place, in raster order, with a (2*Radius+1)^2 window clipped to the bitmap;
// each pixel's window already sees the new values above and left of it. Sums wrap at 16 bits.
// A negative Radius leaves the bitmap unchanged.
void BoxBlur(TABitmap& Bitmap, int32_t Radius);

}  // namespace halvik
