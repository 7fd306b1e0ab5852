#include "platform/x11/X11Backend.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <iostream>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/x11/ColorKeyShape.h"
#include "platform/x11/ScreenCopy.h"
#include "platform/x11/XErrors.h"
#include "platform/x11/XImageBuffer.h"

namespace halvik::x11 {

struct TX11Backend::TAtoms {
  explicit TAtoms(Display* D) {
    auto a = [D](const char* Name) { return XInternAtom(D, Name, False); };
    WmProtocols = a("WM_PROTOCOLS");
    WmDeleteWindow = a("WM_DELETE_WINDOW");
    WmState = a("WM_STATE");
    Utf8String = a("UTF8_STRING");
    NetWmName = a("_NET_WM_NAME");
    NetWmIconName = a("_NET_WM_ICON_NAME");
    NetWmState = a("_NET_WM_STATE");
    NetWmStateAbove = a("_NET_WM_STATE_ABOVE");
    NetWmStateMaxVert = a("_NET_WM_STATE_MAXIMIZED_VERT");
    NetWmStateMaxHorz = a("_NET_WM_STATE_MAXIMIZED_HORZ");
    NetFrameExtents = a("_NET_FRAME_EXTENTS");
    NetRequestFrameExtents = a("_NET_REQUEST_FRAME_EXTENTS");
    NetSupported = a("_NET_SUPPORTED");
    NetWmPid = a("_NET_WM_PID");
    NetWmWindowOpacity = a("_NET_WM_WINDOW_OPACITY");
    WmSelection = a(("WM_S" + std::to_string(DefaultScreen(D))).c_str());
  }
  Atom WmProtocols, WmDeleteWindow, WmState, Utf8String, NetWmName, NetWmIconName, NetWmState, NetWmStateAbove,
      NetWmStateMaxVert, NetWmStateMaxHorz, NetFrameExtents, NetRequestFrameExtents, NetSupported, NetWmPid,
      NetWmWindowOpacity, WmSelection;
};

struct TX11Backend::TWin {
  TWindowListener* Listener = nullptr;
  Window Client = 0;
  Window Frame = 0;  // the top-level window holding the client: the window manager's frame
  GC Gc = nullptr;
  TRect Normal;          // normal-state outer bounds
  bool NormalPending = false;  // Normal is to be applied when the window is next shown normal
  TFrameMetrics Extents;       // _NET_FRAME_EXTENTS
  int OriginX = 0, OriginY = 0;  // the client area's top-left corner on the screen
  int ClientW = 1, ClientH = 1;
  bool Mapped = false;
  TXState Reported = TXState::Withdrawn;  // the state the form knows
  bool Expecting = false;                 // a state was asked for and the window manager is on it
  bool Told = false;
  TRect ToldOuter;
  int ToldW = 0, ToldH = 0;
  bool PaintPending = false;
  uint32_t Background = 0;     // 0x00RRGGBB
  std::vector<uint32_t> Picture;  // the client area's pixels, 0x00RRGGBB, row by row
  std::unique_ptr<TXImageBuffer> Image;
  std::unique_ptr<TColorKeyShape> Shape;
};

namespace {

// TColor is 0x00BBGGRR; pixels are 0x00RRGGBB.
uint32_t ToPixel(TColor C) { return ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF); }

// The X pixel of a 0x00RRGGBB colour in a TrueColor visual.
unsigned long XPixelOf(Visual* V, uint32_t Rgb) {
  const unsigned long masks[3] = {V->red_mask, V->green_mask, V->blue_mask};
  unsigned long p = 0;
  for (int c = 0; c < 3; ++c) {
    const int bits = std::popcount(masks[c]), shift = masks[c] ? std::countr_zero(masks[c]) : 0;
    const unsigned long v8 = (Rgb >> (16 - 8 * c)) & 0xFF;
    p |= ((bits >= 8 ? v8 << (bits - 8) : v8 >> (8 - bits)) << shift) & masks[c];
  }
  return p;
}

bool IsAscii(const std::string& S) {
  return std::all_of(S.begin(), S.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

std::vector<long> ReadLongs(Display* D, Window W, Atom Property, Atom Type) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<long> out;
  if (XGetWindowProperty(D, W, Property, 0, 1024, False, Type, &type, &format, &count, &after, &data) == Success &&
      type == Type && format == 32)
    out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
  if (data) XFree(data);
  return out;
}

}  // namespace

// The whole screen, without the program's own windows.
class TX11Backend::TScreenDC : public TDeviceContext {
 public:
  explicit TScreenDC(TScreenCopy& Copy) : copy_(Copy) {}
  int Width() const override { return copy_.Width(); }
  int Height() const override { return copy_.Height(); }
  bool ReadPixels(int SrcX, int SrcY, const TPixelRect& Dst) override { return copy_.Read(SrcX, SrcY, Dst); }
  bool WritePixels(int, int, const TPixelRect&) override { return false; }

 private:
  TScreenCopy& copy_;
};

// A window's client area: drawing lands in the window's picture and goes to the server.
class TX11Backend::TClientDC : public TDeviceContext {
 public:
  TClientDC(TX11Backend& Owner, TWindowId Id) : owner_(Owner), id_(Id) {}
  int Width() const override { const TWin* w = owner_.Find(id_); return w ? w->ClientW : 0; }
  int Height() const override { const TWin* w = owner_.Find(id_); return w ? w->ClientH : 0; }
  bool ReadPixels(int SrcX, int SrcY, const TPixelRect& Dst) override {
    const TWin* w = owner_.Find(id_);
    if (!w) return false;
    for (int y = 0; y < Dst.Height; ++y)
      std::copy_n(&w->Picture[size_t(SrcY + y) * size_t(w->ClientW) + size_t(SrcX)], Dst.Width, Dst.Row(y));
    return true;
  }
  bool WritePixels(int X, int Y, const TPixelRect& Src) override {
    TWin* w = owner_.Find(id_);
    if (!w) return false;
    for (int y = 0; y < Src.Height; ++y) {
      uint32_t* row = &w->Picture[size_t(Y + y) * size_t(w->ClientW) + size_t(X)];
      const uint32_t* in = Src.Row(y);
      for (int x = 0; x < Src.Width; ++x) row[x] = in[x] & 0xFFFFFF;
    }
    // The shape goes first: pixels outside the old shape would not be drawn.
    if (w->Shape) w->Shape->Update(w->Picture.data(), w->ClientW, w->ClientH);
    if (!w->Image)
      w->Image = std::make_unique<TXImageBuffer>(owner_.dpy_, DefaultVisual(owner_.dpy_, owner_.screen_),
                                                 DefaultDepth(owner_.dpy_, owner_.screen_), w->ClientW, w->ClientH,
                                                 true);
    w->Image->FromPixels(X, Y, Src);
    w->Image->Put(w->Client, w->Gc, X, Y, Src.Width, Src.Height);
    return true;
  }

 private:
  TX11Backend& owner_;
  TWindowId id_;
};

TX11Backend::TX11Backend(const char* DisplayName) {
  InstallErrorHandler();
  dpy_ = XOpenDisplay(DisplayName);
  if (!dpy_) {
    const char* name = DisplayName ? DisplayName : std::getenv("DISPLAY");
    throw EOutOfResources(std::string("Cannot open the X display \"") + (name ? name : "") + "\"");
  }
  screen_ = DefaultScreen(dpy_);
  root_ = RootWindow(dpy_, screen_);
  atoms_ = std::make_unique<TAtoms>(dpy_);
  if (DefaultVisual(dpy_, screen_)->c_class != TrueColor) {
    XCloseDisplay(dpy_);
    throw EOutOfResources("The X screen's default visual is not TrueColor");
  }
  // Before any window of ours exists, so that the screen copy can leave them out.
  screen_copy_ = std::make_unique<TScreenCopy>(dpy_, [this](Window W) { return IsOwnTopLevel(W); });
  int event, error;
  if (!XShapeQueryExtension(dpy_, &event, &error))
    std::fprintf(stderr, "halvik: the X server lacks SHAPE; the window's colour key is not shown\n");
}

TX11Backend::~TX11Backend() {
  while (!windows_.empty()) DestroyFormWindow(windows_.begin()->first);
  screen_copy_.reset();
  XCloseDisplay(dpy_);
}

TX11Backend::TWin* TX11Backend::Find(TWindowId Id) const {
  auto it = windows_.find(Id);
  return it == windows_.end() ? nullptr : it->second.get();
}

TX11Backend::TWin* TX11Backend::FindByX(Window W) const {
  for (const auto& [id, w] : windows_)
    if (w->Client == W) return w.get();
  return nullptr;
}

Window TX11Backend::ClientWindow(TWindowId Id) const {
  const TWin* w = Find(Id);
  return w ? w->Client : 0;
}

bool TX11Backend::IsOwnTopLevel(Window W) const {
  for (const auto& [id, w] : windows_)
    if (w->Client == W || w->Frame == W) return true;
  return false;
}

bool TX11Backend::WindowManagerRunning() { return XGetSelectionOwner(dpy_, atoms_->WmSelection) != None; }

bool TX11Backend::Supported(Atom A) {
  const std::vector<long> atoms = ReadLongs(dpy_, root_, atoms_->NetSupported, XA_ATOM);
  return std::find(atoms.begin(), atoms.end(), long(A)) != atoms.end();
}

HDC TX11Backend::GetDC(TWindowId Window) {
  if (Window == 0) return TDeviceContext::ToHandle(new TScreenDC(*screen_copy_));
  if (!Find(Window)) return nullptr;
  return TDeviceContext::ToHandle(new TClientDC(*this, Window));
}

int TX11Backend::ReleaseDC(TWindowId, HDC Dc) {
  if (Dc == nullptr) return 0;
  delete TDeviceContext::FromHandle(Dc);
  return 1;
}

int TX11Backend::ScreenWidth() { return DisplayWidth(dpy_, screen_); }
int TX11Backend::ScreenHeight() { return DisplayHeight(dpy_, screen_); }

void TX11Backend::SetApplicationTitle(const std::string& Title) {
  title_ = Title;
  // The taskbar entry of a window is its icon name.
  for (const auto& [id, w] : windows_) {
    XChangeProperty(dpy_, w->Client, XA_WM_ICON_NAME, IsAscii(Title) ? XA_STRING : atoms_->Utf8String, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(Title.data()), int(Title.size()));
    XChangeProperty(dpy_, w->Client, atoms_->NetWmIconName, atoms_->Utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(Title.data()), int(Title.size()));
  }
}

TFrameMetrics TX11Backend::FrameMetrics(const TWindowParams&) {
  if (have_frame_metrics_) return frame_metrics_;
  have_frame_metrics_ = true;
  frame_metrics_ = {};
  if (!WindowManagerRunning() || !Supported(atoms_->NetRequestFrameExtents)) return frame_metrics_;
  // Ask the window manager what frame it would give a window like ours.
  Window probe = XCreateSimpleWindow(dpy_, root_, 0, 0, 1, 1, 0, 0, 0);
  XSelectInput(dpy_, probe, PropertyChangeMask);
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = probe;
  e.xclient.message_type = atoms_->NetRequestFrameExtents;
  e.xclient.format = 32;
  XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  XFlush(dpy_);
  const auto deadline = TClock::now() + std::chrono::seconds(1);
  for (bool answered = false; !answered;) {
    XEvent got;
    while (!answered && XCheckTypedWindowEvent(dpy_, probe, PropertyNotify, &got))
      answered = got.xproperty.atom == atoms_->NetFrameExtents;
    if (answered) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    if (left <= 0) break;
    pollfd p{ConnectionNumber(dpy_), POLLIN, 0};
    poll(&p, 1, int(left));
  }
  const std::vector<long> ext = ReadLongs(dpy_, probe, atoms_->NetFrameExtents, XA_CARDINAL);
  if (ext.size() == 4) frame_metrics_ = {int(ext[0]), int(ext[2]), int(ext[1]), int(ext[3])};
  XDestroyWindow(dpy_, probe);
  return frame_metrics_;
}

TWindowId TX11Backend::CreateFormWindow(const TWindowParams& Params, TWindowListener* Listener) {
  auto w = std::make_unique<TWin>();
  w->Listener = Listener;
  w->Normal = Params.Bounds;
  w->Extents = FrameMetrics(Params);
  const TFrameMetrics& f = w->Extents;
  w->ClientW = std::clamp(Params.Bounds.Width() - f.Left - f.Right, 1, 32767);
  w->ClientH = std::clamp(Params.Bounds.Height() - f.Top - f.Bottom, 1, 32767);
  if (int64_t(w->ClientW) * w->ClientH > TXImageBuffer::kMaxPixels)
    throw EOutOfResources("A window of " + std::to_string(w->ClientW) + " x " + std::to_string(w->ClientH) +
                          " pixels is larger than the limit of 2^28 pixels");
  w->OriginX = Params.Bounds.Left + f.Left;
  w->OriginY = Params.Bounds.Top + f.Top;
  w->Background = ToPixel(Params.Color);
  w->Picture.assign(size_t(w->ClientW) * size_t(w->ClientH), w->Background);

  Visual* visual = DefaultVisual(dpy_, screen_);
  XSetWindowAttributes a{};
  a.background_pixel = XPixelOf(visual, w->Background);
  a.bit_gravity = NorthWestGravity;  // a size change keeps the pixels that stay inside
  a.event_mask = StructureNotifyMask | ExposureMask | PropertyChangeMask;
  // With no frame yet the client sits at the outer position; the window manager moves it in.
  w->Client = XCreateWindow(dpy_, root_, Params.Bounds.Left, Params.Bounds.Top, unsigned(w->ClientW),
                            unsigned(w->ClientH), 0, CopyFromParent, InputOutput, CopyFromParent,
                            CWBackPixel | CWBitGravity | CWEventMask, &a);
  if (!w->Client) throw EOutOfResources("Cannot create an X window");
  w->Frame = w->Client;
  XGCValues gv{};
  gv.graphics_exposures = False;
  w->Gc = XCreateGC(dpy_, w->Client, GCGraphicsExposures, &gv);

  auto text = [&](Atom Property, const std::string& S, bool Utf8) {
    XChangeProperty(dpy_, w->Client, Property, Utf8 || !IsAscii(S) ? atoms_->Utf8String : XA_STRING, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(S.data()), int(S.size()));
  };
  const std::string icon = title_.empty() ? Params.Caption : title_;
  text(XA_WM_NAME, Params.Caption, false);
  text(atoms_->NetWmName, Params.Caption, true);
  text(XA_WM_ICON_NAME, icon, false);
  text(atoms_->NetWmIconName, icon, true);
  std::string res_name = title_.empty() ? "halvik" : title_, res_class = res_name;
  for (char& c : res_name) c = char(std::tolower(static_cast<unsigned char>(c)));
  res_class[0] = char(std::toupper(static_cast<unsigned char>(res_class[0])));
  XClassHint klass{res_name.data(), res_class.data()};
  XSetClassHint(dpy_, w->Client, &klass);
  Atom protocols[] = {atoms_->WmDeleteWindow};
  XSetWMProtocols(dpy_, w->Client, protocols, 1);
  const long pid = long(getpid());
  XChangeProperty(dpy_, w->Client, atoms_->NetWmPid, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(&pid), 1);
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) == 0) {
    XTextProperty tp;
    char* list[] = {host};
    if (XStringListToTextProperty(list, 1, &tp)) {
      XSetWMClientMachine(dpy_, w->Client, &tp);
      XFree(tp.value);
    }
  }
  XSizeHints* hints = XAllocSizeHints();
  hints->flags = USPosition | PPosition | USSize | PSize | PWinGravity;
  hints->x = Params.Bounds.Left;
  hints->y = Params.Bounds.Top;
  hints->width = w->ClientW;
  hints->height = w->ClientH;
  hints->win_gravity = NorthWestGravity;  // the requested position is the frame's outer corner
  if (!Params.Sizeable) {
    hints->flags |= PMinSize | PMaxSize;
    hints->min_width = hints->max_width = w->ClientW;
    hints->min_height = hints->max_height = w->ClientH;
  }
  XSetWMNormalHints(dpy_, w->Client, hints);
  XFree(hints);
  // Window managers read the initial states when they take the window on, before it is mapped.
  if (Params.StayOnTop)
    XChangeProperty(dpy_, w->Client, atoms_->NetWmState, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&atoms_->NetWmStateAbove), 1);
  if (Params.AlphaBlend) {
    const unsigned long opacity = 0x01010101UL * Params.AlphaBlendValue;
    XChangeProperty(dpy_, w->Client, atoms_->NetWmWindowOpacity, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&opacity), 1);
  }
  SetHints(*w, false);
  int event, error;
  if (Params.TransparentColor && XShapeQueryExtension(dpy_, &event, &error))
    w->Shape = std::make_unique<TColorKeyShape>(dpy_, w->Client, ToPixel(Params.TransparentColorValue));
  XFlush(dpy_);
  const TWindowId id = next_window_++;
  windows_[id] = std::move(w);
  return id;
}

void TX11Backend::DestroyFormWindow(TWindowId Window) {
  auto it = windows_.find(Window);
  if (it == windows_.end()) return;
  std::unique_ptr<TWin> w = std::move(it->second);
  windows_.erase(it);
  w->Shape.reset();
  w->Image.reset();
  XFreeGC(dpy_, w->Gc);
  XDestroyWindow(dpy_, w->Client);
  XFlush(dpy_);
}

void TX11Backend::SetHints(TWin& W, bool Iconic) {
  XWMHints* h = XAllocWMHints();
  h->flags = StateHint | InputHint;
  h->input = True;
  h->initial_state = Iconic ? IconicState : NormalState;
  XSetWMHints(dpy_, W.Client, h);
  XFree(h);
}

void TX11Backend::SetNetState(TWin& W, bool Add, Atom A1, Atom A2) {
  const std::vector<long> wm_state = ReadLongs(dpy_, W.Client, atoms_->WmState, atoms_->WmState);
  const bool managed = !wm_state.empty() && wm_state[0] != WithdrawnState;
  if (managed) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = W.Client;
    e.xclient.message_type = atoms_->NetWmState;
    e.xclient.format = 32;
    e.xclient.data.l[0] = Add ? 1 : 0;
    e.xclient.data.l[1] = long(A1);
    e.xclient.data.l[2] = long(A2);
    e.xclient.data.l[3] = 1;  // a normal application
    XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    return;
  }
  // A withdrawn window's property is ours to write.
  std::vector<long> atoms = ReadLongs(dpy_, W.Client, atoms_->NetWmState, XA_ATOM);
  for (Atom a : {A1, A2}) {
    auto at = std::find(atoms.begin(), atoms.end(), long(a));
    if (Add && at == atoms.end()) atoms.push_back(long(a));
    if (!Add && at != atoms.end()) atoms.erase(at);
  }
  XChangeProperty(dpy_, W.Client, atoms_->NetWmState, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(atoms.data()), int(atoms.size()));
}

void TX11Backend::ShowFormWindow(TWindowId Window, TWindowState State) {
  TWin* w = Find(Window);
  if (!w) return;
  const TXState now = ReadState(*w);
  if (State == TWindowState::wsMinimized) {
    app_minimized_ = true;
    w->Reported = TXState::Iconic;
    if (now == TXState::Iconic) return;
    w->Expecting = true;
    if (!WindowManagerRunning()) {
      // No one keeps an icon: the window stays unmapped until someone maps it.
      if (w->Mapped) XUnmapWindow(dpy_, w->Client);
    } else if (w->Mapped) {
      XIconifyWindow(dpy_, w->Client, screen_);
    } else {
      SetHints(*w, true);
      XMapWindow(dpy_, w->Client);
    }
    XFlush(dpy_);
    return;
  }
  app_minimized_ = false;
  const bool maximize = State == TWindowState::wsMaximized;
  if (w->NormalPending && !maximize) {
    w->NormalPending = false;
    SetWindowBounds(Window, w->Normal);
  }
  const bool was_shown = w->Reported == TXState::Normal || w->Reported == TXState::Maximized;
  const bool maximized = now == TXState::Maximized;
  if (maximize != maximized) SetNetState(*w, maximize, atoms_->NetWmStateMaxVert, atoms_->NetWmStateMaxHorz);
  SetHints(*w, false);
  XMapRaised(dpy_, w->Client);  // also takes an iconic window out of its icon
  XFlush(dpy_);
  w->Reported = maximize ? TXState::Maximized : TXState::Normal;
  w->Expecting = true;
  // The form learns the bounds now, as far as they are known; the window manager's answer follows.
  // A window coming out of its icon returns to its normal bounds (where it stood while iconic
  // is the window manager's business).
  if (!was_shown && !maximize) {
    w->OriginX = w->Normal.Left + w->Extents.Left;
    w->OriginY = w->Normal.Top + w->Extents.Top;
  }
  ReportBoundsNow(*w, true);
}

void TX11Backend::HideFormWindow(TWindowId Window) {
  TWin* w = Find(Window);
  if (!w) return;
  XWithdrawWindow(dpy_, w->Client, screen_);
  XFlush(dpy_);
  w->Reported = TXState::Withdrawn;
  w->Expecting = false;
}

void TX11Backend::SetWindowBounds(TWindowId Window, const TRect& Outer) {
  TWin* w = Find(Window);
  if (!w) return;
  if (w->Reported == TXState::Maximized) {
    w->Normal = Outer;
    w->NormalPending = true;
    return;
  }
  w->Normal = Outer;
  const TFrameMetrics& f = w->Extents;
  const int cw = std::clamp(Outer.Width() - f.Left - f.Right, 1, 32767);
  const int ch = std::clamp(Outer.Height() - f.Top - f.Bottom, 1, 32767);
  // With north-west gravity the window manager puts the frame's outer corner at (x, y).
  XMoveResizeWindow(dpy_, w->Client, Outer.Left, Outer.Top, unsigned(cw), unsigned(ch));
  XFlush(dpy_);
}

void TX11Backend::InvalidateWindow(TWindowId Window) {
  if (TWin* w = Find(Window)) w->PaintPending = true;
}

TTimerId TX11Backend::StartTimer(unsigned IntervalMs, std::function<void()> OnTimer) {
  const auto interval = std::chrono::milliseconds(std::max(1u, IntervalMs));
  const TTimerId id = next_timer_++;
  timers_[id] = TTimer{interval, TClock::now() + interval, std::move(OnTimer)};
  return id;
}

void TX11Backend::StopTimer(TTimerId Timer) { timers_.erase(Timer); }

void TX11Backend::ShowException(const std::string& Message) { std::cerr << "halvik: " << Message << std::endl; }

TX11Backend::TXState TX11Backend::ReadState(TWin& W) {
  const std::vector<long> wm_state = ReadLongs(dpy_, W.Client, atoms_->WmState, atoms_->WmState);
  if (!wm_state.empty() && wm_state[0] == IconicState) return TXState::Iconic;
  if (!W.Mapped) return TXState::Withdrawn;
  const std::vector<long> net = ReadLongs(dpy_, W.Client, atoms_->NetWmState, XA_ATOM);
  auto has = [&](Atom a) { return std::find(net.begin(), net.end(), long(a)) != net.end(); };
  return has(atoms_->NetWmStateMaxVert) && has(atoms_->NetWmStateMaxHorz) ? TXState::Maximized : TXState::Normal;
}

void TX11Backend::ReadFrameExtents(TWin& W) {
  const std::vector<long> ext = ReadLongs(dpy_, W.Client, atoms_->NetFrameExtents, XA_CARDINAL);
  if (ext.size() == 4) W.Extents = {int(ext[0]), int(ext[2]), int(ext[1]), int(ext[3])};
}

void TX11Backend::ReportBoundsNow(TWin& W, bool Force) {
  const TFrameMetrics& e = W.Extents;
  const TRect outer{W.OriginX - e.Left, W.OriginY - e.Top, W.OriginX + W.ClientW + e.Right,
                    W.OriginY + W.ClientH + e.Bottom};
  if (!Force && W.Told && outer == W.ToldOuter && W.ClientW == W.ToldW && W.ClientH == W.ToldH) return;
  W.Told = true;
  W.ToldOuter = outer;
  W.ToldW = W.ClientW;
  W.ToldH = W.ClientH;
  if (W.Reported == TXState::Normal && !W.NormalPending) W.Normal = outer;
  W.Listener->WindowBoundsChanged(outer, W.ClientW, W.ClientH);
}

void TX11Backend::Sync(TWin& W, bool Force) {
  const TXState s = ReadState(W);
  auto shown = [](TXState x) { return x == TXState::Normal || x == TXState::Maximized; };
  // Right after a request the window passes through withdrawn while the window manager works.
  if (W.Expecting && s == TXState::Withdrawn && W.Reported != TXState::Withdrawn) return;
  if (s == W.Reported) W.Expecting = false;
  if (s != W.Reported) {
    const TXState before = W.Reported;
    W.Reported = s;
    W.Expecting = false;
    if (shown(s) && !shown(before)) {
      if (app_minimized_) {
        // Restored from its taskbar entry: the application shows its main window again.
        app_minimized_ = false;
        if (app_listener_) app_listener_->ApplicationRestore();
        if (W.Reported == TXState::Maximized) W.Listener->WindowStateChanged(TWindowState::wsMaximized);
      }
    } else if (shown(before) && s == TXState::Iconic) {
      W.Listener->WindowStateChanged(TWindowState::wsMinimized);
    } else if (shown(before) && shown(s)) {
      W.Listener->WindowStateChanged(s == TXState::Maximized ? TWindowState::wsMaximized : TWindowState::wsNormal);
    }
  }
  if (shown(W.Reported) && W.Mapped) ReportBoundsNow(W, Force);
}

void TX11Backend::ResizePicture(TWin& W, int Width, int Height) {
  if (Width == W.ClientW && Height == W.ClientH) return;
  std::vector<uint32_t> next(size_t(Width) * size_t(Height), W.Background);
  for (int y = 0; y < std::min(Height, W.ClientH); ++y)
    std::copy_n(&W.Picture[size_t(y) * size_t(W.ClientW)], std::min(Width, W.ClientW), &next[size_t(y) * size_t(Width)]);
  W.Picture = std::move(next);
  W.ClientW = Width;
  W.ClientH = Height;
  W.Image.reset();
  // The added area shows the background, which may be the key.
  if (W.Shape) W.Shape->Update(W.Picture.data(), W.ClientW, W.ClientH);
}

static Window TopLevelOf(Display* D, Window W) {
  for (;;) {
    Window root, parent, *children = nullptr;
    unsigned n = 0;
    if (!XQueryTree(D, W, &root, &parent, &children, &n)) return W;
    if (children) XFree(children);
    if (parent == root || parent == None) return W;
    W = parent;
  }
}

void TX11Backend::Handle(XEvent& E) {
  TWin* w = FindByX(E.xany.window);
  if (!w) return;
  auto origin = [&] {
    Window child;
    XTranslateCoordinates(dpy_, w->Client, root_, 0, 0, &w->OriginX, &w->OriginY, &child);
  };
  switch (E.type) {
    case ConfigureNotify: {
      // Only the window manager's synthetic notice carries root coordinates.
      if (E.xconfigure.send_event) {
        w->OriginX = E.xconfigure.x;
        w->OriginY = E.xconfigure.y;
      } else {
        origin();
      }
      ResizePicture(*w, std::max(1, E.xconfigure.width), std::max(1, E.xconfigure.height));
      Sync(*w, false);
      break;
    }
    case ReparentNotify:
      w->Frame = TopLevelOf(dpy_, w->Client);
      origin();
      break;
    case MapNotify:
      w->Mapped = true;
      w->Frame = TopLevelOf(dpy_, w->Client);
      origin();
      Sync(*w, false);
      break;
    case UnmapNotify:
      w->Mapped = false;
      Sync(*w, false);
      break;
    case PropertyNotify:
      if (E.xproperty.atom == atoms_->NetFrameExtents) {
        ReadFrameExtents(*w);
        Sync(*w, false);
      } else if (E.xproperty.atom == atoms_->WmState || E.xproperty.atom == atoms_->NetWmState) {
        Sync(*w, false);
      }
      break;
    case Expose:
      if (E.xexpose.count == 0) w->PaintPending = true;
      break;
    case ClientMessage:
      if (E.xclient.message_type == atoms_->WmProtocols && Atom(E.xclient.data.l[0]) == atoms_->WmDeleteWindow)
        w->Listener->WindowClose();
      break;
    default:
      break;
  }
}

bool TX11Backend::DispatchPaint() {
  for (auto& [id, w] : windows_) {
    if (w->PaintPending && w->Mapped) {
      w->PaintPending = false;
      w->Listener->WindowPaint();
      return true;
    }
  }
  return false;
}

bool TX11Backend::FireDueTimer() {
  const auto now = TClock::now();
  auto next = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it)
    if (it->second.Due <= now && (next == timers_.end() || it->second.Due < next->second.Due)) next = it;
  if (next == timers_.end()) return false;
  TTimer& t = next->second;
  // The next due time keeps the timer's phase; ticks missed while busy are dropped, not queued.
  t.Due += t.Interval;
  if (t.Due <= now) t.Due += ((now - t.Due) / t.Interval + 1) * t.Interval;
  auto handler = t.OnTimer;  // the handler may stop its own timer
  handler();
  return true;
}

void TX11Backend::RunMessageLoop() {
  const int fd = ConnectionNumber(dpy_);
  while (!terminate_) {
    if (XPending(dpy_) > 0) {
      XEvent e;
      XNextEvent(dpy_, &e);
      Handle(e);
      continue;
    }
    if (DispatchPaint() || FireDueTimer()) continue;
    int timeout = -1;
    for (const auto& [id, t] : timers_) {
      const auto ms = std::chrono::ceil<std::chrono::milliseconds>(t.Due - TClock::now()).count();
      const int clamped = int(std::clamp<long long>(ms, 0, INT_MAX));
      timeout = timeout < 0 ? clamped : std::min(timeout, clamped);
    }
    XFlush(dpy_);
    pollfd p{fd, POLLIN, 0};
    poll(&p, 1, timeout);
  }
  terminate_ = false;  // a later loop runs again
}

}  // namespace halvik::x11
