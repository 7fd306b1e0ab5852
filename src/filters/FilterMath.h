// The filters' floating-point and integer conversions, each free of undefined behaviour.
// Sums, products and quotients are rounded to a 64-bit significand by doing them in long double.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace halvik {

static_assert(std::numeric_limits<long double>::digits == 64,
              "The filters round to a 64-bit significand through long double: build them with a "
              "compiler whose long double is the x87 extended type (g++ or mingw-w64 on x86)");

// Cuts V toward zero to a signed 32-bit integer. Chosen for values that do not fit: NaN gives 0,
// and values beyond the int32 range saturate to its nearest end.
inline int32_t TruncToInt32(long double V) {
  if (std::isnan(V)) return 0;
  if (V >= 2147483648.0L) return std::numeric_limits<int32_t>::max();
  if (V <= -2147483649.0L) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(V);
}

// A / B with the IEEE result for a zero divisor (an infinity, or NaN for 0/0 and NaN/0), which
// C++ leaves undefined.
inline long double Quotient(long double A, long double B) {
  if (B != 0.0L) return A / B;
  if (std::isnan(A) || A == 0.0L) return std::numeric_limits<long double>::quiet_NaN();
  const bool negative = std::signbit(A) != std::signbit(B);
  return negative ? -std::numeric_limits<long double>::infinity() : std::numeric_limits<long double>::infinity();
}

// The low 32 bits of V as a signed value: deliberate two's-complement wrap-around.
inline int32_t WrapToInt32(int64_t V) { return static_cast<int32_t>(static_cast<uint32_t>(V)); }

}  // namespace halvik
