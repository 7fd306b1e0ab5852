// The application and form windows of the Win32 back end: what Windows holds for them, and
// how the user's commands (sent as the messages Windows sends) reach the program.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/core/Exceptions.h"
#include "platform/win32/Win32Backend.h"
#include "platform/win32/Win32Api.h"

namespace halvik {
namespace {

using win32::Native;

// Keeps the exception display out of the way (a message box would wait for a person).
class TQuietBackend : public win32::TWin32Backend {
 public:
  void ShowException(const std::string& Message) override { Shown.push_back(Message); }
  std::vector<std::string> Shown;
};

struct TRecorder : TWindowListener, TApplicationListener {
  void WindowBoundsChanged(const TRect& O, int CW, int CH) override {
    Outer = O;
    ClientW = CW;
    ClientH = CH;
    ++Bounds;
  }
  void WindowStateChanged(TWindowState S) override { States.push_back(S); }
  void WindowPaint() override { ++Paints; }
  void WindowClose() override { ++Closes; }
  void ApplicationRestore() override { ++Restores; }
  TRect Outer;
  int ClientW = -1, ClientH = -1, Bounds = 0, Paints = 0, Closes = 0, Restores = 0;
  std::vector<TWindowState> States;
};

// The main form's settings.
TWindowParams FormParams() {
  TWindowParams p;
  p.Bounds = Bounds(216, 216, 356, 481);
  p.Caption = "-Halvik-";
  p.Color = clGray;
  p.TransparentColor = true;
  p.TransparentColorValue = clGray;
  p.StayOnTop = true;
  return p;
}

TRect WindowRect(HWND H) {
  RECT r;
  GetWindowRect(H, &r);
  return TRect{int(r.left), int(r.top), int(r.right), int(r.bottom)};
}

class Win32Window : public ::testing::Test {
 protected:
  void SetUp() override {
    SetPlatform(&backend_);
    backend_.SetApplicationListener(&rec_);
    backend_.SetApplicationTitle("Halvik");
    form_id_ = backend_.CreateFormWindow(FormParams(), &rec_);
    form_ = Native(form_id_);
    app_ = Native(backend_.ApplicationWindow());
  }
  void TearDown() override { SetPlatform(nullptr); }
  void SysCommand(HWND H, WPARAM Command) { SendMessageW(H, WM_SYSCOMMAND, Command, 0); }
  TQuietBackend backend_;
  TRecorder rec_;
  TWindowId form_id_ = 0;
  HWND form_ = nullptr, app_ = nullptr;
};

TEST_F(Win32Window, TheFormIsHiddenLayeredTopmostAndOwnedByTheApplication) {
  const LONG_PTR style = GetWindowLongPtrW(form_, GWL_STYLE), ex = GetWindowLongPtrW(form_, GWL_EXSTYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
            LONG_PTR(WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_FALSE(style & WS_VISIBLE);
  EXPECT_FALSE(style & WS_MINIMIZE) << "a form made minimized comes back at its minimized size";
  EXPECT_TRUE(ex & WS_EX_LAYERED);
  EXPECT_TRUE(ex & WS_EX_TOPMOST);
  COLORREF key = 0;
  BYTE alpha = 0;
  DWORD flags = 0;
  ASSERT_TRUE(GetLayeredWindowAttributes(form_, &key, &alpha, &flags));
  EXPECT_EQ(key, RGB(128, 128, 128));
  EXPECT_EQ(flags, DWORD(LWA_COLORKEY)) << "the key alone: the alpha value is not applied";
  EXPECT_EQ(GetWindow(form_, GW_OWNER), app_);
  wchar_t text[32] = {};
  GetWindowTextW(form_, text, 32);
  EXPECT_EQ(std::wstring(text), L"-Halvik-");
  GetWindowTextW(app_, text, 32);
  EXPECT_EQ(std::wstring(text), L"Halvik");
  EXPECT_EQ(WindowRect(form_), FormParams().Bounds);
  // Nothing was reported while the window came into being.
  EXPECT_EQ(rec_.Bounds, 0);
}

TEST_F(Win32Window, FrameMetricsGiveTheClientAreaWindowsMakes) {
  const TFrameMetrics f = backend_.FrameMetrics(FormParams());
  RECT c;
  GetClientRect(form_, &c);
  EXPECT_EQ(c.right, 356 - f.Left - f.Right);
  EXPECT_EQ(c.bottom, 481 - f.Top - f.Bottom);
  EXPECT_GT(f.Top, f.Bottom) << "the caption is part of the top";
}

TEST_F(Win32Window, MinimizingLeavesOnlyTheApplicationsEntry) {
  backend_.ShowFormWindow(form_id_, TWindowState::wsMinimized);
  EXPECT_FALSE(IsWindowVisible(form_));
  EXPECT_TRUE(IsWindowVisible(app_));
  EXPECT_TRUE(IsIconic(app_));
  EXPECT_FALSE(IsIconic(form_));
}

TEST_F(Win32Window, RestoringTheEntryTellsTheApplicationOnce) {
  backend_.ShowFormWindow(form_id_, TWindowState::wsMinimized);
  SysCommand(app_, SC_RESTORE);
  EXPECT_EQ(rec_.Restores, 1);
  EXPECT_FALSE(IsIconic(app_));
  SysCommand(app_, SC_RESTORE);  // not minimized: nothing to restore
  EXPECT_EQ(rec_.Restores, 1);
}

TEST_F(Win32Window, ShowingNormalPlacesTheFormAtItsStoredBounds) {
  backend_.ShowFormWindow(form_id_, TWindowState::wsMinimized);
  backend_.SetWindowBounds(form_id_, Bounds(100, 120, 300, 200));
  EXPECT_FALSE(IsWindowVisible(form_)) << "setting bounds does not show";
  backend_.ShowFormWindow(form_id_, TWindowState::wsNormal);
  EXPECT_TRUE(IsWindowVisible(form_));
  EXPECT_FALSE(IsIconic(app_));
  EXPECT_EQ(WindowRect(form_), Bounds(100, 120, 300, 200));
  EXPECT_EQ(rec_.Outer, Bounds(100, 120, 300, 200));
  const TFrameMetrics f = backend_.FrameMetrics(FormParams());
  EXPECT_EQ(rec_.ClientW, 300 - f.Left - f.Right);
  EXPECT_EQ(rec_.ClientH, 200 - f.Top - f.Bottom);
  EXPECT_TRUE(GetWindowLongPtrW(form_, GWL_EXSTYLE) & WS_EX_TOPMOST);
  // A move while shown is told at once.
  backend_.SetWindowBounds(form_id_, Bounds(50, 60, 320, 240));
  EXPECT_EQ(rec_.Outer, Bounds(50, 60, 320, 240));
  EXPECT_EQ(rec_.ClientW, 320 - f.Left - f.Right);
}

TEST_F(Win32Window, AUserMinimizeOfFormOrEntryGoesToTheProgram) {
  for (bool from_entry : {false, true}) {
    rec_.States.clear();
    backend_.ShowFormWindow(form_id_, TWindowState::wsNormal);
    SysCommand(from_entry ? app_ : form_, SC_MINIMIZE);
    ASSERT_EQ(rec_.States.size(), 1u) << from_entry;
    EXPECT_EQ(rec_.States[0], TWindowState::wsMinimized) << from_entry;
    // Windows itself did not minimize the form: the program decides what minimizing means.
    EXPECT_FALSE(IsIconic(form_)) << from_entry;
  }
}

TEST_F(Win32Window, MaximizeAndBackAreToldAsStates) {
  backend_.ShowFormWindow(form_id_, TWindowState::wsMaximized);
  EXPECT_TRUE(IsZoomed(form_));
  EXPECT_TRUE(rec_.States.empty()) << "a state the program asked for is not told back";
  SysCommand(form_, SC_RESTORE);
  ASSERT_FALSE(rec_.States.empty());
  EXPECT_EQ(rec_.States.back(), TWindowState::wsNormal);
  EXPECT_EQ(rec_.Outer, FormParams().Bounds);
  SysCommand(form_, SC_MAXIMIZE);
  EXPECT_EQ(rec_.States.back(), TWindowState::wsMaximized);
}

TEST_F(Win32Window, CloseRequestsReachTheProgramAndLeaveTheWindows) {
  SendMessageW(form_, WM_CLOSE, 0, 0);
  SendMessageW(app_, WM_CLOSE, 0, 0);
  EXPECT_EQ(rec_.Closes, 2);
  EXPECT_TRUE(IsWindow(form_));
  EXPECT_TRUE(IsWindow(app_));
}

TEST_F(Win32Window, PaintRequestsArePaintedFromTheLoop) {
  backend_.ShowFormWindow(form_id_, TWindowState::wsNormal);
  int ticks = 0, before = -1, right_after = -1;
  backend_.StartTimer(20, [&] {
    ++ticks;
    if (ticks == 2) {
      before = rec_.Paints;
      backend_.InvalidateWindow(form_id_);
      right_after = rec_.Paints;
    }
    if (ticks == 5) backend_.Terminate();
  });
  backend_.RunMessageLoop();
  EXPECT_GE(before, 1) << "a window that is shown gets painted";
  EXPECT_EQ(right_after, before) << "painting waits for the loop";
  EXPECT_EQ(rec_.Paints, before + 1) << "one request, one paint";
}

TEST_F(Win32Window, ADestroyedFormHearsNothingMore) {
  backend_.ShowFormWindow(form_id_, TWindowState::wsNormal);
  const int bounds = rec_.Bounds;
  backend_.DestroyFormWindow(form_id_);
  EXPECT_FALSE(IsWindow(form_));
  EXPECT_EQ(rec_.Bounds, bounds);
  SendMessageW(app_, WM_CLOSE, 0, 0);
  SysCommand(app_, SC_MINIMIZE);
  EXPECT_EQ(rec_.Closes, 0);
  EXPECT_TRUE(rec_.States.empty());
}

TEST_F(Win32Window, TheWindowCanvasContextIsRealAndReleasedOnce) {
  backend_.ShowFormWindow(form_id_, TWindowState::wsNormal);
  HDC dc = backend_.GetDC(form_id_);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(WindowFromDC(Native(dc)), form_);
  EXPECT_TRUE(backend_.FillRect(dc, TRect{0, 0, 356, 481}, clGray));
  EXPECT_EQ(backend_.ReleaseDC(form_id_, dc), 1);
  EXPECT_EQ(backend_.ReleaseDC(form_id_, dc), 0);
  EXPECT_EQ(backend_.GetDC(TWindowId(12345)), nullptr) << "no such window";
}

class Win32Loop : public ::testing::Test {
 protected:
  void SetUp() override { SetPlatform(&backend_); }
  void TearDown() override { SetPlatform(nullptr); }
  TQuietBackend backend_;
};

TEST_F(Win32Loop, TimersTickFromTheLoopUntilStopped) {
  int a = 0, b = 0;
  TTimerId ta = 0;
  ta = backend_.StartTimer(10, [&] {
    if (++a == 3) backend_.StopTimer(ta);  // a handler may stop its own timer
  });
  backend_.StartTimer(15, [&] {
    if (++b == 6) backend_.Terminate();
  });
  backend_.RunMessageLoop();
  EXPECT_EQ(a, 3);
  EXPECT_EQ(b, 6);
}

TEST_F(Win32Loop, AnExceptionLeavingAHandlerIsShownAndTheLoopGoesOn) {
  int ticks = 0;
  backend_.StartTimer(10, [&] {
    ++ticks;
    if (ticks == 1) throw EOutOfResources("Cannot get a device context for the window's canvas");
    if (ticks == 2) throw 42;  // not even an exception class
    if (ticks == 4) backend_.Terminate();
  });
  backend_.RunMessageLoop();
  EXPECT_EQ(ticks, 4);
  ASSERT_EQ(backend_.Shown.size(), 2u);
  EXPECT_EQ(backend_.Shown[0], "Cannot get a device context for the window's canvas");
  EXPECT_FALSE(backend_.Shown[1].empty());
}

TEST_F(Win32Loop, TerminateBeforeTheLoopReturnsAtOnce) {
  int ticks = 0;
  backend_.StartTimer(10, [&] { ++ticks; });
  backend_.Terminate();
  backend_.RunMessageLoop();
  EXPECT_EQ(ticks, 0);
}

}  // namespace
}  // namespace halvik
