// Find-as-you-type on the sample's customers table, the find example's path:
// a TTable on the name index (our case-insensitive collation) with the SQLite
// family's find model (TzvBdeFindModel), its name item left case-insensitive
// as it is by default, on 20k, 200k and 1M customers.
//
//  - BM_RawSeek: the baseline, a hand-written indexed seek through the
//    sqlite3 API with the same collation: the first customer whose name starts
//    with the typed text (WHERE name >= ? AND name < ? ORDER BY name LIMIT 1).
//  - BM_FindKeystroke: one keystroke while typing a name from the middle of
//    the order (each iteration types the next character; every name is typed
//    from its first character again).
//  - BM_FindFirstKeystroke: opening the table and the first keystroke.
//  - BM_FindMiss: a typo that no customer's name starts with (the model then
//    moves to the last record, as the example is set up to); the resident
//    memory after it is reported as RssMiB, the peak as PeakRssMiB.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/dataset/zvbdemodel.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/bde/sqliteengine.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/rtl/textservice.h>
#include "benchdb.h"

namespace fyndra {
namespace {

// The keystrokes of typing several names from the middle of the order.
std::vector<std::string> Keystrokes(std::int64_t Rows) {
  std::vector<std::string> Out;
  for (std::int64_t K = 0; K < 4; ++K) {
    const std::string Name = SampleCustomerName(1, Rows / 2 + K * 977);
    for (std::size_t I = 1; I <= Name.size(); ++I)
      if (I == Name.size() || (static_cast<unsigned char>(Name[I]) & 0xC0) != 0x80) Out.push_back(Name.substr(0, I));
  }
  return Out;
}

// Kibibytes of a "Vm…:" line of /proc/self/status, as MiB.
double StatusMiB(const char* Key) {
  std::ifstream In("/proc/self/status");
  std::string Line;
  while (std::getline(In, Line))
    if (Line.rfind(Key, 0) == 0) return std::stod(Line.substr(std::string(Key).size())) / 1024.0;
  return 0;
}

// The find example's components over the sample database of Rows customers.
struct TFindForm {
  explicit TFindForm(std::int64_t Rows) {
    SetDefaultLocale("en_US");
    Db->SetDatabaseName(benchdb::SampleDatabaseFile(Rows));
    Db->GetParams()->Add("READONLY=TRUE");
    Db->Open();
    Table->SetDatabase(Db.get());
    Table->SetTableName("customers");
    Table->SetIndexName("customers_name");
    Src->SetDataSet(Table.get());
    Find->SetName("FindCustomers");
    Find->SetDataSource(Src.get());
  }
  TzvCompareItem* Name() const { return Find->GetCompareItems()->FindByName("name"); }

  TOwned<TDatabase> Db = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  TOwned<TTable> Table = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  TOwned<TzvBdeFindModel> Find = CreateOwned<TzvBdeFindModel>(nullptr);
};

void BM_RawSeek(benchmark::State& State) {
  SetDefaultLocale("en_US");
  const std::vector<std::string> Steps = Keystrokes(State.range(0));
  sqlite3* Db = nullptr;
  sqlite3_open_v2(benchdb::SampleDatabaseFile(State.range(0)).c_str(), &Db, SQLITE_OPEN_READONLY, nullptr);
  benchdb::RegisterCaseInsensitiveCollation(Db);
  const std::string CI = CollateClause(CaseInsensitiveCollation());
  sqlite3_stmt* S = nullptr;
  sqlite3_prepare_v2(Db,
                     ("SELECT rowid, * FROM customers WHERE name >= ?1" + CI + " AND name < ?2" + CI +
                      " ORDER BY name" + CI + " LIMIT 1")
                         .c_str(),
                     -1, &S, nullptr);
  std::size_t Step = 0;
  for (auto _ : State) {
    const std::string From = AnsiUpperCase(Steps[Step++ % Steps.size()]);
    const std::string To = From + "\x7F";
    sqlite3_reset(S);
    sqlite3_bind_text(S, 1, From.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(S, 2, To.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(S) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int64(S, 0));
      benchmark::DoNotOptimize(sqlite3_column_text(S, 3));
    }
  }
  sqlite3_finalize(S);
  sqlite3_close(Db);
}

void BM_FindKeystroke(benchmark::State& State) {
  const std::vector<std::string> Steps = Keystrokes(State.range(0));
  TFindForm Form(State.range(0));
  Form.Table->Open();
  TzvCompareItem* Name = Form.Name();
  std::size_t Step = 0;
  for (auto _ : State) {
    Name->SetAsString(Steps[Step++ % Steps.size()]);
    benchmark::DoNotOptimize(Form.Table->FieldByName("id")->GetAsLargeInt());
  }
}

void BM_FindFirstKeystroke(benchmark::State& State) {
  const std::string First = Keystrokes(State.range(0)).front();
  TFindForm Form(State.range(0));
  for (auto _ : State) {
    Form.Table->Open();
    Form.Name()->SetAsString(First);
    benchmark::DoNotOptimize(Form.Table->FieldByName("id")->GetAsLargeInt());
    State.PauseTiming();
    Form.Name()->SetAsString("");
    Form.Table->Close();
    State.ResumeTiming();
  }
}

void BM_FindMiss(benchmark::State& State) {
  const std::vector<std::string> Steps = Keystrokes(State.range(0));
  TFindForm Form(State.range(0));
  Form.Table->Open();
  TzvCompareItem* Name = Form.Name();
  std::size_t Step = 0;
  for (auto _ : State) {
    State.PauseTiming();
    const std::string Typed = Steps[Step++ % Steps.size()];
    Name->SetAsString(Typed);
    State.ResumeTiming();
    Name->SetAsString(Typed + "qx");  // no name holds "qx"
    benchmark::DoNotOptimize(Form.Table->FieldByName("id")->GetAsLargeInt());
  }
  State.counters["RssMiB"] = StatusMiB("VmRSS:");
  State.counters["PeakRssMiB"] = StatusMiB("VmHWM:");
}

#define SIZES(Bench) BENCHMARK(Bench)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMicrosecond)

SIZES(BM_RawSeek);
SIZES(BM_FindKeystroke);
SIZES(BM_FindFirstKeystroke);
SIZES(BM_FindMiss);

}  // namespace
}  // namespace fyndra
