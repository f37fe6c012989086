#include <fyndra/platform/db/dataset.h>

#include <functional>
#include <map>

#include "dbtest.h"

namespace fyndra::test {

FYNDRA_IMPLEMENT_CLASS(TSpyLink)

namespace {

// ---------------------------------------------------------------- navigation

TEST(DataSetNavigation, NextAfterLastSetsEofAndStaysOnLast) {
  TPeople P(FivePeople());
  EXPECT_TRUE(P->Bof());
  EXPECT_FALSE(P->Eof());
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 2, 3, 4, 5}));
  EXPECT_TRUE(P->Eof());
  EXPECT_EQ(P.Id(), 5);
  P->Next();
  EXPECT_TRUE(P->Eof());
  EXPECT_EQ(P.Id(), 5);
  P->Prior();
  EXPECT_FALSE(P->Eof());
  EXPECT_EQ(P.Id(), 4);
}

TEST(DataSetNavigation, PriorBeforeFirstSetsBofAndStaysOnFirst) {
  TPeople P(FivePeople());
  P->Next();
  P->Prior();
  EXPECT_FALSE(P->Bof());
  P->Prior();
  EXPECT_TRUE(P->Bof());
  EXPECT_EQ(P.Id(), 1);
  P->Last();
  EXPECT_TRUE(P->Eof());
  EXPECT_FALSE(P->Bof());
  EXPECT_EQ(P.Id(), 5);
}

TEST(DataSetNavigation, MoveByReportsTheDistanceMoved) {
  TPeople P(FivePeople());
  EXPECT_EQ(P->MoveBy(3), 3);
  EXPECT_EQ(P.Id(), 4);
  EXPECT_EQ(P->MoveBy(5), 1);
  EXPECT_TRUE(P->Eof());
  EXPECT_EQ(P->MoveBy(-10), -4);
  EXPECT_TRUE(P->Bof());
  EXPECT_EQ(P->GetRecNo(), 1);
  P->SetRecNo(3);
  EXPECT_EQ(P.Id(), 3);
  EXPECT_EQ(P->GetRecNo(), 3);
  EXPECT_EQ(P->RecordCount(), 5);
}

TEST(DataSetNavigation, EmptyDataSetIsAtBothEnds) {
  TPeople P({});
  EXPECT_TRUE(P->IsEmpty());
  EXPECT_TRUE(P->Bof());
  EXPECT_TRUE(P->Eof());
  P->Next();
  P->Last();
  EXPECT_TRUE(P->Bof() && P->Eof());
  EXPECT_EQ(P->RecordCount(), 0);
  EXPECT_TRUE(P->FieldByName("ID")->IsNull());
  EXPECT_THROW(P->Delete(), EDatabaseError);
}

TEST(DataSetNavigation, ClosedDataSetRefusesNavigationAndValues) {
  TPeople P(FivePeople());
  P->Close();
  EXPECT_THROW(P->First(), EDatabaseError);
  EXPECT_THROW(P->Next(), EDatabaseError);
  EXPECT_THROW(P->RecordCount(), EDatabaseError);
  EXPECT_THROW(P->FieldByName("ID")->AsInteger(), EDatabaseError);
  EXPECT_THROW(P->Edit(), EDatabaseError);
  EXPECT_THROW(P->GetBookmark(), EDatabaseError);
  try {
    P->First();
  } catch (const EDatabaseError& E) {
    EXPECT_EQ(E.Message(), "People: Cannot perform this operation on a closed dataset");
  }
  P->Open();  // the records are still there
  EXPECT_EQ(P->RecordCount(), 5);
}

// ---------------------------------------------------------------- fields

TEST(DataSetFields, FindFieldGivesNullButFieldListsRaiseForUnknownNames) {
  TPeople P(FivePeople());
  EXPECT_EQ(P->FindField("nope"), nullptr);
  EXPECT_EQ(P->FindField("name"), P->FieldByName("NAME"));
  EXPECT_THROW(P->FieldByName("nope"), EDatabaseError);
  EXPECT_THROW(P->GetFieldList("ID;nope"), EDatabaseError);
  auto L = P->GetFieldList("ID;;CITY;");
  ASSERT_EQ(L.size(), 2u);
  EXPECT_EQ(L[1]->GetFieldName(), "CITY");
  EXPECT_EQ(P->GetFieldNames(), (std::vector<std::string>{"ID", "NAME", "CITY", "AMOUNT", "BORN"}));
  EXPECT_EQ(P->FieldByName("NAME")->GetDataSize(), 81);  // 20 characters of up to 4 bytes, and the end
  EXPECT_EQ(P->FieldByName("NAME")->GetDisplayName(), "NAME");
  P->FieldByName("NAME")->SetDisplayLabel("Name");
  EXPECT_EQ(P->FieldByName("NAME")->GetDisplayName(), "Name");
}

TEST(DataSetFields, NullFieldsReadAsNullAndEmpty) {
  TPeople P(FivePeople());
  P->SetRecNo(4);
  TField* City = P->FieldByName("CITY");
  EXPECT_TRUE(City->IsNull());
  EXPECT_TRUE(City->AsVariant().IsNull());
  EXPECT_EQ(City->AsString(), "");
  EXPECT_TRUE(P->FieldByName("BORN")->AsVariant().IsNull());
}

TEST(DataSetFields, BadConversionsRaiseAndLeaveTheRecordAsItWas) {
  TPeople P(FivePeople());
  TField* Name = P->FieldByName("NAME");
  TField* Id = P->FieldByName("ID");
  EXPECT_THROW(Name->AsInteger(), EConvertError);
  EXPECT_THROW(Name->AsFloat(), EConvertError);
  EXPECT_THROW(Name->AsDateTime(), EConvertError);
  try {
    Name->AsInteger();
  } catch (const EConvertError& E) {
    EXPECT_EQ(E.Message(), "'Anna' is not a valid integer value for field 'NAME'");
  }
  EXPECT_THROW(Id->SetAsInteger(7), EDatabaseError);  // not editing
  P->Edit();
  EXPECT_THROW(Id->SetAsString("abc"), EConvertError);
  EXPECT_THROW(Id->SetAsVariant(Variant("12x")), EConvertError);
  EXPECT_THROW(Name->SetAsString(std::string(21, 'x')), EDatabaseError);  // longer than the field
  EXPECT_THROW(P->FieldByName("BORN")->SetAsString("not a date"), EConvertError);
  P->Post();
  EXPECT_EQ(Id->AsInteger(), 1);
  EXPECT_EQ(Name->AsString(), "Anna");
}

TEST(DataSetFields, DisplayAndEditFormatsApplyToTheShownText) {
  SetDefaultLocale("en_US");
  TPeople P(FivePeople());
  auto* Amount = static_cast<TNumericField*>(P->FieldByName("AMOUNT"));
  Amount->SetDisplayFormat("#,##0.00");
  EXPECT_EQ(Amount->GetDisplayText(), "10.50");
  EXPECT_EQ(Amount->GetText(), "10.50");
  Amount->SetEditFormat("0.0");
  EXPECT_EQ(Amount->GetText(), "10.5");
  EXPECT_EQ(Amount->AsString(), "10.5");
  auto* Born = static_cast<TDateTimeField*>(P->FieldByName("BORN"));
  P->Edit();
  Born->SetAsDateTime(EncodeDate(2024, 3, 9) + 0.5);
  P->Post();
  EXPECT_EQ(Born->AsDateTime(), EncodeDate(2024, 3, 9));  // a date keeps no time
  Born->SetDisplayFormat("yyyy-mm-dd");
  EXPECT_EQ(Born->GetDisplayText(), "2024-03-09");
  P->FieldByName("CITY")->SetEditMask("LLLLLL;0;_");
  EXPECT_EQ(P->FieldByName("CITY")->GetEditMask(), "LLLLLL;0;_");
}

// ---------------------------------------------------------------- editing

TEST(DataSetEditing, EditPostAndCancel) {
  TPeople P(FivePeople());
  P->SetRecNo(2);
  P->Edit();
  EXPECT_EQ(P->State(), dsEdit);
  P->FieldByName("NAME")->SetAsString("Bertha");
  EXPECT_TRUE(P->Modified());
  P->Post();
  EXPECT_EQ(P->State(), dsBrowse);
  EXPECT_EQ(P->FieldByName("NAME")->AsString(), "Bertha");
  P->Edit();
  P->FieldByName("NAME")->SetAsString("Nobody");
  P->Cancel();
  EXPECT_EQ(P->FieldByName("NAME")->AsString(), "Bertha");
  EXPECT_EQ(P.Id(), 2);
}

TEST(DataSetEditing, InsertGoesBeforeTheCurrentRecordAndAppendToTheEnd) {
  TPeople P(FivePeople());
  P->SetRecNo(3);
  P->InsertRecord({Variant(std::int32_t(10)), Variant("Ida")});
  EXPECT_EQ(P.Id(), 10);
  P->AppendRecord({Variant(std::int32_t(11)), Variant("Jo")});
  EXPECT_EQ(P.Id(), 11);
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 2, 10, 3, 4, 5, 11}));
  P->SetRecNo(2);
  P->Insert();
  P->Cancel();  // back on the record it left
  EXPECT_EQ(P.Id(), 2);
  EXPECT_EQ(P->RecordCount(), 7);
}

TEST(DataSetEditing, DeleteMovesToTheNextRecordOrTheNewLast) {
  TPeople P(FivePeople());
  P->SetRecNo(2);
  P->Delete();
  EXPECT_EQ(P.Id(), 3);
  P->Last();
  P->Delete();
  EXPECT_EQ(P.Id(), 4);
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 3, 4}));
}

TEST(DataSetEditing, MovingAwayPostsAPendingEdit) {
  TPeople P(FivePeople());
  P->Edit();
  P->FieldByName("AMOUNT")->SetAsFloat(99);
  P->Next();
  EXPECT_EQ(P->State(), dsBrowse);
  P->First();
  EXPECT_EQ(P->FieldByName("AMOUNT")->AsFloat(), 99);
}

TEST(DataSetEditing, RequiredFieldWithoutValueIsRefusedAndNothingIsPosted) {
  TPeople P(FivePeople());
  P->FieldByName("CITY")->SetRequired(true);
  P->Append();
  P->FieldByName("ID")->SetAsInteger(6);
  EXPECT_THROW(P->Post(), EDatabaseError);
  EXPECT_EQ(P->State(), dsInsert);  // still editing: the user can complete it
  P->FieldByName("CITY")->SetAsString("Oslo");
  P->Post();
  EXPECT_EQ(P->RecordCount(), 6);
  // AppendRecord cancels what it could not post.
  EXPECT_THROW(P->AppendRecord({Variant(std::int32_t(7))}), EDatabaseError);
  EXPECT_EQ(P->State(), dsBrowse);
  EXPECT_EQ(P->RecordCount(), 6);
}

TEST(DataSetEditing, ValidationHandlerSeesTheNewValueAndCanRefuseIt) {
  TPeople P(FivePeople());
  TField* Amount = P->FieldByName("AMOUNT");
  std::vector<double> Seen;
  Amount->OnValidate = TFieldNotifyEvent::FromCallable([&](TField* F) {
    Seen.push_back(F->AsFloat());
    if (F->AsFloat() < 0) throw EDatabaseError("negative");
  });
  P->Edit();
  Amount->SetAsFloat(5);
  EXPECT_THROW(Amount->SetAsFloat(-1), EDatabaseError);
  EXPECT_EQ(Amount->AsFloat(), 5);
  EXPECT_EQ(Seen, (std::vector<double>{5, -1}));
  P->FieldByName("NAME")->SetReadOnly(true);
  EXPECT_THROW(P->FieldByName("NAME")->SetAsString("x"), EDatabaseError);
  P->Cancel();
}

TEST(DataSetEditing, ReadOnlyDataSetRefusesChanges) {
  TPeople P(FivePeople());
  P->SetReadOnly(true);
  EXPECT_THROW(P->Edit(), EDatabaseError);
  EXPECT_THROW(P->Append(), EDatabaseError);
  EXPECT_THROW(P->Delete(), EDatabaseError);
  EXPECT_EQ(P->RecordCount(), 5);
}

// ---------------------------------------------------------------- Locate and Lookup

TEST(DataSetLocate, FindsTheFirstMatchingRecordByTheOptions) {
  struct TCase {
    const char* Fields;
    Variant Key;
    TLocateOptions Options;
    int Expected;  // 0: not found
  } Cases[] = {
      {"NAME", Variant("Carl"), {}, 3},
      {"NAME", Variant("carl"), {}, 0},
      {"NAME", Variant("carl"), {loCaseInsensitive}, 3},
      {"NAME", Variant("An"), {}, 0},
      {"NAME", Variant("An"), {loPartialKey}, 1},
      {"NAME", Variant("ant"), {loPartialKey, loCaseInsensitive}, 5},
      {"NAME", Variant("Annabel"), {loPartialKey}, 0},
      {"CITY;NAME", VarArrayOf({Variant("BERLIN"), Variant("carl")}), {loCaseInsensitive}, 3},
      {"CITY;NAME", VarArrayOf({Variant("Berlin"), Variant("Carl")}), {}, 0},
      {"CITY", Null(), {}, 4},
      {"ID", Variant(std::int32_t(4)), {}, 4},
      {"ID", Variant("5"), {}, 5},
      {"AMOUNT", Variant(10.5), {}, 1},
      {"ID;CITY", VarArrayOf({Variant(std::int32_t(2)), Variant("Paris")}), {}, 2},
  };
  for (const TCase& C : Cases) {
    TPeople P(FivePeople());
    P->Last();
    bool Found = P->Locate(C.Fields, C.Key, C.Options);
    SCOPED_TRACE(std::string(C.Fields) + " " + VarToStr(C.Key.IsArray() ? C.Key[0] : C.Key));
    EXPECT_EQ(Found, C.Expected != 0);
    EXPECT_EQ(P.Id(), C.Expected ? C.Expected : 5);  // not found: no move
  }
}

// A beginning typed ignoring case matches however upper case changes the
// text's length: "STRAS" begins "Straße" (STRASSE), and so does "straß".
TEST(DataSetLocate, PartialKeysIgnoringCaseFollowUpperCaseForms) {
  TPeople P({{1, "Anna", "Berlin", 1}, {2, "Straße", "Wien", 2}, {3, "Strasser", "Graz", 3},
             {4, "zéß", "Linz", 4}, {5, "ﬁle", "Bern", 5}});
  const struct {
    const char* Key;
    int Expected;
  } Cases[] = {{"stras", 2}, {"STRASS", 2}, {"straß", 2}, {"STRASSE", 2}, {"strasse", 2}, {"strasser", 3},
               {"ZÉSS", 4}, {"zéß", 4}, {"zéss", 4}, {"FI", 5}, {"ﬁ", 5}, {"straßex", 0}, {"zes", 0}};
  for (const auto& C : Cases) {
    SCOPED_TRACE(C.Key);
    P->First();
    EXPECT_EQ(P->Locate("NAME", Variant(C.Key), {loPartialKey, loCaseInsensitive}), C.Expected != 0);
    EXPECT_EQ(P.Id(), C.Expected ? C.Expected : 1);
  }
}

TEST(DataSetLocate, BadKeysAreRefused) {
  TPeople P(FivePeople());
  EXPECT_THROW(P->Locate("nope", Variant("x"), {}), EDatabaseError);
  EXPECT_THROW(P->Locate("ID", Variant("abc"), {}), EDatabaseError);
  EXPECT_THROW(P->Locate("ID;NAME", Variant(std::int32_t(1)), {}), EDatabaseError);
  EXPECT_EQ(P.Id(), 1);
}

TEST(DataSetLocate, LookupReadsWithoutMoving) {
  TPeople P(FivePeople());
  EXPECT_EQ(VarToStr(P->Lookup("ID", Variant(std::int32_t(3)), "NAME")), "Carl");
  Variant Both = P->Lookup("NAME", Variant("bert"), "ID;CITY");
  ASSERT_TRUE(Both.IsArray());
  EXPECT_EQ(Both[0].AsInteger(), 2);
  EXPECT_EQ(Both[1].AsString(), "Paris");
  EXPECT_TRUE(P->Lookup("ID", Variant(std::int32_t(42)), "NAME").IsNull());
  EXPECT_EQ(P.Id(), 1);
}

// ---------------------------------------------------------------- filtering

TEST(DataSetFilter, OnlyAcceptedRecordsAreDeliveredAndSwitchingEitherRefilters) {
  TPeople P(FivePeople());
  auto Even = TFilterRecordEvent::FromCallable(
      [](TDataSet* DS, bool& Accept) { Accept = DS->FieldByName("ID")->AsInteger() % 2 == 0; });
  auto Big = TFilterRecordEvent::FromCallable(
      [](TDataSet* DS, bool& Accept) { Accept = DS->FieldByName("AMOUNT")->AsFloat() > 25; });
  P->SetOnFilterRecord(Even);
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 2, 3, 4, 5}));  // not filtered yet
  P->SetFiltered(true);
  EXPECT_EQ(P.Ids(), (std::vector<int>{2, 4}));
  EXPECT_EQ(P->RecordCount(), 2);
  P->Last();
  EXPECT_EQ(P->GetRecNo(), 2);
  P->SetOnFilterRecord(Big);
  EXPECT_EQ(P.Id(), 4);  // still visible: stays
  EXPECT_EQ(P.Ids(), (std::vector<int>{3, 4, 5}));
  EXPECT_FALSE(P->Locate("ID", Variant(std::int32_t(2)), {}));
  EXPECT_TRUE(P->Locate("ID", Variant(std::int32_t(5)), {}));
  P->SetFiltered(false);
  EXPECT_EQ(P->RecordCount(), 5);
  EXPECT_EQ(P.Id(), 5);
  P->SetFiltered(true);
  P->SetOnFilterRecord(TFilterRecordEvent::FromCallable([](TDataSet*, bool& A) { A = false; }));
  EXPECT_TRUE(P->IsEmpty());
  EXPECT_TRUE(P->Eof() && P->Bof());
}

TEST(DataSetFilter, AnExceptionInTheFilterLeavesThePositionAlone) {
  TPeople P(FivePeople());
  P->SetRecNo(2);
  P->SetFiltered(true);
  P->SetOnFilterRecord(TFilterRecordEvent::FromCallable([](TDataSet* DS, bool& A) {
    if (DS->FieldByName("ID")->AsInteger() == 4) throw EDatabaseError("boom");
    A = true;
  }));
  EXPECT_EQ(P.Id(), 2);
  P->Next();
  EXPECT_THROW(P->Next(), EDatabaseError);
  EXPECT_EQ(P.Id(), 3);
  EXPECT_EQ(P->State(), dsBrowse);
}

// ---------------------------------------------------------------- bookmarks

TEST(DataSetBookmarks, ReturnToExactlyTheRecordTheyWereTakenOn) {
  TPeople P(FivePeople());
  P->SetRecNo(4);
  TBookmark B = P->GetBookmark();
  P->First();
  EXPECT_TRUE(P->BookmarkValid(B));
  P->GotoBookmark(B);
  EXPECT_EQ(P.Id(), 4);
  P->First();
  TBookmark First = P->GetBookmark();
  EXPECT_LT(P->CompareBookmarks(First, B), 0);
  EXPECT_EQ(P->CompareBookmarks(B, B), 0);
  P->FreeBookmark(B);
  EXPECT_TRUE(B.IsEmpty());
  EXPECT_THROW(P->GotoBookmark(B), EDatabaseError);
}

TEST(DataSetBookmarks, ForeignAndStaleBookmarksAreRefused) {
  TPeople P(FivePeople()), Q(FivePeople());
  P->SetRecNo(3);
  TBookmark Mine = P->GetBookmark();
  Q->SetRecNo(2);
  TBookmark Theirs = Q->GetBookmark();
  EXPECT_FALSE(P->BookmarkValid(Theirs));
  EXPECT_THROW(P->GotoBookmark(Theirs), EDatabaseError);
  EXPECT_THROW(P->CompareBookmarks(Mine, Theirs), EDatabaseError);
  EXPECT_EQ(P.Id(), 3);
  P->Delete();
  EXPECT_FALSE(P->BookmarkValid(Mine));
  EXPECT_THROW(P->GotoBookmark(Mine), EDatabaseError);
  EXPECT_EQ(P.Id(), 4);
}

// ---------------------------------------------------------------- data links

struct TLinked {
  TPeople P{FivePeople()};
  TOwned<TDataSource> Source{CreateOwned<TDataSource>(nullptr)};
  TOwned<TSpyLink> Spy{CreateOwned<TSpyLink>()};
  TLinked() {
    Source->SetDataSet(P.DS.get());
    Spy->SetDataSource(Source.get());
    Spy->Log.clear();
  }
};

TEST(DataLinkEvents, NavigationAndEditingSendTheirEventsInOrder) {
  TLinked L;
  L.P->Next();
  L.P->Next();
  L.P->Last();
  L.P->Next();  // nothing moves
  EXPECT_EQ(L.Spy->Joined(), "Scrolled(1) Scrolled(1) Changed");
  L.Spy->Log.clear();
  L.P->Edit();
  L.P->FieldByName("NAME")->SetAsString("Zed");
  L.P->Post();
  EXPECT_EQ(L.Spy->Joined(), "Editing Record() Record(NAME) UpdateData NotEditing Changed");
  L.Spy->Log.clear();
  L.P->Append();
  L.P->Cancel();
  EXPECT_EQ(L.Spy->Joined(), "Editing Changed NotEditing Changed");
}

TEST(DataLinkEvents, OpenCloseAndSwitchingTheDataSet) {
  TLinked L;
  L.P->Close();
  L.P->Open();
  EXPECT_EQ(L.Spy->Joined(), "Inactive Active");
  TPeople Other({{9, "Ola", "Oslo", 1}});
  L.Spy->Log.clear();
  L.Source->SetDataSet(Other.DS.get());
  EXPECT_EQ(L.Spy->Joined(), "Inactive Active");
  EXPECT_EQ(L.Spy->GetDataSet(), Other.DS.get());
  L.Spy->Log.clear();
  L.Source->SetEnabled(false);
  EXPECT_EQ(L.Spy->Joined(), "Inactive");
  L.Source->SetEnabled(true);
  L.Spy->Log.clear();
  Other.DS.reset();  // the dataset goes away under the link
  EXPECT_EQ(L.Spy->Joined(), "Inactive");
  EXPECT_EQ(L.Source->GetDataSet(), nullptr);
  EXPECT_EQ(L.Spy->GetDataSet(), nullptr);
}

TEST(DataLinkEvents, DisabledControlsHearOneChangeAtTheLastEnable) {
  TLinked L;
  L.P->DisableControls();
  L.P->DisableControls();
  L.P->Next();
  L.P->Last();
  L.P->Edit();
  L.P->Cancel();
  L.P->EnableControls();
  EXPECT_EQ(L.Spy->Joined(), "");
  L.P->EnableControls();
  EXPECT_EQ(L.Spy->Joined(), "Changed");
  L.Spy->Log.clear();
  L.P->DisableControls();
  L.P->EnableControls();
  EXPECT_EQ(L.Spy->Joined(), "");  // nothing happened: nothing to refresh
  // Closing is told at once even while disabled.
  L.P->DisableControls();
  L.P->Close();
  EXPECT_EQ(L.Spy->Joined(), "Inactive");
  L.P->Open();
  L.P->EnableControls();
  EXPECT_EQ(L.Spy->Joined(), "Inactive Active");
}

TEST(DataLinkEvents, WithControlsDisabledEnablesThemAgainAfterAnError) {
  TLinked L;
  L.P->WithControlsDisabled([&] {
    L.P->Next();
    L.P->Next();
    EXPECT_TRUE(L.P->ControlsDisabled());
  });
  EXPECT_EQ(L.Spy->Joined(), "Changed");
  L.Spy->Log.clear();
  EXPECT_THROW(L.P->WithControlsDisabled([&] {
    L.P->Last();
    L.P->Edit();
    L.P->FieldByName("ID")->SetAsString("not a number");
  }), EConvertError);
  EXPECT_FALSE(L.P->ControlsDisabled());
  EXPECT_EQ(L.Spy->Joined(), "Editing Changed");  // the held changes, told once
  EXPECT_EQ(L.P.Id(), 5);
}

TEST(DataLinkEvents, FieldDataLinkFollowsItsField) {
  TLinked L;
  auto FL = CreateOwned<TFieldDataLink>();
  int Changes = 0;
  FL->OnDataChange = TNotifyEvent::FromCallable([&](TObject*) { ++Changes; });
  FL->SetFieldName("NAME");
  EXPECT_EQ(FL->GetField(), nullptr);
  FL->SetDataSource(L.Source.get());
  EXPECT_EQ(FL->GetField(), L.P->FieldByName("NAME"));
  Changes = 0;
  L.P->Edit();
  L.P->FieldByName("CITY")->SetAsString("Ulm");  // another field: not this link's business
  EXPECT_EQ(Changes, 1);                         // only the Edit's record change
  FL->Modified();
  int Updates = 0;
  FL->OnUpdateData = TNotifyEvent::FromCallable([&](TObject*) {
    ++Updates;
    L.P->FieldByName("NAME")->SetAsString("FromControl");
  });
  L.P->Post();
  EXPECT_EQ(Updates, 1);
  EXPECT_EQ(L.P->FieldByName("NAME")->AsString(), "FromControl");
  Changes = 0;
  L.P->Next();  // a move shows the next record's value
  EXPECT_EQ(Changes, 1);
  L.P->Close();  // so does losing the field
  EXPECT_EQ(FL->GetField(), nullptr);
  EXPECT_EQ(Changes, 2);
}

}  // namespace
}  // namespace fyndra::test

namespace fyndra::test {
namespace {

// A family written on the hooks the way a one-record dataset is: its cursor
// never moves (next reports the end, prior the beginning) and its single
// record's values live outside any record buffer.
class TOneRecord : public TDataSet {
  FYNDRA_CLASS(TOneRecord, TDataSet)

 public:
  std::map<std::string, Variant> Values;
  bool GetFieldData(TField* Field, void* Buffer) const override {
    auto It = Values.find(Field->GetFieldName());
    if (It == Values.end() || It->second.IsNull()) return false;
    if (Buffer) *static_cast<std::int32_t*>(Buffer) = It->second.AsInteger();
    return true;
  }
  void SetFieldData(TField* Field, const void* Buffer) override {
    Values[Field->GetFieldName()] = Buffer ? Variant(*static_cast<const std::int32_t*>(Buffer)) : Null();
  }
  void CheckInactive() const override {}  // fields may change while open

 protected:
  explicit TOneRecord(TComponent* Owner) : TDataSet(Owner) {}
  bool FamilyCanModify() const override { return true; }
  void InternalPost() override {}  // values are stored by SetFieldData
  TRecordBuffer AllocRecordBuffer() override { return this; }
  void FreeRecordBuffer(TRecordBuffer& Buffer) override { Buffer = nullptr; }
  TGetResult GetRecord(TRecordBuffer, TGetMode Mode, bool) override {
    return Mode == gmCurrent ? grOK : Mode == gmNext ? grEOF : grBOF;
  }
  void InternalOpen() override {}
  void InternalClose() override {}
  bool IsCursorOpen() const override { return true; }
  void InternalInitFieldDefs() override {
    GetFieldDefs()->Clear();
    GetFieldDefs()->Add("A", ftInteger);
  }
};

FYNDRA_IMPLEMENT_CLASS(TOneRecord)

// A family that says it can modify but stores nothing on Post (keeps the
// base's InternalPost), and one that does not say it can modify at all.
class TNoStore : public TOneRecord {
  FYNDRA_CLASS(TNoStore, TOneRecord)

 public:
  bool CanWrite = true;

 protected:
  explicit TNoStore(TComponent* Owner) : TOneRecord(Owner) {}
  bool FamilyCanModify() const override { return CanWrite; }
  void InternalPost() override { TDataSet::InternalPost(); }
};

FYNDRA_IMPLEMENT_CLASS(TNoStore)

TEST(DataSetFamily, AFamilyWithoutWriteSupportNeverReportsAnEditAsStored) {
  auto DS = CreateOwned<TNoStore>(nullptr);
  DS->Open();
  DS->Edit();
  DS->FieldByName("A")->SetAsInteger(5);
  EXPECT_NE(DbErrorOf([&] { DS->Post(); }).find("read-only"), std::string::npos);
  EXPECT_EQ(DS->State(), dsEdit);  // the edit stays open: nothing is lost
  DS->Cancel();
  DS->CanWrite = false;
  EXPECT_FALSE(DS->CanModify());
  for (auto Action : {+[](TDataSet* D) { D->Edit(); }, +[](TDataSet* D) { D->Append(); },
                      +[](TDataSet* D) { D->Delete(); }}) {
    EXPECT_NE(DbErrorOf([&] { Action(DS.get()); }).find("read-only"), std::string::npos);
    EXPECT_EQ(DS->State(), dsBrowse);
  }
}

TEST(DataSetFamily, AOneRecordFamilyShowsItsRecordAndReportsBothEnds) {
  auto DS = CreateOwned<TOneRecord>(nullptr);
  DS->Values["A"] = Variant(std::int32_t(7));
  DS->Open();
  EXPECT_FALSE(DS->IsEmpty());
  EXPECT_EQ(DS->RecordCount(), 1);
  EXPECT_EQ(DS->FieldByName("A")->AsInteger(), 7);
  DS->Next();
  EXPECT_TRUE(DS->Eof());
  EXPECT_EQ(DS->FieldByName("A")->AsInteger(), 7);
  DS->Last();
  DS->Prior();
  EXPECT_TRUE(DS->Bof());
  DS->Edit();
  DS->FieldByName("A")->SetAsInteger(8);
  DS->Post();
  EXPECT_EQ(DS->Values["A"].AsInteger(), 8);
  DS->Edit();
  DS->FieldByName("A")->Clear();
  EXPECT_TRUE(DS->FieldByName("A")->IsNull());
  DS->Post();
}

TEST(DataSetFamily, FieldsAddedWhileOpenAreToldToLinksAsALayoutChange) {
  auto DS = CreateOwned<TOneRecord>(nullptr);
  DS->Open();
  auto Source = CreateOwned<TDataSource>(nullptr);
  Source->SetDataSet(DS.get());
  auto Spy = CreateOwned<TSpyLink>();
  Spy->SetDataSource(Source.get());
  Spy->Log.clear();
  TFieldDef* Def = DS->GetFieldDefs()->Add("B", ftInteger);
  TField* B = Def->CreateField(DS.get());
  EXPECT_EQ(DS->FindField("B"), B);
  fyndra::Free(B);
  EXPECT_EQ(DS->FindField("B"), nullptr);
  EXPECT_EQ(Spy->Joined(), "Layout Layout");
  DS->Close();  // the default field A is freed with the cursor; B's owner freed B already
  EXPECT_EQ(DS->FieldCount(), 0);
}

TEST(DataSetFamily, FilteredAndOnFilterRecordArePublished) {
  TPeople P(FivePeople());
  PPropInfo Filtered = GetPropInfo(P.DS.get(), "Filtered", TTypeKinds{tkEnumeration});
  PPropInfo OnFilter = GetPropInfo(P.DS.get(), "OnFilterRecord", TTypeKinds{tkMethod});
  ASSERT_NE(Filtered, nullptr);
  ASSERT_NE(OnFilter, nullptr);
  struct TModel {
    void Accept(TDataSet* DS, bool& A) { A = DS->FieldByName("ID")->AsInteger() > 3; }
  } M;
  TFilterRecordEvent Handler(&M, &TModel::Accept);
  SetMethodProp(P.DS.get(), OnFilter, Handler.Method());
  SetOrdProp(P.DS.get(), Filtered, 1);
  EXPECT_TRUE(P->GetFiltered());
  EXPECT_EQ(P.Ids(), (std::vector<int>{4, 5}));
  EXPECT_TRUE(P->GetOnFilterRecord() == Handler);
  SetMethodProp(P.DS.get(), OnFilter, TMethod());
  EXPECT_EQ(P.Ids(), (std::vector<int>{1, 2, 3, 4, 5}));
}

}  // namespace
}  // namespace fyndra::test

namespace fyndra::test {
namespace {

// A read-only family over a cursor that produces rows 1..Total on demand and
// keeps what it fetched, the way a SQL cursor is read.
class TLazyCursor : public TDataSet {
  FYNDRA_CLASS(TLazyCursor, TDataSet)

 public:
  int Total = 1000;
  int Fetched = 0;
  bool GetFieldData(TField*, void* Buffer) const override {
    auto* B = static_cast<const int*>(CurrentRecordBuffer());
    if (!B) return false;
    if (Buffer) *static_cast<std::int32_t*>(Buffer) = *B;
    return true;
  }
  void SetFieldData(TField*, const void*) override { DatabaseError(dbmsg::SDataSetReadOnly, this); }

 protected:
  explicit TLazyCursor(TComponent* Owner) : TDataSet(Owner) {}
  TRecordBuffer AllocRecordBuffer() override { return new int(0); }
  void FreeRecordBuffer(TRecordBuffer& Buffer) override {
    delete static_cast<int*>(Buffer);
    Buffer = nullptr;
  }
  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode Mode, bool) override {
    switch (Mode) {
      case gmNext:
        if (Pos_ + 1 >= int(Cache_.size())) {
          if (Fetched == Total) {
            Pos_ = int(Cache_.size());
            return grEOF;
          }
          Cache_.push_back(++Fetched);
        }
        ++Pos_;
        break;
      case gmPrior:
        if (Pos_ <= 0) {
          Pos_ = -1;
          return grBOF;
        }
        --Pos_;
        break;
      case gmCurrent:
        if (Pos_ < 0 || Pos_ >= int(Cache_.size())) return grError;
        break;
    }
    *static_cast<int*>(Buffer) = Cache_[std::size_t(Pos_)];
    return grOK;
  }
  void InternalOpen() override {
    Cache_.clear();
    Fetched = 0;
    Open_ = true;
  }
  void InternalClose() override { Open_ = false; }
  bool IsCursorOpen() const override { return Open_; }
  void InternalInitFieldDefs() override {
    GetFieldDefs()->Clear();
    GetFieldDefs()->Add("N", ftInteger);
  }
  void InternalFirst() override { Pos_ = -1; }
  void InternalLast() override {
    while (Fetched < Total) Cache_.push_back(++Fetched);
    Pos_ = int(Cache_.size());
  }
  void InternalSetToRecord(TRecordBuffer Buffer) override { Pos_ = *static_cast<int*>(Buffer) - 1; }
  bool FamilyCanModify() const override { return false; }

 private:
  std::vector<int> Cache_;
  int Pos_ = -1;
  bool Open_ = false;
};

FYNDRA_IMPLEMENT_CLASS(TLazyCursor)

TEST(DataSetFamily, ACursorFamilyIsReadOnlyAsFarAsItIsAsked) {
  auto DS = CreateOwned<TLazyCursor>(nullptr);
  DS->Open();
  EXPECT_EQ(DS->Fetched, 1);  // opening reads the first record only
  DS->Next();
  DS->Next();
  EXPECT_EQ(DS->Fetched, 3);
  EXPECT_EQ(DS->FieldByName("N")->AsInteger(), 3);
  EXPECT_EQ(DS->RecordCount(), 1000);  // counting reads to the end...
  EXPECT_EQ(DS->Fetched, 1000);
  EXPECT_EQ(DS->FieldByName("N")->AsInteger(), 3);  // ...and keeps the position
  EXPECT_EQ(DS->GetRecNo(), -1);                    // no bookmarks: unknown
  EXPECT_TRUE(DS->Locate("N", Variant(std::int32_t(500)), {}));
  EXPECT_EQ(DS->FieldByName("N")->AsInteger(), 500);
  EXPECT_THROW(DS->Edit(), EDatabaseError);
  EXPECT_THROW(DS->Append(), EDatabaseError);
  EXPECT_EQ(DS->State(), dsBrowse);
  DS->Close();
  DS->Open();
  DS->Last();
  EXPECT_EQ(DS->FieldByName("N")->AsInteger(), 1000);
}

TEST(DataSetEvents, OperationsFireTheirEventsInOrderAndBeforePostCanRefuse) {
  TPeople P(FivePeople());
  std::vector<std::string> Log;
  auto Spy = [&](const char* Name) {
    return TDataSetNotifyEvent::FromCallable([&Log, Name](TDataSet*) { Log.push_back(Name); });
  };
  P->BeforeOpen = Spy("BeforeOpen");
  P->AfterOpen = Spy("AfterOpen");
  P->BeforeClose = Spy("BeforeClose");
  P->AfterClose = Spy("AfterClose");
  P->BeforeInsert = Spy("BeforeInsert");
  P->AfterInsert = Spy("AfterInsert");
  P->OnNewRecord = Spy("OnNewRecord");
  P->BeforePost = Spy("BeforePost");
  P->AfterPost = Spy("AfterPost");
  P->BeforeDelete = Spy("BeforeDelete");
  P->AfterDelete = Spy("AfterDelete");
  P->BeforeScroll = Spy("BeforeScroll");
  P->AfterScroll = Spy("AfterScroll");
  auto Take = [&] {
    std::string S;
    for (const auto& E : Log) S += (S.empty() ? "" : " ") + E;
    Log.clear();
    return S;
  };
  P->Close();
  P->Open();
  EXPECT_EQ(Take(), "BeforeClose AfterClose BeforeOpen AfterOpen AfterScroll");
  P->Append();
  P->FieldByName("ID")->SetAsInteger(6);
  P->Post();
  EXPECT_EQ(Take(), "BeforeInsert BeforeScroll OnNewRecord AfterInsert AfterScroll BeforePost AfterPost");
  P->Delete();
  EXPECT_EQ(Take(), "BeforeDelete BeforeScroll AfterDelete AfterScroll");
  P->BeforePost = TDataSetNotifyEvent::FromCallable([](TDataSet*) { throw EDatabaseError("not now"); });
  P->Edit();
  P->FieldByName("NAME")->SetAsString("Changed");
  EXPECT_THROW(P->Post(), EDatabaseError);
  EXPECT_EQ(P->State(), dsEdit);
  P->Cancel();
  EXPECT_EQ(P->FieldByName("NAME")->AsString(), "Anton");  // the new last record
}

TEST(DataLinkEvents, SearchesAndBookmarksTellLinksOnceAndDeleteTellsTheChange) {
  TPeople P(FivePeople());
  auto Source = CreateOwned<TDataSource>(nullptr);
  Source->SetDataSet(P.DS.get());
  auto Spy = CreateOwned<TSpyLink>();
  Spy->SetDataSource(Source.get());
  Spy->Log.clear();
  P->Locate("ID", Variant(std::int32_t(4)), {});
  TBookmark B = P->GetBookmark();
  P->Locate("ID", Variant(std::int32_t(99)), {});  // not found: silent
  P->First();
  P->GotoBookmark(B);
  P->Delete();
  EXPECT_EQ(Spy->Joined(), "Changed Changed Changed Changed");
  Spy->Log.clear();
  P->MoveBy(-2);
  P->Insert();
  P->FieldByName("ID")->SetAsInteger(8);
  P->Post();
  EXPECT_EQ(Spy->Joined(), "Scrolled(-2) Editing Changed Record(ID) UpdateData NotEditing Changed");
}

}  // namespace
}  // namespace fyndra::test

namespace fyndra::test {
namespace {

// A link that frees another link when it hears of a change.
class TFreeingLink : public TDataLink {
  FYNDRA_CLASS(TFreeingLink, TDataLink)

 public:
  TDataLink* Victim = nullptr;

 protected:
  TFreeingLink() = default;
  void DataSetChanged() override {
    fyndra::Free(Victim);
    Victim = nullptr;
  }
};

FYNDRA_IMPLEMENT_CLASS(TFreeingLink)

TEST(DataLinkEvents, ALinkFreedByAnotherLinksHandlerIsNotCalled) {
  TPeople P(FivePeople());
  auto Source = CreateOwned<TDataSource>(nullptr);
  Source->SetDataSet(P.DS.get());
  auto First = CreateOwned<TFreeingLink>();
  First->SetDataSource(Source.get());
  TSpyLink* Second = Create<TSpyLink>();
  Second->SetDataSource(Source.get());
  First->Victim = Second;
  P->Last();  // First frees Second before Second would be told
  EXPECT_EQ(First->Victim, nullptr);
  P->First();
}

}  // namespace
}  // namespace fyndra::test

namespace fyndra::test {
namespace {

// Logs the open state and the dataset the link reaches at each event.
class TReplaceLink : public TDataLink {
  FYNDRA_CLASS(TReplaceLink, TDataLink)

 public:
  std::vector<std::string> Log;

 protected:
  TReplaceLink() = default;
  void ActiveChanged() override { Log.push_back(std::string(GetActive() ? "Active(" : "Inactive(") + Name() + ")"); }
  void DataSetReplaced() override { Log.push_back("Replaced(" + Name() + ")"); }

 private:
  std::string Name() const { return GetDataSet() ? GetDataSet()->GetName() : "-"; }
};

FYNDRA_IMPLEMENT_CLASS(TReplaceLink)

// A link hears of every switch of its dataset, also between closed datasets,
// which change no open state.
TEST(DataLinkEvents, ReplacingADataSetIsToldAlsoWhileClosed) {
  TPeople X(FivePeople()), Y(FivePeople());
  X->SetName("X");
  Y->SetName("Y");
  auto Source = CreateOwned<TDataSource>(nullptr);
  auto Link = CreateOwned<TReplaceLink>();
  Link->SetDataSource(Source.get());
  Source->SetDataSet(X.DS.get());
  Source->SetDataSet(Y.DS.get());
  EXPECT_EQ(Link->Log, (std::vector<std::string>{"Replaced(-)", "Active(X)", "Replaced(X)", "Inactive(-)",
                                                 "Active(Y)", "Replaced(Y)"}));
  Link->Log.clear();
  X->Close();
  Y->Close();
  Source->SetDataSet(X.DS.get());
  Source->SetDataSet(nullptr);
  EXPECT_EQ(Link->Log, (std::vector<std::string>{"Inactive(Y)", "Replaced(X)", "Replaced(-)"}));
  Link->Log.clear();
  auto Other = CreateOwned<TDataSource>(nullptr);
  Other->SetDataSet(Y.DS.get());
  Link->SetDataSource(Other.get());
  EXPECT_EQ(Link->Log, std::vector<std::string>{"Replaced(Y)"});
}

}  // namespace
}  // namespace fyndra::test
