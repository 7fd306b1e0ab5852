// The filters' number conversions: truncation to int32, division by zero, 32-bit wrap-around.
#include "filters/FilterMath.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace halvik {
namespace {

constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr long double kInf = std::numeric_limits<long double>::infinity();

TEST(TruncToInt32, CutsTowardZeroAndSaturatesOutsideTheRange) {
  struct Case { long double v; int32_t want; } cases[] = {
      {2.75L, 2},
      {-2.75L, -2},
      {-0.9L, 0},
      {0.0L, 0},
      {2147483647.0L, kMax},
      {2147483647.9L, kMax},
      {2147483648.0L, kMax},
      {1e300L, kMax},
      {kInf, kMax},
      {-2147483648.0L, kMin},
      {-2147483648.9L, kMin},
      {-2147483649.0L, kMin},
      {-1e300L, kMin},
      {-kInf, kMin},
      {std::numeric_limits<long double>::quiet_NaN(), 0},
      {-std::numeric_limits<long double>::quiet_NaN(), 0},
  };
  for (const Case& c : cases) EXPECT_EQ(TruncToInt32(c.v), c.want) << static_cast<double>(c.v);
}

TEST(Quotient, ZeroDivisorGivesTheIeeeResult) {
  EXPECT_EQ(Quotient(7.0L, 2.0L), 3.5L);
  EXPECT_EQ(Quotient(1.0L, 0.0L), kInf);
  EXPECT_EQ(Quotient(-1.0L, 0.0L), -kInf);
  EXPECT_EQ(Quotient(1.0L, -0.0L), -kInf);
  EXPECT_TRUE(std::isnan(Quotient(0.0L, 0.0L)));
  EXPECT_TRUE(std::isnan(Quotient(std::numeric_limits<long double>::quiet_NaN(), 0.0L)));
}

TEST(WrapToInt32, KeepsTheLow32Bits) {
  EXPECT_EQ(WrapToInt32(40000LL * 65535), -1673567296);  // 40000 * 65535 past int32
  EXPECT_EQ(WrapToInt32(32768LL * 65535), 2147450880);
  EXPECT_EQ(WrapToInt32(0x100000005LL), 5);
  EXPECT_EQ(WrapToInt32(-1), -1);
}

}  // namespace
}  // namespace halvik
