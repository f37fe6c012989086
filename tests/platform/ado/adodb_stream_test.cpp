// A form with a connection and datasets of the ODBC family, written as DFM
// text and read back.
#include <gtest/gtest.h>

#include <string>

#include <fyndra/platform/ado/adodb.h>
#include <fyndra/platform/streaming/filer.h>
#include "platform/ado/adotestutil.h"

namespace fyndra {
namespace {

TEST(AdoStreamTest, PublishedPropertiesReadBackAndTheFormOpensAfterLoading) {
  adotest::DataSource Src(adotest::TSource::SQLite);
  std::string Text;
  {
    TOwned<TComponent> Form = CreateOwned<TComponent>(static_cast<TComponent*>(nullptr));
    Form->SetName("Form");
    auto* C = Create<TADOConnection>(Form.get());
    C->SetName("Conn");
    C->SetConnectionString(Src.ConnectionString());
    C->Open();
    C->Execute("CREATE TABLE people (id INTEGER PRIMARY KEY, name VARCHAR(20))");
    C->Execute("INSERT INTO people VALUES (1, 'Zoë'), (2, 'Bob')");
    auto* Q = Create<TADOQuery>(Form.get());
    Q->SetName("Query");
    Q->SetConnection(C);
    Q->GetSQL()->SetText("SELECT * FROM people WHERE name <> :skip ORDER BY id");
    Q->GetParameters()->ParamByName(u"skip")->SetValue(std::string("Bob"));
    Q->SetCacheSize(25);
    Q->Open();
    auto* T = Create<TADOTable>(Form.get());
    T->SetName("Table");
    T->SetConnection(C);
    T->SetTableName("people");
    T->SetIndexFieldNames("name");
    auto* D = Create<TADODataSet>(Form.get());
    D->SetName("Command");
    D->SetConnection(C);
    D->SetCommandText(u"SELECT name AS \"Zoë\" FROM people");
    Text = WriteComponentToText(Form.get());
  }
  EXPECT_NE(Text.find("Connection = Conn"), std::string::npos) << Text;
  EXPECT_NE(Text.find("CacheSize = 25"), std::string::npos) << Text;
  EXPECT_NE(Text.find("IndexFieldNames = 'name'"), std::string::npos) << Text;
  EXPECT_EQ(Text.find("LoginPrompt"), std::string::npos) << Text;  // default
  EXPECT_EQ(Text.find("CommandType"), std::string::npos) << Text;  // default

  TOwned<TComponent> Form = CreateOwned<TComponent>(static_cast<TComponent*>(nullptr));
  ReadComponentTextInto(Text, Form.get());
  auto* C = dynamic_cast<TADOConnection*>(Form->FindComponent("Conn"));
  auto* Q = dynamic_cast<TADOQuery*>(Form->FindComponent("Query"));
  auto* T = dynamic_cast<TADOTable*>(Form->FindComponent("Table"));
  auto* D = dynamic_cast<TADODataSet*>(Form->FindComponent("Command"));
  ASSERT_TRUE(C && Q && T && D);
  EXPECT_EQ(C->GetConnectionString(), Src.ConnectionString());
  EXPECT_EQ(Q->GetConnection(), C);
  EXPECT_EQ(Q->GetCacheSize(), 25);
  EXPECT_EQ(T->GetTableName(), "people");
  EXPECT_EQ(T->GetCommandType(), cmdTable);
  EXPECT_EQ(D->GetCommandText(), u"SELECT name AS \"Zoë\" FROM people");
  // The query was open when saved: it opens once everything is in place,
  // with its parameter's value.
  ASSERT_TRUE(Q->GetActive());
  EXPECT_TRUE(C->GetConnected());
  EXPECT_EQ(Q->RecordCount(), 1);
  EXPECT_EQ(Q->FieldByName("name")->AsString(), "Zoë");
  T->Open();
  EXPECT_TRUE(T->Seek(Variant(std::string("Bob"))));
  EXPECT_EQ(T->FieldByName("id")->AsInteger(), 2);
}

}  // namespace
}  // namespace fyndra
