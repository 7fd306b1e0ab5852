// The screen and window device-context calls the program makes, in the form it knows them.
// Only the program's own units include this; back ends implement the entries behind it.
#pragma once

#include <cstdint>

#include "platform/core/Backend.h"

namespace halvik {

constexpr uint32_t SRCCOPY = kSrcCopy;

// A device context of the whole screen for Window 0; null on failure.
inline HDC GetDC(TWindowId Window) { return Platform().GetDC(Window); }
inline int ReleaseDC(TWindowId Window, HDC Dc) { return Platform().ReleaseDC(Window, Dc); }
inline bool BitBlt(HDC Dst, int X, int Y, int W, int H, HDC Src, int SrcX, int SrcY, uint32_t Rop) {
  return Platform().BitBlt(Dst, X, Y, W, H, Src, SrcX, SrcY, Rop);
}

}  // namespace halvik
