// Query parameters: TParams is a collection of TParam, owned by the query (or
// whoever made it), and owns its items. Parameters are found by name without
// regard to case.
//
// ParseSQL reads parameter references out of SQL text:
//  - ":name" is a parameter; a name is made of letters (any non-ASCII letter
//    too), digits, "_", "$" and "#"; ":"quoted name"" (double quotes) names a
//    parameter whose name holds other characters.
//  - "::" is not a parameter: it stands for one literal colon and is written
//    as one colon into the engine text.
//  - nothing inside a quoted text ('…', "…", `…`, […]) or a comment
//    (-- to the end of the line, /* … */) is a parameter.
// Each reference is replaced by "?" in the engine text, so that an engine binds
// the values by position; a name referred to twice is one parameter bound twice.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <fyndra/platform/classes/classes.h>
#include <fyndra/platform/classes/typinfo.h>
#include <fyndra/platform/db/dbtypes.h>
#include <fyndra/platform/rtl/fmtbcd.h>
#include <fyndra/platform/rtl/sqltimst.h>
#include <fyndra/platform/rtl/systypes.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra {

enum TParamType : std::uint8_t { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };
FYNDRA_ENUM_NAMES(TParamType, ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult)

class TParams;

class TParam : public TCollectionItem {
 public:
  const std::string& GetName() const { return Name_; }
  void SetName(const std::string& Value) { Name_ = Value; }
  TFieldType GetDataType() const { return DataType_; }
  // The type the value is bound as; the value itself is kept as given and
  // converted when an engine binds it (raising there when it does not convert).
  void SetDataType(TFieldType Value);
  TParamType GetParamType() const { return ParamType_; }
  void SetParamType(TParamType Value) { ParamType_ = Value; }
  int GetSize() const { return Size_; }
  void SetSize(int Value) { Size_ = Value; }
  int GetPrecision() const { return Precision_; }
  void SetPrecision(int Value) { Precision_ = Value; }
  int GetNumericScale() const { return NumericScale_; }
  void SetNumericScale(int Value) { NumericScale_ = Value; }
  // True once a value (Null included) was given.
  bool GetBound() const { return Bound_; }
  void SetBound(bool Value) { Bound_ = Value; }

  bool IsNull() const { return Value_.IsNull() || Value_.IsEmpty(); }
  void Clear();  // Null, still bound

  // The value as given. Setting it by variant takes the data type from the
  // variant when the parameter has none yet (ftUnknown).
  const Variant& GetValue() const { return Value_; }
  void SetValue(const Variant& Value);
  Variant AsVariant() const { return Value_; }
  void SetAsVariant(const Variant& Value) { SetValue(Value); }

  // Typed setters fix the data type; typed getters convert the value.
  void SetAsString(const std::string& Value);
  std::string AsString() const;
  void SetAsWideString(const std::u16string& Value);
  std::u16string AsWideString() const;
  void SetAsMemo(const std::string& Value);
  void SetAsSmallInt(std::int32_t Value);
  void SetAsWord(std::int32_t Value);
  void SetAsInteger(std::int32_t Value);
  std::int32_t AsInteger() const;
  void SetAsLargeInt(std::int64_t Value);
  std::int64_t AsLargeInt() const;
  void SetAsFloat(double Value);
  double AsFloat() const;
  void SetAsCurrency(Currency Value);
  Currency AsCurrency() const;
  void SetAsBCD(Currency Value);
  void SetAsFMTBCD(const TBcd& Value);
  TBcd AsFMTBCD() const;
  void SetAsBoolean(bool Value);
  bool AsBoolean() const;
  void SetAsDate(TDateTime Value);
  void SetAsTime(TDateTime Value);
  void SetAsDateTime(TDateTime Value);
  TDateTime AsDateTime() const;
  void SetAsSQLTimeStamp(const TSQLTimeStamp& Value);
  TSQLTimeStamp AsSQLTimeStamp() const;
  // Raw bytes, held as an 8-bit text.
  void SetAsBlob(const std::string& Value);

  void Assign(TPersistent* Source) override;
  std::string GetDisplayName() const override;

 protected:
  explicit TParam(TCollection* Collection);
  FYNDRA_CLASS(TParam, TCollectionItem)
  friend class TParams;

 private:
  void SetTyped(TFieldType Type, Variant Value);
  std::string Name_;
  TFieldType DataType_ = ftUnknown;
  TParamType ParamType_ = ptUnknown;
  int Size_ = 0, Precision_ = 0, NumericScale_ = 0;
  bool Bound_ = false;
  Variant Value_;
};

class TParams : public TOwnedCollection {
 public:
  TParam* GetItem(int Index) const;
  TParam* AddParam();
  TParam* CreateParam(TFieldType DataType, const std::string& Name, TParamType ParamType);
  void RemoveParam(TParam* Param);  // frees it
  // Null when there is no parameter of that name.
  TParam* FindParam(const std::string& Name) const;
  // Raises EDatabaseError when there is no parameter of that name.
  TParam* ParamByName(const std::string& Name) const;
  // Copies the values (and types) of the parameters of Source that this
  // collection also has, by name.
  void AssignValues(const TParams& Source);
  // Names of all parameters, separated by semicolons.
  std::string GetParamNames() const;

  // Returns the engine text of SQL (see the header comment). When DoCreate is
  // true, a parameter is created for every new name, in order of first use, and
  // parameters whose name no longer occurs are removed; values of names that
  // stay are kept. References receives every reference's name in text order.
  std::string ParseSQL(const std::string& SQL, bool DoCreate,
                       std::vector<std::string>* References = nullptr);

 protected:
  explicit TParams(TPersistent* Owner);
  FYNDRA_CLASS(TParams, TOwnedCollection)
};

}  // namespace fyndra
