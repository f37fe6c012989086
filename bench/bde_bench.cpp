// The SQLite engine family against the raw sqlite3 API, in the same run, on a
// generated table of one million customers:
//  - opening a TQuery with a WHERE on an indexed column and reaching its first
//    record, next to prepare + bind + first step of the same SQL;
//  - reading every row through Next, per row, next to a sqlite3_step loop that
//    reads the same columns;
//  - TTable key search (FindKey) and ApplyRange on an indexed column, next to
//    the equivalent indexed statement.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>

#include <fyndra/platform/bde/bdedataset.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/bde/sqliteengine.h>
#include <fyndra/platform/bde/table.h>
#include "benchdb.h"

namespace {

using namespace fyndra;

constexpr std::int64_t Rows = 1000000;

// The generated database, made before the first measurement.
const std::string& DatabaseFile() { return benchdb::SampleDatabaseFile(Rows); }

TDatabase& Database() {
  static TDatabase* Db = [] {
    TDatabase* D = Create<TDatabase>(static_cast<TComponent*>(nullptr));
    D->SetDatabaseName(DatabaseFile());
    D->Open();
    return D;
  }();
  return *Db;
}

sqlite3* RawDb() {
  static sqlite3* Db = [] {
    sqlite3* D = nullptr;
    sqlite3_open_v2(DatabaseFile().c_str(), &D, SQLITE_OPEN_READONLY, nullptr);
    benchdb::RegisterCaseInsensitiveCollation(D);
    return D;
  }();
  return Db;
}

// Equal ignoring case, through the name index.
const std::string WhereSQL =
    "SELECT id, name, city, balance FROM customers WHERE name = ?" + CollateClause(CaseInsensitiveCollation());
const std::string Name = SampleCustomerName(1, Rows / 2);

void BM_RawOpenFirstRow(benchmark::State& State) {
  RawDb();  // the database is made before timing starts
  for (auto _ : State) {
    sqlite3_stmt* S = nullptr;
    sqlite3_prepare_v2(RawDb(), WhereSQL.c_str(), -1, &S, nullptr);
    sqlite3_bind_text(S, 1, Name.c_str(), -1, SQLITE_STATIC);
    if (sqlite3_step(S) == SQLITE_ROW) benchmark::DoNotOptimize(sqlite3_column_int64(S, 0));
    sqlite3_finalize(S);
  }
}
BENCHMARK(BM_RawOpenFirstRow);

void BM_QueryOpenFirstRecord(benchmark::State& State) {
  TOwned<TQuery> Q = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
  Q->SetDatabase(&Database());
  Q->GetSQL()->SetText("SELECT id, name, city, balance FROM customers WHERE name = :name" +
                       CollateClause(CaseInsensitiveCollation()));
  Q->ParamByName("name")->SetAsString(Name);
  for (auto _ : State) {
    Q->Open();
    benchmark::DoNotOptimize(Q->FieldByName("id")->GetAsLargeInt());
    Q->Close();
  }
}
BENCHMARK(BM_QueryOpenFirstRecord);

void BM_RawStepAllRows(benchmark::State& State) {
  std::int64_t N = 0;
  for (auto _ : State) {
    sqlite3_stmt* S = nullptr;
    sqlite3_prepare_v2(RawDb(), "SELECT id, name, balance FROM customers", -1, &S, nullptr);
    while (sqlite3_step(S) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int64(S, 0));
      benchmark::DoNotOptimize(sqlite3_column_text(S, 1));
      benchmark::DoNotOptimize(sqlite3_column_text(S, 2));
      ++N;
    }
    sqlite3_finalize(S);
  }
  State.SetItemsProcessed(N);
}
BENCHMARK(BM_RawStepAllRows)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_QueryNextAllRows(benchmark::State& State) {
  TOwned<TQuery> Q = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
  Q->SetDatabase(&Database());
  Q->GetSQL()->SetText("SELECT id, name, balance FROM customers");
  std::int64_t N = 0;
  for (auto _ : State) {
    Q->Open();
    TField* Id = Q->FieldByName("id");
    while (!Q->Eof()) {
      benchmark::DoNotOptimize(Id->GetAsLargeInt());
      Q->Next();
      ++N;
    }
    Q->Close();
  }
  State.SetItemsProcessed(N);
}
BENCHMARK(BM_QueryNextAllRows)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RawIndexedLookup(benchmark::State& State) {
  sqlite3_stmt* S = nullptr;
  sqlite3_prepare_v2(RawDb(), "SELECT rowid, * FROM customers WHERE id = ?", -1, &S, nullptr);
  std::int64_t Key = 1;
  for (auto _ : State) {
    Key = (Key * 7919) % Rows + 1;
    sqlite3_bind_int64(S, 1, Key);
    if (sqlite3_step(S) == SQLITE_ROW) benchmark::DoNotOptimize(sqlite3_column_int64(S, 0));
    sqlite3_reset(S);
  }
  sqlite3_finalize(S);
}
BENCHMARK(BM_RawIndexedLookup);

void BM_TableFindKey(benchmark::State& State) {
  TOwned<TTable> T = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
  T->SetDatabase(&Database());
  T->SetTableName("customers");
  T->Open();
  std::int64_t Key = 1;
  for (auto _ : State) {
    Key = (Key * 7919) % Rows + 1;
    benchmark::DoNotOptimize(T->FindKey({Variant(Key)}));
  }
}
BENCHMARK(BM_TableFindKey)->Unit(benchmark::kMicrosecond);

void BM_TableApplyRange(benchmark::State& State) {
  TOwned<TTable> T = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
  T->SetDatabase(&Database());
  T->SetTableName("customers");
  T->SetIndexName("customers_name");
  T->Open();
  std::int64_t Key = 1;
  for (auto _ : State) {
    Key = (Key * 7919) % Rows + 1;
    std::string From = SampleCustomerName(1, Key);
    T->SetRange({Variant(From)}, {Variant(From + "~")});
    benchmark::DoNotOptimize(T->FieldByName("id")->GetAsLargeInt());
  }
}
BENCHMARK(BM_TableApplyRange)->Unit(benchmark::kMicrosecond);

}  // namespace
