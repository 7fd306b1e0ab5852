// A bitmap's pixels as a 32-bit top-down DIB section selected into its own memory DC: the
// filters reach the section's memory directly, and the DC is a real one for BitBlt.
#pragma once

#include <functional>
#include <memory>

#include "platform/core/PixelStore.h"

namespace halvik::win32 {

// Called with a store's DC when it comes into being (true) and just before it goes (false),
// so the back end knows which handles are its own.
using TDcRegistry = std::function<void(halvik::HDC Dc, bool Alive)>;

// Width and Height are both > 0 (the bitmap has checked its limits). Raises EOutOfResources
// when Windows cannot make the section or the DC.
std::unique_ptr<TPixelStore> CreateDibPixelStore(int Width, int Height, TDcRegistry Registry);

}  // namespace halvik::win32
