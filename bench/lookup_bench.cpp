// A lookup combo box whose list is the customers table of the sample database
// (key id, shown name) at 20k, 100k, 200k and 1M rows, read through the SQLite
// family's table as an application reads it.
//
//  - BM_LookupDropDown: the list drops down: the control reads its first
//    screen (16 rows) from the freshly opened list table.
//  - BM_ReadListInFull: the baseline: a combo that fills its entries from the
//    whole list, reading key and name of every record with First/Next.
//  - BM_LookupKeyText: the text of a key beyond the rows read (the list's
//    Lookup), as the closed combo shows a criterion set elsewhere.
// Opening the table is outside the timing in all three.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/controls/forms.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/dbctrls/dbctrls.h>

#include "benchdb.h"

namespace fyndra {
namespace {

constexpr int Screen = 16;

struct TLookupForm {
  TOwned<TForm> Form = CreateOwned<TForm>(nullptr);
  TDatabase* Db = Create<TDatabase>(Form.get());
  TTable* List = Create<TTable>(Form.get());
  TDataSource* Source = Create<TDataSource>(Form.get());
  TDBLookupComboBox* Combo = Create<TDBLookupComboBox>(Form.get());

  explicit TLookupForm(std::int64_t Rows) {
    Db->SetDatabaseName(benchdb::SampleDatabaseFile(Rows));
    List->SetDatabase(Db);
    List->SetTableName("customers");
    Source->SetDataSet(List);
    Combo->SetParent(Form.get());
    Combo->SetListSource(Source);
    Combo->SetKeyField("id");
    Combo->SetListField("name");
    Combo->SetDropDownRows(Screen);
  }
  void Reopen(benchmark::State& State) {
    State.PauseTiming();
    List->Close();
    List->Open();
    State.ResumeTiming();
  }
};

void BM_LookupDropDown(benchmark::State& State) {
  TLookupForm F(State.range(0));
  std::int64_t Read = 0;
  for (auto _ : State) {
    F.Reopen(State);
    F.Combo->PeerDropDown();
    Read = static_cast<std::int64_t>(F.Combo->Rows().size());
    benchmark::DoNotOptimize(Read);
  }
  State.counters["rows_read"] = double(Read);
  State.counters["engine_rows"] = double(F.List->FetchedRowCount());
}

void BM_ReadListInFull(benchmark::State& State) {
  TLookupForm F(State.range(0));
  std::vector<std::pair<Variant, std::string>> Entries;
  for (auto _ : State) {
    F.Reopen(State);
    Entries.clear();
    TField* Key = F.List->FieldByName("id");
    TField* Name = F.List->FieldByName("name");
    F.List->WithControlsDisabled([&] {
      for (F.List->First(); !F.List->Eof(); F.List->Next()) Entries.emplace_back(Key->GetAsVariant(), Name->GetDisplayText());
      F.List->First();
    });
    benchmark::DoNotOptimize(Entries.data());
  }
  State.counters["rows_read"] = double(Entries.size());
}

void BM_LookupKeyText(benchmark::State& State) {
  TLookupForm F(State.range(0));
  const std::int64_t Key = State.range(0) / 2;
  for (auto _ : State) {
    F.Reopen(State);
    F.Combo->SetKeyValue(Variant(Key));
    benchmark::DoNotOptimize(F.Combo->GetDisplayText().data());
    State.PauseTiming();
    F.Combo->SetKeyValue(Null());
    State.ResumeTiming();
  }
}

BENCHMARK(BM_LookupDropDown)->Arg(20000)->Arg(100000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadListInFull)->Arg(20000)->Arg(100000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(0.5);
BENCHMARK(BM_LookupKeyText)->Arg(20000)->Arg(100000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace
}  // namespace fyndra
