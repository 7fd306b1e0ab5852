// Faults in the running program on the headless desktop: a failing screen copy, size changes
// that cannot get their pixel stores, and exceptions in the handlers. Each time the error goes
// to the default exception display (or, for the copy, nowhere), the loop goes on, and every
// tick's picture is still the filters applied by hand to what the program holds.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "app/Unit1.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Forms.h"
#include "platform/headless/HeadlessBackend.h"
#include "support/ProgramFixture.h"
#include "support/TickModel.h"

namespace halvik {
namespace {

using testing::ClientPixels;
using testing::TTickModel;

constexpr int kScreenW = 200, kScreenH = 150;

using testing::Scene;

class ProgramFaultTest : public testing::TProgramFixture {
 protected:
  ProgramFaultTest() : TProgramFixture(kScreenW, kScreenH) {}
  void TearDown() override {
    model_.reset();
    TProgramFixture::TearDown();
  }
  // The model's images sized as FormResize sizes the program's, failing where it fails.
  void ResizeModel() {
    try {
      model_->Resize(Form1->ClientWidth(), Form1->ClientHeight());
    } catch (const EOutOfResources&) {
    }
  }
  // One tick, compared with the model on what the program's images now are.
  void TickAndCompare(const char* Where, bool CaptureOk = true) {
    desk_->AdvanceTime(30);
    model_->Tick(*desk_, Form1->Left(), Form1->Top(), Form1->ClientWidth(), Form1->ClientHeight(), CaptionOffset,
                 CaptureOk);
    EXPECT_EQ(TTickModel::Pixels(*OutputBitmap), model_->Output()) << Where;
  }
  bool ImagesAtClientSize() const {
    const int cw = Form1->ClientWidth(), ch = Form1->ClientHeight();
    return WorkBitmap->Width() == 2 * cw && WorkBitmap->Height() == 2 * ch && OutputBitmap->Width() == cw &&
           OutputBitmap->Height() == ch;
  }
  // Restored, 90 by 80 at (30, 20), and the model started on the same images.
  std::vector<std::function<void()>> Placed() {
    return {[&] { desk_->PostRestoreFromTaskbar(); },
            [&] {
              desk_->PostSize(90, 80);
              desk_->PostMove(30, 20);
            },
            [&] {
              model_ = std::make_unique<TTickModel>();
              model_->Start(kScreenW, kScreenH, Form1->ClientWidth(), Form1->ClientHeight());
              TickAndCompare("placed");
            }};
  }
  static std::vector<std::function<void()>> Then(std::vector<std::function<void()>> A,
                                                 const std::vector<std::function<void()>>& B) {
    A.insert(A.end(), B.begin(), B.end());
    return A;
  }

  std::unique_ptr<TTickModel> model_;
};

TEST_F(ProgramFaultTest, FailedScreenCopyTicksOnWithBlackAndTheNextGoodCopyShows) {
  Start();
  Run(Then(Placed(), {[&] {
                        desk_->SetScreenCopyFails(true);
                        TickAndCompare("first failed copy", false);
                        // Black enlarged, blurred and shrunk is black; the window shows it.
                        for (uint32_t p : TTickModel::Pixels(*OutputBitmap)) ASSERT_EQ(p, 0u);
                        EXPECT_EQ(ClientPixels(Info()), model_->Output());
                        TickAndCompare("second failed copy", false);
                      },
                      [&] {
                        desk_->SetScreenCopyFails(false);
                        TickAndCompare("good copy again");
                        EXPECT_EQ(ClientPixels(Info()), model_->Output());
                        const auto out = model_->Output();
                        EXPECT_NE(std::count(out.begin(), out.end(), 0u), long(out.size())) << "the desktop shows again";
                      }}));
  EXPECT_TRUE(desk_->ShownExceptions().empty()) << "a failed copy is no error of the program's";
}

TEST_F(ProgramFaultTest, FirstTickWithAFailingCopyStillTakesTheScreenContext) {
  Start();
  model_ = std::make_unique<TTickModel>();
  model_->Start(kScreenW, kScreenH, Form1->ClientWidth(), Form1->ClientHeight());
  desk_->SetScreenCopyFails(true);
  Run({[&] {
         TickAndCompare("minimized, failing", false);
         EXPECT_NE(ScreenDC, nullptr);
         desk_->SetScreenCopyFails(false);
       },
       [&] { TickAndCompare("minimized, good"); }});
  EXPECT_TRUE(desk_->ShownExceptions().empty());
}

// A size change whose pixel store cannot be had: shown, the loop goes on with the images as the
// failure left them, and a later size change that can be served puts everything right.
struct TStoreFault {
  const char* Name;
  std::function<void(THeadlessBackend&)> Cause;    // posts the size change that fails
  std::function<void(THeadlessBackend&)> Recover;  // lifts the cause and posts one that works
  const char* Message;                             // part of the error shown
};

class ProgramStoreFaultTest : public ProgramFaultTest, public ::testing::WithParamInterface<TStoreFault> {};

TEST_P(ProgramStoreFaultTest, ErrorIsShownTheLoopGoesOnAndTheNextResizeRecovers) {
  const TStoreFault& fault = GetParam();
  Start();
  size_t shown = 0;
  Run(Then(Placed(), {[&] { fault.Cause(*desk_); },
                      [&] {
                        ASSERT_EQ(desk_->ShownExceptions().size(), 1u);
                        EXPECT_NE(desk_->ShownExceptions()[0].find(fault.Message), std::string::npos)
                            << desk_->ShownExceptions()[0];
                        EXPECT_FALSE(ImagesAtClientSize());
                        ResizeModel();
                        // The ticks go on over whatever the failed resize left.
                        for (int i = 0; i < 3; ++i) TickAndCompare("after the failed resize");
                        shown = desk_->ShownExceptions().size();
                        fault.Recover(*desk_);
                      },
                      [&] {
                        EXPECT_TRUE(ImagesAtClientSize());
                        ResizeModel();
                        TickAndCompare("recovered");
                        EXPECT_EQ(ClientPixels(Info()), model_->Output());
                        TickAndCompare("recovered, again");
                      }}));
  EXPECT_EQ(desk_->ShownExceptions().size(), shown) << "nothing more goes wrong once the stores can be had";
  EXPECT_EQ(shown, 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ProgramStoreFaultTest,
    ::testing::Values(
        // Maximized on a display 20000 wide: the working image would be 40000 wide, past the cap.
        TStoreFault{"HugeMaximize",
                    [](THeadlessBackend& d) {
                      d.ResizeScreen(20000, 60);
                      d.PostMaximize();
                    },
                    [](THeadlessBackend& d) {
                      d.ResizeScreen(kScreenW, kScreenH);
                      d.PostMinimize();
                      d.PostRestoreFromTaskbar();
                    },
                    "too large"},
        // The back end runs out of memory for the larger stores of a bigger window.
        TStoreFault{"OutOfMemory",
                    [](THeadlessBackend& d) {
                      d.SetPixelStoreLimit(20000);
                      d.PostSize(150, 120);
                    },
                    [](THeadlessBackend& d) {
                      d.SetPixelStoreLimit(-1);
                      d.PostSize(140, 110);
                    },
                    "Out of memory"},
        // Out of memory on the second of the four size settings: from a 74 by 41 client to 94 by
        // 81, the working image gets 188 by 82 (15416 pixels) and then fails at 188 by 162.
        TStoreFault{"OutOfMemoryHalfway",
                    [](THeadlessBackend& d) {
                      d.SetPixelStoreLimit(20000);
                      d.PostSize(110, 120);
                    },
                    [](THeadlessBackend& d) {
                      d.SetPixelStoreLimit(-1);
                      d.PostSize(60, 60);
                    },
                    "Out of memory"}),
    [](const auto& Info) { return std::string(Info.param.Name); });

TEST_F(ProgramFaultTest, AFailingFormCreateStillMakesTheWindowAndTheLoopRuns) {
  // No store at all: FormCreate stops at the screen image's height.
  desk_->SetPixelStoreLimit(0);
  Start();
  desk_->SetPixelStoreLimit(-1);
  ASSERT_EQ(desk_->ShownExceptions().size(), 1u);
  EXPECT_NE(desk_->ShownExceptions()[0].find("Out of memory"), std::string::npos);
  ASSERT_TRUE(Form1->HandleAllocated());
  EXPECT_EQ(ScreenBitmap->Width(), kScreenW);
  EXPECT_EQ(ScreenBitmap->Height(), 0);
  EXPECT_EQ(WorkBitmap->Width(), 0);
  Run({[&] {
         desk_->AdvanceTime(90);  // three ticks on empty images
         desk_->PostRestoreFromTaskbar();
       },
       [&] {
         EXPECT_TRUE(ImagesAtClientSize()) << "restoring resizes the images";
         // The screen image is never sized again: the capture stays empty and the enlarging
         // stretch refuses, so the picture is the resized images' white, blurred.
         model_ = std::make_unique<TTickModel>();
         model_->Start(kScreenW, 0, Form1->ClientWidth(), Form1->ClientHeight());
         TickAndCompare("after a failed create");
         EXPECT_EQ(ClientPixels(Info()), model_->Output());
       }});
  EXPECT_EQ(desk_->ShownExceptions().size(), 1u);
}

TEST_F(ProgramFaultTest, TickAndPaintWithoutAStandInStoreAreShownAndTheLoopGoesOn) {
  Start();
  Run({[&] { desk_->PostRestoreFromTaskbar(); },
       [&] {
         // Down to the caption at the same width: no image needs a new store, and the output
         // image is left without pixels. Copying it needs a 1 by 1 stand-in store, which fails.
         desk_->SetPixelStoreLimit(0);
         desk_->PostSize(356, 39);
       },
       [&] {
         ASSERT_EQ(Form1->ClientHeight(), 0);
         EXPECT_EQ(desk_->ShownExceptions().size(), 1u) << "the paint after the size change";
         desk_->AdvanceTime(60);
         EXPECT_EQ(desk_->ShownExceptions().size(), 3u) << "and two ticks";
         desk_->PostInvalidate();
       },
       [&] {
         EXPECT_EQ(desk_->ShownExceptions().size(), 4u) << "and one more paint";
         for (const auto& m : desk_->ShownExceptions()) EXPECT_NE(m.find("Out of memory"), std::string::npos) << m;
         desk_->SetPixelStoreLimit(-1);
         desk_->PostSize(90, 80);
       },
       [&] {
         model_ = std::make_unique<TTickModel>();
         model_->Start(kScreenW, kScreenH, Form1->ClientWidth(), Form1->ClientHeight());
         TickAndCompare("recovered");
         EXPECT_EQ(ClientPixels(Info()), model_->Output());
       }});
  EXPECT_EQ(desk_->ShownExceptions().size(), 4u);
}

TEST_F(ProgramFaultTest, AnExceptionInAnyHandlerDoesNotEndTheLoop) {
  Start();
  // Each handler runs as written and then raises, once each; the loop must outlive all three.
  int armed = 0;
  auto raising = [&](TNotifyEvent Inner, const char* Name) {
    return [&armed, Inner, Name](TObject* Sender) {
      Inner(Sender);
      if (armed & 1) {
        armed &= ~1;
        throw EInvalidGraphicOperation(std::string(Name) + " failed");
      }
    };
  };
  Run(Then(Placed(), {[&] {
                        Form1->Timer1->SetOnTimer(raising(Form1->Timer1->OnTimer(), "Timer1Timer"));
                        armed = 1;
                        TickAndCompare("tick that raises");
                        ASSERT_EQ(desk_->ShownExceptions().size(), 1u);
                        EXPECT_EQ(desk_->ShownExceptions()[0], "Timer1Timer failed");
                        TickAndCompare("next tick");
                        Form1->OnResize = raising(Form1->OnResize, "FormResize");
                        armed = 1;
                        desk_->PostSize(120, 100);
                      },
                      [&] {
                        ASSERT_EQ(desk_->ShownExceptions().size(), 2u);
                        EXPECT_EQ(desk_->ShownExceptions()[1], "FormResize failed");
                        EXPECT_TRUE(ImagesAtClientSize());
                        ResizeModel();
                        TickAndCompare("after the resize that raised");
                        Form1->OnPaint = raising(Form1->OnPaint, "FormPaint");
                        armed = 1;
                        desk_->PostInvalidate();
                      },
                      [&] {
                        ASSERT_EQ(desk_->ShownExceptions().size(), 3u);
                        EXPECT_EQ(desk_->ShownExceptions()[2], "FormPaint failed");
                        TickAndCompare("after the paint that raised");
                        EXPECT_EQ(ClientPixels(Info()), model_->Output());
                        // Something that is not a platform error is shown too.
                        Form1->Timer1->SetOnTimer([](TObject*) { throw std::runtime_error("not a platform error"); });
                        desk_->AdvanceTime(30);
                        ASSERT_EQ(desk_->ShownExceptions().size(), 4u);
                        EXPECT_EQ(desk_->ShownExceptions()[3], "not a platform error");
                      }}));
  EXPECT_FALSE(desk_->LoopRunning()) << "the loop ended by closing the window, not by an error";
}

}  // namespace
}  // namespace halvik
