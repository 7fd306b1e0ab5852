// The in-place box blur in raster order, with 16-bit wrapping sums.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "support/Paint.h"
#include "filters/ABitmapFilters32.h"
#include "filters/BoxBlurWindow.h"

namespace halvik {
namespace {

using testing::Make;
using testing::TPaint;

uint8_t Byte(TABitmap& B, int X, int Y, int Lane) { return static_cast<uint8_t*>(B.ScanLine(Y))[4 * X + Lane]; }

std::vector<uint8_t> Bytes(TABitmap& B) {
  std::vector<uint8_t> v;
  for (int y = 0; y < B.Height(); ++y) {
    const uint8_t* row = static_cast<uint8_t*>(B.ScanLine(y));
    v.insert(v.end(), row, row + 4 * B.Width());
  }
  return v;
}

// Every byte different and far from uniform, so that any change shows.
const TPaint kNoise = [](int x, int y, uint8_t* p) {
  for (int lane = 0; lane < 4; ++lane) p[lane] = uint8_t((x * 71 + y * 113 + lane * 37) * 2654435761u >> 24);
};

TEST(BoxBlur, BitmapsWithoutPixelsAreLeftAlone) {
  struct Size { int w, h; } sizes[] = {{0, 0}, {5, 0}, {0, 3}};
  for (const Size& s : sizes) {
    TABitmap b;
    b.SetSize(s.w, s.h);
    BoxBlur(b, 1);
    BoxBlur(b, 7);
    EXPECT_EQ(b.Width(), s.w);
    EXPECT_EQ(b.Height(), s.h);
  }
}

TEST(BoxBlur, OnePixelAndRadiusZeroAreUnchanged) {
  for (int radius = 0; radius <= 9; ++radius) {
    TABitmap b;
    Make(b, 1, 1, [](int, int, uint8_t* p) { p[0] = 17, p[1] = 200, p[2] = 255, p[3] = 3; });
    BoxBlur(b, radius);
    EXPECT_EQ(Bytes(b), (std::vector<uint8_t>{17, 200, 255, 3})) << radius;
  }
  TABitmap b;
  Make(b, 7, 5, kNoise);
  const std::vector<uint8_t> before = Bytes(b);
  BoxBlur(b, 0);
  EXPECT_EQ(Bytes(b), before);
}

TEST(BoxBlur, UniformBitmapIsUnchangedUpToRadius7) {
  const uint8_t colours[][4] = {{17, 99, 201, 3}, {255, 255, 255, 255}};
  for (const auto& colour : colours)
    for (int radius = 0; radius <= 7; ++radius) {
      TABitmap b;
      Make(b, 20, 18, [&](int, int, uint8_t* p) { std::memcpy(p, colour, 4); });
      BoxBlur(b, radius);
      for (int y = 0; y < 18; ++y)
        for (int x = 0; x < 20; ++x)
          for (int lane = 0; lane < 4; ++lane)
            ASSERT_EQ(Byte(b, x, y, lane), colour[lane]) << radius << " at " << x << "," << y;
    }
}

// Above radius 7 the sums wrap: in a 17 by 17 bitmap of 255s, the first window of more than 257
// pixels holds 272 of them (16 rows of 17), whose sum 69360 wraps to 3824, and 3824 / 272 = 14.
TEST(BoxBlur, SumsWrapAt16BitsAboveRadius7) {
  struct Case { int radius, y, x; } cases[] = {{8, 7, 8}, {9, 6, 7}};
  for (const Case& c : cases) {
    TABitmap b;
    Make(b, 17, 17, [](int, int, uint8_t* p) { std::memset(p, 255, 4); });
    BoxBlur(b, c.radius);
    for (int y = 0; y <= c.y; ++y)
      for (int x = 0; x < (y == c.y ? c.x : 17); ++x) ASSERT_EQ(Byte(b, x, y, 0), 255) << x << "," << y;
    for (int lane = 0; lane < 4; ++lane) EXPECT_EQ(Byte(b, c.x, c.y, lane), 14) << c.radius;
  }
}

// Each window sees the new values above and left of its centre.
TEST(BoxBlur, RasterOrderWorkedExampleInEveryBytePosition) {
  for (int lane = 0; lane < 4; ++lane) {
    TABitmap b;
    Make(b, 4, 2, [lane](int x, int y, uint8_t* p) { p[lane] = uint8_t(10 * (x + 1) + 40 * y); });
    BoxBlur(b, 1);
    const int want[2][4] = {{35, 44, 54, 61}, {47, 51, 60, 63}};
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 4; ++x)
        for (int l = 0; l < 4; ++l) EXPECT_EQ(Byte(b, x, y, l), l == lane ? want[y][x] : 0) << lane << ":" << x << "," << y;
  }
}

TEST(BoxBlur, OnePixelHighOrWideAveragesWithItsTwoNeighbours) {
  // 10, 20, 30, 40 -> (10+20)/2, (15+20+30)/3, (21+30+40)/3, (30+40)/2
  const std::vector<uint8_t> want{15, 21, 30, 35};
  TABitmap row, column;
  Make(row, 4, 1, [](int x, int, uint8_t* p) { p[2] = uint8_t(10 * (x + 1)); });
  Make(column, 1, 4, [](int, int y, uint8_t* p) { p[2] = uint8_t(10 * (y + 1)); });
  BoxBlur(row, 1);
  BoxBlur(column, 1);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(Byte(row, i, 0, 2), want[size_t(i)]);
    EXPECT_EQ(Byte(column, 0, i, 2), want[size_t(i)]);
  }
}

TEST(BoxBlur, NegativeRadiusLeavesTheBitmapUnchanged) {
  for (int32_t radius : {-1, -8, std::numeric_limits<int32_t>::min()}) {
    TABitmap b;
    Make(b, 6, 5, kNoise);
    const std::vector<uint8_t> before = Bytes(b);
    BoxBlur(b, radius);
    EXPECT_EQ(Bytes(b), before) << radius;
  }
}

// A radius past every side makes each window the whole bitmap, without overflow on the way.
TEST(BoxBlur, HugeRadiusWindowIsTheWholeBitmap) {
  for (int32_t radius : {1, 1000, std::numeric_limits<int32_t>::max() - 1, std::numeric_limits<int32_t>::max()}) {
    TABitmap b;
    Make(b, 2, 2, [](int x, int y, uint8_t* p) { p[1] = uint8_t(10 + 10 * x + 20 * y); });
    BoxBlur(b, radius);
    // (10+20+30+40)/4, (25+20+30+40)/4, (25+28+30+40)/4, (25+28+30+40)/4
    EXPECT_EQ(Byte(b, 0, 0, 1), 25) << radius;
    EXPECT_EQ(Byte(b, 1, 0, 1), 28) << radius;
    EXPECT_EQ(Byte(b, 0, 1, 1), 30) << radius;
    EXPECT_EQ(Byte(b, 1, 1, 1), 30) << radius;
  }
}

TEST(BoxBlur, LargestSideReachesItsLastIndex) {
  constexpr int kSide = 32768;
  TABitmap row, column;
  Make(row, kSide, 1, [](int x, int, uint8_t* p) { p[0] = x == kSide - 1 ? 200 : 100; });
  Make(column, 1, kSide, [](int, int y, uint8_t* p) { p[0] = y == kSide - 1 ? 200 : 100; });
  BoxBlur(row, 1);
  BoxBlur(column, 1);
  const int want[] = {100, 133, 166};  // (100+100+200)/3, then (133+200)/2
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Byte(row, kSide - 3 + i, 0, 0), want[i]);
    EXPECT_EQ(Byte(column, 0, kSide - 3 + i, 0), want[i]);
  }
}

// The count wraps as a signed 16-bit value; windows of 32768 pixels and more need bitmaps too
// large to blur in a test with such a radius, so the rule is checked on its own.
TEST(BoxBlurWindow, WrappedCountHasAChosenMean) {
  EXPECT_EQ(WindowCount(225), 225);
  EXPECT_EQ(WindowCount(32767), 32767);
  EXPECT_EQ(WindowCount(32768), -32768);
  EXPECT_EQ(WindowCount(65536), 0);
  EXPECT_EQ(WindowCount(65537), 1);

  const uint16_t sums[4] = {1000, 57375, 0, 225};
  uint8_t pixel[4] = {1, 2, 3, 4};
  for (int16_t count : {int16_t(0), int16_t(-1), int16_t(-32768)}) {
    WriteWindowMean(sums, count, pixel);  // no mean: the pixel stays
    EXPECT_EQ(std::vector<uint8_t>(pixel, pixel + 4), (std::vector<uint8_t>{1, 2, 3, 4})) << count;
  }
  WriteWindowMean(sums, 225, pixel);
  EXPECT_EQ(std::vector<uint8_t>(pixel, pixel + 4), (std::vector<uint8_t>{4, 255, 0, 1}));
  WriteWindowMean(sums, 1, pixel);  // a count wrapped past 65536: the quotient's low byte
  EXPECT_EQ(std::vector<uint8_t>(pixel, pixel + 4), (std::vector<uint8_t>{1000 & 255, 57375 & 255, 0, 225}));
}

}  // namespace
}  // namespace halvik
