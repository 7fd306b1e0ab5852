// BoxBlur with any size and radius. Input: shape (square up to 40, or a strip up to 600 long),
// width and height, fill mode (bytes); Radius (int); then pixel bytes.
// Checks: the size stays; for Radius 0 or more the bytes are those of the raster-order
// blur worked out here directly (16-bit sums that wrap, the window cut at the edges); every
// kernel set writes Scalar's bytes, for any radius.
#include <algorithm>

#include "FuzzSupport.h"
#include "filters/ABitmapFilters32.h"
#include "filters/FilterKernels.h"

using namespace halvik;
using namespace halvik::fuzz;

namespace {

// The blur as its definition reads, on a copy of the pixels. The window is cut to the
// bitmap first, which visits the same pixels in the same order.
std::vector<uint32_t> Reference(std::vector<uint32_t> P, int W, int H, int32_t Radius) {
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      uint16_t sum[4] = {0, 0, 0, 0};
      int count = 0;
      const int r0 = int(std::max<int64_t>(0, int64_t(y) - Radius)), r1 = int(std::min<int64_t>(H - 1, int64_t(y) + Radius));
      const int c0 = int(std::max<int64_t>(0, int64_t(x) - Radius)), c1 = int(std::min<int64_t>(W - 1, int64_t(x) + Radius));
      for (int r = r0; r <= r1; ++r)
        for (int c = c0; c <= c1; ++c) {
          const uint32_t v = P[size_t(r) * size_t(W) + size_t(c)];
          for (int k = 0; k < 4; ++k) sum[k] = uint16_t(sum[k] + ((v >> (8 * k)) & 255));
          ++count;
        }
      uint32_t out = 0;
      for (int k = 0; k < 4; ++k) out |= uint32_t(sum[k] / count) << (8 * k);
      P[size_t(y) * size_t(W) + size_t(x)] = out;
    }
  return P;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TFuzzReader in(Data, Size);
  const uint8_t shape = in.Byte();
  TABitmap b;
  if (shape % 3 == 0) {
    Shape(in, b, 40);
  } else {
    // A strip: long in one direction, one to three pixels in the other.
    const int along = int(in.Byte()) * 600 / 255, across = 1 + in.Byte() % 3;
    b.SetWidth(shape % 3 == 1 ? along : across);
    b.SetHeight(shape % 3 == 1 ? across : along);
  }
  const uint8_t mode = in.Byte();
  const int32_t radius = in.Int();
  size_t used = 0;
  Paint(b, mode, in.Rest(), in.Left(), used);
  const int w = b.Width(), h = b.Height();
  const std::vector<uint32_t> before = Snapshot(b);
  // Every window here holds fewer than 32768 pixels, so the count never leaves 16 bits.
  const std::vector<uint32_t> expected = radius >= 0 ? Reference(before, w, h, radius) : before;

  std::vector<uint32_t> scalar;
  for (TKernelSet set : AvailableKernels()) {
    FUZZ_CHECK(SetActiveKernels(set), "an available kernel set can be chosen");
    TABitmap out;
    out.Assign(&b);
    BoxBlur(out, radius);
    FUZZ_CHECK(out.Width() == w && out.Height() == h, "size unchanged");
    const std::vector<uint32_t> got = Snapshot(out);
    if (radius >= 0) FUZZ_CHECK(got == expected, "the raster-order blur's bytes");
    if (set == TKernelSet::Scalar) scalar = got;
    else FUZZ_CHECK(got == scalar, "kernel set agrees with Scalar");
  }
  SetActiveKernels(TKernelSet::Scalar);
  return 0;
}
