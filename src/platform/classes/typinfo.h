// Run-time type information for published properties: type kinds, enumeration
// and set names, the per-class property table, and reading and writing
// properties by name or by TPropInfo. Streaming and the property editors are
// built on it.
//
// Type information and property tables are created once per type or class and
// live for the whole process; callers hold plain pointers to them.
//
// How a class declares itself, registers, and publishes properties:
//
//   // tfoo.h
//   // Enumerations: values 0, 1, 2, ... named in order, at the enum's namespace scope.
//   enum TFooKind : std::uint8_t { fkPlain, fkFancy };
//   FYNDRA_ENUM_NAMES(TFooKind, fkPlain, fkFancy)
//   enum TFooOption : std::uint8_t { foCase, foTrim };
//   FYNDRA_ENUM_NAMES(TFooOption, foCase, foTrim)
//   using TFooOptions = TSet<TFooOption>;
//
//   class TFoo : public TComponent {
//     FYNDRA_CLASS(TFoo, TComponent)
//    public:
//     std::int32_t GetCount() const;       void SetCount(std::int32_t V);
//     TFooKind GetKind() const;            void SetKind(TFooKind V);
//     TFooOptions GetFooOptions() const;   void SetFooOptions(TFooOptions V);
//     std::string GetExpression() const;   void SetExpression(const std::string& V);
//     bool GetActive() const;              void SetActive(bool V);
//     double GetRatio() const;             void SetRatio(double V);
//     Variant GetValue() const;            void SetValue(const Variant& V);
//     TComponent* GetBuddy() const;        void SetBuddy(TComponent* V);    // a reference
//     TFooSettings* GetOptions() const;    void SetOptions(TFooSettings* V); // a TPersistent sub-object: Assign
//     TFooItems* GetItems() const;         void SetItems(TFooItems* V);     // a TCollection: Assign
//     void AfterConstruction() override;   // creates Options and Items (CreateOwned)
//    protected:
//     explicit TFoo(TComponent* Owner) : TComponent(Owner) {}
//     bool IsExpressionStored() const;
//    private:
//     TNotifyEvent OnChange_;
//   };
//
//   // tfoo.cpp
//   FYNDRA_PUBLISHED(TFoo, P) {
//     P.Property("Count", &TFoo::GetCount, &TFoo::SetCount).Default(0);
//     P.Property("Kind", &TFoo::GetKind, &TFoo::SetKind).Default(fkPlain);
//     P.Property("FooOptions", &TFoo::GetFooOptions, &TFoo::SetFooOptions).Default(TFooOptions{foCase});
//     P.Property("Expression", &TFoo::GetExpression, &TFoo::SetExpression).Stored(&TFoo::IsExpressionStored);
//     P.Property("Active", &TFoo::GetActive, &TFoo::SetActive).Default(false);
//     P.Property("Ratio", &TFoo::GetRatio, &TFoo::SetRatio);
//     P.Property("Value", &TFoo::GetValue, &TFoo::SetValue);
//     P.Property("Buddy", &TFoo::GetBuddy, &TFoo::SetBuddy);
//     P.Property("Options", &TFoo::GetOptions, &TFoo::SetOptions);
//     P.Property("Items", &TFoo::GetItems, &TFoo::SetItems);
//     P.Property("OnChange", &TFoo::OnChange_);          // a field: read and written directly
//   }
//   static const bool TFooRegistered = (RegisterClass(TFoo::StaticClass()), true);  // or FYNDRA_REGISTER_CLASS(TFoo)
//
// A class without published properties of its own writes FYNDRA_IMPLEMENT_CLASS(TFoo)
// instead. Properties are listed in streaming order, the parent's first; a name
// published again by a descendant replaces the parent's entry in place.
//
// Getters may be member functions (const or not, virtual ones dispatch) or
// data members; setters member functions taking the value or a const
// reference, or data members; a property without setter is read-only.
// Value type decides the kind: bool and enumerations tkEnumeration, TSet<E>
// tkSet, integers up to 32 bits tkInteger, 64-bit integers tkInt64, char
// tkChar, char16_t tkWChar, float/double (TDateTime) tkFloat, std::string
// tkString, std::u16string tkWString, Variant tkVariant, pointers to TObject
// descendants tkClass, TEvent<...> tkMethod.
//
// Storing rules (IsStoredProp, IsDefaultPropValue): a property is written when
// its stored-test (Stored(...), default: true) says so and its value is not
// its default. Default(...) gives ordinals and floats a default; without one,
// ordinals are always written; floats bit for bit equal to 0 (so -0.0 is
// written), empty texts, Unassigned variants, null objects and null methods
// count as default. A float equals its default only bit for bit.
#pragma once

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <variant>
#include <vector>

#include <fyndra/platform/classes/events.h>
#include <fyndra/platform/classes/system.h>
#include <fyndra/platform/rtl/sysutils.h>
#include <fyndra/platform/rtl/variants.h>

namespace fyndra {

enum TTypeKind {
  tkUnknown,
  tkInteger,
  tkChar,
  tkEnumeration,
  tkFloat,
  tkString,
  tkSet,
  tkClass,
  tkMethod,
  tkWChar,
  tkLString,
  tkWString,
  tkVariant,
  tkInt64
};
using TTypeKinds = TSet<TTypeKind>;
// Every kind, for GetPropInfo's filter.
inline constexpr std::uint64_t tkAnyMask = (std::uint64_t{1} << (tkInt64 + 1)) - 1;
inline TTypeKinds tkAny() { return TTypeKinds::FromMask(tkAnyMask); }
inline TTypeKinds tkOrdinal() { return {tkInteger, tkChar, tkEnumeration, tkSet, tkWChar, tkInt64}; }
inline TTypeKinds tkStrings() { return {tkString, tkLString, tkWString}; }

// Raised for an unknown property, a property of another kind than the access
// asks for, or a write to a read-only property.
class EPropertyError : public Exception {
 public:
  using Exception::Exception;
};
// Raised for an enumeration or set element name that the type does not have.
class EPropertyConvertError : public Exception {
 public:
  using Exception::Exception;
};

struct TTypeInfo {
  TTypeKind Kind = tkUnknown;
  std::string Name;
  // Ordinals: the range of values.
  std::int64_t MinValue = 0;
  std::int64_t MaxValue = 0;
  // Enumerations: the value names by ordinal (booleans: "False", "True").
  std::vector<std::string> EnumNames;
  // Sets: the type of the elements.
  const TTypeInfo* CompType = nullptr;
  // Classes: the class of the property's objects.
  TClass ClassType = nullptr;
  // Methods: the event's signature.
  const std::type_info* MethodSignature = nullptr;
};
using PTypeInfo = const TTypeInfo*;

// The name of Value of an enumeration (or of any ordinal: its decimal text);
// empty when Value is out of range.
std::string GetEnumName(PTypeInfo TypeInfo, std::int64_t Value);
// The ordinal of Name (compared without regard to case), or -1.
int GetEnumValue(PTypeInfo TypeInfo, std::string_view Name);
// "[a,b]" (or "a,b" without brackets) for the set type TypeInfo.
std::string SetToString(PTypeInfo TypeInfo, std::uint64_t Mask, bool Brackets = true);
// Parses "[a, b]", "a,b" or "[]"; raises EPropertyConvertError for an unknown name.
std::uint64_t StringToSet(PTypeInfo TypeInfo, std::string_view Text);

// Type information of the built-in kinds.
PTypeInfo BooleanTypeInfo();
PTypeInfo IntegerTypeInfo(std::string_view Name, std::int64_t Min, std::int64_t Max);
PTypeInfo Int64TypeInfo();
PTypeInfo FloatTypeInfo();
PTypeInfo StringTypeInfo();
PTypeInfo WideStringTypeInfo();
PTypeInfo VariantTypeInfo();
PTypeInfo CharTypeInfo();
PTypeInfo WideCharTypeInfo();
PTypeInfo ClassTypeInfo(TClass Class);
PTypeInfo MethodTypeInfo(const std::type_info& Signature);
// Builds an enumeration type from "a, b, c" (the stringized value list).
PTypeInfo MakeEnumTypeInfo(std::string_view Name, std::string_view CommaNames);
PTypeInfo MakeSetTypeInfo(PTypeInfo CompType);

// Declares the type information of an enumeration (values 0, 1, 2, ... in the
// order listed) at namespace scope next to it; found by argument-dependent lookup.
#define FYNDRA_ENUM_NAMES(EnumType, ...)                                                   \
  inline ::fyndra::PTypeInfo FyndraTypeInfo(EnumType*) {                                   \
    static const ::fyndra::PTypeInfo Info = ::fyndra::MakeEnumTypeInfo(#EnumType, #__VA_ARGS__); \
    return Info;                                                                           \
  }

// The value a published property holds, by kind: ordinals (enumerations,
// booleans, sets as bit masks, characters) as int64, floats as double.
using TPropValue = std::variant<std::int64_t, double, std::string, std::u16string, Variant, TObject*, TMethod>;

struct TPropInfo {
  std::string Name;
  PTypeInfo PropType = nullptr;
  TTypeKind Kind() const { return PropType ? PropType->Kind : tkUnknown; }
  // The class that published the property (instances must inherit from it).
  TClass DeclaringClass = nullptr;
  // Position in the full property list of the class it was looked up in.
  int NameIndex = 0;
  // Ordinals: a default value (HasDefault) otherwise the property is always written.
  bool HasDefault = false;
  std::int64_t Default = 0;
  // Floats: the default value when HasDefault.
  double FloatDefault = 0;
  // Null: stored always (unless StoredConst is false).
  std::function<bool(TObject*)> StoredProc;
  bool StoredConst = true;
  std::function<TPropValue(TObject*)> GetProc;
  // Null for a read-only property.
  std::function<void(TObject*, const TPropValue&)> SetProc;
  bool IsWritable() const { return static_cast<bool>(SetProc); }
};
using PPropInfo = const TPropInfo*;

struct TPropTable {
  // In streaming order, the parent's properties first.
  std::vector<std::shared_ptr<TPropInfo>> List;
  // Published methods (handlers by name, for streaming event properties).
  struct TMethodEntry {
    std::string Name;
    // The handler bound to an instance of the class.
    std::function<TMethod(TObject*)> Bind;
  };
  std::vector<TMethodEntry> Methods;
};

// ---------------------------------------------------------------------------
// Lookup

// The property Name (without regard to case) of the object's or class's table,
// or null; with Kinds, also null when its kind is not among them.
PPropInfo GetPropInfo(TClass Class, std::string_view Name);
PPropInfo GetPropInfo(TClass Class, std::string_view Name, TTypeKinds Kinds);
PPropInfo GetPropInfo(const TObject* Instance, std::string_view Name);
PPropInfo GetPropInfo(const TObject* Instance, std::string_view Name, TTypeKinds Kinds);
// All published properties in streaming order.
std::vector<PPropInfo> GetPropList(TClass Class);
std::vector<PPropInfo> GetPropList(const TObject* Instance);
bool IsPublishedProp(const TObject* Instance, std::string_view Name);
PTypeInfo GetPropType(PPropInfo Prop);

// Whether the property's stored-test allows writing it.
bool IsStoredProp(TObject* Instance, PPropInfo Prop);
// Whether the property holds its default (see the storing rules above).
bool IsDefaultPropValue(TObject* Instance, PPropInfo Prop);

// ---------------------------------------------------------------------------
// Access. Every function raises EPropertyError for a null or unknown property,
// an instance of another class, a kind the access does not serve, or a write to
// a read-only property; the by-name forms look the property up first.

// Ordinals: integers, characters, enumerations, booleans, sets (bit mask).
std::int64_t GetOrdProp(TObject* Instance, PPropInfo Prop);
void SetOrdProp(TObject* Instance, PPropInfo Prop, std::int64_t Value);
std::int64_t GetOrdProp(TObject* Instance, std::string_view Name);
void SetOrdProp(TObject* Instance, std::string_view Name, std::int64_t Value);
// Enumerations and booleans by value name (EPropertyConvertError for a bad name).
std::string GetEnumProp(TObject* Instance, PPropInfo Prop);
void SetEnumProp(TObject* Instance, PPropInfo Prop, std::string_view Value);
std::string GetEnumProp(TObject* Instance, std::string_view Name);
void SetEnumProp(TObject* Instance, std::string_view Name, std::string_view Value);
// Sets as "[a,b]" text.
std::string GetSetProp(TObject* Instance, PPropInfo Prop, bool Brackets = true);
void SetSetProp(TObject* Instance, PPropInfo Prop, std::string_view Value);
std::string GetSetProp(TObject* Instance, std::string_view Name, bool Brackets = true);
void SetSetProp(TObject* Instance, std::string_view Name, std::string_view Value);
// Texts: tkString/tkLString/tkWString, converted between UTF-8 and UTF-16
// (and tkChar/tkWChar as one-character texts).
std::string GetStrProp(TObject* Instance, PPropInfo Prop);
void SetStrProp(TObject* Instance, PPropInfo Prop, const std::string& Value);
std::string GetStrProp(TObject* Instance, std::string_view Name);
void SetStrProp(TObject* Instance, std::string_view Name, const std::string& Value);
std::u16string GetWideStrProp(TObject* Instance, PPropInfo Prop);
void SetWideStrProp(TObject* Instance, PPropInfo Prop, const std::u16string& Value);
std::u16string GetWideStrProp(TObject* Instance, std::string_view Name);
void SetWideStrProp(TObject* Instance, std::string_view Name, const std::u16string& Value);
double GetFloatProp(TObject* Instance, PPropInfo Prop);
void SetFloatProp(TObject* Instance, PPropInfo Prop, double Value);
double GetFloatProp(TObject* Instance, std::string_view Name);
void SetFloatProp(TObject* Instance, std::string_view Name, double Value);
Variant GetVariantProp(TObject* Instance, PPropInfo Prop);
void SetVariantProp(TObject* Instance, PPropInfo Prop, const Variant& Value);
Variant GetVariantProp(TObject* Instance, std::string_view Name);
void SetVariantProp(TObject* Instance, std::string_view Name, const Variant& Value);
// Objects; SetObjectProp raises EPropertyError when Value is not of the
// property's class.
TObject* GetObjectProp(TObject* Instance, PPropInfo Prop);
void SetObjectProp(TObject* Instance, PPropInfo Prop, TObject* Value);
TObject* GetObjectProp(TObject* Instance, std::string_view Name);
void SetObjectProp(TObject* Instance, std::string_view Name, TObject* Value);
// Events; SetMethodProp raises EPropertyError for a method of another signature.
TMethod GetMethodProp(TObject* Instance, PPropInfo Prop);
void SetMethodProp(TObject* Instance, PPropInfo Prop, const TMethod& Value);
TMethod GetMethodProp(TObject* Instance, std::string_view Name);
void SetMethodProp(TObject* Instance, std::string_view Name, const TMethod& Value);
// Any kind as a Variant: ordinals as integers (enumerations and booleans as
// their names, sets as "[a,b]"), texts, floats, variants; objects and methods
// are refused.
Variant GetPropValue(TObject* Instance, std::string_view Name);
void SetPropValue(TObject* Instance, std::string_view Name, const Variant& Value);

// Published methods: the handler of Instance's class called Name, bound to
// Instance (null method when there is none), and the name of a method bound
// to Instance (empty when it is not one of its published methods).
TMethod MethodAddress(TObject* Instance, std::string_view Name);
std::string MethodName(TObject* Instance, const TMethod& Method);

// ---------------------------------------------------------------------------
// Type information of value types (used by the publisher).

namespace detail {
template <class T>
struct IsTSet : std::false_type {};
template <class E>
struct IsTSet<TSet<E>> : std::true_type {};
template <class T>
struct IsTEvent : std::false_type {};
template <class S>
struct IsTEvent<TEvent<S>> : std::true_type {};

template <class V>
PTypeInfo TypeInfoOf() {
  if constexpr (std::is_same_v<V, bool>) {
    return BooleanTypeInfo();
  } else if constexpr (std::is_enum_v<V>) {
    return FyndraTypeInfo(static_cast<V*>(nullptr));
  } else if constexpr (IsTSet<V>::value) {
    static const PTypeInfo Info = MakeSetTypeInfo(TypeInfoOf<typename V::TElement>());
    return Info;
  } else if constexpr (std::is_same_v<V, char>) {
    return CharTypeInfo();
  } else if constexpr (std::is_same_v<V, char16_t>) {
    return WideCharTypeInfo();
  } else if constexpr (std::is_integral_v<V> && sizeof(V) <= 4) {
    return IntegerTypeInfo("Integer", std::numeric_limits<V>::min(), std::numeric_limits<V>::max());
  } else if constexpr (std::is_integral_v<V>) {
    return Int64TypeInfo();
  } else if constexpr (std::is_floating_point_v<V>) {
    return FloatTypeInfo();
  } else if constexpr (std::is_same_v<V, std::string>) {
    return StringTypeInfo();
  } else if constexpr (std::is_same_v<V, std::u16string>) {
    return WideStringTypeInfo();
  } else if constexpr (std::is_same_v<V, Variant>) {
    return VariantTypeInfo();
  } else if constexpr (std::is_pointer_v<V> && std::is_base_of_v<TObject, std::remove_pointer_t<V>>) {
    return ClassTypeInfo(std::remove_cv_t<std::remove_pointer_t<V>>::StaticClass());
  } else if constexpr (IsTEvent<V>::value) {
    return MethodTypeInfo(typeid(typename V::TSignature));
  } else {
    static_assert(sizeof(V) == 0, "this type cannot be published");
  }
}

template <class V>
TPropValue ToPropValue(const V& Value) {
  if constexpr (std::is_same_v<V, bool>) {
    return std::int64_t{Value ? 1 : 0};
  } else if constexpr (std::is_enum_v<V>) {
    return static_cast<std::int64_t>(Value);
  } else if constexpr (IsTSet<V>::value) {
    return static_cast<std::int64_t>(Value.Mask());
  } else if constexpr (std::is_same_v<V, char> || std::is_same_v<V, char16_t>) {
    return static_cast<std::int64_t>(static_cast<std::make_unsigned_t<V>>(Value));
  } else if constexpr (std::is_integral_v<V>) {
    return static_cast<std::int64_t>(Value);
  } else if constexpr (std::is_floating_point_v<V>) {
    return static_cast<double>(Value);
  } else if constexpr (std::is_pointer_v<V>) {
    return static_cast<TObject*>(const_cast<std::remove_cv_t<std::remove_pointer_t<V>>*>(Value));
  } else if constexpr (IsTEvent<V>::value) {
    return Value.Method();
  } else {
    return Value;  // std::string, std::u16string, Variant
  }
}

// Converts a TPropValue of the right alternative back; the access functions
// have checked kind and range before.
template <class V>
V FromPropValue(const TPropValue& Value) {
  if constexpr (std::is_same_v<V, bool>) {
    return std::get<std::int64_t>(Value) != 0;
  } else if constexpr (std::is_enum_v<V>) {
    return static_cast<V>(std::get<std::int64_t>(Value));
  } else if constexpr (IsTSet<V>::value) {
    return V::FromMask(static_cast<std::uint64_t>(std::get<std::int64_t>(Value)));
  } else if constexpr (std::is_integral_v<V>) {
    return static_cast<V>(std::get<std::int64_t>(Value));
  } else if constexpr (std::is_floating_point_v<V>) {
    return static_cast<V>(std::get<double>(Value));
  } else if constexpr (std::is_pointer_v<V>) {
    return dynamic_cast<V>(std::get<TObject*>(Value));
  } else if constexpr (IsTEvent<V>::value) {
    return V::FromMethod(std::get<TMethod>(Value));
  } else {
    return std::get<V>(Value);
  }
}

// The value type a getter yields for T.
template <class T, class G>
using GetterValue = std::remove_cvref_t<std::invoke_result_t<G, T*>>;

}  // namespace detail

// Adds properties to the table of class T; made by FYNDRA_PUBLISHED.
template <class T>
class TPublisher {
 public:
  template <class V>
  class TPropBuilder {
   public:
    explicit TPropBuilder(TPropInfo& Info) : Info_(Info) {}
    // The default value (ordinals and floats): a property holding it is not written.
    TPropBuilder& Default(const V& Value) {
      TPropValue P = detail::ToPropValue<V>(Value);
      if (auto* I = std::get_if<std::int64_t>(&P)) {
        Info_.HasDefault = true;
        Info_.Default = *I;
      } else if (auto* D = std::get_if<double>(&P)) {
        Info_.HasDefault = true;
        Info_.FloatDefault = *D;
      } else {
        throw EPropertyError("Property " + Info_.Name + " cannot have a default value");
      }
      return *this;
    }
    // Ordinals without a default are always written (the default rule).
    TPropBuilder& NoDefault() {
      Info_.HasDefault = false;
      return *this;
    }
    // The stored-test: a const member function of T returning bool.
    TPropBuilder& Stored(bool (T::*Test)() const) {
      Info_.StoredProc = [Test](TObject* Obj) { return (static_cast<T*>(Obj)->*Test)(); };
      return *this;
    }
    TPropBuilder& Stored(bool (T::*Test)()) {
      Info_.StoredProc = [Test](TObject* Obj) { return (static_cast<T*>(Obj)->*Test)(); };
      return *this;
    }
    TPropBuilder& Stored(bool Value) {
      Info_.StoredProc = nullptr;
      Info_.StoredConst = Value;
      return *this;
    }

   private:
    TPropInfo& Info_;
  };

  TPublisher(TPropTable& Table, TClass Class) : Table_(Table), Class_(Class) {}

  // A property read by Getter and written by Setter (member functions or data
  // members of T or of its bases).
  template <class G, class S>
  auto Property(std::string_view Name, G Getter, S Setter) {
    using V = detail::GetterValue<T, G>;
    TPropInfo& Info = Add(Name, detail::TypeInfoOf<V>());
    Info.GetProc = [Getter](TObject* Obj) { return detail::ToPropValue<V>(std::invoke(Getter, static_cast<T*>(Obj))); };
    Info.SetProc = [Setter](TObject* Obj, const TPropValue& Value) {
      if constexpr (std::is_member_object_pointer_v<S>)
        std::invoke(Setter, static_cast<T*>(Obj)) = detail::FromPropValue<V>(Value);
      else
        std::invoke(Setter, static_cast<T*>(Obj), detail::FromPropValue<V>(Value));
    };
    return TPropBuilder<V>(Info);
  }
  // A property held in a data member, read and written directly.
  template <class V, class C>
    requires std::is_base_of_v<C, T>
  auto Property(std::string_view Name, V C::*Field) {
    return Property(Name, Field, Field);
  }
  // A read-only property (written by streaming only through its sub-properties).
  template <class G>
  auto ReadOnlyProperty(std::string_view Name, G Getter) {
    using V = detail::GetterValue<T, G>;
    TPropInfo& Info = Add(Name, detail::TypeInfoOf<V>());
    Info.GetProc = [Getter](TObject* Obj) { return detail::ToPropValue<V>(std::invoke(Getter, static_cast<T*>(Obj))); };
    return TPropBuilder<V>(Info);
  }
  // A published method: a handler that streaming can name in an event property.
  template <class C, class R, class... A>
    requires std::is_base_of_v<C, T>
  void Method(std::string_view Name, R (C::*Fn)(A...)) {
    Table_.Methods.push_back({std::string(Name), [Fn](TObject* Obj) {
                                return TEvent<R(A...)>(static_cast<C*>(static_cast<T*>(Obj)), Fn).Method();
                              }});
  }

 private:
  TPropInfo& Add(std::string_view Name, PTypeInfo Type);
  TPropTable& Table_;
  TClass Class_;
};

namespace detail {
// Adds (or replaces in place) the entry Name in Table.
TPropInfo& AddPropInfo(TPropTable& Table, std::string_view Name, PTypeInfo Type, TClass Class);
// Builds the class information of a class.
std::unique_ptr<TClassInfo> MakeClassInfo(const char* Name, TClass Parent, TConstructProc Construct,
                                          void (*Publish)(TPropTable&));
}  // namespace detail

template <class T>
TPropInfo& TPublisher<T>::Add(std::string_view Name, PTypeInfo Type) {
  return detail::AddPropInfo(Table_, Name, Type, Class_);
}

}  // namespace fyndra

// Defines the class information of Cls; the class publishes no properties of its own.
#define FYNDRA_IMPLEMENT_CLASS(Cls)                                 \
  FYNDRA_DEFINE_CLASS_INFO_(Cls)                                    \
  void Cls::PublishProperties(::fyndra::TPublisher<Cls>&) {}

// Defines the class information of Cls and opens the body that publishes its
// properties through the publisher named P: FYNDRA_PUBLISHED(TFoo, P) { P.Property(...); }
#define FYNDRA_PUBLISHED(Cls, P) \
  FYNDRA_DEFINE_CLASS_INFO_(Cls) \
  void Cls::PublishProperties(::fyndra::TPublisher<Cls>& P)

#define FYNDRA_DEFINE_CLASS_INFO_(Cls)                                                                  \
  ::fyndra::TClass Cls::StaticClass() {                                                                 \
    static const std::unique_ptr<::fyndra::TClassInfo> Info = ::fyndra::detail::MakeClassInfo(          \
        #Cls, inherited::StaticClass(), ::fyndra::detail::ConstructProcFor<Cls>(),                      \
        [](::fyndra::TPropTable& Table) {                                                               \
          ::fyndra::TPublisher<Cls> Publisher(Table, Cls::StaticClass());                               \
          Cls::PublishProperties(Publisher);                                                            \
        });                                                                                             \
    return Info.get();                                                                                  \
  }

// Registers Cls with the class registry when the library is loaded.
#define FYNDRA_REGISTER_CLASS(Cls) \
  static const bool FyndraRegistered_##Cls = (::fyndra::RegisterClass(Cls::StaticClass()), true)
