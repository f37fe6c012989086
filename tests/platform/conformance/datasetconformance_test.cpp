// The tests every dataset family passes (see datasetconformance.h for how a
// family joins).
#include "platform/conformance/datasetconformance.h"

#include <string>
#include <vector>

#include <fyndra/platform/db/datasource.h>
#include "platform/db/dbtest.h"

namespace fyndra::test {
FYNDRA_IMPLEMENT_CLASS(TSpyLink)
}  // namespace fyndra::test

namespace fyndra::conformance {

void DataSetConformance::SetUp() {
  SetDefaultLocale("en_US");
  Family = GetParam().Make();
}

TDataSet* DataSetConformance::Open(const std::vector<TPerson>& Rows) {
  DS = Family->Make(Rows);
  DS->Open();
  return DS;
}

int DataSetConformance::Id() const { return DS->FieldByName("ID")->AsInteger(); }

std::vector<int> DataSetConformance::Ids() const {
  std::vector<int> Out;
  for (DS->First(); !DS->Eof(); DS->Next()) Out.push_back(Id());
  return Out;
}

std::vector<int> DataSetConformance::IdsBackwards() const {
  std::vector<int> Out;
  for (DS->Last(); !DS->Bof(); DS->Prior()) Out.push_back(Id());
  return Out;
}

namespace {

using IdList = std::vector<int>;

Variant I(std::int32_t V) { return Variant(V); }

// The message of the EDatabaseError that Action raises, or "<no error>".
template <class F>
std::string ErrorOf(F&& Action) {
  try {
    Action();
  } catch (const EDatabaseError& E) {
    return E.Message();
  }
  return "<no error>";
}

TFilterRecordEvent Accept(bool (*Test)(TDataSet*)) {
  return TFilterRecordEvent::FromCallable([Test](TDataSet* D, bool& A) { A = Test(D); });
}

int IdOf(TDataSet* D) { return D->FieldByName("ID")->AsInteger(); }

// ---------------------------------------------------------------- navigation

TEST_P(DataSetConformance, NavigationStopsAtBothEndsOnTheEndRecords) {
  Open();
  EXPECT_TRUE(DS->Bof());
  EXPECT_FALSE(DS->Eof());
  EXPECT_EQ(Id(), 1);
  EXPECT_EQ(Ids(), (IdList{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(Id(), 6);  // Next after the last record stays on it
  DS->Next();
  EXPECT_TRUE(DS->Eof());
  EXPECT_EQ(Id(), 6);
  DS->Prior();
  EXPECT_FALSE(DS->Eof());
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(IdsBackwards(), (IdList{6, 5, 4, 3, 2, 1}));
  EXPECT_EQ(Id(), 1);
  EXPECT_EQ(DS->MoveBy(3), 3);
  EXPECT_EQ(Id(), 4);
  EXPECT_EQ(DS->MoveBy(10), 2);
  EXPECT_TRUE(DS->Eof());
  EXPECT_EQ(DS->MoveBy(-10), -5);
  EXPECT_TRUE(DS->Bof());
  EXPECT_EQ(Id(), 1);
  DS->Last();
  EXPECT_TRUE(DS->Eof());
  EXPECT_FALSE(DS->Bof());
  EXPECT_EQ(DS->RecordCount(), 6);
}

TEST_P(DataSetConformance, AnEmptyDataSetStandsAtBothEnds) {
  Open({});
  EXPECT_TRUE(DS->IsEmpty());
  EXPECT_TRUE(DS->Bof());
  EXPECT_TRUE(DS->Eof());
  DS->Next();
  DS->Last();
  EXPECT_TRUE(DS->Bof() && DS->Eof());
  EXPECT_EQ(DS->RecordCount(), 0);
  EXPECT_FALSE(DS->Locate("ID", I(1), {}));
  EXPECT_TRUE(DS->GetBookmark().IsEmpty());
  EXPECT_TRUE(DS->FieldByName("NAME")->IsNull());
}

// ---------------------------------------------------------------- bookmarks

TEST_P(DataSetConformance, ABookmarkReturnsToItsRecordInThisDataSetOnly) {
  Open();
  DS->MoveBy(2);
  TBookmark Third = DS->GetBookmark();
  DS->First();
  DS->Next();
  TBookmark Second = DS->GetBookmark();
  DS->Last();
  DS->GotoBookmark(Third);
  EXPECT_EQ(Id(), 3);
  EXPECT_TRUE(DS->BookmarkValid(Third));
  EXPECT_LT(DS->CompareBookmarks(Second, Third), 0);
  EXPECT_GT(DS->CompareBookmarks(Third, Second), 0);
  EXPECT_EQ(DS->CompareBookmarks(Third, Third), 0);

  std::unique_ptr<TFamily> OtherFamily = GetParam().Make();
  TDataSet* Other = OtherFamily->Make(People());
  Other->Open();
  Other->Next();
  EXPECT_FALSE(Other->BookmarkValid(Third));
  EXPECT_THROW(Other->GotoBookmark(Third), EDatabaseError);
  EXPECT_EQ(IdOf(Other), 2);
  EXPECT_THROW(DS->GotoBookmark(TBookmark()), EDatabaseError);
  EXPECT_EQ(Id(), 3);
}

TEST_P(DataSetConformance, ABookmarkSurvivesAnotherOrder) {
  CONFORMANCE_REQUIRE(cfKeySearch);
  Open();
  DS->Locate("ID", I(4), {});
  TBookmark Dora = DS->GetBookmark();
  Family->UseOrder(DS, orAmountDesc);
  EXPECT_EQ(Id(), 4);  // choosing an index keeps the current record
  EXPECT_EQ(Ids(), (IdList{6, 5, 4, 3, 2, 1}));
  DS->GotoBookmark(Dora);
  EXPECT_EQ(Id(), 4);
  DS->Next();
  EXPECT_EQ(Id(), 3);
}

// ---------------------------------------------------------------- Locate and Lookup

TEST_P(DataSetConformance, LocateFindsTheFirstMatchOrStaysWhereItWas) {
  Open();
  struct Case {
    const char* Fields;
    Variant Key;
    TLocateOptions Options;
    int Expected;  // 0: not found
  } Cases[] = {
      {"NAME", Variant("Carl"), {}, 3},
      {"NAME", Variant("carl"), {}, 0},
      {"NAME", Variant("carl"), {loCaseInsensitive}, 3},
      {"NAME", Variant("Ca"), {}, 0},
      {"NAME", Variant("Ca"), {loPartialKey}, 3},
      {"NAME", Variant("an"), {loCaseInsensitive, loPartialKey}, 1},
      {"CITY", Variant("BERLIN"), {loCaseInsensitive}, 1},
      {"CITY", Null(), {}, 4},
      {"AMOUNT", Variant(30.0), {}, 3},
      {"AMOUNT", Variant(31.0), {}, 0},
      {"ID", Variant("5"), {}, 5},
      {"CITY;NAME", VarArrayOf({Variant("berlin"), Variant("Carl")}), {}, 3},
      {"CITY;NAME", VarArrayOf({Variant("Berlin"), Variant("Carl")}), {}, 0},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(std::string(C.Fields) + " = " + VarToStr(C.Key.IsArray() ? C.Key[0] : C.Key));
    DS->Last();
    EXPECT_EQ(DS->Locate(C.Fields, C.Key, C.Options), C.Expected != 0);
    EXPECT_EQ(Id(), C.Expected ? C.Expected : 6);
  }
  EXPECT_EQ(ErrorOf([&] { DS->Locate("CITY;NAME", Variant("x"), {}); }),
            "People: Locate: 1 key values given for 2 fields");
}

TEST_P(DataSetConformance, LookupReadsAnotherRecordWithoutMoving) {
  Open();
  DS->Next();
  EXPECT_EQ(VarToStr(DS->Lookup("ID", I(5), "NAME")), "Emil");
  Variant Both = DS->Lookup("CITY;NAME", VarArrayOf({Variant("Berlin"), Variant("Abel")}), "ID;AMOUNT");
  ASSERT_TRUE(Both.IsArray());
  EXPECT_EQ(Both[0].AsInteger(), 6);
  EXPECT_EQ(Both[1].AsDouble(), 60.0);
  EXPECT_TRUE(DS->Lookup("ID", I(99), "NAME").IsNull());
  EXPECT_EQ(Id(), 2);
}

// ---------------------------------------------------------------- filters

TEST_P(DataSetConformance, TheFilterHidesRecordsFromEveryRoad) {
  Open();
  DS->SetOnFilterRecord(Accept([](TDataSet* D) { return IdOf(D) % 2 == 1; }));
  DS->SetFiltered(true);
  EXPECT_EQ(Ids(), (IdList{1, 3, 5}));
  EXPECT_EQ(IdsBackwards(), (IdList{5, 3, 1}));
  EXPECT_EQ(DS->RecordCount(), 3);
  EXPECT_FALSE(DS->Locate("ID", I(2), {}));
  EXPECT_TRUE(DS->Locate("NAME", Variant("Emil"), {}));
  EXPECT_TRUE(DS->Lookup("ID", I(4), "NAME").IsNull());
  // A new handler filters again, staying on the current record when it still shows.
  DS->SetOnFilterRecord(Accept([](TDataSet* D) { return IdOf(D) > 4; }));
  EXPECT_EQ(Id(), 5);
  EXPECT_EQ(Ids(), (IdList{5, 6}));
  DS->SetFiltered(false);
  EXPECT_EQ(DS->RecordCount(), 6);
}

// ---------------------------------------------------------------- editing

TEST_P(DataSetConformance, EditsAreStoredAndCancelledEditsAreNot) {
  CONFORMANCE_REQUIRE(cfEditing);
  Open();
  DS->Append();
  DS->FieldByName("ID")->SetAsInteger(7);
  DS->FieldByName("NAME")->SetAsString("Fred");
  DS->FieldByName("AMOUNT")->SetAsFloat(70);
  DS->Post();
  EXPECT_EQ(DS->GetState(), dsBrowse);
  EXPECT_EQ(Id(), 7);
  EXPECT_EQ(DS->RecordCount(), 7);
  EXPECT_TRUE(DS->FieldByName("CITY")->IsNull());

  ASSERT_TRUE(DS->Locate("ID", I(3), {}));
  DS->Edit();
  DS->FieldByName("NAME")->SetAsString("Carla");
  DS->Cancel();
  EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Carl");
  DS->Edit();
  DS->FieldByName("NAME")->SetAsString("Carla");
  // A text of more characters than the field holds is refused, never cut.
  EXPECT_THROW(DS->FieldByName("CITY")->SetAsString(std::string(21, 'x')), EDatabaseError);
  DS->Post();
  EXPECT_EQ(VarToStr(DS->Lookup("ID", I(3), "NAME")), "Carla");
  EXPECT_EQ(Id(), 3);

  DS->Delete();
  EXPECT_EQ(Id(), 4);  // the record after the deleted one
  EXPECT_FALSE(DS->Locate("ID", I(3), {}));
  EXPECT_EQ(Ids(), (IdList{1, 2, 4, 5, 6, 7}));
}

TEST_P(DataSetConformance, AReadOnlyFamilyRefusesEveryEdit) {
  if (Family->Lacks(cfEditing).empty()) GTEST_SKIP() << GetParam().Name << " stores edits";
  Open();
  EXPECT_FALSE(DS->CanModify());
  EXPECT_EQ(ErrorOf([&] { DS->Edit(); }), "People: Cannot modify a read-only dataset");
  EXPECT_THROW(DS->Append(), EDatabaseError);
  EXPECT_THROW(DS->Delete(), EDatabaseError);
  EXPECT_EQ(DS->GetState(), dsBrowse);
  EXPECT_EQ(DS->RecordCount(), 6);
}

// ---------------------------------------------------------------- notifications

TEST_P(DataSetConformance, LinksHearOpeningClosingAndMoves) {
  DS = Family->Make(People());
  auto Source = CreateOwned<TDataSource>(nullptr);
  auto Spy = CreateOwned<test::TSpyLink>();
  Source->SetDataSet(DS);
  Spy->SetDataSource(Source.get());
  DS->Open();
  DS->Next();
  DS->Last();
  DS->Next();  // nothing moves
  EXPECT_EQ(Spy->Joined(), "Active Scrolled(1) Changed");
  Spy->Log.clear();
  DS->DisableControls();
  DS->First();
  DS->Next();
  DS->Locate("ID", I(5), {});
  DS->EnableControls();
  EXPECT_EQ(Spy->Joined(), "Changed");
  Spy->Log.clear();
  DS->SetOnFilterRecord(Accept([](TDataSet* D) { return IdOf(D) != 1; }));
  DS->SetFiltered(true);
  DS->Close();
  EXPECT_EQ(Spy->Joined(), "Changed Inactive");
  Spy->SetDataSource(nullptr);
}

// ---------------------------------------------------------------- key search

TEST_P(DataSetConformance, KeySearchFindsExactAndNearestKeys) {
  CONFORMANCE_REQUIRE(cfKeySearch);
  Open();
  Family->UseOrder(DS, orId);
  auto K = Family->Keyed(DS);
  EXPECT_TRUE(K->FindKey({I(5)}));
  EXPECT_EQ(Id(), 5);
  EXPECT_FALSE(K->FindKey({I(9)}));
  EXPECT_EQ(Id(), 5);  // no move when nothing matches
  K->FindNearest({I(0)});
  EXPECT_EQ(Id(), 1);
  K->FindNearest({I(99)});
  EXPECT_EQ(Id(), 6);  // nothing at or after: the last record
  EXPECT_TRUE(K->FindKey(std::vector<Variant>{I(4)}));
  EXPECT_EQ(Id(), 4);
  K->FindNearest(std::vector<Variant>{I(2)});
  EXPECT_EQ(Id(), 2);

  // In dsSetKey the fields show and take the search key, not the record.
  K->SetKey();
  EXPECT_EQ(DS->GetState(), dsSetKey);
  EXPECT_TRUE(DS->FieldByName("ID")->IsNull());
  DS->FieldByName("ID")->SetAsInteger(3);
  EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3);
  EXPECT_TRUE(K->GotoKey());
  EXPECT_EQ(DS->GetState(), dsBrowse);
  EXPECT_EQ(Id(), 3);
  EXPECT_EQ(DS->FieldByName("NAME")->AsString(), "Carl");
  DS->First();
  K->EditKey();  // keeps the key
  EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 3);
  K->GotoNearest();
  EXPECT_EQ(Id(), 3);
}

TEST_P(DataSetConformance, KeySearchOnTwoFieldsIgnoringCase) {
  CONFORMANCE_REQUIRE(cfKeySearch);
  Open();
  Family->UseOrder(DS, orCityName);
  EXPECT_EQ(Ids(), (IdList{4, 6, 1, 3, 2, 5}));  // Null first, Berlin by name
  auto K = Family->Keyed(DS);
  EXPECT_EQ(K->IndexFieldCount(), 2);
  EXPECT_EQ(K->GetIndexField(0)->GetFieldName(), "CITY");
  EXPECT_EQ(ErrorOf([&] { K->GetIndexField(2); }), "People: Index field 2 does not exist: the index has 2 fields");
  EXPECT_TRUE(K->FindKey({Variant("BERLIN")}));
  EXPECT_EQ(Id(), 6);
  EXPECT_TRUE(K->FindKey({Variant("berlin"), Variant("Carl")}));
  EXPECT_EQ(Id(), 3);
  EXPECT_FALSE(K->FindKey({Variant("Berlin"), Variant("Bert")}));
  EXPECT_EQ(Id(), 3);
  K->FindNearest({Variant("berlin"), Variant("B")});
  EXPECT_EQ(Id(), 3);
  K->FindNearest({Variant("P")});
  EXPECT_EQ(Id(), 2);
  K->FindNearest({Variant("Q")});
  EXPECT_EQ(Id(), 5);
  EXPECT_TRUE(K->FindKey({Null()}));  // Null searches for Null
  EXPECT_EQ(Id(), 4);

  // Only key fields take key values.
  K->SetKey();
  DS->FieldByName("NAME")->SetAsString("Emil");
  EXPECT_EQ(ErrorOf([&] { DS->FieldByName("AMOUNT")->SetAsFloat(1); }),
            "People: Field 'AMOUNT' is not a key field of the current index");
  DS->Cancel();
  EXPECT_EQ(DS->GetState(), dsBrowse);
  EXPECT_EQ(Id(), 4);
}

TEST_P(DataSetConformance, KeySearchOnADescendingKey) {
  CONFORMANCE_REQUIRE(cfKeySearch);
  Open();
  Family->UseOrder(DS, orAmountDesc);
  auto K = Family->Keyed(DS);
  EXPECT_TRUE(K->FindKey({Variant(30.0)}));
  EXPECT_EQ(Id(), 3);
  K->FindNearest({Variant(35.0)});  // the next key in the index's order is 30
  EXPECT_EQ(Id(), 3);
  K->FindNearest({Variant(5.0)});
  EXPECT_EQ(Id(), 1);
}

TEST_P(DataSetConformance, KeySearchSkipsRecordsTheFilterHides) {
  CONFORMANCE_REQUIRE(cfKeySearch);
  Open();
  Family->UseOrder(DS, orCityName);
  auto K = Family->Keyed(DS);
  DS->SetOnFilterRecord(Accept([](TDataSet* D) { return IdOf(D) != 6; }));
  DS->SetFiltered(true);
  EXPECT_TRUE(K->FindKey({Variant("Berlin")}));
  EXPECT_EQ(Id(), 1);  // Abel is hidden: the next Berlin
  DS->SetOnFilterRecord(Accept([](TDataSet* D) {
    return D->FieldByName("CITY")->IsNull() || !AnsiSameText(D->FieldByName("CITY")->AsString(), "berlin");
  }));
  DS->First();
  EXPECT_FALSE(K->FindKey({Variant("berlin")}));
  EXPECT_EQ(Id(), 4);
  K->FindNearest({Variant("B")});
  EXPECT_EQ(Id(), 2);  // the first visible record after the hidden Berlins
}

// ---------------------------------------------------------------- ranges

TEST_P(DataSetConformance, ARangeLimitsEveryRoadToItsRecords) {
  CONFORMANCE_REQUIRE(cfRanges);
  Open();
  Family->UseOrder(DS, orId);
  auto K = Family->Keyed(DS);
  DS->Last();
  K->SetRange({I(2)}, {I(4)});
  EXPECT_TRUE(K->GetRanged());
  EXPECT_EQ(Id(), 2);  // applying a range goes to its first record
  EXPECT_EQ(DS->RecordCount(), 3);
  EXPECT_EQ(Ids(), (IdList{2, 3, 4}));
  EXPECT_EQ(IdsBackwards(), (IdList{4, 3, 2}));
  EXPECT_FALSE(K->FindKey({I(5)}));
  EXPECT_FALSE(DS->Locate("ID", I(1), {}));
  K->FindNearest({I(9)});
  EXPECT_EQ(Id(), 4);
  K->SetRange({I(5)}, {Variant()});  // no end
  EXPECT_EQ(Ids(), (IdList{5, 6}));
  K->SetRangeStart();  // no start
  K->SetRangeEnd();
  DS->FieldByName("ID")->SetAsInteger(2);
  K->ApplyRange();
  EXPECT_EQ(Ids(), (IdList{1, 2}));
  K->EditRangeEnd();  // keeps the end
  EXPECT_EQ(DS->FieldByName("ID")->AsInteger(), 2);
  DS->FieldByName("ID")->SetAsInteger(3);
  K->ApplyRange();
  EXPECT_EQ(Ids(), (IdList{1, 2, 3}));
  K->SetRange({I(4)}, {I(2)});
  EXPECT_TRUE(DS->IsEmpty());
  // Choosing another index lifts the range.
  Family->UseOrder(DS, orName);
  EXPECT_FALSE(K->GetRanged());
  EXPECT_EQ(DS->RecordCount(), 6);
}

TEST_P(DataSetConformance, RangesFollowTheIndexRules) {
  CONFORMANCE_REQUIRE(cfRanges);
  Open();
  auto K = Family->Keyed(DS);
  Family->UseOrder(DS, orAmountDesc);
  K->SetRange({Variant(40.0)}, {Variant(20.0)});  // in the index's order: 40 down to 20
  EXPECT_EQ(Ids(), (IdList{4, 3, 2}));
  Family->UseOrder(DS, orCityName);
  K->SetRange({Variant("berlin")}, {Variant("BERLIN")});
  EXPECT_EQ(Ids(), (IdList{6, 1, 3}));
  DS->SetOnFilterRecord(Accept([](TDataSet* D) { return IdOf(D) != 1; }));
  DS->SetFiltered(true);
  EXPECT_EQ(Ids(), (IdList{6, 3}));
  EXPECT_EQ(DS->RecordCount(), 2);
  DS->SetFiltered(false);
  K->SetRange({Null()}, {Null()});  // a Null bound selects the Null keys
  EXPECT_EQ(Ids(), (IdList{4}));
  K->SetRange({Variant("Berlin"), Variant("B")}, {Variant("Berlin")});
  EXPECT_EQ(Ids(), (IdList{3}));
}

// ---------------------------------------------------------------- the shared rules

// A list form means the key-edit protocol: an Empty value leaves its field
// unassigned, so a trailing one shortens the key and a leading one counts as
// Null; Null itself is a key value.
TEST_P(DataSetConformance, AnEmptyKeyValueLeavesItsFieldUnassigned) {
  CONFORMANCE_REQUIRE(cfKeySearch);
  Open();
  Family->UseOrder(DS, orCityName);
  auto K = Family->Keyed(DS);
  EXPECT_TRUE(K->FindKey({Variant("Berlin"), Variant()}));
  EXPECT_EQ(Id(), 6);
  EXPECT_TRUE(K->FindKey({Variant(), Variant("Dora")}));
  EXPECT_EQ(Id(), 4);
  EXPECT_FALSE(K->FindKey({Variant("Berlin"), Null()}));
  EXPECT_EQ(Id(), 4);
  K->FindNearest({Variant("Paris"), Variant()});
  EXPECT_EQ(Id(), 2);
  K->SetRange({Variant("Berlin"), Variant()}, {Variant("Berlin"), Variant()});
  EXPECT_EQ(Ids(), (IdList{6, 1, 3}));
}

TEST_P(DataSetConformance, TooManyKeyValuesAreRefusedWithOneMessage) {
  CONFORMANCE_REQUIRE(cfKeySearch);
  Open();
  Family->UseOrder(DS, orCityName);
  auto K = Family->Keyed(DS);
  DS->Next();
  const std::string Message = "People: 3 key values given for an index of 2 fields";
  const Variant A("a"), B("b"), C("c");
  EXPECT_EQ(ErrorOf([&] { K->FindKey({A, B, C}); }), Message);
  EXPECT_EQ(ErrorOf([&] { K->FindNearest({A, B, C}); }), Message);
  EXPECT_EQ(ErrorOf([&] { K->SetRange({A}, {A, B, C}); }), Message);
  EXPECT_EQ(DS->GetState(), dsBrowse);
  EXPECT_FALSE(K->GetRanged());
  EXPECT_EQ(Id(), 3);  // the record after Anna, where the index change left it
}

TEST_P(DataSetConformance, ARefusedCallLeavesEverythingAsItWas) {
  CONFORMANCE_REQUIRE(cfRanges);
  Open();
  Family->UseOrder(DS, orId);
  auto K = Family->Keyed(DS);
  TField* IdField = DS->FieldByName("ID");
  K->SetRange({I(2)}, {I(4)});
  DS->Next();
  EXPECT_ANY_THROW(K->SetRange({Variant("abc")}, {I(5)}));
  EXPECT_ANY_THROW(K->SetRange({I(1)}, {Variant("abc")}));
  EXPECT_EQ(DS->GetState(), dsBrowse);
  EXPECT_TRUE(K->GetRanged());
  EXPECT_EQ(Id(), 3);
  K->EditRangeStart();
  EXPECT_EQ(IdField->AsInteger(), 2);
  K->EditRangeEnd();
  EXPECT_EQ(IdField->AsInteger(), 4);
  DS->Cancel();
  EXPECT_EQ(Ids(), (IdList{2, 3, 4}));

  K->CancelRange();
  EXPECT_TRUE(K->FindKey({I(5)}));
  EXPECT_ANY_THROW(K->FindKey({Variant("abc")}));
  EXPECT_ANY_THROW(K->FindNearest({Variant("abc")}));
  EXPECT_EQ(DS->GetState(), dsBrowse);
  EXPECT_EQ(Id(), 5);
  K->EditKey();
  EXPECT_EQ(IdField->AsInteger(), 5);
  DS->Cancel();
}

TEST_P(DataSetConformance, CancelRangeKeepsTheCurrentRecord) {
  CONFORMANCE_REQUIRE(cfRanges);
  Open();
  Family->UseOrder(DS, orId);
  auto K = Family->Keyed(DS);
  K->SetRange({I(2)}, {I(5)});
  DS->Next();
  K->CancelRange();
  EXPECT_FALSE(K->GetRanged());
  EXPECT_EQ(Id(), 3);
  EXPECT_EQ(DS->RecordCount(), 6);
  DS->Prior();
  DS->Prior();
  EXPECT_EQ(Id(), 1);  // the records before the old range are back
  K->SetRange({I(50)}, {I(60)});
  K->CancelRange();  // the range was empty: the first record
  EXPECT_EQ(Id(), 1);
  K->CancelRange();  // no range: nothing happens
  EXPECT_EQ(Id(), 1);
}

}  // namespace
}  // namespace fyndra::conformance
