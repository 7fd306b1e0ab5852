// BMP reading and writing. The reader checks the whole file (headers, sizes, palette indices,
// RLE codes) before it touches the bitmap, so malformed input leaves the bitmap as it was.
#include "platform/core/BmpCodec.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/core/Exceptions.h"

namespace halvik {
namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3;
constexpr int64_t kFileHeaderBytes = 14;
// The largest image a bitmap may hold at 32 bits, with a mebibyte to spare for headers and gaps.
constexpr int64_t kMaxBmpBytes = 4 * TBitmap::kMaxPixels + (int64_t(1) << 20);

[[noreturn]] void Fail(const std::string& Why) { throw EInvalidGraphic("Invalid BMP image: " + Why); }

std::string Num(int64_t V) { return std::to_string(V); }

std::string Hex(uint32_t V, int Digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", Digits, static_cast<unsigned>(V));
  return text;
}

// Little-endian values at offsets the caller has checked.
uint16_t U16(const uint8_t* P) { return uint16_t(P[0] | P[1] << 8); }
uint32_t U32(const uint8_t* P) {
  return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24;
}

bool IsPaletteFormat(int Bits) { return Bits <= 8; }

// The palette index of pixel X in a row of 1, 4 or 8 bits (the same layout in files and stores).
uint32_t IndexAt(const uint8_t* Row, int64_t X, int Bits) {
  if (Bits == 1) return Row[X >> 3] >> (7 - (X & 7)) & 1;
  if (Bits == 4) return Row[X >> 1] >> ((X & 1) ? 0 : 4) & 15;
  return Row[X];
}

struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  int Bits = 0;
};

// One colour channel of a pixel, scaled to 8 bits; 0 for an absent channel.
uint32_t Scale(uint32_t Raw, const TChannel& C) {
  if (C.Mask == 0) return 0;
  const uint32_t v = (Raw & C.Mask) >> C.Shift;
  if (C.Bits >= 8) return v >> (C.Bits - 8);
  const uint32_t max = (1u << C.Bits) - 1;
  return (v * 255 + max / 2) / max;
}

TChannel MakeChannel(uint32_t Mask, const char* Name, int PixelBits, bool Required) {
  TChannel c;
  c.Mask = Mask;
  if (Mask == 0) {
    if (Required) Fail(std::string("its ") + Name + " bit mask is 0");
    return c;
  }
  if (PixelBits == 16 && Mask > 0xFFFF)
    Fail(std::string("its ") + Name + " bit mask " + Hex(Mask, 8) + " has bits beyond the 16 of a pixel");
  c.Shift = std::countr_zero(Mask);
  const uint32_t run = Mask >> c.Shift;
  if ((run & (run + 1)) != 0)
    Fail(std::string("its ") + Name + " bit mask " + Hex(Mask, 8) + " is not one run of adjacent bits");
  c.Bits = std::popcount(run);
  return c;
}

// Everything the pixels need, taken from the headers and checked.
struct TLayout {
  int Width = 0, Height = 0;  // Height as a positive row count
  bool TopDown = false;
  int Bits = 0;
  uint32_t Compression = kBiRgb;
  TPixelFormat Format = TPixelFormat::pf24bit;
  std::vector<uint32_t> Palette;  // 0x00RRGGBB
  TChannel Red, Green, Blue, Alpha;
  bool Scaled = false;  // bit fields no pixel format holds: decoded into 32 bits
  int64_t PixelOffset = 0;
  int64_t Stride = 0, RowBytes = 0;
};

std::vector<uint8_t> ReadRest(TStream& Stream) {
  const int64_t count = std::max<int64_t>(0, Stream.Size() - Stream.Position());
  if (count > kMaxBmpBytes)
    Fail("the stream holds " + Num(count) + " bytes from its position, more than the " + Num(kMaxBmpBytes) +
         " bytes the largest bitmap takes");
  std::vector<uint8_t> bytes(static_cast<size_t>(count));
  // Read directly: a short read is a truncated file (found by the checks), while errors the
  // stream raises itself (a failing disk) reach the caller as they are.
  int64_t got = 0;
  while (got < count) {
    const int64_t n = Stream.Read(bytes.data() + got, count - got);
    if (n <= 0) break;
    got += std::min(n, count - got);
  }
  bytes.resize(static_cast<size_t>(got));
  return bytes;
}

void CheckMasks(TLayout& L, const uint8_t* Masks, bool HasAlpha) {
  L.Red = MakeChannel(U32(Masks), "red", L.Bits, true);
  L.Green = MakeChannel(U32(Masks + 4), "green", L.Bits, true);
  L.Blue = MakeChannel(U32(Masks + 8), "blue", L.Bits, true);
  L.Alpha = MakeChannel(HasAlpha ? U32(Masks + 12) : 0, "alpha", L.Bits, false);
  const uint32_t r = L.Red.Mask, g = L.Green.Mask, b = L.Blue.Mask, a = L.Alpha.Mask;
  if ((r & g) || (r & b) || (g & b) || (a & (r | g | b)))
    Fail("its bit masks overlap: red " + Hex(r, 8) + ", green " + Hex(g, 8) + ", blue " + Hex(b, 8) +
         ", alpha " + Hex(a, 8));
  if (L.Bits == 16 && r == 0xF800 && g == 0x07E0 && b == 0x001F) L.Format = TPixelFormat::pf16bit;
  else if (L.Bits == 16 && r == 0x7C00 && g == 0x03E0 && b == 0x001F) L.Format = TPixelFormat::pf15bit;
  else if (L.Bits == 32 && r == 0xFF0000 && g == 0xFF00 && b == 0xFF) L.Format = TPixelFormat::pf32bit;
  else {
    L.Format = TPixelFormat::pf32bit;
    L.Scaled = true;
  }
}

TLayout ParseHeaders(const std::vector<uint8_t>& B) {
  const int64_t size = static_cast<int64_t>(B.size());
  if (size < kFileHeaderBytes + 4)
    Fail("the data is " + Num(size) + " bytes long, too short for a file header and an info header");
  if (B[0] != 'B' || B[1] != 'M')
    Fail("it begins with the bytes " + Hex(B[0], 2) + " " + Hex(B[1], 2) + " instead of \"BM\"");
  const int64_t offset = U32(&B[10]);
  const int64_t header_bytes = U32(&B[14]);
  if (header_bytes != 12 && header_bytes != 40 && header_bytes != 52 && header_bytes != 56 &&
      header_bytes != 108 && header_bytes != 124)
    Fail("its info header size of " + Num(header_bytes) + " bytes is none of 12, 40, 52, 56, 108 and 124");
  if (size < kFileHeaderBytes + header_bytes)
    Fail("the data is " + Num(size) + " bytes long and ends inside its " + Num(header_bytes) + "-byte info header");

  const uint8_t* h = &B[kFileHeaderBytes];
  const bool core = header_bytes == 12;
  TLayout L;
  int64_t width, height;
  uint32_t colours_used = 0;
  if (core) {
    width = U16(h + 4);
    height = U16(h + 6);
    L.Bits = U16(h + 10);
  } else {
    width = static_cast<int32_t>(U32(h + 4));
    height = static_cast<int32_t>(U32(h + 8));
    L.Bits = U16(h + 14);
    L.Compression = U32(h + 16);
    colours_used = U32(h + 32);
  }

  // Sizes first, in 64 bits (a height of INT_MIN has no 32-bit magnitude), before any allocation.
  const std::string dims = Num(width) + " x " + Num(height);
  if (width < 0) Fail("its width is negative (" + dims + ")");
  L.TopDown = height < 0;
  const int64_t rows = height < 0 ? -height : height;
  if (width == 0 || rows == 0) Fail("it has no pixels (" + dims + ")");
  if (width > TBitmap::kMaxSide || rows > TBitmap::kMaxSide || width * rows > TBitmap::kMaxPixels)
    Fail("its size of " + dims + " pixels is too large: at most " + Num(TBitmap::kMaxSide) +
         " pixels a side and " + Num(TBitmap::kMaxPixels) + " pixels in all");
  L.Width = static_cast<int>(width);
  L.Height = static_cast<int>(rows);

  const int b = L.Bits;
  switch (L.Compression) {
    case kBiRgb:
      if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32)
        Fail("its bit count of " + Num(b) + " is none of 1, 4, 8, 16, 24 and 32");
      break;
    case kBiRle8:
      if (b != 8) Fail("RLE8 compression needs 8 bits a pixel, the header gives " + Num(b));
      break;
    case kBiRle4:
      if (b != 4) Fail("RLE4 compression needs 4 bits a pixel, the header gives " + Num(b));
      break;
    case kBiBitfields:
      if (b != 16 && b != 32) Fail("bit-field compression needs 16 or 32 bits a pixel, the header gives " + Num(b));
      break;
    default:
      Fail("its compression " + Num(L.Compression) +
           " is not supported (supported: 0 none, 1 RLE8, 2 RLE4, 3 bit fields)");
  }
  const bool rle = L.Compression == kBiRle8 || L.Compression == kBiRle4;
  if (rle && L.TopDown) Fail("an RLE-compressed image cannot be top-down (" + dims + ")");

  int64_t headers_end = kFileHeaderBytes + header_bytes;
  if (b == 1) L.Format = TPixelFormat::pf1bit;
  else if (b == 4) L.Format = TPixelFormat::pf4bit;
  else if (b == 8) L.Format = TPixelFormat::pf8bit;
  else if (b == 16) L.Format = TPixelFormat::pf15bit;
  else if (b == 24) L.Format = TPixelFormat::pf24bit;
  else L.Format = TPixelFormat::pf32bit;
  if (L.Compression == kBiBitfields) {
    // A 40-byte header has its three masks after it; the later headers hold them inside.
    if (header_bytes == 40) {
      if (size < headers_end + 12) Fail("the data ends inside the bit masks after the info header");
      CheckMasks(L, &B[headers_end], false);
      headers_end += 12;
    } else {
      CheckMasks(L, h + 40, header_bytes >= 56);
    }
  }

  if (offset < headers_end)
    Fail("its pixel data offset " + Num(offset) + " lies inside the headers, which end at byte " + Num(headers_end));
  if (offset >= size)
    Fail("its pixel data offset " + Num(offset) + " is at or past the end of the " + Num(size) + "-byte data");
  L.PixelOffset = offset;

  if (IsPaletteFormat(b)) {
    const int64_t most = int64_t(1) << b;
    const int64_t entry = core ? 3 : 4;
    const int64_t room = (offset - headers_end) / entry;
    if (colours_used > most)
      Fail("its palette claims " + Num(colours_used) + " colours, more than the " + Num(most) + " that " +
           Num(b) + " bits can index");
    if (colours_used > room)
      Fail("its palette of " + Num(colours_used) + " colours does not fit between the headers (ending at byte " +
           Num(headers_end) + ") and the pixel data at byte " + Num(offset));
    // Without a count the palette is full, unless the pixel data begins sooner.
    const int64_t count = colours_used ? colours_used : std::min(most, room);
    if (count == 0) Fail("its palette is missing: the pixel data begins right after the headers, at byte " + Num(offset));
    for (int64_t i = 0; i < count; ++i) {
      const uint8_t* p = &B[size_t(headers_end + i * entry)];
      L.Palette.push_back(uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0]);
    }
  }

  L.Stride = (width * b + 31) / 32 * 4;
  L.RowBytes = (width * b + 7) / 8;
  if (!rle) {
    // The last row's padding may be missing; its pixels may not.
    const int64_t need = L.Stride * (rows - 1) + L.RowBytes;
    if (need > size - offset)
      Fail("its pixel data is truncated: " + dims + " pixels at " + Num(b) + " bits need " + Num(need) +
           " bytes from byte " + Num(offset) + ", and only " + Num(size - offset) + " follow");
  }
  return L;
}

const uint8_t* FileRow(const TLayout& L, const std::vector<uint8_t>& B, int64_t I) {
  return B.data() + L.PixelOffset + L.Stride * I;
}

int BitmapRow(const TLayout& L, int64_t FileRowIndex) {
  return static_cast<int>(L.TopDown ? FileRowIndex : L.Height - 1 - FileRowIndex);
}

// Only a palette shorter than the bit depth allows can be indexed past its end.
void CheckIndices(const TLayout& L, const std::vector<uint8_t>& B) {
  const size_t colours = L.Palette.size();
  if (!IsPaletteFormat(L.Bits) || colours >= (size_t(1) << L.Bits)) return;
  for (int64_t i = 0; i < L.Height; ++i) {
    const uint8_t* row = FileRow(L, B, i);
    for (int64_t x = 0; x < L.Width; ++x) {
      const uint32_t index = IndexAt(row, x, L.Bits);
      if (index >= colours)
        Fail("pixel (" + Num(x) + ", " + Num(BitmapRow(L, i)) + ") uses palette index " + Num(index) +
             ", but the palette has " + Num(colours) + " colours");
    }
  }
}

void CopyRows(const TLayout& L, const std::vector<uint8_t>& B, TBitmap& Bitmap) {
  for (int64_t i = 0; i < L.Height; ++i) {
    const uint8_t* src = FileRow(L, B, i);
    uint8_t* dst = static_cast<uint8_t*>(Bitmap.ScanLine(BitmapRow(L, i)));
    if (!L.Scaled) {
      std::memcpy(dst, src, static_cast<size_t>(L.RowBytes));
      continue;
    }
    for (int64_t x = 0; x < L.Width; ++x) {
      const uint32_t raw = L.Bits == 16 ? U16(src + 2 * x) : U32(src + 4 * x);
      const uint32_t v = Scale(raw, L.Alpha) << 24 | Scale(raw, L.Red) << 16 | Scale(raw, L.Green) << 8 |
                         Scale(raw, L.Blue);
      std::memcpy(dst + 4 * x, &v, 4);
    }
  }
}

// Walks RLE8 or RLE4 data. Without a bitmap it only checks, so that bad data is found before
// the bitmap changes; with one it writes the indices into rows already cleared to index 0.
void WalkRle(const TLayout& L, const std::vector<uint8_t>& B, TBitmap* Bitmap) {
  const bool four = L.Compression == kBiRle4;
  const int64_t size = static_cast<int64_t>(B.size()), w = L.Width, h = L.Height;
  const size_t colours = L.Palette.size();
  int64_t p = L.PixelOffset, x = 0, y = 0;  // y counts rows from the bottom, as the file does
  auto where = [&] { return "(column " + Num(x) + ", row " + Num(y) + " from the bottom) of the " + Num(w) + " x " +
                            Num(h) + " image"; };
  auto need = [&](int64_t Count) {
    if (size - p < Count)
      Fail("its RLE data ends at byte " + Num(size) + " before its end-of-bitmap code, at " + where());
  };
  auto row_for = [&](int64_t Count) -> uint8_t* {
    if (y >= h || x + Count > w) Fail("its RLE data puts " + Num(Count) + " pixels past the image at " + where());
    return Bitmap ? static_cast<uint8_t*>(Bitmap->ScanLine(static_cast<int>(h - 1 - y))) : nullptr;
  };
  auto put = [&](uint8_t* Row, int64_t X, uint32_t Index) {
    if (Index >= colours)
      Fail("its RLE data uses palette index " + Num(Index) + ", but the palette has " + Num(colours) + " colours");
    if (!Row) return;
    if (!four) Row[X] = uint8_t(Index);
    else if (X & 1) Row[X >> 1] = uint8_t((Row[X >> 1] & 0xF0) | Index);
    else Row[X >> 1] = uint8_t((Row[X >> 1] & 0x0F) | Index << 4);
  };

  for (;;) {
    need(2);
    const int count = B[size_t(p)], code = B[size_t(p + 1)];
    p += 2;
    if (count > 0) {  // a run of one index (RLE4: two, alternating)
      uint8_t* row = row_for(count);
      for (int i = 0; i < count; ++i) put(row, x + i, four ? ((i & 1) ? code & 15 : code >> 4) : code);
      x += count;
    } else if (code == 0) {  // end of line
      x = 0;
      if (++y > h) Fail("its RLE data has an end-of-line past the top row, at " + where());
    } else if (code == 1) {  // end of bitmap
      return;
    } else if (code == 2) {  // delta: move right and up
      need(2);
      x += B[size_t(p)];
      y += B[size_t(p + 1)];
      p += 2;
      if (x > w || y > h) Fail("its RLE delta moves outside the image, to " + where());
    } else {  // absolute run of `code` indices, padded to a 16-bit word
      const int64_t bytes = four ? (code + 1) / 2 : code;
      need((bytes + 1) & ~int64_t(1));
      uint8_t* row = row_for(code);
      for (int i = 0; i < code; ++i) {
        const uint8_t v = B[size_t(p + (four ? i / 2 : i))];
        put(row, x + i, four ? ((i & 1) ? v & 15 : v >> 4) : v);
      }
      p += (bytes + 1) & ~int64_t(1);
      x += code;
    }
  }
}

void Put16(std::vector<uint8_t>& Out, uint32_t V) {
  Out.push_back(uint8_t(V));
  Out.push_back(uint8_t(V >> 8));
}

void Put32(std::vector<uint8_t>& Out, uint32_t V) {
  Put16(Out, V & 0xFFFF);
  Put16(Out, V >> 16);
}

}  // namespace

void ReadBmp(TStream& Stream, TBitmap& Bitmap) {
  const std::vector<uint8_t> bytes = ReadRest(Stream);
  const TLayout layout = ParseHeaders(bytes);
  const bool rle = layout.Compression == kBiRle8 || layout.Compression == kBiRle4;
  if (rle) WalkRle(layout, bytes, nullptr);
  else CheckIndices(layout, bytes);

  // The data is valid; only the allocation can fail now, leaving the bitmap empty in its old format.
  const TPixelFormat old_format = Bitmap.PixelFormat();
  try {
    Bitmap.SetSize(0, 0);
    Bitmap.SetPixelFormat(layout.Format);
    if (!layout.Palette.empty()) Bitmap.SetPalette(layout.Palette);
    Bitmap.SetSize(layout.Width, layout.Height);
  } catch (...) {
    Bitmap.SetSize(0, 0);
    Bitmap.SetPixelFormat(old_format);
    throw;
  }
  if (!rle) {
    CopyRows(layout, bytes, Bitmap);
    return;
  }
  for (int y = 0; y < layout.Height; ++y) std::memset(Bitmap.ScanLine(y), 0, size_t(layout.RowBytes));
  WalkRle(layout, bytes, &Bitmap);
}

void WriteBmp(TStream& Stream, TBitmap& Bitmap) {
  const int w = Bitmap.Width(), h = Bitmap.Height();
  // Refused rather than written: common readers reject a BMP with a zero width or height.
  if (w <= 0 || h <= 0)
    throw EInvalidGraphic("Cannot save an empty bitmap (" + Num(w) + " x " + Num(h) +
                          " pixels) as BMP: the format needs at least one pixel");
  const TPixelFormat format = Bitmap.PixelFormat();
  const int bits = BitsPerPixel(format);
  const bool fields = format == TPixelFormat::pf16bit;
  const int64_t stride = RowBytes(w, bits), row_bytes = (int64_t(w) * bits + 7) / 8;

  // Indices past a short palette show black; the file's palette gets those entries, so it stays readable.
  std::vector<uint32_t> palette = Bitmap.Palette();
  if (IsPaletteFormat(bits)) {
    uint32_t highest = 0;
    for (int y = 0; y < h; ++y) {
      const uint8_t* row = static_cast<const uint8_t*>(Bitmap.ScanLine(y));
      for (int x = 0; x < w; ++x) highest = std::max(highest, IndexAt(row, x, bits));
    }
    if (highest >= palette.size()) palette.resize(highest + 1, 0);
  }

  // The bitmap's caps keep these within 32 bits (at most about 1 GiB of pixels).
  const uint32_t pixel_offset = uint32_t(kFileHeaderBytes + 40 + (fields ? 12 : 0) + 4 * palette.size());
  const uint32_t image_bytes = uint32_t(stride * h);
  std::vector<uint8_t> head;
  head.push_back('B');
  head.push_back('M');
  Put32(head, pixel_offset + image_bytes);
  Put32(head, 0);
  Put32(head, pixel_offset);
  Put32(head, 40);
  Put32(head, uint32_t(w));
  Put32(head, uint32_t(h));  // positive: bottom-up rows
  Put16(head, 1);
  Put16(head, uint32_t(bits));
  Put32(head, fields ? kBiBitfields : kBiRgb);
  Put32(head, image_bytes);
  Put32(head, 0);
  Put32(head, 0);
  Put32(head, uint32_t(palette.size()));
  Put32(head, 0);
  if (fields) {
    Put32(head, 0xF800);
    Put32(head, 0x07E0);
    Put32(head, 0x001F);
  }
  for (uint32_t c : palette) Put32(head, c & 0xFFFFFF);
  Stream.WriteBuffer(head.data(), int64_t(head.size()));

  std::vector<uint8_t> row(static_cast<size_t>(stride), 0);
  const int tail_bits = int(int64_t(w) * bits % 8);
  for (int i = 0; i < h; ++i) {
    std::memcpy(row.data(), Bitmap.ScanLine(h - 1 - i), static_cast<size_t>(row_bytes));
    // A store leaves the bits past a 1- or 4-bit row's last pixel undefined; they go out as 0.
    if (tail_bits) row[size_t(row_bytes - 1)] &= uint8_t(0xFF << (8 - tail_bits));
    Stream.WriteBuffer(row.data(), stride);
  }
}

}  // namespace halvik
