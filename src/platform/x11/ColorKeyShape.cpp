#include "platform/x11/ColorKeyShape.h"

#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

namespace halvik::x11 {

std::vector<uint8_t> KeyMask(const uint32_t* Pixels, int Width, int Height, uint32_t Key) {
  if (Width <= 0 || Height <= 0) return {};
  const size_t bpl = (size_t(Width) + 7) / 8;
  std::vector<uint8_t> mask(bpl * size_t(Height), 0);
  Key &= 0xFFFFFF;
  for (int y = 0; y < Height; ++y) {
    const uint32_t* row = Pixels + size_t(y) * size_t(Width);
    uint8_t* out = &mask[bpl * size_t(y)];
    for (int x = 0; x < Width; ++x)
      if ((row[x] & 0xFFFFFF) != Key) out[x >> 3] |= uint8_t(1u << (x & 7));
  }
  return mask;
}

TColorKeyShape::~TColorKeyShape() {
  if (gc_) XFreeGC(dpy_, gc_);
}

bool TColorKeyShape::Update(const uint32_t* Pixels, int Width, int Height) {
  if (Width <= 0 || Height <= 0) return false;  // an X window is never empty
  std::vector<uint8_t> mask = KeyMask(Pixels, Width, Height, key_);
  if (Width == sent_w_ && Height == sent_h_ && mask == sent_) return false;

  const int bpl = (Width + 7) / 8;
  Pixmap bitmap = XCreatePixmap(dpy_, win_, unsigned(Width), unsigned(Height), 1);
  if (!gc_) gc_ = XCreateGC(dpy_, bitmap, 0, nullptr);
  // An XYBitmap image draws its 1-bits in the foreground and its 0-bits in the background.
  XSetForeground(dpy_, gc_, 1);
  XSetBackground(dpy_, gc_, 0);
  XImage* image = XCreateImage(dpy_, DefaultVisual(dpy_, DefaultScreen(dpy_)), 1, XYBitmap, 0,
                               reinterpret_cast<char*>(mask.data()), unsigned(Width), unsigned(Height), 8, bpl);
  if (image) {
    image->byte_order = LSBFirst;
    image->bitmap_bit_order = LSBFirst;
    image->bitmap_unit = 8;
    XPutImage(dpy_, bitmap, gc_, image, 0, 0, 0, 0, unsigned(Width), unsigned(Height));
    image->data = nullptr;  // the mask is ours
    XDestroyImage(image);
    XShapeCombineMask(dpy_, win_, ShapeBounding, 0, 0, bitmap, ShapeSet);
    XShapeCombineMask(dpy_, win_, ShapeInput, 0, 0, bitmap, ShapeSet);
  }
  XFreePixmap(dpy_, bitmap);
  if (!image) return false;
  sent_ = std::move(mask);
  sent_w_ = Width;
  sent_h_ = Height;
  return true;
}

}  // namespace halvik::x11
