#include "platform/core/Graphics.h"

#include <algorithm>
#include <cstring>

#include "platform/core/Backend.h"
#include "platform/core/BmpCodec.h"
#include "platform/core/Exceptions.h"

namespace halvik {

int BitsPerPixel(TPixelFormat Format) {
  switch (Format) {
    case TPixelFormat::pf1bit: return 1;
    case TPixelFormat::pf4bit: return 4;
    case TPixelFormat::pf8bit: return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return 16;
    case TPixelFormat::pf24bit: return 24;
    case TPixelFormat::pf32bit: return 32;
  }
  return 32;
}

namespace {

bool IsPaletted(TPixelFormat F) {
  return F == TPixelFormat::pf1bit || F == TPixelFormat::pf4bit || F == TPixelFormat::pf8bit;
}

// The palette a bitmap gets when it turns into a palette format.
std::vector<uint32_t> DefaultPalette(TPixelFormat F) {
  if (F == TPixelFormat::pf1bit) return {0x000000, 0xFFFFFF};
  if (F == TPixelFormat::pf4bit)
    return {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
            0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  std::vector<uint32_t> p;  // 3-3-2 colour cube
  for (uint32_t i = 0; i < 256; ++i) {
    const uint32_t r = (i >> 5) * 255 / 7, g = ((i >> 2) & 7) * 255 / 7, b = (i & 3) * 255 / 3;
    p.push_back(r << 16 | g << 8 | b);
  }
  return p;
}

uint32_t Nearest(const std::vector<uint32_t>& Palette, uint32_t Rgb) {
  uint32_t best = 0;
  int64_t best_d = INT64_MAX;
  for (size_t i = 0; i < Palette.size(); ++i) {
    const int dr = int(Palette[i] >> 16 & 255) - int(Rgb >> 16 & 255);
    const int dg = int(Palette[i] >> 8 & 255) - int(Rgb >> 8 & 255);
    const int db = int(Palette[i] & 255) - int(Rgb & 255);
    const int64_t d = int64_t(dr) * dr + int64_t(dg) * dg + int64_t(db) * db;
    if (d < best_d) { best_d = d; best = uint32_t(i); }
  }
  return best;
}

void CheckSize(int W, int H) {
  if (W < 0 || H < 0)
    throw EOutOfResources("Invalid bitmap size " + std::to_string(W) + " x " + std::to_string(H) +
                          ": sizes are never negative");
  if (W > TBitmap::kMaxSide || H > TBitmap::kMaxSide || int64_t(W) * H > TBitmap::kMaxPixels)
    throw EOutOfResources("Bitmap of " + std::to_string(W) + " x " + std::to_string(H) +
                          " pixels is too large: at most " + std::to_string(TBitmap::kMaxSide) +
                          " pixels a side and " + std::to_string(TBitmap::kMaxPixels) + " pixels in all");
}

}  // namespace

// ---- TGraphic

void TGraphic::LoadFromFile(const std::string& FileName) {
  TFileStream stream(FileName, TFileMode::fmOpenRead);
  LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& FileName) {
  TFileStream stream(FileName, TFileMode::fmCreate);
  SaveToStream(stream);
}

// ---- TCanvas

void TCanvas::FillRect(const TRect& Rect) { Platform().FillRect(Handle(), Rect, Brush.Color); }

class TBitmap::TBitmapCanvas : public TCanvas {
 public:
  explicit TBitmapCanvas(TBitmap& Owner) : owner_(Owner) {}
  HDC Handle() override {
    TBitmap& b = owner_;
    if (!b.store_) {
      // A bitmap without pixels still has a context, so that a copy of size 0 works.
      if (!placeholder_) placeholder_ = Platform().CreatePixelStore(1, 1, 32);
      return placeholder_->Handle();
    }
    HDC dc = b.store_->Handle();
    if (dc == nullptr)
      throw EInvalidGraphicOperation("A bitmap canvas needs 32 bits per pixel; this bitmap has " +
                                     std::to_string(BitsPerPixel(b.format_)));
    return dc;
  }

 private:
  TBitmap& owner_;
  std::unique_ptr<TPixelStore> placeholder_;
};

// ---- TBitmap

TBitmap::TBitmap() = default;
TBitmap::~TBitmap() = default;

void TBitmap::Assign(TPersistent* Source) {
  if (Source == this) return;
  if (Source == nullptr) {
    Reshape(0, 0, format_);
    return;
  }
  auto* src = dynamic_cast<TBitmap*>(Source);
  if (src == nullptr) {
    TPersistent::Assign(Source);
    return;
  }
  std::unique_ptr<TPixelStore> store;
  if (src->store_) {
    store = Platform().CreatePixelStore(src->width_, src->height_, BitsPerPixel(src->format_));
    src->store_->Flush();
    const size_t bytes = size_t(RowBytes(src->width_, BitsPerPixel(src->format_)));
    for (int y = 0; y < src->height_; ++y)
      std::memcpy(store->Bits() + store->Stride() * y, src->store_->Bits() + src->store_->Stride() * y, bytes);
  }
  canvas_.reset();
  store_ = std::move(store);
  width_ = src->width_;
  height_ = src->height_;
  format_ = src->format_;
  palette_ = src->palette_;
}

void TBitmap::AssignTo(TPersistent* Dest) { TPersistent::AssignTo(Dest); }

void TBitmap::SetWidth(int Value) {
  if (Value != width_) SetSize(Value, height_);
}

void TBitmap::SetHeight(int Value) {
  if (Value != height_) SetSize(width_, Value);
}

void TBitmap::SetSize(int NewWidth, int NewHeight) {
  if (NewWidth == width_ && NewHeight == height_) return;
  CheckSize(NewWidth, NewHeight);
  Reshape(NewWidth, NewHeight, format_);
}

void TBitmap::SetPixelFormat(TPixelFormat Format) {
  if (Format == format_) return;
  Reshape(width_, height_, Format);
}

void TBitmap::SetPalette(const std::vector<uint32_t>& Colors) {
  if (!IsPaletted(format_)) throw EInvalidGraphicOperation("Only a bitmap of 1, 4 or 8 bits has a palette");
  if (Colors.empty() || Colors.size() > (size_t(1) << BitsPerPixel(format_)))
    throw EInvalidGraphicOperation("A palette of " + std::to_string(Colors.size()) +
                                   " colours does not fit a bitmap of " +
                                   std::to_string(BitsPerPixel(format_)) + " bits");
  palette_ = Colors;
  for (auto& c : palette_) c &= 0xFFFFFF;
}

void* TBitmap::ScanLine(int Row) {
  if (Row < 0 || Row >= height_)
    throw EInvalidGraphicOperation("Scan line index " + std::to_string(Row) + " out of range 0.." +
                                   std::to_string(height_ - 1));
  if (!store_) return &no_pixels_;
  store_->Flush();
  return store_->Bits() + store_->Stride() * Row;
}

TCanvas& TBitmap::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TBitmapCanvas>(*this);
  return *canvas_;
}

void TBitmap::LoadFromStream(TStream& Stream) { ReadBmp(Stream, *this); }
void TBitmap::SaveToStream(TStream& Stream) { WriteBmp(Stream, *this); }

uint32_t TBitmap::PixelRaw(int X, int Y) const {
  const uint8_t* row = store_->Bits() + store_->Stride() * Y;
  switch (format_) {
    case TPixelFormat::pf1bit: return (row[X >> 3] >> (7 - (X & 7))) & 1;
    case TPixelFormat::pf4bit: return (row[X >> 1] >> ((X & 1) ? 0 : 4)) & 15;
    case TPixelFormat::pf8bit: return row[X];
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: return uint32_t(row[2 * X]) | uint32_t(row[2 * X + 1]) << 8;
    case TPixelFormat::pf24bit:
      return uint32_t(row[3 * X]) | uint32_t(row[3 * X + 1]) << 8 | uint32_t(row[3 * X + 2]) << 16;
    case TPixelFormat::pf32bit: {
      uint32_t v;
      std::memcpy(&v, row + 4 * X, 4);
      return v;
    }
  }
  return 0;
}

void TBitmap::SetPixelRaw(int X, int Y, uint32_t V) {
  uint8_t* row = store_->Bits() + store_->Stride() * Y;
  switch (format_) {
    case TPixelFormat::pf1bit: {
      const uint8_t bit = uint8_t(0x80 >> (X & 7));
      row[X >> 3] = uint8_t((row[X >> 3] & ~bit) | ((V & 1) ? bit : 0));
      break;
    }
    case TPixelFormat::pf4bit: {
      const int shift = (X & 1) ? 0 : 4;
      row[X >> 1] = uint8_t((row[X >> 1] & ~(15 << shift)) | ((V & 15) << shift));
      break;
    }
    case TPixelFormat::pf8bit: row[X] = uint8_t(V); break;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit: row[2 * X] = uint8_t(V); row[2 * X + 1] = uint8_t(V >> 8); break;
    case TPixelFormat::pf24bit:
      row[3 * X] = uint8_t(V); row[3 * X + 1] = uint8_t(V >> 8); row[3 * X + 2] = uint8_t(V >> 16);
      break;
    case TPixelFormat::pf32bit: std::memcpy(row + 4 * X, &V, 4); break;
  }
}

uint32_t TBitmap::DecodeColor(uint32_t Raw) const {
  auto expand5 = [](uint32_t v) { return (v << 3) | (v >> 2); };
  auto expand6 = [](uint32_t v) { return (v << 2) | (v >> 4); };
  switch (format_) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: return Raw < palette_.size() ? palette_[Raw] : 0;
    case TPixelFormat::pf15bit:
      return expand5(Raw >> 10 & 31) << 16 | expand5(Raw >> 5 & 31) << 8 | expand5(Raw & 31);
    case TPixelFormat::pf16bit:
      return expand5(Raw >> 11 & 31) << 16 | expand6(Raw >> 5 & 63) << 8 | expand5(Raw & 31);
    case TPixelFormat::pf24bit: return Raw & 0xFFFFFF;
    case TPixelFormat::pf32bit: return Raw;
  }
  return 0;
}

uint32_t TBitmap::EncodeColor(uint32_t Rgb) const {
  const uint32_t r = Rgb >> 16 & 255, g = Rgb >> 8 & 255, b = Rgb & 255;
  switch (format_) {
    case TPixelFormat::pf1bit:
    case TPixelFormat::pf4bit:
    case TPixelFormat::pf8bit: return Nearest(palette_, Rgb & 0xFFFFFF);
    case TPixelFormat::pf15bit: return (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3);
    case TPixelFormat::pf16bit: return (r >> 3) << 11 | (g >> 2) << 5 | (b >> 3);
    case TPixelFormat::pf24bit: return Rgb & 0xFFFFFF;
    case TPixelFormat::pf32bit: return Rgb & 0xFFFFFF;  // a converted pixel's fourth byte is 0
  }
  return 0;
}

uint32_t TBitmap::PixelColor(int X, int Y) const { return DecodeColor(PixelRaw(X, Y)); }

void TBitmap::Reshape(int NewWidth, int NewHeight, TPixelFormat NewFormat) {
  const int bpp = BitsPerPixel(NewFormat);
  std::unique_ptr<TPixelStore> store;
  if (NewWidth > 0 && NewHeight > 0) store = Platform().CreatePixelStore(NewWidth, NewHeight, bpp);

  // Decode through a bitmap that describes the old store, encode through this one.
  TBitmap old;
  old.width_ = width_;
  old.height_ = height_;
  old.format_ = format_;
  old.palette_ = palette_;
  old.store_ = std::move(store_);
  if (old.store_) old.store_->Flush();

  canvas_.reset();
  store_ = std::move(store);
  width_ = NewWidth;
  height_ = NewHeight;
  if (NewFormat != format_) palette_ = IsPaletted(NewFormat) ? DefaultPalette(NewFormat) : std::vector<uint32_t>{};
  format_ = NewFormat;
  if (!store_) return;

  const int keep_w = old.store_ ? std::min(old.width_, width_) : 0;
  const int keep_h = old.store_ ? std::min(old.height_, height_) : 0;
  const uint32_t white = EncodeColor(0xFFFFFF);
  const bool same = old.format_ == format_;
  for (int y = 0; y < height_; ++y) {
    int x = 0;
    if (y < keep_h) {
      if (same && bpp >= 8) {
        std::memcpy(store_->Bits() + store_->Stride() * y, old.store_->Bits() + old.store_->Stride() * y,
                    size_t(keep_w) * size_t(bpp / 8));
        x = keep_w;
      } else {
        for (; x < keep_w; ++x)
          SetPixelRaw(x, y, same ? old.PixelRaw(x, y) : EncodeColor(old.PixelColor(x, y)));
      }
    }
    if (bpp == 32) {
      uint32_t* row = reinterpret_cast<uint32_t*>(store_->Bits() + store_->Stride() * y);
      std::fill(row + x, row + width_, white);
    } else {
      for (; x < width_; ++x) SetPixelRaw(x, y, white);
    }
  }
}

}  // namespace halvik
