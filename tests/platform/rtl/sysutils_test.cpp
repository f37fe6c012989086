#include <fyndra/platform/rtl/sysutils.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <cstring>
#include <random>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

class SysUtilsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaultLocale("en_US"); }
  void TearDown() override { SetDefaultLocale("en_US"); }
};

TEST_F(SysUtilsTest, SettingsComeFromTheLocale) {
  const TFormatSettings Us = FormatSettingsForLocale("en_US");
  EXPECT_EQ(Us.DecimalSeparator, '.');
  EXPECT_EQ(Us.ThousandSeparator, ',');
  EXPECT_EQ(Us.DateSeparator, '/');
  EXPECT_EQ(Us.TimeSeparator, ':');
  EXPECT_EQ(Us.ShortDateFormat, "M/d/yyyy");
  EXPECT_EQ(Us.LongTimeFormat, "h:nn:ss AMPM");
  EXPECT_EQ(Us.CurrencyString, "$");
  EXPECT_EQ(Us.CurrencyFormat, 0);
  EXPECT_EQ(Us.LongMonthNames[0], "January");

  SetDefaultLocale("de_DE");
  const TFormatSettings& De = FormatSettings();
  EXPECT_EQ(De.DecimalSeparator, ',');
  EXPECT_EQ(De.ThousandSeparator, '.');
  EXPECT_EQ(De.DateSeparator, '.');
  EXPECT_EQ(De.ShortDateFormat, "dd.MM.yyyy");
  EXPECT_EQ(De.LongTimeFormat, "hh:nn:ss");
  EXPECT_EQ(De.CurrencyString, "€");
  EXPECT_EQ(De.CurrencyFormat, 3);
  EXPECT_EQ(TextLocale(), "de_DE");
}

TEST_F(SysUtilsTest, IntegerParsing) {
  struct Row { const char* Text; bool Ok32; std::int32_t V32; bool Ok64; std::int64_t V64; };
  const Row Rows[] = {
      {"42", true, 42, true, 42},
      {" -17 ", true, -17, true, -17},
      {"+5", true, 5, true, 5},
      {"2147483647", true, 2147483647, true, 2147483647},
      {"2147483648", false, 0, true, 2147483648LL},
      {"-2147483648", true, INT32_MIN, true, -2147483648LL},
      {"9223372036854775807", false, 0, true, INT64_MAX},
      {"9223372036854775808", false, 0, false, 0},
      {"-9223372036854775808", false, 0, true, INT64_MIN},
      {"$FF", true, 255, true, 255},
      {"0x10", true, 16, true, 16},
      {"$FFFFFFFF", true, -1, true, 0xFFFFFFFFLL},
      {"", false, 0, false, 0},
      {"   ", false, 0, false, 0},
      {"1.5", false, 0, false, 0},
      {"12a", false, 0, false, 0},
      {"-", false, 0, false, 0},
      {"$", false, 0, false, 0},
  };
  for (const Row& R : Rows) {
    std::int32_t V32 = 0;
    std::int64_t V64 = 0;
    EXPECT_EQ(TryStrToInt(R.Text, V32), R.Ok32) << R.Text;
    if (R.Ok32) {
      EXPECT_EQ(V32, R.V32) << R.Text;
    }
    EXPECT_EQ(TryStrToInt64(R.Text, V64), R.Ok64) << R.Text;
    if (R.Ok64) {
      EXPECT_EQ(V64, R.V64) << R.Text;
    }
  }
  EXPECT_THROW(StrToInt("abc"), EConvertError);
  EXPECT_EQ(StrToIntDef("x", 7), 7);
}

TEST_F(SysUtilsTest, FloatAndCurrencyParsingUseTheDecimalSeparator) {
  double D = 0;
  Currency C;
  EXPECT_TRUE(TryStrToFloat("1.5", D));
  EXPECT_EQ(D, 1.5);
  EXPECT_TRUE(TryStrToFloat(" -2.5e3 ", D));
  EXPECT_EQ(D, -2500);
  EXPECT_TRUE(TryStrToFloat(".5", D));
  EXPECT_EQ(D, 0.5);
  EXPECT_FALSE(TryStrToFloat("1,5", D));
  EXPECT_FALSE(TryStrToFloat("1e", D));
  EXPECT_FALSE(TryStrToFloat("1e999", D));  // overflow fails
  EXPECT_TRUE(TryStrToFloat("1e-999", D));  // underflow is zero
  EXPECT_EQ(D, 0);
  EXPECT_TRUE(TryStrToFloat("INF", D));
  EXPECT_TRUE(std::isinf(D));
  float F = 0;
  EXPECT_FALSE(TryStrToFloat("1e39", F));
  EXPECT_TRUE(TryStrToFloat("0.1", F));
  EXPECT_EQ(F, 0.1f);

  EXPECT_TRUE(TryStrToCurr("12.34565", C));
  EXPECT_EQ(C.Scaled(), 123457);  // half away from zero at the fifth place
  EXPECT_TRUE(TryStrToCurr("-0.00005", C));
  EXPECT_EQ(C.Scaled(), -1);
  EXPECT_TRUE(TryStrToCurr("922337203685477.5807", C));
  EXPECT_EQ(C.Scaled(), INT64_MAX);
  EXPECT_FALSE(TryStrToCurr("922337203685477.5808", C));
  EXPECT_FALSE(TryStrToCurr("NAN", C));

  SetDefaultLocale("de_DE");
  EXPECT_TRUE(TryStrToFloat("1,5", D));
  EXPECT_EQ(D, 1.5);
  EXPECT_FALSE(TryStrToFloat("1.5", D));
  EXPECT_EQ(FloatToStr(1.5), "1,5");
  EXPECT_EQ(CurrToStr(Currency::FromScaled(-125000)), "-12,5");
}

TEST_F(SysUtilsTest, BooleanTexts) {
  bool B = false;
  struct Row { const char* Text; bool Ok; bool Value; };
  const Row Rows[] = {{"True", true, true}, {"false", true, false}, {" TRUE ", true, true}, {"0", true, false},
                      {"-1", true, true}, {"2.5", true, true}, {"yes", false, false}, {"", false, false}};
  for (const Row& R : Rows) {
    EXPECT_EQ(TryStrToBool(R.Text, B), R.Ok) << R.Text;
    if (R.Ok) {
      EXPECT_EQ(B, R.Value) << R.Text;
    }
  }
  EXPECT_EQ(BoolToStr(true), "-1");
  EXPECT_EQ(BoolToStr(false, true), "False");
}

TEST_F(SysUtilsTest, DateEncodingMatchesTheEpoch) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526);
  EXPECT_EQ(EncodeDate(1, 1, 1), MinDateTime);
  EXPECT_EQ(EncodeDate(9999, 12, 31), 2958465);
  TDateTime D;
  EXPECT_FALSE(TryEncodeDate(2001, 2, 29, D));
  EXPECT_TRUE(TryEncodeDate(2000, 2, 29, D));
  EXPECT_FALSE(TryEncodeDate(1900, 2, 29, D));
  EXPECT_FALSE(TryEncodeDate(0, 1, 1, D));
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);

  int Y, M, Dd, H, N, S, Z;
  // Before the epoch the fraction still counts forwards: -1.25 is 29 Dec 06:00.
  DecodeDateTime(-1.25, Y, M, Dd, H, N, S, Z);
  EXPECT_EQ(Y * 10000 + M * 100 + Dd, 18991229);
  EXPECT_EQ(H, 6);
  // A time that rounds up to 24:00 moves to the next day.
  DecodeDateTime(1.0 - 1e-10, Y, M, Dd, H, N, S, Z);
  EXPECT_EQ(Dd, 31);
  EXPECT_EQ(H, 0);
  EXPECT_EQ(DayOfWeek(EncodeDate(2024, 1, 1)), 2);  // a Monday
  DecodeDateTime(MinDateTime - 0.5, Y, M, Dd, H, N, S, Z);  // 0001-01-01 12:00
  EXPECT_EQ(Y * 10000 + M * 100 + Dd, 10101);
  EXPECT_EQ(H, 12);
  EXPECT_THROW(DecodeDate(MinDateTime - 1, Y, M, Dd), EConvertError);
  EXPECT_THROW(DecodeDate(std::nan(""), Y, M, Dd), EConvertError);
}

TEST_F(SysUtilsTest, DateAndTimeTexts) {
  const TDateTime V = EncodeDate(2020, 12, 31) + EncodeTime(13, 5, 9, 0);
  EXPECT_EQ(DateTimeToStr(V), "12/31/2020 1:05:09 PM");
  EXPECT_EQ(DateToStr(V), "12/31/2020");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2020, 12, 31)), "12/31/2020");  // midnight: no time
  EXPECT_EQ(DateTimeToStr(EncodeTime(0, 0, 1, 250)), "12:00:01.250 AM");
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz ddd mmmm", V + EncodeTime(0, 0, 0, 7)),
            "2020-12-31 13:05:09.007 Thu December");
  EXPECT_EQ(FormatDateTime("h:mm am/pm", V), "1:05 pm");
  EXPECT_EQ(FormatDateTime("'quoted' d/m/yy", V), "quoted 31/12/20");

  TDateTime P;
  struct Row { const char* Text; bool Ok; TDateTime Expected; };
  const Row Rows[] = {
      {"12/31/2020", true, EncodeDate(2020, 12, 31)},
      {"12/31/2020 1:05:09 PM", true, V},
      {"12/31/2020 13:05:09", true, V},
      {" 1/2/2003  12:00 am ", true, EncodeDate(2003, 1, 2)},
      {"12:30", true, EncodeTime(12, 30, 0, 0)},
      {"1:05:09.5 PM", true, EncodeTime(13, 5, 9, 500)},
      {"2/30/2020", false, 0},
      {"13/1/2020", false, 0},
      {"12/31/2020 25:00", false, 0},
      {"12/31/2020 13:00 PM", false, 0},
      {"12/31/2020x", false, 0},
      {"", false, 0},
      {"abc", false, 0},
  };
  for (const Row& R : Rows) {
    EXPECT_EQ(TryStrToDateTime(R.Text, P), R.Ok) << R.Text;
    if (R.Ok) {
      EXPECT_EQ(P, R.Expected) << R.Text;
    }
  }

  SetDefaultLocale("de_DE");
  EXPECT_EQ(DateTimeToStr(V), "31.12.2020 13:05:09");
  EXPECT_TRUE(TryStrToDateTime("31.12.2020 13:05:09", P));
  EXPECT_EQ(P, V);
  EXPECT_FALSE(TryStrToDate("12/31/2020", P));
}

// Locales whose formats hold words, unit signs or direction marks, or put a
// blank between two date fields: what the formatters write must read back.
TEST_F(SysUtilsTest, DatesAndTimesOfEveryLocaleStyleReadBack) {
  const char* const Locales[] = {"ar_EG", "bg_BG", "fr_CA", "dz_BT", "ee_GH", "kkj_CM", "ko_KR", "fi_FI"};
  const TDateTime Values[] = {EncodeDate(2023, 3, 15) + EncodeTime(14, 57, 46, 667), EncodeDate(2023, 3, 15),
                              EncodeTime(0, 0, 1, 0), ComposeDateTime(EncodeDate(1899, 12, 29), EncodeTime(6, 0, 0, 0))};
  for (const char* L : Locales) {
    const TFormatSettings F = FormatSettingsForLocale(L);
    for (TDateTime V : Values) {
      TDateTime Back = -1;
      const std::string Text = DateTimeToStr(V, F);
      EXPECT_TRUE(TryStrToDateTime(Text, Back, F) && Back == V) << L << ": " << Text;
      const std::string DateText = DateToStr(V, F);
      EXPECT_TRUE(TryStrToDate(DateText, Back, F) && Back == std::trunc(V)) << L << ": " << DateText;
    }
    TDateTime Back = -1;
    const std::string TimeText = TimeToStr(EncodeTime(23, 59, 59, 5), F);
    EXPECT_TRUE(TryStrToTime(TimeText, Back, F) && Back == EncodeTime(23, 59, 59, 5)) << L << ": " << TimeText;
    // The words must be there: a date alone does not read as a time.
    EXPECT_FALSE(TryStrToTime(DateToStr(Values[1], F) + " x", Back, F)) << L;
  }
}

TEST_F(SysUtilsTest, TwoDigitYearsUseTheCenturyWindow) {
  TFormatSettings F = FormatSettings();
  F.TwoDigitYearCenturyWindow = 50;
  TDateTime D;
  int Y, M, Dd, ThisYear;
  DecodeDate(Now(), ThisYear, M, Dd);
  ASSERT_TRUE(TryStrToDate("1/1/05", D, F));
  DecodeDate(D, Y, M, Dd);
  EXPECT_EQ(Y % 100, 5);
  EXPECT_LE(Y, ThisYear + 50);
  EXPECT_GT(Y, ThisYear - 50);
  ASSERT_TRUE(TryStrToDate("3/4", D, F));  // no year: this year
  DecodeDate(D, Y, M, Dd);
  EXPECT_EQ(Y, ThisYear);
  EXPECT_EQ(M, 3);
}

TEST_F(SysUtilsTest, NumberFormatting) {
  struct Row { double V; const char* Text; };
  const Row Rows[] = {
      {0, "0"}, {1.5, "1.5"}, {-2, "-2"}, {0.1, "0.1"}, {1e20, "1E20"}, {1.5e-7, "1.5E-7"},
      {0.0001, "0.0001"}, {123456789012345.0, "123456789012345"}, {1e15, "1E15"},
      {0.1 + 0.2, "0.30000000000000004"},
  };
  for (const Row& R : Rows) EXPECT_EQ(FloatToStr(R.V), R.Text) << R.V;
  EXPECT_EQ(FloatToStr(std::numeric_limits<double>::infinity()), "INF");
  EXPECT_EQ(CurrToStr(Currency::FromScaled(123400)), "12.34");
  EXPECT_EQ(CurrToStr(Currency::FromScaled(-5)), "-0.0005");
  EXPECT_EQ(IntToHex(255, 4), "00FF");

  struct Pic { const char* Fmt; double V; const char* Text; };
  const Pic Pics[] = {
      {"#,##0.00", 1234567.891, "1,234,567.89"},
      {"0.###", 1.5, "1.5"},
      {"0.00", 0.125, "0.13"},  // half away from zero on the decimal value
      {"000", 7, "007"},
      {"#", 0, ""},
      {"0.00;(0.00)", -3.5, "(3.50)"},
      {"0.00;(0.00);\"zero\"", 0, "zero"},
      {"0.00E+00", 12345, "1.23E+04"},
      {"$#,##0", -1234, "$-1,234"},
      {"0", -0.4, "0"},  // no minus sign on a value that rounds to zero
  };
  for (const Pic& P : Pics) EXPECT_EQ(FormatFloat(P.Fmt, P.V), P.Text) << P.Fmt << " " << P.V;
  EXPECT_EQ(FormatCurr("#,##0.0000", Currency::FromScaled(-12345678)), "-1,234.5678");
}

TEST_F(SysUtilsTest, FormatDirectives) {
  EXPECT_EQ(Format("%s = %d", {"x", 42}), "x = 42");
  EXPECT_EQ(Format("%1:s %0:s %s", {"a", "b"}), "b a b");
  EXPECT_EQ(Format("100%%", {}), "100%");
  EXPECT_EQ(Format("[%5s][%-5s][%.2s]", {"ab", "ab", "abc"}), "[   ab][ab   ][ab]");
  EXPECT_EQ(Format("[%*d]", {4, 7}), "[   7]");
  EXPECT_EQ(Format("[%-*d|%3s]", {3, 7, "ü"}), "[7  |  ü]");  // widths count characters
  EXPECT_EQ(Format("%.3d|%u|%x", {5, -1, 255}), "005|4294967295|FF");
  EXPECT_EQ(Format("%f|%.1f|%n|%e", {1.005, 2.25, 1234567.5, 1000.0}),
            "1.01|2.3|1,234,567.50|1.00000000000000E+003");
  EXPECT_EQ(Format("%g", {0.5}), "0.5");
  EXPECT_EQ(Format("%m", {Currency::FromScaled(-12345000)}), "-$1,234.50");
  EXPECT_EQ(Format("%s|%s", {Null(), true}), "|True");
  EXPECT_EQ(Format("%s", {std::u16string(u"wide")}), "wide");

  // Bad formats and mismatched arguments raise instead of reading garbage.
  EXPECT_THROW(Format("%d", {}), EConvertError);
  EXPECT_THROW(Format("%d", {"text"}), EConvertError);
  EXPECT_THROW(Format("%f", {"1.5"}), EConvertError);
  EXPECT_THROW(Format("%q", {1}), EConvertError);
  EXPECT_THROW(Format("abc %", {1}), EConvertError);
  EXPECT_THROW(Format("%5:s", {1}), EConvertError);

  SetDefaultLocale("de_DE");
  EXPECT_EQ(Format("%n|%m", {1234.5, 2.5}), "1.234,50|2,50 €");
}

// Formatting a value and parsing the text gives the same value back.
TEST_F(SysUtilsTest, RandomRoundTrips) {
  std::mt19937_64 Rng(20240601);
  for (const char* Locale : {"en_US", "de_DE", "fr_FR", "ja_JP", "ko_KR", "sv_SE", "fi_FI"}) {
    SetDefaultLocale(Locale);
    for (int N = 0; N < 2000; ++N) {
      // Doubles: random bit patterns (finite ones) and plain decimals.
      double D;
      do {
        const std::uint64_t Bits = Rng();
        std::memcpy(&D, &Bits, sizeof D);
      } while (!std::isfinite(D));
      if (N % 2) D = static_cast<double>(static_cast<std::int64_t>(Rng() % 2000000) - 1000000) / 1000.0;
      double Back = 0;
      const std::string T = FloatToStr(D);
      ASSERT_TRUE(TryStrToFloat(T, Back)) << Locale << " " << T;
      ASSERT_EQ(Back, D) << Locale << " " << T;

      const Currency C = Currency::FromScaled(static_cast<std::int64_t>(Rng()));
      Currency CB;
      ASSERT_TRUE(TryStrToCurr(CurrToStr(C), CB)) << CurrToStr(C);
      ASSERT_EQ(CB, C) << CurrToStr(C);

      // Date-times with millisecond precision across the whole range.
      const int Year = 1 + static_cast<int>(Rng() % 9999);
      const int Month = 1 + static_cast<int>(Rng() % 12);
      const int Day = 1 + static_cast<int>(Rng() % static_cast<std::uint64_t>(DaysInMonth(Year, Month)));
      const TDateTime DT = ComposeDateTime(EncodeDate(Year, Month, Day),
                           N % 5 == 0 ? 0
                                      : EncodeTime(static_cast<int>(Rng() % 24), static_cast<int>(Rng() % 60),
                                                    static_cast<int>(Rng() % 60), static_cast<int>(Rng() % 1000)));
      TDateTime DTB = 0;
      const std::string DTS = DateTimeToStr(DT);
      ASSERT_TRUE(TryStrToDateTime(DTS, DTB)) << Locale << " " << DTS;
      ASSERT_EQ(DTB, DT) << Locale << " " << DTS;
    }
  }
}

}  // namespace
}  // namespace fyndra
