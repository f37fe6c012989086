#include <fyndra/platform/rtl/fmtbcd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

class BcdTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaultLocale("en_US"); }
  void TearDown() override { SetDefaultLocale("en_US"); }
};

TEST_F(BcdTest, TextKeepsScaleAndSign) {
  struct Row { const char* In; bool Ok; const char* Out; int Precision; int Scale; };
  const Row Rows[] = {
      {"1.50", true, "1.50", 3, 2},
      {"-0.05", true, "-0.05", 2, 2},
      {"0", true, "0", 1, 0},
      {"-0.00", true, "0.00", 2, 2},      // no negative zero
      {"007", true, "7", 1, 0},
      {"1.5e3", true, "1500", 4, 0},
      {"12.5e-2", true, "0.125", 3, 3},
      {"1234567890123456789012345678901234567890123456789012345678901234", true,
       "1234567890123456789012345678901234567890123456789012345678901234", 64, 0},
      {"12345678901234567890123456789012345678901234567890123456789012345", false, "", 0, 0},  // 65 digits
      {"1e64", false, "", 0, 0},
      {"0.1234567890123456789012345678901234567890123456789012345678901234", false, "", 0, 0},  // 64 decimals
      {"abc", false, "", 0, 0},
      {"", false, "", 0, 0},
      {"1,5", false, "", 0, 0},
  };
  for (const Row& R : Rows) {
    TBcd B;
    ASSERT_EQ(TryStrToBcd(R.In, B), R.Ok) << R.In;
    if (!R.Ok) continue;
    EXPECT_EQ(BcdToStr(B), R.Out) << R.In;
    EXPECT_EQ(BcdPrecision(B), R.Precision) << R.In;
    EXPECT_EQ(BcdScale(B), R.Scale) << R.In;
  }
  EXPECT_THROW(StrToBcd("x"), EConvertError);
  SetDefaultLocale("de_DE");
  EXPECT_EQ(BcdToStr(StrToBcd("1,25")), "1,25");
}

TEST_F(BcdTest, MalformedRecordsAreReadSafely) {
  // A precision beyond 64 digits reads only the 64 digits the record holds;
  // more places than digits mean leading zeros after the point.
  TBcd B;
  B.Precision = 200;
  B.SetDigit(63, 5);
  EXPECT_EQ(BcdToStr(B), "5");
  TBcd C;
  C.Precision = 1;
  C.SetDigit(0, 7);
  C.SignSpecialPlaces = 0x80 | 3;
  EXPECT_EQ(BcdToStr(C), "-0.007");
  EXPECT_EQ(BcdCompare(C, StrToBcd("-0.007")), 0);
}

TEST_F(BcdTest, CompareByValueNotScale) {
  EXPECT_EQ(BcdCompare(StrToBcd("1.5"), StrToBcd("1.50")), 0);
  EXPECT_LT(BcdCompare(StrToBcd("-2"), StrToBcd("-1.99")), 0);
  EXPECT_GT(BcdCompare(StrToBcd("10"), StrToBcd("9.999")), 0);
  EXPECT_LT(BcdCompare(StrToBcd("0.001"), StrToBcd("0.01")), 0);
  EXPECT_EQ(BcdCompare(StrToBcd("0"), StrToBcd("-0.0")), 0);
  EXPECT_EQ(BcdCompare(NullBcd(), IntegerToBcd(0)), 0);
}

TEST_F(BcdTest, ConversionsWithCurrencyIntegersAndDoubles) {
  TBcd B;
  ASSERT_TRUE(CurrToBCD(Currency::FromScaled(-123456), B));
  EXPECT_EQ(BcdToStr(B), "-12.3456");
  ASSERT_TRUE(CurrToBCD(Currency::FromScaled(123456), B, 32, 2));
  EXPECT_EQ(BcdToStr(B), "12.35");
  EXPECT_FALSE(CurrToBCD(Currency::FromScaled(123456), B, 3, 2));  // 12.35 needs 4 digits
  Currency C;
  ASSERT_TRUE(BCDToCurr(StrToBcd("1.23455"), C));
  EXPECT_EQ(C.Scaled(), 12346);
  EXPECT_FALSE(BCDToCurr(StrToBcd("1e20"), C));
  EXPECT_EQ(BcdToStr(IntegerToBcd(INT64_MIN)), "-9223372036854775808");
  EXPECT_EQ(BcdToInt64(StrToBcd("-9223372036854775808")), INT64_MIN);
  EXPECT_THROW(BcdToInt64(StrToBcd("9223372036854775808")), EOverflow);
  EXPECT_EQ(BcdToInt64(StrToBcd("-7.9")), -7);
  EXPECT_EQ(BcdToStr(DoubleToBcd(0.1)), "0.1");
  EXPECT_EQ(BcdToStr(DoubleToBcd(-1.5e-10)), "-0.00000000015");
  EXPECT_THROW(DoubleToBcd(INFINITY), EConvertError);
  EXPECT_THROW(DoubleToBcd(1e100), EOverflow);
  EXPECT_EQ(BcdToStr(BcdRound(StrToBcd("2.345"), 2)), "2.35");
  EXPECT_EQ(BcdToStr(BcdRound(StrToBcd("-2.5"), 0)), "-3");
}

TEST_F(BcdTest, RandomRoundTrips) {
  std::mt19937_64 Rng(7);
  for (const char* Locale : {"en_US", "de_DE"}) {
    SetDefaultLocale(Locale);
    for (int N = 0; N < 3000; ++N) {
      // Random digit strings with random scale and sign.
      const int Digits = 1 + static_cast<int>(Rng() % 64);
      // At most 63 decimals: the scale has six bits.
      const int Scale = static_cast<int>(Rng() % static_cast<std::uint64_t>(std::min(Digits, 63) + 1));
      std::string S = Rng() % 2 ? "-" : "";
      for (int K = 0; K < Digits; ++K) {
        if (K == Digits - Scale && Scale > 0) S += K == 0 ? "0" : "", S += FormatSettings().DecimalSeparator;
        S.push_back(static_cast<char>('0' + Rng() % 10));
      }
      TBcd B;
      ASSERT_TRUE(TryStrToBcd(S, B)) << S;
      TBcd Back;
      ASSERT_TRUE(TryStrToBcd(BcdToStr(B), Back)) << S;
      ASSERT_EQ(BcdCompare(B, Back), 0) << S;
      ASSERT_EQ(BcdScale(Back), Scale) << S;
      ASSERT_EQ(BcdToStr(Back), BcdToStr(B)) << S;

      // Doubles go through the shortest decimal and come back unchanged.
      double D;
      do {
        const std::uint64_t Bits = Rng();
        std::memcpy(&D, &Bits, sizeof D);
      } while (!std::isfinite(D) || std::fabs(D) > 1e60 || (D != 0 && std::fabs(D) < 1e-40));
      ASSERT_EQ(BcdToDouble(DoubleToBcd(D)), D) << D;
    }
  }
}

}  // namespace
}  // namespace fyndra
