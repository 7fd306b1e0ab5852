#include "platform/core/PixelStore.h"

#include <new>
#include <string>

#include "platform/core/Exceptions.h"

namespace halvik {
namespace {

class TMemoryPixelStore : public TPixelStore {
 public:
  TMemoryPixelStore(int Width, int Height, int BitsPerPixel)
      : stride_(RowBytes(Width, BitsPerPixel)),
        bits_(new (std::nothrow) uint8_t[static_cast<size_t>(stride_) * static_cast<size_t>(Height)]),
        dc_(TPixelRect{bits_.get(), stride_, Width, Height}) {
    if (!bits_)
      throw EOutOfResources("Out of memory for a bitmap of " + std::to_string(Width) + " x " +
                            std::to_string(Height) + " pixels");
    is32_ = BitsPerPixel == 32;
  }
  uint8_t* Bits() override { return bits_.get(); }
  ptrdiff_t Stride() const override { return stride_; }
  HDC Handle() override { return is32_ ? TDeviceContext::ToHandle(&dc_) : nullptr; }

 private:
  ptrdiff_t stride_;
  std::unique_ptr<uint8_t[]> bits_;
  TMemoryDC dc_;
  bool is32_ = false;
};

}  // namespace

std::unique_ptr<TPixelStore> CreateMemoryPixelStore(int Width, int Height, int BitsPerPixel) {
  return std::make_unique<TMemoryPixelStore>(Width, Height, BitsPerPixel);
}

}  // namespace halvik
