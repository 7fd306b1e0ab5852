#include "bitmap/FillRow.h"

namespace halvik {

void FillRow(uint32_t* Row, int Count, uint32_t Color) {
  for (int x = 0; x < Count; ++x) Row[x] = Color;
}

}  // namespace halvik
