// Operations that replace a client dataset's storage with new definitions
// and records (loading from another dataset, making a new dataset): the new
// state is built aside, and whatever refuses it leaves the dataset as it was.
#include <fyndra/platform/db/dbclient.h>

#include "dbtest.h"

namespace fyndra::test {
namespace {

struct TColumnSpec {
  const char* Name;
  TFieldType Type;
  int Size = 0;
};

// An open client dataset of Columns holding Rows.
TOwned<TClientDataSet> MakeSource(const std::vector<TColumnSpec>& Columns,
                                  const std::vector<std::vector<Variant>>& Rows) {
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  DS->SetName("Source");
  for (const TColumnSpec& C : Columns) DS->GetFieldDefs()->Add(C.Name, C.Type, C.Size);
  DS->CreateDataSet();
  for (const auto& R : Rows) {
    DS->Append();
    for (std::size_t I = 0; I < R.size(); ++I) DS->Fields()[int(I)]->SetAsVariant(R[I]);
    DS->Post();
  }
  DS->First();
  return DS;
}

// Each source is refused by something of the target's own (an index, the
// order, persistent fields, an event handler); the target keeps definitions,
// indexes, order, records and position, and can still be edited.
TEST(ClientLoadFromDataSet, RefusedLoadsLeaveTheDataSetExactlyAsItWas) {
  const std::vector<TColumnSpec> NoCity = {{"ID", ftInteger}, {"NAME", ftString, 20}};
  const std::vector<TColumnSpec> NoName = {{"ID", ftInteger}, {"CITY", ftString, 20}};
  const std::vector<TColumnSpec> Full = {{"ID", ftInteger}, {"NAME", ftString, 20}, {"CITY", ftString, 20}};
  struct TCase {
    const char* What;
    std::vector<TColumnSpec> Columns;
    std::vector<std::vector<Variant>> Rows;
    std::function<void(TTarget&)> Prepare;
    const char* Says;
  };
  const TCase Cases[] = {
      {"an own index on a field the source lacks", NoCity, {{Variant(9), Variant("Nina")}}, nullptr, "CITY"},
      {"the chosen index on a field the source lacks", NoCity, {{Variant(9), Variant("Nina")}},
       [](TTarget& T) { T->SetIndexName("ByCity"); }, "CITY"},
      {"an order by a field the source lacks", NoName, {{Variant(9), Variant("Oslo")}}, nullptr, "NAME"},
      {"a unique index the source's records break", Full,
       {{Variant(8), Variant("Same"), Variant("A")}, {Variant(9), Variant("Same"), Variant("B")}},
       [](TTarget& T) { T->AddIndex("UniqueName", "NAME", {ixUnique}); }, "UniqueName"},
      {"an event handler refusing the open", Full, {{Variant(9), Variant("Nina"), Variant("Oslo")}},
       [](TTarget& T) {
         T->AfterOpen = TDataSetNotifyEvent::FromCallable([](TDataSet* DS) {
           if (DS->RecordCount() == 1) DatabaseError("not now");
         });
       },
       "not now"},
  };
  for (const TCase& C : Cases) {
    SCOPED_TRACE(C.What);
    TTarget T;
    if (C.Prepare) C.Prepare(T);
    T->First();
    T->Next();
    const TLook Before = LookAt(T.P.DS.get());
    auto Source = MakeSource(C.Columns, C.Rows);
    const std::string Message = DbErrorOf([&] { T->LoadFromDataSet(Source.get()); });
    EXPECT_NE(Message.find(C.Says), std::string::npos) << Message;
    ExpectUnchangedAndUsable(T, Before);
  }
  // Persistent fields the source lacks.
  TPeople P(FivePeople());
  P->Close();
  TField* City = P->GetFieldDefs()->Find("CITY")->CreateField(P.DS.get());
  P->GetFieldDefs()->Find("NAME")->CreateField(P.DS.get());
  P->Open();
  P->Last();
  const TLook Before = LookAt(P.DS.get());
  auto Source = MakeSource(NoCity, {{Variant(9), Variant("Nina")}});
  EXPECT_NE(DbErrorOf([&] { P->LoadFromDataSet(Source.get()); }).find("CITY"), std::string::npos);
  EXPECT_EQ(LookAt(P.DS.get()), Before);
  EXPECT_EQ(City->AsString(), "Rome");
}

// A load keeps the dataset's own indexes and chosen order, built over the
// new records, and numbering goes on after the largest value copied.
TEST(ClientLoadFromDataSet, OwnIndexesAndNumberingFollowTheNewRecords) {
  auto Source = MakeSource({{"AI", ftAutoInc}, {"NAME", ftString, 10}},
                           {{Variant(5), Variant("e")}, {Variant(70), Variant("b")}, {Variant(3), Variant("z")}});
  auto Copy = CreateOwned<TClientDataSet>(nullptr);
  Copy->AddIndex("ByName", "NAME", {ixUnique});
  Copy->SetIndexName("ByName");
  Copy->LoadFromDataSet(Source.get());
  EXPECT_EQ(Copy->GetIndexName(), "ByName");
  std::string Names;
  for (Copy->First(); !Copy->Eof(); Copy->Next()) Names += Copy->FieldByName("NAME")->AsString();
  EXPECT_EQ(Names, "bez");
  Copy->AppendRecord({Null(), Variant("n")});
  EXPECT_EQ(Copy->FieldByName("AI")->AsInteger(), 71);
  EXPECT_THROW(Copy->AppendRecord({Null(), Variant("b")}), EDatabaseError);  // the unique index holds
  Copy->Cancel();

  // The largest value leaves no number to give.
  auto Full = MakeSource({{"AI", ftAutoInc}, {"NAME", ftString, 10}}, {{Variant(2147483647), Variant("max")}});
  Copy->LoadFromDataSet(Full.get());
  EXPECT_NE(DbErrorOf([&] { Copy->AppendRecord({Null(), Variant("next")}); }).find("auto-increment"),
            std::string::npos);
  Copy->Cancel();
  EXPECT_EQ(Copy->RecordCount(), 1);
}

// Making a new dataset that the open then refuses keeps the records the
// closed dataset held; the definitions made from persistent fields are not
// left behind either.
TEST(ClientCreateDataSet, ARefusedCreateKeepsTheRecordsHeld) {
  TPeople P(FivePeople());
  P->Close();
  P->SetIndexName("Missing");
  EXPECT_NE(DbErrorOf([&] { P->CreateDataSet(); }).find("Missing"), std::string::npos);
  EXPECT_FALSE(P->GetActive());
  P->SetIndexName("");
  P->Open();
  EXPECT_EQ(P->RecordCount(), 5);
  P->Close();
  int Opens = 0;
  P->AfterOpen = TDataSetNotifyEvent::FromCallable([&Opens](TDataSet*) {
    if (++Opens == 1) DatabaseError("not now");
  });
  EXPECT_THROW(P->CreateDataSet(), EDatabaseError);
  P->Open();
  EXPECT_EQ(P->RecordCount(), 5);
  P->Close();
  P->CreateDataSet();  // taken: empty
  EXPECT_TRUE(P->IsEmpty());

  // Definitions come from persistent fields only when the dataset is made.
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  TStringField* Name = Create<TStringField>(DS.get());
  Name->SetFieldName("NAME");
  Name->SetDataSet(DS.get());
  DS->SetIndexFieldNames("OTHER");
  EXPECT_THROW(DS->CreateDataSet(), EDatabaseError);
  EXPECT_EQ(DS->GetFieldDefs()->Count(), 0);
  DS->SetIndexFieldNames("NAME");
  DS->CreateDataSet();
  EXPECT_EQ(DS->GetFieldDefs()->Count(), 1);
  DS->AppendRecord({Variant("x")});
  EXPECT_EQ(Name->AsString(), "x");
}

}  // namespace
}  // namespace fyndra::test
