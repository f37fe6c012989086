// The family's components written to form text and read back.
#include <gtest/gtest.h>

#include <fyndra/platform/ib/ibtable.h>
#include <fyndra/platform/streaming/filer.h>
#include "platform/ib/ibtestutil.h"

namespace fyndra {
namespace {

TOwned<TComponent> NewForm() {
  TOwned<TComponent> Form(Create<TComponent>(static_cast<TComponent*>(nullptr)));
  Form->SetName("Form1");
  return Form;
}

TEST(IBStreaming, PublishedPropertiesSurviveAFormRoundTrip) {
  ibtest::TestDatabase T;
  T.Exec("CREATE TABLE c (id INTEGER NOT NULL PRIMARY KEY, city VARCHAR(20))");
  T.Exec("INSERT INTO c VALUES (1, 'Köln')");
  T.Db->Close();
  std::string Text;
  {
    TOwned<TComponent> Form = NewForm();
    auto* Db = Create<TIBDatabase>(Form.get());
    Db->SetName("Db");
    Db->SetDatabaseName(T.Db->GetDatabaseName());
    Db->GetParams()->Add("user_name=SYSDBA");
    Db->SetLoginPrompt(false);
    auto* Tr = Create<TIBTransaction>(Form.get());
    Tr->SetName("Tr");
    Tr->SetDefaultDatabase(Db);
    Tr->GetParams()->SetText("read_committed\nrec_version\n");
    Db->SetDefaultTransaction(Tr);
    auto* Q = Create<TIBQuery>(Form.get());
    Q->SetName("Q");
    Q->SetDatabase(Db);
    Q->GetSQL()->SetText("SELECT * FROM c WHERE id = :id");
    Q->ParamByName("id")->SetAsInteger(1);
    auto* D = Create<TIBDataSet>(Form.get());
    D->SetName("D");
    D->SetDatabase(Db);
    D->SetTransaction(Tr);
    D->GetSelectSQL()->SetText("SELECT city FROM c");
    auto* Tb = Create<TIBTable>(Form.get());
    Tb->SetName("Tb");
    Tb->SetDatabase(Db);
    Tb->SetTableName("C");
    Tb->SetIndexFieldNames("CITY");
    Db->Open();
    Q->Open();
    Text = WriteComponentToText(Form.get());
  }
  for (const char* Expected :
       {"object Db: TIBDatabase", "LoginPrompt = False", "DefaultTransaction = Tr", "Connected = True",
        "object Tr: TIBTransaction", "DefaultDatabase = Db", "'rec_version'", "object Q: TIBQuery",
        "Database = Db", "'SELECT * FROM c WHERE id = :id'", "Active = True", "object D: TIBDataSet",
        "Transaction = Tr", "SelectSQL.Strings", "object Tb: TIBTable", "TableName = 'C'",
        "IndexFieldNames = 'CITY'"})
    EXPECT_NE(Text.find(Expected), std::string::npos) << Expected << "\n" << Text;

  TOwned<TComponent> Form = NewForm();
  ReadComponentTextInto(Text, Form.get());
  auto* Q = dynamic_cast<TIBQuery*>(Form->FindComponent("Q"));
  ASSERT_NE(Q, nullptr);
  EXPECT_TRUE(Q->GetActive());
  EXPECT_EQ(Q->FieldByName("city")->AsString(), "Köln");
  auto* D = dynamic_cast<TIBDataSet*>(Form->FindComponent("D"));
  EXPECT_EQ(D->GetTransaction(), Form->FindComponent("Tr"));
  D->Open();
  EXPECT_EQ(D->FieldByName("city")->AsString(), "Köln");
  auto* Tb = dynamic_cast<TIBTable*>(Form->FindComponent("Tb"));
  EXPECT_EQ(Tb->GetIndexFieldNames(), "CITY");
  Tb->Open();
  EXPECT_EQ(Tb->FieldByName("id")->AsInteger(), 1);
}

}  // namespace
}  // namespace fyndra
