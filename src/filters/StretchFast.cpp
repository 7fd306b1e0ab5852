#include "filters/StretchFast.h"

#include <algorithm>
#include <vector>

namespace halvik {
namespace {

// The horizontal mixes of the last two source rows asked for, so that a source row is mixed
// once while it serves as row A and then as row B.
class TMixedRows {
 public:
  TMixedRows(TABitmap& Source, const TStretchColumnTable& Columns, const TKernelTable& Kernels)
      : source_(Source), columns_(Columns), kernels_(Kernels) {
    for (auto& b : buffers_) b.resize(4 * size_t(Columns.Count));
  }
  // The mix of source row Row (clamped into the bitmap); Keep names a row whose mix must stay.
  const uint8_t* Get(int64_t Row, int64_t Keep) {
    const int64_t row = std::clamp<int64_t>(Row, 0, source_.Height() - 1);
    for (int i = 0; i < 2; ++i)
      if (keys_[i] == row) return buffers_[i].data();
    const int slot = keys_[0] == Keep ? 1 : 0;
    kernels_.StretchColumns(static_cast<const uint8_t*>(source_.ScanLine(static_cast<int>(row))), columns_,
                            buffers_[slot].data());
    keys_[slot] = row;
    return buffers_[slot].data();
  }

 private:
  TABitmap& source_;
  const TStretchColumnTable& columns_;
  const TKernelTable& kernels_;
  std::vector<uint8_t> buffers_[2];
  int64_t keys_[2] = {-1, -1};
};

}  // namespace

void StretchBilinearFast(const TStretchPlan& Plan, TABitmap& Source, TABitmap& Dest, const TKernelTable& Kernels) {
  // Column i is sampled at XStart + i * XStep in the main run and one step back in the tail.
  const int32_t count = Plan.MainCount + Plan.TailCount;
  std::vector<int32_t> left(static_cast<size_t>(count)), right(static_cast<size_t>(count));
  std::vector<uint32_t> weight(static_cast<size_t>(count));
  const uint32_t last = static_cast<uint32_t>(Source.Width() - 1);
  const uint32_t step = static_cast<uint32_t>(Plan.XStep);
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t n = static_cast<uint32_t>(i < Plan.MainCount ? i : i - 1);
    const uint32_t pos = Plan.XStart + n * step;
    const uint32_t col = pos >> 16;
    left[size_t(i)] = static_cast<int32_t>(std::min(col, last));
    right[size_t(i)] = static_cast<int32_t>(std::min(col + 1, last));
    weight[size_t(i)] = ((pos >> 8) & 255) * 0x01010101u;
  }
  const TStretchColumnTable columns{left.data(), right.data(), weight.data(), count};
  TMixedRows mixed(Source, columns, Kernels);
  const uint32_t yStep = static_cast<uint32_t>(Plan.YStep);
  const size_t bytes = 4 * size_t(count);
  const auto destRow = [&](int32_t Row) {
    return static_cast<uint8_t*>(Dest.ScanLine(Plan.DstTop + Row)) + 4 * size_t(Plan.DstLeft);
  };

  for (int32_t k = 0; k < Plan.MainRows; ++k) {
    const uint32_t yPos = static_cast<uint32_t>(k) * yStep;
    const int64_t y = int64_t(Plan.SrcTop) + (yPos >> 16);
    const uint8_t* a = mixed.Get(y, -2);
    const uint8_t* b = mixed.Get(y + 1, std::clamp<int64_t>(y, 0, Source.Height() - 1));
    Kernels.StretchBlend(a, b, (yPos >> 8) & 255, bytes, destRow(k));
  }
  if (!Plan.BottomPass) return;
  for (int32_t k = 0; Plan.MainRows + k < Plan.DstHeight; ++k) {
    const uint32_t yPos = static_cast<uint32_t>(k) * yStep;
    const uint8_t* a = mixed.Get(Plan.LastRow, -2);
    const uint8_t* b = mixed.Get(Plan.LastRow - 1, std::clamp<int64_t>(Plan.LastRow, 0, Source.Height() - 1));
    Kernels.StretchBlend(a, b, (yPos >> 8) & 255, bytes, destRow(Plan.MainRows + k));
  }
}

}  // namespace halvik
