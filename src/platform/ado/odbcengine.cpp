#include <fyndra/platform/ado/odbcengine.h>

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstring>

#include <fyndra/platform/db/fields.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

[[noreturn]] void Raise(const std::string& Message) { throw EDatabaseError(Message); }

// Texts of more characters than this are read whole, one row at a time (as
// memos), so a declared length never reaches a field's size unbounded.
constexpr std::uint64_t MaxBoundChars = 8000;
static_assert(MaxBoundChars <= std::uint64_t(MaxFieldSize), "a bound text must fit a text field");
// Room for a decimal's text: 64 digits, sign, point, a leading zero and the end.
constexpr SQLLEN DecimalTextRoom = 72;
constexpr SQLLEN ShortTextRoom = 48;  // times and GUIDs


bool Ok(SQLRETURN Rc) { return Rc == SQL_SUCCESS || Rc == SQL_SUCCESS_WITH_INFO; }

// The C type a column of Type is read as, and whether it is read whole with
// SQLGetData (long texts and bytes).
struct TReadAs {
  SQLSMALLINT CType;
  SQLLEN Width;  // bytes per row
  bool Long;
};

TReadAs ReadAs(const TOdbcColumn& C) {
  switch (C.Type.DataType) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
      return {SQL_C_SBIGINT, sizeof(SQLBIGINT), false};
    case ftBoolean: return {SQL_C_BIT, sizeof(SQLCHAR), false};
    case ftFloat: return {SQL_C_DOUBLE, sizeof(SQLDOUBLE), false};
    case ftDate: return {SQL_C_TYPE_DATE, sizeof(SQL_DATE_STRUCT), false};
    case ftDateTime: return {SQL_C_TYPE_TIMESTAMP, sizeof(SQL_TIMESTAMP_STRUCT), false};
    case ftTime: case ftGuid: return {SQL_C_CHAR, ShortTextRoom, false};
    case ftBCD: case ftFMTBcd: return {SQL_C_CHAR, DecimalTextRoom, false};
    case ftString: case ftFixedChar:
      // Four bytes of UTF-8 a character, and the terminator.
      return {SQL_C_CHAR, SQLLEN(C.Type.Size) * 4 + 1, false};
    case ftBlob: return {SQL_C_BINARY, 0, true};
    default: return {SQL_C_CHAR, 0, true};
  }
}

}  // namespace

const TFormatSettings& OdbcPointFormat() {
  static const TFormatSettings Settings = [] {
    TFormatSettings S = FormatSettings();
    S.DecimalSeparator = '.';
    S.ThousandSeparator = '\0';
    return S;
  }();
  return Settings;
}

TOdbcColumnType OdbcColumnType(int SqlType, std::uint64_t ColumnSize, int DecimalDigits) {
  const int Size = ColumnSize > MaxBoundChars ? 0 : int(ColumnSize);
  switch (SqlType) {
    case SQL_CHAR: case SQL_WCHAR:
      return Size > 0 ? TOdbcColumnType{ftFixedChar, Size, 0} : TOdbcColumnType{ftMemo, 0, 0};
    case SQL_VARCHAR: case SQL_WVARCHAR:
      return Size > 0 ? TOdbcColumnType{ftString, Size, 0} : TOdbcColumnType{ftMemo, 0, 0};
    case SQL_LONGVARCHAR: case SQL_WLONGVARCHAR: return {ftMemo, 0, 0};
    case SQL_BIT: return {ftBoolean, 0, 0};
    case SQL_TINYINT: case SQL_SMALLINT: return {ftSmallint, 0, 0};
    case SQL_INTEGER: return {ftInteger, 0, 0};
    case SQL_BIGINT: return {ftLargeint, 0, 0};
    case SQL_REAL: case SQL_FLOAT: case SQL_DOUBLE: return {ftFloat, 0, 0};
    case SQL_NUMERIC: case SQL_DECIMAL: {
      const int P = int(std::min<std::uint64_t>(ColumnSize, 64));
      const int S = std::max(0, DecimalDigits);
      if (P > 0 && P <= 18 && S <= 4) return {ftBCD, S, P};
      return {ftFMTBcd, S, P > 0 ? P : 64};
    }
    case SQL_TYPE_DATE: case SQL_DATE: return {ftDate, 0, 0};
    case SQL_TYPE_TIME: case SQL_TIME: return {ftTime, 0, 0};
    case SQL_TYPE_TIMESTAMP: case SQL_TIMESTAMP: return {ftDateTime, 0, 0};
    case SQL_BINARY: case SQL_VARBINARY: case SQL_LONGVARBINARY: return {ftBlob, 0, 0};
    case SQL_GUID: return {ftGuid, 38, 0};
    default: return {ftUnknown, 0, 0};
  }
}

bool TryOdbcTextToStamp(std::string_view S, TOdbcStatement::TStamp& T) {
  T = {};
  std::size_t P = 0;
  auto Digits = [&](std::size_t Count, int& Out) {
    if (P + Count > S.size()) return false;
    Out = 0;
    for (std::size_t I = 0; I < Count; ++I) {
      const char C = S[P + I];
      if (C < '0' || C > '9') return false;
      Out = Out * 10 + (C - '0');
    }
    P += Count;
    return true;
  };
  auto Expect = [&](char C) { return P < S.size() && S[P++] == C; };
  const bool HasDate = S.size() >= 10 && S[4] == '-';
  if (HasDate) {
    if (!Digits(4, T.Year) || !Expect('-') || !Digits(2, T.Month) || !Expect('-') || !Digits(2, T.Day)) return false;
    if (P == S.size()) return true;
    if (S[P] != ' ' && S[P] != 'T') return false;
    ++P;
  }
  if (!Digits(2, T.Hour) || !Expect(':') || !Digits(2, T.Minute) || !Expect(':') || !Digits(2, T.Second))
    return false;
  if (P < S.size() && S[P] == '.') {
    ++P;
    std::uint32_t Scale = 100000000;
    const std::size_t Start = P;
    for (; P < S.size() && S[P] >= '0' && S[P] <= '9'; ++P) {
      if (Scale == 0) return false;  // finer than a nanosecond
      T.Nanoseconds += std::uint32_t(S[P] - '0') * Scale;
      Scale /= 10;
    }
    if (P == Start) return false;
  }
  return P == S.size() && T.Hour < 24 && T.Minute < 60 && T.Second < 60;
}

static std::string DecimalText(const Variant& V, SQLULEN& Precision, SQLSMALLINT& Scale);

// ---------------------------------------------------------------------------
// TOdbcConnection

void TOdbcConnection::RaiseDiagnostics(short HandleType, void* Handle, const std::string& Fallback) {
  std::string Message;
  if (Handle) {
    SQLCHAR State[6];
    SQLCHAR Text[1024];
    SQLINTEGER Native = 0;
    SQLSMALLINT Length = 0;
    for (SQLSMALLINT I = 1; I <= 8; ++I) {
      if (!Ok(SQLGetDiagRec(HandleType, Handle, I, State, &Native, Text, sizeof Text, &Length))) break;
      if (!Message.empty()) Message += "\n";
      Message += '[';
      Message += reinterpret_cast<char*>(State);
      Message += "] ";
      std::string Line(reinterpret_cast<char*>(Text));
      while (!Line.empty() && (Line.back() == '\n' || Line.back() == '\r')) Line.pop_back();
      Message += Line;
    }
  }
  Raise(Message.empty() ? Fallback : Message);
}

TOdbcConnection::TOdbcConnection(const std::string& ConnectionString) {
  if (!Ok(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env_))) Raise("Cannot allocate an ODBC environment");
  try {
    if (!Ok(SQLSetEnvAttr(Env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0)))
      RaiseDiagnostics(SQL_HANDLE_ENV, Env_, "Cannot select ODBC 3");
    if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, Env_, &Dbc_)))
      RaiseDiagnostics(SQL_HANDLE_ENV, Env_, "Cannot allocate an ODBC connection");
    SQLSMALLINT OutLength = 0;
    SQLCHAR Out[1024];
    std::string In = ConnectionString;
    if (!Ok(SQLDriverConnect(Dbc_, nullptr, reinterpret_cast<SQLCHAR*>(In.data()), SQLSMALLINT(In.size()), Out,
                             sizeof Out, &OutLength, SQL_DRIVER_NOPROMPT)))
      RaiseDiagnostics(SQL_HANDLE_DBC, Dbc_, "Cannot connect");
    Connected_ = true;
    char Buffer[256];
    SQLSMALLINT Length = 0;
    if (Ok(SQLGetInfo(Dbc_, SQL_DBMS_NAME, Buffer, sizeof Buffer, &Length))) DbmsName_ = Buffer;
    if (Ok(SQLGetInfo(Dbc_, SQL_DRIVER_NAME, Buffer, sizeof Buffer, &Length))) DriverName_ = Buffer;
    if (Ok(SQLGetInfo(Dbc_, SQL_IDENTIFIER_QUOTE_CHAR, Buffer, sizeof Buffer, &Length)) && Buffer[0] != ' ' &&
        Buffer[0] != '\0')
      Quote_ = Buffer[0];
  } catch (...) {
    if (Connected_) SQLDisconnect(Dbc_);
    if (Dbc_) SQLFreeHandle(SQL_HANDLE_DBC, Dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, Env_);
    throw;
  }
}

TOdbcConnection::~TOdbcConnection() {
  if (Connected_) {
    // A transaction still open is rolled back, never committed by the disconnect.
    if (!AutoCommit_) SQLEndTran(SQL_HANDLE_DBC, Dbc_, SQL_ROLLBACK);
    SQLDisconnect(Dbc_);
  }
  SQLFreeHandle(SQL_HANDLE_DBC, Dbc_);
  SQLFreeHandle(SQL_HANDLE_ENV, Env_);
}

void TOdbcConnection::Exec(const std::string& SQL) {
  TOdbcStatement S(*this, SQL);
  S.Execute();
}

void TOdbcConnection::SetAutoCommit(bool Value) {
  if (Value == AutoCommit_) return;
  const SQLULEN Mode = Value ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
  if (!Ok(SQLSetConnectAttr(Dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(Mode), 0)))
    RaiseDiagnostics(SQL_HANDLE_DBC, Dbc_, "Cannot change the commit mode");
  AutoCommit_ = Value;
}

void TOdbcConnection::EndTransaction(bool Commit) {
  if (!Ok(SQLEndTran(SQL_HANDLE_DBC, Dbc_, Commit ? SQL_COMMIT : SQL_ROLLBACK)))
    RaiseDiagnostics(SQL_HANDLE_DBC, Dbc_, Commit ? "Commit failed" : "Rollback failed");
}

std::string TOdbcConnection::Literal(const Variant& Value, TFieldType Type) const {
  if (Value.IsNull() || Value.IsEmpty()) return "NULL";
  if (Type == ftUnknown) Type = OdbcFieldTypeOfVariant(Value);
  char Buffer[64];
  switch (Type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
      return std::to_string(Value.AsInt64());
    case ftBoolean:
      if (DbmsName_ == "SQLite") return Value.AsBoolean() ? "1" : "0";
      return Value.AsBoolean() ? "TRUE" : "FALSE";
    case ftFloat:
      std::snprintf(Buffer, sizeof Buffer, "%.17g", Value.AsDouble());
      return Buffer;
    case ftCurrency: case ftBCD: case ftFMTBcd: {
      SQLULEN Precision = 0;
      SQLSMALLINT Scale = 0;
      return DecimalText(Value, Precision, Scale);
    }
    case ftDate: {
      const TSQLTimeStamp TS = DateTimeToSQLTimeStamp(Value.AsDateTime());
      std::snprintf(Buffer, sizeof Buffer, "'%04d-%02d-%02d'", TS.Year, TS.Month, TS.Day);
      return Buffer;
    }
    case ftTime: {
      int H = 0, M = 0, S = 0, Ms = 0;
      DecodeTime(Value.AsDateTime(), H, M, S, Ms);
      std::snprintf(Buffer, sizeof Buffer, "'%02d:%02d:%02d.%03d'", H, M, S, Ms);
      return Buffer;
    }
    case ftDateTime: case ftTimeStamp: {
      const TSQLTimeStamp TS = (Value.VarType() & varTypeMask) == varSQLTimeStampCode
                                   ? Value.AsSQLTimeStamp()
                                   : DateTimeToSQLTimeStamp(Value.AsDateTime());
      std::snprintf(Buffer, sizeof Buffer, "'%04d-%02d-%02d %02d:%02d:%02d.%03u'", TS.Year, TS.Month, TS.Day,
                    TS.Hour, TS.Minute, TS.Second, unsigned(TS.Fractions));
      return Buffer;
    }
    case ftBlob: case ftBytes: case ftVarBytes: case ftGraphic: case ftTypedBinary:
      Raise("A binary value cannot be written as a literal");
    default: {
      // One quoted literal: quotes doubled; a NUL, which no literal can hold, refused.
      const std::string Text = Value.AsString();
      if (Text.find('\0') != std::string::npos) Raise("A text with a NUL character cannot be written as a literal");
      std::string Out = "'";
      for (char C : Text) {
        if (C == '\'') Out += '\'';
        Out += C;
      }
      return Out + "'";
    }
  }
}

bool TOdbcConnection::NullsSortHigh() {
  if (NullsHigh_ < 0) {
    TOdbcStatement S(*this, "SELECT x FROM (SELECT 1 AS x UNION ALL SELECT NULL AS x) q ORDER BY x");
    S.Execute();
    S.Columns();
    if (S.Fetch(1) != 1) Raise("The data source did not order a probe of two rows");
    NullsHigh_ = S.IsNull(0, 0) ? 0 : 1;
  }
  return NullsHigh_ == 1;
}

namespace {

// Splits "schema.table" (an unquoted dot) into its parts.
void SplitTableName(const std::string& Table, std::string& Schema, std::string& Name) {
  const std::size_t Dot = Table.find('.');
  if (Dot == std::string::npos || Table.find('"') != std::string::npos) {
    Schema.clear();
    Name = Table;
  } else {
    Schema = Table.substr(0, Dot);
    Name = Table.substr(Dot + 1);
  }
}

std::string TextColumn(SQLHSTMT S, int Col) {
  char Buffer[512];
  SQLLEN Ind = 0;
  if (!Ok(SQLGetData(S, SQLUSMALLINT(Col), SQL_C_CHAR, Buffer, sizeof Buffer, &Ind)) || Ind == SQL_NULL_DATA)
    return {};
  return Buffer;
}

// Runs a catalog call on a fresh statement for Table, trying the name as
// written and then folded to lower and upper case (the data source may fold
// unquoted names), and hands each row to Row.
template <class TCall, class TRow>
void CatalogRows(TOdbcConnection& C, const std::string& Table, TCall Call, TRow Row) {
  std::string Schema, Name;
  SplitTableName(Table, Schema, Name);
  const std::string Names[3] = {Name, LowerCase(Name), UpperCase(Name)};
  for (int Try = 0; Try < 3; ++Try) {
    if (Try > 0 && Names[Try] == Name) continue;
    SQLHSTMT S = nullptr;
    if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, C.Handle(), &S)))
      TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_DBC, C.Handle(), "Cannot allocate a statement");
    int Rows = 0;
    try {
      auto* SchemaText = Schema.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(const_cast<char*>(Schema.c_str()));
      auto* NameText = reinterpret_cast<SQLCHAR*>(const_cast<char*>(Names[Try].c_str()));
      if (!Ok(Call(S, SchemaText, SQLSMALLINT(Schema.empty() ? 0 : SQL_NTS), NameText)))
        TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_STMT, S, "Cannot read the catalog of " + Table);
      SQLRETURN Rc;
      while (Ok(Rc = SQLFetch(S))) {
        Row(S);
        ++Rows;
      }
      if (Rc != SQL_NO_DATA) TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_STMT, S, "Cannot read the catalog");
    } catch (...) {
      SQLFreeHandle(SQL_HANDLE_STMT, S);
      throw;
    }
    SQLFreeHandle(SQL_HANDLE_STMT, S);
    if (Rows > 0) return;
  }
}

}  // namespace

std::vector<TOdbcIndexColumn> TOdbcConnection::Statistics(const std::string& Table) {
  std::vector<TOdbcIndexColumn> Out;
  CatalogRows(
      *this, Table,
      [](SQLHSTMT S, SQLCHAR* Schema, SQLSMALLINT SchemaLength, SQLCHAR* Name) {
        return SQLStatistics(S, nullptr, 0, Schema, SchemaLength, Name, SQL_NTS, SQL_INDEX_ALL, SQL_QUICK);
      },
      [&](SQLHSTMT S) {
        SQLSMALLINT Type = 0;
        SQLLEN Ind = 0;
        SQLGetData(S, 7, SQL_C_SSHORT, &Type, 0, &Ind);
        if (Ind == SQL_NULL_DATA || Type == SQL_TABLE_STAT) return;
        SQLSMALLINT NonUnique = 1;
        SQLGetData(S, 4, SQL_C_SSHORT, &NonUnique, 0, &Ind);
        TOdbcIndexColumn I;
        I.Unique = Ind != SQL_NULL_DATA && NonUnique == SQL_FALSE;
        I.IndexName = TextColumn(S, 6);
        SQLSMALLINT Position = 0;
        SQLGetData(S, 8, SQL_C_SSHORT, &Position, 0, &Ind);
        I.Position = Position;
        I.Column = TextColumn(S, 9);
        I.Descending = TextColumn(S, 10) == "D";
        // An index over an expression names no column; it cannot order the table.
        if (!I.IndexName.empty()) Out.push_back(std::move(I));
      });
  return Out;
}

std::vector<std::string> TOdbcConnection::PrimaryKey(const std::string& Table) {
  std::vector<std::pair<int, std::string>> Keys;
  CatalogRows(
      *this, Table,
      [](SQLHSTMT S, SQLCHAR* Schema, SQLSMALLINT SchemaLength, SQLCHAR* Name) {
        return SQLPrimaryKeys(S, nullptr, 0, Schema, SchemaLength, Name, SQL_NTS);
      },
      [&](SQLHSTMT S) {
        SQLSMALLINT Seq = 0;
        SQLLEN Ind = 0;
        SQLGetData(S, 5, SQL_C_SSHORT, &Seq, 0, &Ind);
        Keys.emplace_back(Seq, TextColumn(S, 4));
      });
  std::sort(Keys.begin(), Keys.end());
  std::vector<std::string> Out;
  for (auto& K : Keys) Out.push_back(std::move(K.second));
  return Out;
}

// ---------------------------------------------------------------------------
// TOdbcStatement

// The buffers of one result column.
struct TOdbcStatement::TBinding {
  TReadAs As{};
  std::vector<unsigned char> Data;  // Width bytes a row
  std::vector<SQLLEN> Ind;          // one indicator a row
  std::string Long;                 // a long value of the current row
};

struct TOdbcStatement::TParamBuffer {
  std::string Bytes;
  union {
    SQLBIGINT I;
    SQLINTEGER I32;
    SQLDOUBLE D;
    SQLCHAR Bit;
    SQL_DATE_STRUCT Date;
    SQL_TIMESTAMP_STRUCT Stamp;
  } Fixed{};
  SQLLEN Ind = 0;
};

TOdbcStatement::TOdbcStatement(TOdbcConnection& Connection, const std::string& SQL) : Conn_(&Connection) {
  // Drivers read statement text up to its first NUL: the rest would be lost
  // without a word (or, inside a literal, change what the statement says).
  if (SQL.find('\0') != std::string::npos) Raise("A statement cannot hold a NUL character");
  if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, Connection.Handle(), &Stmt_)))
    TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_DBC, Connection.Handle(), "Cannot allocate a statement");
  std::string Text = SQL;
  if (!Ok(SQLPrepare(Stmt_, reinterpret_cast<SQLCHAR*>(Text.data()), SQLINTEGER(Text.size())))) {
    try {
      TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_STMT, Stmt_, "Cannot prepare the statement");
    } catch (...) {
      SQLFreeHandle(SQL_HANDLE_STMT, Stmt_);
      throw;
    }
  }
}

TOdbcStatement::~TOdbcStatement() {
  CloseCursor();
  SQLFreeHandle(SQL_HANDLE_STMT, Stmt_);
}

void TOdbcStatement::ClearParams() {
  SQLFreeStmt(Stmt_, SQL_RESET_PARAMS);
  Params_.clear();
}

TFieldType OdbcFieldTypeOfVariant(const Variant& V) {
  const TVarType T = V.VarType() & varTypeMask;
  if (T == varSQLTimeStampCode) return ftDateTime;
  if (T == varFMTBcdCode) return ftFMTBcd;
  switch (T) {
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord: return ftInteger;
    case varLongWord: case varInt64: return ftLargeint;
    case varSingle: case varDouble: return ftFloat;
    case varCurrency: return ftBCD;
    case varDate: return ftDateTime;
    case varBoolean: return ftBoolean;
    default: return ftString;
  }
}

// Decimal text with '.' and no exponent, and its digit count and scale.
static std::string DecimalText(const Variant& V, SQLULEN& Precision, SQLSMALLINT& Scale) {
  TBcd B;
  if ((V.VarType() & varTypeMask) == varCurrency) {
    if (!CurrToBCD(V.AsCurrency(), B)) Raise("The currency value does not fit a decimal");
  } else {
    B = V.AsBcd();
  }
  Precision = SQLULEN(std::max(1, BcdPrecision(B)));
  Scale = SQLSMALLINT(BcdScale(B));
  return BcdToStr(B, OdbcPointFormat());
}

void TOdbcStatement::BindParam(int Index, const Variant& Value, TFieldType Type) {
  if (Type == ftUnknown) Type = OdbcFieldTypeOfVariant(Value);
  auto P = std::make_unique<TParamBuffer>();
  const bool IsNull = Value.IsNull() || Value.IsEmpty();
  SQLSMALLINT CType = SQL_C_CHAR, SqlType = SQL_VARCHAR, Digits = 0;
  SQLULEN Size = 1;
  SQLPOINTER Data = nullptr;
  SQLLEN Length = 0;
  auto Text = [&](std::string S, SQLSMALLINT As) {
    P->Bytes = std::move(S);
    SqlType = As;
    Size = std::max<SQLULEN>(1, P->Bytes.size());
    Data = P->Bytes.data();
    Length = SQLLEN(P->Bytes.size());
    P->Ind = Length;
  };
  try {
    switch (Type) {
      case ftSmallint: case ftInteger: case ftWord: case ftAutoInc:
        CType = SQL_C_SLONG, SqlType = SQL_INTEGER, Size = 10;
        if (!IsNull) P->Fixed.I32 = Value.AsInteger();
        Data = &P->Fixed.I32;
        break;
      case ftLargeint:
        CType = SQL_C_SBIGINT, SqlType = SQL_BIGINT, Size = 19;
        if (!IsNull) P->Fixed.I = Value.AsInt64();
        Data = &P->Fixed.I;
        break;
      case ftBoolean:
        CType = SQL_C_BIT, SqlType = SQL_BIT;
        if (!IsNull) P->Fixed.Bit = Value.AsBoolean() ? 1 : 0;
        Data = &P->Fixed.Bit;
        break;
      case ftFloat:
        CType = SQL_C_DOUBLE, SqlType = SQL_DOUBLE, Size = 15;
        if (!IsNull) P->Fixed.D = Value.AsDouble();
        Data = &P->Fixed.D;
        break;
      case ftCurrency: case ftBCD: case ftFMTBcd:
        if (IsNull) {
          SqlType = SQL_NUMERIC;
        } else {
          SQLULEN Precision = 1;
          SQLSMALLINT Scale = 0;
          Text(DecimalText(Value, Precision, Scale), SQL_NUMERIC);
          Size = Precision, Digits = Scale;
        }
        break;
      case ftDate: {
        CType = SQL_C_TYPE_DATE, SqlType = SQL_TYPE_DATE, Size = 10;
        if (!IsNull) {
          const TSQLTimeStamp TS = DateTimeToSQLTimeStamp(Value.AsDateTime());
          P->Fixed.Date = {SQLSMALLINT(TS.Year), SQLUSMALLINT(TS.Month), SQLUSMALLINT(TS.Day)};
        }
        Data = &P->Fixed.Date;
        break;
      }
      case ftTime:
        if (IsNull) {
          SqlType = SQL_TYPE_TIME;
        } else {
          int H = 0, M = 0, S = 0, Ms = 0;
          DecodeTime(Value.AsDateTime(), H, M, S, Ms);
          char Buffer[32];
          std::snprintf(Buffer, sizeof Buffer, "%02d:%02d:%02d.%03d", H, M, S, Ms);
          Text(Buffer, SQL_TYPE_TIME);
          Size = 12, Digits = 3;
        }
        break;
      case ftDateTime: case ftTimeStamp: {
        CType = SQL_C_TYPE_TIMESTAMP, SqlType = SQL_TYPE_TIMESTAMP, Size = 23, Digits = 3;
        if (!IsNull) {
          const TSQLTimeStamp TS = (Value.VarType() & varTypeMask) == varSQLTimeStampCode
                                       ? Value.AsSQLTimeStamp()
                                       : DateTimeToSQLTimeStamp(Value.AsDateTime());
          P->Fixed.Stamp = {SQLSMALLINT(TS.Year),   SQLUSMALLINT(TS.Month),  SQLUSMALLINT(TS.Day),
                            SQLUSMALLINT(TS.Hour),  SQLUSMALLINT(TS.Minute), SQLUSMALLINT(TS.Second),
                            SQLUINTEGER(TS.Fractions) * 1000000u};
        }
        Data = &P->Fixed.Stamp;
        break;
      }
      case ftBlob: case ftBytes: case ftVarBytes: case ftGraphic: case ftTypedBinary:
        CType = SQL_C_BINARY;
        if (IsNull) SqlType = SQL_LONGVARBINARY;
        else Text(Value.AsString(), SQL_LONGVARBINARY);
        break;
      case ftMemo: case ftFmtMemo:
        if (IsNull) SqlType = SQL_LONGVARCHAR;
        else Text(Value.AsString(), SQL_LONGVARCHAR);
        break;
      default:
        if (!IsNull) Text(Value.AsString(), SQL_VARCHAR);
        break;
    }
  } catch (const EDatabaseError&) {
    throw;
  } catch (const Exception& E) {
    Raise("Parameter " + std::to_string(Index) + ": " + E.Message());
  }
  if (IsNull) P->Ind = SQL_NULL_DATA;
  else if (CType != SQL_C_CHAR && CType != SQL_C_BINARY) P->Ind = 0;
  if (!Ok(SQLBindParameter(Stmt_, SQLUSMALLINT(Index), SQL_PARAM_INPUT, CType, SqlType, Size, Digits, Data, Length,
                           &P->Ind)))
    TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_STMT, Stmt_, "Cannot bind parameter " + std::to_string(Index));
  if (Params_.size() < std::size_t(Index)) Params_.resize(std::size_t(Index));
  Params_[std::size_t(Index - 1)] = std::move(P);
}

void TOdbcStatement::Execute() {
  CloseCursor();
  Described_ = false;
  const SQLRETURN Rc = SQLExecute(Stmt_);
  // A statement that changes no row reports SQL_NO_DATA; that is no failure.
  if (!Ok(Rc) && Rc != SQL_NO_DATA)
    TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_STMT, Stmt_, "The statement failed");
  CursorOpen_ = true;
}

std::int64_t TOdbcStatement::RowsAffected() const {
  SQLLEN N = -1;
  if (!Ok(SQLRowCount(Stmt_, &N))) return -1;
  return N;
}

void TOdbcStatement::CloseCursor() {
  if (!CursorOpen_) return;
  // SQLCloseCursor rather than SQLFreeStmt(SQL_CLOSE): SQLite's driver, when it
  // steps through a result, starts the next execution afresh only after it.
  SQLCloseCursor(Stmt_);
  CursorOpen_ = false;
  Fetched_ = 0;
}

const std::vector<TOdbcColumn>& TOdbcStatement::Columns() {
  if (!Described_) Describe();
  return Columns_;
}

void TOdbcStatement::Describe() {
  SQLSMALLINT Count = 0;
  if (!Ok(SQLNumResultCols(Stmt_, &Count)))
    TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_STMT, Stmt_, "Cannot describe the result");
  std::vector<TOdbcColumn> Columns(std::size_t(std::max<SQLSMALLINT>(Count, 0)));
  for (SQLSMALLINT I = 0; I < Count; ++I) {
    SQLCHAR Name[256];
    SQLSMALLINT NameLength = 0, SqlType = 0, Digits = 0, Nullable = SQL_NULLABLE_UNKNOWN;
    SQLULEN Size = 0;
    if (!Ok(SQLDescribeCol(Stmt_, SQLUSMALLINT(I + 1), Name, sizeof Name, &NameLength, &SqlType, &Size, &Digits,
                           &Nullable)))
      TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_STMT, Stmt_, "Cannot describe the result");
    TOdbcColumn& C = Columns[std::size_t(I)];
    C.Name = reinterpret_cast<char*>(Name);
    C.SqlType = SqlType;
    C.ColumnSize = Size;
    C.DecimalDigits = Digits;
    C.Nullable = Nullable != SQL_NO_NULLS;
    C.Type = OdbcColumnType(SqlType, Size, Digits);
  }
  Columns_ = std::move(Columns);
  Described_ = true;
  RowMode_ = false;
  for (const TOdbcColumn& C : Columns_) RowMode_ = RowMode_ || ReadAs(C).Long;
  Bindings_.clear();
  BlockRows_ = 0;
}

void TOdbcStatement::PrepareBuffers(int Rows) {
  Bindings_.clear();
  SQLFreeStmt(Stmt_, SQL_UNBIND);
  for (std::size_t C = 0; C < Columns_.size(); ++C) {
    auto B = std::make_unique<TBinding>();
    B->As = ReadAs(Columns_[C]);
    B->Ind.assign(std::size_t(Rows), 0);
    if (!RowMode_) {
      B->Data.assign(std::size_t(B->As.Width) * std::size_t(Rows), 0);
      if (!Ok(SQLBindCol(Stmt_, SQLUSMALLINT(C + 1), B->As.CType, B->Data.data(), B->As.Width, B->Ind.data())))
        TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_STMT, Stmt_, "Cannot bind result column " + Columns_[C].Name);
    } else if (!B->As.Long) {
      B->Data.assign(std::size_t(B->As.Width), 0);
    }
    Bindings_.push_back(std::move(B));
  }
  BlockRows_ = Rows;
}

void TOdbcStatement::ReadLong(int Col) {
  TBinding& B = *Bindings_[std::size_t(Col)];
  B.Long.clear();
  const bool IsText = B.As.CType == SQL_C_CHAR;
  char Piece[8192];
  for (;;) {
    SQLLEN Ind = 0;
    const SQLRETURN Rc = SQLGetData(Stmt_, SQLUSMALLINT(Col + 1), B.As.CType, Piece, sizeof Piece, &Ind);
    if (Rc == SQL_NO_DATA) break;
    if (!Ok(Rc)) TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_STMT, Stmt_, "Cannot read column " + Columns_[std::size_t(Col)].Name);
    if (Ind == SQL_NULL_DATA) {
      B.Ind[0] = SQL_NULL_DATA;
      return;
    }
    // A full piece leaves room for the terminator of a text.
    const SQLLEN Room = SQLLEN(sizeof Piece) - (IsText ? 1 : 0);
    const SQLLEN Got = (Ind == SQL_NO_TOTAL || Ind > Room) ? Room : Ind;
    B.Long.append(Piece, std::size_t(Got));
    if (Rc == SQL_SUCCESS) break;
  }
  B.Ind[0] = SQLLEN(B.Long.size());
}

int TOdbcStatement::Fetch(int MaxRows) {
  if (!CursorOpen_) return 0;
  if (!Described_) Describe();
  if (Columns_.empty()) return 0;
  const int Rows = RowMode_ ? 1 : std::max(1, MaxRows);
  if (Rows > BlockRows_ || Bindings_.empty()) PrepareBuffers(Rows);
  if (!RowMode_) {
    SQLSetStmtAttr(Stmt_, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQL_BIND_BY_COLUMN), 0);
    SQLSetStmtAttr(Stmt_, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN(Rows)), 0);
    SQLSetStmtAttr(Stmt_, SQL_ATTR_ROWS_FETCHED_PTR, &Fetched_, 0);
  }
  Fetched_ = 0;
  const SQLRETURN Rc = SQLFetch(Stmt_);
  if (Rc == SQL_NO_DATA) {
    Fetched_ = 0;
    return 0;
  }
  if (!Ok(Rc)) TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_STMT, Stmt_, "Fetching rows failed");
  if (RowMode_) {
    Fetched_ = 1;
    for (std::size_t C = 0; C < Columns_.size(); ++C) {
      TBinding& B = *Bindings_[C];
      if (B.As.Long) {
        ReadLong(int(C));
        continue;
      }
      const SQLRETURN R = SQLGetData(Stmt_, SQLUSMALLINT(C + 1), B.As.CType, B.Data.data(), B.As.Width, B.Ind.data());
      if (!Ok(R)) TOdbcConnection::RaiseDiagnostics(SQL_HANDLE_STMT, Stmt_, "Cannot read column " + Columns_[C].Name);
    }
  }
  return int(Fetched_);
}

bool TOdbcStatement::IsNull(int Row, int Col) const {
  return Bindings_[std::size_t(Col)]->Ind[std::size_t(RowMode_ ? 0 : Row)] == SQL_NULL_DATA;
}

namespace {
template <class T>
T FixedAt(const std::vector<unsigned char>& Data, int Row, SQLLEN Width) {
  T V;
  std::memcpy(&V, Data.data() + std::size_t(Row) * std::size_t(Width), sizeof V);
  return V;
}
}  // namespace

std::int64_t TOdbcStatement::AsInt64(int Row, int Col) const {
  const TBinding& B = *Bindings_[std::size_t(Col)];
  const int R = RowMode_ ? 0 : Row;
  if (B.As.CType == SQL_C_BIT) return FixedAt<SQLCHAR>(B.Data, R, B.As.Width) != 0;
  return FixedAt<SQLBIGINT>(B.Data, R, B.As.Width);
}

double TOdbcStatement::AsDouble(int Row, int Col) const {
  const TBinding& B = *Bindings_[std::size_t(Col)];
  return FixedAt<SQLDOUBLE>(B.Data, RowMode_ ? 0 : Row, B.As.Width);
}

std::string_view TOdbcStatement::AsText(int Row, int Col, bool* Truncated) const {
  const TBinding& B = *Bindings_[std::size_t(Col)];
  const int R = RowMode_ ? 0 : Row;
  const SQLLEN Ind = B.Ind[std::size_t(R)];
  if (Truncated) *Truncated = false;
  if (Ind == SQL_NULL_DATA) return {};
  if (B.As.Long) return B.Long;
  const SQLLEN Room = B.As.Width - 1;
  SQLLEN N = Ind;
  if (Ind == SQL_NO_TOTAL || Ind > Room) {
    if (Truncated) *Truncated = true;
    N = Room;
  }
  return {reinterpret_cast<const char*>(B.Data.data()) + std::size_t(R) * std::size_t(B.As.Width), std::size_t(N)};
}

TOdbcStatement::TStamp TOdbcStatement::AsStamp(int Row, int Col) const {
  const TBinding& B = *Bindings_[std::size_t(Col)];
  const int R = RowMode_ ? 0 : Row;
  if (B.As.CType == SQL_C_TYPE_DATE) {
    const auto D = FixedAt<SQL_DATE_STRUCT>(B.Data, R, B.As.Width);
    return {D.year, D.month, D.day, 0, 0, 0, 0};
  }
  const auto T = FixedAt<SQL_TIMESTAMP_STRUCT>(B.Data, R, B.As.Width);
  return {T.year, T.month, T.day, T.hour, T.minute, T.second, T.fraction};
}

}  // namespace fyndra
