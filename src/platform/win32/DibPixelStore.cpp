#include "platform/win32/DibPixelStore.h"

#include <string>

#include "platform/core/Exceptions.h"
#include "platform/win32/Win32Api.h"

namespace halvik::win32 {
namespace {

class TDibPixelStore : public TPixelStore {
 public:
  TDibPixelStore(int Width, int Height, TDcRegistry Registry) : stride_(RowBytes(Width, 32)), registry_(std::move(Registry)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = -Height;  // negative: rows top-down, as ScanLine counts them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc_ = CreateCompatibleDC(nullptr);
    if (dc_ == nullptr) Fail(Width, Height, "no memory device context");
    void* bits = nullptr;
    section_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (section_ == nullptr || bits == nullptr) {
      const std::string why = LastErrorText();
      DeleteDC(dc_);
      Fail(Width, Height, why);
    }
    bits_ = static_cast<uint8_t*>(bits);
    old_ = SelectObject(dc_, section_);
    if (registry_) registry_(Opaque(dc_), true);
  }
  ~TDibPixelStore() override {
    if (registry_) registry_(Opaque(dc_), false);
    SelectObject(dc_, old_);
    DeleteObject(section_);
    DeleteDC(dc_);
  }
  uint8_t* Bits() override { return bits_; }
  ptrdiff_t Stride() const override { return stride_; }
  halvik::HDC Handle() override { return Opaque(dc_); }
  // GDI batches drawing per thread; the section's memory is current only after a flush.
  void Flush() override { GdiFlush(); }

 private:
  [[noreturn]] static void Fail(int W, int H, const std::string& Why) {
    throw EOutOfResources("Cannot create a 32-bit bitmap of " + std::to_string(W) + " x " + std::to_string(H) +
                          " pixels: " + Why);
  }
  ptrdiff_t stride_;
  TDcRegistry registry_;
  ::HDC dc_ = nullptr;
  HBITMAP section_ = nullptr;
  HGDIOBJ old_ = nullptr;
  uint8_t* bits_ = nullptr;
};

}  // namespace

std::unique_ptr<TPixelStore> CreateDibPixelStore(int Width, int Height, TDcRegistry Registry) {
  return std::make_unique<TDibPixelStore>(Width, Height, std::move(Registry));
}

}  // namespace halvik::win32
