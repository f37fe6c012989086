// The find model on SQLite tables and queries: the same searches as on client
// datasets, with the table's own index, and a name typed character by
// character.
#include <gtest/gtest.h>

#include <fyndra/dataset/zvdbbasemodel.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/table.h>
#include "dataset/dstest.h"
#include "platform/bde/bdetestutil.h"

namespace fyndra {
namespace {

using dstest::IdOf;
using dstest::TLogFindModel;

class SQLiteFind : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultLocale("en_US");
    Db->SetDatabaseName(Dir.File("people.db"));
    Db->GetParams()->Add("CREATE=TRUE");
    Db->Open();
    Db->Execute(
        "CREATE TABLE people(id INTEGER PRIMARY KEY, name VARCHAR(20) COLLATE NOCASE, city VARCHAR(20));"
        "CREATE INDEX people_name ON people(name COLLATE NOCASE);"
        "CREATE TABLE nobody(id INTEGER PRIMARY KEY, name VARCHAR(20));"
        "INSERT INTO people VALUES (1,'Anna','Berlin'),(2,'Bert','Paris'),(3,'Carl','Berlin'),"
        "(4,'Dora',NULL),(5,'Anton','Rome'),(6,'Berta','Paris');");
  }
  TQuery* Query(const std::string& SQL) {
    Q = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
    Q->SetDatabase(Db.get());
    Q->GetSQL()->SetText(SQL);
    Bind(Q.get());
    Q->Open();
    return Q.get();
  }
  TTable* Table(const std::string& Name, const std::string& IndexName = "") {
    T = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
    T->SetDatabase(Db.get());
    T->SetTableName(Name);
    T->SetIndexName(IndexName);
    Bind(T.get());
    T->Open();
    return T.get();
  }
  void Bind(TDataSet* DS) {
    Src->SetDataSet(DS);
    M->SetName("Find");
    M->GetOptions()->SetAutoUpdate(false);
    M->SetDataSource(Src.get());
  }
  TzvCompareItem* Item(const std::string& Name) { return M->GetCompareItems()->FindByName(Name); }
  std::string Name(TDataSet* DS) { return DS->FieldByName("name")->AsString(); }

  bdetest::TempDir Dir;
  TOwned<TDatabase> Db = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  TOwned<TLogFindModel> M = CreateOwned<TLogFindModel>(nullptr);
  TOwned<TQuery> Q;
  TOwned<TTable> T;
};

TEST_F(SQLiteFind, QueryFirstNextAndNotFound) {
  TDataSet* DS = Query("SELECT id, name, city FROM people ORDER BY id");
  EXPECT_EQ(M->GetCompareItems()->Count(), 3);
  Item("city")->SetAsString("paris");
  EXPECT_TRUE(M->Apply());
  EXPECT_EQ(IdOf(DS), 2);
  M->GetOptions()->SetRestart(false);
  EXPECT_TRUE(M->Apply());
  EXPECT_EQ(IdOf(DS), 6);
  EXPECT_FALSE(M->Apply());
  EXPECT_EQ(IdOf(DS), 6);
  // ufNotMove returns exactly to the record the search started on.
  M->GetOptions()->SetRestart(true);
  M->GetOptions()->SetUnlessFoundOption(ufNotMove);
  Item("city")->SetAsString("Oslo");
  DS->First();
  DS->Next();
  DS->Next();
  EXPECT_FALSE(M->Apply());
  EXPECT_EQ(IdOf(DS), 3);
  M->GetOptions()->SetUnlessFoundOption(ufLast);
  EXPECT_FALSE(M->Apply());
  EXPECT_EQ(IdOf(DS), 6);
}

// A query has no index definitions: its ORDER BY clause tells the index, and
// the find starts at the first candidate of that order.
TEST_F(SQLiteFind, QueryOrderByServesAsTheIndex) {
  struct Row {
    const char* SQL;
    const char* Want;  // key fields, "/ci" and "/desc" marking the flags
  } Rows[] = {
      {"SELECT id, name, city FROM people", ""},
      {"SELECT id, name, city FROM people ORDER BY id DESC", "id/desc"},
      {"SELECT id, name, city FROM people p ORDER BY p.city, name COLLATE NOCASE", "city;name/ci"},
      {"SELECT id, city FROM people ORDER BY city, name, id", "city"},  // name is not a column here
  };
  for (const Row& R : Rows) {
    Query(R.SQL);
    std::string Keys;
    TzvDBIndexModel* I = M->GetIndexModel();
    for (int i = 0; i < I->GetCount(); ++i) {
      const TIndexFieldDef& D = I->GetItem(i);
      Keys += (Keys.empty() ? "" : ";") + D.Field->GetFieldName() + (D.CaseInsensitive ? "/ci" : "") +
              (D.Descending ? "/desc" : "");
    }
    EXPECT_EQ(Keys, R.Want) << R.SQL;
  }
  TDataSet* DS = Query("SELECT id, name, city FROM people ORDER BY name COLLATE NOCASE");
  Item("name")->SetAsString("ber");
  EXPECT_TRUE(M->Apply());
  EXPECT_EQ(Name(DS), "Bert");
  EXPECT_EQ(M->GetIndexModel()->GetIndexState(), isNearest);
  EXPECT_EQ(M->Adapter()->FindRecords, 1);
  M->GetOptions()->SetRestart(false);
  EXPECT_TRUE(M->Apply());
  EXPECT_EQ(Name(DS), "Berta");
  // Past the range the scan stops; ufLast then moves to the last record.
  EXPECT_FALSE(M->Apply());
  EXPECT_EQ(Name(DS), "Dora");
}

TEST_F(SQLiteFind, EmptyTableAndQuery) {
  dstest::TMessageCatcher Catch;
  M->GetMessageOptions()->SetShowMessage(true);
  for (bool UseTable : {true, false}) {
    TDataSet* DS = UseTable ? static_cast<TDataSet*>(Table("nobody")) : Query("SELECT id, name FROM nobody");
    Item("name")->SetAsString("x");
    for (TUnlessFoundOption U : {ufLast, ufNotMove}) {
      M->GetOptions()->SetUnlessFoundOption(U);
      EXPECT_FALSE(M->Apply());
      EXPECT_TRUE(DS->IsEmpty());
    }
  }
  EXPECT_EQ(Catch.Messages, std::vector<std::string>(4, "  The record is not found  "));
}

TEST_F(SQLiteFind, TypingANameIntoATable) {
  for (const char* IndexName : {"", "people_name"}) {
    TTable* DS = Table("people", IndexName);
    M->GetOptions()->SetAutoUpdate(true);
    M->GetOptions()->SetRestart(true);
    const std::string Last = *IndexName ? "Dora" : "Berta";
    struct Step {
      const char* Text;
      std::string Want;
    } Steps[] = {{"b", "Bert"}, {"be", "Bert"}, {"ber", "Bert"}, {"bert", "Bert"}, {"berta", "Berta"},
                 {"bertax", Last}, {"a", "Anna"}, {"ant", "Anton"}, {"", "Anna"}};
    for (const Step& S : Steps) {
      Item("name")->SetAsString(S.Text);
      EXPECT_EQ(Name(DS), S.Want) << S.Text << " index '" << IndexName << "'";
    }
    M->GetOptions()->SetAutoUpdate(false);
    Item("name")->SetAsString("");
  }
}

}  // namespace
}  // namespace fyndra
