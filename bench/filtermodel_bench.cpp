// The filter model while a user types a name, at 20k, 200k and 1M rows, each
// next to a hand-written baseline measured in the same run:
//  - BM_SqlKeystroke: a filter model on a SQLite TQuery (the SQL means); one
//    keystroke is the rewrite of the query's WHERE clause, close, reopen and
//    the first 50 records. BM_RawKeystroke: a parameterised statement on the
//    sqlite3 C API, prepared once, bound and stepped for 50 rows per
//    keystroke, with the same case mapping registered as UPPER.
//  - BM_ClientKeystroke/<rows>/<range>: a filter model on a client dataset
//    (the standard means): apply and the first 50 matching records, with an
//    index range on a case-insensitive name index (1) or without an index
//    (0). BM_VectorKeystroke: a loop over a std::vector of the same rows with
//    the same prefix test, stopping at 50 matches.
//  - BM_Rewrite: the rewriting alone, a 20-line query with a UNION.
// A keystroke is one of the prefixes of a name ("p" ... "peter müller"); the
// times are per keystroke, averaged over the typing.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include <fyndra/adapters/client/zvclientmodel.h>
#include <fyndra/core/zvstrutils.h>
#include <fyndra/dataset/zvbdemodel.h>
#include <fyndra/platform/bde/bdedataset.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/rtl/textservice.h>
#include "benchdb.h"

namespace {

using namespace fyndra;

constexpr int FirstRecords = 50;

// The keystrokes of typing a name.
const std::vector<std::string>& Keystrokes() {
  static const std::vector<std::string> Steps = [] {
    std::vector<std::string> Out;
    const std::string Name = "peter m\xC3\xBCller";
    for (std::size_t I = 1; I <= Name.size(); ++I)
      if (I == Name.size() || (static_cast<unsigned char>(Name[I]) & 0xC0) != 0x80) Out.push_back(Name.substr(0, I));
    return Out;
  }();
  return Steps;
}

const std::string& DatabaseFile(std::int64_t Rows) { return benchdb::SampleDatabaseFile(Rows); }

void UpperFunction(sqlite3_context* Context, int, sqlite3_value** Args) {
  const unsigned char* Text = sqlite3_value_text(Args[0]);
  if (!Text) {
    sqlite3_result_null(Context);
    return;
  }
  const std::string Upper = AnsiUpperCase(reinterpret_cast<const char*>(Text));
  sqlite3_result_text(Context, Upper.data(), static_cast<int>(Upper.size()), SQLITE_TRANSIENT);
}

void BM_RawKeystroke(benchmark::State& State) {
  SetDefaultLocale("en_US");
  sqlite3* Db = nullptr;
  sqlite3_open_v2(DatabaseFile(State.range(0)).c_str(), &Db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_create_function_v2(Db, "upper", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, &UpperFunction, nullptr,
                             nullptr, nullptr);
  sqlite3_exec(Db, "PRAGMA case_sensitive_like = ON", nullptr, nullptr, nullptr);
  sqlite3_stmt* S = nullptr;
  sqlite3_prepare_v2(Db, "SELECT id, name, city FROM customers WHERE UPPER(name) LIKE ?1 ORDER BY id", -1, &S,
                     nullptr);
  std::size_t Step = 0;
  for (auto _ : State) {
    const std::string Pattern = AnsiUpperCase(Keystrokes()[Step++ % Keystrokes().size()]) + "%";
    sqlite3_reset(S);
    sqlite3_bind_text(S, 1, Pattern.c_str(), -1, SQLITE_TRANSIENT);
    for (int N = 0; N < FirstRecords && sqlite3_step(S) == SQLITE_ROW; ++N) {
      benchmark::DoNotOptimize(sqlite3_column_int64(S, 0));
      benchmark::DoNotOptimize(sqlite3_column_text(S, 1));
      benchmark::DoNotOptimize(sqlite3_column_text(S, 2));
    }
  }
  sqlite3_finalize(S);
  sqlite3_close(Db);
}
BENCHMARK(BM_RawKeystroke)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_SqlKeystroke(benchmark::State& State) {
  SetDefaultLocale("en_US");
  TOwned<TDatabase> Db = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  Db->SetDatabaseName(DatabaseFile(State.range(0)));
  Db->GetParams()->Add("READONLY=TRUE");
  Db->Open();
  TOwned<TQuery> Q = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
  Q->SetDatabase(Db.get());
  Q->GetSQL()->SetText("SELECT id, name, city FROM customers ORDER BY id");
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  Src->SetDataSet(Q.get());
  TOwned<TzvBdeFilterModel> M = CreateOwned<TzvBdeFilterModel>(nullptr);
  M->SetDataSource(Src.get());
  M->SetFiltered(true);
  Q->Open();
  TzvCompareItem* Name = M->GetCompareItems()->FindByName("name");  // starts with, ignoring case
  std::size_t Step = 0;
  for (auto _ : State) {
    Name->SetAsString(Keystrokes()[Step++ % Keystrokes().size()]);  // applies
    TField* Id = Q->FieldByName("id");
    TField* NameField = Q->FieldByName("name");
    TField* City = Q->FieldByName("city");
    for (int N = 0; N < FirstRecords && !Q->Eof(); ++N) {
      benchmark::DoNotOptimize(Id->GetAsLargeInt());
      benchmark::DoNotOptimize(NameField->GetAsString());
      benchmark::DoNotOptimize(City->GetAsString());
      Q->Next();
    }
  }
}
BENCHMARK(BM_SqlKeystroke)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);

struct TClientRow {
  std::int32_t Id;
  std::string Name;
  std::string City;
};

// The rows of the sample database, in memory.
const std::vector<TClientRow>& ClientRows(std::int64_t Rows) {
  static std::map<std::int64_t, std::vector<TClientRow>> Cache;
  auto It = Cache.find(Rows);
  if (It != Cache.end()) return It->second;
  std::vector<TClientRow> Out;
  Out.reserve(static_cast<std::size_t>(Rows));
  sqlite3* Db = nullptr;
  sqlite3_open_v2(DatabaseFile(Rows).c_str(), &Db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* S = nullptr;
  sqlite3_prepare_v2(Db, "SELECT id, name, coalesce(city, '') FROM customers ORDER BY id", -1, &S, nullptr);
  while (sqlite3_step(S) == SQLITE_ROW)
    Out.push_back({static_cast<std::int32_t>(sqlite3_column_int64(S, 0)),
                   reinterpret_cast<const char*>(sqlite3_column_text(S, 1)),
                   reinterpret_cast<const char*>(sqlite3_column_text(S, 2))});
  sqlite3_finalize(S);
  sqlite3_close(Db);
  return Cache.emplace(Rows, std::move(Out)).first->second;
}

void BM_VectorKeystroke(benchmark::State& State) {
  SetDefaultLocale("en_US");
  const std::vector<TClientRow>& Rows = ClientRows(State.range(0));
  std::size_t Step = 0;
  for (auto _ : State) {
    const std::string Prefix = AnsiUpperCase(Keystrokes()[Step++ % Keystrokes().size()]);
    int Found = 0;
    for (const TClientRow& R : Rows) {
      if (!AnsiStartsUpperText(Prefix, R.Name)) continue;
      benchmark::DoNotOptimize(R.Id);
      benchmark::DoNotOptimize(R.City.size());
      if (++Found == FirstRecords) break;
    }
  }
}
BENCHMARK(BM_VectorKeystroke)->Arg(20000)->Arg(200000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ClientKeystroke(benchmark::State& State) {
  SetDefaultLocale("en_US");
  const std::vector<TClientRow>& Rows = ClientRows(State.range(0));
  TOwned<TClientDataSet> DS = CreateOwned<TClientDataSet>(nullptr);
  DS->GetFieldDefs()->Add("ID", ftInteger);
  DS->GetFieldDefs()->Add("NAME", ftString, 40);
  DS->GetFieldDefs()->Add("CITY", ftString, 30);
  DS->CreateDataSet();
  for (const TClientRow& R : Rows) DS->AppendRecord({Variant(R.Id), Variant(R.Name), Variant(R.City)});
  if (State.range(1)) {
    DS->AddIndex("ByName", "NAME", {ixCaseInsensitive});
    DS->SetIndexName("ByName");
  }
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  Src->SetDataSet(DS.get());
  TOwned<TzvClientFilterModel> M = CreateOwned<TzvClientFilterModel>(nullptr);
  M->SetDataSource(Src.get());
  M->SetFiltered(true);
  TzvCompareItem* Name = M->GetCompareItems()->FindByName("NAME");
  TField* Id = DS->FieldByName("ID");
  TField* City = DS->FieldByName("CITY");
  std::size_t Step = 0;
  for (auto _ : State) {
    Name->SetAsString(Keystrokes()[Step++ % Keystrokes().size()]);  // applies
    for (int N = 0; N < FirstRecords && !DS->Eof(); ++N) {
      benchmark::DoNotOptimize(Id->GetAsInteger());
      benchmark::DoNotOptimize(City->GetAsString());
      DS->Next();
    }
  }
  State.counters["range"] = DS->GetRanged() ? 1 : 0;
}
BENCHMARK(BM_ClientKeystroke)
    ->Args({20000, 1})
    ->Args({200000, 1})
    ->Args({1000000, 1})
    ->Args({20000, 0})
    ->Args({200000, 0})
    ->Args({1000000, 0})
    ->Unit(benchmark::kMillisecond);

// A 20-line query with a UNION and an application condition; each call
// replaces the condition the previous one inserted.
void BM_Rewrite(benchmark::State& State) {
  TOwned<TzvDBFilterModel> M = CreateOwned<TzvDBFilterModel>(nullptr);
  std::string SQL =
      "SELECT c.id,\n"
      "       c.name,\n"
      "       c.city,\n"
      "       c.balance\n"
      "  FROM customers c\n"
      " WHERE c.active = 1\n"
      "   AND c.city <> 'WHERE'\n"
      "   AND (c.balance > 0 OR c.note IS NULL)\n"
      "UNION\n"
      "SELECT a.id,\n"
      "       a.name,\n"
      "       a.city,\n"
      "       a.balance\n"
      "  FROM archive a\n"
      " WHERE a.id IN (SELECT id FROM kept\n"
      "                 WHERE kept.reason = 'audit')\n"
      "   -- archived customers are shown too\n"
      "   AND a.active = 1\n"
      " ORDER BY 2\n"
      "   , 1\n";
  const std::string Conditions[] = {
      " ( UPPER( name ) LIKE 'PETER%'\r\n  AND balance >= :DFyndra_balance ) ",
      " ( UPPER( name ) LIKE 'PETER M%'\r\n  AND balance >= :DFyndra_balance ) "};
  int I = 0;
  for (auto _ : State) {
    M->UpdateWhereClause(SQL, Conditions[I++ & 1]);
    benchmark::DoNotOptimize(SQL.data());
  }
}
BENCHMARK(BM_Rewrite)->Unit(benchmark::kMicrosecond);

}  // namespace
