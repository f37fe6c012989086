// The ODBC family against hand-written ODBC code, in the same run, on the same
// driver and data: SQLite's ODBC driver on a file and PostgreSQL's on a
// server the benchmark starts itself. Tables of 10k, 20k, 100k, 200k and 1M
// customers with an index on the name.
//  - open + first record: TADOQuery next to SQLExecute + one SQLFetch;
//  - reading every row: TADOQuery's Next next to an SQLFetch/SQLGetData loop
//    (20k, 200k, 1M rows);
//  - Seek on the name index: TADOTable::Seek next to one keyed statement with
//    its first row (10k, 100k, 1M rows: the cost of a seek should grow with
//    the depth of the index, not with the table);
//  - filter as you type on PostgreSQL: one keystroke into a case-sensitive
//    "starts with" criterion of a filter model on a TADOQuery ordered by name
//    (the condition rewritten, the query reopened, its first 50 records
//    read) next to the same statement written by hand, executed and its
//    first 50 rows fetched (20k, 200k, 1M rows).
//
// On PostgreSQL the name is declared COLLATE "C", as a column searched by
// prefix is: its index then serves both LIKE 'prefix%' and ORDER BY name
// (under another collation the server can use a plain index for neither).
#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>

#include <map>
#include <memory>
#include <string>

#include <fyndra/adapters/ado/zvadomodel.h>
#include <fyndra/platform/ado/adodb.h>
#include <fyndra/platform/db/datasource.h>
#include "platform/ado/adotestutil.h"

namespace {

using namespace fyndra;
using adotest::TSource;

std::string Table(std::int64_t N) {
  std::string Name = "c";
  Name += std::to_string(N);
  return Name;
}

// A data source with every table made (once per run).
struct TBenchSource {
  std::unique_ptr<adotest::DataSource> Source;
  std::unique_ptr<TOdbcConnection> Raw;
  TOwned<TADOConnection> Conn;
};

TBenchSource& SourceOf(TSource Kind) {
  static std::map<TSource, TBenchSource> Sources;
  TBenchSource& S = Sources[Kind];
  if (S.Source) return S;
  S.Source = std::make_unique<adotest::DataSource>(Kind);
  S.Raw = std::make_unique<TOdbcConnection>(S.Source->ConnectionString());
  for (std::int64_t N : {10000, 20000, 100000, 200000, 1000000}) {
    const std::string T = Table(N), Count = std::to_string(N);
    S.Raw->Exec("CREATE TABLE " + T + " (id INTEGER PRIMARY KEY, name VARCHAR(40)" +
                (Kind == TSource::PostgreSQL ? " COLLATE \"C\"" : "") + ", city VARCHAR(30), amount NUMERIC(12,2))");
    if (Kind == TSource::SQLite)
      S.Raw->Exec("INSERT INTO " + T + " WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                  Count + ") SELECT i, printf('N%08d', (i * 7919) % " + Count + "), 'City' || (i % 100), " +
                  "(i % 100000) / 100.0 FROM n");
    else
      S.Raw->Exec("INSERT INTO " + T + " SELECT i, 'N' || lpad(((i::bigint * 7919) % " + Count +
                  ")::text, 8, '0'), 'City' || (i % 100), (i % 100000) / 100.0 FROM generate_series(1, " + Count +
                  ") i");
    S.Raw->Exec("CREATE INDEX " + T + "_name ON " + T + " (name)");
    if (Kind == TSource::PostgreSQL) S.Raw->Exec("ANALYZE " + T);
  }
  S.Conn = CreateOwned<TADOConnection>(static_cast<TComponent*>(nullptr));
  S.Conn->SetConnectionString(S.Source->ConnectionString());
  S.Conn->Open();
  return S;
}

// The n-th name of a table of N rows (every name occurs once).
std::string NameOf(std::int64_t I, std::int64_t N) {
  char Buffer[32];
  std::snprintf(Buffer, sizeof Buffer, "N%08lld", static_cast<long long>((I * 7919) % N));
  return Buffer;
}

// ---- hand-written ODBC

struct TRawStatement {
  SQLHSTMT S = nullptr;
  TRawStatement(TOdbcConnection& C, const std::string& SQL) {
    SQLAllocHandle(SQL_HANDLE_STMT, C.Handle(), &S);
    SQLPrepare(S, reinterpret_cast<SQLCHAR*>(const_cast<char*>(SQL.c_str())), SQL_NTS);
  }
  ~TRawStatement() { SQLFreeHandle(SQL_HANDLE_STMT, S); }
  // Reads the current row as an application would: id, name, city, amount.
  std::size_t ReadRow() {
    SQLBIGINT Id = 0;
    char Name[161], City[121], Amount[40];
    SQLLEN Ind = 0;
    SQLGetData(S, 1, SQL_C_SBIGINT, &Id, 0, &Ind);
    SQLGetData(S, 2, SQL_C_CHAR, Name, sizeof Name, &Ind);
    std::string N(Name, Ind > 0 ? std::size_t(Ind) : 0);
    SQLGetData(S, 3, SQL_C_CHAR, City, sizeof City, &Ind);
    std::string C(City, Ind > 0 ? std::size_t(Ind) : 0);
    SQLGetData(S, 4, SQL_C_CHAR, Amount, sizeof Amount, &Ind);
    return std::size_t(Id) + N.size() + C.size() + std::size_t(Ind);
  }
};

std::size_t ReadRecord(TDataSet& D) {
  return std::size_t(D.Fields()[0]->GetAsLargeInt()) + D.Fields()[1]->GetAsString().size() +
         D.Fields()[2]->GetAsString().size() + std::size_t(D.Fields()[3]->GetAsFloat());
}

void BM_RawOpenFirstRow(benchmark::State& State, TSource Kind) {
  TBenchSource& S = SourceOf(Kind);
  TRawStatement R(*S.Raw, "SELECT id, name, city, amount FROM " + Table(State.range(0)));
  for (auto _ : State) {
    SQLExecute(R.S);
    if (SQL_SUCCEEDED(SQLFetch(R.S))) benchmark::DoNotOptimize(R.ReadRow());
    SQLCloseCursor(R.S);
  }
}

void BM_QueryOpenFirstRecord(benchmark::State& State, TSource Kind) {
  TBenchSource& S = SourceOf(Kind);
  TOwned<TADOQuery> Q = CreateOwned<TADOQuery>(static_cast<TComponent*>(nullptr));
  Q->SetConnection(S.Conn.get());
  Q->GetSQL()->SetText("SELECT id, name, city, amount FROM " + Table(State.range(0)));
  for (auto _ : State) {
    Q->Open();
    benchmark::DoNotOptimize(ReadRecord(*Q));
    Q->Close();
  }
}

void BM_RawReadAll(benchmark::State& State, TSource Kind) {
  TBenchSource& S = SourceOf(Kind);
  TRawStatement R(*S.Raw, "SELECT id, name, city, amount FROM " + Table(State.range(0)));
  std::int64_t Rows = 0;
  for (auto _ : State) {
    SQLExecute(R.S);
    std::size_t Sum = 0;
    while (SQL_SUCCEEDED(SQLFetch(R.S))) {
      Sum += R.ReadRow();
      ++Rows;
    }
    SQLCloseCursor(R.S);
    benchmark::DoNotOptimize(Sum);
  }
  State.SetItemsProcessed(Rows);
}

void BM_QueryReadAll(benchmark::State& State, TSource Kind) {
  TBenchSource& S = SourceOf(Kind);
  TOwned<TADOQuery> Q = CreateOwned<TADOQuery>(static_cast<TComponent*>(nullptr));
  Q->SetConnection(S.Conn.get());
  Q->GetSQL()->SetText("SELECT id, name, city, amount FROM " + Table(State.range(0)));
  std::int64_t Rows = 0;
  for (auto _ : State) {
    Q->Open();
    std::size_t Sum = 0;
    for (; !Q->Eof(); Q->Next()) {
      Sum += ReadRecord(*Q);
      ++Rows;
    }
    Q->Close();
    benchmark::DoNotOptimize(Sum);
  }
  State.SetItemsProcessed(Rows);
}

// SQLite's driver reads a whole result at execute when a statement has
// parameters, so on SQLite the key is written into the statement as a literal
// (as TADOTable does); PostgreSQL's statement binds it.
void BM_RawKeyedFirstRow(benchmark::State& State, TSource Kind) {
  TBenchSource& S = SourceOf(Kind);
  const std::int64_t N = State.range(0);
  if (Kind == TSource::SQLite) {
    std::int64_t I = 1;
    for (auto _ : State) {
      I = (I * 48271) % N + 1;
      TRawStatement R(*S.Raw, "SELECT id, name, city, amount FROM " + Table(N) + " WHERE name >= '" + NameOf(I, N) +
                                  "' ORDER BY name, id");
      SQLExecute(R.S);
      if (SQL_SUCCEEDED(SQLFetch(R.S))) benchmark::DoNotOptimize(R.ReadRow());
      SQLCloseCursor(R.S);
    }
    return;
  }
  TRawStatement R(*S.Raw, "SELECT id, name, city, amount FROM " + Table(N) + " WHERE name >= ? ORDER BY name, id");
  std::int64_t I = 1;
  char Key[32];
  SQLLEN KeyLength = SQL_NTS;
  SQLBindParameter(R.S, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, Key, sizeof Key, &KeyLength);
  for (auto _ : State) {
    I = (I * 48271) % N + 1;
    std::snprintf(Key, sizeof Key, "%s", NameOf(I, N).c_str());
    SQLExecute(R.S);
    if (SQL_SUCCEEDED(SQLFetch(R.S))) benchmark::DoNotOptimize(R.ReadRow());
    SQLCloseCursor(R.S);
  }
}

void BM_TableSeek(benchmark::State& State, TSource Kind) {
  TBenchSource& S = SourceOf(Kind);
  const std::int64_t N = State.range(0);
  TOwned<TADOTable> T = CreateOwned<TADOTable>(static_cast<TComponent*>(nullptr));
  T->SetConnection(S.Conn.get());
  T->SetTableName(Table(N));
  T->SetIndexName(Table(N) + "_name");
  T->Open();
  std::int64_t I = 1;
  for (auto _ : State) {
    I = (I * 48271) % N + 1;
    if (!T->Seek(Variant(NameOf(I, N)), soFirstEQ)) State.SkipWithError("a name was not found");
    benchmark::DoNotOptimize(ReadRecord(*T));
  }
}

// What the user types, one character a keystroke: prefixes of a name that
// exists, from one character to all nine, over and over.
std::string Typed(std::int64_t Rows, std::int64_t Keystroke) {
  const std::string Name = NameOf(Rows / 3, Rows);
  return Name.substr(0, std::size_t(1 + Keystroke % std::int64_t(Name.size())));
}

std::string KeystrokeSelect(std::int64_t Rows) {
  return "SELECT id, name, city, amount FROM " + Table(Rows) + " ORDER BY name";
}

void BM_RawKeystroke(benchmark::State& State) {
  TBenchSource& S = SourceOf(TSource::PostgreSQL);
  const std::int64_t Rows = State.range(0);
  std::int64_t Keystroke = 0;
  for (auto _ : State) {
    TRawStatement R(*S.Raw, "SELECT id, name, city, amount FROM " + Table(Rows) + " WHERE name LIKE '" +
                                Typed(Rows, Keystroke++) + "%' ORDER BY name");
    SQLExecute(R.S);
    std::size_t Sum = 0;
    for (int N = 0; N < 50 && SQL_SUCCEEDED(SQLFetch(R.S)); ++N) Sum += R.ReadRow();
    SQLCloseCursor(R.S);
    benchmark::DoNotOptimize(Sum);
  }
}

void BM_FilterKeystroke(benchmark::State& State) {
  TBenchSource& S = SourceOf(TSource::PostgreSQL);
  const std::int64_t Rows = State.range(0);
  TOwned<TADOQuery> Q = CreateOwned<TADOQuery>(static_cast<TComponent*>(nullptr));
  Q->SetConnection(S.Conn.get());
  Q->GetSQL()->SetText(KeystrokeSelect(Rows));
  Q->Open();
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(static_cast<TComponent*>(nullptr));
  Src->SetDataSet(Q.get());
  TOwned<TzvAdoFilterModel> M = CreateOwned<TzvAdoFilterModel>(static_cast<TComponent*>(nullptr));
  M->SetDataSource(Src.get());
  M->SetFiltered(true);
  TzvCompareItem* Name = M->GetCompareItems()->FindByName("name");  // starts with, by default
  Name->SetOptions({});
  std::int64_t Keystroke = 0;
  for (auto _ : State) {
    Name->SetValue(Typed(Rows, Keystroke++));
    std::size_t Sum = 0;
    for (int N = 0; N < 50 && !Q->Eof(); ++N) {
      Sum += ReadRecord(*Q);
      Q->Next();
    }
    benchmark::DoNotOptimize(Sum);
  }
  if (Q->GetSQL()->GetText().find("LIKE") == std::string::npos) State.SkipWithError("the query was not rewritten");
}

#define FYNDRA_BOTH(Fn, ...)                                                    \
  BENCHMARK_CAPTURE(Fn, SQLite, TSource::SQLite)->__VA_ARGS__;                  \
  BENCHMARK_CAPTURE(Fn, PostgreSQL, TSource::PostgreSQL)->__VA_ARGS__

FYNDRA_BOTH(BM_RawOpenFirstRow, Arg(1000000)->Unit(benchmark::kMicrosecond));
FYNDRA_BOTH(BM_QueryOpenFirstRecord, Arg(1000000)->Unit(benchmark::kMicrosecond));
FYNDRA_BOTH(BM_RawReadAll, Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3));
FYNDRA_BOTH(BM_QueryReadAll, Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3));
FYNDRA_BOTH(BM_RawKeyedFirstRow, Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond));
FYNDRA_BOTH(BM_TableSeek, Arg(10000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMicrosecond));
// Every prefix length equally often: nine lengths, ten rounds.
BENCHMARK(BM_RawKeystroke)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(90);
BENCHMARK(BM_FilterKeystroke)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(90);

}  // namespace
