// The whole program on the headless desktop: start, the stored settings, user actions, and
// every tick's picture against the filters applied by hand.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <random>

#include "app/Unit1.h"
#include "platform/core/Forms.h"
#include "platform/headless/HeadlessBackend.h"
#include "support/ProgramFixture.h"
#include "support/TickModel.h"

namespace halvik {
namespace {

using testing::ClientPixels;
using testing::TTickModel;

using testing::Scene;

constexpr int kScreenW = 640, kScreenH = 480;

class ProgramTest : public testing::TProgramFixture {
 protected:
  ProgramTest() : TProgramFixture(kScreenW, kScreenH) {}
  // Advances one tick and checks the picture against the model at the window's place now.
  void TickAndCompare(TTickModel& Model, const char* Where) {
    desk_->AdvanceTime(30);
    Model.Tick(*desk_, Form1->Left(), Form1->Top(), Form1->ClientWidth(), Form1->ClientHeight());
    EXPECT_EQ(TTickModel::Pixels(*OutputBitmap), Model.Output()) << Where;
    EXPECT_EQ(ClientPixels(Info()), Model.Output()) << Where;
  }
};

TEST_F(ProgramTest, StartsMinimizedToItsTaskbarEntryOnly) {
  Start();
  Run({[&] {
    EXPECT_EQ(desk_->TaskbarText(), "Halvik");
    EXPECT_TRUE(desk_->ApplicationMinimized());
    EXPECT_FALSE(Info().Visible);
    EXPECT_EQ(Form1->WindowState(), TWindowState::wsMinimized);
    // The view is the bare desktop.
    std::vector<uint32_t> desktop;
    for (int y = 0; y < kScreenH; ++y)
      for (int x = 0; x < kScreenW; ++x) desktop.push_back(Scene(x, y));
    EXPECT_EQ(desk_->ComposedView(), desktop);
    // The images are sized for the normal client area although the window is minimized.
    const int cw = 356 - 16, ch = 481 - 39;
    EXPECT_EQ(Form1->ClientWidth(), cw);
    EXPECT_EQ(Form1->ClientHeight(), ch);
    EXPECT_EQ(WorkBitmap->Width(), 2 * cw);
    EXPECT_EQ(WorkBitmap->Height(), 2 * ch);
    EXPECT_EQ(OutputBitmap->Width(), cw);
    EXPECT_EQ(OutputBitmap->Height(), ch);
    EXPECT_EQ(ScreenBitmap->Width(), kScreenW);
    EXPECT_EQ(ScreenBitmap->Height(), kScreenH);
    EXPECT_EQ(ScreenDC, nullptr);
  }});
}

TEST_F(ProgramTest, AppliesEveryStoredSetting) {
  Start();
  EXPECT_EQ(Form1->Left(), 216);
  EXPECT_EQ(Form1->Top(), 216);
  EXPECT_EQ(Form1->Width(), 356);
  EXPECT_EQ(Form1->Height(), 481);
  EXPECT_EQ(Form1->Caption, "-Halvik-");
  EXPECT_EQ(Form1->Color, clGray);
  EXPECT_TRUE(Form1->TransparentColor);
  EXPECT_EQ(Form1->TransparentColorValue, clGray);
  EXPECT_EQ(Form1->FormStyle, TFormStyle::fsStayOnTop);
  EXPECT_EQ(Form1->WindowState(), TWindowState::wsMinimized);
  EXPECT_FALSE(Form1->OldCreateOrder);
  EXPECT_EQ(Form1->Font.Charset, 128);
  EXPECT_EQ(Form1->Font.Color, clWindowText);
  EXPECT_EQ(Form1->Font.Height, -12);
  EXPECT_EQ(Form1->Font.Name, "\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF");
  EXPECT_TRUE(Form1->Font.Style.empty());
  EXPECT_EQ(Form1->PixelsPerInch, 96);
  EXPECT_EQ(Form1->TextHeight, 12);
  EXPECT_EQ(Form1->BorderStyle, TFormBorderStyle::bsSizeable);
  EXPECT_FALSE(Form1->AlphaBlend);
  EXPECT_EQ(Form1->AlphaBlendValue, 255);
  ASSERT_NE(Form1->Timer1, nullptr);
  EXPECT_EQ(Form1->Timer1->Interval(), 30u);
  EXPECT_TRUE(Form1->Timer1->Enabled());
  // The window the platform made from them: hidden, topmost, keyed on grey.
  EXPECT_FALSE(Info().Visible);
  EXPECT_TRUE(Info().Topmost);
  EXPECT_TRUE(Info().ColorKeyed);
  EXPECT_EQ(Info().ColorKey, 0x808080u);
  EXPECT_EQ(Info().Caption, "-Halvik-");
}

TEST_F(ProgramTest, TicksEvery30MsWhileMinimizedOnTheNormalArea) {
  Start();
  TTickModel model;
  model.Start(kScreenW, kScreenH, Form1->ClientWidth(), Form1->ClientHeight());
  Run({[&] {
    desk_->AdvanceTime(29);
    EXPECT_EQ(ScreenDC, nullptr) << "no tick before 30 ms";
    desk_->AdvanceTime(1);
    EXPECT_NE(ScreenDC, nullptr);
    model.Tick(*desk_, 216, 216, 340, 442);
    EXPECT_EQ(TTickModel::Pixels(*OutputBitmap), model.Output());
    for (int i = 0; i < 3; ++i) TickAndCompare(model, "minimized");
    EXPECT_FALSE(Info().Visible);
  }});
}

TEST_F(ProgramTest, RestoreShowsTheWindowAtItsStoredBoundsAndPaints) {
  Start();
  TTickModel model;
  model.Start(kScreenW, kScreenH, Form1->ClientWidth(), Form1->ClientHeight());
  Run({[&] {
         desk_->AdvanceTime(30);
         model.Tick(*desk_, 216, 216, 340, 442);
         desk_->PostRestoreFromTaskbar();
       },
       [&] {
         EXPECT_FALSE(desk_->ApplicationMinimized());
         EXPECT_TRUE(Info().Visible);
         EXPECT_EQ(Info().State, TWindowState::wsNormal);
         EXPECT_EQ(Info().Outer, Bounds(216, 216, 356, 481));
         EXPECT_EQ(Form1->WindowState(), TWindowState::wsNormal);
         // The restore's paint copied the last picture into the window.
         EXPECT_EQ(ClientPixels(Info()), model.Output());
         TickAndCompare(model, "restored");
         // What a person sees in the client area: the picture, grey showing through.
         const auto view = desk_->ComposedView();
         const auto out = model.Output();
         for (int y = 0; y < 442; y += 17)
           for (int x = 0; x < 340; x += 13) {
             const uint32_t p = out[size_t(y) * 340 + size_t(x)];
             const int sx = 216 + 8 + x, sy = 216 + 31 + y;
             if (sy >= kScreenH) continue;
             EXPECT_EQ(view[size_t(sy) * kScreenW + size_t(sx)], p == 0x808080 ? Scene(sx, sy) : p);
           }
       }});
}

TEST_F(ProgramTest, FollowsMovesSizesAndMaximize) {
  Start();
  TTickModel model;
  model.Start(kScreenW, kScreenH, Form1->ClientWidth(), Form1->ClientHeight());
  Run({[&] { desk_->PostRestoreFromTaskbar(); },
       [&] {
         model.Resize(Form1->ClientWidth(), Form1->ClientHeight());
         desk_->PostMove(40, 10);
       },
       [&] {
         EXPECT_EQ(Form1->Left(), 40);
         EXPECT_EQ(Form1->Top(), 10);
         TickAndCompare(model, "moved");
         desk_->PostSize(120, 90);
       },
       [&] {
         EXPECT_EQ(Form1->ClientWidth(), 104);
         EXPECT_EQ(Form1->ClientHeight(), 51);
         EXPECT_EQ(WorkBitmap->Width(), 208);
         EXPECT_EQ(WorkBitmap->Height(), 102);
         model.Resize(104, 51);
         TickAndCompare(model, "sized");
         desk_->PostMaximize();
       },
       [&] {
         EXPECT_EQ(Form1->WindowState(), TWindowState::wsMaximized);
         EXPECT_EQ(Form1->ClientWidth(), kScreenW);
         EXPECT_EQ(WorkBitmap->Width(), 2 * Form1->ClientWidth());
         EXPECT_EQ(WorkBitmap->Height(), 2 * Form1->ClientHeight());
         EXPECT_EQ(OutputBitmap->Height(), Form1->ClientHeight());
         model.Resize(Form1->ClientWidth(), Form1->ClientHeight());
         TickAndCompare(model, "maximized");
         desk_->PostMinimize();
       },
       [&] {
         EXPECT_TRUE(desk_->ApplicationMinimized()) << "minimizing the form minimizes the application";
         EXPECT_FALSE(Info().Visible);
       }});
  EXPECT_TRUE(desk_->ShownExceptions().empty());
}

TEST_F(ProgramTest, TakesTheScreenAreaTwentyFivePixelsBelowTheTop) {
  Start();
  TTickModel at25, at31;
  at25.Start(kScreenW, kScreenH, 340, 442);
  at31.Start(kScreenW, kScreenH, 340, 442);
  Run({[&] {
    desk_->AdvanceTime(30);
    at25.Tick(*desk_, 216, 216, 340, 442, 25);
    at31.Tick(*desk_, 216, 216, 340, 442, 31);  // the real caption height here
    EXPECT_EQ(TTickModel::Pixels(*OutputBitmap), at25.Output());
    EXPECT_NE(TTickModel::Pixels(*OutputBitmap), at31.Output());
  }});
}

TEST_F(ProgramTest, OffTheLeftOrTopEdgeThePictureKeepsBlurringAndComesBack) {
  Start();
  TTickModel model;
  model.Start(kScreenW, kScreenH, Form1->ClientWidth(), Form1->ClientHeight());
  Run({[&] { desk_->PostRestoreFromTaskbar(); },
       [&] { desk_->PostSize(80, 70); },
       [&] {
         model.Resize(Form1->ClientWidth(), Form1->ClientHeight());
         TickAndCompare(model, "on screen");
         desk_->PostMove(-1, 100);
       },
       [&] {
         std::vector<uint32_t> before = TTickModel::Pixels(*OutputBitmap);
         TickAndCompare(model, "off the left edge");
         EXPECT_NE(TTickModel::Pixels(*OutputBitmap), before) << "the old picture blurs once more";
         desk_->PostMove(100, -26);
       },
       [&] {
         TickAndCompare(model, "off the top edge");
         desk_->PostMove(100, -25);  // Top + 25 == 0 is inside again
       },
       [&] { TickAndCompare(model, "back at the top"); }});
}

TEST_F(ProgramTest, PartlyPastTheRightAndBottomEdges) {
  Start();
  TTickModel model;
  model.Start(kScreenW, kScreenH, Form1->ClientWidth(), Form1->ClientHeight());
  Run({[&] { desk_->PostRestoreFromTaskbar(); },
       [&] { desk_->PostSize(90, 80); },
       [&] {
         model.Resize(Form1->ClientWidth(), Form1->ClientHeight());
         desk_->PostMove(kScreenW - 30, kScreenH - 40);
       },
       [&] {
         TickAndCompare(model, "past both edges");
         TickAndCompare(model, "again");
       }});
}

TEST_F(ProgramTest, ZeroClientHeightDrawsNothingAndRaisesNothing) {
  Start();
  Run({[&] { desk_->PostRestoreFromTaskbar(); },
       [&] { desk_->PostSize(200, 39); },
       [&] {
         EXPECT_EQ(Form1->ClientHeight(), 0);
         EXPECT_EQ(WorkBitmap->Width(), 2 * 184);
         EXPECT_EQ(WorkBitmap->Height(), 0);
         EXPECT_EQ(OutputBitmap->Width(), 184);
         EXPECT_EQ(OutputBitmap->Height(), 0);
         desk_->AdvanceTime(90);
         desk_->PostInvalidate();
       },
       [&] { desk_->PostSize(200, 100); },
       [&] { desk_->AdvanceTime(30); }});
  EXPECT_TRUE(desk_->ShownExceptions().empty());
}

TEST_F(ProgramTest, PaintBetweenAResizeAndTheNextTickShowsTheResizedImage) {
  Start();
  Run({[&] {
         desk_->AdvanceTime(30);
         desk_->PostRestoreFromTaskbar();
       },
       [&] { desk_->PostSize(400, 500); },
       [&] {
         // The paint after the size change copied OutputBitmap as the resize left it: the old
         // picture at the top left, white where the image grew.
         EXPECT_EQ(ClientPixels(Info()), TTickModel::Pixels(*OutputBitmap));
         EXPECT_EQ(ClientPixels(Info()).back(), 0xFFFFFFu);
       }});
}

TEST_F(ProgramTest, ClosingBeforeTheFirstTickReleasesNoScreenContext) {
  Start();
  Run({});  // closes at once
  EXPECT_EQ(ScreenDC, nullptr);
  DoneApplication();
  started_ = false;
  const auto& r = desk_->Releases();
  EXPECT_EQ(std::count(r.begin(), r.end(), "release screen"), 0);
  EXPECT_EQ(desk_->LivePixelStores(), 0);
  EXPECT_TRUE(desk_->Windows().empty());
}

TEST_F(ProgramTest, DestroyReleasesTheScreenContextThenFreesTheImagesInOrder) {
  Start();
  Run({[&] { desk_->AdvanceTime(30); }});
  const size_t before = desk_->Releases().size();
  DoneApplication();
  started_ = false;
  std::vector<std::string> r(desk_->Releases().begin() + long(before), desk_->Releases().end());
  const std::vector<std::string> expected = {"release screen", "free 640x480", "free 680x884", "free 340x442"};
  ASSERT_GE(r.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(r.begin(), r.begin() + 4), expected);
  EXPECT_EQ(desk_->LivePixelStores(), 0);
  EXPECT_EQ(desk_->OpenDeviceContexts(), 0);
}

TEST_F(ProgramTest, KeyColouredPicturePixelsShowTheScreenBehind) {
  // A uniform 0x84 grey comes out of the two stretches (2 darker each) as exactly 0x80, the key.
  desk_->FillScreen([](int X, int) { return X < kScreenW / 2 ? 0x848484u : 0xF0F0F0u; });
  Start();
  Run({[&] { desk_->PostRestoreFromTaskbar(); },
       [&] { desk_->PostMove(kScreenW / 2 - 180, 100); },
       [&] {
         desk_->AdvanceTime(30);
         const auto view = desk_->ComposedView();
         const auto out = TTickModel::Pixels(*OutputBitmap);
         int keyed = 0, shown = 0;
         for (int y = 0; y < Form1->ClientHeight(); ++y)
           for (int x = 0; x < Form1->ClientWidth(); ++x) {
             const int sx = Form1->Left() + 8 + x, sy = Form1->Top() + 31 + y;
             if (sy >= kScreenH) continue;
             const uint32_t p = out[size_t(y) * size_t(Form1->ClientWidth()) + size_t(x)];
             const uint32_t seen = view[size_t(sy) * kScreenW + size_t(sx)];
             if (p == 0x808080) {
               ++keyed;
               EXPECT_EQ(seen, sx < kScreenW / 2 ? 0x848484u : 0xF0F0F0u);
             } else {
               ++shown;
               EXPECT_EQ(seen, p);
             }
           }
         EXPECT_GT(keyed, 1000);
         EXPECT_GT(shown, 1000);
       }});
}

TEST_F(ProgramTest, StartedMaximizedShowsAtOnce) {
  desk_->SetStartupShowCommand(TShowCommand::Maximized);
  Start();
  Run({[&] {
    EXPECT_TRUE(Info().Visible);
    EXPECT_EQ(Info().State, TWindowState::wsMaximized);
    EXPECT_EQ(Form1->WindowState(), TWindowState::wsMaximized);
    EXPECT_EQ(WorkBitmap->Width(), 2 * Form1->ClientWidth());
    EXPECT_EQ(Form1->ClientWidth(), kScreenW);
  }});
}

TEST_F(ProgramTest, AMinuteOfMovesAndResizesMatchesTheExpectedPictures) {
  // A small desktop keeps two thousand checked ticks quick.
  constexpr int sw = 200, sh = 150;
  desk_->ResizeScreen(sw, sh);
  desk_->FillScreen(Scene);
  Start();
  TTickModel model;
  model.Start(sw, sh, Form1->ClientWidth(), Form1->ClientHeight());
  std::mt19937 rng(20261211);
  int ticks = 0;
  bool restored = false;
  desk_->SetDriver([&](THeadlessBackend& d) {
    if (!restored) {
      restored = true;
      d.PostRestoreFromTaskbar();
      d.PostSize(70, 60);
      return true;
    }
    if (d.Now() >= 60'000) {
      d.PostClose();
      return true;
    }
    model.Resize(Form1->ClientWidth(), Form1->ClientHeight());
    d.AdvanceTime(30);
    ++ticks;
    model.Tick(d, Form1->Left(), Form1->Top(), Form1->ClientWidth(), Form1->ClientHeight());
    std::vector<uint32_t> view = d.ComposedView();
    // The client area of the composed view is the picture with the key showing through.
    const auto out = model.Output();
    bool same = TTickModel::Pixels(*OutputBitmap) == out;
    for (int y = 0; y < Form1->ClientHeight() && same; ++y)
      for (int x = 0; x < Form1->ClientWidth(); ++x) {
        const int sx = Form1->Left() + 8 + x, sy = Form1->Top() + 31 + y;
        if (sx < 0 || sy < 0 || sx >= sw || sy >= sh) continue;
        const uint32_t p = out[size_t(y) * size_t(Form1->ClientWidth()) + size_t(x)];
        same = same && view[size_t(sy) * sw + size_t(sx)] == (p == 0x808080 ? Scene(sx, sy) : p);
      }
    EXPECT_TRUE(same) << "tick " << ticks << " at " << Form1->Left() << "," << Form1->Top();
    if (ticks % 25 == 0) {
      std::uniform_int_distribution<int> pos(-60, sw), size(16, 90);
      if (rng() % 2) d.PostMove(pos(rng), pos(rng) * sh / sw);
      else d.PostSize(size(rng), size(rng));
    }
    return true;
  });
  Application->Run();
  EXPECT_EQ(ticks, 2000);
  EXPECT_TRUE(desk_->ShownExceptions().empty());
}

}  // namespace
}  // namespace halvik
