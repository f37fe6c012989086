// Helpers of the dataset-model tests: a client dataset of people, an adapter
// that reports the client dataset's indexes (as a family adapter would), a find
// model that uses it and logs its dataset notifications, and a message catcher.
#pragma once

#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/rtl/dialogs.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra::dstest {

// Reports the index definitions and current index of a client dataset or a
// SQLite table (as a family adapter would); the options it supports are set
// by the test.
class TClientTestAdapter : public TzvExtDataSetModel {
  FYNDRA_CLASS(TClientTestAdapter, TzvExtDataSetModel)
 public:
  bool IsSupported(TDataSetSupportedOption Option) override { return Supported.Contains(Option); }
  TIndexDefs* GetIndexDefs() override {
    if (auto* DS = dynamic_cast<TCustomClientDataSet*>(GetDataSet())) return DS->GetIndexDefs();
    if (auto* T = dynamic_cast<TTable*>(GetDataSet())) return T->GetIndexDefs();
    return nullptr;
  }
  std::string GetIndexName() override {
    if (auto* DS = dynamic_cast<TCustomClientDataSet*>(GetDataSet())) return DS->GetIndexName();
    if (auto* T = dynamic_cast<TTable*>(GetDataSet())) return T->GetIndexName();
    return std::string();
  }
  std::string GetIndexFieldNames() override {
    if (auto* DS = dynamic_cast<TCustomClientDataSet*>(GetDataSet())) return DS->GetIndexFieldNames();
    if (auto* T = dynamic_cast<TTable*>(GetDataSet())) return T->GetIndexFieldNames();
    return std::string();
  }
  // A query reports its SQL text, from whose ORDER BY the base adapter takes
  // the index.
  std::string GetQuerySQL() override {
    if (auto* Q = dynamic_cast<TQuery*>(GetDataSet())) return Q->GetSQL()->GetText();
    return std::string();
  }
  TOwned<TIndexDef> GetIndexDef() override {
    if (ReportedFields.empty()) return TzvExtDataSetModel::GetIndexDef();
    TOwned<TIndexDef> Def(Create<TIndexDef>(nullptr));
    Def->SetFields(ReportedFields);
    return Def;
  }
  bool FindRecord(const Variant& KeyValues, bool Exact) override {
    ++FindRecords;
    return TzvExtDataSetModel::FindRecord(KeyValues, Exact);
  }
  void SetRange(const Variant& Start, const Variant& End) override {
    Ranges.push_back(VarIsNull(Start) ? "none" : VarToStr(Start[0]) + ".." + VarToStr(End[0]));
  }

  TSet<TDataSetSupportedOption> Supported;
  std::string ReportedFields;  // when set, the index reported as it is
  int FindRecords = 0;
  std::vector<std::string> Ranges;

 protected:
  explicit TClientTestAdapter(TzvDBBaseModel* Model) : TzvExtDataSetModel(Model) {}
};

// A find model over the test adapter that logs the dataset notifications it
// gets, with the dataset the adapter reports at that moment.
class TLogFindModel : public TzvCustomDBFindModel {
  FYNDRA_CLASS(TLogFindModel, TzvCustomDBFindModel)
 public:
  TClientTestAdapter* Adapter() const { return static_cast<TClientTestAdapter*>(GetExtDataSetModel()); }
  void ActiveChanged() override {
    Log.push_back("Active(" + Named(GetExtDataSetModel()->GetDataSet()) + ")");
    TzvCustomDBFindModel::ActiveChanged();
  }
  void OldActiveChanged() override {
    Log.push_back("OldActive(" + Named(GetExtDataSetModel()->GetDataSet()) + ")");
    if (RefuseLeaving) zvBaseModelError("cannot leave", this);
    TzvCustomDBFindModel::OldActiveChanged();
  }
  void LayoutChanged() override {
    Log.push_back("Layout");
    TzvCustomDBFindModel::LayoutChanged();
  }
  void CheckDataSet() override {
    if (RefuseDataSets) zvBaseModelError("wrong family", this);
  }
  std::vector<std::string> Log;
  bool RefuseDataSets = false;
  bool RefuseLeaving = false;  // OldActiveChanged raises, as a failed undo would

 protected:
  explicit TLogFindModel(TComponent* Owner) : TzvCustomDBFindModel(Owner) {}
  void CreateExtDataSetModel(TzvExtDataSetModel*& Model) override { Model = Create<TClientTestAdapter>(this); }

 private:
  static std::string Named(TDataSet* DS) { return DS ? DS->GetName() : "-"; }
};

// A filter model over the test adapter.
class TTestFilterModel : public TzvCustomDBFilterModel {
  FYNDRA_CLASS(TTestFilterModel, TzvCustomDBFilterModel)
 public:
  TClientTestAdapter* Adapter() const { return static_cast<TClientTestAdapter*>(GetExtDataSetModel()); }

 protected:
  explicit TTestFilterModel(TComponent* Owner) : TzvCustomDBFilterModel(Owner) {}
  void CreateExtDataSetModel(TzvExtDataSetModel*& Model) override { Model = Create<TClientTestAdapter>(this); }
};

// The keys (field ID) of the records a dataset shows, in its order.
inline std::vector<int> Ids(TDataSet* DS) {
  std::vector<int> Out;
  if (!DS->GetActive()) return Out;
  for (DS->First(); !DS->Eof(); DS->Next()) Out.push_back(DS->FieldByName("ID")->AsInteger());
  return Out;
}

// A client dataset ID (integer), NAME (text 20), CITY (text 20), AMOUNT (float).
inline TOwned<TClientDataSet> People(const std::string& Name,
                                     const std::vector<std::tuple<int, const char*, const char*, double>>& Rows) {
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  DS->SetName(Name);
  auto* D = DS->GetFieldDefs();
  D->Add("ID", ftInteger);
  D->Add("NAME", ftString, 20);
  D->Add("CITY", ftString, 20);
  D->Add("AMOUNT", ftFloat);
  DS->CreateDataSet();
  for (const auto& [Id, NameText, City, Amount] : Rows)
    DS->AppendRecord({Variant(std::int32_t(Id)), Variant(NameText), City ? Variant(City) : Null(), Variant(Amount)});
  DS->First();
  return DS;
}

inline std::vector<std::tuple<int, const char*, const char*, double>> SixPeople() {
  return {{1, "Anna", "Berlin", 10}, {2, "Bert", "Paris", 20}, {3, "Carl", "Berlin", 30},
          {4, "Dora", nullptr, 40},  {5, "Anton", "Rome", 50}, {6, "Berta", "Paris", 60}};
}

inline int IdOf(TDataSet* DS) { return DS->FieldByName("ID")->AsInteger(); }

// Catches ShowMessage texts for the life of the object.
class TMessageCatcher {
 public:
  TMessageCatcher() {
    Previous_ = SetShowMessageHandler([this](const std::string& Msg) { Messages.push_back(Msg); });
  }
  ~TMessageCatcher() { SetShowMessageHandler(std::move(Previous_)); }
  TMessageCatcher(const TMessageCatcher&) = delete;
  TMessageCatcher& operator=(const TMessageCatcher&) = delete;
  std::vector<std::string> Messages;

 private:
  TShowMessageHandler Previous_;
};

}  // namespace fyndra::dstest
