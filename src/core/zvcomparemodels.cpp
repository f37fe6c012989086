#include <fyndra/core/zvcomparemodels.h>

#include <algorithm>
#include <string_view>
#include <vector>

#include <fyndra/core/zvmodelconsts.h>
#include <fyndra/core/zvmodelconverter.h>
#include <fyndra/core/zvstrutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

FYNDRA_IMPLEMENT_CLASS(TzvConvertCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvEqualCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvNotEqualCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvGreaterCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvGreaterOrEqualCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvLessCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvLessOrEqualCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvStringCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvStartsCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvNotStartsCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvEndsCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvNotEndsCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvContainsCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvNotContainsCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvPatternCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvNotPatternCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvNullCompareModel)
FYNDRA_IMPLEMENT_CLASS(TzvNotNullCompareModel)

void zvRegisterCompareModels(TzvCompareModelList* List) {
  List->Add(ckEqual, LoadResString(SEqualCompareModel), &zvCompareModelClassOf<TzvEqualCompareModel>);
  List->Add(ckNotEqual, LoadResString(SNotEqualCompareModel), &zvCompareModelClassOf<TzvNotEqualCompareModel>);
  List->Add(ckGreater, LoadResString(SGreaterCompareModel), &zvCompareModelClassOf<TzvGreaterCompareModel>);
  List->Add(ckGreaterOrEqual, LoadResString(SGreaterOrEqualCompareModel),
            &zvCompareModelClassOf<TzvGreaterOrEqualCompareModel>);
  List->Add(ckLess, LoadResString(SLessCompareModel), &zvCompareModelClassOf<TzvLessCompareModel>);
  List->Add(ckLessOrEqual, LoadResString(SLessOrEqualCompareModel), &zvCompareModelClassOf<TzvLessOrEqualCompareModel>);
  List->Add(ckStarts, LoadResString(SStartsCompareModel), &zvCompareModelClassOf<TzvStartsCompareModel>);
  List->Add(ckNotStarts, LoadResString(SNotStartsCompareModel), &zvCompareModelClassOf<TzvNotStartsCompareModel>);
  List->Add(ckEnds, LoadResString(SEndsCompareModel), &zvCompareModelClassOf<TzvEndsCompareModel>);
  List->Add(ckNotEnds, LoadResString(SNotEndsCompareModel), &zvCompareModelClassOf<TzvNotEndsCompareModel>);
  List->Add(ckContains, LoadResString(SContainsCompareModel), &zvCompareModelClassOf<TzvContainsCompareModel>);
  List->Add(ckNotContains, LoadResString(SNotContainsCompareModel), &zvCompareModelClassOf<TzvNotContainsCompareModel>);
  List->Add(ckPattern, LoadResString(SPatternCompareModel), &zvCompareModelClassOf<TzvPatternCompareModel>);
  List->Add(ckNotPattern, LoadResString(SNotPatternCompareModel), &zvCompareModelClassOf<TzvNotPatternCompareModel>);
  List->Add(ckNull, LoadResString(SNullCompareModel), &zvCompareModelClassOf<TzvNullCompareModel>);
  List->Add(ckNotNull, LoadResString(SNotNullCompareModel), &zvCompareModelClassOf<TzvNotNullCompareModel>);
}

namespace {

bool IsIntegerType(TVarType T) {
  switch (T & varTypeMask) {
    case varSmallint:
    case varInteger:
    case varShortInt:
    case varByte:
    case varWord:
    case varLongWord:
    case varInt64:
      return true;
    default:
      return false;
  }
}

int SignOf(int C) { return (C > 0) - (C < 0); }

void ReplaceAll(std::string& S, std::string_view From, std::string_view To) {
  std::string::size_type Pos = 0;
  while ((Pos = S.find(From, Pos)) != std::string::npos) {
    S.replace(Pos, From.size(), To);
    Pos += To.size();
  }
}

// Words that are keywords in SQL or in one of the engines the conditions
// target; a field of such a name is written quoted.
bool IsReservedWord(const std::string& Upper) {
  static const char* const Words[] = {
      "ABORT", "ACTION", "ADD", "AFTER", "ALL", "ALTER", "ALWAYS", "ANALYZE", "AND", "ANY", "AS", "ASC",
      "ATTACH", "AUTOINCREMENT", "AVG", "BEFORE", "BEGIN", "BETWEEN", "BLOB", "BOOLEAN", "BOTH", "BY",
      "CASCADE", "CASE", "CAST", "CHAR", "CHARACTER", "CHECK", "COLLATE", "COLUMN", "COMMIT", "CONFLICT",
      "CONSTRAINT", "COUNT", "CREATE", "CROSS", "CURRENT", "CURRENT_DATE", "CURRENT_TIME", "CURRENT_TIMESTAMP",
      "CURRENT_USER", "CURSOR", "DATABASE", "DATE", "DAY", "DECIMAL", "DECLARE", "DEFAULT", "DEFERRABLE",
      "DEFERRED", "DELETE", "DESC", "DETACH", "DISTINCT", "DO", "DOUBLE", "DROP", "EACH", "ELSE", "END",
      "ESCAPE", "EXCEPT", "EXCLUDE", "EXCLUSIVE", "EXISTS", "EXPLAIN", "EXTRACT", "FAIL", "FALSE", "FETCH",
      "FILTER", "FIRST", "FLOAT", "FOLLOWING", "FOR", "FOREIGN", "FROM", "FULL", "GENERATED", "GLOB",
      "GRANT", "GROUP", "GROUPS", "HAVING", "HOUR", "IF", "IGNORE", "IMMEDIATE", "IN", "INDEX", "INDEXED",
      "INITIALLY", "INNER", "INSERT", "INSTEAD", "INT", "INTEGER", "INTERSECT", "INTERVAL", "INTO", "IS",
      "ISNULL", "JOIN", "KEY", "LAST", "LEADING", "LEFT", "LIKE", "LIMIT", "LOWER", "MATCH", "MATERIALIZED",
      "MAX", "MIN", "MINUTE", "MONTH", "NATURAL", "NO", "NOT", "NOTHING", "NOTNULL", "NULL", "NULLS",
      "NUMERIC", "OF", "OFFSET", "ON", "OR", "ORDER", "OTHERS", "OUTER", "OVER", "PARTITION", "PLAN",
      "POSITION", "PRAGMA", "PRECEDING", "PRIMARY", "QUERY", "RAISE", "RANGE", "REAL", "RECURSIVE",
      "REFERENCES", "REGEXP", "REINDEX", "RELEASE", "RENAME", "REPLACE", "RESTRICT", "RETURNING", "RIGHT",
      "ROLLBACK", "ROW", "ROWS", "SAVEPOINT", "SECOND", "SELECT", "SET", "SMALLINT", "SOME", "SUBSTRING",
      "SUM", "TABLE", "TEMP", "TEMPORARY", "THEN", "TIES", "TIME", "TIMESTAMP", "TO", "TRAILING",
      "TRANSACTION", "TRIGGER", "TRIM", "TRUE", "UNBOUNDED", "UNION", "UNIQUE", "UNKNOWN", "UPDATE", "UPPER",
      "USER", "USING", "VACUUM", "VALUE", "VALUES", "VARCHAR", "VIEW", "VIRTUAL", "WHEN", "WHERE", "WINDOW",
      "WITH", "WITHOUT", "YEAR"};
  for (const char* W : Words)
    if (Upper == W) return true;
  return false;
}

// A condition that holds for every row (Agrees) or for none, naming Field.
std::string ConstantCondition(const std::string& Field, bool Agrees) {
  return Agrees ? "( " + Field + " IS NULL OR " + Field + " IS NOT NULL )"
                : "( " + Field + " IS NULL AND " + Field + " IS NOT NULL )";
}

// Condition, and the Null rows with it when they agree.
std::string WithNullRows(std::string Condition, const std::string& Field, bool NullAgrees) {
  if (!NullAgrees) return Condition;
  return "( " + Condition + " OR " + Field + " IS NULL )";
}

}  // namespace

bool zvIsPlainIdentifier(const std::string& Name) {
  if (Name.empty()) return false;
  for (std::size_t I = 0; I < Name.size(); ++I) {
    const unsigned char C = static_cast<unsigned char>(Name[I]);
    const bool Letter = (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_';
    if (!Letter && !(I > 0 && C >= '0' && C <= '9')) return false;
  }
  return true;
}

std::string zvSQLName(const std::string& Name) {
  if (zvIsPlainIdentifier(Name) && !IsReservedWord(UpperCase(Name))) return Name;
  std::string Quoted = Name;
  ReplaceAll(Quoted, "\"", "\"\"");
  return "\"" + Quoted + "\"";
}

// ---------------------------------------------------------------------------
// TzvConvertCompareModel

void TzvConvertCompareModel::DataChanged() {
  IsStringType_ = VarTypeIsStr(DataType_);
  Variant T;
  const bool Converted = TryVarToVar(Value_, T, DataType_);
  SetIsConverted(Converted);
  if (!Converted) return;  // the previous converted value stays
  if (IsStringType_ && CaseInsensitive_)
    SetConvertedValue(Variant(AnsiUpperCase(VarToStr(T))));
  else
    SetConvertedValue(T);
}

void TzvConvertCompareModel::SetConvertedValue(const Variant& V) {
  inherited::SetConvertedValue(V);
  ConvertedText_ = VarToStr(V);
}

bool TzvConvertCompareModel::CompareWithRecord(int& Sign) {
  if (!IsConverted_) return false;
  // Text items compare the record's text; a Null field reads as empty.
  if (IsStringType_) return CompareText(GetCompareAsString(), Sign);
  const Variant RV = GetCompareAsVariant();
  // A missing value on either side has no order: like SQL's comparison with
  // NULL, none of equal, greater or less agrees (not equal does).
  if (RV.IsNull() || RV.IsEmpty() || ConvertedValue_.IsNull() || ConvertedValue_.IsEmpty()) return false;
  if (IsIntegerType(RV.VarType()) && IsIntegerType(ConvertedValue_.VarType())) {
    const std::int64_t A = ConvertedValue_.RawInt(), B = RV.RawInt();
    Sign = (A > B) - (A < B);
    return true;
  }
  try {
    switch (VarCompareValue(ConvertedValue_, RV)) {
      case vrEqual: Sign = 0; return true;
      case vrLessThan: Sign = -1; return true;
      case vrGreaterThan: Sign = 1; return true;
      case vrNotEqual: return false;
    }
  } catch (const Exception&) {
    // A record value that cannot be compared with the criterion (a text that
    // is no number, say) simply does not agree: operators never raise.
  }
  return false;
}

bool TzvConvertCompareModel::CompareText(const std::string& Record, int& Sign) const {
  if (!CaseInsensitive_) {
    Sign = SignOf(AnsiCompareStr(ConvertedText_, Record));
    return true;
  }
  // The criterion is upper case already (DataChanged).
  const std::string Upper = AnsiUpperCase(Record);
  if (Upper == ConvertedText_) {
    Sign = 0;
    return true;
  }
  // Texts the locale holds equal that are not the same letters (a control
  // character, another spelling of an accent) still differ: ordered by the
  // characters of their upper-case forms.
  const int C = AnsiCompareText(ConvertedText_, Record);
  Sign = SignOf(C != 0 ? C : ConvertedText_.compare(Upper));
  return true;
}

bool TzvConvertCompareModel::IsAgree() {
  int S = 0;
  const bool Agrees = CompareWithRecord(S) && Relation(S);
  return Negated() ? !Agrees : Agrees;
}

bool TzvConvertCompareModel::AgreesWithNull() const {
  int S = 0;
  const bool Agrees = IsConverted_ && IsStringType_ && CompareText(std::string(), S) && Relation(S);
  return Negated() ? !Agrees : Agrees;
}

bool TzvConvertCompareModel::AgreesWithAll() const {
  // Without a value to compare, no record is related to it: "not equal"
  // agrees with all of them.
  const bool NoValue = !IsConverted_ || (!IsStringType_ && (ConvertedValue_.IsNull() || ConvertedValue_.IsEmpty()));
  return Negated() && NoValue;
}

Variant TzvConvertCompareModel::GetParamValue() {
  if (!IsConverted_) return Null();
  if (IsStringType_) return Variant(ConvertedText_);
  return ConvertedValue_;
}

std::string TzvConvertCompareModel::Condition(const char* Op) {
  const std::string F = zvSQLName(GetFieldName());
  if (AgreesWithAll()) return ConstantCondition(F, true);
  std::string S = IsStringType_ && CaseInsensitive_ ? "UPPER( " + F + " )" : F;
  S += ' ';
  S += Op;
  S += " :";
  S += GetParamName();
  return WithNullRows(std::move(S), F, AgreesWithNull());
}

// ---------------------------------------------------------------------------
// TzvStringCompareModel

void TzvStringCompareModel::DataChanged() {
  SetIsConverted(true);
  const std::string S = VarToStr(Value_);
  SetConvertedValue(Variant(CaseInsensitive_ ? AnsiUpperCase(S) : S));
}

void TzvStringCompareModel::SetConvertedValue(const Variant& V) {
  inherited::SetConvertedValue(V);
  ConvertedText_ = VarToStr(V);
}

void TzvStringCompareModel::GetSqlParams(std::string& Value, std::string& Escape) {
  Value.clear();
  Escape.clear();
  const std::string S = VarToStr(ConvertedValue_);
  Value = S;
  if (S.find('%') != std::string::npos) {
    ReplaceAll(Value, "/", "//");
    ReplaceAll(Value, "%", "/%");
    Escape = " ESCAPE '/'";
  }
  if (Value.find('_') != std::string::npos) {
    if (Escape.empty()) ReplaceAll(Value, "/", "//");
    ReplaceAll(Value, "_", "/_");
    Escape = " ESCAPE '/'";
  }
  // Without an ESCAPE clause some engines' LIKE (PostgreSQL's) reads a
  // backslash as its escape character: naming '/' makes it an ordinary one.
  if (Escape.empty() && Value.find('\\') != std::string::npos) {
    ReplaceAll(Value, "/", "//");
    Escape = " ESCAPE '/'";
  }
}

std::string TzvStringCompareModel::LikeCondition(bool Negated, const char* Before, const char* After,
                                                 bool MapWildcards) {
  std::string Value, Escape;
  GetSqlParams(Value, Escape);
  if (MapWildcards) {
    ReplaceAll(Value, "*", "%");
    ReplaceAll(Value, "?", "_");
  }
  // The literal ends at the first lone quote: doubling every quote keeps a
  // value such as x' OR '1'='1 one literal that selects what it says.
  ReplaceAll(Value, "'", "''");
  const std::string F = zvSQLName(GetFieldName());
  // An empty part is contained in no text, not even an empty one.
  if (GetConvertedText().empty() && *Before == '%' && *After == '%') return ConstantCondition(F, Negated);
  std::string S = CaseInsensitive_ ? "UPPER( " + F + " )" : F;
  S += Negated ? " NOT LIKE '" : " LIKE '";
  S += Before;
  S += Value;
  S += After;
  S += '\'';
  S += Escape;
  return WithNullRows(std::move(S), F, AgreesWith(std::string()));
}

// ---------------------------------------------------------------------------
// Starts with

void TzvStartsCompareModel::DataChanged() {
  TzvStringCompareModel::DataChanged();
  BoundsChanged_ = true;
}

bool TzvStartsCompareModel::AgreesWith(const std::string& R) {
  // The criterion is upper case already (DataChanged): only the record side
  // may need mapping.
  return CaseInsensitive_ ? AnsiStartsUpperText(GetConvertedText(), R) : AnsiStartsStr(GetConvertedText(), R);
}

Variant TzvStartsCompareModel::GetTopBoundValue() {
  if (BoundsChanged_) {
    SetBoundValues();
    BoundsChanged_ = false;
  }
  return TopValue_;
}

Variant TzvStartsCompareModel::GetBottomBoundValue() {
  if (BoundsChanged_) {
    SetBoundValues();
    BoundsChanged_ = false;
  }
  return BottomValue_;
}

void TzvStartsCompareModel::SetBoundValues() {
  if (!VarTypeIsStr(DataType_)) {
    TopValue_ = Variant();
    BottomValue_ = Variant();
    return;
  }
  TopValue_ = ConvertedValue_;
  const std::string& T = GetConvertedText();
  if ((DataType_ & varTypeMask) == varOleStr) {
    // Wide texts count UTF-16 units, as the field's size does. A wide field
    // gives its item no size (its values are held apart from the record):
    // the padding is then as long as it may be, and the index model cuts it
    // to the key field's size. Without it the range would end at the prefix
    // itself and lose every longer text.
    std::u16string W = Utf8ToUtf16(T);
    const std::int64_t N =
        DataSize_ <= 0 ? 256 : std::min<std::int64_t>(256, std::int64_t{DataSize_} - std::int64_t(W.size()));
    W += AddWideChar(char16_t(0xFFFF), static_cast<int>(N));
    BottomValue_ = Variant(std::move(W));
    return;
  }
  // A memo key (a text without a declared size) gives its item no size
  // either: padded as far as it may be, as a wide text is.
  const std::size_t Chars = CharLength(T);
  const std::int64_t N =
      DataSize_ <= 0 ? 256 : std::min<std::int64_t>(256, std::int64_t{DataSize_} - std::int64_t(Chars));
  // Plain 7-bit text is padded with 7F, anything else with FF (which the text
  // service sorts after every character). Only the first and the last ten
  // characters are examined: enough for the usual keys, cheap for long ones.
  auto HasHighByte = [&T](std::size_t From, std::size_t To) {
    for (std::size_t I = From; I < To; ++I)
      if (static_cast<unsigned char>(T[I]) > 0x7F) return true;
    return false;
  };
  bool High;
  if (Chars <= 20) {
    High = HasHighByte(0, T.size());
  } else {
    High = HasHighByte(0, Utf8CharOffset(T, 10)) || HasHighByte(Utf8CharOffset(T, Chars - 10), T.size());
  }
  BottomValue_ = Variant(T + AddChar(High ? char(0xFF) : char(0x7F), static_cast<int>(N)));
}

// ---------------------------------------------------------------------------
// Ends on, contains, pattern, Null

bool TzvEndsCompareModel::AgreesWith(const std::string& R) {
  return CaseInsensitive_ ? AnsiEndsUpperText(GetConvertedText(), R) : AnsiEndsStr(GetConvertedText(), R);
}

bool TzvContainsCompareModel::AgreesWith(const std::string& R) {
  const std::string& T = GetConvertedText();
  if (T.empty()) return false;  // an empty part is contained in nothing
  // The criterion is upper case already (DataChanged); only the record side
  // needs mapping per call.
  return CaseInsensitive_ ? AnsiPos(T, AnsiUpperCase(R)) > 0 : AnsiPos(T, R) > 0;
}

void TzvPatternCompareModel::DataChanged() {
  TzvStringCompareModel::DataChanged();
  Pattern_ = VarToStr(Value_);
}

bool TzvPatternCompareModel::AgreesWith(const std::string& R) {
  return MatchWildcards(R, CaseInsensitive_ ? Pattern_ : GetConvertedText(), CaseInsensitive_);
}

bool TzvPatternCompareModel::MatchPattern(const std::string& Text, const std::string& Pattern) {
  return MatchWildcards(Text, Pattern, false);
}

bool TzvNullCompareModel::IsAgree() { return GetCompareAsVariant().IsNull(); }

}  // namespace fyndra
