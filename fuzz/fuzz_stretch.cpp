// StretchBilinear with fuzzer-chosen bitmaps and all ten arguments. Input: source width and
// height, destination width and height, fill mode (bytes); DstWidth, DstHeight (ints); SrcX,
// SrcY, SrcWidth, SrcHeight, DstX, DstY (doubles); then pixel bytes.
// Checks: the source never changes; no destination pixel outside the rectangle that
// ClipStretchRects gives changes (nothing at all for a size of 0 or less, or a refusal); the
// clipped rectangle lies inside the destination; every kernel set writes Scalar's bytes.
#include <cmath>

#include "FuzzSupport.h"
#include "filters/ABitmapFilters32.h"
#include "filters/FilterKernels.h"

using namespace halvik;
using namespace halvik::fuzz;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TFuzzReader in(Data, Size);
  TABitmap src, dst;
  Shape(in, src, 40);
  Shape(in, dst, 40);
  const uint8_t mode = in.Byte();
  const int32_t dw = in.Int(), dh = in.Int();
  const double sx = in.Double(), sy = in.Double(), sw = in.Double(), sh = in.Double();
  const double dx = in.Double(), dy = in.Double();
  size_t used = 0;
  Paint(src, mode, in.Rest(), in.Left(), used);
  Paint(dst, uint8_t(mode / 3), in.Rest(), in.Left(), used);
  const std::vector<uint32_t> src_before = Snapshot(src), dst_before = Snapshot(dst);

  // The pixels the call may write: the clipped destination rectangle, by our own clipping.
  int64_t left = 0, top = 0, right = 0, bottom = 0;
  if (dw > 0 && dh > 0) {
    double csx = sx, csy = sy, csw = sw, csh = sh, cdx = dx, cdy = dy;
    int32_t cdw = dw, cdh = dh;
    if (ClipStretchRects(csx, csy, csw, csh, cdx, cdy, cdw, cdh, src.Width(), src.Height(), dst.Width(),
                         dst.Height())) {
      FUZZ_CHECK(cdx >= 0 && cdy >= 0 && cdw > 0 && cdh > 0, "clipped destination starts inside");
      left = int64_t(std::trunc(cdx));
      top = int64_t(std::trunc(cdy));
      right = left + cdw;
      bottom = top + cdh;
      FUZZ_CHECK(right <= dst.Width() && bottom <= dst.Height(), "clipped destination ends inside");
    }
  }

  std::vector<uint32_t> scalar;
  for (TKernelSet set : AvailableKernels()) {
    FUZZ_CHECK(SetActiveKernels(set), "an available kernel set can be chosen");
    TABitmap out;
    out.Assign(&dst);
    StretchBilinear(dw, dh, src, sx, sy, sw, sh, dx, dy, out);
    FUZZ_CHECK(out.Width() == dst.Width() && out.Height() == dst.Height(), "destination keeps its size");
    FUZZ_CHECK(Snapshot(src) == src_before, "source unchanged");
    const std::vector<uint32_t> got = Snapshot(out);
    for (int y = 0; y < out.Height(); ++y)
      for (int x = 0; x < out.Width(); ++x) {
        const size_t i = size_t(y) * size_t(out.Width()) + size_t(x);
        if (x >= left && x < right && y >= top && y < bottom) continue;
        FUZZ_CHECK(got[i] == dst_before[i], "no pixel outside the clipped destination changes");
      }
    if (set == TKernelSet::Scalar) scalar = got;
    else FUZZ_CHECK(got == scalar, "kernel set agrees with Scalar");
  }
  SetActiveKernels(TKernelSet::Scalar);
  return 0;
}
