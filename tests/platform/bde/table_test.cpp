#include <fyndra/platform/bde/table.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/rtl/textservice.h>
#include "platform/bde/bdetestutil.h"

namespace fyndra {
namespace {

using bdetest::DbErrorOf;
using bdetest::TempDir;

Variant I32(std::int32_t V) { return Variant(V); }

class TableTest : public ::testing::Test {
 protected:
  static constexpr int Customers = 2000;
  void SetUp() override {
    SetDefaultLocale("en_US");
    GenerateSampleDatabase(Dir.File("t.db"), {.Customers = Customers});
    Db->SetDatabaseName(Dir.File("t.db"));
    Db->Open();
    T->SetDatabase(Db.get());
    T->SetTableName("customers");
  }
  // The first value of SQL, as text.
  std::string Scalar(const std::string& SQL) {
    TSQLiteStatement S(Db->Connection(), SQL);
    return S.Step() ? std::string(S.ColumnText(0)) : "<none>";
  }
  std::int64_t Id() { return T->FieldByName("id")->GetAsLargeInt(); }
  // The case-insensitive collation the sample's name and city indexes have.
  const std::string CI = CollateClause(CaseInsensitiveCollation("en_US"));

  TempDir Dir;
  TOwned<TDatabase> Db = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  TOwned<TTable> T = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
};

TEST_F(TableTest, IndexDefinitionsComeFromTheSchema) {
  T->GetIndexDefs()->Update();
  struct Row {
    const char* Name;
    const char* Fields;
    const char* CaseIns;
    const char* Desc;
    TIndexOptions Options;
  } Rows[] = {
      {"PRIMARY", "id", "", "", {ixPrimary, ixUnique}},
      {"sqlite_autoindex_customers_1", "code", "", "", {ixUnique}},
      {"customers_name", "name", "name", "", {ixCaseInsensitive}},
      {"customers_city", "city", "city", "", {ixCaseInsensitive}},
      {"customers_balance", "balance", "", "balance", {ixDescending}},
      {"customers_country", "country", "", "", {}},
  };
  ASSERT_EQ(T->GetIndexDefs()->Count(), 6);
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Name);
    TIndexDef* D = T->GetIndexDefs()->Find(R.Name);
    EXPECT_EQ(D->GetFields(), R.Fields);
    EXPECT_EQ(D->GetCaseInsFields(), R.CaseIns);
    EXPECT_EQ(D->GetDescFields(), R.Desc);
    EXPECT_EQ(D->GetOptions(), R.Options);
  }
  // A primary key that is not the row id alias.
  Db->Execute("CREATE TABLE pair (a TEXT COLLATE NOCASE, b INT, v TEXT, PRIMARY KEY (a, b DESC))");
  T->SetTableName("pair");
  T->GetIndexDefs()->Update();
  ASSERT_EQ(T->GetIndexDefs()->Count(), 1);
  TIndexDef* Pk = T->GetIndexDefs()->GetItem(0);
  EXPECT_EQ(Pk->GetName(), "PRIMARY");
  EXPECT_EQ(Pk->GetFields(), "a;b");
  EXPECT_EQ(Pk->GetCaseInsFields(), "");  // NOCASE is an order of its own
  EXPECT_EQ(Pk->GetDescFields(), "b");
  EXPECT_EQ(Pk->GetOptions(), (TIndexOptions{ixPrimary, ixUnique}));
}

TEST_F(TableTest, TheIndexChoosesTheOrderAndAChangeKeepsTheRecord) {
  T->Open();
  EXPECT_EQ(Id(), 1);  // the primary key orders by default
  EXPECT_EQ(T->GetRecNo(), 1);
  EXPECT_EQ(T->RecordCount(), Customers);
  T->FindKey({I32(1234)});
  const std::string Name = T->FieldByName("name")->GetAsString();

  T->SetIndexName("customers_name");
  EXPECT_EQ(Id(), 1234);  // still on the same record
  T->First();
  EXPECT_EQ(T->FieldByName("name")->GetAsString(), Scalar("SELECT name FROM customers ORDER BY name" + CI + ", rowid"));
  T->Next();
  EXPECT_EQ(std::to_string(Id()), Scalar("SELECT id FROM customers ORDER BY name" + CI + ", rowid LIMIT 1 OFFSET 1"));

  // Fields pick up the case rule of an index over them.
  T->SetIndexFieldNames("city");
  T->First();
  EXPECT_TRUE(T->FieldByName("city")->IsNull());  // Null sorts first
  T->Last();
  EXPECT_EQ(std::to_string(Id()), Scalar("SELECT id FROM customers ORDER BY city" + CI + " DESC, rowid DESC"));
  TOwned<TIndexDef> Order = T->PSGetDefaultOrder();
  ASSERT_NE(Order, nullptr);
  EXPECT_EQ(Order->GetFields(), "city");
  EXPECT_EQ(Order->GetCaseInsFields(), "city");

  // An unknown index is refused and the order stays.
  EXPECT_EQ(DbErrorOf([&] { T->SetIndexName("nope"); }), "Index 'nope' not found");
  EXPECT_EQ(T->GetIndexFieldNames(), "city");
  T->SetIndexName("");
  EXPECT_EQ(T->PSGetDefaultOrder()->GetName(), "PRIMARY");
}

TEST_F(TableTest, KeySearchFindsExactAndNearestKeys) {
  T->Open();
  EXPECT_TRUE(T->FindKey({I32(1500)}));
  EXPECT_EQ(Id(), 1500);
  T->Prior();
  EXPECT_EQ(Id(), 1499);  // read backwards from the found record
  T->Next();
  T->Next();
  EXPECT_EQ(Id(), 1501);
  EXPECT_FALSE(T->FindKey({I32(99999)}));
  EXPECT_EQ(Id(), 1501);  // no move when nothing matches
  T->FindNearest({I32(99999)});
  EXPECT_EQ(Id(), Customers);  // nothing at or after: the last record

  // The key buffer, not the current record, takes the values in dsSetKey.
  T->SetKey();
  T->FieldByName("id")->SetAsInteger(7);
  EXPECT_EQ(T->GetState(), dsSetKey);
  EXPECT_TRUE(T->GotoKey());
  EXPECT_EQ(T->GetState(), dsBrowse);
  EXPECT_EQ(Id(), 7);

  T->SetIndexName("customers_name");
  T->FindNearest({Variant("M")});
  EXPECT_EQ(T->FieldByName("name")->GetAsString(),
            Scalar("SELECT name FROM customers WHERE name >= 'M'" + CI + " ORDER BY name" + CI + ", rowid"));
  // A key of the wrong type is refused and the dataset stays where it was.
  T->SetIndexName("PRIMARY");
  T->FindKey({I32(42)});
  EXPECT_ANY_THROW(T->FindKey({Variant("abc")}));
  EXPECT_EQ(T->GetState(), dsBrowse);
  EXPECT_EQ(Id(), 42);
  EXPECT_NE(DbErrorOf([&] { T->FindKey({I32(1), I32(2)}); }), "<no error>");

  // A partial key on a two-field index lands on the first record of that key.
  T->Close();
  T->SetTableName("orders");
  T->SetIndexName("orders_customer");
  T->Open();
  const std::string Customer = Scalar("SELECT customer_id FROM orders WHERE customer_id > 100 LIMIT 1");
  EXPECT_TRUE(T->FindKey({Variant(std::int64_t(std::stoll(Customer)))}));
  EXPECT_EQ(DateTimeToEngineText(T->FieldByName("ordered")->GetAsDateTime(), ftDate),
            Scalar("SELECT ordered FROM orders WHERE customer_id = " + Customer + " ORDER BY ordered, rowid"));
}

TEST_F(TableTest, RangesLimitTheRecordsWithOpenEnds) {
  T->Open();
  struct Row {
    std::vector<Variant> Start, End;
    int Count;
    std::int64_t FirstId, LastId;
  } Rows[] = {
      {{I32(100)}, {I32(199)}, 100, 100, 199},
      {{I32(1990)}, {Variant()}, 11, 1990, 2000},  // open end
      {{Variant()}, {I32(5)}, 5, 1, 5},            // open start
      {{I32(50)}, {I32(40)}, 0, 0, 0},             // empty
  };
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.Count);
    T->SetRange(R.Start, R.End);
    EXPECT_TRUE(T->GetRanged());
    EXPECT_EQ(T->RecordCount(), R.Count);
    if (R.Count == 0) {
      EXPECT_TRUE(T->IsEmpty());
      continue;
    }
    EXPECT_EQ(Id(), R.FirstId);
    T->Last();
    EXPECT_EQ(Id(), R.LastId);
    T->Prior();
    EXPECT_EQ(Id(), R.LastId - 1);
    EXPECT_FALSE(T->FindKey({I32(R.LastId + 1)}));  // outside the range
  }
  T->CancelRange();
  EXPECT_FALSE(T->GetRanged());
  EXPECT_EQ(T->RecordCount(), Customers);

  // A descending key: the start is the larger value.
  T->SetIndexName("customers_balance");
  T->SetRange({Variant(1000.0)}, {Variant(0.0)});
  EXPECT_EQ(std::to_string(T->RecordCount()),
            Scalar("SELECT count(*) FROM customers WHERE balance BETWEEN 0 AND 1000"));
  EXPECT_GE(T->FieldByName("balance")->GetAsFloat(), T->FieldByName("balance")->GetAsFloat());
  double Previous = 1e9;
  for (T->First(); !T->Eof(); T->Next()) {
    double B = T->FieldByName("balance")->GetAsFloat();
    EXPECT_LE(B, Previous);
    EXPECT_GE(B, 0.0);
    Previous = B;
  }
  // A Null bound selects the Null keys.
  T->SetIndexName("customers_city");
  T->SetRange({Null()}, {Null()});
  EXPECT_EQ(std::to_string(T->RecordCount()), Scalar("SELECT count(*) FROM customers WHERE city IS NULL"));
  EXPECT_TRUE(T->FieldByName("city")->IsNull());
}

TEST_F(TableTest, LastAndBookmarksDoNotReadTheWholeTable) {
  T->Open();
  T->Last();
  EXPECT_EQ(Id(), Customers);
  EXPECT_EQ(T->FetchedRowCount(), 1);
  T->Prior();
  EXPECT_EQ(Id(), Customers - 1);
  TBookmark Near = T->GetBookmark();
  T->FindKey({I32(10)});
  TBookmark Early = T->GetBookmark();
  T->GotoBookmark(Near);
  EXPECT_EQ(Id(), Customers - 1);
  EXPECT_LT(T->CompareBookmarks(Early, Near), 0);
  T->GotoBookmark(Early);
  EXPECT_EQ(Id(), 10);
  EXPECT_LT(T->FetchedRowCount(), 20);
  T->First();
  EXPECT_EQ(Id(), 1);
}

// Scanning the whole table either way keeps the window bounded and visits the
// table's order; a bookmark from far away leads back, and moving and editing
// from there work; after Last the next key search reads a handful of rows.
TEST_F(TableTest, TheRowWindowStaysBoundedWhileScanningAndJumping) {
  static_assert(Customers > int(TTable::WindowLimit), "the scan must pass the window's limit");
  T->SetIndexName("customers_name");
  T->Open();
  std::vector<std::int64_t> Expected, Forward, Backward;
  {
    TSQLiteStatement S(Db->Connection(), "SELECT id FROM customers ORDER BY name" + CI + ", rowid");
    while (S.Step()) Expected.push_back(S.ColumnInt64(0));
  }
  std::size_t Most = 0;
  TBookmark Early;
  for (T->First(); !T->Eof(); T->Next()) {
    Forward.push_back(Id());
    if (Forward.size() == 10) Early = T->GetBookmark();
    Most = std::max(Most, std::size_t(T->FetchedRowCount()));
  }
  EXPECT_EQ(Forward, Expected);
  EXPECT_LE(Most, TTable::WindowLimit);
  Most = 0;
  for (T->Last(); !T->Bof(); T->Prior()) {
    Backward.push_back(Id());
    Most = std::max(Most, std::size_t(T->FetchedRowCount()));
  }
  std::reverse(Backward.begin(), Backward.end());
  EXPECT_EQ(Backward, Expected);
  EXPECT_LE(Most, TTable::WindowLimit);
  T->GotoBookmark(Early);
  EXPECT_EQ(Id(), Expected[9]);
  T->Next();
  EXPECT_EQ(Id(), Expected[10]);
  T->Prior();
  T->Prior();
  EXPECT_EQ(Id(), Expected[8]);
  T->Edit();
  T->FieldByName("note")->SetAsString("seen");
  T->Post();
  EXPECT_EQ(Id(), Expected[8]);
  EXPECT_EQ(Scalar("SELECT note FROM customers WHERE id = " + std::to_string(Expected[8])), "seen");
  T->Last();
  EXPECT_EQ(T->FetchedRowCount(), 1);
  T->FindNearest({Variant("M")});
  EXPECT_LE(T->FetchedRowCount(), 2);
}

// A range wider than the window: every restart of the window keeps to the
// range, forwards and backwards.
TEST_F(TableTest, AScanThroughARangeWiderThanTheWindowKeepsToTheRange) {
  T->SetIndexName("customers_name");
  T->Open();
  T->SetRange({Variant("B")}, {Variant("S")});
  std::vector<std::int64_t> Expected, Forward, Backward;
  {
    TSQLiteStatement S(Db->Connection(), "SELECT id FROM customers WHERE name >= 'B'" + CI + " AND name <= 'S'" + CI +
                                             " ORDER BY name" + CI + ", rowid");
    while (S.Step()) Expected.push_back(S.ColumnInt64(0));
  }
  ASSERT_GT(Expected.size(), TTable::WindowLimit);
  for (T->First(); !T->Eof(); T->Next()) Forward.push_back(Id());
  EXPECT_EQ(Forward, Expected);
  for (T->Last(); !T->Bof(); T->Prior()) Backward.push_back(Id());
  std::reverse(Backward.begin(), Backward.end());
  EXPECT_EQ(Backward, Expected);
}

// Reading from a key towards the end of an index where its Nulls stand (back
// from a key on an ascending index, on from a key on a descending one) passes
// the rows on the near side of the key and then every Null.
TEST_F(TableTest, ReadingFromAKeyTowardsTheNullsReachesEveryNull) {
  struct Case {
    const char* Index;
    const char* Order;
    Variant Key;
    bool Backwards;
  } Cases[] = {
      {"customers_city", "city COLLATE \"FYNDRA_CI_en_US\", rowid", Variant("C"), true},
      {"customers_balance", "balance DESC, rowid", Variant(5000.0), false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Index);
    T->Close();
    T->SetIndexName(C.Index);
    T->Open();
    std::vector<std::int64_t> All, Got;
    {
      TSQLiteStatement S(Db->Connection(), std::string("SELECT id FROM customers ORDER BY ") + C.Order);
      while (S.Step()) All.push_back(S.ColumnInt64(0));
    }
    T->FindNearest({C.Key});
    ASSERT_FALSE(T->Eof());
    const auto At = std::find(All.begin(), All.end(), Id());
    ASSERT_NE(At, All.end());
    std::vector<std::int64_t> Expected;
    if (C.Backwards) {
      Expected.assign(All.begin(), At + 1);
      std::reverse(Expected.begin(), Expected.end());
      for (; !T->Bof(); T->Prior()) Got.push_back(Id());
    } else {
      Expected.assign(At, All.end());
      for (; !T->Eof(); T->Next()) Got.push_back(Id());
    }
    EXPECT_EQ(Got, Expected);
    EXPECT_GT(std::stoi(Scalar(std::string("SELECT count(*) FROM customers WHERE ") +
                               (C.Backwards ? "city" : "balance") + " IS NULL")),
              0);
  }
}

// Key searches reuse their statements with new values; a table given another
// database while closed reads that database, not statements kept from the
// first.
TEST_F(TableTest, KeySearchesReuseStatementsOfTheirOwnDatabaseOnly) {
  T->SetIndexName("customers_name");
  T->Open();
  for (int Round = 0; Round < 3; ++Round)
    for (const char* Key : {"B", "M", "S", "A"}) {
      T->FindNearest({Variant(Key)});
      EXPECT_EQ(Id(), std::stoll(Scalar("SELECT id FROM customers WHERE name >= '" + std::string(Key) + "'" + CI +
                                        " ORDER BY name" + CI + ", rowid LIMIT 1")))
          << Key;
    }
  T->Close();
  GenerateSampleDatabase(Dir.File("other.db"), {.Customers = 50, .Seed = 99});
  TOwned<TDatabase> Other = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  Other->SetDatabaseName(Dir.File("other.db"));
  Other->Open();
  T->SetDatabase(Other.get());
  T->Open();
  T->FindNearest({Variant("M")});
  TSQLiteStatement S(Other->Connection(), "SELECT id, name FROM customers WHERE name >= 'M'" + CI + " ORDER BY name" +
                                              CI + ", rowid LIMIT 1");
  ASSERT_TRUE(S.Step());
  EXPECT_EQ(Id(), S.ColumnInt64(0));
  EXPECT_EQ(T->FieldByName("name")->GetAsString(), S.ColumnText(1));
  T->Close();
}

TEST_F(TableTest, EditingWritesThroughAndRefusalsKeepTheRecord) {
  Db->Execute("CREATE TABLE people (id INTEGER PRIMARY KEY, name VARCHAR(20) NOT NULL UNIQUE, amount NUMERIC(10,2))");
  T->SetTableName("people");
  T->Open();
  EXPECT_TRUE(T->IsEmpty());
  T->Append();
  T->FieldByName("name")->SetAsString("Zoë");
  T->FieldByName("amount")->SetAsCurrency(Currency::FromScaled(12345));
  T->Post();
  EXPECT_EQ(Id(), 1);  // the row id was assigned
  EXPECT_EQ(Scalar("SELECT name || '=' || amount FROM people WHERE id = 1"), "Zoë=1.2345");
  T->AppendRecord({Null(), Variant("Anna")});
  EXPECT_EQ(T->FieldByName("name")->GetAsString(), "Anna");
  EXPECT_EQ(Scalar("SELECT count(*) FROM people"), "2");

  T->First();
  T->Edit();
  T->FieldByName("name")->SetAsString("Zoe");
  T->Post();
  EXPECT_EQ(Scalar("SELECT name FROM people WHERE id = 1"), "Zoe");

  // A unique violation: refused with the engine's message; the insert stays open.
  T->Append();
  T->FieldByName("name")->SetAsString("Anna");
  std::string Message = DbErrorOf([&] { T->Post(); });
  EXPECT_NE(Message.find("UNIQUE constraint failed: people.name"), std::string::npos) << Message;
  EXPECT_EQ(T->GetState(), dsInsert);
  T->Cancel();
  EXPECT_EQ(T->RecordCount(), 2);
  EXPECT_FALSE(Db->InTransaction());

  // A required field left empty, and a value the column would round.
  T->Append();
  EXPECT_NE(DbErrorOf([&] { T->Post(); }).find("name"), std::string::npos);
  T->FieldByName("name")->SetAsString("Big");
  T->FieldByName("amount")->SetAsCurrency(Currency::FromScaled(INT64_C(1234567890123456789)));
  EXPECT_NE(DbErrorOf([&] { T->Post(); }).find("15 significant digits"), std::string::npos);
  T->Cancel();

  // Delete removes the row and moves to the next one.
  T->FindKey({I32(1)});
  T->Delete();
  EXPECT_EQ(T->FieldByName("name")->GetAsString(), "Anna");
  EXPECT_EQ(Scalar("SELECT count(*) FROM people"), "1");

  // Inside a transaction, a rollback undoes what was posted.
  Db->StartTransaction();
  T->AppendRecord({Null(), Variant("Temp")});
  Db->Rollback();
  EXPECT_EQ(Scalar("SELECT count(*) FROM people"), "1");
}

// Key search, reading backwards and ranges agree with the engine's own order
// for every kind of key: case-insensitive text, the same with Nulls, text in
// byte order, NOCASE text, descending decimals with Nulls.
TEST_F(TableTest, KeySearchAndRangesFollowTheIndexOrderForEveryKeyKind) {
  Db->Execute("CREATE INDEX customers_name_bytes ON customers (name);"
              "CREATE INDEX customers_city_nocase ON customers (city COLLATE NOCASE)");
  enum TRule { Bytes, NoCase, Upper };
  struct Case {
    const char* Index;
    const char* Column;
    std::string Order;
    TRule Rule;
  } Cases[] = {
      {"customers_name", "name", "name" + CI + ", rowid", Upper},
      {"customers_city", "city", "city" + CI + ", rowid", Upper},
      {"customers_name_bytes", "name", "name, rowid", Bytes},
      {"customers_city_nocase", "city", "city COLLATE NOCASE, rowid", NoCase},
      {"customers_balance", "balance", "balance DESC, rowid", Bytes},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Index);
    struct Entry {
      std::int64_t Id;
      bool IsNull;
      std::string Value;
    };
    std::vector<Entry> Ordered;
    {
      TSQLiteStatement S(Db->Connection(), std::string("SELECT id, ") + C.Column + " FROM customers ORDER BY " + C.Order);
      T->GetIndexDefs()->Update();
      while (S.Step()) Ordered.push_back({S.ColumnInt64(0), S.ColumnIsNull(1), std::string(S.ColumnText(1))});
    }
    auto Same = [&](const Entry& A, const Entry& B) {
      if (A.IsNull || B.IsNull) return A.IsNull == B.IsNull;
      if (C.Rule == Bytes) return A.Value == B.Value;
      if (C.Rule == Upper) return AnsiCompareUpperText(A.Value, B.Value) == 0;
      std::string X = A.Value, Y = B.Value;
      for (char& Ch : X) Ch = char(std::tolower(static_cast<unsigned char>(Ch)));
      for (char& Ch : Y) Ch = char(std::tolower(static_cast<unsigned char>(Ch)));
      return X == Y;
    };
    auto First = [&](const Entry& E) {
      std::size_t J = 0;
      while (!Same(Ordered[J], E)) ++J;
      return J;
    };
    auto Last = [&](const Entry& E) {
      std::size_t J = Ordered.size() - 1;
      while (!Same(Ordered[J], E)) --J;
      return J;
    };
    auto Key = [](const Entry& E) { return E.IsNull ? Null() : Variant(E.Value); };

    T->Close();
    T->SetIndexName(C.Index);
    T->Open();
    std::size_t Pos = 0;
    for (T->First(); !T->Eof(); T->Next(), ++Pos) ASSERT_EQ(Id(), Ordered[Pos].Id) << "at " << Pos;
    ASSERT_EQ(Pos, Ordered.size());

    const std::size_t N = Ordered.size();
    std::vector<std::size_t> Probes = {0, 1, N / 3, N / 2, N - 2, N - 1};
    for (std::size_t I = 0; I < N; ++I)
      if (Ordered[I].IsNull) {
        Probes.push_back(I);
        break;
      }
    for (std::size_t P : Probes) {
      SCOPED_TRACE(Ordered[P].Value);
      const std::size_t F = First(Ordered[P]);
      ASSERT_TRUE(T->FindKey({Key(Ordered[P])}));
      EXPECT_EQ(Id(), Ordered[F].Id);
      T->Prior();
      if (F > 0) EXPECT_EQ(Id(), Ordered[F - 1].Id);
      else EXPECT_TRUE(T->Bof());
      T->FindKey({Key(Ordered[P])});
      T->Next();
      if (F + 1 < N) EXPECT_EQ(Id(), Ordered[F + 1].Id);
      else EXPECT_TRUE(T->Eof());
    }
    // A range between two keys, and the same range read backwards.
    std::size_t A = N / 4, B = 3 * N / 4;
    while (Ordered[A].IsNull) ++A;
    while (Ordered[B].IsNull) --B;
    const std::size_t From = First(Ordered[A]), To = Last(Ordered[B]);
    T->SetRange({Key(Ordered[A])}, {Key(Ordered[B])});
    EXPECT_EQ(T->RecordCount(), int(To - From + 1));
    EXPECT_EQ(Id(), Ordered[From].Id);
    T->Last();
    EXPECT_EQ(Id(), Ordered[To].Id);
    T->Prior();
    EXPECT_EQ(Id(), Ordered[To - 1].Id);
    T->CancelRange();
  }
}

TEST_F(TableTest, BadTablesLeaveTheTableClosed) {
  T->Close();
  T->SetTableName("nope");
  EXPECT_NE(DbErrorOf([&] { T->Open(); }).find("no such table: nope"), std::string::npos);
  EXPECT_FALSE(T->GetActive());
  Db->Execute("CREATE VIEW rich AS SELECT * FROM customers WHERE balance > 1000");
  T->SetTableName("rich");
  EXPECT_NE(DbErrorOf([&] { T->Open(); }).find("no row id"), std::string::npos);
  EXPECT_FALSE(T->GetActive());
  T->SetTableName("customers");
  T->SetIndexName("nope");
  EXPECT_EQ(DbErrorOf([&] { T->Open(); }), "Index 'nope' not found");
  EXPECT_FALSE(T->GetActive());
}

}  // namespace
}  // namespace fyndra
