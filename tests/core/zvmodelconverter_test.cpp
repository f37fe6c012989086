#include <fyndra/core/zvmodelconverter.h>

#include <gtest/gtest.h>

#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sqltimst.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>
#include "core/zvrecordmodel.h"

namespace fyndra {
namespace {

using rectest::NewRecordModel;
using rectest::TModelPtr;
using rectest::TRecordItem;

class ModelConverterTest : public ::testing::Test {
 protected:
  void SetUp() override { SetDefaultLocale("en_US"); }
  void TearDown() override { SetDefaultLocale("en_US"); }
};

struct ConvCase {
  const char* Label;
  Variant Source;
  TVarType Target;
  bool Ok;
  TVarType ResultType;  // checked when Ok
  Variant Expected;     // compared when Ok and not Null
};

TEST_F(ModelConverterTest, TryVarToVarTable) {
  const ConvCase Cases[] = {
      {"empty text to integer means no value", Variant(""), varInteger, true, varNull, Variant()},
      {"empty text to string stays text", Variant(""), varString, true, varString, Variant("")},
      {"empty wide text to double", Variant(u""), varDouble, true, varNull, Variant()},
      {"blanks are no integer", Variant("   "), varInteger, false, 0, Variant()},
      {"narrow types are not range-checked", Variant("70000"), varSmallint, true, varInteger,
       Variant(std::int32_t{70000})},
      {"byte target gives an integer", Variant("300"), varByte, true, varInteger, Variant(std::int32_t{300})},
      {"integer", Variant("12"), varInteger, true, varInteger, Variant(std::int32_t{12})},
      {"letters are no integer", Variant("abc"), varInteger, false, 0, Variant()},
      {"int64", Variant("9000000000"), varInt64, true, varInt64, Variant(std::int64_t{9000000000})},
      {"int64 too large for integer", Variant("9000000000"), varInteger, false, 0, Variant()},
      {"double", Variant("1.5"), varDouble, true, varDouble, Variant(1.5)},
      {"single gives a double", Variant("0.25"), varSingle, true, varDouble, Variant(0.25)},
      {"currency", Variant("12.34"), varCurrency, true, varCurrency, Variant(Currency::FromScaled(123400))},
      {"boolean", Variant("True"), varBoolean, true, varBoolean, Variant(true)},
      {"not a boolean", Variant("maybe"), varBoolean, false, 0, Variant()},
      {"wide text parses too", Variant(u"42"), varInteger, true, varInteger, Variant(std::int32_t{42})},
      {"text to empty type", Variant("x"), varEmpty, false, 0, Variant()},
      {"text to interface type", Variant("x"), varUnknown, false, 0, Variant()},
      {"text to dispatch type", Variant("x"), varDispatch, false, 0, Variant()},
      {"text to wide text", Variant("abc"), varOleStr, true, varOleStr, Variant(u"abc")},
      {"Null to date", Null(), varDate, true, varNull, Variant()},
      {"Null to integer", Null(), varInteger, true, varNull, Variant()},
      {"Null to wide text gives empty text", Null(), varOleStr, true, varString, Variant("")},
      {"Null to string", Null(), varString, true, varString, Variant("")},
      {"Null to string argument", Null(), varStrArg, true, varString, Variant("")},
      {"unassigned to string", Variant(), varString, false, 0, Variant()},
      {"unassigned to integer", Variant(), varInteger, false, 0, Variant()},
      {"integer to string", Variant(std::int32_t{5}), varString, true, varString, Variant("5")},
      {"double to integer", Variant(2.0), varInteger, true, varInteger, Variant(std::int32_t{2})},
      {"type flags are masked", Variant("7"), TVarType(varInteger | varByRef), true, varInteger,
       Variant(std::int32_t{7})},
      // The unsigned types take the whole unsigned 32-bit range and no sign.
      {"top of the unsigned range", Variant("4294967295"), varLongWord, true, varLongWord,
       Variant(std::uint32_t{4294967295u})},
      {"above the signed range", Variant("2147483648"), varLongWord, true, varLongWord,
       Variant(std::uint32_t{2147483648u})},
      {"unsigned in the signed range stays an integer", Variant("2147483647"), varLongWord, true, varInteger,
       Variant(std::int32_t{2147483647})},
      {"hexadecimal unsigned", Variant("$FFFFFFFF"), varLongWord, true, varLongWord,
       Variant(std::uint32_t{4294967295u})},
      {"beyond the unsigned range", Variant("4294967296"), varLongWord, false, 0, Variant()},
      {"negative long word", Variant("-1"), varLongWord, false, 0, Variant()},
      {"negative word", Variant("-5"), varWord, false, 0, Variant()},
      {"negative byte", Variant("-1"), varByte, false, 0, Variant()},
      {"word is not range-checked", Variant("70000"), varWord, true, varInteger, Variant(std::int32_t{70000})},
      {"signed types keep the signed range", Variant("4294967295"), varInteger, false, 0, Variant()},
  };
  for (const ConvCase& C : Cases) {
    SCOPED_TRACE(C.Label);
    Variant Dest = Variant("stale");
    const bool Ok = TryVarToVar(C.Source, Dest, C.Target);
    ASSERT_EQ(Ok, C.Ok);
    if (!Ok) continue;
    EXPECT_EQ(Dest.VarType() & varTypeMask, C.ResultType);
    if (C.ResultType != varNull) {
      EXPECT_TRUE(VarSameValue(Dest, C.Expected)) << VarToStr(Dest);
    }
  }
}

// What a user types into an edit bound to an unsigned 32-bit item reaches
// the item's operator and compares with the record's value.
TEST_F(ModelConverterTest, TypedUnsignedValueSelectsItsRecord) {
  TModelPtr Model = NewRecordModel("Finder");
  TRecordItem* Item = Model->AddItem("Id", varLongWord, 4, 0, {ciConvertValue}, Null());
  Variant Typed;
  ASSERT_TRUE(TryVarToVar(Variant("4294967295"), Typed, Item->GetDataType()));
  Item->SetAsVariant(Typed);
  Item->GetCompareModel()->DoDataChange();
  Item->Record = Variant(std::uint32_t{4294967295u});
  EXPECT_TRUE(Item->IsAgree());
  Item->Record = Variant(std::uint32_t{4294967294u});
  EXPECT_FALSE(Item->IsAgree());
}

TEST_F(ModelConverterTest, ParsersFollowTheLocale) {
  Variant Dest;
  SetDefaultLocale("de_DE");
  ASSERT_TRUE(TryVarToVar(Variant("1,5"), Dest, varDouble));
  EXPECT_DOUBLE_EQ(Dest.AsDouble(), 1.5);
  SetDefaultLocale("en_US");
  ASSERT_TRUE(TryVarToVar(Variant("1.5"), Dest, varDouble));
  EXPECT_DOUBLE_EQ(Dest.AsDouble(), 1.5);
}

TEST_F(ModelConverterTest, DatesStampsAndDecimalsRoundTripThroughText) {
  const TDateTime Day = EncodeDate(2021, 3, 14);
  Variant Dest;
  ASSERT_TRUE(TryVarToVar(Variant(DateToStr(Day)), Dest, varDate));
  EXPECT_EQ(Dest.VarType(), varDate);
  EXPECT_DOUBLE_EQ(Dest.AsDateTime(), Day);
  EXPECT_FALSE(TryVarToVar(Variant("31.02.x"), Dest, varDate));

  ASSERT_TRUE(TryVarToVar(Variant("12.345"), Dest, VarFMTBcd()));
  EXPECT_EQ(Dest.VarType(), VarFMTBcd());
  EXPECT_EQ(BcdToStr(Dest.AsBcd()), "12.345");
  EXPECT_FALSE(TryVarToVar(Variant("twelve"), Dest, VarFMTBcd()));

  const TSQLTimeStamp Stamp = DateTimeToSQLTimeStamp(Day + EncodeTime(10, 20, 30, 0));
  ASSERT_TRUE(TryVarToVar(Variant(DateTimeToStr(SQLTimeStampToDateTime(Stamp))), Dest, VarSQLTimeStamp()));
  EXPECT_EQ(Dest.VarType(), VarSQLTimeStamp());
  const TSQLTimeStamp Got = Dest.AsSQLTimeStamp();
  EXPECT_EQ(Got.Year, 2021);
  EXPECT_EQ(Got.Month, 3);
  EXPECT_EQ(Got.Day, 14);
  EXPECT_EQ(Got.Hour, 10);
  EXPECT_EQ(Got.Minute, 20);
  EXPECT_FALSE(TryVarToVar(Variant("noon"), Dest, VarSQLTimeStamp()));
}

TEST_F(ModelConverterTest, TextTypesAndPadding) {
  EXPECT_TRUE(VarTypeIsStr(varString));
  EXPECT_TRUE(VarTypeIsStr(varOleStr));
  EXPECT_TRUE(VarTypeIsStr(varString | varByRef));
  EXPECT_TRUE(VarTypeIsStr(varOleStr | varArray));
  EXPECT_FALSE(VarTypeIsStr(varStrArg));
  EXPECT_FALSE(VarTypeIsStr(varInteger));
  EXPECT_FALSE(VarTypeIsStr(varEmpty));

  EXPECT_EQ(AddChar('x', 3), "xxx");
  EXPECT_EQ(AddChar('x', 0), "");
  EXPECT_EQ(AddChar('x', -4), "");
  EXPECT_EQ(AddChar(char(0xFF), 2), std::string("\xFF\xFF"));
  EXPECT_EQ(AddWideChar(u'\xFFFF', 2), std::u16string(u"\xFFFF\xFFFF"));
  EXPECT_EQ(AddWideChar(u'a', -1), u"");
}

}  // namespace
}  // namespace fyndra
