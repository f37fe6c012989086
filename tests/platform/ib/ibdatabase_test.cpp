// Databases and transactions: connecting, clear errors for missing and
// damaged files with nothing else changed, parameters, and what ending a
// transaction or a connection does to the datasets reading in it.
#include <gtest/gtest.h>

#include <fstream>

#include <fyndra/platform/ib/ibcustomdataset.h>
#include <fyndra/platform/ib/ibdatabase.h>
#include "platform/ib/ibtestutil.h"

namespace fyndra {
namespace {

using ibtest::DbErrorOf;

class IBDatabaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    T.Exec("CREATE TABLE n (v INTEGER)");
    T.Exec("INSERT INTO n SELECT 1 FROM rdb$database UNION ALL SELECT 2 FROM rdb$database");
    Q->SetName("Numbers");
    Q->SetDatabase(T.Db.get());
    Q->GetSQL()->SetText("SELECT v FROM n ORDER BY v");
  }
  ibtest::TestDatabase T;
  TOwned<TIBQuery> Q = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
};

TEST_F(IBDatabaseTest, MissingOrDamagedFilesGiveClearErrorsAndChangeNothing) {
  auto Other = CreateOwned<TIBDatabase>(static_cast<TComponent*>(nullptr));
  Other->SetName("Archive");
  Other->SetLoginPrompt(false);
  Other->GetParams()->Add("user_name=SYSDBA");

  Other->SetDatabaseName(T.File("missing.fdb"));
  std::string Error = DbErrorOf([&] { Other->Open(); });
  EXPECT_EQ(Error.rfind("Archive: " + T.File("missing.fdb") + ": I/O error", 0), 0u) << Error;
  EXPECT_NE(Error.find("No such file or directory"), std::string::npos) << Error;
  EXPECT_FALSE(Other->GetConnected());

  {
    std::ofstream Junk(T.File("junk.fdb"), std::ios::binary);
    Junk << std::string(16384, 'x');
  }
  Other->SetDatabaseName(T.File("junk.fdb"));
  Error = DbErrorOf([&] { Other->Open(); });
  EXPECT_NE(Error.find("is not a valid database"), std::string::npos) << Error;
  EXPECT_FALSE(Other->GetConnected());
  // The damaged file is left as it was.
  EXPECT_EQ(std::filesystem::file_size(T.File("junk.fdb")), 16384u);

  // A database of the same test still works: nothing global was disturbed.
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 2);

  // Creating over an existing file is refused and leaves it alone.
  Other->SetDatabaseName(T.Db->GetDatabaseName());
  EXPECT_NE(DbErrorOf([&] { Other->CreateDatabase(); }).find("exists"), std::string::npos);
  EXPECT_FALSE(Other->GetConnected());
  Q->Close();
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 2);
}

TEST_F(IBDatabaseTest, ParametersAreCheckedBeforeConnecting) {
  auto Other = CreateOwned<TIBDatabase>(static_cast<TComponent*>(nullptr));
  Other->SetDatabaseName(T.Db->GetDatabaseName());
  Other->GetParams()->SetText("user_name=SYSDBA\nlc_ctype=WIN1252\n");
  EXPECT_EQ(DbErrorOf([&] { Other->Open(); }),
            "The connection character set must be UTF8 (texts are UTF-8), not 'WIN1252'");
  Other->GetParams()->SetText("user_name=SYSDBA\nlc_ctype=utf8\nuser_nme=x\n");
  EXPECT_EQ(DbErrorOf([&] { Other->Open(); }), "Unknown database parameter 'user_nme'");
  Other->GetParams()->SetText("user_name=SYSDBA\npage_size=big\n");
  EXPECT_EQ(DbErrorOf([&] { Other->Open(); }), "Invalid value 'big' for database parameter page_size");
  EXPECT_FALSE(Other->GetConnected());
  Other->SetDatabaseName("");
  EXPECT_EQ(DbErrorOf([&] { Other->Open(); }), "No database name given");

  // The login handler supplies the login while LoginPrompt is on.
  Other->SetDatabaseName(T.Db->GetDatabaseName());
  Other->GetParams()->Clear();
  struct Login {
    int Calls = 0;
    void Fill(TIBDatabase*, TStrings* Params) {
      ++Calls;
      Params->Add("user_name=SYSDBA");
      Params->Add("bogus=1");  // proves the handler's lines are used
    }
  } Handler;
  Other->OnLogin = TIBLoginEvent(&Handler, &Login::Fill);
  EXPECT_EQ(DbErrorOf([&] { Other->Open(); }), "Unknown database parameter 'bogus'");
  EXPECT_EQ(Handler.Calls, 1);
  EXPECT_EQ(Other->GetParams()->Count(), 0);  // the stored Params stay as they are
  Other->SetLoginPrompt(false);
  Other->Open();
  EXPECT_EQ(Handler.Calls, 1);
  EXPECT_TRUE(Other->GetConnected());
  EXPECT_EQ(DbErrorOf([&] { Other->SetDatabaseName("x"); }), "Cannot perform this operation on an open database");
}

TEST_F(IBDatabaseTest, EndingATransactionClosesItsDatasetsUnlessRetaining) {
  Q->Open();
  Q->Next();
  T.Tr->CommitRetaining();
  EXPECT_TRUE(Q->GetActive());
  EXPECT_EQ(Q->FieldByName("v")->AsInteger(), 2);
  T.Tr->RollbackRetaining();
  EXPECT_TRUE(Q->GetActive());

  T.Tr->Commit();
  EXPECT_FALSE(Q->GetActive());
  EXPECT_FALSE(T.Tr->GetActive());
  EXPECT_EQ(DbErrorOf([&] { T.Tr->Commit(); }), "Transaction is not active");

  // Opening starts the transaction again.
  Q->Open();
  EXPECT_TRUE(T.Tr->GetActive());
  EXPECT_EQ(DbErrorOf([&] { T.Tr->StartTransaction(); }), "Cannot perform this operation on an active transaction");
  T.Tr->Rollback();
  EXPECT_FALSE(Q->GetActive());
}

TEST_F(IBDatabaseTest, WorkIsVisibleToOthersOnlyAfterCommit) {
  auto Tr2 = CreateOwned<TIBTransaction>(static_cast<TComponent*>(nullptr));
  Tr2->SetDefaultDatabase(T.Db.get());
  Tr2->GetParams()->SetText("read_committed\nrec_version\nnowait\n");
  auto Reader = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
  Reader->SetDatabase(T.Db.get());
  Reader->SetTransaction(Tr2.get());
  Reader->GetSQL()->SetText("SELECT COUNT(*) AS c FROM n");

  Q->GetSQL()->SetText("INSERT INTO n (v) VALUES (3)");
  Q->ExecSQL();
  EXPECT_EQ(Q->GetRowsAffected(), 1);
  Reader->Open();
  EXPECT_EQ(Reader->FieldByName("c")->AsInteger(), 2);
  T.Tr->Commit();
  Reader->Close();
  Reader->Open();
  EXPECT_EQ(Reader->FieldByName("c")->AsInteger(), 3);

  // Rolled back work is gone.
  Q->ExecSQL();
  T.Tr->Rollback();
  Reader->Close();
  Reader->Open();
  EXPECT_EQ(Reader->FieldByName("c")->AsInteger(), 3);
}

TEST_F(IBDatabaseTest, ClosingOrFreeingTheDatabaseClosesWhatDependsOnIt) {
  Q->Open();
  T.Db->Close();
  EXPECT_FALSE(Q->GetActive());
  EXPECT_FALSE(T.Tr->GetActive());
  Q->Open();  // connects again
  EXPECT_TRUE(T.Db->GetConnected());
  EXPECT_EQ(Q->RecordCount(), 2);

  // Freed while everything is open: the dataset and the transaction forget it.
  T.Db.reset();
  EXPECT_FALSE(Q->GetActive());
  EXPECT_EQ(Q->GetDatabase(), nullptr);
  EXPECT_EQ(T.Tr->GetDefaultDatabase(), nullptr);
  EXPECT_FALSE(T.Tr->GetActive());
  EXPECT_EQ(DbErrorOf([&] { Q->Open(); }), "Numbers: No transaction: set Transaction or the database's DefaultTransaction");
}

TEST_F(IBDatabaseTest, FreeingTheTransactionClosesItsDatasets) {
  Q->Open();
  T.Tr.reset();
  EXPECT_FALSE(Q->GetActive());
  EXPECT_EQ(T.Db->GetDefaultTransaction(), nullptr);
  EXPECT_EQ(DbErrorOf([&] { Q->Open(); }), "Numbers: No transaction: set Transaction or the database's DefaultTransaction");
}

TEST_F(IBDatabaseTest, SchemaErrorsCarryTheEngineMessageAndCodes) {
  try {
    T.Exec("CREATE TABLE n (v INTEGER)");
    FAIL() << "no error";
  } catch (const EIBError& E) {
    EXPECT_NE(E.Message().find("Table N already exists"), std::string::npos) << E.Message();
    EXPECT_NE(E.GetSQLCode(), 0);
    EXPECT_NE(E.GetIBErrorCode(), 0);
  }
}

}  // namespace
}  // namespace fyndra
