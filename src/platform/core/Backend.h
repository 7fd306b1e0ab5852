// The one interface between the platform layer and a back end (headless, X11, Win32).
// Everything a back end does for the program goes through these entries; OS types stay behind
// them. All entries are called on the main thread, and every callback a back end makes into the
// listeners runs from inside RunMessageLoop (or a call that the program made), one at a time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/core/DeviceContext.h"
#include "platform/core/Geometry.h"
#include "platform/core/PixelStore.h"

namespace halvik {

enum class TWindowState { wsNormal, wsMinimized, wsMaximized };

// Show commands the process can be started with.
enum class TShowCommand { Normal, Minimized, Maximized };

using TWindowId = uintptr_t;  // 0 is no window (and, for GetDC, the whole screen)
using TTimerId = uintptr_t;   // 0 is no timer

// What a form asks of its window when it is created.
struct TWindowParams {
  TRect Bounds;                 // outer bounds in screen pixels (the normal-state bounds)
  std::string Caption;
  TColor Color = clGray;        // background
  bool TransparentColor = false;
  TColor TransparentColorValue = clGray;  // shown transparent when TransparentColor
  bool StayOnTop = false;
  bool Sizeable = true;         // a sizeable frame with a caption
  bool SystemMenu = true, MinimizeBox = true, MaximizeBox = true;
  bool AlphaBlend = false;
  uint8_t AlphaBlendValue = 255;
};

// The frame around a client area: outer bounds less client bounds, per side.
struct TFrameMetrics {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// What a back end reports about one window.
class TWindowListener {
 public:
  virtual ~TWindowListener() = default;
  // The outer bounds or the client size changed (moved, sized, maximized, restored).
  virtual void WindowBoundsChanged(const TRect& Outer, int ClientWidth, int ClientHeight) = 0;
  // The user (or the window manager) changed the window's state.
  virtual void WindowStateChanged(TWindowState State) = 0;
  // The client area needs painting.
  virtual void WindowPaint() = 0;
  // The user asked to close the window.
  virtual void WindowClose() = 0;
};

// What a back end reports about the application as a whole.
class TApplicationListener {
 public:
  virtual ~TApplicationListener() = default;
  // The user restored the application from its taskbar entry.
  virtual void ApplicationRestore() = 0;
};

class TPlatformBackend {
 public:
  virtual ~TPlatformBackend() = default;
  // A short name for messages: "headless", "x11", "win32".
  virtual std::string Name() const = 0;

  // --- Pixel stores
  // A top-down store of Width x Height pixels (both > 0); raises EOutOfResources when it cannot.
  virtual std::unique_ptr<TPixelStore> CreatePixelStore(int Width, int Height, int BitsPerPixel) {
    return CreateMemoryPixelStore(Width, Height, BitsPerPixel);
  }

  // --- Device contexts
  // A context of the window's client area, or of the whole screen for window 0; null on failure.
  virtual HDC GetDC(TWindowId Window) = 0;
  // Releases a context from GetDC; 1 when released, 0 otherwise.
  virtual int ReleaseDC(TWindowId Window, HDC Dc) = 0;
  // Copies W x H pixels from (SrcX, SrcY) of Src to (X, Y) of Dst, clipped to both; false on failure.
  virtual bool BitBlt(HDC Dst, int X, int Y, int W, int H, HDC Src, int SrcX, int SrcY, uint32_t Rop) {
    return GenericBitBlt(Dst, X, Y, W, H, Src, SrcX, SrcY, Rop);
  }
  // Fills a rectangle of a context with a colour, clipped to the context; false on failure.
  virtual bool FillRect(HDC Dc, const TRect& Rect, TColor Color) {
    return GenericFillRect(Dc, Rect.Left, Rect.Top, Rect.Right, Rect.Bottom, Color);
  }

  // --- Screen
  // The primary display's size in pixels.
  virtual int ScreenWidth() = 0;
  virtual int ScreenHeight() = 0;

  // --- Application
  // The text of the application's taskbar entry.
  virtual void SetApplicationTitle(const std::string& Title) = 0;
  virtual void SetApplicationListener(TApplicationListener* Listener) = 0;
  // How the process was asked to show its main window.
  virtual TShowCommand StartupShowCommand() = 0;

  // --- Windows
  // The frame a window with these parameters gets; constant for the window's life.
  virtual TFrameMetrics FrameMetrics(const TWindowParams& Params) = 0;
  // Creates a hidden top-level window; raises EOutOfResources when it cannot.
  virtual TWindowId CreateFormWindow(const TWindowParams& Params, TWindowListener* Listener) = 0;
  // Destroys the window; no callback reaches its listener afterwards.
  virtual void DestroyFormWindow(TWindowId Window) = 0;
  // Shows the window in a state. wsMinimized minimizes the application to its taskbar entry
  // without showing the window; wsNormal shows it at its normal bounds.
  virtual void ShowFormWindow(TWindowId Window, TWindowState State) = 0;
  // Hides the window (and leaves the taskbar entry alone).
  virtual void HideFormWindow(TWindowId Window) = 0;
  // Moves and sizes the window's normal-state outer bounds.
  virtual void SetWindowBounds(TWindowId Window, const TRect& Outer) = 0;
  // Asks for a paint of the client area later, from the message loop.
  virtual void InvalidateWindow(TWindowId Window) = 0;

  // --- Timers and the message loop
  // Calls OnTimer from the message loop every IntervalMs milliseconds; raises EOutOfResources.
  virtual TTimerId StartTimer(unsigned IntervalMs, std::function<void()> OnTimer) = 0;
  virtual void StopTimer(TTimerId Timer) = 0;
  // Runs messages until Terminate is called; returns then.
  virtual void RunMessageLoop() = 0;
  // Makes RunMessageLoop return once the current message is handled.
  virtual void Terminate() = 0;
  // The default exception display: tells the user of an error that left a handler.
  virtual void ShowException(const std::string& Message) = 0;
};

// The back end in use. Until one is installed, a built-in one that only has memory bitmaps and
// generic device contexts (its window and screen entries raise EOutOfResources).
TPlatformBackend& Platform();
// Installs a back end (null: the built-in one). The caller keeps ownership.
void SetPlatform(TPlatformBackend* Backend);

}  // namespace halvik
