#include "platform/x11/tools/Scene.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <bit>
#include <cstdlib>

namespace halvik::x11 {

uint32_t ScenePixel(int X, int Y, int Width, int Height) {
  // Greys from the key 0x808080 up in bands of 25 pixels, behind the window's first place
  // (216, 216): whatever rounding a filter chain has, one band is likely to come out as the key.
  if (X >= 280 && X < 480 && Y >= 340 && Y < 520) return 0x808080 + 0x010101 * uint32_t((X - 280) / 25);
  // Rings.
  const int64_t dx = X - 980, dy = Y - 430, d2 = dx * dx + dy * dy;
  if (d2 < 250 * 250) {
    int64_t r = 0;
    while ((r + 1) * (r + 1) <= d2) ++r;
    return (r / 14) % 2 ? 0xF2C14E : 0x2B4C9B;
  }
  // Fine stripes and a checkerboard: detail for the blur to smooth.
  if (X >= 480 && X < 620 && Y >= 260 && Y < 760) return (X / 3) % 2 ? 0xFAFAFA : 0x1A1A1A;
  if (X >= 120 && X < 480 && Y >= 600 && Y < 760) return ((X / 10 + Y / 10) & 1) ? 0xD0402A : 0x20A070;
  // A diagonal gradient everywhere else.
  const uint32_t r = uint32_t(X) * 255 / uint32_t(Width > 1 ? Width - 1 : 1);
  const uint32_t g = uint32_t(Y) * 255 / uint32_t(Height > 1 ? Height - 1 : 1);
  const uint32_t b = 255 - (r + g) / 2;
  return r << 16 | g << 8 | b;
}

bool SetRootScene(Display* Dpy, bool WithProperty, bool Retain) {
  const int screen = DefaultScreen(Dpy);
  Visual* visual = DefaultVisual(Dpy, screen);
  if (visual->c_class != TrueColor) return false;
  const int w = DisplayWidth(Dpy, screen), h = DisplayHeight(Dpy, screen), depth = DefaultDepth(Dpy, screen);
  const Window root = RootWindow(Dpy, screen);
  if (Retain) XSetCloseDownMode(Dpy, RetainPermanent);
  const Pixmap pixmap = XCreatePixmap(Dpy, root, unsigned(w), unsigned(h), unsigned(depth));

  XImage* image = XCreateImage(Dpy, visual, unsigned(depth), ZPixmap, 0, nullptr, unsigned(w), unsigned(h), 32, 0);
  image->data = static_cast<char*>(std::malloc(size_t(image->bytes_per_line) * size_t(h)));
  const unsigned long masks[3] = {visual->red_mask, visual->green_mask, visual->blue_mask};
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t rgb = ScenePixel(x, y, w, h);
      unsigned long p = 0;
      for (int c = 0; c < 3; ++c) {
        const int bits = std::popcount(masks[c]), shift = masks[c] ? std::countr_zero(masks[c]) : 0;
        const unsigned long v8 = (rgb >> (16 - 8 * c)) & 0xFF;
        p |= ((bits >= 8 ? v8 << (bits - 8) : v8 >> (8 - bits)) << shift) & masks[c];
      }
      XPutPixel(image, x, y, p);
    }
  GC gc = XCreateGC(Dpy, pixmap, 0, nullptr);
  XPutImage(Dpy, pixmap, gc, image, 0, 0, 0, 0, unsigned(w), unsigned(h));
  XFreeGC(Dpy, gc);
  XDestroyImage(image);

  XSetWindowBackgroundPixmap(Dpy, root, pixmap);
  XClearWindow(Dpy, root);
  const Atom rootpmap = XInternAtom(Dpy, "_XROOTPMAP_ID", False), esetroot = XInternAtom(Dpy, "ESETROOT_PMAP_ID", False);
  if (WithProperty) {
    XChangeProperty(Dpy, root, rootpmap, XA_PIXMAP, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&pixmap), 1);
    XChangeProperty(Dpy, root, esetroot, XA_PIXMAP, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(&pixmap), 1);
  } else {
    XDeleteProperty(Dpy, root, rootpmap);
    XDeleteProperty(Dpy, root, esetroot);
    // The root keeps its own reference to the background.
    if (!Retain) XFreePixmap(Dpy, pixmap);
  }
  XSync(Dpy, False);
  return true;
}

}  // namespace halvik::x11
