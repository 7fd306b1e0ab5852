// Writes the fuzz targets' starting corpora into DIR/bmp, DIR/stretch, DIR/boxblur and
// DIR/clip: BMP files of every layout the reader takes at a few sizes, and the filters'
// own calls and worked examples in the targets' input layouts. Usage: make_seeds DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "support/BmpFiles.h"

namespace fs = std::filesystem;
using halvik::fuzz::TFuzzWriter;

namespace {

int g_written = 0;

void Save(const fs::path& Dir, const std::string& Name, const std::vector<uint8_t>& Bytes) {
  fs::create_directories(Dir);
  std::ofstream f(Dir / Name, std::ios::binary);
  f.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
  ++g_written;
}

// A stretch seed: bitmap sizes, fill mode, then the ten arguments (fuzz_stretch's layout).
void Stretch(const fs::path& Dir, const std::string& Name, int Sw, int Sh, int Dw, int Dh, int32_t DstW,
             int32_t DstH, double Sx, double Sy, double SW, double SH, double Dx, double Dy, uint8_t Mode = 2) {
  TFuzzWriter w;
  w.Byte(uint8_t(Sw)), w.Byte(uint8_t(Sh)), w.Byte(uint8_t(Dw)), w.Byte(uint8_t(Dh)), w.Byte(Mode);
  w.Int(DstW), w.Int(DstH);
  for (double d : {Sx, Sy, SW, SH, Dx, Dy}) w.Double(d);
  for (int i = 0; i < 64; ++i) w.Byte(uint8_t(i * 37));
  Save(Dir, Name, w.Bytes());
}

void Blur(const fs::path& Dir, const std::string& Name, uint8_t Shape, int W, int H, int32_t Radius) {
  TFuzzWriter w;
  w.Byte(Shape), w.Byte(uint8_t(W)), w.Byte(uint8_t(H)), w.Byte(2), w.Int(Radius);
  Save(Dir, Name, w.Bytes());
}

void Clip(const fs::path& Dir, const std::string& Name, std::vector<double> D, std::vector<int32_t> I) {
  TFuzzWriter w;
  for (double d : D) w.Double(d);
  for (int32_t i : I) w.Int(i);
  Save(Dir, Name, w.Bytes());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_seeds DIR\n");
    return 2;
  }
  const fs::path root = argv[1];

  for (const auto& f : halvik::testing::ReadableBmpFormats())
    for (auto [w, h] : {std::pair{1, 1}, {5, 3}, {17, 9}, {33, 2}})
      Save(root / "bmp", f.Name + "-" + std::to_string(w) + "x" + std::to_string(h) + ".bmp",
           halvik::testing::MakeBmp(f, w, h).Bytes);

  const fs::path s = root / "stretch";
  // The frame tick's two calls, on the screen and off its edges.
  Stretch(s, "enlarge", 40, 30, 24, 16, 24, 16, 4, 6, 12, 8, 0, 0);
  Stretch(s, "enlarge-past-right", 40, 30, 24, 16, 24, 16, 34, 6, 12, 8, 0, 0);
  Stretch(s, "enlarge-off-left", 40, 30, 24, 16, 24, 16, -1, 6, 12, 8, 0, 0);
  Stretch(s, "shrink", 24, 16, 12, 8, 12, 8, 0, 0, 24, 16, 0, 0);
  Stretch(s, "zero-height", 24, 0, 12, 0, 12, 0, 0, 0, 24, 0, 0, 0);
  // Worked examples and edges.
  Stretch(s, "wide-from-4x2", 4, 2, 8, 1, 8, 1, 0, 0, 4, 2, 0, 0);
  Stretch(s, "same-size", 4, 4, 4, 4, 4, 4, 0, 0, 4, 4, 0, 0);
  Stretch(s, "fractions", 10, 10, 12, 12, 8, 8, 2.75, 2.75, 4, 4, 2.7, 3.2);
  Stretch(s, "negative-dst", 10, 10, 12, 12, 30, 30, 1, 1, 8, 8, -7.5, -3.25);
  Stretch(s, "one-row-source", 9, 1, 12, 12, 12, 12, 0, 0, 9, 1, 0, 0);
  Stretch(s, "zero-source", 9, 9, 12, 12, 12, 12, 9, 9, 0, 0, 0, 0);

  const fs::path b = root / "boxblur";
  for (int r : {0, 1, 2, 7, 8, 100, -1}) Blur(b, "square-r" + std::to_string(r), 0, 13, 9, r);
  Blur(b, "row", 1, 200, 0, 1);
  Blur(b, "column", 2, 200, 1, 3);
  Blur(b, "empty", 0, 0, 5, 1);

  const fs::path c = root / "clip";
  Clip(c, "src-at-right-edge", {100, 0, 10, 10, 0, 0}, {10, 10, 100, 100, 200, 200});
  Clip(c, "dst-cut-left", {10, 0, 100, 10, -50, 0}, {200, 10, 1000, 1000, 1000, 1000});
  Clip(c, "dst-cut-right", {0, 0, 200, 10, 10.5, 0}, {100, 10, 1000, 1000, 50, 1000});
  Clip(c, "src-cut-right", {60, 0, 50, 10, 0, 0}, {100, 10, 100, 100, 1000, 1000});
  Clip(c, "dst-half-pixel", {0, 0, 10, 10, -0.5, 0}, {10, 10, 100, 100, 100, 100});
  Clip(c, "refused", {0, 0, 10, 10, -200, 0}, {200, 10, 100, 100, 100, 100});
  std::printf("%d seeds in %s\n", g_written, root.c_str());
  return 0;
}
