// The local engine family on real SQLite files: a filter model on a query
// rewrites its SQL with bound parameters and never sets a range, one on a
// table uses the filter event and an index range; both leave their dataset
// as they found it; a failed rewrite leaves the query as it was; hostile
// values stay values; a saved form is understood after loading; datasets of
// another family are refused.
#include <fyndra/dataset/zvbdemodel.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <fyndra/core/zvcomparemodels.h>
#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/streaming/filer.h>
#include "dataset/dstest.h"
#include "dataset/unicodewords.h"
#include "platform/bde/bdetestutil.h"

namespace fyndra {
namespace {

using dstest::Ids;

int Occurrences(const std::string& Text, const std::string& Part) {
  int N = 0;
  for (std::size_t P = Text.find(Part); P != std::string::npos; P = Text.find(Part, P + 1)) ++N;
  return N;
}

class BdeFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultLocale("en_US");
    Db->SetDatabaseName(Dir.File("people.db"));
    Db->GetParams()->Add("CREATE=TRUE");
    Db->Open();
    Db->Execute(
        "CREATE TABLE people(id INTEGER PRIMARY KEY, name VARCHAR(40), city VARCHAR(20), amount REAL);"
        "CREATE INDEX people_name ON people(name);"
        "INSERT INTO people VALUES (1,'Anna','Berlin',10),(2,'Bert','Paris',20),(3,'Carl','Berlin',30),"
        "(4,'Dora',NULL,40),(5,'Anton','Rome',50),(6,'Berta','Paris',60);");
    M->SetName("Filter");
    M->SetDataSource(Src.get());
  }
  TQuery* Query(const std::string& SQL) {
    Q = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
    Q->SetName("People");
    Q->SetDatabase(Db.get());
    Q->GetSQL()->SetText(SQL);
    Src->SetDataSet(Q.get());
    Q->Open();
    return Q.get();
  }
  TTable* Table(const std::string& IndexName) {
    T = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
    T->SetName("PeopleTable");
    T->SetDatabase(Db.get());
    T->SetTableName("people");
    T->SetIndexName(IndexName);
    Src->SetDataSet(T.get());
    T->Open();
    return T.get();
  }
  TzvCompareItem* Item(const std::string& Name) { return M->GetCompareItems()->FindByName(Name); }
  std::string SQLText() const { return Q->GetSQL()->GetText(); }

  bdetest::TempDir Dir;
  TOwned<TDatabase> Db = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  TOwned<TDataSource> Src = CreateOwned<TDataSource>(nullptr);
  TOwned<TzvBdeFilterModel> M = CreateOwned<TzvBdeFilterModel>(nullptr);
  TOwned<TQuery> Q;
  TOwned<TTable> T;
};

TEST_F(BdeFilter, AdapterTellsWhatTablesAndQueriesOffer) {
  TzvExtDataSetModel* Ext = M->GetExtDataSetModel();
  Query("SELECT id, name FROM people ORDER BY name");
  EXPECT_TRUE(Ext->IsSupported(dsDefaultIndex));
  EXPECT_TRUE(Ext->IsSupported(dsSQL));
  EXPECT_FALSE(Ext->IsSupported(dsIndexRange));
  EXPECT_FALSE(Ext->IsSupported(dsMultiCaseInsIndexSearch));
  EXPECT_EQ(M->GetIndexModel()->GetCount(), 0);  // no range on a query: no index needed
  Table("people_name");
  EXPECT_TRUE(Ext->IsSupported(dsDefaultIndex));
  EXPECT_FALSE(Ext->IsSupported(dsSQL));
  EXPECT_TRUE(Ext->IsSupported(dsIndexRange));
  EXPECT_TRUE(Ext->IsSupported(dsMultiCaseInsIndexSearch));
  EXPECT_EQ(Ext->GetIndexName(), "people_name");
  ASSERT_EQ(M->GetIndexModel()->GetCount(), 1);
  EXPECT_EQ(M->GetIndexModel()->GetItem(0).Field->GetFieldName(), "name");
}

TEST_F(BdeFilter, QueryIsFilteredByItsSQL) {
  const std::string Original = "SELECT id, name, city, amount FROM people ORDER BY id\n";
  TQuery* DS = Query(Original);
  M->SetFiltered(true);
  Item("name")->SetAsString("b");
  EXPECT_EQ(Ids(DS), (std::vector<int>{2, 6}));
  EXPECT_EQ(SQLText(), "SELECT id, name, city, amount FROM people\nWHERE UPPER( name ) LIKE 'B%' ORDER BY id\n");
  EXPECT_EQ(M->GetCurrentWhereClause(), "UPPER( name ) LIKE 'B%'");
  EXPECT_FALSE(DS->GetFiltered());
  EXPECT_FALSE(DS->GetOnFilterRecord());
  // A typed criterion is a bound parameter named after its item.
  Item("amount")->SetCompareKey(5);  // less or equal: the field is at least the value
  Item("amount")->SetAsString("25");
  EXPECT_EQ(Ids(DS), (std::vector<int>{6}));
  ASSERT_NE(DS->GetParams()->FindParam("DFyndra_amount"), nullptr);
  EXPECT_EQ(VarToStr(DS->ParamByName("DFyndra_amount")->GetValue()), "25");
  // The next keystroke replaces the condition, it does not add one.
  Item("name")->SetAsString("c");
  EXPECT_EQ(Ids(DS), (std::vector<int>{3}));
  EXPECT_EQ(SQLText().find("'B%'"), std::string::npos);
  // Filtered off: the condition goes, the parameters with it.
  M->SetFiltered(false);
  EXPECT_EQ(Ids(DS), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(SQLText(), "SELECT id, name, city, amount FROM people  ORDER BY id\n");
  EXPECT_EQ(DS->ParamCount(), 0);
  EXPECT_EQ(M->GetCurrentWhereClause(), "");
  EXPECT_FALSE(M->GetFilterIndexModel()->GetRangeApplied());
}

TEST_F(BdeFilter, ApplicationConditionIsKeptAndItsAlternativesRestricted) {
  TQuery* DS = Query("SELECT id, name FROM people WHERE city = 'Paris' OR city = 'Rome' ORDER BY id");
  M->SetFiltered(true);
  Item("name")->SetAsString("b");
  // Without the parentheses Anton (Rome) would pass: "C AND x OR y".
  EXPECT_EQ(Ids(DS), (std::vector<int>{2, 6}));
  Item("name")->SetAsString("a");
  EXPECT_EQ(Ids(DS), (std::vector<int>{5}));
  Item("name")->SetAsString("");
  EXPECT_EQ(Ids(DS), (std::vector<int>{2, 5, 6}));
}

// A rewrite the engine refuses leaves the query with its previous text,
// parameters and remembered condition, open, and reports the error; the next
// apply still finds the condition it inserted before.
TEST_F(BdeFilter, FailedRewriteLeavesTheQueryAsItWas) {
  TQuery* DS = Query("SELECT id, COUNT(*) AS n FROM people GROUP BY id ORDER BY id");
  M->SetFiltered(true);
  Item("id")->SetCompareKey(4);  // less: the field is greater than the value
  Item("id")->SetAsString("4");
  EXPECT_EQ(Ids(DS), (std::vector<int>{5, 6}));
  const std::string Before = SQLText();
  const std::string Where = M->GetCurrentWhereClause();
  // An aggregate in WHERE is refused by the engine.
  EXPECT_THROW(Item("n")->SetAsString("1"), EDatabaseError);
  EXPECT_EQ(SQLText(), Before);
  EXPECT_EQ(M->GetCurrentWhereClause(), Where);
  EXPECT_TRUE(DS->GetActive());
  EXPECT_EQ(Ids(DS), (std::vector<int>{5, 6}));
  M->GetOptions()->SetAutoUpdate(false);
  Item("n")->SetAsString("");
  Item("id")->SetAsString("2");
  M->Apply();
  EXPECT_EQ(Ids(DS), (std::vector<int>{3, 4, 5, 6}));
  EXPECT_EQ(Occurrences(SQLText(), ":DFyndra_id"), 1);  // one condition
}

// Leaving a query takes the generated condition out of its text and leaves
// it open or closed as it was; leaving a table removes event and range.
TEST_F(BdeFilter, LeavingADataSetUndoesTheFilter) {
  TQuery* DS = Query("SELECT id, name FROM people ORDER BY id");
  M->SetFiltered(true);
  Item("name")->SetAsString("a");
  EXPECT_EQ(Ids(DS), (std::vector<int>{1, 5}));
  Src->SetDataSet(nullptr);
  EXPECT_TRUE(DS->GetActive());
  EXPECT_EQ(SQLText().find("WHERE"), std::string::npos);
  EXPECT_EQ(Ids(DS).size(), 6u);
  EXPECT_EQ(M->GetCurrentWhereClause(), "");
  // A closed query stays closed; it is left clean although a closed dataset
  // changes no link's open state when the data source moves away from it.
  Src->SetDataSet(DS);
  Item("name")->SetAsString("a");
  EXPECT_EQ(Ids(DS), (std::vector<int>{1, 5}));
  DS->Close();
  Src->SetDataSet(nullptr);
  EXPECT_FALSE(DS->GetActive());
  EXPECT_EQ(SQLText().find("WHERE"), std::string::npos);

  M->GetCompareItems()->ClearValues();
  TTable* Tab = Table("");
  Item("id")->SetAsString("3");
  EXPECT_TRUE(Tab->GetRanged());
  EXPECT_TRUE(Tab->GetOnFilterRecord());
  Src->SetDataSet(nullptr);
  EXPECT_FALSE(Tab->GetRanged());
  EXPECT_FALSE(Tab->GetFiltered());
  EXPECT_FALSE(Tab->GetOnFilterRecord());
  // The model freed first (as when its form closes): the query is left clean.
  Src->SetDataSet(DS);
  DS->Open();
  Item("name")->SetAsString("b");
  EXPECT_NE(SQLText().find("WHERE"), std::string::npos);
  M.reset();
  EXPECT_EQ(SQLText().find("WHERE"), std::string::npos);
  EXPECT_EQ(Ids(DS).size(), 6u);
}

// A table is filtered by its filter event and, on its index, by a range; a
// query with the same criteria never sets a range.
TEST_F(BdeFilter, TableUsesFilterEventAndRange) {
  TTable* Tab = Table("");  // primary key order
  M->SetFiltered(true);
  Item("id")->SetCompareKey(3);  // greater or equal: the field is at most the value
  Item("id")->SetAsString("4");
  EXPECT_TRUE(Tab->GetRanged());
  EXPECT_TRUE(Tab->GetOnFilterRecord());
  EXPECT_EQ(Ids(Tab), (std::vector<int>{1, 2, 3, 4}));
  Item("city")->SetAsString("b");
  EXPECT_EQ(Ids(Tab), (std::vector<int>{1, 3}));
  Item("id")->SetAsString("");
  EXPECT_FALSE(Tab->GetRanged());
  EXPECT_EQ(Ids(Tab), (std::vector<int>{1, 3}));
  // A case-sensitive prefix on the name index: a range in the engine's byte
  // order; a prefix ignoring case cannot be one there and is left to the event.
  M->GetCompareItems()->ClearValues();
  Tab = Table("people_name");
  Item("name")->SetOptions({ciConvertValue});
  Item("name")->SetAsString("Ber");
  EXPECT_TRUE(Tab->GetRanged());
  EXPECT_EQ(Ids(Tab), (std::vector<int>{2, 6}));
  Item("name")->SetOptions({ciConvertValue, ciCaseInsensitive});
  Item("name")->SetAsString("ber");
  EXPECT_FALSE(Tab->GetRanged());
  EXPECT_EQ(Ids(Tab), (std::vector<int>{2, 6}));
  M->GetCompareItems()->ClearValues();
  TQuery* DS = Query("SELECT id, name FROM people ORDER BY id");
  Item("id")->SetCompareKey(3);
  Item("id")->SetAsString("4");
  EXPECT_EQ(Ids(DS), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_FALSE(M->GetFilterIndexModel()->GetRangeApplied());
  EXPECT_FALSE(DS->GetOnFilterRecord());
}

// Dates, times and time stamps are kept as texts of their own forms; a
// parameter compared with such a column is bound in the column's form, so the
// query selects what the record test on the table accepts, for every
// comparison and across applies.
TEST_F(BdeFilter, DateAndTimeCriteriaSelectInSQLWhatTheRecordTestAccepts) {
  Db->Execute(
      "CREATE TABLE visits(id INTEGER PRIMARY KEY, day DATE, at TIME, seen TIMESTAMP);"
      "INSERT INTO visits VALUES (1,'2020-01-31','08:00:00','2020-01-31 08:00:00'),"
      "(2,'2020-02-01','12:30:00','2020-02-01 00:00:00'),(3,'2020-02-01','23:59:59','2020-02-01 12:30:00'),"
      "(4,'2021-07-04',NULL,NULL),(5,NULL,'12:30:00','2021-07-04 23:59:59');");
  TOwned<TTable> Visits = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
  Visits->SetDatabase(Db.get());
  Visits->SetTableName("visits");
  const struct {
    const char* Item;
    std::int32_t Key;
    const char* Value;
    std::vector<int> Expected;
  } Cases[] = {
      {"day", 0, "2/1/2020", {2, 3}},
      {"day", 1, "2/1/2020", {1, 4, 5}},    // not equal: Null is another value
      {"day", 2, "2/1/2020", {1}},            // greater: the field is less than the value
      {"day", 5, "2/1/2020", {2, 3, 4}},      // less or equal: the field is at least the value
      {"at", 0, "12:30:00", {2, 5}},
      {"at", 3, "12:30:00", {1, 2, 5}},
      {"seen", 0, "2/1/2020", {2}},          // midnight
      {"seen", 0, "2/1/2020 12:30:00", {3}},
      {"seen", 4, "2/1/2020", {3, 5}},
  };
  for (const auto& C : Cases) {
    SCOPED_TRACE(std::string(C.Item) + " " + std::to_string(C.Key) + " " + C.Value);
    // The record test on the table, then the rewritten query, with the
    // same criterion.
    for (int Means = 0; Means < 2; ++Means) {
      if (Means == 0) {
        Src->SetDataSet(Visits.get());
        Visits->Open();
      } else {
        Query("SELECT id, day, at, seen FROM visits ORDER BY id");
      }
      M->SetFiltered(true);
      Item(C.Item)->SetCompareKey(C.Key);
      Item(C.Item)->SetAsString(C.Value);
      EXPECT_EQ(Ids(Src->GetDataSet()), C.Expected) << (Means ? SQLText() : "table");
      M->SetFiltered(false);
      M->GetCompareItems()->ClearValues();
    }
  }
}

// A prefix range on a byte-ordered key keeps the texts that continue with a
// character beyond 7-bit, which sort after the 7-bit padding in byte order.
TEST_F(BdeFilter, PrefixRangeKeepsTextsContinuingBeyondSevenBit) {
  Db->Execute("INSERT INTO people VALUES (7,'Berté','Lyon',70),(8,'Beß','Wien',80),(9,'Bf','Rome',90)");
  TTable* Tab = Table("people_name");
  M->SetFiltered(true);
  Item("name")->SetOptions({ciConvertValue});
  Item("name")->SetAsString("Be");
  EXPECT_TRUE(Tab->GetRanged());
  std::vector<int> Got = Ids(Tab);
  std::sort(Got.begin(), Got.end());
  EXPECT_EQ(Got, (std::vector<int>{2, 6, 7, 8}));
}

// A key without a declared size (TEXT, or a VARCHAR wider than a field holds,
// both read as memos): the prefix range is padded as far as it may be, so it
// keeps every longer text that starts with the prefix.
TEST_F(BdeFilter, PrefixRangeOnAnUnsizedTextKeyKeepsLongerTexts) {
  Db->Execute(
      "CREATE TABLE notes(id INTEGER PRIMARY KEY, body TEXT, wide VARCHAR(2000000));"
      "CREATE INDEX notes_body ON notes(body); CREATE INDEX notes_wide ON notes(wide);"
      "INSERT INTO notes VALUES (1,'Be','Be'),(2,'Berta','Berta'),(3,'Beß here','Beß here'),(4,'Bf','Bf'),"
      "(5,'Ab','Ab'),(6,'Be' || char(127),'Be' || char(127));");
  for (const char* Index : {"notes_body", "notes_wide"}) {
    SCOPED_TRACE(Index);
    T = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
    T->SetDatabase(Db.get());
    T->SetTableName("notes");
    T->SetIndexName(Index);
    Src->SetDataSet(T.get());
    T->Open();
    M->SetFiltered(true);
    const std::string Field = std::string(Index) == "notes_body" ? "body" : "wide";
    Item(Field)->SetOptions({ciConvertValue});
    Item(Field)->SetCompareKey(ckStarts);
    Item(Field)->SetAsString("Be");
    EXPECT_TRUE(T->GetRanged());
    std::vector<int> Got = Ids(T.get());
    std::sort(Got.begin(), Got.end());
    EXPECT_EQ(Got, (std::vector<int>{1, 2, 3, 6}));
    Item(Field)->SetAsString("");
    M->SetFiltered(false);
  }
}

// Values that would be SQL if pasted into the text stay values through the
// whole apply: each selects exactly the rows holding it, and nothing else
// happens to the database.
TEST_F(BdeFilter, HostileValuesStayValues) {
  const char* const Hostile[] = {"x' OR '1'='1", "'; DROP TABLE people; --", "O'Brien", "50% off", "a_b",
                                 "/*", "*/ OR 1=1 --", "--", "\\'", "line\r\nbreak", "''", ":DFyndra_name",
                                 "\x10", "%_/'"};
  int Id = 100;
  for (const char* V : Hostile) {
    auto Insert = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
    Insert->SetDatabase(Db.get());
    Insert->GetSQL()->SetText("INSERT INTO people(id, name) VALUES (:id, :name)");
    Insert->ParamByName("id")->SetAsInteger(++Id);
    Insert->ParamByName("name")->SetAsString(std::string("<") + V + ">");
    Insert->ExecSQL();
  }
  TQuery* DS = Query("SELECT id, name FROM people ORDER BY id");
  M->SetFiltered(true);
  // The rows whose name the value selects, by a plain reading of the rules.
  auto Expected = [&](int Key, const std::string& Value) {
    std::vector<int> Out;
    int RowId = 100;
    for (const char* W : Hostile) {
      const std::string Name = AnsiUpperCase(std::string("<") + W + ">");
      const std::string V = AnsiUpperCase(Value);
      ++RowId;
      if (Key == 0 ? Name == V : Key == 10 ? Name.find(V) != std::string::npos
                                           : TzvPatternCompareModel::MatchPattern(Name, V))
        Out.push_back(RowId);
    }
    return Out;
  };
  for (const char* V : Hostile) {
    SCOPED_TRACE(V);
    // Equal binds a parameter; contains and pattern put the value in the text.
    for (int Key : {0, 10, 12}) {
      const std::string Value = Key == 10 ? std::string(V) : std::string("<") + V + ">";
      Item("name")->SetCompareKey(Key);
      Item("name")->SetAsString(Value);
      EXPECT_EQ(Ids(DS), Expected(Key, Value)) << SQLText();
      EXPECT_FALSE(Ids(DS).empty());
    }
  }
  M->SetFiltered(false);
  EXPECT_EQ(Ids(DS).size(), 6u + std::size(Hostile));
}

// A NUL character cannot be part of a SQL literal: the engine refuses the
// statement, and the query stays as it was.
TEST_F(BdeFilter, ValueWithANulCharacterIsRefusedWithTheQueryUnchanged) {
  TQuery* DS = Query("SELECT id, name FROM people ORDER BY id");
  M->SetFiltered(true);
  Item("name")->SetAsString("b");
  const std::string Before = SQLText();
  EXPECT_THROW(Item("name")->SetAsString(std::string("b\0c", 3)), EDatabaseError);
  EXPECT_EQ(SQLText(), Before);
  EXPECT_TRUE(DS->GetActive());
  EXPECT_EQ(Ids(DS), (std::vector<int>{2, 6}));
}

// The family's find component jumps to the first key candidate of a table
// with the table's own key search, and walks a query in its ORDER BY; both
// stop where the records leave the range, compared in the engine's order.
TEST_F(BdeFilter, FindSearchesTablesByKeyAndQueriesInTheirOrder) {
  Db->Execute("INSERT INTO people VALUES (7,'Berté','Lyon',70),(8,'bert','Oslo',80)");
  auto Find = CreateOwned<TzvBdeFindModel>(nullptr);
  M->SetDataSource(nullptr);
  Find->SetName("Find");
  Find->GetOptions()->SetAutoUpdate(false);
  Find->SetDataSource(Src.get());
  for (bool UseTable : {true, false}) {
    TDataSet* DS = UseTable ? static_cast<TDataSet*>(Table("people_name"))
                            : Query("SELECT id, name FROM people ORDER BY name");
    TzvCompareItem* Name = Find->GetCompareItems()->FindByName("name");
    Name->SetOptions({ciConvertValue});
    Name->SetAsString("Bert");
    Find->GetOptions()->SetRestart(true);
    ASSERT_TRUE(Find->Apply());
    EXPECT_EQ(Find->GetIndexModel()->GetIndexState(), isNearest);
    std::vector<int> Found = {dstest::IdOf(DS)};
    Find->GetOptions()->SetRestart(false);
    while (Find->Apply()) Found.push_back(dstest::IdOf(DS));
    // Byte order: Bert, Berta, Berté; "bert" sorts after every capital.
    EXPECT_EQ(Found, (std::vector<int>{2, 6, 7})) << (UseTable ? "table" : "query");
    EXPECT_EQ(dstest::IdOf(DS), 8);  // ufLast: the last record
  }
}

// On the case-insensitive collation, names that differ from a match by accents
// only lie inside the find's range ("Mårten …" among "Mart…"). The table's
// engine tests them on the index and the find passes them without reading
// them as records; it visits what it visits without the index. A filter lets
// the engine drop them on the index.
TEST_F(BdeFilter, FindAndFilterPassNamesDifferingByAccentsWithoutReadingThem) {
  const std::string CI = CollateClause(CaseInsensitiveCollation());
  Db->Execute("CREATE TABLE names(id INTEGER PRIMARY KEY, name VARCHAR(30), city VARCHAR(20));"
              "CREATE INDEX names_ci ON names(name" + CI + ");");
  {
    TSQLiteStatement Insert(Db->Connection(), "INSERT INTO names(name, city) VALUES (?, ?)");
    auto Add = [&](const std::string& Name, const char* City) {
      Insert.Reset();
      Insert.Bind(1, Variant(Name), ftString);
      Insert.Bind(2, Variant(City), ftString);
      while (Insert.Step()) {
      }
    };
    for (int I = 0; I < 300; ++I) Add("M\xC3\xA5rten " + std::to_string(1000 + I), "Oslo");
    for (const char* Name : {"Martin 1500", "MARTINA 1200", "mart", "Mart\xC3\xADn 1100", "Marta 1000"}) Add(Name, "Rome");
    Add("Martin 1600", "Oslo");
    Add("Marx", "Rome");
  }
  auto Find = CreateOwned<TzvBdeFindModel>(nullptr);
  M->SetDataSource(nullptr);
  Find->SetName("Find");
  Find->GetOptions()->SetAutoUpdate(false);
  Find->SetDataSource(Src.get());
  T = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
  T->SetDatabase(Db.get());
  T->SetTableName("names");
  T->SetIndexName("names_ci");
  Src->SetDataSet(T.get());
  T->Open();
  int Scrolls = 0;
  T->AfterScroll = TDataSetNotifyEvent::FromCallable([&Scrolls](TDataSet*) { ++Scrolls; });
  for (const char* City : {"", "Rome"}) {
    SCOPED_TRACE(City);
    Find->GetCompareItems()->FindByName("name")->SetAsString("mart");
    Find->GetCompareItems()->FindByName("city")->SetAsString(City);
    bool UsedIndex = false;
    const std::vector<int> Without = unicodewords::FindAll(Find.get(), T.get(), false, UsedIndex);
    Scrolls = 0;
    const std::vector<int> With = unicodewords::FindAll(Find.get(), T.get(), true, UsedIndex);
    EXPECT_TRUE(UsedIndex);
    EXPECT_EQ(With, Without);
    EXPECT_EQ(With.size(), std::string(City).empty() ? 6u : 5u);
    EXPECT_LT(Scrolls, 40);  // not one per "Mårten"
  }
  Find.reset();

  // A filter with the same criterion: the engine drops the "Mårten" names on
  // the index, so its record test sees the matches only.
  T->AfterScroll = nullptr;
  M->SetDataSource(Src.get());
  int Tested = 0;
  M->SetOnFilterRecord(TFilterRecordEvent::FromCallable([&Tested](TDataSet*, bool& Accept) {
    ++Tested;
    Accept = true;
  }));
  M->SetFiltered(true);
  Item("name")->SetAsString("mart");
  Tested = 0;
  std::vector<int> Got = Ids(T.get());
  EXPECT_TRUE(T->GetRanged());
  std::sort(Got.begin(), Got.end());
  EXPECT_EQ(Got, (std::vector<int>{301, 302, 303, 304, 305, 306}));
  EXPECT_LT(Tested, 40);
}

TEST_F(BdeFilter, DataSetOfAnotherFamilyIsRefused) {
  auto Client = dstest::People("Clients", dstest::SixPeople());
  Client->Close();
  Src->SetDataSet(Client.get());
  try {
    Client->Open();
    FAIL() << "no error";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message(), "Filter: 'Clients' is not descendant of TBDEDataSet component");
  }
  EXPECT_FALSE(M->GetActive());
  M->SetDataSource(nullptr);
  auto Find = CreateOwned<TzvBdeFindModel>(nullptr);
  Find->SetName("Find");
  Client->Close();
  Find->SetDataSource(Src.get());
  try {
    Client->Open();
    FAIL() << "no error";
  } catch (const EzvBaseModelError& E) {
    EXPECT_EQ(E.Message(), "Find: 'Clients' is not descendant of TBDEDataSet component");
  }
  EXPECT_FALSE(Find->GetActive());
}

// A form saved while a SQL filter is in force stores the rewritten query and
// the condition that was inserted; after loading, the first apply recognises
// that condition and replaces it.
TEST_F(BdeFilter, SavedFormRecognisesItsConditionAfterLoading) {
  RegisterClasses({TDatabase::StaticClass(), TQuery::StaticClass(), TDataSource::StaticClass(),
                   TzvBdeFilterModel::StaticClass()});
  const std::string Path = Dir.File("people.db");
  std::string Text;
  {
    TOwned<TComponent> Form(Create<TComponent>(static_cast<TComponent*>(nullptr)));
    Form->SetName("Form1");
    auto* Query = Create<TQuery>(Form.get());
    Query->SetName("People");
    Query->SetDatabaseName(Path);
    Query->GetSQL()->SetText("SELECT id, name, amount FROM people ORDER BY id");
    auto* Source = Create<TDataSource>(Form.get());
    Source->SetName("PeopleSource");
    Source->SetDataSet(Query);
    auto* Filter = Create<TzvBdeFilterModel>(Form.get());
    Filter->SetName("Filter");
    Filter->SetDataSource(Source);
    Filter->SetFiltered(true);
    Query->Open();
    Filter->GetCompareItems()->FindByName("amount")->SetCompareKey(4);
    Filter->GetCompareItems()->FindByName("amount")->SetAsString("35");
    EXPECT_EQ(Ids(Query), (std::vector<int>{4, 5, 6}));
    Text = WriteComponentToText(Form.get());
    Query->Close();  // the form goes with the query closed: nothing to undo there
    Source->SetDataSet(nullptr);
  }
  EXPECT_NE(Text.find("CurrentWhereClause = 'amount > :DFyndra_amount'"), std::string::npos) << Text;
  EXPECT_NE(Text.find("WHERE amount > :DFyndra_amount"), std::string::npos) << Text;

  TOwned<TComponent> Form(Create<TComponent>(static_cast<TComponent*>(nullptr)));
  ReadComponentTextInto(Text, Form.get());
  auto* Query = dynamic_cast<TQuery*>(Form->FindComponent("People"));
  auto* Filter = dynamic_cast<TzvBdeFilterModel*>(Form->FindComponent("Filter"));
  ASSERT_NE(Query, nullptr);
  ASSERT_NE(Filter, nullptr);
  EXPECT_EQ(Filter->GetCurrentWhereClause(), "amount > :DFyndra_amount");
  Query->GetParams()->ParamByName("DFyndra_amount")->SetAsFloat(35);
  Query->Open();
  EXPECT_EQ(Ids(Query), (std::vector<int>{4, 5, 6}));
  // One apply with the new criterion replaces the loaded condition.
  TzvCompareItems* Items = Filter->GetCompareItems();
  Items->BeginUpdate();
  Items->FindByName("amount")->SetCompareKey(4);
  Items->FindByName("amount")->SetAsString("45");
  Items->EndUpdate();
  EXPECT_EQ(Ids(Query), (std::vector<int>{5, 6}));
  const std::string SQL = Query->GetSQL()->GetText();
  EXPECT_EQ(Occurrences(SQL, ":DFyndra_amount"), 1) << SQL;
  Filter->SetFiltered(false);
  EXPECT_EQ(Query->GetSQL()->GetText().find("WHERE"), std::string::npos);
}

}  // namespace
}  // namespace fyndra
