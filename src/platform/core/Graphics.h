// Graphics: the abstract graphic, canvases and the platform bitmap.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/DeviceContext.h"
#include "platform/core/Geometry.h"
#include "platform/core/PixelStore.h"
#include "platform/core/Streams.h"

namespace halvik {

enum class TPixelFormat { pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

int BitsPerPixel(TPixelFormat Format);

// A picture that can be loaded from and saved to streams and files.
class TGraphic : public TInterfacedPersistent {
 public:
  std::string ClassName() const override { return "TGraphic"; }
  virtual int Width() const = 0;
  virtual int Height() const = 0;
  virtual void SetWidth(int Value) = 0;
  virtual void SetHeight(int Value) = 0;
  // Opens the file and reads it through LoadFromStream; raises EFOpenError when it cannot.
  virtual void LoadFromFile(const std::string& FileName);
  virtual void SaveToFile(const std::string& FileName);
  virtual void LoadFromStream(TStream& Stream) = 0;
  virtual void SaveToStream(TStream& Stream) = 0;
};

struct TBrush {
  TColor Color = clWhite;
};

// A drawing surface. Handle is taken afresh for each use and not kept.
class TCanvas : public TPersistent {
 public:
  std::string ClassName() const override { return "TCanvas"; }
  TBrush Brush;
  // The device context; raises EOutOfResources (or EInvalidGraphicOperation) when there is none.
  virtual HDC Handle() = 0;
  // Fills Rect, clipped to the surface, with Brush.Color.
  void FillRect(const TRect& Rect);
};

// The platform bitmap: a pixel store of one format, rows top-down, with a canvas.
class TBitmap : public TGraphic {
 public:
  // Sizes beyond these raise EOutOfResources before anything is allocated.
  static constexpr int kMaxSide = 32768;
  static constexpr int64_t kMaxPixels = int64_t(1) << 28;

  TBitmap();
  ~TBitmap() override;
  TBitmap(const TBitmap&) = delete;
  TBitmap& operator=(const TBitmap&) = delete;
  std::string ClassName() const override { return "TBitmap"; }

  // From a TBitmap: an independent copy of its size, format, palette and pixels.
  // From null: this bitmap becomes 0 by 0. Otherwise: Source->AssignTo, else EConvertError.
  void Assign(TPersistent* Source) override;

  int Width() const override { return width_; }
  int Height() const override { return height_; }
  // Setting the current value changes nothing; another value keeps the pixels inside both
  // sizes and makes added ones white. Negative values and sizes past the limits raise
  // EOutOfResources and leave the bitmap as it was.
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  void SetSize(int NewWidth, int NewHeight);

  TPixelFormat PixelFormat() const { return format_; }
  // Converts the pixels to another format, keeping each pixel's colour (to a palette format:
  // the nearest palette colour). The same format changes nothing.
  void SetPixelFormat(TPixelFormat Format);

  // Colours of a palette format, as 0x00RRGGBB; empty for the other formats.
  const std::vector<uint32_t>& Palette() const { return palette_; }
  // Replaces the palette of a palette format (at most 2^bits entries; pixels keep their indices).
  void SetPalette(const std::vector<uint32_t>& Colors);

  // The address of row Row's leftmost pixel, top row 0; pending drawing is complete first.
  // Raises EInvalidGraphicOperation outside 0 .. Height-1.
  void* ScanLine(int Row);

  TCanvas& Canvas();

  void LoadFromStream(TStream& Stream) override;
  void SaveToStream(TStream& Stream) override;

  // One pixel's colour as 0x00RRGGBB (the fourth byte too for 32 bits); no range check.
  uint32_t PixelColor(int X, int Y) const;

 protected:
  void AssignTo(TPersistent* Dest) override;

 private:
  class TBitmapCanvas;
  void Reshape(int NewWidth, int NewHeight, TPixelFormat NewFormat);
  void SetPixelRaw(int X, int Y, uint32_t Value);
  uint32_t PixelRaw(int X, int Y) const;
  uint32_t EncodeColor(uint32_t Rgb) const;
  uint32_t DecodeColor(uint32_t Raw) const;

  int width_ = 0;
  int height_ = 0;
  TPixelFormat format_ = TPixelFormat::pf24bit;
  std::vector<uint32_t> palette_;
  std::unique_ptr<TPixelStore> store_;
  std::unique_ptr<TBitmapCanvas> canvas_;
  uint32_t no_pixels_ = 0;  // what ScanLine points at while a row has no pixels
};

}  // namespace halvik
