#include <fyndra/platform/bde/sqliteengine.h>

#include <sqlite3.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include <fyndra/platform/db/fields.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

[[noreturn]] void Raise(const std::string& Message) { throw EDatabaseError(Message); }

// UPPER/LOWER through the platform text service, so that the engine folds case
// exactly as the in-memory comparisons do.
template <std::string (*Map)(std::string_view)>
void CaseFunction(sqlite3_context* Ctx, int /*Argc*/, sqlite3_value** Argv) {
  if (sqlite3_value_type(Argv[0]) == SQLITE_NULL) {
    sqlite3_result_null(Ctx);
    return;
  }
  const auto* Text = reinterpret_cast<const char*>(sqlite3_value_text(Argv[0]));
  const int Bytes = sqlite3_value_bytes(Argv[0]);
  try {
    std::string Out = Map(std::string_view(Text ? Text : "", static_cast<std::size_t>(Bytes)));
    sqlite3_result_text(Ctx, Out.data(), static_cast<int>(Out.size()), SQLITE_TRANSIENT);
  } catch (const std::exception& E) {
    sqlite3_result_error(Ctx, E.what(), -1);
  }
}

std::string UpperText(std::string_view S) { return AnsiUpperCase(S); }
std::string LowerText(std::string_view S) { return AnsiLowerCase(S); }

// fyndra_starts_upper(T, P): the case-insensitive "starts with" record test
// (UpperFormStartsWith) for an upper-case P. Null for a Null T or P.
void StartsUpperFunction(sqlite3_context* Ctx, int /*Argc*/, sqlite3_value** Argv) {
  if (sqlite3_value_type(Argv[0]) == SQLITE_NULL || sqlite3_value_type(Argv[1]) == SQLITE_NULL) {
    sqlite3_result_null(Ctx);
    return;
  }
  auto TextOf = [](sqlite3_value* V) {
    const auto* P = reinterpret_cast<const char*>(sqlite3_value_text(V));
    return std::string_view(P ? P : "", static_cast<std::size_t>(sqlite3_value_bytes(V)));
  };
  try {
    sqlite3_result_int(Ctx, UpperFormStartsWith(TextOf(Argv[0]), TextOf(Argv[1])) ? 1 : 0);
  } catch (const std::exception& E) {
    sqlite3_result_error(Ctx, E.what(), -1);
  }
}

constexpr std::string_view CollationPrefix = "FYNDRA_CI_";

void DestroyLocale(void* Arg) { delete static_cast<std::string*>(Arg); }

int RegisterCollation(sqlite3* Db, const std::string& Name, const std::string& Locale) {
  return sqlite3_create_collation_v2(Db, Name.c_str(), SQLITE_UTF8, new std::string(Locale), &CompareCaseInsensitiveCollation,
                                     &DestroyLocale);
}

// Called by the engine for a collation it does not know yet: ours are made
// for whichever locale their name carries, so an index built under another
// text locale stays readable and writable.
void CollationNeeded(void* /*Arg*/, sqlite3* Db, int /*TextRep*/, const char* Name) {
  std::string Locale;
  if (Name && IsCaseInsensitiveCollation(Name, &Locale)) RegisterCollation(Db, Name, Locale);
}

// The current text locale's collation, and the others made on demand.
void RegisterTextCollations(sqlite3* Db) {
  const std::string Locale = TextLocale();
  if (RegisterCollation(Db, CaseInsensitiveCollation(Locale), Locale) != SQLITE_OK ||
      sqlite3_collation_needed(Db, nullptr, &CollationNeeded) != SQLITE_OK)
    Raise(sqlite3_errmsg(Db));
}

const TFormatSettings& EngineNumberFormat() {
  static const TFormatSettings Settings = [] {
    TFormatSettings S = FormatSettings();
    S.DecimalSeparator = '.';
    S.ThousandSeparator = '\0';
    return S;
  }();
  return Settings;
}

bool ParseDigits(std::string_view S, std::size_t& Pos, int Count, int& Out) {
  if (Pos + Count > S.size()) return false;
  Out = 0;
  for (int I = 0; I < Count; ++I) {
    char C = S[Pos + I];
    if (C < '0' || C > '9') return false;
    Out = Out * 10 + (C - '0');
  }
  Pos += Count;
  return true;
}

bool ParseTimePart(std::string_view S, std::size_t& Pos, TSQLTimeStamp& TS) {
  int H = 0, M = 0, Sec = 0;
  if (!ParseDigits(S, Pos, 2, H) || Pos >= S.size() || S[Pos++] != ':' || !ParseDigits(S, Pos, 2, M)) return false;
  int Ms = 0;
  if (Pos < S.size() && S[Pos] == ':') {
    ++Pos;
    if (!ParseDigits(S, Pos, 2, Sec)) return false;
    if (Pos < S.size() && S[Pos] == '.') {
      ++Pos;
      // Milliseconds from up to three digits; further digits are rounded off.
      int Digits = 0;
      double Frac = 0, Scale = 0.1;
      while (Pos < S.size() && S[Pos] >= '0' && S[Pos] <= '9') {
        Frac += (S[Pos] - '0') * Scale;
        Scale /= 10;
        ++Pos;
        ++Digits;
      }
      if (Digits == 0) return false;
      Ms = static_cast<int>(std::lround(Frac * 1000));
      if (Ms > 999) Ms = 999;
    }
  }
  if (H > 23 || M > 59 || Sec > 59) return false;
  TS.Hour = static_cast<std::uint16_t>(H);
  TS.Minute = static_cast<std::uint16_t>(M);
  TS.Second = static_cast<std::uint16_t>(Sec);
  TS.Fractions = static_cast<std::uint32_t>(Ms);
  return true;
}

bool IsIntegerText(std::string_view S) {
  std::size_t I = (!S.empty() && (S[0] == '-' || S[0] == '+')) ? 1 : 0;
  if (I >= S.size()) return false;
  for (; I < S.size(); ++I)
    if (S[I] < '0' || S[I] > '9') return false;
  return true;
}

std::string Upper(std::string_view S) {
  std::string Out(S);
  for (char& C : Out)
    if (C >= 'a' && C <= 'z') C = static_cast<char>(C - 32);
  return Out;
}

// Whether S holds only blanks, semicolons and comments.
bool IsBlankSQL(const char* S) {
  while (*S) {
    if (*S == ';' || static_cast<unsigned char>(*S) <= ' ') {
      ++S;
    } else if (S[0] == '-' && S[1] == '-') {
      while (*S && *S != '\n') ++S;
    } else if (S[0] == '/' && S[1] == '*') {
      const char* End = std::strstr(S + 2, "*/");
      if (!End) return true;
      S = End + 2;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------
// TSQLiteConnection

TSQLiteConnection::TSQLiteConnection(const std::string& Path, const TSQLiteOpenOptions& Options) : Path_(Path) {
  int Flags = Options.ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
  if (Options.Create && !Options.ReadOnly) Flags |= SQLITE_OPEN_CREATE;
  Flags |= SQLITE_OPEN_NOMUTEX;
  int Rc = sqlite3_open_v2(Path.c_str(), &Db_, Flags, nullptr);
  if (Rc != SQLITE_OK) {
    std::string Message = Db_ ? sqlite3_errmsg(Db_) : sqlite3_errstr(Rc);
    sqlite3_close(Db_);
    Db_ = nullptr;
    Raise(Path + ": " + Message);
  }
  sqlite3_extended_result_codes(Db_, 1);
  try {
    if (Options.BusyTimeoutMs > 0) sqlite3_busy_timeout(Db_, Options.BusyTimeoutMs);
    const int Flags1 = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
    if (sqlite3_create_function_v2(Db_, "upper", 1, Flags1, nullptr, &CaseFunction<&UpperText>, nullptr,
                                   nullptr, nullptr) != SQLITE_OK ||
        sqlite3_create_function_v2(Db_, "lower", 1, Flags1, nullptr, &CaseFunction<&LowerText>, nullptr,
                                   nullptr, nullptr) != SQLITE_OK ||
        sqlite3_create_function_v2(Db_, "fyndra_starts_upper", 2, Flags1, nullptr, &StartsUpperFunction, nullptr,
                                   nullptr, nullptr) != SQLITE_OK)
      RaiseLastError();
    RegisterTextCollations(Db_);
    Exec("PRAGMA case_sensitive_like = ON; PRAGMA foreign_keys = ON;");
    // Reading the schema proves the file is a database and is not locked away.
    sqlite3_stmt* Probe = nullptr;
    if (sqlite3_prepare_v2(Db_, "SELECT count(*) FROM sqlite_master", -1, &Probe, nullptr) != SQLITE_OK)
      RaiseLastError();
    Rc = sqlite3_step(Probe);
    sqlite3_finalize(Probe);
    if (Rc != SQLITE_ROW) RaiseLastError();
  } catch (const EDatabaseError& E) {
    std::string Message = E.Message();
    sqlite3_close(Db_);
    Db_ = nullptr;
    Raise(Path + ": " + Message);
  }
}

TSQLiteConnection::~TSQLiteConnection() {
  if (!Db_) return;
  // A transaction still open when the connection goes is rolled back.
  sqlite3_close_v2(Db_);
}

void TSQLiteConnection::Exec(const std::string& SQL) {
  char* Error = nullptr;
  if (sqlite3_exec(Db_, SQL.c_str(), nullptr, nullptr, &Error) != SQLITE_OK) {
    std::string Message = Error ? Error : sqlite3_errmsg(Db_);
    sqlite3_free(Error);
    Raise(Message);
  }
}

bool TSQLiteConnection::InTransaction() const { return sqlite3_get_autocommit(Db_) == 0; }
std::int64_t TSQLiteConnection::LastInsertRowId() const { return sqlite3_last_insert_rowid(Db_); }
int TSQLiteConnection::Changes() const { return sqlite3_changes(Db_); }

bool TSQLiteConnection::ColumnInfo(const std::string& Table, const std::string& Column,
                                   TSQLiteColumnInfo& Info) const {
  const char* Decl = nullptr;
  const char* Coll = nullptr;
  int NotNull = 0, PrimaryKey = 0, AutoInc = 0;
  if (sqlite3_table_column_metadata(Db_, nullptr, Table.c_str(), Column.c_str(), &Decl, &Coll, &NotNull, &PrimaryKey,
                                    &AutoInc) != SQLITE_OK)
    return false;
  Info.DeclType = Decl ? Decl : "";
  Info.Collation = Coll ? Coll : "";
  Info.NotNull = NotNull != 0;
  Info.PrimaryKey = PrimaryKey != 0;
  Info.AutoIncrement = AutoInc != 0;
  return true;
}

void TSQLiteConnection::RaiseLastError() const { Raise(sqlite3_errmsg(Db_)); }

// ---------------------------------------------------------------------------
// TSQLiteStatement

TSQLiteStatement::TSQLiteStatement(const TSQLiteConnection& Connection, const std::string& SQL)
    : Conn_(&Connection) {
  const char* Tail = nullptr;
  if (sqlite3_prepare_v2(Connection.Db_, SQL.c_str(), static_cast<int>(SQL.size()), &Stmt_, &Tail) !=
      SQLITE_OK) {
    std::string Message = sqlite3_errmsg(Connection.Db_);
    sqlite3_finalize(Stmt_);
    Stmt_ = nullptr;
    Raise(Message);
  }
  if (!Stmt_) Raise("The SQL text holds no statement");
  // Only the first statement would run; refuse a text with more rather than
  // silently drop the rest.
  if (Tail && !IsBlankSQL(Tail)) {
    sqlite3_finalize(Stmt_);
    Stmt_ = nullptr;
    Raise("The SQL text holds more than one statement");
  }
}

TSQLiteStatement::~TSQLiteStatement() { sqlite3_finalize(Stmt_); }

int TSQLiteStatement::ParamCount() const { return sqlite3_bind_parameter_count(Stmt_); }

void TSQLiteStatement::Bind(int Index, const Variant& Value, TFieldType Type) {
  if (Value.IsNull() || Value.IsEmpty()) {
    sqlite3_bind_null(Stmt_, Index);
    return;
  }
  if (Type == ftUnknown) {
    switch (Value.VarType()) {
      case varSmallint: case varInteger: case varShortInt: case varByte: case varWord:
      case varLongWord: case varInt64: Type = ftLargeint; break;
      case varBoolean: Type = ftBoolean; break;
      case varSingle: case varDouble: Type = ftFloat; break;
      case varCurrency: Type = ftCurrency; break;
      case varDate: Type = ftDateTime; break;
      default:
        if (Value.VarType() == VarFMTBcd()) Type = ftFMTBcd;
        else if (Value.VarType() == VarSQLTimeStamp()) Type = ftTimeStamp;
        else Type = ftString;
    }
  }
  int Rc = SQLITE_OK;
  auto BindText = [&](const std::string& Text) {
    Rc = sqlite3_bind_text(Stmt_, Index, Text.data(), static_cast<int>(Text.size()), SQLITE_TRANSIENT);
  };
  try {
    switch (Type) {
      case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint:
        Rc = sqlite3_bind_int64(Stmt_, Index, Value.AsInt64());
        break;
      case ftBoolean:
        Rc = sqlite3_bind_int(Stmt_, Index, Value.AsBoolean() ? 1 : 0);
        break;
      case ftFloat:
        Rc = sqlite3_bind_double(Stmt_, Index, Value.AsDouble());
        break;
      case ftCurrency: case ftBCD:
        // An exact decimal already held stays exact; anything else goes
        // through Currency (four places, as the type holds).
        if (Value.VarType() == VarFMTBcd()) BindText(BcdToEngineText(Value.AsBcd()));
        else BindText(CurrencyToEngineText(Value.AsCurrency()));
        break;
      case ftFMTBcd:
        if (Value.VarType() == varCurrency) BindText(CurrencyToEngineText(Value.AsCurrency()));
        else BindText(BcdToEngineText(Value.AsBcd()));
        break;
      case ftDate: case ftTime: case ftDateTime:
        if (Value.VarType() == VarSQLTimeStamp()) BindText(DateTimeToEngineText(SQLTimeStampToDateTime(Value.AsSQLTimeStamp()), Type));
        else BindText(DateTimeToEngineText(Value.AsDateTime(), Type));
        break;
      case ftTimeStamp:
        BindText(SQLTimeStampToEngineText(Value.AsSQLTimeStamp()));
        break;
      case ftBlob: case ftBytes: case ftVarBytes: case ftGraphic: case ftTypedBinary: {
        std::string Bytes = Value.AsString();
        Rc = sqlite3_bind_blob64(Stmt_, Index, Bytes.data(), Bytes.size(), SQLITE_TRANSIENT);
        break;
      }
      default:
        BindText(Value.AsString());
        break;
    }
  } catch (const EDatabaseError&) {
    throw;
  } catch (const Exception& E) {
    Raise("Parameter " + std::to_string(Index) + ": " + E.Message());
  }
  if (Rc != SQLITE_OK) Conn_->RaiseLastError();
}

void TSQLiteStatement::BindInt64(int Index, std::int64_t Value) {
  if (sqlite3_bind_int64(Stmt_, Index, Value) != SQLITE_OK) Conn_->RaiseLastError();
}

void TSQLiteStatement::BindText(int Index, std::string_view Value) {
  if (sqlite3_bind_text(Stmt_, Index, Value.data(), static_cast<int>(Value.size()), SQLITE_TRANSIENT) != SQLITE_OK)
    Conn_->RaiseLastError();
}

void TSQLiteStatement::BindNull(int Index) {
  if (sqlite3_bind_null(Stmt_, Index) != SQLITE_OK) Conn_->RaiseLastError();
}

void TSQLiteStatement::ClearBindings() { sqlite3_clear_bindings(Stmt_); }

bool TSQLiteStatement::Step() {
  int Rc = sqlite3_step(Stmt_);
  if (Rc == SQLITE_ROW) return true;
  if (Rc == SQLITE_DONE) return false;
  std::string Message = sqlite3_errmsg(Conn_->Db_);
  sqlite3_reset(Stmt_);
  Raise(Message);
}

void TSQLiteStatement::Reset() { sqlite3_reset(Stmt_); }

std::string_view TSQLiteStatement::SQL() const {
  const char* Text = sqlite3_sql(Stmt_);
  return Text ? std::string_view(Text) : std::string_view();
}

bool TSQLiteStatement::ReadOnly() const { return sqlite3_stmt_readonly(Stmt_) != 0; }

int TSQLiteStatement::Execute() {
  while (Step()) {
  }
  int Changed = sqlite3_changes(Conn_->Db_);
  Reset();
  return Changed;
}

int TSQLiteStatement::ColumnCount() const { return sqlite3_column_count(Stmt_); }

std::string TSQLiteStatement::ColumnName(int Col) const {
  const char* N = sqlite3_column_name(Stmt_, Col);
  return N ? N : "";
}
std::string TSQLiteStatement::ColumnDeclType(int Col) const {
  const char* T = sqlite3_column_decltype(Stmt_, Col);
  return T ? T : "";
}
std::string TSQLiteStatement::ColumnTable(int Col) const {
  const char* T = sqlite3_column_table_name(Stmt_, Col);
  return T ? T : "";
}
std::string TSQLiteStatement::ColumnOrigin(int Col) const {
  const char* T = sqlite3_column_origin_name(Stmt_, Col);
  return T ? T : "";
}

TStorage TSQLiteStatement::ColumnStorage(int Col) const {
  switch (sqlite3_column_type(Stmt_, Col)) {
    case SQLITE_INTEGER: return TStorage::Integer;
    case SQLITE_FLOAT: return TStorage::Real;
    case SQLITE_TEXT: return TStorage::Text;
    case SQLITE_BLOB: return TStorage::Blob;
    default: return TStorage::Null;
  }
}

std::int64_t TSQLiteStatement::ColumnInt64(int Col) const { return sqlite3_column_int64(Stmt_, Col); }
double TSQLiteStatement::ColumnDouble(int Col) const { return sqlite3_column_double(Stmt_, Col); }
std::string_view TSQLiteStatement::ColumnText(int Col) const {
  const auto* P = reinterpret_cast<const char*>(sqlite3_column_text(Stmt_, Col));
  return P ? std::string_view(P, static_cast<std::size_t>(sqlite3_column_bytes(Stmt_, Col))) : std::string_view();
}
std::string_view TSQLiteStatement::ColumnBlob(int Col) const {
  const auto* P = static_cast<const char*>(sqlite3_column_blob(Stmt_, Col));
  return P ? std::string_view(P, static_cast<std::size_t>(sqlite3_column_bytes(Stmt_, Col))) : std::string_view();
}

// The engine writes a real as "%!.15g": 15 significant digits, plain
// notation unless the exponent is below -4 or above 14, and always a decimal
// point with a digit after it. Its printf costs more than the rest of reading
// a row, so the same text is made here with std::to_chars, which rounds
// correctly. The engine's printf rounds with long double arithmetic and a
// half away from zero, so the two can differ only where the digits after the
// fifteenth lie at or near a half; there, as for exponent forms (rare for
// stored amounts) and non-finite values, the engine writes the text.
bool TSQLiteStatement::PlainRealText(double Value, std::string_view& Text) const {
  if (!std::isfinite(Value)) return false;
  {
    // Twenty significant digits: d.ddddddddddddddRRRRR, the digits after the
    // fifteenth at offset 16 (17 for a negative value).
    char Wide[40];
    const auto [End, Error] = std::to_chars(Wide, Wide + sizeof Wide, Value, std::chars_format::scientific, 19);
    if (Error != std::errc()) return false;
    const std::size_t At = Value < 0 || std::signbit(Value) ? 17 : 16;
    if (End - Wide < std::ptrdiff_t(At + 4)) return false;
    const int Rest = (Wide[At] - '0') * 1000 + (Wide[At + 1] - '0') * 100 + (Wide[At + 2] - '0') * 10 + (Wide[At + 3] - '0');
    if (Rest >= 4900 && Rest <= 5100) return false;
  }
  char* const First = RealText_;
  const auto [End, Error] = std::to_chars(First, First + sizeof RealText_ - 2, Value, std::chars_format::general, 15);
  if (Error != std::errc()) return false;
  char* Last = End;
  const std::string_view Digits(First, static_cast<std::size_t>(Last - First));
  if (Digits.find('e') != std::string_view::npos) return false;
  if (Digits.find('.') == std::string_view::npos) {
    *Last++ = '.';
    *Last++ = '0';
  }
  Text = std::string_view(First, static_cast<std::size_t>(Last - First));
  return true;
}

void TSQLiteStatement::ReadCell(int Col, TSQLiteCell& Cell, TCellText Text) const {
  // One value object per column: its type and content are read from it.
  sqlite3_value* V = sqlite3_column_value(Stmt_, Col);
  auto TextOf = [&] {
    const auto* P = reinterpret_cast<const char*>(sqlite3_value_text(V));
    Cell.Bytes = P ? std::string_view(P, static_cast<std::size_t>(sqlite3_value_bytes(V))) : std::string_view();
  };
  switch (sqlite3_value_type(V)) {
    case SQLITE_INTEGER:
      Cell.Storage = TStorage::Integer;
      Cell.Integer = sqlite3_value_int64(V);
      if (Text == TCellText::Always) TextOf();
      return;
    case SQLITE_FLOAT:
      Cell.Storage = TStorage::Real;
      Cell.Real = sqlite3_value_double(V);
      if (Text != TCellText::Never && !PlainRealText(Cell.Real, Cell.Bytes)) TextOf();
      return;
    case SQLITE_TEXT:
      Cell.Storage = TStorage::Text;
      TextOf();
      return;
    case SQLITE_BLOB: {
      Cell.Storage = TStorage::Blob;
      const auto* P = static_cast<const char*>(sqlite3_value_blob(V));
      Cell.Bytes = P ? std::string_view(P, static_cast<std::size_t>(sqlite3_value_bytes(V))) : std::string_view();
      return;
    }
    default:
      Cell.Storage = TStorage::Null;
      return;
  }
}

Variant TSQLiteStatement::ColumnValue(int Col, TFieldType Type) const {
  const TStorage S = ColumnStorage(Col);
  if (S == TStorage::Null) return Null();
  auto Mismatch = [&]() -> Variant {
    std::string Decl = ColumnDeclType(Col);
    Raise("Column '" + ColumnName(Col) + "' holds '" + std::string(ColumnText(Col)) + "', which is not a valid " +
          (Decl.empty() ? std::string("value of its type") : Decl + " value"));
  };
  switch (Type) {
    case ftSmallint: case ftInteger: case ftWord: case ftAutoInc: case ftLargeint: case ftBoolean: {
      std::int64_t V = 0;
      if (S == TStorage::Integer) V = ColumnInt64(Col);
      else if (S == TStorage::Real && std::trunc(ColumnDouble(Col)) == ColumnDouble(Col)) V = static_cast<std::int64_t>(ColumnDouble(Col));
      else if (S == TStorage::Text && IsIntegerText(ColumnText(Col))) V = ColumnInt64(Col);
      else if (Type == ftBoolean && S == TStorage::Text) {
        bool B = false;
        if (!TryStrToBool(std::string(ColumnText(Col)), B)) return Mismatch();
        return Variant(B);
      } else return Mismatch();
      if (Type == ftBoolean) return Variant(V != 0);
      if (Type == ftLargeint) return Variant(V);
      if (V < INT32_MIN || V > INT32_MAX) return Mismatch();
      return Variant(static_cast<std::int32_t>(V));
    }
    case ftFloat: {
      if (S == TStorage::Integer || S == TStorage::Real) return Variant(ColumnDouble(Col));
      TBcd B;
      if (S == TStorage::Text && TryEngineTextToBcd(ColumnText(Col), B)) return Variant(BcdToDouble(B));
      return Mismatch();
    }
    case ftCurrency: case ftBCD: case ftFMTBcd: {
      // Plain decimal text with at most four places converts to Currency
      // directly; anything else goes through the exact decimal type.
      Currency Fast;
      if (Type != ftFMTBcd && S != TStorage::Blob && TryPlainTextToCurrency(ColumnText(Col), Fast))
        return Variant(Fast);
      TBcd B;
      if (S == TStorage::Integer) B = IntegerToBcd(ColumnInt64(Col));
      else if (S == TStorage::Blob || !TryEngineTextToBcd(ColumnText(Col), B)) return Mismatch();
      if (Type == ftFMTBcd) return VarFMTBcdCreate(B);
      Currency C;
      if (!BCDToCurr(B, C)) return Mismatch();
      return Variant(C);
    }
    case ftDate: case ftTime: case ftDateTime: case ftTimeStamp: {
      TSQLTimeStamp TS;
      if (S == TStorage::Text) {
        if (!TryEngineTextToSQLTimeStamp(ColumnText(Col), TS)) return Mismatch();
        if (Type == ftTimeStamp) return Variant(TS);
        // A time alone has no date; TDateTime keeps only the fraction then.
        TDateTime Date = 0;
        if (TS.Year != 0) Date = SQLTimeStampToDateTime(TSQLTimeStamp{TS.Year, TS.Month, TS.Day, 0, 0, 0, 0});
        TDateTime Time = (TS.Hour * 3600000.0 + TS.Minute * 60000.0 + TS.Second * 1000.0 + TS.Fractions) / 86400000.0;
        TDateTime V = Date < 0 ? Date - Time : Date + Time;
        if (Type == ftDate) V = Date;
        if (Type == ftTime) V = Time;
        return Variant::FromDateTime(V);
      }
      if (S == TStorage::Integer || S == TStorage::Real) {
        TDateTime V = ColumnDouble(Col) - 2415018.5;  // Julian day number
        if (Type == ftTimeStamp) return Variant(DateTimeToSQLTimeStamp(V));
        return Variant::FromDateTime(V);
      }
      return Mismatch();
    }
    case ftBlob: case ftBytes: case ftVarBytes: case ftGraphic: case ftTypedBinary:
      return Variant(std::string(S == TStorage::Blob ? ColumnBlob(Col) : ColumnText(Col)));
    case ftWideString:
      return Variant(Utf8ToUtf16(std::string(ColumnText(Col))));
    default:
      return Variant(std::string(ColumnText(Col)));
  }
}

// ---------------------------------------------------------------------------
// The case-insensitive collation

int CompareCaseInsensitiveCollation(void* Arg, int LengthA, const void* A, int LengthB, const void* B) {
  const std::string_view TA(static_cast<const char*>(A), static_cast<std::size_t>(LengthA));
  const std::string_view TB(static_cast<const char*>(B), static_cast<std::size_t>(LengthB));
  try {
    return AnsiCompareUpperTextIn(*static_cast<const std::string*>(Arg), TA, TB);
  } catch (...) {
    // Nothing may leave the engine's callback. The text service raises only
    // when ICU cannot open even its root collation, which ends every
    // comparison alike; byte order keeps the engine's order total meanwhile.
    const int C = TA.compare(TB);
    return C < 0 ? -1 : (C > 0 ? 1 : 0);
  }
}

std::string CaseInsensitiveCollation(const std::string& Locale) { return std::string(CollationPrefix) + Locale; }

std::string CaseInsensitiveCollation() { return CaseInsensitiveCollation(TextLocale()); }

bool IsCaseInsensitiveCollation(std::string_view Name, std::string* Locale) {
  // The engine compares collation names ignoring ASCII case.
  if (Name.size() <= CollationPrefix.size() || Upper(Name.substr(0, CollationPrefix.size())) != CollationPrefix)
    return false;
  if (Locale) *Locale = std::string(Name.substr(CollationPrefix.size()));
  return true;
}

bool IsCurrentCaseInsensitiveCollation(std::string_view Name) {
  std::string Locale;
  return IsCaseInsensitiveCollation(Name, &Locale) && Upper(Locale) == Upper(TextLocale());
}

std::string CollateClause(const std::string& Collation) {
  std::string Out = " COLLATE \"";
  for (char C : Collation) {
    if (C == '"') Out += '"';
    Out += C;
  }
  return Out + '"';
}


// ---------------------------------------------------------------------------
// Value conventions

bool TryPlainTextToCurrency(std::string_view S, Currency& Value) {
  std::size_t I = 0;
  const bool Negative = !S.empty() && S[0] == '-';
  if (Negative) ++I;
  const std::size_t DigitsStart = I;
  std::uint64_t Whole = 0;
  for (; I < S.size() && S[I] >= '0' && S[I] <= '9'; ++I) {
    if (Whole > 92233720368547ull) return false;  // keeps Whole * 10000 within int64
    Whole = Whole * 10 + std::uint64_t(S[I] - '0');
  }
  if (I == DigitsStart) return false;
  std::uint64_t Fraction = 0;
  int Places = 0;
  if (I < S.size() && S[I] == '.') {
    for (++I; I < S.size() && S[I] >= '0' && S[I] <= '9'; ++I) {
      if (++Places > 4) return false;
      Fraction = Fraction * 10 + std::uint64_t(S[I] - '0');
    }
  }
  if (I != S.size()) return false;
  for (int P = Places; P < 4; ++P) Fraction *= 10;
  const std::uint64_t Scaled = Whole * 10000 + Fraction;
  if (Scaled > std::uint64_t(INT64_MAX)) return false;
  Value = Currency::FromScaled(Negative ? -std::int64_t(Scaled) : std::int64_t(Scaled));
  return true;
}


std::string CurrencyToEngineText(Currency Value) {
  std::int64_t S = Value.Scaled();
  std::uint64_t Abs = S < 0 ? std::uint64_t(-(S + 1)) + 1 : std::uint64_t(S);
  char Buf[40];
  std::snprintf(Buf, sizeof Buf, "%s%llu.%04llu", S < 0 ? "-" : "", (unsigned long long)(Abs / 10000),
                (unsigned long long)(Abs % 10000));
  // Trailing zeros of the fraction say nothing; "12.5000" is stored as "12.5".
  std::string Out = Buf;
  while (Out.back() == '0') Out.pop_back();
  if (Out.back() == '.') Out.pop_back();
  return Out;
}

std::string BcdToEngineText(const TBcd& Value) { return BcdToStr(Value, EngineNumberFormat()); }

bool TryEngineTextToBcd(std::string_view Text, TBcd& Value) {
  return TryStrToBcd(std::string(Text), Value, EngineNumberFormat());
}

std::string SQLTimeStampToEngineText(const TSQLTimeStamp& V) {
  char Buf[48];
  int N = std::snprintf(Buf, sizeof Buf, "%04d-%02u-%02u %02u:%02u:%02u", int(V.Year), unsigned(V.Month),
                        unsigned(V.Day), unsigned(V.Hour), unsigned(V.Minute), unsigned(V.Second));
  if (V.Fractions != 0) std::snprintf(Buf + N, sizeof Buf - N, ".%03u", unsigned(V.Fractions % 1000));
  return Buf;
}

std::string DateTimeToEngineText(TDateTime Value, TFieldType Type) {
  std::string Full = SQLTimeStampToEngineText(DateTimeToSQLTimeStamp(Value));
  if (Type == ftDate) return Full.substr(0, 10);
  if (Type == ftTime) return Full.substr(11);
  return Full;
}

bool TryEngineTextToSQLTimeStamp(std::string_view S, TSQLTimeStamp& Value) {
  TSQLTimeStamp TS;
  std::size_t Pos = 0;
  while (Pos < S.size() && S[Pos] == ' ') ++Pos;
  // A time alone.
  if (S.size() >= Pos + 5 && S[Pos + 2] == ':') {
    if (!ParseTimePart(S, Pos, TS)) return false;
  } else {
    int Y = 0, M = 0, D = 0;
    if (!ParseDigits(S, Pos, 4, Y) || Pos >= S.size() || S[Pos++] != '-' || !ParseDigits(S, Pos, 2, M) ||
        Pos >= S.size() || S[Pos++] != '-' || !ParseDigits(S, Pos, 2, D))
      return false;
    TDateTime Check;
    if (!TryEncodeDate(Y, M, D, Check)) return false;
    TS.Year = static_cast<std::int16_t>(Y);
    TS.Month = static_cast<std::uint16_t>(M);
    TS.Day = static_cast<std::uint16_t>(D);
    if (Pos < S.size() && (S[Pos] == ' ' || S[Pos] == 'T')) {
      ++Pos;
      if (!ParseTimePart(S, Pos, TS)) return false;
    }
  }
  while (Pos < S.size() && S[Pos] == ' ') ++Pos;
  // A trailing 'Z' (UTC marker) is accepted; other zones are not understood.
  if (Pos < S.size() && S[Pos] == 'Z') ++Pos;
  if (Pos != S.size()) return false;
  Value = TS;
  return true;
}

TColumnType ColumnTypeFromDecl(std::string_view DeclType) {
  const std::string T = Upper(Trim(std::string(DeclType)));
  // Name and the numbers in parentheses.
  // The engine takes any numbers here, so they are read saturating at the
  // int range: a declared length is a hint, never a reason to overflow.
  std::string Name = T;
  int Args[2] = {-1, -1};
  std::size_t Open = T.find('(');
  if (Open != std::string::npos) {
    Name = Trim(T.substr(0, Open));
    std::size_t P = Open + 1;
    auto SkipBlanks = [&] {
      while (P < T.size() && (T[P] == ' ' || T[P] == '\t')) ++P;
    };
    for (int& Arg : Args) {
      SkipBlanks();
      if (&Arg != Args && (P >= T.size() || T[P++] != ',')) break;
      SkipBlanks();
      if (P < T.size() && T[P] == '+') ++P;
      if (P >= T.size() || T[P] < '0' || T[P] > '9') break;
      Arg = 0;
      for (; P < T.size() && T[P] >= '0' && T[P] <= '9'; ++P)
        Arg = Arg > (std::numeric_limits<int>::max() - (T[P] - '0')) / 10 ? std::numeric_limits<int>::max()
                                                                          : Arg * 10 + (T[P] - '0');
    }
  }
  auto Is = [&](std::initializer_list<const char*> Names) {
    for (const char* N : Names)
      if (Name == N) return true;
    return false;
  };
  TColumnType R;
  if (Is({"INTEGER", "BIGINT", "INT8", "UNSIGNED BIG INT"})) R.DataType = ftLargeint;
  else if (Is({"INT", "INT4", "MEDIUMINT"})) R.DataType = ftInteger;
  else if (Is({"SMALLINT", "INT2", "TINYINT"})) R.DataType = ftSmallint;
  else if (Is({"BOOLEAN", "BOOL", "BIT"})) R.DataType = ftBoolean;
  else if (Is({"REAL", "DOUBLE", "DOUBLE PRECISION", "FLOAT"})) R.DataType = ftFloat;
  else if (Is({"MONEY", "CURRENCY"})) {
    // Held as Currency (exact, four places), not as the double of ftCurrency.
    R.DataType = ftBCD;
    R.Precision = 19;
    R.Size = 4;
  }
  else if (Is({"NUMERIC", "DECIMAL"})) {
    // Digits beyond what an exact decimal holds read as no precision at all.
    if (Args[0] > 0 && Args[0] <= MaxFMTBcdDigits && Args[1] <= MaxFMTBcdDigits) {
      int P = Args[0], S = Args[1] < 0 ? 0 : Args[1];
      R.DataType = (P <= 18 && S <= 4) ? ftBCD : ftFMTBcd;
      R.Precision = P;
      R.Size = S;
    } else {
      R.DataType = ftFMTBcd;
      R.Precision = MaxFMTBcdDigits;
    }
  } else if (Is({"DATE"})) R.DataType = ftDate;
  else if (Is({"TIME"})) R.DataType = ftTime;
  else if (Is({"DATETIME"})) R.DataType = ftDateTime;
  else if (Is({"TIMESTAMP"})) R.DataType = ftTimeStamp;
  // A text wider than a field holds is read whole, as text without a size.
  else if (Is({"CHAR", "NCHAR", "CHARACTER", "NATIVE CHARACTER", "VARCHAR", "NVARCHAR", "VARCHAR2", "NVARCHAR2",
               "CHARACTER VARYING", "VARYING CHARACTER"}) &&
           Args[0] > MaxFieldSize)
    R.DataType = ftMemo;
  else if (Is({"CHAR", "NCHAR", "CHARACTER", "NATIVE CHARACTER"}) && Args[0] > 0) {
    R.DataType = ftFixedChar;
    R.Size = Args[0];
  } else if (Is({"VARCHAR", "NVARCHAR", "VARCHAR2", "NVARCHAR2", "CHARACTER VARYING", "VARYING CHARACTER"}) &&
             Args[0] > 0) {
    R.DataType = ftString;
    R.Size = Args[0];
  } else if (Is({"TEXT", "CLOB", "VARCHAR", "NVARCHAR", "CHAR", "CHARACTER"})) R.DataType = ftMemo;
  else if (Is({"GUID", "UUID"})) {
    R.DataType = ftGuid;
    R.Size = 38;
  } else if (Is({"BLOB", "BINARY", "VARBINARY"}) || Name.empty()) R.DataType = ftBlob;
  // The engine's affinity rules for any other name.
  else if (Name.find("INT") != std::string::npos) R.DataType = ftLargeint;
  else if (Name.find("CHAR") != std::string::npos || Name.find("CLOB") != std::string::npos ||
           Name.find("TEXT") != std::string::npos) R.DataType = ftMemo;
  else if (Name.find("BLOB") != std::string::npos) R.DataType = ftBlob;
  else if (Name.find("REAL") != std::string::npos || Name.find("FLOA") != std::string::npos ||
           Name.find("DOUB") != std::string::npos) R.DataType = ftFloat;
  else {
    R.DataType = ftFMTBcd;
    R.Precision = MaxFMTBcdDigits;
  }
  return R;
}

TFieldType FieldTypeFromStorage(TStorage Storage) {
  switch (Storage) {
    case TStorage::Integer: return ftLargeint;
    case TStorage::Real: return ftFloat;
    case TStorage::Blob: return ftBlob;
    default: return ftMemo;
  }
}

}  // namespace fyndra
