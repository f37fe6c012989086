// Events: nullable closures with identity.
//
// A TEvent<R(A...)> is either null ("the null method") or bound to an object
// and one of its member functions, to a free function, or to a callable. Two
// events are equal when they call the same code on the same object, so a
// component can ask whether a handler it installed is still in place:
//
//   DataSet->SetOnFilterRecord(TFilterRecordEvent(this, &TMyModel::FilterRecord));
//   ...
//   if (DataSet->GetOnFilterRecord() == TFilterRecordEvent(this, &TMyModel::FilterRecord))
//     DataSet->SetOnFilterRecord(nullptr);
//
// An event never owns the object it is bound to: whoever installs a handler on
// another component must remove it (or be told by a free notification) before
// its object dies. A callable bound with FromCallable is copied into shared
// storage; copies of that event compare equal, other events do not.
// Calling a null event raises EInvalidOperation (test it with operator bool).
//
// TMethod is the untyped form of any event, used by the type information
// (tkMethod properties) and by streaming.
#pragma once

#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include <fyndra/platform/rtl/sysutils.h>

namespace fyndra {

class TObject;

// Raised by an operation that is not allowed in the object's present state.
class EInvalidOperation : public Exception {
 public:
  using Exception::Exception;
};

struct TMethod {
  // The object the code runs on (null for free functions and callables).
  void* Data = nullptr;
  // The member or free function pointer, byte for byte.
  std::array<unsigned char, 16> Code{};
  // The typed trampoline that knows how to call Code on Data.
  void (*Thunk)() = nullptr;
  // A bound callable (FromCallable); its address is its identity.
  std::shared_ptr<void> Closure;
  // The signature the trampoline was made for; null for the null method.
  const std::type_info* Signature = nullptr;

  bool IsNull() const { return Thunk == nullptr; }
  // Same object, same code, same signature. The trampoline is not compared:
  // an executable and a shared library may each hold their own copy of it.
  friend bool operator==(const TMethod& A, const TMethod& B) {
    if (A.IsNull() || B.IsNull()) return A.IsNull() == B.IsNull();
    return A.Data == B.Data && A.Code == B.Code && A.Closure == B.Closure && A.Signature && B.Signature &&
           *A.Signature == *B.Signature;
  }
};

template <class Sig>
class TEvent;

template <class R, class... A>
class TEvent<R(A...)> {
 public:
  using TSignature = R(A...);
  TEvent() = default;
  TEvent(std::nullptr_t) {}

  // Binds Obj and its member function Fn (Obj may be of a class derived from C).
  template <class C, class Obj>
    requires std::is_base_of_v<C, Obj>
  TEvent(Obj* Object, R (C::*Fn)(A...)) {
    BindMember<C, R (C::*)(A...)>(static_cast<C*>(Object), Fn);
  }
  template <class C, class Obj>
    requires std::is_base_of_v<C, Obj>
  TEvent(const Obj* Object, R (C::*Fn)(A...) const) {
    BindMember<const C, R (C::*)(A...) const>(static_cast<const C*>(Object), Fn);
  }
  // Binds a free (or static member) function.
  TEvent(R (*Fn)(A...)) {
    if (!Fn) return;
    std::memcpy(M_.Code.data(), &Fn, sizeof Fn);
    M_.Thunk = reinterpret_cast<void (*)()>(&CallFree);
    M_.Signature = &typeid(TSignature);
  }
  // Binds a copy of any callable; equal only to copies of this event.
  template <class F>
  static TEvent FromCallable(F&& Fn) {
    using Fd = std::decay_t<F>;
    TEvent E;
    E.M_.Closure = std::make_shared<Fd>(std::forward<F>(Fn));
    E.M_.Thunk = reinterpret_cast<void (*)()>(&CallClosure<Fd>);
    E.M_.Signature = &typeid(TSignature);
    return E;
  }
  // The typed view of an untyped method; raises EInvalidOperation when M was
  // made for another signature.
  static TEvent FromMethod(const TMethod& M) {
    TEvent E;
    if (M.IsNull()) return E;
    if (!M.Signature || *M.Signature != typeid(TSignature))
      throw EInvalidOperation("Method of another signature assigned to an event");
    E.M_ = M;
    return E;
  }

  explicit operator bool() const { return !M_.IsNull(); }
  bool IsNull() const { return M_.IsNull(); }
  void Clear() { M_ = TMethod(); }
  const TMethod& Method() const { return M_; }
  // The object the handler runs on (null for functions and callables).
  void* Data() const { return M_.Data; }

  R operator()(A... Args) const {
    if (M_.IsNull()) throw EInvalidOperation("Null event called");
    auto Fn = reinterpret_cast<R (*)(const TMethod&, A...)>(M_.Thunk);
    return Fn(M_, std::forward<A>(Args)...);
  }

  friend bool operator==(const TEvent& X, const TEvent& Y) { return X.M_ == Y.M_; }
  friend bool operator==(const TEvent& X, std::nullptr_t) { return X.IsNull(); }

 private:
  template <class C, class Fp>
  void BindMember(C* Object, Fp Fn) {
    static_assert(sizeof(Fp) <= sizeof(TMethod::Code), "member function pointer too large");
    if (!Object || !Fn) return;
    M_.Data = const_cast<void*>(static_cast<const void*>(Object));
    std::memcpy(M_.Code.data(), &Fn, sizeof Fn);
    M_.Thunk = reinterpret_cast<void (*)()>(&CallMember<C, Fp>);
    M_.Signature = &typeid(TSignature);
  }
  template <class C, class Fp>
  static R CallMember(const TMethod& M, A... Args) {
    Fp Fn;
    std::memcpy(&Fn, M.Code.data(), sizeof Fn);
    return (static_cast<C*>(M.Data)->*Fn)(std::forward<A>(Args)...);
  }
  static R CallFree(const TMethod& M, A... Args) {
    R (*Fn)(A...);
    std::memcpy(&Fn, M.Code.data(), sizeof Fn);
    return Fn(std::forward<A>(Args)...);
  }
  template <class Fd>
  static R CallClosure(const TMethod& M, A... Args) {
    return (*static_cast<Fd*>(M.Closure.get()))(std::forward<A>(Args)...);
  }

  TMethod M_;
};

using TNotifyEvent = TEvent<void(TObject* Sender)>;

}  // namespace fyndra
