// The back end over the real user32, gdi32 and kernel32. Bitmaps are 32-bit DIB sections in
// memory DCs; the screen and window contexts are the real ones. The application owns a hidden
// window that carries the taskbar entry and owns every form, so that minimizing the
// application hides the form and leaves only the entry, and restoring the entry brings the
// form back at its stored bounds.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/core/Backend.h"

namespace halvik::win32 {

class TWin32Backend : public TPlatformBackend {
 public:
  // Registers the window classes and creates the application window; raises EOutOfResources.
  TWin32Backend();
  ~TWin32Backend() override;
  TWin32Backend(const TWin32Backend&) = delete;
  TWin32Backend& operator=(const TWin32Backend&) = delete;
  std::string Name() const override { return "win32"; }

  // The hidden window that owns the forms and the taskbar entry (for tests and tools).
  TWindowId ApplicationWindow() const { return app_; }

  std::unique_ptr<TPixelStore> CreatePixelStore(int Width, int Height, int BitsPerPixel) override;
  HDC GetDC(TWindowId Window) override;
  int ReleaseDC(TWindowId Window, HDC Dc) override;
  // Real device contexts (this back end's, or any other GDI one) go to the real BitBlt and
  // FillRect; two generic (memory) contexts from before it was installed still copy; a copy
  // between one of each fails.
  bool BitBlt(HDC Dst, int X, int Y, int W, int H, HDC Src, int SrcX, int SrcY, uint32_t Rop) override;
  bool FillRect(HDC Dc, const TRect& Rect, TColor Color) override;
  int ScreenWidth() override;
  int ScreenHeight() override;
  void SetApplicationTitle(const std::string& Title) override;
  void SetApplicationListener(TApplicationListener* Listener) override { app_listener_ = Listener; }
  TShowCommand StartupShowCommand() override;
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
  void Terminate() override;
  // A message box with the application's title; its modal loop keeps the timers running.
  void ShowException(const std::string& Message) override;

 private:
  friend struct TWin32Messages;
  struct TWin;
  using TDcSet = std::unordered_set<const void*>;
  TWin* Find(TWindowId Window) const;
  // A real GDI device context: one this back end made, or one Windows knows as a DC.
  bool IsReal(HDC Dc) const;
  // Tells the window's listener its bounds as Windows has them now.
  void Report(TWindowId Window);
  // Runs a call into the program; an exception that leaves it is shown and goes no further,
  // since it must never unwind through Windows' own frames.
  void Guard(const std::function<void()>& Call);
  // The user minimized the application (from its entry or a form): every shown form hears it.
  void MinimizeFromUser();

  TWindowId app_ = 0;
  std::string title_;
  TApplicationListener* app_listener_ = nullptr;
  std::vector<std::unique_ptr<TWin>> windows_;  // in creation order
  std::map<uintptr_t, std::function<void()>> timers_;
  uintptr_t next_timer_ = 1;
  bool terminate_ = false;
  // The device contexts this back end made (stores' and GetDC's); shared with the stores,
  // which may outlive the back end.
  std::shared_ptr<TDcSet> dcs_ = std::make_shared<TDcSet>();
  TDcSet lent_;  // those of GetDC not yet released
};

}  // namespace halvik::win32
