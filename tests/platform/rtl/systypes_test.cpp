#include <fyndra/platform/rtl/systypes.h>

#include <gtest/gtest.h>

#include <cmath>

#include <fyndra/platform/rtl/sysutils.h>

namespace fyndra {
namespace {

TEST(CurrencyTest, ConversionsRoundHalfAwayFromZero) {
  EXPECT_EQ(Currency(5).Scaled(), 50000);
  EXPECT_EQ(Currency(0.00015).Scaled(), 2);   // as written, not as the binary value
  EXPECT_EQ(Currency(-0.00015).Scaled(), -2);
  EXPECT_EQ(Currency(1.23454).Scaled(), 12345);
  EXPECT_EQ(Currency::FromScaled(25000).ToInt64(), 3);
  EXPECT_EQ(Currency::FromScaled(-25000).ToInt64(), -3);
  EXPECT_EQ(Currency::FromScaled(24999).ToInt64(), 2);
  EXPECT_EQ(Currency::FromScaled(12345).ToDouble(), 1.2345);
  EXPECT_EQ(Currency::FromScaled(INT64_MAX).ToDouble(), 922337203685477.5807);
  EXPECT_THROW(Currency(std::int64_t{1} << 60), EOverflow);
  EXPECT_THROW(Currency(1e15), EOverflow);
  EXPECT_THROW(Currency(NAN), EOverflow);
}

TEST(CurrencyTest, ArithmeticIsExactAndChecked) {
  const Currency A = Currency::FromScaled(15000);  // 1.5
  const Currency B = Currency::FromScaled(3);      // 0.0003
  EXPECT_EQ((A + B).Scaled(), 15003);
  EXPECT_EQ((B - A).Scaled(), -14997);
  EXPECT_EQ((A * B).Scaled(), 5);  // 0.00045 rounds to 0.0005
  EXPECT_EQ((A / Currency(4)).Scaled(), 3750);
  EXPECT_EQ((Currency(1) / Currency(3)).Scaled(), 3333);
  EXPECT_EQ((Currency(2) / Currency(3)).Scaled(), 6667);
  EXPECT_THROW(A / Currency(), EZeroDivide);
  const Currency Max = Currency::FromScaled(INT64_MAX);
  EXPECT_THROW(Max + B, EOverflow);
  EXPECT_THROW(-Currency::FromScaled(INT64_MIN), EOverflow);
  EXPECT_THROW(Max * Currency(2), EOverflow);
  EXPECT_LT(B, A);
  EXPECT_EQ(Currency(1), Currency::FromScaled(10000));
}

}  // namespace
}  // namespace fyndra
