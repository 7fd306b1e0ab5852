// Placeholder until the filters land.
#include "filters/ABitmapFilters32.h"
namespace halvik {
bool ClipStretchRects(double&, double&, double&, double&, double&, double&, int32_t&, int32_t&,
                      int32_t, int32_t, int32_t, int32_t) { return false; }
void StretchBilinear(int32_t, int32_t, TABitmap&, double, double, double, double, double, double, TABitmap&) {}
void BoxBlur(TABitmap&, int32_t) {}
}  // namespace halvik
