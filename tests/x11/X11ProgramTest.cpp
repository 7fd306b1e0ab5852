// The halvik program on a real X server (Xvfb with Composite) under a window manager
// (openbox), driven from outside as a person would: wmctrl and xdotool, screenshots.
// GoogleTest comes before Xlib, whose macros (Bool, None) would clash with it.
#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <thread>

#include "XTestSupport.h"
#include "platform/x11/tools/Scene.h"

namespace halvik::x11test {
namespace {

using namespace std::chrono_literals;

constexpr uint32_t kKey = 0x808080;

class X11ProgramTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    InstallQuietErrorHandler();
    dpy_ = XOpenDisplay(nullptr);
    ASSERT_NE(dpy_, nullptr) << "these tests run on the display that scripts/test-x11.sh starts";
    ASSERT_TRUE(x11::SetRootScene(dpy_, true, false));
    background_ = new TABitmap();
    ReadScreen(dpy_, *background_);
  }
  static void TearDownTestSuite() {
    delete background_;
    background_ = nullptr;
    if (dpy_) XCloseDisplay(dpy_);
    dpy_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(dpy_, nullptr); }
  void TearDown() override {
    if (program_ && program_->Running()) {
      ADD_FAILURE() << "the program was still running at the end of the test";
      program_.reset();  // ended by its PID
    }
  }

  // Starts the program and waits for its window to be taken on by the window manager, iconic.
  void Start() {
    program_ = std::make_unique<TChild>(std::vector<std::string>{HALVIK_EXE});
    ASSERT_TRUE(WaitUntil([&] { return (win_ = ClientOfPid(dpy_, program_->Pid())) != 0; })) << "no window appeared";
    ASSERT_TRUE(WaitUntil([&] { return WmState(dpy_, win_) == IconicState; })) << "the window did not start iconic";
  }
  void Restore(const std::string& How) {
    const std::string id = std::to_string(win_);
    if (How == "xdotool windowmap") RunCommand({"xdotool", "windowmap", id});
    else RunCommand({"wmctrl", "-i", "-a", id});
    ASSERT_TRUE(WaitUntil([&] { return WmState(dpy_, win_) == NormalState && PlaceOf(dpy_, win_).Viewable; }))
        << "restoring with " << How << " did not show the window";
  }
  std::vector<uint32_t> Picture() {
    const TPlace p = PlaceOf(dpy_, win_);
    return ReadPixels(dpy_, win_, 0, 0, p.ClientW, p.ClientH);
  }
  std::vector<uint32_t> Expected() {
    const TPlace p = PlaceOf(dpy_, win_);
    return ExpectedPicture(*background_, p.Left(), p.Top(), p.ClientW, p.ClientH);
  }
  // Waits until the window shows the filtered screen behind it, where it is now.
  void ExpectPictureSoon(const char* Where) {
    std::vector<uint32_t> expected, picture;
    const bool ok = WaitUntil([&] {
      expected = Expected();
      picture = Picture();
      return OpaqueMismatches(picture, expected) == 0;
    });
    EXPECT_TRUE(ok) << Where << ": " << OpaqueMismatches(picture, expected) << " of " << expected.size()
                    << " pixels differ from the filters applied to the screenshot";
  }
  void CloseAndExpectExitCode0() {
    RunCommand({"wmctrl", "-i", "-c", std::to_string(win_)});
    EXPECT_EQ(program_->Wait(5s), 0);
  }

  static Display* dpy_;
  static TABitmap* background_;
  std::unique_ptr<TChild> program_;
  Window win_ = 0;
};

Display* X11ProgramTest::dpy_ = nullptr;
TABitmap* X11ProgramTest::background_ = nullptr;

TEST_F(X11ProgramTest, StartsIconicAboveOthersWithItsCaptionAndTaskbarName) {
  Start();
  EXPECT_FALSE(PlaceOf(dpy_, win_).Viewable);
  EXPECT_TRUE(HasAtom(dpy_, win_, "_NET_WM_STATE", "_NET_WM_STATE_ABOVE"));
  EXPECT_EQ(TextProperty(dpy_, win_, "WM_NAME"), "-Halvik-");
  EXPECT_EQ(TextProperty(dpy_, win_, "_NET_WM_NAME"), "-Halvik-");
  EXPECT_EQ(TextProperty(dpy_, win_, "WM_ICON_NAME"), "Halvik");
  EXPECT_EQ(TextProperty(dpy_, win_, "_NET_WM_ICON_NAME"), "Halvik");
  XClassHint klass{};
  ASSERT_TRUE(XGetClassHint(dpy_, win_, &klass));
  EXPECT_STREQ(klass.res_name, "halvik");
  EXPECT_STREQ(klass.res_class, "Halvik");
  XFree(klass.res_name);
  XFree(klass.res_class);
  // Nothing of the program shows: the screen is the bare background, tick after tick.
  std::this_thread::sleep_for(100ms);
  TABitmap screen;
  ReadScreen(dpy_, screen);
  int differ = 0;
  for (int y = 0; y < screen.Height(); ++y)
    for (int x = 0; x < screen.Width(); ++x)
      differ += static_cast<uint32_t*>(screen.ScanLine(y))[x] != static_cast<uint32_t*>(background_->ScanLine(y))[x];
  EXPECT_EQ(differ, 0);
  CloseAndExpectExitCode0();
}

class X11RestoreTest : public X11ProgramTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(X11RestoreTest, ShowsTheWindowAtItsStoredBoundsAgainAfterEachMinimize) {
  Start();
  for (int round = 0; round < 2; ++round) {
    Restore(GetParam());
    // The window manager may show the frame first and move it into place after.
    TPlace p;
    WaitUntil([&] { p = PlaceOf(dpy_, win_); return p.Left() == 216 && p.Top() == 216; });
    EXPECT_EQ(p.Left(), 216) << "round " << round;
    EXPECT_EQ(p.Top(), 216) << "round " << round;
    EXPECT_EQ(p.FrameLeft + p.ClientW + p.FrameRight, 356) << "round " << round;
    EXPECT_EQ(p.FrameTop + p.ClientH + p.FrameBottom, 481) << "round " << round;
    ExpectPictureSoon("restored");
    // Minimizing goes back to the taskbar entry.
    RunCommand({"xdotool", "windowminimize", std::to_string(win_)});
    ASSERT_TRUE(WaitUntil([&] { return WmState(dpy_, win_) == IconicState; })) << "round " << round;
  }
  CloseAndExpectExitCode0();
}

INSTANTIATE_TEST_SUITE_P(Commands, X11RestoreTest, ::testing::Values("xdotool windowmap", "wmctrl -a"),
                         [](const auto& Info) { return std::string(Info.index == 0 ? "XdotoolWindowmap" : "WmctrlActivate"); });

TEST_F(X11ProgramTest, WhatAPersonSeesIsTheFilteredBackgroundAndBehindTheKeyTheScreen) {
  Start();
  Restore("wmctrl -a");
  ExpectPictureSoon("restored");
  const TPlace p = PlaceOf(dpy_, win_);
  const std::vector<uint32_t> expected = Expected();
  const std::vector<uint32_t> seen = ReadPixels(dpy_, DefaultRootWindow(dpy_), p.ClientX, p.ClientY, p.ClientW, p.ClientH);
  ASSERT_EQ(seen.size(), expected.size());
  int keyed = 0, wrong_opaque = 0, wrong_keyed = 0;
  for (int y = 0; y < p.ClientH; ++y)
    for (int x = 0; x < p.ClientW; ++x) {
      const size_t i = size_t(y) * size_t(p.ClientW) + size_t(x);
      if (expected[i] == kKey) {
        ++keyed;
        wrong_keyed += seen[i] != static_cast<uint32_t*>(background_->ScanLine(p.ClientY + y))[p.ClientX + x];
      } else {
        wrong_opaque += seen[i] != expected[i];
      }
    }
  EXPECT_EQ(wrong_opaque, 0) << "picture pixels not shown as they are";
  EXPECT_EQ(wrong_keyed, 0) << "key-coloured pixels that do not show what is behind";
  CloseAndExpectExitCode0();
  if (keyed == 0) GTEST_SKIP() << "the filters turned no pixel of the scene's grey block into the key colour";
}

TEST_F(X11ProgramTest, PictureStaysTheSameOnAStillBackground) {
  Start();
  Restore("wmctrl -a");
  ExpectPictureSoon("restored");
  const std::vector<uint32_t> expected = Expected();
  // About 40 ticks: a copy that saw the window itself would blur its own picture again each time.
  int changed = 0;
  for (int i = 0; i < 40; ++i) {
    std::this_thread::sleep_for(30ms);
    changed += OpaqueMismatches(Picture(), expected) != 0;
  }
  EXPECT_EQ(changed, 0) << "samples that differ from the first picture";
  CloseAndExpectExitCode0();
}

TEST_F(X11ProgramTest, StaysAboveAWindowActivatedOverIt) {
  Start();
  Restore("wmctrl -a");
  // An ordinary window over the program's place, activated after it.
  XSetWindowAttributes a{};
  a.background_pixel = 0x3366CC;
  Window cover = XCreateWindow(dpy_, DefaultRootWindow(dpy_), 150, 150, 700, 700, 0, CopyFromParent, InputOutput,
                               CopyFromParent, CWBackPixel, &a);
  XStoreName(dpy_, cover, "cover");
  XMapWindow(dpy_, cover);
  XSync(dpy_, False);
  ASSERT_TRUE(WaitUntil([&] { return WmState(dpy_, cover) == NormalState; }));
  RunCommand({"wmctrl", "-i", "-a", std::to_string(cover)});
  const auto active = [&] {
    const auto v = LongsProperty(dpy_, DefaultRootWindow(dpy_), "_NET_ACTIVE_WINDOW", XA_WINDOW);
    return !v.empty() && Window(v[0]) == cover;
  };
  ASSERT_TRUE(WaitUntil(active));
  const auto stacking = LongsProperty(dpy_, DefaultRootWindow(dpy_), "_NET_CLIENT_LIST_STACKING", XA_WINDOW);
  const auto at = [&](Window w) { return std::find(stacking.begin(), stacking.end(), long(w)) - stacking.begin(); };
  EXPECT_GT(at(win_), at(cover)) << "the program's window is below the activated one";
  // And the screen shows it there: its picture pixels, not the cover's colour.
  const TPlace p = PlaceOf(dpy_, win_);
  const std::vector<uint32_t> seen = ReadPixels(dpy_, DefaultRootWindow(dpy_), p.ClientX, p.ClientY, p.ClientW, p.ClientH);
  const std::vector<uint32_t> picture = Picture();
  EXPECT_EQ(OpaqueMismatches(seen, picture), 0);
  XDestroyWindow(dpy_, cover);
  XSync(dpy_, False);
  CloseAndExpectExitCode0();
}

TEST_F(X11ProgramTest, FollowsResizingAndMaximizing) {
  Start();
  Restore("wmctrl -a");
  const std::string id = std::to_string(win_);
  RunCommand({"xdotool", "windowsize", id, "420", "300"});
  ASSERT_TRUE(WaitUntil([&] { const TPlace p = PlaceOf(dpy_, win_); return p.ClientW == 420 && p.ClientH == 300; }));
  ExpectPictureSoon("resized to 420 x 300");

  RunCommand({"wmctrl", "-i", "-r", id, "-b", "add,maximized_vert,maximized_horz"});
  ASSERT_TRUE(WaitUntil([&] {
    return HasAtom(dpy_, win_, "_NET_WM_STATE", "_NET_WM_STATE_MAXIMIZED_VERT") &&
           HasAtom(dpy_, win_, "_NET_WM_STATE", "_NET_WM_STATE_MAXIMIZED_HORZ") && PlaceOf(dpy_, win_).ClientW > 420;
  }));
  const int screen_w = DisplayWidth(dpy_, DefaultScreen(dpy_)), screen_h = DisplayHeight(dpy_, DefaultScreen(dpy_));
  ASSERT_TRUE(WaitUntil([&] { const TPlace p = PlaceOf(dpy_, win_); return p.FrameLeft + p.ClientW + p.FrameRight == screen_w; }));
  const TPlace p = PlaceOf(dpy_, win_);
  // The picture covers the whole new client area: its shape reaches every edge.
  const auto shape_extents = [&] {
    int count = 0, order = 0;
    XRectangle* rects = XShapeGetRectangles(dpy_, win_, ShapeBounding, &count, &order);
    TRect box{p.ClientW, p.ClientH, 0, 0};
    for (int i = 0; i < count; ++i) {
      box.Left = std::min<int>(box.Left, rects[i].x);
      box.Top = std::min<int>(box.Top, rects[i].y);
      box.Right = std::max(box.Right, rects[i].x + rects[i].width);
      box.Bottom = std::max(box.Bottom, rects[i].y + rects[i].height);
    }
    if (rects) XFree(rects);
    return box;
  };
  const TRect whole{0, 0, p.ClientW, p.ClientH};
  EXPECT_TRUE(WaitUntil([&] { return shape_extents() == whole; }))
      << "the shape spans " << shape_extents().Right << " x " << shape_extents().Bottom << " of " << p.ClientW << " x "
      << p.ClientH;
  // Where the area behind the client lies wholly on the screen, the picture is exact as well.
  if (p.Left() >= 0 && p.Top() + 25 >= 0 && p.Left() + p.ClientW <= screen_w && p.Top() + 25 + p.ClientH <= screen_h)
    ExpectPictureSoon("maximized");
  CloseAndExpectExitCode0();
}

class X11CloseTest : public X11ProgramTest, public ::testing::WithParamInterface<bool> {};

TEST_P(X11CloseTest, ClosingEndsTheProgramWithExitCode0) {
  Start();
  if (GetParam()) Restore("wmctrl -a");
  CloseAndExpectExitCode0();
}

INSTANTIATE_TEST_SUITE_P(States, X11CloseTest, ::testing::Values(true, false),
                         [](const auto& Info) { return std::string(Info.param ? "Shown" : "Iconic"); });

}  // namespace
}  // namespace halvik::x11test
