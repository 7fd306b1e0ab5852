#include "platform/core/DeviceContext.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace halvik {

bool TDeviceContext::ReadPixels(int SrcX, int SrcY, const TPixelRect& Dst) {
  TPixelRect s;
  if (!Surface(s)) return false;
  for (int y = 0; y < Dst.Height; ++y)
    std::memcpy(Dst.Row(y), s.Row(SrcY + y) + SrcX, static_cast<size_t>(Dst.Width) * 4);
  return true;
}

bool TDeviceContext::WritePixels(int X, int Y, const TPixelRect& Src) {
  TPixelRect d;
  if (!Surface(d)) return false;
  for (int y = 0; y < Src.Height; ++y)
    std::memmove(d.Row(Y + y) + X, Src.Row(y), static_cast<size_t>(Src.Width) * 4);
  return true;
}

bool GenericBitBlt(HDC DstDc, int X, int Y, int W, int H, HDC SrcDc, int SrcX, int SrcY, uint32_t Rop) {
  TDeviceContext* dst = TDeviceContext::FromHandle(DstDc);
  TDeviceContext* src = TDeviceContext::FromHandle(SrcDc);
  if (dst == nullptr || src == nullptr || Rop != kSrcCopy) return false;
  // Clip in 64 bits so that no sum of caller values can overflow.
  int64_t x0 = X, y0 = Y, sx0 = SrcX, sy0 = SrcY, w = W, h = H;
  if (x0 < 0) { sx0 -= x0; w += x0; x0 = 0; }
  if (y0 < 0) { sy0 -= y0; h += y0; y0 = 0; }
  if (sx0 < 0) { x0 -= sx0; w += sx0; sx0 = 0; }
  if (sy0 < 0) { y0 -= sy0; h += sy0; sy0 = 0; }
  w = std::min({w, int64_t(dst->Width()) - x0, int64_t(src->Width()) - sx0});
  h = std::min({h, int64_t(dst->Height()) - y0, int64_t(src->Height()) - sy0});
  if (w <= 0 || h <= 0) return true;  // nothing to copy is not a failure

  TPixelRect d, s;
  if (dst->Surface(d)) {
    TPixelRect part{reinterpret_cast<uint8_t*>(d.Row(int(y0)) + x0), d.Stride, int(w), int(h)};
    return src->ReadPixels(int(sx0), int(sy0), part);
  }
  if (src->Surface(s)) {
    TPixelRect part{reinterpret_cast<uint8_t*>(s.Row(int(sy0)) + sx0), s.Stride, int(w), int(h)};
    return dst->WritePixels(int(x0), int(y0), part);
  }
  // Neither side is memory: go through a buffer of our own.
  std::vector<uint32_t> buffer(static_cast<size_t>(w * h));
  TPixelRect tmp{reinterpret_cast<uint8_t*>(buffer.data()), ptrdiff_t(w * 4), int(w), int(h)};
  return src->ReadPixels(int(sx0), int(sy0), tmp) && dst->WritePixels(int(x0), int(y0), tmp);
}

bool GenericFillRect(HDC Dc, int Left, int Top, int Right, int Bottom, uint32_t Color) {
  TDeviceContext* dc = TDeviceContext::FromHandle(Dc);
  if (dc == nullptr) return false;
  const int l = std::max(Left, 0), t = std::max(Top, 0);
  const int r = std::min(Right, dc->Width()), b = std::min(Bottom, dc->Height());
  if (r <= l || b <= t) return true;
  // TColor is 0x00BBGGRR; a pixel word is 0x00RRGGBB.
  const uint32_t px = ((Color & 0xFF) << 16) | (Color & 0xFF00) | ((Color >> 16) & 0xFF);
  std::vector<uint32_t> row(static_cast<size_t>(r - l), px);
  TPixelRect src{reinterpret_cast<uint8_t*>(row.data()), 0, r - l, b - t};  // stride 0 repeats the row
  return dc->WritePixels(l, t, src);
}

}  // namespace halvik
