// Hostile BMP files: every prefix of a valid file of each layout, dimensions near 2^31, RLE
// that claims more than the image, palettes that claim more than the file has, and pixel data
// said to start inside the headers. Each is refused with an error, and no large allocation is
// made on the way: sizes are checked before memory is taken.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "bitmap/ABitmap.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"
#include "support/BmpFiles.h"

// Every allocation of this test program goes through here, so a load can be watched for the
// largest single block it asks for.
namespace {
std::atomic<bool> g_watching{false};
std::atomic<size_t> g_largest{0};
void* Allocate(size_t Size) {
  if (g_watching.load(std::memory_order_relaxed) && Size > g_largest.load(std::memory_order_relaxed))
    g_largest.store(Size, std::memory_order_relaxed);
  return std::malloc(Size ? Size : 1);
}
}  // namespace

void* operator new(size_t Size) {
  if (void* p = Allocate(Size)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t Size) {
  if (void* p = Allocate(Size)) return p;
  throw std::bad_alloc();
}
void* operator new(size_t Size, const std::nothrow_t&) noexcept { return Allocate(Size); }
void* operator new[](size_t Size, const std::nothrow_t&) noexcept { return Allocate(Size); }
void operator delete(void* P) noexcept { std::free(P); }
void operator delete[](void* P) noexcept { std::free(P); }
void operator delete(void* P, size_t) noexcept { std::free(P); }
void operator delete[](void* P, size_t) noexcept { std::free(P); }
void operator delete(void* P, const std::nothrow_t&) noexcept { std::free(P); }
void operator delete[](void* P, const std::nothrow_t&) noexcept { std::free(P); }

namespace halvik {
namespace {

using testing::MakeBmp;
using testing::ReadableBmpFormats;
using testing::TBmpCoding;
using testing::TBmpFile;
using testing::TBmpFormat;
using testing::TBmpHeader;
using Bytes = std::vector<uint8_t>;

// No single block above this while a hostile file (all of them small) is read.
constexpr size_t kAllocationBound = 64 * 1024;

enum class TOutcome { Read, Invalid, OutOfResources, Other };

struct TLoad {
  TOutcome Outcome;
  std::string Message;
  size_t Largest;
};

TLoad Load(const Bytes& File, TABitmap& B) {
  TMemoryStream s;
  s.SetBytes(File);
  g_largest = 0;
  g_watching = true;
  TLoad r{TOutcome::Read, "", 0};
  try {
    B.LoadFromStream(s);
  } catch (const EInvalidGraphic& e) {
    r = {TOutcome::Invalid, e.what(), 0};
  } catch (const EOutOfResources& e) {
    r = {TOutcome::OutOfResources, e.what(), 0};
  } catch (const std::exception& e) {
    r = {TOutcome::Other, e.what(), 0};
  }
  g_watching = false;
  r.Largest = g_largest;
  return r;
}

TLoad Load(const Bytes& File) {
  TABitmap b;
  return Load(File, b);
}

void Put32(Bytes& B, size_t At, uint32_t V) {
  for (int k = 0; k < 4; ++k) B[At + size_t(k)] = uint8_t(V >> (8 * k));
}
void Put16(Bytes& B, size_t At, uint32_t V) {
  B[At] = uint8_t(V);
  B[At + 1] = uint8_t(V >> 8);
}

// Field offsets from the file's start.
constexpr size_t kOffBits = 10, kWidth = 18, kHeight = 22, kBitCount = 28, kClrUsed = 46;
constexpr size_t kCoreWidth = 18, kCoreHeight = 20;

TBmpFormat Format(const std::string& Name) {
  for (const auto& f : ReadableBmpFormats())
    if (f.Name == Name) return f;
  ADD_FAILURE() << "no format " << Name;
  return {};
}

// A refusal: EInvalidGraphic with a message, and no large block taken on the way.
void ExpectRefused(const Bytes& File, const std::string& What) {
  const TLoad r = Load(File);
  EXPECT_EQ(r.Outcome, TOutcome::Invalid) << What << ": " << r.Message;
  EXPECT_FALSE(r.Message.empty()) << What;
  EXPECT_LE(r.Largest, kAllocationBound) << What << ": an allocation before the size was checked";
}

TEST(BmpHostile, EveryLayoutReadsBackItsColours) {
  // The files the other tests cut and corrupt are valid to begin with.
  for (const auto& f : ReadableBmpFormats())
    for (auto [w, h] : {std::pair{1, 1}, {5, 3}, {17, 9}}) {
      SCOPED_TRACE(f.Name + " " + std::to_string(w) + "x" + std::to_string(h));
      const TBmpFile file = MakeBmp(f, w, h);
      TABitmap b;
      const TLoad r = Load(file.Bytes, b);
      ASSERT_EQ(r.Outcome, TOutcome::Read) << r.Message;
      ASSERT_EQ(b.Width(), w);
      ASSERT_EQ(b.Height(), h);
      EXPECT_EQ(b.PixelFormat(), TPixelFormat::pf32bit);
      for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
          ASSERT_EQ(static_cast<uint32_t*>(b.ScanLine(y))[x] & 0xFFFFFF, file.Pixels[size_t(y) * size_t(w) + size_t(x)])
              << "pixel " << x << "," << y;
    }
}

// Bytes of padding after the last row of pixels of an uncompressed file: the reader takes a
// file without them, since all its pixels are there.
size_t LastRowPadding(const TBmpFormat& F, int Width) {
  if (F.Coding == TBmpCoding::Rle8 || F.Coding == TBmpCoding::Rle4) return 0;
  const int64_t bits = int64_t(Width) * F.Bits;
  return size_t((bits + 31) / 32 * 4 - (bits + 7) / 8);
}

TEST(BmpHostile, EveryPrefixOfEveryLayoutIsInvalid) {
  for (const auto& f : ReadableBmpFormats())
    for (auto [w, h] : {std::pair{1, 1}, {5, 3}}) {
      const TBmpFile whole = MakeBmp(f, w, h);
      const size_t complete = whole.Bytes.size() - LastRowPadding(f, w);
      for (size_t n = 0; n < whole.Bytes.size(); ++n) {
        TABitmap b;
        const TLoad r = Load(Bytes(whole.Bytes.begin(), whole.Bytes.begin() + long(n)), b);
        const std::string what = f.Name + " " + std::to_string(w) + "x" + std::to_string(h) + " cut to " +
                                 std::to_string(n) + " of " + std::to_string(whole.Bytes.size()) + " bytes";
        EXPECT_LE(r.Largest, kAllocationBound) << what;
        if (n < complete) {
          EXPECT_EQ(r.Outcome, TOutcome::Invalid) << what << ": " << r.Message;
          continue;
        }
        // Only the last row's padding is missing: every pixel is read.
        ASSERT_EQ(r.Outcome, TOutcome::Read) << what << ": " << r.Message;
        ASSERT_EQ(b.Width(), w);
        ASSERT_EQ(b.Height(), h);
        for (int y = 0; y < h; ++y)
          for (int x = 0; x < w; ++x)
            ASSERT_EQ(static_cast<uint32_t*>(b.ScanLine(y))[x] & 0xFFFFFF, whole.Pixels[size_t(y) * size_t(w) + size_t(x)])
                << what;
      }
    }
}

TEST(BmpHostile, DimensionsNearTwoToThe31AreRefusedBeforeAnyAllocation) {
  struct TCase {
    const char* Name;
    const char* Format;
    int64_t Width, Height;
  };
  const TCase cases[] = {
      {"width 2^31-1", "info-24", 0x7FFFFFFF, 1},
      {"height 2^31-1", "info-24", 1, 0x7FFFFFFF},
      {"top-down height -2^31", "info-24", 1, -2147483648LL},
      {"top-down height -(2^31-1)", "info-8", 3, -0x7FFFFFFF},
      {"width -2^31", "info-24", -2147483648LL, 1},
      {"width -1", "info-24", -1, 3},
      {"width and height 65536, product 2^32", "info-8", 65536, 65536},
      {"product 2^32 from 2^30 by 4", "info-8", 0x40000000, 4},
      {"product past 2^31", "info-24", 46341, 46341},
      {"32-bit row bytes past 2^31", "info-32", 0x20000000, 1},
      {"1-bit row bits past 2^31", "info-1", 0x7FFFFFFF, 2},
      {"RLE8 width 2^31-1", "info-rle8", 0x7FFFFFFF, 1},
      {"RLE4 height 2^31-1", "info-rle4", 1, 0x7FFFFFFF},
      {"one past the longest side", "info-24", 32769, 1},
      {"past the pixel count", "info-8", 16384, 16385},
      {"32-bit bit fields, width 2^31-1", "info-bitfields-32", 0x7FFFFFFF, 1},
  };
  for (const TCase& c : cases) {
    Bytes file = MakeBmp(Format(c.Format), 5, 3).Bytes;
    Put32(file, kWidth, uint32_t(c.Width));
    Put32(file, kHeight, uint32_t(c.Height));
    ExpectRefused(file, c.Name);
  }
  // The 16-bit sizes of the oldest header, at their largest.
  Bytes core = MakeBmp(Format("core-24"), 5, 3).Bytes;
  Put16(core, kCoreWidth, 0xFFFF);
  Put16(core, kCoreHeight, 0xFFFF);
  ExpectRefused(core, "core header 65535 x 65535");
}

TEST(BmpHostile, ALargeImageWithoutItsPixelDataTakesNoMemoryForIt) {
  // Within the size limits, but the file holds a few bytes of the 200 MB its header claims.
  for (const char* name : {"info-8", "info-24", "info-32", "core-24", "info-bitfields-16-565"}) {
    Bytes file = MakeBmp(Format(name), 5, 3).Bytes;
    if (std::string(name).rfind("core", 0) == 0) {
      Put16(file, kCoreWidth, 20000);
      Put16(file, kCoreHeight, 10000);
    } else {
      Put32(file, kWidth, 20000);
      Put32(file, kHeight, 10000);
    }
    ExpectRefused(file, name);
  }
}

// A 5 by 3 RLE file of Format whose pixel data is Data.
Bytes WithRleData(const char* Format, const Bytes& Data) {
  const TBmpFile base = MakeBmp(halvik::Format(Format), 5, 3);
  Bytes file(base.Bytes.begin(), base.Bytes.begin() + long(base.PixelsAt));
  file.insert(file.end(), Data.begin(), Data.end());
  Put32(file, 2, uint32_t(file.size()));
  Put32(file, 34, uint32_t(Data.size()));
  return file;
}

TEST(BmpHostile, RleThatClaimsMoreThanTheImageIsInvalid) {
  struct TCase {
    const char* Name;
    const char* Format;
    Bytes Data;
  };
  const TCase cases[] = {
      {"run past the row's end", "info-rle8", {6, 1, 0, 1}},
      {"run of 255 in a row of 5", "info-rle8", {255, 1, 0, 1}},
      {"two runs past the row's end", "info-rle8", {3, 1, 3, 2, 0, 1}},
      {"absolute run past the row's end", "info-rle8", {0, 6, 1, 2, 3, 4, 5, 6, 0, 1}},
      {"a fourth row in a 3-row image", "info-rle8", {5, 1, 0, 0, 5, 1, 0, 0, 5, 1, 0, 0, 5, 1, 0, 1}},
      {"delta past the right edge", "info-rle8", {0, 2, 6, 0, 0, 1}},
      {"delta past the bottom", "info-rle8", {0, 2, 0, 5, 0, 1}},
      {"delta, then a run past the row's end", "info-rle8", {0, 2, 3, 0, 3, 1, 0, 1}},
      {"RLE4 run past the row's end", "info-rle4", {6, 0x12, 0, 1}},
      {"RLE4 absolute run past the row's end", "info-rle4", {0, 7, 0x12, 0x34, 0x56, 0x70, 0, 1}},
      {"RLE4 a fourth row", "info-rle4", {5, 0x11, 0, 0, 5, 0x11, 0, 0, 5, 0x11, 0, 0, 5, 0x11, 0, 1}},
      {"RLE4 delta past the bottom", "info-rle4", {0, 2, 1, 9, 0, 1}},
  };
  for (const TCase& c : cases) ExpectRefused(WithRleData(c.Format, c.Data), c.Name);
}

TEST(BmpHostile, PalettesThatClaimMoreThanTheFileHoldsAreInvalid) {
  // An 8-bit file whose header claims 256 entries, with only 16 before the pixel data.
  {
    const TBmpFile base = MakeBmp(Format("info-8"), 5, 3);
    Bytes file(base.Bytes.begin(), base.Bytes.begin() + long(base.PaletteAt + 16 * 4));
    file.insert(file.end(), base.Bytes.begin() + long(base.PixelsAt), base.Bytes.end());
    Put32(file, kOffBits, uint32_t(base.PaletteAt + 16 * 4));
    Put32(file, kClrUsed, 256);
    Put32(file, 2, uint32_t(file.size()));
    ExpectRefused(file, "256 entries claimed, 16 present");
  }
  struct TCase {
    const char* Name;
    const char* Format;
    uint32_t ClrUsed;
  };
  const TCase cases[] = {
      {"300 entries for 8 bits", "info-8", 300},
      {"17 entries for 4 bits", "info-4", 17},
      {"3 entries for 1 bit", "info-1", 3},
      {"2^30 entries: times four is 0 in 32 bits", "info-8", 0x40000000},
      {"2^32-1 entries", "info-8", 0xFFFFFFFF},
      {"2^32-1 entries, RLE", "info-rle8", 0xFFFFFFFF},
      {"2^32-1 entries, short palette", "info-8-short-palette", 0xFFFFFFFF},
  };
  for (const TCase& c : cases) {
    Bytes file = MakeBmp(Format(c.Format), 5, 3).Bytes;
    Put32(file, kClrUsed, c.ClrUsed);
    ExpectRefused(file, c.Name);
  }
  // A palette count that the file does hold, but that runs into the pixel data.
  Bytes file = MakeBmp(Format("info-8-short-palette"), 5, 3).Bytes;
  Put32(file, kClrUsed, 24);
  ExpectRefused(file, "24 entries claimed, 20 before the pixel offset");
}

TEST(BmpHostile, PixelDataInsideTheHeadersIsInvalid) {
  struct TCase {
    const char* Name;
    const char* Format;
    int64_t Offset;  // negative: that far from the end of the palette or masks
  };
  const TCase cases[] = {
      {"offset 0", "info-24", 0},
      {"inside the file header", "info-24", 13},
      {"at the info header", "info-24", 14},
      {"inside the info header", "info-24", 14 + 39},
      {"inside a counted palette", "info-8-short-palette", -4},
      {"one byte into a counted palette's last entry", "info-8-short-palette", -1},
      {"inside a counted 4-bit palette", "info-4-short-palette", -8},
      {"inside the bit fields", "info-bitfields-16-565", 14 + 40 + 4},
      {"inside the V5 header", "v5-bitfields-32", 14 + 100},
      {"past the end of the file", "info-24", 100000},
      {"at 2^32-1", "info-24", 0xFFFFFFFF},
      {"at 2^31", "info-8", 0x80000000},
  };
  for (const TCase& c : cases) {
    const TBmpFile base = MakeBmp(Format(c.Format), 5, 3);
    Bytes file = base.Bytes;
    Put32(file, kOffBits, uint32_t(c.Offset >= 0 ? c.Offset : int64_t(base.PixelsAt) + c.Offset));
    ExpectRefused(file, c.Name);
  }
}

TEST(BmpHostile, HeadersOfNoKnownLayoutAreInvalid) {
  struct TCase {
    const char* Name;
    size_t At;
    int Width;  // 2 or 4 bytes
    uint32_t Value;
  };
  const TCase cases[] = {
      {"header size 0", 14, 4, 0},
      {"header size 11", 14, 4, 11},
      {"header size 39", 14, 4, 39},
      {"header size 2^32-1", 14, 4, 0xFFFFFFFF},
      {"bit count 0", kBitCount, 2, 0},
      {"bit count 7", kBitCount, 2, 7},
      {"bit count 64", kBitCount, 2, 64},
      {"compression 2^32-1", 30, 4, 0xFFFFFFFF},
      {"RLE8 on 24 bits", 30, 4, 1},
      {"RLE4 on 24 bits", 30, 4, 2},
      {"bit fields on 24 bits", 30, 4, 3},
  };
  for (const TCase& c : cases) {
    Bytes file = MakeBmp(Format("info-24"), 5, 3).Bytes;
    if (c.Width == 2) Put16(file, c.At, c.Value);
    else Put32(file, c.At, c.Value);
    ExpectRefused(file, c.Name);
  }
  Bytes masks = MakeBmp(Format("info-bitfields-16-565"), 5, 3).Bytes;
  for (size_t k = 0; k < 12; ++k) masks[54 + k] = 0;
  ExpectRefused(masks, "bit fields with every mask 0");
}

}  // namespace
}  // namespace halvik
