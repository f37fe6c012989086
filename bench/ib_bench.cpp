// The Firebird family against a hand-written loop on the client library's
// object interface, in the same run, on tables of 20,000, 200,000 and
// 1,000,000 customers (embedded engine, one database file):
//  - opening a TIBQuery over the whole table and reaching its first record,
//    next to opening a cursor on the same prepared statement and fetching one row;
//  - reading every row through Next and four fields, next to a fetchNext loop
//    that decodes the same four columns;
//  - filter as you type: one keystroke into a "starts with" criterion of a
//    filter model on a TIBQuery (rewrite the WHERE clause, reopen, read the
//    first 50 records), next to preparing, opening and reading 50 rows of the
//    same statement by hand. The name column has an index.
// The database is made once before the first measurement (about a minute)
// and kept in the temporary folder for later runs.
#include <benchmark/benchmark.h>
#include <firebird/Interface.h>
#include <ibase.h>

#include <cstring>
#include <filesystem>
#include <string>

#include <fyndra/adapters/ib/zvibmodel.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/ib/ibcustomdataset.h>
#include <fyndra/platform/ib/ibdatabase.h>

namespace {

using namespace fyndra;

const std::int64_t Sizes[] = {20000, 200000, 1000000};

std::string TableOf(std::int64_t Rows) { return "customers_" + std::to_string(Rows); }

struct TBench {
  TIBDatabase* Db;
  TIBTransaction* Tr;
};

bool HasTables(TIBDatabase& Db) {
  TOwned<TIBQuery> Q = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
  Q->SetDatabase(&Db);
  for (std::int64_t Rows : Sizes) {
    Q->Close();
    Q->GetSQL()->SetText("SELECT MAX(id) AS m FROM " + TableOf(Rows));
    try {
      Q->Open();
    } catch (const EDatabaseError&) {
      return false;
    }
    if (Q->FieldByName("m")->GetAsLargeInt() != Rows) return false;
  }
  return true;
}

TBench& Bench() {
  static TBench B = [] {
    namespace fs = std::filesystem;
    const fs::path Folder = fs::temp_directory_path() / "fyndra-ib-bench";
    fs::create_directories(Folder);
    IBSetupEmbeddedEngine((Folder / "engine").string());
    auto* Db = Create<TIBDatabase>(static_cast<TComponent*>(nullptr));
    auto* Tr = Create<TIBTransaction>(static_cast<TComponent*>(nullptr));
    Db->SetDatabaseName((Folder / "customers.fdb").string());
    Db->GetParams()->Add("user_name=SYSDBA");
    Db->SetLoginPrompt(false);
    Tr->SetDefaultDatabase(Db);
    Tr->GetParams()->SetText("read_committed\nrec_version\nnowait\n");
    Db->SetDefaultTransaction(Tr);
    bool Ready = false;
    if (fs::exists(Folder / "customers.fdb")) {
      try {
        Db->Open();
        Ready = HasTables(*Db);
      } catch (const EDatabaseError&) {
      }
      if (!Ready && Db->GetConnected()) Db->DropDatabase();
      if (!Ready) fs::remove(Folder / "customers.fdb");
    }
    if (!Ready) {
      Db->CreateDatabase();
      for (std::int64_t Rows : Sizes) {
        const std::string T = TableOf(Rows);
        Db->ExecuteImmediate("CREATE TABLE " + T +
                             " (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(40) NOT NULL, city VARCHAR(30), "
                             "balance NUMERIC(12,2), born DATE)");
        Db->ExecuteImmediate("EXECUTE BLOCK AS DECLARE i INTEGER = 1; BEGIN WHILE (i <= " + std::to_string(Rows) +
                             ") DO BEGIN INSERT INTO " + T +
                             " VALUES (:i, 'Customer ' || LPAD(MOD(:i * 7919, " + std::to_string(Rows) +
                             "), 7, '0'), 'City ' || MOD(:i, 97), MOD(:i * 31, 100000) / 100.0, "
                             "DATEADD(MOD(:i, 20000) DAY TO DATE '1950-01-01')); i = i + 1; END END");
        Db->ExecuteImmediate("CREATE INDEX " + T + "_name ON " + T + " (name)");
      }
    }
    return TBench{Db, Tr};
  }();
  return B;
}

// The client library, used directly: the same attachment's handle through a
// second connection of its own, so both sides pay for the same engine.
struct TRaw {
  Firebird::IMaster* Master = Firebird::fb_get_master_interface();
  Firebird::ThrowStatusWrapper St{Master->getStatus()};
  Firebird::IAttachment* Att = nullptr;
  Firebird::ITransaction* Tra = nullptr;
};

TRaw& Raw() {
  static TRaw* R = [] {
    Bench();
    auto* R = new TRaw;
    Firebird::IUtil* Util = R->Master->getUtilInterface();
    Firebird::IXpbBuilder* Dpb = Util->getXpbBuilder(&R->St, Firebird::IXpbBuilder::DPB, nullptr, 0);
    Dpb->insertString(&R->St, isc_dpb_user_name, "SYSDBA");
    Dpb->insertString(&R->St, isc_dpb_lc_ctype, "UTF8");
    const std::string Name = Bench().Db->GetDatabaseName();
    R->Att = R->Master->getDispatcher()->attachDatabase(&R->St, Name.c_str(), Dpb->getBufferLength(&R->St),
                                                        Dpb->getBuffer(&R->St));
    Dpb->dispose();
    const unsigned char Tpb[] = {isc_tpb_version3, isc_tpb_read_committed, isc_tpb_rec_version, isc_tpb_nowait};
    R->Tra = R->Att->startTransaction(&R->St, sizeof Tpb, Tpb);
    return R;
  }();
  return *R;
}

std::string SelectAll(std::int64_t Rows) { return "SELECT id, name, balance, born FROM " + TableOf(Rows); }

struct TRawStatement {
  Firebird::IStatement* Stmt;
  Firebird::IMessageMetadata* Meta;
  std::string Buffer;
  unsigned Off[4], Null[4];
};

TRawStatement RawPrepare(const std::string& SQL) {
  TRaw& R = Raw();
  TRawStatement S;
  S.Stmt = R.Att->prepare(&R.St, R.Tra, 0, SQL.c_str(), SQL_DIALECT_V6, Firebird::IStatement::PREPARE_PREFETCH_METADATA);
  S.Meta = S.Stmt->getOutputMetadata(&R.St);
  S.Buffer.assign(S.Meta->getMessageLength(&R.St), '\0');
  for (unsigned I = 0; I < 4; ++I) S.Off[I] = S.Meta->getOffset(&R.St, I), S.Null[I] = S.Meta->getNullOffset(&R.St, I);
  return S;
}

void RawFree(TRawStatement& S) {
  S.Meta->release();
  S.Stmt->free(&Raw().St);
}

void BM_RawOpenFirstRow(benchmark::State& State) {
  TRawStatement S = RawPrepare(SelectAll(State.range(0)));
  for (auto _ : State) {
    Firebird::IResultSet* Rs = S.Stmt->openCursor(&Raw().St, Raw().Tra, nullptr, nullptr, S.Meta, 0);
    if (Rs->fetchNext(&Raw().St, S.Buffer.data()) == Firebird::IStatus::RESULT_OK) {
      std::int32_t Id;
      std::memcpy(&Id, S.Buffer.data() + S.Off[0], sizeof Id);
      benchmark::DoNotOptimize(Id);
    }
    Rs->close(&Raw().St);
  }
  RawFree(S);
}

void BM_QueryOpenFirstRecord(benchmark::State& State) {
  Bench();
  TOwned<TIBQuery> Q = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
  Q->SetDatabase(Bench().Db);
  Q->GetSQL()->SetText(SelectAll(State.range(0)));
  Q->Prepare();
  for (auto _ : State) {
    Q->Open();
    benchmark::DoNotOptimize(Q->Fields()[0]->AsInteger());
    Q->Close();
  }
}

void BM_RawFetchAllRows(benchmark::State& State) {
  TRawStatement S = RawPrepare(SelectAll(State.range(0)));
  std::int64_t N = 0;
  for (auto _ : State) {
    Firebird::IResultSet* Rs = S.Stmt->openCursor(&Raw().St, Raw().Tra, nullptr, nullptr, S.Meta, 0);
    const char* B = S.Buffer.data();
    while (Rs->fetchNext(&Raw().St, S.Buffer.data()) == Firebird::IStatus::RESULT_OK) {
      std::int32_t Id, Born;
      std::int64_t Balance;
      std::uint16_t Len;
      std::memcpy(&Id, B + S.Off[0], 4);
      std::memcpy(&Len, B + S.Off[1], 2);
      std::string Name(B + S.Off[1] + 2, Len);
      std::memcpy(&Balance, B + S.Off[2], 8);
      std::memcpy(&Born, B + S.Off[3], 4);
      benchmark::DoNotOptimize(Id);
      benchmark::DoNotOptimize(Name);
      benchmark::DoNotOptimize(Balance);
      benchmark::DoNotOptimize(Born);
      ++N;
    }
    Rs->close(&Raw().St);
  }
  State.SetItemsProcessed(N);
  RawFree(S);
}

void BM_QueryNextAllRows(benchmark::State& State) {
  Bench();
  TOwned<TIBQuery> Q = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
  Q->SetDatabase(Bench().Db);
  Q->GetSQL()->SetText(SelectAll(State.range(0)));
  std::int64_t N = 0;
  for (auto _ : State) {
    Q->Open();
    TField* Id = Q->Fields()[0];
    TField* Name = Q->Fields()[1];
    TField* Balance = Q->Fields()[2];
    TField* Born = Q->Fields()[3];
    while (!Q->Eof()) {
      benchmark::DoNotOptimize(Id->AsInteger());
      benchmark::DoNotOptimize(Name->AsString());
      benchmark::DoNotOptimize(Balance->AsCurrency());
      benchmark::DoNotOptimize(Born->AsDateTime());
      Q->Next();
      ++N;
    }
    Q->Close();
  }
  State.SetItemsProcessed(N);
}

// What the user types, one character a keystroke: prefixes of a name that
// exists, from one character to all sixteen, over and over.
std::string Typed(std::int64_t Rows, std::int64_t Keystroke) {
  const std::string Name = "Customer " + std::string(7 - std::to_string(Rows / 3).size(), '0') +
                           std::to_string(Rows / 3);
  return Name.substr(0, std::size_t(1 + Keystroke % std::int64_t(Name.size())));
}

void BM_RawKeystroke(benchmark::State& State) {
  const std::int64_t Rows = State.range(0);
  std::int64_t Keystroke = 0;
  TRaw& R = Raw();
  for (auto _ : State) {
    TRawStatement S = RawPrepare(SelectAll(Rows) + "\nWHERE NAME LIKE '" + Typed(Rows, Keystroke++) + "%' ORDER BY name");
    Firebird::IResultSet* Rs = S.Stmt->openCursor(&R.St, R.Tra, nullptr, nullptr, S.Meta, 0);
    for (int N = 0; N < 50 && Rs->fetchNext(&R.St, S.Buffer.data()) == Firebird::IStatus::RESULT_OK; ++N) {
      std::int32_t Id;
      std::memcpy(&Id, S.Buffer.data() + S.Off[0], sizeof Id);
      benchmark::DoNotOptimize(Id);
    }
    Rs->close(&R.St);
    RawFree(S);
  }
}

void BM_FilterKeystroke(benchmark::State& State) {
  const std::int64_t Rows = State.range(0);
  Bench();
  TOwned<TIBQuery> Q = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
  Q->SetDatabase(Bench().Db);
  // Ordered by the indexed column, so the engine walks the index and the
  // first records come without reading the whole match.
  Q->GetSQL()->SetText(SelectAll(Rows) + " ORDER BY name");
  Q->Open();
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(static_cast<TComponent*>(nullptr));
  Src->SetDataSet(Q.get());
  TOwned<TzvIBFilterModel> M = CreateOwned<TzvIBFilterModel>(static_cast<TComponent*>(nullptr));
  M->SetDataSource(Src.get());
  M->SetFiltered(true);
  TzvCompareItem* Name = M->GetCompareItems()->FindByName("NAME");  // starts with, by default
  // Case-sensitive, as the name index orders: LIKE 'prefix%' walks the index.
  Name->SetOptions({});
  std::int64_t Keystroke = 0;
  for (auto _ : State) {
    Name->SetValue(Typed(Rows, Keystroke++));
    TField* Id = Q->Fields()[0];
    for (int N = 0; N < 50 && !Q->Eof(); ++N) {
      benchmark::DoNotOptimize(Id->AsInteger());
      Q->Next();
    }
  }
}

void Sizes3(benchmark::internal::Benchmark* B) {
  for (std::int64_t Rows : Sizes) B->Arg(Rows);
}

BENCHMARK(BM_RawOpenFirstRow)->Apply(Sizes3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_QueryOpenFirstRecord)->Apply(Sizes3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RawFetchAllRows)->Apply(Sizes3)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_QueryNextAllRows)->Apply(Sizes3)->Unit(benchmark::kMillisecond)->Iterations(3);
// Every prefix length equally often: 16 lengths, 6 rounds.
BENCHMARK(BM_RawKeystroke)->Apply(Sizes3)->Unit(benchmark::kMillisecond)->Iterations(96);
BENCHMARK(BM_FilterKeystroke)->Apply(Sizes3)->Unit(benchmark::kMillisecond)->Iterations(96);

}  // namespace
