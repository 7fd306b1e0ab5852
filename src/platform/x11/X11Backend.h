// The native Linux back end over Xlib. Windows are top-level X windows managed by the window
// manager (EWMH/ICCCM); the screen copy is TScreenCopy; the colour key is the window's shape;
// pictures go to the window with MIT-SHM; timers run from the event loop's own timeout.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>

#include "platform/core/Backend.h"

namespace halvik::x11 {

class TScreenCopy;

class TX11Backend : public TPlatformBackend {
 public:
  // Opens the display (null: $DISPLAY); raises EOutOfResources when it cannot.
  explicit TX11Backend(const char* DisplayName = nullptr);
  ~TX11Backend() override;
  std::string Name() const override { return "x11"; }

  Display* XDisplay() const { return dpy_; }
  // The X window of a form window (its client window), 0 for none.
  Window ClientWindow(TWindowId Id) const;

  HDC GetDC(TWindowId Window) override;
  int ReleaseDC(TWindowId Window, HDC Dc) override;
  int ScreenWidth() override;
  int ScreenHeight() override;
  void SetApplicationTitle(const std::string& Title) override;
  void SetApplicationListener(TApplicationListener* Listener) override { app_listener_ = Listener; }
  TShowCommand StartupShowCommand() override { return TShowCommand::Normal; }
  TFrameMetrics FrameMetrics(const TWindowParams& Params) override;
  TWindowId CreateFormWindow(const TWindowParams& Params, TWindowListener* Listener) override;
  void DestroyFormWindow(TWindowId Window) override;
  void ShowFormWindow(TWindowId Window, TWindowState State) override;
  void HideFormWindow(TWindowId Window) override;
  void SetWindowBounds(TWindowId Window, const TRect& Outer) override;
  void InvalidateWindow(TWindowId Window) override;
  TTimerId StartTimer(unsigned IntervalMs, std::function<void()> OnTimer) override;
  void StopTimer(TTimerId Timer) override;
  void RunMessageLoop() override;
  void Terminate() override { terminate_ = true; }
  void ShowException(const std::string& Message) override;

 private:
  struct TWin;
  class TScreenDC;
  class TClientDC;
  using TClock = std::chrono::steady_clock;
  struct TTimer {
    TClock::duration Interval;
    TClock::time_point Due;
    std::function<void()> OnTimer;
  };
  enum class TXState { Withdrawn, Iconic, Normal, Maximized };

  TWin* Find(TWindowId Id) const;
  TWin* FindByX(Window W) const;
  bool IsOwnTopLevel(Window W) const;
  bool WindowManagerRunning();
  bool Supported(Atom A);
  void Handle(XEvent& E);
  // Reads the window's state and geometry as the window manager has them and tells the form
  // what changed. Force reports the bounds even when unchanged.
  void Sync(TWin& W, bool Force);
  // Tells the form the bounds as last known, when they changed (or always with Force).
  void ReportBoundsNow(TWin& W, bool Force);
  TXState ReadState(TWin& W);
  void ReadFrameExtents(TWin& W);
  void ResizePicture(TWin& W, int Width, int Height);
  void SetNetState(TWin& W, bool Add, Atom A1, Atom A2);
  void SetHints(TWin& W, bool Iconic);
  bool DispatchPaint();
  bool FireDueTimer();

  Display* dpy_;
  int screen_;
  Window root_;
  std::unique_ptr<TScreenCopy> screen_copy_;
  std::string title_;
  TApplicationListener* app_listener_ = nullptr;
  std::map<TWindowId, std::unique_ptr<TWin>> windows_;
  TWindowId next_window_ = 1;
  std::map<TTimerId, TTimer> timers_;
  TTimerId next_timer_ = 1;
  bool terminate_ = false;
  bool app_minimized_ = false;
  bool have_frame_metrics_ = false;
  TFrameMetrics frame_metrics_;
  struct TAtoms;
  std::unique_ptr<TAtoms> atoms_;
};

}  // namespace halvik::x11
