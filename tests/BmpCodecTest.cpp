// BMP reading and writing: hand-made files of every kind, round trips, and malformed data.
#include "platform/core/BmpCodec.h"

#include <gtest/gtest.h>

#include "platform/headless/HeadlessBackend.h"

#include <climits>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "bitmap/ABitmap.h"
#include "platform/core/Backend.h"
#include "platform/core/Exceptions.h"

namespace halvik {
namespace {

using TBytes = std::vector<uint8_t>;

void Put16(TBytes& B, uint32_t V) {
  B.push_back(uint8_t(V));
  B.push_back(uint8_t(V >> 8));
}
void Put32(TBytes& B, uint32_t V) {
  Put16(B, V & 0xFFFF);
  Put16(B, V >> 16);
}
void Set32(TBytes& B, size_t At, uint32_t V) {
  for (int i = 0; i < 4; ++i) B[At + i] = uint8_t(V >> (8 * i));
}
uint32_t Get32(const TBytes& B, size_t At) {
  return uint32_t(B[At]) | uint32_t(B[At + 1]) << 8 | uint32_t(B[At + 2]) << 16 | uint32_t(B[At + 3]) << 24;
}

// A BMP file assembled field by field, so that the reader meets files it did not write.
struct TBmpFile {
  uint32_t HeaderSize = 40;
  int32_t Width = 2, Height = 2;
  uint16_t Bits = 24;
  uint32_t Compression = 0;
  uint32_t ColoursUsed = 0;
  std::vector<uint32_t> Palette;    // 0x00RRGGBB; three bytes an entry after a 12-byte header
  std::vector<uint32_t> Masks;      // red, green, blue[, alpha]: inside a longer header, after a 40-byte one
  TBytes Pixels;                    // exactly as stored
  std::optional<uint32_t> Offset;   // of the pixels; by default right after the palette

  TBytes Bytes() const {
    TBytes b = {'B', 'M'};
    Put32(b, 0);  // file size, set below
    Put32(b, 0);
    Put32(b, 0);  // pixel offset, set below
    Put32(b, HeaderSize);
    if (HeaderSize == 12) {
      Put16(b, uint32_t(Width));
      Put16(b, uint32_t(Height));
      Put16(b, 1);
      Put16(b, Bits);
    } else {
      Put32(b, uint32_t(Width));
      Put32(b, uint32_t(Height));
      Put16(b, 1);
      Put16(b, Bits);
      Put32(b, Compression);
      Put32(b, uint32_t(Pixels.size()));
      Put32(b, 2835);
      Put32(b, 2835);
      Put32(b, ColoursUsed);
      Put32(b, 0);
      for (size_t i = 0; i < 4 && 40 + 4 * (i + 1) <= HeaderSize; ++i) Put32(b, i < Masks.size() ? Masks[i] : 0);
      b.resize(14 + HeaderSize, 0);
      if (HeaderSize == 40)
        for (uint32_t m : Masks) Put32(b, m);
    }
    for (uint32_t c : Palette) {
      b.push_back(uint8_t(c));
      b.push_back(uint8_t(c >> 8));
      b.push_back(uint8_t(c >> 16));
      if (HeaderSize != 12) b.push_back(0);
    }
    const uint32_t offset = Offset.value_or(uint32_t(b.size()));
    if (offset > b.size()) b.resize(offset, 0x77);
    b.insert(b.end(), Pixels.begin(), Pixels.end());
    Set32(b, 2, uint32_t(b.size()));
    Set32(b, 10, offset);
    return b;
  }
};

// File rows, each padded to 4 bytes with junk the reader must skip.
TBytes Rows(const std::vector<TBytes>& FileRows) {
  TBytes out;
  for (const TBytes& r : FileRows) {
    out.insert(out.end(), r.begin(), r.end());
    while (out.size() % 4) out.push_back(0xEE);
  }
  return out;
}

// Palette indices packed into a row of 1, 4 or 8 bits, leftmost pixel in the high bits.
TBytes Pack(const std::vector<int>& Indices, int Bits) {
  TBytes row((Indices.size() * Bits + 7) / 8, 0);
  for (size_t x = 0; x < Indices.size(); ++x)
    row[x * Bits / 8] |= uint8_t(Indices[x] << (8 - Bits - x * Bits % 8));
  return row;
}

TBytes Words(const std::vector<uint32_t>& Pixels, int Bits) {
  TBytes row;
  for (uint32_t p : Pixels) Bits == 16 ? Put16(row, p) : Put32(row, p);
  return row;
}

void Read(const TBytes& Bytes, TBitmap& Bitmap) {
  TMemoryStream s;
  s.SetBytes(Bytes);
  ReadBmp(s, Bitmap);
}

TBytes Write(TBitmap& Bitmap) {
  TMemoryStream s;
  WriteBmp(s, Bitmap);
  return s.Bytes();
}

uint8_t* Row(TBitmap& B, int Y) { return static_cast<uint8_t*>(B.ScanLine(Y)); }

TEST(BmpRead, TwentyFourBitsBottomUpAndTopDown) {
  for (bool top_down : {false, true}) {
    SCOPED_TRACE(top_down ? "top-down" : "bottom-up");
    TBmpFile f;
    f.Width = 3;
    f.Height = top_down ? -2 : 2;
    f.Pixels = Rows({{0x56, 0x34, 0x12, 0xFF, 0, 0, 1, 2, 3},     // file row 0
                     {0, 0, 0xFF, 0, 0xFF, 0, 0x30, 0x20, 0x10}});  // file row 1
    TBitmap b;
    Read(f.Bytes(), b);
    ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(b.Width(), 3);
    ASSERT_EQ(b.Height(), 2);
    const int first = top_down ? 0 : 1;  // where the file's first row lands
    EXPECT_EQ(b.PixelColor(0, first), 0x123456u);
    EXPECT_EQ(b.PixelColor(1, first), 0x0000FFu);
    EXPECT_EQ(b.PixelColor(2, first), 0x030201u);
    EXPECT_EQ(b.PixelColor(0, 1 - first), 0xFF0000u);
    EXPECT_EQ(b.PixelColor(1, 1 - first), 0x00FF00u);
    EXPECT_EQ(b.PixelColor(2, 1 - first), 0x102030u);
  }
}

struct TPaletteCase {
  int Bits;
  uint32_t ColoursUsed;  // 0: as many as fit before the pixels, at most 2^Bits
  std::vector<uint32_t> Palette;
  std::vector<std::vector<int>> Indices;  // bitmap rows, top first
  TPixelFormat Format;
};

TEST(BmpRead, PaletteFormatsKeepPaletteAndIndices) {
  const std::vector<TPaletteCase> cases = {
      {1, 2, {0x102030, 0xF0E0D0}, {{1, 0, 0, 1, 1, 0, 1, 0, 0, 1}, {0, 1, 1, 0, 0, 0, 0, 1, 1, 0}},
       TPixelFormat::pf1bit},
      {4, 5, {0, 0x111111, 0x222222, 0x333333, 0x444444}, {{4, 0, 3}, {1, 2, 4}}, TPixelFormat::pf4bit},
      {8, 0, {0xAA0000, 0x00BB00, 0x0000CC}, {{2, 1, 0, 1, 2}, {0, 0, 2, 2, 1}}, TPixelFormat::pf8bit},
  };
  for (const TPaletteCase& c : cases) {
    SCOPED_TRACE(c.Bits);
    TBmpFile f;
    f.Bits = uint16_t(c.Bits);
    f.ColoursUsed = c.ColoursUsed;
    f.Palette = c.Palette;
    f.Width = int(c.Indices[0].size());
    f.Height = int(c.Indices.size());
    f.Pixels = Rows({Pack(c.Indices[1], c.Bits), Pack(c.Indices[0], c.Bits)});
    TBitmap b;
    Read(f.Bytes(), b);
    ASSERT_EQ(b.PixelFormat(), c.Format);
    EXPECT_EQ(b.Palette(), c.Palette);
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < f.Width; ++x) EXPECT_EQ(b.PixelColor(x, y), c.Palette[c.Indices[y][x]]) << x << "," << y;
  }
}

TEST(BmpRead, CoreHeaderWithThreeBytePaletteAndTwentyFourBits) {
  TBmpFile f;
  f.HeaderSize = 12;
  f.Bits = 8;
  f.Width = 3;
  f.Height = 1;
  f.Palette = {0x010203, 0xA0B0C0, 0x445566};  // the palette ends where the pixels begin
  f.Pixels = Rows({{2, 0, 1}});
  TBitmap b;
  Read(f.Bytes(), b);
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(b.Palette(), f.Palette);
  EXPECT_EQ(b.PixelColor(0, 0), 0x445566u);
  EXPECT_EQ(b.PixelColor(2, 0), 0xA0B0C0u);

  f.Bits = 24;
  f.Palette.clear();
  f.Pixels = Rows({{1, 2, 3, 4, 5, 6, 7, 8, 9}});
  Read(f.Bytes(), b);
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(b.PixelColor(2, 0), 0x090807u);
}

struct TFieldsCase {
  const char* Name;
  uint32_t HeaderSize;
  int Bits;
  uint32_t Compression;
  std::vector<uint32_t> Masks;
  std::vector<uint32_t> Pixels;  // one row
  TPixelFormat Format;
  std::vector<uint32_t> Colors;  // PixelColor of each pixel (with the fourth byte at 32 bits)
};

TEST(BmpRead, SixteenAndThirtyTwoBitsWithAndWithoutBitFields) {
  const std::vector<TFieldsCase> cases = {
      {"16 bits plain is 5-5-5", 40, 16, 0, {}, {0x7C00, 0x001F, 0x83E0}, TPixelFormat::pf15bit,
       {0xFF0000, 0x0000FF, 0x00FF00}},
      {"5-6-5 after a 40-byte header", 40, 16, 3, {0xF800, 0x07E0, 0x001F}, {0xF800, 0x07E0, 0x001F},
       TPixelFormat::pf16bit, {0xFF0000, 0x00FF00, 0x0000FF}},
      {"5-6-5 in a 52-byte header", 52, 16, 3, {0xF800, 0x07E0, 0x001F}, {0x07E0}, TPixelFormat::pf16bit,
       {0x00FF00}},
      {"5-5-5 in a V4 header", 108, 16, 3, {0x7C00, 0x03E0, 0x001F, 0}, {0x03E0, 0x7C00}, TPixelFormat::pf15bit,
       {0x00FF00, 0xFF0000}},
      {"4-4-4-4 in a 56-byte header, scaled", 56, 16, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}, {0xF8F0, 0x0123},
       TPixelFormat::pf32bit, {0xFF88FF00, 0x00112233}},
      {"32 bits plain keep the fourth byte", 40, 32, 0, {}, {0x7F010203}, TPixelFormat::pf32bit, {0x7F010203}},
      {"8-8-8 in a V5 header keep the fourth byte", 124, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000},
       {0xAB123456}, TPixelFormat::pf32bit, {0xAB123456}},
      {"10-10-10-2 in a V5 header, scaled", 124, 32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000},
       {0xFFF80001, 0x3FC01008}, TPixelFormat::pf32bit, {0xFFFF8000, 0x00FF0102}},
      {"blue-green-red order after a 40-byte header", 40, 32, 3, {0xFF, 0xFF00, 0xFF0000}, {0x00332211},
       TPixelFormat::pf32bit, {0x00112233}},
  };
  for (const TFieldsCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TBmpFile f;
    f.HeaderSize = c.HeaderSize;
    f.Bits = uint16_t(c.Bits);
    f.Compression = c.Compression;
    f.Masks = c.Masks;
    f.Width = int(c.Pixels.size());
    f.Height = 1;
    f.Pixels = Rows({Words(c.Pixels, c.Bits)});
    TBitmap b;
    Read(f.Bytes(), b);
    ASSERT_EQ(b.PixelFormat(), c.Format);
    for (int x = 0; x < f.Width; ++x) EXPECT_EQ(b.PixelColor(x, 0), c.Colors[x]) << x;
  }
}

// Indices of a paletted bitmap, rows top first.
std::vector<std::vector<int>> Indices(TBitmap& B) {
  const int bits = BitsPerPixel(B.PixelFormat());
  std::vector<std::vector<int>> out(B.Height());
  for (int y = 0; y < B.Height(); ++y)
    for (int x = 0; x < B.Width(); ++x) {
      const uint8_t byte = Row(B, y)[x * bits / 8];
      out[y].push_back(byte >> (8 - bits - x * bits % 8) & ((1 << bits) - 1));
    }
  return out;
}

TEST(BmpRead, RleEveryCodeAndUnsetPixelsIndexZero) {
  // White at index 3: a bitmap's new pixels start as the nearest colour to white, so index 0
  // shows that the reader cleared them.
  const std::vector<uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0xFFFFFF};
  TBmpFile f;
  f.Bits = 8;
  f.Compression = 1;
  f.Width = 6;
  f.Height = 4;
  f.ColoursUsed = 4;
  f.Palette = palette;
  f.Pixels = {0x03, 0x01,                          // run of three 1s
              0x00, 0x03, 0x02, 0x03, 0x01, 0x00,  // absolute 2 3 1, padded to a word
              0x00, 0x00,                          // end of line
              0x00, 0x02, 0x02, 0x01,              // delta to column 2 of row 2
              0x02, 0x03,                          // run of two 3s
              0x00, 0x00,                          // end of line
              0x00, 0x04, 0x01, 0x02, 0x03, 0x00,  // absolute 1 2 3 0, no padding
              0x00, 0x01};                         // end of bitmap
  TBitmap b;
  Read(f.Bytes(), b);
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(b.Palette(), palette);
  const std::vector<std::vector<int>> rle8 = {
      {1, 2, 3, 0, 0, 0}, {0, 0, 3, 3, 0, 0}, {0, 0, 0, 0, 0, 0}, {1, 1, 1, 2, 3, 1}};
  EXPECT_EQ(Indices(b), rle8);

  f.Bits = 4;
  f.Compression = 2;
  f.Width = 5;
  f.Height = 3;
  f.Pixels = {0x03, 0x12,                          // run 1 2 1
              0x00, 0x00,                          // end of line
              0x00, 0x05, 0x12, 0x31, 0x20, 0x00,  // absolute 1 2 3 1 2: three bytes, padded to four
              0x00, 0x00,                          // end of line
              0x00, 0x02, 0x03, 0x00,              // delta to column 3
              0x02, 0x33,                          // run 3 3
              0x00, 0x01};                         // end of bitmap
  Read(f.Bytes(), b);
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
  const std::vector<std::vector<int>> rle4 = {{0, 0, 0, 3, 3}, {1, 2, 3, 1, 2}, {1, 2, 1, 0, 0}};
  EXPECT_EQ(Indices(b), rle4);
}

TEST(BmpRead, ReadsFromTheStreamPositionAndSkipsAGapBeforeThePixels) {
  TBmpFile f;
  f.Width = 1;
  f.Height = 1;
  f.Offset = 14 + 40 + 10;
  f.Pixels = Rows({{0x33, 0x22, 0x11}});
  TBytes bytes = {9, 9, 9, 9, 9};
  const TBytes file = f.Bytes();
  bytes.insert(bytes.end(), file.begin(), file.end());
  TMemoryStream s;
  s.SetBytes(bytes);
  s.SetPosition(5);
  TBitmap b;
  ReadBmp(s, b);
  EXPECT_EQ(b.PixelColor(0, 0), 0x112233u);
}

TEST(BmpRead, ABitmapLoadOfTwentyFourBitsEndsThirtyTwoBitsWithTheSameColours) {
  TBmpFile f;
  f.Pixels = Rows({{1, 2, 3, 4, 5, 6}, {7, 8, 9, 10, 11, 12}});
  TMemoryStream s;
  s.SetBytes(f.Bytes());
  TABitmap b;
  b.LoadFromStream(s);
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 2);
  const uint32_t* top = static_cast<uint32_t*>(b.ScanLine(0));
  const uint32_t* bottom = static_cast<uint32_t*>(b.ScanLine(1));
  EXPECT_EQ(top[0], 0x00090807u);
  EXPECT_EQ(top[1], 0x000C0B0Au);
  EXPECT_EQ(bottom[0], 0x00030201u);
  EXPECT_EQ(bottom[1], 0x00060504u);
}

// A stream that claims a terabyte: the reader must refuse it before reading or allocating.
class THugeStream : public TStream {
 public:
  static constexpr int64_t kSize = int64_t(1) << 40;
  int64_t Read(void*, int64_t) override {
    ADD_FAILURE() << "read although the size is past the cap";
    return 0;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t Offset, TSeekOrigin Origin) override {
    pos_ = (Origin == TSeekOrigin::soEnd ? kSize : Origin == TSeekOrigin::soCurrent ? pos_ : 0) + Offset;
    return pos_;
  }

 private:
  int64_t pos_ = 0;
};

TEST(BmpRead, StreamPastTheByteCapIsRefusedUnread) {
  THugeStream s;
  TBitmap b;
  try {
    ReadBmp(s, b);
    FAIL() << "no error";
  } catch (const EInvalidGraphic& e) {
    EXPECT_NE(e.Message().find(std::to_string(THugeStream::kSize)), std::string::npos) << e.Message();
  }
}

struct TBadCase {
  const char* Name;
  std::function<TBytes()> Bytes;
  const char* Says;  // part of the message that names the fault
};

TBmpFile Paletted() {
  TBmpFile f;
  f.Bits = 8;
  f.ColoursUsed = 2;
  f.Palette = {0x000000, 0xFFFFFF};
  f.Pixels = Rows({{0, 1}, {1, 0}});
  return f;
}

TBmpFile Rle(TBytes Data) {
  TBmpFile f = Paletted();
  f.Compression = 1;
  f.Height = 1;
  f.Pixels = std::move(Data);
  return f;
}

TBmpFile Fields(std::vector<uint32_t> Masks, int Bits = 16) {
  TBmpFile f;
  f.Bits = uint16_t(Bits);
  f.Compression = 3;
  f.Masks = std::move(Masks);
  f.Pixels = TBytes(16, 0);
  return f;
}

TBytes Cut(TBytes B, size_t Size) {
  B.resize(Size);
  return B;
}

TBmpFile Sized(int32_t Width, int32_t Height) {
  TBmpFile f;
  f.Width = Width;
  f.Height = Height;
  f.Pixels = TBytes(16, 0);
  return f;
}

TEST(BmpRead, MalformedDataRaisesInvalidGraphicAndLeavesTheBitmap) {
  const TBytes good = Sized(2, 2).Bytes();
  auto changed = [&](size_t At, uint32_t V) {
    TBytes b = good;
    Set32(b, At, V);
    return b;
  };
  const std::vector<TBadCase> cases = {
      {"no data", [] { return TBytes{}; }, "0 bytes"},
      {"shorter than the file header", [&] { return Cut(good, 10); }, "too short"},
      {"bad signature", [&] { TBytes b = good; b[1] = 'A'; return b; }, "instead of \"BM\""},
      {"unknown header size", [&] { return changed(14, 64); }, "64 bytes"},
      {"truncated info header", [&] { return Cut(good, 30); }, "ends inside its 40-byte info header"},
      {"zero width", [] { return Sized(0, 2).Bytes(); }, "no pixels"},
      {"zero height", [] { return Sized(2, 0).Bytes(); }, "no pixels"},
      {"negative width", [] { return Sized(-2, 2).Bytes(); }, "negative"},
      {"width past the side cap", [] { return Sized(40000, 1).Bytes(); }, "at most 32768 pixels a side"},
      {"top-down height past the side cap", [] { return Sized(1, -40000).Bytes(); }, "at most 32768 pixels a side"},
      {"pixels past the total cap", [] { return Sized(20000, 20000).Bytes(); }, "268435456 pixels in all"},
      {"height INT_MIN", [] { return Sized(1, INT_MIN).Bytes(); }, "-2147483648"},
      {"pixel offset inside the headers", [&] { return changed(10, 20); }, "inside the headers"},
      {"pixel offset past the end", [&] { return changed(10, 1000); }, "past the end"},
      {"truncated pixels", [&] { return Cut(good, good.size() - 3); }, "truncated"},
      {"palette past the bit depth",
       [] { TBmpFile f = Paletted(); f.Bits = 1; f.ColoursUsed = 3; f.Palette.push_back(0); return f.Bytes(); },
       "more than the 2"},
      {"palette past the pixel offset",
       [] { TBmpFile f = Paletted(); f.ColoursUsed = 4; return f.Bytes(); }, "does not fit"},
      {"palette missing", [] { TBmpFile f = Paletted(); f.ColoursUsed = 0; f.Palette.clear(); return f.Bytes(); },
       "palette is missing"},
      {"index past the palette", [] { TBmpFile f = Paletted(); f.Pixels[5] = 2; return f.Bytes(); },
       "palette index 2"},
      {"JPEG compression", [&] { return changed(30, 4); }, "compression 4"},
      {"bit count 2", [] { TBmpFile f = Paletted(); f.Bits = 2; return f.Bytes(); }, "bit count of 2"},
      {"RLE8 at 4 bits", [] { TBmpFile f = Rle({0, 1}); f.Bits = 4; return f.Bytes(); }, "RLE8 compression needs 8"},
      {"bit fields at 24 bits", [] { return Fields({0xFF0000, 0xFF00, 0xFF}, 24).Bytes(); }, "16 or 32"},
      {"zero mask", [] { return Fields({0xF800, 0, 0x1F}).Bytes(); }, "green bit mask is 0"},
      {"overlapping masks", [] { return Fields({0xF800, 0x0FE0, 0x1F}).Bytes(); }, "overlap"},
      {"overlapping alpha mask",
       [] { TBmpFile f = Fields({0x7C00, 0x3E0, 0x1F, 0xC000}); f.HeaderSize = 108; return f.Bytes(); }, "overlap"},
      {"split mask", [] { return Fields({0xF00F, 0x07E0, 0x0010}).Bytes(); }, "one run"},
      {"mask past 16 bits", [] { return Fields({0x1F0000, 0x07E0, 0x1F}).Bytes(); }, "beyond the 16"},
      {"masks cut off", [] { return Cut(Fields({0xF800, 0x07E0, 0x1F}).Bytes(), 14 + 40 + 6); },
       "inside the bit masks"},
      {"RLE top-down", [] { TBmpFile f = Rle({0, 1}); f.Height = -1; return f.Bytes(); }, "top-down"},
      {"RLE run past the right edge", [] { return Rle({3, 1, 0, 1}).Bytes(); }, "past the image"},
      {"RLE absolute run past the right edge", [] { return Rle({0, 3, 1, 1, 1, 0, 0, 1}).Bytes(); },
       "past the image"},
      {"RLE run above the top row", [] { return Rle({0, 0, 1, 1, 0, 1}).Bytes(); }, "past the image"},
      {"RLE end of line past the top", [] { return Rle({0, 0, 0, 0, 0, 1}).Bytes(); }, "end-of-line past"},
      {"RLE delta out of the image", [] { return Rle({0, 2, 3, 0, 0, 1}).Bytes(); }, "delta moves outside"},
      {"RLE without end of bitmap", [] { return Rle({2, 1}).Bytes(); }, "RLE data ends"},
      {"RLE absolute run cut off", [] { return Rle({0, 3, 1}).Bytes(); }, "RLE data ends"},
      {"RLE delta cut off", [] { return Rle({0, 2, 1}).Bytes(); }, "RLE data ends"},
      {"RLE index past the palette", [] { return Rle({1, 5, 0, 1}).Bytes(); }, "palette index 5"},
  };
  for (const TBadCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TABitmap b;
    b.SetSize(1, 1);
    b.Fill(1, 2, 3);
    try {
      Read(c.Bytes(), b);
      ADD_FAILURE() << "no error";
    } catch (const EInvalidGraphic& e) {
      EXPECT_NE(e.Message().find(c.Says), std::string::npos) << e.Message();
    }
    EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);
    EXPECT_EQ(b.Width(), 1);
    EXPECT_EQ(b.PixelColor(0, 0), 0x030201u);
  }
}

TEST(BmpRead, AllocationFailureStaysOutOfResourcesAndKeepsTheFormat) {
  TABitmap b;
  THeadlessBackend backend(1, 1);
  backend.SetPixelStoreLimit(0);  // no memory for pixels: the failure must reach the caller as it is
  SetPlatform(&backend);
  TMemoryStream s;
  s.SetBytes(Paletted().Bytes());
  EXPECT_THROW(ReadBmp(s, b), EOutOfResources);
  SetPlatform(nullptr);
  EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);
}

TEST(BmpWrite, RoundTripEveryFormat) {
  for (TPixelFormat format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit,
                              TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                              TPixelFormat::pf32bit}) {
    const int bits = BitsPerPixel(format);
    SCOPED_TRACE(int(format));
    TBitmap b;
    b.SetPixelFormat(format);
    if (bits <= 8) {
      std::vector<uint32_t> palette;
      for (uint32_t i = 0; i < (1u << bits); ++i) palette.push_back(i * 0x030507 & 0xFFFFFF);
      b.SetPalette(palette);
    }
    b.SetSize(5, 3);  // odd width: row padding, and bits past the last pixel at 1 and 4 bits
    for (int y = 0; y < 3; ++y)
      for (int i = 0; i < (5 * bits + 7) / 8; ++i) Row(b, y)[i] = uint8_t(i * 37 + y * 101 + 5);
    const TBytes file = Write(b);
    EXPECT_EQ(Get32(file, 22), 3u);  // positive height: bottom-up rows
    EXPECT_EQ(Get32(file, 30), format == TPixelFormat::pf16bit ? 3u : 0u);
    TBitmap c;
    Read(file, c);
    ASSERT_EQ(c.PixelFormat(), format);
    ASSERT_EQ(c.Width(), 5);
    ASSERT_EQ(c.Height(), 3);
    EXPECT_EQ(c.Palette(), b.Palette());
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 5; ++x) EXPECT_EQ(c.PixelColor(x, y), b.PixelColor(x, y)) << x << "," << y;
    if (bits >= 8) {  // the bytes themselves, also those no colour shows (bit 15, the fourth byte)
      for (int y = 0; y < 3; ++y) EXPECT_EQ(0, std::memcmp(Row(c, y), Row(b, y), 5 * bits / 8));
    }
  }
}

TEST(BmpWrite, ShortPaletteGrowsToTheIndicesInUse) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf8bit);
  b.SetSize(3, 1);
  Row(b, 0)[0] = 0;
  Row(b, 0)[1] = 1;
  Row(b, 0)[2] = 5;
  b.SetPalette({0x112233, 0x445566});
  TBitmap c;
  Read(Write(b), c);
  ASSERT_EQ(c.Palette().size(), 6u);
  EXPECT_EQ(c.PixelColor(1, 0), 0x445566u);
  EXPECT_EQ(c.PixelColor(2, 0), b.PixelColor(2, 0));
}

TEST(BmpWrite, BitsPastTheLastPixelAndPaddingAreZero) {
  TBitmap b;
  b.SetPixelFormat(TPixelFormat::pf1bit);
  b.SetSize(3, 1);
  Row(b, 0)[0] = 0xFF;
  const TBytes file = Write(b);
  const size_t pixels = Get32(file, 10);
  ASSERT_EQ(file.size(), pixels + 4);
  EXPECT_EQ(file[pixels], 0xE0);
  EXPECT_EQ(file[pixels + 1] | file[pixels + 2] | file[pixels + 3], 0);
}

TEST(BmpWrite, EmptyBitmapIsRefusedAndNothingIsWritten) {
  for (auto [w, h] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{0, 5}}) {
    TBitmap b;
    b.SetSize(w, h);
    TMemoryStream s;
    try {
      WriteBmp(s, b);
      ADD_FAILURE() << w << " x " << h << " written";
    } catch (const EInvalidGraphic& e) {
      EXPECT_NE(e.Message().find("empty"), std::string::npos) << e.Message();
    }
    EXPECT_EQ(s.Size(), 0);
  }
}

}  // namespace
}  // namespace halvik
