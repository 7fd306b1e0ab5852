// How the filter fuzz targets read their arguments from the fuzzer's bytes, front to back,
// and how the seed tool writes inputs in the same layout. A number is a selector byte that
// picks a value from a table of awkward ones, a small whole number, a whole number with a
// fraction, or raw bits; once the bytes run out every value reads as 0.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

namespace halvik::fuzz {

inline const std::vector<double>& AwkwardDoubles() {
  using L = std::numeric_limits<double>;
  static const std::vector<double> v = {
      0.0, -0.0, 1.0, -1.0, 0.5, -0.5, 1e-300, -1e-300, L::denorm_min(), L::min(),
      L::quiet_NaN(), -L::quiet_NaN(), L::infinity(), -L::infinity(), L::max(), -L::max(),
      2147483647.0, 2147483648.0, -2147483648.0, -2147483649.0, 4294967296.0, 65535.0, 65536.0,
      65536.5, 32768.0, 32767.99999, 1e9, -1e9, 1e300, -1e300, 9007199254740993.0,
      0.99999999999, 1.00000000001, 2.75, 99.5, -50.0, 1.0 / 3.0};
  return v;
}

inline const std::vector<int32_t>& AwkwardInts() {
  static const std::vector<int32_t> v = {0, 1, -1, 2, 3, 7, 8, 255, 256, 32767, 32768, 32769, 65535, 65536,
                                         1 << 24, 2147483647, -2147483647 - 1, -2, -32768, -65536};
  return v;
}

class TFuzzReader {
 public:
  TFuzzReader(const uint8_t* Data, size_t Size) : p_(Data), end_(Data + Size) {}
  size_t Left() const { return size_t(end_ - p_); }
  uint8_t Byte() { return p_ < end_ ? *p_++ : 0; }
  uint32_t U32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(Byte()) << (8 * i);
    return v;
  }
  int32_t Int() {
    const uint8_t s = Byte();
    if (s < 64) return AwkwardInts()[s % AwkwardInts().size()];
    if (s < 192) return int32_t(Byte()) - 64;  // -64 .. 191
    return int32_t(U32());
  }
  double Double() {
    const uint8_t s = Byte();
    if (s < 64) return AwkwardDoubles()[s % AwkwardDoubles().size()];
    if (s < 160) return double(int32_t(Byte()) - 64);              // whole, -64 .. 191
    if (s < 224) return double(int32_t(Byte()) - 64) + Byte() / 256.0;  // with a fraction
    uint64_t bits = uint64_t(U32()) | uint64_t(U32()) << 32;
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  // The rest of the input, for pixel contents.
  const uint8_t* Rest() const { return p_; }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

// Writes values the way TFuzzReader reads them (the seed tool's side).
class TFuzzWriter {
 public:
  void Byte(uint8_t V) { bytes_.push_back(V); }
  void U32(uint32_t V) {
    for (int i = 0; i < 4; ++i) Byte(uint8_t(V >> (8 * i)));
  }
  // A whole number from -64 to 191 as itself, anything else as raw bits.
  void Int(int32_t V) {
    if (V >= -64 && V <= 191) {
      Byte(64), Byte(uint8_t(V + 64));
    } else {
      Byte(255), U32(uint32_t(V));
    }
  }
  void Double(double V) {
    if (V == std::floor(V) && V >= -64 && V <= 191) {
      Byte(64), Byte(uint8_t(int(V) + 64));
      return;
    }
    uint64_t bits;
    std::memcpy(&bits, &V, sizeof bits);
    Byte(255), U32(uint32_t(bits)), U32(uint32_t(bits >> 32));
  }
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace halvik::fuzz
