// Variant: the dynamically typed value that carries every item value, bound and
// parameter of the system. A Variant is a value type. Numbers, booleans, dates
// and SQL time stamps live inline (copying them never allocates); texts, wide
// texts, exact decimals and arrays live in immutable shared storage, so a copy
// shares them and a change (only possible on array elements) copies first.
//
// Conversions follow one set of rules throughout (see variants.cpp):
//  - Unassigned (varEmpty) converts to 0, "" and False; Null converts only to
//    text through VarToStr (""), every other conversion of Null raises
//    EVariantTypeCastError.
//  - Texts convert to numbers, dates and booleans with the locale parsers of
//    sysutils.h; a text that does not parse raises EConvertError.
//  - Conversions to integer types round to the nearest integer, ties to even
//    (as the platform does); a value outside the target's range raises
//    ERangeError. A value outside the range of varSingle, varCurrency or the
//    exact decimal type raises EOverflow.
//  - True converts to the number -1, False to 0.
//  - Any other impossible conversion raises EVariantTypeCastError.
//
// Comparison rules (operators, VarCompareValue, VarSameValue):
//  - Two texts compare as texts, case-sensitively in the locale's order
//    (AnsiCompareStr). A text against any other value is first converted to
//    that value's type with the locale parsers (against an integer it may also
//    read as a float: "1.5" > 1); a text that does not convert raises
//    EConvertError.
//  - Numbers compare by value across types, exactly: integers against
//    currency and exact decimals without rounding, integers against doubles in
//    extended precision. True counts as -1 against numbers; two booleans order
//    False < True. Dates compare as their day numbers, SQL time stamps field by
//    field or as date-times against other values. NaN is unordered: it is
//    neither equal to, less than nor greater than anything.
//  - Null: the operators treat Null as equal only to Null and less than every
//    other value (Unassigned included). Unassigned in the operators is 0
//    against numbers and "" against texts.
//  - VarCompareValue gives vrEqual for two Nulls or two Unassigned, and
//    vrNotEqual when exactly one side is Null or Unassigned (a missing value
//    has no order). VarSameValue is true for two Nulls, two Unassigned, or two
//    values that compare equal, and never raises.
//  - Arrays do not compare: EVariantTypeCastError.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sqltimst.h>
#include <fyndra/platform/rtl/systypes.h>

namespace fyndra {

constexpr TVarType varEmpty = 0x0000;
constexpr TVarType varNull = 0x0001;
constexpr TVarType varSmallint = 0x0002;
constexpr TVarType varInteger = 0x0003;
constexpr TVarType varSingle = 0x0004;
constexpr TVarType varDouble = 0x0005;
constexpr TVarType varCurrency = 0x0006;
constexpr TVarType varDate = 0x0007;
constexpr TVarType varOleStr = 0x0008;
constexpr TVarType varDispatch = 0x0009;
constexpr TVarType varError = 0x000A;
constexpr TVarType varBoolean = 0x000B;
constexpr TVarType varVariant = 0x000C;
constexpr TVarType varUnknown = 0x000D;
constexpr TVarType varShortInt = 0x0010;
constexpr TVarType varByte = 0x0011;
constexpr TVarType varWord = 0x0012;
constexpr TVarType varLongWord = 0x0013;
constexpr TVarType varInt64 = 0x0014;
constexpr TVarType varStrArg = 0x0048;
constexpr TVarType varString = 0x0100;
constexpr TVarType varTypeMask = 0x0FFF;
constexpr TVarType varArray = 0x2000;
constexpr TVarType varByRef = 0x4000;

// Codes of the two custom types registered at start-up (also returned by
// VarSQLTimeStamp() and VarFMTBcd()).
constexpr TVarType varFirstCustom = 0x010F;
constexpr TVarType varSQLTimeStampCode = 0x010F;
constexpr TVarType varFMTBcdCode = 0x0110;

class Variant {
 public:
  Variant() noexcept : fType(varEmpty) { fData.I = 0; }
  Variant(std::int32_t V) noexcept : fType(varInteger) { fData.I = V; }
  Variant(std::int64_t V) noexcept : fType(varInt64) { fData.I = V; }
  Variant(long long V) noexcept : fType(varInt64) { fData.I = static_cast<std::int64_t>(V); }
  Variant(std::uint32_t V) noexcept : fType(varLongWord) { fData.I = V; }
  // varInt64; raises ERangeError above the int64 range.
  Variant(std::uint64_t V);
  Variant(double V) noexcept : fType(varDouble) { fData.D = V; }
  Variant(bool V) noexcept : fType(varBoolean) { fData.B = V; }
  Variant(Currency V) noexcept : fType(varCurrency) { fData.I = V.Scaled(); }
  Variant(const char* V);
  Variant(std::string V);
  Variant(std::string_view V);
  Variant(std::u16string V);
  Variant(const char16_t* V);
  Variant(const TBcd& V);
  Variant(const TSQLTimeStamp& V) noexcept : fType(varSQLTimeStampCode) { fData.TS = V; }

  // varDate.
  static Variant FromDateTime(TDateTime V) noexcept;
  // A value of exactly the given type: VarAsType(V, Type).
  static Variant OfType(TVarType Type, const Variant& V);
  static Variant NullValue() noexcept;

  TVarType VarType() const noexcept { return fType; }
  bool IsNull() const noexcept { return fType == varNull; }
  bool IsEmpty() const noexcept { return fType == varEmpty; }
  bool IsArray() const noexcept { return (fType & varArray) != 0; }

  // Typed accessors, converting by the rules above.
  std::int32_t AsInteger() const;
  std::int64_t AsInt64() const;
  double AsDouble() const;
  bool AsBoolean() const;
  Currency AsCurrency() const;
  TDateTime AsDateTime() const;
  std::string AsString() const;       // UTF-8
  std::u16string AsWideString() const;
  TBcd AsBcd() const;
  TSQLTimeStamp AsSQLTimeStamp() const;

  // Array elements, indexed from the low bound (0). Raise ERangeError outside
  // the bounds and EVariantError when the variant is not an array.
  const Variant& operator[](int Index) const;
  Variant& operator[](int Index);
  int ElementCount() const;

  // Comparisons with the variant rules (VarCompareValue in variants.cpp):
  // Null equals only Null and orders below every other value; texts compared
  // with numbers convert to numbers and raise EConvertError when they do not.
  friend bool operator==(const Variant& A, const Variant& B);
  friend bool operator!=(const Variant& A, const Variant& B) { return !(A == B); }
  friend bool operator<(const Variant& A, const Variant& B);
  friend bool operator>(const Variant& A, const Variant& B) { return B < A; }
  friend bool operator<=(const Variant& A, const Variant& B);
  friend bool operator>=(const Variant& A, const Variant& B) { return B <= A; }

  // Raw access for the runtime's own units; callers outside it use the As...
  // accessors.
  std::int64_t RawInt() const noexcept { return fData.I; }
  double RawDouble() const noexcept { return fData.D; }
  bool RawBool() const noexcept { return fData.B; }
  const std::string& RawString() const;        // REQUIRES: varString
  const std::u16string& RawWideString() const;  // REQUIRES: varOleStr
  const TBcd& RawBcd() const;                  // REQUIRES: the exact decimal type
  const TSQLTimeStamp& RawSQLTimeStamp() const noexcept { return fData.TS; }
  const std::vector<Variant>& RawArray() const;  // REQUIRES: an array

  // Builds a value of an integer or floating type without range checks beyond
  // the type's own (used by the conversions).
  static Variant MakeInt(TVarType Type, std::int64_t V) noexcept;
  static Variant MakeFloat(TVarType Type, double V) noexcept;
  static Variant MakeArray(std::vector<Variant> Elements);

 private:
  union Data {
    Data() noexcept : I(0) {}
    std::int64_t I;  // all integer types and Currency (scaled)
    double D;        // varDouble, varSingle, varDate
    bool B;
    TSQLTimeStamp TS;
  };
  TVarType fType;
  Data fData;
  // Text, wide text, exact decimal or element vector, by type.
  std::shared_ptr<const void> fRef;
};

Variant Null();
Variant Unassigned();

TVarType VarType(const Variant& V);
bool VarIsNull(const Variant& V);
bool VarIsEmpty(const Variant& V);
bool VarIsClear(const Variant& V);  // Unassigned
bool VarIsArray(const Variant& V);
bool VarIsStr(const Variant& V);      // varString, varOleStr, varStrArg
bool VarIsNumeric(const Variant& V);  // VarIsOrdinal or VarIsFloat
bool VarIsOrdinal(const Variant& V);  // integer types and booleans
bool VarIsFloat(const Variant& V);    // varSingle, varDouble, varCurrency, exact decimals
bool VarIsType(const Variant& V, TVarType Type);

Variant VarArrayOf(std::initializer_list<Variant> Values);
Variant VarArrayOf(std::vector<Variant> Values);
int VarArrayDimCount(const Variant& V);  // 1 for arrays, 0 otherwise
// Only dimension 1 exists; raise EVariantError otherwise or when not an array.
int VarArrayLowBound(const Variant& V, int Dim);
int VarArrayHighBound(const Variant& V, int Dim);

// A new variant of the given type (flags masked off), converted by the rules above.
Variant VarAsType(const Variant& V, TVarType Type);
// Text of a value; Null gives "" (Unassigned gives "" too).
std::string VarToStr(const Variant& V);
std::string VarToStrDef(const Variant& V, const std::string& Default);
std::u16string VarToWideStr(const Variant& V);
// Null and Unassigned give 0 (1899-12-30).
TDateTime VarToDateTime(const Variant& V);
// The name of a type code ("Integer", "String", "SQLTimeStamp", ...).
std::string VarTypeAsText(TVarType Type);

// Both Unassigned, both Null, or both values and equal by the comparison rules;
// never raises (values that cannot be compared are not the same).
bool VarSameValue(const Variant& A, const Variant& B);

enum TVariantRelationship { vrEqual, vrLessThan, vrGreaterThan, vrNotEqual };
// Both Unassigned or both Null: vrEqual; exactly one side Unassigned or Null:
// vrNotEqual; otherwise the order of the values (raising when a text does not
// convert to the other side's type).
TVariantRelationship VarCompareValue(const Variant& A, const Variant& B);

}  // namespace fyndra
