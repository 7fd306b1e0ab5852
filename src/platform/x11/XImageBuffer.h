// A client-side X image of one size, in shared memory when the server allows it (MIT-SHM),
// with the conversions between its pixels and 0x00RRGGBB words.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>

#include "platform/core/DeviceContext.h"

namespace halvik::x11 {

class TXImageBuffer {
 public:
  static constexpr long long kMaxPixels = 1LL << 28;
  // An image of Width x Height (both > 0) in the visual's format. It is shared when UseShm and
  // the server can attach the segment (not over a network), else in ordinary memory. Raises
  // EOutOfResources past kMaxPixels or when no memory can be had.
  TXImageBuffer(Display* Dpy, Visual* Vis, int Depth, int Width, int Height, bool UseShm);
  ~TXImageBuffer();
  TXImageBuffer(const TXImageBuffer&) = delete;
  TXImageBuffer& operator=(const TXImageBuffer&) = delete;

  int Width() const { return image_->width; }
  int Height() const { return image_->height; }
  bool Shared() const { return shared_; }

  // Reads the Width x Height area at (X, Y) of a drawable into the image; false on an X error
  // or when the area does not lie inside the drawable.
  bool Get(Drawable Source, int X, int Y);
  // Sends the W x H area at (X, Y) of the image to the same place of a drawable.
  void Put(Drawable Target, GC Gc, int X, int Y, int W, int H);

  // Pixel conversions; areas lie inside the image.
  void ToPixels(int X, int Y, const TPixelRect& Dst) const;
  void FromPixels(int X, int Y, const TPixelRect& Src);

 private:
  Display* dpy_;
  XImage* image_ = nullptr;
  XShmSegmentInfo shm_{};
  bool shared_ = false;
  bool put_pending_ = false;  // the server may still be reading the shared memory
  bool native_ = false;       // 32-bit little-endian 0x00RRGGBB: rows copy as they are
  // For other TrueColor formats: where each channel sits and how wide it is.
  unsigned long mask_[3]{};
  int shift_[3]{}, bits_[3]{};
  void WaitForPut();
};

}  // namespace halvik::x11
