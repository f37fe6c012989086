// The SQLite engine family against the raw sqlite3 API, in the same run, on a
// generated table of one million customers:
//  - opening a TQuery with a WHERE on an indexed column and reaching its first
//    record, next to prepare + bind + first step of the same SQL;
//  - reading every row of a query over the customers table through Next and
//    its fields, next to a sqlite3_step loop over the same statement that
//    reads the same columns, at 20k, 200k and 1M customers, with the peak
//    resident memory of each (PeakRssMiB, the process's high-water mark
//    measured from the start of the case) and the rows the query's window
//    held at the end (WindowRows);
//  - moving such a query from its first record to the middle one (RecNo) and
//    back (First): the statement is executed again and the rows before the
//    middle's window are stepped over, not read; next to stepping the same
//    statement that far;
//  - TTable key search (FindKey) and ApplyRange on an indexed column, next to
//    the equivalent indexed statement.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <fstream>
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

// ---- reading every row, at 20k, 200k and 1M customers

const char* const ScanSQL = "SELECT id, name, city, balance FROM customers";

// The process's resident memory: its high-water mark is set back to what is
// resident now, so that a case reports its own peak.
void ResetPeakRss() { std::ofstream("/proc/self/clear_refs") << "5"; }
double PeakRssMiB() {
  std::ifstream In("/proc/self/status");
  std::string Line;
  while (std::getline(In, Line))
    if (Line.rfind("VmHWM:", 0) == 0) return std::stod(Line.substr(6)) / 1024.0;
  return 0;
}

sqlite3* RawDbOf(std::int64_t Customers) {
  sqlite3* D = nullptr;
  sqlite3_open_v2(benchdb::SampleDatabaseFile(Customers).c_str(), &D, SQLITE_OPEN_READONLY, nullptr);
  return D;
}

void BM_RawStepAllRows(benchmark::State& State) {
  sqlite3* Db = RawDbOf(State.range(0));
  ResetPeakRss();
  std::int64_t N = 0;
  for (auto _ : State) {
    sqlite3_stmt* S = nullptr;
    sqlite3_prepare_v2(Db, ScanSQL, -1, &S, nullptr);
    while (sqlite3_step(S) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int64(S, 0));
      benchmark::DoNotOptimize(sqlite3_column_text(S, 1));
      benchmark::DoNotOptimize(sqlite3_column_text(S, 2));
      benchmark::DoNotOptimize(sqlite3_column_text(S, 3));
      ++N;
    }
    sqlite3_finalize(S);
  }
  State.SetItemsProcessed(N);
  State.counters["PeakRssMiB"] = PeakRssMiB();
  sqlite3_close(Db);
}

// The scan query over the sample database of Rows customers (not opened).
struct TScanQuery {
  explicit TScanQuery(std::int64_t Rows) {
    Db->SetDatabaseName(benchdb::SampleDatabaseFile(Rows));
    Db->Open();
    Q->SetDatabase(Db.get());
    Q->GetSQL()->SetText(ScanSQL);
  }
  TOwned<TDatabase> Db = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  TOwned<TQuery> Q = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
};

void BM_QueryNextAllRows(benchmark::State& State) {
  TScanQuery Scan(State.range(0));
  TQuery* Q = Scan.Q.get();
  ResetPeakRss();
  std::int64_t N = 0;
  int WindowRows = 0;
  for (auto _ : State) {
    Q->Open();
    TField* Id = Q->FieldByName("id");
    TField* Name = Q->FieldByName("name");
    TField* City = Q->FieldByName("city");
    TField* Balance = Q->FieldByName("balance");
    while (!Q->Eof()) {
      benchmark::DoNotOptimize(Id->GetAsLargeInt());
      benchmark::DoNotOptimize(Name->GetAsString());
      benchmark::DoNotOptimize(City->GetAsString());
      benchmark::DoNotOptimize(Balance->GetAsCurrency());
      Q->Next();
      ++N;
    }
    WindowRows = Q->FetchedRowCount();
    Q->Close();
  }
  State.SetItemsProcessed(N);
  State.counters["PeakRssMiB"] = PeakRssMiB();
  State.counters["WindowRows"] = WindowRows;
}

void BM_RawStepToMiddle(benchmark::State& State) {
  sqlite3* Db = RawDbOf(State.range(0));
  sqlite3_stmt* S = nullptr;
  sqlite3_prepare_v2(Db, ScanSQL, -1, &S, nullptr);
  for (auto _ : State) {
    sqlite3_reset(S);
    for (std::int64_t I = 0; I < State.range(0) / 2 && sqlite3_step(S) == SQLITE_ROW; ++I) {
    }
    benchmark::DoNotOptimize(sqlite3_column_int64(S, 0));
  }
  sqlite3_finalize(S);
  sqlite3_close(Db);
}

// Each iteration goes from the first record (a window at the start) to the
// middle one and back, so both moves leave the window.
void BM_QueryRecNoToMiddle(benchmark::State& State) {
  TScanQuery Scan(State.range(0));
  TQuery* Q = Scan.Q.get();
  Q->Open();
  for (auto _ : State) {
    Q->SetRecNo(int(State.range(0) / 2));
    benchmark::DoNotOptimize(Q->FieldByName("id")->GetAsLargeInt());
    Q->First();
  }
}

#define SCAN_SIZES(Bench) \
  BENCHMARK(Bench)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond)
SCAN_SIZES(BM_RawStepAllRows);
SCAN_SIZES(BM_QueryNextAllRows);
SCAN_SIZES(BM_RawStepToMiddle);
SCAN_SIZES(BM_QueryRecNoToMiddle);

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
