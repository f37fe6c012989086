#include <fyndra/platform/bde/database.h>

#include <gtest/gtest.h>

#include <filesystem>

#include <fyndra/platform/bde/bdedataset.h>
#include "platform/bde/bdetestutil.h"

namespace fyndra {
namespace {

using bdetest::DbErrorOf;
using bdetest::TempDir;

class DatabaseTest : public ::testing::Test {
 protected:
  TOwned<TDatabase> NewDatabase(const std::string& File, bool Create = false) {
    TOwned<TDatabase> Db = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
    Db->SetDatabaseName(File);
    if (Create) Db->GetParams()->Add("CREATE=TRUE");
    return Db;
  }
  int CountRows(TDatabase& Db) {
    TSQLiteStatement S(Db.Connection(), "SELECT count(*) FROM t");
    S.Step();
    return static_cast<int>(S.ColumnInt64(0));
  }
  TempDir Dir;
};

TEST_F(DatabaseTest, AMissingFileIsAnErrorUnlessCreationIsAsked) {
  const std::string File = Dir.File("new.db");
  auto Db = NewDatabase(File);
  std::string Message = DbErrorOf([&] { Db->Open(); });
  EXPECT_NE(Message.find(File), std::string::npos) << Message;
  EXPECT_NE(Message.find("unable to open"), std::string::npos) << Message;
  EXPECT_FALSE(Db->GetConnected());
  EXPECT_FALSE(std::filesystem::exists(File));

  Db->GetParams()->Add("CREATE=TRUE");
  Db->Open();
  EXPECT_TRUE(Db->GetConnected());
  EXPECT_TRUE(std::filesystem::exists(File));
  // The name cannot change under an open connection.
  EXPECT_NE(DbErrorOf([&] { Db->SetDatabaseName(Dir.File("other.db")); }), "<no error>");
  EXPECT_EQ(Db->GetDatabaseName(), File);

  auto Bad = NewDatabase(File);
  Bad->GetParams()->Add("BUSY TIMEOUT=soon");
  EXPECT_NE(DbErrorOf([&] { Bad->Open(); }).find("BUSY TIMEOUT"), std::string::npos);
  EXPECT_FALSE(Bad->GetConnected());
}

TEST_F(DatabaseTest, TransactionsCommitRollBackAndRefuseNesting) {
  const std::string File = Dir.File("tx.db");
  auto Db = NewDatabase(File, true);
  Db->Open();
  Db->Execute("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT NOT NULL)");
  EXPECT_FALSE(Db->InTransaction());
  EXPECT_EQ(DbErrorOf([&] { Db->Commit(); }), "No transaction is active");
  EXPECT_EQ(DbErrorOf([&] { Db->Rollback(); }), "No transaction is active");

  Db->StartTransaction();
  EXPECT_TRUE(Db->InTransaction());
  EXPECT_EQ(DbErrorOf([&] { Db->StartTransaction(); }), "A transaction is already active");
  Db->Execute("INSERT INTO t (v) VALUES ('a')");
  Db->Rollback();
  EXPECT_FALSE(Db->InTransaction());
  EXPECT_EQ(CountRows(*Db), 0);

  Db->StartTransaction();
  Db->Execute("INSERT INTO t (v) VALUES ('b')");
  Db->Commit();
  EXPECT_EQ(CountRows(*Db), 1);

  // Closing with a transaction open rolls it back.
  Db->StartTransaction();
  Db->Execute("INSERT INTO t (v) VALUES ('c')");
  Db->Close();
  Db->Open();
  EXPECT_FALSE(Db->InTransaction());
  EXPECT_EQ(CountRows(*Db), 1);

  // A failing statement reports the engine's message and leaves no transaction.
  EXPECT_NE(DbErrorOf([&] { Db->Execute("INSERT INTO t (v) VALUES (NULL)"); }).find("NOT NULL constraint failed"),
            std::string::npos);
  EXPECT_FALSE(Db->InTransaction());
}

TEST_F(DatabaseTest, ALockedFileIsReportedAndACommitCanBeRetried) {
  const std::string File = Dir.File("lock.db");
  auto Writer = NewDatabase(File, true);
  Writer->Open();
  Writer->Execute("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT)");
  auto Reader = NewDatabase(File);
  Reader->Open();

  // The reader holds a read transaction open: the writer's commit must wait.
  Reader->StartTransaction();
  { TSQLiteStatement S(Reader->Connection(), "SELECT count(*) FROM t"); S.Step(); }
  Writer->StartTransaction();
  Writer->Execute("INSERT INTO t (v) VALUES ('x')");
  EXPECT_NE(DbErrorOf([&] { Writer->Commit(); }).find("locked"), std::string::npos);
  EXPECT_TRUE(Writer->InTransaction());  // nothing lost: the commit can be tried again
  Reader->Commit();
  Writer->Commit();
  EXPECT_EQ(CountRows(*Reader), 1);

  // A database held exclusively cannot be opened.
  Writer->Execute("BEGIN EXCLUSIVE");
  auto Third = NewDatabase(File);
  EXPECT_NE(DbErrorOf([&] { Third->Open(); }).find("locked"), std::string::npos);
  EXPECT_FALSE(Third->GetConnected());
  Writer->Rollback();
}

TEST_F(DatabaseTest, ClosingTheDatabaseClosesItsDatasetsFirst) {
  const std::string File = Dir.File("ds.db");
  auto Db = NewDatabase(File, true);
  Db->Open();
  Db->Execute("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT); INSERT INTO t (v) VALUES ('a'), ('b')");
  TOwned<TQuery> Q = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
  Q->SetDatabaseName(File);  // found by name
  Q->GetSQL()->SetText("SELECT * FROM t");
  Q->Prepare();
  Q->Open();
  EXPECT_EQ(Q->GetDatabase(), Db.get());
  ASSERT_EQ(Db->DataSetCount(), 1);
  bool WasOpenWhenClosing = false;
  Q->AfterClose = TDataSetNotifyEvent::FromCallable([&](TDataSet*) { WasOpenWhenClosing = Db->GetConnected(); });
  Db->Close();
  EXPECT_FALSE(Q->GetActive());
  EXPECT_FALSE(Q->GetPrepared());
  EXPECT_TRUE(WasOpenWhenClosing);
  Q->AfterClose = nullptr;
  // Opening the query connects the database again.
  Q->Open();
  EXPECT_TRUE(Db->GetConnected());
  EXPECT_EQ(Q->RecordCount(), 2);

  // Freeing the database closes the query and leaves it without a database.
  Db.reset();
  EXPECT_FALSE(Q->GetActive());
  EXPECT_EQ(Q->GetDatabase(), nullptr);
  EXPECT_EQ(DbErrorOf([&] { Q->Open(); }), "Database '" + File + "' not found");
}

}  // namespace
}  // namespace fyndra
