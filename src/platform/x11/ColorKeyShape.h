// The colour key of a window as its X shape: the bounding and input shapes hold exactly the
// pixels of the picture that are not the key colour, so key-coloured pixels show and pass
// clicks to what lies behind.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>
#include <vector>

namespace halvik::x11 {

// Packs the 1-bit mask of a picture: bit x % 8 of byte y * ((Width + 7) / 8) + x / 8 is set
// where pixel (x, y), read as 0x00RRGGBB, is not Key. The fourth byte is not looked at.
std::vector<uint8_t> KeyMask(const uint32_t* Pixels, int Width, int Height, uint32_t Key);

class TColorKeyShape {
 public:
  TColorKeyShape(Display* Dpy, Window Win, uint32_t Key) : dpy_(Dpy), win_(Win), key_(Key & 0xFFFFFF) {}
  ~TColorKeyShape();
  TColorKeyShape(const TColorKeyShape&) = delete;
  TColorKeyShape& operator=(const TColorKeyShape&) = delete;

  // Shapes the window after a Width x Height picture; the shapes are sent only when the mask
  // differs from the one sent last (a window manager reshapes its frame on every change).
  // True when they were sent.
  bool Update(const uint32_t* Pixels, int Width, int Height);

 private:
  Display* dpy_;
  Window win_;
  uint32_t key_;
  GC gc_ = nullptr;
  std::vector<uint8_t> sent_;
  int sent_w_ = -1, sent_h_ = -1;
};

}  // namespace halvik::x11
