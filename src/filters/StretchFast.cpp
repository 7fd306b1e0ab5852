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

void TStretchColumnStore::PlanBlocks(int32_t SourceWidth, const TKernelTable& Kernels) {
  // Blocks whose pairs lie close together (every enlargement, and shrinks to one half) are
  // read by permutes; the base moves left at the row's end so that both loads stay inside it.
  const int32_t count = static_cast<int32_t>(Left.size());
  const int32_t block = Kernels.BlockPixels, span = Kernels.BlockSpan;
  BlockBase.assign(static_cast<size_t>(count / block + 1), -1);
  RelLeft.assign(static_cast<size_t>(count), 0);
  RelRight.assign(static_cast<size_t>(count), 0);
  for (int32_t b = 0; span > 0 && SourceWidth >= span && (b + 1) * block <= count; ++b) {
    const auto first = Left.begin() + b * block;
    const int32_t from = std::min(*std::min_element(first, first + block), SourceWidth - span);
    bool fits = true;
    for (int32_t i = b * block; i < (b + 1) * block; ++i) {
      RelLeft[size_t(i)] = Left[size_t(i)] - from;
      RelRight[size_t(i)] = Right[size_t(i)] - from;
      fits = fits && RelLeft[size_t(i)] >= 0 && RelRight[size_t(i)] >= 0 && RelLeft[size_t(i)] < span &&
             RelRight[size_t(i)] < span;
    }
    if (fits) BlockBase[size_t(b)] = from;
  }
}

TStretchColumnTable TStretchColumnStore::Table() const {
  return {Left.data(), Right.data(), Weight.data(), BlockBase.data(), RelLeft.data(), RelRight.data(),
          static_cast<int32_t>(Left.size())};
}

void StretchBilinearFast(const TStretchPlan& Plan, TABitmap& Source, TABitmap& Dest, const TKernelTable& Kernels) {
  // Column i is sampled at XStart + i * XStep in the main run and one step back in the tail.
  const int32_t count = Plan.MainCount + Plan.TailCount;
  TStretchColumnStore store;
  store.Left.resize(static_cast<size_t>(count));
  store.Right.resize(static_cast<size_t>(count));
  store.Weight.resize(static_cast<size_t>(count));
  const uint32_t last = static_cast<uint32_t>(Source.Width() - 1);
  const uint32_t step = static_cast<uint32_t>(Plan.XStep);
  for (int32_t i = 0; i < count; ++i) {
    const uint32_t n = static_cast<uint32_t>(i < Plan.MainCount ? i : i - 1);
    const uint32_t pos = Plan.XStart + n * step;
    const uint32_t col = pos >> 16;
    store.Left[size_t(i)] = static_cast<int32_t>(std::min(col, last));
    store.Right[size_t(i)] = static_cast<int32_t>(std::min(col + 1, last));
    store.Weight[size_t(i)] = ((pos >> 8) & 255) * 0x00010001u;
  }
  store.PlanBlocks(Source.Width(), Kernels);
  const TStretchColumnTable columns = store.Table();
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
