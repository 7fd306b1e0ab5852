// Fitting a stretch's two rectangles to their bitmaps.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

#include "filters/ABitmapFilters32.h"

namespace halvik {
namespace {

struct TRects {
  double SrcX = 0, SrcY = 0, SrcWidth = 10, SrcHeight = 10, DstX = 0, DstY = 0;
  int32_t DstWidth = 10, DstHeight = 10;
};

struct TBitmaps {
  int32_t SrcWidth = 1000, SrcHeight = 1000, DstWidth = 1000, DstHeight = 1000;
};

bool Clip(TRects& R, const TBitmaps& B) {
  return ClipStretchRects(R.SrcX, R.SrcY, R.SrcWidth, R.SrcHeight, R.DstX, R.DstY, R.DstWidth, R.DstHeight,
                          B.SrcWidth, B.SrcHeight, B.DstWidth, B.DstHeight);
}

void ExpectSame(const TRects& Got, const TRects& Want) {
  EXPECT_EQ(Got.SrcX, Want.SrcX);
  EXPECT_EQ(Got.SrcY, Want.SrcY);
  EXPECT_EQ(Got.SrcWidth, Want.SrcWidth);
  EXPECT_EQ(Got.SrcHeight, Want.SrcHeight);
  EXPECT_EQ(Got.DstX, Want.DstX);
  EXPECT_EQ(Got.DstY, Want.DstY);
  EXPECT_EQ(Got.DstWidth, Want.DstWidth);
  EXPECT_EQ(Got.DstHeight, Want.DstHeight);
}

struct TClipCase {
  const char* Name;
  TRects In;
  TBitmaps Bitmaps;
  std::optional<TRects> Want;  // empty: refused
};

TRects With(TRects R, void (*Change)(TRects&)) {
  Change(R);
  return R;
}

TEST(ClipStretchRects, WorkedExamples) {
  const TRects base;
  const TClipCase cases[] = {
      {"source starting at the right edge", With(base, [](TRects& r) { r.SrcX = 100; }), {100, 1000, 1000, 1000},
       With(base, [](TRects& r) { r.SrcX = 100, r.SrcWidth = 0; })},
      {"source starting at the bottom edge", With(base, [](TRects& r) { r.SrcY = 100; }), {1000, 100, 1000, 1000},
       With(base, [](TRects& r) { r.SrcY = 100, r.SrcHeight = 0; })},
      {"source starting past the right edge", With(base, [](TRects& r) { r.SrcX = 100.001; }),
       {100, 1000, 1000, 1000}, std::nullopt},
      {"source starting past the bottom edge", With(base, [](TRects& r) { r.SrcY = 100.001; }),
       {1000, 100, 1000, 1000}, std::nullopt},
      {"source left of its bitmap", With(base, [](TRects& r) { r.SrcX = -0.5; }), {}, std::nullopt},
      {"source above its bitmap", With(base, [](TRects& r) { r.SrcY = -0.5; }), {}, std::nullopt},
      {"destination starting at the right edge", With(base, [](TRects& r) { r.DstX = 100; }),
       {1000, 1000, 100, 1000}, std::nullopt},
      {"destination starting at the bottom edge", With(base, [](TRects& r) { r.DstY = 100; }),
       {1000, 1000, 1000, 100}, std::nullopt},
      {"left cut", With(base, [](TRects& r) { r.SrcX = 10, r.SrcWidth = 100, r.DstX = -50, r.DstWidth = 200; }), {},
       With(base, [](TRects& r) { r.SrcX = 35, r.SrcWidth = 75, r.DstX = 0, r.DstWidth = 150; })},
      {"top cut", With(base, [](TRects& r) { r.SrcY = 10, r.SrcHeight = 100, r.DstY = -50, r.DstHeight = 200; }), {},
       With(base, [](TRects& r) { r.SrcY = 35, r.SrcHeight = 75, r.DstY = 0, r.DstHeight = 150; })},
      {"left cut by half a pixel", With(base, [](TRects& r) { r.DstX = -0.5; }), {},
       With(base, [](TRects& r) { r.SrcX = 0.5, r.SrcWidth = 9.5, r.DstX = 0, r.DstWidth = 9; })},
      {"top cut by half a pixel", With(base, [](TRects& r) { r.DstY = -0.5; }), {},
       With(base, [](TRects& r) { r.SrcY = 0.5, r.SrcHeight = 9.5, r.DstY = 0, r.DstHeight = 9; })},
      {"right cut keeps the fraction of DstX",
       With(base, [](TRects& r) { r.SrcWidth = 200, r.DstX = 10.5, r.DstWidth = 100; }), {1000, 1000, 50, 1000},
       With(base, [](TRects& r) { r.SrcWidth = 79, r.DstX = 10.5, r.DstWidth = 39; })},
      {"bottom cut keeps the fraction of DstY",
       With(base, [](TRects& r) { r.SrcHeight = 200, r.DstY = 10.5, r.DstHeight = 100; }), {1000, 1000, 1000, 50},
       With(base, [](TRects& r) { r.SrcHeight = 79, r.DstY = 10.5, r.DstHeight = 39; })},
      {"right cut by half a pixel",
       With(base, [](TRects& r) { r.SrcWidth = 80, r.DstX = 10.5, r.DstWidth = 40; }), {1000, 1000, 50, 1000},
       With(base, [](TRects& r) { r.SrcWidth = 79, r.DstX = 10.5, r.DstWidth = 39; })},
      {"left cut moving the source past its right edge",
       With(base, [](TRects& r) { r.SrcX = 90, r.SrcWidth = 100, r.DstX = -50, r.DstWidth = 100; }),
       {100, 1000, 1000, 1000}, std::nullopt},
      {"top cut moving the source past its bottom edge",
       With(base, [](TRects& r) { r.SrcY = 90, r.SrcHeight = 100, r.DstY = -50, r.DstHeight = 100; }),
       {1000, 100, 1000, 1000}, std::nullopt},
      {"source cut at its right edge only",
       With(base, [](TRects& r) { r.SrcX = 60, r.SrcWidth = 50, r.DstWidth = 100; }), {100, 1000, 1000, 1000},
       With(base, [](TRects& r) { r.SrcX = 60, r.SrcWidth = 40, r.DstWidth = 100; })},
      {"source cut at its bottom edge only",
       With(base, [](TRects& r) { r.SrcY = 60, r.SrcHeight = 50, r.DstHeight = 100; }), {1000, 100, 1000, 1000},
       With(base, [](TRects& r) { r.SrcY = 60, r.SrcHeight = 40, r.DstHeight = 100; })},
      {"destination wholly left", With(base, [](TRects& r) { r.DstX = -200, r.DstWidth = 200; }), {}, std::nullopt},
      {"destination wholly above", With(base, [](TRects& r) { r.DstY = -200, r.DstHeight = 200; }), {}, std::nullopt},
      {"negative width", With(base, [](TRects& r) { r.DstX = 10, r.DstWidth = -5; }), {}, std::nullopt},
      {"negative height", With(base, [](TRects& r) { r.DstY = 10, r.DstHeight = -5; }), {}, std::nullopt},
      {"everything inside", With(base, [](TRects& r) { r.SrcX = 3.25, r.SrcY = 4.5, r.DstX = 7.5, r.DstY = 0.25; }),
       {}, With(base, [](TRects& r) { r.SrcX = 3.25, r.SrcY = 4.5, r.DstX = 7.5, r.DstY = 0.25; })},
      // The cut values rounded through a 64-bit significand; double arithmetic would give
      // SrcX 3.5000000000000004 and SrcWidth 9.6000000000000014.
      {"cut rounded to 64 bits", With(base, [](TRects& r) { r.SrcX = 1.1, r.SrcWidth = 12, r.DstX = -0.4, r.DstWidth = 2; }),
       {}, With(base, [](TRects& r) { r.SrcX = 3.5, r.SrcWidth = 9.6, r.DstX = 0, r.DstWidth = 1; })},
      // XRatio 57.5 / 2051 rounded to 64 bits and then to a double, which is one unit above the
      // double quotient; SrcX shows it as it is.
      {"ratio rounded twice", With(base, [](TRects& r) { r.SrcWidth = 57.5, r.DstX = -1, r.DstWidth = 2051; }),
       {1000, 1000, 3000, 1000},
       With(base, [](TRects& r) { r.SrcX = 0x1.cb53c097c7156p-6, r.SrcWidth = 0x1.cbc69587ed072p+5, r.DstX = 0, r.DstWidth = 2050; })},
  };
  for (const TClipCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TRects r = c.In;
    const bool ok = Clip(r, c.Bitmaps);
    ASSERT_EQ(ok, c.Want.has_value());
    if (ok) ExpectSame(r, *c.Want);
  }
}

TEST(ClipStretchRects, RefusalAfterTheCutsKeepsTheCutValues) {
  TRects r;
  r.DstX = 99.5;
  TBitmaps b;
  b.DstWidth = 100;
  EXPECT_FALSE(Clip(r, b));
  EXPECT_EQ(r.DstWidth, 0);  // trunc(0.5)
  EXPECT_EQ(r.SrcWidth, 0.5);
}

TEST(ClipStretchRects, NotANumberOrInfinityRefuses) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case { const char* name; void (*change)(TRects&, double, double); } cases[] = {
      {"SrcX NaN", [](TRects& r, double n, double) { r.SrcX = n; }},
      {"SrcY NaN", [](TRects& r, double n, double) { r.SrcY = n; }},
      {"DstX NaN", [](TRects& r, double n, double) { r.DstX = n; }},
      {"DstY NaN", [](TRects& r, double n, double) { r.DstY = n; }},
      {"SrcX inf", [](TRects& r, double, double i) { r.SrcX = i; }},
      {"SrcY inf", [](TRects& r, double, double i) { r.SrcY = i; }},
      {"DstX inf", [](TRects& r, double, double i) { r.DstX = i; }},
      {"DstX -inf", [](TRects& r, double, double i) { r.DstX = -i; }},
      {"DstY -inf", [](TRects& r, double, double i) { r.DstY = -i; }},
      {"SrcX huge", [](TRects& r, double, double) { r.SrcX = 1e300; }},
      {"DstX hugely negative", [](TRects& r, double, double) { r.DstX = -1e300; }},
      {"DstWidth 0", [](TRects& r, double, double) { r.DstWidth = 0; }},
      {"DstHeight 0", [](TRects& r, double, double) { r.DstHeight = 0; }},
      {"DstWidth 0 with DstX inside", [](TRects& r, double, double) { r.DstWidth = 0, r.DstX = 5; }},
  };
  for (const Case& c : cases) {
    TRects r;
    c.change(r, nan, inf);
    EXPECT_FALSE(Clip(r, {})) << c.name;
  }
}

// A source size that is not a number passes the clipping; the stretch has to cope with it.
TEST(ClipStretchRects, SourceSizeIsNotTested) {
  TRects r;
  r.SrcWidth = std::numeric_limits<double>::quiet_NaN();
  r.SrcHeight = -4;
  EXPECT_TRUE(Clip(r, {}));
  EXPECT_TRUE(std::isnan(r.SrcWidth));
  EXPECT_EQ(r.SrcHeight, -4);
}

// The frame tick's enlarging stretch of the area behind a 300 by 200 client area out of a
// 1920 by 1080 screen image into a 600 by 400 working image.
TEST(ClipStretchRects, FrameTickEnlargingStretchIsRefusedOnlyOffTheScreenImage) {
  const TBitmaps screen{1920, 1080, 600, 400};
  struct Case { double left, top; bool ok; } cases[] = {
      {-1, 100, false}, {0, 100, true},  {1920, 100, true},  {1921, 100, false}, {1919.5, 100, true},
      {100, -1, false}, {100, 0, true},  {100, 1080, true},  {100, 1081, false},
  };
  for (const Case& c : cases) {
    TRects r;
    r.SrcX = c.left, r.SrcY = c.top, r.SrcWidth = 300, r.SrcHeight = 200, r.DstWidth = 600, r.DstHeight = 400;
    EXPECT_EQ(Clip(r, screen), c.ok) << c.left << ", " << c.top;
    if (c.ok) {
      EXPECT_EQ(r.DstWidth, 600);
      EXPECT_EQ(r.DstHeight, 400);
    }
  }
  // The shrinking stretch covers both bitmaps whole and is never changed.
  TRects r;
  r.SrcWidth = 600, r.SrcHeight = 400, r.DstWidth = 300, r.DstHeight = 200;
  const TRects before = r;
  EXPECT_TRUE(Clip(r, {600, 400, 300, 200}));
  ExpectSame(r, before);
}

}  // namespace
}  // namespace halvik
