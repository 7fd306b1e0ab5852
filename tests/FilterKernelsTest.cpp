// Every vector kernel set against the scalar code, byte for byte: the public filters over random
// sizes and arguments, and the kernels themselves on rows with guard pixels after each row and
// after the image. The seed is printed; HALVIK_TEST_SEED=<seed> replays a run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "filters/ABitmapFilters32.h"
#include "filters/FilterKernels.h"
#include "filters/KernelTable.h"
#include "filters/StretchFast.h"

namespace halvik {
namespace {

uint64_t Seed() {
  static const uint64_t seed = [] {
    const char* env = std::getenv("HALVIK_TEST_SEED");
    const uint64_t s = env ? std::strtoull(env, nullptr, 10) : std::random_device{}();
    std::printf("FilterKernelsTest seed %llu (replay with HALVIK_TEST_SEED=%llu)\n", (unsigned long long)s,
                (unsigned long long)s);
    return s;
  }();
  return seed;
}

// Restores the kernel set chosen at start when a test ends.
class KernelSets : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = ActiveKernels(); rng_.seed(Seed() ^ std::hash<std::string>{}(Name())); }
  void TearDown() override { SetActiveKernels(saved_); }
  static std::string Name() { return ::testing::UnitTest::GetInstance()->current_test_info()->name(); }
  std::vector<TKernelSet> FastSets() {
    std::vector<TKernelSet> sets;
    for (TKernelSet s : AvailableKernels())
      if (s != TKernelSet::Scalar) sets.push_back(s);
    return sets;
  }
  int Uniform(int Lo, int Hi) { return std::uniform_int_distribution<int>(Lo, Hi)(rng_); }
  // Sizes around every lane count and chunk edge, and some at random.
  int SomeSize(int Max) {
    static const int kEdges[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 66, 127, 128, 129};
    if (Uniform(0, 2) == 0) return std::min(Max, Uniform(0, Max));
    return std::min(Max, kEdges[Uniform(0, int(std::size(kEdges)) - 1)]);
  }
  void Noise(TABitmap& B, int W, int H) {
    B.SetSize(W, H);
    const int kind = Uniform(0, 3);  // noise, smooth, all 255, all 0
    for (int y = 0; y < H; ++y) {
      uint8_t* row = static_cast<uint8_t*>(B.ScanLine(y));
      for (int k = 0; k < 4 * W; ++k)
        row[k] = kind == 0 ? uint8_t(rng_()) : kind == 1 ? uint8_t((k * 3 + y * 5) & 255) : kind == 2 ? 255 : 0;
    }
  }
  static std::vector<uint8_t> Bytes(TABitmap& B) {
    std::vector<uint8_t> v;
    for (int y = 0; y < B.Height(); ++y) {
      const uint8_t* row = static_cast<uint8_t*>(B.ScanLine(y));
      v.insert(v.end(), row, row + 4 * size_t(B.Width()));
    }
    return v;
  }
  static void CopyInto(TABitmap& From, TABitmap& To) {
    To.SetSize(From.Width(), From.Height());
    for (int y = 0; y < From.Height(); ++y)
      std::memcpy(To.ScanLine(y), From.ScanLine(y), 4 * size_t(From.Width()));
  }
  // The radius-1 blur of a W x H bitmap of noise by every vector set, against the scalar code.
  void BlurEqualsScalar(int W, int H) {
    TABitmap start;
    Noise(start, W, H);
    ASSERT_TRUE(SetActiveKernels(TKernelSet::Scalar));
    TABitmap want;
    CopyInto(start, want);
    BoxBlur(want, 1);
    for (TKernelSet s : FastSets()) {
      ASSERT_TRUE(SetActiveKernels(s));
      TABitmap got;
      CopyInto(start, got);
      BoxBlur(got, 1);
      ASSERT_EQ(Bytes(got), Bytes(want)) << KernelName(s) << ": " << W << "x" << H;
    }
  }
  std::mt19937_64 rng_;
  TKernelSet saved_ = TKernelSet::Scalar;
};

TEST_F(KernelSets, ReportsTheActiveSet) {
  const std::vector<TKernelSet> sets = AvailableKernels();
  ASSERT_FALSE(sets.empty());
  EXPECT_EQ(sets.front(), TKernelSet::Scalar);
  std::printf("active kernels: %s; available:", KernelName(ActiveKernels()));
  for (TKernelSet s : sets) std::printf(" %s", KernelName(s));
  std::printf("\n");
  for (TKernelSet s : sets) {
    EXPECT_TRUE(SetActiveKernels(s));
    EXPECT_EQ(ActiveKernels(), s);
    EXPECT_EQ(ActiveKernelTable() == nullptr, s == TKernelSet::Scalar) << KernelName(s);
  }
  const char* force = std::getenv("HALVIK_FORCE_SCALAR");
  if (force != nullptr && std::string(force) == "1") {
    EXPECT_EQ(saved_, TKernelSet::Scalar);
  }
}

// One stretch on every set from the same destination content, compared with the scalar result.
struct TStretchArgs {
  int DstWidth, DstHeight;
  double SrcX, SrcY, SrcWidth, SrcHeight, DstX, DstY;
};

TEST_F(KernelSets, StretchEqualsScalar) {
  for (int round = 0; round < 400; ++round) {
    TABitmap src, dst0;
    const int sw = SomeSize(200), sh = SomeSize(120);
    const int dw = SomeSize(260), dh = SomeSize(140);
    Noise(src, sw, sh);
    Noise(dst0, dw, dh);
    TStretchArgs a{};
    const auto frac = [&] { return Uniform(0, 3) == 0 ? Uniform(0, 255) / 256.0 : 0.0; };
    switch (Uniform(0, 3)) {
      case 0:  // the tick's enlarge, the window anywhere on or off the screen
        a = {dw, dh, double(Uniform(-3, sw + 3)), double(Uniform(-3, sh + 3)), double(dw / 2), double(dh / 2), 0, 0};
        break;
      case 1:  // the tick's shrink
        a = {sw / 2, sh / 2, 0, 0, double(sw), double(sh), 0, 0};
        break;
      default:  // anything, fractions and every edge
        a = {Uniform(-5, dw + 40), Uniform(-5, dh + 40), Uniform(-2, sw + 2) + frac(), Uniform(-2, sh + 2) + frac(),
             Uniform(-2, sw + 10) + frac(), Uniform(-2, sh + 10) + frac(), Uniform(-40, dw + 2) + frac(),
             Uniform(-40, dh + 2) + frac()};
    }
    ASSERT_TRUE(SetActiveKernels(TKernelSet::Scalar));
    TABitmap want;
    CopyInto(dst0, want);
    StretchBilinear(a.DstWidth, a.DstHeight, src, a.SrcX, a.SrcY, a.SrcWidth, a.SrcHeight, a.DstX, a.DstY, want);
    for (TKernelSet s : FastSets()) {
      ASSERT_TRUE(SetActiveKernels(s));
      TABitmap got;
      CopyInto(dst0, got);
      StretchBilinear(a.DstWidth, a.DstHeight, src, a.SrcX, a.SrcY, a.SrcWidth, a.SrcHeight, a.DstX, a.DstY, got);
      ASSERT_EQ(Bytes(got), Bytes(want)) << KernelName(s) << " round " << round << ": source " << sw << "x" << sh
                                         << ", dest " << dw << "x" << dh << ", args " << a.DstWidth << " "
                                         << a.DstHeight << " " << a.SrcX << " " << a.SrcY << " " << a.SrcWidth << " "
                                         << a.SrcHeight << " " << a.DstX << " " << a.DstY;
    }
  }
}

// A bitmap stretched into itself reads rows that the stretch has already written.
TEST_F(KernelSets, StretchIntoItsOwnSourceEqualsScalar) {
  const TStretchArgs cases[] = {{40, 30, 0, 0, 20, 15, 0, 0},    // enlarge from the top-left quarter
                                {20, 15, 0, 0, 40, 30, 0, 0},    // shrink onto the top-left quarter
                                {40, 30, 5, 3, 30, 20, 0, 0},    // enlarge over its own source
                                {30, 20, 0, 0, 40, 30, 10, 10}};  // shrink onto the lower right
  for (const TStretchArgs& a : cases) {
    TABitmap start;
    Noise(start, 40, 30);
    ASSERT_TRUE(SetActiveKernels(TKernelSet::Scalar));
    TABitmap want;
    CopyInto(start, want);
    StretchBilinear(a.DstWidth, a.DstHeight, want, a.SrcX, a.SrcY, a.SrcWidth, a.SrcHeight, a.DstX, a.DstY, want);
    for (TKernelSet s : FastSets()) {
      ASSERT_TRUE(SetActiveKernels(s));
      TABitmap got;
      CopyInto(start, got);
      StretchBilinear(a.DstWidth, a.DstHeight, got, a.SrcX, a.SrcY, a.SrcWidth, a.SrcHeight, a.DstX, a.DstY, got);
      ASSERT_EQ(Bytes(got), Bytes(want)) << KernelName(s) << ": " << a.DstWidth << "x" << a.DstHeight;
    }
  }
}

TEST_F(KernelSets, BoxBlurEqualsScalarForEveryRadius) {
  for (int round = 0; round < 300; ++round) {
    TABitmap start;
    // Some bitmaps wide enough that the middle of each band runs with no edge column in it.
    const bool wide = round % 10 == 0;
    const int w = wide ? Uniform(500, 1400) : SomeSize(300), h = wide ? Uniform(8, 40) : SomeSize(90);
    const int radius = round < 60 ? 1 : Uniform(0, 9);
    Noise(start, w, h);
    ASSERT_TRUE(SetActiveKernels(TKernelSet::Scalar));
    TABitmap want;
    CopyInto(start, want);
    BoxBlur(want, radius);
    for (TKernelSet s : FastSets()) {
      ASSERT_TRUE(SetActiveKernels(s));
      TABitmap got;
      CopyInto(start, got);
      BoxBlur(got, radius);
      ASSERT_EQ(Bytes(got), Bytes(want)) << KernelName(s) << " round " << round << ": " << w << "x" << h
                                         << " radius " << radius;
    }
  }
}

// Heights around the vector sets' band heights (8, 16 and 32 rows) and widths around their
// blocks and around the width where a band's middle steps start to have no edge column.
TEST_F(KernelSets, BoxBlurEqualsScalarAroundBandEdges) {
  const int heights[] = {2, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 65};
  const int widths[] = {2, 3, 4, 14, 15, 16, 17, 30, 31, 32, 33, 62, 63, 64, 65, 66, 97};
  for (int h : heights)
    for (int w : widths) ASSERT_NO_FATAL_FAILURE(BlurEqualsScalar(w, h));
}

// Wide bitmaps, with band counts and widths that end anywhere in a vector.
TEST_F(KernelSets, BoxBlurEqualsScalarOnWideBands) {
  for (int round = 0; round < 12; ++round) ASSERT_NO_FATAL_FAILURE(BlurEqualsScalar(Uniform(1100, 3000), Uniform(15, 70)));
}

// Rows apart from one another, each followed by guard bytes that no kernel may touch.
struct TGuardedImage {
  static constexpr int kGuard = 64;
  static constexpr uint8_t kMark = 0xA5;
  TGuardedImage(int W, int H) : w(W), h(H), store(size_t(H) * (4 * size_t(W) + kGuard) + kGuard, kMark) {
    for (int y = 0; y < H; ++y) rows.push_back(store.data() + size_t(y) * (4 * size_t(W) + kGuard));
  }
  bool GuardsIntact() const {
    for (int y = 0; y < h; ++y)
      for (int k = 0; k < kGuard; ++k)
        if (rows[size_t(y)][4 * size_t(w) + k] != kMark) return false;
    for (size_t k = store.size() - kGuard; k < store.size(); ++k)
      if (store[k] != kMark) return false;
    return true;
  }
  int w, h;
  std::vector<uint8_t> store;
  std::vector<uint8_t*> rows;
};

TEST_F(KernelSets, BlurKernelStaysInItsRows) {
  for (int round = 0; round < 150; ++round) {
    const bool wide = round % 10 == 0;
    const int w = wide ? Uniform(500, 1400) : std::max(2, SomeSize(200)), h = wide ? Uniform(8, 40) : std::max(2, SomeSize(40));
    TABitmap want;
    Noise(want, w, h);
    TGuardedImage img(w, h);
    for (int y = 0; y < h; ++y) std::memcpy(img.rows[size_t(y)], want.ScanLine(y), 4 * size_t(w));
    ASSERT_TRUE(SetActiveKernels(TKernelSet::Scalar));
    BoxBlur(want, 1);
    for (TKernelSet s : FastSets()) {
      ASSERT_TRUE(SetActiveKernels(s));
      TGuardedImage got = img;
      for (int y = 0; y < h; ++y) got.rows[size_t(y)] = got.store.data() + size_t(y) * (4 * size_t(w) + got.kGuard);
      ActiveKernelTable()->BlurRadius1(got.rows.data(), w, h);
      ASSERT_TRUE(got.GuardsIntact()) << KernelName(s) << " " << w << "x" << h;
      for (int y = 0; y < h; ++y)
        ASSERT_EQ(std::memcmp(got.rows[size_t(y)], want.ScanLine(y), 4 * size_t(w)), 0)
            << KernelName(s) << " " << w << "x" << h << " row " << y;
    }
  }
}

TEST_F(KernelSets, StretchColumnsFillWholeBlocksOfTheirTable) {
  for (int round = 0; round < 300; ++round) {
    const int srcWidth = std::max(1, SomeSize(150)), count = SomeSize(200);
    std::vector<uint8_t> row(4 * size_t(srcWidth));
    for (auto& b : row) b = uint8_t(rng_());
    // Columns anywhere in the row, or walking along it in steps of 0 to 2 pixels as the
    // stretches do, so that both the gathered and the permuted blocks run, up to the row's end;
    // weights on both sides of 128, where a pair is stored swapped.
    const bool walk = Uniform(0, 1) == 1;
    TStretchColumnStore store;
    int col = walk ? Uniform(0, srcWidth - 1) : 0;
    for (int i = 0; i < count; ++i) {
      col = walk ? std::min(col + Uniform(0, 2), srcWidth - 1) : Uniform(0, srcWidth - 1);
      store.Left.push_back(col);
      store.Right.push_back(std::min(col + Uniform(0, 1), srcWidth - 1));
      store.Weight.push_back(uint32_t(Uniform(0, 3) == 0 ? Uniform(126, 129) : Uniform(0, 255)));
    }
    for (TKernelSet s : FastSets()) {
      ASSERT_TRUE(SetActiveKernels(s));
      store.PlanBlocks(srcWidth, *ActiveKernelTable());
      const int padded = store.PaddedCount();
      const int block = ActiveKernelTable()->BlockPixels;
      ASSERT_TRUE(padded >= count && padded < count + block && padded % block == 0)
          << KernelName(s) << " count " << count << " padded " << padded;
      TGuardedImage mixed(padded, 1);
      const TStretchColumnTable table = store.Table();
      TStretchRowJob job;
      job.Columns = &table;
      job.RowA = job.AheadA = row.data();
      job.Out = mixed.rows[0];
      ActiveKernelTable()->StretchColumns(job);
      ASSERT_TRUE(mixed.GuardsIntact()) << KernelName(s) << " count " << count;
      // The padding repeats the last column.
      for (int i = 0; i < padded; ++i)
        for (int lane = 0; lane < 4; ++lane) {
          const size_t c = size_t(std::min(i, count - 1));
          const uint32_t wx = store.Weight[c];
          const uint32_t p = row[4 * size_t(store.Left[c]) + lane], q = row[4 * size_t(store.Right[c]) + lane];
          ASSERT_EQ(mixed.rows[0][4 * i + lane], (p * (255 - wx) + q * wx) >> 8)
              << KernelName(s) << " pixel " << i << " of " << count << ", weight " << wx;
        }
    }
  }
}

// Two source rows mixed and blended in one pass: exactly the pixels asked for, at any offset
// from a cache line, for counts that end anywhere in a block.
TEST_F(KernelSets, StretchColumnsBlendTwoRowsIntoExactlyTheirPixels) {
  constexpr size_t kGuard = 160;
  constexpr uint8_t kMark = 0xA5;
  for (int round = 0; round < 300; ++round) {
    const int srcWidth = std::max(1, SomeSize(150)), count = std::max(1, SomeSize(200));
    std::vector<uint8_t> rowA(4 * size_t(srcWidth)), rowB(4 * size_t(srcWidth));
    for (auto& b : rowA) b = uint8_t(rng_());
    for (auto& b : rowB) b = uint8_t(rng_());
    // The shrink's columns, or columns anywhere in the row.
    const bool shrink = Uniform(0, 1) == 1;
    TStretchColumnStore store;
    for (int i = 0; i < count; ++i) {
      const int col = shrink ? std::min(std::max(2 * i - 1, 0), srcWidth - 1) : Uniform(0, srcWidth - 1);
      store.Left.push_back(col);
      store.Right.push_back(std::min(col + 1, srcWidth - 1));
      store.Weight.push_back(uint32_t(Uniform(0, 255)));
    }
    const uint32_t wy = uint32_t(Uniform(0, 3) == 0 ? Uniform(126, 129) : Uniform(0, 255));
    const int pixels = Uniform(0, count);
    const size_t offset = 4 * size_t(Uniform(0, 31)) + (Uniform(0, 3) == 0 ? size_t(Uniform(1, 3)) : 0);
    const bool stream = Uniform(0, 1) == 1;
    for (TKernelSet s : FastSets()) {
      ASSERT_TRUE(SetActiveKernels(s));
      store.PlanBlocks(srcWidth, *ActiveKernelTable());
      const TStretchColumnTable table = store.Table();
      std::vector<uint8_t> out(kGuard + 128 + 4 * size_t(count) + kGuard, kMark);
      const uintptr_t at = reinterpret_cast<uintptr_t>(out.data()) + kGuard;
      uint8_t* dst = reinterpret_cast<uint8_t*>((at + 63) & ~uintptr_t(63)) + offset;
      TStretchRowJob job;
      job.Columns = &table;
      job.RowA = job.AheadA = rowA.data();
      job.RowB = job.AheadB = rowB.data();
      job.WY = wy;
      job.Pixels = pixels;
      job.Stream = stream;
      job.Out = dst;
      ActiveKernelTable()->StretchColumns(job);
      for (uint8_t* p = out.data(); p < dst; ++p) ASSERT_EQ(*p, kMark) << KernelName(s) << " wrote before the row";
      for (uint8_t* p = dst + 4 * size_t(pixels); p < out.data() + out.size(); ++p)
        ASSERT_EQ(*p, kMark) << KernelName(s) << " wrote past " << pixels << " pixels";
      for (int i = 0; i < pixels; ++i)
        for (int lane = 0; lane < 4; ++lane) {
          const size_t l = 4 * size_t(store.Left[size_t(i)]) + lane, r = 4 * size_t(store.Right[size_t(i)]) + lane;
          const uint32_t wx = store.Weight[size_t(i)];
          const uint32_t top = (rowA[l] * (255 - wx) + rowA[r] * wx) >> 8;
          const uint32_t bottom = (rowB[l] * (255 - wx) + rowB[r] * wx) >> 8;
          ASSERT_EQ(dst[4 * size_t(i) + lane], (top * (255 - wy) + bottom * wy) >> 8)
              << KernelName(s) << " pixel " << i << " of " << pixels << ", offset " << offset << ", stream " << stream;
        }
    }
  }
}

TEST_F(KernelSets, StretchBlendWritesExactlyItsBytes) {
  constexpr size_t kGuard = 160;
  constexpr uint8_t kMark = 0xA5;
  for (int round = 0; round < 600; ++round) {
    // Byte counts around every vector width, also ones that are no whole number of pixels,
    // at every offset from a cache line, written both ways.
    const size_t bytes = size_t(std::max(0, 4 * SomeSize(300) - Uniform(0, 3)));
    const size_t offset = size_t(Uniform(0, 127));
    const bool stream = Uniform(0, 1) == 1;
    const uint32_t wy = uint32_t(Uniform(0, 3) == 0 ? Uniform(126, 129) : Uniform(0, 255));
    std::vector<uint8_t> a(bytes), b(bytes);
    for (auto& v : a) v = uint8_t(Uniform(0, 254));
    for (auto& v : b) v = uint8_t(Uniform(0, 254));
    for (TKernelSet s : FastSets()) {
      ASSERT_TRUE(SetActiveKernels(s));
      std::vector<uint8_t> store(kGuard + 128 + bytes + kGuard, kMark);
      // The row starts Offset bytes past a 64-byte boundary.
      const uintptr_t at = reinterpret_cast<uintptr_t>(store.data()) + kGuard;
      uint8_t* dst = reinterpret_cast<uint8_t*>((at + 63) & ~uintptr_t(63)) + offset;
      ActiveKernelTable()->StretchBlend(a.data(), b.data(), wy, bytes, dst, stream);
      for (uint8_t* p = store.data(); p < dst; ++p)
        ASSERT_EQ(*p, kMark) << KernelName(s) << " wrote before the row, " << bytes << " bytes at offset " << offset;
      for (uint8_t* p = dst + bytes; p < store.data() + store.size(); ++p)
        ASSERT_EQ(*p, kMark) << KernelName(s) << " wrote after the row, " << bytes << " bytes at offset " << offset;
      for (size_t k = 0; k < bytes; ++k)
        ASSERT_EQ(dst[k], (a[k] * (255 - wy) + b[k] * wy) >> 8)
            << KernelName(s) << " byte " << k << " of " << bytes << ", weight " << wy << ", stream " << stream;
    }
  }
}

}  // namespace
}  // namespace halvik
