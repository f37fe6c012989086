// The ODBC family on both drivers: connections, values of every type,
// parameters, lazy reading.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include <fyndra/platform/ado/adodb.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>
#include "platform/ado/adofixture.h"

namespace fyndra {
namespace {

using adotest::DataSource;
using adotest::DbErrorOf;
using adotest::TSource;

class AdoTest : public adotest::DriverTest {
 protected:
  void Exec(const std::string& SQL) { Conn->Execute(SQL); }
  TADOQuery* NewQuery(const std::string& SQL) {
    auto* Q = Create<TADOQuery>(Form.get());
    Q->SetConnection(Conn.get());
    Q->GetSQL()->SetText(SQL);
    return Q;
  }
  TADOQuery* Open(const std::string& SQL) {
    TADOQuery* Q = NewQuery(SQL);
    Q->Open();
    return Q;
  }
  // Rows 1..N of t(id, name) with names "n<id>".
  void MakeNumbered(int N) {
    Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, name VARCHAR(20))");
    Exec("INSERT INTO t WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
         std::to_string(N) + ") SELECT i, 'n' || i FROM n");
  }

};

FYNDRA_ON_BOTH_DRIVERS(AdoTest);

TEST_P(AdoTest, ValuesOfEveryTypeArriveExactlyAndNullsAsNull) {
  // Exact decimals are the PostgreSQL driver's; SQLite's driver reports NUMERIC as a double.
  Exec(std::string("CREATE TABLE v (id INTEGER PRIMARY KEY, name VARCHAR(10) NOT NULL, code CHAR(3), note ") +
       (Pg() ? "TEXT" : "TEXT") + ", qty INTEGER, big BIGINT, ratio " + Src->Double() +
       (Pg() ? ", price NUMERIC(18,4), huge NUMERIC(30,10)" : "") +
       ", born DATE, seen TIMESTAMP, ok BOOLEAN, data " + Src->Blob() + (Pg() ? ", at TIME" : "") + ")");
  TADOQuery* Ins = NewQuery(std::string("INSERT INTO v (id, name, code, note, qty, big, ratio, born, seen, ok, data") +
                            (Pg() ? ", price, huge, at" : "") +
                            ") VALUES (1, :name, :code, :note, :qty, :big, :ratio, :born, :seen, :ok, :data" +
                            (Pg() ? ", :price, :huge, :at" : "") + ")");
  TParameters* P = Ins->GetParameters();
  const std::string Name = "Müller 😀";
  const std::string Bytes("\0\1\2\xff zero", 8);
  const TSQLTimeStamp Seen{1999, 12, 31, 23, 59, 59, 999};
  const TBcd Huge = StrToBcd("-12345678901234567890.0123456789", FormatSettingsForLocale("en_US"));
  P->ParamByName(u"name")->SetValue(Name);
  P->ParamByName(u"code")->SetValue("abc");
  P->ParamByName(u"note")->SetValue(std::string(20000, 'x') + "ß");
  P->ParamByName(u"qty")->SetValue(-7);
  P->ParamByName(u"big")->SetValue(std::int64_t(9007199254740993LL));
  P->ParamByName(u"ratio")->SetValue(0.1);
  P->ParamByName(u"born")->SetDataType(ftDate);
  P->ParamByName(u"born")->SetValue(Variant::FromDateTime(EncodeDate(1890, 1, 2)));
  P->ParamByName(u"seen")->SetValue(VarSQLTimeStampCreate(Seen));
  P->ParamByName(u"ok")->SetValue(true);
  P->ParamByName(u"data")->SetDataType(ftBlob);
  P->ParamByName(u"data")->SetValue(Bytes);
  if (Pg()) {
    P->ParamByName(u"price")->SetValue(Currency::FromScaled(99999999994321LL));
    P->ParamByName(u"huge")->SetValue(VarFMTBcdCreate(Huge));
    P->ParamByName(u"at")->SetDataType(ftTime);
    P->ParamByName(u"at")->SetValue(Variant::FromDateTime(EncodeTime(8, 9, 10, 11)));
  }
  EXPECT_EQ(Ins->ExecSQL(), 1);
  Exec("INSERT INTO v (id, name) VALUES (2, 'only')");

  TADOQuery* Q = Open("SELECT * FROM v ORDER BY id");
  struct Expect {
    const char* Name;
    TFieldType Type;
  };
  // SQLite's driver reports CHAR(n) as VARCHAR(n), and no column as NOT NULL.
  std::vector<Expect> Types = {{"id", ftInteger},  {"name", ftString}, {"code", Pg() ? ftFixedChar : ftString}, {"note", ftMemo},
                               {"qty", ftInteger}, {"big", ftLargeint}, {"ratio", ftFloat},   {"born", ftDate},
                               {"seen", ftDateTime}, {"ok", ftBoolean}, {"data", ftBlob}};
  if (Pg()) Types.insert(Types.end(), {{"price", ftBCD}, {"huge", ftFMTBcd}, {"at", ftTime}});
  for (const Expect& E : Types) {
    SCOPED_TRACE(E.Name);
    ASSERT_NE(Q->FindField(E.Name), nullptr);
    EXPECT_EQ(Q->FieldByName(E.Name)->GetDataType(), E.Type);
  }
  EXPECT_EQ(Q->FieldByName("name")->GetRequired(), Pg());
  EXPECT_EQ(Q->FieldByName("name")->GetSize(), 10);
  EXPECT_EQ(Q->FieldByName("name")->AsString(), Name);
  EXPECT_EQ(Q->FieldByName("code")->AsString(), "abc");
  EXPECT_EQ(Q->FieldByName("note")->AsString(), std::string(20000, 'x') + "ß");
  EXPECT_EQ(Q->FieldByName("qty")->AsInteger(), -7);
  EXPECT_EQ(Q->FieldByName("big")->GetAsLargeInt(), 9007199254740993LL);
  EXPECT_EQ(Q->FieldByName("ratio")->AsFloat(), 0.1);
  EXPECT_EQ(Q->FieldByName("born")->AsDateTime(), EncodeDate(1890, 1, 2));
  EXPECT_EQ(Q->FieldByName("seen")->GetAsSQLTimeStamp(), Seen);
  EXPECT_TRUE(Q->FieldByName("ok")->AsBoolean());
  EXPECT_EQ(Q->FieldByName("data")->AsString(), Bytes);
  if (Pg()) {
    EXPECT_EQ(Q->FieldByName("price")->AsCurrency(), Currency::FromScaled(99999999994321LL));
    EXPECT_EQ(BcdCompare(Q->FieldByName("huge")->GetAsBCD(), Huge), 0);
    EXPECT_EQ(Q->FieldByName("at")->AsDateTime(), EncodeTime(8, 9, 10, 11));
  }
  Q->Next();
  for (const Expect& E : Types) {
    SCOPED_TRACE(E.Name);
    if (std::string(E.Name) != "id" && std::string(E.Name) != "name") {
      EXPECT_TRUE(Q->FieldByName(E.Name)->IsNull());
    }
  }
}

TEST_P(AdoTest, ValuesTheFieldsCannotHoldAreRefusedNotChanged) {
  if (Pg()) {
    // Microseconds have no place in a millisecond time stamp.
    Exec("CREATE TABLE s (at TIMESTAMP)");
    Exec("INSERT INTO s VALUES ('2020-01-02 03:04:05.123456')");
    TADOQuery* Q = NewQuery("SELECT * FROM s");
    EXPECT_NE(DbErrorOf([&] { Q->Open(); }).find("finer than milliseconds"), std::string::npos);
  } else {
    // SQLite keeps whatever text it is given; a text over the declared size is not cut.
    Exec("CREATE TABLE s (code VARCHAR(3))");
    Exec("INSERT INTO s VALUES ('abcdef')");
    TADOQuery* Q = NewQuery("SELECT * FROM s");
    EXPECT_NE(DbErrorOf([&] { Q->Open(); }).find("too long"), std::string::npos);
  }
}

// Declared lengths are hints: a text declared wider than the row buffers take
// is a memo, read whole; one within them keeps its size.
TEST_P(AdoTest, TextsDeclaredWiderThanABoundTextAreReadWhole) {
  if (Pg())
    Exec("CREATE TABLE w (id INTEGER, v VARCHAR(10485760), c CHAR(8001), e VARCHAR(200))");
  else
    Exec("CREATE TABLE w (id INTEGER, v VARCHAR(536870912), c CHAR(2147483647), e VARCHAR(200))");
  const std::string Long = std::string(300000, 'x') + "\xC3\x9F";
  TADOQuery* Ins = NewQuery("INSERT INTO w VALUES (1, :v, :c, :e)");
  Ins->GetParameters()->ParamByName(u"v")->SetValue(Long);
  Ins->GetParameters()->ParamByName(u"c")->SetValue("short");
  Ins->GetParameters()->ParamByName(u"e")->SetValue("edge");
  EXPECT_EQ(Ins->ExecSQL(), 1);
  TADOQuery* Q = Open("SELECT * FROM w");
  EXPECT_EQ(Q->FieldByName("v")->GetDataType(), ftMemo);
  EXPECT_EQ(Q->FieldByName("c")->GetDataType(), ftMemo);
  EXPECT_EQ(Q->FieldByName("e")->GetDataType(), ftString);
  EXPECT_EQ(Q->FieldByName("e")->GetSize(), 200);
  EXPECT_EQ(Q->FieldByName("v")->AsString(), Long);
  EXPECT_EQ(TrimRight(Q->FieldByName("c")->AsString()), "short");
  EXPECT_EQ(Q->FieldByName("e")->AsString(), "edge");
}

TEST_P(AdoTest, ARowThatCannotBeReadStopsReadingWithoutSkippingIt) {
  Exec("CREATE TABLE s (id INTEGER, code VARCHAR(3))");
  Exec("INSERT INTO s VALUES (1, 'a')");
  if (Pg()) {
    Exec("ALTER TABLE s ADD COLUMN at TIMESTAMP");
    Exec("INSERT INTO s VALUES (2, 'b', '2020-01-01 00:00:00.0000011')");
  } else {
    Exec("INSERT INTO s VALUES (2, 'toolong')");
  }
  Exec("INSERT INTO s VALUES (3, 'c')");
  TADOQuery* Q = NewQuery("SELECT * FROM s ORDER BY id");
  Q->SetCacheSize(1);
  Q->Open();
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 1);
  EXPECT_NE(DbErrorOf([&] { Q->Next(); }), "<no error>");
  // Asking again gives the same error rather than row 3.
  EXPECT_NE(DbErrorOf([&] { Q->Next(); }), "<no error>");
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 1);
}

TEST_P(AdoTest, HostileTextsTravelAsParametersUnchanged) {
  Exec("CREATE TABLE h (id INTEGER, s VARCHAR(40))");
  const std::vector<std::string> Texts = {"O'Brien", "50% off_", "back\\slash", "a -- comment", "x; DROP TABLE h",
                                          "\"quoted\"", "straße", "日本語", "😀", ":name"};
  TADOQuery* Ins = NewQuery("INSERT INTO h VALUES (:id, :s)");
  for (std::size_t I = 0; I < Texts.size(); ++I) {
    Ins->GetParameters()->ParamByName(u"id")->SetValue(std::int32_t(I));
    Ins->GetParameters()->ParamByName(u"s")->SetValue(Texts[I]);
    Ins->ExecSQL();
  }
  TADOQuery* Q = NewQuery("SELECT id FROM h WHERE s = :s");
  for (std::size_t I = 0; I < Texts.size(); ++I) {
    SCOPED_TRACE(Texts[I]);
    Q->Close();
    Q->GetParameters()->ParamByName(u"s")->SetValue(Texts[I]);
    Q->Open();
    ASSERT_FALSE(Q->IsEmpty());
    EXPECT_EQ(Q->FieldByName("id")->AsInteger(), std::int32_t(I));
    Q->Next();
    EXPECT_TRUE(Q->Eof());
  }
}

TEST_P(AdoTest, ParametersFollowTheCommandText) {
  MakeNumbered(5);
  TADOQuery* Q = NewQuery("SELECT * FROM t WHERE id >= :Low AND id <= :high AND name <> ':skip' -- :comment\n");
  TParameters* P = Q->GetParameters();
  ASSERT_EQ(P->Count(), 2);
  EXPECT_EQ(P->GetItem(0)->GetName(), u"Low");
  EXPECT_EQ(P->FindParam(u"LOW"), P->GetItem(0));  // names ignore case
  EXPECT_EQ(P->FindParam(u"skip"), nullptr);
  EXPECT_EQ(P->FindParam(u"comment"), nullptr);
  EXPECT_NE(DbErrorOf([&] { P->ParamByName(u"nope"); }).find("Parameter 'nope' not found"), std::string::npos);
  P->ParamByName(u"low")->SetValue(2);
  // A parameter never given a value is refused rather than bound as Null.
  EXPECT_NE(DbErrorOf([&] { Q->Open(); }).find("No value for parameter 'high'"), std::string::npos);
  P->ParamByName(u"high")->SetValue(4);
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 3);

  // A new text keeps the values of names that stay, and a name used twice is one parameter.
  Q->GetSQL()->SetText("SELECT * FROM t WHERE id = :low OR id = :low + 1 OR id = :other");
  EXPECT_FALSE(Q->GetActive());
  ASSERT_EQ(P->Count(), 2);
  EXPECT_EQ(P->ParamByName(u"low")->GetValue().AsInteger(), 2);
  P->ParamByName(u"other")->SetValue(Null());
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 2);
}

TEST_P(AdoTest, RowsAreReadABlockAtATime) {
  MakeNumbered(1000);
  TADOQuery* Q = NewQuery("SELECT * FROM t ORDER BY id");
  Q->SetCacheSize(10);
  Q->Open();
  // Blocks grow from one row (the first screen) to CacheSize rows.
  EXPECT_EQ(Q->FetchedRowCount(), 1);
  for (int I = 0; I < 10; ++I) Q->Next();
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 11);
  EXPECT_EQ(Q->FetchedRowCount(), 1 + 2 + 4 + 8);
  for (int I = 0; I < 30; ++I) Q->Next();
  EXPECT_EQ(Q->FetchedRowCount(), 1 + 2 + 4 + 8 + 10 + 10 + 10);
  EXPECT_EQ(Q->GetRecNo(), 41);
  for (int I = 0; I < 35; ++I) Q->Prior();
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 6);
  EXPECT_EQ(Q->FetchedRowCount(), 45);
  Q->Last();
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 1000);
  EXPECT_EQ(Q->RecordCount(), 1000);
  Q->Next();
  EXPECT_TRUE(Q->Eof());
  // Reopening runs the same prepared statement again.
  Q->Close();
  Q->Open();
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 1);
  EXPECT_EQ(Q->FetchedRowCount(), 1);
}

TEST_P(AdoTest, AQueryBookmarkReturnsToItsRecord) {
  MakeNumbered(300);
  TADOQuery* Q = NewQuery("SELECT * FROM t ORDER BY id");
  Q->SetCacheSize(7);
  Q->Open();
  Q->MoveBy(41);
  const TBookmark B = Q->GetBookmark();
  Q->Last();
  Q->GotoBookmark(B);
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 42);
  EXPECT_TRUE(Q->Locate("name", Variant(std::string("n250")), {}));
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 250);
}

TEST_P(AdoTest, ConnectionOpensClosesAndRefusesPlainly) {
  TOwned<TADOConnection> Bad = CreateOwned<TADOConnection>(static_cast<TComponent*>(nullptr));
  Bad->SetName("Bad");
  EXPECT_NE(DbErrorOf([&] { Bad->Open(); }).find("Bad: No connection string"), std::string::npos);
  Bad->SetConnectionString("Driver=NoSuchDriver;Database=x");
  EXPECT_NE(DbErrorOf([&] { Bad->Open(); }).find("Bad: ["), std::string::npos);
  EXPECT_FALSE(Bad->GetConnected());
  Bad->SetConnectionString(Src->ConnectionString());
  Bad->SetLoginPrompt(true);
  EXPECT_NE(DbErrorOf([&] { Bad->Open(); }).find("no login dialog"), std::string::npos);
  EXPECT_FALSE(Bad->GetConnected());

  EXPECT_NE(DbErrorOf([&] { Conn->SetConnectionString("x"); }).find("open connection"), std::string::npos);
  MakeNumbered(3);
  const int Before = Conn->DataSetCount();
  TADOQuery* Q = Open("SELECT * FROM t");
  EXPECT_EQ(Conn->DataSetCount(), Before + 1);
  Conn->Close();
  EXPECT_FALSE(Q->GetActive());
  Q->Open();  // connects again
  EXPECT_TRUE(Conn->GetConnected());
  EXPECT_EQ(Conn->Execute("DELETE FROM t WHERE id > 1"), 2);
}

TEST_P(AdoTest, TransactionsCommitAndRollBack) {
  MakeNumbered(1);
  EXPECT_EQ(Conn->BeginTrans(), 1);
  EXPECT_NE(DbErrorOf([&] { Conn->BeginTrans(); }).find("already active"), std::string::npos);
  Exec("INSERT INTO t VALUES (2, 'b')");
  Conn->RollbackTrans();
  EXPECT_NE(DbErrorOf([&] { Conn->CommitTrans(); }).find("No transaction"), std::string::npos);
  Conn->BeginTrans();
  Exec("INSERT INTO t VALUES (3, 'c')");
  Conn->CommitTrans();
  TADOQuery* Q = Open("SELECT id FROM t ORDER BY id");
  EXPECT_EQ(Q->RecordCount(), 2);
  Q->Last();
  EXPECT_EQ(Q->FieldByName("id")->AsInteger(), 3);
  // A transaction still open when the connection closes is rolled back.
  Q->Close();
  Conn->BeginTrans();
  Exec("DELETE FROM t");
  Conn->Close();
  Q->Open();
  EXPECT_EQ(Q->RecordCount(), 2);
}

TEST_P(AdoTest, DatasetsReadAndRefuseEdits) {
  MakeNumbered(2);
  TADOQuery* Q = Open("SELECT * FROM t");
  EXPECT_FALSE(Q->CanModify());
  EXPECT_NE(DbErrorOf([&] { Q->Edit(); }), "<no error>");
  auto* D = Create<TADODataSet>(Form.get());
  D->SetConnection(Conn.get());
  D->SetCommandType(cmdStoredProc);
  D->SetCommandText(u"anything");
  EXPECT_NE(DbErrorOf([&] { D->Open(); }).find("cmdStoredProc is not supported"), std::string::npos);
  D->SetCommandType(cmdText);
  D->SetCommandText(u"SELECT * FROM t WHERE name = :n");
  D->GetParameters()->ParamByName(u"n")->SetValue("n2");
  D->Open();
  EXPECT_EQ(D->FieldByName("id")->AsInteger(), 2);
  // An invalid statement reports the driver's diagnostics.
  EXPECT_NE(DbErrorOf([&] { Open("SELECT * FROM no_such_table"); }).find("no_such_table"), std::string::npos);
}

}  // namespace
}  // namespace fyndra
