// The ODBC family's package, on SQLite's driver and on PostgreSQL: what its
// adapter reports for each kind of dataset and command, the family check and
// registration, a table filtered by the record test, a query rewritten
// through SQL and a text command through CommandText and Parameters, finds
// through Seek (and by scanning where the cursor cannot seek), the text order
// of key columns, and a form with a connection, a query and a filter model
// written as DFM text and read back.
#include <fyndra/adapters/ado/zvadomodel.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <fyndra/platform/classes/palette.h>
#include <fyndra/platform/db/datasource.h>
#include <fyndra/platform/db/dbclient.h>
#include <fyndra/platform/streaming/filer.h>
#include "adapters/ado/adomodeltest.h"

namespace fyndra {
namespace {

using adotest::Bound;
using adotest::Ids;

class ZvAdoModelTest : public adotest::DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    if (!Pg()) {
      // The extension gives SQLite's connection the text service's UPPER and
      // case-sensitive LIKE, so that the SQL means agrees with the record test.
      Conn->Close();
      Conn->SetConnectionString(Src->ConnectionString() + ";LoadExt=" FYNDRA_SQLITETEXT);
      Conn->Open();
    }
    Conn->Execute("CREATE TABLE people (ID INTEGER NOT NULL PRIMARY KEY, NAME VARCHAR(40), CITY VARCHAR(20))");
    Conn->Execute("CREATE INDEX people_name ON people (NAME)");
    Conn->Execute("INSERT INTO people VALUES (1, 'Anna', 'Berlin'), (2, 'Bert', 'Paris'), (3, 'Carl', 'Berlin'), "
                  "(4, 'Dora', 'Rome'), (5, 'Anton', 'Rome'), (6, 'Bär', 'Berlin')");
    for (TCustomADODataSet* D : std::initializer_list<TCustomADODataSet*>{Table, Query, Command}) D->SetConnection(Conn.get());
    Table->SetName("People");
    Table->SetTableName("people");
    Query->SetName("PeopleQuery");
    Query->GetSQL()->SetText("SELECT * FROM people ORDER BY ID");
    Command->SetName("PeopleCommand");
    Command->SetCommandText(u"SELECT * FROM people ORDER BY ID");
  }
  TADOTable* Table = Create<TADOTable>(Form.get());
  TADOQuery* Query = Create<TADOQuery>(Form.get());
  TADODataSet* Command = Create<TADODataSet>(Form.get());
};

TEST_P(ZvAdoModelTest, TheAdapterReportsWhatEachKindOfDatasetAndCommandOffers) {
  Bound<TzvAdoFilterModel> B(Table);
  TzvExtDataSetModel* Ext = B.M->GetExtDataSetModel();
  Table->SetIndexFieldNames("NAME");
  for (TDataSetSupportedOption O : {dsDefaultIndex, dsMultiCaseInsIndexSearch}) EXPECT_TRUE(Ext->IsSupported(O));
  EXPECT_FALSE(Ext->IsSupported(dsSQL));  // a table command carries no SQL
  EXPECT_FALSE(Ext->IsSupported(dsIndexRange));
  EXPECT_EQ(Ext->GetIndexFieldNames(), "NAME");
  EXPECT_EQ(Ext->GetQuerySQL(), "");
  Ext->SetQuerySQL("SELECT 1");  // nothing for a table
  EXPECT_EQ(Table->GetTableName(), "people");
  Table->SetIndexName("people_name");
  EXPECT_EQ(Ext->GetIndexName(), "people_name");

  // A query, and a plain dataset whose command is text, carry SQL.
  B.Src->SetDataSet(Query);
  EXPECT_TRUE(Ext->IsSupported(dsSQL));
  EXPECT_EQ(Ext->GetQuerySQL(), "SELECT * FROM people ORDER BY ID\n");
  B.Src->SetDataSet(Command);
  for (TCommandType T : {cmdUnknown, cmdText}) {
    Command->SetCommandType(T);
    EXPECT_TRUE(Ext->IsSupported(dsSQL)) << int(T);
    EXPECT_EQ(Ext->GetQuerySQL(), "SELECT * FROM people ORDER BY ID");
  }
  for (TCommandType T : {cmdTable, cmdStoredProc, cmdFile, cmdTableDirect}) {
    Command->SetCommandType(T);
    EXPECT_FALSE(Ext->IsSupported(dsSQL)) << int(T);
    EXPECT_EQ(Ext->GetQuerySQL(), "") << int(T);
  }
  EXPECT_FALSE(Ext->IsSupported(dsIndexRange));
  // Text reaches the command as wide text and comes back the same.
  Command->SetCommandType(cmdText);
  Ext->SetQuerySQL("SELECT NAME AS \"Zoë\" FROM people");
  EXPECT_EQ(Command->GetCommandText(), u"SELECT NAME AS \"Zoë\" FROM people");
  EXPECT_EQ(Ext->GetQuerySQL(), "SELECT NAME AS \"Zoë\" FROM people");

  // Without a dataset: no SQL, no index names.
  B.Src->SetDataSet(nullptr);
  EXPECT_FALSE(Ext->IsSupported(dsSQL));
  EXPECT_EQ(Ext->GetIndexFieldNames(), "");
}

TEST_P(ZvAdoModelTest, OnlyACursorThatSeeksOffersItsIndex) {
  Bound<TzvAdoFindModel> B(Table);
  TzvExtDataSetModel* Ext = B.M->GetExtDataSetModel();
  Table->SetIndexFieldNames("NAME");
  Table->Open();
  ASSERT_TRUE(Table->Supports({coSeek}));
  TOwned<TIndexDef> Def = Ext->GetIndexDef();
  ASSERT_TRUE(Def);
  EXPECT_EQ(Def->GetFields(), "NAME");
  // A query's cursor cannot seek: its ORDER BY is no index for the models.
  Query->Open();
  B.Src->SetDataSet(Query);
  EXPECT_FALSE(Query->Supports({coSeek}));
  EXPECT_FALSE(Ext->GetIndexDef());
  EXPECT_EQ(B.M->GetIndexModel()->GetCount(), 0);
  // Nor can a table without a primary key.
  Conn->Execute("CREATE TABLE loose (NAME VARCHAR(20))");
  Conn->Execute("CREATE INDEX loose_name ON loose (NAME)");
  auto* Loose = Create<TADOTable>(Form.get());
  Loose->SetConnection(Conn.get());
  Loose->SetTableName("loose");
  Loose->SetIndexFieldNames("NAME");
  Loose->Open();
  B.Src->SetDataSet(Loose);
  EXPECT_FALSE(Loose->Supports({coSeek}));
  EXPECT_FALSE(Ext->GetIndexDef());
}

TEST_P(ZvAdoModelTest, ExactSeekIsFalseWhenNoKeyIsEqualAndNearestLandsOnTheNextKey) {
  Table->SetIndexFieldNames("NAME");
  Table->Open();
  Bound<TzvAdoFindModel> B(Table);
  TzvExtDataSetModel* Ext = B.M->GetExtDataSetModel();
  ASSERT_EQ(B.M->GetIndexModel()->GetCount(), 1);
  Table->Last();
  EXPECT_FALSE(Ext->FindRecord(VarArrayOf({Variant("Bea")}), true));
  EXPECT_EQ(Table->FieldByName("NAME")->AsString(), "Dora");  // not moved
  EXPECT_TRUE(Ext->FindRecord(VarArrayOf({Variant("Bea")}), false));
  EXPECT_EQ(Table->FieldByName("NAME")->AsString(), "Bert");
  EXPECT_TRUE(Ext->FindRecord(VarArrayOf({Variant("Carl")}), true));
  EXPECT_EQ(Table->FieldByName("ID")->AsInteger(), 3);
  // Past the last key there is nothing, even without an exact match asked for.
  EXPECT_FALSE(Ext->FindRecord(VarArrayOf({Variant("Zz")}), false));
  EXPECT_EQ(Table->FieldByName("ID")->AsInteger(), 3);
}

TEST_P(ZvAdoModelTest, ADatasetOfAnotherFamilyIsRefusedAndTheComponentsRegister) {
  auto Other = CreateOwned<TClientDataSet>(nullptr);
  Other->SetName("Memory");
  Other->GetFieldDefs()->Add("ID", ftInteger);
  for (int Kind = 0; Kind < 2; ++Kind) {
    std::string Error = adotest::ErrorOf([&] {
      if (Kind == 0) {
        Bound<TzvAdoFindModel> B(Other.get());
        Other->CreateDataSet();
      } else {
        Bound<TzvAdoFilterModel> B(Other.get());
        Other->CreateDataSet();
      }
    });
    EXPECT_EQ(Error, "Model: 'Memory' is not descendant of TCustomADODataSet component");
    Other->Close();
  }
  zvadomodel::Register();
  const std::vector<TClass> Access = PaletteClasses("Fyndra Access");
  auto Filter = std::find(Access.begin(), Access.end(), TzvAdoFilterModel::StaticClass());
  auto Find = std::find(Access.begin(), Access.end(), TzvAdoFindModel::StaticClass());
  ASSERT_NE(Filter, Access.end());
  ASSERT_NE(Find, Access.end());
  EXPECT_LT(Filter, Find);
}

TEST_P(ZvAdoModelTest, ATableIsFilteredByTheRecordTestWithoutARange) {
  Table->SetIndexFieldNames("NAME");
  Table->Open();
  Bound<TzvAdoFilterModel> B(Table);
  B.Set({{"NAME", 6, "A", false}});
  B.M->SetFiltered(true);
  EXPECT_TRUE(Table->GetFiltered());
  EXPECT_TRUE(bool(Table->GetOnFilterRecord()));
  EXPECT_EQ(Ids(Table), (std::vector<int>{1, 5}));
  EXPECT_EQ(Table->GetTableName(), "people");
  B.M->SetFiltered(false);
  EXPECT_FALSE(Table->GetFiltered());
  EXPECT_EQ(Ids(Table).size(), 6u);
}

TEST_P(ZvAdoModelTest, AQueryIsRewrittenThroughSQLAndATextCommandThroughCommandTextAndParameters) {
  for (TCustomADODataSet* DS : std::initializer_list<TCustomADODataSet*>{Query, Command}) {
    SCOPED_TRACE(DS->ClassName());
    DS->Open();
    Bound<TzvAdoFilterModel> B(DS);
    B.Set({{"CITY", 0, "berlin", true}, {"ID", 4, "1", false}});  // the record's ID is greater
    B.M->SetFiltered(true);
    EXPECT_FALSE(DS->GetFiltered());
    const std::string Text = Utf16ToUtf8(DS->GetCommandText());
    EXPECT_NE(Text.find("WHERE"), std::string::npos) << Text;
    // PostgreSQL folds the unquoted column names to lower case.
    EXPECT_NE(UpperCase(Text).find(":DFYNDRA_ID"), std::string::npos) << Text;
    const TParameter* P = DS->GetParameters()->FindParam(u"DFyndra_ID");
    ASSERT_TRUE(P);
    EXPECT_EQ(P->GetValue().AsInteger(), 1);
    EXPECT_EQ(Ids(DS), (std::vector<int>{3, 6})) << Text;
    // A new value goes to the parameter of the same text.
    B.Item("ID")->SetAsString("3");
    EXPECT_EQ(Ids(DS), (std::vector<int>{6}));
    B.M->SetFiltered(false);
    EXPECT_EQ(Utf16ToUtf8(DS->GetCommandText()).find("WHERE"), std::string::npos);
    EXPECT_EQ(Ids(DS).size(), 6u);
  }
}

TEST_P(ZvAdoModelTest, FindsSeekThroughTheIndexAndOtherwiseScan) {
  // Three thousand names: a find that scanned from the first record would
  // read them all.
  Conn->Execute("INSERT INTO people (ID, NAME, CITY) WITH RECURSIVE s(i) AS (SELECT 10 UNION ALL SELECT i + 1 FROM s "
                "WHERE i < 3009) SELECT i, 'N' || CAST(10000 + i AS VARCHAR(10)), 'Oslo' FROM s");
  struct Case {
    const char* Order;
    bool Seeks;
  } Cases[] = {{"NAME", true}, {"", false}};
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Order);
    Table->Close();
    Table->SetIndexFieldNames(C.Order);
    Table->Open();
    Bound<TzvAdoFindModel> B(Table);
    EXPECT_EQ(B.M->GetIndexModel()->GetCount(), C.Seeks ? 1 : 0);
    B.Set({{"NAME", 6, "N1299", false}});  // starts with
    ASSERT_TRUE(B.M->Apply());
    EXPECT_EQ(Table->FieldByName("NAME")->AsString(), "N12990");
    if (C.Seeks) {
      EXPECT_LT(Table->FetchedRowCount(), 20);
    }
    // The next match follows in index order; past the last the find fails
    // and stays (as told).
    B.M->GetOptions()->SetRestart(false);
    B.M->GetOptions()->SetUnlessFoundOption(ufNotMove);
    for (int I = 1; I <= 9; ++I) ASSERT_TRUE(B.M->Apply());
    EXPECT_EQ(Table->FieldByName("NAME")->AsString(), "N12999");
    if (C.Seeks) {
      EXPECT_LT(Table->FetchedRowCount(), 40);
    }
    EXPECT_FALSE(B.M->Apply());
    EXPECT_EQ(Table->FieldByName("NAME")->AsString(), "N12999");
    // A name no record has.
    B.M->GetOptions()->SetRestart(true);
    B.Set({{"NAME", 0, "Bea", false}});
    EXPECT_FALSE(B.M->Apply());
    B.Set({{"NAME", 0, "Bär", false}});
    ASSERT_TRUE(B.M->Apply());
    EXPECT_EQ(Table->FieldByName("ID")->AsInteger(), 6);
  }
}

TEST_P(ZvAdoModelTest, TextKeysBoundFindsOnlyWhereTheDataSourceOrdersByBytes) {
  Table->SetIndexFieldNames("NAME");
  Table->Open();
  EXPECT_TRUE(Table->OrdersTextByBytes("name"));
  EXPECT_FALSE(Table->OrdersTextByBytes("ID"));
  EXPECT_FALSE(Query->OrdersTextByBytes("NAME"));
  // A column that ignores case orders 'a' and 'B' the other way.
  Conn->Execute(Pg() ? "CREATE TABLE folded (ID INTEGER PRIMARY KEY, NAME VARCHAR(20) COLLATE \"und-x-icu\")"
                     : "CREATE TABLE folded (ID INTEGER PRIMARY KEY, NAME VARCHAR(20) COLLATE NOCASE)");
  Conn->Execute("INSERT INTO folded VALUES (1, 'bert'), (2, 'Anna'), (3, 'anton'), (4, 'Bär'), (5, 'Carl')");
  auto* Folded = Create<TADOTable>(Form.get());
  Folded->SetConnection(Conn.get());
  Folded->SetTableName("folded");
  Folded->SetIndexFieldNames("NAME");
  Folded->Open();
  EXPECT_FALSE(Folded->OrdersTextByBytes("NAME"));
  // The find still finds, by scanning in the table's order.
  Bound<TzvAdoFindModel> B(Folded);
  ASSERT_EQ(B.M->GetIndexModel()->GetCount(), 1);
  B.Set({{"NAME", 6, "b", false}});
  ASSERT_TRUE(B.M->Apply());
  EXPECT_EQ(Folded->FieldByName("ID")->AsInteger(), 1);
  EXPECT_EQ(B.M->GetIndexModel()->GetIndexState(), isNone);
}

TEST_P(ZvAdoModelTest, AFormWithConnectionQueryAndFilterModelReadsBackFiltered) {
  RegisterClasses({TDataSource::StaticClass()});
  std::string Text;
  {
    TOwned<TComponent> F = CreateOwned<TComponent>(static_cast<TComponent*>(nullptr));
    F->SetName("Form");
    auto* C = Create<TADOConnection>(F.get());
    C->SetName("Conn");
    C->SetConnectionString(Src->ConnectionString());
    C->Open();
    auto* Q = Create<TADOQuery>(F.get());
    Q->SetName("Query");
    Q->SetConnection(C);
    Q->GetSQL()->SetText("SELECT * FROM people ORDER BY ID");
    Q->Open();
    auto* S = Create<TDataSource>(F.get());
    S->SetName("Source");
    S->SetDataSet(Q);
    auto* M = Create<TzvAdoFilterModel>(F.get());
    M->SetName("Filter");
    M->SetDataSource(S);
    M->GetCompareItems()->FindByName("CITY")->SetAsString("Rome");
    M->SetFiltered(true);
    ASSERT_EQ(Ids(Q), (std::vector<int>{4, 5}));
    Text = WriteComponentToText(F.get());
  }
  EXPECT_NE(Text.find("object Filter: TzvAdoFilterModel"), std::string::npos) << Text;
  EXPECT_NE(Text.find("DataSource = Source"), std::string::npos) << Text;
  EXPECT_NE(Text.find("CurrentWhereClause"), std::string::npos) << Text;

  TOwned<TComponent> F = CreateOwned<TComponent>(static_cast<TComponent*>(nullptr));
  ReadComponentTextInto(Text, F.get());
  auto* Q = dynamic_cast<TADOQuery*>(F->FindComponent("Query"));
  auto* M = dynamic_cast<TzvAdoFilterModel*>(F->FindComponent("Filter"));
  ASSERT_TRUE(Q && M);
  ASSERT_TRUE(Q->GetActive());
  EXPECT_EQ(Ids(Q), (std::vector<int>{4, 5}));
  // The model knows the condition it wrote: a new criterion replaces it.
  M->GetCompareItems()->FindByName("CITY")->SetAsString("Paris");
  EXPECT_EQ(Ids(Q), (std::vector<int>{2}));
  M->SetFiltered(false);
  EXPECT_EQ(Q->GetSQL()->GetText(), "SELECT * FROM people  ORDER BY ID\n");
  EXPECT_EQ(Ids(Q).size(), 6u);
}

// Quotes, LIKE's wildcards and escape character, comment and statement
// marks, parameter markers: a query filtered through SQL shows exactly the
// rows that the record test shows on the same table, and the statement runs
// nothing else. A NUL character cannot be part of a statement: the apply
// raises and the query stays as it was.
TEST_P(ZvAdoModelTest, HostileValuesChangeNothingButTheMatchedRows) {
  const char* const Hostile[] = {"'", "''", "x' OR '1'='1", "%", "_", "a_", "/", "//", "\\", "\\%", "a\\b", "--",
                                 ";", "'; DROP TABLE people; --", "/*", "*/", ":DFyndra_ID", "?", "a%b"};
  {
    auto Insert = CreateOwned<TADOQuery>(static_cast<TComponent*>(nullptr));
    Insert->SetConnection(Conn.get());
    Insert->GetSQL()->SetText("INSERT INTO people (ID, NAME) VALUES (:i, :n)");
    int Id = 100;
    for (const char* H : Hostile) {
      Insert->GetParameters()->ParamByName(u"i")->SetValue(Variant(std::int32_t(++Id)));
      Insert->GetParameters()->ParamByName(u"n")->SetValue(Variant(std::string(H) + "x"));
      Insert->ExecSQL();
      Insert->GetParameters()->ParamByName(u"i")->SetValue(Variant(std::int32_t(++Id)));
      Insert->GetParameters()->ParamByName(u"n")->SetValue(Variant(std::string(H)));
      Insert->ExecSQL();
    }
  }
  Query->Open();
  Table->Open();
  Bound<TzvAdoFilterModel> BySQL(Query), ByTest(Table);
  BySQL.M->SetFiltered(true);
  ByTest.M->SetFiltered(true);
  int Matched = 0;
  for (const char* H : Hostile)
    for (int Key : {0, 1, 6, 8, 10, 12, 13})
      for (bool CaseIns : {false, true}) {
        SCOPED_TRACE(std::string(H) + " key " + std::to_string(Key) + (CaseIns ? " ci" : ""));
        BySQL.Set({{"NAME", Key, H, CaseIns}});
        ByTest.Set({{"NAME", Key, H, CaseIns}});
        const std::vector<int> Want = Ids(Table);
        EXPECT_EQ(Ids(Query), Want) << Query->GetSQL()->GetText();
        Matched += Want.empty() ? 0 : 1;
      }
  EXPECT_GT(Matched, 100);

  // A NUL character: as a bound value it matches no record; inside a
  // literal it is refused before the statement reaches the driver, and the
  // query stays as it was.
  for (int Key : {0, 6}) {
    SCOPED_TRACE(Key);
    const std::string Text = Query->GetSQL()->GetText();
    const std::vector<int> Rows = Ids(Query);
    const std::string Error = adotest::ErrorOf([&] { BySQL.Set({{"NAME", Key, std::string("a\0b", 3), false}}); });
    if (Error == "<no error>") {
      EXPECT_EQ(Key, 0);
      EXPECT_EQ(Ids(Query), std::vector<int>{});
      continue;
    }
    if (Key == 6) {
      EXPECT_EQ(Error, "PeopleQuery: A statement cannot hold a NUL character");
    }
    EXPECT_EQ(Query->GetSQL()->GetText(), Text);
    EXPECT_TRUE(Query->GetActive());
    EXPECT_EQ(Ids(Query), Rows);
  }
  // Nothing ran but the selections: the table is whole, the text as it was.
  BySQL.M->SetFiltered(false);
  EXPECT_EQ(Query->GetSQL()->GetText(), "SELECT * FROM people  ORDER BY ID\n");
  EXPECT_EQ(Ids(Query).size(), 6u + 2 * std::size(Hostile));
}

FYNDRA_ON_BOTH_DRIVERS(ZvAdoModelTest);

// The PostgreSQL server stops while a query is filtered: the next apply
// raises the driver's error, the query keeps its text and the model its
// condition (nothing half-rewritten), and once the server is back a new
// connection filters again.
TEST(AdoServerGoesAway, TheNextApplyFailsClearlyAndAReconnectWorks) {
  SetDefaultLocale("en_US");
  adotest::DataSource Src(adotest::TSource::PostgreSQL);
  TOwned<TADOConnection> Conn = CreateOwned<TADOConnection>(static_cast<TComponent*>(nullptr));
  Conn->SetConnectionString(Src.ConnectionString());
  Conn->Open();
  Conn->Execute("CREATE TABLE people (ID INTEGER PRIMARY KEY, NAME VARCHAR(20), CITY VARCHAR(20))");
  Conn->Execute("INSERT INTO people VALUES (1, 'Anna', 'Berlin'), (2, 'Bert', 'Paris'), (3, 'Carl', 'Berlin'), "
                "(4, 'Dora', 'Rome'), (5, 'Anton', 'Rome')");
  TOwned<TADOQuery> Query = CreateOwned<TADOQuery>(static_cast<TComponent*>(nullptr));
  Query->SetConnection(Conn.get());
  Query->GetSQL()->SetText("SELECT * FROM people ORDER BY ID");
  Query->Open();
  Bound<TzvAdoFilterModel> B(Query.get());
  B.M->SetFiltered(true);
  B.Set({{"CITY", 0, "Rome", false}});
  ASSERT_EQ(Ids(Query.get()), (std::vector<int>{4, 5}));
  const std::string Text = Query->GetSQL()->GetText();
  const std::string Where = B.M->GetCurrentWhereClause();

  struct Restart {
    ~Restart() { adotest::PostgresServer::Shared().Start(); }
  } BackAtTheEnd;
  // The server stops as if it crashed; what it wrote survives.
  Conn->Execute("CHECKPOINT");
  adotest::PostgresServer::Shared().Stop();
  // A connection failure, with the driver's state and message.
  auto IsConnectionLost = [](const std::string& E) {
    return E.rfind("[57P01]", 0) == 0 || E.rfind("[08", 0) == 0;
  };
  const std::string Error = adotest::ErrorOf([&] { B.Set({{"CITY", 0, "Paris", false}}); });
  EXPECT_TRUE(IsConnectionLost(Error)) << Error;
  // The query could not be opened again: it is closed, with the text it had,
  // and its model is inactive with the condition it had written.
  EXPECT_FALSE(Query->GetActive());
  EXPECT_FALSE(B.M->GetActive());
  EXPECT_EQ(Query->GetSQL()->GetText(), Text);
  EXPECT_EQ(B.M->GetCurrentWhereClause(), Where);
  // Opening it again raises the same kind of error and changes nothing.
  const std::string Again = adotest::ErrorOf([&] { Query->Open(); });
  EXPECT_TRUE(IsConnectionLost(Again)) << Again;
  EXPECT_EQ(Query->GetSQL()->GetText(), Text);
  EXPECT_EQ(B.M->GetCurrentWhereClause(), Where);

  adotest::PostgresServer::Shared().Start();
  Conn->Close();
  Conn->Open();
  Query->Open();
  EXPECT_EQ(Ids(Query.get()), (std::vector<int>{4, 5}));  // the condition it kept
  B.M->Apply();
  EXPECT_EQ(Ids(Query.get()), (std::vector<int>{2}));
  B.M->SetFiltered(false);
  EXPECT_EQ(Query->GetSQL()->GetText(), "SELECT * FROM people  ORDER BY ID\n");
}

}  // namespace
}  // namespace fyndra
