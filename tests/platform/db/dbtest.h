// Shared helpers of the dataset layer tests: a client dataset with a few
// typed columns, and a data link that records what it is told.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra::test {

// Owns a client dataset with ID (integer), NAME (text 20), CITY (text 20),
// AMOUNT (float) and BORN (date), filled with Rows.
struct TPeople {
  struct TRow {
    int Id;
    const char* Name;
    const char* City;
    double Amount;
  };
  TOwned<TClientDataSet> DS;
  explicit TPeople(const std::vector<TRow>& Rows) : DS(CreateOwned<TClientDataSet>(nullptr)) {
    DS->SetName("People");
    auto* D = DS->GetFieldDefs();
    D->Add("ID", ftInteger);
    D->Add("NAME", ftString, 20);
    D->Add("CITY", ftString, 20);
    D->Add("AMOUNT", ftFloat);
    D->Add("BORN", ftDate);
    DS->CreateDataSet();
    for (const TRow& R : Rows)
      DS->AppendRecord({Variant(std::int32_t(R.Id)), Variant(R.Name), R.City ? Variant(R.City) : Null(),
                        Variant(R.Amount)});
    DS->First();
  }
  TClientDataSet* operator->() const { return DS.get(); }
  // IDs in the order the dataset delivers them from its first record.
  std::vector<int> Ids() const {
    std::vector<int> Out;
    DS->First();
    while (!DS->Eof()) {
      Out.push_back(DS->FieldByName("ID")->AsInteger());
      DS->Next();
    }
    return Out;
  }
  int Id() const { return DS->FieldByName("ID")->AsInteger(); }
};

inline std::vector<TPeople::TRow> FivePeople() {
  return {{1, "Anna", "Berlin", 10.5},
          {2, "bert", "Paris", 20},
          {3, "Carl", "berlin", 30},
          {4, "Dora", nullptr, 40},
          {5, "Anton", "Rome", 50}};
}

// The message of the EDatabaseError that Action raises, or "<no error>".
inline std::string DbErrorOf(const std::function<void()>& Action) {
  try {
    Action();
  } catch (const EDatabaseError& E) {
    return E.Message();
  }
  return "<no error>";
}

// What a dataset looks like from outside: definitions, indexes, order, the
// current record and its values.
struct TLook {
  std::vector<std::string> Defs, IndexDefs;
  std::string IndexName, IndexFieldNames;
  bool Active = false;
  int RecNo = 0;
  std::vector<std::string> Rows;
  bool operator==(const TLook&) const = default;
};

inline void PrintTo(const TLook& L, std::ostream* Out) {
  auto List = [&](const char* What, const std::vector<std::string>& V) {
    *Out << What << ":";
    for (const std::string& S : V) *Out << " [" << S << "]";
    *Out << "\n";
  };
  List("definitions", L.Defs);
  List("indexes", L.IndexDefs);
  *Out << "index name [" << L.IndexName << "] field names [" << L.IndexFieldNames << "] "
       << (L.Active ? "open" : "closed") << " at " << L.RecNo << "\n";
  List("rows", L.Rows);
}

inline TLook LookAt(TClientDataSet* DS) {
  TLook L;
  for (int I = 0; I < DS->GetFieldDefs()->Count(); ++I) {
    TFieldDef* D = DS->GetFieldDefs()->GetItem(I);
    L.Defs.push_back(D->GetName() + ":" + std::to_string(int(D->GetDataType())) + ":" + std::to_string(D->GetSize()));
  }
  for (int I = 0; I < DS->GetIndexDefs()->Count(); ++I)
    L.IndexDefs.push_back(DS->GetIndexDefs()->GetItem(I)->GetName() + ":" + DS->GetIndexDefs()->GetItem(I)->GetFields());
  L.IndexName = DS->GetIndexName();
  L.IndexFieldNames = DS->GetIndexFieldNames();
  L.Active = DS->GetActive();
  if (!L.Active) return L;
  L.RecNo = DS->GetRecNo();
  TBookmark Mark = DS->GetBookmark();
  for (DS->First(); !DS->Eof(); DS->Next()) {
    std::string Row;
    for (TField* F : DS->Fields()) Row += F->AsString() + "|";
    L.Rows.push_back(Row);
  }
  DS->GotoBookmark(Mark);
  return L;
}

// A dataset with records, an index of its own, an order and a position.
struct TTarget {
  TPeople P{FivePeople()};
  TTarget() {
    P->AddIndex("ByCity", "CITY", {ixCaseInsensitive});
    P->SetIndexFieldNames("NAME");
    P->First();
    P->Next();
  }
  TClientDataSet* operator->() const { return P.DS.get(); }
};

// After a refused replacement: the target looks as Before did and can still
// be edited and ordered by its own index.
inline void ExpectUnchangedAndUsable(TTarget& T, const TLook& Before) {
  EXPECT_EQ(LookAt(T.P.DS.get()), Before);
  EXPECT_EQ(T->GetRecNo(), 2);
  T->Edit();
  T->FieldByName("NAME")->SetAsString("Zed");
  T->Post();
  T->SetIndexName("ByCity");
  EXPECT_EQ(T->RecordCount(), 5);
}

// A data link that writes every notification into Log.
class TSpyLink : public TDataLink {
  FYNDRA_CLASS(TSpyLink, TDataLink)

 public:
  std::vector<std::string> Log;
  std::string Joined() const {
    std::string S;
    for (const auto& E : Log) S += (S.empty() ? "" : " ") + E;
    return S;
  }

 protected:
  TSpyLink() = default;
  void ActiveChanged() override { Log.push_back(GetActive() ? "Active" : "Inactive"); }
  void LayoutChanged() override { Log.push_back("Layout"); }
  void DataSetChanged() override { Log.push_back("Changed"); }
  void DataSetScrolled(int Distance) override { Log.push_back("Scrolled(" + std::to_string(Distance) + ")"); }
  void RecordChanged(TField* Field) override { Log.push_back("Record(" + (Field ? Field->GetFieldName() : "") + ")"); }
  void EditingChanged() override { Log.push_back(GetEditing() ? "Editing" : "NotEditing"); }
  void UpdateData() override { Log.push_back("UpdateData"); }
};

}  // namespace fyndra::test
