#include "platform/x11/ScreenCopy.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xcomposite.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>

#include <cstdio>

#include "platform/x11/XErrors.h"

namespace halvik::x11 {
namespace {

bool HasComposite(Display* Dpy) {
  int event, error, major = 0, minor = 0;
  if (!XCompositeQueryExtension(Dpy, &event, &error)) return false;
  XCompositeQueryVersion(Dpy, &major, &minor);
  return major > 0 || minor >= 2;  // NameWindowPixmap came with 0.2
}

bool HasRenderAndFixes(Display* Dpy) {
  int event, error, major = 0, minor = 0;
  if (!XRenderQueryExtension(Dpy, &event, &error)) return false;
  if (!XFixesQueryExtension(Dpy, &event, &error)) return false;
  XFixesQueryVersion(Dpy, &major, &minor);
  return major >= 2;  // regions came with 2.0
}

}  // namespace

TScreenCopy::TScreenCopy(Display* Dpy, std::function<bool(Window)> IsOwn)
    : dpy_(Dpy), is_own_(std::move(IsOwn)), root_(DefaultRootWindow(Dpy)),
      width_(DisplayWidth(Dpy, DefaultScreen(Dpy))), height_(DisplayHeight(Dpy, DefaultScreen(Dpy))),
      depth_(DefaultDepth(Dpy, DefaultScreen(Dpy))), visual_(DefaultVisual(Dpy, DefaultScreen(Dpy))),
      rootpmap_atom_(XInternAtom(Dpy, "_XROOTPMAP_ID", False)) {
  InstallErrorHandler();
  composited_ = HasComposite(Dpy) && HasRenderAndFixes(Dpy) && XRenderFindVisualFormat(Dpy, visual_) != nullptr;
  if (composited_) {
    XCompositeRedirectSubwindows(Dpy, root_, CompositeRedirectAutomatic);
  } else {
    std::fprintf(stderr,
                 "halvik: the X server lacks Composite, RENDER or XFixes; the screen copy reads the screen as "
                 "shown, this program's window included, so its picture feeds back on itself\n");
  }
}

TScreenCopy::~TScreenCopy() {
  image_.reset();
  if (canvas_picture_) XRenderFreePicture(dpy_, canvas_picture_);
  if (canvas_) XFreePixmap(dpy_, canvas_);
  if (backdrop_) XDestroyWindow(dpy_, backdrop_);
  if (composited_) XCompositeUnredirectSubwindows(dpy_, root_, CompositeRedirectAutomatic);
}

Pixmap TScreenCopy::RootBackgroundPixmap(int& Depth) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  Pixmap pixmap = 0;
  if (XGetWindowProperty(dpy_, root_, rootpmap_atom_, 0, 1, False, XA_PIXMAP, &type, &format, &count, &after, &data) ==
          Success &&
      type == XA_PIXMAP && format == 32 && count == 1)
    pixmap = Pixmap(*reinterpret_cast<unsigned long*>(data));
  if (data) XFree(data);
  if (!pixmap) return 0;
  // The property can name a pixmap that is gone: it is valid only when its geometry can be read.
  Window root;
  int x, y;
  unsigned w, h, border, depth;
  if (!XGetGeometry(dpy_, pixmap, &root, &x, &y, &w, &h, &border, &depth)) return 0;
  if (int(depth) != depth_) return 0;
  Depth = int(depth);
  return pixmap;
}

Window TScreenCopy::Backdrop() {
  if (backdrop_) return backdrop_;
  // A screen-sized window at the bottom whose background is the root's: redirected like every
  // other child, its pixmap holds the root background. It takes no input.
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.background_pixmap = ParentRelative;
  backdrop_ = XCreateWindow(dpy_, root_, 0, 0, unsigned(width_), unsigned(height_), 0, CopyFromParent, InputOutput,
                            CopyFromParent, CWOverrideRedirect | CWBackPixmap, &a);
  XStoreName(dpy_, backdrop_, "halvik backdrop");
  XShapeCombineRectangles(dpy_, backdrop_, ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
  XMapWindow(dpy_, backdrop_);
  XLowerWindow(dpy_, backdrop_);
  return backdrop_;
}

void TScreenCopy::Compose() {
  XRenderPictFormat* screen_format = XRenderFindVisualFormat(dpy_, visual_);
  if (!canvas_) {
    canvas_ = XCreatePixmap(dpy_, root_, unsigned(width_), unsigned(height_), unsigned(depth_));
    canvas_picture_ = XRenderCreatePicture(dpy_, canvas_, screen_format, 0, nullptr);
  }

  // The root background first.
  int depth = 0;
  if (Pixmap background = RootBackgroundPixmap(depth)) {
    XRenderPictureAttributes pa{};
    pa.repeat = RepeatNormal;  // a background smaller than the screen is tiled
    Picture p = XRenderCreatePicture(dpy_, background, screen_format, CPRepeat, &pa);
    XRenderComposite(dpy_, PictOpSrc, p, None, canvas_picture_, 0, 0, 0, 0, 0, 0, unsigned(width_), unsigned(height_));
    XRenderFreePicture(dpy_, p);
  } else {
    Window backdrop = Backdrop();
    XClearWindow(dpy_, backdrop);  // follows a root background changed since
    Pixmap pixmap = XCompositeNameWindowPixmap(dpy_, backdrop);
    Picture p = XRenderCreatePicture(dpy_, pixmap, screen_format, 0, nullptr);
    XRenderComposite(dpy_, PictOpSrc, p, None, canvas_picture_, 0, 0, 0, 0, 0, 0, unsigned(width_), unsigned(height_));
    XRenderFreePicture(dpy_, p);
    XFreePixmap(dpy_, pixmap);
  }

  // Then every other viewable top-level window, bottom to top.
  Window root, parent, *children = nullptr;
  unsigned count = 0;
  if (!XQueryTree(dpy_, root_, &root, &parent, &children, &count)) return;
  for (unsigned i = 0; i < count; ++i) {
    const Window w = children[i];
    if (w == backdrop_ || is_own_(w)) continue;
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy_, w, &a)) continue;  // gone already
    if (a.map_state != IsViewable || a.c_class != InputOutput) continue;
    XRenderPictFormat* format = XRenderFindVisualFormat(dpy_, a.visual);
    if (!format) continue;
    Pixmap pixmap = XCompositeNameWindowPixmap(dpy_, w);
    Picture p = XRenderCreatePicture(dpy_, pixmap, format, 0, nullptr);
    // The bounding region is relative to the window's origin, inside its border.
    XserverRegion shape = XFixesCreateRegionFromWindow(dpy_, w, WindowRegionBounding);
    XFixesSetPictureClipRegion(dpy_, canvas_picture_, a.x + a.border_width, a.y + a.border_width, shape);
    const int op = format->direct.alphaMask ? PictOpOver : PictOpSrc;
    XRenderComposite(dpy_, op, p, None, canvas_picture_, 0, 0, 0, 0, a.x, a.y, unsigned(a.width + 2 * a.border_width),
                     unsigned(a.height + 2 * a.border_width));
    XFixesSetPictureClipRegion(dpy_, canvas_picture_, 0, 0, None);
    XFixesDestroyRegion(dpy_, shape);
    XRenderFreePicture(dpy_, p);
    XFreePixmap(dpy_, pixmap);
  }
  if (children) XFree(children);
}

bool TScreenCopy::Read(int X, int Y, const TPixelRect& Dst) {
  if (Dst.Width <= 0 || Dst.Height <= 0) return true;
  // Windows may vanish between the tree query and their pixmaps: their errors are ignored.
  TErrorTrap trap(dpy_);
  if (!image_ || image_->Width() != Dst.Width || image_->Height() != Dst.Height) {
    image_.reset();
    image_ = std::make_unique<TXImageBuffer>(dpy_, visual_, depth_, Dst.Width, Dst.Height, shm_);
    shm_ = image_->Shared();
  }
  if (composited_) Compose();
  if (!image_->Get(composited_ ? canvas_ : root_, X, Y)) return false;
  image_->ToPixels(0, 0, Dst);
  return true;
}

}  // namespace halvik::x11
