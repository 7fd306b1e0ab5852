// Valid BMP files of every layout the reader takes, built byte by byte with the colours each
// pixel must decode to. The hostile-file tests cut and corrupt them; the fuzzer's seed tool
// writes them out as its starting corpus.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace halvik::testing {

enum class TBmpHeader { Core, Info, V4, V5 };
enum class TBmpCoding { Rgb, Rle8, Rle4, BitFields };

struct TBmpFormat {
  std::string Name;
  TBmpHeader Header = TBmpHeader::Info;
  int Bits = 24;
  TBmpCoding Coding = TBmpCoding::Rgb;
  bool TopDown = false;
  uint32_t RedMask = 0, GreenMask = 0, BlueMask = 0;  // BitFields only
  int PaletteSize = 0;                                // 0: the full 2^Bits entries
};

struct TBmpFile {
  std::vector<uint8_t> Bytes;
  int Width = 0, Height = 0;
  std::vector<uint32_t> Pixels;  // 0x00RRGGBB, top row first
  // Offsets of fields the hostile tests rewrite.
  size_t InfoAt = 14;       // the info header
  size_t PaletteAt = 0;     // first palette entry (0: none)
  size_t PixelsAt = 0;      // the pixel data, as bfOffBits says
};

namespace bmpdetail {

inline void Put16(std::vector<uint8_t>& B, uint32_t V) {
  B.push_back(uint8_t(V));
  B.push_back(uint8_t(V >> 8));
}
inline void Put32(std::vector<uint8_t>& B, uint32_t V) {
  Put16(B, V & 0xFFFF);
  Put16(B, V >> 16);
}

// A colour per palette index that differs from its neighbours in every channel.
inline uint32_t PaletteColor(int I) {
  return uint32_t((I * 73 + 17) & 255) << 16 | uint32_t((I * 151 + 90) & 255) << 8 | uint32_t((I * 39 + 200) & 255);
}

// Indices in runs of four, shifted per row, so the RLE files have runs and changes.
inline int PatternIndex(int X, int Y, int Count) { return (X / 4 + Y * 3 + (X % 4 == 3 ? 5 : 0)) % Count; }

inline int MaskShift(uint32_t M) {
  int s = 0;
  while (M && !(M & 1)) { M >>= 1; ++s; }
  return s;
}
inline int MaskBits(uint32_t M) {
  M >>= MaskShift(M);
  int n = 0;
  while (M & 1) { M >>= 1; ++n; }
  return n;
}
// A channel of Bits bits widened to 8 the way the platform widens 5 and 6 bits.
inline uint32_t Widen(uint32_t V, int Bits) {
  if (Bits >= 8) return V >> (Bits - 8);
  if (Bits == 5) return (V << 3) | (V >> 2);
  if (Bits == 6) return (V << 2) | (V >> 4);
  uint32_t r = 0;
  for (int got = 0; got < 8; got += Bits) r = (r << Bits) | V;
  return (r >> (((8 + Bits - 1) / Bits) * Bits - 8)) & 255;
}

// One row of indices as RLE8: runs, an absolute run on every third row, end of line.
inline void Rle8Row(std::vector<uint8_t>& B, const std::vector<int>& Row, int Y) {
  size_t x = 0;
  if (Y % 3 == 1 && Row.size() >= 3) {
    const size_t n = std::min<size_t>(Row.size(), 5);
    B.push_back(0);
    B.push_back(uint8_t(n));
    for (size_t i = 0; i < n; ++i) B.push_back(uint8_t(Row[i]));
    if (n & 1) B.push_back(0);
    x = n;
  }
  while (x < Row.size()) {
    size_t n = 1;
    while (x + n < Row.size() && n < 255 && Row[x + n] == Row[x]) ++n;
    B.push_back(uint8_t(n));
    B.push_back(uint8_t(Row[x]));
    x += n;
  }
}

// The same for RLE4: runs of two alternating nibbles, absolute runs padded to a word.
inline void Rle4Row(std::vector<uint8_t>& B, const std::vector<int>& Row, int Y) {
  size_t x = 0;
  if (Y % 3 == 1 && Row.size() >= 3) {
    const size_t n = std::min<size_t>(Row.size(), 5);
    B.push_back(0);
    B.push_back(uint8_t(n));
    const size_t bytes = (n + 1) / 2;
    for (size_t i = 0; i < bytes; ++i)
      B.push_back(uint8_t(Row[2 * i] << 4 | (2 * i + 1 < n ? Row[2 * i + 1] : 0)));
    if (bytes & 1) B.push_back(0);
    x = n;
  }
  while (x < Row.size()) {
    // A run whose even pixels are Row[x] and odd ones Row[x+1].
    const int a = Row[x], b = x + 1 < Row.size() ? Row[x + 1] : a;
    size_t n = 1;
    while (x + n < Row.size() && n < 255 && Row[x + n] == ((n & 1) ? b : a)) ++n;
    B.push_back(uint8_t(n));
    B.push_back(uint8_t(a << 4 | b));
    x += n;
  }
}

}  // namespace bmpdetail

// A valid file of Format, Width by Height (both > 0).
inline TBmpFile MakeBmp(const TBmpFormat& F, int Width, int Height) {
  using namespace bmpdetail;
  TBmpFile f;
  f.Width = Width;
  f.Height = Height;
  f.Pixels.resize(size_t(Width) * size_t(Height));
  const bool paletted = F.Bits <= 8;
  const int entries = paletted ? (F.PaletteSize ? F.PaletteSize : 1 << F.Bits) : 0;

  // The pixel data, file rows bottom-up unless TopDown, and every pixel's colour.
  std::vector<uint8_t> data;
  const size_t stride = size_t((int64_t(Width) * F.Bits + 31) / 32 * 4);
  for (int fr = 0; fr < Height; ++fr) {
    const int y = F.TopDown ? fr : Height - 1 - fr;
    std::vector<int> indices;
    std::vector<uint8_t> row(stride, 0);
    for (int x = 0; x < Width; ++x) {
      uint32_t& px = f.Pixels[size_t(y) * size_t(Width) + size_t(x)];
      if (paletted) {
        const int i = PatternIndex(x, y, entries);
        indices.push_back(i);
        px = PaletteColor(i);
        if (F.Bits == 1) row[size_t(x / 8)] |= uint8_t(i << (7 - x % 8));
        if (F.Bits == 4) row[size_t(x / 2)] |= uint8_t(i << (x % 2 ? 0 : 4));
        if (F.Bits == 8) row[size_t(x)] = uint8_t(i);
        continue;
      }
      const uint32_t r8 = uint32_t(x * 37 + y * 11) & 255, g8 = uint32_t(x * 5 + y * 53) & 255,
                     b8 = uint32_t(x * 97 + y * 29 + 3) & 255;
      if (F.Bits == 24 || (F.Bits == 32 && F.Coding == TBmpCoding::Rgb)) {
        uint8_t* p = &row[size_t(x) * size_t(F.Bits / 8)];
        p[0] = uint8_t(b8), p[1] = uint8_t(g8), p[2] = uint8_t(r8);
        px = r8 << 16 | g8 << 8 | b8;
        continue;
      }
      // 16 bits (5-5-5 without masks) or bit fields.
      const uint32_t rm = F.Coding == TBmpCoding::BitFields ? F.RedMask : 0x7C00;
      const uint32_t gm = F.Coding == TBmpCoding::BitFields ? F.GreenMask : 0x03E0;
      const uint32_t bm = F.Coding == TBmpCoding::BitFields ? F.BlueMask : 0x001F;
      const int rb = MaskBits(rm), gb = MaskBits(gm), bb = MaskBits(bm);
      const uint32_t rv = r8 >> (8 - std::min(rb, 8)), gv = g8 >> (8 - std::min(gb, 8)), bv = b8 >> (8 - std::min(bb, 8));
      const uint32_t word = rv << MaskShift(rm) | gv << MaskShift(gm) | bv << MaskShift(bm);
      px = Widen(rv, std::min(rb, 8)) << 16 | Widen(gv, std::min(gb, 8)) << 8 | Widen(bv, std::min(bb, 8));
      for (int k = 0; k < F.Bits / 8; ++k) row[size_t(x) * size_t(F.Bits / 8) + size_t(k)] = uint8_t(word >> (8 * k));
    }
    if (F.Coding == TBmpCoding::Rle8) {
      Rle8Row(data, indices, y);
    } else if (F.Coding == TBmpCoding::Rle4) {
      Rle4Row(data, indices, y);
    } else {
      data.insert(data.end(), row.begin(), row.end());
      continue;
    }
    // End of line between rows; the last row ends with the end-of-bitmap mark alone.
    data.push_back(0);
    data.push_back(fr + 1 < Height ? 0 : 1);
  }

  std::vector<uint8_t>& b = f.Bytes;
  const uint32_t compression = F.Coding == TBmpCoding::Rle8 ? 1 : F.Coding == TBmpCoding::Rle4 ? 2
                               : F.Coding == TBmpCoding::BitFields ? 3 : 0;
  b = {'B', 'M'};
  Put32(b, 0);  // file size, patched below
  Put32(b, 0);
  Put32(b, 0);  // pixel offset, patched below
  if (F.Header == TBmpHeader::Core) {
    Put32(b, 12);
    Put16(b, uint32_t(Width));
    Put16(b, uint32_t(Height));
    Put16(b, 1);
    Put16(b, uint32_t(F.Bits));
  } else {
    const uint32_t size = F.Header == TBmpHeader::Info ? 40 : F.Header == TBmpHeader::V4 ? 108 : 124;
    Put32(b, size);
    Put32(b, uint32_t(Width));
    Put32(b, uint32_t(F.TopDown ? -Height : Height));
    Put16(b, 1);
    Put16(b, uint32_t(F.Bits));
    Put32(b, compression);
    Put32(b, uint32_t(data.size()));
    Put32(b, 2835);
    Put32(b, 2835);
    Put32(b, paletted && entries < (1 << F.Bits) ? uint32_t(entries) : 0);
    Put32(b, 0);
    if (size > 40) {
      Put32(b, F.RedMask), Put32(b, F.GreenMask), Put32(b, F.BlueMask), Put32(b, 0);  // alpha mask
      Put32(b, 0x73524742);                                                             // 'sRGB'
      for (int i = 0; i < 9 + 3; ++i) Put32(b, 0);                                      // end points, gammas
      if (size > 108)
        for (int i = 0; i < 4; ++i) Put32(b, i == 0 ? 4 : 0);  // intent, profile data and size, reserved
    } else if (F.Coding == TBmpCoding::BitFields) {
      Put32(b, F.RedMask), Put32(b, F.GreenMask), Put32(b, F.BlueMask);
    }
  }
  if (paletted) {
    f.PaletteAt = b.size();
    for (int i = 0; i < entries; ++i) {
      const uint32_t c = PaletteColor(i);
      b.push_back(uint8_t(c)), b.push_back(uint8_t(c >> 8)), b.push_back(uint8_t(c >> 16));
      if (F.Header != TBmpHeader::Core) b.push_back(0);
    }
  }
  f.PixelsAt = b.size();
  b.insert(b.end(), data.begin(), data.end());
  for (int k = 0; k < 4; ++k) {
    b[2 + size_t(k)] = uint8_t(b.size() >> (8 * k));
    b[10 + size_t(k)] = uint8_t(f.PixelsAt >> (8 * k));
  }
  return f;
}

// Every layout the reader takes: each header, each depth, both row orders, each coding.
inline std::vector<TBmpFormat> ReadableBmpFormats() {
  using H = TBmpHeader;
  using C = TBmpCoding;
  return {
      {"core-1", H::Core, 1, C::Rgb},
      {"core-4", H::Core, 4, C::Rgb},
      {"core-8", H::Core, 8, C::Rgb},
      {"core-24", H::Core, 24, C::Rgb},
      {"info-1", H::Info, 1, C::Rgb},
      {"info-4", H::Info, 4, C::Rgb},
      {"info-4-short-palette", H::Info, 4, C::Rgb, false, 0, 0, 0, 6},
      {"info-8", H::Info, 8, C::Rgb},
      {"info-8-short-palette", H::Info, 8, C::Rgb, false, 0, 0, 0, 20},
      {"info-8-top-down", H::Info, 8, C::Rgb, true},
      {"info-16-555", H::Info, 16, C::Rgb},
      {"info-24", H::Info, 24, C::Rgb},
      {"info-24-top-down", H::Info, 24, C::Rgb, true},
      {"info-32", H::Info, 32, C::Rgb},
      {"info-rle8", H::Info, 8, C::Rle8},
      {"info-rle8-short-palette", H::Info, 8, C::Rle8, false, 0, 0, 0, 12},
      {"info-rle4", H::Info, 4, C::Rle4},
      {"info-bitfields-16-565", H::Info, 16, C::BitFields, false, 0xF800, 0x07E0, 0x001F},
      {"info-bitfields-16-555", H::Info, 16, C::BitFields, false, 0x7C00, 0x03E0, 0x001F},
      {"info-bitfields-32", H::Info, 32, C::BitFields, false, 0xFF0000, 0xFF00, 0xFF},
      {"v4-24", H::V4, 24, C::Rgb},
      {"v4-bitfields-16-565", H::V4, 16, C::BitFields, false, 0xF800, 0x07E0, 0x001F},
      {"v5-8", H::V5, 8, C::Rgb},
      {"v5-32-top-down", H::V5, 32, C::Rgb, true},
      {"v5-bitfields-32", H::V5, 32, C::BitFields, false, 0xFF0000, 0xFF00, 0xFF},
  };
}

}  // namespace halvik::testing
