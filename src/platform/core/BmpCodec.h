// Reading and writing Windows bitmap (BMP) images.
#pragma once

#include "platform/core/Graphics.h"
#include "platform/core/Streams.h"

namespace halvik {

// Reads one BMP image from the stream's position to its end into Bitmap, in the file's own
// pixel format (1, 4, 8 bits with their palette; 15, 16, 24 or 32 bits). Any malformed input
// raises EInvalidGraphic saying what is wrong; Bitmap is then unspecified but valid.
void ReadBmp(TStream& Stream, TBitmap& Bitmap);

// Writes Bitmap as a BMP image in its own pixel format (bottom-up rows, BITMAPINFOHEADER;
// 16 bits as BI_BITFIELDS 5-6-5).
void WriteBmp(TStream& Stream, TBitmap& Bitmap);

}  // namespace halvik
