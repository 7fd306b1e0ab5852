// Stores one 32-bit word into a run of pixels: the inner loop of TABitmap::Fill.
#pragma once

#include <cstdint>

namespace halvik {

// Writes Color into Count consecutive words from Row on (nothing for Count <= 0).
void FillRow(uint32_t* Row, int Count, uint32_t Color);

}  // namespace halvik
