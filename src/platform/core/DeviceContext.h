// Device contexts as the program sees them: opaque handles that only a back end looks inside,
// and the generic, memory-backed context that back ends without a native one build on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace halvik {

// A device context handle. Only the back end that made it knows what it points at.
struct TDCHandle;
using HDC = TDCHandle*;

// The one raster operation the program uses: copy the source unchanged.
constexpr uint32_t kSrcCopy = 0x00CC0020;

// A rectangle of 32-bit pixels in memory, top row first.
struct TPixelRect {
  uint8_t* Bits = nullptr;  // the top-left pixel
  ptrdiff_t Stride = 0;     // bytes from one row to the next
  int Width = 0;
  int Height = 0;
  uint32_t* Row(int y) const { return reinterpret_cast<uint32_t*>(Bits + Stride * y); }
};

// The device context of back ends that have no native one (headless, X11). Memory contexts
// expose their pixels; screen and window contexts override the copy entries.
class TDeviceContext {
 public:
  virtual ~TDeviceContext() = default;
  // The pixels of a memory context; false for a context without directly addressable pixels.
  virtual bool Surface(TPixelRect& Out) { (void)Out; return false; }
  // The size of what this context can be drawn on or read from (pixels outside are clipped).
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  // Reads Dst.Width x Dst.Height pixels from (SrcX, SrcY) of this context into Dst; the area
  // lies inside this context. False when the pixels cannot be read (Dst is then unspecified).
  virtual bool ReadPixels(int SrcX, int SrcY, const TPixelRect& Dst);
  // Writes Src at (X, Y) of this context; the area lies inside this context.
  virtual bool WritePixels(int X, int Y, const TPixelRect& Src);

  static HDC ToHandle(TDeviceContext* Dc) { return reinterpret_cast<HDC>(Dc); }
  static TDeviceContext* FromHandle(HDC Dc) { return reinterpret_cast<TDeviceContext*>(Dc); }
};

// A context over a pixel rectangle owned by someone else (a bitmap's pixel store).
class TMemoryDC : public TDeviceContext {
 public:
  explicit TMemoryDC(const TPixelRect& Pixels) : pixels_(Pixels) {}
  bool Surface(TPixelRect& Out) override { Out = pixels_; return true; }
  int Width() const override { return pixels_.Width; }
  int Height() const override { return pixels_.Height; }

 private:
  TPixelRect pixels_;
};

// BitBlt with SRCCOPY between two generic contexts, clipped to both; false when a context is
// null, the raster operation is not SRCCOPY, or a side cannot move its pixels.
bool GenericBitBlt(HDC Dst, int X, int Y, int W, int H, HDC Src, int SrcX, int SrcY, uint32_t Rop);
// Fills Rect (clipped to the context) with a 0x00BBGGRR colour on a generic context.
bool GenericFillRect(HDC Dc, int Left, int Top, int Right, int Bottom, uint32_t Color);

}  // namespace halvik
