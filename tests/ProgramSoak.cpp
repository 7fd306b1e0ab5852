// The program on the headless desktop for many ticks of virtual time with random moves,
// resizes (zero client sizes and maximize included), positions off every edge and changing
// screen content: every tick's picture equals the filters applied by hand, nothing is shown
// as an error, nothing leaks and resident memory stays flat after warm-up.
// HALVIK_SOAK_TICKS sets the number of ticks (default 500, a smoke run for the suites),
// HALVIK_SOAK_SEED the seed; scripts/soak.sh runs the long one.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <unistd.h>

#include "app/Unit1.h"
#include "filters/FilterKernels.h"
#include "platform/core/Forms.h"
#include "platform/headless/HeadlessBackend.h"
#include "support/TickModel.h"

#if defined(__SANITIZE_ADDRESS__)
#define HALVIK_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define HALVIK_SOAK_ASAN 1
#endif
#endif

namespace halvik {
namespace {

using testing::ClientPixels;
using testing::TTickModel;

int64_t EnvNumber(const char* Name, int64_t Default) {
  const char* v = std::getenv(Name);
  return v && *v ? std::strtoll(v, nullptr, 10) : Default;
}

// Resident set size in KiB, from /proc/self/statm.
int64_t ResidentKiB() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * int64_t(sysconf(_SC_PAGESIZE)) / 1024;
}

// A desktop picture that changes with Seed and shows where each pixel came from.
uint32_t Scene(uint32_t Seed, int X, int Y) {
  const uint32_t h = (uint32_t(X) * 2654435761u) ^ (uint32_t(Y) * 40503u) ^ (Seed * 2246822519u);
  return (Seed & 1) ? (h >> 8) & 0xFFFFFF
                    : uint32_t((X * 7 + int(Seed)) & 255) << 16 | uint32_t((Y * 5) & 255) << 8 | uint32_t((X ^ Y) & 255);
}

TEST(ProgramSoak, RandomMovesResizesAndScreensMatchTheFiltersEveryTick) {
  const int64_t ticks_wanted = EnvNumber("HALVIK_SOAK_TICKS", 500);
  std::mt19937 rng(uint32_t(EnvNumber("HALVIK_SOAK_SEED", 20261211)));
  // A small desktop keeps a hundred thousand checked ticks to minutes.
  constexpr int sw = 112, sh = 84;
  auto desk = std::make_unique<THeadlessBackend>(sw, sh);
  uint32_t scene = 1;
  desk->FillScreen([&](int X, int Y) { return Scene(scene, X, Y); });
  SetPlatform(desk.get());
  Form1 = nullptr;
  ScreenDC = nullptr;
  ScreenBitmap = WorkBitmap = OutputBitmap = nullptr;
  Application->Initialize();
  Application->SetTitle("Halvik");
  Application->CreateForm(Form1);
  auto model = std::make_unique<TTickModel>();
  model->Start(sw, sh, Form1->ClientWidth(), Form1->ClientHeight());

  int64_t ticks = 0, mismatches = 0, actions = 0;
  // How the ticks spread over the cases worth soaking, to show each was reached.
  int64_t hidden = 0, maximized = 0, zero_client = 0, off_edge = 0;
  int64_t rss_warm = 0;
  const int64_t warm_at = std::min<int64_t>(ticks_wanted, std::max<int64_t>(1000, ticks_wanted / 10));
  bool started = false;
  auto uniform = [&](int Lo, int Hi) { return std::uniform_int_distribution<int>(Lo, Hi)(rng); };
  auto mismatch = [&](const std::string& What) {
    if (++mismatches <= 5)
      ADD_FAILURE() << What << " at tick " << ticks << ": window " << Form1->Left() << "," << Form1->Top() << " client "
                    << Form1->ClientWidth() << "x" << Form1->ClientHeight();
  };

  desk->SetDriver([&](THeadlessBackend& d) {
    if (!started) {
      started = true;
      // Shown and at once sized to the small desktop, so no tick works at the stored size.
      d.PostRestoreFromTaskbar();
      d.PostSize(70, 60);
      return true;
    }
    if (ticks >= ticks_wanted) {
      d.PostClose();
      return true;
    }
    // The images follow the client size through FormResize alone.
    const int cw = Form1->ClientWidth(), ch = Form1->ClientHeight();
    model->Resize(cw, ch);
    if (WorkBitmap->Width() != 2 * cw || WorkBitmap->Height() != 2 * ch || OutputBitmap->Width() != cw ||
        OutputBitmap->Height() != ch)
      mismatch("images not at the client size");
    d.AdvanceTime(30);
    ++ticks;
    hidden += Form1->WindowState() == TWindowState::wsMinimized;
    maximized += Form1->WindowState() == TWindowState::wsMaximized;
    zero_client += cw == 0 || ch == 0;
    off_edge += Form1->Left() < 0 || Form1->Top() + CaptionOffset < 0 || Form1->Left() > sw ||
                Form1->Top() + CaptionOffset > sh;
    // The program runs the fastest kernel set; the filters by hand run the scalar code.
    const TKernelSet program_kernels = ActiveKernels();
    SetActiveKernels(TKernelSet::Scalar);
    model->Tick(d, Form1->Left(), Form1->Top(), cw, ch);
    SetActiveKernels(program_kernels);
    const std::vector<uint32_t> out = model->Output();
    if (TTickModel::Pixels(*OutputBitmap) != out) mismatch("OutputBitmap differs from the filters by hand");
    const auto& info = d.Window(d.Windows().at(0));
    if (info.Visible && info.State != TWindowState::wsMinimized) {
      if (ClientPixels(info) != out) mismatch("window picture differs from the filters by hand");
      // What a person sees: the picture with the key colour showing the desktop through.
      const std::vector<uint32_t> view = d.ComposedView();
      bool same = true;
      for (int y = 0; y < ch && same; ++y)
        for (int x = 0; x < cw; ++x) {
          const int sx = Form1->Left() + THeadlessBackend::kFrame.Left + x, sy = Form1->Top() + THeadlessBackend::kFrame.Top + y;
          if (sx < 0 || sy < 0 || sx >= d.ScreenWidth() || sy >= d.ScreenHeight()) continue;
          const uint32_t p = out[size_t(y) * size_t(cw) + size_t(x)];
          const uint32_t behind = d.ScreenRow(sy)[sx];
          same = same && view[size_t(sy) * size_t(d.ScreenWidth()) + size_t(sx)] == (p == 0x808080 ? behind : p);
        }
      if (!same) mismatch("composed view differs");
    }
    if (!d.ShownExceptions().empty()) mismatch("an exception was shown: " + d.ShownExceptions().back());
    if (d.OpenDeviceContexts() > 2) mismatch("device contexts pile up");
    if (ticks == warm_at) rss_warm = ResidentKiB();

    // Now and then the user or the desktop does something.
    if (uniform(0, 11) != 0) return true;
    ++actions;
    const int what = uniform(0, 99);
    if (what < 35) {
      // Mostly where the picture follows the screen; also off every edge, wholly off, and
      // exactly at an edge.
      static const int kEdgesX[] = {-1, 0, sw - 1, sw, sw + 1, -8};
      static const int kEdgesY[] = {-26, -25, -1, 0, sh - 26, sh - 25, sh - 24};
      const int where = uniform(0, 19);
      if (where < 12) d.PostMove(uniform(0, sw - 1), uniform(-25, sh - 26));
      else if (where < 17) d.PostMove(uniform(-140, sw + 40), uniform(-160, sh + 40));
      else d.PostMove(kEdgesX[uniform(0, 5)], kEdgesY[uniform(0, 6)]);
    } else if (what < 65) {
      // Now and then down to the bare frame: a client width or height of 0.
      int w = uniform(17, 90), h = uniform(40, 90);
      if (uniform(0, 6) == 0) (uniform(0, 1) ? w : h) = uniform(0, 1) ? 0 : 16;
      d.PostSize(w, h);
    } else if (what < 67) {
      d.PostMaximize();
    } else if (what < 72) {
      // Back from maximized (or from normal) the way a user does it here: down to the
      // taskbar and restored.
      d.PostMinimize();
      d.PostRestoreFromTaskbar();
    } else if (what < 75) {
      d.PostMinimize();
    } else if (what < 84) {
      d.PostRestoreFromTaskbar();
    } else if (what < 96) {
      ++scene;
      d.FillScreen([&](int X, int Y) { return Scene(scene, X, Y); });
    } else if (what < 98) {
      // The display's resolution changes; the screen image keeps its size from the start.
      d.ResizeScreen(uniform(sw / 2, sw), uniform(sh / 2, sh));
      d.FillScreen([&](int X, int Y) { return Scene(scene, X, Y); });
    } else {
      d.PostInvalidate();
    }
    return true;
  });
  Application->Run();
  const int64_t rss_end = ResidentKiB();

  EXPECT_EQ(ticks, ticks_wanted);
  EXPECT_EQ(mismatches, 0);
  EXPECT_TRUE(desk->ShownExceptions().empty());
  DoneApplication();
  model.reset();
  EXPECT_EQ(desk->LivePixelStores(), 0) << "every pixel store is freed";
  EXPECT_EQ(desk->OpenDeviceContexts(), 0) << "every device context is released";
  SetPlatform(nullptr);
  std::printf("soak: the program on the %s kernels, the filters by hand on scalar\n", KernelName(ActiveKernels()));
  std::printf("soak: %lld ticks (%lld s of virtual time), %lld user actions; ticks minimized %lld, maximized %lld, "
              "with a zero client size %lld, starting off the screen image %lld\n",
              (long long)ticks, (long long)(ticks * 30 / 1000), (long long)actions, (long long)hidden,
              (long long)maximized, (long long)zero_client, (long long)off_edge);
  // The headless desktop notes every release it sees, so some growth is its log, not the program.
  std::printf("soak: resident %lld KiB after %lld ticks, %lld KiB at the end; the test desktop logged %zu releases\n",
              (long long)rss_warm, (long long)warm_at, (long long)rss_end, desk->Releases().size());
#ifndef HALVIK_SOAK_ASAN
  // Without the sanitizer's quarantine the heap reaches its size during warm-up and stays.
  EXPECT_LE(rss_end - rss_warm, 4096) << "resident memory grew after warm-up";
#endif
}

}  // namespace
}  // namespace halvik
