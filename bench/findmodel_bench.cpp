// The find model over one million client-dataset records, searching a name
// that only the last record holds (Restart on, so every apply searches from
// the start).
//
//  - BM_FindScan: no usable index, so the model tests record after record.
//    BM_HandLoop is the baseline: the same walk with First/Next, reading the
//    same field through TField and comparing it with the same text.
//  - BM_FindIndexed: the dataset ordered by an index on the name and an
//    adapter that reports it and searches by key, as a family adapter does;
//    the model jumps to the key and stops after the range.
// Per-record times are the scan times divided by the record count.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>

namespace fyndra {
namespace {

constexpr int Records = 1000000;

std::string NameOf(int I) { return "Name" + std::to_string(1000000 + I); }

TOwned<TClientDataSet> MakeData(bool Indexed) {
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  DS->GetFieldDefs()->Add("ID", ftInteger);
  DS->GetFieldDefs()->Add("NAME", ftString, 20);
  DS->GetFieldDefs()->Add("CITY", ftString, 20);
  DS->CreateDataSet();
  for (int I = 0; I < Records; ++I)
    DS->AppendRecord({Variant(std::int32_t(I)), Variant(NameOf(I)), Variant(I % 2 ? "Berlin" : "Paris")});
  if (Indexed) {
    DS->AddIndex("ByName", "NAME", {});
    DS->SetIndexName("ByName");
  }
  DS->First();
  return DS;
}

// Reports the client dataset's index and searches by key, as the client
// dataset family's adapter does.
class TBenchClientAdapter : public TzvExtDataSetModel {
  FYNDRA_CLASS(TBenchClientAdapter, TzvExtDataSetModel)
 public:
  TIndexDefs* GetIndexDefs() override { return DS() ? DS()->GetIndexDefs() : nullptr; }
  std::string GetIndexName() override { return DS() ? DS()->GetIndexName() : std::string(); }
  std::string GetIndexFieldNames() override { return DS() ? DS()->GetIndexFieldNames() : std::string(); }
  bool FindRecord(const Variant& KeyValues, bool Exact) override {
    std::vector<Variant> Keys;
    for (int I = 0; I <= VarArrayHighBound(KeyValues, 1); ++I) Keys.push_back(KeyValues[I]);
    if (Exact) return DS()->FindKey(Keys);
    DS()->FindNearest(Keys);
    return true;
  }

 protected:
  explicit TBenchClientAdapter(TzvDBBaseModel* Model) : TzvExtDataSetModel(Model) {}

 private:
  TClientDataSet* DS() const { return static_cast<TClientDataSet*>(GetDataSet()); }
};
FYNDRA_IMPLEMENT_CLASS(TBenchClientAdapter)

class TBenchFindModel : public TzvCustomDBFindModel {
  FYNDRA_CLASS(TBenchFindModel, TzvCustomDBFindModel)
 protected:
  explicit TBenchFindModel(TComponent* Owner) : TzvCustomDBFindModel(Owner) {}
  void CreateExtDataSetModel(TzvExtDataSetModel*& Model) override { Model = Create<TBenchClientAdapter>(this); }
};
FYNDRA_IMPLEMENT_CLASS(TBenchFindModel)

struct Setup {
  TOwned<TClientDataSet> DS;
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  TOwned<TzvCustomDBFindModel> M;
  Setup(bool Indexed) : DS(MakeData(Indexed)) {
    if (Indexed)
      M.reset(Create<TBenchFindModel>(nullptr));
    else
      M.reset(Create<TzvDBFindModel>(nullptr));
    M->GetOptions()->SetAutoUpdate(false);
    Src->SetDataSet(DS.get());
    M->SetDataSource(Src.get());
    TzvCompareItem* Name = M->GetCompareItems()->FindByName("NAME");
    Name->SetOptions({ciConvertValue});  // case-sensitive, like the index
    Name->SetCompareKey(0);              // equal
    Name->SetAsString(NameOf(Records - 1));
  }
};

void BM_FindScan(benchmark::State& State) {
  static Setup S(false);
  for (auto _ : State) {
    if (!S.M->Apply()) State.SkipWithError("not found");
  }
  State.SetItemsProcessed(State.iterations() * Records);
}
BENCHMARK(BM_FindScan)->Unit(benchmark::kMillisecond);

void BM_HandLoop(benchmark::State& State) {
  static Setup S(false);
  const std::string Target = NameOf(Records - 1);
  TClientDataSet* DS = S.DS.get();
  TField* Name = DS->FieldByName("NAME");
  for (auto _ : State) {
    DS->DisableControls();
    DS->First();
    bool Found = false;
    while (!DS->Eof()) {
      if (Name->AsString() == Target) {
        Found = true;
        break;
      }
      DS->Next();
    }
    DS->EnableControls();
    if (!Found) State.SkipWithError("not found");
  }
  State.SetItemsProcessed(State.iterations() * Records);
}
BENCHMARK(BM_HandLoop)->Unit(benchmark::kMillisecond);

void BM_FindIndexed(benchmark::State& State) {
  static Setup S(true);
  for (auto _ : State) {
    if (!S.M->Apply()) State.SkipWithError("not found");
  }
}
BENCHMARK(BM_FindIndexed)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace fyndra
