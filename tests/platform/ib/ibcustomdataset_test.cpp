// Queries and select datasets: every engine type to its field type and back
// exactly, parameters bound by type, lazy fetching, navigation and bookmarks,
// and the refusals of a read-only family.
#include <gtest/gtest.h>

#include <fyndra/platform/db/sqltokens.h>
#include <fyndra/platform/ib/ibcustomdataset.h>
#include <fyndra/platform/rtl/sysutils.h>
#include "platform/ib/ibtestutil.h"

namespace fyndra {
namespace {

using ibtest::DbErrorOf;

class IBQueryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Q->SetName("Q");
    Q->SetDatabase(T.Db.get());
  }
  void Select(const std::string& SQL) {
    Q->Close();
    Q->GetSQL()->SetText(SQL);
    Q->Open();
  }
  void Run(const std::string& SQL) {
    Q->Close();
    Q->GetSQL()->SetText(SQL);
    Q->ExecSQL();
  }
  // Fills a table of N numbered rows in one statement.
  void Numbers(int N) {
    T.Exec("CREATE TABLE nums (n INTEGER NOT NULL PRIMARY KEY, label VARCHAR(12))");
    T.Exec("EXECUTE BLOCK AS DECLARE i INTEGER = 1; BEGIN WHILE (i <= " + std::to_string(N) +
           ") DO BEGIN INSERT INTO nums VALUES (:i, 'n' || :i); i = i + 1; END END");
  }
  ibtest::TestDatabase T;
  TOwned<TIBQuery> Q = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
};

TEST_F(IBQueryTest, EngineTypesGiveFieldTypesAndValuesRoundTripExactly) {
  T.Exec(
      "CREATE TABLE v (id INTEGER NOT NULL PRIMARY KEY, name VARCHAR(10) NOT NULL, code CHAR(3), "
      "s SMALLINT, big BIGINT, price NUMERIC(9,2), rate DECIMAL(18,4), wide NUMERIC(18,2), fine NUMERIC(18,6), "
      "ratio DOUBLE PRECISION, f FLOAT, born DATE, tm TIME, seen TIMESTAMP, ok BOOLEAN, "
      "note BLOB SUB_TYPE TEXT, data BLOB SUB_TYPE BINARY, raw CHAR(4) CHARACTER SET OCTETS, "
      "vraw VARCHAR(4) CHARACTER SET OCTETS)");
  Q->GetSQL()->SetText(
      "INSERT INTO v VALUES (:id, :name, :code, :s, :big, :price, :rate, :wide, :fine, :ratio, :f, :born, :tm, "
      ":seen, :ok, :note, :data, :raw, :vraw)");
  const Currency Rate = Currency::FromScaled(INT64_MAX);                           // 922337203685477.5807
  const TBcd Wide = StrToBcd("-9999999999999999.99", FormatSettingsForLocale("en_US"));  // past Currency
  const TBcd Fine = StrToBcd("123456.000001", FormatSettingsForLocale("en_US"));
  const std::string Long(100000, 'x');
  const std::string Bytes("\0\1\2\xFF", 4);
  Q->ParamByName("id")->SetAsInteger(1);
  Q->ParamByName("name")->SetAsString("Müller 'Ö'");
  Q->ParamByName("code")->SetAsString("ä");
  Q->ParamByName("s")->SetAsSmallInt(-7);
  Q->ParamByName("big")->SetAsLargeInt(INT64_MIN);
  Q->ParamByName("price")->SetAsBCD(Currency::FromScaled(-12345600));  // -1234.56
  Q->ParamByName("rate")->SetAsBCD(Rate);
  Q->ParamByName("wide")->SetAsFMTBCD(Wide);
  Q->ParamByName("fine")->SetAsFMTBCD(Fine);
  Q->ParamByName("ratio")->SetAsFloat(0.1);
  Q->ParamByName("f")->SetAsFloat(0.5);
  Q->ParamByName("born")->SetAsDate(EncodeDate(1850, 1, 2));  // before the engine's day 0
  Q->ParamByName("tm")->SetAsTime(EncodeTime(8, 9, 10, 11));
  Q->ParamByName("seen")->SetAsSQLTimeStamp(TSQLTimeStamp{1899, 12, 29, 23, 59, 59, 999});
  Q->ParamByName("ok")->SetAsBoolean(true);
  Q->ParamByName("note")->SetAsMemo(Long);
  Q->ParamByName("data")->SetAsBlob(Bytes);
  Q->ParamByName("raw")->SetAsBlob(Bytes);
  Q->ParamByName("vraw")->SetAsBlob(std::string("\0a", 2));
  Q->ExecSQL();
  EXPECT_EQ(Q->GetRowsAffected(), 1);
  // Nulls in every column that takes them.
  Run("INSERT INTO v (id, name) VALUES (2, '')");

  Select("SELECT * FROM v ORDER BY id");
  struct Expect {
    const char* Name;
    TFieldType Type;
    int Size;
    bool Required;
  } Fields[] = {
      {"ID", ftInteger, 0, true},     {"NAME", ftString, 10, true},  {"CODE", ftFixedChar, 3, false},
      {"S", ftSmallint, 0, false},    {"BIG", ftLargeint, 0, false}, {"PRICE", ftBCD, 2, false},
      {"RATE", ftBCD, 4, false},      {"WIDE", ftFMTBcd, 2, false},  {"FINE", ftFMTBcd, 6, false},
      {"RATIO", ftFloat, 0, false},   {"F", ftFloat, 0, false},      {"BORN", ftDate, 0, false},
      {"TM", ftTime, 0, false},       {"SEEN", ftDateTime, 0, false}, {"OK", ftBoolean, 0, false},
      {"NOTE", ftMemo, 0, false},     {"DATA", ftBlob, 0, false},    {"RAW", ftBytes, 4, false},
      {"VRAW", ftVarBytes, 4, false},
  };
  ASSERT_EQ(Q->FieldCount(), 19);
  for (const Expect& E : Fields) {
    SCOPED_TRACE(E.Name);
    TFieldDef* D = Q->GetFieldDefs()->Find(E.Name);
    EXPECT_EQ(D->GetDataType(), E.Type);
    EXPECT_EQ(D->GetSize(), E.Size);
    EXPECT_EQ(D->GetRequired(), E.Required);
  }
  EXPECT_EQ(Q->FieldByName("name")->AsString(), "Müller 'Ö'");
  EXPECT_EQ(Q->FieldByName("code")->AsString(), "ä  ");
  EXPECT_EQ(Q->FieldByName("s")->AsInteger(), -7);
  EXPECT_EQ(Q->FieldByName("big")->GetAsLargeInt(), INT64_MIN);
  EXPECT_EQ(Q->FieldByName("price")->AsCurrency(), Currency::FromScaled(-12345600));
  EXPECT_EQ(Q->FieldByName("rate")->AsCurrency(), Rate);
  EXPECT_EQ(BcdCompare(Q->FieldByName("wide")->GetAsBCD(), Wide), 0);
  EXPECT_EQ(BcdCompare(Q->FieldByName("fine")->GetAsBCD(), Fine), 0);
  EXPECT_EQ(Q->FieldByName("ratio")->AsFloat(), 0.1);
  EXPECT_EQ(Q->FieldByName("f")->AsFloat(), 0.5);
  EXPECT_EQ(Q->FieldByName("born")->AsDateTime(), EncodeDate(1850, 1, 2));
  EXPECT_EQ(DateTimeToSQLTimeStamp(Q->FieldByName("tm")->AsDateTime()).Fractions, 11u);
  EXPECT_EQ(Q->FieldByName("seen")->GetAsSQLTimeStamp(), (TSQLTimeStamp{1899, 12, 29, 23, 59, 59, 999}));
  EXPECT_TRUE(Q->FieldByName("ok")->AsBoolean());
  EXPECT_EQ(Q->FieldByName("note")->AsString(), Long);
  EXPECT_EQ(Q->FieldByName("data")->AsString(), Bytes);
  EXPECT_EQ(Q->FieldByName("raw")->AsString(), Bytes);
  EXPECT_EQ(Q->FieldByName("vraw")->AsString(), std::string("\0a", 2));

  Q->Next();
  EXPECT_EQ(Q->FieldByName("name")->AsString(), "");
  EXPECT_FALSE(Q->FieldByName("name")->IsNull());  // an empty text is not Null
  for (const Expect& E : Fields) {
    if (E.Required) continue;
    SCOPED_TRACE(E.Name);
    EXPECT_TRUE(Q->FieldByName(E.Name)->IsNull());
    EXPECT_TRUE(Q->FieldByName(E.Name)->AsVariant().IsNull());
  }

  // Computed columns and duplicate names.
  Select("SELECT COUNT(*) AS c, MAX(a.price) AS m, 'x' || a.name AS s, a.id, b.id FROM v a JOIN v b ON b.id = a.id "
         "GROUP BY 3, 4, 5");
  EXPECT_EQ(Q->FieldByName("c")->GetDataType(), ftLargeint);
  EXPECT_EQ(Q->FieldByName("m")->GetDataType(), ftBCD);
  EXPECT_FALSE(Q->FieldByName("c")->GetRequired());
  EXPECT_EQ(Q->GetFieldNames(), (std::vector<std::string>{"C", "M", "S", "ID", "ID_1"}));
}

TEST_F(IBQueryTest, ParametersAreBoundByTypeAndCompareAsTheEngineDoes) {
  T.Exec("CREATE TABLE p (id INTEGER, name VARCHAR(5), amount NUMERIC(10,2), d DATE)");
  T.Exec("INSERT INTO p VALUES (1, 'a''b', 1.50, '2020-01-31')");
  T.Exec("INSERT INTO p VALUES (2, 'Ärger', 10.00, '2021-06-01')");
  Q->GetSQL()->SetText("SELECT id FROM p WHERE name = :name OR amount >= :lo OR d = :day OR id = :name2");
  EXPECT_EQ(Q->GetParams()->GetParamNames(), "name;lo;day;name2");

  // Never given a value: refused, and the query stays closed.
  EXPECT_EQ(DbErrorOf([&] { Q->Open(); }), "Q: No value for parameter 'name'");
  EXPECT_FALSE(Q->GetActive());

  // A quote inside a value is a value, never SQL.
  Q->ParamByName("name")->SetAsString("a'b");
  Q->ParamByName("lo")->Clear();
  Q->ParamByName("day")->Clear();
  Q->ParamByName("name2")->Clear();
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 1);
  // A text longer than the column it is compared with is compared as it
  // is (the engine alone would refuse it): unequal, and ordered after its prefix.
  Q->Close();
  Q->ParamByName("name")->SetAsString("Ärger mit sechs");
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 0);
  Q->Close();
  Q->ParamByName("name")->SetAsString("Ärger");
  Q->Open();
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 2);
  auto Less = CreateOwned<TIBQuery>(static_cast<TComponent*>(nullptr));
  Less->SetDatabase(T.Db.get());
  Less->GetSQL()->SetText("SELECT COUNT(*) AS c FROM p WHERE name < :v AND id < :big");
  Less->ParamByName("v")->SetAsString("Ärger mit sechs");
  Less->ParamByName("big")->SetAsString("10");
  Less->Open();
  EXPECT_EQ(Less->FieldByName("c")->AsInteger(), 2);
  Less->Close();
  Less->ParamByName("v")->SetAsString("Ärger");  // the statement as written serves again
  Less->Open();
  EXPECT_EQ(Less->FieldByName("c")->AsInteger(), 1);

  // Exact decimals, dates and texts of numbers go to the engine as they are.
  Q->Close();
  Q->ParamByName("name")->Clear();
  Q->ParamByName("lo")->SetAsFMTBCD(StrToBcd("10.000", FormatSettingsForLocale("en_US")));
  Q->Open();
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 2);
  Q->Close();
  Q->ParamByName("lo")->Clear();
  Q->ParamByName("day")->SetAsDate(EncodeDate(2020, 1, 31));
  Q->Open();
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 1);
  Q->Close();
  Q->ParamByName("day")->Clear();
  Q->ParamByName("name2")->SetValue(Variant("2"));
  Q->Open();
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 2);

  // A value the engine cannot convert is the engine's error.
  Q->Close();
  Q->ParamByName("name2")->SetValue(Variant("two"));
  const std::string Error = DbErrorOf([&] { Q->Open(); });
  EXPECT_EQ(Error.rfind("Q: ", 0), 0u) << Error;
  EXPECT_NE(Error.find("conversion error"), std::string::npos) << Error;
  EXPECT_FALSE(Q->GetActive());
}

TEST_F(IBQueryTest, ParameterSyntaxAndFindParam) {
  Q->GetSQL()->SetText("SELECT CAST(:a AS INTEGER) + CAST(:a AS INTEGER) AS twice, ':b' AS quoted FROM rdb$database");
  EXPECT_EQ(Q->ParamCount(), 1);
  EXPECT_EQ(Q->FindParam("nope"), nullptr);
  EXPECT_THROW(Q->ParamByName("nope"), EDatabaseError);
  Q->ParamByName("A")->SetAsInteger(21);
  Q->Open();
  EXPECT_EQ(Q->FieldByName("twice")->AsInteger(), 42);
  EXPECT_EQ(Q->FieldByName("quoted")->AsString(), ":b");

  // Changing the text keeps the values of names that stay.
  Q->GetSQL()->SetText("SELECT CAST(:a AS INTEGER) AS one FROM rdb$database");
  EXPECT_FALSE(Q->GetActive());
  Q->Open();
  EXPECT_EQ(Q->FieldByName("one")->AsInteger(), 21);
}

TEST_F(IBQueryTest, RowsAreFetchedOnlyAsFarAsTheyAreRead) {
  Numbers(500);
  Select("SELECT * FROM nums ORDER BY n");
  EXPECT_LE(Q->FetchedRowCount(), 2);
  EXPECT_EQ(Q->FieldByName("n")->AsInteger(), 1);
  Q->MoveBy(9);
  EXPECT_EQ(Q->FieldByName("n")->AsInteger(), 10);
  EXPECT_LE(Q->FetchedRowCount(), 11);
  EXPECT_EQ(Q->GetRecNo(), 10);

  // Bookmarks and Prior work over the rows read so far.
  TBookmark Ten = Q->GetBookmark();
  Q->Prior();
  EXPECT_EQ(Q->FieldByName("n")->AsInteger(), 9);
  Q->Last();
  EXPECT_EQ(Q->FetchedRowCount(), 500);
  EXPECT_EQ(Q->FieldByName("label")->AsString(), "n500");
  Q->Next();
  EXPECT_TRUE(Q->Eof());
  EXPECT_EQ(Q->FieldByName("n")->AsInteger(), 500);
  Q->GotoBookmark(Ten);
  EXPECT_EQ(Q->FieldByName("n")->AsInteger(), 10);
  Q->First();
  EXPECT_EQ(Q->FieldByName("n")->AsInteger(), 1);
  EXPECT_EQ(Q->RecordCount(), 500);
  Q->SetRecNo(250);
  EXPECT_EQ(Q->FieldByName("n")->AsInteger(), 250);

  // Locate and the record filter run over the same rows.
  EXPECT_TRUE(Q->Locate("label", Variant("N333"), {loCaseInsensitive}));
  EXPECT_EQ(Q->FieldByName("n")->AsInteger(), 333);
  EXPECT_FALSE(Q->Locate("label", Variant("n5000"), {}));
  EXPECT_EQ(Q->FieldByName("n")->AsInteger(), 333);
  Q->SetOnFilterRecord(TFilterRecordEvent::FromCallable([](TDataSet* D, bool& Accept) {
    Accept = D->FieldByName("n")->AsInteger() % 100 == 0;
  }));
  Q->SetFiltered(true);
  EXPECT_EQ(Q->FieldByName("n")->AsInteger(), 100);
  EXPECT_EQ(Q->RecordCount(), 5);

  // Reopening starts a fresh window.
  Q->SetFiltered(false);
  Q->Close();
  Q->Open();
  EXPECT_LE(Q->FetchedRowCount(), 2);
}

TEST_F(IBQueryTest, TheFamilyReadsOnlyAndSaysSo) {
  Numbers(3);
  Select("SELECT * FROM nums");
  EXPECT_FALSE(Q->CanModify());
  EXPECT_EQ(DbErrorOf([&] { Q->Edit(); }), "Q: Cannot modify a read-only dataset");
  EXPECT_EQ(DbErrorOf([&] { Q->Append(); }), "Q: Cannot modify a read-only dataset");
  EXPECT_EQ(DbErrorOf([&] { Q->Delete(); }), "Q: Cannot modify a read-only dataset");
  EXPECT_EQ(Q->FieldByName("n")->AsInteger(), 1);
}

TEST_F(IBQueryTest, InvalidStatementsAreRefusedWithTheEngineMessage) {
  Q->GetSQL()->SetText("SELECT * FROM nowhere");
  std::string Error = DbErrorOf([&] { Q->Open(); });
  EXPECT_EQ(Error.rfind("Q: Dynamic SQL Error", 0), 0u) << Error;
  EXPECT_NE(Error.find("Table unknown; NOWHERE"), std::string::npos) << Error;
  EXPECT_FALSE(Q->GetActive());
  EXPECT_FALSE(Q->GetPrepared());

  Numbers(2);
  Q->GetSQL()->SetText("DELETE FROM nums WHERE n = 1");
  EXPECT_EQ(DbErrorOf([&] { Q->Open(); }), "Q: The statement returns no rows; run it with ExecSQL");
  Q->ExecSQL();
  EXPECT_EQ(Q->GetRowsAffected(), 1);

  // A text with '?' of its own cannot be bound by name.
  Q->GetSQL()->SetText("SELECT * FROM nums WHERE n = ?");
  EXPECT_EQ(DbErrorOf([&] { Q->Open(); }),
            "Q: The SQL text has 1 engine parameters but 0 named ones; write parameters as :name");
}

TEST_F(IBQueryTest, OrderByGivesTheDefaultOrder) {
  Q->GetSQL()->SetText("SELECT * FROM t ORDER BY name DESC, id");
  TOwned<TIndexDef> D = Q->PSGetDefaultOrder();
  ASSERT_TRUE(D);
  EXPECT_EQ(D->GetFields(), "name;id");
  EXPECT_EQ(D->GetDescFields(), "name");
}

// ---------------------------------------------------------------------------
// TIBDataSet

class IBDataSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    T.Exec("CREATE TABLE c (id INTEGER, city VARCHAR(20))");
    T.Exec("INSERT INTO c VALUES (1, 'Köln')");
    T.Exec("INSERT INTO c VALUES (2, 'Berlin')");
    D->SetName("Cities");
    D->SetDatabase(T.Db.get());
  }
  ibtest::TestDatabase T;
  TOwned<TIBDataSet> D = CreateOwned<TIBDataSet>(static_cast<TComponent*>(nullptr));
};

TEST_F(IBDataSetTest, SelectSQLAndItsParametersByName) {
  D->GetSelectSQL()->SetText("SELECT * FROM c WHERE city = :city ORDER BY id");
  EXPECT_EQ(D->GetParams(), D->GetSQLParams());
  EXPECT_EQ(D->GetSQLParams()->GetParamNames(), "city");
  D->GetSQLParams()->ByName("CITY")->SetAsVariant(Variant("Köln"));
  D->Open();
  EXPECT_EQ(D->FieldByName("id")->AsInteger(), 1);
  EXPECT_EQ(D->RecordCount(), 1);

  // An unknown name is the family's error, not a silent null.
  try {
    D->GetSQLParams()->ByName("town");
    FAIL() << "no error";
  } catch (const EIBError& E) {
    EXPECT_EQ(E.Message(), "Parameter 'town' not found");
  }

  // A new text closes the dataset and keeps the values of names that stay.
  D->GetSelectSQL()->SetText("SELECT id FROM c WHERE city <> :city");
  EXPECT_FALSE(D->GetActive());
  D->Open();
  EXPECT_EQ(D->FieldByName("id")->AsInteger(), 2);
  EXPECT_EQ(D->FieldCount(), 1);

  EXPECT_FALSE(D->PSGetDefaultOrder());
  D->GetSelectSQL()->SetText("SELECT id FROM c ORDER BY city");
  EXPECT_EQ(D->PSGetDefaultOrder()->GetFields(), "city");
}

}  // namespace
}  // namespace fyndra
