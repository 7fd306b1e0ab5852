// The frame tick done by hand: the three filters applied to a known screen, with images that
// carry over from tick to tick as the program's do. Tests compare the program's output with it.
#pragma once

#include <cstdint>
#include <vector>

#include "bitmap/ABitmap.h"
#include "filters/ABitmapFilters32.h"
#include "platform/headless/HeadlessBackend.h"

namespace halvik::testing {

class TTickModel {
 public:
  // Sizes the images as the program's start does.
  void Start(int ScreenWidth, int ScreenHeight, int ClientWidth, int ClientHeight) {
    screen_.SetWidth(ScreenWidth);
    screen_.SetHeight(ScreenHeight);
    Resize(ClientWidth, ClientHeight);
  }
  void Resize(int ClientWidth, int ClientHeight) {
    work_.SetWidth(2 * ClientWidth);
    work_.SetHeight(2 * ClientHeight);
    out_.SetWidth(ClientWidth);
    out_.SetHeight(ClientHeight);
  }
  // One tick over the desktop's pixels (the capture of CaptureOk is false stays black).
  void Tick(THeadlessBackend& Desk, int Left, int Top, int ClientWidth, int ClientHeight,
            int CaptionOffset = 25, bool CaptureOk = true) {
    screen_.Fill(0, 0, 0);
    if (CaptureOk) {
      for (int y = 0; y < std::min(screen_.Height(), Desk.ScreenHeight()); ++y)
        for (int x = 0; x < std::min(screen_.Width(), Desk.ScreenWidth()); ++x)
          static_cast<uint32_t*>(screen_.ScanLine(y))[x] = Desk.ScreenRow(y)[x];
    }
    StretchBilinear(work_.Width(), work_.Height(), screen_, Left, Top + CaptionOffset, ClientWidth, ClientHeight, 0, 0,
                    work_);
    BoxBlur(work_, 1);
    StretchBilinear(ClientWidth, ClientHeight, work_, 0, 0, work_.Width(), work_.Height(), 0, 0, out_);
  }
  // The output picture, row by row, as 0x00RRGGBB.
  std::vector<uint32_t> Output() { return Pixels(out_); }
  TABitmap& Work() { return work_; }

  static std::vector<uint32_t> Pixels(TABitmap& B) {
    std::vector<uint32_t> p;
    for (int y = 0; y < B.Height(); ++y)
      for (int x = 0; x < B.Width(); ++x) p.push_back(static_cast<uint32_t*>(B.ScanLine(y))[x] & 0xFFFFFF);
    return p;
  }

 private:
  TABitmap screen_, work_, out_;
};

// The client picture of a headless window, without the fourth bytes.
inline std::vector<uint32_t> ClientPixels(const THeadlessBackend::TWindowInfo& W) {
  std::vector<uint32_t> p = W.Client;
  for (auto& v : p) v &= 0xFFFFFF;
  return p;
}

}  // namespace halvik::testing
