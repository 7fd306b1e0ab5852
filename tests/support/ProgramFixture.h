// Runs the whole program on a headless desktop: the entry block up to the loop, then the loop
// driven step by step. Each test starts a fresh program in the same process.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "app/Unit1.h"
#include "platform/core/Forms.h"
#include "platform/headless/HeadlessBackend.h"

namespace halvik::testing {

// A desktop picture that shows where every pixel came from.
inline uint32_t Scene(int X, int Y) {
  return uint32_t((X * 7) & 255) << 16 | uint32_t((Y * 5) & 255) << 8 | uint32_t((X ^ Y) & 255);
}

class TProgramFixture : public ::testing::Test {
 protected:
  TProgramFixture(int ScreenWidth, int ScreenHeight) : screen_w_(ScreenWidth), screen_h_(ScreenHeight) {}

  void SetUp() override {
    desk_ = std::make_unique<THeadlessBackend>(screen_w_, screen_h_);
    desk_->FillScreen(Scene);
    SetPlatform(desk_.get());
    // The unit's variables outlive a program run; each test starts a fresh program.
    Form1 = nullptr;
    ScreenDC = nullptr;
    ScreenBitmap = WorkBitmap = OutputBitmap = nullptr;
  }
  void TearDown() override {
    desk_->SetPixelStoreLimit(-1);
    if (started_) DoneApplication();
    EXPECT_EQ(desk_->LivePixelStores(), 0) << "every pixel store is freed";
    SetPlatform(nullptr);
  }

  // The entry block up to the message loop.
  void Start() {
    Application->Initialize();
    Application->SetTitle("Halvik");
    Application->CreateForm(Form1);
    started_ = true;
  }
  // Runs the message loop; each step runs when the loop is idle, then the window is closed.
  void Run(std::vector<std::function<void()>> Steps) {
    size_t next = 0;
    desk_->SetDriver([&](THeadlessBackend& d) {
      if (next < Steps.size()) {
        EXPECT_TRUE(d.LoopRunning());
        Steps[next++]();
      } else {
        d.PostClose();
      }
      return true;
    });
    Application->Run();
    EXPECT_EQ(next, Steps.size()) << "the loop ended before its last step";
  }
  TWindowId Win() const { return desk_->Windows().at(0); }
  const THeadlessBackend::TWindowInfo& Info() const { return desk_->Window(Win()); }

  std::unique_ptr<THeadlessBackend> desk_;
  bool started_ = false;

 private:
  int screen_w_, screen_h_;
};

}  // namespace halvik::testing
