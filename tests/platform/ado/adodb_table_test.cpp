// Tables of the ODBC family on both drivers: index definitions, index order,
// Seek against a brute-force reference, reading backwards, bookmarks.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <fyndra/platform/ado/adodb.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>
#include "platform/ado/adofixture.h"

namespace fyndra {
namespace {

using adotest::DataSource;
using adotest::DbErrorOf;
using adotest::TSource;

// One row of the seek table: id, and the key (k, s), either part maybe Null.
struct TRow {
  int Id;
  bool KNull;
  int K;
  bool SNull;
  std::string S;
};

class AdoTableTest : public adotest::DriverTest {
 protected:
  TADOTable* NewTable(const std::string& Name) {
    auto* T = Create<TADOTable>(Form.get());
    T->SetConnection(Conn.get());
    T->SetTableName(Name);
    return T;
  }
  // seek(id, k, s) with duplicates and Nulls in both key columns, and an
  // index over (k, s), descending on k when KDesc.
  std::vector<TRow> MakeSeekTable(int N, bool KDesc) {
    Conn->Execute("CREATE TABLE seek (id INTEGER PRIMARY KEY, k INTEGER, s VARCHAR(8))");
    Conn->Execute(std::string("CREATE INDEX seek_ks ON seek (k") + (KDesc ? " DESC" : "") + ", s)");
    std::mt19937 Rng(7);
    std::vector<TRow> Rows;
    std::string Values;
    for (int I = 1; I <= N; ++I) {
      TRow R{I, Rng() % 9 == 0, int(Rng() % 12), Rng() % 7 == 0, std::string(1, char('a' + Rng() % 5))};
      if (Rng() % 3 == 0) R.S += char('a' + Rng() % 3);
      Rows.push_back(R);
      Values += (Values.empty() ? "" : ",") + std::string("(") + std::to_string(I) + "," +
                (R.KNull ? "NULL" : std::to_string(R.K)) + "," + (R.SNull ? "NULL" : "'" + R.S + "'") + ")";
    }
    Conn->Execute("INSERT INTO seek VALUES " + Values);
    return Rows;
  }
  // The ids of the whole table in the table's current order, read forwards.
  static std::vector<int> ReadIds(TDataSet* D) {
    std::vector<int> Ids;
    for (D->First(); !D->Eof(); D->Next()) Ids.push_back(D->FieldByName("id")->AsInteger());
    return Ids;
  }

};

FYNDRA_ON_BOTH_DRIVERS(AdoTableTest);

TEST_P(AdoTableTest, IndexDefinitionsComeFromTheDriversStatistics) {
  Conn->Execute("CREATE TABLE people (id INTEGER PRIMARY KEY, code VARCHAR(5) NOT NULL, name VARCHAR(20), city VARCHAR(20))");
  Conn->Execute("CREATE UNIQUE INDEX people_code ON people (code)");
  Conn->Execute("CREATE INDEX people_city_name ON people (city DESC, name)");
  TADOTable* T = NewTable("people");
  T->GetIndexDefs()->Update();
  TIndexDefs* Defs = T->GetIndexDefs();
  ASSERT_EQ(Defs->Count(), 3);
  const TIndexDef* Code = Defs->Find("people_code");
  EXPECT_EQ(Code->GetFields(), "code");
  EXPECT_TRUE(Code->GetOptions().Contains(ixUnique));
  EXPECT_FALSE(Code->GetOptions().Contains(ixPrimary));
  const TIndexDef* City = Defs->Find("people_city_name");
  EXPECT_EQ(City->GetFields(), "city;name");
  EXPECT_FALSE(City->GetOptions().Contains(ixUnique));
  // Only PostgreSQL's driver reports the direction of a key column.
  EXPECT_EQ(City->GetDescFields(), Pg() ? "city" : "");
  int Primary = 0;
  for (int I = 0; I < Defs->Count(); ++I)
    if (Defs->GetItem(I)->GetOptions().Contains(ixPrimary)) {
      ++Primary;
      EXPECT_EQ(Defs->GetItem(I)->GetFields(), "id");
    }
  EXPECT_EQ(Primary, 1);

  // The default order is the chosen index, else its fields, else the primary key.
  EXPECT_EQ(T->PSGetDefaultOrder()->GetFields(), "id");
  T->SetIndexName("people_city_name");
  EXPECT_EQ(T->PSGetDefaultOrder()->GetFields(), "city;name");
  T->SetIndexFieldNames("name;id");
  EXPECT_EQ(T->GetIndexName(), "");
  EXPECT_EQ(T->PSGetDefaultOrder()->GetFields(), "name;id");
  auto* Q = Create<TADOQuery>(Form.get());
  Q->GetSQL()->SetText("SELECT * FROM people ORDER BY city DESC, id");
  EXPECT_EQ(Q->PSGetDefaultOrder()->GetFields(), "city;id");
}

TEST_P(AdoTableTest, OnlyAnIndexedTableWithAPrimaryKeySeeks) {
  Conn->Execute("CREATE TABLE keyed (id INTEGER PRIMARY KEY, name VARCHAR(10))");
  Conn->Execute("CREATE TABLE loose (id INTEGER, name VARCHAR(10))");
  Conn->Execute("INSERT INTO keyed VALUES (1, 'a')");
  Conn->Execute("INSERT INTO loose VALUES (1, 'a')");
  TADOTable* Keyed = NewTable("keyed");
  Keyed->Open();
  EXPECT_FALSE(Keyed->Supports({coSeek}));  // no index chosen
  EXPECT_TRUE(Keyed->Supports({coMovePrevious, coBookmark}));
  EXPECT_NE(DbErrorOf([&] { Keyed->Seek(Variant(1)); }).find("does not support Seek"), std::string::npos);
  Keyed->SetIndexFieldNames("name");
  EXPECT_TRUE(Keyed->Supports({coSeek, coIndex}));
  EXPECT_TRUE(Keyed->Seek(Variant(std::string("a"))));
  EXPECT_NE(DbErrorOf([&] { Keyed->Seek(VarArrayOf({Variant(std::string("a")), Variant(1)})); }).find("2 key values"),
            std::string::npos);

  TADOTable* Loose = NewTable("loose");
  Loose->SetIndexFieldNames("name");
  Loose->Open();
  EXPECT_FALSE(Loose->Supports({coSeek}));
  EXPECT_EQ(Loose->FieldByName("id")->AsInteger(), 1);
  auto* Q = Create<TADOQuery>(Form.get());
  Q->SetConnection(Conn.get());
  Q->GetSQL()->SetText("SELECT * FROM keyed ORDER BY name");
  Q->Open();
  EXPECT_FALSE(Q->Supports({coSeek}));
  EXPECT_NE(DbErrorOf([&] { Q->Seek(Variant(std::string("a"))); }), "<no error>");
}

// Seek against a reference computed from the table read whole in index order:
// every option, keys of one and two values, present and absent, with Nulls.
void CheckSeeksAgainstReference(TADOTable* T, const std::vector<TRow>& Rows, bool NullsHigh, bool KDesc) {
  // The reference order is the table's own; a key's relation to a row is
  // decided by the row's position relative to the key in that order.
  const std::vector<int> Order = [&] {
    std::vector<int> Ids;
    for (T->First(); !T->Eof(); T->Next()) Ids.push_back(T->FieldByName("id")->AsInteger());
    return Ids;
  }();
  ASSERT_EQ(Order.size(), Rows.size());
  auto RowOf = [&](int Id) { return Rows[std::size_t(Id - 1)]; };
  // <0, 0, >0: the row's (k[, s]) against the key, in the index's order.
  auto CompareNullable = [&](bool ANull, auto A, bool BNull, auto B, bool Desc) {
    int C;
    if (ANull || BNull) C = ANull == BNull ? 0 : (ANull == NullsHigh ? 1 : -1);
    else C = A < B ? -1 : B < A ? 1 : 0;
    return Desc ? -C : C;
  };
  struct TKey {
    bool KNull;
    int K;
    bool HasS;
    bool SNull;
    std::string S;
  };
  auto Relation = [&](const TRow& R, const TKey& Key) {
    int C = CompareNullable(R.KNull, R.K, Key.KNull, Key.K, KDesc);
    if (C == 0 && Key.HasS) C = CompareNullable(R.SNull, R.S, Key.SNull, Key.S, false);
    return C;
  };
  std::mt19937 Rng(11);
  for (int Round = 0; Round < 60; ++Round) {
    TKey Key{Rng() % 6 == 0, int(Rng() % 14) - 1, Rng() % 2 == 0, Rng() % 5 == 0, std::string(1, char('a' + Rng() % 6))};
    const Variant KV = Key.KNull ? Null() : Variant(Key.K);
    const Variant SV = Key.SNull ? Null() : Variant(Key.S);
    const Variant Keys = Key.HasS ? VarArrayOf({KV, SV}) : KV;
    for (TSeekOption Option : {soFirstEQ, soLastEQ, soAfterEQ, soAfter, soBeforeEQ, soBefore}) {
      SCOPED_TRACE("round " + std::to_string(Round) + " option " + std::to_string(int(Option)));
      int Expected = -1;
      for (std::size_t P = 0; P < Order.size(); ++P) {
        const int C = Relation(RowOf(Order[P]), Key);
        const bool Hit = Option == soFirstEQ || Option == soLastEQ ? C == 0
                         : Option == soAfterEQ                     ? C >= 0
                         : Option == soAfter                       ? C > 0
                         : Option == soBeforeEQ                    ? C <= 0
                                                                   : C < 0;
        if (!Hit) continue;
        Expected = int(P);
        const bool TakeFirst = Option == soFirstEQ || Option == soAfterEQ || Option == soAfter;
        if (TakeFirst) break;
      }
      T->First();
      const bool Found = T->Seek(Keys, Option);
      ASSERT_EQ(Found, Expected >= 0);
      if (!Found) {
        EXPECT_EQ(T->FieldByName("id")->AsInteger(), Order[0]);  // not moved
        continue;
      }
      EXPECT_EQ(T->FieldByName("id")->AsInteger(), Order[std::size_t(Expected)]);
      // The window starts at the record found; its neighbours follow in order.
      EXPECT_LE(T->FetchedRowCount(), T->GetCacheSize());
      T->Prior();
      if (Expected > 0) EXPECT_EQ(T->FieldByName("id")->AsInteger(), Order[std::size_t(Expected - 1)]);
      else EXPECT_TRUE(T->Bof());
      T->MoveBy(Expected > 0 ? 2 : 1);
      if (std::size_t(Expected + 1) < Order.size()) EXPECT_EQ(T->FieldByName("id")->AsInteger(), Order[std::size_t(Expected + 1)]);
      else EXPECT_TRUE(T->Eof());
    }
  }
}

TEST_P(AdoTableTest, SeekFindsWhatTheIndexOrderSays) {
  const std::vector<TRow> Rows = MakeSeekTable(150, false);
  TADOTable* T = NewTable("seek");
  T->SetCacheSize(4);
  T->SetIndexName("seek_ks");
  T->Open();
  CheckSeeksAgainstReference(T, Rows, Pg(), false);
}

TEST_P(AdoTableTest, SeekFollowsADescendingIndex) {
  if (!Pg()) GTEST_SKIP() << "SQLite's driver does not report descending key columns";
  const std::vector<TRow> Rows = MakeSeekTable(120, true);
  TADOTable* T = NewTable("seek");
  T->SetCacheSize(4);
  T->SetIndexName("seek_ks");
  T->Open();
  CheckSeeksAgainstReference(T, Rows, true, true);
}

TEST_P(AdoTableTest, LastAndPriorWalkTheOrderBackwardsWithoutReadingFromTheStart) {
  MakeSeekTable(90, false);
  TADOTable* T = NewTable("seek");
  T->SetIndexFieldNames("s;k");
  T->SetCacheSize(8);
  T->Open();
  T->Last();
  EXPECT_LE(T->FetchedRowCount(), 8);
  EXPECT_EQ(T->GetRecNo(), -1);  // the window does not start at the first row
  std::vector<int> Backward;
  for (; !T->Bof(); T->Prior()) Backward.push_back(T->FieldByName("id")->AsInteger());
  std::reverse(Backward.begin(), Backward.end());
  EXPECT_EQ(Backward, ReadIds(T));
  EXPECT_EQ(Backward.size(), 90u);
  T->First();
  EXPECT_EQ(T->GetRecNo(), 1);
  EXPECT_EQ(T->RecordCount(), 90);
  // Choosing another order reads the table again from its first record.
  T->SetIndexFieldNames("id");
  EXPECT_EQ(T->FieldByName("id")->AsInteger(), 1);
}

TEST_P(AdoTableTest, BookmarksSurviveTheWindowMovingOn) {
  MakeSeekTable(200, false);
  TADOTable* T = NewTable("seek");
  T->SetIndexName("seek_ks");
  T->SetCacheSize(5);
  T->Open();
  T->MoveBy(17);
  const int Id = T->FieldByName("id")->AsInteger();
  const TBookmark B = T->GetBookmark();
  T->Last();  // a new window
  EXPECT_TRUE(T->BookmarkValid(B));
  T->GotoBookmark(B);
  EXPECT_EQ(T->FieldByName("id")->AsInteger(), Id);
  T->Next();
  T->Prior();
  EXPECT_EQ(T->FieldByName("id")->AsInteger(), Id);
  // A record deleted meanwhile cannot be gone back to.
  T->Last();
  Conn->Execute("DELETE FROM seek WHERE id = " + std::to_string(Id));
  EXPECT_FALSE(T->BookmarkValid(B));
  EXPECT_NE(DbErrorOf([&] { T->GotoBookmark(B); }), "<no error>");
}

TEST_P(AdoTableTest, SeekToARecordTheFilterHidesFailsAndStays) {
  MakeSeekTable(60, false);
  TADOTable* T = NewTable("seek");
  T->SetIndexFieldNames("id");
  T->SetCacheSize(3);
  T->Open();
  T->SetOnFilterRecord(TFilterRecordEvent([](TDataSet* D, bool& Accept) {
    Accept = D->FieldByName("id")->AsInteger() % 2 == 1;
  }));
  T->SetFiltered(true);
  T->MoveBy(5);
  EXPECT_EQ(T->FieldByName("id")->AsInteger(), 11);
  EXPECT_FALSE(T->Seek(Variant(20)));
  EXPECT_EQ(T->FieldByName("id")->AsInteger(), 11);
  T->Next();
  EXPECT_EQ(T->FieldByName("id")->AsInteger(), 13);
  EXPECT_TRUE(T->Seek(Variant(41)));
  T->Prior();
  EXPECT_EQ(T->FieldByName("id")->AsInteger(), 39);
}

TEST_P(AdoTableTest, HostileKeysAreSoughtAsValues) {
  Conn->Execute("CREATE TABLE h (id INTEGER PRIMARY KEY, name VARCHAR(20), amount NUMERIC(10,2), at DATE)");
  const std::vector<std::string> Names = {"O'Brien", "a?b", "\"q\"", "x' OR '1'='1", "--", "50%_", "straße"};
  auto* Ins = Create<TADOQuery>(Form.get());
  Ins->SetConnection(Conn.get());
  Ins->GetSQL()->SetText("INSERT INTO h VALUES (:id, :name, :amount, :at)");
  for (std::size_t I = 0; I < Names.size(); ++I) {
    Ins->GetParameters()->ParamByName(u"id")->SetValue(std::int32_t(I + 1));
    Ins->GetParameters()->ParamByName(u"name")->SetValue(Names[I]);
    Ins->GetParameters()->ParamByName(u"amount")->SetValue(Currency::FromScaled(std::int64_t(I) * 1250));
    Ins->GetParameters()->ParamByName(u"at")->SetDataType(ftDate);
    Ins->GetParameters()->ParamByName(u"at")->SetValue(Variant::FromDateTime(EncodeDate(2020, 1, int(I) + 1)));
    Ins->ExecSQL();
  }
  TADOTable* T = NewTable("h");
  T->SetIndexFieldNames("name");
  T->Open();
  for (std::size_t I = 0; I < Names.size(); ++I) {
    SCOPED_TRACE(Names[I]);
    ASSERT_TRUE(T->Seek(Variant(Names[I])));
    EXPECT_EQ(T->FieldByName("id")->AsInteger(), std::int32_t(I + 1));
  }
  EXPECT_FALSE(T->Seek(Variant(std::string("O'Brie"))));
  T->SetIndexFieldNames("at;amount");
  ASSERT_TRUE(T->Seek(VarArrayOf({Variant::FromDateTime(EncodeDate(2020, 1, 3)), Variant(Currency::FromScaled(2500))})));
  EXPECT_EQ(T->FieldByName("id")->AsInteger(), 3);
}

TEST_P(AdoTableTest, TableNamesFollowTheDataSourcesCaseFolding) {
  Conn->Execute("CREATE TABLE Customers (Id INTEGER PRIMARY KEY, Name VARCHAR(10))");
  Conn->Execute("INSERT INTO Customers VALUES (2, 'b'), (1, 'a')");
  TADOTable* T = NewTable("Customers");
  T->SetIndexFieldNames("NAME");
  T->Open();
  EXPECT_TRUE(T->Supports({coSeek}));
  EXPECT_TRUE(T->Seek(Variant(std::string("b"))));
  EXPECT_EQ(T->Fields()[0]->AsInteger(), 2);
}

}  // namespace
}  // namespace fyndra
