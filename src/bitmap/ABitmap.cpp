#include "bitmap/ABitmap.h"

#include "bitmap/FillRow.h"

namespace halvik {

TABitmap::TABitmap() { SetPixelFormat(TPixelFormat::pf32bit); }

TABitmap::~TABitmap() = default;

void TABitmap::Assign(TPersistent* Source) {
  TBitmap::Assign(Source);
  ForcePixelFormat();
}

void TABitmap::LoadFromFile(const std::string& FileName) {
  TBitmap::LoadFromFile(FileName);
  ForcePixelFormat();
}

void TABitmap::LoadFromStream(TStream& Stream) {
  TBitmap::LoadFromStream(Stream);
  ForcePixelFormat();
}

void TABitmap::ForcePixelFormat() { SetPixelFormat(TPixelFormat::pf32bit); }

bool TABitmap::IsValid() const { return Width() > 0; }

void TABitmap::Fill(uint8_t Blue, uint8_t Green, uint8_t Red) {
  if (!IsValid()) return;
  const uint32_t color = uint32_t(Blue) | uint32_t(Green) << 8 | uint32_t(Red) << 16;
  const int w = Width(), h = Height();
  for (int r = 0; r < h; ++r) FillRow(static_cast<uint32_t*>(ScanLine(r)), w, color);
}

}  // namespace halvik
