// The X11 back end in this process, on the test display under its window manager: the screen
// copy and the colour key, looked at from a second connection.
// GoogleTest comes before Xlib, whose macros (Bool, None) would clash with it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include "XTestSupport.h"
#include "platform/core/Backend.h"
#include "platform/x11/X11Backend.h"
#include "platform/x11/tools/Scene.h"

namespace halvik::x11test {
namespace {

using namespace std::chrono_literals;

struct TListener : TWindowListener {
  void WindowBoundsChanged(const TRect&, int W, int H) override { ClientW = W, ClientH = H; }
  void WindowStateChanged(TWindowState) override {}
  void WindowPaint() override {}
  void WindowClose() override {}
  int ClientW = 0, ClientH = 0;
};

class X11BackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    InstallQuietErrorHandler();
    dpy_ = XOpenDisplay(nullptr);
    ASSERT_NE(dpy_, nullptr) << "these tests run on the display that scripts/test-x11.sh starts";
    screen_w_ = DisplayWidth(dpy_, DefaultScreen(dpy_));
    screen_h_ = DisplayHeight(dpy_, DefaultScreen(dpy_));
  }
  void TearDown() override {
    backend_.reset();
    if (dpy_) XCloseDisplay(dpy_);
  }
  // Runs the back end's message loop until Done holds (or 5 s pass).
  bool Pump(const std::function<bool()>& Done) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    bool held = false;
    const TTimerId t = backend_->StartTimer(5, [&] {
      XSync(dpy_, False);
      held = Done();
      if (held || std::chrono::steady_clock::now() > end) backend_->Terminate();
    });
    backend_->RunMessageLoop();
    backend_->StopTimer(t);
    return held;
  }
  // A shown window of the back end at its place, in its normal state.
  TWindowId ShowWindow(int Left, int Top, int W, int H, bool Keyed) {
    TWindowParams params;
    params.Bounds = Bounds(Left, Top, W, H);
    params.Caption = "backend test";
    params.TransparentColor = Keyed;
    const TWindowId id = backend_->CreateFormWindow(params, &listener_);
    backend_->ShowFormWindow(id, TWindowState::wsNormal);
    const Window client = backend_->ClientWindow(id);
    EXPECT_TRUE(Pump([&] { return WmState(dpy_, client) == NormalState && PlaceOf(dpy_, client).Viewable; }));
    return id;
  }
  void FillWindow(TWindowId Id, const TRect& R, TColor C) {
    HDC dc = backend_->GetDC(Id);
    ASSERT_NE(dc, nullptr);
    EXPECT_TRUE(backend_->FillRect(dc, R, C));
    backend_->ReleaseDC(Id, dc);
  }
  std::vector<uint32_t> CopyScreen() {
    TABitmap shot;
    shot.SetWidth(screen_w_);
    shot.SetHeight(screen_h_);
    shot.Fill(0, 0, 0);
    HDC screen = backend_->GetDC(0);
    EXPECT_TRUE(backend_->BitBlt(shot.Canvas().Handle(), 0, 0, screen_w_, screen_h_, screen, 0, 0, kSrcCopy));
    backend_->ReleaseDC(0, screen);
    std::vector<uint32_t> p;
    for (int y = 0; y < screen_h_; ++y)
      for (int x = 0; x < screen_w_; ++x) p.push_back(static_cast<uint32_t*>(shot.ScanLine(y))[x]);
    return p;
  }

  Display* dpy_ = nullptr;
  int screen_w_ = 0, screen_h_ = 0;
  std::unique_ptr<x11::TX11Backend> backend_;
  TListener listener_;
};

// The root background named by _XROOTPMAP_ID, and a plain root background without it.
class X11ScreenCopyTest : public X11BackendTest, public ::testing::WithParamInterface<bool> {};

TEST_P(X11ScreenCopyTest, CopiesOtherWindowsOverTheBackgroundButNotItsOwnWindowOrFrame) {
  ASSERT_TRUE(x11::SetRootScene(dpy_, GetParam(), false));
  backend_ = std::make_unique<x11::TX11Backend>();
  const TWindowId own = ShowWindow(100, 100, 400, 300, false);
  FillWindow(own, TRect{0, 0, 400, 300}, 0x00FF00);
  // Another program's window, partly under the own one.
  XSetWindowAttributes a{};
  a.override_redirect = True;
  a.background_pixel = 0x0000FF;
  Window other = XCreateWindow(dpy_, DefaultRootWindow(dpy_), 350, 250, 200, 150, 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWOverrideRedirect | CWBackPixel, &a);
  XMapWindow(dpy_, other);
  XLowerWindow(dpy_, other);  // below the own window
  XSync(dpy_, False);
  EXPECT_TRUE(Pump([&] { return PlaceOf(dpy_, other).Viewable; }));

  const std::vector<uint32_t> copy = CopyScreen();
  int wrong = 0, first_x = -1, first_y = -1;
  for (int y = 0; y < screen_h_; ++y)
    for (int x = 0; x < screen_w_; ++x) {
      const bool in_other = x >= 350 && x < 550 && y >= 250 && y < 400;
      const uint32_t want = in_other ? 0x0000FF : x11::ScenePixel(x, y, screen_w_, screen_h_);
      if (copy[size_t(y) * size_t(screen_w_) + size_t(x)] != want && wrong++ == 0) first_x = x, first_y = y;
    }
  EXPECT_EQ(wrong, 0) << "first wrong pixel at (" << first_x << ", " << first_y << ")";
  // The own window is on the screen all the same.
  const TPlace p = PlaceOf(dpy_, backend_->ClientWindow(own));
  EXPECT_EQ(ReadPixels(dpy_, DefaultRootWindow(dpy_), p.ClientX + 5, p.ClientY + 5, 1, 1), std::vector<uint32_t>{0x00FF00});
  XDestroyWindow(dpy_, other);
  XSync(dpy_, False);
}

INSTANTIATE_TEST_SUITE_P(Backgrounds, X11ScreenCopyTest, ::testing::Values(true, false),
                         [](const auto& Info) { return std::string(Info.param ? "RootPixmapProperty" : "RootBackgroundOnly"); });

// The shape, rasterised from its rectangles: 1 inside.
std::vector<uint8_t> ShapeMask(Display* Dpy, Window W, int Kind, int Width, int Height) {
  std::vector<uint8_t> m(size_t(Width) * size_t(Height), 0);
  int count = 0, order = 0;
  XRectangle* r = XShapeGetRectangles(Dpy, W, Kind, &count, &order);
  for (int i = 0; i < count; ++i)
    for (int y = std::max(0, int(r[i].y)); y < std::min(Height, r[i].y + r[i].height); ++y)
      for (int x = std::max(0, int(r[i].x)); x < std::min(Width, r[i].x + r[i].width); ++x) m[size_t(y) * size_t(Width) + size_t(x)] = 1;
  if (r) XFree(r);
  return m;
}

TEST_F(X11BackendTest, KeyColourShapesTheWindowAndTheShapeIsSentOnlyWhenItChanges) {
  backend_ = std::make_unique<x11::TX11Backend>();
  const TWindowId id = ShowWindow(300, 200, 300, 200, true);
  const Window client = backend_->ClientWindow(id);
  const int w = listener_.ClientW, h = listener_.ClientH;
  ASSERT_GT(w, 100);
  ASSERT_GT(h, 50);
  XShapeSelectInput(dpy_, client, ShapeNotifyMask);
  XSync(dpy_, False);
  int shape_base = 0, error_base = 0;
  ASSERT_TRUE(XShapeQueryExtension(dpy_, &shape_base, &error_base));
  const auto bounding_notices = [&] {
    XSync(backend_->XDisplay(), False);
    XSync(dpy_, False);
    int n = 0;
    XEvent e;
    while (XCheckTypedWindowEvent(dpy_, client, shape_base + ShapeNotify, &e))
      n += reinterpret_cast<XShapeEvent*>(&e)->kind == ShapeBounding;
    return n;
  };
  bounding_notices();

  // Grey on the left (the key), a picture on the right, a grey dot inside it: one copy.
  TABitmap picture;
  picture.SetWidth(w);
  picture.SetHeight(h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      static_cast<uint32_t*>(picture.ScanLine(y))[x] = x < w / 2 || (x == w * 3 / 4 && y == h / 2) ? 0x808080 : 0xC04020;
  const auto paint = [&] {
    HDC dc = backend_->GetDC(id);
    EXPECT_TRUE(backend_->BitBlt(dc, 0, 0, w, h, picture.Canvas().Handle(), 0, 0, kSrcCopy));
    backend_->ReleaseDC(id, dc);
  };
  paint();
  EXPECT_EQ(bounding_notices(), 1);
  std::vector<uint8_t> want(size_t(w) * size_t(h), 0);
  for (int y = 0; y < h; ++y)
    for (int x = w / 2; x < w; ++x) want[size_t(y) * size_t(w) + size_t(x)] = !(x == w * 3 / 4 && y == h / 2);
  EXPECT_EQ(ShapeMask(dpy_, client, ShapeBounding, w, h), want);
  EXPECT_EQ(ShapeMask(dpy_, client, ShapeInput, w, h), want);

  paint();  // the same picture again
  EXPECT_EQ(bounding_notices(), 0) << "an unchanged mask was sent again";

  FillWindow(id, TRect{0, 0, w, h}, 0x2040C0);
  EXPECT_EQ(bounding_notices(), 1);
  EXPECT_EQ(ShapeMask(dpy_, client, ShapeBounding, w, h), std::vector<uint8_t>(size_t(w) * size_t(h), 1));
}

}  // namespace
}  // namespace halvik::x11test
