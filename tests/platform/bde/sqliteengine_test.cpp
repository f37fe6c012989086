#include <fyndra/platform/bde/sqliteengine.h>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fyndra/platform/bde/sampledb.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>
#include "platform/bde/bdetestutil.h"

namespace fyndra {
namespace {

namespace fs = std::filesystem;
using bdetest::TempDir;

std::string QueryText(TSQLiteConnection& Conn, const std::string& SQL) {
  TSQLiteStatement S(Conn, SQL);
  std::string Out;
  while (S.Step()) {
    if (!Out.empty()) Out += '|';
    Out += S.ColumnIsNull(0) ? "<null>" : std::string(S.ColumnText(0));
  }
  return Out;
}

TEST(SQLiteEngine, UpperAndLowerFoldCaseOverAllOfUnicode) {
  SetDefaultLocale("en_US");
  TSQLiteConnection Conn(":memory:");
  EXPECT_EQ(QueryText(Conn, "SELECT upper('straße')"), "STRASSE");
  EXPECT_EQ(QueryText(Conn, "SELECT UPPER('Müller Ødegaard éa')"), "MÜLLER ØDEGAARD ÉA");
  EXPECT_EQ(QueryText(Conn, "SELECT lower('ÅBERG')"), "åberg");
  EXPECT_EQ(QueryText(Conn, "SELECT upper(NULL)"), "<null>");
  Conn.Exec("CREATE TABLE t (name TEXT); INSERT INTO t VALUES ('Müller'), ('Mueller'), ('müller'), ('Smith')");
  EXPECT_EQ(QueryText(Conn, "SELECT name FROM t WHERE UPPER(name) = 'MÜLLER' ORDER BY name"), "Müller|müller");
}

// A cell is read once; a number comes as text too only when asked for, and
// then as the engine's own text of it.
TEST(SQLiteEngine, ReadCellGivesEachStorageAndTextWhenAskedFor) {
  TSQLiteConnection Conn(":memory:");
  TSQLiteStatement S(Conn, "SELECT 42, 2.5, 'tex''t', x'00FF', NULL");
  ASSERT_TRUE(S.Step());
  struct Case {
    int Col;
    TCellText Text;
    TStorage Storage;
    const char* Bytes;
  } Cases[] = {
      {0, TCellText::Never, TStorage::Integer, ""},   {0, TCellText::ForReal, TStorage::Integer, ""},
      {0, TCellText::Always, TStorage::Integer, "42"}, {1, TCellText::Never, TStorage::Real, ""},
      {1, TCellText::ForReal, TStorage::Real, "2.5"},  {2, TCellText::Never, TStorage::Text, "tex't"},
      {4, TCellText::Always, TStorage::Null, ""},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Col);
    TSQLiteCell Cell;
    S.ReadCell(C.Col, Cell, C.Text);
    EXPECT_EQ(Cell.Storage, C.Storage);
    EXPECT_EQ(Cell.Bytes, C.Bytes);
  }
  TSQLiteCell Cell;
  S.ReadCell(0, Cell, TCellText::Never);
  EXPECT_EQ(Cell.Integer, 42);
  S.ReadCell(1, Cell, TCellText::Never);
  EXPECT_EQ(Cell.Real, 2.5);
  S.ReadCell(3, Cell, TCellText::Always);
  EXPECT_EQ(Cell.Storage, TStorage::Blob);
  EXPECT_EQ(Cell.Bytes, std::string_view("\x00\xFF", 2));
}

// A real's text is the engine's own, whatever the value: amounts with two
// places, values around the switch to exponents, and random bit patterns.
TEST(SQLiteEngine, ARealsTextIsTheEnginesText) {
  TSQLiteConnection Conn(":memory:");
  Conn.Exec("CREATE TABLE t (x REAL)");
  std::vector<double> Values = {0.0, -0.0, 1.0, -1.0, 0.1, 0.5, 2.5, 100.0, 1e14, 99999999999999.9,
                                999999999999999.0, 1e15, 1e16, 0.0001, 0.00012345, 0.00001, 1.0 / 3, 2.0 / 3,
                                123456789012345.6, 9007199254740993.0, 5e-324, 1.7976931348623157e308};
  std::mt19937_64 Rng(11);
  for (int I = 0; I < 20000; ++I) Values.push_back(double(std::int64_t(Rng() % 2000000000000) - 1000000000000) / 100);
  for (int I = 0; I < 20000; ++I) {
    double D;
    const std::uint64_t Bits = Rng();
    std::memcpy(&D, &Bits, sizeof D);
    if (std::isfinite(D)) Values.push_back(D);
  }
  for (int I = 0; I < 20000; ++I) Values.push_back(std::ldexp(double(Rng() >> 11), int(Rng() % 80) - 60));
  // Exactly half-way after the fifteenth digit, and near it, where rounding
  // rules differ.
  for (int I = 0; I < 5000; ++I) {
    const double Tie = double(std::int64_t(1000000000000000 + Rng() % 8000000000000000) / 10 * 10 + 5);
    Values.push_back(Tie);
    Values.push_back(-Tie / 1000);
    Values.push_back(std::nextafter(Tie, 0.0));
  }
  {
    TSQLiteStatement Insert(Conn, "INSERT INTO t VALUES (?)");
    for (double D : Values) {
      Insert.Reset();
      Insert.Bind(1, Variant(D), ftFloat);
      Insert.Step();
    }
  }
  TSQLiteStatement S(Conn, "SELECT x, CAST(x AS TEXT) FROM t");
  std::size_t Rows = 0;
  while (S.Step()) {
    TSQLiteCell Cell;
    S.ReadCell(0, Cell, TCellText::ForReal);
    ASSERT_EQ(Cell.Storage, TStorage::Real);
    ASSERT_EQ(Cell.Bytes, S.ColumnText(1)) << Cell.Real;
    ++Rows;
  }
  EXPECT_EQ(Rows, Values.size());
}

TEST(SQLiteEngine, ColumnInfoTellsTheDeclarationOfATableColumn) {
  TSQLiteConnection Conn(":memory:");
  Conn.Exec("CREATE TABLE t (id INTEGER PRIMARY KEY AUTOINCREMENT, name VARCHAR(9) NOT NULL COLLATE NOCASE, v)");
  TSQLiteColumnInfo Info;
  ASSERT_TRUE(Conn.ColumnInfo("t", "name", Info));
  EXPECT_EQ(Info.DeclType, "VARCHAR(9)");
  EXPECT_EQ(Info.Collation, "NOCASE");
  EXPECT_TRUE(Info.NotNull);
  EXPECT_FALSE(Info.PrimaryKey);
  ASSERT_TRUE(Conn.ColumnInfo("T", "ID", Info));
  EXPECT_TRUE(Info.PrimaryKey && Info.AutoIncrement);
  ASSERT_TRUE(Conn.ColumnInfo("t", "v", Info));
  EXPECT_EQ(Info.DeclType, "");
  EXPECT_EQ(Info.Collation, "BINARY");
  EXPECT_FALSE(Conn.ColumnInfo("t", "nope", Info));
  EXPECT_FALSE(Conn.ColumnInfo("nope", "id", Info));
}

TEST(SQLiteEngine, LikeIsCaseSensitiveAndPrefixLikeKeepsTheIndex) {
  TempDir Dir;
  const std::string File = Dir.File("sample.db");
  GenerateSampleDatabase(File, {.Customers = 300});
  TSQLiteConnection Conn(File);
  EXPECT_EQ(QueryText(Conn, "SELECT 'abc' LIKE 'a%'"), "1");
  EXPECT_EQ(QueryText(Conn, "SELECT 'abc' LIKE 'A%'"), "0");
  EXPECT_EQ(QueryText(Conn, "SELECT 'Müller' LIKE 'mü%'"), "0");
  EXPECT_EQ(QueryText(Conn, "SELECT UPPER('Müller') LIKE UPPER('mü%')"), "1");

  // Every name starting with "An" and no name starting with "an".
  std::string Names = QueryText(Conn, "SELECT name FROM customers WHERE name LIKE 'An%'");
  EXPECT_FALSE(Names.empty());
  EXPECT_EQ(QueryText(Conn, "SELECT count(*) FROM customers WHERE name LIKE 'an%'"), "0");

  // An index in the engine's own byte order serves a prefix pattern.
  Conn.Exec("CREATE INDEX customers_name_bytes ON customers (name)");
  TSQLiteStatement Plan(Conn, "EXPLAIN QUERY PLAN SELECT * FROM customers WHERE name LIKE 'An%'");
  std::string Detail;
  while (Plan.Step()) Detail += std::string(Plan.ColumnText(3)) + "\n";
  EXPECT_NE(Detail.find("USING INDEX customers_name_bytes"), std::string::npos) << Detail;
}

TEST(SQLiteEngine, ExactDecimalsAndDatesRoundTrip) {
  SetDefaultLocale("de_DE");  // a decimal comma must not reach the engine
  TSQLiteConnection Conn(":memory:");
  // A NUMERIC column keeps 15 significant digits exactly (the engine stores a
  // REAL); a TEXT column keeps any number of digits.
  Conn.Exec("CREATE TABLE v (c NUMERIC(15,4), b NUMERIC(40,12), bt TEXT, ct TEXT, d DATE, t TIME, dt DATETIME, "
            "ts TIMESTAMP)");
  const Currency Cash = Currency::FromScaled(-123456789012345LL);  // -12345678901.2345
  const Currency MaxCash = Currency::FromScaled(INT64_MAX);       // 19 digits
  const TBcd Fifteen = StrToBcd("123456,789012345");
  const TBcd Big = StrToBcd("12345678901234567890,123456789012");
  const TDateTime Date = EncodeDate(1850, 3, 4);  // before the epoch: a negative day number
  const TDateTime Time = EncodeTime(13, 45, 6, 789);
  const TSQLTimeStamp Stamp{2024, 2, 29, 23, 59, 58, 7};
  {
    TSQLiteStatement Ins(Conn, "INSERT INTO v VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    Ins.Bind(1, Variant(Cash), ftBCD);
    Ins.Bind(2, VarFMTBcdCreate(Fifteen), ftFMTBcd);
    Ins.Bind(3, VarFMTBcdCreate(Big), ftFMTBcd);
    Ins.Bind(4, Variant(MaxCash), ftCurrency);
    Ins.Bind(5, Variant::FromDateTime(Date), ftDate);
    Ins.Bind(6, Variant::FromDateTime(Time), ftTime);
    Ins.Bind(7, Variant::FromDateTime(Date - Time), ftDateTime);
    Ins.Bind(8, Variant(Stamp), ftTimeStamp);
    Ins.Execute();
    Ins.Bind(1, Variant(Currency::FromScaled(1000)), ftCurrency);
    Ins.Bind(2, VarFMTBcdCreate(StrToBcd("0,1")), ftFMTBcd);
    for (int I = 3; I <= 8; ++I) Ins.Bind(I, Null());
    Ins.Execute();
  }
  TSQLiteStatement Sel(Conn, "SELECT c, b, bt, ct, d, t, dt, ts FROM v ORDER BY rowid");
  ASSERT_TRUE(Sel.Step());
  EXPECT_EQ(Sel.ColumnValue(0, ftBCD).AsCurrency(), Cash);
  EXPECT_EQ(BcdCompare(Sel.ColumnValue(1, ftFMTBcd).AsBcd(), Fifteen), 0);
  EXPECT_EQ(BcdCompare(Sel.ColumnValue(2, ftFMTBcd).AsBcd(), Big), 0);
  EXPECT_EQ(Sel.ColumnValue(3, ftBCD).AsCurrency(), MaxCash);
  EXPECT_EQ(Sel.ColumnText(4), "1850-03-04");
  EXPECT_EQ(Sel.ColumnValue(4, ftDate).AsDateTime(), Date);
  EXPECT_EQ(Sel.ColumnText(5), "13:45:06.789");
  EXPECT_NEAR(Sel.ColumnValue(5, ftTime).AsDateTime(), Time, 1e-9);
  EXPECT_EQ(Sel.ColumnText(6), "1850-03-04 13:45:06.789");
  EXPECT_NEAR(Sel.ColumnValue(6, ftDateTime).AsDateTime(), Date - Time, 1e-9);
  EXPECT_EQ(Sel.ColumnText(7), "2024-02-29 23:59:58.007");
  EXPECT_EQ(Sel.ColumnValue(7, ftTimeStamp).AsSQLTimeStamp(), Stamp);
  ASSERT_TRUE(Sel.Step());
  EXPECT_EQ(Sel.ColumnValue(0, ftCurrency).AsCurrency(), Currency::FromScaled(1000));
  EXPECT_EQ(BcdToStr(Sel.ColumnValue(1, ftFMTBcd).AsBcd(), FormatSettingsForLocale("en_US")), "0.1");
  EXPECT_TRUE(Sel.ColumnValue(4, ftDate).IsNull());
  EXPECT_FALSE(Sel.Step());
  SetDefaultLocale("en_US");
}

TEST(SQLiteEngine, DeclaredTypesMapToFieldTypes) {
  struct Row {
    const char* Decl;
    TFieldType Type;
    int Size;
    int Precision;
  };
  const Row Rows[] = {
      {"INTEGER", ftLargeint, 0, 0},        {"int", ftInteger, 0, 0},
      {"SMALLINT", ftSmallint, 0, 0},       {"BOOLEAN", ftBoolean, 0, 0},
      {"REAL", ftFloat, 0, 0},              {"double precision", ftFloat, 0, 0},
      {"NUMERIC(12,2)", ftBCD, 2, 12},      {"DECIMAL(30, 10)", ftFMTBcd, 10, 30},
      {"NUMERIC(10,6)", ftFMTBcd, 6, 10},   {"NUMERIC", ftFMTBcd, 0, 64},
      {"MONEY", ftBCD, 4, 19},          {"DATE", ftDate, 0, 0},
      {"TIME", ftTime, 0, 0},               {"DATETIME", ftDateTime, 0, 0},
      {"TIMESTAMP", ftTimeStamp, 0, 0},     {"VARCHAR(40)", ftString, 40, 0},
      {"nvarchar( 7 )", ftString, 7, 0},    {"CHAR(3)", ftFixedChar, 3, 0},
      {"TEXT", ftMemo, 0, 0},               {"VARCHAR", ftMemo, 0, 0},
      {"BLOB", ftBlob, 0, 0},               {"", ftBlob, 0, 0},
      {"GUID", ftGuid, 38, 0},              {"UNSIGNED SMALL INT", ftLargeint, 0, 0},
      {"LONGTEXT", ftMemo, 0, 0},           {"FLOATING", ftFloat, 0, 0},
      // Lengths beyond what a field holds, or beyond any int: read whole.
      {"VARCHAR(1048576)", ftString, 1048576, 0},
      {"VARCHAR(1048577)", ftMemo, 0, 0},   {"VARCHAR(536870912)", ftMemo, 0, 0},
      {"char(99999999999999999999)", ftMemo, 0, 0},
      {"CHARACTER VARYING (2147483648)", ftMemo, 0, 0},
      {"VARCHAR(-5)", ftMemo, 0, 0},        {"VARCHAR(+7)", ftString, 7, 0},
      {"NUMERIC(64, 64)", ftFMTBcd, 64, 64},
      {"NUMERIC(65,2)", ftFMTBcd, 0, 64},   {"DECIMAL(10, 4294967296)", ftFMTBcd, 0, 64},
      {"NUMERIC(18,\t4)", ftBCD, 4, 18},
  };
  for (const Row& R : Rows) {
    TColumnType T = ColumnTypeFromDecl(R.Decl);
    EXPECT_EQ(T.DataType, R.Type) << R.Decl;
    EXPECT_EQ(T.Size, R.Size) << R.Decl;
    EXPECT_EQ(T.Precision, R.Precision) << R.Decl;
  }
}

// The case-insensitive collation orders as the text service's order of
// upper-case forms, in the locale its name carries.
TEST(SQLiteEngine, CaseInsensitiveCollationOrdersUpperCaseForms) {
  SetDefaultLocale("en_US");
  TSQLiteConnection Conn(":memory:");
  EXPECT_EQ(CaseInsensitiveCollation(), "FYNDRA_CI_en_US");
  Conn.Exec("CREATE TABLE t (name TEXT); INSERT INTO t VALUES ('Strasser'), ('straße'), ('STRASSE'), ('Zoë'), "
            "('émile'), ('Émile'), ('Ölaf'), ('anna'), ('ırmak'), ('IRMA')");
  const std::string Collate = CollateClause(CaseInsensitiveCollation());
  std::vector<std::string> Names;
  for (std::string Row = QueryText(Conn, "SELECT name FROM t ORDER BY name" + Collate + ", name"); !Row.empty();) {
    const std::size_t Bar = Row.find('|');
    Names.push_back(Row.substr(0, Bar));
    Row = Bar == std::string::npos ? "" : Row.substr(Bar + 1);
  }
  ASSERT_EQ(Names.size(), 10u);
  for (std::size_t I = 1; I < Names.size(); ++I)
    EXPECT_LE(AnsiCompareUpperText(Names[I - 1], Names[I]), 0) << Names[I - 1] << " / " << Names[I];
  EXPECT_EQ(QueryText(Conn, "SELECT count(*) FROM t WHERE name = 'strasse'" + Collate), "2");
  EXPECT_EQ(QueryText(Conn, "SELECT count(*) FROM t WHERE name = 'IRMAK'" + Collate), "1");

  // An index made under Swedish rules keeps them under another text locale.
  SetDefaultLocale("sv_SE");
  Conn.Exec("CREATE INDEX t_sv ON t (name" + CollateClause(CaseInsensitiveCollation()) + ")");
  SetDefaultLocale("en_US");
  TSQLiteConnection Other(":memory:");
  EXPECT_EQ(QueryText(Conn, "SELECT name FROM t WHERE name >= 'z'" + CollateClause("FYNDRA_CI_sv_SE") +
                                " ORDER BY name" + CollateClause("FYNDRA_CI_sv_SE")),
            "Zoë|Ölaf");  // Swedish: ö after z
  EXPECT_TRUE(IsCaseInsensitiveCollation("fyndra_ci_sv_SE"));
  EXPECT_FALSE(IsCurrentCaseInsensitiveCollation("FYNDRA_CI_sv_SE"));
  EXPECT_TRUE(IsCurrentCaseInsensitiveCollation("fyndra_ci_EN_us"));
  EXPECT_FALSE(IsCaseInsensitiveCollation("NOCASE"));
}

// A program without the collation reads every row of a table indexed with
// it; it is refused only what needs the collation.
TEST(SQLiteEngine, FilesStayReadableWithoutTheCollation) {
  SetDefaultLocale("en_US");
  TempDir Dir;
  const std::string File = Dir.File("ci.db");
  {
    TSQLiteConnection Conn(File, {.Create = true});
    Conn.Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, name TEXT); INSERT INTO t (name) VALUES ('b'), ('Ä'), ('a');"
              "CREATE INDEX t_name ON t (name" + CollateClause(CaseInsensitiveCollation()) + ")");
  }
  sqlite3* Raw = nullptr;
  ASSERT_EQ(sqlite3_open_v2(File.c_str(), &Raw, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  auto Run = [Raw](const char* SQL) {
    sqlite3_stmt* S = nullptr;
    std::string Out;
    if (sqlite3_prepare_v2(Raw, SQL, -1, &S, nullptr) != SQLITE_OK) return std::string("error: ") + sqlite3_errmsg(Raw);
    int Rc;
    while ((Rc = sqlite3_step(S)) == SQLITE_ROW) Out += reinterpret_cast<const char*>(sqlite3_column_text(S, 0));
    if (Rc != SQLITE_DONE) Out = std::string("error: ") + sqlite3_errmsg(Raw);
    sqlite3_finalize(S);
    return Out;
  };
  EXPECT_EQ(Run("SELECT name FROM t ORDER BY id"), "bÄa");
  EXPECT_EQ(Run("SELECT name FROM t WHERE name >= 'a' ORDER BY name"), "abÄ");  // in byte order
  EXPECT_NE(Run("INSERT INTO t (name) VALUES ('c')").find("no such collation sequence"), std::string::npos);
  // Registering the collation makes the file whole again.
  std::string Locale = "en_US";
  ASSERT_EQ(sqlite3_create_collation_v2(Raw, CaseInsensitiveCollation(Locale).c_str(), SQLITE_UTF8, &Locale,
                                        &CompareCaseInsensitiveCollation, nullptr),
            SQLITE_OK);
  EXPECT_EQ(Run("INSERT INTO t (name) VALUES ('c')"), "");
  EXPECT_EQ(Run("PRAGMA integrity_check"), "ok");
  sqlite3_close(Raw);
}

TEST(SQLiteEngine, BadInputRaisesWithTheEngineMessage) {
  TempDir Dir;
  auto MessageOf = [](const std::function<void()>& Action) { return bdetest::DbErrorOf(Action); };
  // A missing file is not created unless asked.
  const std::string Missing = Dir.File("missing.db");
  EXPECT_NE(MessageOf([&] { TSQLiteConnection C(Missing); }).find("unable to open"), std::string::npos);
  EXPECT_FALSE(fs::exists(Missing));
  { TSQLiteConnection Created(Missing, {.Create = true}); }
  EXPECT_TRUE(fs::exists(Missing));

  const std::string Junk = Dir.File("junk.db");
  std::ofstream(Junk) << std::string(4096, 'x');
  EXPECT_NE(MessageOf([&] { TSQLiteConnection C(Junk); }).find("not a database"), std::string::npos);

  // A file another connection holds exclusively is reported as locked.
  TSQLiteConnection Holder(Missing);
  Holder.Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, v INTEGER NOT NULL UNIQUE); BEGIN EXCLUSIVE");
  EXPECT_NE(MessageOf([&] { TSQLiteConnection C(Missing); }).find("locked"), std::string::npos);
  Holder.Exec("COMMIT");

  TSQLiteConnection Conn(Missing);
  EXPECT_NE(MessageOf([&] { TSQLiteStatement S(Conn, "SELEC * FROM t"); }).find("syntax error"), std::string::npos);
  EXPECT_NE(MessageOf([&] { TSQLiteStatement S(Conn, "SELECT * FROM nope"); }).find("no such table"),
            std::string::npos);
  EXPECT_NE(MessageOf([&] { TSQLiteStatement S(Conn, "SELECT nope FROM t"); }).find("no such column"),
            std::string::npos);
  EXPECT_EQ(MessageOf([&] { TSQLiteStatement S(Conn, "DELETE FROM t; DROP TABLE t"); }),
            "The SQL text holds more than one statement");
  { TSQLiteStatement Fine(Conn, "SELECT 1; -- a trailing comment\n ;"); }

  TSQLiteStatement Ins(Conn, "INSERT INTO t (v) VALUES (?)");
  EXPECT_NE(MessageOf([&] { Ins.Bind(1, Variant("abc"), ftInteger); }), "<no error>");
  Ins.Bind(1, Variant(std::int32_t(5)), ftInteger);
  Ins.Execute();
  EXPECT_NE(MessageOf([&] { Ins.Execute(); }).find("UNIQUE constraint failed"), std::string::npos);
  EXPECT_FALSE(Conn.InTransaction());

  Conn.Exec("INSERT INTO t (v) VALUES ('abc')");  // no type is enforced by the file
  TSQLiteStatement Sel(Conn, "SELECT v FROM t WHERE typeof(v) = 'text'");
  ASSERT_TRUE(Sel.Step());
  EXPECT_NE(MessageOf([&] { Sel.ColumnValue(0, ftInteger); }).find("'abc'"), std::string::npos);
}

}  // namespace
}  // namespace fyndra
