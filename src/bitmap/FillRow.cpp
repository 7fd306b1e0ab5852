#include "bitmap/FillRow.h"

#include <cstring>

namespace halvik {

void FillRow(uint32_t* Row, int Count, uint32_t Color) {
  if (Count <= 0) return;
  // A colour whose four bytes are equal (black, as every tick fills) is a byte fill: the C
  // library's memset is the fastest store loop this processor has.
  if (Color == (Color & 255) * 0x01010101u) {
    std::memset(Row, static_cast<int>(Color & 255), 4 * static_cast<size_t>(Count));
    return;
  }
  for (int x = 0; x < Count; ++x) Row[x] = Color;
}

}  // namespace halvik
