#include "platform/headless/HeadlessBackend.h"

#include <algorithm>
#include <iostream>
#include <stdexcept>

#include "platform/core/Exceptions.h"

namespace halvik {

struct THeadlessBackend::TWin {
  TWindowInfo Info;
  TWindowListener* Listener = nullptr;
  TFrameMetrics Frame;
  uint32_t Background = 0;
  bool PaintPending = false;
  bool Told = false;  // the listener has been told a size
};

// The whole screen: reads the desktop's pixels, never the windows (layered windows stay out).
class THeadlessBackend::TScreenDC : public TDeviceContext {
 public:
  explicit TScreenDC(THeadlessBackend& Owner) : owner_(Owner) {}
  int Width() const override { return owner_.screen_w_; }
  int Height() const override { return owner_.screen_h_; }
  bool ReadPixels(int SrcX, int SrcY, const TPixelRect& Dst) override {
    if (owner_.screen_copy_fails_) return false;
    for (int y = 0; y < Dst.Height; ++y)
      std::copy_n(owner_.ScreenRow(SrcY + y) + SrcX, Dst.Width, Dst.Row(y));
    return true;
  }
  bool WritePixels(int, int, const TPixelRect&) override { return false; }

 private:
  THeadlessBackend& owner_;
};

// A window's client area; drawing lands in the window's picture.
class THeadlessBackend::TClientDC : public TDeviceContext {
 public:
  TClientDC(THeadlessBackend& Owner, TWindowId Id) : owner_(Owner), id_(Id) {}
  int Width() const override { const TWin* w = Win(); return w ? w->Info.ClientWidth : 0; }
  int Height() const override { const TWin* w = Win(); return w ? w->Info.ClientHeight : 0; }
  bool ReadPixels(int SrcX, int SrcY, const TPixelRect& Dst) override {
    const TWin* w = Win();
    if (!w) return false;
    for (int y = 0; y < Dst.Height; ++y)
      std::copy_n(&w->Info.Client[size_t(SrcY + y) * size_t(w->Info.ClientWidth) + size_t(SrcX)], Dst.Width, Dst.Row(y));
    return true;
  }
  bool WritePixels(int X, int Y, const TPixelRect& Src) override {
    TWin* w = Win();
    if (!w) return false;
    for (int y = 0; y < Src.Height; ++y)
      std::copy_n(Src.Row(y), Src.Width, &w->Info.Client[size_t(Y + y) * size_t(w->Info.ClientWidth) + size_t(X)]);
    return true;
  }

 private:
  TWin* Win() const { return owner_.Find(id_); }
  THeadlessBackend& owner_;
  TWindowId id_;
};

// A memory store that notes its release, so tests can see what was freed and in which order.
class THeadlessBackend::TLoggedStore : public TPixelStore {
 public:
  TLoggedStore(THeadlessBackend& Owner, int W, int H, int Bpp)
      : owner_(Owner), inner_(CreateMemoryPixelStore(W, H, Bpp)), name_(std::to_string(W) + "x" + std::to_string(H)) {
    ++owner_.live_stores_;
  }
  ~TLoggedStore() override {
    --owner_.live_stores_;
    owner_.releases_.push_back("free " + name_);
  }
  uint8_t* Bits() override { return inner_->Bits(); }
  ptrdiff_t Stride() const override { return inner_->Stride(); }
  HDC Handle() override { return inner_->Handle(); }

 private:
  THeadlessBackend& owner_;
  std::unique_ptr<TPixelStore> inner_;
  std::string name_;
};

namespace {
// TColor is 0x00BBGGRR; pixels are 0x00RRGGBB.
uint32_t ToPixel(TColor C) { return ((C & 0xFF) << 16) | (C & 0xFF00) | ((C >> 16) & 0xFF); }
}  // namespace

THeadlessBackend::THeadlessBackend(int ScreenWidth, int ScreenHeight)
    : screen_w_(std::max(0, ScreenWidth)), screen_h_(std::max(0, ScreenHeight)),
      screen_(size_t(screen_w_) * size_t(screen_h_), 0) {}

THeadlessBackend::~THeadlessBackend() = default;

void THeadlessBackend::FillScreen(const std::function<uint32_t(int, int)>& Pixel) {
  for (int y = 0; y < screen_h_; ++y)
    for (int x = 0; x < screen_w_; ++x) ScreenRow(y)[x] = Pixel(x, y) & 0xFFFFFF;
}

void THeadlessBackend::ResizeScreen(int Width, int Height) {
  std::vector<uint32_t> next(size_t(std::max(0, Width)) * size_t(std::max(0, Height)), 0);
  for (int y = 0; y < std::min(Height, screen_h_); ++y)
    for (int x = 0; x < std::min(Width, screen_w_); ++x) next[size_t(y) * size_t(Width) + size_t(x)] = ScreenRow(y)[x];
  screen_ = std::move(next);
  screen_w_ = std::max(0, Width);
  screen_h_ = std::max(0, Height);
}

THeadlessBackend::TWin* THeadlessBackend::Find(TWindowId Id) {
  auto it = windows_.find(Id);
  return it == windows_.end() ? nullptr : it->second.get();
}

std::vector<TWindowId> THeadlessBackend::Windows() const {
  std::vector<TWindowId> ids;
  for (const auto& [id, w] : windows_) ids.push_back(id);
  return ids;
}

const THeadlessBackend::TWindowInfo& THeadlessBackend::Window(TWindowId Id) const {
  auto it = windows_.find(Id);
  if (it == windows_.end()) throw std::out_of_range("no headless window " + std::to_string(Id));
  return it->second->Info;
}

std::unique_ptr<TPixelStore> THeadlessBackend::CreatePixelStore(int Width, int Height, int BitsPerPixel) {
  if (store_limit_ >= 0 && int64_t(Width) * Height > store_limit_)
    throw EOutOfResources("Out of memory for a bitmap of " + std::to_string(Width) + " x " +
                          std::to_string(Height) + " pixels");
  return std::make_unique<TLoggedStore>(*this, Width, Height, BitsPerPixel);
}

HDC THeadlessBackend::GetDC(TWindowId Window) {
  TDeviceContext* dc = nullptr;
  if (Window == 0) {
    dc = new TScreenDC(*this);
  } else {
    if (!Find(Window)) return nullptr;
    dc = new TClientDC(*this, Window);
  }
  ++open_dcs_;
  return TDeviceContext::ToHandle(dc);
}

int THeadlessBackend::ReleaseDC(TWindowId, HDC Dc) {
  if (Dc == nullptr) return 0;
  TDeviceContext* dc = TDeviceContext::FromHandle(Dc);
  releases_.push_back(dynamic_cast<TScreenDC*>(dc) ? "release screen" : "release window");
  delete dc;
  --open_dcs_;
  return 1;
}

TFrameMetrics THeadlessBackend::FrameMetrics(const TWindowParams& Params) {
  return Params.Sizeable ? kFrame : TFrameMetrics{};
}

TWindowId THeadlessBackend::CreateFormWindow(const TWindowParams& Params, TWindowListener* Listener) {
  auto w = std::make_unique<TWin>();
  w->Listener = Listener;
  w->Frame = FrameMetrics(Params);
  w->Background = ToPixel(Params.Color);
  w->Info.Outer = w->Info.Normal = Params.Bounds;
  w->Info.Caption = Params.Caption;
  w->Info.Topmost = Params.StayOnTop;
  w->Info.ColorKeyed = Params.TransparentColor;
  w->Info.ColorKey = ToPixel(Params.TransparentColorValue);
  w->Info.ClientWidth = std::max(0, Params.Bounds.Width() - w->Frame.Left - w->Frame.Right);
  w->Info.ClientHeight = std::max(0, Params.Bounds.Height() - w->Frame.Top - w->Frame.Bottom);
  w->Info.Client.assign(size_t(w->Info.ClientWidth) * size_t(w->Info.ClientHeight), w->Background);
  const TWindowId id = next_window_++;
  windows_[id] = std::move(w);
  return id;
}

void THeadlessBackend::DestroyFormWindow(TWindowId Window) { windows_.erase(Window); }

void THeadlessBackend::Place(TWin& W, const TRect& Outer) {
  const int cw = std::max(0, Outer.Width() - W.Frame.Left - W.Frame.Right);
  const int ch = std::max(0, Outer.Height() - W.Frame.Top - W.Frame.Bottom);
  const bool changed = !W.Told || Outer != W.Info.Outer || cw != W.Info.ClientWidth || ch != W.Info.ClientHeight;
  if (cw != W.Info.ClientWidth || ch != W.Info.ClientHeight) {
    // Keep what fits; the rest is erased to the background, as a platform erases on sizing.
    std::vector<uint32_t> next(size_t(cw) * size_t(ch), W.Background);
    for (int y = 0; y < std::min(ch, W.Info.ClientHeight); ++y)
      for (int x = 0; x < std::min(cw, W.Info.ClientWidth); ++x)
        next[size_t(y) * size_t(cw) + size_t(x)] = W.Info.Client[size_t(y) * size_t(W.Info.ClientWidth) + size_t(x)];
    W.Info.Client = std::move(next);
  }
  W.Info.Outer = Outer;
  W.Info.ClientWidth = cw;
  W.Info.ClientHeight = ch;
  if (W.Info.State == TWindowState::wsNormal) W.Info.Normal = Outer;
  W.PaintPending = true;
  if (changed) {
    W.Told = true;
    W.Listener->WindowBoundsChanged(Outer, cw, ch);
  }
}

void THeadlessBackend::ShowFormWindow(TWindowId Window, TWindowState State) {
  TWin* w = Find(Window);
  if (!w) return;
  w->Info.State = State;
  if (State == TWindowState::wsMinimized) {
    w->Info.Visible = false;
    app_minimized_ = true;
    return;
  }
  w->Info.Visible = true;
  app_minimized_ = false;
  Place(*w, State == TWindowState::wsMaximized ? Bounds(-w->Frame.Left, -w->Frame.Left, screen_w_ + w->Frame.Left + w->Frame.Right,
                                                        screen_h_ + w->Frame.Left + w->Frame.Bottom)
                                               : w->Info.Normal);
}

void THeadlessBackend::HideFormWindow(TWindowId Window) {
  if (TWin* w = Find(Window)) w->Info.Visible = false;
}

void THeadlessBackend::SetWindowBounds(TWindowId Window, const TRect& Outer) {
  TWin* w = Find(Window);
  if (!w) return;
  if (w->Info.State == TWindowState::wsNormal && w->Info.Visible)
    Place(*w, Outer);
  else
    w->Info.Normal = Outer;
}

void THeadlessBackend::InvalidateWindow(TWindowId Window) {
  if (TWin* w = Find(Window)) w->PaintPending = true;
}

void THeadlessBackend::SetState(TWin& W, TWindowState State) {
  if (State == W.Info.State && W.Info.Visible) return;
  const TWindowState before = W.Info.State;
  W.Info.State = State;
  W.Info.Visible = State != TWindowState::wsMinimized;
  W.Listener->WindowStateChanged(State);
  if (State == TWindowState::wsMinimized) return;
  if (State == TWindowState::wsMaximized)
    Place(W, Bounds(-W.Frame.Left, -W.Frame.Left, screen_w_ + W.Frame.Left + W.Frame.Right,
                    screen_h_ + W.Frame.Left + W.Frame.Bottom));
  else if (before != TWindowState::wsNormal)
    Place(W, W.Info.Normal);
}

void THeadlessBackend::PostRestoreFromTaskbar() {
  Post([this] {
    if (!app_minimized_) return;
    app_minimized_ = false;
    if (app_listener_) app_listener_->ApplicationRestore();
  });
}

void THeadlessBackend::PostMove(int Left, int Top) {
  Post([this, Left, Top] {
    if (windows_.empty()) return;
    TWin& w = *windows_.begin()->second;
    if (w.Info.State != TWindowState::wsNormal || !w.Info.Visible) return;
    Place(w, Bounds(Left, Top, w.Info.Outer.Width(), w.Info.Outer.Height()));
  });
}

void THeadlessBackend::PostSize(int Width, int Height) {
  Post([this, Width, Height] {
    if (windows_.empty()) return;
    TWin& w = *windows_.begin()->second;
    if (w.Info.State != TWindowState::wsNormal || !w.Info.Visible) return;
    // A window is never smaller than its frame.
    Place(w, Bounds(w.Info.Outer.Left, w.Info.Outer.Top, std::max(Width, w.Frame.Left + w.Frame.Right),
                    std::max(Height, w.Frame.Top + w.Frame.Bottom)));
  });
}

void THeadlessBackend::PostMaximize() {
  Post([this] {
    if (!windows_.empty() && windows_.begin()->second->Info.Visible)
      SetState(*windows_.begin()->second, TWindowState::wsMaximized);
  });
}

void THeadlessBackend::PostMinimize() {
  Post([this] {
    if (!windows_.empty() && windows_.begin()->second->Info.Visible)
      SetState(*windows_.begin()->second, TWindowState::wsMinimized);
  });
}

void THeadlessBackend::PostInvalidate() {
  Post([this] {
    if (!windows_.empty()) windows_.begin()->second->PaintPending = true;
  });
}

void THeadlessBackend::PostClose() {
  Post([this] {
    if (!windows_.empty()) windows_.begin()->second->Listener->WindowClose();
  });
}

bool THeadlessBackend::DispatchOne() {
  if (!queue_.empty()) {
    auto message = std::move(queue_.front());
    queue_.pop_front();
    message();
    return true;
  }
  // Paints come only once no other message waits, as on the real platforms.
  for (auto& [id, w] : windows_) {
    if (w->PaintPending && w->Info.Visible && w->Info.State != TWindowState::wsMinimized) {
      w->PaintPending = false;
      w->Listener->WindowPaint();
      return true;
    }
  }
  return false;
}

void THeadlessBackend::Pump() {
  while (!terminate_ && DispatchOne()) {
  }
}

void THeadlessBackend::AdvanceTime(int64_t Ms) {
  const int64_t target = now_ + std::max<int64_t>(0, Ms);
  for (;;) {
    Pump();
    if (terminate_) break;
    auto next = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it)
      if (it->second.Due <= target && (next == timers_.end() || it->second.Due < next->second.Due)) next = it;
    if (next == timers_.end()) break;
    now_ = next->second.Due;
    next->second.Due += next->second.Interval;
    auto handler = next->second.OnTimer;  // the handler may stop its own timer
    handler();
  }
  if (!terminate_) now_ = target;
}

TTimerId THeadlessBackend::StartTimer(unsigned IntervalMs, std::function<void()> OnTimer) {
  const TTimerId id = next_timer_++;
  timers_[id] = TTimer{std::max(1u, IntervalMs), now_ + std::max(1u, IntervalMs), std::move(OnTimer)};
  return id;
}

void THeadlessBackend::StopTimer(TTimerId Timer) { timers_.erase(Timer); }

void THeadlessBackend::RunMessageLoop() {
  running_ = true;
  while (!terminate_) {
    if (DispatchOne()) continue;
    if (!driver_ || !driver_(*this)) {
      if (terminate_) break;
      running_ = false;
      throw std::logic_error("headless message loop idle: the driver ended without closing the window");
    }
  }
  running_ = false;
}

void THeadlessBackend::ShowException(const std::string& Message) {
  exceptions_.push_back(Message);
  std::cerr << "halvik: " << Message << "\n";
}

std::vector<uint32_t> THeadlessBackend::ComposedView() const {
  std::vector<uint32_t> view = screen_;
  auto put = [&](int x, int y, uint32_t p) {
    if (x >= 0 && y >= 0 && x < screen_w_ && y < screen_h_) view[size_t(y) * size_t(screen_w_) + size_t(x)] = p;
  };
  for (const auto& [id, w] : windows_) {
    const TWindowInfo& i = w->Info;
    if (!i.Visible || i.State == TWindowState::wsMinimized) continue;
    const int cx = i.Outer.Left + w->Frame.Left, cy = i.Outer.Top + w->Frame.Top;
    for (int y = i.Outer.Top; y < i.Outer.Bottom; ++y)
      for (int x = i.Outer.Left; x < i.Outer.Right; ++x) {
        const int u = x - cx, v = y - cy;
        if (u >= 0 && v >= 0 && u < i.ClientWidth && v < i.ClientHeight) {
          const uint32_t p = i.Client[size_t(v) * size_t(i.ClientWidth) + size_t(u)] & 0xFFFFFF;
          if (!(i.ColorKeyed && p == i.ColorKey)) put(x, y, p);
        } else {
          put(x, y, kFrameColor);
        }
      }
  }
  return view;
}

}  // namespace halvik
