#include <fyndra/platform/rtl/sqltimst.h>

#include <gtest/gtest.h>

#include <random>

#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

class SQLTimeStampTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaultLocale("en_US"); }
  void TearDown() override { SetDefaultLocale("en_US"); }
};

TEST_F(SQLTimeStampTest, ValidityAndDateTimeConversion) {
  EXPECT_TRUE(IsSQLTimeStampValid(TSQLTimeStamp{}));
  EXPECT_TRUE(IsSQLTimeStampValid(TSQLTimeStamp{2000, 2, 29, 0, 0, 0, 0}));
  EXPECT_FALSE(IsSQLTimeStampValid(TSQLTimeStamp{2001, 2, 29, 0, 0, 0, 0}));
  EXPECT_FALSE(IsSQLTimeStampValid(TSQLTimeStamp{2001, 1, 1, 24, 0, 0, 0}));
  EXPECT_FALSE(IsSQLTimeStampValid(TSQLTimeStamp{2001, 1, 1, 0, 0, 0, 1000}));
  EXPECT_FALSE(IsSQLTimeStampValid(TSQLTimeStamp{-5, 1, 1, 0, 0, 0, 0}));
  EXPECT_THROW(SQLTimeStampToDateTime(TSQLTimeStamp{2001, 13, 1, 0, 0, 0, 0}), EConvertError);
  EXPECT_EQ(SQLTimeStampToDateTime(TSQLTimeStamp{1899, 12, 29, 6, 0, 0, 0}), -1.25);
  EXPECT_EQ(DateTimeToSQLTimeStamp(-1.25), (TSQLTimeStamp{1899, 12, 29, 6, 0, 0, 0}));
  EXPECT_LT(SQLTimeStampCompare(TSQLTimeStamp{2000, 1, 1, 0, 0, 0, 1}, TSQLTimeStamp{2000, 1, 1, 0, 0, 1, 0}), 0);
  EXPECT_EQ(SQLTimeStampToStr("yyyy-mm-dd hh:nn:ss.zzz", TSQLTimeStamp{2021, 3, 4, 5, 6, 7, 8}),
            "2021-03-04 05:06:07.008");
  EXPECT_EQ(SQLTimeStampToStr("", TSQLTimeStamp{}), "");
  EXPECT_THROW(StrToSQLTimeStamp("not a time"), EConvertError);
}

TEST_F(SQLTimeStampTest, RandomTextRoundTrips) {
  std::mt19937 Rng(99);
  for (const char* Locale : {"en_US", "de_DE", "ja_JP"}) {
    SetDefaultLocale(Locale);
    for (int N = 0; N < 1000; ++N) {
      TSQLTimeStamp TS;
      TS.Year = static_cast<std::int16_t>(1 + Rng() % 9999);
      TS.Month = static_cast<std::uint16_t>(1 + Rng() % 12);
      TS.Day = static_cast<std::uint16_t>(1 + Rng() % DaysInMonth(TS.Year, TS.Month));
      TS.Hour = static_cast<std::uint16_t>(Rng() % 24);
      TS.Minute = static_cast<std::uint16_t>(Rng() % 60);
      TS.Second = static_cast<std::uint16_t>(Rng() % 60);
      TS.Fractions = N % 3 == 0 ? 0 : Rng() % 1000;
      const std::string S = SQLTimeStampToStr("", TS);
      TSQLTimeStamp Back;
      ASSERT_TRUE(TryStrToSQLTimeStamp(S, Back)) << Locale << " " << S;
      ASSERT_EQ(Back, TS) << Locale << " " << S;
    }
  }
}

}  // namespace
}  // namespace fyndra
