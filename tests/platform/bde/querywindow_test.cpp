// A query's bounded row window: scans, jumps and bookmarks over a result much
// larger than the window, compared with reading the same statement straight
// from the engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <fyndra/platform/bde/bdedataset.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/rtl/textservice.h>
#include "platform/bde/bdetestutil.h"

namespace fyndra {
namespace {

using bdetest::DbErrorOf;
using bdetest::TempDir;

constexpr std::size_t Limit = 64;
const std::string Text = "SELECT id, name, city FROM customers WHERE id > :low ORDER BY name, id";

class QueryWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    SetDefaultLocale("en_US");
    GenerateSampleDatabase(File(), {.Customers = 3000, .MaxOrdersPerCustomer = 0});
  }
  static std::string File() {
    static TempDir* Dir = new TempDir;  // lives as long as the program
    return Dir->File("window.db");
  }
  void SetUp() override {
    SetDefaultLocale("en_US");
    Db->SetDatabaseName(File());
    Db->Open();
    Q->SetDatabase(Db.get());
    Q->SetWindowLimit(Limit);
  }
  void OpenWith(std::int64_t Low) {
    Q->Close();
    Q->GetSQL()->SetText(Text);
    Q->ParamByName("low")->SetAsLargeInt(Low);
    Q->Open();
  }
  // The ids and names of the statement, read straight from the engine.
  std::vector<std::pair<std::int64_t, std::string>> Expected(std::int64_t Low) const {
    std::vector<std::pair<std::int64_t, std::string>> Out;
    TSQLiteStatement S(Db->Connection(), "SELECT id, name FROM customers WHERE id > ? ORDER BY name, id");
    S.BindInt64(1, Low);
    while (S.Step()) Out.emplace_back(S.ColumnInt64(0), std::string(S.ColumnText(1)));
    return Out;
  }
  std::int64_t Id() const { return Q->FieldByName("id")->GetAsLargeInt(); }
  // A database of its own made by Setup, which the query then reads.
  TDatabase& Own(const std::string& Setup) {
    OwnDb->SetDatabaseName(OwnDir.File("own.db"));
    OwnDb->GetParams()->Add("CREATE=TRUE");
    OwnDb->Open();
    OwnDb->Execute(Setup);
    Q->SetDatabase(OwnDb.get());
    return *OwnDb;
  }

  TempDir OwnDir;
  TOwned<TDatabase> OwnDb = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  TOwned<TDatabase> Db = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  TOwned<TQuery> Q = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
};

TEST_F(QueryWindowTest, ScansBothWaysHoldAtMostTheLimitAndAgreeWithTheEngine) {
  const auto Rows = Expected(100);
  ASSERT_GT(Rows.size(), 20 * Limit);
  OpenWith(100);
  std::size_t Most = 0;
  std::vector<std::pair<std::int64_t, std::string>> Forward, Backward;
  for (Q->First(); !Q->Eof(); Q->Next()) {
    Forward.emplace_back(Id(), Q->FieldByName("name")->GetAsString());
    ASSERT_EQ(Q->GetRecNo(), int(Forward.size()));
    Most = std::max(Most, std::size_t(Q->FetchedRowCount()));
  }
  EXPECT_EQ(Forward, Rows);
  EXPECT_EQ(Q->RecordCount(), int(Rows.size()));
  for (Q->Last(); !Q->Bof(); Q->Prior()) {
    Backward.emplace_back(Id(), Q->FieldByName("name")->GetAsString());
    ASSERT_EQ(Q->GetRecNo(), int(Rows.size() - Backward.size() + 1));
    Most = std::max(Most, std::size_t(Q->FetchedRowCount()));
  }
  std::reverse(Backward.begin(), Backward.end());
  EXPECT_EQ(Backward, Rows);
  EXPECT_LE(Most, Limit);

  // Turning back within the window and beyond it.
  Q->First();
  Q->MoveBy(500);
  Q->MoveBy(-3);
  EXPECT_EQ(Id(), Rows[497].first);
  Q->MoveBy(-400);
  EXPECT_EQ(Id(), Rows[97].first);
  EXPECT_EQ(Q->GetRecNo(), 98);
  // The default limit holds too.
  Q->SetWindowLimit(TQuery::DefaultWindowLimit);
  OpenWith(100);
  Q->Last();
  EXPECT_LE(Q->FetchedRowCount(), int(TQuery::DefaultWindowLimit));
  Q->Prior();
  EXPECT_EQ(Id(), Rows[Rows.size() - 2].first);
  // A limit beyond any result keeps every row.
  Q->SetWindowLimit(SIZE_MAX);
  OpenWith(100);
  while (!Q->Eof()) Q->Next();
  EXPECT_EQ(Q->FetchedRowCount(), int(Rows.size()));
  Q->First();
  EXPECT_EQ(Id(), Rows[0].first);
}

TEST_F(QueryWindowTest, BookmarksRecNoAndLocateReachRowsTheWindowLeft) {
  const auto Rows = Expected(0);
  OpenWith(0);
  Q->MoveBy(9);
  const TBookmark Early = Q->GetBookmark();
  Q->MoveBy(2490);
  const TBookmark Late = Q->GetBookmark();
  EXPECT_EQ(Id(), Rows[2499].first);
  Q->Last();
  EXPECT_LE(Q->FetchedRowCount(), int(Limit));

  EXPECT_TRUE(Q->BookmarkValid(Early));
  EXPECT_LT(Q->CompareBookmarks(Early, Late), 0);
  Q->GotoBookmark(Early);
  EXPECT_EQ(Id(), Rows[9].first);
  EXPECT_EQ(Q->GetRecNo(), 10);
  Q->Next();
  EXPECT_EQ(Id(), Rows[10].first);
  Q->Prior();
  Q->Prior();
  EXPECT_EQ(Id(), Rows[8].first);
  // A bookmark ahead of a window that starts again from the first row.
  Q->First();
  EXPECT_TRUE(Q->BookmarkValid(Late));
  Q->GotoBookmark(Late);
  EXPECT_EQ(Id(), Rows[2499].first);
  EXPECT_LE(Q->FetchedRowCount(), int(Limit));

  Q->SetRecNo(1234);
  EXPECT_EQ(Id(), Rows[1233].first);
  Q->SetRecNo(7);
  EXPECT_EQ(Id(), Rows[6].first);
  Q->SetRecNo(int(Rows.size()) + 5);  // past the end: the last record
  EXPECT_EQ(Id(), Rows.back().first);

  // Locate scans from the first row; a miss comes back to the record it left.
  Q->SetRecNo(2000);
  EXPECT_FALSE(Q->Locate("name", Variant("nobody"), {}));
  EXPECT_EQ(Id(), Rows[1999].first);
  Q->Next();
  EXPECT_EQ(Id(), Rows[2000].first);
  EXPECT_TRUE(Q->Locate("id", Variant(Rows[42].first), {}));
  EXPECT_EQ(Q->GetRecNo(), 43);
  Q->Prior();
  EXPECT_EQ(Id(), Rows[41].first);
  EXPECT_LE(Q->FetchedRowCount(), int(Limit));
}

// Executing the statement again uses the values it was opened with, not
// values set since; opening again takes the new ones.
TEST_F(QueryWindowTest, ExecutingAgainKeepsTheParameterValuesOfTheOpen) {
  const auto Rows = Expected(2000);
  OpenWith(2000);
  Q->ParamByName("low")->SetAsLargeInt(0);
  Q->MoveBy(300);
  Q->MoveBy(-250);  // before the window: executed again
  EXPECT_EQ(Id(), Rows[50].first);
  EXPECT_EQ(Q->RecordCount(), int(Rows.size()));
  Q->Last();
  Q->First();
  EXPECT_EQ(Id(), Rows[0].first);
  Q->Close();
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 3000);
}

TEST_F(QueryWindowTest, AFilterSeesEveryRowOnceInBothDirections) {
  std::vector<std::int64_t> Visible;
  for (const auto& [Id, Name] : Expected(0))
    if (Id % 7 == 0) Visible.push_back(Id);
  OpenWith(0);
  Q->SetOnFilterRecord(TFilterRecordEvent::FromCallable(
      [](TDataSet* D, bool& Accept) { Accept = D->FieldByName("id")->GetAsLargeInt() % 7 == 0; }));
  Q->SetFiltered(true);
  std::vector<std::int64_t> Forward, Backward;
  for (Q->First(); !Q->Eof(); Q->Next()) Forward.push_back(Id());
  EXPECT_EQ(Forward, Visible);
  for (Q->Last(); !Q->Bof(); Q->Prior()) Backward.push_back(Id());
  std::reverse(Backward.begin(), Backward.end());
  EXPECT_EQ(Backward, Visible);
  EXPECT_EQ(Q->RecordCount(), int(Visible.size()));
  Q->SetRecNo(100);
  EXPECT_EQ(Id(), Visible[99]);
  EXPECT_EQ(Q->GetRecNo(), 100);
  EXPECT_LE(Q->FetchedRowCount(), int(Limit));
}

// Rows deleted between two executions: the window shows the result as it is
// now; positions past its new end are no records.
TEST_F(QueryWindowTest, AResultThatShrankBetweenExecutionsIsReadAsItIsNow) {
  TDatabase& Data = Own("CREATE TABLE n (id INTEGER PRIMARY KEY); "
               "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000) "
               "INSERT INTO n SELECT x FROM c");
  Q->GetSQL()->SetText("SELECT id FROM n ORDER BY id");
  Q->Open();
  Q->MoveBy(899);
  const TBookmark At900 = Q->GetBookmark();
  Q->MoveBy(-850);
  const TBookmark At50 = Q->GetBookmark();
  Data.Execute("DELETE FROM n WHERE id > 300");
  Q->First();  // executed again
  EXPECT_FALSE(Q->BookmarkValid(At900));
  EXPECT_NE(DbErrorOf([&] { Q->GotoBookmark(At900); }).find("not found"), std::string::npos);
  EXPECT_TRUE(Q->BookmarkValid(At50));
  Q->GotoBookmark(At50);
  EXPECT_EQ(Id(), 50);
  Q->SetRecNo(700);
  EXPECT_EQ(Id(), 300);
  Q->Last();
  EXPECT_EQ(Id(), 300);
  EXPECT_EQ(Q->RecordCount(), 300);
  Q->Close();
}

// A value that does not fit its field stops the read at its row, every time:
// the rows after it are not shown in its place.
TEST_F(QueryWindowTest, ARowThatCannotBeReadIsNotSkipped) {
  Own("CREATE TABLE b (id INTEGER PRIMARY KEY, qty INT); "
               "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 200) "
               "INSERT INTO b SELECT x, x FROM c; UPDATE b SET qty = 'many' WHERE id = 150");
  Q->GetSQL()->SetText("SELECT id, qty FROM b ORDER BY id");
  Q->Open();
  Q->MoveBy(148);
  EXPECT_EQ(Id(), 149);
  for (int Attempt = 0; Attempt < 2; ++Attempt) {
    EXPECT_NE(DbErrorOf([&] { Q->Next(); }), "<no error>");
    EXPECT_EQ(Id(), 149);
    EXPECT_EQ(Q->GetRecNo(), 149);
  }
  Q->Prior();
  EXPECT_EQ(Id(), 148);
  Q->Close();
}

// A statement that writes is executed once: its rows are all kept.
TEST_F(QueryWindowTest, AStatementThatWritesIsNotExecutedAgain) {
  TDatabase& Data = Own("CREATE TABLE w (id INTEGER PRIMARY KEY)");
  Q->GetSQL()->SetText("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 300) "
                       "INSERT INTO w SELECT x FROM c RETURNING id");
  Q->Open();
  int Seen = 0;
  for (; !Q->Eof(); Q->Next()) ++Seen;
  EXPECT_EQ(Seen, 300);
  Q->First();
  Q->Last();
  EXPECT_EQ(Q->RecordCount(), 300);
  Q->Close();
  TSQLiteStatement Count(Data.Connection(), "SELECT count(*) FROM w");
  ASSERT_TRUE(Count.Step());
  EXPECT_EQ(Count.ColumnInt64(0), 300);
}

}  // namespace
}  // namespace fyndra
