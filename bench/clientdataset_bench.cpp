// The in-memory client dataset with one million records of (ID integer,
// NAME text, CITY text, AMOUNT float, BORN date), next to the same work done
// on a plain std::vector of the same values.
#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <fyndra/platform/db/dbclient.h>

namespace {

using namespace fyndra;

constexpr int kRecords = 1'000'000;

struct TRow {
  std::int32_t Id;
  std::string Name, City;
  double Amount;
  double Born;
};

const std::vector<TRow>& Rows() {
  static const std::vector<TRow> R = [] {
    std::vector<TRow> V;
    V.reserve(kRecords);
    std::mt19937 Rng(42);
    static const char* Cities[] = {"Berlin", "Paris", "Rome", "Oslo", "Madrid", "Vienna", "Prague", "Lisbon"};
    for (int I = 0; I < kRecords; ++I)
      V.push_back({I, "Name" + std::to_string(Rng() % 100000), Cities[Rng() % 8], double(Rng() % 100000) / 100,
                   40000.0 + Rng() % 20000});
    return V;
  }();
  return R;
}

TOwned<TClientDataSet> MakeEmpty() {
  auto DS = CreateOwned<TClientDataSet>(nullptr);
  auto* D = DS->GetFieldDefs();
  D->Add("ID", ftInteger);
  D->Add("NAME", ftString, 20);
  D->Add("CITY", ftString, 20);
  D->Add("AMOUNT", ftFloat);
  D->Add("BORN", ftDate);
  DS->CreateDataSet();
  return DS;
}

void Fill(TClientDataSet* DS, int N) {
  TField *Id = DS->FieldByName("ID"), *Name = DS->FieldByName("NAME"), *City = DS->FieldByName("CITY"),
         *Amount = DS->FieldByName("AMOUNT"), *Born = DS->FieldByName("BORN");
  const auto& R = Rows();
  for (int I = 0; I < N; ++I) {
    DS->Append();
    Id->SetAsInteger(R[I].Id);
    Name->SetAsString(R[I].Name);
    City->SetAsString(R[I].City);
    Amount->SetAsFloat(R[I].Amount);
    Born->SetAsDateTime(R[I].Born);
    DS->Post();
  }
}

// One million records with an index on ID, built once for the search benchmarks.
TClientDataSet* Shared() {
  static TOwned<TClientDataSet> DS = [] {
    auto D = MakeEmpty();
    D->DisableControls();
    Fill(D.get(), kRecords);
    D->EnableControls();
    D->SetIndexFieldNames("ID");
    return D;
  }();
  return DS.get();
}

std::size_t RawBytes() {
  std::size_t N = 0;
  for (const TRow& R : Rows()) N += 4 + R.Name.size() + R.City.size() + 8 + 8;
  return N;
}

void BM_Build_ClientDataSet(benchmark::State& State) {
  Rows();
  for (auto _ : State) {
    auto DS = MakeEmpty();
    Fill(DS.get(), kRecords);
    benchmark::DoNotOptimize(DS.get());
    State.counters["bytes_per_record"] = double(DS->StorageBytes()) / kRecords;
    State.counters["raw_bytes_per_record"] = double(RawBytes()) / kRecords;
  }
  State.SetItemsProcessed(State.iterations() * kRecords);
}
BENCHMARK(BM_Build_ClientDataSet)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_Build_Vector(benchmark::State& State) {
  const auto& R = Rows();
  for (auto _ : State) {
    std::vector<TRow> V;
    for (int I = 0; I < kRecords; ++I) V.push_back(R[I]);
    benchmark::DoNotOptimize(V.data());
  }
  State.SetItemsProcessed(State.iterations() * kRecords);
}
BENCHMARK(BM_Build_Vector)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_GotoKey_ClientDataSet(benchmark::State& State) {
  TClientDataSet* DS = Shared();
  TField* Id = DS->FieldByName("ID");
  std::mt19937 Rng(7);
  for (auto _ : State) {
    DS->SetKey();
    Id->SetAsInteger(std::int32_t(Rng() % kRecords));
    benchmark::DoNotOptimize(DS->GotoKey());
  }
}
BENCHMARK(BM_GotoKey_ClientDataSet);

void BM_GotoNearest_ClientDataSet(benchmark::State& State) {
  TClientDataSet* DS = Shared();
  std::mt19937 Rng(8);
  for (auto _ : State) DS->FindNearest({Variant(std::int32_t(Rng() % kRecords))});
}
BENCHMARK(BM_GotoNearest_ClientDataSet);

void BM_Locate_ClientDataSet(benchmark::State& State) {
  TClientDataSet* DS = Shared();
  std::mt19937 Rng(10);
  for (auto _ : State) benchmark::DoNotOptimize(DS->Locate("ID", Variant(std::int32_t(Rng() % kRecords)), {}));
}
BENCHMARK(BM_Locate_ClientDataSet);

void BM_LowerBound_Vector(benchmark::State& State) {
  const auto& R = Rows();
  std::mt19937 Rng(7);
  for (auto _ : State) {
    std::int32_t K = std::int32_t(Rng() % kRecords);
    auto It = std::lower_bound(R.begin(), R.end(), K, [](const TRow& A, std::int32_t B) { return A.Id < B; });
    benchmark::DoNotOptimize(It);
  }
}
BENCHMARK(BM_LowerBound_Vector);

void BM_ApplyRange_ClientDataSet(benchmark::State& State) {
  TClientDataSet* DS = Shared();
  std::mt19937 Rng(9);
  for (auto _ : State) {
    std::int32_t From = std::int32_t(Rng() % (kRecords - 100));
    DS->SetRange({Variant(From)}, {Variant(From + 99)});
  }
  DS->CancelRange();
}
BENCHMARK(BM_ApplyRange_ClientDataSet);

// A full scan with a filter event that accepts 1% of the records, per record.
void BM_FilteredScan_ClientDataSet(benchmark::State& State) {
  TClientDataSet* DS = Shared();
  TField* Id = DS->FieldByName("ID");
  TField* Amount = DS->FieldByName("AMOUNT");
  struct TFilter {
    TField* Id;
    void Accept(TDataSet*, bool& A) { A = Id->GetAsInteger() % 100 == 0; }
  } F{Id};
  DS->SetOnFilterRecord(TFilterRecordEvent(&F, &TFilter::Accept));
  double Sum = 0;
  for (auto _ : State) {
    DS->SetFiltered(true);
    for (DS->First(); !DS->Eof(); DS->Next()) Sum += Amount->GetAsFloat();
    DS->SetFiltered(false);
  }
  benchmark::DoNotOptimize(Sum);
  DS->SetOnFilterRecord(nullptr);
  State.SetItemsProcessed(State.iterations() * kRecords);
}
BENCHMARK(BM_FilteredScan_ClientDataSet)->Unit(benchmark::kMillisecond);

void BM_FilteredScan_Vector(benchmark::State& State) {
  const auto& R = Rows();
  double Sum = 0;
  for (auto _ : State) {
    for (const TRow& X : R) {
      benchmark::DoNotOptimize(&X);
      if (X.Id % 100 == 0) Sum += X.Amount;
    }
  }
  benchmark::DoNotOptimize(Sum);
  State.SetItemsProcessed(State.iterations() * kRecords);
}
BENCHMARK(BM_FilteredScan_Vector)->Unit(benchmark::kMillisecond);

}  // namespace
