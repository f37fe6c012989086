#include <gtest/gtest.h>

#include <string>

#include <fyndra/platform/bde/bdedataset.h>
#include <fyndra/platform/bde/database.h>
#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/bde/table.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>
#include "platform/bde/bdetestutil.h"

namespace fyndra {
namespace {

using bdetest::DbErrorOf;
using bdetest::TempDir;

class QueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDefaultLocale("en_US");
    Db->SetDatabaseName(Dir.File("q.db"));
    Db->GetParams()->Add("CREATE=TRUE");
    Db->Open();
    Q->SetDatabase(Db.get());
  }
  void Exec(const std::string& SQL) { Db->Execute(SQL); }
  void Select(const std::string& SQL) {
    Q->Close();
    Q->GetSQL()->SetText(SQL);
    Q->Open();
  }
  TempDir Dir;
  TOwned<TDatabase> Db = CreateOwned<TDatabase>(static_cast<TComponent*>(nullptr));
  TOwned<TQuery> Q = CreateOwned<TQuery>(static_cast<TComponent*>(nullptr));
};

TEST_F(QueryTest, DeclaredTypesGiveFieldTypesAndValuesRoundTripExactly) {
  Exec("CREATE TABLE v (id INTEGER PRIMARY KEY, name VARCHAR(10) NOT NULL, note TEXT, qty INT, "
       "price NUMERIC(12,4), big DECIMAL(30,10), ratio REAL, born DATE, at TIME, seen TIMESTAMP, "
       "ok BOOLEAN, data BLOB)");
  Q->GetSQL()->SetText(
      "INSERT INTO v (name, note, qty, price, big, ratio, born, at, seen, ok, data) "
      "VALUES (:name, :note, :qty, :price, :big, :ratio, :born, :at, :seen, :ok, :data)");
  // NUMERIC columns hold 15 significant digits exactly.
  const Currency Price = Currency::FromScaled(99999999994321LL);  // 9999999999.4321
  const TBcd Big = StrToBcd("-12345.0123456789", FormatSettingsForLocale("en_US"));
  const TSQLTimeStamp Seen{1999, 12, 31, 23, 59, 59, 999};
  Q->ParamByName("name")->SetAsString("Müller");
  Q->ParamByName("note")->Clear();
  Q->ParamByName("qty")->SetAsInteger(-7);
  Q->ParamByName("price")->SetAsBCD(Price);
  Q->ParamByName("big")->SetAsFMTBCD(Big);
  Q->ParamByName("ratio")->SetAsFloat(0.1);
  Q->ParamByName("born")->SetAsDate(EncodeDate(1890, 1, 2));
  Q->ParamByName("at")->SetAsTime(EncodeTime(8, 9, 10, 11));
  Q->ParamByName("seen")->SetAsSQLTimeStamp(Seen);
  Q->ParamByName("ok")->SetAsBoolean(true);
  Q->ParamByName("data")->SetAsBlob(std::string("\0\1\2zero", 7));
  Q->ExecSQL();
  EXPECT_EQ(Q->GetRowsAffected(), 1);

  Select("SELECT * FROM v");
  struct Expect {
    const char* Name;
    TFieldType Type;
    int Size;
    bool Required;
  } Fields[] = {
      {"id", ftLargeint, 0, false}, {"name", ftString, 10, true}, {"note", ftMemo, 0, false},
      {"qty", ftInteger, 0, false}, {"price", ftBCD, 4, false},   {"big", ftFMTBcd, 10, false},
      {"ratio", ftFloat, 0, false}, {"born", ftDate, 0, false},   {"at", ftTime, 0, false},
      {"seen", ftTimeStamp, 0, false}, {"ok", ftBoolean, 0, false}, {"data", ftBlob, 0, false},
  };
  ASSERT_EQ(Q->FieldCount(), 12);
  for (const Expect& E : Fields) {
    SCOPED_TRACE(E.Name);
    TFieldDef* D = Q->GetFieldDefs()->Find(E.Name);
    EXPECT_EQ(D->GetDataType(), E.Type);
    EXPECT_EQ(D->GetSize(), E.Size);
    EXPECT_EQ(D->GetRequired(), E.Required);
  }
  EXPECT_EQ(Q->FieldByName("id")->GetAsLargeInt(), 1);
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), "Müller");
  EXPECT_TRUE(Q->FieldByName("note")->IsNull());
  EXPECT_EQ(Q->FieldByName("qty")->GetAsInteger(), -7);
  EXPECT_EQ(Q->FieldByName("price")->GetAsCurrency(), Price);
  EXPECT_EQ(BcdCompare(Q->FieldByName("big")->GetAsBCD(), Big), 0);
  EXPECT_EQ(Q->FieldByName("ratio")->GetAsFloat(), 0.1);
  EXPECT_EQ(Q->FieldByName("born")->GetAsDateTime(), EncodeDate(1890, 1, 2));
  EXPECT_NEAR(Q->FieldByName("at")->GetAsDateTime(), EncodeTime(8, 9, 10, 11), 1e-10);
  EXPECT_EQ(Q->FieldByName("seen")->GetAsSQLTimeStamp(), Seen);
  EXPECT_TRUE(Q->FieldByName("ok")->GetAsBoolean());
  EXPECT_EQ(Q->FieldByName("data")->GetAsString(), std::string("\0\1\2zero", 7));

  // Computed columns take the type of their first value.
  Select("SELECT count(*) AS n, max(ratio) AS r, 'x' || name AS s FROM v");
  EXPECT_EQ(Q->FieldByName("n")->GetDataType(), ftLargeint);
  EXPECT_EQ(Q->FieldByName("r")->GetDataType(), ftFloat);
  EXPECT_EQ(Q->FieldByName("s")->GetAsString(), "xMüller");

  // Columns of one name from a join get distinct field names.
  Select("SELECT a.id, b.id FROM v a, v b");
  EXPECT_EQ(Q->GetFieldNames(), (std::vector<std::string>{"id", "id_1"}));
}

TEST_F(QueryTest, ParametersAreParsedFromTheTextAndBoundByType) {
  Exec("CREATE TABLE p (id INTEGER PRIMARY KEY, name TEXT, amount NUMERIC(10,2))");
  Exec("INSERT INTO p (name, amount) VALUES ('a', 1.5), ('b', 2.25), ('c', 10)");
  Q->GetSQL()->SetText("SELECT name FROM p WHERE amount >= :lo AND name <> ':not' ORDER BY name");
  EXPECT_EQ(Q->GetParams()->GetParamNames(), "lo");

  // Never given a value: refused, and the query stays closed.
  EXPECT_EQ(DbErrorOf([&] { Q->Open(); }), "No value for parameter 'lo'");
  EXPECT_FALSE(Q->GetActive());

  Q->ParamByName("lo")->SetAsCurrency(Currency::FromScaled(22500));
  Q->Open();
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), "b");
  EXPECT_EQ(Q->RecordCount(), 2);

  // Changing the text closes the query and keeps values of names that stay.
  Q->GetSQL()->SetText("SELECT name FROM p WHERE amount >= :LO AND name = :name");
  EXPECT_FALSE(Q->GetActive());
  EXPECT_EQ(Q->GetParams()->GetParamNames(), "LO;name");
  EXPECT_TRUE(Q->ParamByName("lo")->GetBound());
  Q->ParamByName("name")->SetAsString("c");
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 1);
  Q->Close();

  // A value that does not fit the parameter's type is refused when bound.
  Q->ParamByName("lo")->SetDataType(ftInteger);
  Q->ParamByName("lo")->SetAsVariant(Variant("lots"));
  EXPECT_NE(DbErrorOf([&] { Q->Open(); }).find("Parameter 'LO'"), std::string::npos);
  EXPECT_FALSE(Q->GetActive());

  // Engine-style parameters cannot be told apart from text: refused.
  Q->GetSQL()->SetText("SELECT * FROM p WHERE id = ? OR id = :x");
  Q->ParamByName("x")->SetAsInteger(1);
  EXPECT_NE(DbErrorOf([&] { Q->Open(); }).find("engine parameters"), std::string::npos);
}

TEST_F(QueryTest, RowsAreFetchedOnDemandAndPriorWorksOverWhatWasRead) {
  Db->Close();
  GenerateSampleDatabase(Db->GetDatabaseName(), {.Customers = 3000});
  Db->Open();
  Select("SELECT id, name FROM customers ORDER BY id");
  EXPECT_EQ(Q->FetchedRowCount(), 1);
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 1);
  Q->Next();
  Q->Next();
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 3);
  EXPECT_EQ(Q->FetchedRowCount(), 3);
  TBookmark Third = Q->GetBookmark();
  Q->Prior();
  Q->Prior();
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 1);
  EXPECT_FALSE(Q->Bof());
  Q->Prior();
  EXPECT_TRUE(Q->Bof());
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 1);
  EXPECT_EQ(Q->FetchedRowCount(), 3);
  Q->GotoBookmark(Third);
  EXPECT_EQ(Q->GetRecNo(), 3);
  Q->Last();
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 3000);
  EXPECT_LE(Q->FetchedRowCount(), int(TQuery::DefaultWindowLimit));
  EXPECT_EQ(Q->RecordCount(), 3000);
  Q->Next();
  EXPECT_TRUE(Q->Eof());
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 3000);
  Q->First();
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 1);
  EXPECT_EQ(Q->GetRecNo(), 1);

  // A Locate finds rows beyond what was read.
  Select("SELECT id, name FROM customers ORDER BY id");
  EXPECT_TRUE(Q->Locate("id", Variant(std::int32_t(2500)), {}));
  EXPECT_EQ(Q->GetRecNo(), 2500);

  // An empty result.
  Select("SELECT id FROM customers WHERE id < 0");
  EXPECT_TRUE(Q->IsEmpty());
  EXPECT_TRUE(Q->Eof());
  EXPECT_EQ(Q->RecordCount(), 0);
}

// Counting a query's records does not read them: the engine counts, with the
// same parameters; a statement a count cannot enclose is executed once more
// and its rows are counted.
TEST_F(QueryTest, RecordCountDoesNotReadTheRows) {
  Db->Close();
  GenerateSampleDatabase(Db->GetDatabaseName(), {.Customers = 3000});
  Db->Open();
  Q->Close();
  Q->GetSQL()->SetText("SELECT id, name FROM customers WHERE id > :low ORDER BY id -- the newer ones");
  Q->ParamByName("low")->SetAsInteger(1000);
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 2000);
  EXPECT_EQ(Q->FetchedRowCount(), 1);
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 1001);  // still on the first record
  Q->Next();
  EXPECT_EQ(Q->FieldByName("id")->GetAsInteger(), 1002);
  Q->Last();
  EXPECT_EQ(Q->RecordCount(), 2000);
  Select("PRAGMA table_info(customers)");
  const int Columns = Q->RecordCount();
  EXPECT_GT(Columns, 5);
  EXPECT_EQ(Q->FetchedRowCount(), 1);  // counted by executing it once more, not by reading into the window
  Select("SELECT id FROM customers WHERE id < 0");
  EXPECT_EQ(Q->RecordCount(), 0);
}

TEST_F(QueryTest, EditingAQueryIsRefusedAndNothingIsStored) {
  Exec("CREATE TABLE e (id INTEGER PRIMARY KEY, name TEXT); INSERT INTO e VALUES (1, 'one'), (2, 'two')");
  Select("SELECT id, name FROM e ORDER BY id");
  EXPECT_FALSE(Q->CanModify());
  const std::string ReadOnly = "Cannot modify a read-only dataset";
  for (auto Action : {+[](TQuery* Q) { Q->Edit(); }, +[](TQuery* Q) { Q->Insert(); },
                      +[](TQuery* Q) { Q->Append(); }, +[](TQuery* Q) { Q->Delete(); },
                      +[](TQuery* Q) { Q->AppendRecord({Variant(std::int32_t(3)), Variant(std::string("three"))}); }}) {
    EXPECT_NE(DbErrorOf([&] { Action(Q.get()); }).find(ReadOnly), std::string::npos);
    EXPECT_EQ(Q->State(), dsBrowse);
  }
  EXPECT_NE(DbErrorOf([&] { Q->FieldByName("name")->SetAsString("x"); }).find("not in edit"),
            std::string::npos);
  Select("SELECT count(*) AS n, group_concat(name) AS names FROM e");
  EXPECT_EQ(Q->FieldByName("n")->GetAsInteger(), 2);
  EXPECT_EQ(Q->FieldByName("names")->GetAsString(), "one,two");
}

// VARCHAR(n) counts characters: five two-byte characters fit a VARCHAR(5)
// column when read, written and read back; a sixth character is refused.
TEST_F(QueryTest, VarcharSizeCountsCharacters) {
  const std::string Five = "\xC3\xA4\xC3\xB6\xC3\xBC\xC3\x9F\xC3\xA9";  // "äöüßé"
  Exec("CREATE TABLE w (id INTEGER PRIMARY KEY, name VARCHAR(5)); INSERT INTO w VALUES (1, 'Gr\xC3\xB6\xC3\x9F" "e')");
  Select("SELECT name FROM w");
  EXPECT_EQ(Q->FieldByName("name")->GetSize(), 5);
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), "Gr\xC3\xB6\xC3\x9F" "e");
  Q->Close();
  auto T = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
  T->SetDatabase(Db.get());
  T->SetTableName("w");
  T->Open();
  T->Edit();
  T->FieldByName("name")->SetAsString(Five);
  T->Post();
  T->Edit();
  EXPECT_THROW(T->FieldByName("name")->SetAsString(Five + "x"), EDatabaseError);
  EXPECT_EQ(T->FieldByName("name")->GetAsString(), Five);
  T->Cancel();
  T->Close();
  Select("SELECT name, length(name) AS n FROM w");
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), Five);
  EXPECT_EQ(Q->FieldByName("n")->GetAsInteger(), 5);

  // The file does not enforce the declared size; a longer text read from it
  // is refused rather than shown cut, however few bytes it takes.
  Exec("INSERT INTO w VALUES (2, 'abcdef')");
  Select("SELECT name FROM w WHERE id = 2");
  EXPECT_NE(DbErrorOf([&] { Q->FieldByName("name")->GetAsString(); }).find("name"), std::string::npos);
}

// A declared length is a hint to the engine. One wider than a text field can
// hold (or beyond any number) gives a memo that reads and writes the text
// whole; a length just within the bound keeps a sized text field.
TEST_F(QueryTest, TextsDeclaredWiderThanAFieldAreReadWhole) {
  Exec("CREATE TABLE wide (id INTEGER PRIMARY KEY, v VARCHAR(536870912), c CHAR(2147483647), "
       "n NVARCHAR(99999999999999999999), e VARCHAR(1048576), d NUMERIC(99999999999, 99999999999))");
  const std::string Long(300000, 'x');
  Exec("INSERT INTO wide VALUES (1, '" + Long + "', 'short', 'gr\xC3\xBC\xC3\x9F', 'edge', 1.5), "
       "(2, NULL, '', 'z', NULL, NULL)");
  auto Check = [&](TDataSet* DS) {
    for (const char* Name : {"v", "c", "n"}) {
      SCOPED_TRACE(Name);
      EXPECT_EQ(DS->FieldByName(Name)->GetDataType(), ftMemo);
      EXPECT_EQ(DS->FieldByName(Name)->GetSize(), 0);
    }
    EXPECT_EQ(DS->FieldByName("e")->GetDataType(), ftString);
    EXPECT_EQ(DS->FieldByName("e")->GetSize(), MaxFieldSize);
    EXPECT_EQ(DS->FieldByName("d")->GetDataType(), ftFMTBcd);
    DS->First();
    EXPECT_EQ(DS->FieldByName("v")->GetAsString(), Long);
    EXPECT_EQ(DS->FieldByName("c")->GetAsString(), "short");
    EXPECT_EQ(DS->FieldByName("n")->GetAsString(), "gr\xC3\xBC\xC3\x9F");
    EXPECT_EQ(DS->FieldByName("e")->GetAsString(), "edge");
    EXPECT_EQ(DS->FieldByName("d")->GetAsString(), "1.5");
    DS->Next();
    EXPECT_TRUE(DS->FieldByName("v")->IsNull());
    EXPECT_TRUE(DS->FieldByName("e")->IsNull());
    EXPECT_EQ(DS->FieldByName("n")->GetAsString(), "z");
    DS->Next();
    EXPECT_TRUE(DS->Eof());
  };
  Select("SELECT * FROM wide ORDER BY id");
  Check(Q.get());
  Q->Close();
  auto T = CreateOwned<TTable>(static_cast<TComponent*>(nullptr));
  T->SetDatabase(Db.get());
  T->SetTableName("wide");
  T->Open();
  Check(T.get());
  // Written whole through the table, and read back by the engine.
  T->First();
  T->Edit();
  T->FieldByName("v")->SetAsString(Long + "y");
  T->FieldByName("e")->SetAsString("edge2");
  T->Post();
  T->Close();
  Select("SELECT length(v) AS lv, e FROM wide WHERE id = 1");
  EXPECT_EQ(Q->FieldByName("lv")->GetAsInteger(), 300001);
  EXPECT_EQ(Q->FieldByName("e")->GetAsString(), "edge2");
}

TEST_F(QueryTest, UpperFindsAnyCaseAndLikeMatchesCase) {
  Exec("CREATE TABLE n (name TEXT); INSERT INTO n VALUES ('Müller'), ('MÜLLER'), ('Mueller'), ('straße')");
  Q->GetSQL()->SetText("SELECT name FROM n WHERE UPPER(name) = :p ORDER BY name");
  Q->ParamByName("p")->SetAsString("MÜLLER");
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 2);
  Q->Close();
  Q->ParamByName("p")->SetAsString("STRASSE");
  Q->Open();
  EXPECT_EQ(Q->FieldByName("name")->GetAsString(), "straße");

  Select("SELECT name FROM n WHERE name LIKE 'mü%'");
  EXPECT_TRUE(Q->IsEmpty());
  Select("SELECT name FROM n WHERE name LIKE 'Mü%'");
  EXPECT_EQ(Q->RecordCount(), 1);
  Select("SELECT name FROM n WHERE UPPER(name) LIKE UPPER('mü%')");
  EXPECT_EQ(Q->RecordCount(), 2);
}

TEST_F(QueryTest, BadSQLLeavesTheQueryClosedWithTheEngineMessage) {
  Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, v TEXT UNIQUE)");
  struct Row {
    const char* SQL;
    const char* Message;
  } Rows[] = {
      {"SELEC * FROM t", "syntax error"},
      {"SELECT * FROM nope", "no such table: nope"},
      {"SELECT nope FROM t", "no such column: nope"},
      {"SELECT * FROM t; DELETE FROM t", "more than one statement"},
  };
  for (const Row& R : Rows) {
    SCOPED_TRACE(R.SQL);
    Q->GetSQL()->SetText(R.SQL);
    EXPECT_NE(DbErrorOf([&] { Q->Open(); }).find(R.Message), std::string::npos);
    EXPECT_FALSE(Q->GetActive());
    EXPECT_NE(DbErrorOf([&] { Q->Prepare(); }).find(R.Message), std::string::npos);
    EXPECT_FALSE(Q->GetPrepared());
  }
  Q->GetSQL()->SetText("INSERT INTO t (v) VALUES ('same')");
  Q->ExecSQL();
  EXPECT_NE(DbErrorOf([&] { Q->ExecSQL(); }).find("UNIQUE constraint failed"), std::string::npos);
  EXPECT_FALSE(Db->InTransaction());

  // A prepared query runs again with new values.
  Q->GetSQL()->SetText("INSERT INTO t (v) VALUES (:v)");
  Q->Prepare();
  for (const char* V : {"x", "y", "z"}) {
    Q->ParamByName("v")->SetAsString(V);
    Q->ExecSQL();
  }
  EXPECT_TRUE(Q->GetPrepared());
  Select("SELECT v FROM t ORDER BY v");
  EXPECT_EQ(Q->RecordCount(), 4);
}

TEST_F(QueryTest, DefaultOrderComesFromTheOrderByClause) {
  Q->GetSQL()->SetText("SELECT * FROM customers ORDER BY city COLLATE NOCASE, balance DESC");
  TOwned<TIndexDef> Def = Q->PSGetDefaultOrder();
  ASSERT_NE(Def, nullptr);
  EXPECT_EQ(Def->GetFields(), "city;balance");
  EXPECT_EQ(Def->GetCaseInsFields(), "city");
  EXPECT_EQ(Def->GetDescFields(), "balance");
  Q->GetSQL()->SetText("SELECT * FROM customers");
  EXPECT_EQ(Q->PSGetDefaultOrder(), nullptr);
}

}  // namespace
}  // namespace fyndra
