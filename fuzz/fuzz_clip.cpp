// ClipStretchRects with any values. Input: SrcX, SrcY, SrcWidth, SrcHeight, DstX, DstY
// (doubles); DstWidth, DstHeight, SrcBitmapWidth, SrcBitmapHeight, DstBitmapWidth,
// DstBitmapHeight (ints).
// Checks: a start outside its bitmap (or not a number) is refused; an answer of true leaves a
// destination of whole pixels inside the destination bitmap and a source that starts inside
// the source bitmap and ends at its edge at the latest; rectangles already inside stay as
// they are.
#include <cmath>
#include <cstring>

#include "FuzzSupport.h"
#include "filters/ABitmapFilters32.h"

using namespace halvik;
using namespace halvik::fuzz;

namespace {

// A value whose sums with others like it are exact in double: few fraction bits, not huge.
bool Exact(double V) { return std::isfinite(V) && std::fabs(V) < 1099511627776.0 && V * 256 == std::floor(V * 256); }

bool Same(double A, double B) { return std::memcmp(&A, &B, sizeof A) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TFuzzReader in(Data, Size);
  const double sx = in.Double(), sy = in.Double(), sw = in.Double(), sh = in.Double();
  const double dx = in.Double(), dy = in.Double();
  const int32_t dw = in.Int(), dh = in.Int();
  const int32_t sbw = in.Int(), sbh = in.Int(), dbw = in.Int(), dbh = in.Int();

  double csx = sx, csy = sy, csw = sw, csh = sh, cdx = dx, cdy = dy;
  int32_t cdw = dw, cdh = dh;
  const bool ok = ClipStretchRects(csx, csy, csw, csh, cdx, cdy, cdw, cdh, sbw, sbh, dbw, dbh);

  // The first tests look at the values as passed; a sum's sign survives rounding.
  const bool starts_inside = sx >= 0 && sx <= sbw && sy >= 0 && sy <= sbh && dx < dbw && dy < dbh &&
                             dw + dx > 0 && dh + dy > 0;
  if (!starts_inside) FUZZ_CHECK(!ok, "a start outside its bitmap is refused");
  if (dw == 0 || dh == 0) FUZZ_CHECK(!ok, "an empty destination is refused");
  if (ok) {
    FUZZ_CHECK(cdx >= 0 && cdy >= 0 && cdw > 0 && cdh > 0, "destination starts inside, not empty");
    FUZZ_CHECK(int64_t(std::trunc(cdx)) + cdw <= dbw && int64_t(std::trunc(cdy)) + cdh <= dbh,
               "destination pixels end inside");
    FUZZ_CHECK(csx >= 0 && csx <= sbw && csy >= 0 && csy <= sbh, "source starts inside");
    const long double slack_x = 1e-9L * (1 + std::fabs(double(sbw))), slack_y = 1e-9L * (1 + std::fabs(double(sbh)));
    FUZZ_CHECK(!(static_cast<long double>(csx) + csw > sbw + slack_x), "source ends at the right edge at the latest");
    FUZZ_CHECK(!(static_cast<long double>(csy) + csh > sbh + slack_y), "source ends at the bottom at the latest");
  }
  const bool inside = Exact(sx) && Exact(sy) && Exact(sw) && Exact(sh) && Exact(dx) && Exact(dy) && dx >= 0 &&
                      dy >= 0 && dw > 0 && dh > 0 && dx + dw <= dbw && dy + dh <= dbh && sx >= 0 && sy >= 0 &&
                      sw >= 0 && sh >= 0 && sx + sw <= sbw && sy + sh <= sbh;
  if (inside) {
    FUZZ_CHECK(ok, "rectangles inside their bitmaps are accepted");
    FUZZ_CHECK(Same(csx, sx) && Same(csy, sy) && Same(csw, sw) && Same(csh, sh) && Same(cdx, dx) && Same(cdy, dy) &&
                   cdw == dw && cdh == dh,
               "rectangles inside their bitmaps are not changed");
  }
  return 0;
}
