// The 32-bit bitmap and the platform bitmap under it: sizes, formats, fill, assignment, rows.
#include "bitmap/ABitmap.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/core/Exceptions.h"

namespace halvik {
namespace {

uint32_t Px(TBitmap& B, int X, int Y) { return static_cast<uint32_t*>(B.ScanLine(Y))[X]; }
uint32_t Rgb(TBitmap& B, int X, int Y) { return Px(B, X, Y) & 0xFFFFFF; }

TEST(ABitmap, NewBitmapIsEmpty32BitAndInvalid) {
  TABitmap b;
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_FALSE(b.IsValid());
  b.Fill(1, 2, 3);  // no pixels: no change, no error
  EXPECT_EQ(b.Width(), 0);
}

TEST(ABitmap, IsValidLooksAtWidthOnly) {
  TABitmap b;
  b.SetWidth(5);
  EXPECT_TRUE(b.IsValid());
  b.Fill(9, 9, 9);  // width without rows: nothing to fill, no error
  TABitmap c;
  c.SetHeight(7);
  EXPECT_FALSE(c.IsValid());
  EXPECT_NE(c.ScanLine(6), nullptr);  // rows of no pixels still have addresses
}

TEST(ABitmap, FillWritesBytesInMemoryOrderWithFourthByteZero) {
  TABitmap b;
  b.SetWidth(3);
  b.SetHeight(2);
  b.Fill(16, 32, 48);
  for (int y = 0; y < 2; ++y) {
    const uint8_t* row = static_cast<uint8_t*>(b.ScanLine(y));
    for (int x = 0; x < 3; ++x) {
      EXPECT_EQ(row[4 * x + 0], 16);
      EXPECT_EQ(row[4 * x + 1], 32);
      EXPECT_EQ(row[4 * x + 2], 48);
      EXPECT_EQ(row[4 * x + 3], 0);
    }
  }
  b.Fill(0, 0, 0);
  EXPECT_EQ(Px(b, 2, 1), 0u);
}

TEST(ABitmap, NewlySizedBitmapIsWhite) {
  TABitmap b;
  b.SetWidth(4);
  b.SetHeight(3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Rgb(b, x, y), 0xFFFFFFu);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);
}

TEST(ABitmap, SizeChangeKeepsOverlapAndWhitensAddedPixels) {
  TABitmap b;
  b.SetSize(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) static_cast<uint32_t*>(b.ScanLine(y))[x] = uint32_t(0x10 * y + x);
  b.SetWidth(2);
  b.SetWidth(4);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(Rgb(b, 0, y), uint32_t(0x10 * y));
    EXPECT_EQ(Rgb(b, 1, y), uint32_t(0x10 * y + 1));
    EXPECT_EQ(Rgb(b, 2, y), 0xFFFFFFu);
    EXPECT_EQ(Rgb(b, 3, y), 0xFFFFFFu);
  }
  b.SetHeight(5);  // rows added at the bottom are white, the top rows stay
  EXPECT_EQ(Rgb(b, 1, 2), 0x21u);
  EXPECT_EQ(Rgb(b, 0, 4), 0xFFFFFFu);
  b.SetHeight(0);  // emptied: the old pixels are gone
  b.SetHeight(2);
  EXPECT_EQ(Rgb(b, 0, 0), 0xFFFFFFu);
}

TEST(ABitmap, SettingTheSameSizeChangesNothing) {
  TABitmap b;
  b.SetSize(4, 3);
  b.Fill(1, 2, 3);
  void* row0 = b.ScanLine(0);
  void* row2 = b.ScanLine(2);
  b.SetWidth(4);
  b.SetHeight(3);
  EXPECT_EQ(b.ScanLine(0), row0);
  EXPECT_EQ(b.ScanLine(2), row2);
  EXPECT_EQ(Px(b, 3, 2), 0x030201u);
}

TEST(ABitmap, ScanLineOutsideRowsRaises) {
  TABitmap b;
  b.SetSize(2, 2);
  EXPECT_THROW(b.ScanLine(-1), EInvalidGraphicOperation);
  EXPECT_THROW(b.ScanLine(2), EInvalidGraphicOperation);
  TABitmap empty;
  EXPECT_THROW(empty.ScanLine(0), EInvalidGraphicOperation);
}

TEST(ABitmap, SizesBeyondTheLimitsRaiseAndKeepTheBitmap) {
  TABitmap b;
  b.SetSize(2, 2);
  b.Fill(5, 6, 7);
  struct Case { int w, h; } cases[] = {{-1, 2}, {2, -1}, {TBitmap::kMaxSide + 1, 1},
                                       {1, TBitmap::kMaxSide + 1}, {TBitmap::kMaxSide, TBitmap::kMaxSide}};
  for (const Case& c : cases) {
    try {
      b.SetSize(c.w, c.h);
      ADD_FAILURE() << c.w << " x " << c.h << " was accepted";
    } catch (const EOutOfResources& e) {
      if (c.w > 0 && c.h > 0) {
        EXPECT_NE(e.Message().find("32768"), std::string::npos) << e.what();
      }
    }
    EXPECT_EQ(b.Width(), 2);
    EXPECT_EQ(Px(b, 1, 1), 0x070605u);
  }
}

TEST(ABitmap, ForcePixelFormatKeepsColoursAndLeaves32BitAlone) {
  TBitmap src;  // a plain platform bitmap starts at 24 bits
  ASSERT_EQ(src.PixelFormat(), TPixelFormat::pf24bit);
  src.SetSize(3, 2);
  uint8_t* row = static_cast<uint8_t*>(src.ScanLine(1));
  row[3] = 10, row[4] = 20, row[5] = 30;  // pixel (1,1) as blue, green, red
  TABitmap b;
  b.Assign(&src);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);
  EXPECT_EQ(Px(b, 1, 1), 0x001E140Au);
  EXPECT_EQ(Rgb(b, 0, 0), 0xFFFFFFu);

  void* before = b.ScanLine(0);
  static_cast<uint32_t*>(b.ScanLine(0))[0] = 0xAB123456;  // the fourth byte survives a no-op
  b.ForcePixelFormat();
  EXPECT_EQ(b.ScanLine(0), before);
  EXPECT_EQ(Px(b, 0, 0), 0xAB123456u);
}

TEST(ABitmap, PixelFormatConversionsKeepColours) {
  // Colours every format holds exactly.
  const uint32_t colours[] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF};
  const TPixelFormat formats[] = {TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
                                  TPixelFormat::pf16bit, TPixelFormat::pf24bit};
  for (TPixelFormat f : formats) {
    TABitmap b;
    b.SetSize(5, 1);
    for (int x = 0; x < 5; ++x) static_cast<uint32_t*>(b.ScanLine(0))[x] = colours[x];
    b.SetPixelFormat(f);
    for (int x = 0; x < 5; ++x) EXPECT_EQ(b.PixelColor(x, 0), colours[x]) << int(f) << " x " << x;
    b.ForcePixelFormat();
    for (int x = 0; x < 5; ++x) EXPECT_EQ(Px(b, x, 0), colours[x]) << int(f) << " x " << x;
  }
}

TEST(ABitmap, AssignMakesAnIndependentCopy) {
  TABitmap a, b;
  a.SetSize(2, 2);
  a.Fill(1, 2, 3);
  b.Assign(&a);
  EXPECT_EQ(b.Width(), 2);
  EXPECT_EQ(b.Height(), 2);
  EXPECT_EQ(Px(b, 1, 1), 0x030201u);
  a.Fill(9, 9, 9);
  EXPECT_EQ(Px(b, 1, 1), 0x030201u);
  b.Fill(7, 7, 7);
  EXPECT_EQ(Px(a, 0, 0), 0x090909u);
}

TEST(ABitmap, AssignFromNullEmptiesAndStays32Bit) {
  TABitmap b;
  b.SetSize(3, 3);
  b.Assign(nullptr);
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 0);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);
}

// A persistent that knows how to put itself into a bitmap, and one that does not.
class TSolidSource : public TPersistent {
 protected:
  void AssignTo(TPersistent* Dest) override {
    auto* bmp = dynamic_cast<TBitmap*>(Dest);
    if (!bmp) return TPersistent::AssignTo(Dest);
    bmp->SetPixelFormat(TPixelFormat::pf24bit);
    bmp->SetSize(1, 1);
  }
};
class TOpaque : public TPersistent {
 public:
  std::string ClassName() const override { return "TOpaque"; }
};

TEST(ABitmap, AssignFromAnotherClassAsksItOrRaises) {
  TABitmap b;
  TSolidSource solid;
  b.Assign(&solid);
  EXPECT_EQ(b.Width(), 1);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);  // forced back after the source's AssignTo
  TOpaque opaque;
  try {
    b.Assign(&opaque);
    FAIL() << "no EConvertError";
  } catch (const EConvertError& e) {
    EXPECT_NE(e.Message().find("TOpaque"), std::string::npos) << e.what();
  }
}

TEST(ABitmap, CanvasCopiesLandInRowsTopRowFirst) {
  TABitmap src, dst;
  src.SetSize(3, 2);
  dst.SetSize(3, 2);
  static_cast<uint32_t*>(src.ScanLine(0))[0] = 0x112233;
  static_cast<uint32_t*>(src.ScanLine(1))[2] = 0x445566;
  ASSERT_TRUE(GenericBitBlt(dst.Canvas().Handle(), 0, 0, 3, 2, src.Canvas().Handle(), 0, 0, kSrcCopy));
  EXPECT_EQ(Px(dst, 0, 0), 0x112233u);
  EXPECT_EQ(Px(dst, 2, 1), 0x445566u);
  // A canvas fill reaches the rows too, clipped to the bitmap.
  dst.Canvas().Brush.Color = clGray;
  dst.Canvas().FillRect(TRect{1, 1, 100, 100});
  EXPECT_EQ(Px(dst, 0, 0), 0x112233u);
  EXPECT_EQ(Rgb(dst, 2, 1), 0x808080u);
  // An empty bitmap still has a context; copying nothing from it is no error.
  TABitmap empty;
  EXPECT_TRUE(GenericBitBlt(dst.Canvas().Handle(), 0, 0, 0, 0, empty.Canvas().Handle(), 0, 0, kSrcCopy));
}

}  // namespace
}  // namespace halvik
