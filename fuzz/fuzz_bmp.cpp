// BMP reading through TABitmap::LoadFromStream. Input: the file's bytes.
// Checks: a file is either read or refused with EInvalidGraphic (EOutOfResources when its
// image is past the pixel-store cap); anything else thrown ends the run. A file read gives a
// 32-bit bitmap whose every pixel can be reached, the same pixels however the new pixel
// stores start out, and the same pixels again after a write and a read back. The run's
// -malloc_limit_mb catches any allocation made before a size was checked.
#include <cstring>

#include "FuzzSupport.h"
#include "platform/core/Exceptions.h"
#include "platform/core/Streams.h"
#include "platform/headless/HeadlessBackend.h"

using namespace halvik;
using namespace halvik::fuzz;

namespace {

// Pixel stores capped at 2^22 pixels, and filled with a chosen byte when they are made, so
// that a pixel the reader never wrote shows as a difference between two reads.
class TFuzzBackend : public THeadlessBackend {
 public:
  TFuzzBackend() : THeadlessBackend(0, 0) {}
  static constexpr int64_t kCap = int64_t(1) << 22;
  uint8_t FillByte = 0;
  std::unique_ptr<TPixelStore> CreatePixelStore(int Width, int Height, int BitsPerPixel) override {
    if (int64_t(Width) * Height > kCap)
      throw EOutOfResources("Bitmap of " + std::to_string(Width) + " x " + std::to_string(Height) +
                            " pixels is past the fuzzing cap of " + std::to_string(kCap));
    auto store = CreateMemoryPixelStore(Width, Height, BitsPerPixel);
    std::memset(store->Bits(), FillByte, size_t(store->Stride()) * size_t(Height));
    return store;
  }
};

TFuzzBackend& Desk() {
  static TFuzzBackend* desk = [] {
    auto* d = new TFuzzBackend();
    SetPlatform(d);
    return d;
  }();
  return *desk;
}

// Reads Bytes; false when the reader refused them as it should.
bool Read(const uint8_t* Data, size_t Size, TABitmap& B) {
  TMemoryStream s;
  s.SetBytes(std::vector<uint8_t>(Data, Data + Size));
  try {
    B.LoadFromStream(s);
    return true;
  } catch (const EInvalidGraphic& e) {
    FUZZ_CHECK(*e.what() != 0, "a refusal says what is wrong");
  } catch (const EOutOfResources& e) {
    FUZZ_CHECK(*e.what() != 0, "a refusal says what is wrong");
  }
  return false;
}

std::vector<uint32_t> Colours(TABitmap& B) {
  std::vector<uint32_t> p = Snapshot(B);
  for (auto& v : p) v &= 0xFFFFFF;
  return p;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  TFuzzBackend& desk = Desk();
  desk.FillByte = 0x00;
  TABitmap a;
  const bool read = Read(Data, Size, a);
  desk.FillByte = 0xA5;
  TABitmap b;
  FUZZ_CHECK(Read(Data, Size, b) == read, "the same bytes are read the same way twice");
  if (!read) return 0;

  FUZZ_CHECK(a.PixelFormat() == TPixelFormat::pf32bit, "a loaded TABitmap has 32 bits per pixel");
  FUZZ_CHECK(a.Width() >= 0 && a.Height() >= 0, "sizes are never negative");
  FUZZ_CHECK(a.Width() == b.Width() && a.Height() == b.Height(), "same size twice");
  const std::vector<uint32_t> pixels = Colours(a);  // reaches every pixel of every row
  FUZZ_CHECK(Colours(b) == pixels, "no pixel depends on what a new pixel store held");

  TMemoryStream out;
  a.SaveToStream(out);
  out.SetPosition(0);
  TABitmap c;
  c.LoadFromStream(out);
  FUZZ_CHECK(c.Width() == a.Width() && c.Height() == a.Height(), "a written image reads back at its size");
  FUZZ_CHECK(Colours(c) == pixels, "a written image reads back with its colours");
  return 0;
}
