// The screen as it is behind the program's own windows, the way a screen copy on Windows
// leaves layered windows out. With Composite the root's children are redirected (automatic
// mode, so the server still shows them) and each copy is built from the root background and
// every other viewable top-level window, bottom to top, each clipped to its shape, then read
// with MIT-SHM. Without Composite (or RENDER and XFixes) it reads the screen as shown, own
// windows included, and says so once on stderr.
#pragma once

#include <X11/Xlib.h>
#include <X11/extensions/Xrender.h>

#include <functional>
#include <memory>

#include "platform/core/DeviceContext.h"
#include "platform/x11/XImageBuffer.h"

namespace halvik::x11 {

class TScreenCopy {
 public:
  // Call before the program's first window exists. IsOwn tells the top-level windows to leave out.
  TScreenCopy(Display* Dpy, std::function<bool(Window)> IsOwn);
  ~TScreenCopy();
  TScreenCopy(const TScreenCopy&) = delete;
  TScreenCopy& operator=(const TScreenCopy&) = delete;

  bool Composited() const { return composited_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Reads Dst.Width x Dst.Height pixels from (X, Y) of the screen; the area lies inside it.
  // False when the copy failed (windows that vanish meanwhile are no failure).
  bool Read(int X, int Y, const TPixelRect& Dst);

 private:
  void Compose();
  Pixmap RootBackgroundPixmap(int& Depth);
  Window Backdrop();

  Display* dpy_;
  std::function<bool(Window)> is_own_;
  Window root_;
  int width_, height_, depth_;
  Visual* visual_;
  bool composited_ = false;
  bool shm_ = true;
  Atom rootpmap_atom_;
  Pixmap canvas_ = 0;          // the screen being built
  Picture canvas_picture_ = 0;
  Window backdrop_ = 0;        // shows the root background where no _XROOTPMAP_ID is set
  std::unique_ptr<TXImageBuffer> image_;
};

}  // namespace halvik::x11
