#include "filters/StretchFast.h"

#include <algorithm>
#include <atomic>
#include <vector>

namespace halvik {
namespace {

// Destinations larger than this are written with streaming stores: one that a fair share of a
// last-level cache could hold is better read back from the cache by the filter that follows.
constexpr size_t kStreamBytes = size_t(16) << 20;

const uint8_t* SourceRow(TABitmap& Source, int64_t Row) {
  return static_cast<const uint8_t*>(Source.ScanLine(static_cast<int>(Row)));
}

// The horizontal mixes of the last two source rows asked for, so that a source row is mixed
// once while it serves as row A and then as row B, whichever way the rows are walked.
class TMixedRows {
 public:
  TMixedRows(TABitmap& Source, const TStretchColumnTable& Columns, const TKernelTable& Kernels)
      : source_(Source), columns_(Columns), kernels_(Kernels) {
    for (auto& b : buffers_) b.resize(4 * size_t(Columns.Blocks) * size_t(kernels_.BlockPixels));
  }
  // The mixes of source rows RowA and RowB, each clamped into the bitmap.
  void Get(int64_t RowA, int64_t RowB, const uint8_t*& A, const uint8_t*& B) {
    const int64_t a = Clamp(RowA), b = Clamp(RowB);
    A = Fetch(a, b);
    B = Fetch(b, a);
  }

 private:
  int64_t Clamp(int64_t Row) const { return std::clamp<int64_t>(Row, 0, source_.Height() - 1); }
  // The mix of Row, mixed into the slot that does not hold Keep when it is not at hand.
  const uint8_t* Fetch(int64_t Row, int64_t Keep) {
    for (int i = 0; i < 2; ++i)
      if (keys_[i] == Row) return buffers_[i].data();
    const int slot = keys_[0] == Keep ? 1 : 0;
    TStretchRowJob job;
    job.Columns = &columns_;
    job.RowA = SourceRow(source_, Row);
    // The rows are walked downwards: the next one is asked for while this one is mixed.
    job.AheadA = SourceRow(source_, Clamp(Row + 1));
    job.Out = buffers_[slot].data();
    kernels_.StretchColumns(job);
    keys_[slot] = Row;
    return buffers_[slot].data();
  }

  TABitmap& source_;
  const TStretchColumnTable& columns_;
  const TKernelTable& kernels_;
  std::vector<uint8_t> buffers_[2];
  int64_t keys_[2] = {-1, -1};
};

}  // namespace

void TStretchColumnStore::PlanBlocks(int32_t SourceWidth, const TKernelTable& Kernels) {
  const int32_t count = static_cast<int32_t>(Left.size());
  blockPixels_ = Kernels.BlockPixels;
  blocks_ = (count + blockPixels_ - 1) / blockPixels_;
  const size_t padded = size_t(blocks_) * size_t(blockPixels_);
  const size_t blockBytes = 4 * size_t(blockPixels_);
  first_.resize(padded);
  second_.resize(padded);
  weight_.resize(padded);
  pairs_.resize(2 * blockBytes * size_t(blocks_));
  base_.assign(size_t(blocks_), -1);
  // The padding repeats the last column, so that whole blocks read only pixels of the row.
  for (size_t i = 0; i < padded; ++i) {
    const size_t c = std::min(i, size_t(count) - 1);
    // The lighter pixel of the pair goes first.
    const bool swap = Weight[c] < 128;
    const uint32_t wf = swap ? Weight[c] : 255 - Weight[c];
    first_[i] = swap ? Right[c] : Left[c];
    second_[i] = swap ? Left[c] : Right[c];
    weight_[i] = wf * 0x00010001u;
    // Pixels 0, 1 of each four go to the first vector of the block, 2, 3 to the second.
    const size_t j = i % size_t(blockPixels_), lane = j / 4, k = j % 4;
    uint8_t* pair = pairs_.data() + 2 * blockBytes * (i / size_t(blockPixels_)) + (k / 2) * blockBytes + lane * 16 +
                    (k % 2) * 8;
    for (int n = 0; n < 4; ++n) {
      pair[2 * n] = static_cast<uint8_t>(wf);
      pair[2 * n + 1] = static_cast<uint8_t>(255 - wf);
    }
  }
  // Blocks whose pairs lie close together (every enlargement, and shrinks to one half) are
  // read by permutes; the base moves left at the row's end so that both loads stay inside it.
  const int32_t block = blockPixels_, span = Kernels.BlockSpan;
  if (span <= 0 || SourceWidth < span) return;
  for (int32_t b = 0; b < blocks_; ++b) {
    const size_t from = size_t(b) * size_t(block), to = from + size_t(block);
    int32_t lo = first_[from], hi = first_[from];
    for (size_t i = from; i < to; ++i) {
      lo = std::min({lo, first_[i], second_[i]});
      hi = std::max({hi, first_[i], second_[i]});
    }
    const int32_t start = std::min(lo, SourceWidth - span);
    if (hi - start >= span) continue;
    base_[size_t(b)] = start;
    for (size_t i = from; i < to; ++i) {
      first_[i] -= start;
      second_[i] -= start;
    }
  }
}

TStretchColumnTable TStretchColumnStore::Table() const {
  return {first_.data(), second_.data(), weight_.data(), pairs_.data(), base_.data(), blocks_};
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
    store.Weight[size_t(i)] = (pos >> 8) & 255;
  }
  store.PlanBlocks(Source.Width(), Kernels);
  const TStretchColumnTable columns = store.Table();
  const uint32_t yStep = static_cast<uint32_t>(Plan.YStep);
  const size_t bytes = 4 * size_t(count);
  const bool stream = bytes * size_t(Plan.DstHeight) > kStreamBytes;
  const int64_t lastSourceRow = Source.Height() - 1;
  // Source rows A and B of destination row R (of the main pass, then of the bottom pass, from
  // the last source row and the one above it), clamped into the bitmap, and the weight of B.
  struct TRows {
    int64_t A, B;
    uint32_t WY;
  };
  const auto rowsOf = [&](int32_t R) {
    const bool main = R < Plan.MainRows;
    const uint32_t yPos = static_cast<uint32_t>(main ? R : R - Plan.MainRows) * yStep;
    const int64_t y = main ? int64_t(Plan.SrcTop) + (yPos >> 16) : Plan.LastRow;
    return TRows{std::clamp<int64_t>(y, 0, lastSourceRow), std::clamp<int64_t>(main ? y + 1 : y - 1, 0, lastSourceRow),
                 (yPos >> 8) & 255};
  };
  const auto destRow = [&](int32_t Row) {
    return static_cast<uint8_t*>(Dest.ScanLine(Plan.DstTop + Row)) + 4 * size_t(Plan.DstLeft);
  };

  // Steps of one and a half source rows or more leave few mixes that two destination rows
  // share: each row is then mixed and blended in one pass, without keeping the mixes.
  if (yStep >= 0x18000) {
    for (int32_t r = 0; r < Plan.DstHeight; ++r) {
      const TRows rows = rowsOf(r), next = rowsOf(std::min(r + 1, Plan.DstHeight - 1));
      TStretchRowJob job;
      job.Columns = &columns;
      job.RowA = SourceRow(Source, rows.A);
      job.AheadA = SourceRow(Source, next.A);
      job.RowB = SourceRow(Source, rows.B);
      job.AheadB = SourceRow(Source, next.B);
      job.WY = rows.WY;
      job.Pixels = count;
      job.Stream = stream;
      job.Out = destRow(r);
      Kernels.StretchColumns(job);
    }
    if (stream) std::atomic_thread_fence(std::memory_order_seq_cst);
    return;
  }
  TMixedRows mixed(Source, columns, Kernels);
  for (int32_t r = 0; r < Plan.DstHeight; ++r) {
    const TRows rows = rowsOf(r);
    const uint8_t *a, *b;
    mixed.Get(rows.A, rows.B, a, b);
    Kernels.StretchBlend(a, b, rows.WY, bytes, destRow(r), stream);
  }
  // Orders the streaming stores before whatever the caller does next.
  if (stream) std::atomic_thread_fence(std::memory_order_seq_cst);
}

}  // namespace halvik
