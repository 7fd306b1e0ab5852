// A bitmap's pixel memory, as a back end provides it (plain memory, or a DIB section on Win32).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/core/DeviceContext.h"

namespace halvik {

class TPixelStore {
 public:
  virtual ~TPixelStore() = default;
  // The first byte of the top row; rows follow Stride bytes apart and stay put for the store's life.
  virtual uint8_t* Bits() = 0;
  virtual ptrdiff_t Stride() const = 0;
  // A device context holding these pixels, usable with BitBlt; null when the store has none
  // (stores of other than 32 bits per pixel). Valid for the store's life.
  virtual HDC Handle() = 0;
  // Completes drawing into the store still pending in the platform.
  virtual void Flush() {}
};

// Bytes a row of Width pixels at BitsPerPixel takes, rounded up to whole 32-bit words.
inline ptrdiff_t RowBytes(int Width, int BitsPerPixel) {
  return static_cast<ptrdiff_t>((static_cast<int64_t>(Width) * BitsPerPixel + 31) / 32 * 4);
}

// A store in ordinary memory; the built-in one and the one headless and X11 use.
// Raises EOutOfResources when the memory cannot be had.
std::unique_ptr<TPixelStore> CreateMemoryPixelStore(int Width, int Height, int BitsPerPixel);

}  // namespace halvik
