// The thin layer between the engine family and the SQLite library: one
// connection (TSQLiteConnection) and its prepared statements (TSQLiteStatement),
// plus the value conventions the family uses in database files. This unit is
// the only one that calls the library, and none of its public operations
// takes or returns the library's types.
//
// A connection owns its engine handle; a statement owns its prepared statement
// and must be destroyed before its connection. Every engine failure raises
// EDatabaseError carrying the engine's own message.
//
// Every connection makes SQL agree with the in-memory rules of the dataset
// layer: UPPER and LOWER use the platform text service (full Unicode, so
// UPPER('straße') is 'STRASSE' and UPPER('Müller') is 'MÜLLER'), and LIKE is
// case-sensitive (case-insensitive matching is written with UPPER). Because
// LIKE stays the engine's own operator, a prefix pattern such as LIKE 'ab%'
// still uses an index on a column of the default (binary) collation.
// Foreign key constraints are enforced.
//
// Every connection also knows the case-insensitive collation of each ICU
// locale, named "FYNDRA_CI_" and the locale ("FYNDRA_CI_en_US"): texts in the
// order AnsiCompareUpperTextIn(locale, ...) gives, the order in which the
// case-insensitive tests of the models compare (see textservice.h). The
// current text locale's collation is registered when the connection opens;
// any other is made when a statement or an index names it, so an index built
// under another locale keeps working, in its own locale's order. An index on
// such a collation is what TTable takes for a case-insensitive key.
//
// A program without these collations still reads such a file: the engine
// never needs an index's collation to read rows, and leaves the index unused.
// It refuses what needs the collation: writing rows of a table with such an
// index, a statement that names the collation, an integrity check. Such a
// program registers a collation of the same name (any comparison that upper-
// cases both texts and ignores case will read, the exact one is needed to
// write), or drops the index.
//
// Values in database files, by field type:
//   integers, ftBoolean (0/1)       INTEGER
//   ftFloat                         REAL
//   ftCurrency, ftBCD, ftFMTBcd     decimal text with '.' ("-12.5"), never a
//                                   double. A NUMERIC/DECIMAL column turns it into
//                                   the engine's REAL, exact to 15 significant
//                                   digits (read back as decimal text); a TEXT
//                                   column keeps any number of digits.
//   ftDate 'YYYY-MM-DD', ftTime 'HH:MM:SS[.mmm]',
//   ftDateTime/ftTimeStamp 'YYYY-MM-DD HH:MM:SS[.mmm]'   TEXT
//   texts                           TEXT (UTF-8)
//   ftBlob, ftBytes, ftVarBytes, ftGraphic   BLOB
// Reading accepts what other writers use too: 'T' between date and time, a
// date column holding a number (a Julian day number, the engine's convention).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <fyndra/platform/db/dbtypes.h>
#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sqltimst.h>
#include <fyndra/platform/rtl/systypes.h>
#include <fyndra/platform/rtl/variants.h>

struct sqlite3;
struct sqlite3_stmt;

namespace fyndra {

struct TSQLiteOpenOptions {
  bool Create = false;    // create the file when it does not exist
  bool ReadOnly = false;
  int BusyTimeoutMs = 0;  // wait this long for another connection's lock
};

// What the schema declares about one column of a table.
struct TSQLiteColumnInfo {
  std::string DeclType;   // as written; empty when none
  std::string Collation;  // BINARY, NOCASE, …
  bool NotNull = false;
  bool PrimaryKey = false;
  bool AutoIncrement = false;
};

class TSQLiteConnection {
 public:
  // Opens Path (a file, or ":memory:") and checks that it is a readable
  // database. Raises EDatabaseError ("<Path>: <engine message>") otherwise.
  TSQLiteConnection(const std::string& Path, const TSQLiteOpenOptions& Options = {});
  ~TSQLiteConnection();
  TSQLiteConnection(const TSQLiteConnection&) = delete;
  TSQLiteConnection& operator=(const TSQLiteConnection&) = delete;

  const std::string& Path() const { return Path_; }
  // Runs one or more statements that return no rows.
  void Exec(const std::string& SQL);
  // True while a transaction is open.
  bool InTransaction() const;
  std::int64_t LastInsertRowId() const;
  int Changes() const;
  // The declaration of Column of Table (of any attached database); false when
  // there is no such column.
  bool ColumnInfo(const std::string& Table, const std::string& Column, TSQLiteColumnInfo& Info) const;
  // Raises EDatabaseError with the connection's last engine message.
  [[noreturn]] void RaiseLastError() const;

 private:
  friend class TSQLiteStatement;
  sqlite3* Db_ = nullptr;
  std::string Path_;
};

// How a result column's value is stored in the current row.
enum class TStorage { Null, Integer, Real, Text, Blob };

// One column of the current row as the engine holds it, read with a single
// engine call (TSQLiteStatement::ReadCell). Bytes stay valid until the next
// step or reset.
struct TSQLiteCell {
  TStorage Storage = TStorage::Null;
  std::int64_t Integer = 0;  // Integer storage
  double Real = 0;           // Real storage
  std::string_view Bytes;    // Text and Blob storage; a number's text when asked for
};
// When ReadCell gives a number's text too: never, for a real only, always.
enum class TCellText { Never, ForReal, Always };

class TSQLiteStatement {
 public:
  // Prepares SQL, which must hold one statement. Raises EDatabaseError (invalid
  // SQL, unknown table or column, a second statement) with the engine message.
  TSQLiteStatement(const TSQLiteConnection& Connection, const std::string& SQL);
  ~TSQLiteStatement();
  TSQLiteStatement(const TSQLiteStatement&) = delete;
  TSQLiteStatement& operator=(const TSQLiteStatement&) = delete;

  int ParamCount() const;
  // Binds Value to parameter Index (1-based) stored as Type wants (see the
  // header comment); ftUnknown takes the storage from the variant. Null and
  // Unassigned bind NULL. Raises EDatabaseError for a value that does not
  // convert to Type (the variant's conversion message is kept).
  void Bind(int Index, const Variant& Value, TFieldType Type = ftUnknown);
  void BindInt64(int Index, std::int64_t Value);
  void BindText(int Index, std::string_view Value);  // the text is copied
  void BindNull(int Index);
  void ClearBindings();

  // Runs to the next row: true when there is one, false when done. Raises
  // EDatabaseError (constraint violations, locks) with the engine message;
  // the statement is then reset.
  bool Step();
  void Reset();
  // The text the statement was prepared from.
  std::string_view SQL() const;
  // Whether the statement leaves the database as it is (a SELECT, not an
  // INSERT … RETURNING): only such a statement may be executed again to read
  // its rows once more.
  bool ReadOnly() const;
  // Steps to the end and returns the number of rows changed.
  int Execute();

  int ColumnCount() const;
  std::string ColumnName(int Col) const;
  // The declared type of the table column the result column comes from; empty
  // for an expression.
  std::string ColumnDeclType(int Col) const;
  // The table and column the result column comes from; empty for an expression.
  std::string ColumnTable(int Col) const;
  std::string ColumnOrigin(int Col) const;

  // Values of the current row.
  TStorage ColumnStorage(int Col) const;
  bool ColumnIsNull(int Col) const { return ColumnStorage(Col) == TStorage::Null; }
  std::int64_t ColumnInt64(int Col) const;
  double ColumnDouble(int Col) const;
  std::string_view ColumnText(int Col) const;  // valid until the next step
  std::string_view ColumnBlob(int Col) const;
  // The value of Col read as Type wants (Null for NULL). Raises EDatabaseError
  // when the stored value does not fit Type ("abc" in an INTEGER column).
  Variant ColumnValue(int Col, TFieldType Type) const;
  // Col as the engine holds it; Text says when a number comes as text too
  // (the engine's own text of it, as a text column would read it). The text
  // is valid until the next step or the next ReadCell.
  void ReadCell(int Col, TSQLiteCell& Cell, TCellText Text) const;

  const TSQLiteConnection& Connection() const { return *Conn_; }

 private:
  // The engine's text of a finite real in plain notation (see ReadCell);
  // false where the engine would write an exponent, or for Inf and NaN.
  bool PlainRealText(double Value, std::string_view& Text) const;

  const TSQLiteConnection* Conn_;
  sqlite3_stmt* Stmt_ = nullptr;
  mutable char RealText_[40] = {};
};

// ---- value conventions of database files

std::string CurrencyToEngineText(Currency Value);
std::string BcdToEngineText(const TBcd& Value);
// Plain decimal text ("-12.5", at most four places, no exponent) that fits
// Currency, converted without rounding; false for anything else.
bool TryPlainTextToCurrency(std::string_view Text, Currency& Value);
// Decimal text as stored (also "1.5e+20" as the engine prints large reals).
bool TryEngineTextToBcd(std::string_view Text, TBcd& Value);
std::string DateTimeToEngineText(TDateTime Value, TFieldType Type);
std::string SQLTimeStampToEngineText(const TSQLTimeStamp& Value);
// Accepts 'YYYY-MM-DD', 'HH:MM[:SS[.fff]]' and both joined by a blank or 'T'.
bool TryEngineTextToSQLTimeStamp(std::string_view Text, TSQLTimeStamp& Value);

// The field type, size (characters for texts) and precision/scale (for exact
// decimals) of a declared column type:
//   INTEGER, BIGINT, INT8                   ftLargeint (the engine's integers are 64-bit)
//   INT, INT4, MEDIUMINT                    ftInteger
//   SMALLINT, INT2, TINYINT                 ftSmallint
//   BOOLEAN, BOOL, BIT                      ftBoolean
//   REAL, DOUBLE [PRECISION], FLOAT         ftFloat
//   MONEY, CURRENCY                         ftBCD (19, 4): exact, unlike ftCurrency's double
//   NUMERIC(p,s), DECIMAL(p,s)              ftBCD when p <= 18 and s <= 4, else ftFMTBcd
//   NUMERIC, DECIMAL (no precision, or p or s beyond 64)  ftFMTBcd (precision 64, scale 0 means any)
//   DATE, TIME                              ftDate, ftTime
//   DATETIME, TIMESTAMP                     ftDateTime, ftTimeStamp
//   CHAR(n), NCHAR(n), CHARACTER(n)         ftFixedChar, size n
//   VARCHAR(n), NVARCHAR(n), VARCHAR2(n), CHARACTER VARYING(n)   ftString, size n
//   TEXT, CLOB, VARCHAR without size        ftMemo
//   CHAR(n), VARCHAR(n) etc. with n beyond MaxFieldSize   ftMemo (the length is a hint
//                                           to the engine; the text is read whole)
//   GUID, UUID                              ftGuid (size 38)
//   BLOB, BINARY, VARBINARY                 ftBlob
//   anything else by the engine's affinity rules (…INT… integer, …CHAR…/…TEXT…
//   text, …REAL…/…FLOA…/…DOUB… float, no type blob, else exact decimal).
struct TColumnType {
  TFieldType DataType = ftUnknown;
  int Size = 0;
  int Precision = 0;
};
TColumnType ColumnTypeFromDecl(std::string_view DeclType);
// The field type of a value computed by an expression, from its storage in
// the first row: INTEGER ftLargeint, REAL ftFloat, TEXT ftMemo, BLOB ftBlob,
// NULL (unknown) ftMemo.
TFieldType FieldTypeFromStorage(TStorage Storage);

// ---- the case-insensitive collation
// The name of the collation of Locale, and of the current text locale.
std::string CaseInsensitiveCollation(const std::string& Locale);
std::string CaseInsensitiveCollation();
// Whether Name is one of the case-insensitive collations (the engine's
// names ignore ASCII case), and of which locale.
bool IsCaseInsensitiveCollation(std::string_view Name, std::string* Locale = nullptr);
// Whether Name is the collation of the current text locale: its order is then
// the one the text service's case-insensitive comparisons follow.
bool IsCurrentCaseInsensitiveCollation(std::string_view Name);
// " COLLATE \"<Collation>\"", to append to a column in SQL.
std::string CollateClause(const std::string& Collation);
// The comparison of the case-insensitive collation in the form the engine's
// collation callbacks have (UTF-8 texts with their lengths in bytes; Locale
// points to a std::string naming the ICU locale): for code that registers it
// on a connection of its own, such as a hand-written baseline.
int CompareCaseInsensitiveCollation(void* Locale, int LengthA, const void* A, int LengthB, const void* B);

}  // namespace fyndra
