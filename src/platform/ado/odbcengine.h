// The thin layer between the ODBC dataset family and the ODBC driver manager
// (unixODBC): one connection (TOdbcConnection) and its statements
// (TOdbcStatement), the catalog calls the family needs, and the mapping of
// ODBC column types to field types.
//
// Text is UTF-8 end to end: every call is the narrow (8-bit) form, and the
// drivers are used in their UTF-8 setting (SQLite's driver stores UTF-8;
// PostgreSQL's narrow driver exchanges the connection's client encoding,
// which is the database's, UTF-8 for a UTF-8 database). Nothing is converted
// by the driver manager.
//
// A connection owns its environment and connection handles; a statement owns
// its statement handle and must be destroyed before its connection. Every
// failure raises EDatabaseError with the driver's diagnostics
// ("[SQLSTATE] message").
//
// Rows are fetched in blocks: a statement whose columns all have a bounded
// size binds them column-wise and fetches up to a block of rows per call; a
// statement with a long column (memo, blob) fetches one row per call and reads
// each value whole with SQLGetData. The values of the fetched rows are read
// through the accessors below until the next fetch.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/db/dbtypes.h>
#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/sqltimst.h>
#include <fyndra/platform/rtl/systypes.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra {

// The field type, size (characters for texts, places for decimals) and
// precision of a result column:
//   CHAR(n)                       ftFixedChar n      VARCHAR(n)  ftString n
//   LONGVARCHAR, texts of no or
//   more than 8000 characters     ftMemo
//   BIT                           ftBoolean          TINYINT, SMALLINT  ftSmallint
//   INTEGER                       ftInteger          BIGINT      ftLargeint
//   REAL, FLOAT, DOUBLE           ftFloat
//   NUMERIC/DECIMAL(p,s)          ftBCD when p <= 18 and s <= 4, else ftFMTBcd
//   DATE, TIME                    ftDate, ftTime     TIMESTAMP   ftDateTime
//   BINARY, VARBINARY, LONGVARBINARY   ftBlob        GUID        ftGuid
//   anything else                 ftUnknown (the dataset refuses it)
struct TOdbcColumnType {
  TFieldType DataType = ftUnknown;
  int Size = 0;
  int Precision = 0;
};
TOdbcColumnType OdbcColumnType(int SqlType, std::uint64_t ColumnSize, int DecimalDigits);

// One column of a result.
struct TOdbcColumn {
  std::string Name;
  int SqlType = 0;
  std::uint64_t ColumnSize = 0;
  int DecimalDigits = 0;
  bool Nullable = true;
  TOdbcColumnType Type;
};

// One key column of an index, as the driver's statistics report it.
struct TOdbcIndexColumn {
  std::string IndexName;
  bool Unique = false;
  int Position = 0;  // 1-based within the index
  std::string Column;
  bool Descending = false;
};

class TOdbcConnection {
 public:
  // Connects with an ODBC connection string, never prompting. Raises
  // EDatabaseError with the driver manager's or driver's message.
  explicit TOdbcConnection(const std::string& ConnectionString);
  ~TOdbcConnection();
  TOdbcConnection(const TOdbcConnection&) = delete;
  TOdbcConnection& operator=(const TOdbcConnection&) = delete;

  void* Handle() const { return Dbc_; }
  // Runs SQL that returns no rows.
  void Exec(const std::string& SQL);
  // Transactions: manual-commit mode while one is open.
  void SetAutoCommit(bool Value);
  bool GetAutoCommit() const { return AutoCommit_; }
  void EndTransaction(bool Commit);

  // What the driver says about the data source.
  const std::string& DbmsName() const { return DbmsName_; }
  const std::string& DriverName() const { return DriverName_; }
  // The character that quotes identifiers ('"' unless the driver says otherwise).
  char IdentifierQuote() const { return Quote_; }
  // Whether Null sorts above every value (then it comes last in an ascending
  // order). Drivers do not report this reliably, so it is asked of the data
  // source itself, once.
  bool NullsSortHigh();

  // Value as one SQL literal of Type for this data source (texts quoted with
  // their quotes doubled). Raises EDatabaseError for bytes and for a text
  // holding NUL, which no literal can carry.
  std::string Literal(const Variant& Value, TFieldType Type) const;
  // Whether statements should carry values as literals rather than bound
  // parameters: SQLite's driver reads a whole result at execute when the
  // statement has parameters, and steps through it lazily only without.
  bool PrefersLiterals() const { return DbmsName_ == "SQLite"; }
  // Whether the driver steps lazily through only one result at a time: on
  // SQLite's, running a statement reads what is left of another open result
  // into memory.
  bool StepsOneResultAtATime() const { return DbmsName_ == "SQLite"; }

  // The key columns of every index of Table, in index and key order, and the
  // columns of its primary key in key order (empty when it has none).
  std::vector<TOdbcIndexColumn> Statistics(const std::string& Table);
  std::vector<std::string> PrimaryKey(const std::string& Table);

  // Raises EDatabaseError with the diagnostics of Handle (of HandleType),
  // or with Fallback when there are none.
  [[noreturn]] static void RaiseDiagnostics(short HandleType, void* Handle, const std::string& Fallback);

 private:
  void* Env_ = nullptr;
  void* Dbc_ = nullptr;
  bool Connected_ = false;
  bool AutoCommit_ = true;
  std::string DbmsName_, DriverName_;
  char Quote_ = '"';
  int NullsHigh_ = -1;  // unknown until asked
};

class TOdbcStatement {
 public:
  // Prepares SQL (one statement). Raises EDatabaseError for invalid SQL when
  // the driver checks it at prepare time; others report it at Execute.
  TOdbcStatement(TOdbcConnection& Connection, const std::string& SQL);
  ~TOdbcStatement();
  TOdbcStatement(const TOdbcStatement&) = delete;
  TOdbcStatement& operator=(const TOdbcStatement&) = delete;

  // Binds Value to parameter Index (1-based) as Type wants; ftUnknown takes the
  // type from the variant; Null and Unassigned bind NULL of that type. The
  // value is copied and kept until the next binding or the statement's end.
  // Raises EDatabaseError for a value that does not convert to Type.
  void BindParam(int Index, const Variant& Value, TFieldType Type);
  void ClearParams();

  // Runs the statement (closing a cursor still open first).
  void Execute();
  // Rows changed by the last Execute (-1 when the driver cannot tell).
  std::int64_t RowsAffected() const;
  // Ends the result set so that the statement can run again.
  void CloseCursor();

  // The result columns, described after Execute.
  const std::vector<TOdbcColumn>& Columns();
  // Fetches up to MaxRows rows (one at a time when a column is long); returns
  // how many were fetched, 0 at the end. Raises EDatabaseError (the server
  // went away, a value does not convert).
  int Fetch(int MaxRows);

  // Values of row Row (0-based within the last fetch) and column Col (0-based),
  // read as the column's field type wants:
  bool IsNull(int Row, int Col) const;
  std::int64_t AsInt64(int Row, int Col) const;     // integers and booleans
  double AsDouble(int Row, int Col) const;          // floats
  // Text (and blob bytes, and decimal, time and GUID text); Truncated is set
  // when the driver had more bytes than the column's declared size leaves room
  // for.
  std::string_view AsText(int Row, int Col, bool* Truncated = nullptr) const;
  // Dates and time stamps; Nanoseconds holds the fraction of a second.
  struct TStamp {
    int Year, Month, Day, Hour, Minute, Second;
    std::uint32_t Nanoseconds;
  };
  TStamp AsStamp(int Row, int Col) const;

  void* Handle() const { return Stmt_; }

 private:
  struct TBinding;
  struct TParamBuffer;
  void Describe();
  void PrepareBuffers(int Rows);
  void ReadLong(int Col);

  TOdbcConnection* Conn_;
  void* Stmt_ = nullptr;
  bool CursorOpen_ = false;
  bool Described_ = false;
  bool RowMode_ = false;
  int BlockRows_ = 0;          // rows the bound buffers hold
  std::uint64_t Fetched_ = 0;  // rows in the last fetch (written by the driver)
  std::vector<TOdbcColumn> Columns_;
  std::vector<std::unique_ptr<TBinding>> Bindings_;
  std::vector<std::unique_ptr<TParamBuffer>> Params_;
};

// Format settings of decimal text as data sources write it: '.' before the
// fraction, no grouping.
const TFormatSettings& OdbcPointFormat();

// The type a value binds as when its parameter has none: texts ftString,
// integers ftInteger or ftLargeint, floats ftFloat, currency ftBCD, exact
// decimals ftFMTBcd, dates and time stamps ftDateTime, booleans ftBoolean.
TFieldType OdbcFieldTypeOfVariant(const Variant& Value);

// Parses ODBC date/time text ("YYYY-MM-DD", "HH:MM:SS[.fraction]" or both
// joined by a blank or 'T') into its parts; false for anything else.
bool TryOdbcTextToStamp(std::string_view Text, TOdbcStatement::TStamp& Stamp);

}  // namespace fyndra
