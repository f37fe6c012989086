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
//  - BM_FindFirstKeystroke: the first keystroke after the table opened (its
//    window then holds the first row only); BM_TableOpen: the open itself
//    (schema, index definitions, the first row) with the find model bound.
//  - BM_FindMiss: a typo that no customer's name starts with (the model then
//    moves to the last record, as the example is set up to); the resident
//    memory after it is reported as RssMiB, the peak as PeakRssMiB.
//  - BM_FindAccentSibling: the keystroke from "mar" to "mart", which no name
//    starts with, while every "Mårten" sorts inside its range: the
//    case-insensitive order compares accents only after the base letters of
//    the whole text, so "Mårten" and a "Mart…" would interleave, and the find
//    reads each of them to see that none starts with "mart". The cost grows
//    with the number of such names (one customer in 24 is a Mårten).
//  - BM_PriorAfterSeek: a key search and one step back (what a grid does to
//    show the rows before the record a find landed on).
//  - BM_LastInRange: Last and First within a range on the name index.
//  - BM_RawFirst50 / BM_FilterFirst50: the filter model on the same table
//    (TzvBdeFilterModel: its record filter plus a range on the name index);
//    one keystroke applies the criterion and reads the first 50 records
//    through Next. The baseline steps the hand-written indexed statement for
//    50 rows (no LIMIT 1).
//  - BM_RawReadAll / BM_TableReadAll: every row of the table in the name
//    index's order, raw sqlite3 stepping (reading each column) against the
//    table's Next reading each field; the peak resident memory after the
//    read is reported as PeakRssMiB.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/platform/db/fields.h>
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

// The hand-written indexed seek of Rows customers: the first Limit rows whose
// name starts with each keystroke's text, read column by column.
void RawSeek(benchmark::State& State, int Limit) {
  SetDefaultLocale("en_US");
  const std::vector<std::string> Steps = Keystrokes(State.range(0));
  sqlite3* Db = nullptr;
  sqlite3_open_v2(benchdb::SampleDatabaseFile(State.range(0)).c_str(), &Db, SQLITE_OPEN_READONLY, nullptr);
  benchdb::RegisterCaseInsensitiveCollation(Db);
  const std::string CI = CollateClause(CaseInsensitiveCollation());
  sqlite3_stmt* S = nullptr;
  sqlite3_prepare_v2(Db,
                     ("SELECT rowid, * FROM customers WHERE name >= ?1" + CI + " AND name < ?2" + CI +
                      " ORDER BY name" + CI + " LIMIT " + std::to_string(Limit))
                         .c_str(),
                     -1, &S, nullptr);
  std::size_t Step = 0;
  for (auto _ : State) {
    const std::string From = AnsiUpperCase(Steps[Step++ % Steps.size()]);
    const std::string To = From + "\x7F";
    sqlite3_reset(S);
    sqlite3_bind_text(S, 1, From.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(S, 2, To.c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(S) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int64(S, 0));
      benchmark::DoNotOptimize(sqlite3_column_text(S, 3));
    }
  }
  sqlite3_finalize(S);
  sqlite3_close(Db);
}

void BM_RawSeek(benchmark::State& State) { RawSeek(State, 1); }
void BM_RawFirst50(benchmark::State& State) { RawSeek(State, 50); }

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
    State.PauseTiming();
    Form.Table->Open();
    State.ResumeTiming();
    Form.Name()->SetAsString(First);
    benchmark::DoNotOptimize(Form.Table->FieldByName("id")->GetAsLargeInt());
    State.PauseTiming();
    Form.Name()->SetAsString("");
    Form.Table->Close();
    State.ResumeTiming();
  }
}

void BM_TableOpen(benchmark::State& State) {
  TFindForm Form(State.range(0));
  for (auto _ : State) {
    Form.Table->Open();
    benchmark::DoNotOptimize(Form.Table->FieldByName("id")->GetAsLargeInt());
    State.PauseTiming();
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

void BM_FindAccentSibling(benchmark::State& State) {
  TFindForm Form(State.range(0));
  Form.Table->Open();
  TzvCompareItem* Name = Form.Name();
  for (auto _ : State) {
    State.PauseTiming();
    Name->SetAsString("mar");
    State.ResumeTiming();
    Name->SetAsString("mart");
    benchmark::DoNotOptimize(Form.Table->GetEof());
  }
}

void BM_PriorAfterSeek(benchmark::State& State) {
  TFindForm Form(State.range(0));
  Form.Table->Open();
  for (auto _ : State) {
    Form.Table->FindNearest({Variant("C")});
    Form.Table->Prior();
    benchmark::DoNotOptimize(Form.Table->GetBof());
  }
}

void BM_LastInRange(benchmark::State& State) {
  TFindForm Form(State.range(0));
  Form.Table->Open();
  Form.Table->SetRange({Variant("B")}, {Variant("C")});
  for (auto _ : State) {
    Form.Table->Last();
    Form.Table->First();
    benchmark::DoNotOptimize(Form.Table->GetBof());
  }
}

// The filter example's components on the table: a filter model whose name
// item (case-insensitive, "starts with" as the filter window sets it) the
// user types into.
struct TFilterForm {
  explicit TFilterForm(std::int64_t Rows) : Find(Rows) {
    Filter->SetName("FilterCustomers");
    Filter->SetDataSource(Find.Src.get());
  }
  TzvCompareItem* Name() const { return Filter->GetCompareItems()->FindByName("name"); }

  TFindForm Find;
  TOwned<TzvBdeFilterModel> Filter = CreateOwned<TzvBdeFilterModel>(nullptr);
};

void BM_FilterFirst50(benchmark::State& State) {
  const std::vector<std::string> Steps = Keystrokes(State.range(0));
  TFilterForm Form(State.range(0));
  Form.Find.Table->Open();
  // The model follows the dataset's own Filtered flag, so it is switched on
  // once the table is open.
  Form.Filter->SetFiltered(true);
  TzvCompareItem* Name = Form.Name();
  Name->SetCompareKey(ckStarts);
  TTable* T = Form.Find.Table.get();
  TField* Id = T->FieldByName("id");
  std::size_t Step = 0;
  std::int64_t Read = 0;
  for (auto _ : State) {
    Name->SetAsString(Steps[Step++ % Steps.size()]);
    for (int I = 0; I < 50 && !T->GetEof(); ++I, T->Next()) {
      benchmark::DoNotOptimize(Id->GetAsLargeInt());
      ++Read;
    }
  }
  if (!T->GetRanged()) State.SkipWithError("the filter model set no range on the name index");
  State.counters["Records"] = benchmark::Counter(double(Read), benchmark::Counter::kAvgIterations);
}

// The columns of the customers table, read as the dataset reads them.
void BM_RawReadAll(benchmark::State& State) {
  SetDefaultLocale("en_US");
  sqlite3* Db = nullptr;
  sqlite3_open_v2(benchdb::SampleDatabaseFile(State.range(0)).c_str(), &Db, SQLITE_OPEN_READONLY, nullptr);
  benchdb::RegisterCaseInsensitiveCollation(Db);
  sqlite3_stmt* S = nullptr;
  sqlite3_prepare_v2(Db, ("SELECT rowid, * FROM customers ORDER BY name" + CollateClause(CaseInsensitiveCollation()))
                             .c_str(), -1, &S, nullptr);
  std::int64_t Rows = 0;
  std::string Text;  // texts are copied out, as a program keeps what it reads
  for (auto _ : State) {
    sqlite3_reset(S);
    const int Columns = sqlite3_column_count(S);
    while (sqlite3_step(S) == SQLITE_ROW) {
      for (int C = 0; C < Columns; ++C) {
        switch (sqlite3_column_type(S, C)) {
          case SQLITE_INTEGER: benchmark::DoNotOptimize(sqlite3_column_int64(S, C)); break;
          case SQLITE_FLOAT: benchmark::DoNotOptimize(sqlite3_column_double(S, C)); break;
          case SQLITE_TEXT:
            Text.assign(reinterpret_cast<const char*>(sqlite3_column_text(S, C)), sqlite3_column_bytes(S, C));
            benchmark::DoNotOptimize(Text.data());
            break;
          default: break;
        }
      }
      ++Rows;
    }
  }
  sqlite3_finalize(S);
  sqlite3_close(Db);
  State.counters["Rows"] = benchmark::Counter(double(Rows), benchmark::Counter::kAvgIterations);
  State.counters["PeakRssMiB"] = StatusMiB("VmHWM:");
}

void BM_TableReadAll(benchmark::State& State) {
  TFindForm Form(State.range(0));
  TTable* T = Form.Table.get();
  T->Open();
  std::vector<TField*> Fields;
  for (int I = 0; I < T->FieldCount(); ++I) Fields.push_back(T->Fields()[I]);
  std::int64_t Rows = 0;
  for (auto _ : State) {
    for (T->First(); !T->GetEof(); T->Next()) {
      for (TField* F : Fields) benchmark::DoNotOptimize(F->GetAsVariant());
      ++Rows;
    }
  }
  State.counters["Rows"] = benchmark::Counter(double(Rows), benchmark::Counter::kAvgIterations);
  State.counters["PeakRssMiB"] = StatusMiB("VmHWM:");
}

#define SIZES(Bench) BENCHMARK(Bench)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMicrosecond)

SIZES(BM_RawSeek);
SIZES(BM_FindKeystroke);
SIZES(BM_FindFirstKeystroke);
SIZES(BM_TableOpen);
SIZES(BM_FindMiss);
BENCHMARK(BM_FindAccentSibling)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);
SIZES(BM_PriorAfterSeek);
SIZES(BM_LastInRange);
SIZES(BM_RawFirst50);
SIZES(BM_FilterFirst50);
BENCHMARK(BM_RawReadAll)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_TableReadAll)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
}  // namespace fyndra
