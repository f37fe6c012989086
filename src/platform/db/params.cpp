#include <fyndra/platform/db/params.h>

#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {
namespace {

constexpr const char* SParameterNotFound = "Parameter '%s' not found";
constexpr const char* SBadParamName = "Unterminated parameter name in SQL text at character %d";

// The component that owns a collection, for the name prefix of its messages.
const TComponent* OwningComponent(const TOwnedCollection& Collection) {
  return dynamic_cast<const TComponent*>(const_cast<TOwnedCollection&>(Collection).GetOwner());
}

// The field type a value given by variant implies.
TFieldType FieldTypeOfVariant(const Variant& V) {
  switch (V.VarType()) {
    case varSmallint: case varShortInt: case varByte: return ftSmallint;
    case varInteger: return ftInteger;
    case varWord: return ftWord;
    case varLongWord: case varInt64: return ftLargeint;
    case varSingle: case varDouble: return ftFloat;
    case varCurrency: return ftCurrency;
    case varDate: return ftDateTime;
    case varBoolean: return ftBoolean;
    case varString: return ftString;
    case varOleStr: return ftWideString;
    default: break;
  }
  if (V.VarType() == VarFMTBcd()) return ftFMTBcd;
  if (V.VarType() == VarSQLTimeStamp()) return ftTimeStamp;
  return ftUnknown;
}

bool IsNameStart(unsigned char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || C == '_' || C >= 0x80;
}
bool IsNameChar(unsigned char C) {
  return IsNameStart(C) || (C >= '0' && C <= '9') || C == '$' || C == '#';
}

}  // namespace

FYNDRA_PUBLISHED(TParam, P) {
  P.Property("Name", &TParam::GetName, &TParam::SetName);
  P.Property("ParamType", &TParam::GetParamType, &TParam::SetParamType).Default(ptUnknown);
  P.Property("Size", &TParam::GetSize, &TParam::SetSize).Default(0);
  P.Property("Value", &TParam::GetValue, &TParam::SetValue);
}
FYNDRA_IMPLEMENT_CLASS(TParams)

TParam::TParam(TCollection* Collection) : TCollectionItem(Collection) {}

void TParam::SetDataType(TFieldType Value) { DataType_ = Value; }

void TParam::Clear() {
  Value_ = Null();
  Bound_ = true;
}

void TParam::SetValue(const Variant& Value) {
  if (DataType_ == ftUnknown) DataType_ = FieldTypeOfVariant(Value);
  Value_ = Value;
  Bound_ = true;
}

void TParam::SetTyped(TFieldType Type, Variant Value) {
  DataType_ = Type;
  Value_ = std::move(Value);
  Bound_ = true;
}

void TParam::SetAsString(const std::string& Value) { SetTyped(ftString, Variant(Value)); }
std::string TParam::AsString() const { return IsNull() ? std::string() : Value_.AsString(); }
void TParam::SetAsWideString(const std::u16string& Value) { SetTyped(ftWideString, Variant(Value)); }
std::u16string TParam::AsWideString() const { return IsNull() ? std::u16string() : Value_.AsWideString(); }
void TParam::SetAsMemo(const std::string& Value) { SetTyped(ftMemo, Variant(Value)); }
void TParam::SetAsSmallInt(std::int32_t Value) { SetTyped(ftSmallint, Variant(Value)); }
void TParam::SetAsWord(std::int32_t Value) { SetTyped(ftWord, Variant(Value)); }
void TParam::SetAsInteger(std::int32_t Value) { SetTyped(ftInteger, Variant(Value)); }
std::int32_t TParam::AsInteger() const { return IsNull() ? 0 : Value_.AsInteger(); }
void TParam::SetAsLargeInt(std::int64_t Value) { SetTyped(ftLargeint, Variant(Value)); }
std::int64_t TParam::AsLargeInt() const { return IsNull() ? 0 : Value_.AsInt64(); }
void TParam::SetAsFloat(double Value) { SetTyped(ftFloat, Variant(Value)); }
double TParam::AsFloat() const { return IsNull() ? 0.0 : Value_.AsDouble(); }
void TParam::SetAsCurrency(Currency Value) { SetTyped(ftCurrency, Variant(Value)); }
Currency TParam::AsCurrency() const { return IsNull() ? Currency() : Value_.AsCurrency(); }
void TParam::SetAsBCD(Currency Value) { SetTyped(ftBCD, Variant(Value)); }
void TParam::SetAsFMTBCD(const TBcd& Value) { SetTyped(ftFMTBcd, Variant(Value)); }
TBcd TParam::AsFMTBCD() const { return IsNull() ? NullBcd() : Value_.AsBcd(); }
void TParam::SetAsBoolean(bool Value) { SetTyped(ftBoolean, Variant(Value)); }
bool TParam::AsBoolean() const { return IsNull() ? false : Value_.AsBoolean(); }
void TParam::SetAsDate(TDateTime Value) { SetTyped(ftDate, Variant::FromDateTime(Value)); }
void TParam::SetAsTime(TDateTime Value) { SetTyped(ftTime, Variant::FromDateTime(Value)); }
void TParam::SetAsDateTime(TDateTime Value) { SetTyped(ftDateTime, Variant::FromDateTime(Value)); }
TDateTime TParam::AsDateTime() const { return IsNull() ? 0.0 : Value_.AsDateTime(); }
void TParam::SetAsSQLTimeStamp(const TSQLTimeStamp& Value) { SetTyped(ftTimeStamp, Variant(Value)); }
TSQLTimeStamp TParam::AsSQLTimeStamp() const {
  return IsNull() ? TSQLTimeStamp{} : Value_.AsSQLTimeStamp();
}
void TParam::SetAsBlob(const std::string& Value) { SetTyped(ftBlob, Variant(Value)); }

void TParam::Assign(TPersistent* Source) {
  if (auto* Other = dynamic_cast<TParam*>(Source)) {
    Name_ = Other->Name_;
    DataType_ = Other->DataType_;
    ParamType_ = Other->ParamType_;
    Size_ = Other->Size_;
    Precision_ = Other->Precision_;
    NumericScale_ = Other->NumericScale_;
    Bound_ = Other->Bound_;
    Value_ = Other->Value_;
    return;
  }
  TCollectionItem::Assign(Source);
}

std::string TParam::GetDisplayName() const {
  return Name_.empty() ? TCollectionItem::GetDisplayName() : Name_;
}

TParams::TParams(TPersistent* Owner) : TOwnedCollection(Owner, TParam::StaticClass()) {}

TParam* TParams::GetItem(int Index) const { return static_cast<TParam*>(TOwnedCollection::GetItem(Index)); }

TParam* TParams::AddParam() { return static_cast<TParam*>(TOwnedCollection::Add()); }

TParam* TParams::CreateParam(TFieldType DataType, const std::string& Name, TParamType ParamType) {
  TParam* P = AddParam();
  P->SetName(Name);
  P->SetDataType(DataType);
  P->SetParamType(ParamType);
  return P;
}

void TParams::RemoveParam(TParam* Param) {
  for (int I = 0; I < Count(); ++I)
    if (GetItem(I) == Param) {
      Delete(I);
      return;
    }
}

TParam* TParams::FindParam(const std::string& Name) const {
  for (int I = 0; I < Count(); ++I)
    if (AnsiSameText(GetItem(I)->GetName(), Name)) return GetItem(I);
  return nullptr;
}

TParam* TParams::ParamByName(const std::string& Name) const {
  TParam* P = FindParam(Name);
  if (!P) DatabaseError(Format(SParameterNotFound, {Name}), OwningComponent(*this));
  return P;
}

void TParams::AssignValues(const TParams& Source) {
  for (int I = 0; I < Source.Count(); ++I) {
    TParam* From = Source.GetItem(I);
    if (TParam* To = FindParam(From->GetName())) {
      std::string Name = To->GetName();  // keep this collection's spelling
      To->Assign(From);
      To->SetName(Name);
    }
  }
}

std::string TParams::GetParamNames() const {
  std::string Out;
  for (int I = 0; I < Count(); ++I) {
    if (I) Out += ';';
    Out += GetItem(I)->GetName();
  }
  return Out;
}

std::string TParams::ParseSQL(const std::string& SQL, bool DoCreate, std::vector<std::string>* References) {
  std::string Out;
  Out.reserve(SQL.size());
  std::vector<std::string> Names;  // every reference, in order
  const std::size_t N = SQL.size();
  std::size_t I = 0;
  auto CopyQuoted = [&](char Close) {
    // Copies from the opening character to the closing one (or the end); a
    // doubled closing character inside stays part of the text.
    Out += SQL[I++];
    while (I < N) {
      char C = SQL[I++];
      Out += C;
      if (C == Close) {
        if (I < N && SQL[I] == Close && Close != ']') {
          Out += SQL[I++];
          continue;
        }
        return;
      }
    }
  };
  while (I < N) {
    const char C = SQL[I];
    const char Next = I + 1 < N ? SQL[I + 1] : '\0';
    if (C == '\'' || C == '"' || C == '`') {
      CopyQuoted(C);
    } else if (C == '[') {
      CopyQuoted(']');
    } else if (C == '-' && Next == '-') {
      std::size_t End = SQL.find('\n', I);
      End = End == std::string::npos ? N : End;
      Out.append(SQL, I, End - I);
      I = End;
    } else if (C == '/' && Next == '*') {
      std::size_t End = SQL.find("*/", I + 2);
      End = End == std::string::npos ? N : End + 2;
      Out.append(SQL, I, End - I);
      I = End;
    } else if (C == ':' && Next == ':') {
      Out += ':';
      I += 2;
    } else if (C == ':' && Next == '"') {
      std::string Name;
      std::size_t J = I + 2;
      bool Closed = false;
      while (J < N) {
        if (SQL[J] == '"') {
          if (J + 1 < N && SQL[J + 1] == '"') {
            Name += '"';
            J += 2;
            continue;
          }
          Closed = true;
          ++J;
          break;
        }
        Name += SQL[J++];
      }
      if (!Closed) DatabaseError(Format(SBadParamName, {static_cast<std::int32_t>(I + 1)}), OwningComponent(*this));
      Names.push_back(std::move(Name));
      Out += '?';
      I = J;
    } else if (C == ':' && IsNameChar(static_cast<unsigned char>(Next))) {
      std::size_t J = I + 1;
      while (J < N && IsNameChar(static_cast<unsigned char>(SQL[J]))) ++J;
      Names.push_back(SQL.substr(I + 1, J - I - 1));
      Out += '?';
      I = J;
    } else {
      Out += C;
      ++I;
    }
  }

  if (DoCreate) {
    // Rebuild the list in order of first use, keeping what was set on the
    // names that stay.
    struct Kept {
      std::string Name;
      TFieldType DataType;
      TParamType ParamType;
      int Size, Precision, Scale;
      bool Bound;
      Variant Value;
    };
    std::vector<Kept> List;
    for (const std::string& Name : Names) {
      bool Seen = false;
      for (const Kept& K : List) Seen = Seen || AnsiSameText(K.Name, Name);
      if (Seen) continue;
      if (TParam* P = FindParam(Name))
        List.push_back({Name, P->GetDataType(), P->GetParamType(), P->GetSize(), P->GetPrecision(),
                        P->GetNumericScale(), P->GetBound(), P->GetValue()});
      else
        List.push_back({Name, ftUnknown, ptInput, 0, 0, 0, false, Variant()});
    }
    BeginUpdate();
    try {
      Clear();
      for (Kept& K : List) {
        TParam* P = CreateParam(K.DataType, K.Name, K.ParamType);
        P->SetSize(K.Size);
        P->SetPrecision(K.Precision);
        P->SetNumericScale(K.Scale);
        if (K.Bound) {
          P->Value_ = std::move(K.Value);
          P->SetBound(true);
        }
      }
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
  }
  if (References) *References = std::move(Names);
  return Out;
}

}  // namespace fyndra
