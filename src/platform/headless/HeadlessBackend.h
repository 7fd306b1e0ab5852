// A virtual desktop for tests and for running without a display: a screen of chosen pixels,
// top-level windows with a fixed frame, a taskbar, a virtual clock and user actions that a
// test posts. Deterministic: nothing depends on real time or on another thread.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Backend.h"

namespace halvik {

class THeadlessBackend : public TPlatformBackend {
 public:
  // The frame every sizeable window gets: a caption bar and a border.
  static constexpr TFrameMetrics kFrame{8, 31, 8, 8};

  THeadlessBackend(int ScreenWidth, int ScreenHeight);
  ~THeadlessBackend() override;
  std::string Name() const override { return "headless"; }

  // ---- What a test sets up
  // The desktop's pixels (0x00RRGGBB), what a screen copy reads; the windows are not in it.
  uint32_t* ScreenRow(int Y) { return &screen_[size_t(Y) * size_t(screen_w_)]; }
  void FillScreen(const std::function<uint32_t(int X, int Y)>& Pixel);
  // A new primary display size; what is already on the desktop stays where it fits.
  void ResizeScreen(int Width, int Height);
  void SetStartupShowCommand(TShowCommand Command) { show_command_ = Command; }
  // Make the next screen copies fail (the copy writes nothing and reports failure).
  void SetScreenCopyFails(bool Fails) { screen_copy_fails_ = Fails; }
  // Make pixel stores of more than this many pixels fail as if out of memory (-1: never).
  void SetPixelStoreLimit(int64_t Pixels) { store_limit_ = Pixels; }

  // ---- What a test does: user actions, queued and handled by the message loop in order
  void PostRestoreFromTaskbar();
  void PostMove(int Left, int Top);
  void PostSize(int Width, int Height);
  void PostMaximize();
  void PostMinimize();
  void PostInvalidate();
  void PostClose();
  // Handles the queued messages (and paints); time does not move.
  void Pump();
  // Moves the clock on by Ms, handling queued messages and every timer message that falls due,
  // in time order.
  void AdvanceTime(int64_t Ms);
  int64_t Now() const { return now_; }
  // RunMessageLoop calls this whenever no message is queued; it posts actions or advances
  // time. Returning false while the loop still runs is an error (the loop would never end).
  void SetDriver(std::function<bool(THeadlessBackend&)> Driver) { driver_ = std::move(Driver); }

  // ---- What a test inspects
  struct TWindowInfo {
    TRect Outer;          // current outer bounds
    TRect Normal;         // normal-state bounds
    TWindowState State = TWindowState::wsNormal;
    bool Visible = false;
    bool Topmost = false;
    std::string Caption;
    bool ColorKeyed = false;
    uint32_t ColorKey = 0;  // 0x00RRGGBB
    int ClientWidth = 0, ClientHeight = 0;
    std::vector<uint32_t> Client;  // the client area's pixels, row by row
  };
  // The program's windows, in creation order.
  std::vector<TWindowId> Windows() const;
  const TWindowInfo& Window(TWindowId Id) const;
  const std::string& TaskbarText() const { return title_; }
  bool ApplicationMinimized() const { return app_minimized_; }
  // What a person would see: the desktop with every visible window over it, its frame in a
  // plain colour and its client picture, where each key-coloured pixel shows what lies behind.
  std::vector<uint32_t> ComposedView() const;
  const std::vector<std::string>& ShownExceptions() const { return exceptions_; }
  bool LoopRunning() const { return running_; }
  int OpenDeviceContexts() const { return open_dcs_; }
  // Releases of pixel stores and device contexts in the order they happened:
  // "free 640x480", "release screen", "release window".
  const std::vector<std::string>& Releases() const { return releases_; }
  int64_t LivePixelStores() const { return live_stores_; }

  // ---- The back-end entries
  std::unique_ptr<TPixelStore> CreatePixelStore(int Width, int Height, int BitsPerPixel) override;
  HDC GetDC(TWindowId Window) override;
  int ReleaseDC(TWindowId Window, HDC Dc) override;
  int ScreenWidth() override { return screen_w_; }
  int ScreenHeight() override { return screen_h_; }
  void SetApplicationTitle(const std::string& Title) override { title_ = Title; }
  void SetApplicationListener(TApplicationListener* Listener) override { app_listener_ = Listener; }
  TShowCommand StartupShowCommand() override { return show_command_; }
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

  static constexpr uint32_t kFrameColor = 0x202830;

 private:
  struct TWin;
  class TScreenDC;
  class TClientDC;
  TWin* Find(TWindowId Id);
  void Post(std::function<void()> Message) { queue_.push_back(std::move(Message)); }
  // Applies new outer bounds and tells the form when anything changed.
  void Place(TWin& W, const TRect& Outer);
  void SetState(TWin& W, TWindowState State);
  // Handles one queued message or pending paint; false when there was none.
  bool DispatchOne();

  int screen_w_, screen_h_;
  std::vector<uint32_t> screen_;
  TShowCommand show_command_ = TShowCommand::Normal;
  bool screen_copy_fails_ = false;
  int64_t store_limit_ = -1;
  std::string title_;
  bool app_minimized_ = false;
  TApplicationListener* app_listener_ = nullptr;
  std::map<TWindowId, std::unique_ptr<TWin>> windows_;
  TWindowId next_window_ = 1;
  struct TTimer {
    unsigned Interval;
    int64_t Due;
    std::function<void()> OnTimer;
  };
  std::map<TTimerId, TTimer> timers_;
  TTimerId next_timer_ = 1;
  std::deque<std::function<void()>> queue_;
  int64_t now_ = 0;
  bool terminate_ = false;
  bool running_ = false;
  std::function<bool(THeadlessBackend&)> driver_;
  std::vector<std::string> exceptions_;
  int open_dcs_ = 0;
  std::vector<std::string> releases_;
  int64_t live_stores_ = 0;
  class TLoggedStore;
};

}  // namespace halvik
