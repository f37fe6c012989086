#include <fyndra/platform/db/dbclient.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>

#include "dbtest.h"

namespace fyndra::test {
namespace {

std::vector<TPeople::TRow> Unordered() {
  return {{3, "Carl", "Rome", 30}, {1, "anna", "Berlin", 10}, {5, "Eve", "Paris", 50},
          {2, "Bert", "Berlin", 20}, {4, "dora", "Oslo", 40}};
}

// ---------------------------------------------------------------- indexes

TEST(ClientIndexes, IndexFieldNamesOrdersAndStaysSortedThroughEdits) {
  TPeople P(Unordered());
  P->SetIndexFieldNames("ID");
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 2, 3, 4, 5}));
  P->AppendRecord({Variant(std::int32_t(0)), Variant("Zero")});
  EXPECT_EQ(P.Id(), 0);
  EXPECT_TRUE(P->Bof() || P->GetRecNo() == 1);
  P->Locate("ID", Variant(std::int32_t(2)), {});
  P->Edit();
  P->FieldByName("ID")->SetAsInteger(9);
  P->Post();
  EXPECT_EQ(P.Id(), 9);  // the edited record stays current at its new place
  EXPECT_EQ(P->GetRecNo(), 6);
  P->Locate("ID", Variant(std::int32_t(3)), {});
  P->Delete();
  EXPECT_EQ(P.Id(), 4);
  EXPECT_EQ(P.Ids(), (std::vector<int>{0, 1, 4, 5, 9}));
  P->SetIndexFieldNames("");
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 5, 9, 4, 0}));  // insertion order
  EXPECT_THROW(P->SetIndexFieldNames("ID;nope"), EDatabaseError);
  EXPECT_EQ(P->GetIndexFieldNames(), "");
}

TEST(ClientIndexes, SeveralIndexesAreMaintainedWithTheirKeyOptions) {
  TPeople P(Unordered());
  P->AddIndex("ByName", "NAME", {ixCaseInsensitive});
  P->AddIndex("ByNameCase", "NAME", {});
  P->AddIndex("ByCityDescId", "CITY;ID", {}, "ID");
  P->AddIndex("ByAmountDesc", "AMOUNT", {ixDescending});
  P->AppendRecord({Variant(std::int32_t(6)), Variant("bob"), Variant("Berlin"), Variant(5.0)});
  P->SetIndexName("ByName");
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 2, 6, 3, 4, 5}));
  P->SetIndexName("ByNameCase");
  std::vector<std::string> Names;
  for (P->First(); !P->Eof(); P->Next()) Names.push_back(P->FieldByName("NAME")->AsString());
  EXPECT_EQ(Names, (std::vector<std::string>{"anna", "Bert", "bob", "Carl", "dora", "Eve"}));  // locale order
  P->SetIndexName("ByCityDescId");
  EXPECT_EQ(P.Ids(), (std::vector<int>{6, 2, 1, 4, 5, 3}));
  P->SetIndexName("ByAmountDesc");
  EXPECT_EQ(P.Ids(), (std::vector<int>{5, 4, 3, 2, 1, 6}));
  EXPECT_THROW(P->SetIndexName("Missing"), EDatabaseError);
  EXPECT_EQ(P->GetIndexName(), "ByAmountDesc");
  P->SetIndexName("");
  EXPECT_EQ(P.Ids(), (std::vector<int>{3, 1, 5, 2, 4, 6}));
}

TEST(ClientIndexes, UniqueIndexRefusesDuplicatesAndNothingIsPosted) {
  TPeople P(Unordered());
  P->AddIndex("PK", "ID", {ixPrimary});
  P->AddIndex("ByName", "NAME", {});
  P->SetIndexName("ByName");
  EXPECT_THROW(P->AppendRecord({Variant(std::int32_t(2)), Variant("Twin")}), EDatabaseError);
  EXPECT_EQ(P->RecordCount(), 5);
  EXPECT_EQ(P->State(), dsBrowse);
  P->Locate("ID", Variant(std::int32_t(4)), {});
  P->Edit();
  P->FieldByName("ID")->SetAsInteger(1);
  EXPECT_THROW(P->Post(), EDatabaseError);
  EXPECT_EQ(P->State(), dsEdit);  // the edit is still there to be corrected
  P->Cancel();
  EXPECT_EQ(P.Id(), 4);
  P->SetIndexName("PK");
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 2, 3, 4, 5}));
  P->SetIndexName("ByName");
  EXPECT_EQ(P->RecordCount(), 5);
  EXPECT_THROW(P->AddIndex("CityUnique", "CITY", {ixUnique}), EDatabaseError);  // two Berlins
}

TEST(ClientIndexes, IndexDefsDescribeTheIndexFieldNamesOrder) {
  TPeople P(Unordered());
  P->SetIndexFieldNames("CITY");
  P->GetIndexDefs()->Update();
  TIndexDef* D = P->GetIndexDefs()->FindIndexForFields("CITY");
  ASSERT_NE(D, nullptr);
  EXPECT_EQ(D->GetFields(), "CITY");
  P->SetIndexFieldNames("");
  P->GetIndexDefs()->Update();
  EXPECT_THROW(P->GetIndexDefs()->FindIndexForFields("CITY"), EDatabaseError);
}

TEST(ClientIndexes, BookmarksSurviveReindexing) {
  TPeople P(Unordered());
  P->Locate("ID", Variant(std::int32_t(4)), {});
  TBookmark B = P->GetBookmark();
  P->SetIndexFieldNames("NAME");
  EXPECT_EQ(P.Id(), 4);  // changing the order keeps the current record
  P->First();
  P->GotoBookmark(B);
  EXPECT_EQ(P.Id(), 4);
  P->SetIndexFieldNames("AMOUNT");
  P->First();
  P->GotoBookmark(B);
  EXPECT_EQ(P.Id(), 4);
}

// A case-insensitive index orders by upper-case forms, as the record tests
// ignoring case compare: "Straße" is one key with "STRASSE", "ırmak" with
// "IRMAK". Key search, ranges and a later key field follow that order; a
// unique index still refuses only what it refused before (texts equal
// ignoring case alone), so files holding both spellings stay loadable.
TEST(ClientIndexes, CaseInsensitiveKeysAreUpperCaseForms) {
  SetDefaultLocale("en_US");
  TPeople P({{1, "irmak", "Bonn", 1}, {2, "Strasser", "Wien", 2}, {3, "IRMAK", "Zug", 3}, {4, "Straße", "Graz", 4},
             {5, "ırmak", "Aue", 5}, {6, "STRASSE", "Linz", 6}, {7, "Anna", "Rom", 7}});
  P->AddIndex("ByName", "NAME", {ixCaseInsensitive});
  P->AddIndex("ByNameCity", "NAME;CITY", {ixCaseInsensitive});
  P->SetIndexName("ByName");
  std::vector<std::string> Names;
  for (P->First(); !P->Eof(); P->Next()) Names.push_back(P->FieldByName("NAME")->AsString());
  ASSERT_EQ(Names.size(), 7u);
  for (std::size_t I = 1; I < Names.size(); ++I) EXPECT_LE(AnsiCompareUpperText(Names[I - 1], Names[I]), 0) << I;
  EXPECT_TRUE(P->FindKey({Variant("strasse")}));
  EXPECT_TRUE(P.Id() == 4 || P.Id() == 6);
  P->SetRange({Variant("IRMAK")}, {Variant("IRMAK")});
  EXPECT_EQ(P->RecordCount(), 3);
  P->CancelRange();
  // On two keys the records of one name stay ordered by the city: every
  // spelling of IRMAK from A to C.
  P->SetIndexName("ByNameCity");
  P->SetRange({Variant("irmak"), Variant("A")}, {Variant("IRMAK"), Variant("C")});
  EXPECT_EQ(P.Ids(), (std::vector<int>{5, 1}));
  P->CancelRange();
  P->FindNearest({Variant("IRMAK"), Variant("C")});
  EXPECT_EQ(P.Id(), 3);
  // A unique index: "Anna" and "ANNA" are one key, as they always were;
  // "Straße" and "STRASSE", "ırmak" and "IRMAK" may both be held.
  TPeople U({{1, "Straße", "Graz", 1}, {2, "ırmak", "Aue", 2}, {3, "Anna", "Rom", 3}});
  U->AddIndex("Unique", "NAME", {ixCaseInsensitive, ixUnique});
  U->AppendRecord({Variant(std::int32_t(4)), Variant("STRASSE")});
  U->AppendRecord({Variant(std::int32_t(5)), Variant("IRMAK")});
  EXPECT_THROW(U->AppendRecord({Variant(std::int32_t(6)), Variant("ANNA")}), EDatabaseError);
  EXPECT_EQ(U->RecordCount(), 5);
  // Editing a name to another spelling of its key keeps the index in order.
  U->SetIndexName("Unique");
  ASSERT_TRUE(U->Locate("ID", Variant(std::int32_t(3)), {}));
  U->Edit();
  U->FieldByName("NAME")->SetAsString("anna");
  U->Post();
  EXPECT_EQ(U.Ids(), (std::vector<int>{3, 5, 2, 4, 1}));  // ties by the texts ignoring case
  // Saved and loaded, the unique index is built again over both spellings.
  std::stringstream File;
  U->SaveToStream(File);
  auto Back = CreateOwned<TClientDataSet>(nullptr);
  Back->LoadFromStream(File);
  Back->SetIndexName("Unique");
  EXPECT_TRUE(Back->FindKey({Variant("STRASSE")}));
  Back->SetRange({Variant("STRASSE")}, {Variant("STRASSE")});
  EXPECT_EQ(Back->RecordCount(), 2);
}

// ---------------------------------------------------------------- key search

TEST(ClientKeySearch, FindKeyAndFindNearest) {
  TPeople P(Unordered());
  P->SetIndexFieldNames("ID");
  EXPECT_TRUE(P->FindKey({Variant(std::int32_t(3))}));
  EXPECT_EQ(P.Id(), 3);
  EXPECT_FALSE(P->FindKey({Variant(std::int32_t(7))}));
  EXPECT_EQ(P.Id(), 3);  // no move
  P->FindNearest({Variant(std::int32_t(0))});
  EXPECT_EQ(P.Id(), 1);
  P->FindNearest({Variant(std::int32_t(99))});
  EXPECT_EQ(P.Id(), 5);  // past the end: the last record
  P->SetKey();
  P->FieldByName("ID")->SetAsInteger(4);
  EXPECT_EQ(P->State(), dsSetKey);
  EXPECT_TRUE(P->GotoKey());
  EXPECT_EQ(P.Id(), 4);
  EXPECT_EQ(P->State(), dsBrowse);
}

TEST(ClientKeySearch, PartialKeysOnTwoFieldsAndCaseInsensitiveText) {
  TPeople P(Unordered());
  P->AppendRecord({Variant(std::int32_t(6)), Variant("Abe"), Variant("Berlin"), Variant(60.0)});
  P->AddIndex("CityName", "CITY;NAME", {ixCaseInsensitive});
  P->SetIndexName("CityName");
  EXPECT_TRUE(P->FindKey({Variant("berlin")}));  // first of Berlin by name
  EXPECT_EQ(P.Id(), 6);
  EXPECT_TRUE(P->FindKey({Variant("BERLIN"), Variant("bert")}));
  EXPECT_EQ(P.Id(), 2);
  P->FindNearest({Variant("Berlin"), Variant("B")});
  EXPECT_EQ(P.Id(), 2);
  P->FindNearest({Variant("P")});
  EXPECT_EQ(P.Id(), 5);
  EXPECT_THROW(P->FindKey({Variant("a"), Variant("b"), Variant("c")}), EDatabaseError);
  EXPECT_EQ(P->State(), dsBrowse);
}

TEST(ClientKeySearch, KeySearchNeedsAnIndexAndKeyFields) {
  TPeople P(Unordered());
  EXPECT_THROW(P->SetKey(), EDatabaseError);
  EXPECT_THROW(P->FindKey({Variant(std::int32_t(1))}), EDatabaseError);
  P->SetIndexFieldNames("ID");
  P->SetKey();
  EXPECT_THROW(P->FieldByName("NAME")->SetAsString("x"), EDatabaseError);
  P->Cancel();
  EXPECT_EQ(P->State(), dsBrowse);
}

// ---------------------------------------------------------------- ranges

TEST(ClientRanges, ClosedOpenAndDescendingRanges) {
  TPeople P(Unordered());
  P->SetIndexFieldNames("ID");
  P->SetRange({Variant(std::int32_t(2))}, {Variant(std::int32_t(4))});
  EXPECT_TRUE(P->GetRanged());
  EXPECT_EQ(P.Ids(), (std::vector<int>{2, 3, 4}));
  EXPECT_EQ(P->RecordCount(), 3);
  P->SetRecNo(2);  // numbered within the range
  EXPECT_EQ(P.Id(), 3);
  EXPECT_EQ(P->GetRecNo(), 2);
  P->SetRange({Variant(std::int32_t(3))}, {Variant()});  // no end
  EXPECT_EQ(P.Ids(), (std::vector<int>{3, 4, 5}));
  P->SetRangeStart();  // no start
  P->SetRangeEnd();
  P->FieldByName("ID")->SetAsInteger(2);
  P->ApplyRange();
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 2}));
  P->Next();
  P->Next();
  EXPECT_TRUE(P->Eof());
  EXPECT_EQ(P.Id(), 2);
  P->CancelRange();
  EXPECT_EQ(P.Id(), 2);  // cancelling keeps the record
  EXPECT_EQ(P->RecordCount(), 5);

  P->AddIndex("AmountDesc", "AMOUNT", {ixDescending});
  P->SetIndexName("AmountDesc");
  P->SetRange({Variant(40.0)}, {Variant(20.0)});  // in index order: from 40 down to 20
  EXPECT_EQ(P.Ids(), (std::vector<int>{4, 3, 2}));
  P->SetRange({Variant(10.0)}, {Variant(40.0)});
  EXPECT_TRUE(P->IsEmpty());
}

TEST(ClientRanges, RangeFollowsEditsAndCombinesWithTheFilter) {
  TPeople P(Unordered());
  P->SetIndexFieldNames("CITY;NAME");
  P->SetRange({Variant("Berlin")}, {Variant("Berlin")});
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 2}));  // anna, Bert
  P->AppendRecord({Variant(std::int32_t(7)), Variant("Ann"), Variant("Berlin")});
  EXPECT_EQ(P.Ids(), (std::vector<int>{7, 1, 2}));
  P->First();
  P->Edit();
  P->FieldByName("CITY")->SetAsString("Oslo");  // moves out of the range
  P->Post();
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 2}));
  P->SetOnFilterRecord(
      TFilterRecordEvent::FromCallable([](TDataSet* D, bool& A) { A = D->FieldByName("ID")->AsInteger() != 2; }));
  P->SetFiltered(true);
  EXPECT_EQ(P.Ids(), (std::vector<int>{1}));
  EXPECT_EQ(P->RecordCount(), 1);
}

TEST(ClientRanges, ARefusedRangeLeavesThePreviousOneInForce) {
  TPeople P(Unordered());
  P->SetIndexFieldNames("ID");
  P->SetRange({Variant(std::int32_t(2))}, {Variant(std::int32_t(3))});
  EXPECT_THROW(P->SetRange({Variant("abc")}, {Variant(std::int32_t(5))}), EConvertError);
  EXPECT_EQ(P->State(), dsBrowse);
  EXPECT_EQ(P.Ids(), (std::vector<int>{2, 3}));
}

// ---------------------------------------------------------------- types, storage, files

TOwned<TClientDataSet> AllTypes() {
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  auto* D = DS->GetFieldDefs();
  D->Add("S", ftString, 10);
  D->Add("SI", ftSmallint);
  D->Add("I", ftInteger);
  D->Add("W", ftWord);
  D->Add("B", ftBoolean);
  D->Add("F", ftFloat);
  D->Add("C", ftCurrency);
  D->Add("BCD", ftBCD, 4);
  D->Add("D", ftDate);
  D->Add("T", ftTime);
  D->Add("DT", ftDateTime);
  D->Add("AI", ftAutoInc);
  D->Add("BL", ftBlob);
  D->Add("M", ftMemo);
  D->Add("FC", ftFixedChar, 4);
  D->Add("WS", ftWideString, 10);
  D->Add("L", ftLargeint);
  D->Add("G", ftGuid);
  D->Add("TS", ftTimeStamp);
  D->Add("FB", ftFMTBcd, 4);
  DS->CreateDataSet();
  return DS;
}

void FillAllTypes(TDataSet* DS) {
  DS->Append();
  DS->FieldByName("S")->SetAsString("text");
  DS->FieldByName("SI")->SetAsInteger(-300);
  DS->FieldByName("I")->SetAsInteger(123456);
  DS->FieldByName("W")->SetAsInteger(65535);
  DS->FieldByName("B")->SetAsBoolean(true);
  DS->FieldByName("F")->SetAsFloat(1.25);
  DS->FieldByName("C")->SetAsCurrency(Currency(12.5));
  DS->FieldByName("BCD")->SetAsString("123.4567");
  DS->FieldByName("D")->SetAsDateTime(EncodeDate(2020, 2, 29));
  DS->FieldByName("T")->SetAsDateTime(EncodeTime(13, 14, 15, 0));
  DS->FieldByName("DT")->SetAsDateTime(EncodeDate(2021, 1, 2) + EncodeTime(3, 4, 5, 0));
  DS->FieldByName("BL")->SetAsString(std::string("a\0b", 3));
  DS->FieldByName("M")->SetAsString(std::string(1000, 'm'));
  DS->FieldByName("FC")->SetAsString("ab");
  DS->FieldByName("WS")->SetAsWideString(u"\u00e4\u00f6\u00fc");
  DS->FieldByName("L")->SetAsVariant(Variant(std::int64_t(1) << 40));
  DS->FieldByName("G")->SetAsString("{01234567-89AB-CDEF-0123-456789ABCDEF}");
  DS->FieldByName("TS")->SetAsSQLTimeStamp(TSQLTimeStamp{2022, 5, 6, 7, 8, 9, 0});
  DS->FieldByName("FB")->SetAsString("-98765432109876543210.5");
  DS->Post();
  DS->Append();  // a second record of nulls only (AutoInc numbers itself)
  DS->Post();
}

void CheckAllTypes(TDataSet* DS) {
  DS->First();
  EXPECT_EQ(DS->FieldByName("S")->AsString(), "text");
  EXPECT_EQ(DS->FieldByName("SI")->AsInteger(), -300);
  EXPECT_EQ(DS->FieldByName("I")->AsInteger(), 123456);
  EXPECT_EQ(DS->FieldByName("W")->AsInteger(), 65535);
  EXPECT_TRUE(DS->FieldByName("B")->AsBoolean());
  EXPECT_EQ(DS->FieldByName("F")->AsFloat(), 1.25);
  EXPECT_EQ(DS->FieldByName("C")->AsCurrency(), Currency(12.5));
  EXPECT_EQ(DS->FieldByName("BCD")->AsCurrency(), Currency::FromScaled(1234567));
  EXPECT_EQ(DS->FieldByName("D")->AsDateTime(), EncodeDate(2020, 2, 29));
  EXPECT_DOUBLE_EQ(DS->FieldByName("T")->AsDateTime(), EncodeTime(13, 14, 15, 0));
  EXPECT_EQ(DS->FieldByName("AI")->AsInteger(), 1);
  EXPECT_EQ(DS->FieldByName("BL")->AsString(), std::string("a\0b", 3));
  EXPECT_EQ(DS->FieldByName("M")->AsString(), std::string(1000, 'm'));
  EXPECT_EQ(DS->FieldByName("FC")->AsString(), "ab");
  EXPECT_EQ(DS->FieldByName("WS")->GetAsWideString(), u"\u00e4\u00f6\u00fc");
  EXPECT_EQ(DS->FieldByName("L")->GetAsLargeInt(), std::int64_t(1) << 40);
  EXPECT_EQ(DS->FieldByName("G")->AsString(), "{01234567-89AB-CDEF-0123-456789ABCDEF}");
  EXPECT_EQ(DS->FieldByName("TS")->GetAsSQLTimeStamp().Minute, 8);
  EXPECT_EQ(DS->FieldByName("FB")->AsString(), "-98765432109876543210.5");
  DS->Next();
  EXPECT_EQ(DS->FieldByName("AI")->AsInteger(), 2);
  for (TField* F : DS->Fields()) {
    if (F->GetFieldName() == "AI") continue;
    EXPECT_TRUE(F->IsNull()) << F->GetFieldName();
  }
}

TEST(ClientStorage, EveryFieldTypeKeepsItsValue) {
  auto DS = AllTypes();
  FillAllTypes(DS.get());
  CheckAllTypes(DS.get());
  DS->Edit();
  EXPECT_THROW(DS->FieldByName("SI")->SetAsInteger(40000), EDatabaseError);
  EXPECT_THROW(DS->FieldByName("W")->SetAsInteger(-1), EDatabaseError);
  EXPECT_THROW(DS->FieldByName("G")->SetAsString("not-a-guid"), EConvertError);
  EXPECT_THROW(DS->FieldByName("FC")->SetAsString("abcde"), EDatabaseError);
  DS->Cancel();
}

TEST(ClientStorage, AStoredRecordCostsLessThanTwiceItsValues) {
  TPeople P({});
  const int N = 20000;
  std::size_t Raw = 0;
  for (int I = 0; I < N; ++I) {
    std::string Name = "Name" + std::to_string(I), City = "City" + std::to_string(I % 100);
    P->AppendRecord({Variant(std::int32_t(I)), Variant(Name), Variant(City), Variant(I * 1.5),
                     Variant::FromDateTime(45000 + I % 365)});
    Raw += 4 + Name.size() + City.size() + 8 + 8;
  }
  EXPECT_LT(P->StorageBytes(), 2 * Raw);
  EXPECT_EQ(P->RecordCount(), N);
}

TEST(ClientStorage, RecordsSurviveCloseAndOpen) {
  TPeople P(Unordered());
  P->Close();
  P->Open();
  EXPECT_EQ(P->RecordCount(), 5);
  P->Close();
  P->GetFieldDefs()->Add("EXTRA", ftInteger);  // would not fit the stored records
  EXPECT_THROW(P->Open(), EDatabaseError);
  EXPECT_FALSE(P->GetActive());
}

std::string TempFile(const char* Name) { return ::testing::TempDir() + Name; }

TEST(ClientFiles, SaveAndLoadKeepDefinitionsIndexesAndRecords) {
  auto DS = AllTypes();
  FillAllTypes(DS.get());
  DS->AddIndex("ByI", "I", {ixDescending});
  std::string F = TempFile("alltypes.fcds");
  DS->SaveToFile(F);
  auto Back = CreateOwned<TClientDataSet>(nullptr);
  Back->LoadFromFile(F);
  EXPECT_TRUE(Back->GetActive());
  EXPECT_EQ(Back->GetFieldDefs()->Count(), 20);
  EXPECT_EQ(Back->GetIndexDefs()->Find("ByI")->GetFields(), "I");
  CheckAllTypes(Back.get());
  Back->SetIndexName("ByI");
  Back->First();
  EXPECT_EQ(Back->FieldByName("I")->AsInteger(), 123456);
  Back->AppendRecord({Variant("next")});
  EXPECT_EQ(Back->FieldByName("AI")->AsInteger(), 3);  // numbering goes on
  std::remove(F.c_str());
}

TEST(ClientFiles, DamagedFilesAreRefusedAndTheDataSetStaysAsItWas) {
  TPeople Source(Unordered());
  std::ostringstream Out;
  Source->SaveToStream(Out);
  const std::string Good = Out.str();
  struct TCase {
    const char* What;
    std::string Data;
  } Cases[] = {
      {"empty", ""},
      {"magic", "X" + Good.substr(1)},
      {"flipped byte", [&] { std::string S = Good; S[S.size() / 2] ^= 0x20; return S; }()},
      {"truncated", Good.substr(0, Good.size() - 9)},
      {"trailing", Good + "x"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    TPeople Target({{9, "Keep", "Me", 1}});
    Target->SetIndexFieldNames("NAME");
    std::istringstream In(C.Data);
    EXPECT_THROW(Target->LoadFromStream(In), EDatabaseError);
    EXPECT_TRUE(Target->GetActive());
    EXPECT_EQ(Target.Ids(), (std::vector<int>{9}));
    EXPECT_EQ(Target->GetIndexFieldNames(), "NAME");
  }
  TPeople Target({});
  EXPECT_THROW(Target->LoadFromFile(TempFile("does-not-exist.fcds")), EDatabaseError);
  std::istringstream In(Good);
  Target->LoadFromStream(In);
  EXPECT_EQ(Target.Ids(), (std::vector<int>{3, 1, 5, 2, 4}));
}

TEST(ClientFiles, FileNameIsReadOnOpenOnceAndNeverWritten) {
  TPeople Source(Unordered());
  Source->AddIndex("ByName", "NAME", {}, "", "NAME");
  const std::string F = TempFile("filename.fcds");
  Source->SaveToFile(F);
  auto Bytes = [&] {
    std::ifstream In(F, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  };
  const std::string Saved = Bytes();

  auto DS = CreateOwned<TClientDataSet>(nullptr);
  DS->SetFileName(F);
  DS->SetIndexName("ByName");
  DS->Open();
  EXPECT_EQ(DS->RecordCount(), 5);
  DS->First();
  EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "anna");  // the file's index, ignoring case
  // Edits stay in memory: closing keeps them, and nothing reaches the file.
  DS->Edit();
  DS->FieldByName("NAME")->SetAsString("Ada");
  DS->Post();
  DS->Close();
  DS->Open();
  DS->First();
  EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Ada");
  DS->Close();
  EXPECT_EQ(Bytes(), Saved);

  // A missing file, a damaged one, or an index the file lacks: the open fails.
  auto Missing = CreateOwned<TClientDataSet>(nullptr);
  Missing->SetFileName(TempFile("no-such-file.fcds"));
  EXPECT_THROW(Missing->Open(), EDatabaseError);
  EXPECT_FALSE(Missing->GetActive());
  auto WrongIndex = CreateOwned<TClientDataSet>(nullptr);
  WrongIndex->SetFileName(F);
  WrongIndex->SetIndexName("ByCity");
  EXPECT_THROW(WrongIndex->Open(), EDatabaseError);
  EXPECT_FALSE(WrongIndex->GetActive());
  {
    std::ofstream Out(F, std::ios::binary | std::ios::trunc);
    Out << Saved.substr(0, Saved.size() / 2);
  }
  auto Damaged = CreateOwned<TClientDataSet>(nullptr);
  Damaged->SetFileName(F);
  EXPECT_THROW(Damaged->Open(), EDatabaseError);
  EXPECT_FALSE(Damaged->GetActive());
  std::remove(F.c_str());
}

TEST(ClientFiles, LoadFromAnotherDataSetCopiesFieldsAndRecords) {
  TPeople Source(Unordered());
  Source->SetRecNo(3);
  auto Copy = CreateOwned<TClientDataSet>(nullptr);
  Copy->LoadFromDataSet(Source.DS.get());
  EXPECT_EQ(Source.Id(), 5);  // the source keeps its position
  EXPECT_EQ(Copy->RecordCount(), 5);
  EXPECT_EQ(Copy->FieldByName("NAME")->GetSize(), 20);
  EXPECT_TRUE(Copy->Locate("CITY", Variant("Oslo"), {}));
  EXPECT_EQ(Copy->FieldByName("ID")->AsInteger(), 4);
  EXPECT_THROW(Copy->LoadFromDataSet(Copy.get()), EDatabaseError);
}

TEST(ClientFiles, EmptyDataSetInvalidatesBookmarks) {
  TPeople P(Unordered());
  TBookmark B = P->GetBookmark();
  P->EmptyDataSet();
  EXPECT_TRUE(P->IsEmpty());
  P->AppendRecord({Variant(std::int32_t(1))});
  EXPECT_FALSE(P->BookmarkValid(B));
}

}  // namespace
}  // namespace fyndra::test

namespace fyndra::test {
namespace {

TEST(ClientKeySearch, LocateGivesTheSameAnswerWithAndWithoutAnIndex) {
  struct TCase {
    const char* Fields;
    Variant Key;
    TLocateOptions Options;
    int Expected;  // 0: not found
  } Cases[] = {
      {"ID", Variant(std::int32_t(4)), {}, 4},
      {"ID", Variant("2"), {}, 2},
      {"ID", Variant(std::int32_t(9)), {}, 0},
      {"CITY;NAME", VarArrayOf({Variant("berlin"), Variant("BERT")}), {loCaseInsensitive}, 2},
      {"CITY;NAME", VarArrayOf({Variant("Berlin"), Variant("bert")}), {}, 0},
      {"CITY", Variant("OSLO"), {loCaseInsensitive}, 4},
      {"CITY", Variant("Oslo"), {}, 4},
  };
  for (const char* Index : {"", "ID", "CITY;NAME", "CI"}) {
    TPeople P(Unordered());
    if (std::string(Index) == "CI") {
      P->AddIndex("CI", "CITY;NAME", {ixCaseInsensitive});
      P->SetIndexName("CI");
    } else {
      P->SetIndexFieldNames(Index);
    }
    for (const TCase& C : Cases) {
      SCOPED_TRACE(std::string(Index) + " / " + C.Fields);
      P->First();
      int Before = P.Id();
      EXPECT_EQ(P->Locate(C.Fields, C.Key, C.Options), C.Expected != 0);
      EXPECT_EQ(P.Id(), C.Expected ? C.Expected : Before);
    }
    EXPECT_THROW(P->Locate("ID", Variant("x"), {}), EDatabaseError);
  }
}

}  // namespace
}  // namespace fyndra::test

namespace fyndra::test {
namespace {

TEST(ClientKeySearch, KeySearchSkipsRecordsTheFilterHides) {
  TPeople P({{1, "A", "Rome", 1}, {2, "B", "Rome", 2}, {3, "C", "Rome", 3}, {4, "D", "Oslo", 4}});
  P->SetIndexFieldNames("CITY");
  P->SetOnFilterRecord(
      TFilterRecordEvent::FromCallable([](TDataSet* D, bool& A) { A = D->FieldByName("ID")->AsInteger() != 1; }));
  P->SetFiltered(true);
  EXPECT_TRUE(P->FindKey({Variant("Rome")}));
  EXPECT_EQ(P.Id(), 2);  // the first Rome is hidden
  P->SetOnFilterRecord(
      TFilterRecordEvent::FromCallable([](TDataSet* D, bool& A) { A = D->FieldByName("CITY")->AsString() != "Rome"; }));
  P->First();
  EXPECT_FALSE(P->FindKey({Variant("Rome")}));
  EXPECT_EQ(P.Id(), 4);
  P->FindNearest({Variant("P")});  // every record from there on is hidden
  EXPECT_EQ(P.Id(), 4);
  EXPECT_TRUE(P->Eof());
}

}  // namespace
}  // namespace fyndra::test
