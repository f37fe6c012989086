#include <fyndra/platform/rtl/variants.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

class VariantTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaultLocale("en_US"); }
  void TearDown() override { SetDefaultLocale("en_US"); }
};

TEST_F(VariantTest, ConstructorsGiveTheirTypes) {
  EXPECT_EQ(Variant().VarType(), varEmpty);
  EXPECT_EQ(Null().VarType(), varNull);
  EXPECT_EQ(Variant(5).VarType(), varInteger);
  EXPECT_EQ(Variant(std::int64_t{5}).VarType(), varInt64);
  EXPECT_EQ(Variant(1.5).VarType(), varDouble);
  EXPECT_EQ(Variant(true).VarType(), varBoolean);
  EXPECT_EQ(Variant(Currency(2)).VarType(), varCurrency);
  EXPECT_EQ(Variant("a").VarType(), varString);
  EXPECT_EQ(Variant(std::string_view("a")).VarType(), varString);
  EXPECT_EQ(Variant(u"a").VarType(), varOleStr);
  EXPECT_EQ(Variant::FromDateTime(1.0).VarType(), varDate);
  EXPECT_EQ(Variant(std::size_t{3}).VarType(), varInt64);
  EXPECT_THROW(Variant(std::uint64_t{1} << 63), ERangeError);
  EXPECT_EQ(VarFMTBcdCreate(IntegerToBcd(3)).VarType(), VarFMTBcd());
  EXPECT_EQ(VarSQLTimeStampCreate(TSQLTimeStamp{}).VarType(), VarSQLTimeStamp());
  EXPECT_NE(VarFMTBcd(), VarSQLTimeStamp());
  EXPECT_TRUE(VarIsStr(Variant(u"w")));
  EXPECT_TRUE(VarIsNumeric(Variant(Currency(1))));
  EXPECT_FALSE(VarIsNumeric(Variant("1")));
  EXPECT_EQ(VarTypeAsText(varString | varArray), "Array String");
}

TEST_F(VariantTest, CopiesShareTextButArraysCopyOnWrite) {
  Variant A = VarArrayOf({1, "two", 3.0});
  Variant B = A;
  B[1] = Variant("changed");
  EXPECT_EQ(A[1].AsString(), "two");
  EXPECT_EQ(B[1].AsString(), "changed");
  EXPECT_TRUE(VarIsArray(A));
  EXPECT_EQ(VarArrayLowBound(A, 1), 0);
  EXPECT_EQ(VarArrayHighBound(A, 1), 2);
  EXPECT_THROW(A[3], ERangeError);
  EXPECT_THROW(A[-1], ERangeError);
  EXPECT_THROW(VarArrayHighBound(Variant(1), 1), EVariantError);
  EXPECT_THROW(VarArrayHighBound(A, 2), EVariantError);
  EXPECT_THROW(Variant(1)[0], EVariantError);
  EXPECT_THROW(VarToStr(A), EVariantTypeCastError);
  const Variant Empty = VarArrayOf(std::vector<Variant>{});
  EXPECT_EQ(VarArrayHighBound(Empty, 1), -1);
}

TEST_F(VariantTest, AsTypeConversions) {
  struct Row { Variant From; TVarType To; Variant Expected; };
  const Row Rows[] = {
      {Variant("42"), varInteger, Variant(42)},
      {Variant(" -7 "), varSmallint, Variant::MakeInt(varSmallint, -7)},
      {Variant("1.5"), varDouble, Variant(1.5)},
      {Variant("12.5"), varCurrency, Variant(Currency::FromScaled(125000))},
      {Variant("true"), varBoolean, Variant(true)},
      {Variant("12/31/2020"), varDate, Variant::FromDateTime(EncodeDate(2020, 12, 31))},
      {Variant(2.5), varInteger, Variant(2)},   // ties to even
      {Variant(3.5), varInteger, Variant(4)},
      {Variant(-2.5), varInt64, Variant(std::int64_t{-2})},
      {Variant(Currency::FromScaled(25000)), varInteger, Variant(2)},
      {Variant(true), varInteger, Variant(-1)},
      {Variant(0), varBoolean, Variant(false)},
      {Variant(5), varString, Variant("5")},
      {Variant(1.5), varString, Variant("1.5")},
      {Variant(true), varString, Variant("True")},
      {Variant(Currency::FromScaled(125000)), varString, Variant("12.5")},
      {Variant(u"wide"), varString, Variant("wide")},
      {Variant("narrow"), varOleStr, Variant(u"narrow")},
      {Variant(), varInteger, Variant(0)},
      {Variant(), varString, Variant("")},
      {Variant(7), varDouble, Variant(7.0)},
      {Variant(7), varFMTBcdCode, Variant(IntegerToBcd(7))},
      {Variant("1.25"), varFMTBcdCode, Variant(StrToBcd("1.25"))},
      {Variant(42), varNull, Null()},
  };
  for (const Row& R : Rows) {
    const Variant V = VarAsType(R.From, R.To);
    EXPECT_EQ(V.VarType(), R.Expected.VarType()) << VarToStr(R.From) << " -> " << VarTypeAsText(R.To);
    EXPECT_TRUE(VarSameValue(V, R.Expected)) << VarToStr(R.From) << " -> " << VarTypeAsText(R.To) << ": " << VarToStr(V);
  }
  // Flags are masked off.
  EXPECT_EQ(VarAsType(Variant("3"), varInteger | varByRef).VarType(), varInteger);
  // A single keeps its own shortest text.
  EXPECT_EQ(VarToStr(VarAsType(Variant(0.1), varSingle)), "0.1");
}

TEST_F(VariantTest, FailedConversionsRaiseTheirErrors) {
  // Null converts to nothing but text through VarToStr.
  EXPECT_THROW(VarAsType(Null(), varString), EVariantTypeCastError);
  EXPECT_THROW(VarAsType(Null(), varInteger), EVariantTypeCastError);
  EXPECT_EQ(VarToStr(Null()), "");
  EXPECT_EQ(VarToStrDef(Null(), "n/a"), "n/a");
  EXPECT_EQ(VarToDateTime(Null()), 0);
  // Texts that do not parse.
  EXPECT_THROW(VarAsType(Variant("abc"), varInteger), EConvertError);
  EXPECT_THROW(VarAsType(Variant("1.5"), varInteger), EConvertError);
  EXPECT_THROW(VarAsType(Variant(""), varDouble), EConvertError);
  EXPECT_THROW(VarAsType(Variant("maybe"), varBoolean), EConvertError);
  EXPECT_THROW(Variant("x").AsDateTime(), EConvertError);
  // Narrowing out of range raises instead of wrapping.
  EXPECT_THROW(VarAsType(Variant(70000), varSmallint), ERangeError);
  EXPECT_THROW(VarAsType(Variant(-1), varByte), ERangeError);
  EXPECT_THROW(VarAsType(Variant(256), varByte), ERangeError);
  EXPECT_THROW(VarAsType(Variant(std::int64_t{1} << 40), varInteger), ERangeError);
  EXPECT_THROW(VarAsType(Variant(1e300), varInt64), ERangeError);
  EXPECT_THROW(VarAsType(Variant(std::nan("")), varInteger), ERangeError);
  EXPECT_THROW(VarAsType(Variant("99999999999"), varInteger), ERangeError);
  EXPECT_THROW(VarAsType(Variant(1e300), varSingle), EOverflow);
  EXPECT_THROW(VarAsType(Variant(1e300), varCurrency), EOverflow);
  EXPECT_THROW(Variant(1e20).AsCurrency(), EOverflow);
  // Types that do not convert at all.
  EXPECT_THROW(VarAsType(Variant(1), varDispatch), EVariantTypeCastError);
  EXPECT_THROW(VarAsType(Variant(true), varSQLTimeStampCode), EVariantTypeCastError);
  EXPECT_EQ(Variant(255).AsInteger(), 255);
  EXPECT_EQ(VarAsType(Variant(255), varByte).RawInt(), 255);
}

TEST_F(VariantTest, TextConversionsFollowTheLocale) {
  SetDefaultLocale("de_DE");
  EXPECT_EQ(Variant("1,5").AsDouble(), 1.5);
  EXPECT_THROW(Variant("1.5").AsDouble(), EConvertError);
  EXPECT_EQ(VarToStr(Variant(1.5)), "1,5");
  const TDateTime D = EncodeDate(2021, 3, 4);
  EXPECT_EQ(VarToStr(Variant::FromDateTime(D)), "04.03.2021");
  EXPECT_EQ(Variant("04.03.2021").AsDateTime(), D);
}

TEST_F(VariantTest, ComparisonRules) {
  using R = TVariantRelationship;
  struct Row { Variant A; Variant B; R Expected; };
  const Row Rows[] = {
      {Variant(1), Variant(2), vrLessThan},
      {Variant(2), Variant(1.5), vrGreaterThan},
      {Variant(std::int64_t{9007199254740993}), Variant(9007199254740992.0), vrGreaterThan},  // exact
      {Variant("10"), Variant(9), vrGreaterThan},   // text converts to a number
      {Variant(9), Variant("10"), vrLessThan},
      {Variant("1.5"), Variant(1), vrGreaterThan},
      {Variant("10"), Variant("9"), vrLessThan},    // two texts compare as texts
      {Variant("abc"), Variant("ABC"), vrLessThan}, // case-sensitive
      {Variant("abc"), Variant(u"abc"), vrEqual},
      {Variant(Currency::FromScaled(15000)), Variant(1.5), vrEqual},
      {Variant(Currency::FromScaled(15000)), Variant(2), vrLessThan},
      {Variant(true), Variant(false), vrGreaterThan},
      {Variant(true), Variant(-1), vrEqual},        // True is -1 as a number
      {Variant::FromDateTime(EncodeDate(2020, 1, 2)), Variant("1/1/2020"), vrGreaterThan},
      {Variant(StrToBcd("1.50")), Variant(1.5), vrEqual},
      {Variant(StrToBcd("0.1")), Variant(0.1), vrEqual},
      {Variant(StrToBcd("2")), Variant("10"), vrLessThan},
      {Null(), Null(), vrEqual},
      {Variant(), Variant(), vrEqual},
      {Null(), Variant(1), vrNotEqual},
      {Variant(), Variant(0), vrNotEqual},
      {Null(), Variant(), vrNotEqual},
      {Variant(std::nan("")), Variant(1.0), vrNotEqual},
  };
  for (const Row& Case : Rows) {
    EXPECT_EQ(VarCompareValue(Case.A, Case.B), Case.Expected) << VarToStr(Case.A) << " vs " << VarToStr(Case.B);
  }
  EXPECT_THROW(VarCompareValue(Variant("abc"), Variant(1)), EConvertError);
  EXPECT_THROW(static_cast<void>(Variant(1) < Variant("x")), EConvertError);
}

TEST_F(VariantTest, OperatorsAndNull) {
  // Null equals only Null and sorts below every other value.
  EXPECT_TRUE(Null() == Null());
  EXPECT_FALSE(Null() == Variant(0));
  EXPECT_FALSE(Null() == Variant());
  EXPECT_TRUE(Null() != Variant(""));
  EXPECT_TRUE(Null() < Variant(-100));
  EXPECT_TRUE(Null() < Variant());
  EXPECT_FALSE(Variant(-100) < Null());
  EXPECT_FALSE(Null() < Null());
  EXPECT_TRUE(Null() <= Null());
  // Unassigned behaves as zero or the empty text in the operators.
  EXPECT_TRUE(Variant() == Variant(0));
  EXPECT_TRUE(Variant() == Variant(""));
  EXPECT_TRUE(Variant() < Variant(1));
  EXPECT_TRUE(Variant() < Variant("a"));
  // VarSameValue never raises.
  EXPECT_FALSE(VarSameValue(Variant("abc"), Variant(1)));
  EXPECT_FALSE(VarSameValue(Variant(), Variant(0)));
  EXPECT_TRUE(VarSameValue(Variant("5"), Variant(5)));
  EXPECT_TRUE(VarSameValue(Null(), Null()));
  EXPECT_TRUE(Variant(2) >= Variant(2.0));
  // NaN is unordered: no operator but != holds.
  const Variant NaN(std::nan(""));
  EXPECT_FALSE(NaN <= Variant(1.0));
  EXPECT_FALSE(NaN >= Variant(1.0));
  EXPECT_FALSE(NaN < Variant(1.0));
  EXPECT_FALSE(NaN == NaN);
  EXPECT_TRUE(NaN != Variant(1.0));
  EXPECT_TRUE(Null() <= Variant(1));
  EXPECT_FALSE(Variant(1) <= Null());
  EXPECT_TRUE(Variant("b") > Variant("a"));
}

TEST_F(VariantTest, SQLTimeStampsAndDecimalsAsValues) {
  const TSQLTimeStamp TS{2020, 2, 29, 23, 59, 58, 999};
  const Variant V = VarSQLTimeStampCreate(TS);
  EXPECT_TRUE(VarIsSQLTimeStamp(V));
  EXPECT_EQ(V.AsSQLTimeStamp(), TS);
  EXPECT_EQ(VarToStr(V), "2/29/2020 11:59:58.999 PM");
  EXPECT_EQ(VarAsType(Variant(VarToStr(V)), VarSQLTimeStamp()).AsSQLTimeStamp(), TS);
  EXPECT_EQ(SQLTimeStampToDateTime(V.AsSQLTimeStamp()), V.AsDateTime());
  EXPECT_TRUE(V > Variant::FromDateTime(EncodeDate(2020, 2, 29)));
  EXPECT_TRUE(V == Variant("2/29/2020 11:59:58.999 PM"));

  const Variant B = VarFMTBcdCreate(StrToBcd("-123456789012345678901234567890.125"));
  EXPECT_TRUE(VarIsFMTBcd(B));
  EXPECT_EQ(VarToStr(B), "-123456789012345678901234567890.125");
  EXPECT_EQ(VarAsType(Variant(VarToStr(B)), VarFMTBcd()).AsBcd().Precision, B.AsBcd().Precision);
  EXPECT_TRUE(B < Variant(0));
  EXPECT_THROW(B.AsInt64(), ERangeError);
  EXPECT_EQ(VarFMTBcdCreate(StrToBcd("2.5")).AsInteger(), 2);
  EXPECT_EQ(VarFMTBcdCreate(StrToBcd("-3.5")).AsInteger(), -4);
}

}  // namespace
}  // namespace fyndra
