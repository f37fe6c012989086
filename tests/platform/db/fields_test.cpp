#include <fyndra/platform/db/fields.h>

#include <limits>
#include <sstream>

#include "dbtest.h"

namespace fyndra::test {
namespace {

// A client dataset with one column of Type, holding Value in its one record.
struct TOneColumn {
  TOwned<TClientDataSet> DS = CreateOwned<TClientDataSet>(nullptr);
  TField* F = nullptr;
  TOneColumn(TFieldType Type, int Size = 0) {
    DS->GetFieldDefs()->Add("V", Type, Size);
    DS->CreateDataSet();
    F = DS->FieldByName("V");
    DS->Append();
  }
  ~TOneColumn() {
    if (DS->State() == dsInsert) DS->Cancel();
  }
};

TEST(FieldConversions, TextWrittenIsReadBackThroughEveryAccessor) {
  SetDefaultLocale("en_US");
  struct TCase {
    TFieldType Type;
    const char* Text;
    const char* AsString;
    double AsFloat;
    Variant AsVariant;
  } Cases[] = {
      {ftInteger, " 42 ", "42", 42, Variant(std::int32_t(42))},
      {ftSmallint, "-7", "-7", -7, Variant::MakeInt(varSmallint, -7)},
      {ftWord, "65535", "65535", 65535, Variant::MakeInt(varWord, 65535)},
      {ftLargeint, "9000000000", "9000000000", 9e9, Variant(std::int64_t(9000000000LL))},
      {ftFloat, "2.5", "2.5", 2.5, Variant(2.5)},
      {ftCurrency, "1.25", "1.25", 1.25, Variant(Currency(1.25))},
      {ftBCD, "3.1416", "3.1416", 3.1416, Variant(Currency::FromScaled(31416))},
      {ftBoolean, "true", "True", 0, Variant(true)},
      {ftString, "abc", "abc", 0, Variant("abc")},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::string(FieldTypeName(C.Type)) + " " + C.Text);
    TOneColumn T(C.Type, C.Type == ftString ? 10 : 0);
    T.F->SetAsString(C.Text);
    EXPECT_EQ(T.F->AsString(), C.AsString);
    if (C.AsFloat != 0) {
      EXPECT_DOUBLE_EQ(T.F->AsFloat(), C.AsFloat);
    }
    EXPECT_TRUE(VarSameValue(T.F->AsVariant(), C.AsVariant));
    EXPECT_EQ(T.F->AsVariant().VarType(), C.AsVariant.VarType());
    T.F->SetAsString("");  // empty text clears a non-text field
    EXPECT_EQ(T.F->IsNull(), C.Type != ftString);
  }
}

TEST(FieldConversions, ValuesOutsideTheTypeAreRefused) {
  struct TCase {
    TFieldType Type;
    Variant Value;
  } Cases[] = {
      {ftSmallint, Variant(std::int32_t(32768))},  {ftWord, Variant(std::int32_t(-1))},
      {ftInteger, Variant(std::int64_t(1) << 40)}, {ftInteger, Variant(3e10)},
      {ftInteger, Variant("1.5x")},                {ftFloat, Variant("one")},
      {ftBoolean, Variant("maybe")},               {ftDate, Variant("32/13/2020")},
      {ftBCD, Variant("1e999")},                   {ftString, Variant(std::string(11, 'x'))},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(std::string(FieldTypeName(C.Type)) + " " + VarToStr(C.Value));
    TOneColumn T(C.Type, C.Type == ftString ? 10 : 0);
    EXPECT_THROW(T.F->SetAsVariant(C.Value), Exception);
    EXPECT_TRUE(T.F->IsNull());  // nothing half-written
  }
}

TEST(FieldConversions, ReadingAsAnotherTypeConvertsOrRaises) {
  TOneColumn T(ftLargeint);
  T.F->SetAsLargeInt(std::int64_t(1) << 40);
  EXPECT_THROW(T.F->AsInteger(), EDatabaseError);  // does not fit 32 bits
  EXPECT_EQ(T.F->AsFloat(), double(std::int64_t(1) << 40));
  TOneColumn B(ftBoolean);
  B.F->SetAsBoolean(false);
  EXPECT_THROW(B.F->AsDateTime(), EDatabaseError);
  EXPECT_EQ(B.F->AsInteger(), 0);
  TOneColumn S(ftString, 10);
  S.F->SetAsString("12");
  EXPECT_EQ(S.F->AsInteger(), 12);
  EXPECT_EQ(S.F->AsCurrency(), Currency(12));
}

// A string field's size counts characters however many bytes each takes;
// the text survives posting, reopening and a round trip through a file.
TEST(FieldConversions, StringSizeCountsCharactersNotBytes) {
  struct TCase {
    const char* Text;
    bool Fits;
  } Cases[] = {
      {"\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9", true},            // "äöüßé": 5 characters, 10 bytes
      {"\xF0\x9F\x98\x80\xE2\x82\xAC\x61\xE4\xB8\xAD\xC3\xA9", true},  // 4-, 3-, 1-, 3-, 2-byte characters
      {"abcde", true},
      {"", true},
      {"\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9x", false},  // six characters
      {"abcdef", false},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.Text);
    TOneColumn T(ftString, 5);
    if (!C.Fits) {
      EXPECT_THROW(T.F->SetAsString(C.Text), EDatabaseError);
      EXPECT_TRUE(T.F->IsNull());
      continue;
    }
    T.F->SetAsString(C.Text);
    EXPECT_EQ(T.F->AsString(), C.Text);
    T.DS->Post();
    EXPECT_EQ(T.F->AsString(), C.Text);
    std::stringstream File;
    T.DS->SaveToStream(File);
    auto Back = CreateOwned<TClientDataSet>(nullptr);
    Back->LoadFromStream(File);
    EXPECT_EQ(Back->FieldByName("V")->GetSize(), 5);
    EXPECT_EQ(Back->FieldByName("V")->AsString(), C.Text);
  }
}

TEST(FieldPresentation, BooleanDisplayValuesAndCurrencyText) {
  SetDefaultLocale("en_US");
  TOneColumn B(ftBoolean);
  auto* BF = static_cast<TBooleanField*>(B.F);
  BF->SetDisplayValues("Yes;No");
  B.F->SetAsString("yes");
  EXPECT_TRUE(B.F->AsBoolean());
  EXPECT_EQ(B.F->GetDisplayText(), "Yes");
  B.F->SetAsString("False");
  EXPECT_EQ(B.F->AsString(), "No");
  EXPECT_THROW(BF->SetDisplayValues("Yes"), EDatabaseError);
  TOneColumn C(ftCurrency);
  C.F->SetAsFloat(-1234.5);
  EXPECT_EQ(C.F->GetDisplayText(), "-$1,234.50");
  static_cast<TNumericField*>(C.F)->SetDisplayFormat("0.0");
  EXPECT_EQ(C.F->GetDisplayText(), "-1234.5");
  TOneColumn Blob(ftBlob);
  Blob.F->SetAsString("bytes");
  EXPECT_EQ(Blob.F->GetDisplayText(), "(Blob)");
}

TEST(FieldDefinitions, DuplicateAndEmptyNamesAreRefused) {
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  auto* D = DS->GetFieldDefs();
  D->Add("A", ftInteger);
  EXPECT_THROW(D->Add("a", ftString, 5), EDatabaseError);
  EXPECT_THROW(D->Add("", ftString, 5), EDatabaseError);
  EXPECT_EQ(D->Count(), 1);
  EXPECT_EQ(D->Find("A")->GetFieldNo(), 1);
  EXPECT_THROW(D->Find("B"), EDatabaseError);
  EXPECT_EQ(D->FindDef("B"), nullptr);
  D->Add("X", ftCursor);  // a type the client dataset cannot hold
  EXPECT_THROW(DS->CreateDataSet(), EDatabaseError);
  EXPECT_FALSE(DS->GetActive());
}

// Sizes are bounded where they are set, so that no text field's buffer size
// (four bytes a character) can overflow; the refusal names the field.
TEST(FieldDefinitions, SizesBeyondTheBoundAreRefusedNamingTheField) {
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  DS->SetName("Wide");
  auto* Defs = DS->GetFieldDefs();
  auto Refused = [](auto&& Call) -> std::string {
    try {
      Call();
    } catch (const EDatabaseError& E) {
      return E.Message();
    }
    return "accepted";
  };
  EXPECT_EQ(Refused([&] { Defs->Add("HUGE", ftString, 1 << 29); }),
            "Wide: Invalid field size 536870912 for field 'HUGE': the size must lie between 0 and 1048576");
  EXPECT_EQ(Refused([&] { Defs->Add("NEG", ftBytes, -1); }),
            "Wide: Invalid field size -1 for field 'NEG': the size must lie between 0 and 1048576");
  EXPECT_EQ(Defs->Count(), 0);
  TFieldDef* Text = Defs->Add("TEXT", ftString, MaxFieldSize);
  EXPECT_NE(Refused([&] { Text->SetSize(MaxFieldSize + 1); }).find("'TEXT'"), std::string::npos);
  EXPECT_NE(Refused([&] { SetOrdProp(Text, "Size", std::int64_t{1} << 30); }).find("'TEXT'"), std::string::npos);
  EXPECT_EQ(Text->GetSize(), MaxFieldSize);
  // A persistent field's size is held to the same bound.
  TField* F = Text->CreateField(DS.get());
  EXPECT_EQ(Refused([&] { F->SetSize(std::numeric_limits<int>::max()); }),
            "Wide: Invalid field size 2147483647 for field 'TEXT': the size must lie between 0 and 1048576");
  EXPECT_EQ(F->GetSize(), MaxFieldSize);
  // The widest text field works: a value of that many four-byte characters
  // goes in, one more character is refused.
  DS->CreateDataSet();
  std::string Emoji;
  for (int I = 0; I < MaxFieldSize; ++I) Emoji += "\xF0\x9F\x98\x80";
  DS->Append();
  F->SetAsString(Emoji);
  DS->Post();
  EXPECT_EQ(F->AsString(), Emoji);
  DS->Edit();
  EXPECT_THROW(F->SetAsString(Emoji + "x"), EDatabaseError);
  DS->Cancel();
  EXPECT_EQ(F->AsString().size(), Emoji.size());
}

TEST(FieldDefinitions, PersistentFieldsBindByNameAndMustFitTheType) {
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  DS->GetFieldDefs()->Add("A", ftInteger);
  DS->GetFieldDefs()->Add("B", ftString, 8);
  // Only B is made persistent: A then has no field at all.
  TField* B = DS->GetFieldDefs()->Find("B")->CreateField(DS.get());
  DS->CreateDataSet();
  EXPECT_EQ(DS->FieldCount(), 1);
  EXPECT_FALSE(DS->DefaultFields());
  DS->AppendRecord({Variant("bee")});
  EXPECT_EQ(B->AsString(), "bee");
  DS->Close();
  // A field whose type does not fit its definition is refused at open.
  auto Wrong = CreateOwned<TClientDataSet>(nullptr);
  Wrong->GetFieldDefs()->Add("B", ftString, 8);
  TIntegerField* IntB = Create<TIntegerField>(Wrong.get());
  IntB->SetFieldName("B");
  IntB->SetDataSet(Wrong.get());
  EXPECT_THROW(Wrong->CreateDataSet(), EDatabaseError);
  EXPECT_FALSE(Wrong->GetActive());
  EXPECT_THROW(IntB->AsInteger(), EDatabaseError);  // closed
}

}  // namespace
}  // namespace fyndra::test

namespace fyndra::test {
namespace {

TEST(FieldDefinitions, DefinitionsAndFieldsArePublishedForStreaming) {
  TPeople P(FivePeople());
  TFieldDef* Id = P->GetFieldDefs()->Find("ID");
  EXPECT_EQ(GetEnumProp(Id, "DataType"), "ftInteger");
  SetEnumProp(Id, "DataType", "ftLargeint");
  EXPECT_EQ(Id->GetDataType(), ftLargeint);
  EXPECT_EQ(GetObjectProp(P.DS.get(), "FieldDefs"), P->GetFieldDefs());
  EXPECT_EQ(GetObjectProp(P.DS.get(), "IndexDefs"), P->GetIndexDefs());
  EXPECT_EQ(FindClass("TIntegerField"), TIntegerField::StaticClass());
  EXPECT_EQ(FindClass("TClientDataSet"), TClientDataSet::StaticClass());
  TField* Amount = P->FieldByName("AMOUNT");
  SetStrProp(Amount, "DisplayFormat", "0.000");
  EXPECT_EQ(Amount->GetDisplayText(), "10.500");
  EXPECT_EQ(GetObjectProp(Amount, "DataSet"), P.DS.get());
}

}  // namespace
}  // namespace fyndra::test
