// The fixed-point bilinear stretch: worked examples, its derived values, the safe rules for
// samples outside the source and for empty runs, and arguments beyond its limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "support/Paint.h"
#include "filters/ABitmapFilters32.h"
#include "filters/StretchPlan.h"

namespace halvik {
namespace {

using testing::Make;
using testing::TPaint;

void MakeFilled(TABitmap& B, int W, int H, uint32_t Word) {
  Make(B, W, H, [Word](int, int, uint8_t* p) { std::memcpy(p, &Word, 4); });
}

uint8_t Byte(TABitmap& B, int X, int Y, int Lane) { return static_cast<uint8_t*>(B.ScanLine(Y))[4 * X + Lane]; }
uint32_t Word(TABitmap& B, int X, int Y) {
  uint32_t w;
  std::memcpy(&w, static_cast<uint8_t*>(B.ScanLine(Y)) + 4 * X, 4);
  return w;
}

std::vector<int> RowBytes(TABitmap& B, int Y, int Lane) {
  std::vector<int> v;
  for (int x = 0; x < B.Width(); ++x) v.push_back(Byte(B, x, Y, Lane));
  return v;
}
std::vector<int> ColumnBytes(TABitmap& B, int X, int Lane) {
  std::vector<int> v;
  for (int y = 0; y < B.Height(); ++y) v.push_back(Byte(B, X, y, Lane));
  return v;
}

constexpr int kBlue = 0, kGreen = 1, kRed = 2, kFourth = 3;
// No stretch writes a byte above 253, so a pixel of four 255s has not been written.
constexpr uint32_t kSentinel = 0xFFFFFFFFu;

struct TCall {
  int32_t DstWidth, DstHeight;
  double SrcX, SrcY, SrcWidth, SrcHeight, DstX, DstY;
};

void Stretch(const TCall& C, TABitmap& Source, TABitmap& Dest) {
  StretchBilinear(C.DstWidth, C.DstHeight, Source, C.SrcX, C.SrcY, C.SrcWidth, C.SrcHeight, C.DstX, C.DstY, Dest);
}

TStretchPlan Plan(const TCall& C, int SrcBitmapWidth, int SrcBitmapHeight, int DstBitmapWidth, int DstBitmapHeight) {
  TStretchPlan p;
  EXPECT_TRUE(PlanStretch(C.DstWidth, C.DstHeight, C.SrcX, C.SrcY, C.SrcWidth, C.SrcHeight, C.DstX, C.DstY,
                          SrcBitmapWidth, SrcBitmapHeight, DstBitmapWidth, DstBitmapHeight, p));
  return p;
}

const uint8_t kRamp60[] = {0, 60, 120, 180};

// The worked examples: one byte position along the rows (or columns) of the whole destination.
struct TExample {
  const char* Name;
  int SrcW, SrcH;
  TPaint Paint;
  TCall Call;
  int Lane;
  bool AlongRow;  // true: Want runs along each row; false: down each column
  std::vector<int> Want;
};

TEST(StretchBilinear, WorkedExamples) {
  const TExample examples[] = {
      {"4x2 enlarged into 8x1", 4, 2, [](int x, int, uint8_t* p) { p[kBlue] = kRamp60[x]; },
       {8, 1, 0, 0, 4, 2, 0, 0}, kBlue, true, {0, 28, 58, 88, 118, 118, 148, 178}},
      {"8x2 shrunk into 4x1", 8, 2, [](int x, int, uint8_t* p) { p[kBlue] = uint8_t(36 * x); },
       {4, 1, 0, 0, 8, 2, 0, 0}, kBlue, true, {0, 70, 142, 142}},
      {"4x4 enlarged into 4x8", 4, 4, [](int, int y, uint8_t* p) { p[kGreen] = kRamp60[y]; },
       {4, 8, 0, 0, 4, 4, 0, 0}, kGreen, false, {0, 29, 58, 88, 118, 148, 178, 148}},
      {"4x8 shrunk into 4x4", 4, 8, [](int, int y, uint8_t* p) { p[kGreen] = uint8_t(36 * y); },
       {4, 4, 0, 0, 4, 8, 0, 0}, kGreen, false, {0, 70, 142, 250}},
  };
  for (const TExample& e : examples) {
    SCOPED_TRACE(e.Name);
    TABitmap src, dst;
    Make(src, e.SrcW, e.SrcH, e.Paint);
    MakeFilled(dst, e.Call.DstWidth, e.Call.DstHeight, kSentinel);
    Stretch(e.Call, src, dst);
    const int across = e.AlongRow ? dst.Height() : dst.Width();
    for (int i = 0; i < across; ++i) {
      EXPECT_EQ(e.AlongRow ? RowBytes(dst, i, e.Lane) : ColumnBytes(dst, i, e.Lane), e.Want) << "line " << i;
      for (int lane = 0; lane < 4; ++lane) {
        if (lane == e.Lane) continue;
        for (int v : e.AlongRow ? RowBytes(dst, i, lane) : ColumnBytes(dst, i, lane)) EXPECT_EQ(v, 0);
      }
    }
  }
}

TEST(StretchBilinear, SameSizeIsNoCopy) {
  TABitmap src, dst;
  Make(src, 4, 4, [](int x, int y, uint8_t* p) {
    p[kBlue] = kRamp60[x], p[kGreen] = kRamp60[y], p[kRed] = 200, p[kFourth] = 7;
  });
  MakeFilled(dst, 4, 4, kSentinel);
  Stretch({4, 4, 0, 0, 4, 4, 0, 0}, src, dst);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(RowBytes(dst, y, kBlue), (std::vector<int>{0, 58, 58, 118}));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(ColumnBytes(dst, x, kGreen), (std::vector<int>{0, 58, 118, 178}));
  for (int y = 0; y < 4; ++y) {
    EXPECT_EQ(RowBytes(dst, y, kRed), (std::vector<int>(4, 198)));
    EXPECT_EQ(RowBytes(dst, y, kFourth), (std::vector<int>(4, 5)));
  }
}

TEST(StretchBilinear, AllBytes255Give253AtAnyScale) {
  const TCall calls[] = {
      {12, 10, 0, 0, 6, 5, 0, 0},      {3, 2, 0, 0, 6, 5, 0, 0},     {7, 3, 0.5, 1.25, 4.5, 3, 0, 0},
      {1, 1, 0, 0, 6, 5, 0, 0},        {40, 1, 2, 2, 3, 1, 0, 0},    {5, 9, 5.75, 4.5, 0.25, 0.5, 0, 0},
      {12, 10, 0, 0, 6, 5, -3.5, -2},  {12, 10, 3, 2, 6, 5, 4.5, 6.2},
  };
  for (const TCall& c : calls) {
    TABitmap src, dst;
    MakeFilled(src, 6, 5, 0xFFFFFFFFu);
    MakeFilled(dst, 12, 10, 0);
    Stretch(c, src, dst);
    int written = 0;
    for (int y = 0; y < 10; ++y)
      for (int x = 0; x < 12; ++x) {
        const uint32_t w = Word(dst, x, y);
        if (w != 0) {
          ++written;
          EXPECT_EQ(w, 0xFDFDFDFDu) << x << "," << y;
        }
      }
    EXPECT_GT(written, 0) << c.DstWidth << "x" << c.DstHeight;
  }
}

// A column pattern with no two neighbours alike, so that a wrong column or weight shows.
uint8_t ColumnByte(int X) { return uint8_t((X * 97 + 31) & 255); }
int Scaled(int V) { return (V * 255) >> 8; }

TEST(StretchBilinear, WholeNumberSrcXReadsTheColumnBeforeWithNoWeight) {
  TABitmap src, dst;
  Make(src, 600, 1, [](int x, int, uint8_t* p) { p[kBlue] = ColumnByte(x); });
  dst.SetSize(1, 1);
  for (int sx = 1; sx <= 256; ++sx) {
    const TCall call{1, 1, double(sx), 0, 1, 1, 0, 0};
    const TStretchPlan plan = Plan(call, 600, 1, 1, 1);
    EXPECT_EQ(plan.XStart >> 16, uint32_t(sx - 1));
    EXPECT_EQ((plan.XStart >> 8) & 255, 255u);
    Stretch(call, src, dst);
    EXPECT_EQ(Byte(dst, 0, 0, kBlue), Scaled(Scaled(ColumnByte(sx)))) << sx;
  }
  // At 500 the column before keeps weight 1.
  const TStretchPlan plan = Plan({1, 1, 500, 0, 1, 1, 0, 0}, 600, 1, 1, 1);
  EXPECT_EQ(plan.XStart >> 16, 499u);
  EXPECT_EQ((plan.XStart >> 8) & 255, 254u);
  Make(src, 600, 1, [](int x, int, uint8_t* p) { p[kBlue] = x == 499 ? 255 : 2; });
  Stretch({1, 1, 500, 0, 1, 1, 0, 0}, src, dst);
  EXPECT_EQ(Byte(dst, 0, 0, kBlue), 1);  // (255 * 1 + 2 * 254) >> 8 = 2, then 1; column 500 alone gives 0
}

TEST(StretchBilinear, FractionalStartKeepsXFractionButNotYFraction) {
  const TStretchPlan plan = Plan({4, 4, 2.75, 2.75, 4, 4, 0, 0}, 10, 10, 4, 4);
  EXPECT_EQ(plan.XStart, 180221u);
  EXPECT_EQ(plan.XStart >> 16, 2u);
  EXPECT_EQ((plan.XStart >> 8) & 255, 191u);
  EXPECT_EQ(plan.SrcTop, 2);

  // Rows of 10, 20, 30, ... : the first destination row is source row 2 alone.
  TABitmap src, dst;
  Make(src, 10, 10, [](int, int y, uint8_t* p) { p[kGreen] = uint8_t(10 * y + 10); });
  MakeFilled(dst, 4, 4, kSentinel);
  Stretch({4, 4, 2.75, 2.75, 4, 4, 0, 0}, src, dst);
  EXPECT_EQ(RowBytes(dst, 0, kGreen), (std::vector<int>(4, Scaled(Scaled(30)))));
}

TEST(StretchBilinear, StartIsRoundedTo64Bits) {
  // 153.6 * 65535 is 10066175.99999... : XStart 10066175 (WX 152), not 10066176 (WX 153).
  EXPECT_EQ(Plan({1, 1, 153.6, 0, 1, 1, 0, 0}, 160, 1, 1, 1).XStart, 10066175u);
  EXPECT_EQ(Plan({2, 1, 0, 0, 1.2, 1, 0, 0}, 160, 1, 2, 1).XStep, 39320);
  TABitmap src, dst;
  Make(src, 160, 1, [](int x, int, uint8_t* p) { p[kBlue] = x == 154 ? 255 : 0; });
  dst.SetSize(1, 1);
  Stretch({1, 1, 153.6, 0, 1, 1, 0, 0}, src, dst);
  EXPECT_EQ(Byte(dst, 0, 0, kBlue), 150);  // a double XStart would give 151
}

TEST(StretchBilinear, FractionalDestinationStartsAtItsWholePixel) {
  TABitmap src, dst;
  MakeFilled(src, 3, 3, 0x40404040u);
  MakeFilled(dst, 10, 10, kSentinel);
  Stretch({3, 3, 0, 0, 3, 3, 2.7, 3.2}, src, dst);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 2 && x < 5 && y >= 3 && y < 6;
      EXPECT_EQ(Word(dst, x, y) != kSentinel, inside) << x << "," << y;
    }
}

// The rectangle 2, 2, 4, 4 of a 10 by 10 source enlarged into 8 by 8: which source pixels
// carry weight, found by changing the others.
TEST(StretchBilinear, EnlargedRectangleReadsOnlyItsNeighbourhood) {
  const TCall call{8, 8, 2, 2, 4, 4, 0, 0};
  const auto run = [&](const TPaint& Paint) {
    TABitmap src, dst;
    Make(src, 10, 10, Paint);
    MakeFilled(dst, 8, 8, kSentinel);
    Stretch(call, src, dst);
    std::vector<uint32_t> px;
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) px.push_back(Word(dst, x, y));
    return px;
  };
  const auto base = [](int x, int y, uint8_t* p) { p[kBlue] = uint8_t(11 * x + 3), p[kGreen] = uint8_t(13 * y + 5); };
  const std::vector<uint32_t> want = run(base);
  // Columns 0, 1 and 6 to 9 and rows 0, 1 and 7 to 9 have no weight.
  EXPECT_EQ(run([&](int x, int y, uint8_t* p) {
              base(x, y, p);
              if (x < 2 || x > 5 || y < 2 || y > 6) p[kBlue] = p[kGreen] = p[kRed] = 250;
            }),
            want);
  // Row 6, just below the rectangle, shows in the last destination row with WY 127, and only there.
  TABitmap src, dst;
  Make(src, 10, 10, [](int, int y, uint8_t* p) { p[kRed] = y == 5 ? 100 : y == 6 ? 200 : 0; });
  MakeFilled(dst, 8, 8, kSentinel);
  Stretch(call, src, dst);
  EXPECT_EQ(RowBytes(dst, 7, kRed), (std::vector<int>(8, 148)));  // (99 * 128 + 199 * 127) >> 8
  const std::vector<uint32_t> withRow6 = run([&](int x, int y, uint8_t* p) {
    base(x, y, p);
    if (y == 6) p[kRed] = 200;
  });
  for (size_t i = 0; i < 56; ++i) EXPECT_EQ(withRow6[i], want[i]) << i;
  for (size_t i = 56; i < 64; ++i) EXPECT_NE(withRow6[i], want[i]) << i;
}

TEST(StretchBilinear, SystemsShrinkByTwoRunsAndRows) {
  for (int w = 2; w <= 16384; ++w) {
    const TStretchPlan p = Plan({w, 1, 0, 0, 2.0 * w, 2, 0, 0}, 2 * w, 2, w, 1);
    ASSERT_EQ(p.XStep, 131070);
    ASSERT_EQ(p.InvXStep, 32767);
    ASSERT_EQ(p.MainCount, w - 1) << w;
    ASSERT_EQ(p.TailCount, 1) << w;
  }
  for (int h = 1; h <= 32768; ++h) {
    const TStretchPlan p = Plan({2, h, 0, 0, 4, 2.0 * h, 0, 0}, 4, 2 * h, 2, h);
    ASSERT_EQ(p.YStep, 131070);
    ASSERT_EQ(p.InvYStep, 32767);
    ASSERT_TRUE(p.BottomPass);
    ASSERT_EQ(p.MainRows, h - 1) << h;
  }
  // The last column repeats the one before; the last row is the source's last row alone.
  const auto run = [](int LastRowByte) {
    TABitmap src, dst;
    Make(src, 8, 6, [&](int x, int y, uint8_t* p) {
      p[kBlue] = ColumnByte(x), p[kGreen] = y == 5 ? uint8_t(LastRowByte) : uint8_t(40 * y + 9);
    });
    MakeFilled(dst, 4, 3, kSentinel);
    Stretch({4, 3, 0, 0, 8, 6, 0, 0}, src, dst);
    return RowBytes(dst, 2, kGreen);
  };
  EXPECT_EQ(run(77), (std::vector<int>(4, Scaled(Scaled(77)))));
  TABitmap src, dst;
  Make(src, 8, 6, [](int x, int, uint8_t* p) { p[kBlue] = ColumnByte(x); });
  MakeFilled(dst, 4, 3, kSentinel);
  Stretch({4, 3, 0, 0, 8, 6, 0, 0}, src, dst);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(Word(dst, 3, y), Word(dst, 2, y));
  EXPECT_NE(Word(dst, 1, 0), Word(dst, 2, 0));
}

TEST(StretchBilinear, WorkedExamplesDerivedValues) {
  TStretchPlan p = Plan({8, 1, 0, 0, 4, 2, 0, 0}, 4, 2, 8, 1);
  EXPECT_EQ(p.XStep, 32767);
  EXPECT_EQ(p.InvXStep, 131070);
  EXPECT_EQ(p.MainCount, 5);
  EXPECT_EQ(p.TailCount, 3);
  EXPECT_TRUE(p.BottomPass);
  EXPECT_EQ(p.MainRows, 0);
  p = Plan({4, 8, 0, 0, 4, 4, 0, 0}, 4, 4, 4, 8);
  EXPECT_EQ(p.YStep, 32767);
  EXPECT_EQ(p.MainRows, 6);
  EXPECT_EQ(p.LastRow, 3);
}

TEST(StretchBilinear, ZeroDestinationSizeWritesNothing) {
  const TCall calls[] = {
      {0, 4, 0, 0, 4, 4, 0, 0}, {4, 0, 0, 0, 4, 4, 0, 0}, {0, 0, 0, 0, 0, 0, 0, 0},
      {0, 4, 0, 0, 0, 4, 0, 0}, {4, 0, 0, 0, 4, 0, 0, 0}, {-3, 4, 0, 0, 4, 4, 0, 0},
  };
  for (const TCall& c : calls) {
    TABitmap src, dst;
    MakeFilled(src, 4, 4, 0x01020304u);
    MakeFilled(dst, 4, 4, kSentinel);
    Stretch(c, src, dst);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) EXPECT_EQ(Word(dst, x, y), kSentinel);
  }
}

// Chosen rules: a sample outside the source reads the nearest pixel inside it.

TEST(StretchBilinear, TailPastTheClippedRightEdgeRepeatsTheLastColumn) {
  // Row 1 differs, so a read past the end of row 0 into row 1 would show; the source rectangle
  // 2..6 is cut to 2..4 while the destination keeps its 8 pixels.
  TABitmap src, dst;
  Make(src, 4, 2, [](int x, int y, uint8_t* p) { p[kBlue] = y == 0 ? kRamp60[x] : 250; });
  MakeFilled(dst, 10, 3, kSentinel);
  const TCall call{8, 1, 2, 0, 4, 1, 1, 1};
  const TStretchPlan plan = Plan(call, 4, 2, 10, 3);
  EXPECT_EQ(plan.MainCount, 1);
  EXPECT_EQ(plan.TailCount, 7);
  Stretch(call, src, dst);
  const std::vector<int> want{118, 118, 148, 178, 178, 178, 178, 178};
  for (int x = 0; x < 8; ++x) EXPECT_EQ(Byte(dst, 1 + x, 1, kBlue), want[size_t(x)]) << x;
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 10; ++x)
      if (y != 1 || x == 0 || x == 9) {
        EXPECT_EQ(Word(dst, x, y), kSentinel) << x << "," << y;
      }
}

TEST(StretchBilinear, OneRowSourceStandsInForTheRowAboveIt) {
  TABitmap src, dst;
  Make(src, 4, 1, [](int x, int, uint8_t* p) { p[kBlue] = kRamp60[x]; });
  MakeFilled(dst, 4, 4, kSentinel);
  Stretch({4, 4, 0, 0, 4, 1, 0, 0}, src, dst);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(RowBytes(dst, y, kBlue), (std::vector<int>{0, 58, 58, 118})) << y;
}

TEST(StretchBilinear, FractionalSourceRowsPastTheBottomReadTheLastRow) {
  // SrcY 0.5 and SrcHeight 3.5 reach the last row without a bottom pass: row B of the last
  // destination row would be row 4 of a 4-row source.
  TABitmap src, dst;
  Make(src, 4, 4, [](int, int y, uint8_t* p) { p[kGreen] = kRamp60[y]; });
  MakeFilled(dst, 4, 8, kSentinel);
  const TCall call{4, 8, 0, 0.5, 4, 3.5, 0, 0};
  EXPECT_FALSE(Plan(call, 4, 4, 4, 8).BottomPass);
  Stretch(call, src, dst);
  EXPECT_EQ(ColumnBytes(dst, 0, kGreen)[6], 155);  // rows 2 and 3 with WY 159
  EXPECT_EQ(ColumnBytes(dst, 0, kGreen)[7], 178);  // row 3, with itself standing in below
}

TEST(StretchBilinear, SourceStartingAtItsEdgeRepeatsTheEdgePixel) {
  TABitmap src, dst;
  Make(src, 4, 2, [](int x, int y, uint8_t* p) { p[kBlue] = y == 0 ? kRamp60[x] : 250; });
  MakeFilled(dst, 3, 2, kSentinel);
  Stretch({3, 1, 4, 0, 2, 1, 0, 0}, src, dst);  // SrcX at the right edge: no whole column left
  EXPECT_EQ(RowBytes(dst, 0, kBlue), (std::vector<int>{178, 178, 178}));
  EXPECT_EQ(Word(dst, 0, 1), kSentinel);
  // SrcY at the bottom edge: the rows come from the bottom pass, last row first.
  MakeFilled(dst, 3, 2, kSentinel);
  Stretch({3, 2, 0, 2, 3, 1, 0, 0}, src, dst);
  EXPECT_EQ(Byte(dst, 1, 0, kBlue), Scaled(Scaled(250)));
  EXPECT_EQ(Byte(dst, 1, 1, kBlue), (Scaled(250) * 128 + Scaled(0) * 127) >> 8);
}

// Chosen rule: the main run holds 1 to DstWidth pixels, so the first pixel samples at XStart.
TEST(StretchBilinear, EmptyMainRunStartsAtXStart) {
  TABitmap src, dst;
  Make(src, 4, 1, [](int x, int, uint8_t* p) { p[kBlue] = kRamp60[x]; });
  dst.SetSize(1, 1);
  const TCall one{1, 1, 1, 0, 3, 1, 0, 0};  // DstWidth 1: the main run as defined is empty
  EXPECT_EQ(Plan(one, 4, 1, 1, 1).MainCount, 1);
  EXPECT_EQ(Plan(one, 4, 1, 1, 1).TailCount, 0);
  Stretch(one, src, dst);
  EXPECT_EQ(Byte(dst, 0, 0, kBlue), Scaled(Scaled(60)));

  // A single source column enlarged: every pixel is that column.
  Make(src, 1, 1, [](int, int, uint8_t* p) { p[kBlue] = p[kGreen] = p[kRed] = p[kFourth] = 200; });
  MakeFilled(dst, 3, 3, kSentinel);
  Stretch({3, 3, 0, 0, 1, 1, 0, 0}, src, dst);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(Word(dst, x, y), 0xC6C6C6C6u) << x << "," << y;
}

TEST(StretchBilinear, ZeroSourceWidthRepeatsTheSampleAtXStart) {
  TABitmap src, dst;
  Make(src, 4, 1, [](int x, int, uint8_t* p) { p[kBlue] = kRamp60[x]; });
  MakeFilled(dst, 3, 1, kSentinel);
  Stretch({3, 1, 1, 0, 0, 1, 0, 0}, src, dst);
  EXPECT_EQ(RowBytes(dst, 0, kBlue), (std::vector<int>(3, Scaled(Scaled(60)))));
}

TEST(StretchBilinear, SourceWithoutPixelsWritesNothing) {
  struct Size { int w, h; } sizes[] = {{0, 0}, {5, 0}, {0, 4}};
  for (const Size& s : sizes) {
    TABitmap src, dst;
    src.SetSize(s.w, s.h);
    MakeFilled(dst, 4, 4, kSentinel);
    Stretch({4, 4, 0, 0, 0, 0, 0, 0}, src, dst);
    Stretch({4, 4, 0, 0, 2, 2, 0, 0}, src, dst);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) EXPECT_EQ(Word(dst, x, y), kSentinel);
  }
  TABitmap src, empty;
  MakeFilled(src, 4, 4, 0);
  Stretch({4, 4, 0, 0, 4, 4, 0, 0}, src, empty);  // no destination pixels: nothing to do
  empty.SetWidth(3);
  Stretch({4, 4, 0, 0, 4, 4, 0, 0}, src, empty);
}

// Whatever the arguments: the call ends, reads only inside the source (the sanitizer checks
// reads past the store; the patterned rows check reads into a neighbouring row), and writes
// every pixel of the clipped destination rectangle and no other.
TEST(StretchBilinear, ArgumentsBeyondTheLimitsTouchOnlyTheClippedRectangle) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  const TCall base{6, 5, 1, 1, 3, 2, 2, 1};
  std::vector<TCall> calls;
  const auto vary = [&](void (*Change)(TCall&, double, double)) {
    TCall c = base;
    Change(c, nan, inf);
    calls.push_back(c);
  };
  vary([](TCall&, double, double) {});
  for (auto change : std::initializer_list<void (*)(TCall&, double, double)>{
           [](TCall& c, double, double) { c.SrcWidth = 0; },
           [](TCall& c, double, double) { c.SrcHeight = 0; },
           [](TCall& c, double, double) { c.SrcWidth = c.SrcHeight = 0; },
           [](TCall& c, double, double) { c.SrcWidth = -4; },
           [](TCall& c, double, double) { c.SrcHeight = -3; },
           [](TCall& c, double n, double) { c.SrcWidth = n; },
           [](TCall& c, double n, double) { c.SrcHeight = n; },
           [](TCall& c, double, double i) { c.SrcWidth = i; },
           [](TCall& c, double, double i) { c.SrcHeight = -i; },
           [](TCall& c, double, double) { c.SrcWidth = 1e300, c.SrcHeight = 4e9; },
           [](TCall& c, double, double) { c.SrcWidth = 1e-300; },
           [](TCall& c, double, double) { c.SrcX = 5, c.SrcY = 4; },
           [](TCall& c, double, double) { c.SrcX = 4.999, c.SrcWidth = 70000; },
           [](TCall& c, double, double) { c.SrcX = 65537; },
           [](TCall& c, double, double) { c.SrcX = 1e10; },
           [](TCall& c, double n, double) { c.SrcX = n; },
           [](TCall& c, double n, double) { c.SrcY = n; },
           [](TCall& c, double, double i) { c.SrcY = i; },
           [](TCall& c, double, double) { c.SrcX = -0.0; },
           [](TCall& c, double n, double) { c.DstX = n; },
           [](TCall& c, double n, double) { c.DstY = n; },
           [](TCall& c, double, double i) { c.DstX = -i; },
           [](TCall& c, double, double) { c.DstX = -1e10; },
           [](TCall& c, double, double) { c.DstX = 1e10; },
           [](TCall& c, double, double) { c.DstX = -5.5, c.DstY = -3.25; },
           [](TCall& c, double, double) { c.DstX = 11.999, c.DstY = 8.5; },
           [](TCall& c, double, double) { c.DstX = -1e-300; },
           [](TCall& c, double, double) { c.DstWidth = 1, c.DstHeight = 1; },
           [](TCall& c, double, double) { c.DstWidth = 32768; },
           [](TCall& c, double, double) { c.DstWidth = 40000, c.DstHeight = 70000; },
           [](TCall& c, double, double) { c.DstWidth = kMax, c.DstHeight = kMax; },
           [](TCall& c, double, double) { c.DstWidth = kMax, c.DstX = -kMax + 3.5; },
           [](TCall& c, double, double) { c.DstWidth = kMin; },
           [](TCall& c, double, double) { c.DstHeight = kMin, c.DstY = 5; },
           [](TCall& c, double, double) { c.DstWidth = 300, c.SrcWidth = 1; },
           [](TCall& c, double, double) { c.DstHeight = 300, c.SrcHeight = 0.5, c.SrcY = 3.75; },
       })
    vary(change);

  for (const TCall& c : calls) {
    SCOPED_TRACE(::testing::Message() << c.DstWidth << "x" << c.DstHeight << " src " << c.SrcX << "," << c.SrcY << " "
                                    << c.SrcWidth << "x" << c.SrcHeight << " dst " << c.DstX << "," << c.DstY);
    TABitmap src, dst;
    Make(src, 5, 4, [](int x, int y, uint8_t* p) { p[kBlue] = uint8_t(50 * x), p[kGreen] = uint8_t(60 * y); });
    MakeFilled(dst, 12, 9, kSentinel);
    Stretch(c, src, dst);

    // The rectangle the clipping gives, when it accepts.
    double sx = c.SrcX, sy = c.SrcY, sw = c.SrcWidth, sh = c.SrcHeight, dx = c.DstX, dy = c.DstY;
    int32_t dw = c.DstWidth, dh = c.DstHeight;
    int left = 0, top = 0, right = 0, bottom = 0;
    if (dw > 0 && dh > 0 && ClipStretchRects(sx, sy, sw, sh, dx, dy, dw, dh, 5, 4, 12, 9)) {
      left = int(std::trunc(dx)), top = int(std::trunc(dy)), right = left + dw, bottom = top + dh;
      ASSERT_LE(right, 12);
      ASSERT_LE(bottom, 9);
    }
    for (int y = 0; y < 9; ++y)
      for (int x = 0; x < 12; ++x) {
        const bool inside = x >= left && x < right && y >= top && y < bottom;
        const uint32_t w = Word(dst, x, y);
        if (inside) {
          EXPECT_NE(w, kSentinel) << x << "," << y;
          EXPECT_EQ(w >> 24, 0u) << x << "," << y;  // fourth bytes of the source are 0
          EXPECT_EQ((w >> 16) & 255, 0u) << x << "," << y;
        } else {
          EXPECT_EQ(w, kSentinel) << x << "," << y;
        }
      }
  }
}

}  // namespace
}  // namespace halvik
