// The root of the object model: TObject with run-time class information, the
// class registry, and two-phase construction and destruction.
//
// Every class of the framework declares itself with FYNDRA_CLASS(TFoo, TBar) in
// its body and defines its class information once in its .cpp with
// FYNDRA_IMPLEMENT_CLASS(TFoo) or FYNDRA_PUBLISHED(TFoo, P) { ... } (see
// typinfo.h for the full example with published properties).
//
// Construction. Constructors are protected and only store their arguments.
// Everything that must reach the most derived class (virtual factories such as
// CreateOptions, inserting a component into its owner, an item into its
// collection) runs in AfterConstruction; each override calls the inherited one
// FIRST. Objects are made with Create<T>(args...), which runs new and then
// AfterConstruction; if AfterConstruction raises, the object is deleted (its
// destructors undo what was done: a component leaves its owner, an item its
// collection) and the exception passes on.
//
// Destruction. Free(Obj) (or Obj->Free()) runs Destroying() (a component
// marks itself and its owned components csDestroying), then BeforeDestruction()
// while the object is still whole so that virtual calls reach the most derived
// class, then deletes it. BeforeDestruction overrides do their own work FIRST
// and call the inherited one LAST (the mirror of AfterConstruction): the base
// component frees its owned components and sends free notifications there.
// A plain delete is still safe: the base destructors do the same bookkeeping,
// but virtual calls made then reach only the base class.
//
// Ownership: an object created with Create is owned by whoever holds the
// pointer (a component by its Owner, an item by its collection); sub-objects
// are held in TOwned<T>, which frees with Free.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace fyndra {

class TObject;
struct TClassInfo;
struct TPropTable;
template <class T>
class TPublisher;

// A class reference (Delphi's "class of TObject"): the class information of a
// class, unique per class, valid for the whole process.
using TClass = const TClassInfo*;

// Grants Create<T> access to protected constructors; FYNDRA_CLASS makes it a
// friend of every class.
struct TConstruct {
  template <class T, class... A>
  static T* New(A&&... Args) {
    return new T(std::forward<A>(Args)...);
  }
  // Whether T can be made from Args (checked with T's friendship).
  template <class T, class... A>
  static constexpr bool CanNew = requires(A&&... Args) { new T(std::forward<A>(Args)...); };
};

// Makes a T from Args and runs its AfterConstruction. If AfterConstruction
// raises, the object is deleted and the exception passes on.
template <class T, class... A>
T* Create(A&&... Args);

// Runs Destroying and BeforeDestruction, then deletes Obj. Null does nothing.
// If BeforeDestruction raises, Obj is not deleted and the exception passes on.
void Free(TObject* Obj);

class TObject {
 public:
  virtual ~TObject();
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;

  static TClass StaticClass();
  // The class of the object. Inside a constructor or destructor it is the class
  // being constructed or destroyed; from AfterConstruction on and up to
  // BeforeDestruction it is the most derived class.
  virtual TClass ClassType() const;
  const std::string& ClassName() const;
  TClass ClassParent() const;
  bool InheritsFrom(TClass Class) const;
  // Whether the object is an instance of Class or of a descendant (Delphi's "is").
  bool Is(TClass Class) const { return InheritsFrom(Class); }

  // Runs after the most derived constructor; overrides call the inherited one first.
  virtual void AfterConstruction() {}
  // Runs before the destructors while the object is whole; overrides do their
  // own work and call the inherited one last.
  virtual void BeforeDestruction() {}
  // First step of Free: marks the object as being destroyed (components set
  // csDestroying on themselves and what they own). Does nothing here.
  virtual void Destroying() {}
  // Free(this).
  void Free();

  static void PublishProperties(TPublisher<TObject>& P);

 protected:
  TObject() = default;
  friend struct TConstruct;
};

// Creates an instance for the class registry's "create by class". Arg is the
// argument of the class's virtual constructor: the owner for a component, the
// collection for a collection item, ignored for classes made without arguments.
using TConstructProc = TObject* (*)(TObject* Arg);

struct TClassInfo {
  std::string Name;
  TClass Parent = nullptr;
  // Null for abstract classes and classes without a virtual constructor.
  TConstructProc Construct = nullptr;
  // Adds the class's own published properties to Table (set by the implement
  // macros; the parent's properties are already there).
  void (*Publish)(TPropTable& Table) = nullptr;

  bool InheritsFrom(TClass Class) const;
  // Creates an instance by the class's virtual constructor (Create, so
  // AfterConstruction has run). Raises EComponentError when the class is
  // abstract or has no virtual constructor, or Arg is not what it takes.
  TObject* CreateInstance(TObject* Arg = nullptr) const;
  // The published property table, the parent's first (built on first use).
  const TPropTable& Properties() const;

  mutable std::once_flag PropsOnce;
  mutable std::shared_ptr<const TPropTable> Props;
};

// Frees with Free, so that owned sub-objects run BeforeDestruction.
struct FreeDeleter {
  void operator()(TObject* Obj) const { Free(Obj); }
};
template <class T>
using TOwned = std::unique_ptr<T, FreeDeleter>;

// Makes an owned T (Create, then TOwned).
template <class T, class... A>
TOwned<T> CreateOwned(A&&... Args) {
  return TOwned<T>(Create<T>(std::forward<A>(Args)...));
}

// Converts a TObject to T when it is one (Delphi's "as" without the raise).
template <class T>
T* ObjectCast(TObject* Obj) {
  return dynamic_cast<T*>(Obj);
}

// ---------------------------------------------------------------------------
// Sets of enumeration values (up to 64), as a bit mask: bit n stands for the
// value with ordinal n.
template <class E>
class TSet {
  static_assert(std::is_enum_v<E>, "TSet holds enumeration values");

 public:
  using TElement = E;
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> Values) {
    for (E V : Values) Include(V);
  }
  static constexpr TSet FromMask(std::uint64_t Mask) {
    TSet S;
    S.Bits_ = Mask;
    return S;
  }
  constexpr std::uint64_t Mask() const { return Bits_; }

  constexpr TSet& Include(E V) {
    Bits_ |= Bit(V);
    return *this;
  }
  constexpr TSet& Exclude(E V) {
    Bits_ &= ~Bit(V);
    return *this;
  }
  constexpr bool Contains(E V) const { return (Bits_ & Bit(V)) != 0; }
  constexpr bool Empty() const { return Bits_ == 0; }
  constexpr void Clear() { Bits_ = 0; }
  // Whether every element of this set is in Other.
  constexpr bool SubsetOf(TSet Other) const { return (Bits_ & ~Other.Bits_) == 0; }

  friend constexpr bool operator==(TSet A, TSet B) { return A.Bits_ == B.Bits_; }
  friend constexpr TSet operator+(TSet A, TSet B) { return FromMask(A.Bits_ | B.Bits_); }
  friend constexpr TSet operator*(TSet A, TSet B) { return FromMask(A.Bits_ & B.Bits_); }
  friend constexpr TSet operator-(TSet A, TSet B) { return FromMask(A.Bits_ & ~B.Bits_); }
  constexpr TSet& operator+=(TSet B) { return *this = *this + B; }
  constexpr TSet& operator-=(TSet B) { return *this = *this - B; }

 private:
  static constexpr std::uint64_t Bit(E V) {
    auto N = static_cast<std::uint64_t>(static_cast<std::underlying_type_t<E>>(V));
    return N < 64 ? (std::uint64_t{1} << N) : 0;
  }
  std::uint64_t Bits_ = 0;
};

// ---------------------------------------------------------------------------
// The class registry (names compared without regard to case).

// Registers Class under its name; registering the same class again does
// nothing; another class of the same name raises EFilerError.
void RegisterClass(TClass Class);
void RegisterClasses(std::initializer_list<TClass> Classes);
void UnRegisterClass(TClass Class);
// The registered class of that name; raises EClassNotFound when absent.
TClass FindClass(std::string_view Name);
// The registered class of that name, or null.
TClass GetClass(std::string_view Name);
// Creates an instance of the registered class Name by its virtual constructor.
TObject* CreateObjectByName(std::string_view Name, TObject* Arg = nullptr);

// ---------------------------------------------------------------------------
// Implementation details used by the macros.

namespace detail {

// The virtual constructor of T: by the argument type its class names in
// TConstructorArg (TComponent*, TCollection*), or without argument.
template <class T>
TObject* ConstructByClass(TObject* Arg);

TObject* CheckedConstructArg(TObject* Arg, TClass Expected, TClass Creating);

template <class T>
constexpr TConstructProc ConstructProcFor() {
  if constexpr (std::is_abstract_v<T>) {
    return nullptr;
  } else if constexpr (requires { typename T::TConstructorArg; }) {
    using ArgT = std::remove_pointer_t<typename T::TConstructorArg>;
    if constexpr (TConstruct::CanNew<T, ArgT*>)
      return &ConstructByClass<T>;
    else
      return nullptr;
  } else if constexpr (TConstruct::CanNew<T>) {
    return &ConstructByClass<T>;
  } else {
    return nullptr;
  }
}

template <class T>
TObject* ConstructByClass(TObject* Arg) {
  if constexpr (std::is_abstract_v<T>) {
    return nullptr;
  } else if constexpr (requires { typename T::TConstructorArg; }) {
    using ArgT = std::remove_pointer_t<typename T::TConstructorArg>;
    if constexpr (TConstruct::CanNew<T, ArgT*>) {
      CheckedConstructArg(Arg, ArgT::StaticClass(), T::StaticClass());
      return Create<T>(static_cast<ArgT*>(Arg ? dynamic_cast<ArgT*>(Arg) : nullptr));
    } else {
      return nullptr;
    }
  } else {
    return Create<T>();
  }
}

}  // namespace detail

template <class T, class... A>
T* Create(A&&... Args) {
  T* Obj = TConstruct::New<T>(std::forward<A>(Args)...);
  try {
    Obj->AfterConstruction();
  } catch (...) {
    delete Obj;
    throw;
  }
  return Obj;
}

}  // namespace fyndra

// Declares the class information of Cls (derived from Parent) inside its body.
// Leaves the access at private.
#define FYNDRA_CLASS(Cls, Parent)                                       \
 public:                                                                \
  using inherited = Parent;                                             \
  static ::fyndra::TClass StaticClass();                                \
  ::fyndra::TClass ClassType() const override { return StaticClass(); } \
  static void PublishProperties(::fyndra::TPublisher<Cls>& P);          \
                                                                        \
 private:                                                               \
  friend struct ::fyndra::TConstruct;
