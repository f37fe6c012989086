// Shared helpers of the dataset layer tests: a client dataset with a few
// typed columns, and a data link that records what it is told.
#pragma once

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
