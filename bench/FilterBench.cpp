// The frame tick's pixel work at three client sizes: each stage and the whole tick, on the
// scalar code and on the fastest kernel set, a memset of the screen image beside the fill, and
// OpenCV's nearest equivalent (not bit-exact, not in place) when it is built in. After the runs
// a table gives the medians and their ratios.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "bitmap/ABitmap.h"
#include "filters/ABitmapFilters32.h"
#include "filters/FilterKernels.h"

#if defined(HALVIK_HAVE_OPENCV)
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#endif

namespace halvik {
namespace {

constexpr int kCaptionOffset = 25;

struct TSize {
  const char* Name;
  int Width, Height;
};
// The default window's client area, a full-HD client and a 4K client.
const TSize kSizes[] = {{"default", 340, 442}, {"1920x1080", 1920, 1080}, {"3840x2160", 3840, 2160}};

// The tick's three images for a client of the given size; the screen image is just large enough
// to hold the area behind a window at the screen's top-left corner.
struct TTickImages {
  explicit TTickImages(const TSize& S) : w(S.Width), h(S.Height) {
    screen.SetSize(w, h + kCaptionOffset);
    for (int y = 0; y < screen.Height(); ++y) {
      auto* row = static_cast<uint32_t*>(screen.ScanLine(y));
      for (int x = 0; x < w; ++x) row[x] = (uint32_t(x) * 2654435761u) ^ (uint32_t(y) * 40503u);
    }
    work.SetSize(2 * w, 2 * h);
    out.SetSize(w, h);
  }
  void Fill() { screen.Fill(0, 0, 0); }
  void Enlarge() { StretchBilinear(work.Width(), work.Height(), screen, 0, kCaptionOffset, w, h, 0, 0, work); }
  void Blur() { BoxBlur(work, 1); }
  void Shrink() { StretchBilinear(w, h, work, 0, 0, work.Width(), work.Height(), 0, 0, out); }
  int w, h;
  TABitmap screen, work, out;
};

// The set measured as "fast": the one chosen at start (HALVIK_KERNELS can name it), or the
// fastest when the scalar code is forced.
TKernelSet Fastest() {
  static const TKernelSet set = ActiveKernels() != TKernelSet::Scalar ? ActiveKernels() : AvailableKernels().back();
  return set;
}

void RunStage(benchmark::State& State, const TSize& S, TKernelSet Set, const std::string& Stage) {
  SetActiveKernels(Set);
  TTickImages t(S);
  t.Enlarge();  // the work image as a tick leaves it, for the stages after the enlarge
  for (auto _ : State) {
    if (Stage == "fill") t.Fill();
    else if (Stage == "enlarge") t.Enlarge();
    else if (Stage == "blur") t.Blur();
    else if (Stage == "shrink") t.Shrink();
    else {
      t.Fill();
      t.Enlarge();
      t.Blur();
      t.Shrink();
    }
    benchmark::ClobberMemory();
  }
  State.SetLabel(KernelName(Set));
}

void RunMemset(benchmark::State& State, const TSize& S) {
  std::vector<uint8_t> bytes(4 * size_t(S.Width) * size_t(S.Height + kCaptionOffset));
  for (auto _ : State) {
    std::memset(bytes.data(), 0, bytes.size());
    benchmark::DoNotOptimize(bytes.data());
    benchmark::ClobberMemory();
  }
}

#if defined(HALVIK_HAVE_OPENCV)
void RunOpenCv(benchmark::State& State, const TSize& S, const std::string& Stage) {
  cv::setNumThreads(1);
  cv::Mat screen(S.Height + kCaptionOffset, S.Width, CV_8UC4), work, blurred, out;
  cv::randu(screen, 0, 256);
  const cv::Mat area = screen(cv::Rect(0, kCaptionOffset, S.Width, S.Height));
  cv::resize(area, work, cv::Size(2 * S.Width, 2 * S.Height), 0, 0, cv::INTER_LINEAR);
  for (auto _ : State) {
    if (Stage == "fill" || Stage == "tick") screen.setTo(cv::Scalar::all(0));
    if (Stage == "enlarge" || Stage == "tick") cv::resize(area, work, work.size(), 0, 0, cv::INTER_LINEAR);
    if (Stage == "blur" || Stage == "tick") cv::blur(work, blurred, cv::Size(3, 3));
    if (Stage == "shrink" || Stage == "tick")
      cv::resize(Stage == "tick" ? blurred : work, out, cv::Size(S.Width, S.Height), 0, 0, cv::INTER_LINEAR);
    benchmark::ClobberMemory();
  }
}
#endif

const char* const kStages[] = {"fill", "enlarge", "blur", "shrink", "tick"};

void Register() {
  for (const TSize& s : kSizes) {
    for (const char* stage : kStages) {
      for (TKernelSet set : {TKernelSet::Scalar, Fastest()}) {
        const std::string name = std::string(stage) + "/" + s.Name + "/" + (set == TKernelSet::Scalar ? "scalar" : "fast");
        auto* b = benchmark::RegisterBenchmark(name.c_str(), [s, set, stage](benchmark::State& st) {
          RunStage(st, s, set, stage);
        });
        b->Unit(benchmark::kMillisecond)->UseRealTime();
        // The scalar tick at 4K takes over a second: a few iterations per repetition suffice.
        if (set == TKernelSet::Scalar && s.Width >= 1920) b->Iterations(s.Width >= 3840 ? 1 : 3);
      }
#if defined(HALVIK_HAVE_OPENCV)
      const std::string name = std::string(stage) + "/" + s.Name + "/opencv";
      benchmark::RegisterBenchmark(name.c_str(), [s, stage](benchmark::State& st) { RunOpenCv(st, s, stage); })
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
#endif
    }
    const std::string name = std::string("memset/") + s.Name + "/memset";
    benchmark::RegisterBenchmark(name.c_str(), [s](benchmark::State& st) { RunMemset(st, s); })
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
}

// Keeps each benchmark's median (or its only run) in milliseconds.
class TMedianReporter : public benchmark::ConsoleReporter {
 public:
  TMedianReporter() : ConsoleReporter(OO_Tabular) {}
  void ReportRuns(const std::vector<Run>& Runs) override {
    ConsoleReporter::ReportRuns(Runs);
    for (const Run& r : Runs) {
      const std::string name = r.run_name.function_name;
      if (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median") continue;
      if (r.run_type == Run::RT_Iteration && medians_.count(name) && has_median_[name]) continue;
      medians_[name] = r.GetAdjustedRealTime();
      if (r.run_type == Run::RT_Aggregate) has_median_[name] = true;
    }
  }
  double Get(const std::string& Name) const {
    auto it = medians_.find(Name);
    return it == medians_.end() ? 0.0 : it->second;
  }

 private:
  std::map<std::string, double> medians_;
  std::map<std::string, bool> has_median_;
};

void PrintTable(const TMedianReporter& R) {
  std::printf("\nMedians in ms, one thread; fast = %s.\n", KernelName(Fastest()));
  std::printf("| client | stage | scalar | fast | opencv | scalar/fast | opencv/fast |\n");
  std::printf("|---|---|---:|---:|---:|---:|---:|\n");
  for (const TSize& s : kSizes)
    for (const char* stage : kStages) {
      const std::string base = std::string(stage) + "/" + s.Name + "/";
      const double sc = R.Get(base + "scalar"), fa = R.Get(base + "fast"), cv = R.Get(base + "opencv");
      std::printf("| %s | %s | %.3f | %.3f | %s | %.1f | %s |\n", s.Name, stage, sc, fa,
                  cv > 0 ? std::to_string(cv).substr(0, 6).c_str() : "-", fa > 0 ? sc / fa : 0.0,
                  cv > 0 && fa > 0 ? std::to_string(cv / fa).substr(0, 5).c_str() : "-");
    }
  std::printf("\nTargets:\n");
  const auto tick = [&](const char* size, const char* kind) { return R.Get(std::string("tick/") + size + "/" + kind); };
  const double hdFast = tick("1920x1080", "fast");
  std::printf("  1920x1080 tick %.3f ms (target 6), %.1fx scalar (target 60), %s opencv (target 5)\n", hdFast,
              hdFast > 0 ? tick("1920x1080", "scalar") / hdFast : 0.0,
              tick("1920x1080", "opencv") > 0 ? (std::to_string(tick("1920x1080", "opencv") / hdFast).substr(0, 5) + "x").c_str() : "-");
  std::printf("  3840x2160 tick %.3f ms (target 25)\n", tick("3840x2160", "fast"));
  std::printf("  default-window tick %.3f ms (target 0.3)\n", tick("default", "fast"));
  const double fill = R.Get("fill/1920x1080/fast"), ms = R.Get("memset/1920x1080/memset");
  std::printf("  1920x1080 fill %.3f ms, %.2fx a memset of %.3f ms (target 1.5)\n", fill, ms > 0 ? fill / ms : 0.0, ms);
}

}  // namespace
}  // namespace halvik

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  halvik::Register();
  halvik::TMedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  halvik::PrintTable(reporter);
  benchmark::Shutdown();
  return 0;
}
