// Bitmaps on the Win32 back end: DIB sections in memory DCs, checked against GDI itself
// (pictures drawn and read with SetPixelV and GetPixel on a bitmap of GDI's own making).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "bitmap/ABitmap.h"
#include "platform/core/Exceptions.h"
#include "platform/win32/Win32Backend.h"
#include "platform/win32/Win32Api.h"

namespace halvik {
namespace {

using win32::Native;

// A bitmap that GDI owns and lays out itself (bottom-up, as GDI's default), drawn on and read
// only through GDI calls, so it shares no assumption with the store under test.
class TGdiPicture {
 public:
  TGdiPicture(int W, int H) : w_(W), h_(H) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = W;
    info.bmiHeader.biHeight = H;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    bmp_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    old_ = SelectObject(dc_, bmp_);
  }
  ~TGdiPicture() {
    SelectObject(dc_, old_);
    DeleteObject(bmp_);
    DeleteDC(dc_);
  }
  bool Ok() const { return dc_ && bmp_; }
  ::HDC Dc() const { return dc_; }
  void Set(int X, int Y, COLORREF C) { SetPixelV(dc_, X, Y, C); }
  COLORREF Get(int X, int Y) const { return GetPixel(dc_, X, Y); }
  int W() const { return w_; }
  int H() const { return h_; }

 private:
  int w_, h_;
  ::HDC dc_ = nullptr;
  HBITMAP bmp_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

// COLORREF is 0x00BBGGRR; a pixel word is 0x00RRGGBB.
uint32_t ToPixel(COLORREF C) { return uint32_t(GetRValue(C)) << 16 | uint32_t(GetGValue(C)) << 8 | GetBValue(C); }
uint32_t Rgb(TABitmap& B, int X, int Y) { return static_cast<uint32_t*>(B.ScanLine(Y))[X] & 0xFFFFFF; }
// A colour that tells every pixel of a small picture apart.
COLORREF Tell(int X, int Y) { return RGB(10 + 40 * X, 20 + 50 * Y, 7); }

class DibBitmap : public ::testing::Test {
 protected:
  void SetUp() override { SetPlatform(&backend_); }
  void TearDown() override { SetPlatform(nullptr); }
  win32::TWin32Backend backend_;
};

TEST_F(DibBitmap, RowsLieInsideA32BitSectionSelectedIntoTheCanvasDc) {
  TABitmap b;
  b.SetSize(5, 3);
  ::HDC dc = Native(b.Canvas().Handle());
  ASSERT_EQ(GetObjectType(dc), DWORD(OBJ_MEMDC));
  DIBSECTION ds{};
  ASSERT_EQ(GetObjectW(GetCurrentObject(dc, OBJ_BITMAP), sizeof(ds), &ds), int(sizeof(ds)));
  EXPECT_EQ(ds.dsBm.bmBitsPixel, 32);
  EXPECT_EQ(ds.dsBmih.biWidth, 5);
  EXPECT_EQ(std::abs(ds.dsBmih.biHeight), 3);
  const auto* first = static_cast<const uint8_t*>(ds.dsBm.bmBits);
  for (int y = 0; y < 3; ++y) {
    const auto* row = static_cast<const uint8_t*>(b.ScanLine(y));
    EXPECT_GE(row, first) << y;
    EXPECT_LE(row + 5 * 4, first + 5 * 4 * 3) << y;
  }
}

TEST_F(DibBitmap, GdiPicturesArriveInScanLineRowsTopRowFirst) {
  TGdiPicture pic(4, 3);
  ASSERT_TRUE(pic.Ok());
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) pic.Set(x, y, Tell(x, y));
  TABitmap b;
  b.SetSize(4, 3);
  // The canvas handle is a real DC: GDI's own BitBlt takes it.
  ASSERT_TRUE(::BitBlt(Native(b.Canvas().Handle()), 0, 0, 4, 3, pic.Dc(), 0, 0, SRCCOPY));
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Rgb(b, x, y), ToPixel(Tell(x, y))) << x << "," << y;
}

TEST_F(DibBitmap, GdiDrawingIsCompleteWhenScanLineAnswers) {
  TABitmap b;
  b.SetSize(4, 3);
  b.Fill(0, 0, 0);
  // GDI may batch this fill; the row access must see it at once, in the right row.
  b.Canvas().Brush.Color = RGB(200, 100, 50);
  b.Canvas().FillRect(TRect{1, 0, 3, 1});
  EXPECT_EQ(Rgb(b, 1, 0), 0xC86432u);
  EXPECT_EQ(Rgb(b, 2, 0), 0xC86432u);
  EXPECT_EQ(Rgb(b, 0, 0), 0u);
  EXPECT_EQ(Rgb(b, 3, 0), 0u);
  EXPECT_EQ(Rgb(b, 1, 1), 0u);
  EXPECT_EQ(Rgb(b, 1, 2), 0u);
}

TEST_F(DibBitmap, FilledPixelsCopyOutAsTheirColour) {
  struct Case { uint8_t b, g, r; } cases[] = {{16, 32, 48}, {0, 0, 0}, {255, 255, 255}, {128, 128, 128}};
  for (const Case& c : cases) {
    TABitmap b;
    b.SetSize(6, 4);
    b.Fill(c.b, c.g, c.r);
    TGdiPicture out(6, 4);
    ASSERT_TRUE(out.Ok());
    ASSERT_TRUE(::BitBlt(out.Dc(), 0, 0, 6, 4, Native(b.Canvas().Handle()), 0, 0, SRCCOPY));
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x)
        ASSERT_EQ(out.Get(x, y), RGB(c.r, c.g, c.b)) << int(c.b) << "/" << int(c.g) << "/" << int(c.r) << " at " << x
                                                      << "," << y;
  }
}

TEST_F(DibBitmap, CopiesBetweenBitmapsLandInPlaceAndClipToBoth) {
  constexpr int kW = 6, kH = 5;
  struct Case { int x, y, w, h, sx, sy; } cases[] = {
      {0, 0, kW, kH, 0, 0},      // whole
      {2, 1, 3, 2, 1, 2},        // inside, both offset
      {4, 3, 5, 5, 0, 0},        // past the destination's right and bottom edges
      {0, 0, 5, 5, 3, 2},        // past the source's right and bottom edges
      {-2, -1, 4, 3, 0, 0},      // starting left of and above the destination
      {1, 1, 0, 3, 0, 0},        // nothing
  };
  for (const Case& c : cases) {
    TABitmap src, dst;
    src.SetSize(kW, kH);
    dst.SetSize(kW, kH);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) static_cast<uint32_t*>(src.ScanLine(y))[x] = uint32_t(0x10000 * (x + 1) + 0x100 * (y + 1));
    dst.Fill(9, 9, 9);
    EXPECT_TRUE(Platform().BitBlt(dst.Canvas().Handle(), c.x, c.y, c.w, c.h, src.Canvas().Handle(), c.sx, c.sy, kSrcCopy));
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        const int u = x - c.x + c.sx, v = y - c.y + c.sy;
        const bool copied = x >= c.x && x < c.x + c.w && y >= c.y && y < c.y + c.h && u >= 0 && u < kW && v >= 0 && v < kH;
        const uint32_t want = copied ? uint32_t(0x10000 * (u + 1) + 0x100 * (v + 1)) : 0x090909u;
        ASSERT_EQ(Rgb(dst, x, y), want) << "case " << c.x << "," << c.y << " " << c.w << "x" << c.h << " from " << c.sx
                                        << "," << c.sy << " at " << x << "," << y;
      }
  }
}

TEST_F(DibBitmap, AnEmptyBitmapStillHasAContextToCopyNothingFrom) {
  TABitmap empty, dst;
  dst.SetSize(2, 2);
  dst.Fill(1, 2, 3);
  EXPECT_TRUE(Platform().BitBlt(dst.Canvas().Handle(), 0, 0, 0, 0, empty.Canvas().Handle(), 0, 0, kSrcCopy));
  EXPECT_EQ(Rgb(dst, 1, 1), 0x030201u);
}

TEST_F(DibBitmap, GenericContextsCopyAmongThemselvesAndRealOnesThroughGdi) {
  // A generic memory context, as bitmaps made before the back end was installed have.
  std::vector<uint32_t> a(4, 0x111111), c(4, 0x222222);
  TMemoryDC ga(TPixelRect{reinterpret_cast<uint8_t*>(a.data()), 8, 2, 2});
  TMemoryDC gc(TPixelRect{reinterpret_cast<uint8_t*>(c.data()), 8, 2, 2});
  EXPECT_TRUE(Platform().BitBlt(TDeviceContext::ToHandle(&gc), 0, 0, 2, 2, TDeviceContext::ToHandle(&ga), 0, 0, kSrcCopy));
  EXPECT_EQ(c[3], 0x111111u);
  // Between a generic and a real context there is no copy, and nothing is touched.
  TABitmap b;
  b.SetSize(2, 2);
  b.Fill(5, 5, 5);
  EXPECT_FALSE(Platform().BitBlt(b.Canvas().Handle(), 0, 0, 2, 2, TDeviceContext::ToHandle(&ga), 0, 0, kSrcCopy));
  EXPECT_FALSE(Platform().BitBlt(TDeviceContext::ToHandle(&gc), 0, 0, 2, 2, b.Canvas().Handle(), 0, 0, kSrcCopy));
  EXPECT_EQ(Rgb(b, 1, 1), 0x050505u);
  EXPECT_EQ(c[0], 0x111111u);
  // A DC that GDI made without the back end is a real one all the same.
  TGdiPicture pic(2, 2);
  ASSERT_TRUE(pic.Ok());
  pic.Set(1, 0, RGB(1, 2, 3));
  EXPECT_TRUE(Platform().BitBlt(b.Canvas().Handle(), 0, 0, 2, 2, win32::Opaque(pic.Dc()), 0, 0, kSrcCopy));
  EXPECT_EQ(Rgb(b, 1, 0), 0x010203u);
}

TEST_F(DibBitmap, TheScreenContextCopiesIntoABitmapAndIsReleasedOnce) {
  HDC screen = Platform().GetDC(0);
  ASSERT_NE(screen, nullptr);
  TABitmap b;
  b.SetSize(8, 8);
  b.Fill(1, 2, 3);
  EXPECT_TRUE(Platform().BitBlt(b.Canvas().Handle(), 0, 0, 8, 8, screen, 0, 0, kSrcCopy));
  EXPECT_EQ(Platform().ReleaseDC(0, screen), 1);
  EXPECT_EQ(Platform().ReleaseDC(0, screen), 0);
  EXPECT_EQ(Platform().ScreenWidth(), GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(Platform().ScreenHeight(), GetSystemMetrics(SM_CYSCREEN));
}

}  // namespace
}  // namespace halvik
