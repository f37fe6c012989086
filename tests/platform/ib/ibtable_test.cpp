// Tables: index definitions from the system tables, the order they give, and
// names matched as the engine stores them.
#include <gtest/gtest.h>

#include <fyndra/platform/ib/ibtable.h>
#include "platform/ib/ibtestutil.h"

namespace fyndra {
namespace {

using ibtest::DbErrorOf;

class IBTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    T.Exec("CREATE TABLE people (id INTEGER NOT NULL, name VARCHAR(20) COLLATE UNICODE_CI, "
           "city VARCHAR(20), born DATE, CONSTRAINT pk_people PRIMARY KEY (id))");
    T.Exec("CREATE UNIQUE INDEX ix_city_name ON people (city, name)");
    T.Exec("CREATE DESCENDING INDEX ix_born ON people (born)");
    T.Exec("CREATE INDEX ix_upper ON people COMPUTED BY (UPPER(city))");
    T.Exec("CREATE INDEX ix_off ON people (name)");
    T.Exec("ALTER INDEX ix_off INACTIVE");
    T.Exec("INSERT INTO people VALUES (1, 'anna', 'Köln', '1990-05-01')");
    T.Exec("INSERT INTO people VALUES (2, 'Bert', 'Aachen', '1980-01-01')");
    T.Exec("INSERT INTO people VALUES (3, 'carl', 'berlin', '2000-12-31')");
    Tb->SetName("People");
    Tb->SetDatabase(T.Db.get());
    Tb->SetTableName("people");
  }
  std::vector<int> Ids() {
    std::vector<int> Out;
    for (Tb->First(); !Tb->Eof(); Tb->Next()) Out.push_back(Tb->FieldByName("id")->AsInteger());
    return Out;
  }
  ibtest::TestDatabase T;
  TOwned<TIBTable> Tb = CreateOwned<TIBTable>(static_cast<TComponent*>(nullptr));
};

TEST_F(IBTableTest, IndexDefsComeFromTheSystemTables) {
  TIndexDefs* Defs = Tb->GetIndexDefs();
  Defs->Update();
  ASSERT_EQ(Defs->Count(), 4);  // the inactive index is left out
  const TIndexDef* Pk = Defs->Find("PK_PEOPLE");
  EXPECT_EQ(Pk->GetFields(), "ID");
  EXPECT_TRUE(Pk->GetOptions().Contains(ixPrimary));
  EXPECT_TRUE(Pk->GetOptions().Contains(ixUnique));
  const TIndexDef* CityName = Defs->Find("ix_city_name");
  EXPECT_EQ(CityName->GetFields(), "CITY;NAME");
  EXPECT_TRUE(CityName->GetOptions().Contains(ixUnique));
  EXPECT_FALSE(CityName->GetOptions().Contains(ixPrimary));
  // Only NAME has a case-insensitive collation.
  EXPECT_EQ(CityName->GetCaseInsFields(), "NAME");
  EXPECT_FALSE(CityName->GetOptions().Contains(ixCaseInsensitive));
  const TIndexDef* Born = Defs->Find("IX_BORN");
  EXPECT_TRUE(Born->GetOptions().Contains(ixDescending));
  EXPECT_TRUE(Born->IsDescendingField("BORN"));
  const TIndexDef* Upper = Defs->Find("IX_UPPER");
  EXPECT_TRUE(Upper->GetOptions().Contains(ixExpression));
  EXPECT_EQ(Upper->GetFields(), "");
  EXPECT_NE(Upper->GetExpression().find("UPPER(city)"), std::string::npos) << Upper->GetExpression();
  EXPECT_EQ(Defs->FindIndexForFields("CITY")->GetName(), "IX_CITY_NAME");
  // The engine sorts CITY (default UTF8 collation) by its bytes, NAME by its
  // case-insensitive collation; BORN is no text.
  EXPECT_TRUE(Tb->OrdersTextByBytes("city"));
  EXPECT_FALSE(Tb->OrdersTextByBytes("NAME"));
  EXPECT_FALSE(Tb->OrdersTextByBytes("BORN"));
}

TEST_F(IBTableTest, IndexNameAndIndexFieldNamesOrderTheRows) {
  Tb->Open();
  EXPECT_EQ(Tb->FieldCount(), 4);
  Tb->SetIndexName("ix_born");
  EXPECT_EQ(Ids(), (std::vector<int>{3, 1, 2}));  // descending
  Tb->SetIndexName("IX_UPPER");
  EXPECT_EQ(Ids(), (std::vector<int>{2, 3, 1}));  // AACHEN, BERLIN, KÖLN
  Tb->SetIndexFieldNames("name");
  EXPECT_EQ(Tb->GetIndexName(), "");
  EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3}));  // the collation ignores case
  Tb->SetIndexFieldNames("City;Name");
  EXPECT_EQ(Ids(), (std::vector<int>{2, 1, 3}));  // binary order: 'berlin' after 'Köln'
  TOwned<TIndexDef> Order = Tb->PSGetDefaultOrder();
  EXPECT_EQ(Order->GetFields(), "City;Name");

  // A new order keeps the record the table was on.
  ASSERT_TRUE(Tb->Locate("id", Variant(3), {}));
  Tb->SetIndexName("PK_PEOPLE");
  EXPECT_EQ(Tb->FieldByName("id")->AsInteger(), 3);
  EXPECT_EQ(Tb->PSGetDefaultOrder()->GetFields(), "ID");

  // A bad order is refused before anything changes.
  EXPECT_EQ(DbErrorOf([&] { Tb->SetIndexName("nope"); }), "People: Index 'nope' not found");
  EXPECT_TRUE(Tb->GetActive());
  EXPECT_EQ(Tb->GetIndexName(), "PK_PEOPLE");
  EXPECT_EQ(Tb->FieldByName("id")->AsInteger(), 3);
  Tb->Close();
  Tb->SetIndexName("");
  Tb->SetIndexFieldNames("town");
  EXPECT_EQ(DbErrorOf([&] { Tb->Open(); }), "People: Field 'town' not found in table 'PEOPLE'");
}

TEST_F(IBTableTest, UnknownTablesAndReadOnlyRowsAreClearErrors) {
  T.Exec("CREATE TABLE \"MixedCase\" (v INTEGER)");
  T.Exec("INSERT INTO \"MixedCase\" VALUES (7)");
  Tb->SetTableName("nobody");
  EXPECT_EQ(DbErrorOf([&] { Tb->Open(); }), "People: Table 'nobody' not found");
  EXPECT_FALSE(Tb->GetActive());
  Tb->SetTableName("MixedCase");
  Tb->Open();
  EXPECT_EQ(Tb->FieldByName("v")->AsInteger(), 7);
  EXPECT_EQ(DbErrorOf([&] { Tb->Edit(); }), "People: Cannot modify a read-only dataset");
}

}  // namespace
}  // namespace fyndra
