#include <fyndra/platform/rtl/variants.h>

#include <cmath>
#include <limits>

#include <fyndra/platform/rtl/decimaltext.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

enum class Kind { Empty, Null, Int, Float, Date, Currency, Bool, Str, WStr, Bcd, Stamp, Array, Other };

Kind KindOf(const Variant& V) {
  if (V.IsArray()) return Kind::Array;
  switch (V.VarType() & varTypeMask) {
    case varEmpty: return Kind::Empty;
    case varNull: return Kind::Null;
    case varSmallint: case varInteger: case varShortInt: case varByte: case varWord:
    case varLongWord: case varInt64:
      return Kind::Int;
    case varSingle: case varDouble: return Kind::Float;
    case varDate: return Kind::Date;
    case varCurrency: return Kind::Currency;
    case varBoolean: return Kind::Bool;
    case varString: return Kind::Str;
    case varOleStr: case varStrArg: return Kind::WStr;
    case varFMTBcdCode: return Kind::Bcd;
    case varSQLTimeStampCode: return Kind::Stamp;
    default: return Kind::Other;
  }
}

[[noreturn]] void CastError(TVarType From, TVarType To) {
  throw EVariantTypeCastError("Could not convert variant of type (" + VarTypeAsText(From) + ") into type (" +
                              VarTypeAsText(To) + ")");
}

[[noreturn]] void RangeError(const Variant& V, TVarType To) {
  throw ERangeError("Value " + VarToStr(V) + " is out of the range of type (" + VarTypeAsText(To) + ")");
}

bool IntRange(TVarType T, std::int64_t& Lo, std::int64_t& Hi) {
  switch (T) {
    case varSmallint: Lo = INT16_MIN; Hi = INT16_MAX; return true;
    case varInteger: Lo = INT32_MIN; Hi = INT32_MAX; return true;
    case varShortInt: Lo = INT8_MIN; Hi = INT8_MAX; return true;
    case varByte: Lo = 0; Hi = UINT8_MAX; return true;
    case varWord: Lo = 0; Hi = UINT16_MAX; return true;
    case varLongWord: Lo = 0; Hi = UINT32_MAX; return true;
    case varInt64: Lo = INT64_MIN; Hi = INT64_MAX; return true;
    default: return false;
  }
}

const std::string& TextOf(const Variant& V, std::string& Buffer) {
  if (KindOf(V) == Kind::Str) return V.RawString();
  Buffer = Utf16ToUtf8(V.RawWideString());
  return Buffer;
}

// Rounds to an integer, ties to even; ERangeError when outside int64.
std::int64_t RoundDouble(double D, const Variant& Source, TVarType Target) {
  if (!std::isfinite(D)) RangeError(Source, Target);
  const double R = std::nearbyint(D);
  if (R < -9223372036854775808.0 || R >= 9223372036854775808.0) RangeError(Source, Target);
  return static_cast<std::int64_t>(R);
}

std::int64_t ToInt64(const Variant& V, TVarType Target) {
  const TVarType From = V.VarType();
  std::int64_t R = 0;
  switch (KindOf(V)) {
    case Kind::Empty: return 0;
    case Kind::Int: return V.RawInt();
    case Kind::Bool: return V.RawBool() ? -1 : 0;
    case Kind::Float: case Kind::Date: return RoundDouble(V.RawDouble(), V, Target);
    case Kind::Currency:
      if (!decimal::ToInt64HalfEven(decimal::FromScaled(V.RawInt(), 4), R)) RangeError(V, Target);
      return R;
    case Kind::Bcd: {
      decimal::DecimalText D;
      decimal::Scan(BcdToStr(V.RawBcd(), TFormatSettings{}), '.', false, D);
      if (!decimal::ToInt64HalfEven(D, R)) RangeError(V, Target);
      return R;
    }
    case Kind::Stamp: return RoundDouble(SQLTimeStampToDateTime(V.RawSQLTimeStamp()), V, Target);
    case Kind::Str: case Kind::WStr: {
      std::string Buf;
      const std::string& S = TextOf(V, Buf);
      if (!TryStrToInt64(S, R)) throw EConvertError("'" + S + "' is not a valid integer value");
      return R;
    }
    default: CastError(From, Target);
  }
}

double ToDouble(const Variant& V, TVarType Target) {
  switch (KindOf(V)) {
    case Kind::Empty: return 0;
    case Kind::Int: return static_cast<double>(V.RawInt());
    case Kind::Bool: return V.RawBool() ? -1 : 0;
    case Kind::Float: case Kind::Date: return V.RawDouble();
    case Kind::Currency: return Currency::FromScaled(V.RawInt()).ToDouble();
    case Kind::Bcd: return BcdToDouble(V.RawBcd());
    case Kind::Stamp: return SQLTimeStampToDateTime(V.RawSQLTimeStamp());
    case Kind::Str: case Kind::WStr: {
      std::string Buf;
      const std::string& S = TextOf(V, Buf);
      double D;
      if (Target == varDate) {
        if (!TryStrToDateTime(S, D)) throw EConvertError("'" + S + "' is not a valid date and time");
      } else if (!TryStrToFloat(S, D)) {
        throw EConvertError("'" + S + "' is not a valid floating point value");
      }
      return D;
    }
    default: CastError(V.VarType(), Target);
  }
}

Currency ToCurrency(const Variant& V) {
  switch (KindOf(V)) {
    case Kind::Empty: return Currency();
    case Kind::Int: return Currency(V.RawInt());
    case Kind::Bool: return Currency(V.RawBool() ? -1 : 0);
    case Kind::Float: case Kind::Date: return Currency(V.RawDouble());
    case Kind::Currency: return Currency::FromScaled(V.RawInt());
    case Kind::Bcd: {
      Currency C;
      if (!BCDToCurr(V.RawBcd(), C)) throw EOverflow("Currency overflow");
      return C;
    }
    case Kind::Stamp: return Currency(SQLTimeStampToDateTime(V.RawSQLTimeStamp()));
    case Kind::Str: case Kind::WStr: {
      std::string Buf;
      const std::string& S = TextOf(V, Buf);
      Currency C;
      if (!TryStrToCurr(S, C)) throw EConvertError("'" + S + "' is not a valid currency value");
      return C;
    }
    default: CastError(V.VarType(), varCurrency);
  }
}

TBcd ToBcd(const Variant& V) {
  switch (KindOf(V)) {
    case Kind::Empty: return NullBcd();
    case Kind::Int: return IntegerToBcd(V.RawInt());
    case Kind::Bool: return IntegerToBcd(V.RawBool() ? -1 : 0);
    case Kind::Float: case Kind::Date: return DoubleToBcd(V.RawDouble());
    case Kind::Currency: {
      TBcd B;
      CurrToBCD(Currency::FromScaled(V.RawInt()), B, 32, 4);
      return B;
    }
    case Kind::Bcd: return V.RawBcd();
    case Kind::Stamp: return DoubleToBcd(SQLTimeStampToDateTime(V.RawSQLTimeStamp()));
    case Kind::Str: case Kind::WStr: {
      std::string Buf;
      const std::string& S = TextOf(V, Buf);
      TBcd B;
      if (!TryStrToBcd(S, B)) throw EConvertError("'" + S + "' is not a valid BCD value");
      return B;
    }
    default: CastError(V.VarType(), varFMTBcdCode);
  }
}

bool ToBool(const Variant& V) {
  switch (KindOf(V)) {
    case Kind::Empty: return false;
    case Kind::Int: case Kind::Currency: return V.RawInt() != 0;
    case Kind::Bool: return V.RawBool();
    case Kind::Float: case Kind::Date: return V.RawDouble() != 0;
    case Kind::Bcd: return BcdCompare(V.RawBcd(), NullBcd()) != 0;
    case Kind::Str: case Kind::WStr: {
      std::string Buf;
      const std::string& S = TextOf(V, Buf);
      bool B;
      if (!TryStrToBool(S, B)) throw EConvertError("'" + S + "' is not a valid boolean value");
      return B;
    }
    default: CastError(V.VarType(), varBoolean);
  }
}

TSQLTimeStamp ToStamp(const Variant& V) {
  switch (KindOf(V)) {
    case Kind::Empty: return TSQLTimeStamp{};
    case Kind::Stamp: return V.RawSQLTimeStamp();
    case Kind::Int: case Kind::Float: case Kind::Date: case Kind::Currency: case Kind::Bcd:
      return DateTimeToSQLTimeStamp(ToDouble(V, varDate));
    case Kind::Str: case Kind::WStr: {
      std::string Buf;
      const std::string& S = TextOf(V, Buf);
      TSQLTimeStamp TS;
      if (!TryStrToSQLTimeStamp(S, TS)) throw EConvertError("'" + S + "' is not a valid SQL time stamp");
      return TS;
    }
    default: CastError(V.VarType(), varSQLTimeStampCode);
  }
}

std::string ToText(const Variant& V, TVarType Target) {
  switch (KindOf(V)) {
    case Kind::Empty: return std::string();
    case Kind::Int: return IntToStr(V.RawInt());
    case Kind::Bool: return BoolToStr(V.RawBool(), true);
    case Kind::Float:
      if ((V.VarType() & varTypeMask) == varSingle && std::isfinite(V.RawDouble())) {
        // The shortest text of the single value, not of its double widening:
        // the double nearest to that text formats as the text itself.
        double Nearest = 0;
        decimal::ToDouble(decimal::FromFloat(static_cast<float>(V.RawDouble())), Nearest);
        return FloatToStr(Nearest);
      }
      return FloatToStr(V.RawDouble());
    case Kind::Date: return DateTimeToStr(V.RawDouble());
    case Kind::Currency: return CurrToStr(Currency::FromScaled(V.RawInt()));
    case Kind::Str: return V.RawString();
    case Kind::WStr: return Utf16ToUtf8(V.RawWideString());
    case Kind::Bcd: return BcdToStr(V.RawBcd());
    case Kind::Stamp: return SQLTimeStampToStr("", V.RawSQLTimeStamp());
    default: CastError(V.VarType(), Target);
  }
}

// ---------------------------------------------------------------- comparison

constexpr int kUnordered = 2;  // NaN on a side

template <class T>
int Cmp(const T& A, const T& B) {
  return A < B ? -1 : (B < A ? 1 : 0);
}

int CmpLong(long double A, long double B) {
  if (std::isnan(A) || std::isnan(B)) return kUnordered;
  return Cmp(A, B);
}

long double NumberAsLong(const Variant& V) {
  switch (KindOf(V)) {
    case Kind::Int: return static_cast<long double>(V.RawInt());
    case Kind::Bool: return V.RawBool() ? -1.0L : 0.0L;
    case Kind::Currency: return static_cast<long double>(V.RawInt()) / 10000.0L;
    case Kind::Empty: return 0;
    case Kind::Stamp: return SQLTimeStampToDateTime(V.RawSQLTimeStamp());
    default: return V.RawDouble();
  }
}


// Converts a text to the kind of the other side.
Variant TextToKindOf(const Variant& Text, const Variant& Other) {
  switch (KindOf(Other)) {
    case Kind::Int: {
      std::string Buf;
      const std::string& S = TextOf(Text, Buf);
      std::int64_t I;
      if (TryStrToInt64(S, I)) return Variant(I);
      double D;
      if (TryStrToFloat(S, D)) return Variant(D);
      throw EConvertError("'" + S + "' is not a valid number");
    }
    case Kind::Float: return Variant(ToDouble(Text, varDouble));
    case Kind::Date: return Variant::FromDateTime(ToDouble(Text, varDate));
    case Kind::Currency: return Variant(ToCurrency(Text));
    case Kind::Bool: return Variant(ToBool(Text));
    case Kind::Bcd: return Variant(ToBcd(Text));
    case Kind::Stamp: return Variant(ToStamp(Text));
    default: CastError(Text.VarType(), Other.VarType());
  }
}

// <0, 0, >0 or kUnordered; both sides are values (neither Null nor Empty) or
// one is Empty and converts to the other's zero.
int CompareValues(const Variant& A, const Variant& B) {
  const Kind KA = KindOf(A), KB = KindOf(B);
  // The common record-test cases first.
  if (KA == Kind::Int && KB == Kind::Int) return Cmp(A.RawInt(), B.RawInt());
  if ((KA == Kind::Float || KA == Kind::Date) && (KB == Kind::Float || KB == Kind::Date)) {
    if (std::isnan(A.RawDouble()) || std::isnan(B.RawDouble())) return kUnordered;
    return Cmp(A.RawDouble(), B.RawDouble());
  }
  if (KA == Kind::Str && KB == Kind::Str) return AnsiCompareStr(A.RawString(), B.RawString());
  if (KA == Kind::Array || KB == Kind::Array || KA == Kind::Other || KB == Kind::Other)
    CastError(A.VarType(), B.VarType());
  const bool SA = KA == Kind::Str || KA == Kind::WStr || KA == Kind::Empty;
  const bool SB = KB == Kind::Str || KB == Kind::WStr || KB == Kind::Empty;
  if (SA && SB) {
    if (KA == Kind::WStr && KB == Kind::WStr) return WideCompareStr(A.RawWideString(), B.RawWideString());
    std::string BA, BB;
    const std::string& TA = KA == Kind::Empty ? BA : TextOf(A, BA);
    const std::string& TB = KB == Kind::Empty ? BB : TextOf(B, BB);
    return AnsiCompareStr(TA, TB);
  }
  if (KA == Kind::Str || KA == Kind::WStr) return CompareValues(TextToKindOf(A, B), B);
  if (KB == Kind::Str || KB == Kind::WStr) return CompareValues(A, TextToKindOf(B, A));
  // Both numbers of some kind (an Empty side counts as zero).
  if (KA == Kind::Bool && KB == Kind::Bool) return Cmp(A.RawBool(), B.RawBool());
  if (KA == Kind::Stamp && KB == Kind::Stamp) return SQLTimeStampCompare(A.RawSQLTimeStamp(), B.RawSQLTimeStamp());
  if (KA == Kind::Bcd || KB == Kind::Bcd) {
    const bool NonFinite = ((KA == Kind::Float || KA == Kind::Date) && !std::isfinite(A.RawDouble())) ||
                           ((KB == Kind::Float || KB == Kind::Date) && !std::isfinite(B.RawDouble()));
    if (!NonFinite) return BcdCompare(ToBcd(A), ToBcd(B));
    return CmpLong(KA == Kind::Bcd ? BcdToDouble(A.RawBcd()) : NumberAsLong(A),
                   KB == Kind::Bcd ? BcdToDouble(B.RawBcd()) : NumberAsLong(B));
  }
  const bool IntA = KA == Kind::Int || KA == Kind::Bool || KA == Kind::Empty;
  const bool IntB = KB == Kind::Int || KB == Kind::Bool || KB == Kind::Empty;
  if (IntA && IntB) return Cmp(ToInt64(A, varInt64), ToInt64(B, varInt64));
  if ((KA == Kind::Currency || IntA) && (KB == Kind::Currency || IntB)) {
    const __int128 X = KA == Kind::Currency ? static_cast<__int128>(A.RawInt()) : static_cast<__int128>(ToInt64(A, varInt64)) * 10000;
    const __int128 Y = KB == Kind::Currency ? static_cast<__int128>(B.RawInt()) : static_cast<__int128>(ToInt64(B, varInt64)) * 10000;
    return Cmp(X, Y);
  }
  return CmpLong(NumberAsLong(A), NumberAsLong(B));
}

bool IsMissing(Kind K) { return K == Kind::Null || K == Kind::Empty; }

}  // namespace

// ---------------------------------------------------------------- Variant

Variant::Variant(std::uint64_t V) : fType(varInt64) {
  if (V > static_cast<std::uint64_t>(INT64_MAX)) throw ERangeError("Value " + std::to_string(V) + " is out of the range of type (Int64)");
  fData.I = static_cast<std::int64_t>(V);
}

Variant::Variant(const char* V) : Variant(std::string(V ? V : "")) {}
Variant::Variant(std::string V) : fType(varString), fRef(std::make_shared<const std::string>(std::move(V))) {}
Variant::Variant(std::string_view V) : Variant(std::string(V)) {}
Variant::Variant(std::u16string V) : fType(varOleStr), fRef(std::make_shared<const std::u16string>(std::move(V))) {}
Variant::Variant(const char16_t* V) : Variant(std::u16string(V ? V : u"")) {}
Variant::Variant(const TBcd& V) : fType(varFMTBcdCode), fRef(std::make_shared<const TBcd>(V)) {}

Variant Variant::FromDateTime(TDateTime V) noexcept { return MakeFloat(varDate, V); }
Variant Variant::OfType(TVarType Type, const Variant& V) { return VarAsType(V, Type); }
Variant Variant::NullValue() noexcept {
  Variant V;
  V.fType = varNull;
  return V;
}

Variant Variant::MakeInt(TVarType Type, std::int64_t V) noexcept {
  Variant R;
  R.fType = Type;
  R.fData.I = V;
  return R;
}

Variant Variant::MakeFloat(TVarType Type, double V) noexcept {
  Variant R;
  R.fType = Type;
  R.fData.D = Type == varSingle ? static_cast<double>(static_cast<float>(V)) : V;
  return R;
}

Variant Variant::MakeArray(std::vector<Variant> Elements) {
  Variant R;
  R.fType = varArray | varVariant;
  R.fRef = std::make_shared<std::vector<Variant>>(std::move(Elements));
  return R;
}

const std::string& Variant::RawString() const { return *static_cast<const std::string*>(fRef.get()); }
const std::u16string& Variant::RawWideString() const { return *static_cast<const std::u16string*>(fRef.get()); }
const TBcd& Variant::RawBcd() const { return *static_cast<const TBcd*>(fRef.get()); }
const std::vector<Variant>& Variant::RawArray() const {
  if (!IsArray()) throw EVariantError("Variant is not an array");
  return *static_cast<const std::vector<Variant>*>(fRef.get());
}

std::int32_t Variant::AsInteger() const { return static_cast<std::int32_t>(VarAsType(*this, varInteger).fData.I); }
std::int64_t Variant::AsInt64() const { return VarAsType(*this, varInt64).fData.I; }
double Variant::AsDouble() const { return VarAsType(*this, varDouble).fData.D; }
bool Variant::AsBoolean() const { return VarAsType(*this, varBoolean).fData.B; }
Currency Variant::AsCurrency() const { return Currency::FromScaled(VarAsType(*this, varCurrency).fData.I); }
TDateTime Variant::AsDateTime() const { return VarAsType(*this, varDate).fData.D; }
std::string Variant::AsString() const {
  if (fType == varString) return RawString();
  return VarAsType(*this, varString).RawString();
}
std::u16string Variant::AsWideString() const { return VarAsType(*this, varOleStr).RawWideString(); }
TBcd Variant::AsBcd() const { return VarAsType(*this, varFMTBcdCode).RawBcd(); }
TSQLTimeStamp Variant::AsSQLTimeStamp() const { return VarAsType(*this, varSQLTimeStampCode).fData.TS; }

const Variant& Variant::operator[](int Index) const {
  const auto& A = RawArray();
  if (Index < 0 || static_cast<std::size_t>(Index) >= A.size()) throw ERangeError("Variant array index out of bounds");
  return A[static_cast<std::size_t>(Index)];
}

Variant& Variant::operator[](int Index) {
  RawArray();  // raises when not an array
  // Copy on write: another variant may share the elements.
  if (fRef.use_count() > 1) fRef = std::make_shared<std::vector<Variant>>(RawArray());
  // The vector was created non-const above or in MakeArray.
  auto& A = *const_cast<std::vector<Variant>*>(static_cast<const std::vector<Variant>*>(fRef.get()));
  if (Index < 0 || static_cast<std::size_t>(Index) >= A.size()) throw ERangeError("Variant array index out of bounds");
  return A[static_cast<std::size_t>(Index)];
}

int Variant::ElementCount() const { return static_cast<int>(RawArray().size()); }

bool operator==(const Variant& A, const Variant& B) {
  const Kind KA = KindOf(A), KB = KindOf(B);
  if (KA == Kind::Null || KB == Kind::Null) return KA == KB;
  return CompareValues(A, B) == 0;
}

bool operator<(const Variant& A, const Variant& B) {
  const Kind KA = KindOf(A), KB = KindOf(B);
  if (KA == Kind::Null || KB == Kind::Null) return KA == Kind::Null && KB != Kind::Null;
  return CompareValues(A, B) == -1;
}

// Not the negation of >: an unordered pair (NaN) is neither.
bool operator<=(const Variant& A, const Variant& B) {
  const Kind KA = KindOf(A), KB = KindOf(B);
  if (KA == Kind::Null || KB == Kind::Null) return KA == Kind::Null;
  const int C = CompareValues(A, B);
  return C == -1 || C == 0;
}

// ---------------------------------------------------------------- free functions

Variant Null() { return Variant::NullValue(); }
Variant Unassigned() { return Variant(); }

TVarType VarType(const Variant& V) { return V.VarType(); }
bool VarIsNull(const Variant& V) { return V.IsNull(); }
bool VarIsEmpty(const Variant& V) { return V.IsEmpty(); }
bool VarIsClear(const Variant& V) { return V.IsEmpty(); }
bool VarIsArray(const Variant& V) { return V.IsArray(); }
bool VarIsStr(const Variant& V) {
  const Kind K = KindOf(V);
  return K == Kind::Str || K == Kind::WStr;
}
bool VarIsOrdinal(const Variant& V) {
  const Kind K = KindOf(V);
  return K == Kind::Int || K == Kind::Bool;
}
bool VarIsFloat(const Variant& V) {
  const Kind K = KindOf(V);
  return K == Kind::Float || K == Kind::Currency || K == Kind::Bcd;
}
bool VarIsNumeric(const Variant& V) { return VarIsOrdinal(V) || VarIsFloat(V); }
bool VarIsType(const Variant& V, TVarType Type) { return V.VarType() == Type; }

Variant VarArrayOf(std::initializer_list<Variant> Values) { return Variant::MakeArray(std::vector<Variant>(Values)); }
Variant VarArrayOf(std::vector<Variant> Values) { return Variant::MakeArray(std::move(Values)); }
int VarArrayDimCount(const Variant& V) { return V.IsArray() ? 1 : 0; }
int VarArrayLowBound(const Variant& V, int Dim) {
  if (!V.IsArray() || Dim != 1) throw EVariantError("Variant array bounds error");
  return 0;
}
int VarArrayHighBound(const Variant& V, int Dim) {
  if (!V.IsArray() || Dim != 1) throw EVariantError("Variant array bounds error");
  return V.ElementCount() - 1;
}

Variant VarAsType(const Variant& V, TVarType Type) {
  Type &= varTypeMask;
  const TVarType From = V.VarType();
  if ((From & varArray) != 0 && Type != varEmpty && Type != varNull) CastError(From, Type);
  if (Type == varEmpty) return Variant();
  if (Type == varNull) return Null();
  if (V.IsNull()) CastError(From, Type);
  if ((From & varTypeMask) == Type && !V.IsArray()) return V;
  std::int64_t Lo, Hi;
  if (IntRange(Type, Lo, Hi)) {
    const std::int64_t I = ToInt64(V, Type);
    if (I < Lo || I > Hi) RangeError(V, Type);
    return Variant::MakeInt(Type, I);
  }
  switch (Type) {
    case varSingle: {
      const double D = ToDouble(V, Type);
      if (std::isfinite(D) && std::fabs(D) > std::numeric_limits<float>::max()) throw EOverflow("Floating point overflow");
      return Variant::MakeFloat(varSingle, D);
    }
    case varDouble: return Variant::MakeFloat(varDouble, ToDouble(V, Type));
    case varDate: {
      const double D = ToDouble(V, Type);
      if (!std::isfinite(D)) CastError(From, Type);
      return Variant::FromDateTime(D);
    }
    case varCurrency: return Variant(ToCurrency(V));
    case varBoolean: return Variant(ToBool(V));
    case varString: return Variant(ToText(V, Type));
    case varOleStr: case varStrArg: return Variant(Utf8ToUtf16(ToText(V, Type)));
    case varFMTBcdCode: return Variant(ToBcd(V));
    case varSQLTimeStampCode: return Variant(ToStamp(V));
    default: CastError(From, Type);
  }
}

std::string VarToStr(const Variant& V) {
  if (V.IsNull()) return std::string();
  return ToText(V, varString);
}

std::string VarToStrDef(const Variant& V, const std::string& Default) {
  if (V.IsNull() || V.IsEmpty()) return Default;
  return ToText(V, varString);
}

std::u16string VarToWideStr(const Variant& V) {
  if (KindOf(V) == Kind::WStr) return V.RawWideString();
  return Utf8ToUtf16(VarToStr(V));
}

TDateTime VarToDateTime(const Variant& V) {
  if (V.IsNull() || V.IsEmpty()) return 0;
  return VarAsType(V, varDate).RawDouble();
}

std::string VarTypeAsText(TVarType Type) {
  std::string Name;
  switch (Type & varTypeMask) {
    case varEmpty: Name = "Empty"; break;
    case varNull: Name = "Null"; break;
    case varSmallint: Name = "Smallint"; break;
    case varInteger: Name = "Integer"; break;
    case varSingle: Name = "Single"; break;
    case varDouble: Name = "Double"; break;
    case varCurrency: Name = "Currency"; break;
    case varDate: Name = "Date"; break;
    case varOleStr: Name = "OleStr"; break;
    case varDispatch: Name = "Dispatch"; break;
    case varError: Name = "Error"; break;
    case varBoolean: Name = "Boolean"; break;
    case varVariant: Name = "Variant"; break;
    case varUnknown: Name = "Unknown"; break;
    case varShortInt: Name = "ShortInt"; break;
    case varByte: Name = "Byte"; break;
    case varWord: Name = "Word"; break;
    case varLongWord: Name = "LongWord"; break;
    case varInt64: Name = "Int64"; break;
    case varStrArg: Name = "StrArg"; break;
    case varString: Name = "String"; break;
    case varSQLTimeStampCode: Name = "SQLTimeStamp"; break;
    case varFMTBcdCode: Name = "FMTBcd"; break;
    default: Name = IntToHex(Type & varTypeMask, 4).insert(0, 1, '$'); break;
  }
  std::string Prefix;
  if (Type & varByRef) Prefix += "ByRef ";
  if (Type & varArray) Prefix += "Array ";
  return Prefix + Name;
}

bool VarSameValue(const Variant& A, const Variant& B) {
  const Kind KA = KindOf(A), KB = KindOf(B);
  if (IsMissing(KA) || IsMissing(KB)) return KA == KB;
  try {
    return CompareValues(A, B) == 0;
  } catch (const Exception&) {
    return false;
  }
}

TVariantRelationship VarCompareValue(const Variant& A, const Variant& B) {
  const Kind KA = KindOf(A), KB = KindOf(B);
  if (IsMissing(KA) || IsMissing(KB)) return KA == KB ? vrEqual : vrNotEqual;
  switch (CompareValues(A, B)) {
    case -1: return vrLessThan;
    case 0: return vrEqual;
    case 1: return vrGreaterThan;
    default: return vrNotEqual;
  }
}

}  // namespace fyndra
