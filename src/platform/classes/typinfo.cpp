#include <fyndra/platform/classes/typinfo.h>

#include <bit>
#include <cctype>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>

#include <fyndra/platform/rtl/textservice.h>

namespace fyndra {

namespace {

bool SameIdent(std::string_view A, std::string_view B) { return SameIdentifier(A, B); }

std::string_view TrimBlanks(std::string_view S) {
  while (!S.empty() && std::isspace(static_cast<unsigned char>(S.front()))) S.remove_prefix(1);
  while (!S.empty() && std::isspace(static_cast<unsigned char>(S.back()))) S.remove_suffix(1);
  return S;
}

// Type information that is made once and kept for the process.
template <class Key>
PTypeInfo Intern(std::map<Key, std::unique_ptr<TTypeInfo>>& Map, const Key& K,
                 const std::function<TTypeInfo()>& Make) {
  static std::mutex Lock;
  std::lock_guard<std::mutex> Guard(Lock);
  auto& Slot = Map[K];
  if (!Slot) Slot = std::make_unique<TTypeInfo>(Make());
  return Slot.get();
}

PTypeInfo Simple(TTypeKind Kind, const char* Name, std::int64_t Min = 0, std::int64_t Max = 0) {
  auto* T = new TTypeInfo;  // lives for the process
  T->Kind = Kind;
  T->Name = Name;
  T->MinValue = Min;
  T->MaxValue = Max;
  return T;
}

}  // namespace

// ---------------------------------------------------------------------------
// Type information

PTypeInfo BooleanTypeInfo() {
  static const PTypeInfo Info = [] {
    auto* T = new TTypeInfo;
    T->Kind = tkEnumeration;
    T->Name = "Boolean";
    T->MinValue = 0;
    T->MaxValue = 1;
    T->EnumNames = {"False", "True"};
    return T;
  }();
  return Info;
}

PTypeInfo IntegerTypeInfo(std::string_view Name, std::int64_t Min, std::int64_t Max) {
  static std::map<std::tuple<std::string, std::int64_t, std::int64_t>, std::unique_ptr<TTypeInfo>> Map;
  return Intern<std::tuple<std::string, std::int64_t, std::int64_t>>(
      Map, {std::string(Name), Min, Max}, [&] {
        TTypeInfo T;
        T.Kind = tkInteger;
        T.Name = std::string(Name);
        T.MinValue = Min;
        T.MaxValue = Max;
        return T;
      });
}

PTypeInfo Int64TypeInfo() {
  static const PTypeInfo Info = Simple(tkInt64, "Int64", INT64_MIN, INT64_MAX);
  return Info;
}
PTypeInfo FloatTypeInfo() {
  static const PTypeInfo Info = Simple(tkFloat, "Double");
  return Info;
}
PTypeInfo StringTypeInfo() {
  static const PTypeInfo Info = Simple(tkString, "string");
  return Info;
}
PTypeInfo WideStringTypeInfo() {
  static const PTypeInfo Info = Simple(tkWString, "WideString");
  return Info;
}
PTypeInfo VariantTypeInfo() {
  static const PTypeInfo Info = Simple(tkVariant, "Variant");
  return Info;
}
PTypeInfo CharTypeInfo() {
  static const PTypeInfo Info = Simple(tkChar, "Char", 0, 255);
  return Info;
}
PTypeInfo WideCharTypeInfo() {
  static const PTypeInfo Info = Simple(tkWChar, "WideChar", 0, 65535);
  return Info;
}

PTypeInfo ClassTypeInfo(TClass Class) {
  static std::map<TClass, std::unique_ptr<TTypeInfo>> Map;
  return Intern<TClass>(Map, Class, [&] {
    TTypeInfo T;
    T.Kind = tkClass;
    T.Name = Class ? Class->Name : "TObject";
    T.ClassType = Class;
    return T;
  });
}

PTypeInfo MethodTypeInfo(const std::type_info& Signature) {
  static std::map<std::string, std::unique_ptr<TTypeInfo>> Map;
  return Intern<std::string>(Map, Signature.name(), [&] {
    TTypeInfo T;
    T.Kind = tkMethod;
    T.Name = Signature.name();
    T.MethodSignature = &Signature;
    return T;
  });
}

PTypeInfo MakeEnumTypeInfo(std::string_view Name, std::string_view CommaNames) {
  auto* T = new TTypeInfo;  // lives for the process
  T->Kind = tkEnumeration;
  T->Name = std::string(Name);
  while (!CommaNames.empty()) {
    std::size_t Comma = CommaNames.find(',');
    T->EnumNames.emplace_back(TrimBlanks(CommaNames.substr(0, Comma)));
    if (Comma == std::string_view::npos) break;
    CommaNames.remove_prefix(Comma + 1);
  }
  T->MinValue = 0;
  T->MaxValue = static_cast<std::int64_t>(T->EnumNames.size()) - 1;
  return T;
}

PTypeInfo MakeSetTypeInfo(PTypeInfo CompType) {
  auto* T = new TTypeInfo;  // lives for the process
  T->Kind = tkSet;
  T->Name = "set of " + CompType->Name;
  T->CompType = CompType;
  return T;
}

std::string GetEnumName(PTypeInfo TypeInfo, std::int64_t Value) {
  if (!TypeInfo) return {};
  if (TypeInfo->Kind == tkEnumeration) {
    if (Value < 0 || Value >= static_cast<std::int64_t>(TypeInfo->EnumNames.size())) return {};
    return TypeInfo->EnumNames[static_cast<std::size_t>(Value)];
  }
  return std::to_string(Value);
}

int GetEnumValue(PTypeInfo TypeInfo, std::string_view Name) {
  if (!TypeInfo || TypeInfo->Kind != tkEnumeration) return -1;
  for (std::size_t I = 0; I < TypeInfo->EnumNames.size(); ++I)
    if (SameIdent(TypeInfo->EnumNames[I], Name)) return static_cast<int>(I);
  return -1;
}

std::string SetToString(PTypeInfo TypeInfo, std::uint64_t Mask, bool Brackets) {
  std::string R;
  PTypeInfo Comp = TypeInfo ? TypeInfo->CompType : nullptr;
  for (int I = 0; I < 64; ++I) {
    if (!(Mask & (std::uint64_t{1} << I))) continue;
    if (!R.empty()) R += ',';
    std::string Name = GetEnumName(Comp, I);
    R += Name.empty() ? std::to_string(I) : Name;
  }
  return Brackets ? "[" + R + "]" : R;
}

std::uint64_t StringToSet(PTypeInfo TypeInfo, std::string_view Text) {
  PTypeInfo Comp = TypeInfo ? TypeInfo->CompType : nullptr;
  std::string_view S = TrimBlanks(Text);
  if (!S.empty() && S.front() == '[') {
    if (S.back() != ']') throw EPropertyConvertError("Invalid property element: " + std::string(Text));
    S = TrimBlanks(S.substr(1, S.size() - 2));
  }
  std::uint64_t Mask = 0;
  while (!S.empty()) {
    std::size_t Comma = S.find(',');
    std::string_view Name = TrimBlanks(S.substr(0, Comma));
    int V = GetEnumValue(Comp, Name);
    if (V < 0 || V >= 64) throw EPropertyConvertError("Invalid property element: " + std::string(Name));
    Mask |= std::uint64_t{1} << V;
    if (Comma == std::string_view::npos) break;
    S.remove_prefix(Comma + 1);
    if (TrimBlanks(S).empty()) throw EPropertyConvertError("Invalid property element: " + std::string(Text));
  }
  return Mask;
}

// ---------------------------------------------------------------------------
// Property tables

namespace detail {

TPropInfo& AddPropInfo(TPropTable& Table, std::string_view Name, PTypeInfo Type, TClass Class) {
  auto Info = std::make_shared<TPropInfo>();
  Info->Name = std::string(Name);
  Info->PropType = Type;
  Info->DeclaringClass = Class;
  for (std::size_t I = 0; I < Table.List.size(); ++I) {
    if (SameIdent(Table.List[I]->Name, Name)) {
      Info->NameIndex = static_cast<int>(I);
      Table.List[I] = Info;  // a descendant's entry replaces the parent's in place
      return *Info;
    }
  }
  Info->NameIndex = static_cast<int>(Table.List.size());
  Table.List.push_back(Info);
  return *Info;
}

}  // namespace detail

PPropInfo GetPropInfo(TClass Class, std::string_view Name) {
  if (!Class) return nullptr;
  for (const auto& P : Class->Properties().List)
    if (SameIdent(P->Name, Name)) return P.get();
  return nullptr;
}

PPropInfo GetPropInfo(TClass Class, std::string_view Name, TTypeKinds Kinds) {
  PPropInfo P = GetPropInfo(Class, Name);
  return P && Kinds.Contains(P->Kind()) ? P : nullptr;
}

PPropInfo GetPropInfo(const TObject* Instance, std::string_view Name) {
  return Instance ? GetPropInfo(Instance->ClassType(), Name) : nullptr;
}

PPropInfo GetPropInfo(const TObject* Instance, std::string_view Name, TTypeKinds Kinds) {
  return Instance ? GetPropInfo(Instance->ClassType(), Name, Kinds) : nullptr;
}

std::vector<PPropInfo> GetPropList(TClass Class) {
  std::vector<PPropInfo> R;
  if (!Class) return R;
  for (const auto& P : Class->Properties().List) R.push_back(P.get());
  return R;
}

std::vector<PPropInfo> GetPropList(const TObject* Instance) {
  return Instance ? GetPropList(Instance->ClassType()) : std::vector<PPropInfo>{};
}

bool IsPublishedProp(const TObject* Instance, std::string_view Name) { return GetPropInfo(Instance, Name) != nullptr; }

PTypeInfo GetPropType(PPropInfo Prop) { return Prop ? Prop->PropType : nullptr; }

// ---------------------------------------------------------------------------
// Access

namespace {

PPropInfo Lookup(TObject* Instance, std::string_view Name) {
  if (!Instance) throw EPropertyError("Property " + std::string(Name) + " read from a null object");
  PPropInfo P = GetPropInfo(Instance, Name);
  if (!P) throw EPropertyError("Unknown property: \"" + std::string(Name) + "\"");
  return P;
}

void CheckInstance(TObject* Instance, PPropInfo Prop) {
  if (!Prop) throw EPropertyError("Null property");
  if (!Instance) throw EPropertyError("Property " + Prop->Name + " of a null object");
  if (!Instance->InheritsFrom(Prop->DeclaringClass))
    throw EPropertyError("Property " + Prop->Name + " does not belong to class " + Instance->ClassName());
}

bool IsOrdinalKind(TTypeKind K) {
  return K == tkInteger || K == tkChar || K == tkEnumeration || K == tkSet || K == tkWChar || K == tkInt64;
}

[[noreturn]] void WrongKind(PPropInfo Prop, const char* Wanted) {
  throw EPropertyError("Property " + Prop->Name + " is not " + Wanted);
}

TPropValue Get(TObject* Instance, PPropInfo Prop) { return Prop->GetProc(Instance); }

void Set(TObject* Instance, PPropInfo Prop, const TPropValue& Value) {
  if (!Prop->SetProc) throw EPropertyError("Property " + Prop->Name + " is read-only");
  Prop->SetProc(Instance, Value);
}

void CheckOrdRange(PPropInfo Prop, std::int64_t Value) {
  PTypeInfo T = Prop->PropType;
  if (T->Kind == tkSet) {
    std::uint64_t Allowed = 0;
    std::int64_t Max = T->CompType ? T->CompType->MaxValue : 63;
    for (std::int64_t I = 0; I <= Max && I < 64; ++I) Allowed |= std::uint64_t{1} << I;
    if (static_cast<std::uint64_t>(Value) & ~Allowed)
      throw EPropertyConvertError("Invalid property value for " + Prop->Name);
    return;
  }
  if (T->Kind == tkInt64) return;
  if (Value < T->MinValue || Value > T->MaxValue)
    throw EPropertyConvertError("Invalid property value " + std::to_string(Value) + " for " + Prop->Name);
}

}  // namespace

bool IsStoredProp(TObject* Instance, PPropInfo Prop) {
  CheckInstance(Instance, Prop);
  return Prop->StoredProc ? Prop->StoredProc(Instance) : Prop->StoredConst;
}

bool IsDefaultPropValue(TObject* Instance, PPropInfo Prop) {
  CheckInstance(Instance, Prop);
  TPropValue V = Get(Instance, Prop);
  switch (Prop->Kind()) {
    case tkFloat: {
      // Bit for bit: -0.0 is not a default of 0 (it would be lost when the
      // default is left out), and a NaN matches only the same NaN.
      const double Default = Prop->HasDefault ? Prop->FloatDefault : 0.0;
      return std::bit_cast<std::uint64_t>(std::get<double>(V)) == std::bit_cast<std::uint64_t>(Default);
    }
    case tkString:
    case tkLString:
      return std::get<std::string>(V).empty();
    case tkWString:
      return std::get<std::u16string>(V).empty();
    case tkVariant:
      return std::get<Variant>(V).IsEmpty();
    case tkClass:
      return std::get<TObject*>(V) == nullptr;
    case tkMethod:
      return std::get<TMethod>(V).IsNull();
    default:
      return Prop->HasDefault && std::get<std::int64_t>(V) == Prop->Default;
  }
}

std::int64_t GetOrdProp(TObject* Instance, PPropInfo Prop) {
  CheckInstance(Instance, Prop);
  if (!IsOrdinalKind(Prop->Kind())) WrongKind(Prop, "ordinal");
  return std::get<std::int64_t>(Get(Instance, Prop));
}

void SetOrdProp(TObject* Instance, PPropInfo Prop, std::int64_t Value) {
  CheckInstance(Instance, Prop);
  if (!IsOrdinalKind(Prop->Kind())) WrongKind(Prop, "ordinal");
  CheckOrdRange(Prop, Value);
  Set(Instance, Prop, Value);
}

std::string GetEnumProp(TObject* Instance, PPropInfo Prop) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() != tkEnumeration) WrongKind(Prop, "an enumeration");
  return GetEnumName(Prop->PropType, std::get<std::int64_t>(Get(Instance, Prop)));
}

void SetEnumProp(TObject* Instance, PPropInfo Prop, std::string_view Value) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() != tkEnumeration) WrongKind(Prop, "an enumeration");
  int V = GetEnumValue(Prop->PropType, Value);
  if (V < 0) throw EPropertyConvertError("Invalid property element: " + std::string(Value));
  Set(Instance, Prop, std::int64_t{V});
}

std::string GetSetProp(TObject* Instance, PPropInfo Prop, bool Brackets) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() != tkSet) WrongKind(Prop, "a set");
  return SetToString(Prop->PropType, static_cast<std::uint64_t>(std::get<std::int64_t>(Get(Instance, Prop))),
                     Brackets);
}

void SetSetProp(TObject* Instance, PPropInfo Prop, std::string_view Value) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() != tkSet) WrongKind(Prop, "a set");
  Set(Instance, Prop, static_cast<std::int64_t>(StringToSet(Prop->PropType, Value)));
}

std::string GetStrProp(TObject* Instance, PPropInfo Prop) {
  CheckInstance(Instance, Prop);
  switch (Prop->Kind()) {
    case tkString:
    case tkLString:
      return std::get<std::string>(Get(Instance, Prop));
    case tkWString:
      return Utf16ToUtf8(std::get<std::u16string>(Get(Instance, Prop)));
    case tkChar:
      return std::string(1, static_cast<char>(std::get<std::int64_t>(Get(Instance, Prop))));
    case tkWChar:
      return Utf16ToUtf8(std::u16string(1, static_cast<char16_t>(std::get<std::int64_t>(Get(Instance, Prop)))));
    default:
      WrongKind(Prop, "a string");
  }
}

void SetStrProp(TObject* Instance, PPropInfo Prop, const std::string& Value) {
  CheckInstance(Instance, Prop);
  switch (Prop->Kind()) {
    case tkString:
    case tkLString:
      Set(Instance, Prop, Value);
      return;
    case tkWString:
      Set(Instance, Prop, Utf8ToUtf16(Value));
      return;
    case tkChar:
      if (Value.size() != 1) throw EPropertyConvertError("Invalid property value for " + Prop->Name);
      Set(Instance, Prop, std::int64_t{static_cast<unsigned char>(Value[0])});
      return;
    case tkWChar: {
      std::u16string W = Utf8ToUtf16(Value);
      if (W.size() != 1) throw EPropertyConvertError("Invalid property value for " + Prop->Name);
      Set(Instance, Prop, std::int64_t{W[0]});
      return;
    }
    default:
      WrongKind(Prop, "a string");
  }
}

std::u16string GetWideStrProp(TObject* Instance, PPropInfo Prop) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() == tkWString) return std::get<std::u16string>(Get(Instance, Prop));
  return Utf8ToUtf16(GetStrProp(Instance, Prop));
}

void SetWideStrProp(TObject* Instance, PPropInfo Prop, const std::u16string& Value) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() == tkWString) {
    Set(Instance, Prop, Value);
    return;
  }
  SetStrProp(Instance, Prop, Utf16ToUtf8(Value));
}

double GetFloatProp(TObject* Instance, PPropInfo Prop) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() != tkFloat) WrongKind(Prop, "a float");
  return std::get<double>(Get(Instance, Prop));
}

void SetFloatProp(TObject* Instance, PPropInfo Prop, double Value) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() != tkFloat) WrongKind(Prop, "a float");
  Set(Instance, Prop, Value);
}

Variant GetVariantProp(TObject* Instance, PPropInfo Prop) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() != tkVariant) WrongKind(Prop, "a variant");
  return std::get<Variant>(Get(Instance, Prop));
}

void SetVariantProp(TObject* Instance, PPropInfo Prop, const Variant& Value) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() != tkVariant) WrongKind(Prop, "a variant");
  Set(Instance, Prop, Value);
}

TObject* GetObjectProp(TObject* Instance, PPropInfo Prop) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() != tkClass) WrongKind(Prop, "an object");
  return std::get<TObject*>(Get(Instance, Prop));
}

void SetObjectProp(TObject* Instance, PPropInfo Prop, TObject* Value) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() != tkClass) WrongKind(Prop, "an object");
  if (Value && !Value->InheritsFrom(Prop->PropType->ClassType))
    throw EPropertyError("Property " + Prop->Name + " takes a " + Prop->PropType->Name + ", not a " +
                         Value->ClassName());
  Set(Instance, Prop, Value);
}

TMethod GetMethodProp(TObject* Instance, PPropInfo Prop) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() != tkMethod) WrongKind(Prop, "an event");
  return std::get<TMethod>(Get(Instance, Prop));
}

void SetMethodProp(TObject* Instance, PPropInfo Prop, const TMethod& Value) {
  CheckInstance(Instance, Prop);
  if (Prop->Kind() != tkMethod) WrongKind(Prop, "an event");
  if (!Value.IsNull() && (!Value.Signature || *Value.Signature != *Prop->PropType->MethodSignature))
    throw EPropertyError("Method of another signature assigned to " + Prop->Name);
  Set(Instance, Prop, Value);
}

// By name.
std::int64_t GetOrdProp(TObject* I, std::string_view N) { return GetOrdProp(I, Lookup(I, N)); }
void SetOrdProp(TObject* I, std::string_view N, std::int64_t V) { SetOrdProp(I, Lookup(I, N), V); }
std::string GetEnumProp(TObject* I, std::string_view N) { return GetEnumProp(I, Lookup(I, N)); }
void SetEnumProp(TObject* I, std::string_view N, std::string_view V) { SetEnumProp(I, Lookup(I, N), V); }
std::string GetSetProp(TObject* I, std::string_view N, bool B) { return GetSetProp(I, Lookup(I, N), B); }
void SetSetProp(TObject* I, std::string_view N, std::string_view V) { SetSetProp(I, Lookup(I, N), V); }
std::string GetStrProp(TObject* I, std::string_view N) { return GetStrProp(I, Lookup(I, N)); }
void SetStrProp(TObject* I, std::string_view N, const std::string& V) { SetStrProp(I, Lookup(I, N), V); }
std::u16string GetWideStrProp(TObject* I, std::string_view N) { return GetWideStrProp(I, Lookup(I, N)); }
void SetWideStrProp(TObject* I, std::string_view N, const std::u16string& V) { SetWideStrProp(I, Lookup(I, N), V); }
double GetFloatProp(TObject* I, std::string_view N) { return GetFloatProp(I, Lookup(I, N)); }
void SetFloatProp(TObject* I, std::string_view N, double V) { SetFloatProp(I, Lookup(I, N), V); }
Variant GetVariantProp(TObject* I, std::string_view N) { return GetVariantProp(I, Lookup(I, N)); }
void SetVariantProp(TObject* I, std::string_view N, const Variant& V) { SetVariantProp(I, Lookup(I, N), V); }
TObject* GetObjectProp(TObject* I, std::string_view N) { return GetObjectProp(I, Lookup(I, N)); }
void SetObjectProp(TObject* I, std::string_view N, TObject* V) { SetObjectProp(I, Lookup(I, N), V); }
TMethod GetMethodProp(TObject* I, std::string_view N) { return GetMethodProp(I, Lookup(I, N)); }
void SetMethodProp(TObject* I, std::string_view N, const TMethod& V) { SetMethodProp(I, Lookup(I, N), V); }

Variant GetPropValue(TObject* Instance, std::string_view Name) {
  PPropInfo P = Lookup(Instance, Name);
  switch (P->Kind()) {
    case tkEnumeration:
      return Variant(GetEnumProp(Instance, P));
    case tkSet:
      return Variant(GetSetProp(Instance, P));
    case tkInteger:
      return Variant(static_cast<std::int32_t>(GetOrdProp(Instance, P)));
    case tkInt64:
      return Variant(GetOrdProp(Instance, P));
    case tkChar:
    case tkWChar:
    case tkString:
    case tkLString:
      return Variant(GetStrProp(Instance, P));
    case tkWString:
      return Variant(GetWideStrProp(Instance, P));
    case tkFloat:
      return Variant(GetFloatProp(Instance, P));
    case tkVariant:
      return GetVariantProp(Instance, P);
    default:
      throw EPropertyError("Property " + P->Name + " has no variant value");
  }
}

void SetPropValue(TObject* Instance, std::string_view Name, const Variant& Value) {
  PPropInfo P = Lookup(Instance, Name);
  switch (P->Kind()) {
    case tkEnumeration:
      if (VarIsStr(Value))
        SetEnumProp(Instance, P, Value.AsString());
      else if (P->PropType == BooleanTypeInfo())
        SetOrdProp(Instance, P, Value.AsBoolean() ? 1 : 0);
      else
        SetOrdProp(Instance, P, Value.AsInt64());
      return;
    case tkSet:
      SetSetProp(Instance, P, Value.AsString());
      return;
    case tkInteger:
    case tkInt64:
      SetOrdProp(Instance, P, Value.AsInt64());
      return;
    case tkChar:
    case tkWChar:
    case tkString:
    case tkLString:
      SetStrProp(Instance, P, Value.AsString());
      return;
    case tkWString:
      SetWideStrProp(Instance, P, Value.AsWideString());
      return;
    case tkFloat:
      SetFloatProp(Instance, P, Value.AsDouble());
      return;
    case tkVariant:
      SetVariantProp(Instance, P, Value);
      return;
    default:
      throw EPropertyError("Property " + P->Name + " has no variant value");
  }
}

TMethod MethodAddress(TObject* Instance, std::string_view Name) {
  if (!Instance) return {};
  for (const auto& M : Instance->ClassType()->Properties().Methods)
    if (SameIdent(M.Name, Name)) return M.Bind(Instance);
  return {};
}

std::string MethodName(TObject* Instance, const TMethod& Method) {
  if (!Instance || Method.IsNull()) return {};
  for (const auto& M : Instance->ClassType()->Properties().Methods)
    if (M.Bind(Instance) == Method) return M.Name;
  return {};
}

}  // namespace fyndra
